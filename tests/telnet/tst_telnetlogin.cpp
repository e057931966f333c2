// Login automation of the "Manual " page against the simulator's telnet console
// and scripted peers on 127.0.71.x; the page's widgets; a real telnet client
// against the simulator; how the system telnet client would be started.

#include "texts.h"
#include "recordingoperator.h"

#include "core/boundedwait.h"
#include "core/pinger.h"
#include "simfleet.h"
#include "simunitserver.h"
#include "tools/pingtool.h"
#include "tools/systemtelnet.h"
#include "tools/telnetlogin.h"
#include "tools/ui/manualtelnetpage.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace vork;

namespace {

const QString unitIp = QStringLiteral("127.0.71.2");
const QString peerIp = QStringLiteral("127.0.71.3");
constexpr quint16 port = 2323;

class Reachable : public Pinger
{
public:
    bool ping(const QString &, int, bool) override
    {
        ++pings;
        return answer;
    }
    bool answer = true;
    int pings = 0;
};

sim::SimUnitServer::Options simOptions()
{
    sim::SimUnitServer::Options o;
    o.port = 43711;
    o.tcp = false;
    o.telnetPort = port;
    return o;
}

// A peer that says what the test tells it and records what it gets.
class ScriptedPeer : public QObject
{
public:
    bool listen() { return server.listen(QHostAddress(peerIp), port); }
    ScriptedPeer()
    {
        connect(&server, &QTcpServer::newConnection, this, [this] {
            client = server.nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, this, [this] { received += client->readAll(); });
            if (!greeting.isEmpty())
                client->write(greeting);
        });
    }
    void say(const QByteArray &bytes)
    {
        if (client)
            client->write(bytes);
    }
    QTcpServer server;
    QPointer<QTcpSocket> client;
    QByteArray greeting;
    QByteArray received;
};

struct Login
{
    RecordingOperator op;
    Reachable pinger;
    PingTool ping{op, pinger};
    TelnetLogin login{op, ping};

    Login() { login.setPort(port); }
    // Fields filled, pinged, "Connect ?" pressed.
    void connectTo(const QString &ip, const QString &user = TelnetLogin::builtInUser(),
                   const QString &password = TelnetLogin::builtInPassword())
    {
        login.setAddress(ip);
        login.setUserName(user);
        login.setPassword(password);
        login.pressPing();
        login.pressConnect();
    }
    bool waitLoggedIn() { return wait::until([this] { return login.accessEnabled(); }, 5000); }
    bool waitClosed()
    {
        return wait::until([this] { return !login.session().isOpenOrOpening(); }, 5000);
    }
};

} // namespace

class TstTelnetLogin : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void maintenanceCommands_data();
    void maintenanceCommands();
    void loginIncorrect();
    void emptyFields_data();
    void emptyFields();
    void promptChunks_data();
    void promptChunks();
    void reAccessSequence();
    void reAccessGivesUpOnSilentUnit();
    void reAccessGivesUpWithoutPing();
    void lateLoginAfterGivingUp();
    void linkDroppedMidCommand();
    void refusedConnectionIsALogLine();
    void manualPage();
    void realTelnetClient();
    void systemTelnet_data();
    void systemTelnet();
};

void TstTelnetLogin::maintenanceCommands_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<QStringList>("logs");

    // The unit's prompt after "reAccess" reads as a login again, as every prompt does.
    QTest::newRow("Access") << QStringLiteral("Access") << QByteArray("kivo\rdulm\rreAccess\rexit\r")
                            << QList<QByteArray>{"reAccess", "exit"}
                            << texts({"Telnet Connection to 127.0.71.2", "Telnet Connection to 127.0.71.2",
                                      "Telnet Disconnected from 127.0.71.2"});
    QTest::newRow("Exit") << QStringLiteral("Exit") << QByteArray("kivo\rdulm\rexit\r") << QList<QByteArray>{"exit"}
                          << texts({"Telnet Connection to 127.0.71.2", "Telnet Disconnected from 127.0.71.2"});
    QTest::newRow("Restart") << QStringLiteral("Restart") << QByteArray("kivo\rdulm\rrestart\r")
                             << QList<QByteArray>{"restart"}
                             << texts({"Telnet Connection to 127.0.71.2", "Telnet Disconnected from 127.0.71.2"});
}

