#include "history/historycells.h"

namespace vork {

namespace {

bool shownKind(const DataPack &p)
{
    return p.typ >= 1 && p.typ <= 5;
}

QString twoDigits(int v)
{
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

} // namespace

QStringList historyHeaderCells(bool readerAddress)
{
    return {QStringLiteral("Rec"),        readerAddress ? QStringLiteral("Rdr") : QStringLiteral("Rdr i"),
            QStringLiteral("Type"),       QStringLiteral("Value"),
            QStringLiteral("Time Stamp"), QStringLiteral("Date Stamp"),
            QStringLiteral("Alarm Data")};
}

QString historyTimeText(const DataPack &p)
{
    if (!p.timeValid())
        return QStringLiteral("Bad Time");
    // Built by hand: the AM/PM words must not follow the desktop's language.
    const int h12 = p.hr % 12 == 0 ? 12 : p.hr % 12;
    return twoDigits(h12) + QLatin1Char(':') + twoDigits(p.min) + QLatin1Char(':') + twoDigits(p.sec)
           + (p.hr < 12 ? QStringLiteral(" AM") : QStringLiteral(" PM"));
}

QString historyDateText(const DataPack &p)
{
    // A century of 30 or more is a damaged record even when the date itself could exist.
    if (p.month < 1 || p.month > 12 || p.day < 1 || p.day > 31 || p.cent >= 30 || p.year > 99)
        return QStringLiteral("Bad Date");
    return twoDigits(p.month) + QLatin1Char('/') + twoDigits(p.day) + QLatin1Char('/') + twoDigits(p.fullYear());
}

QString historyDataText(const DataPack &p)
{
    QString out;
    out.reserve(29);
    static const char hex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < p.data.size(); ++i) {
        if (i)
            out += QLatin1Char(' ');
        out += QLatin1Char(hex[p.data[i] >> 4]);
        out += QLatin1Char(hex[p.data[i] & 0x0F]);
    }
    return out;
}

QString historyCellText(const DataPack &p, int row, HistoryColumn column, const HistoryCellContext &c)
{
    if (!shownKind(p))
        return {};
    const auto kind = p.kind();
    switch (column) {
    case HistoryColumn::Record:
        return QString::number(row);
    case HistoryColumn::Reader:
        if (kind == DataPackKind::Alarm || kind == DataPackKind::Boot)
            return QStringLiteral("System");
        if (!c.readerAddress)
            return QString::number(p.rdr);
        return c.readerBaseKnown ? QString::number(c.readerBase + p.rdr) : QString();
    case HistoryColumn::Type:
        return dataPackKindText(p.typ);
    case HistoryColumn::Value:
        if (kind == DataPackKind::Error && c.exporting)
            return QString::number(p.errorCode());
        return dataPackValueText(p, c.versionNumber, c.reading);
    case HistoryColumn::TimeStamp:
        return historyTimeText(p);
    case HistoryColumn::DateStamp:
        return historyDateText(p);
    case HistoryColumn::AlarmData:
        return historyDataText(p);
    }
    return {};
}

QString historyRowText(const DataPack &p, int row, const HistoryCellContext &c)
{
    QString out;
    for (int col = 0; col < historyColumnCount; ++col) {
        if (col)
            out += QLatin1Char(',');
        out += historyCellText(p, row, HistoryColumn(col), c);
    }
    return out;
}

} // namespace vork
