#include "cli/cliargs.h"
#include "cli/commands.h"
#include "cli/consoleoperator.h"
#include "cli/exitcodes.h"
#include "cli/safetext.h"

#include "core/boundedwait.h"
#include "core/ports.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "services/unitservices.h"
#include "discovery/unitcolumns.h"
#include "unit/announcement.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QCommandLineParser>
#include "tools/ping.h"

#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace vork::cli {

namespace {

constexpr int exitFound = exitOk;
constexpr int exitNone = exitFailed;

bool parseSort(const QString &text, SortOrder &order)
{
    static const QStringList names = {QStringLiteral("none"),    QStringLiteral("ip"),     QStringLiteral("mac"),
                                      QStringLiteral("description"), QStringLiteral("readers"),
                                      QStringLiteral("model"),   QStringLiteral("runtime"), QStringLiteral("version")};
    bool isNumber = false;
    int index = text.toInt(&isNumber);
    if (!isNumber)
        index = static_cast<int>(names.indexOf(text.toLower()));
    if (index < 0 || index >= names.size())
        return false;
    order = static_cast<SortOrder>(index);
    return true;
}

QJsonArray bytes(const auto &array)
{
    QJsonArray a;
    for (auto b : array)
        a.append(static_cast<int>(b));
    return a;
}

QJsonObject toJson(const udppack &u, const QString &announcedIp)
{
    QJsonObject o;
    o[QStringLiteral("desc")] = u.desc;
    o[QStringLiteral("vnumber")] = u.vnumber;
    o[QStringLiteral("versionNumber")] = versionNumber(u.ver);
    o[QStringLiteral("vbuild")] = u.vbuild;
    o[QStringLiteral("vnum")] = bytes(u.ver.vnum);
    o[QStringLiteral("vbld")] = bytes(u.ver.vbld);
    o[QStringLiteral("vrcnt")] = u.ver.vrcnt;
    o[QStringLiteral("ip")] = u.ip;
    o[QStringLiteral("announcedIp")] = announcedIp;
    o[QStringLiteral("mac")] = u.mac;
    o[QStringLiteral("flash_mfg")] = u.flash_mfg;
    o[QStringLiteral("flash_typ")] = u.flash_typ;
    QJsonObject dt;
    dt[QStringLiteral("sec")] = u.dt.sec;
    dt[QStringLiteral("minutes")] = u.dt.minutes;
    dt[QStringLiteral("hrs")] = u.dt.hrs;
    dt[QStringLiteral("dayOfMonth")] = u.dt.dayOfMonth;
    dt[QStringLiteral("dayOfWeek")] = u.dt.dayOfWeek;
    dt[QStringLiteral("mon")] = u.dt.mon;
    dt[QStringLiteral("year")] = u.dt.year;
    dt[QStringLiteral("cent")] = u.dt.cent;
    o[QStringLiteral("dt")] = dt;
    o[QStringLiteral("caddr")] = u.caddr;
    o[QStringLiteral("rt")] = static_cast<qint64>(u.rt);
    o[QStringLiteral("blv")] = u.blv;
    o[QStringLiteral("naddr")] = u.naddr;
    o[QStringLiteral("model")] = u.model;
    o[QStringLiteral("cons")] = u.cons;
    o[QStringLiteral("zosv")] = bytes(u.zosv);
    o[QStringLiteral("cpui")] = u.cpui;
    o[QStringLiteral("ncp")] = u.ncp;
    o[QStringLiteral("bla")] = u.bla;
    o[QStringLiteral("blb")] = u.blb;
    o[QStringLiteral("dateoff")] = u.dateoff;
    o[QStringLiteral("minutesoff")] = u.minutesoff;
    o[QStringLiteral("standard")] = ProtocolVariant::standardRule(u);
    return o;
}

} // namespace

