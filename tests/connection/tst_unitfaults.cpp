// What a rude unit does to a connection, against the simulator: a link that
// closes inside a wait, a block that trickles in, an older unit's short record
// followed at once by another block, record bytes that look like answers, a
// refused connect, and a block size from the stream that is out of bounds.
#include "connection/replyassembler.h"
#include "connection/unitclient.h"
#include "simfleet.h"
#include "unitfixture.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace vork;
using namespace vork::test;

namespace {

// One simulated unit on address and the unit services, connected to it.
struct SimRig
{
    explicit SimRig(const QString &address, std::array<std::uint8_t, 3> version = {5, 0, 1})
        : services(op), setup(op, services.connections().replies())
    {
        unit = sim::demoUnit(0, QHostAddress(address));
        unit.version = version;
        services.setPinger(std::make_unique<ScriptedPinger>([] { return true; }));
        QObject::connect(&services.replies(), &CommandReplies::clockReceived, &setup,
                         [this](const QDateTime &t) { clock = t; });
        QObject::connect(&setup, &SetupReply::received, &setup, [this](const QByteArray &r, int n) {
            setupLength = n;
            setupRecord = r;
            ++setupCount;
        });
    }
    bool start()
    {
        fleet.add(unit);
        QString error;
        if (!fleet.start({}, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        UnitTable &t = services.units();
        t.enterAnnouncement(unit.record(QDateTime::currentDateTime(), 0), unit.address.toString());
        t.setCurrent(&t.unit(0));
        return services.connections().Connect_or_timeout(2000)
               && wait::until([&] { return fleet.server(0).tcp().hasClient(); }, 2000);
    }
    sim::SimCommandServer &tcp() { return fleet.server(0).tcp(); }
    udppack &record() { return services.units().unit(0); }
    QTcpSocket *socket() { return services.connections().socket(record()); }
    bool waitLogged(const QString &line, int ms = 3000)
    {
        return wait::until([&] { return op.logs.contains(line); }, ms);
    }

    RecordingOperator op;
    UnitServices services;
    SetupReply setup;
    sim::SimUnit unit;
    sim::SimFleet fleet;
    QDateTime clock;
    int setupLength = 0;
    int setupCount = 0;
    QByteArray setupRecord;
};

// A reply whose size comes from its first byte, as history packets do: a count of 19-byte records.
class CountedSink : public ReplySink
{
public:
    int blockSize(const udppack &, const QByteArray &soFar) const override
    {
        return soFar.isEmpty() ? 0 : 1 + 19 * static_cast<std::uint8_t>(soFar.at(0));
    }
    int maxBlockSize() const override { return 1 + 19 * 25; }
    void receive(udppack &, const ReplySource &, const QByteArray &block) override { blocks.append(block); }
    QList<QByteArray> blocks;
};

} // namespace

class TestUnitFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aClosedLinkEndsAnAcknowledgementWaitAtOnce();
    void aClosedLinkEndsAReplyWaitAtOnce();
    void aTrickledBlockIsKeptAStoppedOneDropped();
    void anOlderUnitsShortRecordLeavesTheNextBlockAlone();
    void aRecordIsReadAtEitherLength_data();
    void aRecordIsReadAtEitherLength();
    void eraseSetupReadsTheRecordBeforeTheNextAnswer();
    void aRefusedConnectIsLoggedByName();
    void aCountFromTheStreamIsBounded();
};

void TestUnitFaults::aClosedLinkEndsAnAcknowledgementWaitAtOnce()
{
    SimRig rig(QStringLiteral("127.0.14.2"));
    sim::SimCommandFaults faults;
    faults.silentCommands = "S";
    rig.unit.commandFaults = faults;
    QVERIFY(rig.start());
    QTimer::singleShot(200, &rig.fleet, [&] { rig.tcp().dropClient(); });
    QElapsedTimer t;
    t.start();
    QCOMPARE(rig.services.connections().WaitForAck(rig.socket(), 10, Command::Setup), AckResult::Closed);
    QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
    QVERIFY(rig.op.logged(QStringLiteral("Did not receive an Ack from Vork Unit 127.0.14.2: connection lost")));
}

void TestUnitFaults::aClosedLinkEndsAReplyWaitAtOnce()
{
    // The unit takes the checksum request and closes the link instead of answering.
    SimRig rig(QStringLiteral("127.0.14.3"));
    sim::SimCommandFaults faults;
    faults.dropAfterBytes = 1;
    rig.unit.commandFaults = faults;
    QVERIFY(rig.start());
    rig.op.answers = {Answer::Yes};
    QVERIFY(rig.services.commands().checksum());
    bool done = false;
    QObject scope;
    QObject::connect(&rig.services.replies(), &CommandReplies::checksumReady, &scope, [&] { done = true; });
    QElapsedTimer t;
    t.start();
    const ReplyWait end = rig.services.connections().waitForReply(rig.record(), [&] { return done; }, 65000);
    QCOMPARE(end, ReplyWait::Closed);
    QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
}

void TestUnitFaults::aTrickledBlockIsKeptAStoppedOneDropped()
{
    SimRig rig(QStringLiteral("127.0.14.4"));
    QVERIFY(rig.start());
    // A whole clock block, one byte every 150 ms: 1.35 s in all, slow but never silent long.
    const QByteArray bytes = block('T', clockBytes(5, 4, 13, 9, 4, 12, 26, 20));
    for (int i = 0; i < bytes.size(); ++i)
        QTimer::singleShot(150 * i, &rig.fleet, [&rig, b = bytes.mid(i, 1)] { rig.tcp().pushBytes(b); });
    QVERIFY(wait::until([&] { return rig.clock.isValid(); }, 3000));
    QVERIFY(rig.op.logs.filter(QStringLiteral("Incomplete")).isEmpty());
    // One that stops halfway is given up once the unit stays silent, and the stream goes on.
    rig.clock = QDateTime();
    rig.tcp().pushBytes(bytes.left(6));
    QVERIFY(rig.waitLogged(QStringLiteral("Incomplete 'T' reply from Vork Unit 127.0.14.4 dropped: 5 of 8 bytes"), 3000));
    QVERIFY(!rig.clock.isValid());
    rig.tcp().pushBytes(bytes);
    QVERIFY(wait::until([&] { return rig.clock.isValid(); }, 2000));
}

void TestUnitFaults::anOlderUnitsShortRecordLeavesTheNextBlockAlone()
{
    SimRig rig(QStringLiteral("127.0.14.5"), {2, 5, 5});
    QVERIFY(rig.start());
    QCOMPARE(SetupReply::receivedLength(255), 221);
    // The record at its version's length and a clock block right behind it, in one write.
    rig.tcp().pushBytes(QByteArray(1, 'S') + QByteArray(221, '\x22') + block('T', clockBytes(5, 4, 13, 9, 4, 12, 26, 20)));
    QVERIFY(rig.waitLogged(QStringLiteral("Config File Received ( 221 Bytes ) for 127.0.14.5")));
    QVERIFY(wait::until([&] { return rig.clock.isValid(); }, 2000));
    QCOMPARE(rig.setupLength, 221);
    QCOMPARE(rig.services.connections().undefinedBytes(), 0u);
}

void TestUnitFaults::aRecordIsReadAtEitherLength_data()
{
    QTest::addColumn<QList<int>>("version");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("clockBehind");
    struct Generation
    {
        const char *name;
        QList<int> version;
        int model;
        int length;
    };
    const Generation generations[] = {
        {"2.5.5", {2, 5, 5}, 8, 221}, {"2.9.5", {2, 9, 5}, 8, 234}, {"3.1.7", {3, 1, 7}, 8, 238},
        {"4.9.9", {4, 9, 9}, 8, 238}, {"5.0.0", {5, 0, 0}, 8, 238}, {"5.0.1", {5, 0, 1}, 8, 238},
        {"5.0.2", {5, 0, 2}, 8, 239}, {"5.1.0", {5, 1, 0}, 8, 239}, {"model 4", {2, 9, 3}, 4, 234},
    };
    for (const Generation &g : generations) {
        for (const int length : {g.length, 243}) {
            QTest::addRow("%s, %d bytes", g.name, length) << g.version << g.model << length << false;
            QTest::addRow("%s, %d bytes, clock behind", g.name, length) << g.version << g.model << length << true;
        }
    }
}

void TestUnitFaults::aRecordIsReadAtEitherLength()
{
    QFETCH(QList<int>, version);
    QFETCH(int, model);
    QFETCH(int, length);
    QFETCH(bool, clockBehind);
    static int row = 0;
    const QString address = QStringLiteral("127.0.15.") + QString::number(2 + row++);
    SimRig rig(address, {std::uint8_t(version[0]), std::uint8_t(version[1]), std::uint8_t(version[2])});
    rig.unit.model = std::uint8_t(model);
    rig.unit.setupLength = length;
    QByteArray record = sim::defaultSetupRecord(rig.unit);
    record[239] = char(10); // PLC address x.x.x.10: a byte that could start nothing
    record[240] = char(1);
    rig.unit.setupRecord = record;
    QVERIFY(rig.start());
    if (clockBehind) {
        // The record and a clock block right behind it, in one write.
        rig.tcp().pushBytes(QByteArray(1, 'S') + record.left(length)
                            + block('T', clockBytes(5, 4, 13, 9, 4, 12, 26, 20)));
        QVERIFY(wait::until([&] { return rig.clock.isValid(); }, 2000));
    } else {
        QVERIFY(rig.services.commands().enterSetupMode());
        QVERIFY(rig.services.commands().uploadSetup());
    }
    QVERIFY(wait::until([&] { return rig.setupCount > 0; }, 2000));
    QCOMPARE(rig.setupLength, length);
    QCOMPARE(rig.setupCount, 1);
    QVERIFY(rig.op.logged(QStringLiteral("Config File Received ( ") + QString::number(length)
                          + QStringLiteral(" Bytes ) for ") + address));
    // Nothing of the record was lost (older units' last fields are moved on the way in).
    const int common = qMin(length, 234);
    QCOMPARE(rig.setupRecord.left(common), record.left(common));
    if (length == 243 && version[0] >= 5)
        QCOMPARE(rig.setupRecord, record);
    QVERIFY(rig.op.logs.filter(QStringLiteral("Incomplete")).isEmpty());
    QCOMPARE(rig.services.connections().undefinedBytes(), 0u);
}

void TestUnitFaults::eraseSetupReadsTheRecordBeforeTheNextAnswer()
{
    // A record full of bytes that look like answers: none may be taken for one.
    SimRig rig(QStringLiteral("127.0.14.6"));
    QByteArray record(setupRecordSize, char(NAK));
    record[0] = char(ACK);
    rig.unit.setupRecord = record;
    QVERIFY(rig.start());
    UnitCommands &commands = rig.services.commands();
    QVERIFY(commands.enterSetupMode());
    rig.op.answers = {Answer::Yes};
    QCOMPARE(commands.erase(UnitCommands::Erase::Setup), AckResult::Ack);
    QVERIFY(rig.op.logged(QStringLiteral("Config File Received ( 243 Bytes ) for 127.0.14.6")));
    QVERIFY(commands.leaveSetupMode());
    QVERIFY(rig.op.logged(QStringLiteral("Setup off")));
    QCOMPARE(rig.tcp().received().right(4), QByteArray("ScUQ"));
}

void TestUnitFaults::aRefusedConnectIsLoggedByName()
{
    // Nothing listens there: the connect is refused.
    RecordingOperator op;
    UnitServices services(op);
    services.setPinger(std::make_unique<ScriptedPinger>([] { return true; }));
    services.units().enterAnnouncement(unitRecord(300), QStringLiteral("127.0.14.7"));
    services.units().setCurrent(&services.units().unit(0));
    QVERIFY(!services.connections().Connect_or_timeout(3000));
    const QStringList errors = op.logs.filter(QStringLiteral("Socket Error "));
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.first(), QStringLiteral("Socket Error Connection refused (0)"));
}

void TestUnitFaults::aCountFromTheStreamIsBounded()
{
    SimRig rig(QStringLiteral("127.0.14.8"));
    CountedSink sink;
    const ReplyRegistration registration = rig.services.connections().replies().add(ReplyType::HistoryBlock, sink);
    QVERIFY(rig.start());
    // 255 records announced: beyond what the sink takes, so nothing waits for 4846 bytes.
    rig.tcp().pushBytes(QByteArray("h\xFF", 2) + QByteArray(40, 'x'));
    QVERIFY(rig.waitLogged(QStringLiteral("Oversized 'h' reply from Vork Unit 127.0.14.8 dropped: 4846 bytes announced")));
    QVERIFY(sink.blocks.isEmpty());
    // The stream goes on: two records are taken whole.
    wait::delay(100);
    rig.tcp().pushBytes(QByteArray("h\x02", 2) + QByteArray(38, 'r'));
    QVERIFY(wait::until([&] { return sink.blocks.size() == 1; }, 2000));
    QCOMPARE(sink.blocks.first().size(), 39);
}

QTEST_GUILESS_MAIN(TestUnitFaults)
#include "tst_unitfaults.moc"
