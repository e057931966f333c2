// A simulated unit on loopback, driven by a plain UDP socket: the answers' bytes
// are compared with an announcement laid out by hand, offset by offset.

#include "simharness.h"
#include "simfleet.h"
#include "simunitserver.h"

#include "unit/announcement.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <initializer_list>
#include <memory>

using namespace vork;
using namespace vork::sim;


namespace {



constexpr int answerTimeoutMs = 2000;
// Loopback answers arrive within this; used only to show that nothing more comes.
constexpr int settleMs = 150;

const QHostAddress unitAddress(QStringLiteral("127.0.31.2"));

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(static_cast<char>(v));
    return b;
}

void put(QByteArray &record, int offset, const QByteArray &field)
{
    record.replace(offset, field.size(), field);
}

// The fixture unit's announcement, placed byte by byte at the documented offsets.
// PC clock Thursday 2024-02-29 13:45:30; 86400 s run time plus 5 s since start.
QByteArray fixture()
{
    QByteArray r(130, '\0');
    put(r, 0, QByteArray("Line 1 Infeed"));
    put(r, 64, bytes({5, 0, 3}));                           // version digits
    put(r, 67, bytes({7, 3, 20, 19}));                      // build day, month, century, year
    put(r, 71, bytes({2}));                                 // readers
    put(r, 72, QByteArray("127.0.31.2"));                   // own address text
    put(r, 87, QByteArray("0050C2ABCDEF"));                 // MAC
    put(r, 99, bytes({0x1F}));                              // flash manufacturer
    put(r, 100, bytes({0x47}));                             // flash type
    put(r, 101, bytes({30, 45, 13, 29, 5, 2, 24, 20}));     // clock, weekday 5 = Thursday
    put(r, 109, bytes({0x02, 0x01}));                       // caddr 0x0102
    put(r, 111, bytes({0x85, 0x51, 0x01, 0x00}));           // run time 86405
    put(r, 115, QByteArray("1.05"));                        // boot loader
    put(r, 119, bytes({0x04, 0x03}));                       // naddr 0x0304
    put(r, 121, bytes({9}));                                // model
    put(r, 122, bytes({0x05}));                             // connection bits
    put(r, 123, bytes({2, 1, 7}));                          // network-processor version
    put(r, 126, bytes({87}));                               // CPU idle
    put(r, 127, bytes({0}));                                // protocol: EtherNet/IP
    put(r, 128, bytes({3}));                                // boot loader A
    put(r, 129, bytes({4}));                                // boot loader B
    return r;
}

SimUnit fixtureUnit()
{
    SimUnit u;
    u.description = QStringLiteral("Line 1 Infeed");
    u.version = {5, 0, 3};
    u.build = {7, 3, 20, 19};
    u.readers = 2;
    u.address = unitAddress;
    u.mac = QStringLiteral("0050C2ABCDEF");
    u.flashMfg = 0x1F;
    u.flashType = 0x47;
    u.caddr = 0x0102;
    u.runTime = 86400;
    u.bootLoader = QStringLiteral("1.05");
    u.naddr = 0x0304;
    u.model = 9;
    u.cons = 0x05;
    u.zosv = {2, 1, 7};
    u.cpuIdle = 87;
    u.ncp = 0;
    u.bla = 3;
    u.blb = 4;
    return u;
}

QByteArray plainQuery()
{
    return QByteArray("SVRK?") + QByteArray(8, '\0');
}

// One fixture unit with pinned clocks, and a client to talk to it.
struct Rig
{
    QDateTime wall{QDate(2024, 2, 29), QTime(13, 45, 30)};
    qint64 monotonicMs = 1000;
    std::unique_ptr<SimUnitServer> server;
    AnswerCollector client;

    bool start(const SimUnit &unit = fixtureUnit())
    {
        server = std::make_unique<SimUnitServer>(unit);
        server->setTimeSource([this] { return wall; }, [this] { return monotonicMs; });
        monotonicMs += 5000;
        QString error;
        if (!server->start({}, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        return client.open();
    }
    void query(const QByteArray &q = plainQuery()) { client.send(q, unitAddress); }
};

} // namespace

class TestSimUnit : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void answersWithAnnouncement_data();
    void answersWithAnnouncement();
    void clockQuery_data();
    void clockQuery();
    void runTimeFollowsElapsedTime_data();
    void runTimeFollowsElapsedTime();
    void faultShapes_data();
    void faultShapes();
    void delayedAnswer_data();
    void delayedAnswer();
    void silence_data();
    void silence();
    void otherDatagramsRecordedNotAnswered_data();
    void otherDatagramsRecordedNotAnswered();
    void faultsSwitchWhileRunning();
    void fleetUnitsAnswerFromOwnAddresses();
    void bindConflictReported();
};

