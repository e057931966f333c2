// The main window against simulated units: start-up order, settings, pages, shutdown.
#include "core/boundedwait.h"
#include "app/ui/guioperator.h"
#include "app/ui/logwindow.h"
#include "app/ui/mainwindow.h"
#include "app/ui/optionsdialog.h"
#include "app/ui/pagelist.h"
#include "core/ui/pagecontrol.h"
#include "connection/unitclient.h"
#include "connection/operation.h"
#include "connection/unitselection.h"
#include "services/unitservices.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "discovery/ui/discoverpage.h"
#include "discovery/ui/discoverygridmodel.h"
#include "simfleet.h"
#include "connection/commands.h"
#include "connection/connectionmanager.h"
#include "discovery/ui/discoverygrid.h"
#include "discovery/ui/interfaceselector.h"
#include "flash/ui/flashpage.h"
#include "history/ui/historypage.h"
#include "setup/ui/setuppage.h"
#include "fakeunit.h"
#include "tools/ping.h"
#include "tools/ui/manualtelnetpage.h"
#include "unit/unittable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QStyle>
#include <QApplication>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QMenu>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace vork;

namespace {

// A page whose operation runs: it holds its page and refuses a close.
class RunningPage : public PageController
{
public:
    RunningPage(Page p, const QString &refusal) : m_page(p), m_refusal(refusal) {}
    Page page() const override { return m_page; }
    bool holdsPage() const override { return running; }
    QString closeRefusal() const override { return running ? m_refusal : QString(); }
    bool running = true;

private:
    Page m_page;
    QString m_refusal;
};

// Simulated units on 127.0.5.x; the window searches only them.
class Fixture
{
public:
    explicit Fixture(const QByteArray &ini, int units = 2, QStringList extraArgs = {})
    {
        path = dir.filePath(QStringLiteral("Vork.ini"));
        if (!ini.isNull()) {
            QFile f(path);
            if (f.open(QIODevice::WriteOnly))
                f.write(ini);
        }
        QStringList targets;
        for (int i = 0; i < units; ++i) {
            const QHostAddress a(QStringLiteral("127.0.5.%1").arg(i + 2));
            fleet.add(sim::demoUnit(i, a));
            targets << a.toString();
        }
        QString error;
        started = fleet.start({}, &error);
        args = QStringList{QStringLiteral("--settings"), path, QStringLiteral("--targets"), targets.join(QLatin1Char(','))}
               + extraArgs;
        open();
    }
    void open()
    {
        window = std::make_unique<MainWindow>(parseStartOptions(args), dir.path());
        window->op().showMessage = [this](MessageKind, const QString &text) { messages << text; };
        window->op().askQuestion = [](const QString &) { return Answer::No; };
    }
    int queries() const
    {
        int n = 0;
        for (int i = 0; i < fleet.size(); ++i)
            n += static_cast<int>(fleet.server(i).received().size());
        return n;
    }
    QByteArray fileBytes() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    QString path;
    sim::SimFleet fleet;
    bool started = false;
    QStringList args;
    QStringList messages;
    std::unique_ptr<MainWindow> window;
};

const QByteArray loopbackIni("[Local Interface]\nIPAddress=127.0.0.1\n[Options]\nUse List=1\n");

QAction *menuAction(QMenu *menu, const QString &text)
{
    const auto actions = menu->findChildren<QAction *>();
    for (QAction *a : actions)
        if (a->text() == text)
            return a;
    return nullptr;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pagesAndTabsInOrder();
    void autoDiscoveryRunsOnceAfterStart();
    void searchFindsTheUnits();
    void menuCommandsByDatagram();
    void historySearchRowsGoToTheLog();
    void portMarksFollowTheSettings_data();
    void portMarksFollowTheSettings();
    void toneSurvivesDoneAndRestart();
    void modelColourFromTheCommandLine_data();
    void modelColourFromTheCommandLine();
    void damagedSettingsFileLeavesDefaults_data();
    void damagedSettingsFileLeavesDefaults();
    void closeRefusedWhileFlashing();
    void flashRunLeavesOnlyItsPage();
    void manualTabFollowsTheLastConnectedUnit();
    void closeWritesTheSettings();
    void pageChangesByClickAndRefusal();
    void logWindowShowsLinesAndClears();
    void logLineFormat();
    void clickConnectsAndPagesSetModes();
    void menuCommandsFollowThePages();
    void theListStaysInViewOnEveryDiscoverTab();
    void fitsTheScreenItOpensOn();
    void geometryIsRememberedBetweenRuns();
    void everyControlIsReachableByTab();
    void searchClosesTheOpenConnectionWithTheCloseCommand();
    void interfaceChoiceIsKeptAtOnce();
};

namespace {
struct AlwaysReachable : Pinger
{
    bool ping(const QString &, int, bool) override { return true; }
};

// A unit in the window's table with a scripted unit behind it that acknowledges everything.
udppack addScriptedUnit(MainWindow &w, const QString &ip, FakeUnit &fake)
{
    udppack u;
    u.ver.vnum = {3, 0, 0};
    u.vnumber = QStringLiteral("3.0.0");
    u.desc = QStringLiteral("Scripted");
    u.mac = QStringLiteral("0050C2FF0001");
    w.units().enterAnnouncement(u, ip);
    w.cycle().sortList();
    fake.onBytes = [&fake](const QByteArray &b) {
        for (char c : b)
            if (c != 0 || b == QByteArray(4, '\0'))
                fake.send(QByteArray(1, char(ACK)));
        if (b.endsWith('C') && fake.peer)
            fake.peer->disconnectFromHost();
    };
    return u;
}
} // namespace

void TestMainWindow::pagesAndTabsInOrder()
{
    Fixture f(loopbackIni, 0);
    QCOMPARE(f.window->windowTitle(), QStringLiteral("Brivella Utility"));
    QStringList pages;
    for (int i = 0; i < f.window->pages()->count(); ++i)
        pages << f.window->pages()->tabText(i);
    QCOMPARE(pages, (QStringList{QStringLiteral("DISCOVER"), QStringLiteral("MONITOR"), QStringLiteral("HISTORY"),
                                 QStringLiteral("FLASH"), QStringLiteral("SETUP"), QStringLiteral("NS"),
                                 QStringLiteral("HELP")}));
    QStringList tabs;
    for (int i = 0; i < f.window->discoverTabs()->count(); ++i)
        tabs << f.window->discoverTabs()->tabText(i);
    QCOMPARE(tabs, (QStringList{QStringLiteral("Discover "), QStringLiteral("Discover List "), QStringLiteral("Manual "),
                                QStringLiteral("Set IP Address "), QStringLiteral("Auto Update ")}));
    // "Discover List " shows only while the list is in use.
    QVERIFY(f.window->discoverTabs()->isTabVisible(1));
    f.window->discoverPage()->useListToggle()->click();
    QVERIFY(!f.window->discoverTabs()->isTabVisible(1));
}

void TestMainWindow::autoDiscoveryRunsOnceAfterStart()
{
    Fixture f(loopbackIni + "DiscoverOnStart=1\n");
    QVERIFY(f.started);
    f.window->show();
    QVERIFY(wait::until([&] { return f.window->units().count() == 2 && !f.window->cycle().collecting(); }, 5000));
    QCOMPARE(f.queries(), 2); // one query to each unit
    QVERIFY(!f.window->discoverPage()->searchHint()->isVisible());

    // Closing the options dialog is a later activation: no second search.
    QTimer::singleShot(50, f.window.get(), [&] { f.window->optionsDialog()->reject(); });
    f.window->openOptions();
    wait::delay(700);
    QCOMPARE(f.queries(), 2);
    QVERIFY(f.window->firstActivationDone());
    // The first activation also set the hint timing.
    QCOMPARE(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 150);
}

void TestMainWindow::searchFindsTheUnits()
{
    Fixture f(loopbackIni, 3);
    QVERIFY(f.started);
    f.window->show();
    wait::delay(200);
    QCOMPARE(f.window->units().count(), 0); // DiscoverOnStart is off
    QVERIFY(f.window->discoverPage()->searchHint()->isVisible()); // no search at start: the reminder shows
    QTest::mouseClick(f.window->discoverPage()->searchButton(), Qt::LeftButton);
    QVERIFY(!f.window->discoverPage()->searchHint()->isVisible());
    QVERIFY(wait::until([&] { return !f.window->cycle().collecting(); }, 5000));
    QCOMPARE(f.window->units().count(), 3);
    QCOMPARE(f.window->op().panel(0), QStringLiteral(" 3 Vork Unit(s) found"));
    QCOMPARE(f.window->discoverPage()->gridModel().index(0, 4).data().toString(), QStringLiteral("127.0.5.2"));
}

void TestMainWindow::menuCommandsByDatagram()
{
    Fixture f(loopbackIni, 1);
    QVERIFY(f.started);
    f.window->show();
    QTest::mouseClick(f.window->discoverPage()->searchButton(), Qt::LeftButton);
    QVERIFY(wait::until([&] { return f.window->units().count() == 1 && !f.window->cycle().collecting(); }, 5000));
    DiscoveryGrid *grid = f.window->discoverPage()->grid();
    const QString ip = QStringLiteral("127.0.5.2");
    for (GridCommand c : {GridCommand::Reboot, GridCommand::CreateArchive, GridCommand::RamSpeedOne,
                          GridCommand::RestartTelnet, GridCommand::Update})
        QVERIFY(grid->commandAction(c)->isEnabled());

    // The unit's answer to an archive request, in the unit's own words.
    f.window->op().askQuestion = [](const QString &) { return Answer::Yes; };
    Q_EMIT grid->commandTriggered(GridCommand::CreateArchive, ip);
    QCOMPARE(f.messages, QStringList{QStringLiteral("Archive Created Successfully")});
    QVERIFY(!f.fleet.server(0).archive().isEmpty());
    Q_EMIT grid->commandTriggered(GridCommand::CreateArchive, ip);
    QCOMPARE(f.messages.value(1), QStringLiteral("Archive Already Exist. Delete first"));

    // Reboot asks, and No sends nothing; Yes reboots the unit by its MAC.
    QStringList asked;
    f.window->op().askQuestion = [&](const QString &q) {
        asked << q;
        return Answer::No;
    };
    Q_EMIT grid->commandTriggered(GridCommand::Reboot, ip);
    QCOMPARE(asked, QStringList{QStringLiteral("Are you sure you want to reboot unit 127.0.5.2?")});
    wait::delay(100);
    QVERIFY(!f.fleet.server(0).isDown());
    f.window->op().askQuestion = [](const QString &) { return Answer::Yes; };
    Q_EMIT grid->commandTriggered(GridCommand::Reboot, ip);
    QVERIFY(wait::until([&] { return f.fleet.server(0).isDown(); }, 2000));
}

void TestMainWindow::historySearchRowsGoToTheLog()
{
    Fixture f(loopbackIni, 0);
    f.window->op().log(QStringLiteral("an earlier line"));
    auto *history = f.window->findChild<HistoryPage *>();
    QVERIFY(history);
    Q_EMIT history->foundRowsWritten({QStringLiteral("1,0,Label,42,10:00:00 AM,03/01/2021,2A00"),
                                      QStringLiteral("7,1,Error,12,10:00:05 AM,03/01/2021,0C00")});
    QCOMPARE(f.window->logWindow()->view()->toPlainText(),
             QStringLiteral("1,0,Label,42,10:00:00 AM,03/01/2021,2A00\n7,1,Error,12,10:00:05 AM,03/01/2021,0C00"));
}

void TestMainWindow::portMarksFollowTheSettings_data()
{
    QTest::addColumn<QByteArray>("udp");
    QTest::addColumn<QString>("marked");
    QTest::addColumn<int>("port");
    QTest::newRow("3010") << QByteArray("[UDP]\nLocalPort=3010\n") << "3010 Fixed" << 3010;
    QTest::newRow("automatic") << QByteArray("[UDP]\nLocalPort=0\n") << "Automatic (default)" << 0;
    QTest::newRow("missing") << QByteArray() << "Automatic (default)" << 0;
}

void TestMainWindow::portMarksFollowTheSettings()
{
    QFETCH(QByteArray, udp);
    QFETCH(QString, marked);
    QFETCH(int, port);
    Fixture f(loopbackIni + udp, 0);
    QCOMPARE(f.window->transport().LocalPort(), port);
    QAction *a = menuAction(f.window->discoverPage()->searchMenu(), marked);
    QVERIFY(a);
    QVERIFY(a->isChecked());
}

void TestMainWindow::toneSurvivesDoneAndRestart()
{
    Fixture f(loopbackIni, 0);
    f.window->show();
    // Done on the dialog after changing the connect tone.
    QTimer::singleShot(50, f.window.get(), [&] {
        OptionsDialog *d = f.window->optionsDialog();
        auto *spin = d->findChild<QSpinBox *>(QStringLiteral("ConnectHZ"));
        QVERIFY(spin);
        spin->setValue(1234);
        auto *done = d->findChild<QPushButton *>(QStringLiteral("done"));
        QVERIFY(done);
        done->click();
    });
    f.window->openOptions();
    QCOMPARE(f.window->options().ConnectHZ, 1234);
    QVERIFY(f.window->close());
    f.window.reset();

    f.open();
    QCOMPARE(f.window->options().ConnectHZ, 1234);
}

void TestMainWindow::modelColourFromTheCommandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("model");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("-STD 255 paints standard red") << QStringList{QStringLiteral("-STD"), QStringLiteral("255")} << 0
                                                  << QColor(255, 0, 0);
    QTest::newRow("-EIP $FF0000 paints EtherNet/IP blue") << QStringList{QStringLiteral("-EIP$FF0000")} << 1
                                                           << QColor(0, 0, 255);
    QTest::newRow("no option keeps the standard colour") << QStringList{} << 0 << QColor(0x7C, 0xA7, 0xDF);
}

