#include "cli/cliargs.h"
#include "cli/commands.h"
#include "cli/consoleoperator.h"
#include "cli/eventtext.h"
#include "cli/exitcodes.h"
#include "cli/safetext.h"

#include "connection/connectionmanager.h"
#include "core/boundedwait.h"
#include "core/closesignals.h"
#include "core/pinger.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "monitor/monitorsession.h"
#include "services/unitservices.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace vork::cli {

namespace {

const QString commandName = QStringLiteral("monitor");

class NoPing : public Pinger
{
public:
    bool ping(const QString &, int, bool) override { return true; }
};

} // namespace

int monitor(const QStringList &args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Puts the units into monitor mode and prints one line per live record until interrupted\n"
        "(Ctrl+C, SIGTERM), --count records or --seconds; then takes each unit out of monitor mode\n"
        "and closes its connection."));
    p.addHelpOption();
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("One JSON object per record and line."));
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("Stop after N records."), QStringLiteral("N"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Stop S seconds after the start (finding and switching on the units included)."),
                                     QStringLiteral("S"));
    const QCommandLineOption noPing(QStringLiteral("no-ping"),
                                    QStringLiteral("Skip the ICMP reachability check before connecting."));
    const QCommandLineOption wait(QStringLiteral("wait"),
                                  QStringLiteral("How long the units have to answer the query (ms, default 1000)."),
                                  QStringLiteral("MS"), QStringLiteral("1000"));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Print log lines to stderr."));
    p.addOptions({json, count, seconds, noPing, wait, verbose});
    p.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("A unit's IPv4 address (one or more)."));
    if (const int status = parseCommand(p, commandName, args); status >= 0)
        return status;

    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList addresses = p.positionalArguments();
    if (addresses.isEmpty()) {
        err << "usage: vork monitor [options] ADDRESS... (vork monitor --help)\n";
        return exitUsage;
    }
    for (const QString &a : addresses) {
        if (const QString problem = unitAddressProblem(a); !problem.isEmpty()) {
            err << problem << '\n';
            return exitUsage;
        }
    }
    bool ok = true;
    const int waitMs = p.value(wait).toInt(&ok);
    if (!ok || waitMs <= 0 || waitMs > 60000) {
        err << "vork monitor: --wait must be 1..60000 ms\n";
        return exitUsage;
    }
    qint64 maxRecords = -1;
    if (p.isSet(count)) {
        maxRecords = p.value(count).toLongLong(&ok);
        if (!ok || maxRecords <= 0) {
            err << "vork monitor: --count must be a positive number\n";
            return exitUsage;
        }
    }
    int maxSeconds = -1;
    if (p.isSet(seconds)) {
        maxSeconds = p.value(seconds).toInt(&ok);
        if (!ok || maxSeconds <= 0 || maxSeconds > 7 * 24 * 3600) {
            err << "vork monitor: --seconds must be 1..604800\n";
            return exitUsage;
        }
    }
    // --seconds counts from here: finding and switching on the units is part of the run.
    QElapsedTimer running;
    running.start();
    const auto timeUp = [&] { return maxSeconds >= 0 && running.elapsed() >= qint64(maxSeconds) * 1000; };
    const auto timeLeftMs = [&](int atMost) {
        return maxSeconds < 0 ? atMost : int(qBound<qint64>(0, qint64(maxSeconds) * 1000 - running.elapsed(), qint64(atMost)));
    };

    ConsoleOperator op;
    op.verbose = p.isSet(verbose);
    UnitServices services(op);
    if (p.isSet(noPing))
        services.setPinger(std::make_unique<NoPing>());
    TBroadcast &transport = services.transport();
    transport.setLocalPort(0);
    transport.setTimeOut(waitMs);
    if (!transport.bound()) {
        err << "vork monitor: cannot bind UDP: " << transport.bindError() << '\n';
        return exitLocal;
    }

    // Who the units are: one query to each address, then every unit that answered is selected.
    DiscoveryCycle &cycle = services.cycle();
    cycle.setUseList(true);
    cycle.sendToTargets = [&](const QByteArray &query) {
        for (const QString &t : addresses) {
            transport.setBroadCastIP(t);
            transport.SendBroadCast(query);
        }
    };
    op.quiet = true; // "none found" is said below, once
    if (!cycle.start())
        return exitUsage;
    wait::until([&] { return !cycle.collecting(); }, timeLeftMs(waitMs + 5000));
    op.quiet = false;
    UnitTable &units = services.units();
    for (const QString &a : addresses) {
        const int i = units.findByIP(a);
        if (i < 0) {
            err << "No answer from Vork Unit " << a << " within " << waitMs << " ms\n";
            continue;
        }
        units.unit(i).selected = true;
    }

    MonitorSession session(services);
    QObject scope; // what this command listens to ends with it
    qint64 printed = 0;
    QObject::connect(&session, &MonitorSession::recordArrived, &scope, [&](int) {
        // Records still streaming while the units are being let go are not asked for.
        if (maxRecords >= 0 && printed >= maxRecords)
            return;
        const MonitorRow &row = session.rows().back();
        const int version = [&] {
            const int i = units.findByIP(row.ip);
            return i >= 0 ? versionNumber(units.unit(i).ver) : 0;
        }();
        if (p.isSet(json)) {
            QJsonObject o = eventJson(row.pack, DataPack::size, version, AlarmDetailReading::Standard);
            o.insert(QStringLiteral("unit"), row.ip);
            o.insert(QStringLiteral("mac"), row.mac);
            o.insert(QStringLiteral("counter"), qint64(row.counter));
            out << jsonText(QJsonDocument(o)) << '\n';
        } else {
            out << escaped(row.ip) << '\t' << row.pack.rdr << '\t' << eventKindWord(row.pack) << '\t'
                << dataPackTimeText(row.pack) << '\t' << eventFieldsText(row.pack) << '\t'
                << escaped(dataPackValueText(row.pack, version)) << '\n';
        }
        out.flush();
        ++printed;
    });

    CloseSignals interrupt;
    bool stop = false;
    QObject::connect(&interrupt, &CloseSignals::closeRequested, &scope, [&](int) { stop = true; });
    interrupt.arm();

    session.stopStarting = [&] { return stop || timeUp(); };
    const int monitored = session.monitorOn();
    if (session.notTried() > 0)
        err << "vork monitor: " << (stop ? QStringLiteral("interrupted") : QStringLiteral("--seconds ran out"))
            << " before " << session.notTried() << " of " << units.activeCount()
            << " units were put into monitor mode\n";
    if (monitored == 0) {
        err << "vork monitor: no unit is in monitor mode\n";
        session.monitorOff(Page::Discover);
        return exitFailed;
    }
    // Until interrupted, or the count or time is reached; each turn is short. A unit whose
    // link drops is reported at once (by the session) and the others go on.
    bool dropped = false;
    while (!stop && (maxRecords < 0 || printed < maxRecords) && !timeUp()) {
        wait::delay(50);
        // Nothing left to listen to once every monitored unit dropped its connection.
        bool anyOpen = false;
        for (int i = 0; i < units.count(); ++i)
            anyOpen = anyOpen || (units.unit(i).Monitor && units.unit(i).connected);
        if (!anyOpen) {
            err << "vork monitor: every unit closed its connection: " << ConnectionManager::lostText() << '\n';
            dropped = true;
            break;
        }
    }
    session.monitorOff(Page::Discover);
    // The current unit stays open after a single unit's quit: it is closed with 'C'.
    if (udppack *current = units.current(); current && current->connected)
        services.connections().Exit_socket(current);
    if (session.lostRecords() > 0)
        err << "vork monitor: " << session.lostRecords() << " live record(s) lost (arrived incomplete)\n";
    const bool allKept =
        monitored == addresses.size() && !dropped && session.linksDropped() == 0 && session.lostRecords() == 0;
    return allKept ? exitOk : exitFailed;
}

} // namespace vork::cli