void TestSimUnit::answersWithAnnouncement_data()
{
    QTest::addColumn<bool>("oldFirmware");
    QTest::addColumn<int>("size");
    QTest::newRow("current firmware") << false << 130;
    QTest::newRow("old firmware") << true << 109;
}

void TestSimUnit::answersWithAnnouncement()
{
    QFETCH(bool, oldFirmware);
    QFETCH(int, size);
    SimUnit unit = fixtureUnit();
    unit.oldFirmware = oldFirmware;
    Rig rig;
    QVERIFY(rig.start(unit));
    QCOMPARE(rig.server->localPort(), quint16(3010));

    rig.query();
    QTRY_COMPARE_WITH_TIMEOUT(rig.client.answers.size(), 1, answerTimeoutMs);
    const auto &answer = rig.client.answers.first();
    QCOMPARE(answer.bytes.size(), size);
    QCOMPARE(answer.bytes.toHex(' '), fixture().left(size).toHex(' '));
    QCOMPARE(answer.from, unitAddress);
    QCOMPARE(answer.fromPort, quint16(3010));

    // The query is on record with its sender.
    QCOMPARE(rig.server->received().size(), 1);
    QCOMPARE(rig.server->received().first().bytes, plainQuery());
    QCOMPARE(rig.server->received().first().sender, QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(rig.server->received().first().senderPort, rig.client.socket.localPort());

    // The utility's decoder reads the same fields back.
    udppack decoded;
    decodeAnnouncement(answer.bytes, static_cast<int>(answer.bytes.size()), decoded, rig.wall);
    QCOMPARE(decoded.desc, QStringLiteral("Line 1 Infeed"));
    QCOMPARE(decoded.ip, QStringLiteral("127.0.31.2"));
    QCOMPARE(decoded.mac, QStringLiteral("0050C2ABCDEF"));
    QCOMPARE(decoded.rt, oldFirmware ? 0u : 86405u);
    QCOMPARE(decoded.minutesoff, quint16(0));
    QVERIFY(!decoded.dateoff);

    QTest::qWait(settleMs);
    QCOMPARE(rig.client.answers.size(), 1);
}

void TestSimUnit::clockQuery_data()
{
    QTest::addColumn<QByteArray>("sentClock");
    QTest::addColumn<QByteArray>("unitClock"); // in the answer to this query and to a later plain one
    QTest::addColumn<qint64>("offsetMs");

    const QByteArray unchanged = bytes({30, 45, 13, 29, 5, 2, 24, 20});
    QTest::newRow("plain query keeps the clock") << QByteArray(8, '\0') << unchanged << qint64(0);
    // 2031-06-15 is a Sunday: weekday 1.
    QTest::newRow("clock moves forward") << bytes({0, 30, 8, 15, 1, 6, 31, 20}) << bytes({0, 30, 8, 15, 1, 6, 31, 20})
                                         << QDateTime(QDate(2024, 2, 29), QTime(13, 45, 30))
                                                .msecsTo(QDateTime(QDate(2031, 6, 15), QTime(8, 30, 0)));
    QTest::newRow("clock moves back one second") << bytes({29, 45, 13, 29, 5, 2, 24, 20})
                                                 << bytes({29, 45, 13, 29, 5, 2, 24, 20}) << qint64(-1000);
    QTest::newRow("weekday follows the date") << bytes({0, 0, 12, 1, 2, 1, 30, 20}) // 2030-01-01 is a Tuesday
                                              << bytes({0, 0, 12, 1, 3, 1, 30, 20})
                                              << QDateTime(QDate(2024, 2, 29), QTime(13, 45, 30))
                                                     .msecsTo(QDateTime(QDate(2030, 1, 1), QTime(12, 0, 0)));
    QTest::newRow("month 13 is ignored") << bytes({0, 0, 12, 1, 1, 13, 30, 20}) << unchanged << qint64(0);
    QTest::newRow("hour 24 is ignored") << bytes({0, 0, 24, 1, 1, 1, 30, 20}) << unchanged << qint64(0);
    QTest::newRow("February 30 is ignored") << bytes({0, 0, 12, 30, 1, 2, 30, 20}) << unchanged << qint64(0);
}

void TestSimUnit::clockQuery()
{
    QFETCH(QByteArray, sentClock);
    QFETCH(QByteArray, unitClock);
    QFETCH(qint64, offsetMs);
    Rig rig;
    QVERIFY(rig.start());

    rig.query(QByteArray("SVRK?") + sentClock);
    QTRY_COMPARE_WITH_TIMEOUT(rig.client.answers.size(), 1, answerTimeoutMs);
    QCOMPARE(rig.client.answers.at(0).bytes.mid(101, 8).toHex(' '), unitClock.toHex(' '));
    QCOMPARE(rig.server->unit().clockOffsetMs, offsetMs);

    rig.query();
    QTRY_COMPARE_WITH_TIMEOUT(rig.client.answers.size(), 2, answerTimeoutMs);
    QCOMPARE(rig.client.answers.at(1).bytes.mid(101, 8).toHex(' '), unitClock.toHex(' '));

    // The unit's clock runs on with the PC's.
    rig.wall = rig.wall.addSecs(61);
    QCOMPARE(rig.server->clock(), rig.wall.addMSecs(offsetMs));
}

void TestSimUnit::runTimeFollowsElapsedTime_data()
{
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QByteArray>("runTimeBytes");
    QTest::newRow("just started") << qint64(0) << bytes({0x80, 0x51, 0x01, 0x00});       // 86400
    QTest::newRow("part of a second") << qint64(999) << bytes({0x80, 0x51, 0x01, 0x00}); // whole seconds only
    QTest::newRow("one second") << qint64(1000) << bytes({0x81, 0x51, 0x01, 0x00});
    QTest::newRow("one hour") << qint64(3600000) << bytes({0x90, 0x5F, 0x01, 0x00});     // 90000
}

void TestSimUnit::runTimeFollowsElapsedTime()
{
    QFETCH(qint64, elapsedMs);
    QFETCH(QByteArray, runTimeBytes);
    Rig rig;
    QVERIFY(rig.start());
    rig.monotonicMs = 1000 + elapsedMs; // the start was taken at 1000

    rig.query();
    QTRY_COMPARE_WITH_TIMEOUT(rig.client.answers.size(), 1, answerTimeoutMs);
    QCOMPARE(rig.client.answers.at(0).bytes.mid(111, 4).toHex(' '), runTimeBytes.toHex(' '));
}

void TestSimUnit::faultShapes_data()
{
    QTest::addColumn<SimFaults>("faults");
    QTest::addColumn<bool>("oldFirmware");
    // Per answer: its length and the bytes it must start with (empty for garbage).
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QList<QByteArray>>("prefixes");

    const QByteArray full = fixture();
    QByteArray otherMac = full;
    put(otherMac, 87, QByteArray("0050C22BCDEF")); // derived: one bit flipped in the device part
    QByteArray givenMac = full;
    put(givenMac, 87, QByteArray("0050C2000099"));

    SimFaults f;
    f.shortLength = 50;
    QTest::newRow("short 50") << f << false << QList<int>{50} << QList<QByteArray>{full.left(50)};
    f.shortLength = 108;
    QTest::newRow("short 108") << f << false << QList<int>{108} << QList<QByteArray>{full.left(108)};
    f.shortLength = 100;
    QTest::newRow("short old firmware") << f << true << QList<int>{100} << QList<QByteArray>{full.left(100)};
    f.shortLength = 120; // longer than the old firmware's answer: nothing to cut
    QTest::newRow("short beyond old firmware") << f << true << QList<int>{109} << QList<QByteArray>{full.left(109)};

    f = {};
    f.oversizeLength = 1200;
    QTest::newRow("oversized 1200") << f << false << QList<int>{1200} << QList<QByteArray>{full};
    QTest::newRow("oversized old firmware") << f << true << QList<int>{1200} << QList<QByteArray>{full.left(109)};

    f = {};
    f.garbageLength = 40;
    QTest::newRow("garbage 40") << f << false << QList<int>{40} << QList<QByteArray>{QByteArray()};
    f.garbageLength = 1;
    QTest::newRow("garbage 1") << f << false << QList<int>{1} << QList<QByteArray>{QByteArray()};

    f = {};
    f.duplicate = true;
    QTest::newRow("duplicate MAC derived") << f << false << QList<int>{130, 130} << QList<QByteArray>{full, otherMac};
    f.duplicateMac = QStringLiteral("0050C2000099");
    QTest::newRow("duplicate MAC given") << f << false << QList<int>{130, 130} << QList<QByteArray>{full, givenMac};
    f.duplicateMac.clear();
    f.shortLength = 60;
    QTest::newRow("duplicate and short") << f << false << QList<int>{60, 60}
                                         << QList<QByteArray>{full.left(60), otherMac.left(60)};
    QTest::newRow("duplicate old firmware") << makeFaults([](SimFaults &g) { g.duplicate = true; }) << true << QList<int>{109, 109}
                                            << QList<QByteArray>{full.left(109), otherMac.left(109)};
}

void TestSimUnit::faultShapes()
{
    QFETCH(SimFaults, faults);
    QFETCH(bool, oldFirmware);
    QFETCH(QList<int>, sizes);
    QFETCH(QList<QByteArray>, prefixes);
    SimUnit unit = fixtureUnit();
    unit.faults = faults;
    unit.oldFirmware = oldFirmware;
    Rig rig;
    QVERIFY(rig.start(unit));

    rig.query();
    QTRY_COMPARE_WITH_TIMEOUT(rig.client.answers.size(), sizes.size(), answerTimeoutMs);
    QTest::qWait(settleMs);
    QCOMPARE(rig.client.answers.size(), sizes.size());
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const auto &answer = rig.client.answers.at(i);
        QCOMPARE(answer.from, unitAddress);
        QCOMPARE(answer.bytes.size(), sizes.at(i));
        if (prefixes.at(i).isEmpty()) {
            // Garbage: not the start of the announcement.
            QVERIFY(answer.bytes != fixture().left(answer.bytes.size()));
        } else {
            QCOMPARE(answer.bytes.left(prefixes.at(i).size()).toHex(' '), prefixes.at(i).toHex(' '));
        }
    }
}

