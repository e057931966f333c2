#include "discovery/ui/discoverpage.h"

#include "core/operator.h"
#include "core/ports.h"
#include "core/ui/pagecontrol.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "discovery/ui/discoverygrid.h"
#include "discovery/ui/discoverygridmodel.h"
#include "unit/unitsort.h"
#include "unit/unittable.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QVBoxLayout>

namespace vork {

namespace {
struct WaitChoice
{
    const char *text;
    int ms;
};
constexpr WaitChoice waitChoices[] = {
    {"0.25 seconds", 250}, {"0.5 Seconds (default)", 500}, {"1 second", 1000},
    {"2 seconds", 2000},   {"4 seconds", 4000},            {"8 seconds", 8000},
};
constexpr int fixedPort = unitUdpPort;
constexpr int specifyPortValue = 44819;
constexpr int sortChoices = 8;
} // namespace

DiscoverPage::DiscoverPage(Operator &op, TBroadcast &transport, UnitTable &units, DiscoveryCycle &cycle,
                           QWidget *parent)
    : QWidget(parent), m_op(op), m_transport(transport), m_units(units), m_cycle(cycle)
{
    m_model = new DiscoveryGridModel(units, this);
    m_model->followCycle(cycle);
    m_grid = new DiscoveryGrid(*m_model, op, this);

    m_search = new QPushButton(QStringLiteral("Search"), this);
    m_search->setObjectName(QStringLiteral("BBdiscover"));
    m_search->setContextMenuPolicy(Qt::CustomContextMenu);
    m_sync = new QCheckBox(QStringLiteral("Synchronize all Vork(s) clock with PC clock on Discovery"), this);
    m_sync->setObjectName(QStringLiteral("SBsync"));
    m_useList = new QCheckBox(QStringLiteral("Use List of IP address to search"), this);
    m_useList->setObjectName(QStringLiteral("SBuselist"));
    m_discoverOnStart = new QCheckBox(QStringLiteral("Auto Discover Units on Start"), this);
    m_discoverOnStart->setObjectName(QStringLiteral("SBdonstart"));
    m_sort = new QComboBox(this);
    m_sort->setObjectName(QStringLiteral("CBsort"));
    for (int i = 0; i < sortChoices; ++i)
        m_sort->addItem(sortOrderCaption(static_cast<SortOrder>(i)));
    m_sort->setCurrentIndex(static_cast<int>(cycle.sortOrder()));
    m_selectAll = new QCheckBox(QStringLiteral("Select All Units"), this);
    m_selectAll->setObjectName(QStringLiteral("SBall"));
    m_verify = new QPushButton(QStringLiteral("Verify Checksum for selected units"), this);
    m_verify->setObjectName(QStringLiteral("SBverify"));
    m_verify->setEnabled(false);
    m_discovering = new QLabel(QStringLiteral("Discovering"), this);
    m_discovering->setObjectName(QStringLiteral("Ldiscover"));
    m_animation = new QProgressBar(this);
    m_animation->setObjectName(QStringLiteral("GIFdiscoveri"));
    m_animation->setRange(0, 0); // an endless busy bar
    m_animation->setTextVisible(false);
    m_animation->setMaximumWidth(120);
    m_discovering->hide();
    m_animation->hide();

    m_tabs = new PageControl(this);
    m_tabs->setObjectName(QStringLiteral("discoverTabs"));
    auto *bottom = new QWidget(m_tabs);
    m_discoverTab = bottom;
    auto *controls = new QGridLayout(bottom);
    controls->setContentsMargins(6, 1, 6, 1);
    controls->setVerticalSpacing(0);
    m_controls = controls;
    auto *searchRow = new QHBoxLayout;
    searchRow->addWidget(m_search);
    searchRow->addWidget(m_animation);
    searchRow->addWidget(m_discovering);
    // Until the first search, a reminder where discovery starts when it does not start by itself.
    m_searchHint = new QLabel(QStringLiteral("CLICK SEARCH BUTTON"), this);
    m_searchHint->setObjectName(QStringLiteral("searchHint"));
    m_searchHint->setStyleSheet(QStringLiteral("color: #C00000; font-weight: bold;"));
    m_searchHint->hide();
    searchRow->addWidget(m_searchHint);
    searchRow->addStretch();
    controls->addLayout(searchRow, 0, 0);
    controls->addWidget(m_sync, 1, 0);
    controls->addWidget(m_useList, 2, 0);
    controls->addWidget(m_discoverOnStart, 3, 0);
    controls->addWidget(m_sort, 0, 1);
    controls->addWidget(m_selectAll, 1, 1);
    controls->addWidget(m_verify, 2, 1);
    controls->setColumnStretch(2, 1);

    m_tabs->addTab(bottom, QStringLiteral("Discover "));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_grid, 1);
    layout->addWidget(m_tabs);
    setPanelTall(false);
    setMouseTracking(true);

