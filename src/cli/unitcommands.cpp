#include "cli/commands.h"
#include "cli/cliargs.h"
#include "cli/safetext.h"
#include "cli/setupfetch.h"
#include "cli/unitpassword.h"
#include "cli/unitsession.h"

#include "connection/commandreplies.h"
#include "connection/connectionmanager.h"
#include "connection/unitcommands.h"
#include "core/boundedwait.h"
#include "discovery/unicast.h"
#include "discovery/unitcolumns.h"
#include "setup/setupchecks.h"
#include "setup/setupdownload.h"
#include "setup/timezones.h"
#include "unit/announcement.h"
#include "unit/unitrules.h"

#include <QTcpSocket>

#include <functional>
#include <optional>
#include <QTextStream>

namespace vork::cli {

namespace {

// ": connection lost" or ": no answer within N s" for a wait for a reply block.
QString replyFailure(ReplyWait end, int ms)
{
    if (end == ReplyWait::Closed)
        return QStringLiteral(": ") + ConnectionManager::lostText();
    return QStringLiteral(": no answer within ") + QString::number((ms + 999) / 1000) + QStringLiteral(" s");
}

// Why an acknowledgement did not come, in a few words.
QString ackReason(AckResult result)
{
    switch (result) {
    case AckResult::Ack: break;
    case AckResult::Nak: return QStringLiteral("refused (NAK)");
    case AckResult::TimedOut: return QStringLiteral("no acknowledgement");
    case AckResult::Closed: return ConnectionManager::lostText();
    }
    return {};
}

// What one unit command is: its name, help text, the words before the address
// (checked before the unit is contacted), its own options, whether it needs
// the TCP connection, and its question (none: no --yes).
struct CommandInfo
{
    QString name;
    QString description;
    int words = 0;
    bool connect = true;
    std::function<void(QCommandLineParser &)> options;
    std::function<bool(const QStringList &words)> checkWords;
    std::function<QString(const QStringList &words, const QString &address)> question;
};
using Body = std::function<int(UnitSession &, const QCommandLineParser &, const QStringList &words)>;

// Parses, asks the question, asks the unit who it is, connects when needed, runs
// the body, closes with 'C'.
int runOnUnit(const QStringList &args, const CommandInfo &command, const Body &body)
{
    QCommandLineParser p;
    p.setApplicationDescription(command.description);
    p.addHelpOption();
    if (command.options)
        command.options(p);
    const bool asks = static_cast<bool>(command.question);
    UnitSession::addOptions(p, asks);
    if (command.words)
        p.addPositionalArgument(QStringLiteral("WHAT"), QStringLiteral("What the command acts on."));
    p.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("The unit's IPv4 address."));
    if (const int status = parseCommand(p, command.name, args); status >= 0)
        return status;
    const QStringList pos = p.positionalArguments();
    if (pos.size() != command.words + 1) {
        QTextStream(stderr) << "usage: vork " << command.name << " [options] " << (command.words ? "WHAT " : "")
                            << "ADDRESS (vork " << command.name << " --help)\n";
        return exitUsage;
    }
    const QStringList words = pos.mid(0, command.words);
    if (command.checkWords && !command.checkWords(words))
        return exitUsage;
    UnitSession s(command.name);
    if (const int status = s.configure(p, pos.last(), asks); status != exitOk)
        return status;
    // Asked before the unit is touched: a declined command leaves no trace on it.
    if (asks && !s.confirm(command.question(words, s.address)))
        return exitDeclined;
    if (const int status = s.identify(); status != exitOk)
        return status;
    if (command.connect) {
        if (const int status = s.connectUnit(); status != exitOk)
            return status;
    }
    const int status = body(s, p, words);
    s.closeUnit();
    return status;
}

bool eraseKind(const QString &what, UnitCommands::Erase &kind)
{
    static const QStringList names = {QStringLiteral("setup"), QStringLiteral("history"), QStringLiteral("persistent")};
    const qsizetype i = names.indexOf(what);
    if (i < 0)
        return false;
    kind = static_cast<UnitCommands::Erase>(i);
    return true;
}

// The zone options of "vork clock" applied to a setup record; false with the reason printed.
bool applyZone(const QCommandLineParser &p, const QStringList &names, setuppack &record)
{
    QTextStream err(stderr);
    if (p.isSet(names.at(0))) {
        bool ok = false;
        const int zone = p.value(names.at(0)).toInt(&ok);
        if (!ok || zone < 0 || zone >= timezones::zoneCount) {
            err << "vork clock: --zone must be 0.." << timezones::zoneCount - 1 << " (vork clock --list-zones)\n";
            return false;
        }
        record.setTzi(std::uint8_t(zone));
        record.setUtzo(false);
    }
    if (p.isSet(names.at(1))) {
        const std::optional<QByteArray> code = timezones::parseCode(p.value(names.at(1)));
        if (!code || !setupchecks::customZoneValid(*code)) {
            err << "vork clock: --custom takes 26 hexadecimal digits of a valid zone definition\n";
            return false;
        }
        record.setTzo(*code);
        record.setUtzo(true);
    }
    if (p.isSet(names.at(2))) {
        const QString v = p.value(names.at(2));
        if (v != QLatin1String("on") && v != QLatin1String("off")) {
            err << "vork clock: --dst takes on or off\n";
            return false;
        }
        record.setDst(v == QLatin1String("on"));
    }
    return true;
}

} // namespace

