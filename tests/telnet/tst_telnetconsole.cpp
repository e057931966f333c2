// The telnet console's model: receive rules as tables of chunks, the ring, and
// typing against the simulator's telnet console on 127.0.72.x.

#include "texts.h"
#include "recordingoperator.h"

#include "core/boundedwait.h"
#include "simfleet.h"
#include "simunitserver.h"
#include "tools/telnetconsole.h"
#include "tools/ui/telnetconsolewindow.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

using namespace vork;

namespace {

const QString unitIp = QStringLiteral("127.0.72.2");
constexpr quint16 simTelnetPort = 2323;

sim::SimUnit telnetUnit()
{
    return sim::demoUnit(0, QHostAddress(unitIp));
}

sim::SimUnitServer::Options simOptions()
{
    sim::SimUnitServer::Options o;
    o.port = 43710;
    o.tcp = false;
    o.telnetPort = simTelnetPort;
    return o;
}

QString lettersText(int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s.append(QLatin1Char(char('a' + i % 26)));
    return s;
}

} // namespace

class TstTelnetConsole : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void ring_data();
    void ring();
    void ringUnput();
    void receive_data();
    void receive();
    void overflow();
    void floodKeepsTheNewestLines();
    void backspace_data();
    void backspace();
    void panels();

    void loginTypingAgainstSim();
    void passwordStarsAndBackspaces();
    void typedCountSaturates();
    void exitAtPromptClosesWithoutSecondExit();
    void exitElsewhereDoesNotClose();
    void linkDroppedMidCommand();
    void windowDrawsTheModel();
    void winTelnetOptionStartsNoWindow();
};

void TstTelnetConsole::ring_data()
{
    QTest::addColumn<int>("puts");
    QTest::addColumn<int>("takeAfter"); // take everything after this many puts (-1: never)
    QTest::addColumn<int>("in");
    QTest::addColumn<int>("out");
    QTest::addColumn<int>("overflows");

    QTest::newRow("empty") << 0 << -1 << 0 << 0 << 0;
    QTest::newRow("one") << 1 << -1 << 1 << 0 << 0;
    QTest::newRow("one short of full") << 2047 << -1 << 2047 << 0 << 0;
    QTest::newRow("full drops the oldest") << 2048 << -1 << 0 << 1 << 1;
    QTest::newRow("three past full") << 2050 << -1 << 2 << 3 << 3;
    QTest::newRow("taken then wrapped") << 2050 << 2000 << 2 << 2000 << 0;
}

void TstTelnetConsole::ring()
{
    QFETCH(int, puts);
    QFETCH(int, takeAfter);
    QFETCH(int, in);
    QFETCH(int, out);
    QFETCH(int, overflows);
    TelnetRing r;
    int over = 0;
    QString expected;
    for (int i = 0; i < puts; ++i) {
        if (i == takeAfter) {
            QCOMPARE(r.take().size(), takeAfter);
            expected.clear();
        }
        const char16_t c = char16_t('a' + i % 26);
        expected.append(QChar(c));
        over += r.put(c) ? 1 : 0;
    }
    QCOMPARE(r.in(), in);
    QCOMPARE(r.out(), out);
    QCOMPARE(over, overflows);
    QVERIFY(r.in() >= 0 && r.in() < TelnetRing::size && r.out() >= 0 && r.out() < TelnetRing::size);
    // What is left is the newest characters, in order.
    const QString left = r.take();
    QCOMPARE(left, expected.right(left.size()));
    QCOMPARE(left.size(), (in - out + TelnetRing::size) % TelnetRing::size);
    QVERIFY(r.isEmpty());
}

void TstTelnetConsole::ringUnput()
{
    TelnetRing r;
    r.unput(); // empty at 0: both indexes wrap back to 2047
    QCOMPARE(r.in(), 2047);
    QCOMPARE(r.out(), 2047);
    QVERIFY(r.isEmpty());
    r.put(u'x');
    r.put(u'y');
    QCOMPARE(r.in(), 1);
    r.unput();
    QCOMPARE(r.take(), QStringLiteral("x"));
}

