#include "cli/eventtext.h"

#include <QJsonArray>
#include <QStringList>

namespace vork::cli {

QString eventKindWord(const DataPack &p)
{
    const QString word = dataPackKindText(p.typ);
    if (!word.isEmpty())
        return word;
    return p.typ == 0 ? QStringLiteral("Empty") : QStringLiteral("Unknown(%1)").arg(p.typ);
}

// The kind's payload fields as name=value pairs.
QString eventFieldsText(const DataPack &p)
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

QJsonObject eventJson(const DataPack &p, qsizetype length, int version, AlarmDetailReading reading)
{
    QJsonObject o;
    o.insert(QStringLiteral("length"), int(length));
    o.insert(QStringLiteral("kind"), p.typ);
    o.insert(QStringLiteral("kindText"), eventKindWord(p));
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

} // namespace vork::cli
