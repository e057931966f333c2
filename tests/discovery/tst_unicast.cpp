// Commands by datagram: their bytes, and RAM, archive, restart and reboot
// requests against simulated units with their questions, texts and bounded waits.
#include "core/boundedwait.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "discovery/unicast.h"
#include "recordingoperator.h"
#include "services/unitservices.h"
#include "simfleet.h"
#include "simunitserver.h"
#include "unit/unittable.h"

#include <QElapsedTimer>
#include <QTest>

using namespace vork;

namespace {

struct Rig
{
    explicit Rig(int n, const sim::SimFaults &faults = {}) : services(op)
    {
        unit = sim::demoUnit(n, QHostAddress(QStringLiteral("127.0.64.%1").arg(n + 2)));
        unit.faults = faults;
        services.transport().setLocalIP(QStringLiteral("127.0.0.1"));
        services.transport().setLocalPort(0);
        unicast = std::make_unique<UnicastCommands>(op, services.transport(), services.cycle(), services.units());
    }
    bool start()
    {
        fleet.add(unit);
        QString error;
        if (!fleet.start({}, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        services.units().enterAnnouncement(unit.record(QDateTime::currentDateTime(), 0), ip());
        return true;
    }
    QString ip() const { return unit.address.toString(); }
    // The requests of a kind the unit heard.
    int heard(const char *head) const
    {
        int n = 0;
        for (const auto &r : fleet.server(0).received())
            n += r.bytes.startsWith(head) ? 1 : 0;
        return n;
    }

    RecordingOperator op;
    UnitServices services;
    sim::SimUnit unit;
    sim::SimFleet fleet;
    std::unique_ptr<UnicastCommands> unicast;
};

QByteArray bytes(const char *hex)
{
    return QByteArray::fromHex(hex);
}

} // namespace

class TestUnicast : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void datagrams_data();
    void datagrams();
    void macTexts_data();
    void macTexts();
    void archiveRequests();
    void ramRequestAndItsBound();
    void lateAnswerIsNobodys();
    void declinedSendsNothing();
    void rebootByMac();
};

void TestUnicast::datagrams_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QByteArray>("expected");
    const unicast::Mac mac{0x00, 0x50, 0xC2, 0xAB, 0x12, 0x34};
    QTest::newRow("query") << unicast::query() << QByteArray("SVRK?") + QByteArray(8, '\0');
    QTest::newRow("clock sync") << unicast::clockSync(dtpack{58, 59, 23, 29, 5, 2, 24, 20})
                                << QByteArray("SVRK?") + bytes("3a3b171d05021814");
    QTest::newRow("reboot") << unicast::reboot(mac) << QByteArray("SVRK#") + bytes("0050c2ab12340000");
    QTest::newRow("restart webpages") << unicast::restartService('w') << QByteArray("SVRKw") + QByteArray(8, '\0');
    QTest::newRow("restart telnet") << unicast::restartService('t') << QByteArray("SVRKt") + QByteArray(8, '\0');
    QTest::newRow("set ip")
        << *unicast::setIp(mac, QStringLiteral("10.1.2.3"), QStringLiteral("255.255.255.0"), QStringLiteral("10.1.2.1"))
        << QByteArray("SVRK*") + bytes("0050c2ab1234") + bytes("0a010203") + bytes("ffffff00") + bytes("0a010201");
    QTest::newRow("factory reset") << unicast::factoryReset(mac) << QByteArray("SVRK^") + bytes("0050c2ab1234");
    QTest::newRow("ram zero") << unicast::ram('0') << QByteArray("RAMS0") + QByteArray(6, '\0');
    QTest::newRow("safe mode off") << unicast::ram('d') << QByteArray("RAMSd") + QByteArray(6, '\0');
    QTest::newRow("archive compare") << unicast::archive('c') << QByteArray("ARCHc") + QByteArray(6, '\0');
}

void TestUnicast::datagrams()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QByteArray, expected);
    QCOMPARE(datagram, expected);
}

