#include "discovery/unitcolumns.h"

#include "unit/announcement.h"
#include "unit/unitrules.h"

#include <QTime>

namespace vork::unitcolumns {

namespace {
struct ColumnInfo
{
    const char *header;
    int width;
};
constexpr ColumnInfo columns[Count] = {
    {"Sel", 19},      {"Unit's Description", 189}, {"Ver", 52},   {"Build Date", 74}, {"IP Address", 86},
    {"MAC Address", 82}, {"Rdrs  ", 39},           {"Flash", 53}, {"Date", 71},       {"Time", 71},
    {"RunTime", 67},  {"BL", 32},                  {"Connect", 70},
};

QString pad(int value, int width)
{
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}
} // namespace

QString header(int column)
{
    return column >= 0 && column < Count ? QString::fromLatin1(columns[column].header) : QString();
}

int initialWidth(int column)
{
    return column >= 0 && column < Count ? columns[column].width : 0;
}

QChar versionLetter(const udppack &unit)
{
    if (versionNumber(unit.ver) < 259)
        return QLatin1Char(' ');
    return ProtocolVariant::standardRule(unit) ? QLatin1Char('s') : QLatin1Char('e');
}

QString versionCell(const udppack &unit)
{
    return unit.vnumber + versionLetter(unit);
}

QString flashCell(const udppack &unit)
{
    const auto hex2 = [](int v) { return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper(); };
    return QStringLiteral("0x") + hex2(unit.flash_mfg) + QLatin1Char('.') + hex2(unit.flash_typ);
}

QString dateCell(const udppack &unit)
{
    if (unit.dt.cent == 0)
        return {};
    return pad(unit.dt.mon, 2) + QLatin1Char('/') + pad(unit.dt.dayOfMonth, 2) + QLatin1Char('/')
           + QString::number(unit.dt.fullYear());
}

QString timeCell(const udppack &unit)
{
    if (unit.dt.cent == 0 || !QTime::isValid(unit.dt.hrs, unit.dt.minutes, unit.dt.sec))
        return {};
    int h = unit.dt.hrs % 12;
    if (h == 0)
        h = 12;
    return pad(h, 2) + QLatin1Char(':') + pad(unit.dt.minutes, 2) + QLatin1Char(':') + pad(unit.dt.sec, 2)
           + (unit.dt.hrs < 12 ? QStringLiteral(" AM") : QStringLiteral(" PM"));
}

QString runTimeCell(std::uint32_t rt)
{
    if (rt == 0)
        return QStringLiteral("NA");
    if (rt < 60)
        return QStringLiteral("< 1 min");
    const std::uint32_t days = rt / 86400;
    const std::uint32_t rest = rt % 86400;
    const std::uint32_t hours = rest / 3600;
    const std::uint32_t minutes = (rest % 3600) / 60;
    return QStringLiteral("%1:%2:%3")
        .arg(days, 3, 10, QLatin1Char('0'))
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'));
}

QString connectionLetters(const udppack &unit, bool isCurrentAndOpen)
{
    unsigned bits = unit.cons;
    if (isCurrentAndOpen)
        bits |= 8;
    const int v = versionNumber(unit.ver);
    const bool eip = (v < 501 && (unit.model & 1)) || (v >= 501 && unit.ncp == 0);
    const QChar client = eip ? QLatin1Char('E') : QLatin1Char('C');
    QString s;
    for (unsigned bit = 1; bit <= 128; bit <<= 1) {
        if (!(bits & bit))
            continue;
        switch (bit) {
        case 1:
        case 2:
        case 4: s += client; break;
        case 8: s += QLatin1Char('R'); break;
        case 16: s += QLatin1Char('T'); break;
        case 64: s += QLatin1Char('S'); break;
        default: break;
        }
    }
    return s;
}

QString connectCell(const udppack &unit, bool isCurrentAndOpen)
{
    if (versionNumber(unit.ver) < 259)
        return QStringLiteral("NA");
    return connectionLetters(unit, isCurrentAndOpen);
}

QString cellText(const udppack &unit, int column, bool isCurrentAndOpen)
{
    switch (column) {
    case Description: return unit.desc;
    case Ver: return versionCell(unit);
    case BuildDate: return unit.vbuild;
    case IPAddress: return unit.ip;
    case MACAddress: return unit.mac;
    case Readers: return QString::number(unit.ver.vrcnt);
    case Flash: return flashCell(unit);
    case Date: return dateCell(unit);
    case Time: return timeCell(unit);
    case RunTime: return runTimeCell(unit.rt);
    case BL: return unit.blv.isEmpty() ? QStringLiteral("NA") : unit.blv;
    case Connect: return connectCell(unit, isCurrentAndOpen);
    default: return {};
    }
}

} // namespace vork::unitcolumns
