#include "unit/unitrules.h"

namespace vork {

int versionNumber(const vpack &v)
{
    return v.vnum[0] * 100 + v.vnum[1] * 10 + v.vnum[2];
}

int versionNumber(const udppack *unit)
{
    return unit ? versionNumber(unit->ver) : 0;
}

int compareVersions(const udppack *unit, int number)
{
    return versionNumber(unit) - number;
}

QString productFamily(const udppack &unit)
{
    switch (unit.ver.vrcnt) {
    case 1: return QStringLiteral("SVRK");
    case 2: return QStringLiteral("TVRK");
    case 8: return QStringLiteral("MVRK");
    default: return {};
    }
}

bool loginRequired(const udppack &unit)
{
    const int v = versionNumber(unit.ver);
    return v >= 310 || (v >= 293 && v <= 299) || unit.model >= 4;
}

QString idleText(const udppack &unit)
{
    if (versionNumber(unit.ver) >= 316)
        return QStringLiteral(" %") + QString::number(unit.cpui);
    return QStringLiteral(" NA");
}

bool ProtocolVariant::standardRule(const udppack &unit)
{
    if (versionNumber(unit.ver) >= 500)
        return unit.ncp == 1;
    return (unit.model & 1) == 0;
}

bool ProtocolVariant::isStandard(const udppack *unit)
{
    if (!unit)
        return m_lastStandard;
    m_lastStandard = standardRule(*unit);
    m_lastBelow500 = versionNumber(unit->ver) < 500;
    return m_lastStandard;
}

} // namespace vork
