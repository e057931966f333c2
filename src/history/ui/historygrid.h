#pragma once

#include "core/options.h"

#include <QStyledItemDelegate>
#include <QTableView>

namespace vork {

class HistoryGridModel;

// Body cells: text 5 pixels in from the left and top, bold when the grid
// colours say so; in the Type column a bar coloured by the type's first letter.
class HistoryGridDelegate : public QStyledItemDelegate
{
public:
    HistoryGridDelegate(const GridColors &colors, QObject *parent = nullptr);
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // The bar's colour for a type text; invalid for none.
    static QColor barColor(const QString &typeText);

private:
    const GridColors &m_colors;
};

// The HISTORY page's grid. Escape or Ctrl+F asks for the search window, F3
// repeats the search; a click on the reader header flips the reader display.
class HistoryGrid : public QTableView
{
    Q_OBJECT
public:
    static constexpr int rowHeight = 20;

    HistoryGrid(HistoryGridModel &model, const GridColors &colors, QWidget *parent = nullptr);

    HistoryGridModel &gridModel() const { return m_model; }
    // Rows fully in sight, and the record number that many rows make.
    int visibleRows() const;
    // The grid's first shown row, 1-based.
    int topRow() const;
    void setTopRow(int row);
    QString headerHint(int column) const;
    void headerClicked(int column);
    void fitColumn(int column);
    void applyColors();

Q_SIGNALS:
    void searchRequested();
    void searchRepeated();
    void menuRequested(const QPoint &globalPos);
    void visibleRowsChanged(int rows);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void columnResized(int column);

    HistoryGridModel &m_model;
    const GridColors &m_colors;
};

} // namespace vork
