#pragma once

#include "setup/setuprecord.h"

#include <QString>

#include <optional>

namespace vork {

// What stops a download, and the field it is about.
struct SetupCheckFailure
{
    QString message;
    QString field; // the record field's name
};

namespace setupchecks {

// An IP text as the form takes it: shorter than 16, digits and dots only, no
// leading dot, a digit after every dot, numbers of at most three digits up to
// 255, and exactly three dots.
bool ipTextValid(const QString &text);
// Empty address fields become "0.0.0.0".
void blankIPsToZero(setuppack &record);
// The custom zone definition's bytes as the form checks them (all zero: none).
bool customZoneValid(QByteArrayView tzo);
// The checks a record must pass before it goes to a unit, in their order; the
// first failure, or nothing. The unit's password and the advanced-settings
// question are asked by the download itself.
std::optional<SetupCheckFailure> beforeDownload(const setuppack &record);
// Whether any advanced setting differs between two records.
bool advancedChanged(const setuppack &outgoing, const setuppack &received);

QString advancedQuestion();

} // namespace setupchecks
} // namespace vork