void TestUnicast::macTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << "0050C2AB1234" << true;
    QTest::newRow("lower, colons") << "00:50:c2:ab:12:34" << true;
    QTest::newRow("dashes") << "00-50-C2-AB-12-34" << true;
    QTest::newRow("short") << "0050C2AB12" << false;
    QTest::newRow("not hex") << "0050C2AB12ZZ" << false;
    QTest::newRow("a sign") << "+050C2AB1234" << false;
    QTest::newRow("set ip needs four numbers") << "" << false;
}

void TestUnicast::macTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(unicast::parseMac(text).has_value(), valid);
    if (valid)
        QCOMPARE((*unicast::parseMac(text))[2], std::uint8_t(0xC2));
    // An address that does not parse is never sent anywhere.
    const unicast::Mac mac{};
    QVERIFY(!unicast::setIp(mac, QStringLiteral("10.1.2"), QStringLiteral("255.0.0.0"), QStringLiteral("0.0.0.0")));
    QVERIFY(!unicast::setIp(mac, QStringLiteral("10.1.2.3"), QStringLiteral("255.0.0.256"), QStringLiteral("0.0.0.0")));
}

void TestUnicast::archiveRequests()
{
    Rig rig(0);
    QVERIFY(rig.start());
    const QString ip = rig.ip();
    struct Step
    {
        char letter;
        UnicastCommands::Result result;
        const char *text;
        MessageKind kind;
    };
    const Step steps[] = {
        {'c', UnicastCommands::Result::Nothing, "Archive File Does not Exist, Compare Aborted", MessageKind::Warning},
        {'a', UnicastCommands::Result::Done, "Archive Created Successfully", MessageKind::Information},
        {'a', UnicastCommands::Result::Nothing, "Archive Already Exist. Delete first", MessageKind::Warning},
        {'c', UnicastCommands::Result::Done, "Archive & Setup files Match", MessageKind::Information},
        {'d', UnicastCommands::Result::Done, "Archive File Deleted Successfully", MessageKind::Information},
        {'d', UnicastCommands::Result::Nothing, "Archive File Does not Exist", MessageKind::Warning},
    };
    for (const Step &step : steps) {
        rig.op.messages.clear();
        rig.op.questions.clear();
        rig.op.answers = {Answer::Yes};
        QCOMPARE(rig.unicast->archiveRequest(ip, step.letter), step.result);
        QCOMPARE(rig.op.questions, QStringList{UnicastCommands::archiveQuestion(step.letter, ip)});
        QCOMPARE(rig.op.messageTexts(step.kind), QStringList{QString::fromLatin1(step.text)});
        QVERIFY(!rig.services.cycle().result(DiscoveryCycle::ResultKind::Restore).active);
    }
    QVERIFY(rig.op.logged(QStringLiteral("Create Archive file command sent to ") + ip));
    QVERIFY(rig.op.logged(QStringLiteral("Compare Archive & setup file command sent to ") + ip));
    QCOMPARE(rig.heard("ARCH"), 6);
    // Restore says first what it will and will not do.
    rig.op.messages.clear();
    rig.op.answers = {Answer::Yes};
    QCOMPARE(rig.unicast->archiveRequest(ip, 'r'), UnicastCommands::Result::Nothing);
    QCOMPARE(rig.op.messageTexts(MessageKind::Information).value(0).left(32),
             QStringLiteral("If an archive file doesn't exist"));
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning),
             QStringList{QStringLiteral("ABORT: Archive File Does Not Exist or config & archive files match")});
}

void TestUnicast::ramRequestAndItsBound()
{
    Rig rig(1);
    QVERIFY(rig.start());
    rig.op.answers = {Answer::Yes};
    QCOMPARE(rig.unicast->ramRequest(rig.ip(), 'e'), UnicastCommands::Result::Done);
    QVERIFY(rig.op.logged(QStringLiteral("Safe Mode Enabled for ") + rig.ip()));
    QCOMPARE(rig.op.messageTexts(MessageKind::Information), QStringList{QStringLiteral("Request Complete")});

    // A unit that never answers: "Request Failed" within the bound, and the wait is off again.
    rig.fleet.server(0).setFaults([] {
        sim::SimFaults f;
        f.silent = true;
        return f;
    }());
    rig.op.messages.clear();
    rig.op.answers = {Answer::Yes};
    QElapsedTimer t;
    t.start();
    QCOMPARE(rig.unicast->ramRequest(rig.ip(), '0'), UnicastCommands::Result::NoAnswer);
    QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning), QStringList{QStringLiteral("Request Failed")});
    QVERIFY(!rig.services.cycle().result(DiscoveryCycle::ResultKind::RamZero).active);
}

