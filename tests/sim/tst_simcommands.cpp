// A simulated unit's TCP command port driven by a plain QTcpSocket on loopback:
// login, modes, every command's answer bytes, close, reboot and the fault switches.

#include "simconfig.h"
#include "simfleet.h"
#include "simharness.h"
#include "simunitserver.h"

#include "connection/commands.h"
#include "unit/eventrecord.h"
#include "setup/setuprecord.h"
#include "unit/announcement.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <initializer_list>
#include <memory>

using namespace vork;
using namespace vork::sim;
using Mode = SimCommandServer::Mode;

Q_DECLARE_METATYPE(vork::sim::SimCommandFaults)

namespace {

constexpr int waitMs = 2000;
// Loopback answers arrive well within this; used only to show that nothing more comes.
constexpr int settleMs = 150;

const QHostAddress unitAddress(QStringLiteral("127.0.32.2"));

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(static_cast<char>(v));
    return b;
}

// The setup record 2.5.8 firmware sends on 'U' (the plain unit's version).
constexpr int sentSetupSize = 225;

const QByteArray ack = bytes({0x06});
const QByteArray nak = bytes({0x15});

// A record whose every byte tells its offset: a byte out of place shows.
QByteArray patternRecord()
{
    QByteArray r;
    for (int i = 0; i < 243; ++i)
        r.append(static_cast<char>(i));
    return r;
}

SimUnit plainUnit(std::array<std::uint8_t, 3> version = {2, 5, 8}, std::uint8_t model = 2)
{
    SimUnit u;
    u.description = QStringLiteral("Dock 3 Scale");
    u.version = version;
    u.build = {7, 3, 20, 19};
    u.readers = 2;
    u.model = model;
    u.address = unitAddress;
    u.mac = macForAddress(unitAddress);
    u.runTime = 86400;
    u.setupRecord = patternRecord();
    u.checksum = {0x11223344, 0x0003E000, 0x00FFFF, 0};
    u.monitor.intervalMs = 600000; // no live records in the way of the exchanges
    return u;
}

// A unit without login, with pinned clocks, and a client socket to drive it.
struct Rig
{
    QDateTime wall{QDate(2024, 2, 29), QTime(13, 45, 30)}; // a Thursday
    qint64 monotonicMs = 1000;
    std::unique_ptr<SimUnitServer> server;
    QTcpSocket socket;
    QByteArray got;
    QList<qsizetype> arrivals; // received size after each read

    bool start(const SimUnit &unit = plainUnit())
    {
        server = std::make_unique<SimUnitServer>(unit);
        server->setTimeSource([this] { return wall; }, [this] { return monotonicMs; });
        QString error;
        if (!server->start({}, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [this] {
            got += socket.readAll();
            arrivals.append(got.size());
        });
        return connectClient();
    }
    bool connectClient()
    {
        got.clear();
        arrivals.clear();
        QSignalSpy connected(&socket, &QTcpSocket::connected);
        socket.connectToHost(unitAddress, commandPort);
        if (!connected.wait(waitMs))
            return false;
        return QTest::qWaitFor([this] { return server->tcp().hasClient(); }, waitMs);
    }
    // Sends and waits for exactly the expected answer; nothing more may follow.
    bool exchange(const QByteArray &out, const QByteArray &expected)
    {
        got.clear();
        arrivals.clear();
        socket.write(out);
        if (expected.isEmpty())
            QTest::qWait(settleMs);
        else if (!QTest::qWaitFor([&] { return got.size() >= expected.size(); }, waitMs))
            return false;
        QTest::qWait(expected.isEmpty() ? 0 : 30);
        if (got != expected)
            qWarning("got %s, expected %s", got.toHex(' ').constData(), expected.toHex(' ').constData());
        return got == expected;
    }
    quint8 announcedCons() const { return static_cast<quint8>(server->announcement().at(122)); }
};

QByteArray checksumBlock(std::initializer_list<int> body)
{
    return QByteArray("X") + bytes(body);
}

} // namespace

class TestSimCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void loginRule_data();
    void loginRule();
    void commandAnswers_data();
    void commandAnswers();
    void dataBlocks_data();
    void dataBlocks();
    void setupRecordLengthByVersion_data();
    void setupRecordLengthByVersion();
    void setupDownloadIsStoredAndUploaded();
    void eraseSetupRestoresDefaults();
    void defaultSetupRecordLayout();
    void modesFollowCommands();
    void closeOnC();
    void secondClientRefused();
    void rebootGoesSilentAndComesBack();
    void faults_data();
    void faults();
    void answerDelay();
    void checksumBlockFollowsLater();
    void splitReplies_data();
    void splitReplies();
    void lateBlocksAndLinger_data();
    void lateBlocksAndLinger();
    void trickledBlocks_data();
    void trickledBlocks();
    void pushedBlocks();
    void garbageNeverStopsTheUnit();
    void fleetUnitsListenOnOwnAddresses();
    void configReadsCommandPortFields();
};

void TestSimCommands::loginRule_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("required");
    QTest::newRow("3.1.0") << bytes({3, 1, 0}) << 2 << true;
    QTest::newRow("3.0.9") << bytes({3, 0, 9}) << 2 << false;
    QTest::newRow("2.9.2") << bytes({2, 9, 2}) << 2 << false;
    QTest::newRow("2.9.3") << bytes({2, 9, 3}) << 2 << true;
    QTest::newRow("2.9.9") << bytes({2, 9, 9}) << 2 << true;
    QTest::newRow("3.0.0") << bytes({3, 0, 0}) << 2 << false;
    QTest::newRow("2.5.8 model 3") << bytes({2, 5, 8}) << 3 << false;
    QTest::newRow("2.5.8 model 4") << bytes({2, 5, 8}) << 4 << true;
    QTest::newRow("5.0.1 model 8") << bytes({5, 0, 1}) << 8 << true;
}

