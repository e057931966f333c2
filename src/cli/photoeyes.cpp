// vork photoeyes and vork force-read: a unit in monitor mode, its photo eyes
// read once or watched, or one of its readers made to read a label.
#include "cli/cliargs.h"
#include "cli/safetext.h"
#include "cli/commands.h"
#include "cli/unitsession.h"

#include "connection/connectionmanager.h"
#include "core/boundedwait.h"
#include "core/closesignals.h"
#include "monitor/forceread.h"
#include "monitor/photoeyes.h"
#include "unit/eventrecord.h"
#include "unit/records.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace vork::cli {

namespace {

constexpr int monitorAckSeconds = 3;
constexpr int replyWaitMs = 3000;
// After 'X' a reply already on its way is let in before the quit's acknowledgement
// wait, which would take its bytes for an answer.
constexpr int settleMs = 300;

QString eyesText(const PhotoEyes &eyes, int readers)
{
    QStringList parts;
    const auto onOff = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    for (int r = 0; r < readers; ++r) {
        const PhotoEyeLamps l = PhotoEyes::lampStates(eyes.lamps(r));
        const QString line = QStringLiteral("reader ") + QString::number(r) + QStringLiteral(": A ") + onOff(l.a)
                             + QStringLiteral("  B ") + onOff(l.b) + QStringLiteral("  C ") + onOff(l.c);
        parts << line;
    }
    return parts.join(QLatin1Char('\n'));
}

QByteArray eyesJson(const PhotoEyes &eyes, const QString &address, int readers)
{
    QJsonArray list;
    for (int r = 0; r < readers; ++r) {
        const PhotoEyeLamps l = PhotoEyes::lampStates(eyes.lamps(r));
        list.append(QJsonObject{{QStringLiteral("reader"), r},
                                {QStringLiteral("a"), l.a},
                                {QStringLiteral("b"), l.b},
                                {QStringLiteral("c"), l.c}});
    }
    const QJsonObject o{{QStringLiteral("unit"), address}, {QStringLiteral("readers"), list}};
    return jsonText(QJsonDocument(o));
}

// Monitor mode on; live records that come meanwhile are passed over whole.
struct MonitorMode
{
    explicit MonitorMode(UnitSession &s)
        : records(DataPack::size, [](udppack &, const ReplySource &, const QByteArray &) {}),
          registration(s.services.connections().replies().add(ReplyType::LiveRecord, records))
    {
    }
    FixedSizeSink records;
    ReplyRegistration registration;
};

// Leaves monitor mode; a failure counts only when nothing failed before it.
int leaveMonitor(UnitSession &s, int status)
{
    if (!s.unit().connected)
        return status;
    const AckResult quit = s.send(Command::Quit, monitorAckSeconds);
    if (quit != AckResult::Ack && status == exitOk)
        return s.ackFailed(quit, QStringLiteral("the quit command (Q)"));
    return status;
}

// Parses a whole number in [min, max]; false with the reason printed.
bool number(const QCommandLineParser &p, const QString &option, const QString &command, qint64 min, qint64 max,
            qint64 &value)
{
    bool ok = false;
    value = p.value(option).toLongLong(&ok);
    if (ok && value >= min && value <= max)
        return true;
    QTextStream(stderr) << "vork " << command << ": --" << option << " must be " << min << ".." << max << '\n';
    return false;
}

int readEyes(UnitSession &s, bool watch, bool json, qint64 maxReplies, qint64 maxSeconds)
{
    // What the body listens to ends with it.
    QObject scope;
    MonitorMode monitorMode(s);
    PhotoEyes eyes(s.services);
    const int readers = PhotoEyes::readerCount(s.unit());
    QTextStream out(stdout);
    qint64 replies = 0;
    QObject::connect(&eyes, &PhotoEyes::replyArrived, &scope, [&] {
        ++replies;
        if (json)
            out << eyesJson(eyes, s.address, readers) << '\n';
        else if (watch)
            out << eyesText(eyes, readers).replace(QLatin1Char('\n'), QStringLiteral("   ")) << '\n';
        else
            out << eyesText(eyes, readers) << '\n';
        out.flush();
    });

    // Armed before anything is printed: a signal that comes at any time ends it cleanly.
    CloseSignals interrupt;
    bool stop = false;
    QObject::connect(&interrupt, &CloseSignals::closeRequested, &scope, [&](int) { stop = true; });
    interrupt.arm();

    if (const AckResult a = s.send(Command::Monitor, monitorAckSeconds); a != AckResult::Ack)
        return s.ackFailed(a, QStringLiteral("the monitor command (M)"));
    int status = exitOk;
    if (!eyes.read(s.address, watch)) {
        s.op.error(QStringLiteral("Photo eyes of Vork Unit ") + s.address + QStringLiteral(" not read: ")
                   + ConnectionManager::lostText());
        return leaveMonitor(s, exitFailed);
    }
    ConnectionManager &c = s.services.connections();
    const ReplyWait first = c.waitForReply(s.unit(), [&] { return replies > 0 || stop; }, replyWaitMs);
    if (first != ReplyWait::Done) {
        s.op.error(QStringLiteral("No photo-eye reply from Vork Unit ") + s.address
                   + (first == ReplyWait::Closed ? QStringLiteral(": ") + ConnectionManager::lostText()
                                                 : QStringLiteral(": no answer within 3 s")));
        status = exitFailed;
    } else if (watch) {
        QElapsedTimer running;
        running.start();
        // Until interrupted, or the count or time is reached; each turn is short.
        while (!stop && (maxReplies < 0 || replies < maxReplies)
               && (maxSeconds < 0 || running.elapsed() < maxSeconds * 1000)) {
            wait::delay(50);
            if (!s.unit().connected) {
                s.op.error(QStringLiteral("Photo eyes of Vork Unit ") + s.address + QStringLiteral(": ")
                           + ConnectionManager::lostText());
                status = exitFailed;
                break;
            }
        }
    }
    if (eyes.state() == PhotoEyes::State::Continuous && s.unit().connected) {
        eyes.release(true);
        wait::delay(settleMs);
    } else {
        eyes.release(false);
    }
    return leaveMonitor(s, status);
}

} // namespace

