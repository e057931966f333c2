// The vork-sim program as a technician runs it: options, start-up lines,
// answers on loopback, and a clean stop.

#include "simfaulttable.h"
#include "simharness.h"

#include <QProcess>
#include <QTest>

namespace {

constexpr int startTimeoutMs = 5000;

const QString simExe = QStringLiteral(VORK_SIM_EXE);

QByteArray plainQuery()
{
    return QByteArray("SVRK?") + QByteArray(8, '\0');
}

// A running vork-sim whose output is gathered as it comes.
struct Sim
{
    QProcess process;
    QByteArray output;

    void start(const QStringList &args)
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&process, &QProcess::readyRead, &process, [this] { output += process.readAll(); });
        process.start(simExe, args);
    }
    int unitLines() const { return static_cast<int>(output.count("\nunit ") + (output.startsWith("unit ") ? 1 : 0)); }
    ~Sim()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
        }
    }
};

} // namespace

class TestVorkSim : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void badOptions_data();
    void badOptions();
    void helpNamesEveryOption();
    void answersAndStopsOnSigterm();
    void stopsAfterGivenTime();
    void faultFlags_data();
    void faultFlags();
};

void TestVorkSim::badOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    auto row = [](const char *name, QStringList args, const char *message) {
        QTest::newRow(name) << args << QString::fromUtf8(message);
    };
    row("zero units", {QStringLiteral("--units"), QStringLiteral("0")}, "--units takes a number from 1 to 1000");
    row("units not a number", {QStringLiteral("--units"), QStringLiteral("many")}, "--units takes a number");
    row("short 130", {QStringLiteral("--short"), QStringLiteral("130")}, "--short takes a number from 1 to 129");
    row("oversize 130", {QStringLiteral("--oversize"), QStringLiteral("130")}, "--oversize takes a number from 131");
    row("short and oversize", {QStringLiteral("--short"), QStringLiteral("20"), QStringLiteral("--oversize"), QStringLiteral("200")},
        "an answer cannot be short and oversized at once");
    row("bad base", {QStringLiteral("--base"), QStringLiteral("nonsense")}, "not an IPv4 address: nonsense");
    row("shorthand base", {QStringLiteral("--base"), QStringLiteral("127.2")}, "not an IPv4 address: 127.2");
    row("bind-any with many units", {QStringLiteral("--bind-any"), QStringLiteral("--units"), QStringLiteral("2")},
        "--bind-any runs a single unit");
    row("address with units", {QStringLiteral("--address"), QStringLiteral("127.0.0.9"), QStringLiteral("--units"), QStringLiteral("3")},
        "--address runs one generated unit");
    row("config and units", {QStringLiteral("--config"), QStringLiteral("x.json"), QStringLiteral("--units"), QStringLiteral("3")},
        "--units and --config exclude each other");
    row("missing config", {QStringLiteral("--config"), QStringLiteral("/nonexistent/fleet.json")}, "/nonexistent/fleet.json: ");
    row("bad MAC", {QStringLiteral("--units"), QStringLiteral("1"), QStringLiteral("--mac"), QStringLiteral("xyz")},
        "--mac takes 12 hex digits");
    row("desc for many", {QStringLiteral("--units"), QStringLiteral("2"), QStringLiteral("--desc"), QStringLiteral("x")},
        "--desc and --mac name a single unit");
    row("stray argument", {QStringLiteral("stray")}, "unexpected argument stray");
}

void TestVorkSim::badOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QProcess p;
    p.start(simExe, args);
    QVERIFY(p.waitForFinished(startTimeoutMs));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(err.startsWith(QStringLiteral("vork-sim: ") + message), qPrintable(err));
    QVERIFY(p.readAllStandardOutput().isEmpty());
}

void TestVorkSim::helpNamesEveryOption()
{
    QProcess p;
    p.start(simExe, {QStringLiteral("--help")});
    QVERIFY(p.waitForFinished(startTimeoutMs));
    QCOMPARE(p.exitCode(), 0);
    const QByteArray help = p.readAllStandardOutput();
    for (const char *option : {"--config", "--units", "--base", "--address", "--bind-any", "--port", "--desc", "--mac",
                               "--old-firmware", "--short", "--oversize", "--garbage", "--duplicate-mac", "--delay",
                               "--silent", "--for", "--verbose"})
        QVERIFY2(help.contains(option), option);
    // Every fault switch of the table, with its help text.
    for (const vork::sim::FaultSwitch &row : vork::sim::faultSwitches()) {
        QVERIFY2(help.contains(QByteArray(QByteArray("--") + row.flag)), row.flag);
        QVERIFY2(help.simplified().contains(vork::sim::faultHelp(row).toLocal8Bit().left(30)), row.flag);
    }
}

