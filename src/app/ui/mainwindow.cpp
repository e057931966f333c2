#include "app/ui/mainwindow.h"

#include "discovery/unicast.h"
#include "flash/ui/flashpage.h"
#include "history/ui/historypage.h"

#include "core/ui/colors.h"
#include "connection/operation.h"
#include "connection/unitselection.h"
#include "core/ports.h"
#include "services/unitservices.h"
#include "app/ui/guioperator.h"
#include "app/ui/hinttiming.h"
#include "app/ui/logwindow.h"
#include "app/ui/optionsdialog.h"
#include "core/ui/pagecontrol.h"
#include "app/ui/pagelist.h"
#include "app/ui/toneplayer.h"
#include "core/version.h"
#include "connection/connectionmanager.h"
#include "connection/unitclient.h"
#include "connection/unitcommands.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "discovery/unitcolumns.h"
#include "discovery/setip.h"
#include "discovery/factoryreset.h"
#include "discovery/ui/discoverpage.h"
#include "discovery/ui/setiptab.h"
#include "discovery/ui/discoverygrid.h"
#include "discovery/ui/discoverygridmodel.h"
#include "discovery/ui/interfaceselector.h"
#include "tools/ping.h"
#include "tools/pingtool.h"
#include "tools/telnetlogin.h"
#include "tools/ui/manualtelnetpage.h"
#include "tools/ui/pingwidget.h"
#include "tools/ui/telnetconsolewindow.h"
#include "unit/announcement.h"
#include "unit/unittable.h"

#include <QApplication>
#include <QScreen>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
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

    // Everything that talks to units, configured before anything can send.
    m_services = new UnitServices(*m_op, this);

    m_interfaces = TBroadcast::GetInterfaceList();
    if (m_interfaces.isEmpty())
        m_op->error(QStringLiteral("No Network Interfaces detected!"));

    m_targets = start.targets;
    cycle().sendToTargets = [this](const QByteArray &query) { sendToTargets(query); };

    m_pageRules = std::make_unique<PageRules>(*m_services);
    for (const PageRow &row : pageRows()) {
        if (!row.controller)
            continue;
        m_controllers.push_back(row.controller(*m_services));
        m_pageRules->add(*m_controllers.back());
    }

    m_pinger = std::make_unique<IcmpPinger>(*m_op);
    m_pingTool = new PingTool(*m_op, *m_pinger, this);
    m_telnetLogin = new TelnetLogin(*m_op, *m_pingTool, this);
    m_telnetTools = new TelnetTools(*m_op, [this] { return options().WinTelnet; }, this);

    // The pages start from the stored choices.
    readSettings(programDir, start);
    buildPages();
    buildConnection();
    buildCorner();
    m_optionsDialog = new OptionsDialog(QString::fromLatin1(caption), *m_tones,
                                        [this](int hz, int ms) { m_tonePlayer->play(hz, ms); }, this);

    applySettings(start);
    m_op->setPanel(Panel::ProgramVersion, ProgramVersion::current().text(true));
    m_op->setPanelHint(int(Panel::ProgramVersion), windowTitle() + QStringLiteral(" version: ") + ProgramVersion::current().fileVersion());
    fitScreen();
    restoreGeometries();
}

void MainWindow::restoreGeometries()
{
    // Where the operator left the windows last time, as long as it is still on a screen.
    const QByteArray main = QByteArray::fromBase64(m_settings.windowGeometry.toLatin1());
    if (!main.isEmpty() && restoreGeometry(main)) {
        const QScreen *here = screen();
        const QRect room = here ? here->availableGeometry() : QRect();
        if (room.isValid() && !room.intersects(frameGeometry()))
            fitScreen();
        else if (room.isValid())
            resize(size().boundedTo(room.size()));
    }
    const QByteArray log = QByteArray::fromBase64(m_settings.logGeometry.toLatin1());
    if (!log.isEmpty())
        m_log->restoreGeometry(log);
}