void TestSimCommands::loginRule()
{
    QFETCH(QByteArray, version);
    QFETCH(int, model);
    QFETCH(bool, required);
    Rig rig;
    QVERIFY(rig.start(plainUnit({std::uint8_t(version[0]), std::uint8_t(version[1]), std::uint8_t(version[2])},
                                static_cast<std::uint8_t>(model))));
    SimCommandServer &tcp = rig.server->tcp();
    QCOMPARE(tcp.loggedIn(), !required);
    QSignalSpy loggedIn(&tcp, &SimCommandServer::authenticated);

    if (required) {
        // Commands before the text are ignored, not queued.
        QVERIFY(rig.exchange("S", {}));
        QVERIFY(tcp.commands().isEmpty());
        QCOMPARE(tcp.mode(), Mode::CommandLevel);
        // The text split over two writes still counts.
        QVERIFY(rig.exchange(authenticationText().left(2), {}));
        QVERIFY(rig.exchange(authenticationText().mid(2), {}));
        QCOMPARE(loggedIn.size(), 1);
        QVERIFY(tcp.loggedIn());
    } else {
        // A unit without login takes the text as bytes it does not know: no answer, nothing done.
        QVERIFY(rig.exchange(authenticationText(), {}));
        QCOMPARE(loggedIn.size(), 0);
        QVERIFY(tcp.commands().isEmpty());
        QCOMPARE(tcp.mode(), Mode::CommandLevel);
    }
    QCOMPARE(tcp.authenticationCount(), 1);
    QVERIFY(rig.exchange("S", ack));
    QCOMPARE(tcp.mode(), Mode::Setup);
    QCOMPARE(tcp.received(), (required ? QByteArray("S") : QByteArray()) + authenticationText() + "S");
}

void TestSimCommands::commandAnswers_data()
{
    QTest::addColumn<QByteArray>("enter");       // sent first
    QTest::addColumn<QByteArray>("enterAnswer"); // its answer
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<Mode>("modeAfter");

    const QByteArray none;
    const QByteArray setupBlock = QByteArray("S") + patternRecord().left(sentSetupSize);
    // 2024-02-29 13:45:30, Thursday = 5.
    const QByteArray clockBlock = QByteArray("T") + bytes({30, 45, 13, 29, 5, 2, 24, 20});

    QTest::newRow("M enters monitor") << none << none << QByteArray("M") << ack << Mode::Monitor;
    QTest::newRow("H enters history") << none << none << QByteArray("H") << ack << Mode::History;
    QTest::newRow("S enters setup") << none << none << QByteArray("S") << ack << Mode::Setup;
    QTest::newRow("X checksum, location matches")
        << none << none << QByteArray("X")
        << ack + checksumBlock({0x44, 0x33, 0x22, 0x11, 0x00, 0xE0, 0x03, 0x00, 0x00, 0xFF, 0xFF, 0x00})
        << Mode::CommandLevel;
    QTest::newRow("x abort flash") << none << none << QByteArray("x") << ack << Mode::CommandLevel;
    QTest::newRow("U at command level ignored") << none << none << QByteArray("U") << none << Mode::CommandLevel;
    QTest::newRow("T at command level ignored") << none << none << QByteArray("T") << none << Mode::CommandLevel;
    QTest::newRow("Q at command level ignored") << none << none << QByteArray("Q") << none << Mode::CommandLevel;
    QTest::newRow("history quit at command level ignored")
        << none << none << QByteArray(4, '\0') << none << Mode::CommandLevel;

    QTest::newRow("U sends the setup record") << QByteArray("S") << ack << QByteArray("U") << ack + setupBlock
                                              << Mode::Setup;
    QTest::newRow("T sends the clock") << QByteArray("S") << ack << QByteArray("T") << ack + clockBlock << Mode::Setup;
    QTest::newRow("h erases history") << QByteArray("S") << ack << QByteArray("h") << ack << Mode::Setup;
    QTest::newRow("p erases persistent data") << QByteArray("S") << ack << QByteArray("p") << ack << Mode::Setup;
    QTest::newRow("c erases setup") << QByteArray("S") << ack << QByteArray("c") << ack << Mode::Setup;
    QTest::newRow("Q leaves setup") << QByteArray("S") << ack << QByteArray("Q") << ack << Mode::CommandLevel;
    QTest::newRow("X in setup ignored") << QByteArray("S") << ack << QByteArray("X") << none << Mode::Setup;
    QTest::newRow("M in setup ignored") << QByteArray("S") << ack << QByteArray("M") << none << Mode::Setup;

    QTest::newRow("Q leaves monitor") << QByteArray("M") << ack << QByteArray("Q") << ack << Mode::CommandLevel;
    QTest::newRow("X in monitor stops photo eyes, no answer")
        << QByteArray("M") << ack << QByteArray("X") << none << Mode::Monitor;
    QTest::newRow("U in monitor ignored") << QByteArray("M") << ack << QByteArray("U") << none << Mode::Monitor;

    QTest::newRow("four zero bytes leave history")
        << QByteArray("H") << ack << QByteArray(4, '\0') << ack << Mode::CommandLevel;
    QTest::newRow("three zero bytes do not") << QByteArray("H") << ack << QByteArray(3, '\0') << none << Mode::History;
    QTest::newRow("Q in history aborts and stays") << QByteArray("H") << ack << QByteArray("Q") << ack << Mode::History;
    // Records come before the ACK (tst_simhistory); a request for none is the ACK alone.
    QTest::newRow("history request for no records")
        << QByteArray("H") << ack << bytes({0x02, 0x00, 0x00, 0x08}) << ack << Mode::History;
    QTest::newRow("S in history is no command") << QByteArray("H") << ack << QByteArray("S") << none << Mode::History;
}

