// Announcement decoding against byte fixtures written offset by offset.

#include "unit/announcement.h"
#include "unit/unitrules.h"

#include <QtTest>

#include <climits>
#include <cstring>
#include <initializer_list>
#include <memory>

using namespace vork;

namespace {

// 130 zero bytes, as a unit with nothing to say would send them.
QByteArray zeros(int n = 130)
{
    return QByteArray(n, '\0');
}

QByteArray put(QByteArray b, int offset, std::initializer_list<int> bytes)
{
    for (int v : bytes)
        b[offset++] = static_cast<char>(v);
    return b;
}

QByteArray putText(QByteArray b, int offset, const char *text)
{
    for (const char *p = text; *p; ++p)
        b[offset++] = *p;
    return b;
}

// One announcement with every field set to a distinct, recognisable value.
QByteArray fullFixture()
{
    QByteArray b = zeros();
    b = putText(b, 0, "Line 4 West");                          // description
    b = put(b, 64, {3, 1, 6});                                  // version 3.1.6
    b = put(b, 67, {7, 3, 20, 19});                             // built 7 March 2019
    b = put(b, 71, {2});                                        // two readers
    b = putText(b, 72, "192.168.10.200");                       // address text
    b = putText(b, 87, "0050C2ABCDEF");                         // MAC
    b = put(b, 99, {0xBF, 0x4A});                               // flash chip
    b = put(b, 101, {31, 2, 10, 14, 3, 5, 24, 20});             // 10:02:31, 14 May 2024, Tuesday
    b = put(b, 109, {0x34, 0x12});                              // caddr 0x1234
    b = put(b, 111, {0x80, 0x51, 0x01, 0x00});                  // run time 86400 s
    b = putText(b, 115, "1.05");                                // boot loader
    b = put(b, 119, {0xCD, 0xAB});                              // naddr 0xABCD
    b = put(b, 121, {3, 0x15, 1, 2, 3, 87, 1, 4, 5});           // model .. blb
    return b;
}

// The same clock as the fixture's unit: no date or time difference.
QDateTime fixtureNow()
{
    return QDateTime(QDate(2024, 5, 14), QTime(10, 2, 31));
}

// Decodes from a heap block of exactly bytes.size() bytes, so a read past the
// data is caught by the address sanitizer instead of landing in slack.
udppack decodeExact(const QByteArray &bytes, int count, const QDateTime &now = fixtureNow())
{
    const qsizetype n = bytes.size();
    std::unique_ptr<char[]> heap(new char[static_cast<std::size_t>(n)]);
    if (n > 0)
        std::memcpy(heap.get(), bytes.constData(), static_cast<std::size_t>(n));
    udppack u;
    decodeAnnouncement(QByteArrayView(heap.get(), n), count, u, now);
    return u;
}

QByteArray dtBytes(std::initializer_list<int> bytes)
{
    return put(zeros(), 101, bytes);
}

} // namespace

class TestAnnouncement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyField();
    void leavesProgramStateAlone();
    void description_data();
    void description();
    void addressTexts_data();
    void addressTexts();
    void versionAndModel_data();
    void versionAndModel();
    void buildDate_data();
    void buildDate();
    void bootLoaderAndRunTime_data();
    void bootLoaderAndRunTime();
    void lengths_data();
    void lengths();
    void staleBytesNeverDecode();
    void oldFirmwareProtocolVariant_data();
    void oldFirmwareProtocolVariant();
    void clock_data();
    void clock();
    void discoveryQuery_data();
    void discoveryQuery();
    void roundTrip();
};