void TstTelnetLogin::maintenanceCommands()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, commands);
    QFETCH(QStringList, logs);
    sim::SimFleet fleet;
    fleet.add(sim::demoUnit(0, QHostAddress(unitIp)));
    QString why;
    QVERIFY2(fleet.start(simOptions(), &why), qPrintable(why));
    Login l;
    QVERIFY(!l.login.accessEnabled() && !l.login.exitEnabled() && !l.login.restartEnabled());
    QSignalSpy focusAccess(&l.login, &TelnetLogin::focusAccess);
    l.connectTo(unitIp);
    QVERIFY(l.waitLoggedIn());
    QVERIFY(l.login.exitEnabled() && l.login.restartEnabled());
    QCOMPARE(focusAccess.size(), 1);
    QCOMPARE(l.op.logs, texts({"Telnet Connection to 127.0.71.2"}));

    QElapsedTimer typing;
    typing.start();
    if (button == QStringLiteral("Access"))
        l.login.pressAccess();
    else if (button == QStringLiteral("Exit"))
        l.login.pressExit();
    else
        l.login.pressRestart();
    // One character per 100 ms: the command is typed out, not sent in one go.
    QVERIFY(typing.elapsed() >= 100 * (bytes.size() - 10 - 2));
    QVERIFY(l.waitClosed());
    sim::SimTelnetServer &t = fleet.server(0).telnet();
    QCOMPARE(t.receivedData(), bytes);
    QCOMPARE(t.commands(), commands);
    QCOMPARE(t.users(), QList<QByteArray>{"kivo"});
    QVERIFY(wait::until([&] { return l.op.logs.size() >= logs.size(); }, 2000));
    QCOMPARE(l.op.logs, logs);
    QVERIFY(!l.login.accessEnabled() && !l.login.exitEnabled() && !l.login.restartEnabled());
}

void TstTelnetLogin::loginIncorrect()
{
    sim::SimUnit unit = sim::demoUnit(0, QHostAddress(unitIp));
    unit.telnet.refuseLogin = true;
    sim::SimFleet fleet;
    fleet.add(unit);
    QString why;
    QVERIFY2(fleet.start(simOptions(), &why), qPrintable(why));
    Login l;
    l.connectTo(unitIp);
    QVERIFY(l.waitClosed());
    QVERIFY(l.op.logs.contains(QStringLiteral("Invalid User Name or Password Entered")));
    QVERIFY(!l.op.logs.contains(QStringLiteral("Telnet Connection to 127.0.71.2")));
    QVERIFY(!l.login.accessEnabled());
    QCOMPARE(fleet.server(0).telnet().loginsRefused(), 1);
    QVERIFY(fleet.server(0).telnet().commands().isEmpty());
}

void TstTelnetLogin::emptyFields_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::newRow("no user name") << QString() << QStringLiteral("dulm");
    QTest::newRow("no password") << QStringLiteral("kivo") << QString();
    QTest::newRow("neither") << QString() << QString();
}

void TstTelnetLogin::emptyFields()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    ScriptedPeer peer;
    QVERIFY(peer.listen());
    Login l;
    QSignalSpy focusUser(&l.login, &TelnetLogin::focusUserName);
    l.connectTo(peerIp, user, password);
    QCOMPARE(l.op.logs, texts({"Invalid User Name or Password"}));
    QCOMPARE(focusUser.size(), 1);
    QVERIFY(!l.login.session().isOpenOrOpening());
    wait::delay(100);
    QVERIFY(!peer.client);
}