void TestSimCommands::commandAnswers()
{
    QFETCH(QByteArray, enter);
    QFETCH(QByteArray, enterAnswer);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    QFETCH(Mode, modeAfter);
    Rig rig;
    QVERIFY(rig.start());
    if (!enter.isEmpty())
        QVERIFY(rig.exchange(enter, enterAnswer));
    QVERIFY(rig.exchange(command, answer));
    QCOMPARE(rig.server->tcp().mode(), modeAfter);
    QCOMPARE(rig.server->tcp().received(), enter + command);
    QCOMPARE(rig.server->tcp().sent(), enterAnswer + answer);
}

void TestSimCommands::dataBlocks_data()
{
    QTest::addColumn<QByteArray>("enter");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("thenSend"); // afterwards, to read the effect back
    QTest::addColumn<QByteArray>("thenAnswer");
    QTest::addColumn<QByteArray>("dataAnswer"); // after the block: its ACK, and what follows it

    const QByteArray newClock = bytes({0, 30, 8, 15, 1, 6, 31, 20}); // 2031-06-15 08:30:00, a Sunday
    QTest::newRow("t sets the clock") << QByteArray("S") << QByteArray("t") << newClock << QByteArray("T")
                                      << ack + "T" + newClock << ack;
    QTest::newRow("t with month 13 acknowledged, clock kept")
        << QByteArray("S") << QByteArray("t") << bytes({0, 0, 12, 1, 1, 13, 30, 20}) << QByteArray("T")
        << ack + "T" + bytes({30, 45, 13, 29, 5, 2, 24, 20}) << ack;
    // A forced read is acknowledged, then reported as that reader's label read.
    const auto forced = [&](std::uint8_t reader, std::uint8_t low, std::uint8_t high) -> QByteArray {
        DataPack p;
        p.typ = std::uint8_t(DataPackKind::Label);
        p.rdr = reader;
        p.month = 2, p.day = 29, p.cent = 20, p.year = 24, p.hr = 13, p.min = 45, p.sec = 30;
        p.data[0] = low;
        p.data[1] = high;
        return ack + QByteArray("M") + encodeDataPack(p);
    };
    QTest::newRow("f force read in monitor") << QByteArray("M") << QByteArray("f") << bytes({1, 0x34, 0x12})
                                             << QByteArray("Q") << ack << forced(1, 0x34, 0x12);
    // Bytes of the data block that look like commands are data, not commands.
    QTest::newRow("f data holding Q and C") << QByteArray("M") << QByteArray("f") << QByteArray("QC\x00", 3)
                                            << QByteArray("Q") << ack << forced('Q', 'C', 0);
}

void TestSimCommands::dataBlocks()
{
    QFETCH(QByteArray, enter);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, thenSend);
    QFETCH(QByteArray, thenAnswer);
    QFETCH(QByteArray, dataAnswer);
    Rig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.exchange(enter, ack));
    QVERIFY(rig.exchange(command, ack));
    // The block in two writes: one ACK, after the last byte.
    QVERIFY(rig.exchange(data.left(1), {}));
    QVERIFY(rig.exchange(data.mid(1), dataAnswer));
    QVERIFY(rig.exchange(thenSend, thenAnswer));
    const auto &commands = rig.server->tcp().commands();
    QCOMPARE(commands.size(), 3);
    QCOMPARE(commands.at(1).byte, static_cast<std::uint8_t>(command.at(0)));
    QCOMPARE(commands.at(1).data, data);
}

void TestSimCommands::setupRecordLengthByVersion_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<int>("length");
    // Record lengths by firmware version, from the setup size table; from 5.0.0 on the whole record.
    QTest::newRow("2.5.5") << bytes({2, 5, 5}) << 221;
    QTest::newRow("2.5.6") << bytes({2, 5, 6}) << 222;
    QTest::newRow("2.5.8") << bytes({2, 5, 8}) << 225;
    QTest::newRow("2.6.3") << bytes({2, 6, 3}) << 231;
    QTest::newRow("2.9.0") << bytes({2, 9, 0}) << 234;
    QTest::newRow("3.1.6") << bytes({3, 1, 6}) << 236;
    QTest::newRow("3.1.7") << bytes({3, 1, 7}) << 238;
    QTest::newRow("4.9.9") << bytes({4, 9, 9}) << 238;
    QTest::newRow("5.0.0") << bytes({5, 0, 0}) << 243;
    QTest::newRow("5.0.2") << bytes({5, 0, 2}) << 243;
}

void TestSimCommands::setupRecordLengthByVersion()
{
    QFETCH(QByteArray, version);
    QFETCH(int, length);
    Rig rig;
    QVERIFY(rig.start(plainUnit({std::uint8_t(version[0]), std::uint8_t(version[1]), std::uint8_t(version[2])})));
    if (!rig.server->tcp().loggedIn())
        QVERIFY(rig.exchange(authenticationText(), {}));
    QVERIFY(rig.exchange("S", ack));
    // Exactly that many bytes, and nothing after them.
    QVERIFY(rig.exchange("U", ack + "S" + patternRecord().left(length)));
    // The unit keeps the whole record; only what it sends is shorter.
    QCOMPARE(rig.server->setupRecord(), patternRecord());
}

