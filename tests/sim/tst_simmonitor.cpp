// A simulated unit in monitor mode: live records of every kind from each of
// its readers, photo eyes, the force read, and the monitor fault switches.
#include "connection/commands.h"
#include "unit/eventrecord.h"
#include "simcommandserver.h"
#include "simmonitorhandler.h"
#include "simunitserver.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace vork;
using namespace vork::sim;

namespace {

const QHostAddress unitAddress(QStringLiteral("127.0.16.2"));
constexpr int waitMs = 3000;

// A unit without login on 127.0.16.2 and a client connected to its command port.
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
        return QTest::qWaitFor([this] { return server->tcp().hasClient(); }, waitMs);
    }
    bool command(char c)
    {
        const qsizetype before = got.size();
        socket.write(QByteArray(1, c));
        return QTest::qWaitFor([&] { return got.size() > before; }, waitMs);
    }
    // The live records in what arrived, skipping bytes that start none.
    QList<DataPack> records(int *stray = nullptr) const
    {
        QList<DataPack> out;
        int skipped = 0;
        for (qsizetype i = 0; i < got.size();) {
            if (got.at(i) == 'M' && i + 1 + DataPack::size <= got.size()) {
                out.append(decodeDataPack(QByteArrayView(got).sliced(i + 1, DataPack::size)));
                i += 1 + DataPack::size;
            } else {
                ++skipped;
                ++i;
            }
        }
        if (stray)
            *stray = skipped;
        return out;
    }

    std::unique_ptr<SimUnitServer> server;
    QTcpSocket socket;
    QByteArray got;
};

SimUnit monitorUnit(int readers)
{
    SimUnit u;
    u.address = unitAddress;
    u.mac = macForAddress(unitAddress);
    u.version = {3, 0, 0}; // no login
    u.model = 0;
    u.readers = static_cast<std::uint8_t>(readers);
    u.monitor.intervalMs = 20;
    u.monitor.burst = 4;
    return u;
}

SimMonitorHandler *monitorOf(Rig &rig)
{
    return rig.server->tcp().findChild<SimMonitorHandler *>();
}

} // namespace

class TestSimMonitor : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void recordsOfEveryKindFromEachReader_data();
    void recordsOfEveryKindFromEachReader();
    void quitStopsTheRecords();
    void faults_data();
    void faults();
    void photoEyes();
    void photoEyeBytesPerReader_data();
    void photoEyeBytesPerReader();
    void forcedReadComesBackAsALabel();
};

void TestSimMonitor::recordsOfEveryKindFromEachReader_data()
{
    QTest::addColumn<int>("readers");
    QTest::newRow("one reader") << 1;
    QTest::newRow("four readers") << 4;
    QTest::newRow("eight readers") << 8;
    QTest::newRow("a reader count of 12 sends as one") << 12;
}

void TestSimMonitor::recordsOfEveryKindFromEachReader()
{
    QFETCH(int, readers);
    Rig rig;
    QVERIFY(rig.start(monitorUnit(readers)));
    QVERIFY(rig.command('M'));
    QCOMPARE(rig.got.left(1), QByteArray(1, char(ACK)));
    QVERIFY(QTest::qWaitFor([&] { return rig.records().size() >= 48; }, waitMs));
    QSet<int> kinds;
    QSet<int> labelReaders;
    const int expectedReaders = readers > 8 ? 1 : readers;
    for (const DataPack &p : rig.records()) {
        kinds.insert(p.typ);
        QVERIFY(p.timeValid());
        QVERIFY(p.rdr < expectedReaders);
        if (p.kind() == DataPackKind::Label) {
            labelReaders.insert(p.rdr);
            QVERIFY(p.labelNumber() >= 1 && p.labelNumber() <= 16383);
        }
    }
    QCOMPARE(kinds, (QSet<int>{1, 2, 3, 4, 5}));
    QCOMPARE(labelReaders.size(), expectedReaders);
}

void TestSimMonitor::quitStopsTheRecords()
{
    Rig rig;
    QVERIFY(rig.start(monitorUnit(2)));
    QVERIFY(rig.command('M'));
    QVERIFY(QTest::qWaitFor([&] { return rig.records().size() >= 8; }, waitMs));
    rig.socket.write("Q");
    QVERIFY(QTest::qWaitFor([&] { return rig.server->tcp().mode() == SimCommandServer::Mode::CommandLevel; }, waitMs));
    QTest::qWait(60);
    const int sent = monitorOf(rig)->recordsSent();
    QTest::qWait(150);
    QCOMPARE(monitorOf(rig)->recordsSent(), sent);
}

void TestSimMonitor::faults_data()
{
    QTest::addColumn<bool>("split");
    QTest::addColumn<int>("garbage");
    QTest::addColumn<bool>("sticky");
    QTest::newRow("records split in two writes") << true << 0 << false;
    QTest::newRow("garbage between records") << false << 3 << false;
    QTest::newRow("never leaves monitor mode") << false << 0 << true;
}