    buildSearchMenu();

    connect(m_search, &QPushButton::clicked, this, [this] { m_cycle.start(); });
    connect(m_search, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_searchMenu->popup(m_search->mapToGlobal(pos)); });
    connect(m_sync, &QCheckBox::toggled, this, [this](bool on) { m_cycle.setSyncClock(on); });
    connect(&cycle, &DiscoveryCycle::syncClockChanged, this, [this](bool on) {
        const QSignalBlocker block(m_sync);
        m_sync->setChecked(on);
    });
    connect(m_useList, &QCheckBox::toggled, this, [this](bool on) {
        m_cycle.setUseList(on);
        Q_EMIT useListToggled(on);
    });
    connect(m_discoverOnStart, &QCheckBox::toggled, this, &DiscoverPage::discoverOnStartToggled);
    connect(m_sort, &QComboBox::activated, this, [this](int choice) {
        m_op.tone(Tone::CheckBox);
        m_cycle.setSortOrder(static_cast<SortOrder>(choice));
    });
    connect(m_selectAll, &QCheckBox::clicked, this, [this](bool down) {
        m_units.selectAll(down);
        m_grid->viewport()->update();
    });
    connect(&units, &UnitTable::selectAllChanged, this, [this](bool down) {
        const QSignalBlocker block(m_selectAll);
        m_selectAll->setChecked(down);
    });
    connect(m_verify, &QPushButton::clicked, this, &DiscoverPage::verifyRequested);
    connect(&cycle, &DiscoveryCycle::started, this, &DiscoverPage::collectingStarted);
    connect(&cycle, &DiscoveryCycle::windowFinished, this, &DiscoverPage::windowFinished);
    connect(&cycle, &DiscoveryCycle::verifyEnabled, this, [this](bool on) {
        m_verifyWanted = on;
        m_verify->setEnabled(on && m_verifyAvailable);
    });
}

void DiscoverPage::setVerifyAvailable(bool available)
{
    m_verifyAvailable = available;
    m_verify->setEnabled(m_verifyWanted && available);
}

void DiscoverPage::setPanelTall(bool tall)
{
    m_tall = tall;
    // At a larger font the controls keep their room rather than being cut.
    const int wanted = tall ? tallBottomPanelHeight : bottomPanelHeight;
    // The tab that shows gets the room its controls need too (the set-IP fields, the telnet login).
    int content = m_discoverTab->minimumSizeHint().height();
    if (QWidget *shown = m_tabs->currentWidget())
        content = qMax(content, shown->minimumSizeHint().height());
    const int needed = m_tabs->tabBar()->sizeHint().height() + content;
    m_tabs->setFixedHeight(qMax(wanted, needed));
}

void DiscoverPage::setUnitBar(QWidget *bar)
{
    auto *layout = static_cast<QVBoxLayout *>(this->layout());
    layout->insertWidget(1, bar);
}

