#include "monitor/ui/monitorscrollmodel.h"

#include "monitor/monitorsession.h"

namespace vork {

MonitorScrollModel::MonitorScrollModel(MonitorSession &session, QObject *parent)
    : QAbstractTableModel(parent), m_session(session), m_header(monitorHeaderCells())
{
    m_batch.setSingleShot(true);
    m_batch.setInterval(batchMs);
    connect(&m_batch, &QTimer::timeout, this, &MonitorScrollModel::sync);
    connect(&session, &MonitorSession::recordArrived, this, [this](int, bool row) {
        if (row)
            rowArrived();
    });
    connect(&session, &MonitorSession::rowsDropped, this, &MonitorScrollModel::rowsDropped);
    connect(&session, &MonitorSession::rowsCleared, this, [this] {
        m_batch.stop();
        beginResetModel();
        m_shown = 0;
        m_dropped = 0;
        endResetModel();
    });
}

int MonitorScrollModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

int MonitorScrollModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : monitorColumnCount;
}

QVariant MonitorScrollModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    // Rows the session dropped since the last batch are still in the view: they show empty.
    const long long at = static_cast<long long>(index.row()) - m_dropped;
    const auto &rows = m_session.rows();
    if (at < 0 || at >= static_cast<long long>(rows.size()))
        return {};
    return monitorCellText(rows[static_cast<std::size_t>(at)], MonitorColumn(index.column()));
}

QVariant MonitorScrollModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_header.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return m_header.at(section);
}

bool MonitorScrollModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::EditRole) || section < 0
        || section >= m_header.size())
        return false;
    m_header[section] = value.toString();
    Q_EMIT headerDataChanged(orientation, section, section);
    return true;
}

void MonitorScrollModel::rowArrived()
{
    if (!m_batch.isActive())
        m_batch.start();
}

void MonitorScrollModel::rowsDropped(int count)
{
    m_dropped += count;
    rowArrived();
}

void MonitorScrollModel::sync()
{
    m_batch.stop();
    const int held = static_cast<int>(m_session.rows().size());
    // More dropped than shown: rows that came and went within one batch.
    const int gone = qMin(m_dropped, m_shown);
    m_dropped = 0;
    if (gone > 0) {
        beginRemoveRows({}, 0, gone - 1);
        m_shown -= gone;
        endRemoveRows();
    }
    if (held > m_shown) {
        beginInsertRows({}, m_shown, held - 1);
        m_shown = held;
        endInsertRows();
        Q_EMIT rowsAppended();
    }
}

} // namespace vork
