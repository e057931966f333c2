#pragma once

#include "history/historycells.h"
#include "unit/eventrecord.h"

#include <QAbstractTableModel>
#include <QTimer>

#include <functional>
#include <vector>

namespace vork {

class HistoryRetrieval;

// The history grid's rows: the retrieval's view buffer, or the search results
// while that view is on. Cell texts are made from the records when asked.
// Rows from a running retrieval reach the view in batches.
class HistoryGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int batchMs = 40;
    // The record of a row, for the delegate and the page.
    static constexpr int RecordKindRole = Qt::UserRole + 1;

    explicit HistoryGridModel(HistoryRetrieval &retrieval, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // What cells depend on besides the record (the unit's version and reader base).
    void setContextSource(std::function<HistoryCellContext()> source);
    HistoryCellContext context() const;
    bool readerAddress() const { return m_readerAddress; }
    void setReaderAddress(bool on);
    // The header cell of column 0: "Record", or "Rec" when the column is narrow.
    void setRecordHeader(const QString &text);

    // The records the grid shows now.
    const std::vector<DataPack> &shown() const;
    const DataPack *record(int row) const;
    QString cellText(int row, int column) const;

    bool resultsShown() const { return m_resultsOn; }
    // The search results replace the view's rows until leaveResults().
    void showResults(std::vector<DataPack> results);
    void leaveResults();
    // Brings the rows up to the records held now.
    void sync();

private:
    void reset();

    HistoryRetrieval &m_retrieval;
    std::function<HistoryCellContext()> m_contextSource;
    std::vector<DataPack> m_results;
    bool m_resultsOn = false;
    bool m_readerAddress = true;
    QString m_recordHeader = QStringLiteral("Rec");
    int m_rows = 0; // rows the view knows of
    QTimer m_batch;
};

} // namespace vork