void TestMainWindow::modelColourFromTheCommandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, model);
    QFETCH(QColor, colour);
    Fixture f(loopbackIni, 0, args);
    udppack u;
    u.ver.vnum = {3, 1, 6};
    u.ver.vrcnt = 1;
    u.model = static_cast<std::uint8_t>(model);
    u.mac = QStringLiteral("0050C2000099");
    f.window->units().enterAnnouncement(u, QStringLiteral("10.1.1.1"));
    f.window->cycle().sortList();
    const QModelIndex ver = f.window->discoverPage()->gridModel().index(0, 2);
    QCOMPARE(ver.data(DiscoveryGridModel::MarkRole).value<QColor>(), colour);
}

void TestMainWindow::damagedSettingsFileLeavesDefaults_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("garbage") << QByteArray("\x00\x01\xff[[[==\n\x80garbage\n=1\n", 20);
    QTest::newRow("half written") << QByteArray("[UDP]\nWait=80");
    QTest::newRow("empty") << QByteArray("");
}

void TestMainWindow::damagedSettingsFileLeavesDefaults()
{
    QFETCH(QByteArray, bytes);
    Fixture f(bytes, 0);
    const int wait = bytes.contains("Wait=80") ? 80 : 500;
    QCOMPARE(f.window->transport().TimeOut(), wait);
    QCOMPARE(f.window->options().ConnectHZ, 1600);
    QVERIFY(!f.window->beepToggle()->isChecked());
}

