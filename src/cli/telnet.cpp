#include "cli/cliargs.h"
#include "cli/commands.h"
#include "cli/consoleoperator.h"
#include "cli/exitcodes.h"
#include "cli/safetext.h"
#include "cli/secretinput.h"

#include "core/address.h"
#include "core/boundedwait.h"
#include "core/ports.h"
#include "tools/telnetlogin.h"
#include "tools/telnetsession.h"

#include <QAbstractSocket>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTextStream>

#include <unistd.h>

namespace vork::cli {

namespace {

constexpr int maxTimeoutMs = 600000;
// What a unit may send before its login is done, and as the answer to one command:
// a unit that floods is cut off, never buffered without end.
constexpr qsizetype loginLimit = 64 * 1024;
constexpr qsizetype answerLimit = 4 * 1024 * 1024;
// A password file's first line; anything longer is no password.

// Everything the unit said since the last clear (up to limit), and whether it hung up.
struct Transcript
{
    QByteArray text;
    bool closed = false;
    qsizetype limit = loginLimit;
    bool overflow = false;

    void add(const QByteArray &more)
    {
        if (overflow)
            return;
        if (text.size() + more.size() > limit) {
            overflow = true;
            return;
        }
        text += more;
    }
    void clear(qsizetype newLimit)
    {
        text.clear();
        limit = newLimit;
        overflow = false;
    }
};

bool waitFor(Transcript &t, const std::function<bool()> &done, int ms)
{
    return wait::until([&] { return done() || t.closed || t.overflow; }, ms) && done();
}

// A command, user name or password must stay one line of plain text: a control
// character inside it (a carriage return above all) would type a second command.
bool oneLine(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u > 0xFF)
            return false;
    }
    return true;
}

// The unit's answer to one command: what came after the echoed command line,
// without the next prompt; line ends as plain line feeds.
QString answerText(const QByteArray &raw)
{
    QByteArray text = raw;
    const qsizetype firstLf = text.indexOf('\n');
    text = firstLf >= 0 ? text.mid(firstLf + 1) : QByteArray();
    const QByteArray prompt = TelnetLogin::commandPrompt().toLatin1();
    if (text.endsWith(prompt))
        text.chop(prompt.size());
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    while (text.endsWith('\n'))
        text.chop(1);
    return QString::fromLatin1(text);
}

QString shown(const QByteArray &unitText)
{
    QByteArray text = unitText;
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    return escapedKeepingLines(QString::fromLatin1(text));
}

} // namespace

