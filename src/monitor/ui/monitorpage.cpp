#include "monitor/ui/monitorpage.h"

#include "core/settings.h"
#include "core/ui/notbuilt.h"
#include "core/ui/pagecontrol.h"
#include "monitor/monitorpagecontroller.h"
#include "monitor/ui/forcereadpanel.h"
#include "monitor/ui/photoeyespanel.h"
#include "monitor/ui/monitorscrollgrid.h"
#include "monitor/ui/monitorunitviews.h"
#include "monitor/ui/readerdetails.h"
#include "monitor/ui/viewparameters.h"
#include "services/unitservices.h"
#include "unit/unittable.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace vork {

namespace {
constexpr int lowerTabsHeight = 175;
} // namespace

MonitorPage::MonitorPage(UnitServices &services, MonitorPageController &controller, Settings &settings,
                         SettingsFile &settingsFile, QWidget *parent)
    : QWidget(parent), m_services(services), m_session(controller.session()), m_settings(settings),
      m_settingsFile(settingsFile),
      m_views(new QStackedWidget(this)),
      m_list(new MonitorUnitView(MonitorUnitView::Shape::List, services.units(), m_views)),
      m_tree(new MonitorUnitView(MonitorUnitView::Shape::Tree, services.units(), m_views)),
      m_scroll(new MonitorScrollGrid(m_session, m_views)), m_tabs(new PageControl(this)),
      m_parameters(new ViewParameters(m_tabs)), m_photoEyes(new PhotoEyesPanel(services, controller.photoEyes(), m_tabs)),
      m_forceRead(new ForceReadPanel(controller.forceRead(), m_tabs))
{
    // Stacked in the order of the DISPLAY VIEW tags.
    m_views->addWidget(m_list);
    m_views->addWidget(m_tree);
    m_views->addWidget(m_scroll);

    m_tabs->addTab(notBuiltPage(m_tabs), QStringLiteral("Announce  "));
    m_tabs->addTab(m_photoEyes, QStringLiteral("PhotoEyes  "));
    m_tabs->addTab(m_forceRead, QStringLiteral("Force Read  "));
    m_tabs->addTab(m_parameters, QStringLiteral("View Parameters  "));

    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_views);
    split->addWidget(m_tabs);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setSizes({400, lowerTabsHeight});
    split->setChildrenCollapsible(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);

    m_refresh.setSingleShot(true);
    m_refresh.setInterval(refreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &MonitorPage::refreshViews);
    MonitorSession &session = m_session;
    connect(&session, &MonitorSession::recordArrived, this, [this](int unitIndex, bool) {
        UnitTable &units = m_services.units();
        if (unitIndex < 0 || unitIndex >= units.count())
            return;
        m_changed.insert(units.unit(unitIndex).link);
        if (!m_refresh.isActive())
            m_refresh.start();
    });
    connect(&session, &MonitorSession::monitorStarted, this, &MonitorPage::buildViews);
    connect(&session, &MonitorSession::linkDropped, this, [this](quint64 link) {
        UnitTable &units = m_services.units();
        const int index = units.findByLink(link);
        if (index < 0)
            return;
        // A refresh still pending would write the values back.
        m_changed.remove(link);
        const udppack &unit = units.unit(index);
        const QString why = MonitorSession::droppedText(unit.ip);
        m_list->markNotMonitored(unit, why);
        m_tree->markNotMonitored(unit, why);
    });
    connect(m_list, &MonitorUnitView::detailsRequested, this, &MonitorPage::showDetails);
    connect(m_tree, &MonitorUnitView::detailsRequested, this, &MonitorPage::showDetails);
    connect(m_parameters, &ViewParameters::chosen, this, &MonitorPage::choiceMade);
    connect(m_tabs, &QTabWidget::currentChanged, this, &MonitorPage::lowerTabChanged);
    // The unit choices of the lower tabs always show the same unit.
    for (QComboBox *choice : {m_photoEyes->unitChoice(), m_forceRead->unitChoice()})
        connect(choice, &QComboBox::currentIndexChanged, this, [this](int index) {
            for (QComboBox *other : {m_photoEyes->unitChoice(), m_forceRead->unitChoice()})
                if (other->currentIndex() != index)
                    other->setCurrentIndex(index);
        });
    controller.setLeaveRefused([this] { m_tabs->setCurrentIndex(ForceReadTab); });

    // The stored choices, applied as if clicked.
    m_parameters->choose(ViewParameters::DisplayView, settings.monType);
    m_parameters->choose(ViewParameters::UnitIdentifierChoice, settings.monTitle);
    m_parameters->choose(ViewParameters::ReaderIdentifierChoice, settings.monID);
}