int info(const QStringList &args)
{
    const CommandInfo command{QStringLiteral("info"),
                              QStringLiteral("Asks one unit who it is and prints every field of its answer."),
                              0, false, {}, {}, {}};
    return runOnUnit(args, command, [](UnitSession &s, const QCommandLineParser &, const QStringList &) {
        const udppack &u = s.unit();
        QTextStream out(stdout);
        for (int c = unitcolumns::Description; c < unitcolumns::Count; ++c)
            out << unitcolumns::header(c).trimmed() << ": " << escaped(unitcolumns::cellText(u, c)) << '\n';
        out << "Announced IP: " << escaped(s.announcedIp) << "\nModel: " << u.model << "\nCPU idle: " << u.cpui
            << "%\ncaddr: " << u.caddr << "\nnaddr: " << u.naddr
            << "\nProtocol: " << (ProtocolVariant::standardRule(u) ? "standard" : "EtherNet/IP")
            << "\nLogin required: " << (loginRequired(u) ? "yes" : "no") << '\n';
        return exitOk;
    });
}

int version(const QStringList &args)
{
    const CommandInfo command{QStringLiteral("version"),
                              QStringLiteral("Prints a unit's firmware version, build date and readers."),
                              0, false, {}, {}, {}};
    return runOnUnit(args, command, [](UnitSession &s, const QCommandLineParser &, const QStringList &) {
        const udppack &u = s.unit();
        QTextStream(stdout) << escaped(u.vnumber) << ' ' << escaped(u.vbuild) << " readers " << u.ver.vrcnt
                            << " boot loader " << (u.blv.isEmpty() ? QStringLiteral("NA") : escaped(u.blv)) << '\n';
        return exitOk;
    });
}