void TestMainWindow::flashRunLeavesOnlyItsPage()
{
    Fixture f(loopbackIni, 0);
    auto *pages = qobject_cast<QTabWidget *>(f.window->centralWidget());
    QVERIFY(pages);
    auto *flash = f.window->findChild<FlashPage *>();
    QVERIFY(flash);
    const auto visible = [&] {
        QList<bool> out;
        for (int i = 0; i < pages->count(); ++i)
            out << pages->isTabVisible(i);
        return out;
    };
    QList<bool> onlyFlash(pages->count(), false);
    onlyFlash[pages->indexOf(flash)] = true;

    Q_EMIT flash->run().runningChanged(true);
    QCOMPARE(visible(), onlyFlash);
    Q_EMIT flash->run().runningChanged(false);
    QCOMPARE(visible(), QList<bool>(pages->count(), true));
}

void TestMainWindow::manualTabFollowsTheLastConnectedUnit()
{
    Fixture f(loopbackIni, 0);
    auto *manual = f.window->findChild<ManualTelnetPage *>();
    QVERIFY(manual);
    QCOMPARE(f.window->discoverPage()->tabs()->indexOf(manual), 2);
    QVERIFY(!manual->reAccessButton()->isEnabled());
    QVERIFY(f.window->discoverPage()->grid()->commandAction(GridCommand::Telnet)->isEnabled());
    // The bottom panel grows to what the shown tab's controls need, and back.
    PageControl *tabs = f.window->discoverPage()->tabs();
    const int normal = tabs->height();
    for (int i : {2, 3}) {
        tabs->setCurrentIndex(i);
        QVERIFY2(tabs->height() >= tabs->tabBar()->sizeHint().height() + tabs->widget(i)->minimumSizeHint().height(),
                 qPrintable(QString::number(i)));
    }
    tabs->setCurrentIndex(0);
    QCOMPARE(tabs->height(), normal);

    QTcpServer server;
    QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
    udppack u;
    u.mac = QStringLiteral("0050C2000078");
    f.window->units().enterAnnouncement(u, QStringLiteral("127.0.0.1"));
    udppack &entry = f.window->units().unit(0);
    f.window->units().setCurrent(&entry);
    UnitClient *client = f.window->connection().client(entry);
    client->socket()->connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), server.serverPort());
    QVERIFY(wait::until([&] { return client->isOpen(); }, 2000));
    QTRY_VERIFY_WITH_TIMEOUT(manual->reAccessButton()->isEnabled(), 2000);
    QCOMPARE(manual->reAccessButton()->toolTip(), QStringLiteral("Restart Access Port Processes for 127.0.0.1"));
    client->close();
}

