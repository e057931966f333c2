#pragma once

#include "core/version.h"

#include "unit/records.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

namespace vork {

// Unit announcement layout: 130 bytes, older firmware sends the first 109.
namespace announcement {
constexpr int fullSize = 130;
constexpr int oldSize = 109;

constexpr int descOffset = 0, descSize = 64;
constexpr int verOffset = 64;
constexpr int ipOffset = 72, ipSize = 15;
constexpr int macOffset = 87, macSize = 12;
constexpr int flashOffset = 99;
constexpr int dtOffset = 101;
constexpr int caddrOffset = 109;
constexpr int rtOffset = 111;
constexpr int blvOffset = 115, blvSize = 4;
constexpr int naddrOffset = 119;
constexpr int modelOffset = 121;
constexpr int consOffset = 122;
constexpr int zosvOffset = 123;
constexpr int cpuiOffset = 126;
constexpr int ncpOffset = 127;
constexpr int blaOffset = 128;
constexpr int blbOffset = 129;
} // namespace announcement

// Decodes the first min(count, 130) bytes of data (count below 0 counts as 0)
// into the announcement fields of unit; anything past them reads as zero.
// The clock comparison is made against now (the computer's local clock).
void decodeAnnouncement(QByteArrayView data, int count, udppack &unit, const QDateTime &now);
void decodeAnnouncement(QByteArrayView data, int count, udppack &unit);

// Builds the 130-byte announcement of a unit (used by the simulator and tests).
QByteArray encodeAnnouncement(const udppack &unit);

// The 13-byte discovery query: "SVRK?" followed by a clock or eight zeros.
QByteArray discoveryQuery(const dtpack &clock = {});
// The computer's local clock in the unit's layout.
dtpack dtpackFromDateTime(const QDateTime &t);
// Reading of a dtpack from 8 bytes and writing it back.
dtpack readDtpack(QByteArrayView bytes);
void writeDtpack(QByteArray &out, const dtpack &d);

// "MAR-07-2019"; an unknown month gives an empty abbreviation.
QString buildDateText(const vpack &v);
QString versionText(const vpack &v);

// Clock comparison: sets dateoff and minutesoff of unit from unit.dt against now.
// A unit clock that is no valid date or time gives dateoff true and minutesoff 0.
void compareClock(udppack &unit, const QDateTime &now);
// True when the unit's clock fields form a valid calendar date and time.
bool isValidClock(const dtpack &d);

} // namespace vork
