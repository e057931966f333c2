#pragma once

#include <QStyledItemDelegate>

class QFontMetrics;

namespace vork {

// Paints the discovery list from the decisions of DiscoveryGridModel:
// selection box, fills, frames, marks and the shortened description.
class DiscoveryGridDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Fits text into a column of width pixels: when it is wider than width - 10,
    // the last four characters give way to "...", then one more at a time until it fits.
    static QString shortenToWidth(const QString &text, int width, const QFontMetrics &metrics);

    // Left edge of a text of textWidth in a cell of cellWidth: centred when the cell is wider
    // than the text (counted reserve pixels wider), else 2 pixels in.
    static int textLeft(int cellWidth, int textWidth, int reserve);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    void paintBox(QPainter *painter, const QRect &cell, const QModelIndex &index) const;
};

} // namespace vork
