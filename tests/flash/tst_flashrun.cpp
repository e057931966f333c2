// Flash runs against simulated units on loopback: the exact bytes a unit receives,
// every answer byte, NAK limits, silence and a dropped link within their bounds, a
// refused erase, a unit back on its old firmware, abort, and several units in a row.
#include "connection/commands.h"
#include "connection/connectionmanager.h"
#include "core/boundedwait.h"
#include "core/pinger.h"
#include "discovery/broadcast.h"
#include "flash/flashfitness.h"
#include "flash/flashpagecontroller.h"
#include "flash/flashrun.h"
#include "flash/heximage.h"
#include "hexfixture.h"
#include "recordingoperator.h"
#include "services/unitservices.h"
#include "simcommandserver.h"
#include "simfleet.h"
#include "unit/announcement.h"
#include "unit/unittable.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace vork;

namespace {

QString unitIp(int i)
{
    return QStringLiteral("127.0.65.%1").arg(i + 2);
}

// Answers while the simulated unit at the address is up: a reboot is seen as silence.
class SimPinger : public Pinger
{
public:
    explicit SimPinger(sim::SimFleet &fleet) : m_fleet(fleet) {}
    bool ping(const QString &host, int, bool) override
    {
        ++pings;
        for (int i = 0; i < m_fleet.size(); ++i)
            if (m_fleet.server(i).unit().address.toString() == host)
                return !m_fleet.server(i).isDown();
        return false;
    }
    int pings = 0;

private:
    sim::SimFleet &m_fleet;
};

sim::SimUnit flashUnit(int i)
{
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(unitIp(i)));
    u.version = {3, 0, 0}; // no login; below 5.0.0 so the model check runs
    u.model = 0;
    u.readers = 1;
    u.restartSilenceMs = 300;
    u.flash.eraseMs = 20;
    return u;
}

const QDateTime fixedNow(QDate(2024, 3, 5), QTime(14, 7, 9));

struct Rig
{
    explicit Rig(const QList<sim::SimUnit> &units) : services(op), run(services)
    {
        auto pinger = std::make_unique<SimPinger>(fleet);
        pings = pinger.get();
        services.setPinger(std::move(pinger));
        services.transport().setLocalPort(0);
        for (const sim::SimUnit &u : units)
            fleet.add(u);
        QString error;
        started = fleet.start({}, &error);
        if (!started)
            qWarning("%s", qPrintable(error));
        UnitTable &table = services.units();
        for (int k = 0; started && k < fleet.size(); ++k) {
            udppack announced;
            decodeAnnouncement(fleet.server(k).announcement(), announcement::fullSize, announced);
            const int i = table.enterAnnouncement(announced, fleet.server(k).unit().address.toString());
            table.unit(i).selected = true;
        }
        FlashRun::Timings t;
        t.connectMs = 3000;
        t.eraseAckSeconds = 3;
        t.lineDeadlineMs = 600;
        t.abortGraceMs = 300;
        t.abortAckSeconds = 2;
        t.rebootPauseMs = 50;
        t.rebootTicks = 150;
        t.rebootTickMs = 10;
        t.pingEveryTicks = 10;
        t.queryWaitMs = 1500;
        t.bootLoaderPauseMs = 10;
        t.speedStepMs = 5;
        run.setTimings(t);
        run.setClock([] { return fixedNow; });
    }
    void setImage(const QStringList &lines, const QString &path = QStringLiteral("/fw/image.hex"))
    {
        FlashImage image;
        image.path = path;
        image.lines = lines;
        image.build = contentSearch(lines);
        run.setImage(image);
    }
    sim::SimCommandServer &tcp(int i) { return fleet.server(i).tcp(); }
    QStringList flat() const { return run.summary(); }

    RecordingOperator op;
    UnitServices services;
    FlashRun run;
    sim::SimFleet fleet;
    SimPinger *pings = nullptr;
    bool started = false;
};

