// Close signals: SIGTERM, SIGINT and SIGHUP close the program once, in the
// plumbing and in the real program.
#include "core/closesignals.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <signal.h>
#include <unistd.h>

using namespace vork;

namespace {

// Whether process pid has a handler for signo: it is ready for the signal.
bool catches(qint64 pid, int signo)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (!line.startsWith("SigCgt:"))
            continue;
        bool ok = false;
        const qulonglong mask = line.mid(7).trimmed().toULongLong(&ok, 16);
        return ok && (mask >> (signo - 1)) & 1u;
    }
    return false;
}

// Lets the event loop run for ms, so a stray emission would show.
void settle(int ms)
{
    QTest::qWait(ms);
}

} // namespace

class TestCloseSignals : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void eachSignalRequestsCloseOnce_data();
    void eachSignalRequestsCloseOnce();
    void signalBeforeArmWaits();
    void oneInstanceAtATime();
    void previousHandlerComesBack();
    void programClosesOnSignal_data();
    void programClosesOnSignal();
};

void TestCloseSignals::eachSignalRequestsCloseOnce_data()
{
    QTest::addColumn<int>("signo");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestCloseSignals::eachSignalRequestsCloseOnce()
{
    QFETCH(int, signo);
    CloseSignals signals;
    QVERIFY2(signals.isInstalled(), qPrintable(signals.error()));
    QSignalSpy spy(&signals, &CloseSignals::closeRequested);
    signals.arm();
    QVERIFY(::raise(signo) == 0); // handled: the test goes on
    QVERIFY(spy.wait(2000));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toInt(), signo);
    QVERIFY(!signals.isArmed());

    // While closing, more signals do nothing, then or later.
    QVERIFY(::raise(signo) == 0);
    QVERIFY(::raise(SIGTERM) == 0);
    settle(200);
    QCOMPARE(spy.count(), 1);
    signals.arm();
    settle(200);
    QCOMPARE(spy.count(), 1);

    // Armed again (the close was refused): the next signal counts.
    QVERIFY(::raise(signo) == 0);
    QVERIFY(spy.wait(2000));
    QCOMPARE(spy.count(), 2);
}

void TestCloseSignals::signalBeforeArmWaits()
{
    // A signal while the window is still being built is not lost.
    CloseSignals signals;
    QVERIFY(signals.isInstalled());
    QSignalSpy spy(&signals, &CloseSignals::closeRequested);
    QVERIFY(::raise(SIGHUP) == 0);
    settle(200);
    QCOMPARE(spy.count(), 0);
    signals.arm();
    QVERIFY(spy.wait(2000));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toInt(), int(SIGHUP));
}

void TestCloseSignals::oneInstanceAtATime()
{
    CloseSignals first;
    QVERIFY(first.isInstalled());
    {
        CloseSignals second;
        QVERIFY(!second.isInstalled());
        QCOMPARE(second.error(), QStringLiteral("close signals are taken already"));
        second.arm(); // harmless
    }
    // The first still works.
    QSignalSpy spy(&first, &CloseSignals::closeRequested);
    first.arm();
    QVERIFY(::raise(SIGINT) == 0);
    QVERIFY(spy.wait(2000));
}

namespace {
volatile std::sig_atomic_t ownHandlerRan = 0;
extern "C" void ownHandler(int)
{
    ownHandlerRan = 1;
}
} // namespace

void TestCloseSignals::previousHandlerComesBack()
{
    struct sigaction own = {};
    own.sa_handler = ownHandler;
    sigemptyset(&own.sa_mask);
    struct sigaction before = {};
    QVERIFY(::sigaction(SIGHUP, &own, &before) == 0);
    {
        CloseSignals signals;
        QVERIFY(signals.isInstalled());
        QVERIFY(::raise(SIGHUP) == 0);
        QCOMPARE(int(ownHandlerRan), 0);
    }
    QVERIFY(::raise(SIGHUP) == 0);
    QCOMPARE(int(ownHandlerRan), 1);
    ::sigaction(SIGHUP, &before, nullptr);
    // And a new instance can be made.
    CloseSignals again;
    QVERIFY(again.isInstalled());
}

void TestCloseSignals::programClosesOnSignal_data()
{
    QTest::addColumn<int>("signo");
    QTest::addColumn<int>("afterMs"); // after the handler is in place
    QTest::addColumn<int>("count");
    QTest::newRow("SIGTERM while starting") << int(SIGTERM) << 0 << 1;
    QTest::newRow("SIGTERM with the window up") << int(SIGTERM) << 3000 << 1;
    QTest::newRow("SIGINT twice") << int(SIGINT) << 3000 << 2;
    QTest::newRow("SIGHUP") << int(SIGHUP) << 3000 << 1;
}

void TestCloseSignals::programClosesOnSignal()
{
    QFETCH(int, signo);
    QFETCH(int, afterMs);
    QFETCH(int, count);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Vork.ini"));
    // The exit write keeps [SORT] as spelled and drops the obsolete section.
    const QByteArray before("[SORT]\r\ntype=3\r\n\r\n[UDPmasks]\r\nm1=255.0.0.0\r\n");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(BRIVELLA_EXE), {QStringLiteral("--settings"), path});
    QVERIFY2(p.waitForStarted(10000), qPrintable(p.errorString()));
    QElapsedTimer up;
    up.start();
    while (!catches(p.processId(), signo) && up.elapsed() < 30000 && p.state() == QProcess::Running)
        QTest::qWait(20);
    QVERIFY2(catches(p.processId(), signo), "the program never took the signal over");
    QCOMPARE(QFile(path).size(), before.size()); // nothing written yet
    QTest::qWait(afterMs);
    for (int i = 0; i < count; ++i)
        QVERIFY(::kill(pid_t(p.processId()), signo) == 0);
    QVERIFY2(p.waitForFinished(30000), "the program did not end");
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);

    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray after = f.readAll();
    QVERIFY2(after.startsWith("[SORT]\r\ntype=3\r\n"), after.left(200).constData());
    QVERIFY(!after.contains("UDPmasks"));
    QVERIFY(after.contains("[UDP]\r\nLocalPort=0\r\nWait=500\r\n"));
    QVERIFY(!QFile::exists(path + QStringLiteral(".new")));
}

QTEST_GUILESS_MAIN(TestCloseSignals)
#include "tst_closesignals.moc"
