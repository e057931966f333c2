#include "cli/cliargs.h"
#include "cli/commands.h"
#include "cli/exitcodes.h"
#include "cli/eventtext.h"
#include "cli/safetext.h"

#include "unit/eventrecord.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace vork::cli {

namespace {

const QString commandName = QStringLiteral("events decode");

// Hex digits with optional blanks between them; empty with *problem set when it is no record.
QByteArray parseHex(const QString &text, QString *problem)
{
    QString digits;
    for (const QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t'))
            continue;
        const bool hex = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
                         || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
        if (!hex) {
            *problem = QStringLiteral("not hexadecimal: '") + escaped(QString(c)) + QLatin1Char('\'');
            return {};
        }
        digits += c;
    }
    if (digits.isEmpty()) {
        *problem = QStringLiteral("no bytes");
        return {};
    }
    if (digits.size() % 2 != 0) {
        *problem = QStringLiteral("odd number of hex digits (%1)").arg(digits.size());
        return {};
    }
    return QByteArray::fromHex(digits.toLatin1());
}

// "5.0.1" as its version number 501; -1 when it is no version.
int parseVersion(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return -1;
    int number = 0;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const int v = parts.at(i).toInt(&ok);
        if (!ok || v < 0 || v > 255)
            return -1;
        number += v * (i == 0 ? 100 : i == 1 ? 10 : 1);
    }
    return number;
}

} // namespace

int events(const QStringList &args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.isEmpty() || args.first() != QLatin1String("decode")) {
        if (!args.isEmpty() && (args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h"))) {
            out << "Usage: vork events decode [options] HEX...\n(vork events decode --help)\n";
            return exitOk;
        }
        err << "vork events: expected 'decode' (vork events decode --help)\n";
        return exitUsage;
    }

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Decodes 19-byte event records given as hex, one record per argument (blanks between digits\n"
        "allowed), and prints one line per record: kind, reader, date and time, payload fields, text.\n"
        "A record shorter than 19 bytes reads its missing bytes as zero; bytes past 19 are ignored;\n"
        "either is noted on stderr."));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("HEX"), QStringLiteral("One record as hexadecimal digits."), QStringLiteral("HEX..."));
    const QCommandLineOption firmware(QStringLiteral("firmware"),
                                      QStringLiteral("Alarm texts as a unit of this version gives them (e.g. 5.0.1)."),
                                      QStringLiteral("X.Y.Z"));
    const QCommandLineOption alternative(QStringLiteral("alarm30-alternative"),
                                         QStringLiteral("Alarm 30 details in their second reading (EtherNet/IP unit files)."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print one JSON object per line."));
    p.addOptions({firmware, alternative, json});
    if (const int status = parseCommand(p, commandName, args.mid(1)); status >= 0)
        return status;

    int version = 0;
    if (p.isSet(firmware)) {
        version = parseVersion(p.value(firmware));
        if (version < 0) {
            err << "vork events decode: --firmware must be X.Y.Z, each 0-255: '" << escaped(p.value(firmware)) << "'\n";
            return exitUsage;
        }
    }
    const AlarmDetailReading reading = p.isSet(alternative) ? AlarmDetailReading::Alternative : AlarmDetailReading::Standard;
    const QStringList records = p.positionalArguments();
    if (records.isEmpty()) {
        err << "vork events decode: expected at least one HEX record\n";
        return exitUsage;
    }

    // Every argument is checked before anything is printed.
    QList<QByteArray> decoded;
    for (qsizetype i = 0; i < records.size(); ++i) {
        QString problem;
        const QByteArray bytes = parseHex(records.at(i), &problem);
        if (!problem.isEmpty()) {
            err << "vork events decode: record " << (i + 1) << ": " << problem << '\n';
            return exitUsage;
        }
        decoded << bytes;
    }

    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const QByteArray &bytes = decoded.at(i);
        const DataPack pack = decodeDataPack(bytes);
        if (bytes.size() < DataPack::size)
            err << "vork events decode: record " << (i + 1) << " is short (" << bytes.size() << " of "
                << DataPack::size << " bytes); the rest reads as zero\n";
        else if (bytes.size() > DataPack::size)
            err << "vork events decode: record " << (i + 1) << " is long (" << bytes.size()
                << " bytes); only the first " << DataPack::size << " are decoded\n";
        err.flush();
        if (p.isSet(json)) {
            out << jsonText(QJsonDocument(eventJson(pack, bytes.size(), version, reading))) << '\n';
        } else {
            out << eventKindWord(pack) << '\t' << pack.rdr << '\t' << dataPackTimeText(pack) << '\t' << eventFieldsText(pack)
                << '\t' << escaped(dataPackValueText(pack, version, reading)) << '\n';
        }
        out.flush();
    }
    return exitOk;
}

} // namespace vork::cli
