#include "cli/cliargs.h"
#include "cli/commands.h"
#include "cli/consoleoperator.h"
#include "cli/exitcodes.h"
#include "cli/safetext.h"
#include "core/address.h"
#include "core/boundedwait.h"
#include "core/ports.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "discovery/factoryreset.h"
#include "discovery/setip.h"
#include "discovery/unicast.h"
#include "services/unitservices.h"
#include "unit/records.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace vork::cli {

namespace {

struct Common
{
    QCommandLineOption to{QStringLiteral("to"),
                          QStringLiteral("Send to these addresses (comma-separated or repeated) instead of the limited "
                                         "broadcast."),
                          QStringLiteral("LIST")};
    QCommandLineOption waitMs{QStringLiteral("wait"), QStringLiteral("Listening window in ms (default 1500)."),
                              QStringLiteral("MS"), QStringLiteral("1500")};
    QCommandLineOption localIp{QStringLiteral("local-ip"), QStringLiteral("Local interface address to bind."),
                               QStringLiteral("ADDRESS")};
    QCommandLineOption remotePort{QStringLiteral("port"), QStringLiteral("Units' UDP port (default 3010)."),
                                  QStringLiteral("PORT"), QString::number(unitUdpPort)};
    QCommandLineOption noPing{QStringLiteral("no-ping"), QStringLiteral("Skip the ICMP check of the address.")};
    QCommandLineOption verbose{QStringLiteral("verbose"), QStringLiteral("Print log lines to stderr.")};

    void add(QCommandLineParser &p) const { p.addOptions({to, waitMs, localIp, remotePort, noPing, verbose}); }

    // Sets up the transport; the problem's text when an option is wrong.
    QString apply(const QCommandLineParser &p, UnitServices &s, QStringList &targets, int &window) const
    {
        bool ok1 = false, ok2 = false;
        window = p.value(waitMs).toInt(&ok1);
        const int rport = p.value(remotePort).toInt(&ok2);
        if (!ok1 || window <= 0 || window > 60000)
            return QStringLiteral("--wait must be 1..60000 ms");
        if (!ok2 || rport <= 0 || rport > 65535)
            return QStringLiteral("--port must be 1..65535");
        for (const QString &v : p.values(to))
            for (const QString &t : v.split(QLatin1Char(','), Qt::SkipEmptyParts))
                targets << t.trimmed();
        for (const QString &t : std::as_const(targets))
            if (!isValidIPv4(t))
                return QStringLiteral("Invalid IP address entered: '") + escaped(t) + QLatin1Char('\'');
        TBroadcast &tr = s.transport();
        tr.setRemotePort(rport);
        tr.setTimeOut(window);
        tr.setLocalPort(0);
        if (p.isSet(localIp))
            tr.setLocalIP(p.value(localIp));
        if (!tr.bound())
            return QStringLiteral("cannot bind the UDP socket: ") + tr.bindError();
        return {};
    }
};

// "00-50-C2-2C-01-02", "00:50:..." or "0050C22C0102" as the tab's six boxes.
bool macBoxes(const QString &text, SetIp::MacBoxes &boxes)
{
    QString hex = text;
    hex.remove(QLatin1Char('-')).remove(QLatin1Char(':'));
    if (hex.size() != 12)
        return false;
    hex = hex.toUpper();
    for (int i = 0; i < 6; ++i)
        boxes[std::size_t(i)] = hex.mid(2 * i, 2);
    return true;
}

} // namespace