void TstTelnetConsole::receive_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("password");

    QTest::newRow("line and line feed") << QList<QByteArray>{"hello\r\n"} << texts({"hello", ""}) << false;
    QTest::newRow("prompt after a line") << QList<QByteArray>{"\r\nWelcome\r\n[BRIVELLa]>"}
                                         << texts({"", "Welcome", "[BRIVELLa]>"}) << false;
    QTest::newRow("Calculating redrawn in one chunk")
        << QList<QByteArray>{"\r\nCalculating 0%\rCalculating 50%\rCalculating 100%\r\n[BRIVELLa]>"}
        << texts({"", "Calculating 100%", "[BRIVELLa]>"}) << false;
    QTest::newRow("Calculating redrawn over chunks")
        << QList<QByteArray>{"Calculating 10%", "\rCalculating 20%", "\rCalculating 30%"}
        << texts({"Calculating 30%"}) << false;
    QTest::newRow("other text after CR is appended") << QList<QByteArray>{"abc\rdef"} << texts({"abcdef"})
                                                     << false;
    QTest::newRow("controls and high bytes dropped, tab kept")
        << QList<QByteArray>{QByteArray("a\x07" "b\x1b\xe9" "c\tz\x7f", 9)} << texts({"abc\tz"}) << false;
    QTest::newRow("password prompt") << QList<QByteArray>{"\r\nPassword:"} << texts({"", "Password:"}) << true;
    QTest::newRow("password mode ends on the next line")
        << QList<QByteArray>{"\r\nPassword:", "\r\n[BRIVELLa]>"} << texts({"", "Password:", "[BRIVELLa]>"})
        << false;
    QTest::newRow("echo one character at a time") << QList<QByteArray>{"[BRIVELLa]>", "e", "x", "i", "t"}
                                                  << texts({"[BRIVELLa]>exit"}) << false;
    QTest::newRow("empty chunk") << QList<QByteArray>{""} << texts({""}) << false;
}

void TstTelnetConsole::receive()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QStringList, lines);
    QFETCH(bool, password);
    RecordingOperator op;
    TelnetConsole c(op);
    for (const QByteArray &chunk : chunks)
        c.receive(chunk);
    QCOMPARE(c.lines(), lines);
    QCOMPARE(c.currentLine(), int(lines.size()) - 1);
    QCOMPARE(c.passwordMode(), password);
    QCOMPARE(c.panel(TelnetConsole::PasswordPanel), password ? QStringLiteral("PW") : QString());
    QCOMPARE(c.panel(TelnetConsole::LinesPanel), QStringLiteral("Lines: ") + QString::number(lines.size()));
    QVERIFY(c.ring().isEmpty());
    QVERIFY(op.messages.isEmpty());
}

void TstTelnetConsole::overflow()
{
    RecordingOperator op;
    TelnetConsole c(op);
    const QString text = lettersText(2100);
    c.receive(text.toLatin1());
    // One message for the chunk; the newest 2047 characters survive.
    QCOMPARE(op.messageTexts(), QStringList{QStringLiteral("OverFlow")});
    QCOMPARE(c.lines().constFirst(), text.right(TelnetRing::size - 1));
    QCOMPARE(c.ring().in(), 2100 % TelnetRing::size);
    QCOMPARE(c.ring().out(), c.ring().in());
    QCOMPARE(c.panel(TelnetConsole::QueuePanel), QStringLiteral("Queue IN: 52 OUT: 52"));
}

void TstTelnetConsole::floodKeepsTheNewestLines()
{
    RecordingOperator op;
    TelnetConsole c(op);
    // Far more lines than the window keeps, then one line far longer than a line may be,
    // in chunks the size the unit's writes come in.
    QByteArray lines;
    for (int i = 0; i < TelnetConsole::maxLines + 1000; ++i)
        lines += "line " + QByteArray::number(i) + "\r\n";
    for (qsizetype at = 0; at < lines.size(); at += 1000)
        c.receive(lines.mid(at, 1000));
    const QByteArray longLine = QByteArray(3 * TelnetConsole::maxLineLength, 'a') + "end";
    for (qsizetype at = 0; at < longLine.size(); at += 1000)
        c.receive(longLine.mid(at, 1000));
    QCOMPARE(c.lines().size(), qsizetype(TelnetConsole::maxLines));
    QCOMPARE(c.currentLine(), TelnetConsole::maxLines - 1);
    for (const QString &line : c.lines())
        QVERIFY(line.size() <= TelnetConsole::maxLineLength);
    // The newest text is all there: the last numbered line, then the long one, wrapped.
    const qsizetype last = c.lines().size() - 1;
    QCOMPARE(c.lines().at(last - 4), QStringLiteral("line %1").arg(TelnetConsole::maxLines + 999));
    QCOMPARE(c.lines().at(last - 3), QString(TelnetConsole::maxLineLength, QLatin1Char('a')));
    QCOMPARE(c.lines().at(last), QStringLiteral("end"));
    QCOMPARE(c.panel(TelnetConsole::LinesPanel), QStringLiteral("Lines: ") + QString::number(TelnetConsole::maxLines));
}

