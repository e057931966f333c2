// vork history get: a unit's stored records, newest first, one line (or JSON object) each.
#include "cli/cliargs.h"
#include "cli/commands.h"
#include "cli/eventtext.h"
#include "cli/safetext.h"
#include "cli/unitsession.h"

#include "connection/connectionmanager.h"
#include "core/boundedwait.h"
#include "core/closesignals.h"
#include "history/historyretrieval.h"
#include "unit/records.h"
#include "unit/unitrules.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTextStream>

#include <optional>

#include <unistd.h>

namespace vork::cli {

namespace {

const QString name = QStringLiteral("history get");
// However a unit trickles its records, the command ends: past this it is aborted.
constexpr int overallBoundMs = 10 * 60 * 1000;
constexpr int progressWidth = 30;

bool parseKinds(const QString &text, HistoryKinds &kinds)
{
    kinds = {false, false, false, false, false};
    const QStringList words = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return false;
    for (const QString &w : words) {
        const QString k = w.trimmed().toLower();
        if (k == QLatin1String("errors"))
            kinds.errors = true;
        else if (k == QLatin1String("labels"))
            kinds.labels = true;
        else if (k == QLatin1String("diagnostics"))
            kinds.diagnostics = true;
        else if (k == QLatin1String("alarms"))
            kinds.alarms = true;
        else
            return false;
    }
    return true;
}

// "[#####.....] n/N" over itself on a terminal.
void drawProgress(QTextStream &err, int value, int maximum)
{
    const int max = qMax(1, maximum);
    const int filled = int(qint64(qBound(0, value, max)) * progressWidth / max);
    err << '\r' << '[' << QString(filled, QLatin1Char('#')) << QString(progressWidth - filled, QLatin1Char('.'))
        << "] " << value << '/' << maximum;
    err.flush();
}

int body(UnitSession &s, HistoryRetrieval &r, bool json)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    const bool bar = isatty(STDERR_FILENO) == 1;
    const int version = versionNumber(s.unit().ver);
    const QString unitIp = s.unit().ip;
    int printed = 0;
    QObject scope; // what this body listens to ends with it
    QObject::connect(&r, &HistoryRetrieval::recordsAdded, &scope, [&](int first, int count) {
        for (int i = first; i < first + count; ++i) {
            const DataPack &p = r.view().at(std::size_t(i));
            if (json) {
                QJsonObject o = eventJson(p, DataPack::size, version, AlarmDetailReading::Standard);
                o.insert(QStringLiteral("unit"), unitIp);
                o.insert(QStringLiteral("index"), i + 1);
                out << jsonText(QJsonDocument(o)) << '\n';
            } else {
                out << (i + 1) << '\t' << p.rdr << '\t' << eventKindWord(p) << '\t' << dataPackTimeText(p) << '\t'
                    << eventFieldsText(p) << '\t' << escaped(dataPackValueText(p, version)) << '\n';
            }
            ++printed;
        }
        out.flush();
        if (bar)
            drawProgress(err, r.viewCount(), r.wanted());
    });

    CloseSignals interrupt;
    bool interrupted = false;
    QObject::connect(&interrupt, &CloseSignals::closeRequested, &scope, [&](int) {
        interrupted = true;
        r.abort();
    });
    interrupt.arm();

    const HistoryRetrieval::Start started = r.retrieve();
    if (started != HistoryRetrieval::Start::Sent) {
        err << "vork " << name << ": the request was not sent to Vork Unit " << s.address << '\n';
        return exitFailed;
    }
    if (bar)
        drawProgress(err, 0, r.wanted());
    // The retrieval ends by the unit's ACK, its silence bound, the abort's bound or a lost link.
    if (!wait::until([&] { return !r.running(); }, overallBoundMs)) {
        r.abort();
        wait::until([&] { return !r.running(); }, HistoryRetrieval::defaultAbortBoundMs + 1000);
        r.endLocally();
    }
    if (bar)
        err << '\n';

    const int got = r.viewCount();
    const int missing = qMax(0, r.wanted() - got);
    const QString unitName = QStringLiteral("Vork Unit ") + s.address;
    int status = exitFailed;
    switch (r.lastEnd()) {
    case HistoryRetrieval::End::Acknowledged:
        status = exitOk; // the unit had no more
        break;
    case HistoryRetrieval::End::RecordsMissing:
        err << "vork " << name << ": " << r.missingText() << '\n';
        break;
    case HistoryRetrieval::End::ConnectionLost:
        err << "vork " << name << ": " << unitName << ": " << ConnectionManager::lostText() << " after " << got
            << " of " << r.wanted() << " records; " << missing << " missing\n";
        break;
    case HistoryRetrieval::End::Silent:
        err << "vork " << name << ": " << HistoryRetrieval::stoppedText(s.address, got) << " (nothing within "
            << HistoryRetrieval::defaultSilenceBoundMs / 1000 << " s)\n";
        break;
    default:
        err << "vork " << name << ": " << (interrupted ? "interrupted" : "aborted") << " after " << got << " of "
            << r.wanted() << " records; " << missing << " missing\n";
        break;
    }
    // Whenever fewer came than asked for, the last line says how many.
    if (got < r.wanted())
        err << got << " of " << r.wanted() << " records\n";
    return status;
}

// "2021-03-05 08:30", "2021-03-05T08:30" or a date alone (its midnight).
std::optional<QDateTime> parseSince(const QString &text)
{
    const QString t = text.trimmed();
    for (const char *f : {"yyyy-MM-dd HH:mm", "yyyy-MM-ddTHH:mm"}) {
        const QDateTime d = QDateTime::fromString(t, QString::fromLatin1(f));
        if (d.isValid())
            return d;
    }
    const QDate day = QDate::fromString(t, QStringLiteral("yyyy-MM-dd"));
    if (day.isValid())
        return QDateTime(day, QTime(0, 0));
    return std::nullopt;
}

} // namespace