void TestVorkSim::answersAndStopsOnSigterm()
{
    Sim sim;
    sim.start({QStringLiteral("--base"), QStringLiteral("127.0.31.40"), QStringLiteral("--units"), QStringLiteral("2"),
               QStringLiteral("--verbose"), QStringLiteral("--for"), QStringLiteral("60")});
    QTRY_COMPARE_WITH_TIMEOUT(sim.unitLines(), 2, startTimeoutMs);
    QVERIFY2(sim.output.startsWith("unit 127.0.31.40 MAC 0050C2001F28 desc \"Line 1 Infeed\" version 5.0.1"),
             sim.output.constData());
    QVERIFY2(sim.output.contains("\nunit 127.0.31.41 MAC 0050C2001F29 desc \"Line 1 Outfeed\" version 5.0.3"),
             sim.output.constData());

    AnswerCollector client;
    QVERIFY(client.open());
    client.send(plainQuery(), QHostAddress(QStringLiteral("127.0.31.40")));
    client.send(plainQuery(), QHostAddress(QStringLiteral("127.0.31.41")));
    QTRY_COMPARE_WITH_TIMEOUT(client.answers.size(), 2, startTimeoutMs);
    for (const auto &a : std::as_const(client.answers)) {
        QCOMPARE(a.bytes.size(), 130);
        QCOMPARE(a.bytes.mid(72, 11), a.from.toString().toLatin1());
    }
    const QByteArray heard = "127.0.31.40 <- 127.0.0.1:" + QByteArray::number(client.socket.localPort())
                             + " 13 bytes: 53 56 52 4b 3f 00";
    QTRY_VERIFY2_WITH_TIMEOUT(sim.output.contains(heard), sim.output.constData(), startTimeoutMs);

    sim.process.terminate();
    QVERIFY(sim.process.waitForFinished(startTimeoutMs));
    sim.output += sim.process.readAll();
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
    QVERIFY2(sim.output.endsWith("stopped\n"), sim.output.constData());
}

void TestVorkSim::stopsAfterGivenTime()
{
    Sim sim;
    sim.start({QStringLiteral("--address"), QStringLiteral("127.0.31.50"), QStringLiteral("--for"), QStringLiteral("1")});
    QVERIFY(sim.process.waitForFinished(startTimeoutMs));
    sim.output += sim.process.readAll();
    QCOMPARE(sim.process.exitCode(), 0);
    QCOMPARE(sim.unitLines(), 1);
    QVERIFY2(sim.output.endsWith("stopped\n"), sim.output.constData());
}

void TestVorkSim::faultFlags_data()
{
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<QList<int>>("sizes");
    QTest::newRow("old firmware") << QStringList{QStringLiteral("--old-firmware")} << QList<int>{109};
    QTest::newRow("short") << QStringList{QStringLiteral("--short"), QStringLiteral("40")} << QList<int>{40};
    QTest::newRow("oversize") << QStringList{QStringLiteral("--oversize"), QStringLiteral("1200")} << QList<int>{1200};
    QTest::newRow("garbage") << QStringList{QStringLiteral("--garbage"), QStringLiteral("33")} << QList<int>{33};
    QTest::newRow("duplicate MAC, old firmware")
        << QStringList{QStringLiteral("--duplicate-mac"), QStringLiteral("--old-firmware")} << QList<int>{109, 109};
    QTest::newRow("silent") << QStringList{QStringLiteral("--silent")} << QList<int>{};
}

void TestVorkSim::faultFlags()
{
    QFETCH(QStringList, flags);
    QFETCH(QList<int>, sizes);
    Sim sim;
    sim.start(QStringList{QStringLiteral("--address"), QStringLiteral("127.0.31.60"), QStringLiteral("--verbose"),
                          QStringLiteral("--for"), QStringLiteral("30")}
              + flags);
    QTRY_COMPARE_WITH_TIMEOUT(sim.unitLines(), 1, startTimeoutMs);

    AnswerCollector client;
    QVERIFY(client.open());
    client.send(plainQuery(), QHostAddress(QStringLiteral("127.0.31.60")));
    // The verbose line shows the query arrived; answers are sent right after it.
    QTRY_VERIFY_WITH_TIMEOUT(sim.output.contains("127.0.31.60 <- "), startTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(client.answers.size(), sizes.size(), startTimeoutMs);
    QTest::qWait(150);
    QCOMPARE(client.answers.size(), sizes.size());
    for (qsizetype i = 0; i < sizes.size(); ++i)
        QCOMPARE(client.answers.at(i).bytes.size(), sizes.at(i));
    if (sizes.size() == 2)
        QVERIFY(client.answers.at(0).bytes.mid(87, 12) != client.answers.at(1).bytes.mid(87, 12));
}

QTEST_GUILESS_MAIN(TestVorkSim)
#include "tst_vorksim.moc"
