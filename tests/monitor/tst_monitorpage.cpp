// The MONITOR page's widgets over a monitor session against simulated units:
// the three views, the view parameters and their settings, the scrolling
// view's headers and cap, and the Reader Details window.
#include "core/boundedwait.h"
#include "core/settings.h"
#include "core/ui/pagecontrol.h"
#include "monitor/ui/monitorpage.h"
#include "monitor/ui/monitorscrollgrid.h"
#include "monitor/ui/monitorscrollmodel.h"
#include "monitor/ui/monitorunitviews.h"
#include "monitor/ui/forcereadpanel.h"
#include "monitor/ui/photoeyespanel.h"
#include "monitor/ui/readerdetails.h"
#include "monitor/ui/viewparameters.h"
#include "monitorrig.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace vork;
using namespace vork::test;

namespace {

constexpr int net = 18;

QStringList texts(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *t : list)
        out << QString::fromUtf8(t);
    return out;
}

QByteArray record(DataPackKind kind, int reader, QList<int> data, int hr = 14, int min = 5, int sec = 9)
{
    DataPack p;
    p.typ = static_cast<std::uint8_t>(kind);
    p.rdr = static_cast<std::uint8_t>(reader);
    p.month = 3;
    p.day = 7;
    p.cent = 20;
    p.year = 21;
    p.hr = static_cast<std::uint8_t>(hr);
    p.min = static_cast<std::uint8_t>(min);
    p.sec = static_cast<std::uint8_t>(sec);
    for (int i = 0; i < data.size() && i < 10; ++i)
        p.data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(data.at(i));
    return encodeDataPack(p);
}

// A page over a rig, with a settings file of its own.
struct PageRig : Rig
{
    explicit PageRig(Settings stored = {})
        : settings(stored), file(op, dir.filePath(QStringLiteral("Vork.ini"))),
          page(services, controller, settings, file)
    {
        page.resize(900, 600);
    }
    QString stored(const char *key) { return file.ini().value(QStringLiteral("Options"), QLatin1String(key)); }

    QTemporaryDir dir;
    Settings settings;
    SettingsFile file;
    MonitorPage page;
};

udppack tableUnit(int readers, std::array<std::uint8_t, 3> version)
{
    udppack u;
    u.ip = QStringLiteral("127.0.18.9");
    u.mac = QStringLiteral("00:50:C2:00:00:09");
    u.desc = QStringLiteral("Line 4 infeed");
    u.ver.vrcnt = static_cast<std::uint8_t>(readers);
    u.ver.vnum = version;
    u.caddr = 16;
    u.naddr = 100;
    return u;
}

} // namespace

class TestMonitorPage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cellTexts_data();
    void cellTexts();
    void identifiers_data();
    void identifiers();
    void recordsReachAllThreeViews();
    void droppedUnitIsMarkedNotMonitored();
    void storedChoicesAndTheirButtons();
    void headerClicksChangeOnlyNewRows();
    void scrollViewFollowsTheCap();
    void readerCountsFromTheWireIndexNothing_data();
    void readerCountsFromTheWireIndexNothing();
    void readerDetailsTakesTheRecords();
    void photoEyeLampsFromTheChosenUnit();
    void photoEyePanelsFollowTheReaderCount_data();
    void photoEyePanelsFollowTheReaderCount();
    void forceReadFromThePanel();
    void runningTestKeepsThePage();
};

