// The command-line tool against simulated units on loopback.
#include "core/boundedwait.h"
#include "simfleet.h"

#include <QProcess>
#include <QTest>

using namespace vork;

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

// Runs vork without blocking the simulator, which lives in this process.
Run runVork(const QStringList &args, int ms = 20000)
{
    QProcess p;
    p.start(QStringLiteral(VORK_EXE), args);
    Run r;
    if (!p.waitForStarted(5000))
        return r;
    wait::until([&] { return p.state() == QProcess::NotRunning; }, ms);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(2000);
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// Two units on 127.0.11.2 and .3 (UDP and TCP).
class Fleet
{
public:
    Fleet()
    {
        for (int i = 0; i < 2; ++i)
            fleet.add(sim::demoUnit(i, QHostAddress(QStringLiteral("127.0.11.%1").arg(i + 2))));
        QString error;
        started = fleet.start({}, &error);
        if (!started)
            qWarning("%s", qPrintable(error));
    }
    sim::SimFleet fleet;
    bool started = false;
};

} // namespace

class TestVorkCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void discoverListsTheTargets();
    void discoverJsonAndNoneFound();
    void badArguments_data();
    void badArguments();
    void unitCommands_data();
    void unitCommands();
    void eraseRefusedByTheUnit();
    void lateRepliesEndCleanly_data();
    void lateRepliesEndCleanly();
};

void TestVorkCli::discoverListsTheTargets()
{
    Fleet f;
    QVERIFY(f.started);
    const Run r = runVork({QStringLiteral("discover"), QStringLiteral("--to"), QStringLiteral("127.0.11.2"),
                        QStringLiteral("--to"), QStringLiteral("127.0.11.3"), QStringLiteral("--wait"),
                        QStringLiteral("300"), QStringLiteral("--sort"), QStringLiteral("ip")});
    QCOMPARE(r.status, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0).split(QLatin1Char('\t')).at(3), QStringLiteral("127.0.11.2"));
    QCOMPARE(lines.at(1).split(QLatin1Char('\t')).at(3), QStringLiteral("127.0.11.3"));
    QCOMPARE(lines.at(0).split(QLatin1Char('\t')).size(), 12);
}

void TestVorkCli::discoverJsonAndNoneFound()
{
    Fleet f;
    QVERIFY(f.started);
    Run r = runVork({QStringLiteral("discover"), QStringLiteral("--to"), QStringLiteral("127.0.11.3"),
                  QStringLiteral("--wait"), QStringLiteral("300"), QStringLiteral("--json")});
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.contains(QStringLiteral("\"ip\": \"127.0.11.3\"")));
    QVERIFY(r.out.contains(QStringLiteral("\"mac\": \"0050C2000B03\"")));

    // Nobody at that address: the text on stderr, exit 1.
    r = runVork({QStringLiteral("discover"), QStringLiteral("--to"), QStringLiteral("127.0.11.99"), QStringLiteral("--wait"),
              QStringLiteral("200")});
    QCOMPARE(r.status, 1);
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.err.contains(QStringLiteral("No Vork Control Units discovered on the network")));
}

void TestVorkCli::badArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")};
    QTest::newRow("bad target") << QStringList{QStringLiteral("discover"), QStringLiteral("--to"), QStringLiteral("10.0.5")};
    QTest::newRow("bad sort") << QStringList{QStringLiteral("discover"), QStringLiteral("--sort"), QStringLiteral("colour")};
    QTest::newRow("bad wait") << QStringList{QStringLiteral("discover"), QStringLiteral("--wait"), QStringLiteral("0")};
    QTest::newRow("three numbers") << QStringList{QStringLiteral("clock"), QStringLiteral("10.0.5")};
    QTest::newRow("erase what") << QStringList{QStringLiteral("erase"), QStringLiteral("everything"), QStringLiteral("127.0.11.2")};
    QTest::newRow("missing address") << QStringList{QStringLiteral("reboot")};
}

