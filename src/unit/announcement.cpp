#include "unit/announcement.h"

#include "unit/bytecursor.h"

#include <array>
#include <cstdlib>

namespace vork {

void udppack::takeAnnouncement(const udppack &a)
{
    desc = a.desc;
    vbuild = a.vbuild;
    vnumber = a.vnumber;
    ver = a.ver;
    ip = a.ip;
    mac = a.mac;
    flash_mfg = a.flash_mfg;
    flash_typ = a.flash_typ;
    dt = a.dt;
    caddr = a.caddr;
    rt = a.rt;
    blv = a.blv;
    naddr = a.naddr;
    model = a.model;
    cons = a.cons;
    zosv = a.zosv;
    cpui = a.cpui;
    ncp = a.ncp;
    bla = a.bla;
    blb = a.blb;
    dateoff = a.dateoff;
    minutesoff = a.minutesoff;
}

void udppack::resetReaderTexts()
{
    for (auto *texts : {&LastRead, &LastReadtime, &LastDiag, &LastDiagtime, &LastErr, &LastErrtime, &LastAlarm,
                        &LastAlarmtime})
        texts->fill(QString());
}

QString buildDateText(const vpack &v)
{
    return monthAbbreviation(v.vbld[1]) + QLatin1Char('-')
           + QStringLiteral("%1").arg(v.vbld[0], 2, 10, QLatin1Char('0')) + QLatin1Char('-')
           + QString::number(v.vbld[2] * 100 + v.vbld[3]);
}

QString versionText(const vpack &v)
{
    return QString::number(v.vnum[0]) + QLatin1Char('.') + QString::number(v.vnum[1])
           + QLatin1Char('.') + QString::number(v.vnum[2]);
}

dtpack readDtpack(QByteArrayView bytes)
{
    ByteReader r(bytes);
    dtpack d;
    d.sec = r.u8();
    d.minutes = r.u8();
    d.hrs = r.u8();
    d.dayOfMonth = r.u8();
    d.dayOfWeek = r.u8();
    d.mon = r.u8();
    d.year = r.u8();
    d.cent = r.u8();
    return d;
}

void writeDtpack(QByteArray &out, const dtpack &d)
{
    ByteWriter w(out);
    w.u8(d.sec);
    w.u8(d.minutes);
    w.u8(d.hrs);
    w.u8(d.dayOfMonth);
    w.u8(d.dayOfWeek);
    w.u8(d.mon);
    w.u8(d.year);
    w.u8(d.cent);
}

dtpack dtpackFromDateTime(const QDateTime &t)
{
    const QDate date = t.date();
    const QTime time = t.time();
    dtpack d;
    d.sec = static_cast<std::uint8_t>(time.second());
    d.minutes = static_cast<std::uint8_t>(time.minute());
    d.hrs = static_cast<std::uint8_t>(time.hour());
    d.dayOfMonth = static_cast<std::uint8_t>(date.day());
    d.dayOfWeek = static_cast<std::uint8_t>(date.dayOfWeek() % 7 + 1); // Qt: Monday 1 .. Sunday 7
    d.mon = static_cast<std::uint8_t>(date.month());
    d.year = static_cast<std::uint8_t>(date.year() % 100);
    d.cent = static_cast<std::uint8_t>(date.year() / 100);
    return d;
}

QByteArray discoveryQuery(const dtpack &clock)
{
    QByteArray q("SVRK?");
    writeDtpack(q, clock);
    return q;
}

bool isValidClock(const dtpack &d)
{
    return QDate::isValid(d.fullYear(), d.mon, d.dayOfMonth) && QTime::isValid(d.hrs, d.minutes, d.sec);
}

void compareClock(udppack &unit, const QDateTime &now)
{
    const dtpack &d = unit.dt;
    if (!isValidClock(d)) {
        unit.dateoff = true;
        unit.minutesoff = 0;
        return;
    }
    const QDate pcDate = now.date();
    unit.dateoff = QDate(d.fullYear(), d.mon, d.dayOfMonth) != pcDate;

    const QTime pcTime = now.time();
    const int unitSecs = d.hrs * 3600 + d.minutes * 60 + d.sec;
    const int pcSecs = pcTime.hour() * 3600 + pcTime.minute() * 60 + pcTime.second();
    // Whole minutes, halves to even.
    const int diff = std::abs(unitSecs - pcSecs);
    int minutes = diff / 60;
    const int rest = diff % 60;
    if (rest > 30 || (rest == 30 && (minutes & 1)))
        ++minutes;
    unit.minutesoff = static_cast<std::uint16_t>(minutes);
}

void decodeAnnouncement(QByteArrayView data, int count, udppack &unit, const QDateTime &now)
{
    namespace a = announcement;
    // A private zero-filled copy: nothing beyond the received bytes can decode as a field.
    std::array<char, a::fullSize> buf{};
    const qsizetype n = std::min<qsizetype>(std::max(count, 0), std::min<qsizetype>(data.size(), a::fullSize));
    for (qsizetype i = 0; i < n; ++i)
        buf[static_cast<std::size_t>(i)] = data[i];

    ByteReader r(QByteArrayView(buf.data(), a::fullSize));
    unit.desc = r.nonZeroChars(a::descSize);
    for (auto &b : unit.ver.vnum)
        b = r.u8();
    for (auto &b : unit.ver.vbld)
        b = r.u8();
    unit.ver.vrcnt = r.u8();
    unit.ip = r.nonZeroChars(a::ipSize);
    unit.mac = r.chars(a::macSize);
    unit.vbuild = buildDateText(unit.ver);
    unit.vnumber = versionText(unit.ver);
    unit.flash_mfg = r.u8();
    unit.flash_typ = r.u8();
    unit.dt = readDtpack(QByteArrayView(buf.data() + a::dtOffset, dtpack::size));
    r.skip(dtpack::size);
    unit.caddr = r.u16();
    unit.rt = r.u32();
    unit.blv = r.chars(a::blvSize);
    if (unit.blv.at(1) != QLatin1Char('.')) {
        // No boot loader version reported means no run time either.
        unit.blv.clear();
        unit.rt = 0;
    }
    unit.naddr = r.u16();
    unit.model = r.u8();
    if (unit.vnumber == QLatin1String("5.0.1"))
        unit.model = 8;
    unit.cons = r.u8();
    for (auto &b : unit.zosv)
        b = r.u8();
    unit.cpui = r.u8();
    unit.ncp = r.u8();
    unit.bla = r.u8();
    unit.blb = r.u8();
    Q_ASSERT(!r.overrun() && r.pos() == a::fullSize);

    compareClock(unit, now);
}

void decodeAnnouncement(QByteArrayView data, int count, udppack &unit)
{
    decodeAnnouncement(data, count, unit, QDateTime::currentDateTime());
}

QByteArray encodeAnnouncement(const udppack &u)
{
    QByteArray out;
    out.reserve(announcement::fullSize);
    ByteWriter w(out);
    w.text(u.desc, announcement::descSize);
    for (auto b : u.ver.vnum)
        w.u8(b);
    for (auto b : u.ver.vbld)
        w.u8(b);
    w.u8(u.ver.vrcnt);
    w.text(u.ip, announcement::ipSize);
    w.text(u.mac, announcement::macSize);
    w.u8(u.flash_mfg);
    w.u8(u.flash_typ);
    writeDtpack(out, u.dt);
    w.u16(u.caddr);
    w.u32(u.rt);
    w.text(u.blv, announcement::blvSize);
    w.u16(u.naddr);
    w.u8(u.model);
    w.u8(u.cons);
    for (auto b : u.zosv)
        w.u8(b);
    w.u8(u.cpui);
    w.u8(u.ncp);
    w.u8(u.bla);
    w.u8(u.blb);
    return out;
}

} // namespace vork