void TstTelnetConsole::backspace_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("typed");
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("typedAfter");

    QTest::newRow("erases one typed character") << QByteArray("[BRIVELLa]>ab") << 2 << QByteArray("\b \b")
                                                << QStringLiteral("[BRIVELLa]>a") << 1;
    QTest::newRow("nothing typed: prompt kept") << QByteArray("[BRIVELLa]>") << 0 << QByteArray("\b \b")
                                                << QStringLiteral("[BRIVELLa]>") << 0;
    QTest::newRow("backspace not first: ignored") << QByteArray("[BRIVELLa]>ab") << 2 << QByteArray("x\b")
                                                  << QStringLiteral("[BRIVELLa]>ab") << 2;
    QTest::newRow("password line never erased") << QByteArray("Password:") << 3 << QByteArray("\b")
                                                << QStringLiteral("Password:") << 3;
}

void TstTelnetConsole::backspace()
{
    QFETCH(QByteArray, before);
    QFETCH(int, typed);
    QFETCH(QByteArray, chunk);
    QFETCH(QString, line);
    QFETCH(int, typedAfter);
    RecordingOperator op;
    TelnetConsole c(op);
    c.receive(before);
    c.setTypedCount(static_cast<std::uint8_t>(typed));
    c.receive(chunk);
    QCOMPARE(c.lines(), QStringList{line});
    QCOMPARE(c.typedCount(), typedAfter);
    QVERIFY(c.ring().isEmpty());
}

void TstTelnetConsole::panels()
{
    RecordingOperator op;
    TelnetConsole c(op);
    QSignalSpy spy(&c, &TelnetConsole::panelChanged);
    c.receive("\r\nLogin : ");
    QCOMPARE(c.panel(TelnetConsole::ReceivedPanel), QStringLiteral("Received 10 character(s)"));
    QCOMPARE(c.panel(TelnetConsole::LinesPanel), QStringLiteral("Lines: 2"));
    QCOMPARE(c.panel(TelnetConsole::QueuePanel), QStringLiteral("Queue IN: 8 OUT: 8"));
    QVERIFY(!spy.isEmpty());
    // Unconnected, a key only clicks: nothing is cleared or sent.
    c.keyPressed(QLatin1Char('a'));
    QCOMPARE(op.tones, QList<Tone>{Tone::KeyClick});
    QCOMPARE(c.panel(TelnetConsole::ReceivedPanel), QStringLiteral("Received 10 character(s)"));
    QCOMPARE(c.typedCount(), 0);
}

namespace {

// A console on the simulator's telnet port, logged in as far as "Password:".
struct Rig
{
    RecordingOperator op;
    sim::SimFleet fleet;
    std::unique_ptr<TelnetConsole> console;

    bool start(QString *why)
    {
        fleet.add(telnetUnit());
        if (!fleet.start(simOptions(), why))
            return false;
        console = std::make_unique<TelnetConsole>(op);
        console->open(unitIp, simTelnetPort);
        return wait::until([this] { return console->passwordMode(); }, 5000);
    }
    sim::SimTelnetServer &telnet() { return fleet.server(0).telnet(); }
    void type(const QString &text)
    {
        for (const QChar ch : text) {
            console->keyPressed(ch);
            wait::delay(20); // room for the echo, as between a person's keys
        }
    }
    bool waitLastLine(const QString &end, int ms = 3000)
    {
        return wait::until([&] { return console->lines().constLast().endsWith(end); }, ms);
    }
};

} // namespace

