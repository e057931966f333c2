// The photo eyes of a monitored unit against simulated units: a read once or
// continuously, the lamps from the reply bytes, reader counts the unit gets
// wrong, late, split and doubled replies and a link that drops.
#include "connection/connectionmanager.h"
#include "connection/operation.h"
#include "core/boundedwait.h"
#include "monitor/photoeyes.h"
#include "toolrig.h"

#include <QSignalSpy>
#include <QTest>

using namespace vork;
using monitorrig::Rig;

namespace {

constexpr int net = 41;
const QString firstIp = QStringLiteral("127.0.41.2");

QByteArray lampBytes(const PhotoEyes &eyes)
{
    QByteArray out;
    for (int r = 0; r < PhotoEyes::readerSlots; ++r)
        out.append(static_cast<char>(eyes.lamps(r)));
    return out;
}

} // namespace

class TestPhotoEyes : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lampStates_data();
    void lampStates();
    void singleRead_data();
    void singleRead();
    void continuousUntilReleased_data();
    void continuousUntilReleased();
    void repliesOutOfTurn_data();
    void repliesOutOfTurn();
    void anotherUnitsReplyChangesNothing();
    void refusedWhileAnotherOperationRuns();
    void unitMissingOrNotConnected();
    void linkDroppedWhileReading();
};

void TestPhotoEyes::lampStates_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<bool>("a");
    QTest::addColumn<bool>("b");
    QTest::addColumn<bool>("c");
    QTest::newRow("0x05: A and C") << 0x05 << true << false << true;
    QTest::newRow("0x00: none") << 0x00 << false << false << false;
    QTest::newRow("0x04: A") << 0x04 << true << false << false;
    QTest::newRow("0x02: B") << 0x02 << false << true << false;
    QTest::newRow("0x01: C") << 0x01 << false << false << true;
    QTest::newRow("0x07: all") << 0x07 << true << true << true;
    QTest::newRow("0xF8: high bits are no eyes") << 0xF8 << false << false << false;
    QTest::newRow("0xFE: A and B") << 0xFE << true << true << false;
}

void TestPhotoEyes::lampStates()
{
    QFETCH(int, byte);
    QFETCH(bool, a);
    QFETCH(bool, b);
    QFETCH(bool, c);
    QCOMPARE(PhotoEyes::lampStates(static_cast<std::uint8_t>(byte)), (PhotoEyeLamps{a, b, c}));
}

void TestPhotoEyes::singleRead_data()
{
    QTest::addColumn<int>("readers");
    QTest::addColumn<QByteArray>("set");    // the unit's eye bytes
    QTest::addColumn<QByteArray>("reply");  // what the unit sent after 'P'
    QTest::addColumn<QByteArray>("lamps");  // the eight readers' lamps afterwards
    QTest::newRow("one reader: one byte, A and C") << 1 << QByteArray("\x05") << QByteArray("P\x05")
                                                   << QByteArray("\x05\0\0\0\0\0\0\0", 8);
    QTest::newRow("four readers") << 4 << QByteArray("\x04\x02\x01\x07") << QByteArray("P\x04\x02\x01\x07")
                                  << QByteArray("\x04\x02\x01\x07\0\0\0\0", 8);
    QTest::newRow("eight readers") << 8 << QByteArray("\x01\x02\x03\x04\x05\x06\x07\x01")
                                   << QByteArray("P\x01\x02\x03\x04\x05\x06\x07\x01")
                                   << QByteArray("\x01\x02\x03\x04\x05\x06\x07\x01");
    QTest::newRow("a count of 12: eight taken, the rest dropped")
        << 12 << QByteArray("\x01\x02\x03\x04\x05\x06\x07\x01\x07\x07\x07\x07")
        << QByteArray("P\x01\x02\x03\x04\x05\x06\x07\x01\x07\x07\x07\x07")
        << QByteArray("\x01\x02\x03\x04\x05\x06\x07\x01");
    QTest::newRow("a count of 0: one byte") << 0 << QByteArray("\x06") << QByteArray("P\x06")
                                            << QByteArray("\x06\0\0\0\0\0\0\0", 8);
    // 0x06 is also the acknowledgement byte: as a reply's data it is only eyes.
    QTest::newRow("eyes that look like ACK and NAK") << 2 << QByteArray("\x06\x15") << QByteArray("P\x06\x15")
                                                     << QByteArray("\x06\x05\0\0\0\0\0\0", 8);
}