void TestMonitorPage::cellTexts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("addressMode");
    QTest::addColumn<QStringList>("cells"); // Rdr, Type, Value, Time Stamp, Date Stamp

    QTest::newRow("label 12345 reader 3, index")
        << record(DataPackKind::Label, 3, {0x39, 0x30}) << false
        << texts({"3", "Label", "12345", "02:05:09 PM", "03/07/2021"});
    QTest::newRow("label 7 reader 3, address") << record(DataPackKind::Label, 3, {7, 0}) << true
                                              << texts({"103", "Label", "7", "02:05:09 PM", "03/07/2021"});
    QTest::newRow("error 45 at midnight") << record(DataPackKind::Error, 0, {45}, 0, 0, 1) << false
                                         << texts({"0", "Error", "45", "12:00:01 AM", "03/07/2021"});
    QTest::newRow("diagnostic") << record(DataPackKind::Diagnostic, 1, {5, 12, 0xFD, 0, 7}) << false
                                << texts({"1", "Diagnostic", "A+05  B+12 C-03 X+00 Y+07", "02:05:09 PM",
                                               "03/07/2021"});
    QTest::newRow("alarm") << record(DataPackKind::Alarm, 0, {30, 2}) << false
                           << texts({"0", "Alarm", "30", "02:05:09 PM", "03/07/2021"});
    QTest::newRow("boot is unknown, no value") << record(DataPackKind::Boot, 0, {3}) << false
                                               << texts({"0", "Unknown", "", "02:05:09 PM", "03/07/2021"});
    QTest::newRow("kind 9") << record(DataPackKind(9), 2, {1}) << false
                            << texts({"2", "Unknown", "", "02:05:09 PM", "03/07/2021"});
    QTest::newRow("hour 24 is a bad time") << record(DataPackKind::Label, 0, {1}, 24, 0, 0) << false
                                          << texts({"0", "Label", "1", "Bad Time", "03/07/2021"});
    QTest::newRow("second 60 is a bad time") << record(DataPackKind::Error, 0, {1}, 1, 2, 60) << false
                                            << texts({"0", "Error", "1", "Bad Time", "03/07/2021"});
}

void TestMonitorPage::cellTexts()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, addressMode);
    QFETCH(QStringList, cells);
    MonitorRow row;
    row.counter = 41;
    row.pack = decodeDataPack(bytes);
    row.ip = QStringLiteral("127.0.18.2");
    row.mac = QStringLiteral("00:50:C2:00:00:02");
    row.description = QStringLiteral("Dock");
    row.readerBase = 100;
    row.readerAddress = addressMode;
    QCOMPARE(monitorCellText(row, MonitorColumn::Record), QStringLiteral("41"));
    const MonitorColumn columns[] = {MonitorColumn::Reader, MonitorColumn::Type, MonitorColumn::Value,
                                     MonitorColumn::TimeStamp, MonitorColumn::DateStamp};
    for (int i = 0; i < cells.size(); ++i)
        QCOMPARE(monitorCellText(row, columns[i]), cells.at(i));
    QCOMPARE(monitorCellText(row, MonitorColumn::Unit), row.mac);
    row.unitDescription = true;
    QCOMPARE(monitorCellText(row, MonitorColumn::Unit), QStringLiteral("Dock"));
    QCOMPARE(monitorCellText(row, MonitorColumn::Address), QStringLiteral("127.0.18.2"));
}

void TestMonitorPage::identifiers_data()
{
    QTest::addColumn<int>("readers");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("unitChoice");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("reader1Address");

    QTest::newRow("2.5.0 numbers from caddr") << 1 << 2 << 0 << QStringLiteral("SVRK 00:50:C2:00:00:09") << 17;
    QTest::newRow("3.0.0 numbers from naddr") << 2 << 3 << 1 << QStringLiteral("TVRK 127.0.18.9") << 101;
    QTest::newRow("four readers") << 4 << 3 << 0 << QStringLiteral("QVRK 00:50:C2:00:00:09") << 101;
    QTest::newRow("eight, by description") << 8 << 5 << 2 << QStringLiteral("Line 4 infeed") << 101;
    QTest::newRow("three readers: no prefix") << 3 << 5 << 1 << QStringLiteral(" 127.0.18.9") << 101;
}

void TestMonitorPage::identifiers()
{
    QFETCH(int, readers);
    QFETCH(int, major);
    QFETCH(int, unitChoice);
    QFETCH(QString, title);
    QFETCH(int, reader1Address);
    const udppack u = tableUnit(readers, {static_cast<std::uint8_t>(major), 5, 0});
    QCOMPARE(monitorUnitTitle(u, UnitIdentifier(unitChoice)), title);
    QCOMPARE(monitorReaderIdentifier(u, 1, ReaderIdentifier::Index), 1);
    QCOMPARE(monitorReaderIdentifier(u, 1, ReaderIdentifier::Address), reader1Address);
}