QByteArray wire(const QStringList &lines)
{
    QByteArray out;
    for (const QString &l : lines)
        out += paddedFlashLine(l);
    return out;
}

const QString stamp = QStringLiteral("02:07:09 PM");
const QString dateStamp = QStringLiteral("03/05/2024");

// Only the lines that name an answer or an outcome, without their stamps.
QStringList outcomeLines(const QStringList &summary)
{
    QStringList out;
    for (QString line : summary) {
        line.remove(QLatin1Char('\t'));
        line.remove(dateStamp + QLatin1Char(' '));
        line.remove(dateStamp);
        line.remove(stamp);
        out << line;
    }
    return out;
}

} // namespace

class TestFlashRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fullFlash_data();
    void fullFlash();
    void naks_data();
    void naks();
    void answerBytes_data();
    void answerBytes();
    void silentLineFailsWithinTheBound();
    void droppedLinkFails();
    void refusedErase();
    void oldVersionAfterRebootFails();
    void abortSendsXAfterTheLine();
    void oneBadUnitInTheMiddle();
    void offsetRecordIsOneUnitsOwn_data();
    void offsetRecordIsOneUnitsOwn();
    void bootLoaderCommandBytes_data();
    void bootLoaderCommandBytes();
    void doubledAnswerIsNotTakenForTheNextLine();
    void unreachableUnit();
    void pageHeldWhileRunning();
};

void TestFlashRun::fullFlash_data()
{
    QTest::addColumn<bool>("dontReboot");
    QTest::newRow("reboot") << false;
    QTest::newRow("don't reboot") << true;
}

void TestFlashRun::fullFlash()
{
    QFETCH(bool, dontReboot);
    Rig rig({flashUnit(0)});
    QVERIFY(rig.started);
    // Short lines, a 64-byte record (139 characters) and a longer one go out as they are.
    QStringList lines = hexfixture::programImage(600, 2);
    lines.insert(5, hexfixture::record(0, 0x9000, QByteArray(64, '\x5A')));
    lines.insert(6, hexfixture::record(0, 0x9100, QByteArray(80, '\x6B')));
    rig.setImage(lines);
    rig.run.setDontReboot(dontReboot);
    QSignalSpy progress(&rig.run, &FlashRun::lineProgress);
    QVERIFY(rig.run.run());
    QVERIFY2(rig.run.allPassed(), qPrintable(rig.run.summary().join(QLatin1Char('\n')) + rig.op.logs.join(QLatin1Char('\n'))));

    const QByteArray expected = QByteArray(1, dontReboot ? 'L' : 'F') + wire(lines) + QByteArray(dontReboot ? "C" : "");
    QCOMPARE(rig.tcp(0).received().size(), expected.size());
    QVERIFY(rig.tcp(0).received() == expected);
    QCOMPARE(rig.run.outcomes().size(), 1);
    QCOMPARE(rig.run.outcomes().first().kind, FlashRun::Outcome::Passed);
    QVERIFY(rig.run.allPassed());
    QCOMPARE(rig.run.rows().first().status, std::uint16_t(dontReboot ? 0x0817 : 0x001F));
    QCOMPARE(progress.last().at(1).toInt(), int(lines.size()));
    // Without the reboot the unit still runs (and announces) its old firmware.
    const QString version = dontReboot ? QStringLiteral("3.0.0 - 07-MAR-2019") : QStringLiteral("5.0.2 - 05-JAN-2019");
    QStringList summary{dateStamp + QStringLiteral(" *** Flashing Vork unit 127.0.65.2 Mac: ") + flashUnit(0).mac
                            + QStringLiteral(" Current Version 3.0.0 Build Date MAR-07-2019 ***"),
                        QLatin1Char('\t') + stamp + (dontReboot ? QStringLiteral(" Sent L Command to Vork Unit")
                                                                : QStringLiteral(" Sent F Command to Vork Unit")),
                        QLatin1Char('\t') + stamp + QStringLiteral(" Waiting for Vork Unit to Erase Flash"),
                        QLatin1Char('\t') + stamp + QStringLiteral(" Erase Complete"),
                        QLatin1Char('\t') + stamp + QStringLiteral(" Sending /fw/image.hex to Vork Unit 127.0.65.2"),
                        QLatin1Char('\t') + stamp + QStringLiteral(" Hex File Transfer Completed Successfully")};
    if (!dontReboot)
        summary << QLatin1Char('\t') + stamp + QStringLiteral(" Waiting for Reboot")
                << QLatin1Char('\t') + stamp + QStringLiteral(" Flashed Vork Unit rebooted successfully")
                << QLatin1Char('\t') + stamp + QStringLiteral(" Reading Flashed Vork's New Version Number");
    summary << QLatin1Char('\t') + stamp + QStringLiteral(" Flashed Vork's New Version is ") + version
            << dateStamp + QLatin1Char(' ') + stamp + QStringLiteral("*** Flash Completed Successfully for 127.0.65.2 Version ")
                   + version.section(QStringLiteral(" - "), 0, 0) + QStringLiteral(" Build Date ")
                   + version.section(QStringLiteral(" - "), 1) + QStringLiteral(" ***")
            << QString();
    QCOMPARE(rig.run.summary(), summary);
    QVERIFY(rig.op.logged(QStringLiteral("Flashing ") + QString::number(lines.size()) + QStringLiteral(" Lines to Unit 127.0.65.2")));
    QVERIFY(rig.op.logged(lines.at(5))); // every line, unchanged, in the log
    QCOMPARE(rig.run.rows().first().elapsed.size(), 5);
    QVERIFY(!rig.services.units().unit(0).selected);

    // The image written without a reboot starts with the unit's next reboot.
    rig.fleet.server(0).reboot();
    QCOMPARE(rig.fleet.server(0).unit().version, (std::array<std::uint8_t, 3>{5, 0, 2}));
}