int telnet(const QStringList &args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Logs in to a unit's telnet console and runs each COMMAND, printing the unit's answer.\n"
        "Without COMMAND and with a terminal on stdin: an interactive console (each line typed is\n"
        "sent; end with exit or end of input). Without --user, --password-file and --ask-password:\n"
        "the built-in maintenance login. The password is never taken from the command line."));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("Dotted IPv4 address of the unit."));
    p.addPositionalArgument(QStringLiteral("COMMAND"), QStringLiteral("Console commands to run, in order."),
                            QStringLiteral("[COMMAND...]"));
    const QCommandLineOption user(QStringLiteral("user"),
                                  QStringLiteral("User name (default: the built-in maintenance user)."),
                                  QStringLiteral("U"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral("Read the password from the first line of FILE."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption askPassword(QStringLiteral("ask-password"),
                                         QStringLiteral("Ask for the password on the terminal (not echoed)."));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Telnet port (default 23)."),
                                  QStringLiteral("N"), QString::number(telnetPort));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("Longest wait for the connection, each prompt and each answer in "
                                                    "ms (default 5000)."),
                                     QStringLiteral("MS"), QStringLiteral("5000"));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Print log lines to stderr."));
    p.addOptions({user, passwordFile, askPassword, port, timeout, verbose});

    QTextStream out(stdout);
    QTextStream err(stderr);
    if (const int status = parseCommand(p, QStringLiteral("telnet"), args); status >= 0)
        return status;
    const QStringList positional = p.positionalArguments();
    if (positional.isEmpty()) {
        err << "vork telnet: expected ADDRESS\n";
        return exitUsage;
    }
    const QString address = positional.first();
    const QStringList commands = positional.mid(1);
    if (!isValidIPv4(address)) {
        err << "Invalid IP address entered: '" << escaped(address) << "'\n";
        return exitUsage;
    }
    if (const QString problem = unitAddressProblem(address); !problem.isEmpty()) {
        err << problem << '\n';
        return exitUsage;
    }
    bool ok1 = false, ok2 = false;
    const int portNumber = p.value(port).toInt(&ok1);
    const int ms = p.value(timeout).toInt(&ok2);
    if (!ok1 || portNumber < 1 || portNumber > 65535) {
        err << "vork telnet: --port must be 1..65535\n";
        return exitUsage;
    }
    if (!ok2 || ms < 1 || ms > maxTimeoutMs) {
        err << "vork telnet: --timeout must be 1.." << maxTimeoutMs << " ms\n";
        return exitUsage;
    }
    for (const QString &command : commands) {
        if (!oneLine(command)) {
            err << "vork telnet: the command \"" << escaped(command)
                << "\" holds a control character; give each command as an argument of its own\n";
            return exitUsage;
        }
    }
    if (p.isSet(passwordFile) && p.isSet(askPassword)) {
        err << "vork telnet: give --password-file or --ask-password, not both\n";
        return exitUsage;
    }
    const QString userName = p.isSet(user) ? p.value(user) : TelnetLogin::builtInUser();
    if (userName.isEmpty()) {
        err << "Invalid User Name or Password\n";
        return exitUsage;
    }
    // The built-in password goes only with the built-in user; another user is asked for theirs.
    QString pass = TelnetLogin::builtInPassword();
    if (p.isSet(passwordFile)) {
        QString problem;
        if (!secretFromFile(p.value(passwordFile), pass, problem)) {
            err << "vork telnet: cannot read the password file " << escaped(p.value(passwordFile)) << ": " << problem
                << '\n';
            return exitLocal;
        }
    } else if ((p.isSet(askPassword) || p.isSet(user)) && !secretFromTerminal(QStringLiteral("Password: "), pass)) {
        err << "vork telnet: no password: give --password-file FILE, or --ask-password at a terminal\n";
        return exitUsage;
    }
    if (pass.isEmpty()) {
        err << "Invalid User Name or Password\n";
        return exitUsage;
    }
    if (!oneLine(userName) || !oneLine(pass)) {
        err << "vork telnet: the user name or password holds a control character\n";
        return exitUsage;
    }
    const bool interactive = commands.isEmpty();
    if (interactive && ::isatty(STDIN_FILENO) != 1) {
        err << "vork telnet: no COMMAND given and stdin is not a terminal; give the commands to run\n";
        return exitUsage;
    }

    ConsoleOperator op;
    op.verbose = p.isSet(verbose);
    TelnetSession session;
    Transcript t;
    int socketError = -1;
    QObject::connect(&session, &TelnetSession::dataReceived, &session, [&t](const QByteArray &text) {
        t.add(text);
    });
    QObject::connect(&session, &TelnetSession::disconnected, &session, [&t] { t.closed = true; });
    QObject::connect(&session, &TelnetSession::errorOccurred, &session, [&](int code) {
        // The unit hanging up (after "exit", say) is its way of ending the session, no error.
        if (code == QAbstractSocket::RemoteHostClosedError)
            return;
        socketError = code;
        op.log(QStringLiteral("Socket Error ") + QString::number(code));
    });

    const QString where = address + QLatin1Char(':') + QString::number(portNumber);
    session.open(address, static_cast<quint16>(portNumber));
    if (!wait::until([&] { return session.isConnected() || !session.isOpenOrOpening(); }, ms)
        || !session.isConnected()) {
        err << "vork telnet: cannot connect to " << where
            << (socketError >= 0 ? QString(QStringLiteral(" (socket error ") + QString::number(socketError) + QLatin1Char(')'))
                                 : QString(QStringLiteral(" (no answer within ") + QString::number(ms) + QStringLiteral(" ms)")))
            << '\n';
        session.abort();
        return exitFailed;
    }

    const auto has = [&t](const QString &s) { return t.text.contains(s.toLatin1()); };
    const auto flooded = [&](const char *before) {
        err << "vork telnet: " << where << " sent more than " << t.limit << " bytes " << before << '\n';
        session.abort();
        return exitFailed;
    };
    // The login: each prompt answered as the page does it, a character at a time.
    if (!waitFor(t, [&] { return has(TelnetLogin::loginPrompt()); }, ms)) {
        if (t.overflow)
            return flooded("without a \"Login :\" prompt");
        err << "vork telnet: " << where << " gave no \"" << TelnetLogin::loginPrompt().trimmed() << "\" prompt\n";
        session.abort();
        return exitFailed;
    }
    t.clear(loginLimit);
    if (!typeTelnetCommand(session, userName, TelnetLogin::charPauseMs)
        || !waitFor(t, [&] { return has(TelnetLogin::passwordPrompt()); }, ms)) {
        if (t.overflow)
            return flooded("without a \"Password:\" prompt");
        err << "vork telnet: " << where << " gave no \"" << TelnetLogin::passwordPrompt() << "\" prompt\n";
        session.abort();
        return exitFailed;
    }
    t.clear(loginLimit);
    typeTelnetCommand(session, pass, TelnetLogin::charPauseMs);
    waitFor(t, [&] { return has(TelnetLogin::commandPrompt()) || has(TelnetLogin::loginIncorrect()); }, ms);
    if (t.overflow)
        return flooded("without a command prompt after the login");
    if (has(TelnetLogin::loginIncorrect())) {
        err << "vork telnet: " << where << " refused the login (\"" << TelnetLogin::loginIncorrect() << "\")\n";
        session.abort();
        return exitFailed;
    }
    if (!has(TelnetLogin::commandPrompt())) {
        err << "vork telnet: " << where << " gave no command prompt after the login\n";
        session.abort();
        return exitFailed;
    }
    op.log(QStringLiteral("Telnet Connection to ") + address);

    if (interactive) {
        // The operator drives: each line typed goes out with a carriage return.
        QEventLoop loop;
        QObject::connect(&session, &TelnetSession::dataReceived, &loop, [&out](const QByteArray &text) {
            out << shown(text);
            out.flush();
        });
        QObject::connect(&session, &TelnetSession::disconnected, &loop, &QEventLoop::quit);
        QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
        QByteArray pending;
        QObject::connect(&input, &QSocketNotifier::activated, &loop, [&] {
            char buf[256];
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) {
                input.setEnabled(false);
                session.close();
                loop.quit();
                return;
            }
            pending.append(buf, n);
            for (qsizetype lf = pending.indexOf('\n'); lf >= 0; lf = pending.indexOf('\n')) {
                const QByteArray line = pending.left(lf);
                pending.remove(0, lf + 1);
                session.send(QByteArray(line + '\r'));
            }
        });
        out << shown(t.text.mid(t.text.lastIndexOf('\n') + 1));
        out.flush();
        if (!t.closed)
            loop.exec();
        out << '\n';
        return exitOk;
    }

    for (const QString &command : commands) {
        t.clear(answerLimit);
        if (t.closed || !typeTelnetCommand(session, command, TelnetLogin::charPauseMs)) {
            err << "vork telnet: " << where << " closed the connection before \"" << escaped(command) << "\"\n";
            return exitFailed;
        }
        const bool answered = waitFor(t, [&] {
            const qsizetype lf = t.text.indexOf('\n');
            return lf >= 0 && t.text.indexOf(TelnetLogin::commandPrompt().toLatin1(), lf) >= 0;
        }, ms);
        if (t.overflow) {
            err << "vork telnet: " << where << " sent more than " << t.limit << " bytes in answer to \""
                << escaped(command) << "\"\n";
            session.abort();
            return exitFailed;
        }
        const QString answer = answerText(t.text);
        if (!answer.isEmpty()) {
            out << escapedKeepingLines(answer) << '\n';
            out.flush();
        }
        if (!answered) {
            // exit and restart end the session by design; anything else left unanswered is a failure.
            if (t.closed && (command == QLatin1String("exit") || command == QLatin1String("restart")))
                return exitOk;
            err << "vork telnet: " << where
                << (t.closed ? QStringLiteral(" closed the connection during \"")
                             : QString(QStringLiteral(" gave no answer within ") + QString::number(ms)
                                       + QStringLiteral(" ms to \"")))
                << escaped(command) << "\"\n";
            session.abort();
            return exitFailed;
        }
    }
    // Leave the console the way an operator would.
    typeTelnetCommand(session, QStringLiteral("exit"), TelnetLogin::charPauseMs);
    wait::until([&t] { return t.closed; }, 500);
    session.abort();
    return exitOk;
}

} // namespace vork::cli