void TestMonitorPage::recordsReachAllThreeViews()
{
    PageRig rig;
    QVERIFY(rig.start({monitorUnit(0, 2, net)}));
    QCOMPARE(rig.session.monitorOn(), 1);
    const QString ip = QStringLiteral("127.0.18.2");
    udppack &unit = rig.unit(ip);

    // Built from the active list: one list row and one tree reader node per reader.
    MonitorUnitView *list = rig.page.listView();
    MonitorUnitView *tree = rig.page.treeView();
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("TVRK ") + unit.mac);
    QCOMPARE(list->topLevelItem(1)->text(0), QString());
    QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("1"));
    QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("***"));
    QCOMPARE(tree->topLevelItemCount(), 1);
    QCOMPARE(tree->topLevelItem(0)->childCount(), 2);
    QCOMPARE(tree->topLevelItem(0)->child(1)->text(0), QStringLiteral("Reader 1"));
    QVERIFY(tree->topLevelItem(0)->isExpanded());

    // The simulator's own records flow into every view.
    QVERIFY(wait::until([&] { return rig.session.rows().size() >= 20; }, 5000));
    rig.page.refreshViews();
    rig.page.scrollGrid()->scrollModel().sync();
    QCOMPARE(rig.page.scrollGrid()->model()->rowCount(), int(rig.session.rows().size()));

    // One known record: label 12345 on reader 1.
    const ReplySource from;
    rig.session.receive(unit, from, record(DataPackKind::Label, 1, {0x39, 0x30}));
    rig.session.receive(unit, from, record(DataPackKind::Error, 1, {7}));
    rig.page.refreshViews();
    QCOMPARE(list->topLevelItem(1)->text(2), QStringLiteral("12345    03/07/2021  14:05:09"));
    QCOMPARE(list->topLevelItem(1)->text(3), QStringLiteral("07    03/07/2021  14:05:09"));
    QCOMPARE(tree->topLevelItem(0)->child(1)->child(0)->text(0),
             QStringLiteral("Last Read:           12345   03/07/2021  14:05:09"));
    QCOMPARE(tree->topLevelItem(0)->child(1)->child(1)->text(0),
             QStringLiteral("Last Error:            07   03/07/2021  14:05:09"));
    rig.page.scrollGrid()->scrollModel().sync();
    QAbstractItemModel *model = rig.page.scrollGrid()->model();
    const int last = model->rowCount() - 1;
    QCOMPARE(model->index(last, 2).data().toString(), QStringLiteral("Error"));
    QCOMPARE(model->index(last - 1, 3).data().toString(), QStringLiteral("12345"));
    QCOMPARE(model->index(last, 0).data().toString(), QString::number(rig.session.rowCounter()));
    rig.session.monitorOff(Page::Discover);
}

void TestMonitorPage::droppedUnitIsMarkedNotMonitored()
{
    PageRig rig;
    sim::SimUnit dropping = monitorUnit(0, 2, net);
    dropping.commandFaults.dropAfterBytes = 3000; // the ACK of 'M' and some records, then the link goes
    QVERIFY(rig.start({dropping, monitorUnit(1, 1, net)}));
    QSignalSpy dropped(&rig.session, &MonitorSession::linkDropped);
    QCOMPARE(rig.session.monitorOn(), 2);
    udppack &gone = rig.unit(QStringLiteral("127.0.18.2"));
    udppack &kept = rig.unit(QStringLiteral("127.0.18.3"));
    MonitorUnitView *list = rig.page.listView();
    MonitorUnitView *tree = rig.page.treeView();
    for (MonitorUnitView *view : {list, tree}) {
        QVERIFY(MonitorUnitView::showsMonitoring(view->unitItem(gone.link)));
        QVERIFY(MonitorUnitView::showsMonitoring(view->unitItem(kept.link)));
    }
    // What arrived before the drop is shown; then the link goes, with a refresh still pending.
    QVERIFY(wait::until([&] {
        rig.page.refreshViews();
        return list->readerItem(gone.link, 0)->text(2) != QLatin1String("***") || !dropped.isEmpty();
    }, 5000));
    QVERIFY(dropped.isEmpty());
    QVERIFY(wait::until([&] { return !dropped.isEmpty(); }, 5000));
    rig.page.refreshViews();
    const QString why = QStringLiteral("Vork Unit 127.0.18.2 is no longer monitored: connection lost");
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning), QStringList{why});
    for (MonitorUnitView *view : {list, tree}) {
        QTreeWidgetItem *entry = view->unitItem(gone.link);
        QVERIFY(!MonitorUnitView::showsMonitoring(entry));
        QCOMPARE(entry->toolTip(0), why);
        QVERIFY(MonitorUnitView::showsMonitoring(view->unitItem(kept.link)));
    }
    for (int r = 0; r < 2; ++r) {
        for (int column = 2; column <= 4; ++column)
            QCOMPARE(list->readerItem(gone.link, r)->text(column), QStringLiteral("***"));
        QTreeWidgetItem *node = tree->readerItem(gone.link, r);
        QCOMPARE(node->child(0)->text(0), QStringLiteral("Last Read            *** ***"));
        QCOMPARE(node->child(1)->text(0), QStringLiteral("Last Error             *** ***"));
        QCOMPARE(node->child(2)->text(0), QStringLiteral("Last Diagnostic    *** ***"));
    }
    // The unit that stayed keeps showing its records.
    QVERIFY(wait::until([&] { return kept.LastRead[0] != QLatin1String("***"); }, 5000));
    rig.page.refreshViews();
    QVERIFY(list->readerItem(kept.link, 0)->text(2).startsWith(kept.LastRead[0]));
    rig.session.monitorOff(Page::Discover);
}