int photoEyes(const QStringList &args)
{
    const QString name = QStringLiteral("photoeyes");
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Puts a unit into monitor mode and reads its photo eyes (A, B, C of each reader) once, one line\n"
        "per reader; with --watch continuously, one line per reply until interrupted (Ctrl+C, SIGTERM),\n"
        "--count replies or --seconds. Then the unit leaves monitor mode and the connection is closed."));
    p.addHelpOption();
    const QCommandLineOption watch(QStringLiteral("watch"), QStringLiteral("Read continuously."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("One JSON object per reply and line."));
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("With --watch: stop after N replies."),
                                   QStringLiteral("N"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("With --watch: stop after S seconds."),
                                     QStringLiteral("S"));
    p.addOptions({watch, json, count, seconds});
    UnitSession::addOptions(p, false);
    p.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("The unit's IPv4 address."));
    if (const int status = parseCommand(p, name, args); status >= 0)
        return status;
    const QStringList pos = p.positionalArguments();
    if (pos.size() != 1) {
        QTextStream(stderr) << "usage: vork photoeyes [options] ADDRESS (vork photoeyes --help)\n";
        return exitUsage;
    }
    qint64 maxReplies = -1;
    qint64 maxSeconds = -1;
    if ((p.isSet(count) || p.isSet(seconds)) && !p.isSet(watch)) {
        QTextStream(stderr) << "vork photoeyes: --count and --seconds go with --watch\n";
        return exitUsage;
    }
    if (p.isSet(count) && !number(p, QStringLiteral("count"), name, 1, 1000000000, maxReplies))
        return exitUsage;
    if (p.isSet(seconds) && !number(p, QStringLiteral("seconds"), name, 1, 7 * 24 * 3600, maxSeconds))
        return exitUsage;
    UnitSession s(name);
    if (const int status = s.configure(p, pos.first(), false); status != exitOk)
        return status;
    if (const int status = s.identify(); status != exitOk)
        return status;
    if (const int status = s.connectUnit(); status != exitOk)
        return status;
    const int status = readEyes(s, p.isSet(watch), p.isSet(json), maxReplies, maxSeconds);
    s.closeUnit();
    return status;
}

int forceRead(const QStringList &args)
{
    const QString name = QStringLiteral("force-read");
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Makes a reader of a unit behave as if it had read a label (asks unless --yes): monitor mode,\n"
        "the force read, out of monitor mode again."));
    p.addHelpOption();
    const QCommandLineOption reader(QStringLiteral("reader"), QStringLiteral("The reader, 0-7."), QStringLiteral("R"));
    const QCommandLineOption label(QStringLiteral("label"), QStringLiteral("The label number, 1-16383."),
                                   QStringLiteral("L"));
    p.addOptions({reader, label});
    UnitSession::addOptions(p, true);
    p.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("The unit's IPv4 address."));
    if (const int status = parseCommand(p, name, args); status >= 0)
        return status;
    const QStringList pos = p.positionalArguments();
    if (pos.size() != 1 || !p.isSet(reader) || !p.isSet(label)) {
        QTextStream(stderr) << "usage: vork force-read --reader R --label L [options] ADDRESS (vork force-read --help)\n";
        return exitUsage;
    }
    qint64 r = 0;
    qint64 l = 0;
    if (!number(p, QStringLiteral("reader"), name, 0, ForceRead::maxReader, r)
        || !number(p, QStringLiteral("label"), name, 1, ForceRead::maxLabel, l))
        return exitUsage;
    UnitSession s(name);
    if (const int status = s.configure(p, pos.first(), true); status != exitOk)
        return status;
    // Asked before the unit is touched: a declined force leaves no trace on it.
    if (!s.confirm(ForceRead::confirmationText(int(l), s.address)))
        return exitDeclined;
    if (const int status = s.identify(); status != exitOk)
        return status;
    if (const int status = s.connectUnit(); status != exitOk)
        return status;

    int status = exitOk;
    {
        MonitorMode monitorMode(s);
        if (const AckResult a = s.send(Command::Monitor, monitorAckSeconds); a != AckResult::Ack) {
            status = s.ackFailed(a, QStringLiteral("the monitor command (M)"));
        } else {
            ForceRead force(s.services);
            force.setUnitAddress(s.unit().ip);
            force.setReader(int(r));
            force.setLabel(int(l));
            force.force();
            const QString unitName = QStringLiteral("Vork Unit ") + s.address;
            switch (force.lastOutcome()) {
            case ForceRead::Outcome::Forced:
                QTextStream(stdout) << "Label " << l << " has been forced on reader " << r << " of " << unitName
                                    << '\n';
                break;
            case ForceRead::Outcome::NotAccepted:
                status = s.ackFailed(force.lastAnswer(), QStringLiteral("the force read (f)"));
                break;
            case ForceRead::Outcome::NotForced:
                status = s.ackFailed(force.lastAnswer(), QStringLiteral("the forced label"));
                break;
            case ForceRead::Outcome::None:
                s.op.error(unitName + QStringLiteral(": force read not sent"));
                status = exitFailed;
                break;
            }
            // The unit reports the forced read as a live record; let it pass before the quit.
            wait::delay(settleMs);
        }
        status = leaveMonitor(s, status);
    }
    s.closeUnit();
    return status;
}

} // namespace vork::cli
