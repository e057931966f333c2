#include "history/ui/historygrid.h"

#include "core/ui/colors.h"
#include "core/ui/headerhint.h"
#include "history/historycells.h"
#include "history/ui/historygridmodel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

namespace vork {

namespace {
constexpr int textInset = 5;
constexpr int barWidth = 5;
constexpr int barInset = 5;
constexpr int readerColumn = int(HistoryColumn::Reader);
constexpr int recordColumn = int(HistoryColumn::Record);
} // namespace

HistoryGridDelegate::HistoryGridDelegate(const GridColors &colors, QObject *parent)
    : QStyledItemDelegate(parent), m_colors(colors)
{
}

QColor HistoryGridDelegate::barColor(const QString &typeText)
{
    if (typeText.isEmpty())
        return {};
    switch (typeText.at(0).unicode()) {
    case 'A': return QColor(245, 194, 99);
    case 'B': return QColor(185, 92, 0);
    case 'D': return QColor(0, 255, 0);
    case 'E': return QColor(Qt::red);
    case 'L': return QColor(Qt::blue);
    default: return {};
    }
}

void HistoryGridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget *widget = opt.widget;
    if (QStyle *style = widget ? widget->style() : nullptr)
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    painter->save();
    const bool selected = opt.state & QStyle::State_Selected;
    painter->setPen(selected ? opt.palette.color(QPalette::HighlightedText) : toQColor(m_colors.GridFont));
    QFont font = opt.font;
    font.setBold(m_colors.GridBold);
    painter->setFont(font);
    const QRect r = opt.rect;
    painter->drawText(r.adjusted(textInset, textInset, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    if (index.column() == int(HistoryColumn::Type)) {
        const QColor bar = barColor(text);
        if (bar.isValid())
            painter->fillRect(QRect(r.right() - barInset - barWidth + 1, r.top() + 3, barWidth, r.height() - 7), bar);
    }
    painter->restore();
}

HistoryGrid::HistoryGrid(HistoryGridModel &model, const GridColors &colors, QWidget *parent)
    : QTableView(parent), m_model(model), m_colors(colors)
{
    setModel(&model);
    setItemDelegate(new HistoryGridDelegate(colors, this));
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    QHeaderView *header = horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    header->setMouseTracking(true);
    header->viewport()->setMouseTracking(true);
    header->viewport()->installEventFilter(this);
    header->setStretchLastSection(true);
    header->resizeSection(int(HistoryColumn::Value), 260);
    connect(header, &QHeaderView::sectionClicked, this, &HistoryGrid::headerClicked);
    connect(header, &QHeaderView::sectionDoubleClicked, this, &HistoryGrid::fitColumn);
    connect(header, &QHeaderView::sectionResized, this, [this](int column) { columnResized(column); });
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { Q_EMIT menuRequested(viewport()->mapToGlobal(pos)); });
    applyColors();
    columnResized(recordColumn);
}

void HistoryGrid::applyColors()
{
    QPalette pal = palette();
    pal.setColor(QPalette::Base, toQColor(m_colors.Grid));
    pal.setColor(QPalette::Text, toQColor(m_colors.GridFont));
    setPalette(pal);
    setShowGrid(m_colors.GridLines);
    QFont f = horizontalHeader()->font();
    f.setBold(m_colors.GridHeaderBold);
    horizontalHeader()->setFont(f);
}

int HistoryGrid::visibleRows() const
{
    // The view's lines sit inside its rows: a row is rowHeight pixels either way.
    return qMax(1, viewport()->height() / rowHeight);
}

int HistoryGrid::topRow() const
{
    const int row = rowAt(0);
    return row < 0 ? 1 : row + 1;
}

void HistoryGrid::setTopRow(int row)
{
    // Rows just added must count in the scroll range before it is set.
    executeDelayedItemsLayout();
    updateGeometries();
    verticalScrollBar()->setValue(qMax(0, row - 1));
}

QString HistoryGrid::headerHint(int column) const
{
    if (column != readerColumn)
        return {};
    return m_model.readerAddress() ? QStringLiteral("Click to show Reader Index")
                                   : QStringLiteral("Click to show Reader Address");
}

void HistoryGrid::headerClicked(int column)
{
    if (column == readerColumn)
        m_model.setReaderAddress(!m_model.readerAddress());
}

void HistoryGrid::fitColumn(int column)
{
    if (column < 0 || column >= historyColumnCount)
        return;
    const QFontMetrics fm(font());
    int widest = 0;
    // The rows in sight and around them: a full buffer is not measured cell by cell.
    const int first = qMax(0, topRow() - 1);
    const int last = qMin(m_model.rowCount(), first + 4 * visibleRows());
    for (int r = first; r < last; ++r)
        widest = qMax(widest, fm.horizontalAdvance(m_model.cellText(r, column)));
    const qreal dpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    horizontalHeader()->resizeSection(column, widest + qRound(textInset * dpi / 96.0));
}

void HistoryGrid::columnResized(int column)
{
    if (column != recordColumn)
        return;
    const QString word = QStringLiteral("Record");
    const int room = horizontalHeader()->sectionSize(recordColumn) - 2 * textInset;
    m_model.setRecordHeader(QFontMetrics(horizontalHeader()->font()).horizontalAdvance(word) <= room
                                ? word
                                : QStringLiteral("Rec"));
}

void HistoryGrid::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape
        || (event->key() == Qt::Key_F && (event->modifiers() & Qt::ControlModifier))) {
        Q_EMIT searchRequested();
        return;
    }
    if (event->key() == Qt::Key_F3) {
        Q_EMIT searchRepeated();
        return;
    }
    QTableView::keyPressEvent(event);
}

void HistoryGrid::wheelEvent(QWheelEvent *event)
{
    // One row a notch, and the row under the pointer becomes the selection.
    const int notches = event->angleDelta().y() / 120;
    if (notches == 0) {
        QTableView::wheelEvent(event);
        return;
    }
    verticalScrollBar()->setValue(verticalScrollBar()->value() - notches);
    const QModelIndex under = indexAt(event->position().toPoint());
    if (under.isValid())
        setCurrentIndex(under);
    event->accept();
}

void HistoryGrid::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    Q_EMIT visibleRowsChanged(visibleRows());
}

bool HistoryGrid::eventFilter(QObject *watched, QEvent *event)
{
    QHeaderView *header = horizontalHeader();
    if (watched == header->viewport()
        && headerHintEvent(header, event, [this](int column) { return headerHint(column); }))
        return true;
    return QTableView::eventFilter(watched, event);
}

} // namespace vork