void TstTelnetLogin::promptChunks_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QStringList>("logs");

    QTest::newRow("both prompts in one chunk: user name first")
        << QList<QByteArray>{"\r\nLogin : Password:"} << QByteArray("op\rpw1\r") << QStringList();
    QTest::newRow("prompt without line feed ignored") << QList<QByteArray>{"Login : "} << QByteArray() << QStringList();
    QTest::newRow("prompt split over two chunks: neither holds it whole")
        << QList<QByteArray>{"\r\nLog", "in : "} << QByteArray() << QStringList();
    QTest::newRow("prompts in turn") << QList<QByteArray>{"\r\nLogin : ", "\r\nPassword:"} << QByteArray("op\rpw1\r")
                                     << QStringList();
    QTest::newRow("control bytes inside the prompt are filtered out")
        << QList<QByteArray>{QByteArray("\r\nLog\x01in : \x02", 13)} << QByteArray("op\r") << QStringList();
    QTest::newRow("doubled command prompt is one login")
        << QList<QByteArray>{"\r\n[BRIVELLa]>\r\n[BRIVELLa]>"} << QByteArray()
        << texts({"Telnet Connection to 127.0.71.3"});
    QTest::newRow("Login Incorrect closes") << QList<QByteArray>{"\r\nLogin Incorrect\r\n"} << QByteArray()
                                            << texts({"Invalid User Name or Password Entered",
                                                      "Telnet Disconnected from 127.0.71.3"});
}

void TstTelnetLogin::promptChunks()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, typed);
    QFETCH(QStringList, logs);
    ScriptedPeer peer;
    QVERIFY(peer.listen());
    Login l;
    l.connectTo(peerIp, QStringLiteral("op"), QStringLiteral("pw1"));
    QVERIFY(wait::until([&] { return !peer.client.isNull(); }, 3000));
    QVERIFY(wait::until([&] { return l.login.session().isConnected(); }, 3000));
    for (const QByteArray &chunk : chunks) {
        peer.say(chunk);
        // Each chunk its own read: wait until it was read.
        QVERIFY(wait::until([&] { return l.login.lastChunk() == chunk; }, 3000));
    }
    if (!typed.isEmpty())
        wait::until([&] { return peer.received.size() >= typed.size(); }, 3000);
    wait::delay(300); // room for anything that should not come
    QCOMPARE(peer.received, typed);
    QCOMPARE(l.op.logs, logs);
}

void TstTelnetLogin::reAccessSequence()
{
    sim::SimFleet fleet;
    fleet.add(sim::demoUnit(0, QHostAddress(unitIp)));
    QString why;
    QVERIFY2(fleet.start(simOptions(), &why), qPrintable(why));
    Login l;
    QVERIFY(!l.login.reAccessEnabled());
    QCOMPARE(TelnetLogin::reAccessHint(l.login.lastConnectedIP()),
             QStringLiteral("Restart Access Port Processes for last connected Vork Unit"));
    l.login.pressReAccess(); // nothing to do without a last unit
    QVERIFY(l.op.logs.isEmpty());
    l.login.setLastConnectedIP(unitIp);
    QVERIFY(l.login.reAccessEnabled());
    QCOMPARE(TelnetLogin::reAccessHint(l.login.lastConnectedIP()),
             QStringLiteral("Restart Access Port Processes for 127.0.71.2"));

    QSignalSpy fields(&l.login, &TelnetLogin::fieldsChanged);
    QString seenAddress, seenUser, seenPassword;
    connect(&l.login, &TelnetLogin::fieldsChanged, this, [&] {
        if (seenAddress.isEmpty()) {
            seenAddress = l.login.address();
            seenUser = l.login.userName();
            seenPassword = l.login.password();
        }
    });
    l.login.pressReAccess();
    QCOMPARE(seenAddress, unitIp);
    QCOMPARE(seenUser, QStringLiteral("kivo"));
    QCOMPARE(seenPassword, QStringLiteral("dulm"));
    QCOMPARE(fields.size(), 2);
    QCOMPARE(l.login.address(), QString());
    QCOMPARE(l.login.userName(), QString());
    QCOMPARE(l.login.password(), QString());
    QCOMPARE(l.op.busyDepth, 0);
    QCOMPARE(l.op.logs.value(0), QStringLiteral("ReAccess Sequence Started"));
    QCOMPARE(l.op.logs.value(1), QStringLiteral("Telnet Connection to 127.0.71.2"));
    QVERIFY(wait::until([&] { return fleet.server(0).telnet().commands().size() == 2; }, 3000));
    QCOMPARE(fleet.server(0).telnet().receivedData(), QByteArray("kivo\rdulm\rreAccess\rexit\r"));
}