MonitorPage::~MonitorPage() = default;

void MonitorPage::choiceMade(int which, int tag)
{
    const auto unitChoice = UnitIdentifier(m_parameters->choice(ViewParameters::UnitIdentifierChoice));
    const auto readerChoice = ReaderIdentifier(m_parameters->choice(ViewParameters::ReaderIdentifierChoice));
    switch (which) {
    case ViewParameters::DisplayView:
        m_views->setCurrentIndex(tag);
        if (m_settings.monType != tag && m_settingsFile.writeNow(&Settings::monType, tag))
            m_settings.monType = tag;
        break;
    case ViewParameters::UnitIdentifierChoice:
    case ViewParameters::ReaderIdentifierChoice:
        m_list->applyIdentifiers(unitChoice, readerChoice);
        m_tree->applyIdentifiers(unitChoice, readerChoice);
        if (which == ViewParameters::UnitIdentifierChoice) {
            if (m_settings.monTitle != tag && m_settingsFile.writeNow(&Settings::monTitle, tag))
                m_settings.monTitle = tag;
        } else if (m_settings.monID != tag && m_settingsFile.writeNow(&Settings::monID, tag)) {
            m_settings.monID = tag;
        }
        break;
    case ViewParameters::TreeView:
        applyTreeChoice();
        break;
    default:
        break;
    }
}

void MonitorPage::fillUnitChoices()
{
    const QStringList addresses = m_session.unitChoice();
    for (QComboBox *choice : {m_photoEyes->unitChoice(), m_forceRead->unitChoice()}) {
        const QSignalBlocker block(choice);
        choice->clear();
        choice->addItems(addresses);
    }
    // Item 0 in all of them, with what follows from the choice.
    if (!addresses.isEmpty()) {
        m_forceRead->unitChoice()->setCurrentIndex(-1);
        m_forceRead->unitChoice()->setCurrentIndex(0);
    }
}

void MonitorPage::lowerTabChanged(int index)
{
    if (m_lowerTab == PhotoEyesTab && index != PhotoEyesTab)
        m_photoEyes->hidden();
    m_lowerTab = index;
    if (index == PhotoEyesTab)
        m_photoEyes->shown();
}

void MonitorPage::buildViews()
{
    fillUnitChoices();
    if (m_lowerTab == PhotoEyesTab)
        m_photoEyes->shown();
    m_changed.clear();
    m_list->build();
    m_tree->build();
    const auto unitChoice = UnitIdentifier(m_parameters->choice(ViewParameters::UnitIdentifierChoice));
    const auto readerChoice = ReaderIdentifier(m_parameters->choice(ViewParameters::ReaderIdentifierChoice));
    m_list->applyIdentifiers(unitChoice, readerChoice);
    m_tree->applyIdentifiers(unitChoice, readerChoice);
    m_scroll->applyModeHeaders();
    applyTreeChoice();
}

void MonitorPage::applyTreeChoice()
{
    if (m_parameters->choice(ViewParameters::TreeView) == 0)
        m_tree->expandAll();
    else
        m_tree->collapseAll();
    if (m_tree->topLevelItemCount() > 0)
        m_tree->scrollToItem(m_tree->topLevelItem(0));
}

void MonitorPage::refreshViews()
{
    m_refresh.stop();
    UnitTable &units = m_services.units();
    for (quint64 link : std::as_const(m_changed)) {
        const int index = units.findByLink(link);
        if (index < 0)
            continue;
        m_list->refresh(units.unit(index));
        m_tree->refresh(units.unit(index));
    }
    m_changed.clear();
}

void MonitorPage::showDetails(quint64 link)
{
    if (m_details && m_details->isVisible())
        return;
    m_details = new ReaderDetails(m_session, m_services.units(), link, window());
    m_details->show();
}

} // namespace vork