void TestFlashRun::naks_data()
{
    QTest::addColumn<int>("times");
    QTest::addColumn<bool>("passes");
    QTest::newRow("nine then ACK") << 9 << true;
    QTest::newRow("ten then ACK") << 10 << true;
    QTest::newRow("eleven fail") << 11 << false;
    QTest::newRow("always") << 0 << false;
}

void TestFlashRun::naks()
{
    QFETCH(int, times);
    QFETCH(bool, passes);
    sim::SimUnit u = flashUnit(0);
    u.flash.nakLine = 4;
    u.flash.nakTimes = times;
    Rig rig({u});
    QVERIFY(rig.started);
    const QStringList lines = hexfixture::programImage(600, 2);
    rig.setImage(lines);
    rig.run.setDontReboot(true);
    QVERIFY(rig.run.run());
    // Each refusal gets one more copy, up to ten; the eleventh refusal ends it without a twelfth copy.
    const int naks = passes ? times : 11;
    const QByteArray line4 = paddedFlashLine(lines.at(3));
    const QStringList got = outcomeLines(rig.run.summary());
    QCOMPARE(got.count(QStringLiteral(" Line nacked by Vork Unit 127.0.65.2")), naks);
    QCOMPARE(rig.run.allPassed(), passes);
    if (!passes) {
        QVERIFY(got.contains(QStringLiteral(" Flash Failed Vork Unit 127.0.65.2")));
        QVERIFY(got.contains(QStringLiteral(" Line 4 nacked 11 times")));
        QVERIFY(got.contains(QStringLiteral(" Flashing Failed at Line 4")));
        QVERIFY(got.contains(QStringLiteral(" *** Flash Failed for 127.0.65.2 ***")));
        QCOMPARE(rig.run.outcomes().first().reason, QStringLiteral("Line 4 nacked 11 times"));
        QCOMPARE(rig.tcp(0).received(), QByteArray(QByteArray("L") + wire(lines.mid(0, 3)) + line4.repeated(11) + QByteArray("C")));
    } else {
        QCOMPARE(rig.tcp(0).received(), QByteArray(QByteArray("L") + wire(lines.mid(0, 3)) + line4.repeated(naks)
                                                        + wire(lines.mid(3)) + QByteArray("C")));
    }
}

