#include "simunit.h"

#include "unit/announcement.h"
#include "unit/bytecursor.h"
#include "connection/commands.h"
#include "setup/setuprecord.h"

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

QByteArray defaultSetupRecord(const SimUnit &unit)
{
    // Field by field at the record's offsets; a unit on a.b.c.d sits in a /24 with gateway a.b.c.1.
    const quint32 ip = unit.address.toIPv4Address();
    const QString own = unit.address.protocol() == QAbstractSocket::IPv4Protocol ? unit.address.toString()
                                                                                   : QStringLiteral("0.0.0.0");
    const QString gateway = QHostAddress((ip & 0xFFFFFF00u) | 1u).toString();
    auto u24 = [](ByteWriter &w, std::uint32_t v) {
        w.u8(static_cast<std::uint8_t>(v));
        w.u16(static_cast<std::uint16_t>(v >> 8));
    };
    auto ipText = [](ByteWriter &w, const QString &text) { w.text(text, 16); };

    QByteArray r;
    ByteWriter w(r);
    w.u8(1);                          // 0 command port enabled
    w.u8(0);                          // 1 poll
    w.u8(1);                          // 2 classic
    w.u8(0);                          // 3 server
    ipText(w, QStringLiteral("0.0.0.0")); // 4 server IP for the client role
    u24(w, 3000);                     // 20 port
    w.u8(0);                          // 23 no DHCP
    ipText(w, own);                   // 24 own IP
    ipText(w, QStringLiteral("255.255.255.0")); // 40 mask
    ipText(w, ip ? gateway : QStringLiteral("0.0.0.0")); // 56 gateway
    w.u8(0);                          // 72 no diagnostics on the network port
    ipText(w, QStringLiteral("0.0.0.0")); // 73 time server
    u24(w, 60);                       // 89 time server update frequency
    w.u8(1);                          // 92 serial port enabled
    w.u8(0);                          // 93 poll
    w.u8(1);                          // 94 classic
    w.u8(4);                          // 95 9600 baud
    w.u16(static_cast<std::uint16_t>(unit.caddr & 0xFF)); // 96 serial address
    w.u8(0);                          // 98 parity none
    w.u8(0);                          // 99 no serial diagnostics
    w.u8(0);                          // 100
    w.u8(4);                          // 101 auxiliary 9600 baud
    w.u8(0);                          // 102 parity none
    w.zeros(3);                       // 103-105
    w.u8(0);                          // 106
    w.u16(0);                         // 107 no keep-alive
    w.u8(3);                          // 109 keep-alive retries
    w.u8(0);                          // 110 time zone index
    w.u8(0);                          // 111 no daylight saving
    w.text(unit.description.left(63), 64); // 112 description
    w.u8(1);                          // 176 errors on the network port
    w.u8(1);                          // 177 errors on the serial port
    w.u8(0);                          // 178 no padding
    w.u8(0);                          // 179
    w.u8(0);                          // 180 no Hamming code
    w.u8(1);                          // 181 label size auto adjust
    u24(w, 3);                        // 182 after three labels
    u24(w, 0);                        // 185 all label sizes
    w.u8(0);                          // 188
    u24(w, 10);                       // 189 diagnostic start delay
    u24(w, 10);                       // 192 diagnostic finish delay
    w.u8(0);                          // 195 no password
    w.zeros(9);                       // 196 password
    w.zeros(13);                      // 205 custom time zone
    w.u8(0);                          // 218
    w.u8(5);                          // 219 retransmit close count
    w.u8(0);                          // 220 network fault monitor off
    w.u8(1);                          // 221 watchdog 4.00 s
    u24(w, 0);                        // 222 no diagnostic restart delay
    w.u16(static_cast<std::uint16_t>(unit.naddr & 0xFF)); // 225 network address
    w.zeros(5);                       // 227-231
    w.u8(10);                         // 232 minimum raw buffer bits
    w.u8(10);                         // 233 minimum bits between front and back
    w.u8(4);                          // 234 auto negotiate
    w.zeros(3);                       // 235-237
    w.u8(unit.ncp);                   // 238 command protocol
    w.u32(0);                         // 239 no PLC restriction
    Q_ASSERT(r.size() == setupRecordSize);
    r = r.leftJustified(setupRecordSize, '\0', true);
    // A unit keeps its record in its own layout: older firmware has its last fields elsewhere.
    setuppack record(r);
    shiftOlderLayout(record, ShiftDirection::Sending,
                     unit.version[0] * 100 + unit.version[1] * 10 + unit.version[2]);
    return record.bytes();
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