int clock(const QStringList &args)
{
    const QCommandLineOption set(QStringLiteral("set"), QStringLiteral("Set the unit's clock to this computer's clock first."));
    const QCommandLineOption zone(QStringLiteral("zone"), QStringLiteral("Give the unit standard time zone N (0-84)."),
                                  QStringLiteral("N"));
    const QCommandLineOption custom(QStringLiteral("custom"),
                                    QStringLiteral("Give the unit a custom zone definition (26 hexadecimal digits)."),
                                    QStringLiteral("CODE"));
    const QCommandLineOption dst(QStringLiteral("dst"), QStringLiteral("Daylight saving time on or off."),
                                 QStringLiteral("on|off"));
    const QCommandLineOption listZones(QStringLiteral("list-zones"), QStringLiteral("Print the standard zones and end."));
    // The zone list needs no unit.
    if (args.contains(QStringLiteral("--list-zones"))) {
        QTextStream out(stdout);
        for (int i = 0; i < timezones::zoneCount; ++i)
            out << i << '\t' << timezones::zone(i).name << '\t' << timezones::zone(i).code << '\n';
        return exitOk;
    }
    const CommandInfo command{
        QStringLiteral("clock"),
        QStringLiteral("Reads (and with --set, sets) a unit's clock. --zone, --custom and --dst change the unit's\n"
                       "time zone in its setup record first (downloaded after the editor's checks)."),
        0, true,
        [&](QCommandLineParser &p) {
            p.addOptions({set, zone, custom, dst, listZones});
            addPasswordFileOption(p);
        },
        {}, {}};
    return runOnUnit(args, command, [&](UnitSession &s, const QCommandLineParser &p, const QStringList &) {
        const bool zoneChange = p.isSet(zone) || p.isSet(custom) || p.isSet(dst);
        const QStringList zoneNames = {zone.names().first(), custom.names().first(), dst.names().first()};
        // Bad zone options are refused before the unit is asked for anything.
        setuppack probe;
        if (zoneChange && !applyZone(p, zoneNames, probe))
            return exitUsage;
        if (zoneChange) {
            QByteArray bytes;
            int length = 0;
            bool entered = false;
            int status = fetchSetup(s, bytes, length, entered);
            if (status == exitOk) {
                const setuppack received(bytes);
                setuppack outgoing = received;
                if (const int allowed = unitPasswordAllowed(s, p, received); allowed != exitOk) {
                    status = allowed;
                } else if (!applyZone(p, zoneNames, outgoing)) {
                    status = exitUsage;
                } else if (outgoing == received) {
                    s.op.log(QStringLiteral("Timezone data not sent - no changes made since last save"));
                    QTextStream(stderr) << "vork clock: the unit has that zone already; nothing sent\n";
                } else {
                    SetupDownload download(s.services);
                    download.setReceived(received);
                    const SetupDownload::Result r = download.download(outgoing);
                    if (r != SetupDownload::Result::Saved)
                        status = r == SetupDownload::Result::Invalid ? exitUsage : exitFailed;
                }
            }
            if (entered)
                status = leaveSetup(s, status);
            if (status != exitOk)
                return status;
        }
        // What the body listens to ends with it: a clock that comes after it never reaches it.
        QObject scope;
        QDateTime got;
        QObject::connect(&s.services.replies(), &CommandReplies::clockReceived, &scope,
                         [&got](const QDateTime &t) { got = t; });
        ConnectionManager &c = s.services.connections();
        if (const AckResult a = s.send(Command::Setup, 3); a != AckResult::Ack)
            return s.ackFailed(a, QStringLiteral("the setup command (S)"));
        int status = exitOk;
        if (p.isSet(set)) {
            AckResult a = s.send(Command::ClockSet, 3);
            if (a == AckResult::Ack) {
                QByteArray bytes;
                writeDtpack(bytes, dtpackFromDateTime(QDateTime::currentDateTime()));
                if (QTcpSocket *socket = s.socket())
                    socket->write(bytes);
                a = c.WaitForAck(s.socket(), 3, Command::NoCommand);
                if (a != AckResult::Ack)
                    status = s.ackFailed(a, QStringLiteral("the new clock"));
            } else {
                status = s.ackFailed(a, QStringLiteral("the clock setting (t)"));
            }
        }
        if (status == exitOk) {
            if (const AckResult a = s.send(Command::ClockRead, 3); a != AckResult::Ack) {
                status = s.ackFailed(a, QStringLiteral("the clock read (T)"));
            } else {
                constexpr int clockWaitMs = 3000;
                const ReplyWait end = c.waitForReply(s.unit(), [&] { return got.isValid(); }, clockWaitMs);
                if (end != ReplyWait::Done) {
                    s.op.error(QStringLiteral("No clock received from Vork Unit ") + s.address
                               + replyFailure(end, clockWaitMs));
                    status = exitFailed;
                }
            }
        }
        status = leaveSetup(s, status);
        // Nothing on stdout unless the whole command went through.
        if (status == exitOk)
            QTextStream(stdout) << CommandReplies::clockLabel(got).trimmed() << '\n';
        return status;
    });
}

