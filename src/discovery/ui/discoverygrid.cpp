#include "discovery/ui/discoverygrid.h"

#include "core/operator.h"
#include "core/ui/colors.h"
#include "discovery/ui/discoverygriddelegate.h"
#include "discovery/ui/discoverygridmodel.h"
#include "discovery/unicast.h"
#include "discovery/unitcolumns.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QCursor>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QKeyEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QToolTip>
#include <QWheelEvent>

namespace vork {

using namespace unitcolumns;

namespace {
constexpr int wheelNotch = 120;
const QPoint menuOffset(40, 20);
} // namespace

DiscoveryGrid::DiscoveryGrid(DiscoveryGridModel &model, Operator &op, QWidget *parent)
    : QTableView(parent), m_model(model), m_op(op), m_hintText(DiscoveryGridModel::descriptionHint())
{
    setObjectName(QStringLiteral("SG1"));
    setModel(&m_model);
    setItemDelegate(new DiscoveryGridDelegate(this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setWordWrap(false);
    setFocusPolicy(Qt::StrongFocus);
    // Tab leaves the list; the arrows move between units.
    setTabKeyNavigation(false);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setShowGrid(m_model.colors().GridLines);

    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(unitRowHeight);
    horizontalHeader()->setFixedHeight(headerRowHeight);
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    applyInitialWidths();

    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Base, toQColor(m_model.colors().Grid));
    viewport()->setPalette(pal);
    connect(&m_model, &QAbstractItemModel::headerDataChanged, this, [this] {
        setShowGrid(m_model.colors().GridLines);
        QPalette p = viewport()->palette();
        p.setColor(QPalette::Base, toQColor(m_model.colors().Grid));
        viewport()->setPalette(p);
    });

    m_hintTimer.setSingleShot(true);
    m_hintTimer.setInterval(hintWindowMs);
    connect(&m_hintTimer, &QTimer::timeout, this, &DiscoveryGrid::closeHintWindow);
    // Rows vanish when the table is cleared: so does the row the hint window belongs to.
    connect(&m_model, &QAbstractItemModel::modelReset, this, &DiscoveryGrid::closeHintWindow);

    buildMenu();
}

QString DiscoveryGrid::exportWaitingText()
{
    return QStringLiteral("Waiting for history export to complete - Click the export button again to abort");
}

QAction *DiscoveryGrid::addCommand(QMenu *menu, const QString &text, GridCommand command)
{
    QAction *action = menu->addAction(text);
    action->setEnabled(false);
    m_commands.insert(command, action);
    connect(action, &QAction::triggered, this, [this, command] {
        // Commands act on the unit of the pressed row, and only on a unit row.
        if (!m_menuIP.isEmpty())
            Q_EMIT commandTriggered(command, m_menuIP);
    });
    return action;
}

void DiscoveryGrid::buildMenu()
{
    m_menu = new QMenu(this);
    addCommand(m_menu, QStringLiteral("Configure"), GridCommand::Configure);
    addCommand(m_menu, QStringLiteral("Show Info"), GridCommand::ShowInfo);
    addCommand(m_menu, QStringLiteral("Monitor"), GridCommand::Monitor);
    addCommand(m_menu, QStringLiteral("History"), GridCommand::History);
    addCommand(m_menu, QStringLiteral("Webpage"), GridCommand::Webpage);
    m_setTimeMenu = m_menu->addMenu(QStringLiteral("Set Time/Date"));
    addCommand(m_setTimeMenu, QStringLiteral("Sync to PC's time"), GridCommand::SyncTime);
    addCommand(m_setTimeMenu, QStringLiteral("Goto Time Setup Tab"), GridCommand::GotoTimeSetup);
    addCommand(m_menu, QStringLiteral("Telnet"), GridCommand::Telnet);
    addCommand(m_menu, QStringLiteral("Reboot"), GridCommand::Reboot);
    addCommand(m_menu, QStringLiteral("Connect"), GridCommand::Connect);
    addCommand(m_menu, QStringLiteral("Disconnect"), GridCommand::Disconnect);
    m_restartMenu = m_menu->addMenu(QStringLiteral("Restart Port Service"));
    addCommand(m_restartMenu, QStringLiteral("Webpages"), GridCommand::RestartWebpages);
    addCommand(m_restartMenu, QStringLiteral("Telnet"), GridCommand::RestartTelnet);
    addCommand(m_restartMenu, QStringLiteral("Remote Access"), GridCommand::RestartRemoteAccess);
    addCommand(m_menu, QStringLiteral("Update"), GridCommand::Update);
    addCommand(m_menu, QStringLiteral("Netstat"), GridCommand::Netstat);
    m_configFileMenu = m_menu->addMenu(QStringLiteral("Configuration File"));
    addCommand(m_configFileMenu, QStringLiteral("Create Archive"), GridCommand::CreateArchive);
    addCommand(m_configFileMenu, QStringLiteral("Restore Archive"), GridCommand::RestoreArchive);
    addCommand(m_configFileMenu, QStringLiteral("Delete Archive"), GridCommand::DeleteArchive);
    addCommand(m_configFileMenu, QStringLiteral("Compare Archive && Config"), GridCommand::CompareArchive);
    m_ramMenu = m_menu->addMenu(QStringLiteral("RAM Menu"));
    addCommand(m_ramMenu, QStringLiteral("RAM Speed  Zero "), GridCommand::RamSpeedZero);
    addCommand(m_ramMenu, QStringLiteral("RAM Speed One"), GridCommand::RamSpeedOne);
    addCommand(m_ramMenu, QStringLiteral("Enable Safe Mode"), GridCommand::EnableSafeMode);
    addCommand(m_ramMenu, QStringLiteral("Disable Safe Mode"), GridCommand::DisableSafeMode);
    m_menu->addSeparator();
    m_closeMenu = m_menu->addAction(QStringLiteral("Close Menu"));
    connect(m_closeMenu, &QAction::triggered, m_menu, &QMenu::close);
    for (QMenu *sub : {m_setTimeMenu, m_restartMenu, m_configFileMenu, m_ramMenu})
        sub->menuAction()->setEnabled(false);
}

QAction *DiscoveryGrid::setTimeMenuAction() const
{
    return m_setTimeMenu->menuAction();
}

QAction *DiscoveryGrid::restartMenuAction() const
{
    return m_restartMenu->menuAction();
}

QAction *DiscoveryGrid::configFileMenuAction() const
{
    return m_configFileMenu->menuAction();
}

QAction *DiscoveryGrid::ramMenuAction() const
{
    return m_ramMenu->menuAction();
}

void DiscoveryGrid::setCommandEnabled(GridCommand command, bool enabled)
{
    QAction *action = m_commands.value(command);
    if (!action)
        return;
    action->setEnabled(enabled);
    // A submenu opens when any of its entries works.
    for (QMenu *sub : {m_setTimeMenu, m_restartMenu, m_configFileMenu, m_ramMenu}) {
        bool any = false;
        for (QAction *a : sub->actions())
            any = any || a->isEnabled();
        sub->menuAction()->setEnabled(any);
    }
}

void DiscoveryGrid::setPointerCursor(Qt::CursorShape shape)
{
    const QCursor *override = QGuiApplication::overrideCursor();
    if (override && (override->shape() == Qt::WaitCursor || override->shape() == Qt::BusyCursor))
        return;
    const Qt::CursorShape now = viewport()->cursor().shape();
    if (now == Qt::WaitCursor || now == Qt::BusyCursor)
        return;
    viewport()->setCursor(shape);
}

void DiscoveryGrid::highlightRow(int row)
{
    if (m_importRunning)
        return;
    m_model.setHoverRow(row);
    selectionModel()->select(QItemSelection(m_model.index(row, Description), m_model.index(row, Count - 1)),
                             QItemSelectionModel::ClearAndSelect);
    horizontalScrollBar()->setValue(0);
}

void DiscoveryGrid::clearHighlight()
{
    if (m_importRunning)
        return;
    m_model.setHoverRow(-1);
    selectionModel()->clearSelection();
}

void DiscoveryGrid::forgetPointer()
{
    clearHighlight();
    m_showHint = false;
    viewport()->update();
    setPointerCursor(Qt::ArrowCursor);
}

void DiscoveryGrid::closeHintWindow()
{
    m_hintTimer.stop();
    m_hintRow = -1;
    if (m_hintWindow)
        m_hintWindow->hide();
}

void DiscoveryGrid::updateHintWindow(int row)
{
    const udppack *unit = m_model.unitAt(row);
    if (!unit || fontMetrics().horizontalAdvance(unit->desc) <= columnWidth(Description)) {
        closeHintWindow();
        return;
    }
    if (m_hintWindow && m_hintWindow->isVisible() && m_hintRow == row)
        return;
    if (!m_hintWindow) {
        m_hintWindow = new QLabel(this, Qt::ToolTip);
        m_hintWindow->setWordWrap(true);
        m_hintWindow->setMaximumWidth(hintWindowMaxWidth);
        m_hintWindow->setMargin(2);
    }
    m_hintWindow->setText(unit->desc);
    m_hintWindow->adjustSize();
    m_hintWindow->move(viewport()->mapToGlobal(visualRect(m_model.index(row, Description)).topLeft()));
    m_hintWindow->show();
    m_hintRow = row;
    m_hintTimer.start();
}

void DiscoveryGrid::pointerAt(const QPoint &pos)
{
    if (!hasFocus())
        setFocus(Qt::MouseFocusReason);
    QToolTip::hideText();
    m_showHint = false;

    const int row = rowAt(pos.y());
    const int column = columnAt(pos.x());
    const udppack *unit = m_model.unitAt(row);
    if (!unit) {
        m_hintText = DiscoveryGridModel::descriptionHint();
        clearHighlight();
        setPointerCursor(Qt::ArrowCursor);
        return;
    }
    if (column == Ver && m_op.panel(Panel::Connection).isEmpty())
        m_op.setPanel(Panel::Version, unit->cpui ? QString::number(unit->cpui) + QLatin1Char('%') : QString());
    if (!m_helpShowing)
        highlightRow(row);
    m_showHint = column == Description;
    setPointerCursor(column == Description ? Qt::PointingHandCursor : Qt::ArrowCursor);
    updateHintWindow(row);
}

void DiscoveryGrid::mouseMoveEvent(QMouseEvent *event)
{
    pointerAt(event->position().toPoint());
    event->accept();
}

void DiscoveryGrid::mousePressEvent(QMouseEvent *event)
{
    if (m_exportRunning) {
        m_hintText = exportWaitingText();
        QToolTip::showText(event->globalPosition().toPoint(), displayText(m_hintText), viewport());
        event->accept();
        return;
    }
    m_hintText = DiscoveryGridModel::descriptionHint();
    if (!hasFocus())
        setFocus(Qt::MouseFocusReason);

    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        openMenu(pos, event->globalPosition().toPoint());
        event->accept();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const int row = rowAt(pos.y());
    if (!m_model.isUnitRow(row))
        return;
    // Units are found again by the address shown, never by a remembered slot.
    const QString ip = m_model.index(row, IPAddress).data().toString();
    if (columnAt(pos.x()) == Sel) {
        const int index = m_model.units().findByIP(ip);
        if (index >= 0)
            m_model.units().toggleSelection(index);
    } else {
        Q_EMIT connectRequested(ip);
    }
    event->accept();
}

void DiscoveryGrid::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
}

void DiscoveryGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click counts as a press of its own.
    mousePressEvent(event);
}