void MainWindow::fitScreen()
{
    // Never larger than the screen it opens on, whatever the last run left.
    setMinimumSize(minimumWidth, minimumHeight);
    const QScreen *here = screen() ? screen() : QGuiApplication::primaryScreen();
    const QSize room = here ? here->availableGeometry().size() : QSize(1000, 640);
    resize(QSize(1000, 640).boundedTo(room));
}

MainWindow::~MainWindow()
{
    // The page rules hold the controllers by reference.
    m_pageRules.reset();
}

TBroadcast &MainWindow::transport()
{
    return m_services->transport();
}

UnitTable &MainWindow::units()
{
    return m_services->units();
}

DiscoveryCycle &MainWindow::cycle()
{
    return m_services->cycle();
}

ConnectionManager &MainWindow::connection()
{
    return m_services->connections();
}

UnitCommands &MainWindow::unitCommands()
{
    return m_services->commands();
}

void MainWindow::buildPages()
{
    m_pages = new PageControl(this);
    m_discoverPage = new DiscoverPage(*m_op, transport(), units(), cycle(), m_pages);
    m_discoverPage->setPingBar(new PingWidget(*m_pingTool, PingTool::Place::Toolbar, m_discoverPage));
    m_discoverPage->setUnitBar(buildUnitBar());
    PageControl *discoverTabs = m_discoverPage->tabs();
    // No tab change while a running operation holds its page (an automatic update).
    discoverTabs->setRequest([this](int, int) { return !m_pageRules->anyHeld(); });
    m_discoverTabs = discoverTabs;
    m_discoverTabs->addTab(notBuiltPage(m_discoverTabs), QStringLiteral("Discover List "));
    auto *manual = new ManualTelnetPage(*m_telnetLogin, *m_pingTool, m_discoverTabs);
    m_discoverTabs->addTab(manual, QStringLiteral("Manual "));
    connect(manual, &ManualTelnetPage::connectAndRebootRequested, this,
            [this](const QString &address) { m_services->connectAndReboot().run(address); });
    SetIp &setIp = m_services->setIp();
    setIp.setTones(m_tones.get());
    setIp.listTargets = [this] { return m_targets; };
    m_discoverTabs->addTab(new SetIpTab(setIp, m_services->factoryReset(), m_discoverTabs),
                           QStringLiteral("Set IP Address "));
    connect(&setIp, &SetIp::showDiscoverTab, this, [this] { m_discoverTabs->setCurrentIndex(0); });
    connect(&setIp, &SetIp::confirmedAt, this,
            [this](const QString &address) { m_discoverPage->grid()->bringUnitIntoView(address); });
    // The factory reset's ping count shows beside the toolbar's ping field, whose address stays as typed.
    if (auto *pingBar = qobject_cast<PingWidget *>(m_discoverPage->pingBar()))
        connect(&m_services->factoryReset(), &FactoryReset::pingCountChanged, pingBar->resultLabel(),
                &QLabel::setText);
    m_discoverTabs->addTab(notBuiltPage(m_discoverTabs), QStringLiteral("Auto Update "));
    for (const PageRow &row : pageRows()) {
        PageController *own = nullptr;
        for (const auto &c : m_controllers)
            if (c->page() == row.page)
                own = c.get();
        PageContext context{*m_services, own, m_settings, *m_settingsFile};
        QWidget *page = row.widget ? row.widget(context, m_pages) : m_discoverPage;
        // Rows a history search found go to the log window, in place of what it held.
        if (auto *history = qobject_cast<HistoryPage *>(page)) {
            connect(history, &HistoryPage::foundRowsWritten, this, [this](const QStringList &lines) {
                m_log->view()->clear();
                for (const QString &line : lines)
                    m_log->view()->appendLine(line);
            });
        }
        m_pages->addTab(page, pageCaption(row.page));
        // While a flash run goes on, its page is the only one offered.
        if (auto *flash = qobject_cast<FlashPage *>(page)) {
            connect(&flash->run(), &FlashRun::runningChanged, this, [this, flash](bool running) {
                for (int i = 0; i < m_pages->count(); ++i)
                    m_pages->setTabVisible(i, !running || m_pages->widget(i) == flash);
            });
        }
    }
    setCentralWidget(m_pages);

    m_pages->setRequest([this](int from, int to) { return m_pageRules->requestChange(Page(from), Page(to)); });
    connect(m_pages, &QTabWidget::currentChanged, this, &MainWindow::pageChanged);
    connect(m_discoverTabs, &QTabWidget::currentChanged, this, &MainWindow::discoverTabChanged);

    connect(m_discoverPage, &DiscoverPage::useListToggled, this, [this](bool on) { setUseList(on, true); });
    connect(m_discoverPage, &DiscoverPage::discoverOnStartToggled, this, [this](bool on) {
        m_settings.discoverOnStart = on;
        m_settingsFile->writeNow(&Settings::discoverOnStart, on);
    });
    // Column widths follow the texts once a list is complete.
    connect(&cycle(), &DiscoveryCycle::listSorted, this, &MainWindow::applyColumnRule);
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
    m_interfaceSelector = new InterfaceSelector(*m_op, transport(), m_interfaces, bar);
    layout->addWidget(m_interfaceSelector);
    connect(m_interfaceSelector, &InterfaceSelector::picked, this, [this](const QString &address) {
        m_settings.localInterface = address;
        m_settingsFile->writeNow(&Settings::localInterface, address);
    });
    return bar;
}

