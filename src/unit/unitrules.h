#pragma once

#include "unit/records.h"

#include <QString>

namespace vork {

// major*100 + minor*10 + revision; 0 when there is no record.
int versionNumber(const udppack *unit);
int versionNumber(const vpack &v);
// Version number minus the given number; callers test the sign.
int compareVersions(const udppack *unit, int number);

// "SVRK", "TVRK" or "MVRK" by reader count; empty for any other count.
QString productFamily(const udppack &unit);

// Whether the unit's TCP connection needs the authentication text.
bool loginRequired(const udppack &unit);

// Idle panel text: " %87" from 3.1.6 on, " NA" before.
QString idleText(const udppack &unit);

// Standard (true) or EtherNet/IP (false). Remembers the answer for the last unit
// asked, which the setup editor and the page rules read later; one per main window.
class ProtocolVariant
{
public:
    bool isStandard(const udppack *unit);
    bool lastStandard() const { return m_lastStandard; }
    bool lastBelow500() const { return m_lastBelow500; }

    // The rule itself, without remembering anything.
    static bool standardRule(const udppack &unit);

private:
    bool m_lastStandard = true;
    bool m_lastBelow500 = false;
};

} // namespace vork