void TestSimCommands::setupDownloadIsStoredAndUploaded()
{
    Rig rig;
    QVERIFY(rig.start());
    QByteArray record(243, '\0');
    for (int i = 0; i < record.size(); ++i)
        record[i] = static_cast<char>(255 - i);
    QVERIFY(rig.exchange("S", ack));
    QVERIFY(rig.exchange("D", ack));
    QVERIFY(rig.exchange(record.left(100), {}));
    QVERIFY(rig.exchange(record.mid(100), ack));
    QCOMPARE(rig.server->setupRecord(), record);
    QVERIFY(rig.exchange("U", ack + "S" + record.left(sentSetupSize)));
}

void TestSimCommands::eraseSetupRestoresDefaults()
{
    Rig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.exchange("S", ack));
    QVERIFY(rig.exchange("c", ack));
    const QByteArray defaults = defaultSetupRecord(rig.server->unit());
    QVERIFY(defaults != patternRecord());
    QCOMPARE(rig.server->setupRecord(), defaults);
    QVERIFY(rig.exchange("U", ack + "S" + defaults.left(sentSetupSize)));
}

void TestSimCommands::defaultSetupRecordLayout()
{
    SimUnit u = plainUnit();
    u.ncp = 0;
    u.naddr = 7;
    const QByteArray r = defaultSetupRecord(u);
    QCOMPARE(r.size(), 243);
    QCOMPARE(r.mid(24, 16), QByteArray("127.0.32.2").leftJustified(16, '\0')); // own IP
    QCOMPARE(r.mid(40, 16), QByteArray("255.255.255.0").leftJustified(16, '\0'));
    QCOMPARE(r.mid(56, 16), QByteArray("127.0.32.1").leftJustified(16, '\0'));
    QCOMPARE(r.mid(112, 64), QByteArray("Dock 3 Scale").leftJustified(64, '\0'));
    QCOMPARE(r.mid(225, 2), bytes({7, 0}));
    QCOMPARE(r.at(238), '\0');
    QCOMPARE(r.mid(239, 4), QByteArray(4, '\0'));

    // A unit from 5.0.0 on keeps auto negotiation at 234; older firmware has no such
    // byte and keeps the three fields behind it there instead, in its own layout.
    u.version = {5, 0, 1};
    QCOMPARE(defaultSetupRecord(u).mid(234, 4), bytes({4, 0, 0, 0}));
    u.version = {4, 9, 9};
    u.setupRecord.clear();
    const QByteArray older = defaultSetupRecord(u);
    QCOMPARE(older.mid(234, 3), bytes({0, 0, 0}));
    setuppack inMemory(older);
    shiftOlderLayout(inMemory, ShiftDirection::Received, 499);
    QCOMPARE(inMemory.ethp(), std::uint8_t(0)); // taken from where uats lived
}

void TestSimCommands::modesFollowCommands()
{
    Rig rig;
    QVERIFY(rig.start());
    QSignalSpy modes(&rig.server->tcp(), &SimCommandServer::modeChanged);
    const QByteArray script = QByteArray("SQMQH") + QByteArray(4, '\0');
    rig.socket.write(script);
    QTRY_COMPARE_WITH_TIMEOUT(rig.got, QByteArray(6, '\x06'), waitMs);
    QList<Mode> seen;
    for (const auto &args : std::as_const(modes))
        seen.append(args.at(0).value<Mode>());
    QCOMPARE(seen, (QList<Mode>{Mode::Setup, Mode::CommandLevel, Mode::Monitor, Mode::CommandLevel, Mode::History,
                                Mode::CommandLevel}));
    // The history quit was exactly four zero bytes.
    const auto &commands = rig.server->tcp().commands();
    QCOMPARE(commands.size(), 6);
    QCOMPARE(commands.last().byte, std::uint8_t('0'));
    QCOMPARE(commands.last().mode, Mode::History);
    QCOMPARE(rig.server->tcp().received(), script);
}

void TestSimCommands::closeOnC()
{
    Rig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.announcedCons() & 0x08);
    QSignalSpy closed(&rig.socket, &QTcpSocket::disconnected);
    rig.socket.write("C");
    QVERIFY(closed.wait(waitMs));
    QCOMPARE(rig.got, ack);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.server->tcp().hasClient(), waitMs);
    QCOMPARE(rig.announcedCons() & 0x08, 0);
    // The port is free again.
    QVERIFY(rig.connectClient());
    QVERIFY(rig.exchange("S", ack));
}

void TestSimCommands::secondClientRefused()
{
    Rig rig;
    QVERIFY(rig.start());
    QSignalSpy refused(&rig.server->tcp(), &SimCommandServer::clientRefused);
    QTcpSocket second;
    QSignalSpy secondGone(&second, &QTcpSocket::disconnected);
    QSignalSpy secondError(&second, &QTcpSocket::errorOccurred);
    second.connectToHost(unitAddress, commandPort);
    QTRY_VERIFY_WITH_TIMEOUT(!secondGone.isEmpty() || !secondError.isEmpty(), waitMs);
    QCOMPARE(refused.size(), 1);
    QCOMPARE(rig.server->tcp().refusedCount(), 1);
    // The first client keeps the port and is still served.
    QVERIFY(rig.server->tcp().hasClient());
    QVERIFY(rig.announcedCons() & 0x08);
    QVERIFY(rig.exchange("S", ack));
}

