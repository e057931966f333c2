#include "discovery/ui/discoverygriddelegate.h"

#include "discovery/ui/discoverygridmodel.h"
#include "discovery/unitcolumns.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace vork {

namespace {
constexpr int boxInset = 5;
constexpr int boxSize = 10;
constexpr int descInset = 5;
constexpr int textTop = 3;
constexpr int shortenMargin = 10;
} // namespace

QString DiscoveryGridDelegate::shortenToWidth(const QString &text, int width, const QFontMetrics &metrics)
{
    const int room = width - shortenMargin;
    if (metrics.horizontalAdvance(text) <= room)
        return text;
    const QString dots = QStringLiteral("...");
    QString base = text.left(std::max(0, static_cast<int>(text.size()) - 4));
    while (!base.isEmpty() && metrics.horizontalAdvance(base + dots) > room)
        base.chop(1);
    return base + dots;
}

int DiscoveryGridDelegate::textLeft(int cellWidth, int textWidth, int reserve)
{
    const int counted = textWidth + reserve;
    return cellWidth > counted ? (cellWidth - counted) / 2 : 2;
}

void DiscoveryGridDelegate::paintBox(QPainter *painter, const QRect &cell, const QModelIndex &index) const
{
    const QRect box(cell.left() + boxInset, cell.top() + boxInset, boxSize, boxSize);
    const QColor colour = index.data(DiscoveryGridModel::BoxColorRole).value<QColor>();
    painter->setPen(colour);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(box.adjusted(0, 0, -1, -1));
    if (!index.data(DiscoveryGridModel::SelectedRole).toBool())
        return;
    // Check mark: two strokes.
    QPen pen(colour, 2);
    painter->setPen(pen);
    const QPoint a(box.left() + 2, box.top() + 5);
    const QPoint b(box.left() + 4, box.bottom() - 2);
    const QPoint c(box.right() - 2, box.top() + 2);
    painter->drawLine(a, b);
    painter->drawLine(b, c);
}

void DiscoveryGridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const
{
    using namespace unitcolumns;
    const QRect cell = option.rect;
    painter->save();
    painter->setClipRect(cell);
    painter->fillRect(cell, index.data(Qt::BackgroundRole).value<QColor>());

    if (!index.data(DiscoveryGridModel::UnitRowRole).toBool()) {
        painter->restore();
        return;
    }

    const int column = index.column();
    if (column == Sel) {
        paintBox(painter, cell, index);
        painter->restore();
        return;
    }

    QFont font = option.font;
    font.setBold(index.data(DiscoveryGridModel::BoldRole).toBool());
    painter->setFont(font);
    const QFontMetrics metrics(font);
    painter->setPen(index.data(DiscoveryGridModel::TextColorRole).value<QColor>());
    const QString text = index.data(Qt::DisplayRole).toString();

    if (column == Description) {
        const int inset = index.data(DiscoveryGridModel::ShortenInsetRole).toInt();
        const QString shown = shortenToWidth(text, cell.width() - inset, metrics);
        painter->drawText(QPoint(cell.left() + descInset, cell.top() + descInset + metrics.ascent()), shown);
    } else {
        const QString shown = column == Ver ? shortenToWidth(text, cell.width(), metrics) : text;
        const int reserve = index.data(DiscoveryGridModel::TextReserveRole).toInt();
        const int left = textLeft(cell.width(), metrics.horizontalAdvance(shown), reserve);
        painter->drawText(QPoint(cell.left() + left, cell.top() + textTop + metrics.ascent()), shown);
        const QVariant mark = index.data(DiscoveryGridModel::MarkRole);
        if (mark.isValid()) {
            const int w = DiscoveryGridModel::markWidth;
            painter->fillRect(QRect(cell.right() - w + 1, cell.top(), w, cell.height()), mark.value<QColor>());
        }
    }

    const QVariant frame = index.data(DiscoveryGridModel::FrameRole);
    if (frame.isValid()) {
        painter->setPen(QPen(frame.value<QColor>(), 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(cell.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

} // namespace vork
