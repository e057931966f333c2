#include "history/historyfilter.h"

namespace vork {

int historyKindsMask(const HistoryKinds &k)
{
    return (k.errors ? historykind::errors : 0) | (k.labels ? historykind::labels : 0)
           | (k.diagnostics ? historykind::diagnostics : 0) | (k.alarms ? historykind::alarms : 0)
           | (k.boot ? historykind::boot : 0);
}

HistoryKinds historyKindsFromMask(int mask)
{
    return {bool(mask & historykind::errors), bool(mask & historykind::labels), bool(mask & historykind::diagnostics),
            bool(mask & historykind::alarms), bool(mask & historykind::boot)};
}

int historyKindBit(const DataPack &p)
{
    // Kinds 1-5 map to bits 1, 2, 4, 8, 16.
    return p.typ >= 1 && p.typ <= 5 ? 1 << (p.typ - 1) : 0;
}

std::optional<QDateTime> historyRecordMoment(const DataPack &p)
{
    const QDate date(p.fullYear(), p.month, p.day);
    if (!date.isValid() || !p.timeValid() || p.year > 99)
        return std::nullopt;
    return QDateTime(date, QTime(p.hr, p.min, p.sec));
}

bool historyFilterPasses(const DataPack &p, const HistoryFilter &f)
{
    if (!(historyKindBit(p) & f.kinds))
        return false;
    if (f.reader >= 0) {
        if (p.kind() == DataPackKind::Alarm) {
            if (!f.alarmsAllReaders)
                return false;
        } else if (p.rdr != f.reader) {
            return false;
        }
    }
    if (f.start) {
        // A record whose fields form no moment cannot be shown to be old enough.
        const std::optional<QDateTime> at = historyRecordMoment(p);
        if (!at || *at > *f.start)
            return false;
    }
    return true;
}

std::vector<DataPack> historyFilterRecords(const std::vector<DataPack> &master, const HistoryFilter &f)
{
    std::vector<DataPack> out;
    out.reserve(master.size());
    for (const DataPack &p : master)
        if (historyFilterPasses(p, f))
            out.push_back(p);
    return out;
}

QStringList historySearchTerms(const QString &text)
{
    QStringList out = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    return out;
}

bool historySearchTypePasses(const DataPack &p, int types)
{
    using namespace historysearch;
    if ((types & allTypes) == allTypes)
        return true;
    switch (p.kind()) {
    case DataPackKind::Error: return types & typeErrors;
    case DataPackKind::Label: return types & typeLabels;
    case DataPackKind::Diagnostic: return types & typeDiagnostics;
    case DataPackKind::Alarm: return types & typeAlarms;
    default: return false;
    }
}

bool historySearchFieldMatches(QStringView field, const HistorySearchOptions &o)
{
    const Qt::CaseSensitivity cs = o.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (o.exclusionsOn)
        for (const QString &x : o.exclusions)
            if (!x.isEmpty() && field.contains(x, cs))
                return false;
    for (const QString &t : o.terms)
        if (!t.isEmpty() && field.contains(t, cs))
            return true;
    return false;
}

void HistorySearchIndex::build(const std::vector<DataPack> &rows, const HistoryCellContext &context)
{
    m_rows.clear();
    m_rows.resize(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Row &r = m_rows[i];
        r.typ = rows[i].typ;
        r.text.reserve(96);
        for (int col = 0; col < historyColumnCount; ++col) {
            if (col)
                r.text += QLatin1Char(',');
            r.bounds[std::size_t(col)] = quint16(r.text.size());
            r.text += historyCellText(rows[i], int(i) + 1, HistoryColumn(col), context);
        }
        r.bounds[historyColumnCount] = quint16(r.text.size());
    }
}

void HistorySearchIndex::clear()
{
    m_rows.clear();
}

QString HistorySearchIndex::rowText(int row) const
{
    return row >= 0 && row < size() ? m_rows[std::size_t(row)].text : QString();
}

QStringView HistorySearchIndex::field(int row, int column) const
{
    if (row < 0 || row >= size() || column < 0 || column >= historyColumnCount)
        return {};
    const Row &r = m_rows[std::size_t(row)];
    const int from = r.bounds[std::size_t(column)];
    const int to = r.bounds[std::size_t(column) + 1] - (column + 1 < historyColumnCount ? 1 : 0);
    return QStringView(r.text).mid(from, qMax(0, to - from));
}

bool HistorySearchIndex::typePasses(const Row &r, int types) const
{
    DataPack p;
    p.typ = r.typ;
    return historySearchTypePasses(p, types);
}

int HistorySearchIndex::matchingColumn(int row, const HistorySearchOptions &o) const
{
    if (row < 0 || row >= size() || !typePasses(m_rows[std::size_t(row)], o.types))
        return -1;
    for (int col = 1; col < historyColumnCount; ++col)
        if ((o.fields & (1 << (col - 1))) && historySearchFieldMatches(field(row, col), o))
            return col;
    return -1;
}

HistorySearchIndex::Hit HistorySearchIndex::findFrom(int row, int column, bool down, const HistorySearchOptions &o) const
{
    const int n = size();
    if (n == 0)
        return {};
    if (row < 0 || row >= n) {
        row = down ? 0 : n - 1;
        column = down ? 0 : historyColumnCount;
    }
    const int step = down ? 1 : -1;
    for (int r = row; r >= 0 && r < n; r += step) {
        if (!typePasses(m_rows[std::size_t(r)], o.types)) {
            column = down ? 0 : historyColumnCount;
            continue;
        }
        // In the starting row only the columns past the current one; after it, all of them.
        for (int col = down ? column + 1 : column - 1; col >= 1 && col < historyColumnCount; col += step)
            if ((o.fields & (1 << (col - 1))) && historySearchFieldMatches(field(r, col), o))
                return {r, col};
        column = down ? 0 : historyColumnCount;
    }
    return {};
}

std::vector<int> HistorySearchIndex::findAll(const HistorySearchOptions &o) const
{
    std::vector<int> out;
    for (int r = 0; r < size(); ++r)
        if (matchingColumn(r, o) >= 0)
            out.push_back(r);
    return out;
}

} // namespace vork