void TestMonitorPage::storedChoicesAndTheirButtons()
{
    Settings stored;
    stored.monType = 1;  // TREE
    stored.monTitle = 2; // DESCRIPTION
    stored.monID = 1;    // ADDRESS
    PageRig rig(stored);
    ViewParameters *p = rig.page.viewParameters();
    QCOMPARE(rig.page.views()->currentIndex(), 1);
    QCOMPARE(p->choice(ViewParameters::UnitIdentifierChoice), 2);
    QCOMPARE(p->choice(ViewParameters::ReaderIdentifierChoice), 1);
    QCOMPARE(p->choice(ViewParameters::TreeView), 0);
    QVERIFY(p->group(ViewParameters::TreeView)->isEnabled());
    QCOMPARE(rig.page.tabs()->tabText(MonitorPage::ViewParametersTab), QStringLiteral("View Parameters  "));
    QCOMPARE(rig.page.tabs()->tabText(MonitorPage::ForceReadTab), QStringLiteral("Force Read  "));

    // SCROLL: its view in front, the identifiers and the tree choice greyed out, the choice kept.
    p->buttons(ViewParameters::DisplayView)->button(2)->click();
    QCOMPARE(rig.page.views()->currentWidget(), rig.page.scrollGrid());
    QVERIFY(!p->group(ViewParameters::UnitIdentifierChoice)->isEnabled());
    QVERIFY(!p->group(ViewParameters::ReaderIdentifierChoice)->isEnabled());
    QVERIFY(!p->group(ViewParameters::TreeView)->isEnabled());
    QCOMPARE(rig.settings.monType, 2);
    QCOMPARE(rig.stored("MonType"), QStringLiteral("2"));

    p->buttons(ViewParameters::DisplayView)->button(0)->click();
    p->buttons(ViewParameters::UnitIdentifierChoice)->button(1)->click();
    p->buttons(ViewParameters::ReaderIdentifierChoice)->button(0)->click();
    QCOMPARE(rig.page.views()->currentWidget(), rig.page.listView());
    QCOMPARE(rig.stored("MonTitle"), QStringLiteral("1"));
    QCOMPARE(rig.stored("MonID"), QStringLiteral("0"));

    // A stored tag out of range starts from the first button.
    Settings odd;
    odd.monType = 7;
    odd.monTitle = -1;
    PageRig other(odd);
    QCOMPARE(other.page.views()->currentIndex(), 0);
    QCOMPARE(other.page.viewParameters()->choice(ViewParameters::UnitIdentifierChoice), 0);
}