void TestFlashRun::answerBytes_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<QString>("summaryLine");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("cancel") << 0x18 << " Flash canceled by Vork Unit 127.0.65.2" << "Flash canceled by Vork Unit 127.0.65.2";
    QTest::newRow("error 7") << 0x37 << " Vork Unit 127.0.65.2 sent error code 7" << "Vork Unit 127.0.65.2 sent error code 7";
    QTest::newRow("error 0") << 0x30 << " Vork Unit 127.0.65.2 sent error code 0" << "Vork Unit 127.0.65.2 sent error code 0";
    QTest::newRow("verify fault") << 0x16 << " Vork Unit 127.0.65.2 verify fault" << "Vork Unit 127.0.65.2 verify fault";
    QTest::newRow("other") << 0x41 << "Received char but not ack 65" << "Received char but not ack 65";
    QTest::newRow("0xFF") << 0xFF << "Received char but not ack 255" << "Received char but not ack 255";
}

void TestFlashRun::answerBytes()
{
    QFETCH(int, byte);
    QFETCH(QString, summaryLine);
    QFETCH(QString, logLine);
    sim::SimUnit u = flashUnit(0);
    u.flash.answerLine = 7;
    u.flash.answerByte = std::uint8_t(byte);
    Rig rig({u});
    QVERIFY(rig.started);
    rig.setImage(hexfixture::programImage(600, 2));
    QVERIFY(rig.run.run());
    QVERIFY(!rig.run.allPassed());
    const QStringList got = outcomeLines(rig.run.summary());
    const int at = int(got.indexOf(summaryLine));
    QVERIFY2(at > 0, qPrintable(got.join(QLatin1Char('\n'))));
    QCOMPARE(got.at(at + 1), QStringLiteral(" Flash Failed Vork Unit 127.0.65.2"));
    QCOMPARE(got.at(at + 2), QStringLiteral(" Flashing Failed at Line 7"));
    QVERIFY2(rig.run.outcomes().first().reason.endsWith(QStringLiteral(" at line 7")),
             qPrintable(rig.run.outcomes().first().reason));
    QVERIFY(rig.op.logged(logLine));
    QVERIFY(got.contains(QStringLiteral(" *** Flash Failed for 127.0.65.2 ***")));
    QVERIFY(!got.contains(QStringLiteral(" Waiting for Reboot")));
    QCOMPARE(rig.run.rows().first().status, std::uint16_t(0x1C17));
}

void TestFlashRun::silentLineFailsWithinTheBound()
{
    sim::SimUnit u = flashUnit(0);
    u.flash.silentLine = 5;
    Rig rig({u});
    QVERIFY(rig.started);
    rig.setImage(hexfixture::programImage(600, 2));
    QElapsedTimer t;
    t.start();
    QVERIFY(rig.run.run());
    QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
    QVERIFY(!rig.run.allPassed());
    QVERIFY(rig.op.logged(QStringLiteral("Flash warning No Ack received for line sent")));
    // The reason is in the summary too, naming the line that got no answer.
    const QStringList got = outcomeLines(rig.run.summary());
    QVERIFY2(got.contains(QStringLiteral(" No Ack received for line 5")), qPrintable(got.join(QLatin1Char('\n'))));
    QVERIFY(got.contains(QStringLiteral(" Flashing Failed at Line 5")));
    QVERIFY(got.contains(QStringLiteral(" *** Flash Failed for 127.0.65.2 ***")));
    QCOMPARE(rig.run.outcomes().first().linesAcknowledged, 4);
    QCOMPARE(rig.run.outcomes().first().reason, QStringLiteral("No Ack received for line 5"));
}