void TestSimCommands::rebootGoesSilentAndComesBack()
{
    SimUnit unit = plainUnit();
    unit.restartSilenceMs = 600;
    unit.cons = 0x01;
    Rig rig;
    QVERIFY(rig.start(unit));
    QVERIFY(rig.exchange("S", ack));
    QSignalSpy closed(&rig.socket, &QTcpSocket::disconnected);
    QSignalSpy back(rig.server.get(), &SimUnitServer::restarted);
    rig.got.clear();
    rig.socket.write("R");
    QVERIFY(closed.wait(waitMs));
    QVERIFY(rig.got.isEmpty()); // a reboot is not acknowledged
    QVERIFY(rig.server->isDown());

    // Silent on UDP and TCP meanwhile.
    AnswerCollector udp;
    QVERIFY(udp.open());
    udp.send(QByteArray("SVRK?") + QByteArray(8, '\0'), unitAddress);
    QTcpSocket probe;
    QSignalSpy probeError(&probe, &QTcpSocket::errorOccurred);
    probe.connectToHost(unitAddress, commandPort);
    QVERIFY(probeError.wait(waitMs));
    QCOMPARE(probe.error(), QAbstractSocket::ConnectionRefusedError);
    QTRY_COMPARE_WITH_TIMEOUT(rig.server->received().size(), 1, waitMs);
    QVERIFY(udp.answers.isEmpty());

    QVERIFY(back.wait(waitMs));
    QVERIFY(!rig.server->isDown());
    rig.monotonicMs += 2000; // two seconds after the reboot
    udp.send(QByteArray("SVRK?") + QByteArray(8, '\0'), unitAddress);
    QTRY_COMPARE_WITH_TIMEOUT(udp.answers.size(), 1, waitMs);
    QCOMPARE(udp.answers.first().bytes.mid(111, 4), bytes({2, 0, 0, 0}));
    QCOMPARE(static_cast<int>(udp.answers.first().bytes.at(122)), 0x01); // port free again
    // A new connection starts at command level.
    QVERIFY(rig.connectClient());
    QCOMPARE(rig.server->tcp().mode(), Mode::CommandLevel);
    QVERIFY(rig.exchange("S", ack));
}

void TestSimCommands::faults_data()
{
    QTest::addColumn<SimCommandFaults>("faults");
    QTest::addColumn<QByteArray>("enter");
    QTest::addColumn<QByteArray>("enterAnswer");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("dropped");
    QTest::addColumn<Mode>("modeAfter");

    const QByteArray none;
    SimCommandFaults f;
    f.nakCommands = "S";
    QTest::newRow("NAK for S") << f << none << none << QByteArray("S") << nak << false << Mode::CommandLevel;
    f = {};
    f.silentCommands = "S";
    QTest::newRow("no answer for S") << f << none << none << QByteArray("S") << none << false << Mode::CommandLevel;
    f = {};
    f.nakCommands = "U";
    QTest::newRow("NAK for U, no block") << f << QByteArray("S") << ack << QByteArray("U") << nak << false
                                         << Mode::Setup;
    f = {};
    f.silentCommands = "D";
    QTest::newRow("no answer for D, no data phase")
        << f << QByteArray("S") << ack << QByteArray("DQ") << ack << false << Mode::CommandLevel;
    f = {};
    f.nakCommands = "0";
    QTest::newRow("NAK for the history quit") << f << QByteArray("H") << ack << QByteArray(4, '\0') << nak << false
                                              << Mode::History;
    f = {};
    f.strayBytes = bytes({0x00, 0x41});
    QTest::newRow("stray bytes before the ACK") << f << none << none << QByteArray("S") << bytes({0x00, 0x41, 0x06})
                                                << false << Mode::Setup;
    QTest::newRow("stray bytes before the NAK-free block")
        << f << QByteArray("S") << bytes({0x00, 0x41, 0x06}) << QByteArray("T")
        << bytes({0x00, 0x41, 0x06}) + "T" + bytes({30, 45, 13, 29, 5, 2, 24, 20}) << false << Mode::Setup;
    f = {};
    f.failErase = true;
    QTest::newRow("failErase: h") << f << QByteArray("S") << ack << QByteArray("h") << nak << false << Mode::Setup;
    QTest::newRow("failErase: p") << f << QByteArray("S") << ack << QByteArray("p") << nak << false << Mode::Setup;
    QTest::newRow("failErase leaves c alone") << f << QByteArray("S") << ack << QByteArray("c") << ack << false
                                              << Mode::Setup;
    f = {};
    f.dropAfterBytes = 5; // counted from the connection's start: the first ACK is one of them
    QTest::newRow("drop after 5 bytes") << f << QByteArray("S") << ack << QByteArray("U")
                                        << ack + "S" + patternRecord().left(2) << true << Mode::CommandLevel;
    f.dropAfterBytes = 1;
    QTest::newRow("drop after the first ACK") << f << none << none << QByteArray("S") << ack << true
                                              << Mode::CommandLevel;
}

void TestSimCommands::faults()
{
    QFETCH(SimCommandFaults, faults);
    QFETCH(QByteArray, enter);
    QFETCH(QByteArray, enterAnswer);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    QFETCH(bool, dropped);
    QFETCH(Mode, modeAfter);
    Rig rig;
    QVERIFY(rig.start());
    // Switched while running: from the next command on.
    rig.server->setCommandFaults(faults);
    QSignalSpy closed(&rig.socket, &QTcpSocket::disconnected);
    if (!enter.isEmpty())
        QVERIFY(rig.exchange(enter, enterAnswer));
    QVERIFY(rig.exchange(command, answer));
    if (dropped) {
        QTRY_COMPARE_WITH_TIMEOUT(closed.size(), 1, waitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.server->tcp().hasClient(), waitMs);
    } else {
        QCOMPARE(closed.size(), 0);
    }
    QCOMPARE(rig.server->tcp().mode(), modeAfter);
}

