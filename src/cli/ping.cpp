#include "cli/cliargs.h"
#include "cli/commands.h"
#include "cli/exitcodes.h"
#include "cli/safetext.h"

#include "core/boundedwait.h"
#include "cli/consoleoperator.h"
#include "tools/ping.h"
#include "tools/pingtool.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace vork::cli {

namespace {
constexpr int exitFound = exitOk;
constexpr int exitNone = exitFailed;
constexpr int maxCount = 1000;
} // namespace

int ping(const QStringList &args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Sends ICMP echo requests to ADDRESS and prints \"Found\" or \"Not Found\" for each.\n"
        "Exit status 0 when any echo was answered, 1 when none was, 3 when ICMP is not permitted."));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("Dotted IPv4 address of the unit."));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("Reply time-out per echo in ms (default 200)."),
                                     QStringLiteral("MS"), QString::number(PingTool::pingTimeoutMs));
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("Number of echoes (default 1)."),
                                   QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption interval(QStringLiteral("interval"),
                                      QStringLiteral("Pause between echoes in ms (default 1000)."),
                                      QStringLiteral("MS"), QStringLiteral("1000"));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Print log lines to stderr."));
    p.addOptions({timeout, count, interval, verbose});

    QTextStream out(stdout);
    QTextStream err(stderr);
    if (const int status = parseCommand(p, QStringLiteral("ping"), args); status >= 0)
        return status;
    const QStringList positional = p.positionalArguments();
    if (positional.size() != 1) {
        err << "vork ping: expected one ADDRESS\n";
        return exitUsage;
    }
    const QString address = positional.first();
    if (!isValidIPv4(address)) {
        err << PingTool::invalidAddressText() << ": '" << escaped(address) << "'\n";
        return exitUsage;
    }
    if (const QString problem = unitAddressProblem(address); !problem.isEmpty()) {
        err << problem << '\n';
        return exitUsage;
    }
    bool ok1 = false, ok2 = false, ok3 = false;
    const int ms = p.value(timeout).toInt(&ok1);
    const int n = p.value(count).toInt(&ok2);
    const int pause = p.value(interval).toInt(&ok3);
    if (!ok1 || ms <= 0 || ms > 60000) {
        err << "vork ping: --timeout must be 1..60000 ms\n";
        return exitUsage;
    }
    if (!ok2 || n <= 0 || n > maxCount) {
        err << "vork ping: --count must be 1.." << maxCount << '\n';
        return exitUsage;
    }
    if (!ok3 || pause < 0 || pause > 60000) {
        err << "vork ping: --interval must be 0..60000 ms\n";
        return exitUsage;
    }

    ConsoleOperator op;
    op.verbose = p.isSet(verbose);
    IcmpPinger pinger(op);
    int answered = 0;
    for (int i = 0; i < n; ++i) {
        if (i > 0)
            wait::delay(pause);
        const bool found = pinger.ping(address, ms, false);
        if (!pinger.deniedReason().isEmpty()) {
            // Every further echo would fail the same way.
            err << pinger.deniedReason() << '\n';
            out << PingTool::resultText(PingTool::Result::NotFound) << '\n';
            return exitLocal;
        }
        answered += found ? 1 : 0;
        out << PingTool::resultText(found ? PingTool::Result::Found : PingTool::Result::NotFound) << '\n';
        out.flush();
    }
    out.flush();
    if (answered == 0)
        err << "vork ping: no echo reply from " << address << " within " << ms << " ms\n";
    return answered > 0 ? exitFound : exitNone;
}

} // namespace vork::cli
