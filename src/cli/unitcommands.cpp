#include "cli/commands.h"
#include "cli/unitsession.h"

#include "connection/commandreplies.h"
#include "connection/connectionmanager.h"
#include "connection/unitcommands.h"
#include "core/boundedwait.h"
#include "discovery/unitcolumns.h"
#include "unit/announcement.h"

#include <QTcpSocket>

#include <functional>
#include <optional>
#include <QTextStream>

namespace vork::cli {

namespace {

// Parses "vork NAME [words] ADDRESS" with the common options; positional words before the address.
bool parse(QCommandLineParser &p, const QString &name, const QString &description, const QStringList &args,
           int words, QStringList &positional)
{
    p.setApplicationDescription(description);
    p.addHelpOption();
    UnitSession::addOptions(p);
    if (words)
        p.addPositionalArgument(QStringLiteral("WHAT"), QStringLiteral("What the command acts on."));
    p.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("The unit's IPv4 address."));
    QTextStream err(stderr);
    if (!p.parse(QStringList{QStringLiteral("vork ") + name} + args)) {
        err << p.errorText() << '\n';
        return false;
    }
    if (p.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << p.helpText();
        return false;
    }
    positional = p.positionalArguments();
    if (positional.size() != words + 1) {
        err << "usage: vork " << name << (words ? " WHAT" : "") << " ADDRESS (vork " << name << " --help)\n";
        return false;
    }
    return true;
}

// ": connection lost" when a wait ended because the unit closed the connection.
QString lostSuffix(ReplyWait end)
{
    return end == ReplyWait::Closed ? QStringLiteral(": ") + ConnectionManager::lostText() : QString();
}

int helpOrUsage(const QCommandLineParser &p)
{
    return p.isSet(QStringLiteral("help")) ? exitOk : exitUsage;
}

// What one unit command is: its name, help text, the words before the address
// (checked before the unit is contacted), its own options, and whether it needs
// the TCP connection.
struct Spec
{
    QString name;
    QString description;
    int words = 0;
    bool connect = true;
    std::function<void(QCommandLineParser &)> options;
    std::function<bool(const QStringList &words)> checkWords;
};
using Body = std::function<int(UnitSession &, const QCommandLineParser &, const QStringList &words)>;

// Parses, asks the unit who it is, connects when needed, runs the body, closes with 'C'.
int runOnUnit(const QStringList &args, const Spec &spec, const Body &body)
{
    QCommandLineParser p;
    if (spec.options)
        spec.options(p);
    QStringList pos;
    if (!parse(p, spec.name, spec.description, args, spec.words, pos))
        return helpOrUsage(p);
    const QStringList words = pos.mid(0, spec.words);
    if (spec.checkWords && !spec.checkWords(words))
        return exitUsage;
    UnitSession s;
    if (!s.configure(p, pos.last()))
        return exitUsage;
    if (!s.identify() || (spec.connect && !s.connectUnit()))
        return exitFailed;
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

} // namespace

int info(const QStringList &args)
{
    const Spec spec{QStringLiteral("info"), QStringLiteral("Asks one unit who it is and prints every field of its answer."),
                    0, false, {}, {}};
    return runOnUnit(args, spec, [](UnitSession &s, const QCommandLineParser &, const QStringList &) {
        const udppack &u = s.unit();
        QTextStream out(stdout);
        for (int c = unitcolumns::Description; c < unitcolumns::Count; ++c)
            out << unitcolumns::header(c).trimmed() << ": " << unitcolumns::cellText(u, c) << '\n';
        out << "Model: " << u.model << "\nCPU idle: " << u.cpui << "%\ncaddr: " << u.caddr << "\nnaddr: " << u.naddr
            << "\nProtocol: " << (ProtocolVariant::standardRule(u) ? "standard" : "EtherNet/IP")
            << "\nLogin required: " << (loginRequired(u) ? "yes" : "no") << '\n';
        return exitOk;
    });
}

int version(const QStringList &args)
{
    const Spec spec{QStringLiteral("version"), QStringLiteral("Prints a unit's firmware version, build date and readers."),
                    0, false, {}, {}};
    return runOnUnit(args, spec, [](UnitSession &s, const QCommandLineParser &, const QStringList &) {
        const udppack &u = s.unit();
        QTextStream(stdout) << u.vnumber << ' ' << u.vbuild << " readers " << u.ver.vrcnt << " boot loader "
                            << (u.blv.isEmpty() ? QStringLiteral("NA") : u.blv) << '\n';
        return exitOk;
    });
}

int clock(const QStringList &args)
{
    const QCommandLineOption set(QStringLiteral("set"), QStringLiteral("Set the unit's clock to this computer's clock first."));
    const Spec spec{QStringLiteral("clock"), QStringLiteral("Reads (and with --set, sets) a unit's clock."), 0, true,
                    [&](QCommandLineParser &p) { p.addOption(set); }, {}};
    return runOnUnit(args, spec, [&](UnitSession &s, const QCommandLineParser &p, const QStringList &) {
        // What the body listens to ends with it: a clock that comes after it never reaches it.
        QObject scope;
        QDateTime got;
        QObject::connect(&s.services.replies(), &CommandReplies::clockReceived, &scope,
                         [&got](const QDateTime &t) { got = t; });
        ConnectionManager &c = s.services.connections();
        UnitCommands &commands = s.services.commands();
        int status = exitFailed;
        if (!commands.enterSetupMode())
            return status;
        bool setOk = true;
        if (p.isSet(set)) {
            setOk = false;
            if (c.WaitForAck(s.socket(), 3, Command::ClockSet) == AckResult::Ack) {
                QByteArray bytes;
                writeDtpack(bytes, dtpackFromDateTime(QDateTime::currentDateTime()));
                if (QTcpSocket *socket = s.socket())
                    socket->write(bytes);
                setOk = c.WaitForAck(s.socket(), 3, Command::NoCommand) == AckResult::Ack;
            }
            if (!setOk)
                s.op.error(QStringLiteral("The unit did not take the clock"));
        }
        if (setOk && c.WaitForAck(s.socket(), 3, Command::ClockRead) == AckResult::Ack) {
            const ReplyWait end = c.waitForReply(s.unit(), [&] { return got.isValid(); }, 3000);
            if (end == ReplyWait::Done) {
                QTextStream(stdout) << CommandReplies::clockLabel(got).trimmed() << '\n';
                status = exitOk;
            } else {
                s.op.error(QStringLiteral("No clock received from Vork Unit ") + s.address + lostSuffix(end));
            }
        }
        commands.leaveSetupMode();
        return status;
    });
}

int checksum(const QStringList &args)
{
    const Spec spec{QStringLiteral("checksum"),
                    QStringLiteral("Has a unit compute its program checksum (up to a minute) and prints it."), 0, true, {},
                    {}};
    return runOnUnit(args, spec, [](UnitSession &s, const QCommandLineParser &, const QStringList &) {
        s.op.quiet = true; // the result goes to stdout below
        // What the body listens to ends with it: a result that comes after it never reaches it.
        QObject scope;
        std::optional<ChecksumResult> result;
        QObject::connect(&s.services.replies(), &CommandReplies::checksumReady, &scope,
                         [&result](const ChecksumResult &r) { result = r; });
        if (!s.services.commands().checksum()) {
            s.op.error(QStringLiteral("Vork Unit ") + s.address + QStringLiteral(" did not take the checksum request"));
            return exitFailed;
        }
        const ReplyWait end = s.services.connections().waitForReply(
            s.unit(), [&] { return result.has_value(); }, CommandReplies::checksumBusyMs + 5000);
        if (end != ReplyWait::Done) {
            s.op.error(QStringLiteral("No checksum received from Vork Unit ") + s.address + lostSuffix(end));
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
    const Spec spec{QStringLiteral("reboot"), QStringLiteral("Restarts a unit (asks unless --yes)."), 0, true, {}, {}};
    return runOnUnit(args, spec, [](UnitSession &s, const QCommandLineParser &, const QStringList &) {
        if (!s.services.commands().reboot())
            return exitFailed;
        QTextStream(stdout) << "Restart sent to Vork Unit " << s.address << '\n';
        return exitOk;
    });
}

int erase(const QStringList &args)
{
    const Spec spec{QStringLiteral("erase"),
                    QStringLiteral("Erases a unit's setup, history or persistent data (asks unless --yes).\n"
                                   "WHAT is setup, history or persistent."),
                    1, true, {}, [](const QStringList &words) {
                        UnitCommands::Erase kind;
                        if (eraseKind(words.first(), kind))
                            return true;
                        QTextStream(stderr) << "vork erase: WHAT must be setup, history or persistent\n";
                        return false;
                    }};
    return runOnUnit(args, spec, [](UnitSession &s, const QCommandLineParser &, const QStringList &words) {
        UnitCommands::Erase kind = UnitCommands::Erase::Setup;
        eraseKind(words.first(), kind);
        UnitCommands &commands = s.services.commands();
        if (!commands.enterSetupMode())
            return exitFailed;
        int status = exitFailed;
        const std::optional<AckResult> answer = commands.erase(kind);
        if (answer == AckResult::Ack)
            status = exitOk;
        else if (answer == AckResult::Nak)
            s.op.error(QStringLiteral("Vork Unit ") + s.address + QStringLiteral(" refused the erase"));
        else if (answer)
            s.op.error(QStringLiteral("Vork Unit ") + s.address + QStringLiteral(" did not answer the erase")
                       + (answer == AckResult::Closed ? QStringLiteral(": ") + ConnectionManager::lostText()
                                                      : QString()));
        commands.leaveSetupMode();
        if (status == exitOk)
            QTextStream(stdout) << "Erased " << words.first() << " of Vork Unit " << s.address << '\n';
        return status;
    });
}

} // namespace vork::cli