void TestVorkCli::badArguments()
{
    QFETCH(QStringList, args);
    const Run r = runVork(args);
    QCOMPARE(r.status, 2);
    QVERIFY(!r.err.isEmpty());
}

void TestVorkCli::unitCommands_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected"); // a line of stdout
    QTest::addColumn<QByteArray>("commands"); // what the unit received, in order, after the login
    QTest::newRow("version") << QStringList{QStringLiteral("version"), QStringLiteral("127.0.11.2")}
                             << "5.0.1 MAR-07-2019 readers 1 boot loader 1.05" << QByteArray();
    QTest::newRow("clock") << QStringList{QStringLiteral("clock"), QStringLiteral("127.0.11.2")} << ", 20"
                           << QByteArray("STQC");
    QTest::newRow("checksum") << QStringList{QStringLiteral("checksum"), QStringLiteral("--yes"), QStringLiteral("127.0.11.2")}
                              << "RAM program matches FLASH" << QByteArray("XC");
    QTest::newRow("erase history") << QStringList{QStringLiteral("erase"), QStringLiteral("history"), QStringLiteral("--yes"),
                                                  QStringLiteral("127.0.11.2")}
                                   << "Erased history of Vork Unit 127.0.11.2" << QByteArray("ShQC");
}

void TestVorkCli::unitCommands()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    QFETCH(QByteArray, commands);
    Fleet f;
    QVERIFY(f.started);
    const Run r = runVork(args + QStringList{QStringLiteral("--no-ping")}, 90000);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(expected), qPrintable(r.out));
    QByteArray received = f.fleet.server(0).tcp().received();
    if (received.startsWith("KBmPQD"))
        received.remove(0, 6); // the login of a 5.0.1 unit
    QCOMPARE(received, commands);
    QCOMPARE(f.fleet.server(0).tcp().authenticationCount(), commands.isEmpty() ? 0 : 1);
}

void TestVorkCli::eraseRefusedByTheUnit()
{
    Fleet f;
    QVERIFY(f.started);
    sim::SimCommandFaults faults;
    faults.failErase = true;
    f.fleet.server(0).setCommandFaults(faults);
    const Run r = runVork({QStringLiteral("erase"), QStringLiteral("persistent"), QStringLiteral("--yes"),
                        QStringLiteral("--no-ping"), QStringLiteral("127.0.11.2")});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains(QStringLiteral("refused the erase")));
}

void TestVorkCli::lateRepliesEndCleanly_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("answerDelayMs"); // before every answer
    QTest::addColumn<int>("lateBlockMs");   // a block after its ACK
    QTest::addColumn<QString>("error");
    // 'X' acknowledged after the wait gave up, its result 0.3 s later while the tool closes.
    QTest::newRow("checksum") << "checksum" << 5300 << 0 << "Vork Unit 127.0.11.2 did not take the checksum request";
    // The 'T' block comes after the 'Q' and 'C' acknowledgements, the link still open.
    QTest::newRow("clock") << "clock" << 0 << 3500 << "No clock received from Vork Unit 127.0.11.2";
}

void TestVorkCli::lateRepliesEndCleanly()
{
    QFETCH(QString, command);
    QFETCH(int, answerDelayMs);
    QFETCH(int, lateBlockMs);
    QFETCH(QString, error);
    Fleet f;
    QVERIFY(f.started);
    sim::SimCommandFaults faults;
    faults.delayMs = answerDelayMs;
    faults.lateBlockMs = lateBlockMs;
    faults.closeLingerMs = 2500;
    f.fleet.server(0).setCommandFaults(faults);
    const Run r = runVork({command, QStringLiteral("--yes"), QStringLiteral("--no-ping"), QStringLiteral("127.0.11.2")},
                          30000);
    QCOMPARE(r.status, 1); // -1 would be a crash
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    // The late block did go out while the tool was still connected.
    QVERIFY(wait::until([&] { return f.fleet.server(0).tcp().sent().size() > 12; }, 5000));
}

QTEST_GUILESS_MAIN(TestVorkCli)
#include "tst_vorkcli.moc"
