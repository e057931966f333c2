// A simulated unit in history mode: its store sent newest first in either form,
// the kinds, the reader and the count honoured, ACK at the end, Q and the faults.
#include "connection/commands.h"
#include "simcommandserver.h"
#include "simhistoryhandler.h"
#include "simunitserver.h"

#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace vork;
using namespace vork::sim;

namespace {

const QHostAddress unitAddress(QStringLiteral("127.0.16.9"));
constexpr int waitMs = 3000;

struct Rig
{
    bool start(const SimUnit &u)
    {
        server = std::make_unique<SimUnitServer>(u);
        QString error;
        if (!server->start({}, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [this] { got += socket.readAll(); });
        socket.connectToHost(unitAddress, commandPort);
        if (!QTest::qWaitFor([this] { return server->tcp().hasClient(); }, waitMs))
            return false;
        socket.write("H");
        if (!QTest::qWaitFor([this] { return got == QByteArray(1, char(ACK)); }, waitMs))
            return false;
        got.clear();
        return true;
    }
    bool endsWithAck() { return QTest::qWaitFor([this] { return got.endsWith(char(ACK)); }, waitMs); }

    std::unique_ptr<SimUnitServer> server;
    QTcpSocket socket;
    QByteArray got;
};

SimUnit historyUnit(int records)
{
    SimUnit u;
    u.address = unitAddress;
    u.mac = macForAddress(unitAddress);
    u.version = {3, 0, 0}; // no login
    u.model = 0;
    u.readers = 2;
    u.history.records = records;
    return u;
}

QByteArray rec(const SimUnit &u, int index)
{
    return encodeDataPack(simHistoryRecord(u, index));
}

} // namespace

class TestSimHistory : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void storeRecordBytes();
    void replies_data();
    void replies();
    void abortStopsAndStaysInHistoryMode();
    void faults_data();
    void faults();
};

void TestSimHistory::storeRecordBytes()
{
    // Index 1 of the store: a label read of reader 0 on 1 March 2021 at 00:01:01, label 1.
    QCOMPARE(rec(historyUnit(4), 1).toHex(), QByteArray("02000301141500010101000000000000000000"));
    // Index 7: a diagnostic of reader 1 (every five records the next reader), A-08 B-01 C+06 X+13 Y-11.
    QCOMPARE(rec(historyUnit(8), 7).toHex(), QByteArray("03010301141500070"
                                                        "7f8ff060df50000000000"));
}

void TestSimHistory::replies_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QList<int>>("indices"); // store indices, in the order sent
    QTest::addColumn<bool>("multi");
    // Store of 12: kinds by index % 5 (error, label, diagnostic, alarm, boot); reader (index / 5) % 2.
    QTest::newRow("single, every kind but boot, 3") << QByteArray::fromHex("0f030008") << QList<int>{11, 10, 8} << false;
    QTest::newRow("multi, labels, 5") << QByteArray::fromHex("82050008") << QList<int>{11, 6, 1} << true;
    QTest::newRow("multi, errors of reader 1") << QByteArray::fromHex("81090001") << QList<int>{5} << true;
    QTest::newRow("single, errors of reader 0") << QByteArray::fromHex("01090000") << QList<int>{10, 0} << false;
    QTest::newRow("multi, alarms and boot by 0x20") << QByteArray::fromHex("a8040008") << QList<int>{9, 8, 4, 3} << true;
    QTest::newRow("from a start date, 1 March 2021 00:07") << QByteArray::fromHex("8f020008141503010007")
                                                           << QList<int>{7, 6} << true;
}

void TestSimHistory::replies()
{
    QFETCH(QByteArray, request);
    QFETCH(QList<int>, indices);
    QFETCH(bool, multi);
    Rig rig;
    const SimUnit u = historyUnit(12);
    QVERIFY(rig.start(u));
    rig.socket.write(request);
    QVERIFY(rig.endsWithAck());
    QByteArray want;
    if (multi && !indices.isEmpty())
        want += 'h' + QByteArray(1, char(indices.size()));
    for (int i : indices)
        want += (multi ? QByteArray() : QByteArray("H")) + rec(u, i);
    want += char(ACK);
    QCOMPARE(rig.got.toHex(), want.toHex());
    QCOMPARE(rig.server->tcp().mode(), SimCommandServer::Mode::History);
    QCOMPARE(rig.server->tcp().commands().last().data, request);
}

void TestSimHistory::abortStopsAndStaysInHistoryMode()
{
    Rig rig;
    QVERIFY(rig.start(historyUnit(30000)));
    rig.socket.write(QByteArray::fromHex("0f307508")); // 30000 single records
    QVERIFY(QTest::qWaitFor([&] { return rig.got.size() > 2000; }, waitMs));
    rig.socket.write("Q");
    QVERIFY(rig.endsWithAck());
    const SimHistoryHandler *h = rig.server->tcp().findChild<SimHistoryHandler *>();
    QVERIFY(!h->sending());
    QVERIFY(h->sentInRetrieval() < 30000);
    QCOMPARE(rig.got.size(), h->sentInRetrieval() * 20 + 1); // whole records, then the ACK
    QTest::qWait(50);
    QCOMPARE(rig.got.size(), h->sentInRetrieval() * 20 + 1); // nothing after it
    QCOMPARE(rig.server->tcp().mode(), SimCommandServer::Mode::History);
    rig.got.clear();
    rig.socket.write(QByteArray(4, '\0'));
    QVERIFY(rig.endsWithAck());
    QCOMPARE(rig.server->tcp().mode(), SimCommandServer::Mode::CommandLevel);
}

void TestSimHistory::faults_data()
{
    QTest::addColumn<int>("drop");
    QTest::addColumn<int>("stall");
    QTest::addColumn<int>("oversize");
    QTest::addColumn<int>("bytes"); // what arrives
    QTest::addColumn<bool>("ack");
    QTest::addColumn<bool>("closed");
    QTest::newRow("drop after 30") << 30 << 0 << 0 << (2 + 25 * 19 + 2 + 5 * 19) << false << true;
    QTest::newRow("stall after 30") << 0 << 30 << 0 << (2 + 25 * 19 + 2 + 5 * 19) << false << false;
    QTest::newRow("packets of 40") << 0 << 0 << 40 << (2 + 40 * 19 + 2 + 10 * 19 + 1) << true << false;
}

void TestSimHistory::faults()
{
    QFETCH(int, drop);
    QFETCH(int, stall);
    QFETCH(int, oversize);
    QFETCH(int, bytes);
    QFETCH(bool, ack);
    QFETCH(bool, closed);
    SimUnit u = historyUnit(200);
    u.history.dropAfterRecords = drop;
    u.history.stallAfterRecords = stall;
    u.history.oversizePacket = oversize;
    Rig rig;
    QVERIFY(rig.start(u));
    rig.socket.write(QByteArray::fromHex("8f320008")); // 50, multi
    QVERIFY(QTest::qWaitFor([&] { return rig.got.size() >= bytes; }, waitMs));
    QTest::qWait(200);
    QCOMPARE(int(rig.got.size()), bytes);
    QCOMPARE(rig.got.endsWith(char(ACK)), ack);
    QCOMPARE(rig.socket.state() != QAbstractSocket::ConnectedState, closed);
    if (oversize > 0)
        QCOMPARE(int(std::uint8_t(rig.got[1])), oversize); // the count byte says 40
}

QTEST_GUILESS_MAIN(TestSimHistory)
#include "tst_simhistory.moc"