void TestMainWindow::closeRefusedWhileFlashing()
{
    Fixture f(loopbackIni, 0);
    const QByteArray before = f.fileBytes();
    // A current unit with an open connection.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
    udppack u;
    u.mac = QStringLiteral("0050C2000077");
    f.window->units().enterAnnouncement(u, QStringLiteral("127.0.0.1"));
    udppack &entry = f.window->units().unit(0);
    f.window->units().setCurrent(&entry);
    UnitClient *client = f.window->connection().client(entry);
    client->socket()->connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), server.serverPort());
    QVERIFY(wait::until([&] { return client->isOpen(); }, 2000));

    RunningPage flash(Page::Flash, QStringLiteral("Cannot close while flashing"));
    RunningPage history(Page::History, QStringLiteral("Cannot close while retrieving history records"));
    f.window->pageRules().add(flash);
    f.window->pageRules().add(history);
    QVERIFY(!f.window->close());
    QVERIFY(f.window->op().logLines().last().startsWith(QStringLiteral("Cannot close while flashing  ")));
    QCOMPARE(f.fileBytes(), before);

    // Without the connection the close goes ahead.
    client->close();
    QVERIFY(f.window->close());
    QVERIFY(f.fileBytes() != before);
    f.window->pageRules().remove(flash);
    f.window->pageRules().remove(history);
}

