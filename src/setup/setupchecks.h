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
// The first field of the first length bytes whose bytes are not a value it can
// take, as "cbaud holds 109, not one of its values"; nothing when all are. The
// retry count counts only with a keep-alive interval, an update frequency of 0
// stands for 1, and addresses go by their port's protocol, as the editor has it.
std::optional<QString> badField(const setuppack &record, int length);
// A text for a text field: at most width-1 characters the record can hold
// (printable ASCII). The reason, naming the field, or nothing.
std::optional<QString> badText(const SetupField &field, const QString &text);

// Whether any advanced setting differs between two records.
bool advancedChanged(const setuppack &outgoing, const setuppack &received);

QString advancedQuestion();

} // namespace setupchecks
} // namespace vork