void TestAnnouncement::everyField()
{
    const udppack u = decodeExact(fullFixture(), 130);
    QCOMPARE(u.desc, QStringLiteral("Line 4 West"));
    QCOMPARE(u.ver.vnum, (std::array<std::uint8_t, 3>{3, 1, 6}));
    QCOMPARE(u.ver.vbld, (std::array<std::uint8_t, 4>{7, 3, 20, 19}));
    QCOMPARE(u.ver.vrcnt, std::uint8_t(2));
    QCOMPARE(u.vnumber, QStringLiteral("3.1.6"));
    QCOMPARE(u.vbuild, QStringLiteral("MAR-07-2019"));
    QCOMPARE(u.ip, QStringLiteral("192.168.10.200"));
    QCOMPARE(u.mac, QStringLiteral("0050C2ABCDEF"));
    QCOMPARE(u.flash_mfg, std::uint8_t(0xBF));
    QCOMPARE(u.flash_typ, std::uint8_t(0x4A));
    QCOMPARE(u.dt.sec, std::uint8_t(31));
    QCOMPARE(u.dt.minutes, std::uint8_t(2));
    QCOMPARE(u.dt.hrs, std::uint8_t(10));
    QCOMPARE(u.dt.dayOfMonth, std::uint8_t(14));
    QCOMPARE(u.dt.dayOfWeek, std::uint8_t(3));
    QCOMPARE(u.dt.mon, std::uint8_t(5));
    QCOMPARE(u.dt.year, std::uint8_t(24));
    QCOMPARE(u.dt.cent, std::uint8_t(20));
    QCOMPARE(u.caddr, std::uint16_t(0x1234));
    QCOMPARE(u.rt, std::uint32_t(86400));
    QCOMPARE(u.blv, QStringLiteral("1.05"));
    QCOMPARE(u.naddr, std::uint16_t(0xABCD));
    QCOMPARE(u.model, std::uint8_t(3));
    QCOMPARE(u.cons, std::uint8_t(0x15));
    QCOMPARE(u.zosv, (std::array<std::uint8_t, 3>{1, 2, 3}));
    QCOMPARE(u.cpui, std::uint8_t(87));
    QCOMPARE(u.ncp, std::uint8_t(1));
    QCOMPARE(u.bla, std::uint8_t(4));
    QCOMPARE(u.blb, std::uint8_t(5));
    QCOMPARE(u.dateoff, false);
    QCOMPARE(u.minutesoff, std::uint16_t(0));
}

void TestAnnouncement::leavesProgramStateAlone()
{
    udppack u;
    u.selected = true;
    u.connected = true;
    u.FlashState = 0x0102;
    u.update = 2;
    u.LastRead[7] = QStringLiteral("12345");
    u.LastAlarmtime[0] = QStringLiteral("10:00");
    u.Monitor = true;
    decodeAnnouncement(fullFixture(), 130, u, fixtureNow());
    QCOMPARE(u.desc, QStringLiteral("Line 4 West"));
    QVERIFY(u.selected);
    QVERIFY(u.connected);
    QCOMPARE(u.FlashState, std::uint16_t(0x0102));
    QCOMPARE(u.update, std::uint8_t(2));
    QCOMPARE(u.LastRead[7], QStringLiteral("12345"));
    QCOMPARE(u.LastAlarmtime[0], QStringLiteral("10:00"));
    QVERIFY(u.Monitor);
}

void TestAnnouncement::description_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("desc");

    QTest::newRow("zero bytes inside are skipped") << put(zeros(), 0, {'A', 'B', 0, 'C', 'D'}) << QStringLiteral("ABCD");
    QTest::newRow("leading zero") << put(zeros(), 0, {0, 0, 'X'}) << QStringLiteral("X");
    QTest::newRow("empty") << zeros() << QString();
    QTest::newRow("all 64 bytes, no terminator")
        << putText(putText(zeros(), 0, "0123456789abcdef0123456789abcdef"), 32, "FEDCBA9876543210FEDCBA9876543210")
        << QStringLiteral("0123456789abcdef0123456789abcdefFEDCBA9876543210FEDCBA9876543210");
    QTest::newRow("last byte of the field only") << put(zeros(), 63, {'Z'}) << QStringLiteral("Z");
    QTest::newRow("garbage taken as is") << put(zeros(), 0, {0x01, 0x7F, 0xFF}) << QStringLiteral("\x01\x7F\u00FF");
    QTest::newRow("8-bit characters") << put(zeros(), 0, {'C', 0xE9, 'e'}) << QStringLiteral("C\u00E9e");
    QTest::newRow("version bytes are not description")
        << put(putText(zeros(), 0, "Unit"), 64, {'5', '0', '1'}) << QStringLiteral("Unit");
}