void TestMainWindow::closeWritesTheSettings()
{
    Fixture f(QByteArray("[SORT]\ntype=3\n[UDPmasks]\nm=1\n") + loopbackIni, 0);
    QCOMPARE(f.window->discoverPage()->sortChoice()->currentText(), QStringLiteral("Description"));
    f.window->transport().setTimeOut(2000);
    QVERIFY(f.window->close());
    const QByteArray written = f.fileBytes();
    QVERIFY(written.contains("[SORT]\r\ntype=3\r\n"));
    QVERIFY(written.contains("Wait=2000"));
    QVERIFY(!written.contains("UDPmasks"));
}

void TestMainWindow::pageChangesByClickAndRefusal()
{
    Fixture f(loopbackIni, 0);
    f.window->show();
    QTabBar *bar = f.window->pages()->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(int(Page::Setup)).center());
    QCOMPARE(f.window->pages()->currentIndex(), int(Page::Setup));
    QCOMPARE(f.window->pageRules().current(), Page::Setup);

    RunningPage flash(Page::Flash, QStringLiteral("Cannot close while flashing"));
    f.window->pageRules().add(flash);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(int(Page::NS)).center());
    QCOMPARE(f.window->pages()->currentIndex(), int(Page::Setup));
    // The keyboard on the tab bar asks the same question as the mouse.
    QTest::keyClick(bar, Qt::Key_Right);
    QCOMPARE(f.window->pages()->currentIndex(), int(Page::Setup));

    flash.running = false;
    QTest::keyClick(bar, Qt::Key_Right);
    QCOMPARE(f.window->pages()->currentIndex(), int(Page::NS));
    QTest::keyClick(bar, Qt::Key_Home);
    QCOMPARE(f.window->pages()->currentIndex(), int(Page::Discover));

    // The DISCOVER tabs hold while a running operation (an automatic update) holds its page.
    QTabBar *tabs = f.window->discoverTabs()->tabBar();
    flash.running = true;
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    QCOMPARE(f.window->discoverTabs()->currentIndex(), 0);
    flash.running = false;
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    QCOMPARE(f.window->discoverTabs()->currentIndex(), 2);
    f.window->pageRules().remove(flash);
}

void TestMainWindow::logWindowShowsLinesAndClears()
{
    Fixture f(loopbackIni, 0);
    f.window->show();
    QTest::mouseClick(f.window->logButton(), Qt::LeftButton);
    QVERIFY(f.window->logWindow()->isVisible());
    QCOMPARE(f.window->logWindow()->windowTitle(), QStringLiteral("Brivella Utility Status"));
    QCOMPARE(f.window->logButton()->toolTip(), QStringLiteral("Hide status window"));
    f.window->op().log(QStringLiteral("hello"));
    LogView *view = f.window->logWindow()->view();
    QVERIFY(view->toPlainText().contains(QStringLiteral("\nhello  ")));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton);
    QVERIFY(view->toPlainText().isEmpty());
    f.window->logWindow()->close();
    QVERIFY(!f.window->logButton()->isChecked());
    QCOMPARE(f.window->logButton()->toolTip(), QStringLiteral("Show Status window"));
}