void TestFlashRun::droppedLinkFails()
{
    sim::SimUnit u = flashUnit(0);
    u.flash.dropLine = 9;
    Rig rig({u});
    QVERIFY(rig.started);
    rig.setImage(hexfixture::programImage(600, 2));
    QElapsedTimer t;
    t.start();
    QVERIFY(rig.run.run());
    QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
    QVERIFY(!rig.run.allPassed());
    QVERIFY(rig.op.logged(QStringLiteral("Vork Unit 127.0.65.2: connection lost")));
    const QStringList got = outcomeLines(rig.run.summary());
    QVERIFY2(got.contains(QStringLiteral(" connection lost at line 9")), qPrintable(got.join(QLatin1Char('\n'))));
    QVERIFY(got.contains(QStringLiteral(" Flashing Failed at Line 9")));
    QCOMPARE(rig.run.outcomes().first().reason, QStringLiteral("connection lost at line 9"));
    QVERIFY(got.contains(QStringLiteral(" *** Flash Failed for 127.0.65.2 ***")));
    QVERIFY(!rig.op.logged(QStringLiteral("Flash warning No Ack received for line sent")));
}

void TestFlashRun::refusedErase()
{
    sim::SimUnit u = flashUnit(0);
    u.flash.failErase = true;
    Rig rig({u});
    QVERIFY(rig.started);
    rig.setImage(hexfixture::programImage(600, 2));
    QVERIFY(rig.run.run());
    QCOMPARE(rig.tcp(0).received(), QByteArray("FC"));
    QCOMPARE(rig.run.rows().first().status, std::uint16_t(0x1213));
    const QStringList got = outcomeLines(rig.run.summary());
    QVERIFY(got.contains(QStringLiteral(" *** Flash Failed for 127.0.65.2 ***")));
    QVERIFY(!got.contains(QStringLiteral(" Erase Complete")));
    QCOMPARE(rig.run.outcomes().first().reason, QStringLiteral("Vork Unit 127.0.65.2 refused the flash command (NAK)"));
    QVERIFY(got.contains(QStringLiteral(" Vork Unit 127.0.65.2 refused the flash command (NAK)")));
}

void TestFlashRun::oldVersionAfterRebootFails()
{
    sim::SimUnit u = flashUnit(0);
    u.flash.keepOldVersion = true;
    Rig rig({u});
    QVERIFY(rig.started);
    rig.setImage(hexfixture::programImage(600, 2));
    QVERIFY(rig.run.run());
    QVERIFY(!rig.run.allPassed());
    const QStringList got = outcomeLines(rig.run.summary());
    QVERIFY(got.contains(QStringLiteral(" Flashed Vork Unit rebooted successfully")));
    QVERIFY(got.contains(QStringLiteral(" Flashed Vork's New Version is 3.0.0 - 07-MAR-2019")));
    QVERIFY(got.contains(QStringLiteral(" Flashed Vork Unit runs version 3.0.0, not the image's 5.0.2")));
    QVERIFY(got.contains(QStringLiteral(" *** Flash Failed for 127.0.65.2 ***")));
    QCOMPARE(rig.run.rows().first().status, std::uint16_t(0x101F));
}