void TestMonitorPage::headerClicksChangeOnlyNewRows()
{
    PageRig rig;
    udppack u = tableUnit(2, {5, 0, 1});
    u.desc = QStringLiteral("Dock");
    MonitorScrollGrid *grid = rig.page.scrollGrid();
    QAbstractItemModel *model = grid->model();
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Rdr"));
    QCOMPARE(grid->headerHint(1), QStringLiteral("Click to show Reader Index"));
    QCOMPARE(grid->headerHint(6), QStringLiteral("Click to show Reader Description"));
    QCOMPARE(grid->headerHint(3), QString());

    const ReplySource from;
    rig.session.receive(u, from, record(DataPackKind::Label, 1, {5}));
    grid->headerClicked(1);
    grid->headerClicked(6);
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Rdr i"));
    QCOMPARE(model->headerData(6, Qt::Horizontal).toString(), QStringLiteral("Description"));
    QCOMPARE(grid->headerHint(1), QStringLiteral("Click to show Reader Address"));
    QCOMPARE(grid->headerHint(6), QStringLiteral("Click to show MAC addresses"));
    rig.session.receive(u, from, record(DataPackKind::Label, 1, {6}));
    grid->scrollModel().sync();
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("101"));
    QCOMPARE(model->index(0, 6).data().toString(), u.mac);
    QCOMPARE(model->index(1, 1).data().toString(), QStringLiteral("1"));
    QCOMPARE(model->index(1, 6).data().toString(), QStringLiteral("Dock"));

    // A double click fits the column to its widest text.
    grid->horizontalHeader()->resizeSection(6, 5);
    grid->fitColumn(6);
    QVERIFY(grid->horizontalHeader()->sectionSize(6) > grid->fontMetrics().horizontalAdvance(u.mac));
}

void TestMonitorPage::scrollViewFollowsTheCap()
{
    PageRig rig;
    udppack u = tableUnit(1, {5, 0, 1});
    const ReplySource from;
    const QByteArray label = record(DataPackKind::Label, 0, {1});
    MonitorScrollModel &model = rig.page.scrollGrid()->scrollModel();
    // Some rows reach the view, then many more than the cap arrive within one batch.
    for (int i = 0; i < 10; ++i)
        rig.session.receive(u, from, label);
    model.sync();
    QCOMPARE(model.rowCount(), 10);
    const int more = int(MonitorSession::rowCap) + 15;
    for (int i = 0; i < more; ++i)
        rig.session.receive(u, from, label);
    QCOMPARE(model.index(0, 0).data().toString(), QString()); // dropped, not yet removed: blank, no stale row
    model.sync();
    QCOMPARE(model.rowCount(), int(MonitorSession::rowCap));
    QCOMPARE(model.index(0, 0).data().toString(), QString::number(10 + more - int(MonitorSession::rowCap) + 1));
    QCOMPARE(model.index(model.rowCount() - 1, 0).data().toString(), QString::number(10 + more));
    QCOMPARE(rig.op.logs.filter(QStringLiteral("older ones are dropped")).size(), 1);
}

void TestMonitorPage::readerCountsFromTheWireIndexNothing_data()
{
    QTest::addColumn<int>("readers");
    QTest::addColumn<int>("rows");
    QTest::newRow("none") << 0 << 1;
    QTest::newRow("twelve") << 12 << 8;
    QTest::newRow("255") << 255 << 8;
}

void TestMonitorPage::readerCountsFromTheWireIndexNothing()
{
    QFETCH(int, readers);
    QFETCH(int, rows);
    PageRig rig;
    sim::SimUnit listed = monitorUnit(5, 1, net);
    QVERIFY(rig.start({}, {listed}));
    udppack &unit = rig.unit(QStringLiteral("127.0.18.7"));
    unit.ver.vrcnt = static_cast<std::uint8_t>(readers);
    rig.services.units().rebuildLists(false);
    rig.session.resetLastValues();
    Q_EMIT rig.session.monitorStarted();
    QCOMPARE(rig.page.listView()->topLevelItemCount(), rows);
    QCOMPARE(rig.page.treeView()->topLevelItem(0)->childCount(), rows);
    QVERIFY(!rig.page.listView()->topLevelItem(0)->text(0).isEmpty());
    const ReplySource from;
    for (int r : {0, 7, 8, 11, 255})
        rig.session.receive(unit, from, record(DataPackKind::Label, r, {9}));
    rig.page.refreshViews();
    QCOMPARE(rig.page.listView()->topLevelItem(0)->text(2), QStringLiteral("00009    03/07/2021  14:05:09"));
    auto *details = new ReaderDetails(rig.session, rig.services.units(), unit.link);
    QCOMPARE(details->readers()->topLevelItemCount(), rows);
    delete details;
}

