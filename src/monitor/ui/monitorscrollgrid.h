#pragma once

#include <QStyledItemDelegate>
#include <QTableView>

namespace vork {

class MonitorScrollModel;
class MonitorSession;

// Body cells: text 5 pixels in from the left and top; in the Type column a
// coloured bar by kind near the right edge.
class MonitorScrollDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // The bar's colour for a type text; invalid for none.
    static QColor barColor(const QString &typeText);
};

// The MONITOR page's scrolling view: the newest record always in sight; the
// reader and unit column headers switch what new rows show.
class MonitorScrollGrid : public QTableView
{
    Q_OBJECT
public:
    static constexpr int rowHeight = 20;

    MonitorScrollGrid(MonitorSession &session, QWidget *parent = nullptr);

    MonitorScrollModel &scrollModel() const { return *m_model; }
    // The hint over a header column; empty for a column without one.
    QString headerHint(int column) const;
    // A header click: column 1 flips the reader mode, column 6 the unit column.
    void headerClicked(int column);
    // A header double click: the column as wide as its widest text.
    void fitColumn(int column);
    // Header cells that follow the modes ("Rdr"/"Rdr i", "MAC address"/"Description").
    void applyModeHeaders();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void columnResized(int column);

    MonitorSession &m_session;
    MonitorScrollModel *m_model;
};

} // namespace vork
