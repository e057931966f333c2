// vork monitor over several units whose links drop or whose start outlasts --seconds,
// vork archive against old firmware, and unit text in JSON output; simulated units on
// 127.0.81.x to 127.0.83.x.
#include "clirun.h"
#include "core/boundedwait.h"
#include "simfleet.h"
#include "simunitserver.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace vork;
using namespace vork::clitest;

namespace {

sim::SimUnit unitAt(const QString &address)
{
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(address));
    u.version = {5, 0, 2};
    u.monitor.intervalMs = 50;
    return u;
}

QByteArray commandsOf(const sim::SimCommandServer &tcp)
{
    return withoutLogin(tcp.received());
}

} // namespace

class TestCliUnits : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void monitorSaysAtOnceWhichLinkDropped();
    void monitorSecondsBoundTheStart();
    void monitorRecordLostFailsTheRun();
    void archiveRefusedBelow502_data();
    void archiveRefusedBelow502();
    void jsonEscapesWhatTextEscapes();
};

void TestCliUnits::monitorSaysAtOnceWhichLinkDropped()
{
    sim::SimFleet fleet;
    sim::SimUnit dropping = unitAt(QStringLiteral("127.0.81.2"));
    dropping.commandFaults.dropAfterBytes = 200; // the ACK of 'M' and a few records, then the link goes
    fleet.add(dropping);
    fleet.add(unitAt(QStringLiteral("127.0.81.3")));
    QString error;
    QVERIFY2(fleet.start({}, &error), qPrintable(error));

    QProcess p;
    QElapsedTimer clock;
    clock.start();
    qint64 saidAt = -1;
    QByteArray err;
    const QByteArray dropText = "Vork Unit 127.0.81.2 is no longer monitored: connection lost";
    connect(&p, &QProcess::readyReadStandardError, this, [&] {
        err += p.readAllStandardError();
        if (saidAt < 0 && err.contains(dropText))
            saidAt = clock.elapsed();
    });
    p.start(QStringLiteral(VORK_EXE), {QStringLiteral("monitor"), QStringLiteral("--no-ping"), QStringLiteral("--seconds"),
                                       QStringLiteral("4"), QStringLiteral("127.0.81.2"), QStringLiteral("127.0.81.3")});
    QVERIFY(p.waitForStarted(5000));
    p.closeWriteChannel();
    QVERIFY(wait::until([&] { return p.state() == QProcess::NotRunning; }, 20000));
    const qint64 endedAt = clock.elapsed();
    err += p.readAllStandardError();
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    QVERIFY2(saidAt >= 0, err.constData());
    // Said while the other unit was still being monitored, not at the end.
    QVERIFY2(endedAt - saidAt > 2000, qPrintable(QStringLiteral("said at %1 ms, ended at %2 ms").arg(saidAt).arg(endedAt)));
    QCOMPARE(err.count(dropText), 1);
    QCOMPARE(p.exitCode(), 1);
    // The other unit went on to the end and was let go properly.
    QVERIFY(out.count(QStringLiteral("127.0.81.3\t")) >= 40);
    QVERIFY(commandsOf(fleet.server(1).tcp()).startsWith("MQ"));
    QVERIFY(wait::until([&] { return !fleet.server(1).tcp().hasClient(); }, 2000));
}

void TestCliUnits::monitorRecordLostFailsTheRun()
{
    sim::SimFleet fleet;
    sim::SimUnit u = unitAt(QStringLiteral("127.0.81.9"));
    u.monitor.cutRecord = 5; // the fifth record stops halfway, then the stream goes on
    fleet.add(u);
    QString error;
    QVERIFY2(fleet.start({}, &error), qPrintable(error));
    const Run r = runVork({QStringLiteral("monitor"), QStringLiteral("--no-ping"), QStringLiteral("--seconds"),
                           QStringLiteral("4"), QStringLiteral("127.0.81.9")});
    QVERIFY2(r.status == 1, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(QStringLiteral("Live record from Vork Unit 127.0.81.9 lost (arrived incomplete); 1 lost in "
                                           "this session\n")),
             qPrintable(printable(r)));
    QVERIFY2(r.err.contains(QStringLiteral("vork monitor: 1 live record(s) lost (arrived incomplete)\n")), qPrintable(printable(r)));
    // The records before and after the cut were all printed: the stream stayed in step.
    const int lines = int(r.out.count(QLatin1Char('\n')));
    QVERIFY2(lines >= 10, qPrintable(printable(r)));
    QCOMPARE(int(r.out.count(QStringLiteral("127.0.81.9\t"))), lines);
}

