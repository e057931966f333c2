#include "cli/commands.h"
#include "cli/unitsession.h"

#include "app/boundedwait.h"
#include "discovery/unitcolumns.h"
#include "unit/announcement.h"

#include <QTcpSocket>
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

int helpOrUsage(const QCommandLineParser &p)
{
    return p.isSet(QStringLiteral("help")) ? exitOk : exitUsage;
}

} // namespace

int info(const QStringList &args)
{
    QCommandLineParser p;
    QStringList pos;
    if (!parse(p, QStringLiteral("info"), QStringLiteral("Asks one unit who it is and prints every field of its answer."),
               args, 0, pos))
        return helpOrUsage(p);
    UnitSession s;
    if (!s.configure(p, pos.first()))
        return exitUsage;
    if (!s.identify())
        return exitFailed;
    const udppack &u = s.unit();
    QTextStream out(stdout);
    for (int c = unitcolumns::Description; c < unitcolumns::Count; ++c)
        out << unitcolumns::header(c).trimmed() << ": " << unitcolumns::cellText(u, c) << '\n';
    out << "Model: " << u.model << "\nCPU idle: " << u.cpui << "%\ncaddr: " << u.caddr << "\nnaddr: " << u.naddr
        << "\nProtocol: " << (ProtocolVariant::standardRule(u) ? "standard" : "EtherNet/IP")
        << "\nLogin required: " << (loginRequired(u) ? "yes" : "no") << '\n';
    return exitOk;
}

int version(const QStringList &args)
{
    QCommandLineParser p;
    QStringList pos;
    if (!parse(p, QStringLiteral("version"), QStringLiteral("Prints a unit's firmware version, build date and readers."),
               args, 0, pos))
        return helpOrUsage(p);
    UnitSession s;
    if (!s.configure(p, pos.first()))
        return exitUsage;
    if (!s.identify())
        return exitFailed;
    QTextStream(stdout) << s.unit().vnumber << ' ' << s.unit().vbuild << " readers " << s.unit().ver.vrcnt
                        << " boot loader " << (s.unit().blv.isEmpty() ? QStringLiteral("NA") : s.unit().blv) << '\n';
    return exitOk;
}

int clock(const QStringList &args)
{
    QCommandLineParser p;
    p.addOption({QStringLiteral("set"), QStringLiteral("Set the unit's clock to this computer's clock first.")});
    QStringList pos;
    if (!parse(p, QStringLiteral("clock"), QStringLiteral("Reads (and with --set, sets) a unit's clock."), args, 0, pos))
        return helpOrUsage(p);
    UnitSession s;
    if (!s.configure(p, pos.first()))
        return exitUsage;
    if (!s.identify() || !s.connectUnit())
        return exitFailed;
    QDateTime got;
    s.connection->clockReceived = [&](const QDateTime &t) { got = t; };
    int status = exitFailed;
    if (s.commands->enterSetupMode()) {
        bool setOk = true;
        if (p.isSet(QStringLiteral("set"))) {
            setOk = false;
            if (s.connection->WaitForAck(s.socket(), 3, Command::ClockSet)) {
                QByteArray bytes;
                writeDtpack(bytes, dtpackFromDateTime(QDateTime::currentDateTime()));
                s.socket()->write(bytes);
                setOk = s.connection->WaitForAck(s.socket(), 3, Command::NoCommand);
            }
            if (!setOk)
                s.op.error(QStringLiteral("The unit did not take the clock"));
        }
        if (setOk && s.connection->WaitForAck(s.socket(), 3, Command::ClockRead)) {
            wait::until([&] { return got.isValid(); }, 3000);
            if (got.isValid()) {
                QTextStream(stdout) << ConnectionManager::clockLabel(got).trimmed() << '\n';
                status = exitOk;
            } else {
                s.op.error(QStringLiteral("No clock received from Vork Unit ") + s.address);
            }
        }
        s.commands->leaveSetupMode();
    }
    s.closeUnit();
    return status;
}

int checksum(const QStringList &args)
{
    QCommandLineParser p;
    QStringList pos;
    if (!parse(p, QStringLiteral("checksum"),
               QStringLiteral("Has a unit compute its program checksum (up to a minute) and prints it."), args, 0, pos))
        return helpOrUsage(p);
    UnitSession s;
    if (!s.configure(p, pos.first()))
        return exitUsage;
    if (!s.identify() || !s.connectUnit())
        return exitFailed;
    s.op.quiet = true; // the result goes to stdout below
    int status = exitFailed;
    bool ready = false;
    QObject::connect(s.connection.get(), &ConnectionManager::checksumReady, [&] { ready = true; });
    if (s.commands->checksum()) {
        wait::until([&] { return ready; }, ConnectionManager::checksumBusyMs + 5000);
        if (ready) {
            const ChecksumResult &r = s.connection->lastChecksum();
            QTextStream(stdout) << "Checksum = " << QString::number(r.checksum, 16) << " Byte Count = "
                                << QString::number(r.byteCount, 16) << '\n'
                                << (r.ramMatches() ? QStringLiteral("RAM program matches FLASH")
                                                   : QStringLiteral("RAM program mismatch at location ")
                                                         + QString::number(r.location, 16))
                                << '\n';
            status = exitOk;
        } else {
            s.op.error(QStringLiteral("No checksum received from Vork Unit ") + s.address);
        }
    }
    s.closeUnit();
    return status;
}

int reboot(const QStringList &args)
{
    QCommandLineParser p;
    QStringList pos;
    if (!parse(p, QStringLiteral("reboot"), QStringLiteral("Restarts a unit (asks unless --yes)."), args, 0, pos))
        return helpOrUsage(p);
    UnitSession s;
    if (!s.configure(p, pos.first()))
        return exitUsage;
    if (!s.identify() || !s.connectUnit())
        return exitFailed;
    if (!s.commands->reboot()) {
        s.closeUnit();
        return exitFailed;
    }
    QTextStream(stdout) << "Restart sent to Vork Unit " << s.address << '\n';
    return exitOk;
}

int erase(const QStringList &args)
{
    QCommandLineParser p;
    QStringList pos;
    if (!parse(p, QStringLiteral("erase"),
               QStringLiteral("Erases a unit's setup, history or persistent data (asks unless --yes).\n"
                              "WHAT is setup, history or persistent."),
               args, 1, pos))
        return helpOrUsage(p);
    const QString what = pos.first();
    UnitCommands::Erase kind;
    if (what == QLatin1String("setup"))
        kind = UnitCommands::Erase::Setup;
    else if (what == QLatin1String("history"))
        kind = UnitCommands::Erase::History;
    else if (what == QLatin1String("persistent"))
        kind = UnitCommands::Erase::Persistent;
    else {
        QTextStream(stderr) << "vork erase: WHAT must be setup, history or persistent\n";
        return exitUsage;
    }
    UnitSession s;
    if (!s.configure(p, pos.at(1)))
        return exitUsage;
    if (!s.identify() || !s.connectUnit())
        return exitFailed;
    int status = exitFailed;
    if (s.commands->enterSetupMode()) {
        if (s.commands->erase(kind))
            status = exitOk;
        else if (s.connection->lastWaitWasNak())
            s.op.error(QStringLiteral("Vork Unit ") + s.address + QStringLiteral(" refused the erase"));
        s.commands->leaveSetupMode();
    }
    if (status == exitOk)
        QTextStream(stdout) << "Erased " << what << " of Vork Unit " << s.address << '\n';
    s.closeUnit();
    return status;
}

} // namespace vork::cli