void DiscoveryGrid::openMenu(const QPoint &pos, const QPoint &globalPos)
{
    const udppack *unit = m_model.unitAt(rowAt(pos.y()));
    m_menuIP = unit ? unit->ip : QString();
    if (unit)
        m_configFileMenu->menuAction()->setVisible(versionNumber(unit->ver) >= UnicastCommands::archiveFirstVersion);
    if (m_model.units().count() > 0)
        m_menu->popup(globalPos + menuOffset);
}

void DiscoveryGrid::wheelEvent(QWheelEvent *event)
{
    QScrollBar *bar = verticalScrollBar();
    if (bar->maximum() <= bar->minimum()) {
        event->ignore();
        return;
    }
    m_wheelRemainder += event->angleDelta().y();
    const int notches = m_wheelRemainder / wheelNotch;
    m_wheelRemainder -= notches * wheelNotch;
    bar->setValue(bar->value() - notches);
    pointerAt(event->position().toPoint());
    event->accept();
}

void DiscoveryGrid::focusOutEvent(QFocusEvent *event)
{
    QTableView::focusOutEvent(event);
    // The pop-up menu takes the focus while it acts on the highlighted row.
    if (event->reason() == Qt::PopupFocusReason)
        return;
    clearHighlight();
}

int DiscoveryGrid::scaledInitialWidth(int column) const
{
    // The default widths were made for a font whose digits are 6 pixels wide.
    constexpr double referenceDigitWidth = 6.0;
    const double scale = qMax(1.0, fontMetrics().horizontalAdvance(QLatin1Char('0')) / referenceDigitWidth);
    QFont bold = font();
    bold.setBold(true);
    const int header = QFontMetrics(bold).horizontalAdvance(m_model.headerData(column, Qt::Horizontal).toString()) + 12;
    return qMax(qRound(initialWidth(column) * scale), header);
}

