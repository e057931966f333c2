#pragma once

#include "setup/setuprecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace vork {

// The standard time zones units know by index, each with its daylight-saving
// rule in the same 13 bytes as a custom definition.
struct StandardZone
{
    const char *name;
    const char *code; // 26 hexadecimal digits
};

namespace timezones {

constexpr int zoneCount = 85;
constexpr int halfHours = 48;
constexpr int secondsPerHalfHour = 1800;

const StandardZone &zone(int index); // index clamped to the table
// The zone list as shown, in index order.
QStringList zoneNames();
// A zone's rule; for an index outside the table, no daylight saving.
QByteArray zoneRule(int index);

// 13 bytes as 26 upper-case hexadecimal digits.
QString codeText(QByteArrayView bytes);
// 26 hexadecimal digits (either case) as 13 bytes; nothing for anything else.
std::optional<QByteArray> parseCode(const QString &text);

// Texts of the rule controls.
QStringList monthNames(); // "January" ... "December" (as the form spells them)
QStringList ruleNames();  // "First", "Second", "Third", "Last", "Date"
// The day list for a rule: "Monday" ... "Sunday", or "1" ... "31" for Date.
QStringList dayNames(int rule);
// "12:00 midnight", "12:30 am", "01:00 am", ... "11:30 pm": 48 half hours.
QStringList hourNames();

// The rule controls' positions of a definition (-1: nothing selected, for the all-zero rule).
struct RulePositions
{
    int startMonth = -1, startRule = -1, startDay = -1, startHour = -1;
    int endMonth = -1, endRule = -1, endDay = -1, endHour = -1;
    bool observe = false;
    bool operator==(const RulePositions &) const = default;
};
RulePositions decode(const CustomTimeZone &zone);
// The definition the controls give; times by half hour.
CustomTimeZone encode(const RulePositions &positions);

} // namespace timezones
} // namespace vork