void TestMainWindow::logLineFormat()
{
    const QString line = logLine(QStringLiteral("Waiting for socket disconnect"), QTime(14, 3, 7));
    QVERIFY2(line.startsWith(QStringLiteral("Waiting for socket disconnect  ")), qPrintable(line));
    const QString time = line.mid(QStringLiteral("Waiting for socket disconnect  ").size());
    QVERIFY2(time.contains(QStringLiteral("03:07")), qPrintable(time));
    QVERIFY2(time.startsWith(QStringLiteral("14")) || time.startsWith(QStringLiteral("2")), qPrintable(time));
}

void TestMainWindow::clickConnectsAndPagesSetModes()
{
    FakeUnit fake(QStringLiteral("127.0.10.2"));
    Fixture f(loopbackIni, 0);
    f.window->setPinger(std::make_unique<AlwaysReachable>());
    f.window->show();
    addScriptedUnit(*f.window, QStringLiteral("127.0.10.2"), fake);
    DiscoveryGrid *grid = f.window->discoverPage()->grid();
    const QPoint description = grid->visualRect(grid->model()->index(0, 1)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, description);
    QVERIFY(wait::until([&] { return f.window->units().unit(0).connected; }, 3000));
    QCOMPARE(f.window->op().panel(1), QStringLiteral("Connected to 127.0.10.2"));
    QVERIFY(f.window->disconnectButton()->isEnabled());

    QTabBar *bar = f.window->pages()->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(int(Page::Setup)).center());
    QVERIFY(wait::until([&] { return fake.received.endsWith('S'); }, 3000));
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(int(Page::History)).center());
    QVERIFY(wait::until([&] { return fake.received.endsWith('H'); }, 3000));
    QCOMPARE(fake.received, QByteArray("SQH"));
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(int(Page::Discover)).center());
    QVERIFY(wait::until([&] { return fake.received.size() == 7; }, 3000));
    QCOMPARE(fake.received.mid(3), QByteArray(4, '\0')); // the history quit

    // MONITOR puts the unit in monitor mode and leaving takes it out; its only unit stays connected.
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(int(Page::Monitor)).center());
    QVERIFY(wait::until([&] { return fake.received.endsWith('M'); }, 3000));
    QVERIFY(wait::until([&] { return f.window->units().unit(0).Monitor; }, 3000));
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(int(Page::Discover)).center());
    QVERIFY(wait::until([&] { return fake.received.endsWith('Q'); }, 3000));
    QCOMPARE(fake.received.mid(7), QByteArray("MQ"));
    QVERIFY(f.window->units().unit(0).connected);

    QTest::mouseClick(f.window->disconnectButton(), Qt::LeftButton);
    QVERIFY(wait::until([&] { return !f.window->units().unit(0).connected; }, 3000));
    QVERIFY(fake.received.endsWith('C'));
    QVERIFY(!f.window->disconnectButton()->isEnabled());
}

void TestMainWindow::everyControlIsReachableByTab()
{
    Fixture f(loopbackIni, 0);
    MainWindow &w = *f.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QApplication::setActiveWindow(&w);
    w.discoverPage()->grid()->setFocus(Qt::TabFocusReason);
    QSet<QWidget *> reached;
    for (int i = 0; i < 200; ++i) {
        QWidget *now = QApplication::focusWidget();
        QVERIFY(now);
        reached.insert(now);
        QTest::keyClick(now, Qt::Key_Tab);
    }
    const QList<QWidget *> wanted = {w.discoverPage()->searchButton(), w.discoverPage()->sortChoice(),
                                     w.discoverPage()->syncToggle(), w.discoverPage()->useListToggle(),
                                     w.discoverPage()->discoverOnStartToggle(), w.discoverPage()->selectAllToggle(),
                                     w.pages()->tabBar(), w.discoverTabs()->tabBar(), w.optionsButton(),
                                     w.beepToggle(), w.logButton(), w.interfaceSelector()->choice(),
                                     w.discoverPage()->grid()};
    for (QWidget *widget : wanted)
        QVERIFY2(reached.contains(widget), qPrintable(widget->objectName() + QStringLiteral(" ") + QString::fromLatin1(widget->metaObject()->className())));
}

