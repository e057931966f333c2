#include "monitor/ui/monitorscrollgrid.h"

#include "core/ui/headerhint.h"
#include "monitor/monitorsession.h"
#include "monitor/ui/monitorscrollmodel.h"

#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QScreen>

namespace vork {

namespace {
constexpr int textInset = 5;
constexpr int barWidth = 5;
constexpr int barInset = 5;
constexpr int readerColumn = int(MonitorColumn::Reader);
constexpr int unitColumn = int(MonitorColumn::Unit);
constexpr int recordColumn = int(MonitorColumn::Record);
} // namespace

QColor MonitorScrollDelegate::barColor(const QString &typeText)
{
    if (typeText.startsWith(QLatin1Char('E')))
        return Qt::red;
    if (typeText.startsWith(QLatin1Char('L')))
        return Qt::blue;
    if (typeText.startsWith(QLatin1Char('D')))
        return Qt::green;
    return {};
}

void MonitorScrollDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : nullptr;
    if (style)
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    painter->save();
    const bool selected = opt.state & QStyle::State_Selected;
    painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect r = opt.rect;
    painter->drawText(r.adjusted(textInset, textInset, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    if (index.column() == int(MonitorColumn::Type)) {
        const QColor bar = barColor(text);
        if (bar.isValid())
            painter->fillRect(QRect(r.right() - barInset - barWidth + 1, r.top() + 3, barWidth, r.height() - 7), bar);
    }
    painter->restore();
}

MonitorScrollGrid::MonitorScrollGrid(MonitorSession &session, QWidget *parent)
    : QTableView(parent), m_session(session), m_model(new MonitorScrollModel(session, this))
{
    setModel(m_model);
    setItemDelegate(new MonitorScrollDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
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
    connect(header, &QHeaderView::sectionClicked, this, &MonitorScrollGrid::headerClicked);
    connect(header, &QHeaderView::sectionDoubleClicked, this, &MonitorScrollGrid::fitColumn);
    connect(header, &QHeaderView::sectionResized, this, [this](int column) { columnResized(column); });
    // The newest record stays in sight.
    connect(m_model, &MonitorScrollModel::rowsAppended, this, &QTableView::scrollToBottom);
    applyModeHeaders();
    columnResized(recordColumn);
}

void MonitorScrollGrid::applyModeHeaders()
{
    m_model->setHeaderData(readerColumn, Qt::Horizontal,
                           m_session.readerAddressMode() ? QStringLiteral("Rdr") : QStringLiteral("Rdr i"));
    m_model->setHeaderData(unitColumn, Qt::Horizontal,
                           m_session.unitDescriptionMode() ? QStringLiteral("Description")
                                                           : QStringLiteral("MAC address"));
}

QString MonitorScrollGrid::headerHint(int column) const
{
    if (column == readerColumn)
        return m_session.readerAddressMode() ? QStringLiteral("Click to show Reader Index")
                                             : QStringLiteral("Click to show Reader Address");
    if (column == unitColumn)
        return m_session.unitDescriptionMode() ? QStringLiteral("Click to show MAC addresses")
                                               : QStringLiteral("Click to show Reader Description");
    return {};
}

void MonitorScrollGrid::headerClicked(int column)
{
    if (column == readerColumn)
        m_session.setReaderAddressMode(!m_session.readerAddressMode());
    else if (column == unitColumn)
        m_session.setUnitDescriptionMode(!m_session.unitDescriptionMode());
    else
        return;
    applyModeHeaders();
}

void MonitorScrollGrid::fitColumn(int column)
{
    if (column < 0 || column >= monitorColumnCount)
        return;
    const QFontMetrics fm(font());
    int widest = 0;
    for (const MonitorRow &row : m_session.rows())
        widest = qMax(widest, fm.horizontalAdvance(monitorCellText(row, MonitorColumn(column))));
    const qreal dpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    horizontalHeader()->resizeSection(column, widest + qRound(textInset * dpi / 96.0));
}

void MonitorScrollGrid::columnResized(int column)
{
    if (column != recordColumn)
        return;
    // The long word when it fits.
    const QString word = QStringLiteral("Record");
    const int room = horizontalHeader()->sectionSize(recordColumn) - 2 * textInset;
    const QString want = QFontMetrics(horizontalHeader()->font()).horizontalAdvance(word) <= room
                             ? word
                             : monitorHeaderCells().at(recordColumn);
    if (m_model->headerData(recordColumn, Qt::Horizontal, Qt::DisplayRole).toString() != want)
        m_model->setHeaderData(recordColumn, Qt::Horizontal, want);
}

bool MonitorScrollGrid::eventFilter(QObject *watched, QEvent *event)
{
    QHeaderView *header = horizontalHeader();
    if (watched == header->viewport()
        && headerHintEvent(header, event, [this](int column) { return headerHint(column); }))
        return true;
    return QTableView::eventFilter(watched, event);
}

} // namespace vork