void MainWindow::buildConnection()
{
    UnitCommands &commands = m_services->commands();
    connect(&commands, &UnitCommands::rebooted, this, [this] { m_pages->requestPage(int(Page::Discover)); });
    m_pingTool->showing = [this] {
        if (m_pages->currentIndex() != int(Page::Discover))
            return PingTool::Showing::Elsewhere;
        if (m_discoverTabs->currentIndex() == 2)
            return PingTool::Showing::ManualTab;
        return m_discoverTabs->currentIndex() == 0 ? PingTool::Showing::DiscoverTab : PingTool::Showing::Elsewhere;
    };

    ConnectionManager &connections = m_services->connections();
    connect(&connections, &ConnectionManager::unitActionsEnabled, this, [this](bool on) {
        m_anyConnected = on;
        updateUnitActions();
    });
    // While one operation runs, nothing may start another inside its waits.
    connect(&m_services->operations(), &OperationGate::busyChanged, this, &MainWindow::updateUnitActions);
    // The re-access button follows the unit last connected to.
    connect(&connections, &ConnectionManager::connected, this,
            [this](int) { m_telnetLogin->setLastConnectedIP(m_services->connections().lastConnectedIP()); });
    connect(&connections, &ConnectionManager::unitChanged, this,
            [this](int) { m_discoverPage->grid()->viewport()->update(); });
    connect(m_disconnect, &QPushButton::clicked, this, [this] { m_services->connections().CloseSocket(); });
    connect(m_reboot, &QPushButton::clicked, this, [this] { m_services->commands().reboot(); });
    connect(m_checksum, &QPushButton::clicked, this, [this] { m_services->commands().checksum(); });

    DiscoveryGrid *grid = m_discoverPage->grid();
    connect(grid, &DiscoveryGrid::connectRequested, this,
            [this](const QString &ip) { m_services->selection().clickConnect(ip); });
    for (GridCommand c : {GridCommand::Webpage, GridCommand::Telnet, GridCommand::Connect, GridCommand::Disconnect, GridCommand::Reboot,
                          GridCommand::Update, GridCommand::RestartWebpages, GridCommand::RestartTelnet,
                          GridCommand::RestartRemoteAccess, GridCommand::CreateArchive, GridCommand::RestoreArchive,
                          GridCommand::DeleteArchive, GridCommand::CompareArchive, GridCommand::RamSpeedZero,
                          GridCommand::RamSpeedOne, GridCommand::EnableSafeMode, GridCommand::DisableSafeMode})
        grid->setCommandEnabled(c, true);
    // A command that leads to a page only once the page has content: no unit mode for an empty page.
    for (const PageRow &row : pageRows()) {
        if (row.page == Page::Setup)
            grid->setCommandEnabled(GridCommand::Configure, row.hasContent);
        if (row.page == Page::History)
            grid->setCommandEnabled(GridCommand::History, row.hasContent);
        if (row.page == Page::Monitor)
            grid->setCommandEnabled(GridCommand::Monitor, row.hasContent);
    }
    connect(grid, &DiscoveryGrid::commandTriggered, this,
            [this](GridCommand c, const QString &ip) { gridCommand(int(c), ip); });
}