void TestAnnouncement::description()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, desc);
    QCOMPARE(decodeExact(bytes, 130).desc, desc);
}

void TestAnnouncement::addressTexts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mac");

    const QByteArray mac = putText(zeros(), 87, "0050C2ABCDEF");
    QTest::newRow("short address") << putText(mac, 72, "10.0.0.5") << QStringLiteral("10.0.0.5") << QStringLiteral("0050C2ABCDEF");
    QTest::newRow("15-character address")
        << putText(mac, 72, "255.255.255.255") << QStringLiteral("255.255.255.255") << QStringLiteral("0050C2ABCDEF");
    QTest::newRow("zero inside address is skipped")
        << put(mac, 72, {'1', '0', 0, '.', '1'}) << QStringLiteral("10.1") << QStringLiteral("0050C2ABCDEF");
    // Every MAC byte is a character, zero bytes included.
    QTest::newRow("short MAC keeps 12 characters")
        << putText(zeros(), 87, "0050C2") << QString()
        << (QStringLiteral("0050C2") + QString(6, QChar(0)));
}

void TestAnnouncement::addressTexts()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, ip);
    QFETCH(QString, mac);
    const udppack u = decodeExact(bytes, 130);
    QCOMPARE(u.ip, ip);
    QCOMPARE(u.mac.size(), 12);
    QCOMPARE(u.mac, mac);
}

void TestAnnouncement::versionAndModel_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("vnumber");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("model");

    QTest::newRow("5.0.1 forces model 8") << put(put(zeros(), 64, {5, 0, 1}), 121, {1}) << QStringLiteral("5.0.1") << 501 << 8;
    QTest::newRow("5.0.1 with model byte 0") << put(zeros(), 64, {5, 0, 1}) << QStringLiteral("5.0.1") << 501 << 8;
    QTest::newRow("5.0.2 keeps its byte") << put(put(zeros(), 64, {5, 0, 2}), 121, {1}) << QStringLiteral("5.0.2") << 502 << 1;
    QTest::newRow("5.0.10 is not 5.0.1")
        << put(put(zeros(), 64, {5, 0, 10}), 121, {3}) << QStringLiteral("5.0.10") << 510 << 3;
    QTest::newRow("0.50.1 has number 501 but is not 5.0.1")
        << put(put(zeros(), 64, {0, 50, 1}), 121, {2}) << QStringLiteral("0.50.1") << 501 << 2;
    QTest::newRow("3.1.6") << put(put(zeros(), 64, {3, 1, 6}), 121, {5}) << QStringLiteral("3.1.6") << 316 << 5;
    QTest::newRow("no padding") << put(zeros(), 64, {255, 0, 9}) << QStringLiteral("255.0.9") << 25509 << 0;
}

void TestAnnouncement::versionAndModel()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, vnumber);
    QFETCH(int, number);
    QFETCH(int, model);
    const udppack u = decodeExact(bytes, 130);
    QCOMPARE(u.vnumber, vnumber);
    QCOMPARE(versionNumber(&u), number);
    QCOMPARE(int(u.model), model);
}

void TestAnnouncement::buildDate_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("vbuild");

    QTest::newRow("March") << put(zeros(), 67, {7, 3, 20, 19}) << QStringLiteral("MAR-07-2019");
    QTest::newRow("month 13") << put(zeros(), 67, {7, 13, 20, 19}) << QStringLiteral("-07-2019");
    QTest::newRow("month 0") << put(zeros(), 67, {7, 0, 20, 19}) << QStringLiteral("-07-2019");
    QTest::newRow("January") << put(zeros(), 67, {1, 1, 20, 5}) << QStringLiteral("JAN-01-2005");
    QTest::newRow("December, two-digit day") << put(zeros(), 67, {31, 12, 19, 99}) << QStringLiteral("DEC-31-1999");
    QTest::newRow("day 0 padded") << put(zeros(), 67, {0, 6, 20, 0}) << QStringLiteral("JUN-00-2000");
    QTest::newRow("three-digit day not cut") << put(zeros(), 67, {200, 9, 20, 1}) << QStringLiteral("SEP-200-2001");
    QTest::newRow("all zero") << zeros() << QStringLiteral("-00-0");
}