void DiscoveryGrid::applyInitialWidths()
{
    for (int c = 0; c < Count; ++c)
        setColumnWidth(c, scaledInitialWidth(c));
}

void DiscoveryGrid::focusInEvent(QFocusEvent *event)
{
    QTableView::focusInEvent(event);
    if (!currentIndex().isValid() && m_model.isUnitRow(0))
        setCurrentIndex(m_model.index(0, Description));
    viewport()->update();
}

int DiscoveryGrid::keyboardRow() const
{
    const int row = currentIndex().row();
    return m_model.isUnitRow(row) ? row : -1;
}

void DiscoveryGrid::keyPressEvent(QKeyEvent *event)
{
    const bool menuKey = event->key() == Qt::Key_Menu
                         || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
    const bool activate = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter
                          || event->key() == Qt::Key_Space;
    if (!menuKey && !activate) {
        QTableView::keyPressEvent(event);
        viewport()->update();
        return;
    }
    event->accept();
    const int row = keyboardRow();
    if (row < 0 || m_exportRunning)
        return;
    const QPoint at = visualRect(m_model.index(row, Description)).center();
    if (menuKey) {
        openMenu(at, viewport()->mapToGlobal(at));
        return;
    }
    // Like a click on the unit's row.
    Q_EMIT connectRequested(m_model.index(row, IPAddress).data().toString());
}