void TestSimCommands::answerDelay()
{
    Rig rig;
    QVERIFY(rig.start());
    SimCommandFaults f;
    f.delayMs = 300;
    rig.server->setCommandFaults(f);
    QElapsedTimer timer;
    timer.start();
    // The second command waits for the first one's answer.
    rig.socket.write("SU");
    QTRY_COMPARE_WITH_TIMEOUT(rig.got.size(), 1, waitMs);
    const qint64 first = timer.elapsed();
    QTRY_COMPARE_WITH_TIMEOUT(rig.got.size(), 2 + 1 + sentSetupSize, waitMs);
    const qint64 second = timer.elapsed();
    QVERIFY2(first >= 300, qPrintable(QString::number(first)));
    QVERIFY2(second >= 600, qPrintable(QString::number(second)));
    QCOMPARE(rig.got, ack + ack + "S" + patternRecord().left(sentSetupSize));
}

void TestSimCommands::checksumBlockFollowsLater()
{
    SimUnit unit = plainUnit();
    unit.checksum = {0xDEADBEEF, 0x100, 0xFFFFFF, 300};
    Rig rig;
    QVERIFY(rig.start(unit));
    QElapsedTimer timer;
    timer.start();
    rig.socket.write("X");
    QTRY_COMPARE_WITH_TIMEOUT(rig.got, ack, waitMs);
    QVERIFY(timer.elapsed() < 250);
    QTRY_COMPARE_WITH_TIMEOUT(rig.got.size(), 14, waitMs);
    QVERIFY2(timer.elapsed() >= 300, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(rig.got.mid(1), checksumBlock({0xEF, 0xBE, 0xAD, 0xDE, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF}));
}

void TestSimCommands::splitReplies_data()
{
    QTest::addColumn<bool>("split");
    QTest::newRow("one write") << false;
    QTest::newRow("split") << true;
}

void TestSimCommands::splitReplies()
{
    QFETCH(bool, split);
    Rig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.exchange("S", ack));
    SimCommandFaults f;
    f.splitReplies = split;
    rig.server->setCommandFaults(f);
    QVERIFY(rig.exchange("U", ack + "S" + patternRecord().left(sentSetupSize)));
    // ACK + 226-byte block: the split one arrives in halves of 113, 30 ms apart.
    const qsizetype firstHalfEnd = 1 + 113;
    bool brokenInside = false;
    for (qsizetype at : std::as_const(rig.arrivals))
        brokenInside = brokenInside || (at > 1 && at < 1 + 1 + sentSetupSize);
    QCOMPARE(brokenInside, split);
    if (split)
        QVERIFY(rig.arrivals.contains(firstHalfEnd));
}

void TestSimCommands::lateBlocksAndLinger_data()
{
    QTest::addColumn<int>("lateMs");
    QTest::addColumn<int>("lingerMs");
    QTest::addColumn<QByteArray>("script");   // sent in one write
    QTest::addColumn<QByteArray>("expected"); // everything the client gets, in order
    QTest::addColumn<int>("acksBeforeBlock"); // -1: no block arrives
    QTest::addColumn<bool>("closes");

    const QByteArray setupBlock = QByteArray("S") + patternRecord().left(sentSetupSize);
    const QByteArray clockBlock = QByteArray("T") + bytes({30, 45, 13, 29, 5, 2, 24, 20});
    const QByteArray sumBlock =
        checksumBlock({0x44, 0x33, 0x22, 0x11, 0x00, 0xE0, 0x03, 0x00, 0x00, 0xFF, 0xFF, 0x00});
    const QByteArray acks4 = QByteArray(4, '\x06');

    // The S after C falls in the linger: no command is taken then.
    QTest::newRow("late setup block after the Q and C ACKs, linger lets it in")
        << 200 << 600 << QByteArray("SUQCS") << acks4 + setupBlock << 4 << true;
    QTest::newRow("late setup block, no linger: closed before it")
        << 200 << 0 << QByteArray("SUQC") << acks4 << -1 << true;
    QTest::newRow("linger alone: the block in its place")
        << 0 << 300 << QByteArray("SUQC") << ack + ack + setupBlock + ack + ack << 2 << true;
    QTest::newRow("late clock block after the Q ACK") << 150 << 0 << QByteArray("STQ") << ack + ack + ack + clockBlock
                                                      << 3 << false;
    QTest::newRow("late checksum block after the S ACK") << 150 << 0 << QByteArray("XS") << ack + ack + sumBlock << 2
                                                         << false;
}