void TestSimUnit::delayedAnswer_data()
{
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("duplicate");
    QTest::newRow("300 ms") << 300 << false;
    QTest::newRow("300 ms, duplicate MAC") << 300 << true;
    QTest::newRow("no delay") << 0 << false;
}

void TestSimUnit::delayedAnswer()
{
    QFETCH(int, delayMs);
    QFETCH(bool, duplicate);
    SimUnit unit = fixtureUnit();
    unit.faults.delayMs = delayMs;
    unit.faults.duplicate = duplicate;
    Rig rig;
    QVERIFY(rig.start(unit));

    QElapsedTimer timer;
    timer.start();
    rig.query();
    const int expected = duplicate ? 2 : 1;
    QTRY_COMPARE_WITH_TIMEOUT(rig.client.answers.size(), expected, delayMs + answerTimeoutMs);
    const qint64 took = timer.elapsed();
    QVERIFY2(took >= delayMs, qPrintable(QStringLiteral("answered after %1 ms").arg(took)));
    if (delayMs == 0)
        QVERIFY2(took < 250, qPrintable(QStringLiteral("answered after %1 ms").arg(took)));
    QCOMPARE(rig.client.answers.first().bytes.size(), 130);
}

void TestSimUnit::silence_data()
{
    QTest::addColumn<SimFaults>("faults");
    QTest::newRow("silent") << makeFaults([](SimFaults &f) { f.silent = true; });
    QTest::newRow("silent beats duplicate") << makeFaults([](SimFaults &f) { f.duplicate = true; f.silent = true; });
    QTest::newRow("silent beats garbage") << makeFaults([](SimFaults &f) { f.garbageLength = 20; f.silent = true; });
}