void TestCliUnits::monitorSecondsBoundTheStart()
{
    // Many units, each slow to answer: switching them all on would take far longer than the run may.
    sim::SimFleet fleet;
    QStringList addresses;
    for (int net : {82, 83}) {
        for (int host = 2; host < 152; ++host) {
            const QString address = QStringLiteral("127.0.%1.%2").arg(net).arg(host);
            sim::SimUnit u = unitAt(address);
            u.monitor.intervalMs = 1000;
            u.commandFaults.delayMs = 100;
            fleet.add(u);
            addresses << address;
        }
    }
    QString error;
    QVERIFY2(fleet.start({}, &error), qPrintable(error));
    const Run r = runVork(QStringList{QStringLiteral("monitor"), QStringLiteral("--no-ping"), QStringLiteral("--wait"),
                                      QStringLiteral("500"), QStringLiteral("--seconds"), QStringLiteral("2")}
                          + addresses);
    Run shown = r;
    shown.err = QString();
    for (const QString &line : r.err.split(QLatin1Char('\n')))
        if (!line.startsWith(QLatin1String("No answer from")))
            shown.err += line + QLatin1Char('\n');
    shown.err += QString::number(r.err.count(QStringLiteral("No answer from"))) + QStringLiteral(" units did not answer");
    QVERIFY2(r.status == 1, qPrintable(printable(shown)));
    // Two seconds, the quit and close of the units reached meanwhile, and the tool's start and end.
    QVERIFY2(r.ms < 9000, qPrintable(printable(shown)));
    QVERIFY2(r.err.contains(QStringLiteral("vork monitor: --seconds ran out before ")), qPrintable(shown.err));
    QVERIFY2(r.err.contains(QStringLiteral(" units were put into monitor mode")), qPrintable(shown.err));
    // Every unit that was switched on was switched off again and let go.
    int reached = 0;
    for (int i = 0; i < fleet.size(); ++i) {
        const QByteArray got = commandsOf(fleet.server(i).tcp());
        if (got.isEmpty())
            continue;
        ++reached;
        QVERIFY2(got.startsWith("MQ"), qPrintable(addresses.at(i) + QStringLiteral(": ") + QString::fromLatin1(got)));
    }
    QVERIFY(reached > 0);
    QVERIFY(reached < 300);
}

void TestCliUnits::archiveRefusedBelow502_data()
{
    QTest::addColumn<QList<int>>("version");
    QTest::addColumn<int>("status");
    QTest::newRow("5.0.1") << QList<int>{5, 0, 1} << 1;
    QTest::newRow("3.0.0") << QList<int>{3, 0, 0} << 1;
    QTest::newRow("5.0.2") << QList<int>{5, 0, 2} << 0;
}

void TestCliUnits::archiveRefusedBelow502()
{
    QFETCH(QList<int>, version);
    QFETCH(int, status);
    sim::SimFleet fleet;
    sim::SimUnit u = unitAt(QStringLiteral("127.0.81.10"));
    u.version = {std::uint8_t(version.at(0)), std::uint8_t(version.at(1)), std::uint8_t(version.at(2))};
    fleet.add(u);
    QString error;
    QVERIFY2(fleet.start({}, &error), qPrintable(error));
    const Run r = runVork({QStringLiteral("archive"), QStringLiteral("--yes"), QStringLiteral("--no-ping"),
                           QStringLiteral("create"), QStringLiteral("127.0.81.10")});
    QVERIFY2(r.status == status, qPrintable(printable(r)));
    QList<QByteArray> archiveRequests;
    for (const auto &d : fleet.server(0).received())
        if (d.bytes.startsWith("ARCH"))
            archiveRequests << d.bytes;
    if (status == 0) {
        QCOMPARE(archiveRequests.size(), 1);
        return;
    }
    QVERIFY(archiveRequests.isEmpty()); // refused before anything was sent
    const QString shown = QString::number(version.at(0)) + QLatin1Char('.') + QString::number(version.at(1))
                          + QLatin1Char('.') + QString::number(version.at(2));
    QVERIFY2(r.err.contains(QStringLiteral("Vork Unit 127.0.81.10 runs firmware ") + shown
                            + QStringLiteral(": the setup archive needs 5.0.2 or later")),
             qPrintable(r.err));
}

void TestCliUnits::jsonEscapesWhatTextEscapes()
{
    // A description with a C1 control (NEL), DEL and a line separator in it.
    sim::SimFleet fleet;
    sim::SimUnit u = unitAt(QStringLiteral("127.0.81.20"));
    u.description = QStringLiteral("Line") + QChar(0x85) + QStringLiteral("4") + QChar(0x7F) + QChar(0x9B)
                    + QStringLiteral("x");
    fleet.add(u);
    QString error;
    QVERIFY2(fleet.start({}, &error), qPrintable(error));

    const Run text = runVork({QStringLiteral("info"), QStringLiteral("127.0.81.20")});
    QVERIFY2(text.status == 0, qPrintable(printable(text)));
    QVERIFY2(text.out.contains(QStringLiteral("Line\\x854\\x7f\\x9bx")), qPrintable(text.out));

    QProcess p;
    p.start(QStringLiteral(VORK_EXE), {QStringLiteral("discover"), QStringLiteral("--json"), QStringLiteral("--wait"),
                                       QStringLiteral("500"), QStringLiteral("--to"), QStringLiteral("127.0.81.20")});
    QVERIFY(p.waitForStarted(5000));
    p.closeWriteChannel();
    QVERIFY(wait::until([&] { return p.state() == QProcess::NotRunning; }, 20000));
    QCOMPARE(p.exitCode(), 0);
    const QByteArray json = p.readAllStandardOutput();
    // Plain ASCII on the wire: nothing that a terminal takes for a control sequence.
    for (const char c : json)
        QVERIFY2(static_cast<unsigned char>(c) < 0x7F, json.constData());
    QVERIFY2(json.contains("Line\\u00854\\u007f\\u009bx"), json.constData());
    // And still the same text once parsed.
    const QJsonArray units = QJsonDocument::fromJson(json).array();
    QCOMPARE(units.size(), 1);
    QString description;
    for (const QString &key : units.at(0).toObject().keys())
        if (units.at(0).toObject().value(key).toString().startsWith(QStringLiteral("Line")))
            description = units.at(0).toObject().value(key).toString();
    QCOMPARE(description, u.description);
}

QTEST_GUILESS_MAIN(TestCliUnits)
#include "tst_cli_units.moc"