int checksum(const QStringList &args)
{
    const CommandInfo command{
        QStringLiteral("checksum"),
        QStringLiteral("Has a unit compute its program checksum (up to a minute) and prints it (asks unless --yes)."),
        0, true, {}, {}, [](const QStringList &, const QString &) { return UnitCommands::checksumQuestion(); }};
    return runOnUnit(args, command, [](UnitSession &s, const QCommandLineParser &, const QStringList &) {
        s.op.quiet = true; // the result goes to stdout below
        // What the body listens to ends with it: a result that comes after it never reaches it.
        QObject scope;
        std::optional<ChecksumResult> result;
        QObject::connect(&s.services.replies(), &CommandReplies::checksumReady, &scope,
                         [&result](const ChecksumResult &r) { result = r; });
        if (const AckResult a = s.send(Command::Checksum, 5); a != AckResult::Ack) {
            s.op.error(QStringLiteral("Vork Unit ") + s.address + QStringLiteral(" did not take the checksum request: ")
                       + ackReason(a));
            return exitFailed;
        }
        s.services.replies().checksumRequested();
        constexpr int resultWaitMs = CommandReplies::checksumBusyMs + 5000;
        const ReplyWait end = s.services.connections().waitForReply(
            s.unit(), [&] { return result.has_value(); }, resultWaitMs);
        if (end != ReplyWait::Done) {
            s.op.error(QStringLiteral("No checksum received from Vork Unit ") + s.address
                       + replyFailure(end, resultWaitMs));
            return exitFailed;
        }
        const ChecksumResult &r = *result;
        QTextStream(stdout) << "Checksum = " << QString::number(r.checksum, 16) << " Byte Count = "
                            << QString::number(r.byteCount, 16) << '\n'
                            << (r.ramMatches() ? QStringLiteral("RAM program matches FLASH")
                                               : QStringLiteral("RAM program mismatch at location ")
                                                     + QString::number(r.location, 16))
                            << '\n';
        return exitOk;
    });
}

int reboot(const QStringList &args)
{
    const CommandInfo command{QStringLiteral("reboot"), QStringLiteral("Restarts a unit (asks unless --yes)."), 0, true,
                              {}, {}, [](const QStringList &, const QString &address) {
                                  return UnitCommands::rebootQuestion(address);
                              }};
    return runOnUnit(args, command, [](UnitSession &s, const QCommandLineParser &, const QStringList &) {
        if (!s.services.commands().reboot()) {
            s.op.error(QStringLiteral("Restart not sent to Vork Unit ") + s.address + QStringLiteral(": ")
                       + ConnectionManager::lostText());
            return exitFailed;
        }
        QTextStream(stdout) << "Restart sent to Vork Unit " << s.address << '\n';
        return exitOk;
    });
}

int erase(const QStringList &args)
{
    const CommandInfo command{
        QStringLiteral("erase"),
        QStringLiteral("Erases a unit's setup, history or persistent data (asks unless --yes).\n"
                       "WHAT is setup, history or persistent."),
        1, true, {},
        [](const QStringList &words) {
            UnitCommands::Erase kind;
            if (eraseKind(words.first(), kind))
                return true;
            QTextStream(stderr) << "vork erase: WHAT must be setup, history or persistent\n";
            return false;
        },
        [](const QStringList &words, const QString &) {
            UnitCommands::Erase kind = UnitCommands::Erase::Setup;
            eraseKind(words.first(), kind);
            return UnitCommands::eraseQuestion(kind);
        }};
    return runOnUnit(args, command, [](UnitSession &s, const QCommandLineParser &, const QStringList &words) {
        UnitCommands::Erase kind = UnitCommands::Erase::Setup;
        eraseKind(words.first(), kind);
        if (const AckResult a = s.send(Command::Setup, 3); a != AckResult::Ack)
            return s.ackFailed(a, QStringLiteral("the setup command (S)"));
        int status = exitOk;
        const std::optional<AckResult> answer = s.services.commands().erase(kind);
        if (!answer) {
            // Declined was ruled out before: the unit went away.
            s.op.error(QStringLiteral("Vork Unit ") + s.address + QStringLiteral(" did not answer the erase: ")
                       + ConnectionManager::lostText());
            status = exitFailed;
        } else if (*answer != AckResult::Ack) {
            status = s.ackFailed(*answer, QStringLiteral("the erase"));
        }
        status = leaveSetup(s, status);
        if (status == exitOk)
            QTextStream(stdout) << "Erased " << words.first() << " of Vork Unit " << s.address << '\n';
        return status;
    });
}

