#include "monitor/ui/monitorunitviews.h"

#include "unit/records.h"
#include "unit/unittable.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QStyle>

namespace vork {

namespace {
const QString none = QStringLiteral("***");
// Presses this near the tree's left edge belong to its expand buttons.
constexpr int buttonStrip = 19;

enum ListColumn { TitleColumn = 0, ReaderColumn, ReadColumn, ErrorColumn, DiagnosticColumn, ListColumns };

constexpr int monitoringRole = Qt::UserRole + 1;

void setUnitMark(QTreeWidgetItem *item, int column, const QWidget *w, bool monitoring)
{
    item->setIcon(column, w->style()->standardIcon(monitoring ? QStyle::SP_DialogApplyButton
                                                              : QStyle::SP_DialogCancelButton));
    item->setData(column, monitoringRole, monitoring);
}

const QString treeRead = QStringLiteral("Last Read            *** ***");
const QString treeError = QStringLiteral("Last Error             *** ***");
const QString treeDiagnostic = QStringLiteral("Last Diagnostic    *** ***");

QString joined(const QString &value, const QString &time, const char *gap)
{
    return value == none ? QString() : value + QLatin1String(gap) + time;
}
} // namespace

MonitorUnitView::MonitorUnitView(Shape shape, UnitTable &units, QWidget *parent)
    : QTreeWidget(parent), m_shape(shape), m_units(units)
{
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    if (shape == Shape::List) {
        setRootIsDecorated(false);
        setHeaderLabels({QStringLiteral("Unit"), QStringLiteral("Reader"), QStringLiteral("Last Read"),
                         QStringLiteral("Last Error"), QStringLiteral("Last Diagnostic")});
        header()->setSectionResizeMode(QHeaderView::Interactive);
        header()->resizeSection(TitleColumn, 200);
        header()->resizeSection(ReaderColumn, 60);
        header()->resizeSection(ReadColumn, 200);
        header()->resizeSection(ErrorColumn, 200);
    } else {
        setHeaderHidden(true);
    }
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        if (!m_pressOnButtons)
            itemChosen(item);
    });
    // Enter on the unit's entry opens its details from the keyboard.
    connect(this, &QTreeWidget::itemActivated, this, &MonitorUnitView::itemChosen);
}

void MonitorUnitView::mousePressEvent(QMouseEvent *event)
{
    m_pressOnButtons = m_shape == Shape::Tree && event->position().x() < buttonStrip;
    QTreeWidget::mousePressEvent(event);
}

void MonitorUnitView::itemChosen(QTreeWidgetItem *item)
{
    const auto it = m_unitItems.constFind(item);
    if (it != m_unitItems.constEnd())
        Q_EMIT detailsRequested(it.value());
}

QString MonitorUnitView::readText(const udppack &unit, int reader)
{
    const auto r = static_cast<std::size_t>(reader);
    return joined(unit.LastRead[r], unit.LastReadtime[r], "    ");
}

QString MonitorUnitView::errorText(const udppack &unit, int reader)
{
    const auto r = static_cast<std::size_t>(reader);
    return joined(unit.LastErr[r], unit.LastErrtime[r], "    ");
}

QString MonitorUnitView::diagnosticText(const udppack &unit, int reader)
{
    const auto r = static_cast<std::size_t>(reader);
    return joined(unit.LastDiag[r], unit.LastDiagtime[r], "    ");
}

void MonitorUnitView::build()
{
    clear();
    m_readers.clear();
    m_unitItems.clear();
    for (int i = 0; i < m_units.activeCount(); ++i) {
        const udppack *unit = m_units.active(i);
        if (!unit)
            continue;
        const int readers = MonitorSession::readerCount(*unit);
        QList<QTreeWidgetItem *> entries;
        if (m_shape == Shape::List) {
            for (int r = 0; r < readers; ++r) {
                auto *row = new QTreeWidgetItem(this, {QString(), QString(), none, none, none});
                if (r == 0) {
                    setUnitMark(row, TitleColumn, this, unit->Monitor);
                    m_unitItems.insert(row, unit->link);
                }
                entries << row;
            }
        } else {
            auto *root = new QTreeWidgetItem(this, {QStringLiteral("Unit")});
            setUnitMark(root, 0, this, unit->Monitor);
            m_unitItems.insert(root, unit->link);
            for (int r = 0; r < readers; ++r) {
                auto *node = new QTreeWidgetItem(root, {QStringLiteral("Reader ")});
                node->setIcon(0, style()->standardIcon(QStyle::SP_DriveNetIcon));
                new QTreeWidgetItem(node, {treeRead});
                new QTreeWidgetItem(node, {treeError});
                new QTreeWidgetItem(node, {treeDiagnostic});
                node->child(0)->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
                node->child(1)->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
                node->child(2)->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxInformation));
                entries << node;
            }
        }
        m_readers.insert(unit->link, entries);
    }
    applyIdentifiers(m_unitChoice, m_readerChoice);
}