void TestAnnouncement::buildDate()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, vbuild);
    QCOMPARE(decodeExact(bytes, 130).vbuild, vbuild);
}

void TestAnnouncement::bootLoaderAndRunTime_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("blv");
    QTest::addColumn<quint32>("rt");

    const QByteArray day = put(zeros(), 111, {0x80, 0x51, 0x01, 0x00});
    QTest::newRow("2.14 kept with run time") << putText(day, 115, "2.14") << QStringLiteral("2.14") << quint32(86400);
    QTest::newRow("214 then zero clears both") << put(day, 115, {'2', '1', '4', 0}) << QString() << quint32(0);
    QTest::newRow("no boot loader") << day << QString() << quint32(0);
    QTest::newRow("dot first clears") << putText(day, 115, ".214") << QString() << quint32(0);
    QTest::newRow("garbage around the dot kept") << put(day, 115, {0xFF, '.', 0, 'x'})
                                                << (QStringLiteral("\u00FF.") + QChar(0) + QLatin1Char('x')) << quint32(86400);
    QTest::newRow("largest run time") << putText(put(zeros(), 111, {0xFF, 0xFF, 0xFF, 0xFF}), 115, "1.05")
                                      << QStringLiteral("1.05") << quint32(0xFFFFFFFFu);
    QTest::newRow("little-endian run time") << putText(put(zeros(), 111, {0x01, 0x02, 0x03, 0x04}), 115, "1.00")
                                            << QStringLiteral("1.00") << quint32(0x04030201u);
}

void TestAnnouncement::bootLoaderAndRunTime()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, blv);
    QFETCH(quint32, rt);
    const udppack u = decodeExact(bytes, 130);
    QCOMPARE(u.blv, blv);
    QCOMPARE(quint32(u.rt), rt);
}

void TestAnnouncement::lengths_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("desc");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<int>("cent");     // offset 108, the last byte of an old announcement
    QTest::addColumn<int>("caddr");    // offset 109, the first byte past it
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("blb");      // offset 129, the last byte read

    // Garbage past 130 bytes must never shift or change anything.
    QByteArray garbage1001 = fullFixture() + QByteArray(1001 - 130, '\xA5');
    QByteArray garbage1200 = fullFixture() + QByteArray(1200 - 130, '\x5A');
    const QString mac = QStringLiteral("0050C2ABCDEF");
    const QString noMac(12, QChar(0));
    const QString desc = QStringLiteral("Line 4 West");

    QTest::newRow("0 of 130") << fullFixture() << 0 << QString() << noMac << 0 << 0 << 0 << 0;
    QTest::newRow("1 of 130") << fullFixture() << 1 << QStringLiteral("L") << noMac << 0 << 0 << 0 << 0;
    QTest::newRow("108 of 130") << fullFixture() << 108 << desc << mac << 0 << 0 << 0 << 0;
    QTest::newRow("109 of 130") << fullFixture() << 109 << desc << mac << 20 << 0 << 0 << 0;
    QTest::newRow("110 of 130") << fullFixture() << 110 << desc << mac << 20 << 0x34 << 0 << 0;
    QTest::newRow("129 of 130") << fullFixture() << 129 << desc << mac << 20 << 0x1234 << 3 << 0;
    QTest::newRow("130") << fullFixture() << 130 << desc << mac << 20 << 0x1234 << 3 << 5;
    QTest::newRow("1001") << garbage1001 << 1001 << desc << mac << 20 << 0x1234 << 3 << 5;
    QTest::newRow("1200") << garbage1200 << 1200 << desc << mac << 20 << 0x1234 << 3 << 5;
    QTest::newRow("-1 as 0") << fullFixture() << -1 << QString() << noMac << 0 << 0 << 0 << 0;
    QTest::newRow("INT_MIN as 0") << fullFixture() << INT_MIN << QString() << noMac << 0 << 0 << 0 << 0;
    QTest::newRow("count beyond a short buffer") << fullFixture().left(5) << 130 << QStringLiteral("Line ")
                                                 << noMac << 0 << 0 << 0 << 0;
    QTest::newRow("count beyond a 109-byte buffer") << fullFixture().left(109) << INT_MAX << desc << mac << 20 << 0 << 0 << 0;
    QTest::newRow("empty buffer, large count") << QByteArray() << 1200 << QString() << noMac << 0 << 0 << 0 << 0;
    QTest::newRow("empty buffer, no count") << QByteArray() << 0 << QString() << noMac << 0 << 0 << 0 << 0;
}