void TestPhotoEyes::singleRead()
{
    QFETCH(int, readers);
    QFETCH(QByteArray, set);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, lamps);
    sim::SimUnit u = monitorrig::unit(net, 0, readers);
    u.monitor.photoEyes = set;
    Rig rig;
    QVERIFY(rig.start({u}));
    PhotoEyes eyes(rig.services);
    QSignalSpy finished(&eyes, &PhotoEyes::readFinished);
    QVERIFY(eyes.read(firstIp, false));
    QCOMPARE(eyes.state(), PhotoEyes::State::Single);
    QVERIFY(rig.op.logged(QStringLiteral("Sent P Command to Vork Unit 127.0.41.2")));
    QVERIFY(wait::until([&] { return finished.count() == 1; }, 3000));
    QCOMPARE(rig.afterMonitor(0), QByteArray("P"));
    QVERIFY(rig.tcp(0).sent().endsWith(reply));
    QVERIFY(!eyes.reading());
    QCOMPARE(lampBytes(eyes), lamps); // the lamps stay lit after a single read
    QCOMPARE(eyes.lamps(-1), std::uint8_t(0));
    QCOMPARE(eyes.lamps(8), std::uint8_t(0));

    // The stream is still in step: a live record after the reply decodes whole.
    rig.tcp(0).pushBytes(monitorrig::labelRecord(1, 4321));
    QVERIFY(wait::until([&] { return rig.session.rows().size() == 1; }, 2000));
    QCOMPARE(rig.session.rows().back().pack.labelNumber(), 4321);
    QCOMPARE(int(rig.session.rows().back().pack.rdr), 1);
    QCOMPARE(rig.services.connections().undefinedBytes(), 0u);
    QVERIFY(rig.op.logs.filter(QStringLiteral("Undefined")).isEmpty());
    QCOMPARE(finished.count(), 1);
}

void TestPhotoEyes::continuousUntilReleased_data()
{
    QTest::addColumn<bool>("byContinuousButton"); // "C" released instead of "Read PEs"
    QTest::newRow("Read PEs released with C down") << false;
    QTest::newRow("C released while Read PEs is down") << true;
}

void TestPhotoEyes::continuousUntilReleased()
{
    QFETCH(bool, byContinuousButton);
    sim::SimUnit u = monitorrig::unit(net, 0, 2);
    u.monitor.photoEyes = QByteArray("\x03\x04");
    Rig rig;
    QVERIFY(rig.start({u}));
    PhotoEyes eyes(rig.services);
    QSignalSpy replies(&eyes, &PhotoEyes::replyArrived);
    QSignalSpy finished(&eyes, &PhotoEyes::readFinished);
    QVERIFY(eyes.read(firstIp, true));
    QCOMPARE(eyes.state(), PhotoEyes::State::Continuous);
    QVERIFY(!eyes.read(firstIp, false)); // already reading
    QVERIFY(wait::until([&] { return replies.count() >= 3; }, 3000));
    QVERIFY(eyes.reading());
    QCOMPARE(finished.count(), 0);
    QCOMPARE(lampBytes(eyes), QByteArray("\x03\x04\0\0\0\0\0\0", 8));

    if (byContinuousButton)
        eyes.releaseContinuous();
    else
        eyes.release(true);
    QVERIFY(!eyes.reading());
    QCOMPARE(lampBytes(eyes), QByteArray(8, '\0'));
    QVERIFY(wait::until([&] { return rig.afterMonitor(0) == QByteArray("pX"); }, 2000));
    // Replies already on their way light nothing; then none come.
    wait::delay(300);
    const int seen = int(replies.count());
    QCOMPARE(lampBytes(eyes), QByteArray(8, '\0'));
    auto *handler = rig.tcp(0).findChild<sim::SimMonitorHandler *>();
    QVERIFY(handler);
    const int sent = handler->photoEyeReplies();
    wait::delay(300);
    QCOMPARE(handler->photoEyeReplies(), sent);
    QCOMPARE(int(replies.count()), seen);
    QCOMPARE(finished.count(), 0);
}

void TestPhotoEyes::repliesOutOfTurn_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces"); // pushed 50 ms apart
    QTest::addColumn<bool>("releaseFirst");        // the button goes up before anything comes
    QTest::addColumn<QByteArray>("lamps");
    QTest::addColumn<int>("finished");
    QTest::newRow("split over three writes")
        << QList<QByteArray>{"P\x01", "\x02\x03", "\x04"} << false << QByteArray("\x01\x02\x03\x04\0\0\0\0", 8) << 1;
    QTest::newRow("doubled: the second changes nothing")
        << QList<QByteArray>{"P\x01\x02\x03\x04P\x07\x07\x07\x07"} << false
        << QByteArray("\x01\x02\x03\x04\0\0\0\0", 8) << 1;
    QTest::newRow("late, after the button went up") << QList<QByteArray>{"P\x07\x07\x07\x07"} << true
                                                    << QByteArray(8, '\0') << 0;
    QTest::newRow("a continuous reply does not end a single read")
        << QList<QByteArray>{"p\x05\x05\x05\x05"} << false << QByteArray("\x05\x05\x05\x05\0\0\0\0", 8) << 0;
}