QString DiscoverPage::waitMenuTitle(int timeOutMs)
{
    return QStringLiteral("Change Discover Wait Time (") + QString::number(timeOutMs) + QStringLiteral("ms)");
}

void DiscoverPage::setPingBar(QWidget *bar)
{
    if (m_pingBar)
        m_pingBar->deleteLater();
    m_pingBar = bar;
    if (bar)
        m_controls->addWidget(bar, 3, 1);
    setPanelTall(m_tall);
}

void DiscoverPage::buildSearchMenu()
{
    m_searchMenu = new QMenu(this);
    m_waitMenu = m_searchMenu->addMenu(waitMenuTitle(m_transport.TimeOut()));
    m_waitGroup = new QActionGroup(this);
    for (const WaitChoice &w : waitChoices) {
        QAction *a = m_waitMenu->addAction(QString::fromLatin1(w.text));
        a->setCheckable(true);
        a->setData(w.ms);
        m_waitGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, ms = w.ms] { m_transport.setTimeOut(ms); });
    }
    m_searchMenu->addSeparator();
    m_portGroup = new QActionGroup(this);
    const auto addPort = [this](const QString &text, int port) {
        QAction *a = m_searchMenu->addAction(text);
        a->setCheckable(true);
        a->setData(port);
        m_portGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, port] { m_transport.setLocalPort(port); });
        return a;
    };
    m_portAutomatic = addPort(QStringLiteral("Automatic (default)"), 0);
    m_portFixed = addPort(QStringLiteral("3010 Fixed"), fixedPort);
    addPort(QStringLiteral("Specify Port"), specifyPortValue);
    m_searchMenu->addSeparator();
    // Unicast service restarts are not built yet: present, never faked.
    m_searchMenu->addAction(QStringLiteral("Restart Remote Discovery"))->setEnabled(false);

    connect(m_searchMenu, &QMenu::aboutToShow, this, [this] {
        m_waitMenu->setTitle(waitMenuTitle(m_transport.TimeOut()));
        markWait();
    });
    markTransportChoices();
}

void DiscoverPage::markWait()
{
    const int ms = m_transport.TimeOut();
    for (QAction *a : m_waitGroup->actions())
        a->setChecked(a->data().toInt() == ms);
}

void DiscoverPage::markTransportChoices()
{
    markWait();
    (m_transport.LocalPort() != 0 ? m_portFixed : m_portAutomatic)->setChecked(true);
    m_waitMenu->setTitle(waitMenuTitle(m_transport.TimeOut()));
}

void DiscoverPage::setSortChoice(int choice)
{
    if (choice < 0 || choice >= sortChoices)
        choice = 0;
    m_sort->setCurrentIndex(choice);
    m_cycle.setSortOrder(static_cast<SortOrder>(choice));
}

void DiscoverPage::setUseList(bool on)
{
    const QSignalBlocker block(m_useList);
    m_useList->setChecked(on);
    m_cycle.setUseList(on);
}

void DiscoverPage::setDiscoverOnStart(bool on)
{
    const QSignalBlocker block(m_discoverOnStart);
    m_discoverOnStart->setChecked(on);
}

void DiscoverPage::setSearchHintVisible(bool visible)
{
    m_searchHint->setVisible(visible);
}

void DiscoverPage::collectingStarted()
{
    m_searchHint->hide();
    m_search->hide();
    m_sort->setEnabled(false);
    if (m_grid->focusPolicy() != Qt::NoFocus)
        m_grid->setFocus(Qt::OtherFocusReason);
    m_animation->show();
    m_discovering->show();
}

void DiscoverPage::windowFinished(bool animationStops)
{
    m_search->show();
    m_sort->setEnabled(true);
    if (animationStops) {
        m_animation->hide();
        m_discovering->hide();
    }
    m_grid->viewport()->update();
}

void DiscoverPage::mouseMoveEvent(QMouseEvent *event)
{
    m_grid->forgetPointer();
    QWidget::mouseMoveEvent(event);
}

} // namespace vork