void TestSimMonitor::faults()
{
    QFETCH(bool, split);
    QFETCH(int, garbage);
    QFETCH(bool, sticky);
    SimUnit u = monitorUnit(2);
    u.monitor.splitRecords = split;
    u.monitor.garbageBytes = garbage;
    u.monitor.sticky = sticky;
    Rig rig;
    QVERIFY(rig.start(u));
    QVERIFY(rig.command('M'));
    QVERIFY(QTest::qWaitFor([&] { return rig.records().size() >= 8; }, waitMs));
    int stray = 0;
    const int records = int(rig.records(&stray).size());
    // The ACK of 'M', and the garbage bytes before each record.
    QCOMPARE(stray, 1 + garbage * records);
    rig.socket.write("Q");
    QVERIFY(QTest::qWaitFor([&] { return rig.server->tcp().mode() == SimCommandServer::Mode::CommandLevel; }, waitMs));
    QTest::qWait(60);
    const int sent = monitorOf(rig)->recordsSent();
    QTest::qWait(150);
    QCOMPARE(monitorOf(rig)->recordsSent() > sent, sticky);
}

void TestSimMonitor::photoEyes()
{
    SimUnit u = monitorUnit(4);
    u.monitor.intervalMs = 100000; // no live records in the way
    Rig rig;
    QVERIFY(rig.start(u));
    QVERIFY(rig.command('M'));
    rig.got.clear();
    // One read: 'P' and a byte per reader.
    QVERIFY(rig.command('P'));
    QVERIFY(QTest::qWaitFor([&] { return rig.got.size() >= 5; }, waitMs));
    QCOMPARE(rig.got.size(), 5);
    QCOMPARE(rig.got.at(0), 'P');
    for (int r = 1; r < 5; ++r)
        QVERIFY(quint8(rig.got.at(r)) <= 7); // A 4, B 2, C 1
    // Continuous until 'X'.
    rig.got.clear();
    QVERIFY(rig.command('p'));
    QVERIFY(QTest::qWaitFor([&] { return rig.got.size() >= 15; }, waitMs));
    QCOMPARE(rig.got.at(0), 'p');
    QCOMPARE(rig.got.at(5), 'p');
    rig.socket.write("X");
    QTest::qWait(100);
    const int replies = monitorOf(rig)->photoEyeReplies();
    QTest::qWait(300);
    QCOMPARE(monitorOf(rig)->photoEyeReplies(), replies);
}

void TestSimMonitor::photoEyeBytesPerReader_data()
{
    QTest::addColumn<int>("readers");
    QTest::addColumn<QByteArray>("set");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("one reader, eyes A and C") << 1 << QByteArray("\x05") << QByteArray("P\x05");
    QTest::newRow("four readers, two set") << 4 << QByteArray("\x07\x02") << QByteArray("P\x07\x02\x00\x00", 5);
    QTest::newRow("a count of 12 sends twelve")
        << 12 << QByteArray("\x01\x02\x03\x04\x05\x06\x07\x01\x02\x03\x04\x05")
        << QByteArray("P\x01\x02\x03\x04\x05\x06\x07\x01\x02\x03\x04\x05");
    QTest::newRow("a count of 0 sends one") << 0 << QByteArray("\x04") << QByteArray("P\x04");
}

void TestSimMonitor::photoEyeBytesPerReader()
{
    QFETCH(int, readers);
    QFETCH(QByteArray, set);
    QFETCH(QByteArray, reply);
    SimUnit u = monitorUnit(readers);
    u.monitor.intervalMs = 100000;
    u.monitor.photoEyes = set;
    Rig rig;
    QVERIFY(rig.start(u));
    QVERIFY(rig.command('M'));
    rig.got.clear();
    QVERIFY(rig.command('P'));
    QVERIFY(QTest::qWaitFor([&] { return rig.got.size() >= reply.size(); }, waitMs));
    QTest::qWait(50);
    QCOMPARE(rig.got, reply);
}

void TestSimMonitor::forcedReadComesBackAsALabel()
{
    SimUnit u = monitorUnit(4);
    u.monitor.intervalMs = 100000;
    Rig rig;
    QVERIFY(rig.start(u));
    QVERIFY(rig.command('M'));
    rig.got.clear();
    // Label 300 on reader 2: 'f', then 02 2C 01; both acknowledged, then the read.
    QVERIFY(rig.command('f'));
    QCOMPARE(rig.got, QByteArray(1, char(ACK)));
    rig.socket.write(QByteArray("\x02\x2C\x01", 3));
    QVERIFY(QTest::qWaitFor([&] { return rig.records().size() == 1; }, waitMs));
    QCOMPARE(rig.got.at(1), char(ACK));
    const DataPack p = rig.records().first();
    QCOMPARE(p.kind(), DataPackKind::Label);
    QCOMPARE(int(p.rdr), 2);
    QCOMPARE(p.labelNumber(), 300);
}

QTEST_GUILESS_MAIN(TestSimMonitor)
#include "tst_simmonitor.moc"