void TestMonitorPage::readerDetailsTakesTheRecords()
{
    PageRig rig;
    sim::SimUnit listed = monitorUnit(6, 2, net);
    listed.description = QStringLiteral("Press 2");
    QVERIFY(rig.start({}, {listed}));
    udppack &unit = rig.unit(QStringLiteral("127.0.18.8"));
    unit.caddr = 16;
    unit.model = 1;
    unit.flash_mfg = 0x1f;
    unit.flash_typ = 0x4a;
    unit.dt = dtpack{5, 4, 3, 9, 1, 12, 26, 20};
    unit.Monitor = true;
    rig.services.units().rebuildLists(false);
    rig.session.resetLastValues();
    Q_EMIT rig.session.monitorStarted();

    // A click on the unit's first row opens it; a click on another reader's row does not.
    MonitorUnitView *list = rig.page.listView();
    rig.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.page));
    const auto clickRow = [&](int row) {
        const QRect r = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    };
    clickRow(1);
    QVERIFY(!rig.page.details());
    clickRow(0);
    ReaderDetails *details = rig.page.details();
    QVERIFY(details);
    QCOMPARE(details->windowTitle(), QStringLiteral("Reader Details"));
    QCOMPARE(details->infoText(QStringLiteral("Description")), QStringLiteral("Press 2"));
    QCOMPARE(details->infoText(QStringLiteral("Version")), unit.vnumber + QStringLiteral("e"));
    QCOMPARE(details->infoText(QStringLiteral("Date/Time")), QStringLiteral("03:04:05  09-DEC-2026"));
    QCOMPARE(details->infoText(QStringLiteral("Flash ID")), QStringLiteral("0x1F,0x4A"));
    QCOMPARE(details->readers()->topLevelItem(1)->text(0), QStringLiteral("      17"));
    QCOMPARE(details->timer().interval(), 3000);
    QVERIFY(details->timer().isActive());

    // While it shows, records change the values only: no row.
    const ReplySource from;
    rig.session.receive(unit, from, record(DataPackKind::Label, 1, {0x39, 0x30}));
    QCOMPARE(rig.session.rows().size(), std::size_t(0));
    QCOMPARE(unit.LastRead[1], QStringLiteral("12345"));
    details->refresh();
    QCOMPARE(details->readers()->topLevelItem(1)->text(1), QStringLiteral("12345"));
    QCOMPARE(details->readers()->topLevelItem(0)->text(1), QStringLiteral("***"));

    details->close();
    QVERIFY(!rig.session.detailsShowing());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!rig.page.details());
    rig.session.receive(unit, from, record(DataPackKind::Label, 1, {1}));
    QCOMPARE(rig.session.rows().size(), std::size_t(1));

    // The tree opens it from the unit's node, not from the expand strip or deeper nodes.
    QTreeWidget *tree = rig.page.treeView();
    rig.page.views()->setCurrentWidget(tree);
    QTest::qWait(1);
    const QRect root = tree->visualItemRect(tree->topLevelItem(0));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(5, root.center().y()));
    QVERIFY(!rig.page.details());
    const QRect reader = tree->visualItemRect(tree->topLevelItem(0)->child(0));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, reader.center());
    QVERIFY(!rig.page.details());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(root.left() + 40, root.center().y()));
    QVERIFY(rig.page.details());
    rig.page.details()->close();
    QVERIFY(!rig.session.detailsShowing());

    QCOMPARE(ReaderDetails::heightFor(1), 204);
    QCOMPARE(ReaderDetails::heightFor(2), 224);
    QCOMPARE(ReaderDetails::heightFor(4), 264);
    QCOMPARE(ReaderDetails::heightFor(8), 338);
}