int setIp(const QStringList &args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Gives the unit with MAC its new address IP by datagram, then runs a discovery and waits for the unit\n"
        "to answer from IP with its MAC. Exit 0 only then; 6 when IP already answers a ping (nothing sent);\n"
        "1 when the unit did not confirm. With --to the request and the discovery go to those addresses."));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("MAC"), QStringLiteral("12 hex digits, pairs may be joined by - or :"));
    p.addPositionalArgument(QStringLiteral("IP"), QStringLiteral("the unit's new address"));
    const QCommandLineOption mask(QStringLiteral("mask"), QStringLiteral("Subnet mask (default 255.255.255.0)."),
                                  QStringLiteral("M"), QStringLiteral("255.255.255.0"));
    const QCommandLineOption gateway(QStringLiteral("gateway"), QStringLiteral("Default gateway (default 0.0.0.0)."),
                                     QStringLiteral("G"), QStringLiteral("0.0.0.0"));
    p.addOptions({mask, gateway});
    const Common common;
    common.add(p);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (const int status = parseCommand(p, QStringLiteral("set-ip"), args); status >= 0)
        return status;
    const QStringList pos = p.positionalArguments();
    if (pos.size() != 2) {
        err << "vork set-ip: needs MAC and IP (vork set-ip --help)\n";
        return exitUsage;
    }

    ConsoleOperator op;
    op.verbose = p.isSet(common.verbose);
    UnitServices services(op);
    QStringList targets;
    int window = 0;
    if (const QString problem = common.apply(p, services, targets, window); !problem.isEmpty()) {
        err << "vork set-ip: " << problem << '\n';
        return problem.startsWith(QLatin1String("cannot bind")) ? exitLocal : exitUsage;
    }
    SetIp::Request request;
    if (!macBoxes(pos.at(0), request.mac)) {
        err << "vork set-ip: Invalid MAC address specified: '" << escaped(pos.at(0)) << "'\n";
        return exitUsage;
    }
    request.ip = pos.at(1);
    request.mask = p.value(mask);
    request.gateway = p.value(gateway);

    DiscoveryCycle &cycle = services.cycle();
    SetIp &setIp = services.setIp();
    if (p.isSet(common.noPing))
        setIp.ping = nullptr;
    if (!targets.isEmpty()) {
        cycle.setUseList(true);
        setIp.listTargets = [&] { return targets; };
        cycle.sendToTargets = [&](const QByteArray &query) {
            for (const QString &t : std::as_const(targets)) {
                services.transport().setBroadCastIP(t);
                services.transport().SendBroadCast(query);
            }
        };
    }
    SetIp::Refusal refusal{};
    bool refused = false;
    QObject::connect(&setIp, &SetIp::refused, &services, [&](SetIp::Refusal why) {
        refused = true;
        refusal = why;
    });
    if (!setIp.start(request)) {
        if (refused && refusal == SetIp::Refusal::InUse) {
            err << "vork set-ip: " << request.ip << " already answers a ping: nothing was sent\n";
            return exitInUse;
        }
        err << "vork set-ip: nothing was sent\n";
        return exitUsage;
    }
    if (!services.transport().sendError().isEmpty()) {
        err << "vork set-ip: cannot send: " << services.transport().sendError() << '\n';
        return exitLocal;
    }
    wait::until([&] { return !setIp.waiting(); }, window + 5000);
    if (setIp.state() == SetIp::State::Confirmed) {
        out << setIp.confirmedAddress() << '\t' << setIp.confirmedMac() << '\n';
        return exitOk;
    }
    err << "vork set-ip: no unit answered from " << request.ip << " with MAC " << SetIp::macText(request.mac)
        << '\n';
    return exitFailed;
}