void TstTelnetLogin::reAccessGivesUpOnSilentUnit()
{
    // The unit takes the connection and never says a word: the login poll gives up.
    sim::SimUnit unit = sim::demoUnit(0, QHostAddress(unitIp));
    unit.telnet.silent = true;
    sim::SimFleet fleet;
    fleet.add(unit);
    QString why;
    QVERIFY2(fleet.start(simOptions(), &why), qPrintable(why));
    Login l;
    l.login.setLastConnectedIP(unitIp);
    QElapsedTimer t;
    t.start();
    l.login.pressReAccess();
    const qint64 ms = t.elapsed();
    QVERIFY2(ms >= 10 * TelnetLogin::pollPauseMs && ms < 10 * TelnetLogin::pollPauseMs + 3000,
             qPrintable(QString::number(ms)));
    // Giving up closes the half-open session, and the log says so.
    QCOMPARE(l.op.logs, (QStringList{QStringLiteral("ReAccess Sequence Started"),
                                     QStringLiteral("Telnet Disconnected from ") + unitIp}));
    QVERIFY(fleet.server(0).telnet().receivedData().isEmpty());
    QCOMPARE(l.login.address(), QString());
    QCOMPARE(l.op.busyDepth, 0);
    QVERIFY(!l.login.running());
    // Nothing is left open on the silent unit.
    QVERIFY(l.waitClosed());
}

void TstTelnetLogin::lateLoginAfterGivingUp()
{
    // A unit that would answer only after the sequence gave up: the sequence closed its
    // link, so the late prompt reaches nobody and logs nothing.
    ScriptedPeer peer;
    QVERIFY(peer.listen());
    Login l;
    l.login.setLastConnectedIP(peerIp);
    l.login.pressReAccess();
    QCOMPARE(l.op.logs, (QStringList{QStringLiteral("ReAccess Sequence Started"),
                                     QStringLiteral("Telnet Disconnected from ") + peerIp}));
    QVERIFY(peer.client);
    QVERIFY(l.waitClosed());
    QVERIFY(!l.login.session().isOpenOrOpening());
    peer.say("\r\n[BRIVELLa]>");
    wait::delay(200);
    QCOMPARE(l.op.logs.value(0), QStringLiteral("ReAccess Sequence Started"));
    QVERIFY(!l.op.logs.contains(QStringLiteral("Telnet Connection to ")));
    QVERIFY(peer.received.isEmpty());
    QCOMPARE(l.op.busyDepth, 0);
}

void TstTelnetLogin::reAccessGivesUpWithoutPing()
{
    Login l;
    l.pinger.answer = false;
    l.login.setLastConnectedIP(unitIp);
    QElapsedTimer t;
    t.start();
    l.login.pressReAccess();
    QVERIFY(t.elapsed() >= 10 * TelnetLogin::pollPauseMs);
    QCOMPARE(l.pinger.pings, 1);
    QCOMPARE(l.op.logs, texts({"ReAccess Sequence Started"}));
    QVERIFY(!l.login.session().isOpenOrOpening());
    QCOMPARE(l.op.busyDepth, 0);
}

void TstTelnetLogin::linkDroppedMidCommand()
{
    sim::SimFleet fleet;
    fleet.add(sim::demoUnit(0, QHostAddress(unitIp)));
    QString why;
    QVERIFY2(fleet.start(simOptions(), &why), qPrintable(why));
    Login l;
    l.connectTo(unitIp);
    QVERIFY(l.waitLoggedIn());
    sim::SimTelnetServer &t = fleet.server(0).telnet();
    QTimer::singleShot(350, &t, [&t] { t.dropClients(); });
    QElapsedTimer typing;
    typing.start();
    l.login.pressAccess();
    // Typing stops at the drop instead of running through both commands.
    QVERIFY(typing.elapsed() < 1500);
    QVERIFY(!l.login.accessEnabled());
    QVERIFY(t.receivedData().startsWith("kivo\rdulm\rre"));
    QVERIFY(!t.receivedData().contains("reAccess\r"));
    QVERIFY(t.commands().isEmpty());
    QCOMPARE(l.op.logs.constLast(), QStringLiteral("Telnet Disconnected from 127.0.71.2"));
}

