#include "history/ui/historygridmodel.h"

#include "history/historyretrieval.h"

namespace vork {

HistoryGridModel::HistoryGridModel(HistoryRetrieval &retrieval, QObject *parent)
    : QAbstractTableModel(parent), m_retrieval(retrieval)
{
    m_batch.setSingleShot(true);
    m_batch.setInterval(batchMs);
    connect(&m_batch, &QTimer::timeout, this, &HistoryGridModel::sync);
    connect(&retrieval, &HistoryRetrieval::recordsAdded, this, [this] {
        if (!m_resultsOn && !m_batch.isActive())
            m_batch.start();
    });
    connect(&retrieval, &HistoryRetrieval::finished, this, &HistoryGridModel::sync);
    connect(&retrieval, &HistoryRetrieval::cleared, this, &HistoryGridModel::reset);
    connect(&retrieval, &HistoryRetrieval::viewReplaced, this, &HistoryGridModel::reset);
    m_rows = retrieval.viewCount();
}

const std::vector<DataPack> &HistoryGridModel::shown() const
{
    return m_resultsOn ? m_results : m_retrieval.view();
}

int HistoryGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int HistoryGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : historyColumnCount;
}

const DataPack *HistoryGridModel::record(int row) const
{
    const auto &rows = shown();
    return row >= 0 && row < m_rows && std::size_t(row) < rows.size() ? &rows[std::size_t(row)] : nullptr;
}

QString HistoryGridModel::cellText(int row, int column) const
{
    const DataPack *p = record(row);
    if (!p || column < 0 || column >= historyColumnCount)
        return {};
    return historyCellText(*p, row + 1, HistoryColumn(column), context());
}

QVariant HistoryGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return cellText(index.row(), index.column());
    if (role == RecordKindRole) {
        const DataPack *p = record(index.row());
        return p ? int(p->typ) : 0;
    }
    return {};
}

QVariant HistoryGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= historyColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == int(HistoryColumn::Record))
        return m_recordHeader;
    return historyHeaderCells(m_readerAddress).at(section);
}

void HistoryGridModel::setContextSource(std::function<HistoryCellContext()> source)
{
    m_contextSource = std::move(source);
    if (m_rows > 0)
        Q_EMIT dataChanged(index(0, 0), index(m_rows - 1, historyColumnCount - 1));
}

HistoryCellContext HistoryGridModel::context() const
{
    HistoryCellContext c = m_contextSource ? m_contextSource() : HistoryCellContext{};
    c.readerAddress = m_readerAddress;
    return c;
}

void HistoryGridModel::setReaderAddress(bool on)
{
    if (on == m_readerAddress)
        return;
    m_readerAddress = on;
    const int reader = int(HistoryColumn::Reader);
    Q_EMIT headerDataChanged(Qt::Horizontal, reader, reader);
    if (m_rows > 0)
        Q_EMIT dataChanged(index(0, reader), index(m_rows - 1, reader));
}

void HistoryGridModel::setRecordHeader(const QString &text)
{
    if (text == m_recordHeader)
        return;
    m_recordHeader = text;
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, 0);
}

void HistoryGridModel::showResults(std::vector<DataPack> results)
{
    m_batch.stop();
    beginResetModel();
    m_results = std::move(results);
    m_resultsOn = true;
    m_rows = int(m_results.size());
    endResetModel();
}

void HistoryGridModel::leaveResults()
{
    if (!m_resultsOn)
        return;
    m_batch.stop();
    beginResetModel();
    m_resultsOn = false;
    m_results.clear();
    m_rows = m_retrieval.viewCount();
    endResetModel();
}

void HistoryGridModel::reset()
{
    m_batch.stop();
    beginResetModel();
    m_resultsOn = false;
    m_results.clear();
    m_rows = m_retrieval.viewCount();
    endResetModel();
}

void HistoryGridModel::sync()
{
    m_batch.stop();
    if (m_resultsOn)
        return;
    const int held = m_retrieval.viewCount();
    if (held > m_rows) {
        beginInsertRows({}, m_rows, held - 1);
        m_rows = held;
        endInsertRows();
    } else if (held < m_rows) {
        reset();
    }
}

} // namespace vork