int discover(const QStringList &args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Runs one discovery cycle and prints one line per unit with the discovery list's columns\n"
        "(tab-separated: description, version, build date, IP, MAC, readers, flash, date, time,\n"
        "run time, boot loader, connections). Text from units is printed with control characters\n"
        "escaped (\\xNN). Units that answer with a deficient announcement, or that do not fit the\n"
        "table, are reported on stderr. Exit status 0 when a unit answered, 1 when none did."));
    p.addHelpOption();
    const QCommandLineOption to(QStringLiteral("to"),
                                QStringLiteral("Send the query to ADDRESS instead of the limited broadcast (repeatable)."),
                                QStringLiteral("ADDRESS"));
    const QCommandLineOption waitMs(QStringLiteral("wait"), QStringLiteral("Listening window in ms (default 500)."),
                                    QStringLiteral("MS"), QStringLiteral("500"));
    const QCommandLineOption localIp(QStringLiteral("local-ip"), QStringLiteral("Local interface address to bind."),
                                     QStringLiteral("ADDRESS"));
    const QCommandLineOption localPort(QStringLiteral("local-port"),
                                       QStringLiteral("Local UDP port (default 0: chosen by the system)."),
                                       QStringLiteral("PORT"), QStringLiteral("0"));
    const QCommandLineOption remotePort(QStringLiteral("port"), QStringLiteral("Units' UDP port (default 3010)."),
                                        QStringLiteral("PORT"), QString::number(unitUdpPort));
    const QCommandLineOption sort(QStringLiteral("sort"),
                                  QStringLiteral("Order: none, ip, mac, description, readers, model, runtime, version."),
                                  QStringLiteral("KEY"), QStringLiteral("none"));
    const QCommandLineOption sync(QStringLiteral("sync-clock"),
                                  QStringLiteral("Set every answering unit's clock to this computer's clock (asks unless --yes)."));
    const QCommandLineOption yes(QStringLiteral("yes"), QStringLiteral("Answer Yes to the --sync-clock question."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print a JSON array with every decoded field."));
    const QCommandLineOption header(QStringLiteral("header"), QStringLiteral("Print the column headers first."));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Print log lines to stderr."));
    p.addOptions({to, waitMs, localIp, localPort, remotePort, sort, sync, yes, json, header, verbose});

    QTextStream out(stdout);
    QTextStream err(stderr);
    if (const int status = parseCommand(p, QStringLiteral("discover"), args); status >= 0)
        return status;
    if (!p.positionalArguments().isEmpty()) {
        err << "vork discover: unexpected argument '" << escaped(p.positionalArguments().first()) << "'\n";
        return exitUsage;
    }

    bool ok1 = false, ok2 = false, ok3 = false;
    const int window = p.value(waitMs).toInt(&ok1);
    const int lport = p.value(localPort).toInt(&ok2);
    const int rport = p.value(remotePort).toInt(&ok3);
    if (!ok1 || window <= 0 || window > 60000) {
        err << "vork discover: --wait must be 1..60000 ms\n";
        return exitUsage;
    }
    if (!ok2 || lport < 0 || lport > 65535 || !ok3 || rport <= 0 || rport > 65535) {
        err << "vork discover: ports must be 0..65535\n";
        return exitUsage;
    }
    SortOrder order = SortOrder::None;
    if (!parseSort(p.value(sort), order)) {
        err << "vork discover: unknown sort key '" << escaped(p.value(sort)) << "'\n";
        return exitUsage;
    }
    const QStringList targets = p.values(to);
    for (const QString &t : targets) {
        if (!isValidIPv4(t)) {
            err << "vork discover: Invalid IP address entered: '" << escaped(t) << "'\n";
            return exitUsage;
        }
    }
    if (p.isSet(localIp) && !isValidIPv4(p.value(localIp))) {
        err << "vork discover: Invalid IP address entered: '" << escaped(p.value(localIp)) << "'\n";
        return exitUsage;
    }

    // Declared before the services whose signals fill them, so they outlive them.
    QStringList deficient;
    QStringList left;
    QHash<QString, QString> announcedIps; // sender + MAC -> the address text in the announcement
    QStringList sendErrors;

    ConsoleOperator op;
    op.assumeYes = p.isSet(yes);
    op.verbose = p.isSet(verbose);
    UnitServices services(op);
    TBroadcast &transport = services.transport();
    if (p.isSet(localIp))
        transport.setLocalIP(p.value(localIp));
    transport.setLocalPort(lport);
    if (!transport.bound()) {
        err << "vork discover: cannot bind UDP to " << (p.isSet(localIp) ? p.value(localIp) : QStringLiteral("0.0.0.0"))
            << ':' << lport << ": " << transport.bindError() << '\n';
        return exitLocal;
    }
    transport.setRemotePort(rport);
    transport.setTimeOut(window);

    // Asked before anything is sent: declined, no unit hears a thing.
    if (p.isSet(sync)) {
        if (op.ask(DiscoveryCycle::syncQuestion()) != Answer::Yes)
            return exitDeclined;
        op.assumeYes = true;
    }

    UnitTable &units = services.units();
    DiscoveryCycle &cycle = services.cycle();
    cycle.setSortOrder(order);
    cycle.setSyncClock(p.isSet(sync));

    // What the table cannot show is still news to the caller.
    transport.setOnDataReceived([&](const QByteArray &b, int n, const QString &from) {
        if (n < announcement::oldSize) {
            deficient << QStringLiteral("Deficient announcement from ") + from + QStringLiteral(": ")
                             + (n < 0 ? QStringLiteral("more than ") + QString::number(TBroadcast::bufferSize)
                                      : QString::number(n))
                             + QStringLiteral(" bytes (") + QString::number(announcement::oldSize)
                             + QStringLiteral(" to ") + QString::number(TBroadcast::bufferSize)
                             + QStringLiteral(" expected)");
        }
        cycle.dataReceived(b, n, from);
    });
    QObject::connect(&cycle, &DiscoveryCycle::announcementReceived, &services,
                     [&](const udppack &a, const QString &from) { announcedIps[from + QLatin1Char('|') + a.mac] = a.ip; });
    QObject::connect(&units, &UnitTable::tableFull, &services, [&](const QString &from) {
        if (!left.contains(from))
            left << from;
    });

    const auto sent = [&](const QString &target) {
        if (!transport.sendError().isEmpty())
            sendErrors << target + QStringLiteral(": ") + transport.sendError();
    };
    if (!targets.isEmpty()) {
        cycle.setUseList(true);
        cycle.sendToTargets = [&](const QByteArray &query) {
            for (const QString &t : targets) {
                transport.setBroadCastIP(t);
                transport.SendBroadCast(query);
                sent(t);
            }
        };
    }

    if (!cycle.start())
        return exitUsage;
    if (targets.isEmpty())
        sent(QStringLiteral("255.255.255.255"));
    wait::until([&] { return !cycle.collecting(); }, window + 5000);

    if (p.isSet(json)) {
        QJsonArray all;
        for (int i = 0; i < units.count(); ++i) {
            const udppack &u = units.unit(i);
            all.append(toJson(u, announcedIps.value(u.ip + QLatin1Char('|') + u.mac)));
        }
        out << jsonText(QJsonDocument(all), QJsonDocument::Indented);
    } else {
        if (p.isSet(header)) {
            QStringList h;
            for (int c = unitcolumns::Description; c < unitcolumns::Count; ++c)
                h << unitcolumns::header(c).trimmed();
            out << h.join(QLatin1Char('\t')) << '\n';
        }
        for (int i = 0; i < units.count(); ++i) {
            QStringList cells;
            for (int c = unitcolumns::Description; c < unitcolumns::Count; ++c)
                cells << escaped(unitcolumns::cellText(units.unit(i), c));
            out << cells.join(QLatin1Char('\t')) << '\n';
        }
    }
    out.flush();
    for (const QString &line : std::as_const(deficient))
        err << line << '\n';
    if (!left.isEmpty())
        err << "vork discover: " << left.size() << " more unit(s) answered but the list holds "
            << UnitTable::capacity << "; not listed: " << left.join(QLatin1Char(' ')) << '\n';
    if (!sendErrors.isEmpty()) {
        // The list may be short of units that never heard the query.
        for (const QString &e : std::as_const(sendErrors))
            err << "vork discover: cannot send the query to " << e << '\n';
        return exitLocal;
    }
    return units.count() > 0 ? exitFound : exitNone;
}

} // namespace vork::cli