void TestAnnouncement::lengths()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, count);
    QFETCH(QString, desc);
    QFETCH(QString, mac);
    QFETCH(int, cent);
    QFETCH(int, caddr);
    QFETCH(int, model);
    QFETCH(int, blb);

    const udppack u = decodeExact(bytes, count);
    QCOMPARE(u.desc, desc);
    QCOMPARE(u.mac, mac);
    QCOMPARE(int(u.dt.cent), cent);
    QCOMPARE(int(u.caddr), caddr);
    QCOMPARE(int(u.model), model);
    QCOMPARE(int(u.blb), blb);
    if (count < 119) {
        // The boot loader text is cut, so neither it nor the run time counts.
        QVERIFY(u.blv.isEmpty());
        QCOMPARE(u.rt, std::uint32_t(0));
        QCOMPARE(u.naddr, std::uint16_t(0));
        QCOMPARE(u.cpui, std::uint8_t(0));
        QCOMPARE(u.ncp, std::uint8_t(0));
    }
}

void TestAnnouncement::staleBytesNeverDecode()
{
    // One buffer reused for two datagrams: the second, an old-firmware
    // announcement, must not pick up the first one's trailing fields.
    QByteArray buffer = fullFixture();
    udppack u;
    decodeAnnouncement(buffer, 130, u, fixtureNow());
    QCOMPARE(u.ncp, std::uint8_t(1));
    QCOMPARE(u.blv, QStringLiteral("1.05"));

    const QByteArray old = put(putText(putText(zeros(109), 0, "Old"), 87, "0050C2000001"), 64, {4, 9, 9});
    buffer.replace(0, old.size(), old);
    decodeAnnouncement(buffer, 109, u, fixtureNow());
    QCOMPARE(u.desc, QStringLiteral("Old"));
    QCOMPARE(u.vnumber, QStringLiteral("4.9.9"));
    QCOMPARE(u.caddr, std::uint16_t(0));
    QCOMPARE(u.rt, std::uint32_t(0));
    QVERIFY(u.blv.isEmpty());
    QCOMPARE(u.naddr, std::uint16_t(0));
    QCOMPARE(u.model, std::uint8_t(0));
    QCOMPARE(u.cons, std::uint8_t(0));
    QCOMPARE(u.zosv, (std::array<std::uint8_t, 3>{}));
    QCOMPARE(u.cpui, std::uint8_t(0));
    QCOMPARE(u.ncp, std::uint8_t(0));
    QCOMPARE(u.bla, std::uint8_t(0));
    QCOMPARE(u.blb, std::uint8_t(0));
}

void TestAnnouncement::oldFirmwareProtocolVariant_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("standard");

    // Bytes past 109 say "odd model, standard protocol"; an old announcement never shows them.
    const QByteArray tail = put(zeros(), 121, {1, 0, 0, 0, 0, 0, 1});
    QTest::newRow("4.9.9 below 500: model 0 is standard") << put(tail, 64, {4, 9, 9}) << true;
    QTest::newRow("5.0.0: ncp 0 is EtherNet/IP") << put(tail, 64, {5, 0, 0}) << false;
    QTest::newRow("5.0.1: model 8 but ncp 0") << put(tail, 64, {5, 0, 1}) << false;
}