void TestSimUnit::silence()
{
    QFETCH(SimFaults, faults);
    SimUnit unit = fixtureUnit();
    unit.faults = faults;
    Rig rig;
    QVERIFY(rig.start(unit));

    // A silent unit still hears, and still takes the clock it is given.
    rig.query(QByteArray("SVRK?") + bytes({0, 30, 8, 15, 1, 6, 31, 20}));
    QTRY_COMPARE_WITH_TIMEOUT(rig.server->received().size(), 1, answerTimeoutMs);
    QTest::qWait(settleMs);
    QCOMPARE(rig.client.answers.size(), 0);
    QCOMPARE(rig.server->clock(), QDateTime(QDate(2031, 6, 15), QTime(8, 30, 0)));
}

void TestSimUnit::otherDatagramsRecordedNotAnswered_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::newRow("reboot request") << QByteArray("SVRK#") + QByteArray(8, '\0');
    QTest::newRow("query one byte short") << QByteArray("SVRK?") + QByteArray(7, '\0');
    QTest::newRow("query one byte long") << QByteArray("SVRK?") + QByteArray(9, '\0');
    QTest::newRow("lower-case magic") << QByteArray("svrk?") + QByteArray(8, '\0');
    QTest::newRow("empty datagram") << QByteArray();
    QTest::newRow("1000 bytes of 0xFF") << QByteArray(1000, '\xFF');
}