void TestSimCommands::lateBlocksAndLinger()
{
    QFETCH(int, lateMs);
    QFETCH(int, lingerMs);
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, expected);
    QFETCH(int, acksBeforeBlock);
    QFETCH(bool, closes);
    SimUnit unit = plainUnit();
    unit.commandFaults.lateBlockMs = lateMs;
    unit.commandFaults.closeLingerMs = lingerMs;
    Rig rig;
    QVERIFY(rig.start(unit));
    QElapsedTimer timer;
    qint64 blockAt = -1;
    qint64 closedAt = -1;
    QObject::connect(&rig.socket, &QTcpSocket::readyRead, &rig.socket, [&] {
        if (blockAt < 0 && acksBeforeBlock >= 0 && rig.got.size() > acksBeforeBlock)
            blockAt = timer.elapsed();
    });
    QObject::connect(&rig.socket, &QTcpSocket::disconnected, &rig.socket, [&] { closedAt = timer.elapsed(); });
    timer.start();
    rig.socket.write(script);
    if (closes)
        QTRY_VERIFY_WITH_TIMEOUT(closedAt >= 0, waitMs);
    else
        QTRY_VERIFY_WITH_TIMEOUT(rig.got.size() >= expected.size(), waitMs);
    QTest::qWait(settleMs);
    QCOMPARE(rig.got, expected);
    if (acksBeforeBlock >= 0)
        QVERIFY2(blockAt >= lateMs, qPrintable(QString::number(blockAt)));
    if (closes) {
        QVERIFY2(closedAt >= lingerMs, qPrintable(QString::number(closedAt)));
        QVERIFY2(blockAt < 0 || blockAt <= closedAt, "the block came after the close");
        QTRY_VERIFY_WITH_TIMEOUT(!rig.server->tcp().hasClient(), waitMs);
    } else {
        QVERIFY(rig.server->tcp().hasClient());
    }
    QCOMPARE(rig.server->tcp().sent(), expected);
}

void TestSimCommands::trickledBlocks_data()
{
    QTest::addColumn<int>("trickleMs");
    QTest::addColumn<bool>("split");
    QTest::addColumn<QByteArray>("enter");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("minArrivals");
    QTest::addColumn<int>("maxArrivals");

    const QByteArray clockBlock = QByteArray("T") + bytes({30, 45, 13, 29, 5, 2, 24, 20});
    const QByteArray sumBlock =
        checksumBlock({0x44, 0x33, 0x22, 0x11, 0x00, 0xE0, 0x03, 0x00, 0x00, 0xFF, 0xFF, 0x00});
    // Each byte its own write: a few may still meet in one read on a busy machine.
    QTest::newRow("clock block byte by byte") << 20 << false << QByteArray("S") << QByteArray("T") << ack + clockBlock
                                              << 5 << 10;
    QTest::newRow("checksum block byte by byte") << 20 << false << QByteArray() << QByteArray("X") << ack + sumBlock
                                                 << 7 << 14;
    QTest::newRow("trickle wins over split") << 20 << true << QByteArray("S") << QByteArray("T") << ack + clockBlock
                                             << 5 << 10;
    QTest::newRow("no trickle: one write") << 0 << false << QByteArray("S") << QByteArray("T") << ack + clockBlock
                                           << 1 << 2;
}

void TestSimCommands::trickledBlocks()
{
    QFETCH(int, trickleMs);
    QFETCH(bool, split);
    QFETCH(QByteArray, enter);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, expected);
    QFETCH(int, minArrivals);
    QFETCH(int, maxArrivals);
    Rig rig;
    QVERIFY(rig.start());
    if (!enter.isEmpty())
        QVERIFY(rig.exchange(enter, ack));
    SimCommandFaults f;
    f.trickleMs = trickleMs;
    f.splitReplies = split;
    rig.server->setCommandFaults(f);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(rig.exchange(command, expected));
    // The ACK and the first byte go together; every later byte waits its turn.
    const qint64 least = qint64(expected.size() - 2) * trickleMs;
    QVERIFY2(timer.elapsed() >= least, qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(rig.arrivals.size() >= minArrivals && rig.arrivals.size() <= maxArrivals,
             qPrintable(QString::number(rig.arrivals.size())));
}

void TestSimCommands::pushedBlocks()
{
    SimUnit unit = plainUnit({5, 0, 3}, 2);
    Rig rig;
    QVERIFY(rig.start(unit));
    QVERIFY(rig.exchange(authenticationText(), {}));
    QVERIFY(!SimUnitServer(unit).tcp().pushBytes("x")); // no client, nothing pushed

    rig.got.clear();
    QVERIFY(rig.server->tcp().pushVersionBlock());
    QTRY_COMPARE_WITH_TIMEOUT(rig.got, QByteArray("V") + bytes({5, 0, 3, 7, 3, 20, 19, 2}), waitMs);

    rig.got.clear();
    QVERIFY(rig.server->tcp().pushInfoBlock());
    QTRY_COMPARE_WITH_TIMEOUT(rig.got.size(), 131, waitMs);
    QCOMPARE(rig.got.at(0), 'I');
    udppack decoded;
    decodeAnnouncement(rig.got.mid(1), 130, decoded, rig.wall);
    QCOMPARE(decoded.desc, QStringLiteral("Dock 3 Scale"));
    QCOMPARE(decoded.ip, QStringLiteral("127.0.32.2"));
    QVERIFY(decoded.cons & 0x08); // this very connection holds the port

    rig.got.clear();
    QVERIFY(rig.server->tcp().pushBytes(bytes({0x00, 0x42, 0x06})));
    QTRY_COMPARE_WITH_TIMEOUT(rig.got, bytes({0x00, 0x42, 0x06}), waitMs);
}

