#include "unit/unitsort.h"

#include "unit/unitrules.h"

#include <QStringList>

namespace vork {

QString sortOrderCaption(SortOrder order)
{
    switch (order) {
    case SortOrder::None: return QStringLiteral("No sorting");
    case SortOrder::IPAddress: return QStringLiteral("IP address");
    case SortOrder::MACAddress: return QStringLiteral("MAC address");
    case SortOrder::Description: return QStringLiteral("Description");
    case SortOrder::Readers: return QStringLiteral("# of Readers");
    case SortOrder::Model: return QStringLiteral("Model");
    case SortOrder::RunTime: return QStringLiteral("Run Time");
    case SortOrder::Version: return QStringLiteral("Version #");
    }
    return {};
}

QString paddedIP(const QString &ip)
{
    QStringList parts = ip.split(QLatin1Char('.'));
    for (QString &p : parts)
        p = p.rightJustified(3, QLatin1Char('0'));
    return parts.join(QLatin1Char('.'));
}

int modelRank(const udppack &unit)
{
    int row;
    switch (unit.ver.vrcnt) {
    case 1: row = 0; break;
    case 2: row = 1; break;
    case 8: row = 2; break;
    default: return 12; // not a known reader count: after every known rank
    }
    const bool odd = unit.model & 1;
    const bool high = unit.model >= 4;
    return row + (high ? 3 : 0) + (odd ? 6 : 0);
}

namespace {
int textCompare(const QString &a, const QString &b)
{
    // Case-sensitive, digits before letters, the same on every machine.
    return QString::compare(a, b, Qt::CaseSensitive);
}
int numberCompare(long long a, long long b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}
} // namespace

int compareUnits(const udppack &a, const udppack &b, SortOrder order)
{
    switch (order) {
    case SortOrder::None: return 0;
    case SortOrder::IPAddress: return textCompare(paddedIP(a.ip), paddedIP(b.ip));
    case SortOrder::MACAddress: return textCompare(a.mac, b.mac);
    case SortOrder::Description: return textCompare(a.desc, b.desc);
    case SortOrder::Readers: return textCompare(QString::number(a.ver.vrcnt), QString::number(b.ver.vrcnt));
    case SortOrder::Model: return textCompare(QString::number(modelRank(a)), QString::number(modelRank(b)));
    case SortOrder::RunTime: return numberCompare(a.rt / 60, b.rt / 60);
    case SortOrder::Version: return numberCompare(versionNumber(a.ver), versionNumber(b.ver));
    }
    return 0;
}

QString activeListKey(const udppack &unit, SortOrder order)
{
    switch (order) {
    case SortOrder::IPAddress: return paddedIP(unit.ip);
    case SortOrder::MACAddress: return unit.mac;
    case SortOrder::Description: return unit.desc;
    case SortOrder::Readers: return QString::number(unit.ver.vrcnt);
    default: return QString::number(unit.rt / 60);
    }
}

} // namespace vork