void TestAnnouncement::oldFirmwareProtocolVariant()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, standard);
    const udppack u = decodeExact(bytes, 109);
    QCOMPARE(u.ncp, std::uint8_t(0));
    QCOMPARE(ProtocolVariant::standardRule(u), standard);
    // The same bytes in full say otherwise, so the count is what decided.
    QCOMPARE(ProtocolVariant::standardRule(decodeExact(bytes, 130)), !standard);
}

void TestAnnouncement::clock_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<bool>("dateoff");
    QTest::addColumn<int>("minutesoff");

    const QDate may14(2024, 5, 14);
    auto at = [&](int h, int m, int s) { return QDateTime(may14, QTime(h, m, s)); };
    // dtpack: sec, minutes, hrs, dayOfMonth, dayOfWeek, mon, year, cent
    const QByteArray ten = dtBytes({0, 0, 10, 14, 3, 5, 24, 20});

    QTest::newRow("2 min 31 s -> 3") << ten << at(10, 2, 31) << false << 3;
    QTest::newRow("unit ahead, same distance") << dtBytes({31, 2, 10, 14, 3, 5, 24, 20}) << at(10, 0, 0) << false << 3;
    QTest::newRow("90 s -> 2") << ten << at(10, 1, 30) << false << 2;
    QTest::newRow("150 s -> 2 (half to even)") << ten << at(10, 2, 30) << false << 2;
    QTest::newRow("210 s -> 4 (half to even)") << ten << at(10, 3, 30) << false << 4;
    QTest::newRow("30 s -> 0") << ten << at(10, 0, 30) << false << 0;
    QTest::newRow("29 s -> 0") << ten << at(9, 59, 31) << false << 0;
    QTest::newRow("31 s -> 1") << ten << at(9, 59, 29) << false << 1;
    QTest::newRow("day of week not compared") << dtBytes({0, 0, 10, 14, 7, 5, 24, 20}) << at(10, 0, 0) << false << 0;
    QTest::newRow("23:59 vs 00:01 next day") << dtBytes({0, 59, 23, 14, 3, 5, 24, 20})
                                             << QDateTime(QDate(2024, 5, 15), QTime(0, 1, 0)) << true << 1438;
    QTest::newRow("00:00:00 vs 23:59:59") << dtBytes({0, 0, 0, 14, 3, 5, 24, 20}) << at(23, 59, 59) << false << 1440;
    QTest::newRow("other day, same time") << dtBytes({0, 0, 10, 13, 2, 5, 24, 20}) << at(10, 0, 0) << true << 0;
    QTest::newRow("other month") << dtBytes({0, 0, 10, 14, 3, 6, 24, 20}) << at(10, 0, 0) << true << 0;
    QTest::newRow("other century") << dtBytes({0, 0, 10, 14, 3, 5, 24, 19}) << at(10, 0, 0) << true << 0;
    QTest::newRow("Feb 29 in a leap year") << dtBytes({0, 5, 10, 29, 5, 2, 24, 20})
                                           << QDateTime(QDate(2024, 2, 29), QTime(10, 0, 0)) << false << 5;
    QTest::newRow("Feb 29 of 2000") << dtBytes({0, 5, 10, 29, 3, 2, 0, 20})
                                    << QDateTime(QDate(2000, 2, 29), QTime(10, 0, 0)) << false << 5;

    // Clocks that are no date or time: always "off", never a minute count.
    QTest::newRow("invalid: month 0") << dtBytes({0, 5, 10, 14, 3, 0, 24, 20}) << at(10, 0, 0) << true << 0;
    QTest::newRow("invalid: month 13") << dtBytes({0, 5, 10, 14, 3, 13, 24, 20}) << at(10, 0, 0) << true << 0;
    QTest::newRow("invalid: day 0") << dtBytes({0, 5, 10, 0, 3, 5, 24, 20}) << at(10, 0, 0) << true << 0;
    QTest::newRow("invalid: April 31") << dtBytes({0, 5, 10, 31, 3, 4, 24, 20}) << at(10, 0, 0) << true << 0;
    QTest::newRow("invalid: hour 24") << dtBytes({0, 0, 24, 14, 3, 5, 24, 20}) << at(0, 5, 0) << true << 0;
    QTest::newRow("invalid: minute 60") << dtBytes({0, 60, 10, 14, 3, 5, 24, 20}) << at(10, 0, 0) << true << 0;
    QTest::newRow("invalid: second 60") << dtBytes({60, 0, 10, 14, 3, 5, 24, 20}) << at(10, 0, 0) << true << 0;
    QTest::newRow("invalid: Feb 29 2023") << dtBytes({0, 5, 10, 29, 4, 2, 23, 20})
                                          << QDateTime(QDate(2023, 3, 1), QTime(10, 0, 0)) << true << 0;
    QTest::newRow("invalid: Feb 29 2100") << dtBytes({0, 5, 10, 29, 2, 2, 0, 21}) << at(10, 0, 0) << true << 0;
    QTest::newRow("invalid: all 0xFF") << dtBytes({255, 255, 255, 255, 255, 255, 255, 255}) << at(10, 0, 0) << true << 0;
    QTest::newRow("no time (eight zeros)") << zeros() << at(0, 3, 0) << true << 0;
}