void TestSimCommands::garbageNeverStopsTheUnit()
{
    SimUnit unit = plainUnit({5, 0, 3}, 8); // with login, so garbage meets the login scan first
    unit.restartSilenceMs = 50;
    Rig rig;
    QVERIFY(rig.start(unit));
    QRandomGenerator random(42);
    QByteArray garbage(200000, '\0');
    for (char &c : garbage)
        c = static_cast<char>(random.bounded(256));
    // Log in half way, so the garbage after it reaches every mode the letters lead to.
    garbage.insert(1000, authenticationText());
    rig.socket.write(garbage);
    // Whatever the garbage did (closed, rebooted, switched modes), the unit stays reachable.
    QTRY_VERIFY_WITH_TIMEOUT(rig.server->tcp().received().size() == garbage.size()
                                 || rig.socket.state() != QAbstractSocket::ConnectedState,
                             10000);
    rig.socket.abort();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.server->isDown() && !rig.server->tcp().hasClient(), waitMs);
    QVERIFY(rig.connectClient());
    QVERIFY(rig.exchange(authenticationText(), {}));
    QVERIFY(rig.exchange("S", ack));
}

void TestSimCommands::fleetUnitsListenOnOwnAddresses()
{
    QList<SimUnit> units;
    QString error;
    QVERIFY2(demoFleet(3, QHostAddress(QStringLiteral("127.0.32.20")), units, &error), qPrintable(error));
    SimFleet fleet;
    for (const SimUnit &u : units)
        fleet.add(u);
    QVERIFY2(fleet.start({}, &error), qPrintable(error));
    for (int i = 0; i < 3; ++i) {
        QTcpSocket socket;
        QSignalSpy connected(&socket, &QTcpSocket::connected);
        socket.connectToHost(units.at(i).address, commandPort);
        QVERIFY(connected.wait(waitMs));
        QTRY_VERIFY_WITH_TIMEOUT(fleet.server(i).tcp().hasClient(), waitMs);
        // Only the unit on that address sees the client.
        for (int j = 0; j < 3; ++j)
            QCOMPARE(fleet.server(j).tcp().hasClient(), i == j);
        QCOMPARE(socket.localAddress().isLoopback(), true);
        socket.abort();
        QTRY_VERIFY_WITH_TIMEOUT(!fleet.server(i).tcp().hasClient(), waitMs);
    }
}

void TestSimCommands::configReadsCommandPortFields()
{
    const QByteArray record = QByteArray(243, '\x5A');
    const QByteArray json = QByteArray(R"([{"setup": ")") + record.toHex(' ') + QByteArray(R"(",
        "checksum": {"value": "0xDEADBEEF", "byteCount": 256, "location": "0xFFFFFF", "delayMs": 50},
        "restartMs": 200,
        "commandFaults": {"nak": "S0", "silent": "U", "delayMs": 20, "stray": "00 41", "dropAfter": 9,
                          "failErase": true, "splitReplies": true, "lateBlockMs": 250, "trickleMs": 5,
                          "closeLingerMs": 700}}])");
    QList<SimUnit> units;
    QString error;
    QVERIFY2(parseFleetConfig(json, unitAddress, units, &error), qPrintable(error));
    const SimUnit &u = units.first();
    QCOMPARE(u.setupRecord, record);
    QCOMPARE(u.checksum.checksum, 0xDEADBEEFu);
    QCOMPARE(u.checksum.byteCount, 256u);
    QCOMPARE(u.checksum.location, 0xFFFFFFu);
    QCOMPARE(u.checksum.delayMs, 50);
    QCOMPARE(u.restartSilenceMs, 200);
    QCOMPARE(u.commandFaults.nakCommands, QByteArray("S0"));
    QCOMPARE(u.commandFaults.silentCommands, QByteArray("U"));
    QCOMPARE(u.commandFaults.delayMs, 20);
    QCOMPARE(u.commandFaults.strayBytes, bytes({0x00, 0x41}));
    QCOMPARE(u.commandFaults.dropAfterBytes, 9);
    QVERIFY(u.commandFaults.failErase);
    QVERIFY(u.commandFaults.splitReplies);
    QCOMPARE(u.commandFaults.lateBlockMs, 250);
    QCOMPARE(u.commandFaults.trickleMs, 5);
    QCOMPARE(u.commandFaults.closeLingerMs, 700);

    // A unit without a record starts with the default one.
    QVERIFY(parseFleetConfig("[{}]", unitAddress, units, &error));
    QVERIFY(units.first().setupRecord.isEmpty());
    QCOMPARE(SimUnitServer(units.first()).setupRecord(), defaultSetupRecord(units.first()));

    const QList<QPair<QByteArray, QString>> rejected = {
        {R"([{"setup": "0102"}])", QStringLiteral("\"setup\"")},
        {R"([{"setup": "zz"}])", QStringLiteral("\"setup\"")},
        {R"([{"commandFaults": {"stray": "123"}}])", QStringLiteral("\"stray\"")},
        {R"([{"commandFaults": {"nak": 5}}])", QStringLiteral("\"nak\"")},
        {R"([{"commandFaults": {"bogus": 1}}])", QStringLiteral("unknown field \"bogus\"")},
        {R"([{"checksum": {"location": "0x1000000"}}])", QStringLiteral("\"location\"")},
        {R"([{"restartMs": -1}])", QStringLiteral("\"restartMs\"")},
        {R"([{"commandFaults": {"lateBlockMs": -1}}])", QStringLiteral("\"lateBlockMs\"")},
        {R"([{"commandFaults": {"trickleMs": 10001}}])", QStringLiteral("\"trickleMs\"")},
        {R"([{"commandFaults": {"closeLingerMs": true}}])", QStringLiteral("\"closeLingerMs\"")},
    };
    for (const auto &[text, why] : rejected) {
        QVERIFY2(!parseFleetConfig(text, unitAddress, units, &error), text.constData());
        QVERIFY2(error.contains(why), qPrintable(error));
    }
}

QTEST_GUILESS_MAIN(TestSimCommands)
#include "tst_simcommands.moc"