void TestUnicast::lateAnswerIsNobodys()
{
    sim::SimFaults late;
    late.delayMs = 2600;
    Rig rig(2, late);
    QVERIFY(rig.start());
    rig.op.answers = {Answer::Yes};
    QElapsedTimer t;
    t.start();
    QCOMPARE(rig.unicast->archiveRequest(rig.ip(), 'a'), UnicastCommands::Result::NoAnswer);
    QVERIFY2(t.elapsed() < 2500, qPrintable(QString::number(t.elapsed())));
    // One log line, no message box.
    QCOMPARE(rig.op.logs.filter(QStringLiteral("No answer to the archive request from ")).size(), 1);
    QVERIFY(rig.op.messages.isEmpty());
    // The result byte that comes after the wait gave up changes nothing.
    wait::delay(1000);
    QCOMPARE(rig.fleet.server(0).archive().isEmpty(), false); // the unit did create it
    QCOMPARE(rig.services.units().count(), 1);
    QVERIFY(rig.op.messages.isEmpty());
    QVERIFY(!rig.services.cycle().result(DiscoveryCycle::ResultKind::Restore).active);
}

void TestUnicast::declinedSendsNothing()
{
    Rig rig(3);
    QVERIFY(rig.start());
    for (Answer a : {Answer::No, Answer::Cancel}) {
        rig.op.answers = {a};
        QCOMPARE(rig.unicast->ramRequest(rig.ip(), '1'), UnicastCommands::Result::Declined);
        rig.op.answers = {a};
        QCOMPARE(rig.unicast->archiveRequest(rig.ip(), 'd'), UnicastCommands::Result::Declined);
        rig.op.answers = {a};
        QVERIFY(!rig.unicast->restartService(rig.ip(), 'w'));
    }
    wait::delay(100);
    QVERIFY(rig.fleet.server(0).received().isEmpty());
    QVERIFY(rig.op.messages.isEmpty());
    // An unknown letter or address goes nowhere either, without a question.
    QCOMPARE(rig.unicast->ramRequest(rig.ip(), 'x'), UnicastCommands::Result::BadRequest);
    QCOMPARE(rig.unicast->archiveRequest(QStringLiteral("10.1.2"), 'a'), UnicastCommands::Result::BadRequest);
    QCOMPARE(rig.op.questions.size(), 6);
    rig.op.answers = {Answer::Yes};
    QVERIFY(rig.unicast->restartService(rig.ip(), 't'));
    QVERIFY(wait::until([&] { return rig.heard("SVRKt") == 1; }, 2000));
    QVERIFY(rig.op.logged(QStringLiteral("Unicast Restart Port sent to ") + rig.ip()));
}

void TestUnicast::rebootByMac()
{
    Rig rig(4);
    QVERIFY(rig.start());
    udppack &unit = rig.services.units().unit(0);
    unit.selected = true;
    int closed = 0;
    rig.unicast->closeConnection = [&](udppack &) { ++closed; };
    // Another unit's MAC at this address reboots nothing.
    rig.services.transport().setBroadCastIP(rig.ip());
    rig.services.transport().SendBroadCast(unicast::reboot({0x00, 0x50, 0xC2, 0x00, 0x00, 0x01}));
    QVERIFY(wait::until([&] { return rig.heard("SVRK#") == 1; }, 2000));
    QVERIFY(!rig.fleet.server(0).isDown());
    QVERIFY(rig.unicast->reboot(unit));
    QCOMPARE(closed, 1);
    QVERIFY(!rig.services.units().unit(0).selected);
    QVERIFY(rig.op.logged(QStringLiteral("Unicast Reboot sent to ") + rig.ip()));
    QVERIFY(wait::until([&] { return rig.fleet.server(0).isDown(); }, 2000));
}

QTEST_GUILESS_MAIN(TestUnicast)
#include "tst_unicast.moc"