namespace {

// A word of the command line as the request letter it stands for; 0 for none.
char letterFor(const QString &word, std::initializer_list<std::pair<const char *, char>> table)
{
    for (const auto &[name, letter] : table)
        if (word == QLatin1String(name))
            return letter;
    return 0;
}

const std::initializer_list<std::pair<const char *, char>> ramWords = {
    {"zero", '0'}, {"one", '1'}, {"safe-on", 'e'}, {"safe-off", 'd'}};
const std::initializer_list<std::pair<const char *, char>> archiveWords = {
    {"create", 'a'}, {"restore", 'r'}, {"delete", 'd'}, {"compare", 'c'}};
const std::initializer_list<std::pair<const char *, char>> serviceWords = {
    {"web", 'w'}, {"discovery", 'r'}, {"telnet", 't'}};

std::unique_ptr<UnicastCommands> unicastOf(UnitSession &s)
{
    // Answers of these requests come through the discovery cycle's receive path.
    s.services.routeTransportToCycle();
    return std::make_unique<UnicastCommands>(s.op, s.services.transport(), s.services.cycle(), s.services.units());
}

int unicastStatus(UnitSession &s, UnicastCommands::Result r)
{
    switch (r) {
    case UnicastCommands::Result::Done: return exitOk;
    case UnicastCommands::Result::Declined: return exitDeclined;
    case UnicastCommands::Result::BadRequest: return exitUsage;
    case UnicastCommands::Result::NoAnswer:
        s.op.error(QStringLiteral("No answer from Vork Unit ") + s.address);
        return exitFailed;
    default: return exitFailed;
    }
}

} // namespace

int ram(const QStringList &args)
{
    const CommandInfo command{
        QStringLiteral("ram"),
        QStringLiteral("Sets a unit's RAM speed or safe mode by datagram (asks unless --yes).\n"
                       "WHAT is zero, one, safe-on or safe-off."),
        1, false, {},
        [](const QStringList &words) {
            if (letterFor(words.first(), ramWords))
                return true;
            QTextStream(stderr) << "vork ram: WHAT must be zero, one, safe-on or safe-off\n";
            return false;
        },
        [](const QStringList &words, const QString &address) {
            return UnicastCommands::ramQuestion(letterFor(words.first(), ramWords), address);
        }};
    return runOnUnit(args, command, [](UnitSession &s, const QCommandLineParser &, const QStringList &words) {
        const auto unicast = unicastOf(s);
        return unicastStatus(s, unicast->ramRequest(s.address, letterFor(words.first(), ramWords)));
    });
}