void TestMainWindow::geometryIsRememberedBetweenRuns()
{
    QByteArray written;
    {
        Fixture f(loopbackIni, 0);
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        f.window->resize(700, 480);
        f.window->logWindow()->resize(400, 300);
        QVERIFY(f.window->close());
        written = f.fileBytes();
    }
    QVERIFY(written.contains("[Window]"));
    Fixture again(written, 0);
    QCOMPARE(again.window->size(), QSize(700, 480));
    QCOMPARE(again.window->logWindow()->size(), QSize(400, 300));
}

void TestMainWindow::fitsTheScreenItOpensOn()
{
    Fixture f(loopbackIni, 0);
    MainWindow &w = *f.window;
    const QRect room = w.screen()->availableGeometry();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.width() <= room.width() && w.height() <= room.height());
    QVERIFY(w.minimumSizeHint().width() <= room.width());
    QVERIFY(w.minimumSizeHint().height() <= room.height());

    // Long texts in every panel: they widen, but the window still fits and no two panels overlap.
    for (int p = 0; p < statusPanelCount; ++p)
        w.op().setPanel(p, QStringLiteral("A long status text for panel %1 that would not fit anywhere").arg(p));
    QCoreApplication::processEvents();
    QVERIFY(w.minimumSizeHint().width() <= room.width());
    QList<QLabel *> panels;
    for (QLabel *label : w.statusBar()->findChildren<QLabel *>())
        if (label->frameStyle() == (QFrame::Panel | QFrame::Sunken))
            panels << label;
    QCOMPARE(panels.size(), statusPanelCount);
    for (int i = 0; i < panels.size(); ++i) {
        QVERIFY(w.statusBar()->rect().contains(panels[i]->geometry()));
        for (int j = i + 1; j < panels.size(); ++j)
            QVERIFY(!panels[i]->geometry().intersects(panels[j]->geometry()));
    }
}

void TestMainWindow::theListStaysInViewOnEveryDiscoverTab()
{
    Fixture f(loopbackIni, 0);
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    QTabWidget *tabs = f.window->discoverTabs();
    QCOMPARE(tabs->count(), 5);
    DiscoveryGrid *grid = f.window->discoverPage()->grid();
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QCOMPARE(tabs->currentIndex(), i);
        QVERIFY2(grid->isVisible(), qPrintable(tabs->tabText(i)));
        // The list sits above the panel, not inside one of its tabs.
        QVERIFY(!tabs->isAncestorOf(grid));
        QVERIFY(grid->mapTo(f.window.get(), QPoint(0, grid->height())).y()
                <= tabs->mapTo(f.window.get(), QPoint(0, 0)).y());
        const bool autoUpdate = tabs->tabText(i) == QLatin1String("Auto Update ");
        const int wanted = autoUpdate ? DiscoverPage::tallBottomPanelHeight : DiscoverPage::bottomPanelHeight;
        // The login and set-IP forms need more room than the panel's usual height; the others keep it.
        const bool form = tabs->tabText(i) == QLatin1String("Manual ") || tabs->tabText(i) == QLatin1String("Set IP Address ");
        if (form)
            QVERIFY(tabs->height() >= wanted);
        else
            QCOMPARE(tabs->height(), wanted);
    }
}