void TestAnnouncement::clock()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QDateTime, now);
    QFETCH(bool, dateoff);
    QFETCH(int, minutesoff);
    udppack u;
    u.dateoff = !dateoff; // stale values from an earlier answer must be replaced
    u.minutesoff = 999;
    decodeAnnouncement(bytes, 130, u, now);
    QCOMPARE(u.dateoff, dateoff);
    QCOMPARE(int(u.minutesoff), minutesoff);
}

void TestAnnouncement::discoveryQuery_data()
{
    QTest::addColumn<QDateTime>("clock"); // invalid: the plain query
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray magic("SVRK?");
    QTest::newRow("plain") << QDateTime() << (magic + QByteArray(8, '\0'));
    QTest::newRow("Sunday") << QDateTime(QDate(2024, 5, 12), QTime(13, 45, 9))
                            << put(magic + QByteArray(8, '\0'), 5, {9, 45, 13, 12, 1, 5, 24, 20});
    QTest::newRow("Monday") << QDateTime(QDate(2024, 5, 13), QTime(0, 0, 0))
                            << put(magic + QByteArray(8, '\0'), 5, {0, 0, 0, 13, 2, 5, 24, 20});
    QTest::newRow("Saturday, end of century year") << QDateTime(QDate(2099, 12, 19), QTime(23, 59, 59))
                                                   << put(magic + QByteArray(8, '\0'), 5, {59, 59, 23, 19, 7, 12, 99, 20});
    QTest::newRow("year 2000") << QDateTime(QDate(2000, 1, 1), QTime(1, 2, 3)) // a Saturday
                               << put(magic + QByteArray(8, '\0'), 5, {3, 2, 1, 1, 7, 1, 0, 20});
}

void TestAnnouncement::discoveryQuery()
{
    QFETCH(QDateTime, clock);
    QFETCH(QByteArray, bytes);
    const QByteArray q = clock.isValid() ? vork::discoveryQuery(dtpackFromDateTime(clock)) : vork::discoveryQuery();
    QCOMPARE(q.size(), 13);
    QCOMPARE(q, bytes);
}

void TestAnnouncement::roundTrip()
{
    const udppack first = decodeExact(fullFixture(), 130);
    const QByteArray encoded = encodeAnnouncement(first);
    QCOMPARE(encoded, fullFixture());
    const udppack second = decodeExact(encoded, 130);
    QCOMPARE(second.desc, first.desc);
    QCOMPARE(second.ver, first.ver);
    QCOMPARE(second.dt, first.dt);
    QCOMPARE(second.rt, first.rt);
    QCOMPARE(second.blv, first.blv);
    QCOMPARE(second.mac, first.mac);
}

QTEST_GUILESS_MAIN(TestAnnouncement)
#include "tst_announcement.moc"
