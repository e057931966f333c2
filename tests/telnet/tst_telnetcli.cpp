// "vork telnet" against the simulator's telnet console on 127.0.71.x: answers
// printed, refused logins, silent units, late answers, bad arguments.

#include "texts.h"
#include "core/boundedwait.h"
#include "simfleet.h"
#include "simunitserver.h"
#include "tools/telnetlogin.h"

#include <QFile>
#include <QTemporaryDir>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace vork;

namespace {

const QString unitIp = QStringLiteral("127.0.71.20");
constexpr quint16 port = 2323;

struct Result
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// Runs vork while the simulator in this process keeps answering.
Result runVork(const QStringList &args, int limitMs = 30000)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral(VORK_EXE), args);
    Result r;
    if (!wait::until([&] { return p.state() == QProcess::NotRunning; }, limitMs)) {
        p.kill();
        p.waitForFinished(2000);
        r.err = "vork did not finish in time";
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

sim::SimUnitServer::Options simOptions()
{
    sim::SimUnitServer::Options o;
    o.port = 43712;
    o.tcp = false;
    o.telnetPort = port;
    return o;
}

} // namespace

class TstTelnetCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void commands_data();
    void commands();
    void refusedLogin();
    void silentUnit();
    void lateAnswer();
    void badArguments_data();
    void badArguments();
    void helpNamesTelnet();
    void interactiveConsole();
    void passwordFromFile();
    void hangUpAfterExitIsNoError();
    void floodBeforeTheLogin_data();
    void floodBeforeTheLogin();
};

void TstTelnetCli::commands_data()
{
    QTest::addColumn<QStringList>("commandArgs");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QList<QByteArray>>("recorded");

    QTest::newRow("one command") << texts({"version"}) << QByteArray("Vork firmware 5.0.1\n")
                                 << QList<QByteArray>{"version", "exit"};
    QTest::newRow("two commands, in order")
        << texts({"reAccess", "version"}) << QByteArray("Access port processes restarted\nVork firmware 5.0.1\n")
        << QList<QByteArray>{"reAccess", "version", "exit"};
    // The unit's own text is printed escaped: a backslash doubled.
    QTest::newRow("unit text escaped") << texts({"a\\b"}) << QByteArray("Unknown command: a\\\\b\n")
                                       << QList<QByteArray>{"a\\b", "exit"};
    QTest::newRow("exit ends the session") << texts({"exit"}) << QByteArray("Goodbye\n") << QList<QByteArray>{"exit"};
}

void TstTelnetCli::commands()
{
    QFETCH(QStringList, commandArgs);
    QFETCH(QByteArray, out);
    QFETCH(QList<QByteArray>, recorded);
    sim::SimFleet fleet;
    fleet.add(sim::demoUnit(0, QHostAddress(unitIp)));
    QString why;
    QVERIFY2(fleet.start(simOptions(), &why), qPrintable(why));
    const Result r = runVork(QStringList{QStringLiteral("telnet"), unitIp, QStringLiteral("--port"),
                                         QString::number(port)}
                             + commandArgs);
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, out);
    QVERIFY(wait::until([&] { return fleet.server(0).telnet().commands() == recorded; }, 3000));
    QCOMPARE(fleet.server(0).telnet().users(), QList<QByteArray>{"kivo"});
}

void TstTelnetCli::refusedLogin()
{
    sim::SimUnit unit = sim::demoUnit(0, QHostAddress(unitIp));
    unit.telnet.refuseLogin = true;
    sim::SimFleet fleet;
    fleet.add(unit);
    QString why;
    QVERIFY2(fleet.start(simOptions(), &why), qPrintable(why));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("pw"));
    QVERIFY(writeFile(file, "x\n"));
    const Result r = runVork(texts({"telnet", "127.0.71.20", "--port", "2323", "--user", "op", "--password-file"})
                             + QStringList{file, QStringLiteral("version")});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QByteArray("vork telnet: 127.0.71.20:2323 refused the login (\"Login Incorrect\")\n"));
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(fleet.server(0).telnet().users(), QList<QByteArray>{"op"});
    QVERIFY(fleet.server(0).telnet().commands().isEmpty());
}

void TstTelnetCli::silentUnit()
{
    sim::SimUnit unit = sim::demoUnit(0, QHostAddress(unitIp));
    unit.telnet.silent = true;
    sim::SimFleet fleet;
    fleet.add(unit);
    QString why;
    QVERIFY2(fleet.start(simOptions(), &why), qPrintable(why));
    const Result r = runVork(texts({"telnet", "127.0.71.20", "--port", "2323", "--timeout", "400", "version"}));
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QByteArray("vork telnet: 127.0.71.20:2323 gave no \"Login :\" prompt\n"));
}