void TestFlashRun::abortSendsXAfterTheLine()
{
    Rig rig({flashUnit(0), flashUnit(1), flashUnit(2)});
    QVERIFY(rig.started);
    const QStringList lines = hexfixture::programImage(600, 2);
    rig.setImage(lines);
    rig.op.answers = {Answer::Yes};
    connect(&rig.run, &FlashRun::lineProgress, &rig.run, [&](const QString &, int done, int) {
        if (done == 5)
            rig.run.abortAsked();
    });
    QVERIFY(rig.run.run());
    QCOMPARE(rig.op.questions, QStringList{FlashRun::abortQuestion()});
    QCOMPARE(rig.tcp(0).received(), QByteArray(QByteArray("F") + wire(lines.mid(0, 5)) + QByteArray("xC")));
    QVERIFY(rig.op.logged(QStringLiteral("Sending x command - flash abort")));
    const QStringList got = outcomeLines(rig.run.summary());
    QVERIFY(got.contains(QStringLiteral(" Flash Aborted by user for Vork Unit 127.0.65.2")));
    QVERIFY(got.contains(QStringLiteral(" Flashing Failed at Line 6")));
    // The abort deselected every unit: the others are never touched, and the run says so.
    const auto &o = rig.run.outcomes();
    QCOMPARE(o.size(), 3);
    QCOMPARE(o.at(0).kind, FlashRun::Outcome::Failed);
    for (int i = 1; i < 3; ++i) {
        QCOMPARE(o.at(i).ip, unitIp(i));
        QCOMPARE(o.at(i).kind, FlashRun::Outcome::NotReached);
        QCOMPARE(o.at(i).reason, QStringLiteral("not flashed: run aborted"));
        QVERIFY(rig.tcp(i).received().isEmpty());
        QVERIFY2(got.contains(QStringLiteral(" Vork Unit ") + unitIp(i) + QStringLiteral(" not flashed: run aborted")),
                 qPrintable(got.join(QLatin1Char('\n'))));
    }
    QVERIFY(!rig.run.allPassed());
}

void TestFlashRun::oneBadUnitInTheMiddle()
{
    sim::SimUnit bad = flashUnit(1);
    bad.flash.nakLine = 3;
    Rig rig({flashUnit(0), bad, flashUnit(2)});
    QVERIFY(rig.started);
    rig.setImage(hexfixture::programImage(600, 2));
    QVERIFY(rig.run.run());
    const auto &o = rig.run.outcomes();
    QCOMPARE(o.size(), 3);
    QCOMPARE(o.at(0).ip, unitIp(0));
    QCOMPARE(o.at(0).kind, FlashRun::Outcome::Passed);
    QCOMPARE(o.at(1).ip, unitIp(1));
    QCOMPARE(o.at(1).kind, FlashRun::Outcome::Failed);
    QCOMPARE(o.at(2).kind, FlashRun::Outcome::Passed);
    QVERIFY(!rig.run.allPassed());
    const QStringList got = outcomeLines(rig.run.summary());
    QVERIFY(got.contains(QStringLiteral("*** Flash Completed Successfully for 127.0.65.2 Version 5.0.2 Build Date 05-JAN-2019 ***")));
    QVERIFY(got.contains(QStringLiteral(" *** Flash Failed for 127.0.65.3 ***")));
    QVERIFY(got.contains(QStringLiteral("*** Flash Completed Successfully for 127.0.65.4 Version 5.0.2 Build Date 05-JAN-2019 ***")));
    QVERIFY(!got.contains(QStringLiteral("*** Flash Completed Successfully for 127.0.65.3 Version 5.0.2 Build Date 05-JAN-2019 ***")));
    QCOMPARE(rig.run.rows().size(), 3);
}

void TestFlashRun::offsetRecordIsOneUnitsOwn_data()
{
    // Where the unit that needs the offset record stands among units that must not get it.
    QTest::addColumn<int>("oldAt");
    QTest::newRow("first") << 0;
    QTest::newRow("middle") << 1;
    QTest::newRow("last") << 2;
}

