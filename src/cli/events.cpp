#include "cli/cliargs.h"
#include "cli/commands.h"
#include "cli/exitcodes.h"
#include "cli/safetext.h"

#include "monitor/eventrecord.h"

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

QString kindWord(const DataPack &p)
{
    const QString word = dataPackKindText(p.typ);
    if (!word.isEmpty())
        return word;
    return p.typ == 0 ? QStringLiteral("Empty") : QStringLiteral("Unknown(%1)").arg(p.typ);
}

// The kind's payload fields as name=value pairs.
QString fieldsText(const DataPack &p)
{
    switch (p.kind()) {
    case DataPackKind::Error:
        if (p.errorCode() >= 30 && p.errorCode() <= 39)
            return QStringLiteral("code=%1 label=%2 bits=%3").arg(p.errorCode()).arg(p.errorLabelNumber()).arg(p.errorBitCount());
        return QStringLiteral("code=%1").arg(p.errorCode());
    case DataPackKind::Label:
        return QStringLiteral("label=%1").arg(p.labelNumber());
    case DataPackKind::Diagnostic: {
        const auto v = p.diagnosticValues();
        return QStringLiteral("a=%1 b=%2 c=%3 x=%4 y=%5").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]).arg(v[4]);
    }
    case DataPackKind::Alarm:
        return QStringLiteral("code=%1 detail=%2").arg(p.alarmCode()).arg(p.alarmDetail());
    case DataPackKind::Boot:
        return QStringLiteral("code=%1").arg(p.bootCode());
    default: {
        QStringList hex;
        for (std::uint8_t b : p.data)
            hex << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
        return QStringLiteral("data=") + hex.join(QLatin1Char(' '));
    }
    }
}

QJsonObject toJson(const DataPack &p, qsizetype length, int version, AlarmDetailReading reading)
{
    QJsonObject o;
    o.insert(QStringLiteral("length"), int(length));
    o.insert(QStringLiteral("kind"), p.typ);
    o.insert(QStringLiteral("kindText"), kindWord(p));
    o.insert(QStringLiteral("reader"), p.rdr);
    o.insert(QStringLiteral("month"), p.month);
    o.insert(QStringLiteral("day"), p.day);
    o.insert(QStringLiteral("year"), p.fullYear());
    o.insert(QStringLiteral("hour"), p.hr);
    o.insert(QStringLiteral("minute"), p.min);
    o.insert(QStringLiteral("second"), p.sec);
    o.insert(QStringLiteral("timeValid"), p.timeValid());
    o.insert(QStringLiteral("time"), dataPackTimeText(p));
    QJsonArray data;
    for (std::uint8_t b : p.data)
        data.append(b);
    o.insert(QStringLiteral("data"), data);
    switch (p.kind()) {
    case DataPackKind::Error:
        o.insert(QStringLiteral("code"), p.errorCode());
        if (p.errorCode() >= 30 && p.errorCode() <= 39) {
            o.insert(QStringLiteral("label"), p.errorLabelNumber());
            o.insert(QStringLiteral("bits"), p.errorBitCount());
        }
        break;
    case DataPackKind::Label:
        o.insert(QStringLiteral("label"), p.labelNumber());
        break;
    case DataPackKind::Diagnostic: {
        const auto v = p.diagnosticValues();
        o.insert(QStringLiteral("diagnostic"), QJsonArray{v[0], v[1], v[2], v[3], v[4]});
        break;
    }
    case DataPackKind::Alarm:
        o.insert(QStringLiteral("code"), p.alarmCode());
        o.insert(QStringLiteral("detail"), p.alarmDetail());
        break;
    case DataPackKind::Boot:
        o.insert(QStringLiteral("code"), p.bootCode());
        break;
    default:
        break;
    }
    o.insert(QStringLiteral("text"), dataPackValueText(p, version, reading));
    return o;
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
            out << QJsonDocument(toJson(pack, bytes.size(), version, reading)).toJson(QJsonDocument::Compact) << '\n';
        } else {
            out << kindWord(pack) << '\t' << pack.rdr << '\t' << dataPackTimeText(pack) << '\t' << fieldsText(pack)
                << '\t' << escaped(dataPackValueText(pack, version, reading)) << '\n';
        }
        out.flush();
    }
    return exitOk;
}

} // namespace vork::cli