void MainWindow::updateUnitActions()
{
    const bool on = m_anyConnected && !m_services->operations().busy();
    for (QPushButton *b : {m_disconnect, m_reboot, m_checksum})
        b->setEnabled(on);
}

void MainWindow::gridCommand(int command, const QString &ip)
{
    const auto c = GridCommand(command);
    if (datagramCommand(command, ip))
        return;
    // The console is a connection of its own: the current unit stays as it is.
    if (c == GridCommand::Telnet) {
        m_telnetTools->openTelnet(ip);
        return;
    }
    UnitSelection &selection = m_services->selection();
    if (!selection.prepareMenuUnit(ip, c == GridCommand::Disconnect,
                                   c == GridCommand::Configure || c == GridCommand::History
                                       || c == GridCommand::Monitor || c == GridCommand::Connect))
        return;
    switch (c) {
    case GridCommand::Configure:
        m_pages->requestPage(int(Page::Setup));
        return;
    case GridCommand::History:
        m_pages->requestPage(int(Page::History));
        return;
    case GridCommand::Monitor:
        m_pages->requestPage(int(Page::Monitor));
        return;
    case GridCommand::Webpage:
        QDesktopServices::openUrl(QUrl(QStringLiteral("http://") + ip + QLatin1Char('/')));
        break;
    case GridCommand::Disconnect:
        selection.disconnectUnit(ip);
        return;
    default:
        break;
    }
    // The page that is showing takes the new current unit into its mode.
    const Page page = m_pageRules->current();
    m_pageRules->changed(page, page);
}

bool MainWindow::datagramCommand(int command, const QString &ip)
{
    // Commands by datagram need no connection; they act on the right-clicked unit.
    UnicastCommands &unicast = m_services->unicast();
    const auto c = GridCommand(command);
    static const QHash<int, char> ram = {{int(GridCommand::RamSpeedZero), '0'},
                                         {int(GridCommand::RamSpeedOne), '1'},
                                         {int(GridCommand::EnableSafeMode), 'e'},
                                         {int(GridCommand::DisableSafeMode), 'd'}};
    static const QHash<int, char> archive = {{int(GridCommand::CreateArchive), 'a'},
                                             {int(GridCommand::RestoreArchive), 'r'},
                                             {int(GridCommand::DeleteArchive), 'd'},
                                             {int(GridCommand::CompareArchive), 'c'}};
    static const QHash<int, char> services = {{int(GridCommand::RestartWebpages), 'w'},
                                              {int(GridCommand::RestartTelnet), 't'},
                                              {int(GridCommand::RestartRemoteAccess), 'r'}};
    if (ram.contains(command)) {
        unicast.ramRequest(ip, ram.value(command));
        return true;
    }
    if (archive.contains(command)) {
        unicast.archiveRequest(ip, archive.value(command));
        return true;
    }
    if (services.contains(command)) {
        unicast.restartService(ip, services.value(command));
        return true;
    }
    if (c == GridCommand::Update) {
        // The row refreshes from the unit's answer to a query of its own.
        m_tones->raiseMute();
        m_services->cycle().expectUnicastAnswer(ip);
        transport().setBroadCastIP(ip);
        transport().SendBroadCast(unicast::query());
        QTimer::singleShot(1500, this, [this] { m_tones->lowerMute(); });
        return true;
    }
    if (c == GridCommand::Reboot) {
        const int index = units().findByIP(ip);
        if (index < 0 || m_op->ask(QStringLiteral("Are you sure you want to reboot unit ") + ip + QLatin1Char('?'))
                             != Answer::Yes)
            return true;
        const int again = units().findByIP(ip);
        if (again >= 0)
            unicast.reboot(units().unit(again));
        return true;
    }
    return false;
}