void TstTelnetConsole::loginTypingAgainstSim()
{
    Rig rig;
    QString why;
    QVERIFY2(rig.start(&why), qPrintable(why));
    // The unit's negotiation brought the built-in user name; the answers went by libtelnet.
    QCOMPARE(rig.telnet().users(), QList<QByteArray>{"kivo"});
    QVERIFY(wait::until([&] { return !rig.telnet().terminalType().isEmpty(); }, 2000));
    QCOMPARE(rig.telnet().terminalType(), QByteArray("dumb"));
    QVERIFY(rig.telnet().negotiations().contains(QByteArray("\xFF\xFD\x01")));
    QCOMPARE(rig.console->panel(TelnetConsole::PasswordPanel), QStringLiteral("PW"));
    QCOMPARE(rig.console->panel(TelnetConsole::StatusPanel), QStringLiteral("Status: Connected"));
    rig.type(QStringLiteral("dulm"));
    QCOMPARE(rig.console->lines().constLast(), QStringLiteral("Password:****"));
    rig.type(QStringLiteral("\r"));
    QVERIFY(rig.waitLastLine(QStringLiteral("[BRIVELLa]>")));
    QVERIFY(!rig.console->passwordMode());
    QCOMPARE(rig.console->panel(TelnetConsole::PasswordPanel), QString());
    rig.type(QStringLiteral("version\r"));
    QVERIFY(rig.waitLastLine(QStringLiteral("[BRIVELLa]>")));
    QVERIFY(rig.console->lines().contains(QStringLiteral("[BRIVELLa]>version")));
    QVERIFY(rig.console->lines().contains(QStringLiteral("Vork firmware 5.0.1")));
    QCOMPARE(rig.telnet().commands(), QList<QByteArray>{"version"});
    QCOMPARE(rig.op.busyDepth, 0);
}

void TstTelnetConsole::passwordStarsAndBackspaces()
{
    Rig rig;
    QString why;
    QVERIFY2(rig.start(&why), qPrintable(why));
    rig.type(QStringLiteral("abc"));
    QCOMPARE(rig.console->lines().constLast(), QStringLiteral("Password:***"));
    QCOMPARE(rig.console->typedCount(), 3);
    rig.type(QStringLiteral("\b\b\b\b"));
    QCOMPARE(rig.console->lines().constLast(), QStringLiteral("Password:"));
    QCOMPARE(rig.console->typedCount(), 0);
    // The unit took the backspaces too: the right password now logs in.
    rig.type(QStringLiteral("dulm\r"));
    QVERIFY(rig.waitLastLine(QStringLiteral("[BRIVELLa]>")));
    QCOMPARE(rig.telnet().loginsRefused(), 0);
}

void TstTelnetConsole::typedCountSaturates()
{
    Rig rig;
    QString why;
    QVERIFY2(rig.start(&why), qPrintable(why));
    rig.console->setTypedCount(254);
    rig.console->keyPressed(QLatin1Char('a'));
    QCOMPARE(rig.console->typedCount(), 255);
    rig.console->keyPressed(QLatin1Char('b'));
    QCOMPARE(rig.console->typedCount(), 255);
    rig.console->keyPressed(QChar(u'\x01')); // not printable: not counted
    QCOMPARE(rig.console->typedCount(), 255);
}

void TstTelnetConsole::exitAtPromptClosesWithoutSecondExit()
{
    Rig rig;
    QString why;
    QVERIFY2(rig.start(&why), qPrintable(why));
    rig.type(QStringLiteral("dulm\r"));
    QVERIFY(rig.waitLastLine(QStringLiteral("[BRIVELLa]>")));
    QSignalSpy closing(rig.console.get(), &TelnetConsole::closeRequested);
    rig.type(QStringLiteral("exit"));
    QVERIFY(rig.waitLastLine(QStringLiteral("[BRIVELLa]>exit")));
    QCOMPARE(rig.console->exitState(), 4);
    rig.console->keyPressed(QLatin1Char('\r'));
    QVERIFY(wait::until([&] { return !closing.isEmpty(); }, 3000));
    QVERIFY(!rig.console->session().isConnected());
    // The window closing afterwards must not log out a second time.
    rig.console->windowClosing();
    wait::delay(200);
    QCOMPARE(rig.telnet().receivedData(), QByteArray("kivo\rdulm\rexit\r"));
    QCOMPARE(rig.op.busyDepth, 0);
}

void TstTelnetConsole::exitElsewhereDoesNotClose()
{
    Rig rig;
    QString why;
    QVERIFY2(rig.start(&why), qPrintable(why));
    // "exit" typed at the password prompt: the last line has no "LLa]>", so the detector starts over.
    QSignalSpy closing(rig.console.get(), &TelnetConsole::closeRequested);
    rig.type(QStringLiteral("exit"));
    QCOMPARE(rig.console->exitState(), 4);
    rig.type(QStringLiteral("\r"));
    QCOMPARE(rig.console->exitState(), 0);
    QVERIFY(wait::until([&] { return rig.telnet().loginsRefused() == 1; }, 3000));
    // The unit hung up on the wrong password; that closes the window, once.
    QVERIFY(wait::until([&] { return !closing.isEmpty(); }, 3000));
    QCOMPARE(closing.size(), 1);
    QVERIFY(rig.console->lines().contains(QStringLiteral("Login Incorrect")));
}