void TstTelnetCli::lateAnswer()
{
    // A peer that logs in at once but answers the command only after vork gave up on it.
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress(QStringLiteral("127.0.71.21")), port));
    QByteArray got;
    QTcpSocket *client = nullptr;
    connect(&peer, &QTcpServer::newConnection, this, [&] {
        client = peer.nextPendingConnection();
        client->write("\r\nLogin : ");
        connect(client, &QTcpSocket::readyRead, this, [&] {
            got += client->readAll();
            if (got.endsWith("kivo\r"))
                client->write("\r\nPassword:");
            else if (got.endsWith("dulm\r"))
                client->write("\r\n[BRIVELLa]>");
            else if (got.endsWith("version\r"))
                QTimer::singleShot(1500, client, [&] { client->write("\r\nVork firmware 9.9.9\r\n[BRIVELLa]>"); });
        });
    });
    const Result r = runVork(texts({"telnet", "127.0.71.21", "--port", "2323", "--timeout", "600", "version"}));
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QByteArray("vork telnet: 127.0.71.21:2323 gave no answer within 600 ms to \"version\"\n"));
    QVERIFY(!r.out.contains("9.9.9"));
}

void TstTelnetCli::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("err");

    QTest::newRow("no address") << texts({"telnet"}) << 2 << QByteArray("vork telnet: expected ADDRESS\n");
    QTest::newRow("bad address") << texts({"telnet", "10.0.5", "version"}) << 2
                                 << QByteArray("Invalid IP address entered: '10.0.5'\n");
    QTest::newRow("bad port") << texts({"telnet", "127.0.71.20", "--port", "70000", "version"}) << 2
                              << QByteArray("vork telnet: --port must be 1..65535\n");
    QTest::newRow("empty user") << texts({"telnet", "127.0.71.20", "--user", "", "version"}) << 2
                                << QByteArray("Invalid User Name or Password\n");
    // stdin is the null device here: no console without commands.
    QTest::newRow("no command, no terminal")
        << texts({"telnet", "127.0.71.20"}) << 2
        << QByteArray("vork telnet: no COMMAND given and stdin is not a terminal; give the commands to run\n");
    // One argument is one command: a line end inside it would type a second one.
    QTest::newRow("carriage return in a command")
        << texts({"telnet", "127.0.71.20", "--port", "2323", "version", "ver\rrestart"}) << 2
        << QByteArray("vork telnet: the command \"ver\\x0drestart\" holds a control character; give each "
                      "command as an argument of its own\n");
    QTest::newRow("line feed in a command")
        << texts({"telnet", "127.0.71.20", "--port", "2323", "ver\nrestart"}) << 2
        << QByteArray("vork telnet: the command \"ver\\x0arestart\" holds a control character; give each "
                      "command as an argument of its own\n");
    QTest::newRow("C1 control in a command")
        << QStringList{QStringLiteral("telnet"), QStringLiteral("127.0.71.20"), QStringLiteral("ver") + QChar(0x85)}
        << 2
        << QByteArray("vork telnet: the command \"ver\\x85\" holds a control character; give each "
                      "command as an argument of its own\n");
    // Another user's password never defaults to the built-in one.
    QTest::newRow("user without a password")
        << texts({"telnet", "127.0.71.20", "--user", "op", "version"}) << 2
        << QByteArray("vork telnet: no password: give --password-file FILE, or --ask-password at a terminal\n");
    QTest::newRow("password prompt without a terminal")
        << texts({"telnet", "127.0.71.20", "--ask-password", "version"}) << 2
        << QByteArray("vork telnet: no password: give --password-file FILE, or --ask-password at a terminal\n");
    QTest::newRow("password file missing")
        << texts({"telnet", "127.0.71.20", "--password-file", "/nonexistent/pw", "version"}) << 3
        << QByteArray("vork telnet: cannot read the password file /nonexistent/pw: No such file or directory\n");
    QTest::newRow("nothing listens") << texts({"telnet", "127.0.71.29", "--port", "2323", "version"}) << 1
                                     << QByteArray("vork telnet: cannot connect to 127.0.71.29:2323 (socket error 0)\n");
}

void TstTelnetCli::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QByteArray, err);
    const Result r = runVork(arguments);
    QCOMPARE(r.err, err);
    QCOMPARE(r.code, code);
    QCOMPARE(r.out, QByteArray());
}

void TstTelnetCli::helpNamesTelnet()
{
    const Result r = runVork(texts({"help"}));
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.contains("  telnet ADDRESS [COMMAND...]"));
    const Result h = runVork(texts({"telnet", "--help"}));
    QCOMPARE(h.code, 0);
    QVERIFY(h.out.contains("--password-file"));
    QVERIFY(h.out.contains("--ask-password"));
    QVERIFY(h.out.contains("Exit status:"));
    // The built-in password is the unit's secret, not help text.
    QVERIFY2(!h.out.contains(TelnetLogin::builtInPassword().toLatin1()), h.out.constData());
}