int archive(const QStringList &args)
{
    const CommandInfo command{
        QStringLiteral("archive"),
        QStringLiteral("Creates, restores, deletes or compares a unit's setup archive (asks unless --yes).\n"
                       "WHAT is create, restore, delete or compare. Status 0 only for the unit's \"done\"."),
        1, false, {},
        [](const QStringList &words) {
            if (letterFor(words.first(), archiveWords))
                return true;
            QTextStream(stderr) << "vork archive: WHAT must be create, restore, delete or compare\n";
            return false;
        },
        [](const QStringList &words, const QString &address) {
            return UnicastCommands::archiveQuestion(letterFor(words.first(), archiveWords), address);
        }};
    return runOnUnit(args, command, [](UnitSession &s, const QCommandLineParser &, const QStringList &words) {
        // Older firmware has no archive: nothing is sent that it could misread.
        if (versionNumber(s.unit().ver) < UnicastCommands::archiveFirstVersion) {
            s.op.error(QStringLiteral("Vork Unit ") + s.address + QStringLiteral(" runs firmware ")
                       + escaped(s.unit().vnumber) + QStringLiteral(": the setup archive needs 5.0.2 or later"));
            return exitFailed;
        }
        const auto unicast = unicastOf(s);
        return unicastStatus(s, unicast->archiveRequest(s.address, letterFor(words.first(), archiveWords)));
    });
}

int restartService(const QStringList &args)
{
    const CommandInfo command{
        QStringLiteral("restart-service"),
        QStringLiteral("Restarts one of a unit's network services by datagram (asks unless --yes).\n"
                       "WHAT is web, discovery or telnet. The unit does not answer."),
        1, false, {},
        [](const QStringList &words) {
            if (letterFor(words.first(), serviceWords))
                return true;
            QTextStream(stderr) << "vork restart-service: WHAT must be web, discovery or telnet\n";
            return false;
        },
        [](const QStringList &words, const QString &address) {
            return UnicastCommands::restartQuestion(letterFor(words.first(), serviceWords), address);
        }};
    return runOnUnit(args, command, [](UnitSession &s, const QCommandLineParser &, const QStringList &words) {
        const auto unicast = unicastOf(s);
        if (!unicast->restartService(s.address, letterFor(words.first(), serviceWords)))
            return exitDeclined;
        QTextStream(stdout) << "Restart sent to Vork Unit " << s.address << '\n';
        return exitOk;
    });
}

int rebootUdp(const QStringList &args)
{
    const CommandInfo command{
        QStringLiteral("reboot-udp"),
        QStringLiteral("Restarts a unit by datagram, addressed by its MAC, without a TCP connection (asks unless --yes)."),
        0, false, {}, {}, [](const QStringList &, const QString &address) {
            return UnitCommands::rebootQuestion(address);
        }};
    return runOnUnit(args, command, [](UnitSession &s, const QCommandLineParser &, const QStringList &) {
        const auto unicast = unicastOf(s);
        if (!unicast->reboot(s.unit())) {
            s.op.error(QStringLiteral("Vork Unit ") + s.address + QStringLiteral(" has no usable MAC address"));
            return exitFailed;
        }
        QTextStream(stdout) << "Restart sent to Vork Unit " << s.address << '\n';
        return exitOk;
    });
}

int syncClock(const QStringList &args)
{
    const CommandInfo command{QStringLiteral("sync-clock"),
                              QStringLiteral("Sets a unit's clock to this computer's by datagram and prints the "
                                             "clock its answer carries."),
                              0, false, {}, {}, {}};
    return runOnUnit(args, command, [](UnitSession &s, const QCommandLineParser &, const QStringList &) {
        const auto unicast = unicastOf(s);
        unicast->syncClock(s.unit(), dtpackFromDateTime(QDateTime::currentDateTime()));
        // The unit answers with its announcement: asked again, it shows the clock it took.
        if (const int status = s.identify(); status != exitOk)
            return status;
        const dtpack &d = s.unit().dt;
        QTextStream(stdout) << QStringLiteral("%1-%2-%3 %4:%5:%6")
                                   .arg(d.fullYear())
                                   .arg(d.mon, 2, 10, QLatin1Char('0'))
                                   .arg(d.dayOfMonth, 2, 10, QLatin1Char('0'))
                                   .arg(d.hrs, 2, 10, QLatin1Char('0'))
                                   .arg(d.minutes, 2, 10, QLatin1Char('0'))
                                   .arg(d.sec, 2, 10, QLatin1Char('0'))
                            << '\n';
        return exitOk;
    });
}

} // namespace vork::cli