void MonitorUnitView::applyIdentifiers(UnitIdentifier unitChoice, ReaderIdentifier readerChoice)
{
    m_unitChoice = unitChoice;
    m_readerChoice = readerChoice;
    for (auto it = m_readers.cbegin(); it != m_readers.cend(); ++it) {
        const int index = m_units.findByLink(it.key());
        if (index < 0 || it.value().isEmpty())
            continue;
        const udppack &unit = m_units.unit(index);
        const QList<QTreeWidgetItem *> &entries = it.value();
        const QString title = monitorUnitTitle(unit, unitChoice);
        if (m_shape == Shape::List)
            entries.first()->setText(TitleColumn, title);
        else if (QTreeWidgetItem *root = entries.first()->parent())
            root->setText(0, title);
        for (int r = 0; r < entries.size(); ++r) {
            const QString id = QString::number(monitorReaderIdentifier(unit, r, readerChoice));
            if (m_shape == Shape::List)
                entries.at(r)->setText(ReaderColumn, id);
            else
                entries.at(r)->setText(0, QStringLiteral("Reader ") + id);
        }
    }
}

void MonitorUnitView::refresh(const udppack &unit)
{
    const auto it = m_readers.constFind(unit.link);
    if (it == m_readers.constEnd())
        return;
    const QList<QTreeWidgetItem *> &entries = it.value();
    for (int r = 0; r < entries.size() && r < DataPack::readerSlots; ++r) {
        QTreeWidgetItem *item = entries.at(r);
        const auto i = static_cast<std::size_t>(r);
        if (m_shape == Shape::List) {
            if (unit.LastRead[i] != none)
                item->setText(ReadColumn, readText(unit, r));
            if (unit.LastErr[i] != none)
                item->setText(ErrorColumn, errorText(unit, r));
            if (unit.LastDiag[i] != none)
                item->setText(DiagnosticColumn, diagnosticText(unit, r));
        } else if (item->childCount() > 2) {
            item->child(0)->setText(0, QStringLiteral("Last Read:           ") + unit.LastRead[i] + QStringLiteral("   ")
                                           + unit.LastReadtime[i]);
            item->child(1)->setText(0, QStringLiteral("Last Error:            ") + unit.LastErr[i]
                                           + QStringLiteral("   ") + unit.LastErrtime[i]);
            item->child(2)->setText(0, QStringLiteral("Last Diagnostic:   ") + unit.LastDiag[i]
                                           + QStringLiteral("    ") + unit.LastDiagtime[i]);
        }
    }
}

void MonitorUnitView::markNotMonitored(const udppack &unit, const QString &why)
{
    const auto it = m_readers.constFind(unit.link);
    if (it == m_readers.constEnd())
        return;
    if (QTreeWidgetItem *entry = unitItem(unit.link)) {
        setUnitMark(entry, m_shape == Shape::List ? TitleColumn : 0, this, false);
        entry->setToolTip(m_shape == Shape::List ? TitleColumn : 0, why);
    }
    for (QTreeWidgetItem *item : it.value()) {
        if (m_shape == Shape::List) {
            for (int column : {ReadColumn, ErrorColumn, DiagnosticColumn})
                item->setText(column, none);
        } else if (item->childCount() > 2) {
            item->child(0)->setText(0, treeRead);
            item->child(1)->setText(0, treeError);
            item->child(2)->setText(0, treeDiagnostic);
        }
    }
}

bool MonitorUnitView::showsMonitoring(const QTreeWidgetItem *unitEntry)
{
    return unitEntry && unitEntry->data(0, monitoringRole).toBool();
}

QTreeWidgetItem *MonitorUnitView::readerItem(quint64 link, int reader) const
{
    const QList<QTreeWidgetItem *> entries = m_readers.value(link);
    return reader >= 0 && reader < entries.size() ? entries.at(reader) : nullptr;
}

QTreeWidgetItem *MonitorUnitView::unitItem(quint64 link) const
{
    for (auto it = m_unitItems.cbegin(); it != m_unitItems.cend(); ++it)
        if (it.value() == link)
            return it.key();
    return nullptr;
}

} // namespace vork