void TstTelnetCli::interactiveConsole()
{
    // The console wants a terminal on stdin: script(1) lends it one.
    const QString script = QStringLiteral("/usr/bin/script");
    if (!QFile::exists(script))
        QSKIP("no /usr/bin/script (util-linux): no terminal to run the console in");
    sim::SimFleet fleet;
    fleet.add(sim::demoUnit(0, QHostAddress(unitIp)));
    QString why;
    QVERIFY2(fleet.start(simOptions(), &why), qPrintable(why));
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(script, {QStringLiteral("-qfec"),
                     QStringLiteral(VORK_EXE " telnet ") + unitIp + QStringLiteral(" --port ") + QString::number(port),
                     QStringLiteral("/dev/null")});
    QByteArray seen;
    connect(&p, &QProcess::readyRead, this, [&] { seen += p.readAll(); });
    const auto waitSeen = [&](const QByteArray &text) { return wait::until([&] { return seen.contains(text); }, 8000); };
    QVERIFY2(waitSeen("[BRIVELLa]>"), seen.constData());
    p.write("version\n");
    QVERIFY2(waitSeen("Vork firmware 5.0.1"), seen.constData());
    p.write("exit\n");
    QVERIFY2(waitSeen("Goodbye"), seen.constData());
    if (!wait::until([&] { return p.state() == QProcess::NotRunning; }, 5000)) {
        p.kill();
        p.waitForFinished(1000);
        QFAIL("the console did not end when the unit hung up");
    }
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(fleet.server(0).telnet().commands(), (QList<QByteArray>{"version", "exit"}));
}

void TstTelnetCli::passwordFromFile()
{
    sim::SimUnit unit = sim::demoUnit(0, QHostAddress(unitIp));
    unit.telnet.user = "op";
    unit.telnet.password = "s3cret";
    sim::SimFleet fleet;
    fleet.add(unit);
    QString why;
    QVERIFY2(fleet.start(simOptions(), &why), qPrintable(why));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("pw"));
    QVERIFY(writeFile(file, "s3cret\r\nnot this line\n"));
    const Result r = runVork(texts({"telnet", "127.0.71.20", "--port", "2323", "--user", "op", "--password-file"})
                             + QStringList{file, QStringLiteral("version")});
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray("Vork firmware 5.0.1\n"));
    QCOMPARE(fleet.server(0).telnet().users(), QList<QByteArray>{"op"});
}

void TstTelnetCli::hangUpAfterExitIsNoError()
{
    // The unit closing the link after "exit" ends the session the normal way.
    sim::SimFleet fleet;
    fleet.add(sim::demoUnit(0, QHostAddress(unitIp)));
    QString why;
    QVERIFY2(fleet.start(simOptions(), &why), qPrintable(why));
    for (const QStringList &commands : {texts({"exit"}), texts({"version"})}) {
        const Result r = runVork(texts({"telnet", "127.0.71.20", "--port", "2323", "--verbose"}) + commands);
        QCOMPARE(r.code, 0);
        QVERIFY2(r.err.contains("Telnet Connection to 127.0.71.20"), r.err.constData());
        QVERIFY2(!r.err.contains("Socket Error"), r.err.constData());
    }
}

void TstTelnetCli::floodBeforeTheLogin_data()
{
    QTest::addColumn<int>("floodBytes");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("a banner") << 2000 << QByteArray();
    QTest::newRow("a flood") << 8 * 1024 * 1024
                             << QByteArray("vork telnet: 127.0.71.22:2323 sent more than 65536 bytes without a "
                                           "\"Login :\" prompt\n");
}

void TstTelnetCli::floodBeforeTheLogin()
{
    QFETCH(int, floodBytes);
    QFETCH(QByteArray, err);
    // A peer that talks before its login prompt, then logs in and answers like a unit.
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress(QStringLiteral("127.0.71.22")), port));
    QByteArray got;
    QTcpSocket *client = nullptr;
    connect(&peer, &QTcpServer::newConnection, this, [&] {
        client = peer.nextPendingConnection();
        QByteArray line(78, 'x');
        line += "\r\n";
        QByteArray banner;
        while (banner.size() < floodBytes)
            banner += line;
        client->write(banner);
        client->write("\r\nLogin : ");
        connect(client, &QTcpSocket::readyRead, this, [&] {
            got += client->readAll();
            if (got.endsWith("kivo\r"))
                client->write("\r\nPassword:");
            else if (got.endsWith("dulm\r"))
                client->write("\r\n[BRIVELLa]>");
            else if (got.endsWith("version\r"))
                client->write("version\r\nVork firmware 9.9.9\r\n[BRIVELLa]>");
        });
    });
    const Result r = runVork(texts({"telnet", "127.0.71.22", "--port", "2323", "version"}));
    QCOMPARE(r.err, err);
    QCOMPARE(r.code, err.isEmpty() ? 0 : 1);
    QCOMPARE(r.out, err.isEmpty() ? QByteArray("Vork firmware 9.9.9\n") : QByteArray());
    if (!err.isEmpty())
        QVERIFY(!got.contains("dulm")); // nothing typed to a unit that would not stop
}

QTEST_GUILESS_MAIN(TstTelnetCli)
#include "tst_telnetcli.moc"