void TestPhotoEyes::repliesOutOfTurn()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(bool, releaseFirst);
    QFETCH(QByteArray, lamps);
    QFETCH(int, finished);
    sim::SimUnit u = monitorrig::unit(net, 0, 4);
    u.commandFaults.silentCommands = "P"; // the test sends the replies itself
    Rig rig;
    QVERIFY(rig.start({u}));
    PhotoEyes eyes(rig.services);
    QSignalSpy done(&eyes, &PhotoEyes::readFinished);
    QVERIFY(eyes.read(firstIp, false));
    QVERIFY(wait::until([&] { return rig.afterMonitor(0) == QByteArray("P"); }, 2000));
    if (releaseFirst)
        eyes.release(false);
    for (const QByteArray &piece : pieces) {
        QVERIFY(rig.tcp(0).pushBytes(piece));
        wait::delay(50);
    }
    // Everything was taken in step: a live record behind decodes whole.
    rig.tcp(0).pushBytes(monitorrig::labelRecord(3, 77));
    QVERIFY(wait::until([&] { return rig.session.rows().size() == 1; }, 2000));
    QCOMPARE(rig.session.rows().back().pack.labelNumber(), 77);
    QCOMPARE(lampBytes(eyes), lamps);
    QCOMPARE(int(done.count()), finished);
    QCOMPARE(rig.services.connections().undefinedBytes(), 0u);
    QCOMPARE(rig.afterMonitor(0), QByteArray("P")); // a single read ends without 'X'
}

void TestPhotoEyes::anotherUnitsReplyChangesNothing()
{
    Rig rig;
    QVERIFY(rig.start({monitorrig::unit(net, 0, 2), monitorrig::unit(net, 1, 2)}));
    sim::SimCommandFaults mute;
    mute.silentCommands = "P";
    rig.fleet.server(0).setCommandFaults(mute);
    PhotoEyes eyes(rig.services);
    QSignalSpy done(&eyes, &PhotoEyes::readFinished);
    QVERIFY(eyes.read(firstIp, false));
    QCOMPARE(rig.services.units().current()->ip, firstIp);
    const int second = rig.fleet.server(0).unit().address.toString() == firstIp ? 1 : 0;
    const int first = 1 - second;
    QVERIFY(rig.tcp(second).pushBytes(QByteArray("P\x07\x07")));
    wait::delay(200);
    QVERIFY(eyes.reading());
    QCOMPARE(lampBytes(eyes), QByteArray(8, '\0'));
    QVERIFY(rig.tcp(first).pushBytes(QByteArray("P\x01\x02")));
    QVERIFY(wait::until([&] { return done.count() == 1; }, 2000));
    QCOMPARE(lampBytes(eyes), QByteArray("\x01\x02\0\0\0\0\0\0", 8));
    QCOMPARE(eyes.unitAddress(), firstIp);
}

void TestPhotoEyes::refusedWhileAnotherOperationRuns()
{
    Rig rig;
    QVERIFY(rig.start({monitorrig::unit(net, 0, 1)}));
    PhotoEyes eyes(rig.services);
    {
        ScopedOperation other(rig.services.operations(), rig.op, QStringLiteral("Force Read"));
        QVERIFY(other.admitted());
        QVERIFY(!eyes.read(firstIp, false));
    }
    QVERIFY(rig.op.logged(QStringLiteral("Read PEs refused: Force Read is still running")));
    QVERIFY(!eyes.reading());
    wait::delay(100);
    QCOMPARE(rig.afterMonitor(0), QByteArray());
    // Once the other is over, the read goes.
    QVERIFY(eyes.read(firstIp, false));
    QVERIFY(wait::until([&] { return !eyes.reading(); }, 2000));
}

void TestPhotoEyes::unitMissingOrNotConnected()
{
    Rig rig;
    QVERIFY(rig.start({monitorrig::unit(net, 0, 1)}));
    PhotoEyes eyes(rig.services);
    QSignalSpy reading(&eyes, &PhotoEyes::readingChanged);
    QVERIFY(!eyes.read(QStringLiteral("127.0.41.99"), false));
    rig.services.connections().CloseSocket();
    QVERIFY(!rig.unit(firstIp).connected);
    QVERIFY(!eyes.read(firstIp, true));
    QVERIFY(!eyes.reading());
    QCOMPARE(reading.count(), 0);
}

void TestPhotoEyes::linkDroppedWhileReading()
{
    sim::SimUnit u = monitorrig::unit(net, 0, 1);
    u.monitor.photoEyes = QByteArray("\x07");
    Rig rig;
    QVERIFY(rig.start({u}));
    PhotoEyes eyes(rig.services);
    QSignalSpy replies(&eyes, &PhotoEyes::replyArrived);
    QVERIFY(eyes.read(firstIp, true));
    QVERIFY(wait::until([&] { return replies.count() >= 1; }, 2000));
    QCOMPARE(eyes.lamps(0), std::uint8_t(7));
    rig.tcp(0).dropClient();
    QVERIFY(wait::until([&] { return !eyes.reading(); }, 3000));
    QCOMPARE(lampBytes(eyes), QByteArray(8, '\0'));
    // Releasing afterwards sends nothing anywhere and changes nothing.
    eyes.release(true);
    QVERIFY(!eyes.reading());
}

QTEST_GUILESS_MAIN(TestPhotoEyes)
#include "tst_photoeyes.moc"