void TestFlashRun::offsetRecordIsOneUnitsOwn()
{
    QFETCH(int, oldAt);
    // Three generations: 2.4.3 needs the record, 3.1.7 and 5.0.2 must not have it.
    const QList<std::array<std::uint8_t, 3>> others{{3, 1, 7}, {5, 0, 2}};
    QList<sim::SimUnit> units;
    for (int i = 0, other = 0; i < 3; ++i) {
        sim::SimUnit u = flashUnit(i);
        u.version = i == oldAt ? std::array<std::uint8_t, 3>{2, 4, 3} : others.at(other++);
        units << u;
    }
    Rig rig(units);
    QVERIFY(rig.started);
    QStringList lines = hexfixture::programImage(600, 2);
    lines.insert(1, hexfixture::record(0, 0, QByteArray(64, '\x01')));
    QVERIFY(lines.at(1).startsWith(QLatin1String(":40000000")));
    rig.setImage(lines);
    rig.op.answers = {Answer::Yes}; // add the offset
    QVERIFY(rig.run.run());
    QVERIFY2(rig.run.allPassed(), qPrintable(rig.run.summary().join(QLatin1Char('\n'))));
    QCOMPARE(rig.op.questions, QStringList{fitnesstext::offsetMissing()});
    QStringList withOffset = lines;
    withOffset.insert(1, offsetRecord);
    for (int i = 0; i < 3; ++i) {
        QByteArray got = rig.tcp(i).received();
        if (got.startsWith(authenticationText()))
            got.remove(0, authenticationText().size());
        const QByteArray expected = QByteArray("F") + wire(i == oldAt ? withOffset : lines);
        QVERIFY2(got == expected, qPrintable(QStringLiteral("unit %1 got %2 bytes, expected %3")
                                                 .arg(i).arg(got.size()).arg(expected.size())));
    }
    // The image a later run starts from is still the file as opened.
    QCOMPARE(rig.run.image().lines, lines);
}

void TestFlashRun::bootLoaderCommandBytes_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("region");
    QTest::addColumn<bool>("primary");
    QTest::addColumn<bool>("dontReboot");
    QTest::addColumn<char>("byte");
    QTest::newRow("5.0.1, B primary: b") << 1 << int(BootLoaderChoice::Region::B) << true << false << 'b';
    QTest::newRow("5.0.2, B primary: 0xEF") << 2 << int(BootLoaderChoice::Region::B) << true << false << char(0xEF);
    QTest::newRow("5.0.2, A: O") << 2 << int(BootLoaderChoice::Region::A) << false << false << 'O';
    QTest::newRow("5.0.2 manager, don't reboot: B") << 2 << int(BootLoaderChoice::Region::Manager) << false << true << 'B';
    // A region restarts the unit whatever "Don't Reboot" says: the run waits for it.
    QTest::newRow("5.0.2 B, don't reboot: o, reboots") << 2 << int(BootLoaderChoice::Region::B) << false << true << 'o';
}

void TestFlashRun::bootLoaderCommandBytes()
{
    QFETCH(int, major);
    QFETCH(int, region);
    QFETCH(bool, primary);
    QFETCH(bool, dontReboot);
    QFETCH(char, byte);
    sim::SimUnit u = flashUnit(0);
    u.version = {5, 0, std::uint8_t(major)};
    Rig rig({u});
    QVERIFY(rig.started);
    const QStringList lines = hexfixture::programImage(40, 0);
    rig.setImage(lines);
    rig.run.setMode(FlashMode::BootLoader);
    rig.run.setDontReboot(dontReboot);
    int asked = 0;
    rig.run.setBootLoaderChooser([&](BootLoaderChoice &c) {
        ++asked;
        c.region = BootLoaderChoice::Region(region);
        c.makePrimary = primary;
        return true;
    });
    QVERIFY(rig.run.run());
    QVERIFY2(rig.op.questions.isEmpty(), qPrintable(rig.op.questions.join(QLatin1Char('\n'))));
    QCOMPARE(asked, 1);
    // Units from 5.0 on log in first.
    QByteArray got = rig.tcp(0).received();
    QVERIFY(got.startsWith(authenticationText()));
    got.remove(0, authenticationText().size());
    QVERIFY(got.startsWith(QByteArray(QByteArray(1, byte) + wire(lines))));
    QVERIFY2(rig.run.allPassed(), qPrintable(rig.run.summary().join(QLatin1Char('\n'))));
    const QStringList said = outcomeLines(rig.run.summary());
    QVERIFY(said.contains(QStringLiteral(" Flashed Vork's New Bootloader Version is ")));
    const bool reboots = !dontReboot || byte == 'o';
    QCOMPARE(said.contains(QStringLiteral(" Flashed Vork Unit rebooted successfully")), reboots);
    QCOMPARE(rig.run.rows().first().status, std::uint16_t(reboots ? 0x001F : 0x0817));
    // The completion line never shows empty version fields.
    const QString done = said.filter(QStringLiteral("Flash Completed Successfully")).value(0);
    QVERIFY2(done.contains(QStringLiteral(" Version 5.0.%1 Build Date ").arg(major)), qPrintable(done));
}

