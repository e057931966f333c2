#pragma once

#include <QAbstractTableModel>
#include <QTimer>

namespace vork {

class MonitorSession;

// The scrolling view's rows, read from the session's records when a cell is
// drawn. New and dropped rows reach the view in batches, so a fast stream of
// records costs one layout per batch rather than one per record.
class MonitorScrollModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int batchMs = 40;

    explicit MonitorScrollModel(MonitorSession &session, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role = Qt::EditRole) override;

    // Brings the view up to the session's rows now (also after the session was cleared).
    void sync();

Q_SIGNALS:
    // A batch of rows was added at the end.
    void rowsAppended();

private:
    void rowArrived();
    void rowsDropped(int count);

    MonitorSession &m_session;
    QStringList m_header;
    int m_shown = 0;       // rows the view knows of
    int m_dropped = 0;     // rows the session dropped from the front since the last batch
    QTimer m_batch;
};

} // namespace vork