int factoryReset(const QStringList &args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Restores a unit's factory defaults: by ADDRESS over its TCP command port (setup mode, erase the setup,\n"
        "reboot), or with --mac by datagram to the limited broadcast (or --to), then a discovery there for that\n"
        "MAC: exit 0 once the unit answers it. Asks unless --yes."));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("the unit's address (TCP path)"));
    const QCommandLineOption mac(QStringLiteral("mac"), QStringLiteral("The unit's MAC, 12 hex digits (UDP path)."),
                                 QStringLiteral("MAC"));
    const QCommandLineOption yes(QStringLiteral("yes"), QStringLiteral("Answer Yes to the question."));
    const QCommandLineOption tcpPort(QStringLiteral("tcp-port"), QStringLiteral("Units' TCP port (default 3011)."),
                                     QStringLiteral("PORT"), QString::number(commandPort));
    p.addOptions({mac, yes, tcpPort});
    const Common common;
    common.add(p);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (const int status = parseCommand(p, QStringLiteral("factory-reset"), args); status >= 0)
        return status;
    const QStringList pos = p.positionalArguments();
    if (p.isSet(mac) == (pos.size() == 1) || pos.size() > 1) {
        err << "vork factory-reset: give either --mac MAC or one ADDRESS\n";
        return exitUsage;
    }
    bool portOk = false;
    const int tport = p.value(tcpPort).toInt(&portOk);
    if (!portOk || tport <= 0 || tport > 65535) {
        err << "vork factory-reset: --tcp-port must be 1..65535\n";
        return exitUsage;
    }
    const QString target = p.isSet(mac) ? p.value(mac) : pos.first();
    if (p.isSet(mac) ? !FactoryReset::validMacText(target) : !isValidUnitIP(target, false)) {
        err << "vork factory-reset: " << escaped(target)
            << (p.isSet(mac) ? " is not a valid Brivella MAC address\n" : " is not a valid unit address\n");
        return exitUsage;
    }

    ConsoleOperator op;
    op.verbose = p.isSet(common.verbose);
    op.assumeYes = p.isSet(yes);
    UnitServices services(op);
    QStringList targets;
    int window = 0;
    if (const QString problem = common.apply(p, services, targets, window); !problem.isEmpty()) {
        err << "vork factory-reset: " << problem << '\n';
        return problem.startsWith(QLatin1String("cannot bind")) ? exitLocal : exitUsage;
    }
    if (op.ask(QStringLiteral("Restore the factory defaults of Vork Unit ") + target + QLatin1Char('?'))
        != Answer::Yes)
        return exitDeclined;

    FactoryReset &reset = services.factoryReset();
    reset.port = quint16(tport);
    if (p.isSet(common.noPing))
        reset.ping = [](const QString &, int) { return true; };
    if (!p.isSet(mac)) {
        op.quiet = true; // the result goes to stdout below, once
        const FactoryReset::Result result = reset.resetByAddress(target);
        op.quiet = false;
        switch (result) {
        case FactoryReset::Result::Restored:
            out << FactoryReset::restoredText(target) << '\n';
            return exitOk;
        case FactoryReset::Result::NotFound:
            return exitFailed;
        case FactoryReset::Result::ConnectFailed:
            err << "vork factory-reset: cannot connect to " << target << ':' << tport << '\n';
            return exitFailed;
        default:
            err << "vork factory-reset: Vork Unit " << target << " did not acknowledge; the sequence stopped\n";
            return exitFailed;
        }
    }

    if (targets.size() > 1) {
        err << "vork factory-reset: --mac takes one --to address\n";
        return exitUsage;
    }
    if (!targets.isEmpty())
        reset.udpDestination = targets.first();
    bool answered = false;
    QObject::connect(&services.cycle(), &DiscoveryCycle::announcementReceived, &services,
                     [&](const udppack &a, const QString &) {
                         if (a.mac.compare(target, Qt::CaseInsensitive) == 0)
                             answered = true;
                     });
    if (reset.resetByMac(target) != FactoryReset::Result::Requested)
        return exitUsage;
    if (!services.transport().sendError().isEmpty()) {
        err << "vork factory-reset: cannot send: " << services.transport().sendError() << '\n';
        return exitLocal;
    }
    // The unit does not answer the request itself: a discovery for its MAC shows it took it.
    DiscoveryCycle &cycle = services.cycle();
    cycle.setQuietWhenEmpty(true); // the failure is said below, once
    if (!targets.isEmpty()) {
        cycle.setUseList(true);
        cycle.sendToTargets = [&](const QByteArray &query) {
            services.transport().setBroadCastIP(targets.first());
            services.transport().SendBroadCast(query);
        };
    }
    if (cycle.start())
        wait::until([&] { return answered || !cycle.collecting(); }, window + 5000);
    if (answered) {
        out << "Factory Reset Successful for " << target << '\n';
        return exitOk;
    }
    err << "vork factory-reset: no answer from the unit with MAC " << target << '\n';
    return exitFailed;
}

} // namespace vork::cli