void TestMainWindow::menuCommandsFollowThePages()
{
    FakeUnit fake(QStringLiteral("127.0.10.3"));
    Fixture f(loopbackIni, 0);
    f.window->setPinger(std::make_unique<AlwaysReachable>());
    f.window->show();
    addScriptedUnit(*f.window, QStringLiteral("127.0.10.3"), fake);
    DiscoveryGrid *grid = f.window->discoverPage()->grid();
    // Every page a command leads to has content now.
    QVERIFY(grid->commandAction(GridCommand::Configure)->isEnabled());
    QVERIFY(grid->commandAction(GridCommand::History)->isEnabled());
    QVERIFY(grid->commandAction(GridCommand::Monitor)->isEnabled());
    QVERIFY(grid->commandAction(GridCommand::Connect)->isEnabled());
    // The menu's action, as the operator would choose it on the unit's row.
    Q_EMIT grid->commandTriggered(GridCommand::Connect, QStringLiteral("127.0.10.3"));
    QVERIFY(wait::until([&] { return f.window->units().unit(0).connected; }, 3000));
    QCOMPARE(f.window->pages()->currentIndex(), int(Page::Discover));
    wait::delay(100);
    QVERIFY(fake.received.isEmpty());
    // "Configure" leads the unit to the SETUP page, its own widget, which puts it into setup mode.
    Q_EMIT grid->commandTriggered(GridCommand::Configure, QStringLiteral("127.0.10.3"));
    QCOMPARE(f.window->pages()->currentIndex(), int(Page::Setup));
    auto *setup = qobject_cast<SetupPage *>(f.window->pages()->currentWidget());
    QVERIFY(setup);
    QVERIFY(wait::until([&] { return fake.received == "S"; }, 3000));
    QCOMPARE(setup->tabs()->currentIndex(), int(SetupPage::ParametersTabIndex));
    // Its Upload asks the unit for its record.
    QVERIFY(setup->uploadButton()->isEnabled());
    setup->uploadButton()->click();
    QCOMPARE(fake.received, QByteArray("SU"));
    // "Monitor" leads the unit to the MONITOR page, which puts it into monitor mode.
    QVERIFY(f.window->pages()->requestPage(int(Page::Discover)));
    QVERIFY(wait::until([&] { return fake.received.endsWith('Q'); }, 3000));
    Q_EMIT grid->commandTriggered(GridCommand::Monitor, QStringLiteral("127.0.10.3"));
    QCOMPARE(f.window->pages()->currentIndex(), int(Page::Monitor));
    QVERIFY(wait::until([&] { return fake.received.endsWith('M'); }, 3000));
    // "History" leads it to the HISTORY page, its own widget, which puts it into history mode.
    QVERIFY(f.window->pages()->requestPage(int(Page::Discover)));
    QVERIFY(wait::until([&] { return fake.received.endsWith('Q'); }, 3000));
    Q_EMIT grid->commandTriggered(GridCommand::History, QStringLiteral("127.0.10.3"));
    QCOMPARE(f.window->pages()->currentIndex(), int(Page::History));
    QVERIFY(qobject_cast<HistoryPage *>(f.window->pages()->currentWidget()));
    QVERIFY(wait::until([&] { return fake.received.endsWith('H'); }, 3000));
    QCOMPARE(fake.received, QByteArray("SUQMQH"));
}

void TestMainWindow::searchClosesTheOpenConnectionWithTheCloseCommand()
{
    FakeUnit fake(QStringLiteral("127.0.10.4"));
    Fixture f(loopbackIni, 0);
    f.window->setPinger(std::make_unique<AlwaysReachable>());
    f.window->show();
    addScriptedUnit(*f.window, QStringLiteral("127.0.10.4"), fake);
    QVERIFY(f.window->services().selection().clickConnect(QStringLiteral("127.0.10.4")));
    QVERIFY(f.window->disconnectButton()->isEnabled());
    {
        // While an operation runs, no unit action can start another one inside its waits.
        ScopedOperation running(f.window->services().operations(), f.window->op(), QStringLiteral("Checksum"));
        QVERIFY(!f.window->disconnectButton()->isEnabled());
        QVERIFY(!f.window->checksumButton()->isEnabled());
    }
    QVERIFY(f.window->disconnectButton()->isEnabled());
    QTest::mouseClick(f.window->discoverPage()->searchButton(), Qt::LeftButton);
    QVERIFY(wait::until([&] { return fake.received.endsWith('C'); }, 3000));
    QVERIFY(wait::until([&] { return !f.window->cycle().collecting(); }, 3000));
    QCOMPARE(f.window->units().count(), 0);
    // Nothing is connected any more: the unit actions are off.
    QVERIFY(!f.window->disconnectButton()->isEnabled());
    QVERIFY(!f.window->rebootButton()->isEnabled());
}

void TestMainWindow::interfaceChoiceIsKeptAtOnce()
{
    Fixture f(QByteArray("[Local Interface]\nIPAddress=127.0.0.1\n"), 0);
    QComboBox *choice = f.window->interfaceSelector()->choice();
    QCOMPARE(choice->currentText(), QStringLiteral("127.0.0.1"));
    QCOMPARE(f.window->transport().LocalIP(), QStringLiteral("127.0.0.1"));
    // Picking the (only loopback) entry again writes it at once.
    QFile::remove(f.path);
    const int i = choice->findText(QStringLiteral("127.0.0.1"));
    Q_EMIT choice->activated(i);
    QVERIFY(f.fileBytes().contains("[Local Interface]\r\nIPAddress=127.0.0.1"));
    QCOMPARE(f.window->op().panel(0), QString());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