void TstTelnetConsole::linkDroppedMidCommand()
{
    Rig rig;
    QString why;
    QVERIFY2(rig.start(&why), qPrintable(why));
    rig.type(QStringLiteral("dulm\r"));
    QVERIFY(rig.waitLastLine(QStringLiteral("[BRIVELLa]>")));
    QSignalSpy closing(rig.console.get(), &TelnetConsole::closeRequested);
    rig.type(QStringLiteral("vers"));
    rig.telnet().dropClients();
    QVERIFY(wait::until([&] { return !closing.isEmpty(); }, 3000));
    QCOMPARE(rig.console->panel(TelnetConsole::StatusPanel), QStringLiteral("Status: Disconnected"));
    // Keys after the drop go nowhere: no send, no count, only the click.
    const int tones = int(rig.op.tones.size());
    rig.type(QStringLiteral("ion\r"));
    QCOMPARE(int(rig.op.tones.size()), tones + 4);
    QCOMPARE(rig.telnet().receivedData(), QByteArray("kivo\rdulm\rvers"));
    QVERIFY(rig.telnet().commands().isEmpty());
    // Closing now has nobody to log out from.
    rig.console->windowClosing();
    QCOMPARE(rig.op.busyDepth, 0);
}

void TstTelnetConsole::windowDrawsTheModel()
{
    RecordingOperator op;
    sim::SimFleet fleet;
    fleet.add(telnetUnit());
    QString why;
    QVERIFY2(fleet.start(simOptions(), &why), qPrintable(why));
    TelnetTools tools(op, [] { return false; });
    tools.openTelnet(unitIp, simTelnetPort);
    TelnetConsoleWindow *w = tools.window();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("Telnet 127.0.72.2"));
    QCOMPARE(w->textArea()->palette().color(QPalette::Base), QColor(Qt::black));
    QCOMPARE(w->textArea()->tabStopDistance(), 65.0);
    QVERIFY(w->textArea()->isReadOnly());
    QVERIFY(wait::until([&] { return tools.console().passwordMode(); }, 5000));
    QCOMPARE(w->panelLabel(TelnetConsole::PasswordPanel)->text(), QStringLiteral("PW"));
    QVERIFY(w->textArea()->toPlainText().endsWith(QStringLiteral("Password:")));
    // Keys typed into the text area reach the unit at once and show as stars.
    QTest::keyClicks(w->textArea(), QStringLiteral("dulm"));
    QVERIFY(w->textArea()->toPlainText().endsWith(QStringLiteral("Password:****")));
    QTest::keyClick(w->textArea(), Qt::Key_Return);
    QVERIFY(wait::until([&] { return w->textArea()->toPlainText().endsWith(QStringLiteral("[BRIVELLa]>")); }, 3000));
    QVERIFY(w->panelLabel(TelnetConsole::LinesPanel)->text().startsWith(QStringLiteral("Lines: ")));
    // Closing the window logs out with "exit"; the same window is used again next time.
    w->close();
    QVERIFY(wait::until([&] { return fleet.server(0).telnet().commands() == QList<QByteArray>{"exit"}; }, 3000));
    tools.openTelnet(unitIp, simTelnetPort);
    QCOMPARE(tools.window(), w);
    QVERIFY(w->isVisible());
    QVERIFY(wait::until([&] { return tools.console().passwordMode(); }, 5000));
    QCOMPARE(tools.console().lines().constFirst(), QString());
}

void TstTelnetConsole::winTelnetOptionStartsNoWindow()
{
    RecordingOperator op;
    bool winTelnet = true;
    TelnetTools tools(op, [&winTelnet] { return winTelnet; });
    // Nothing on the path: the operator hears why, and no console opens in its place.
    tools.setExecutableFinder([](const QString &) { return QString(); });
    tools.openTelnet(unitIp, simTelnetPort);
    QCOMPARE(op.messageTexts(MessageKind::Error),
             QStringList{QStringLiteral("No telnet client found (install the telnet package)")});
    QVERIFY(!tools.window());
    tools.setExecutableFinder([](const QString &name) {
        return name == QStringLiteral("telnet") ? QStringLiteral("/usr/bin/telnet") : QString();
    });
    tools.openTelnet(unitIp, simTelnetPort);
    QCOMPARE(op.messageTexts(MessageKind::Error).constLast(), QStringLiteral("No terminal emulator found to run telnet in"));
    QVERIFY(!tools.window());
    QVERIFY(!tools.console().session().isOpenOrOpening());
}

QTEST_MAIN(TstTelnetConsole)
#include "tst_telnetconsole.moc"
