// A setup record into a simulated unit of each firmware generation and back,
// byte for byte, with the checks before it goes and the unit's refusals.
#include "connection/commands.h"
#include "connection/connectionmanager.h"
#include "connection/unitcommands.h"
#include "core/boundedwait.h"
#include "core/pinger.h"
#include "recordingoperator.h"
#include "services/unitservices.h"
#include "setup/setupdownload.h"
#include "setup/setupreply.h"
#include "simcommandserver.h"
#include "simfleet.h"
#include "unit/unittable.h"

#include <QTest>

using namespace vork;

namespace {

class Reachable : public Pinger
{
public:
    bool ping(const QString &, int, bool) override { return true; }
};

struct Rig
{
    Rig(int n, std::array<std::uint8_t, 3> version, const sim::SimCommandFaults &faults = {})
        : services(op), reply(op, services.connections().replies())
    {
        services.setPinger(std::make_unique<Reachable>());
        unit = sim::demoUnit(n, QHostAddress(QStringLiteral("127.0.61.%1").arg(n + 2)));
        unit.version = version;
        unit.model = 0;
        unit.commandFaults = faults;
        QObject::connect(&reply, &SetupReply::received, &reply, [this](const QByteArray &r, int length) {
            got = setuppack(r);
            gotLength = length;
            ++records;
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
        return services.connections().Connect_or_timeout(2000) && services.commands().enterSetupMode();
    }
    // The unit's record as the program holds it after an upload.
    bool upload()
    {
        const int before = records;
        return services.commands().uploadSetup() && wait::until([&] { return records > before; }, 3000);
    }
    QByteArray received() const { return fleet.server(0).tcp().received(); }
    QByteArray stored() const { return fleet.server(0).setupRecord(); }
    // Whether the download command reached the unit (the login text may hold the letter).
    bool sentD() const
    {
        for (const auto &c : fleet.server(0).tcp().commands())
            if (c.byte == std::uint8_t(Command::SetupDownload))
                return true;
        return false;
    }

    RecordingOperator op;
    UnitServices services;
    SetupReply reply;
    sim::SimUnit unit;
    sim::SimFleet fleet;
    setuppack got;
    int gotLength = 0;
    int records = 0;
};

// One field of every group changed.
void editEveryGroup(setuppack &r)
{
    r.setDesc(QStringLiteral("Bay 7 sorter"));   // general
    r.setNprt(10007);                              // network port
    r.setCbaud(static_cast<std::uint8_t>((r.cbaud() + 1) % 8)); // serial port
    r.setAfunc(static_cast<std::uint8_t>(r.afunc() ^ 1));        // auxiliary port
    r.setPwp(!r.pwp());                            // security
    r.setPw(QStringLiteral("k3y"));
}

} // namespace

class TestSetupDownload : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void roundTripEveryGeneration_data();
    void roundTripEveryGeneration();
    void unconfirmedLeavesChangesPending();
    void refusedDownloadSendsNothing();
    void unchangedRecordAsksFirst_data();
    void unchangedRecordAsksFirst();
    void checksStopBeforeAnythingGoes_data();
    void checksStopBeforeAnythingGoes();
};

void TestSetupDownload::roundTripEveryGeneration_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("patch");
    QTest::addColumn<int>("length");
    QTest::newRow("2.5.5") << 2 << 5 << 5 << 221;
    QTest::newRow("2.6.4") << 2 << 6 << 4 << 232;
    QTest::newRow("3.1.7") << 3 << 1 << 7 << 238;
    QTest::newRow("4.9.9") << 4 << 9 << 9 << 238;
    QTest::newRow("5.0.2") << 5 << 0 << 2 << 243;
}

void TestSetupDownload::roundTripEveryGeneration()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, patch);
    QFETCH(int, length);
    static int n = 0;
    Rig rig(n++ % 8, {std::uint8_t(major), std::uint8_t(minor), std::uint8_t(patch)});
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    QCOMPARE(rig.gotLength, length);
    const setuppack before = rig.got;
    setuppack outgoing = before;
    editEveryGroup(outgoing);

    SetupDownload download(rig.services);
    download.setReceived(before);
    rig.op.answers = {Answer::Yes, Answer::Yes};
    QCOMPARE(download.download(outgoing), SetupDownload::Result::Saved);
    QVERIFY(download.inSync());
    QVERIFY(!download.changesPending());
    QCOMPARE(download.received(), outgoing);
    QCOMPARE(rig.op.messageTexts(MessageKind::Information), QStringList{QStringLiteral("Configuration File Saved")});
    for (const char *line : {"Sent D Command to Vork Unit ", "Vork Unit ready to receive config file", "Config file sent",
                             "Config file Updated"})
        QVERIFY2(!rig.op.logs.filter(QLatin1String(line)).isEmpty(), line);

    // What went on the wire: the record in the unit's own layout.
    QByteArray wire = outgoing.bytes();
    if (major < 5) {
        wire[234] = char(outgoing.uats());
        wire[235] = char(outgoing.firewall());
        wire[236] = char(outgoing.eipDiags());
    }
    QVERIFY(rig.received().endsWith(QByteArray(QByteArray("D") + wire)));
    QCOMPARE(rig.stored(), wire);

    // Read back: exactly what was sent, as far as the unit's length goes.
    QVERIFY(rig.upload());
    QCOMPARE(rig.got.bytes().left(length), outgoing.bytes().left(length));
    QCOMPARE(rig.got.desc(), QStringLiteral("Bay 7 sorter"));
    QCOMPARE(rig.got.nprt(), 10007u);
}

