#include "simunit.h"

#include "unit/announcement.h"

namespace vork::sim {

udppack SimUnit::record(const QDateTime &clock, std::uint32_t runTimeNow) const
{
    udppack u;
    u.desc = description;
    u.ver.vnum = version;
    u.ver.vbld = build;
    u.ver.vrcnt = readers;
    u.ip = address.toString();
    u.mac = mac;
    u.flash_mfg = flashMfg;
    u.flash_typ = flashType;
    u.dt = dtpackFromDateTime(clock);
    u.caddr = caddr;
    u.rt = runTimeNow;
    u.blv = bootLoader;
    u.naddr = naddr;
    u.model = model;
    u.cons = cons;
    u.zosv = zosv;
    u.cpui = cpuIdle;
    u.ncp = ncp;
    u.bla = bla;
    u.blb = blb;
    return u;
}

QString SimUnit::summary() const
{
    QString line = QStringLiteral("unit ") + address.toString() + QStringLiteral(" MAC ") + mac
                   + QStringLiteral(" desc \"") + description + QStringLiteral("\" version ")
                   + QString::number(version[0]) + QLatin1Char('.') + QString::number(version[1])
                   + QLatin1Char('.') + QString::number(version[2]) + QStringLiteral(" readers ")
                   + QString::number(readers) + QStringLiteral(" model ") + QString::number(model)
                   + QStringLiteral(" ncp ") + QString::number(ncp);
    if (oldFirmware)
        line += QStringLiteral(" old-firmware");
    if (faults.silent)
        line += QStringLiteral(" silent");
    if (faults.garbageLength > 0)
        line += QStringLiteral(" garbage=") + QString::number(faults.garbageLength);
    if (faults.shortLength > 0)
        line += QStringLiteral(" short=") + QString::number(faults.shortLength);
    if (faults.oversizeLength > 0)
        line += QStringLiteral(" oversize=") + QString::number(faults.oversizeLength);
    if (faults.duplicate)
        line += QStringLiteral(" duplicate-mac");
    if (faults.delayMs > 0)
        line += QStringLiteral(" delay=") + QString::number(faults.delayMs) + QStringLiteral("ms");
    return line;
}

QString macForAddress(const QHostAddress &address)
{
    const quint32 low = address.toIPv4Address() & 0xFFFFFFu;
    return QStringLiteral("0050C2") + QStringLiteral("%1").arg(low, 6, 16, QLatin1Char('0')).toUpper();
}

bool isValidMac(const QString &mac)
{
    if (mac.size() != 12)
        return false;
    for (const QChar c : mac) {
        const char16_t u = c.unicode();
        const bool hex = (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
        if (!hex)
            return false;
    }
    return true;
}

QString otherMac(const QString &mac)
{
    bool ok = false;
    const qulonglong value = mac.toULongLong(&ok, 16);
    // Flip a bit in the device part, so the neighbours' generated MACs are not hit.
    const qulonglong flipped = (ok ? value : 0) ^ 0x800000ull;
    return QStringLiteral("%1").arg(flipped & 0xFFFFFFFFFFFFull, 12, 16, QLatin1Char('0')).toUpper();
}

namespace {

struct Profile
{
    const char *description;
    std::array<std::uint8_t, 3> version;
    std::array<std::uint8_t, 4> build;
    std::uint8_t readers;
    std::uint8_t model;
    std::uint8_t ncp;
    const char *bootLoader;
    std::array<std::uint8_t, 3> zosv;
    std::uint8_t cons;
    std::uint8_t cpuIdle;
    std::uint32_t runTime;
    std::uint8_t bla;
    std::uint8_t blb;
};

// Older units (below 3.1.6) report neither boot loader nor run time nor idle time.
constexpr Profile profiles[] = {
    {"Line 1 Infeed", {5, 0, 1}, {7, 3, 20, 19}, 1, 8, 1, "1.05", {2, 1, 0}, 0x01, 87, 86400, 3, 4},
    {"Line 1 Outfeed", {5, 0, 3}, {14, 9, 20, 21}, 2, 8, 1, "1.06", {2, 2, 1}, 0x00, 92, 3600, 3, 5},
    {"Line 2 Sorter", {5, 0, 3}, {14, 9, 20, 21}, 8, 9, 0, "1.06", {2, 2, 1}, 0x03, 64, 604800, 3, 5},
    {"Line 2 Infeed", {3, 1, 6}, {22, 11, 20, 16}, 2, 6, 0, "1.03", {1, 4, 2}, 0x00, 75, 120, 0, 0},
    {"Dock 3 Scale", {2, 5, 8}, {2, 5, 20, 12}, 1, 2, 0, "", {1, 2, 0}, 0x00, 0, 0, 0, 0},
    {"Line 3 Palletizer", {5, 0, 1}, {7, 3, 20, 19}, 8, 8, 1, "1.05", {2, 1, 0}, 0x02, 81, 172800, 3, 4},
};
constexpr int profileCount = static_cast<int>(std::size(profiles));

} // namespace

SimUnit demoUnit(int index, const QHostAddress &address)
{
    const Profile &p = profiles[index % profileCount];
    SimUnit u;
    u.description = QString::fromLatin1(p.description);
    if (index >= profileCount)
        u.description += QStringLiteral(" ") + QString::number(index / profileCount + 1);
    u.version = p.version;
    u.build = p.build;
    u.readers = p.readers;
    u.model = p.model;
    u.ncp = p.ncp;
    u.bootLoader = QString::fromLatin1(p.bootLoader);
    u.zosv = p.zosv;
    u.cons = p.cons;
    u.cpuIdle = p.cpuIdle;
    u.runTime = p.runTime;
    u.bla = p.bla;
    u.blb = p.blb;
    u.caddr = static_cast<std::uint16_t>(index + 1);
    u.naddr = static_cast<std::uint16_t>(index + 1);
    u.address = address;
    u.mac = macForAddress(address);
    return u;
}

} // namespace vork::sim
