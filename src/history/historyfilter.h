#pragma once

#include "history/historycells.h"
#include "history/historyprotocol.h"
#include "unit/eventrecord.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace vork {

// Shown-kinds bits, as the page's kind boxes carry them in their tags.
namespace historykind {
constexpr int errors = 1;
constexpr int labels = 2;
constexpr int diagnostics = 4;
constexpr int alarms = 8;
constexpr int boot = 16;
constexpr int all = 31;
} // namespace historykind

int historyKindsMask(const HistoryKinds &kinds);
HistoryKinds historyKindsFromMask(int mask);
// The bit of a record's kind; 0 for kinds 0 and above 5.
int historyKindBit(const DataPack &pack);

// What decides which master records reach the view.
struct HistoryFilter
{
    int kinds = historykind::all;
    int reader = -1;              // -1: all readers; else the reader index
    bool alarmsAllReaders = true; // with one reader chosen, alarms are kept whatever their reader byte
    std::optional<QDateTime> start; // records later than this are left out
};

// The record's moment; none when its fields cannot form a date and time.
std::optional<QDateTime> historyRecordMoment(const DataPack &pack);
bool historyFilterPasses(const DataPack &pack, const HistoryFilter &filter);
// The records that pass, in master order. Records without a valid moment fail a start-date filter.
std::vector<DataPack> historyFilterRecords(const std::vector<DataPack> &master, const HistoryFilter &filter);

// Search fields (columns 1-6) and types, as the search window's buttons carry them.
namespace historysearch {
constexpr int fieldReader = 1;
constexpr int fieldType = 2;
constexpr int fieldValue = 4;
constexpr int fieldTime = 8;
constexpr int fieldDate = 16;
constexpr int fieldData = 32;
constexpr int allFields = 63;
constexpr int typeErrors = 1;
constexpr int typeLabels = 2;
constexpr int typeDiagnostics = 4;
constexpr int typeAlarms = 8;
constexpr int allTypes = 15;
} // namespace historysearch

struct HistorySearchOptions
{
    QStringList terms;          // any of them matches
    bool caseSensitive = false;
    bool exclusionsOn = false;
    QStringList exclusions;     // a field holding one of these never matches
    int fields = historysearch::allFields;
    int types = historysearch::allTypes;
};

// The search text split at ","; empty pieces are dropped.
QStringList historySearchTerms(const QString &text);
// Whether a row of this record is looked at: every row with all four type
// buttons down, else errors, labels, diagnostics and alarms by their button (boot never).
bool historySearchTypePasses(const DataPack &pack, int types);
bool historySearchFieldMatches(QStringView field, const HistorySearchOptions &options);

// The rows' texts, built once and searched many times. Each row is its seven
// cell texts joined by ","; the column bounds are kept, so a text holding a
// comma of its own still splits where the columns do.
class HistorySearchIndex
{
public:
    struct Hit
    {
        int row = -1;    // 0-based record index
        int column = -1; // 1-6
        bool valid() const { return row >= 0; }
    };

    void build(const std::vector<DataPack> &rows, const HistoryCellContext &context);
    void clear();
    int size() const { return int(m_rows.size()); }
    QString rowText(int row) const;
    QStringView field(int row, int column) const;
    // The first column of a row that matches, or -1.
    int matchingColumn(int row, const HistorySearchOptions &options) const;
    // Walks from just after (row, column) down, or just before it up, and stops at the first match.
    // Row -1 starts at the first (down) or last (up) row.
    Hit findFrom(int row, int column, bool down, const HistorySearchOptions &options) const;
    // Every matching row, once, top to bottom.
    std::vector<int> findAll(const HistorySearchOptions &options) const;

private:
    struct Row
    {
        QString text;
        std::array<quint16, historyColumnCount + 1> bounds{}; // start of each column; last is the end
        std::uint8_t typ = 0;
    };
    bool typePasses(const Row &r, int types) const;
    std::vector<Row> m_rows;
};

} // namespace vork