void TestMonitorPage::photoEyeLampsFromTheChosenUnit()
{
    PageRig rig;
    sim::SimUnit two = monitorUnit(0, 2, net);
    two.monitor.photoEyes = QByteArray::fromHex("0502");
    two.monitor.intervalMs = 1000;
    QVERIFY(rig.start({two}));
    QCOMPARE(rig.session.monitorOn(), 1);
    rig.page.tabs()->setCurrentIndex(MonitorPage::PhotoEyesTab);
    PhotoEyesPanel *eyes = rig.page.photoEyesPanel();
    QCOMPARE(eyes->unitChoice()->currentText(), QStringLiteral("127.0.18.2"));
    QCOMPARE(rig.page.forceReadPanel()->unitChoice()->currentText(), QStringLiteral("127.0.18.2"));
    QVERIFY(eyes->readButton()->isEnabled());
    QVERIFY(eyes->continuousButton()->isEnabled());

    // Once: the reply lights A and C of reader 0 and B of reader 1, then the button comes up.
    eyes->readButton()->click();
    QVERIFY(wait::until([&] { return !eyes->readButton()->isChecked(); }, 3000));
    QVERIFY(eyes->lit(0, 0));
    QVERIFY(!eyes->lit(0, 1));
    QVERIFY(eyes->lit(0, 2));
    QVERIFY(eyes->lit(1, 1));
    QVERIFY(!eyes->lit(1, 0));
    QCOMPARE(eyes->lampImage(0).pixelColor(8, 8), QColor(0, 220, 0));
    QCOMPARE(eyes->lampImage(0).pixelColor(24 + 8, 8), QColor(60, 60, 60));
    QCOMPARE(rig.monitorOf(0)->photoEyeReplies(), 1);

    // Continuously until "C" comes up: the lamps go off and the button with it.
    eyes->continuousButton()->click();
    eyes->readButton()->click();
    QVERIFY(wait::until([&] { return rig.monitorOf(0)->photoEyeReplies() >= 3; }, 3000));
    QVERIFY(eyes->readButton()->isChecked());
    QVERIFY(wait::until([&] { return eyes->lit(1, 1); }, 2000));
    // A reader whose view is switched off stays dark.
    eyes->enableBox(1)->click();
    QVERIFY(!eyes->lit(1, 1));
    wait::delay(250);
    QVERIFY(!eyes->lit(1, 1));
    QVERIFY(eyes->lit(0, 0));
    eyes->continuousButton()->click();
    QVERIFY(!eyes->readButton()->isChecked());
    QVERIFY(!eyes->lit(0, 0));
    const int replies = rig.monitorOf(0)->photoEyeReplies();
    wait::delay(300);
    QVERIFY(rig.monitorOf(0)->photoEyeReplies() <= replies + 1); // at most one already on its way

    // Leaving the tab with "Read PEs" down releases it.
    eyes->readButton()->click();
    QVERIFY(wait::until([&] { return !eyes->readButton()->isChecked(); }, 3000)); // a single read again
    eyes->continuousButton()->click();
    eyes->readButton()->click();
    QVERIFY(eyes->readButton()->isChecked());
    rig.page.tabs()->setCurrentIndex(MonitorPage::ViewParametersTab);
    QVERIFY(!eyes->readButton()->isChecked());
    rig.session.monitorOff(Page::Discover);
}

void TestMonitorPage::photoEyePanelsFollowTheReaderCount_data()
{
    QTest::addColumn<int>("readers");
    QTest::addColumn<int>("panels");
    QTest::addColumn<bool>("firstBox");
    QTest::newRow("one") << 1 << 1 << false;
    QTest::newRow("two") << 2 << 2 << true;
    QTest::newRow("four") << 4 << 4 << true;
    QTest::newRow("eight") << 8 << 8 << true;
    QTest::newRow("twelve") << 12 << 8 << true;
}

void TestMonitorPage::photoEyePanelsFollowTheReaderCount()
{
    QFETCH(int, readers);
    QFETCH(int, panels);
    QFETCH(bool, firstBox);
    PageRig rig;
    QVERIFY(rig.start({}, {monitorUnit(9, 1, net)}));
    rig.unit(QStringLiteral("127.0.18.11")).ver.vrcnt = static_cast<std::uint8_t>(readers);
    rig.services.units().rebuildLists(false);
    rig.session.monitorOn(); // no unit answers: the choice is filled all the same
    rig.op.messages.clear();
    PhotoEyesPanel *eyes = rig.page.photoEyesPanel();
    QCOMPARE(eyes->unitChoice()->currentText(), QStringLiteral("127.0.18.11"));
    rig.page.tabs()->setCurrentIndex(MonitorPage::PhotoEyesTab);
    int visible = 0;
    for (int r = 0; r < PhotoEyesPanel::readerPanels; ++r)
        visible += eyes->readerPanel(r)->isVisibleTo(eyes) || (r >= 4 && readers > 4) ? 1 : 0;
    QCOMPARE(visible, panels);
    QCOMPARE(eyes->enableBox(0)->isEnabled(), firstBox);
    QCOMPARE(eyes->firstReadersButton()->isVisibleTo(eyes), readers > 4);
    // Not connected: nothing to read from.
    QVERIFY(!eyes->readButton()->isEnabled());
    QVERIFY(!eyes->continuousButton()->isEnabled());
}