void TstTelnetLogin::refusedConnectionIsALogLine()
{
    Login l;
    // Nothing listens there.
    l.connectTo(QStringLiteral("127.0.71.9"));
    QVERIFY(wait::until([&] { return !l.op.logs.isEmpty(); }, 3000));
    QCOMPARE(l.op.logs, texts({"Socket Error 0"})); // QAbstractSocket::ConnectionRefusedError
    QVERIFY(l.op.messages.isEmpty());
    QVERIFY(!l.login.accessEnabled());
}

void TstTelnetLogin::manualPage()
{
    sim::SimFleet fleet;
    fleet.add(sim::demoUnit(0, QHostAddress(unitIp)));
    QString why;
    QVERIFY2(fleet.start(simOptions(), &why), qPrintable(why));
    Login l;
    ManualTelnetPage page(l.login, l.ping);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    QCOMPARE(page.accessButton()->text(), QStringLiteral("Access"));
    QCOMPARE(page.accessButton()->toolTip(), QStringLiteral("Restart Access Port Processes"));
    QCOMPARE(page.restartButton()->toolTip(), QStringLiteral("Restart the specified Vork Unit"));
    QCOMPARE(page.connectRebootButton()->text(), QStringLiteral("Connect && Reboot"));
    QCOMPARE(page.passwordField()->echoMode(), QLineEdit::Password);
    // Keyboard order: address, Ping, Connect ?, user name, password, then the commands.
    QCOMPARE(page.addressField()->nextInFocusChain(), page.pingButton());
    QCOMPARE(page.connectButton()->nextInFocusChain(), page.userField());
    QCOMPARE(page.userField()->nextInFocusChain(), page.passwordField());
    QCOMPARE(page.passwordField()->nextInFocusChain(), page.accessButton());
    QCOMPARE(page.reAccessButton()->nextInFocusChain(), page.connectRebootButton());
    for (QPushButton *b : {page.accessButton(), page.exitButton(), page.restartButton(), page.reAccessButton(),
                           page.pingButton(), page.connectButton(), page.connectRebootButton()})
        QVERIFY2(!b->isEnabled(), qPrintable(b->text()));
    QCOMPARE(page.reAccessButton()->toolTip(),
             QStringLiteral("Restart Access Port Processes for last connected Vork Unit"));
    l.login.setLastConnectedIP(unitIp);
    QVERIFY(page.reAccessButton()->isEnabled());
    QCOMPARE(page.reAccessButton()->toolTip(), QStringLiteral("Restart Access Port Processes for 127.0.71.2"));

    // "Ping" and "Connect && Reboot" follow the address's validity.
    QTest::keyClicks(page.addressField(), QStringLiteral("127.0.71"));
    QVERIFY(!page.pingButton()->isEnabled() && !page.connectRebootButton()->isEnabled());
    QTest::keyClicks(page.addressField(), QStringLiteral(".2"));
    QVERIFY(page.pingButton()->isEnabled() && page.connectRebootButton()->isEnabled());
    QSignalSpy reboot(&page, &ManualTelnetPage::connectAndRebootRequested);
    QTest::mouseClick(page.connectRebootButton(), Qt::LeftButton);
    QCOMPARE(reboot.size(), 1);
    QCOMPARE(reboot.at(0).at(0).toString(), unitIp);
    QVERIFY(fleet.server(0).telnet().clientCount() == 0);

    // Enter in the field pings; "Connect ?" opens for the login.
    QTest::keyClicks(page.userField(), QStringLiteral("kivo"));
    QTest::keyClicks(page.passwordField(), QStringLiteral("dulm"));
    QTest::keyClick(page.addressField(), Qt::Key_Return);
    QCOMPARE(l.pinger.pings, 1);
    QVERIFY(page.connectButton()->isEnabled());
    QCOMPARE(page.resultLabel()->text(), PingTool::resultText(PingTool::Result::Found));
    QTest::mouseClick(page.connectButton(), Qt::LeftButton);
    QVERIFY(wait::until([&] { return page.accessButton()->isEnabled(); }, 5000));
    QVERIFY(page.exitButton()->isEnabled() && page.restartButton()->isEnabled());
    QTest::mouseClick(page.exitButton(), Qt::LeftButton);
    QVERIFY(wait::until([&] { return !page.accessButton()->isEnabled(); }, 5000));
    QCOMPARE(fleet.server(0).telnet().commands(), QList<QByteArray>{"exit"});
}