int historyGet(const QStringList &args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Retrieves a unit's stored history records, newest first, and prints one line per record\n"
        "(number, reader, kind, date and time, fields, text) or, with --json, one JSON object per line.\n"
        "A progress bar goes to stderr when it is a terminal. If the link drops, the records that\n"
        "arrived are printed and stderr says how many are missing (exit status 1)."));
    p.addHelpOption();
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("One JSON object per record and line."));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("Records to retrieve, 1-32768 (default 17)."), QStringLiteral("N"),
                                   QString::number(HistoryRetrieval::defaultWanted));
    const QCommandLineOption kinds(
        QStringLiteral("kinds"),
        QStringLiteral("Record kinds, comma-separated: errors,labels,diagnostics,alarms (default all)."),
        QStringLiteral("LIST"));
    const QCommandLineOption reader(QStringLiteral("reader"),
                                    QStringLiteral("One reader's records, 0-7 (default all readers)."),
                                    QStringLiteral("R"));
    const QCommandLineOption since(
        QStringLiteral("since"),
        QStringLiteral("Records from this moment and older: \"YYYY-MM-DD HH:MM\" or YYYY-MM-DD."),
        QStringLiteral("TIME"));
    const QCommandLineOption boot(QStringLiteral("boot"),
                                  QStringLiteral("Boot records too (with --kinds; a first request carries no bit "
                                                 "for them, so units send them with a Next request only)."));
    p.addOptions({json, count, kinds, reader, since, boot});
    UnitSession::addOptions(p, false);
    p.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("The unit's IPv4 address."));
    if (const int status = parseCommand(p, name, args); status >= 0)
        return status;
    QTextStream err(stderr);
    const QStringList pos = p.positionalArguments();
    if (pos.size() != 1) {
        err << "usage: vork history get [options] ADDRESS (vork history get --help)\n";
        return exitUsage;
    }
    bool ok = false;
    const int wanted = p.value(count).toInt(&ok);
    if (!ok || wanted < 1 || wanted > HistoryRetrieval::bufferSize) {
        err << "vork history get: --count must be 1.." << HistoryRetrieval::bufferSize << '\n';
        return exitUsage;
    }
    HistoryKinds chosen;
    if (p.isSet(kinds) && !parseKinds(p.value(kinds), chosen)) {
        err << "vork history get: --kinds takes errors,labels,diagnostics,alarms (one or more, comma-separated)\n";
        return exitUsage;
    }
    if (p.isSet(kinds))
        chosen.boot = p.isSet(boot); // a first request has no boot bit; only the tick
    int readerNumber = -1;
    if (p.isSet(reader)) {
        readerNumber = p.value(reader).toInt(&ok);
        if (!ok || readerNumber < 0 || readerNumber >= DataPack::readerSlots) {
            err << "vork history get: --reader must be 0.." << DataPack::readerSlots - 1 << '\n';
            return exitUsage;
        }
    }
    std::optional<QDateTime> start;
    if (p.isSet(since)) {
        start = parseSince(p.value(since));
        if (!start || start->date().year() < 100 || start->date().year() > 9899) {
            err << "vork history get: --since takes \"YYYY-MM-DD HH:MM\" or YYYY-MM-DD\n";
            return exitUsage;
        }
    }

    UnitSession s(name);
    if (const int status = s.configure(p, pos.first(), false); status != exitOk)
        return status;
    if (const int status = s.identify(); status != exitOk)
        return status;
    if (const int status = s.connectUnit(); status != exitOk)
        return status;

    int status = exitOk;
    if (const AckResult a = s.send(Command::History, 3); a != AckResult::Ack) {
        status = s.ackFailed(a, QStringLiteral("the history command (H)"));
    } else {
        HistoryRetrieval r(s.services);
        r.setWanted(wanted);
        r.setKinds(chosen);
        r.setStartDate(start);
        if (readerNumber >= 0 && !r.chooseReader(s.unit(), readerNumber)) {
            err << "vork " << name << ": Vork Unit " << s.address << " has no reader " << readerNumber << '\n';
            status = exitFailed;
        } else {
            status = body(s, r, p.isSet(json));
        }
        // Out of history mode again; its failure counts only when nothing failed before.
        if (s.unit().connected && !r.historyModeLeft()) {
            const AckResult quit = s.send(Command::HistoryQuit, 3);
            if (quit != AckResult::Ack && status == exitOk)
                status = s.ackFailed(quit, QStringLiteral("the history quit"));
        }
    }
    s.closeUnit();
    return status;
}

} // namespace vork::cli
