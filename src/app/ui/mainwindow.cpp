#include "app/ui/mainwindow.h"

#include "core/ui/colors.h"
#include "app/ui/guioperator.h"
#include "app/ui/hinttiming.h"
#include "app/ui/logwindow.h"
#include "app/ui/optionsdialog.h"
#include "app/ui/pagecontrol.h"
#include "app/ui/toneplayer.h"
#include "core/version.h"
#include "connection/connectionmanager.h"
#include "connection/unitclient.h"
#include "connection/unitcommands.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "discovery/unitcolumns.h"
#include "discovery/ui/discoverpage.h"
#include "discovery/ui/discoverygrid.h"
#include "discovery/ui/discoverygridmodel.h"
#include "discovery/ui/interfaceselector.h"
#include "tools/ping.h"
#include "tools/pingtool.h"
#include "tools/ui/pingwidget.h"
#include "unit/announcement.h"
#include "unit/unittable.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

namespace vork {

namespace {
const QString defaultTheme = QStringLiteral("$000000,$FFFFFF,$80FF00,$804000,$FFFFFF,1,1,1,0");
const QString showLogHint = QStringLiteral("Show status window");
const QString hideLogHint = QStringLiteral("Hide status window");
} // namespace

MainWindow::MainWindow(const StartOptions &start, const QString &programDir, QWidget *parent)
    : QMainWindow(parent)
    , m_op(new GuiOperator(this, this))
    , m_tonePlayer(new TonePlayer(this))
{
    setWindowTitle(QString::fromLatin1(caption));
    m_tones = std::make_unique<Tones>(m_settings.options, [this](int hz, int ms) { m_tonePlayer->play(hz, ms); });
    m_tones->raiseMute(); // start-up stays silent until the first activation
    connect(m_op, &GuiOperator::toneRequested, this, [this](Tone kind, bool force) { m_tones->play(kind, force); });
    m_op->attachStatusBar(statusBar());

    m_log = new LogWindow(QString::fromLatin1(caption), this);
    connect(m_op, &GuiOperator::logged, m_log->view(), &LogView::appendLine);
    for (const QString &note : start.notes)
        m_op->log(note);

    // The broadcast transport, configured before anything can send.
    m_transport = new TBroadcast(*m_op, this);
    m_transport->setBroadCastIP(QStringLiteral("255.255.255.255"));
    m_transport->setLocalPort(3009);
    m_transport->setRemotePort(3010);
    m_transport->setTimeOut(500);

    m_interfaces = TBroadcast::GetInterfaceList();
    if (m_interfaces.isEmpty())
        m_op->error(QStringLiteral("No Network Interfaces detected!"));

    m_units = new UnitTable(*m_op, this);
    m_cycle = new DiscoveryCycle(*m_op, *m_transport, *m_units, this);
    m_transport->setOnDiscoveryComplete([this] { m_cycle->windowEnded(); });
    m_transport->setOnDataReceived(
        [this](const QByteArray &b, int n, const QString &from) { m_cycle->dataReceived(b, n, from); });
    m_targets = start.targets;
    m_cycle->sendToTargets = [this](const QByteArray &query) { sendToTargets(query); };

    m_pageRules = std::make_unique<PageRules>(*m_op, *m_units, m_variant);
    m_pageRules->hooks.normalCursor = [] {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    };
    m_pageRules->hooks.currentUnitConnected = [this] {
        udppack *u = m_units->current();
        return u && u->cs && u->cs->isOpen();
    };
    m_pageRules->hooks.repaintStatusBar = [this] { statusBar()->update(); };

    m_pinger = std::make_unique<IcmpPinger>(*m_op);
    m_pingTool = new PingTool(*m_op, *m_pinger, this); // the operator's own pings always use ICMP
    m_connection = new ConnectionManager(*m_op, *m_units, m_variant, [this](const QString &host, int ms) {
        return (m_connectionPinger ? m_connectionPinger.get() : m_pinger.get())->ping(host, ms, true);
    }, this);
    m_commands = new UnitCommands(*m_op, *m_units, *m_connection, this);

    buildPages();
    buildConnection();
    buildCorner();
    m_optionsDialog = new OptionsDialog(QString::fromLatin1(caption), *m_tones,
                                        [this](int hz, int ms) { m_tonePlayer->play(hz, ms); }, this);

    readSettings(programDir, start);
    applySettings(start);
    m_op->setPanel(4, ProgramVersion::current().text(true));
    m_op->setPanelHint(4, windowTitle() + QStringLiteral(" version: ") + ProgramVersion::current().fileVersion());
    resize(1000, 640);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildPages()
{
    m_pages = new PageControl(this);
    auto *discoverTabs = new PageControl(m_pages);
    // No tab change while an automatic update runs.
    discoverTabs->setRequest([this](int, int) { return !(autoUpdateRunning && autoUpdateRunning()); });
    m_discoverTabs = discoverTabs;
    auto *discoverTab = new QWidget(m_discoverTabs);
    auto *discoverLayout = new QVBoxLayout(discoverTab);
    discoverLayout->setContentsMargins(0, 0, 0, 0);
    m_discoverPage = new DiscoverPage(*m_op, *m_transport, *m_units, *m_cycle, discoverTab);
    m_discoverPage->setPingBar(new PingWidget(*m_pingTool, PingTool::Place::Toolbar, m_discoverPage));
    discoverLayout->addWidget(m_discoverPage, 1);
    discoverLayout->addWidget(buildUnitBar());
    m_discoverTabs->addTab(discoverTab, QStringLiteral("Discover "));
    for (const char *tab : {"Discover List ", "Manual ", "Set IP Address ", "Auto Update "})
        m_discoverTabs->addTab(new QWidget(m_discoverTabs), QString::fromLatin1(tab));
    m_pages->addTab(m_discoverTabs, pageCaption(Page::Discover));
    for (int p = 1; p < pageCount; ++p)
        m_pages->addTab(new QWidget(m_pages), pageCaption(Page(p)));
    setCentralWidget(m_pages);

    m_pages->setRequest([this](int from, int to) { return m_pageRules->requestChange(Page(from), Page(to)); });
    connect(m_pages, &QTabWidget::currentChanged, this, &MainWindow::pageChanged);
    connect(m_discoverTabs, &QTabWidget::currentChanged, this, &MainWindow::discoverTabChanged);

    connect(m_discoverPage, &DiscoverPage::useListToggled, this, [this](bool on) { setUseList(on, true); });
    connect(m_discoverPage, &DiscoverPage::discoverOnStartToggled, this, [this](bool on) {
        m_settings.discoverOnStart = on;
        m_settingsFile->writeNow(QStringLiteral("Options"), QStringLiteral("DiscoverOnStart"), on);
    });
    // Column widths follow the texts once a list is complete.
    connect(m_cycle, &DiscoveryCycle::listSorted, this, &MainWindow::applyColumnRule);
    connect(m_discoverPage->sortChoice(), &QComboBox::currentIndexChanged, this,
            [this](int index) { m_settings.sortType = index; });
}

QWidget *MainWindow::buildUnitBar()
{
    auto *bar = new QWidget(this);
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(8, 0, 8, 4);
    m_disconnect = new QPushButton(QStringLiteral("Disconnect"), bar);
    m_reboot = new QPushButton(QStringLiteral("Reboot"), bar);
    m_checksum = new QPushButton(QStringLiteral("Checksum"), bar);
    m_checksum->setToolTip(QStringLiteral("Calculate and Display Checksum for selected unit"));
    for (QPushButton *b : {m_disconnect, m_reboot, m_checksum}) {
        b->setEnabled(false);
        layout->addWidget(b);
    }
    layout->addStretch(1);
    m_interfaceSelector = new InterfaceSelector(*m_op, *m_transport, m_interfaces, bar);
    layout->addWidget(m_interfaceSelector);
    connect(m_interfaceSelector, &InterfaceSelector::picked, this, [this](const QString &address) {
        m_settings.localInterface = address;
        m_settingsFile->writeNow(QStringLiteral("Local Interface"), QStringLiteral("IPAddress"), address);
    });
    return bar;
}

void MainWindow::buildConnection()
{
    const auto showing = [this](Page p) { return m_pages->currentIndex() == int(p); };
    m_connection->historyPageShowing = [showing] { return showing(Page::History); };
    m_connection->setupPageShowing = [showing] { return showing(Page::Setup); };
    m_connection->autoUpdateTabShowing = [this] { return m_discoverTabs->currentIndex() == 4; };
    m_connection->leaveMode = [this, showing] {
        if (showing(Page::Setup))
            m_commands->leaveSetupMode();
        else if (showing(Page::History))
            m_commands->leaveHistoryMode();
    };
    m_commands->attach(*m_pageRules);
    m_commands->showDiscoveryPage = [this] { m_pages->requestPage(int(Page::Discover)); };
    m_commands->fullDiscovery = [this] { m_cycle->start(); };
    m_commands->unicastDiscovery = [this](const QString &ip) {
        m_cycle->pendingUnicastTarget = ip;
        m_transport->setBroadCastIP(ip);
        m_transport->SendBroadCast(discoveryQuery());
    };
    m_pingTool->showing = [this] {
        if (m_pages->currentIndex() != int(Page::Discover))
            return PingTool::Showing::Elsewhere;
        if (m_discoverTabs->currentIndex() == 2)
            return PingTool::Showing::ManualTab;
        return m_discoverTabs->currentIndex() == 0 ? PingTool::Showing::DiscoverTab : PingTool::Showing::Elsewhere;
    };

    connect(m_connection, &ConnectionManager::unitActionsEnabled, this, [this](bool on) {
        for (QPushButton *b : {m_disconnect, m_reboot, m_checksum})
            b->setEnabled(on);
    });
    connect(m_connection, &ConnectionManager::unitChanged, this,
            [this](int) { m_discoverPage->grid()->viewport()->update(); });
    connect(m_disconnect, &QPushButton::clicked, this, [this] { m_connection->CloseSocket(); });
    connect(m_reboot, &QPushButton::clicked, this, [this] { m_commands->reboot(); });
    connect(m_checksum, &QPushButton::clicked, this, [this] { m_commands->checksum(); });

    DiscoveryGrid *grid = m_discoverPage->grid();
    connect(grid, &DiscoveryGrid::connectRequested, this, [this](const QString &ip) { m_connection->clickConnect(ip); });
    for (GridCommand c : {GridCommand::Configure, GridCommand::History, GridCommand::Webpage, GridCommand::Connect,
                          GridCommand::Disconnect})
        grid->setCommandEnabled(c, true);
    connect(grid, &DiscoveryGrid::commandTriggered, this,
            [this](GridCommand c, const QString &ip) { gridCommand(int(c), ip); });
}

void MainWindow::gridCommand(int command, const QString &ip)
{
    const auto c = GridCommand(command);
    if (!m_connection->prepareMenuUnit(ip, c == GridCommand::Disconnect,
                                       c == GridCommand::Configure || c == GridCommand::History
                                           || c == GridCommand::Connect))
        return;
    switch (c) {
    case GridCommand::Configure:
        m_pages->requestPage(int(Page::Setup));
        return;
    case GridCommand::History:
        m_pages->requestPage(int(Page::History));
        return;
    case GridCommand::Webpage:
        QDesktopServices::openUrl(QUrl(QStringLiteral("http://") + ip + QLatin1Char('/')));
        break;
    case GridCommand::Disconnect: {
        const int i = m_units->findByIP(ip);
        if (i >= 0 && m_units->unit(i).cs && m_units->unit(i).cs->isOpen())
            m_units->unit(i).cs->close();
        return;
    }
    default:
        break;
    }
    // The page that is showing takes the new current unit into its mode.
    const Page page = m_pageRules->current();
    m_pageRules->changed(page, page);
}

void MainWindow::setPinger(std::unique_ptr<Pinger> pinger)
{
    m_connectionPinger = std::move(pinger);
}

void MainWindow::buildCorner()
{
    auto *corner = new QWidget(m_pages);
    auto *layout = new QHBoxLayout(corner);
    layout->setContentsMargins(0, 0, 4, 0);
    m_optionsButton = new QToolButton(corner);
    m_optionsButton->setText(QStringLiteral("Options"));
    m_optionsButton->setObjectName(QStringLiteral("optionsButton"));
    m_beep = new QToolButton(corner);
    m_beep->setText(QStringLiteral("Beep"));
    m_beep->setCheckable(true);
    m_beep->setToolTip(QStringLiteral("Event feedback beep on/off toggle"));
    m_beep->setObjectName(QStringLiteral("beepToggle"));
    m_logButton = new QToolButton(corner);
    m_logButton->setText(QStringLiteral("Log"));
    m_logButton->setCheckable(true);
    m_logButton->setToolTip(showLogHint);
    m_logButton->setObjectName(QStringLiteral("logButton"));
    layout->addWidget(m_optionsButton);
    layout->addWidget(m_beep);
    layout->addWidget(m_logButton);
    m_pages->setCornerWidget(corner, Qt::TopRightCorner);

    connect(m_optionsButton, &QToolButton::clicked, this, &MainWindow::openOptions);
    connect(m_beep, &QToolButton::toggled, this, [this](bool on) { setBeep(on, true); });
    connect(m_logButton, &QToolButton::toggled, this, [this](bool on) { m_log->setVisible(on); });
    connect(m_log, &LogWindow::visibilityChanged, this, [this](bool visible) {
        const QSignalBlocker block(m_logButton);
        m_logButton->setChecked(visible);
        m_logButton->setToolTip(visible ? hideLogHint : QStringLiteral("Show Status window"));
    });
}

void MainWindow::readSettings(const QString &programDir, const StartOptions &start)
{
    QString why;
    QString path = start.settingsPath;
    if (path.isEmpty())
        path = SettingsFile::locate(programDir, &why);
    else
        why = QStringLiteral("Settings file given on the command line: ");
    m_settingsFile = std::make_unique<SettingsFile>(*m_op, path);
    m_settingsFile->read(m_settings);
    m_op->log(why + path);
}

void MainWindow::applySettings(const StartOptions &start)
{
    // The interface last chosen, while it is still there (the selector bound the first one).
    m_interfaceSelector->applyStored(m_settings.localInterface);
    m_transport->setLocalPort(m_settings.localPort);
    m_transport->setTimeOut(m_settings.wait);
    m_discoverPage->markTransportChoices();

    setUseList(m_settings.useList, false);
    setBeep(m_settings.beep, false);
    m_discoverPage->setDiscoverOnStart(m_settings.discoverOnStart);
    m_discoverPage->setSearchHintVisible(!m_settings.discoverOnStart);
    m_discoverPage->setSortChoice(m_settings.sortType);

    DiscoveryGridModel &model = m_discoverPage->gridModel();
    if (start.eipColor)
        model.setModel1Color(toQColor(*start.eipColor));
    if (start.stdColor)
        model.setModel0Color(toQColor(*start.stdColor));
    model.setColors(m_settings.colors);
    model.setOptions(m_settings.options);
}

void MainWindow::setUseList(bool on, bool write)
{
    m_settings.useList = on;
    m_settings.options.UseList = on;
    m_cycle->setUseList(on);
    m_discoverPage->setUseList(on);
    m_discoverTabs->setTabVisible(1, on);
    if (write)
        m_settingsFile->writeNow(QStringLiteral("Options"), QStringLiteral("Use List"), on);
}

void MainWindow::setBeep(bool on, bool write)
{
    m_settings.beep = on;
    m_settings.options.Feedback = on;
    m_tones->setBeep(on);
    {
        const QSignalBlocker block(m_beep);
        m_beep->setChecked(on);
    }
    if (write)
        m_settingsFile->writeNow(QStringLiteral("Options"), QStringLiteral("beep"), on);
}

void MainWindow::sendToTargets(const QByteArray &query)
{
    // Until the discovery list is built, the targets come from the command line.
    if (m_targets.isEmpty()) {
        m_op->log(QStringLiteral("No addresses to search: the discovery list is empty"));
        QTimer::singleShot(0, m_cycle, &DiscoveryCycle::windowEnded);
        return;
    }
    for (const QString &t : std::as_const(m_targets)) {
        m_transport->setBroadCastIP(t);
        m_transport->SendBroadCast(query);
    }
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    m_discoverPage->gridModel().setColors(m_settings.colors);
    if (!m_activated)
        QTimer::singleShot(0, this, &MainWindow::firstActivation);
}

void MainWindow::firstActivation()
{
    if (m_activated)
        return;
    m_activated = true;
    HintTiming::install(*qApp);
    m_tones->lowerMute();
    if (!m_settingsFile->existed()) {
        GridColors colors;
        parseTheme(defaultTheme, colors);
        m_settings.colors = colors;
        m_discoverPage->gridModel().setColors(colors);
    }
    if (m_pages->currentIndex() == int(Page::Discover) && m_units->isEmpty() && m_settings.discoverOnStart)
        m_cycle->start();
}

void MainWindow::openOptions()
{
    m_tones->play(Tone::Button);
    MainToggles toggles;
    toggles.beep = m_settings.beep;
    toggles.autoDiscover = m_settings.discoverOnStart;
    toggles.useList = m_settings.useList;
    toggles.loadListOnStart = m_settings.loadOnStart;
    toggles.listFile = m_settings.loadOnStartFile;
    if (m_optionsDialog->run(m_settings.options, toggles) == QDialog::Accepted) {
        const MainToggles back = MainToggles::fromOptions(m_settings.options);
        if (back.beep != m_settings.beep)
            setBeep(back.beep, true);
        if (back.autoDiscover != m_settings.discoverOnStart) {
            m_settings.discoverOnStart = back.autoDiscover;
            m_discoverPage->setDiscoverOnStart(back.autoDiscover);
            m_settingsFile->writeNow(QStringLiteral("Options"), QStringLiteral("DiscoverOnStart"), back.autoDiscover);
        }
        if (back.useList != m_settings.useList)
            setUseList(back.useList, true);
        m_settings.loadOnStart = back.loadListOnStart;
        m_settings.loadOnStartFile = back.listFile;
    }
    m_discoverPage->gridModel().setOptions(m_settings.options);
    m_discoverPage->grid()->viewport()->update();
}

void MainWindow::pageChanged(int index)
{
    if (m_forcingPage)
        return;
    const int from = m_currentPage;
    const Page shown = m_pageRules->changed(Page(from), Page(index));
    m_currentPage = int(shown);
    if (int(shown) != index) {
        m_forcingPage = true;
        m_pages->setCurrentIndex(int(shown));
        m_forcingPage = false;
    }
}

void MainWindow::discoverTabChanged(int index)
{
    const bool autoUpdate = index == 4;
    m_units->setAutoUpdateTabShowing(autoUpdate);
    if (autoUpdate)
        m_discoverPage->grid()->setColumnWidth(2, 55);
}

Settings MainWindow::collectExitSettings() const
{
    Settings s = m_settings;
    s.localPort = m_transport->LocalPort();
    s.wait = m_transport->TimeOut();
    s.sortType = static_cast<int>(m_cycle->sortOrder());
    return s;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    udppack *unit = m_units->current();
    const bool connected = unit && unit->cs && unit->cs->isOpen();
    const auto running = [](const std::function<bool()> &f) { return f && f(); };
    if (connected) {
        QString refusal;
        if (running(flashRunning))
            refusal = QStringLiteral("Cannot close while flashing");
        else if (running(historyExportRunning))
            refusal = QStringLiteral("Cannot close while retrieving history records");
        else if (running(autoUpdateRunning))
            refusal = QStringLiteral("Cannot close while updating VORk units");
        if (!refusal.isEmpty()) {
            m_op->log(refusal);
            event->ignore();
            return;
        }
    }
    m_op->setBusy(true);
    m_connection->CloseSocket();
    m_settingsFile->writeAtExit(collectExitSettings());
    m_op->setBusy(false);
    m_log->close();
    event->accept();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    applyColumnRule();
}

void MainWindow::applyColumnRule()
{
    DiscoveryGrid *grid = m_discoverPage->grid();
    QAbstractItemModel *model = grid->model();
    const int columns = model->columnCount();
    if (width() < narrowWidth) {
        for (int c = 0; c < columns; ++c)
            grid->setColumnWidth(c, unitcolumns::initialWidth(c));
        return;
    }
    // Descriptions may be drawn bold (the connected unit, the row under the pointer); headers are bold.
    QFont bold = grid->font();
    bold.setBold(true);
    const QFontMetrics plain(grid->font());
    const QFontMetrics strong(bold);
    int used = 0;
    QList<int> widths;
    for (int c = 0; c < columns; ++c) {
        const QFontMetrics &cells = c == unitcolumns::Description ? strong : plain;
        // Texts are shortened when wider than the cell less 10 px; two columns also hold a 7 px mark.
        const int room = 12 + ((c == unitcolumns::Ver || c == unitcolumns::RunTime) ? 8 : 0);
        int w = strong.horizontalAdvance(model->headerData(c, Qt::Horizontal).toString()) + room;
        for (int r = 0; r < model->rowCount(); ++r)
            w = qMax(w, cells.horizontalAdvance(model->index(r, c).data().toString()) + room);
        w = qMax(w, 10);
        widths << w;
        used += w;
    }
    const int left = grid->width() - used - 20 - 2 * columns;
    const int share = columns > 0 && left >= columns ? left / columns : 0;
    for (int c = 0; c < columns; ++c)
        grid->setColumnWidth(c, widths.at(c) + share);
}

} // namespace vork