void TestSimUnit::otherDatagramsRecordedNotAnswered()
{
    QFETCH(QByteArray, datagram);
    Rig rig;
    QVERIFY(rig.start());
    QSignalSpy heard(rig.server.get(), &SimUnitServer::datagramReceived);

    rig.query(datagram);
    QVERIFY(heard.wait(answerTimeoutMs));
    QCOMPARE(heard.first().at(0).toByteArray(), datagram);
    QCOMPARE(heard.first().at(1).toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(rig.server->received().size(), 1);
    QCOMPARE(rig.server->received().first().bytes, datagram);
    QCOMPARE(rig.server->received().first().senderPort, rig.client.socket.localPort());
    QTest::qWait(settleMs);
    QCOMPARE(rig.client.answers.size(), 0);
    QCOMPARE(rig.server->unit().clockOffsetMs, 0);
}

void TestSimUnit::faultsSwitchWhileRunning()
{
    Rig rig;
    QVERIFY(rig.start());
    rig.query();
    QTRY_COMPARE_WITH_TIMEOUT(rig.client.answers.size(), 1, answerTimeoutMs);

    rig.server->setFaults(makeFaults([](SimFaults &f) { f.shortLength = 20; }));
    rig.query();
    QTRY_COMPARE_WITH_TIMEOUT(rig.client.answers.size(), 2, answerTimeoutMs);
    QCOMPARE(rig.client.answers.at(1).bytes, fixture().left(20));

    rig.server->setFaults({});
    rig.server->setOldFirmware(true);
    rig.query();
    QTRY_COMPARE_WITH_TIMEOUT(rig.client.answers.size(), 3, answerTimeoutMs);
    QCOMPARE(rig.client.answers.at(2).bytes, fixture().left(109));
    QCOMPARE(rig.server->received().size(), 3);
}

void TestSimUnit::fleetUnitsAnswerFromOwnAddresses()
{
    QList<SimUnit> units;
    QString error;
    QVERIFY2(demoFleet(3, QHostAddress(QStringLiteral("127.0.31.20")), units, &error), qPrintable(error));
    SimFleet fleet;
    for (const SimUnit &u : units)
        fleet.add(u);
    QVERIFY2(fleet.start({}, &error), qPrintable(error));

    AnswerCollector client;
    QVERIFY(client.open());
    for (int i = 0; i < 3; ++i)
        client.send(plainQuery(), units.at(i).address);
    QTRY_COMPARE_WITH_TIMEOUT(client.answers.size(), 3, answerTimeoutMs);

    QStringList macs;
    for (const auto &answer : std::as_const(client.answers)) {
        udppack decoded;
        decodeAnnouncement(answer.bytes, static_cast<int>(answer.bytes.size()), decoded);
        // Each unit names its own address, and answers from it.
        QCOMPARE(decoded.ip, answer.from.toString());
        QVERIFY(decoded.ip.startsWith(QStringLiteral("127.0.31.2")));
        macs.append(decoded.mac);
    }
    macs.sort();
    QCOMPARE(macs, (QStringList{QStringLiteral("0050C2001F14"), QStringLiteral("0050C2001F15"),
                                QStringLiteral("0050C2001F16")}));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(fleet.server(i).received().size(), 1);
}

void TestSimUnit::bindConflictReported()
{
    SimUnit unit = fixtureUnit();
    SimUnitServer first(unit);
    QString error;
    QVERIFY2(first.start({}, &error), qPrintable(error));
    SimUnitServer second(unit);
    QVERIFY(!second.start({}, &error));
    QVERIFY2(error.startsWith(QStringLiteral("cannot bind 127.0.31.2:3010")), qPrintable(error));
    QVERIFY(!second.isListening());
    QVERIFY(first.isListening());
}

QTEST_GUILESS_MAIN(TestSimUnit)
#include "tst_simunit.moc"