void TestFlashRun::doubledAnswerIsNotTakenForTheNextLine()
{
    Rig rig({flashUnit(0)});
    QVERIFY(rig.started);
    const QStringList lines = hexfixture::programImage(600, 2);
    rig.setImage(lines);
    rig.run.setDontReboot(true);
    // The unit answers one line twice.
    int acks = 0;
    connect(&rig.tcp(0), &sim::SimCommandServer::bytesSent, &rig.tcp(0), [&](const QByteArray &b) {
        if (b == QByteArray(1, '\x06') && ++acks == 3)
            rig.tcp(0).pushBytes(b);
    });
    QVERIFY(rig.run.run());
    QVERIFY(rig.run.allPassed());
    QVERIFY2(rig.op.logged(QStringLiteral("Discarded 1 stray byte(s) from Vork Unit 127.0.65.2 before line 3")),
             qPrintable(rig.op.logs.filter(QStringLiteral("Discarded")).join(QLatin1Char(';'))));
    QCOMPARE(rig.tcp(0).received(), QByteArray(QByteArray("L") + wire(lines) + QByteArray("C")));
}

void TestFlashRun::unreachableUnit()
{
    sim::SimUnit u = flashUnit(0);
    Rig rig({});
    QVERIFY(rig.started);
    UnitTable &table = rig.services.units();
    const int i = table.enterAnnouncement(u.record(QDateTime::currentDateTime(), 0), u.address.toString());
    table.unit(i).selected = true;
    rig.setImage(hexfixture::programImage(600, 2));
    QVERIFY(rig.run.run());
    QCOMPARE(rig.run.outcomes().size(), 1);
    QCOMPARE(rig.run.outcomes().first().kind, FlashRun::Outcome::Failed);
    QCOMPARE(table.unit(i).FlashState, std::uint16_t(0x1010));
    QCOMPARE(outcomeLines(rig.run.summary()), QStringList{QStringLiteral(" Cannot Flash - Failed to Connect to Vork Unit 127.0.65.2")});
    QVERIFY(table.unit(i).selected); // it stays selected
}

void TestFlashRun::pageHeldWhileRunning()
{
    Rig rig({flashUnit(0)});
    QVERIFY(rig.started);
    FlashPageController page(rig.services);
    FlashImage image;
    image.path = QStringLiteral("/fw/image.hex");
    image.lines = hexfixture::programImage(600, 2);
    image.build = contentSearch(image.lines);
    page.run().setImage(image);
    page.run().setTimings(rig.run.timings());
    page.run().setDontReboot(true);
    bool held = false;
    QString refusal;
    bool leave = true;
    connect(&page.run(), &FlashRun::lineProgress, &page.run(), [&](const QString &, int done, int) {
        if (done == 3) {
            held = page.holdsPage();
            refusal = page.closeRefusal();
            leave = page.allowsChange(Page::Flash, Page::Discover);
        }
    });
    QVERIFY(page.run().run());
    QVERIFY(held);
    QCOMPARE(refusal, FlashRun::closeRefusalText());
    QVERIFY(!leave);
    QVERIFY(!page.holdsPage());
    QVERIFY(page.closeRefusal().isEmpty());
    QVERIFY(page.allowsChange(Page::Flash, Page::Discover));
}

QTEST_GUILESS_MAIN(TestFlashRun)
#include "tst_flashrun.moc"
