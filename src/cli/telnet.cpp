#include "cli/cliargs.h"
#include "cli/commands.h"
#include "cli/consoleoperator.h"
#include "cli/exitcodes.h"
#include "cli/safetext.h"

#include "core/address.h"
#include "core/boundedwait.h"
#include "core/ports.h"
#include "tools/telnetlogin.h"
#include "tools/telnetsession.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTextStream>

#include <unistd.h>

namespace vork::cli {

namespace {

constexpr int maxTimeoutMs = 600000;

// Everything the unit said since the last clear, and whether it hung up.
struct Transcript
{
    QByteArray text;
    bool closed = false;
};

bool waitFor(Transcript &t, const std::function<bool()> &done, int ms)
{
    return wait::until([&] { return done() || t.closed; }, ms) && done();
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
        "sent; end with exit or end of input). Default credentials: the built-in maintenance login."));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("Dotted IPv4 address of the unit."));
    p.addPositionalArgument(QStringLiteral("COMMAND"), QStringLiteral("Console commands to run, in order."),
                            QStringLiteral("[COMMAND...]"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User name (default kivo)."),
                                  QStringLiteral("U"), TelnetLogin::builtInUser());
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("Password (default dulm)."),
                                      QStringLiteral("P"), TelnetLogin::builtInPassword());
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Telnet port (default 23)."),
                                  QStringLiteral("N"), QString::number(telnetPort));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("Longest wait for the connection, each prompt and each answer in "
                                                    "ms (default 5000)."),
                                     QStringLiteral("MS"), QStringLiteral("5000"));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Print log lines to stderr."));
    p.addOptions({user, password, port, timeout, verbose});

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
    const QString userName = p.value(user);
    const QString pass = p.value(password);
    if (userName.isEmpty() || pass.isEmpty()) {
        err << "Invalid User Name or Password\n";
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
        t.text += text;
    });
    QObject::connect(&session, &TelnetSession::disconnected, &session, [&t] { t.closed = true; });
    QObject::connect(&session, &TelnetSession::errorOccurred, &session, [&](int code) {
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
    // The login: each prompt answered as the page does it, a character at a time.
    if (!waitFor(t, [&] { return has(TelnetLogin::loginPrompt()); }, ms)) {
        err << "vork telnet: " << where << " gave no \"" << TelnetLogin::loginPrompt().trimmed() << "\" prompt\n";
        session.abort();
        return exitFailed;
    }
    t.text.clear();
    if (!typeTelnetCommand(session, userName, TelnetLogin::charPauseMs)
        || !waitFor(t, [&] { return has(TelnetLogin::passwordPrompt()); }, ms)) {
        err << "vork telnet: " << where << " gave no \"" << TelnetLogin::passwordPrompt() << "\" prompt\n";
        session.abort();
        return exitFailed;
    }
    t.text.clear();
    typeTelnetCommand(session, pass, TelnetLogin::charPauseMs);
    waitFor(t, [&] { return has(TelnetLogin::commandPrompt()) || has(TelnetLogin::loginIncorrect()); }, ms);
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
        t.text.clear();
        if (t.closed || !typeTelnetCommand(session, command, TelnetLogin::charPauseMs)) {
            err << "vork telnet: " << where << " closed the connection before \"" << escaped(command) << "\"\n";
            return exitFailed;
        }
        const bool answered = waitFor(t, [&] {
            const qsizetype lf = t.text.indexOf('\n');
            return lf >= 0 && t.text.indexOf(TelnetLogin::commandPrompt().toLatin1(), lf) >= 0;
        }, ms);
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