void DiscoveryGrid::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    const int row = keyboardRow();
    if (!hasFocus() || row < 0)
        return;
    // The row the keyboard is on, framed across the whole list.
    const QRect first = visualRect(m_model.index(row, 0));
    const QRect last = visualRect(m_model.index(row, m_model.columnCount() - 1));
    QStylePainter painter(viewport());
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = first.united(last).adjusted(0, 0, -1, -1);
    focus.backgroundColor = viewport()->palette().color(QPalette::Base);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
}

bool DiscoveryGrid::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ToolTip: {
        auto *help = static_cast<QHelpEvent *>(event);
        if (m_showHint)
            QToolTip::showText(help->globalPos(), displayText(m_hintText), viewport());
        else
            QToolTip::hideText();
        return true;
    }
    case QEvent::Leave:
        forgetPointer();
        break;
    default: break;
    }
    return QTableView::viewportEvent(event);
}

bool DiscoveryGrid::bringUnitIntoView(const QString &ip)
{
    int row = -1;
    for (int r = 0; r < m_model.rowCount() && row < 0; ++r)
        if (const udppack *u = m_model.unitAt(r); u && u->ip == ip)
            row = r;
    if (row < 0)
        return false;
    const int perPage = std::max(1, viewport()->height() / std::max(1, rowHeight(row)));
    const int top = rowAt(0);
    if (top < 0 || row < top || row >= top + perPage)
        scrollTo(m_model.index(row / perPage * perPage, 0), QAbstractItemView::PositionAtTop);
    QCursor::setPos(viewport()->mapToGlobal(QPoint(viewport()->width() / 2, rowViewportPosition(row) + 5)));
    return true;
}

} // namespace vork