void TestSetupDownload::unconfirmedLeavesChangesPending()
{
    sim::SimCommandFaults faults;
    faults.unconfirmedData = "D";
    Rig rig(0, {5, 0, 2}, faults);
    rig.unit.address = QHostAddress(QStringLiteral("127.0.61.20"));
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    const QByteArray storedBefore = rig.stored();
    setuppack outgoing = rig.got;
    outgoing.setDesc(QStringLiteral("Never confirmed"));
    SetupDownload download(rig.services);
    download.setReceived(rig.got);
    QCOMPARE(download.download(outgoing), SetupDownload::Result::NotConfirmed);
    QCOMPARE(rig.op.messageTexts(MessageKind::Error), QStringList{QStringLiteral("Failed to Save Configuration File")});
    QVERIFY(download.changesPending());
    QVERIFY(!download.inSync());
    QCOMPARE(download.received(), rig.got);
    QCOMPARE(rig.stored(), storedBefore);
    // The unit answers in step afterwards: the same record can go again.
    rig.fleet.server(0).setCommandFaults({});
    rig.op.messages.clear();
    QCOMPARE(download.download(outgoing), SetupDownload::Result::Saved);
    QCOMPARE(setuppack(rig.stored()).desc(), QStringLiteral("Never confirmed"));
}

void TestSetupDownload::refusedDownloadSendsNothing()
{
    sim::SimCommandFaults faults;
    faults.nakCommands = "D";
    Rig rig(1, {5, 0, 2}, faults);
    rig.unit.address = QHostAddress(QStringLiteral("127.0.61.21"));
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    setuppack outgoing = rig.got;
    outgoing.setDesc(QStringLiteral("Refused"));
    SetupDownload download(rig.services);
    download.setReceived(rig.got);
    QCOMPARE(download.download(outgoing), SetupDownload::Result::NotAccepted);
    QVERIFY(rig.received().endsWith('D'));
    wait::delay(100);
    QVERIFY(rig.received().endsWith('D'));
    QVERIFY(download.changesPending());
    QVERIFY(!rig.op.logged(QStringLiteral("Config file sent")));
}

void TestSetupDownload::unchangedRecordAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("sent");
    QTest::newRow("yes") << int(Answer::Yes) << true;
    QTest::newRow("no") << int(Answer::No) << false;
    QTest::newRow("cancel") << int(Answer::Cancel) << false;
}

void TestSetupDownload::unchangedRecordAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(bool, sent);
    Rig rig(2, {5, 0, 2});
    rig.unit.address = QHostAddress(QStringLiteral("127.0.61.%1").arg(22 + answer));
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    SetupDownload download(rig.services);
    download.setReceived(rig.got);
    rig.op.answers = {Answer(answer)};
    const SetupDownload::Result r = download.download(rig.got);
    QCOMPARE(rig.op.questions, QStringList{SetupDownload::unchangedQuestion()});
    QCOMPARE(r, sent ? SetupDownload::Result::Saved : SetupDownload::Result::Declined);
    QCOMPARE(rig.sentD(), sent);
}

void TestSetupDownload::checksStopBeforeAnythingGoes_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("IP with two dots") << "nrip" << "10.1.2" << "Network IP is invalid. Download aborted";
    QTest::newRow("mask with a letter") << "nrm" << "255.255.x.0" << "Mask IP is invalid. Download aborted";
    QTest::newRow("IP starting with 0") << "nrip" << "0.1.2.3" << "Invalid IP address entered.";
    QTest::newRow("gateway 300") << "ndg" << "10.0.0.300" << "Gateway IP is invalid. Download aborted";
    QTest::newRow("zero mask") << "nrm" << "0.0.0.0" << "Invalid network mask entered.";
    QTest::newRow("keep-alive without retries") << "nkar" << "0"
                                                << "Invalid Keep Alive Retry Count. Valid Range is 1-255 Decimal.";
    QTest::newRow("classic serial address") << "caddr" << "256"
                                            << "Invalid Reader Address for Classic Mode. Valid Range is 1-255 Decimal.";
    QTest::newRow("bad custom zone") << "tzo" << ""
                                     << "Invalid parameter(s). Download aborted";
}

void TestSetupDownload::checksStopBeforeAnythingGoes()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, message);
    static int n = 0;
    Rig rig(3, {5, 0, 2});
    rig.unit.address = QHostAddress(QStringLiteral("127.0.61.%1").arg(40 + n++));
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    setuppack outgoing = rig.got;
    outgoing.setNdhcp(false);
    outgoing.setNrip(QStringLiteral("10.0.0.5"));
    outgoing.setNrm(QStringLiteral("255.255.255.0"));
    outgoing.setNdg(QStringLiteral("10.0.0.1"));
    outgoing.setNka(30);
    outgoing.setNkar(3);
    outgoing.setCpa(true);
    outgoing.setCpro(1);
    outgoing.setCaddr(5);
    if (field == QLatin1String("tzo")) {
        outgoing.setUtzo(true);
        QVERIFY(outgoing.setTzo(QByteArray::fromHex("0b0208000000000d0208000000"))); // end month 13
    } else {
        QVERIFY(outgoing.setValueText(*setupField(field), value));
    }
    SetupDownload download(rig.services);
    download.setReceived(rig.got);
    QCOMPARE(download.download(outgoing), SetupDownload::Result::Invalid);
    QCOMPARE(rig.op.messageTexts(MessageKind::Error), QStringList{message});
    QVERIFY(!rig.sentD());
}

QTEST_GUILESS_MAIN(TestSetupDownload)
#include "tst_setupdownload.moc"