void MainWindow::setPinger(std::unique_ptr<Pinger> pinger)
{
    m_services->setPinger(std::move(pinger));
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
    transport().setLocalPort(m_settings.localPort);
    transport().setTimeOut(m_settings.wait);
    unitCommands().setSetupUploadOption(m_settings.options.SetupUpload);
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
    cycle().setUseList(on);
    m_discoverPage->setUseList(on);
    m_discoverTabs->setTabVisible(1, on);
    if (write)
        m_settingsFile->writeNow(&Settings::useList, on);
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
        m_settingsFile->writeNow(&Settings::beep, on);
}

void MainWindow::sendToTargets(const QByteArray &query)
{
    // Until the discovery list is built, the targets come from the command line.
    if (m_targets.isEmpty()) {
        m_op->log(QStringLiteral("No addresses to search: the discovery list is empty"));
        QTimer::singleShot(0, &cycle(), &DiscoveryCycle::windowEnded);
        return;
    }
    for (const QString &t : std::as_const(m_targets)) {
        transport().setBroadCastIP(t);
        transport().SendBroadCast(query);
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
    if (m_pages->currentIndex() == int(Page::Discover) && units().isEmpty() && m_settings.discoverOnStart)
        cycle().start();
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
            m_settingsFile->writeNow(&Settings::discoverOnStart, back.autoDiscover);
        }
        if (back.useList != m_settings.useList)
            setUseList(back.useList, true);
        m_settings.loadOnStart = back.loadListOnStart;
        m_settings.loadOnStartFile = back.listFile;
    }
    unitCommands().setSetupUploadOption(m_settings.options.SetupUpload);
    m_discoverPage->gridModel().setOptions(m_settings.options);
    m_discoverPage->grid()->viewport()->update();
}

void MainWindow::pageChanged(int index)
{
    if (m_forcingPage)
        return;
    const int from = m_currentPage;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    const Page shown = m_pageRules->changed(Page(from), Page(index));
    statusBar()->update();
    m_currentPage = int(shown);
    if (int(shown) != index) {
        m_forcingPage = true;
        m_pages->setCurrentIndex(int(shown));
        m_forcingPage = false;
    }
}

void MainWindow::discoverTabChanged(int index)
{
    // The automatic update keeps its selection through a rediscovery and a disconnect.
    if (index == 2)
        m_telnetLogin->setLastConnectedIP(m_services->connections().lastConnectedIP());
    const bool autoUpdate = index == 4;
    units().setSelectionHeld(autoUpdate);
    m_discoverPage->setPanelTall(autoUpdate);
    if (autoUpdate)
        m_discoverPage->grid()->setColumnWidth(2, 55);
}

Settings MainWindow::collectExitSettings() const
{
    Settings s = m_settings;
    s.localPort = m_services->transport().LocalPort();
    s.wait = m_services->transport().TimeOut();
    s.sortType = static_cast<int>(m_services->cycle().sortOrder());
    s.windowGeometry = QString::fromLatin1(saveGeometry().toBase64());
    s.logGeometry = QString::fromLatin1(m_log->saveGeometry().toBase64());
    return s;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const bool connected = m_services->connections().isOpen(units().current());
    if (connected) {
        const QString refusal = m_pageRules->closeRefusal();
        if (!refusal.isEmpty()) {
            m_op->log(refusal);
            event->ignore();
            return;
        }
    }
    m_op->setBusy(true);
    m_services->connections().CloseSocket();
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
        grid->applyInitialWidths();
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