void TstTelnetLogin::realTelnetClient()
{
    if (!QFile::exists(QStringLiteral(TELNET_CLIENT)))
        QSKIP("no " TELNET_CLIENT " (Debian package telnet): the real-client case cannot run");
    sim::SimFleet fleet;
    fleet.add(sim::demoUnit(0, QHostAddress(unitIp)));
    QString why;
    QVERIFY2(fleet.start(simOptions(), &why), qPrintable(why));
    sim::SimTelnetServer &t = fleet.server(0).telnet();

    QProcess client;
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.start(QStringLiteral(TELNET_CLIENT), {unitIp, QString::number(port)});
    QVERIFY(wait::until([&] { return client.state() == QProcess::Running; }, 3000));
    QByteArray seen;
    connect(&client, &QProcess::readyRead, this, [&] { seen += client.readAll(); });
    const auto waitSeen = [&](const QByteArray &text) { return wait::until([&] { return seen.contains(text); }, 5000); };
    QVERIFY2(waitSeen("Login : "), seen.constData());
    client.write("kivo\n");
    QVERIFY2(waitSeen("Password:"), seen.constData());
    client.write("dulm\n");
    QVERIFY2(waitSeen("[BRIVELLa]>"), seen.constData());
    client.write("version\n");
    QVERIFY2(waitSeen("Vork firmware 5.0.1"), seen.constData());
    client.write("exit\n");
    QVERIFY2(waitSeen("Goodbye"), seen.constData());
    if (!wait::until([&] { return client.state() == QProcess::NotRunning; }, 5000)) {
        client.kill();
        client.waitForFinished(1000);
    }
    QCOMPARE(t.commands(), (QList<QByteArray>{"version", "exit"}));
    QCOMPARE(t.users(), QList<QByteArray>{"kivo"});
}

void TstTelnetLogin::systemTelnet_data()
{
    QTest::addColumn<QStringList>("onPath");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");

    const QStringList xte = texts({"-e", "/usr/bin/telnet", "10.0.0.7"});
    QTest::newRow("the system's choice first") << texts({"telnet", "x-terminal-emulator", "xterm"})
                                               << QStringLiteral("/usr/bin/x-terminal-emulator") << xte << QString();
    QTest::newRow("gnome-terminal takes --") << texts({"telnet", "gnome-terminal"})
                                             << QStringLiteral("/usr/bin/gnome-terminal")
                                             << texts({"--", "/usr/bin/telnet", "10.0.0.7"}) << QString();
    QTest::newRow("xterm last") << texts({"telnet", "xterm"}) << QStringLiteral("/usr/bin/xterm") << xte << QString();
    QTest::newRow("no terminal") << texts({"telnet"}) << QString() << QStringList()
                                 << QStringLiteral("No terminal emulator found to run telnet in");
    QTest::newRow("no telnet client") << texts({"xterm"}) << QStringLiteral("/usr/bin/xterm")
                                      << texts({"-e", "telnet", "10.0.0.7"})
                                      << QStringLiteral("No telnet client found (install the telnet package)");
}

void TstTelnetLogin::systemTelnet()
{
    QFETCH(QStringList, onPath);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    const ExecutableFinder find = [onPath](const QString &name) {
        return onPath.contains(name) ? QStringLiteral("/usr/bin/") + name : QString();
    };
    const SystemTelnetCommand cmd = systemTelnetCommand(QStringLiteral("10.0.0.7"), find);
    QCOMPARE(cmd.program, program);
    QCOMPARE(cmd.arguments, arguments);
    if (!error.isEmpty()) {
        RecordingOperator op;
        QVERIFY(!startSystemTelnet(op, QStringLiteral("10.0.0.7"), find));
        QCOMPARE(op.messageTexts(MessageKind::Error), QStringList{error});
    }
    // Nothing but a dotted address is ever handed to a program.
    RecordingOperator op;
    QVERIFY(!startSystemTelnet(op, QStringLiteral("10.0.0.7; rm -rf x"), find));
    QCOMPARE(op.messageTexts(MessageKind::Error), QStringList{QStringLiteral("Invalid IP address entered")});
}

QTEST_MAIN(TstTelnetLogin)
#include "tst_telnetlogin.moc"