void TestMonitorPage::forceReadFromThePanel()
{
    PageRig rig;
    sim::SimUnit unit = monitorUnit(1, 4, net);
    unit.monitor.intervalMs = 1000;
    QVERIFY(rig.start({unit}));
    QCOMPARE(rig.session.monitorOn(), 1);
    ForceReadPanel *panel = rig.page.forceReadPanel();
    QCOMPARE(panel->forceButton()->text(), QStringLiteral("Force Read"));
    QVERIFY(!panel->forceButton()->isEnabled()); // label 0
    QVERIFY(!panel->testToggle()->isEnabled());
    QTest::mouseDClick(panel->labelField()->findChild<QLineEdit *>(), Qt::LeftButton);
    QCOMPARE(panel->labelField()->value(), 1);
    QVERIFY(panel->forceButton()->isEnabled());

    panel->readerField()->setValue(2);
    panel->labelField()->setValue(300);
    rig.op.answers = {Answer::Yes};
    panel->forceButton()->click();
    QVERIFY(rig.op.logged(QStringLiteral("Label 300 has been forced")));
    QVERIFY(rig.fleet.server(0).tcp().received().contains(QByteArray("f\x02\x2c\x01", 4)));
    QCOMPARE(rig.op.questions.value(0), QStringLiteral("Are you sure you want to force label 300 on Vork Unit 127.0.18.3"));

    // Test mode: the caption follows the toggle.
    panel->testToggle()->click();
    QCOMPARE(panel->forceButton()->text(), QStringLiteral("Start Test"));
    panel->testToggle()->click();
    QCOMPARE(panel->forceButton()->text(), QStringLiteral("Force Read"));
    rig.session.monitorOff(Page::Discover);
}

void TestMonitorPage::runningTestKeepsThePage()
{
    PageRig rig;
    sim::SimUnit unit = monitorUnit(2, 1, net);
    unit.monitor.intervalMs = 1000;
    QVERIFY(rig.start({unit}));
    QCOMPARE(rig.session.monitorOn(), 1);
    ForceReadPanel *panel = rig.page.forceReadPanel();
    panel->labelField()->setValue(16383);
    panel->delayField()->setValue(30);
    panel->testToggle()->click();
    QCOMPARE(panel->forceButton()->text(), QStringLiteral("Start Test"));
    // The last label ends the test at once.
    panel->forceButton()->click();
    QVERIFY(rig.op.logged(QStringLiteral("Label 16383 has been forced")));
    QVERIFY(rig.op.logged(QStringLiteral("Force Test Complete")));
    QCOMPARE(panel->forceButton()->text(), QStringLiteral("Force Read"));

    // A test that goes on holds the page, with the force-read tab brought forward.
    panel->infiniteLoop()->click();
    panel->labelField()->setValue(100);
    panel->testToggle()->click();
    panel->forceButton()->click();
    QVERIFY(rig.controller.forceRead().testRunning());
    QCOMPARE(panel->forceButton()->text(), QStringLiteral("Stop Test"));
    QCOMPARE(panel->labelField()->value(), 101);
    rig.page.tabs()->setCurrentIndex(MonitorPage::ViewParametersTab);
    rig.op.messages.clear();
    QVERIFY(!rig.controller.allowsChange(Page::Monitor, Page::Discover));
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning),
             QStringList{QStringLiteral("Force read test in progress. You must stop the test before leaving this screen")});
    QCOMPARE(rig.page.tabs()->currentIndex(), int(MonitorPage::ForceReadTab));
    QVERIFY(rig.controller.allowsChange(Page::Discover, Page::Setup));
    panel->forceButton()->click(); // "Stop Test"
    QVERIFY(!rig.controller.forceRead().testRunning());
    QVERIFY(rig.controller.allowsChange(Page::Monitor, Page::Discover));
    rig.session.monitorOff(Page::Discover);
}

QTEST_MAIN(TestMonitorPage)
#include "tst_monitorpage.moc"
