// The HISTORY page's widgets against a simulated unit on loopback: Retrieve
// fills the grid with the records' texts, Next and Prev page, ABORT stops,
// the count field refuses more than the buffer, the filter and the search
// over retrieved records, and a page change during a retrieval.
#include "connection/connectionmanager.h"
#include "core/boundedwait.h"
#include "core/pinger.h"
#include "core/settings.h"
#include "history/historypage.h"
#include "history/historyretrieval.h"
#include "history/ui/historyfilterdialog.h"
#include "history/ui/historygrid.h"
#include "history/ui/historygridmodel.h"
#include "history/ui/historyheaderbar.h"
#include "history/ui/historypage.h"
#include "history/ui/historysearchwindow.h"
#include "recordingoperator.h"
#include "services/pagerules.h"
#include "services/unitservices.h"
#include "simcommandserver.h"
#include "simfleet.h"
#include "unit/unittable.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

using namespace vork;

namespace {

QStringList texts(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *t : list)
        out << QString::fromUtf8(t);
    return out;
}

const QString unitIp = QStringLiteral("127.0.66.2");

class Reachable : public Pinger
{
public:
    bool ping(const QString &, int, bool) override { return true; }
};

sim::SimUnit historyUnit(int records, int readers = 1)
{
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(unitIp));
    u.version = {3, 0, 0}; // no login, Next with 0x10
    u.model = 0;
    u.readers = static_cast<std::uint8_t>(readers);
    u.history.records = records;
    return u;
}

struct PageRig
{
    explicit PageRig(bool refreshButton = true)
        : services(op), controller(services), rules(services),
          file(op, dir.filePath(QStringLiteral("Vork.ini"))),
          page(services, controller, settings, file)
    {
        settings.useRefreshBtn = refreshButton; // read when a box changes
        services.setPinger(std::make_unique<Reachable>());
        rules.add(controller);
        r().setSilenceBoundMs(3000);
        page.resize(900, 500);
    }
    bool start(const sim::SimUnit &u)
    {
        fleet.add(u);
        QString error;
        if (!fleet.start({}, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        UnitTable &units = services.units();
        const int i = units.enterAnnouncement(u.record(QDateTime::currentDateTime(), 0), u.address.toString());
        units.setCurrent(&units.unit(i));
        if (!services.connections().Connect_or_timeout(3000))
            return false;
        rules.changed(Page::Discover, Page::History);
        page.show();
        if (!QTest::qWaitForWindowExposed(&page))
            return false;
        return op.logged(QStringLiteral("History on"));
    }
    HistoryRetrieval &r() { return controller.retrieval(); }
    sim::SimCommandServer &tcp() { return fleet.server(0).tcp(); }
    bool waitEnd(int ms = 10000) { return wait::until([&] { return !r().running(); }, ms); }
    void typeCount(const QString &text)
    {
        page.countField()->selectAll();
        QTest::keyClick(page.countField(), Qt::Key_Delete);
        QTest::keyClicks(page.countField(), text);
    }
    // Retrieve by the button and wait for the end.
    bool retrieve(int count)
    {
        typeCount(QString::number(count));
        QTest::mouseClick(page.retrieveButton(), Qt::LeftButton);
        return waitEnd();
    }
    QList<QByteArray> requests()
    {
        QList<QByteArray> out;
        for (const auto &c : tcp().commands())
            if (c.mode == sim::SimCommandServer::Mode::History && c.data.size() >= 4)
                out << c.data;
        return out;
    }
    QStringList row(int r)
    {
        QStringList out;
        for (int c = 0; c < historyColumnCount; ++c)
            out << page.model().index(r, c).data().toString();
        return out;
    }
    QStringList column(int c, int rows)
    {
        QStringList out;
        for (int r = 0; r < rows && r < page.model().rowCount(); ++r)
            out << page.model().index(r, c).data().toString();
        return out;
    }

    RecordingOperator op;
    UnitServices services;
    HistoryPageController controller;
    PageRules rules;
    QTemporaryDir dir;
    Settings settings;
    SettingsFile file;
    HistoryPage page;
    sim::SimFleet fleet;
};

constexpr int value = int(HistoryColumn::Value);
constexpr int type = int(HistoryColumn::Type);

} // namespace

class TestHistoryPage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void retrieveFillsTheGrid();
    void nextAndPrev();
    void abortByTheButton();
    void countFieldRefusesPastTheBuffer_data();
    void countFieldRefusesPastTheBuffer();
    void countFollowsTheWindowOnly();
    void filterOverRetrievedRecords_data();
    void filterOverRetrievedRecords();
    void refreshButtonHoldsTheGrid();
    void clearKeepsTheMasterBuffer();
    void filterWindowStartDate();
    void searchIntoTheGrid_data();
    void searchIntoTheGrid();
    void searchOneAtATime();
    void searchRefusesEmptyTextAndGrid();
    void pageChangeDuringRetrievalReturns();
    void keyboardReachesEveryControl();
};

void TestHistoryPage::retrieveFillsTheGrid()
{
    PageRig rig;
    QVERIFY(rig.start(historyUnit(100)));
    // Opening the page: the reader choice of a one-reader unit, the header from the unit.
    QCOMPARE(rig.page.readerChoice()->count(), 1);
    QCOMPARE(rig.page.readerChoice()->currentText(), QStringLiteral("ALL"));
    const udppack &unit = *rig.services.units().current();
    QCOMPARE(rig.page.headerBar()->panelText(0), QStringLiteral(" SVRKX   ") + unit.vnumber);
    QCOMPARE(rig.page.headerBar()->panelText(1), QStringLiteral(" ") + unit.mac);
    QCOMPARE(rig.page.headerBar()->panelText(2), QStringLiteral(" ") + unitIp);
    QCOMPARE(rig.page.headerBar()->panelText(3), QStringLiteral(" ") + unit.desc);
    // A unit before 5.0.3 keeps no boot records: its box starts unticked.
    QVERIFY(!rig.page.kindBox(16)->isChecked());
    QVERIFY(rig.page.kindBox(2)->isChecked());

    rig.typeCount(QStringLiteral("12"));
    QTest::mouseClick(rig.page.retrieveButton(), Qt::LeftButton);
    QCOMPARE(rig.page.retrieveButton()->text(), QStringLiteral("ABORT"));
    QVERIFY(!rig.page.filterPanel()->isEnabled());
    QVERIFY(rig.waitEnd());
    QCOMPARE(rig.page.retrieveButton()->text(), QStringLiteral("Retrieve"));
    QVERIFY(rig.page.filterPanel()->isEnabled());
    QCOMPARE(rig.requests(), QList<QByteArray>{QByteArray::fromHex("8f0c0008")});
    QCOMPARE(rig.page.model().rowCount(), 12);
    // Newest first; the store's index 99 is a boot record, which a first request leaves out.
    QCOMPARE(rig.row(0), (texts({"1", "System", "Alarm", "History Write Error - Not Erased", "01:38:38 AM",
                                      "03/01/2021", "20 01 00 00 00 00 00 00 00 00"})));
    QCOMPARE(rig.row(1), (texts({"2", "1", "Diagnostic", "A-11  B-04 C+03 X+10 Y-14", "01:37:37 AM", "03/01/2021",
                                      "f5 fc 03 0a f2 00 00 00 00 00"})));
    QCOMPARE(rig.row(2), (texts({"3", "1", "Label", "96", "01:36:36 AM", "03/01/2021",
                                      "60 00 00 00 00 00 00 00 00 00"})));
    QCOMPARE(rig.row(3), (texts({"4", "1", "Error", "95  Photoeyes A&C Diagnostic insufficient transitions",
                                      "01:35:35 AM", "03/01/2021", "5f 00 00 00 00 00 00 00 00 00"})));
    QCOMPARE(rig.row(11).at(3), QStringLiteral("85"));
    QCOMPARE(rig.page.fetchedField()->text(), QStringLiteral("12"));
    QCOMPARE(rig.page.headerBar()->panelText(4), QStringLiteral(" 12"));
    QCOMPARE(rig.page.progressBar()->value(), 0);
    QVERIFY(rig.page.clearButton()->isEnabled());
    // A header click shows readers by index; the reader header says so.
    rig.page.grid()->headerClicked(int(HistoryColumn::Reader));
    QCOMPARE(rig.page.model().headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Rdr i"));
    QCOMPARE(rig.row(2).at(1), QStringLiteral("0"));
    QCOMPARE(rig.page.grid()->headerHint(1), QStringLiteral("Click to show Reader Address"));
}

void TestHistoryPage::nextAndPrev()
{
    PageRig rig;
    QVERIFY(rig.start(historyUnit(300)));
    QVERIFY(rig.retrieve(40));
    QCOMPARE(rig.page.model().rowCount(), 40);
    HistoryGrid *grid = rig.page.grid();
    const int visible = grid->visibleRows();
    QVERIFY2(visible > 3 && visible + 1 < 40, qPrintable(QString::number(visible)));
    QCOMPARE(grid->topRow(), 1);
    QVERIFY(!rig.page.prevButton()->isEnabled());

    // More rows below: Next scrolls a page and sends nothing.
    QTest::mouseClick(rig.page.nextButton(), Qt::LeftButton);
    QCOMPARE(rig.requests().size(), 1);
    QCOMPARE(rig.r().topRow(), visible + 2);
    QCOMPARE(grid->topRow(), visible + 2);
    QVERIFY(rig.page.prevButton()->isEnabled());
    QTest::mouseClick(rig.page.prevButton(), Qt::LeftButton);
    QCOMPARE(grid->topRow(), 2);
    QTest::mouseClick(rig.page.prevButton(), Qt::LeftButton);
    QCOMPARE(grid->topRow(), 1);
    QVERIFY(!rig.page.prevButton()->isEnabled());

    // At the last page Next asks the unit for the next records.
    for (int i = 0; i < 10 && rig.requests().size() < 2; ++i) {
        QTest::mouseClick(rig.page.nextButton(), Qt::LeftButton);
        QVERIFY(rig.waitEnd());
    }
    QCOMPARE(rig.requests().size(), 2);
    QCOMPARE(rig.requests().at(1), QByteArray::fromHex("9f280008"));
    QCOMPARE(rig.page.model().rowCount(), 80);
    QCOMPARE(rig.row(40).at(0), QStringLiteral("41"));
    // Row 41 continues the store below the first forty (index 250): 248 is an alarm, code 50.
    QCOMPARE(rig.row(39).mid(2, 2), (texts({"Error", "50"})));
    QCOMPARE(rig.row(40).mid(2, 2), (texts({"Alarm", "EIP Warning: PROG->RUN"})));
    // The last rows are in sight.
    QCOMPARE(rig.r().topRow(), 80 - visible + 1);
    QVERIFY(grid->topRow() >= 80 - visible);
    QVERIFY(grid->viewport()->rect().contains(grid->visualRect(rig.page.model().index(79, 0))));
    QCOMPARE(rig.page.fetchedField()->text(), QStringLiteral("80"));
}

void TestHistoryPage::abortByTheButton()
{
    PageRig rig;
    QVERIFY(rig.start(historyUnit(30000)));
    rig.r().setMultiRecord(false);
    rig.typeCount(QStringLiteral("30000"));
    QTest::mouseClick(rig.page.retrieveButton(), Qt::LeftButton);
    QVERIFY(wait::until([&] { return rig.r().viewCount() > 200; }, 5000));
    QCOMPARE(rig.page.retrieveButton()->text(), QStringLiteral("ABORT"));
    QTest::mouseClick(rig.page.retrieveButton(), Qt::LeftButton);
    QVERIFY(rig.op.logged(QStringLiteral("History Command Aborted by User")));
    QVERIFY(rig.waitEnd(5000));
    QCOMPARE(rig.r().lastEnd(), HistoryRetrieval::End::Aborted);
    QCOMPARE(rig.page.retrieveButton()->text(), QStringLiteral("Retrieve"));
    QVERIFY(rig.page.filterPanel()->isEnabled());
    const int n = rig.r().viewCount();
    QVERIFY(n < 30000);
    QCOMPARE(rig.page.model().rowCount(), n);
    QCOMPARE(rig.page.fetchedField()->text(), QString::number(n));
    QCOMPARE(rig.page.headerBar()->panelText(4), QStringLiteral(" ") + QString::number(n));
    QCOMPARE(rig.row(n - 1).at(0), QString::number(n));
    QCOMPARE(rig.page.progressBar()->value(), 0);
}

void TestHistoryPage::countFollowsTheWindowOnly()
{
    PageRig rig;
    QVERIFY(rig.start(historyUnit(50)));
    QCoreApplication::processEvents();
    rig.typeCount(QStringLiteral("40"));
    // The grid changing its own height (a scroll bar, a panel) leaves a typed count alone.
    HistoryGrid *grid = rig.page.grid();
    grid->setMinimumHeight(grid->height() - 60);
    grid->resize(grid->width(), grid->height() - 60);
    QCoreApplication::processEvents();
    QCOMPARE(rig.page.countField()->text(), QStringLiteral("40"));
    // Resizing the window makes it the rows that fit.
    rig.page.resize(rig.page.width(), rig.page.height() + 120);
    QVERIFY(wait::until([&] { return rig.page.countField()->text() != QStringLiteral("40"); }, 2000));
    const int fit = rig.page.countField()->text().toInt();
    QVERIFY2(fit > 1 && fit < 100, qPrintable(rig.page.countField()->text()));
}

void TestHistoryPage::countFieldRefusesPastTheBuffer_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("wanted");
    QTest::addColumn<bool>("refused"); // marked, and a Retrieve warns and sends nothing
    QTest::newRow("the buffer's size") << QStringLiteral("32768") << QStringLiteral("32768") << 32768 << false;
    // Too many stays in the field as typed, marked, and is refused: no digit goes unseen.
    QTest::newRow("one more") << QStringLiteral("32769") << QStringLiteral("32769") << 3276 << true;
    QTest::newRow("forty thousand") << QStringLiteral("40000") << QStringLiteral("40000") << 4000 << true;
    QTest::newRow("five nines") << QStringLiteral("99999") << QStringLiteral("99999") << 9999 << true;
    QTest::newRow("six digits") << QStringLiteral("123456") << QStringLiteral("12345") << 12345 << false;
    QTest::newRow("letters") << QStringLiteral("1a2b") << QStringLiteral("12") << 12 << false;
    QTest::newRow("zero") << QStringLiteral("0") << QStringLiteral("0") << 17 << true;
}

void TestHistoryPage::countFieldRefusesPastTheBuffer()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, wanted);
    QFETCH(bool, refused);
    PageRig rig;
    rig.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.page));
    QVERIFY(rig.r().setWanted(17));
    rig.typeCount(typed);
    QCOMPARE(rig.page.countField()->text(), shown);
    QCOMPARE(rig.r().wanted(), wanted);
    QCOMPARE(rig.page.countField()->toolTip() == HistoryPage::countRefusedText(), refused);
    QCOMPARE(rig.page.countField()->styleSheet().isEmpty(), !refused);
    if (refused) {
        QTest::mouseClick(rig.page.retrieveButton(), Qt::LeftButton);
        QCOMPARE(rig.op.messageTexts(MessageKind::Warning), QStringList{HistoryPage::countRefusedText()});
        QVERIFY(!rig.r().running());
        QVERIFY(rig.op.logs.filter(QStringLiteral("History Command Reader")).isEmpty());
    }
}

void TestHistoryPage::filterOverRetrievedRecords_data()
{
    QTest::addColumn<int>("untick");   // kind bits whose boxes are unticked
    QTest::addColumn<int>("reader");   // index in "0", "1", "ALL"
    QTest::addColumn<bool>("alarmsAll");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QStringList>("types");  // of the first rows
    QTest::addColumn<QStringList>("values"); // of the first rows
    const QString diag197 = QStringLiteral("A-04  B+03 C+10 X-14 Y-07");
    const QString error95 = QStringLiteral("95  Photoeyes A&C Diagnostic insufficient transitions");
    QTest::newRow("no labels") << 2 << 2 << true << 30 << texts({"Alarm", "Diagnostic", "Error", "Alarm"})
                               << QStringList{QStringLiteral("Startup"), diag197, error95, QStringLiteral("Ethernet IP I/O Session Started")};
    QTest::newRow("reader 1 with alarms") << 0 << 1 << true << 25
                                          << texts({"Alarm", "Diagnostic", "Label", "Error", "Alarm", "Alarm"})
                                          << QStringList{QStringLiteral("Startup"), diag197, QStringLiteral("196"), error95,
                                                         QStringLiteral("Ethernet IP I/O Session Started"), QStringLiteral("EIP Comms Down")};
    QTest::newRow("reader 1 without alarms") << 0 << 1 << false << 15
                                             << texts({"Diagnostic", "Label", "Error", "Diagnostic"})
                                             << QStringList{diag197, QStringLiteral("196"), error95, QStringLiteral("A-14  B-07 C+00 X+07 Y+14")};
    QTest::newRow("errors of reader 0") << (2 | 4 | 8) << 0 << true << 5
                                        << texts({"Error", "Error", "Error", "Error", "Error"})
                                        << texts({"90", "80", "70", "60", "50"});
    QTest::newRow("nothing ticked") << 31 << 2 << true << 0 << QStringList{} << QStringList{};
}

void TestHistoryPage::filterOverRetrievedRecords()
{
    QFETCH(int, untick);
    QFETCH(int, reader);
    QFETCH(bool, alarmsAll);
    QFETCH(int, rows);
    QFETCH(QStringList, types);
    QFETCH(QStringList, values);
    PageRig rig(false); // the boxes refresh the grid at once
    rig.settings.alarmAllRdrs = alarmsAll;
    QVERIFY(rig.start(historyUnit(200, 2)));
    QCOMPARE(rig.page.readerChoice()->count(), 3);
    QVERIFY(rig.retrieve(40));
    QCOMPARE(rig.page.model().rowCount(), 40);
    for (int bit = 1; bit <= 16; bit <<= 1)
        if ((untick & bit) && rig.page.kindBox(bit)->isChecked())
            QTest::mouseClick(rig.page.kindBox(bit), Qt::LeftButton);
    rig.page.readerChoice()->setCurrentIndex(reader);
    QCOMPARE(rig.page.model().rowCount(), rows);
    QCOMPARE(rig.r().viewCount(), rows);
    QCOMPARE(rig.r().masterCount(), 40);
    QCOMPARE(rig.column(type, int(types.size())), types);
    QCOMPARE(rig.column(value, int(values.size())), values);
    QCOMPARE(rig.page.headerBar()->panelText(4), QStringLiteral(" ") + QString::number(rows));
    if (rows == 0)
        QCOMPARE(rig.op.messageTexts().last(), HistoryPage::noMatchText());
    else
        QVERIFY(rig.op.messageTexts().isEmpty());
}

void TestHistoryPage::refreshButtonHoldsTheGrid()
{
    PageRig rig(true);
    QVERIFY(rig.start(historyUnit(200, 2)));
    QVERIFY(rig.retrieve(40));
    QTest::mouseClick(rig.page.kindBox(2), Qt::LeftButton);
    QVERIFY(!rig.page.kindBox(2)->isChecked());
    QCOMPARE(rig.page.model().rowCount(), 40); // only "Refresh" applies it
    QTest::mouseClick(rig.page.refreshButton(), Qt::LeftButton);
    QCOMPARE(rig.page.model().rowCount(), 30);
    QVERIFY(!rig.column(type, 30).contains(QStringLiteral("Label")));
}

void TestHistoryPage::clearKeepsTheMasterBuffer()
{
    PageRig rig;
    QVERIFY(rig.start(historyUnit(200)));
    QVERIFY(rig.retrieve(20));
    QTest::mouseClick(rig.page.clearButton(), Qt::LeftButton);
    QCOMPARE(rig.page.model().rowCount(), 0);
    QCOMPARE(rig.r().masterCount(), 20);
    QVERIFY(!rig.page.clearButton()->isEnabled());
    QCOMPARE(rig.page.headerBar()->panelText(4), QStringLiteral(" 0"));
    QTest::mouseClick(rig.page.refreshButton(), Qt::LeftButton);
    QCOMPARE(rig.page.model().rowCount(), 20);
    // "Clear Grid" also clears the header and the manual unit record.
    rig.services.units().mansvrk().desc = QStringLiteral("imported");
    rig.page.clearGridAndHeader();
    QCOMPARE(rig.page.model().rowCount(), 0);
    QCOMPARE(rig.page.headerBar()->panelText(1), QString());
    QCOMPARE(rig.page.headerBar()->panelText(3), QString());
    QCOMPARE(rig.services.units().mansvrk().desc, QString());
}

void TestHistoryPage::filterWindowStartDate()
{
    PageRig rig;
    QVERIFY(rig.start(historyUnit(200)));
    bool sawDialog = false;
    // The window is modal: it is filled in and accepted from inside its own loop.
    QTimer::singleShot(0, &rig.page, [&] {
        auto *dialog = rig.page.findChild<HistoryFilterDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        sawDialog = true;
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Filter Settings"));
        QVERIFY(!dialog->startDate()->isEnabled());
        QTest::mouseClick(dialog->useStartBox(), Qt::LeftButton);
        QVERIFY(dialog->startDate()->isEnabled());
        dialog->startDate()->setDate(QDate(2021, 3, 5));
        dialog->startTime()->setTime(QTime(8, 30));
        dialog->recordField()->selectAll();
        QTest::keyClicks(dialog->recordField(), QStringLiteral("25"));
        QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    });
    QTest::mouseClick(rig.page.filterButton(), Qt::LeftButton);
    QVERIFY(sawDialog);
    QVERIFY(rig.page.startField()->text() != QStringLiteral("None"));
    QCOMPARE(rig.page.countField()->text(), QStringLiteral("25"));
    QTest::mouseClick(rig.page.retrieveButton(), Qt::LeftButton);
    QVERIFY(rig.waitEnd());
    QCOMPARE(rig.requests(), QList<QByteArray>{QByteArray::fromHex("8f19000814150305081e")});

    // "Defaults" puts the start date off again; OK with an empty record field reads 17.
    HistoryFilterDialog dialog;
    dialog.setValues(rig.page.filterValues());
    QVERIFY(dialog.useStartBox()->isChecked());
    dialog.defaults();
    dialog.recordField()->clear();
    const HistoryFilterValues v = dialog.values();
    QVERIFY(!v.useStart);
    QCOMPARE(v.records, QStringLiteral("17"));
    QCOMPARE(v.kinds, 31);
    QCOMPARE(v.readerChoice.at(v.readerIndex), QStringLiteral("ALL"));
    rig.page.applyFilterValues(v);
    QCOMPARE(rig.page.startField()->text(), QStringLiteral("None"));
    QVERIFY(!rig.r().startDate());
    QCOMPARE(rig.r().wanted(), 17);
}

void TestHistoryPage::searchIntoTheGrid_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("field"); // 0 "All", 3 "Value"
    QTest::addColumn<int>("types"); // 0 "All", 4 "Alarms"
    QTest::addColumn<QStringList>("values");
    QTest::newRow("one alarm") << QStringLiteral("startup") << 0 << 0 << texts({"Startup"});
    QTest::newRow("two label numbers") << QStringLiteral("196,186") << 3 << 0 << texts({"196", "186"});
    QTest::newRow("alarms only") << QStringLiteral("e") << 0 << 4
                                 << texts({"Startup",
                                                "Ethernet IP I/O Session Started",
                                                "EIP Comms Down",
                                                "Webpage History Exported",
                                                "Flash Warning - Failed to ID Flash Chip",
                                                "Read Attempt Failed - Minimum Test 1",
                                                "Configuration Failed to Save",
                                                "Failed to Contact Time Server",
                                                "DeviceNet Option not Enabled",
                                                "Network Control Connect Failure"});
    QTest::newRow("nothing") << QStringLiteral("zzz") << 0 << 0 << QStringList{};
}

void TestHistoryPage::searchIntoTheGrid()
{
    QFETCH(QString, text);
    QFETCH(int, field);
    QFETCH(int, types);
    QFETCH(QStringList, values);
    PageRig rig;
    QVERIFY(rig.start(historyUnit(200)));
    QVERIFY(rig.retrieve(40));
    QSignalSpy written(&rig.page, &HistoryPage::foundRowsWritten);
    rig.page.grid()->setFocus();
    QTest::keyClick(rig.page.grid(), Qt::Key_F, Qt::ControlModifier);
    HistorySearchWindow *w = rig.page.searchWindow();
    QVERIFY(w->isVisible());
    QCOMPARE(w->index().size(), 40);
    QTest::keyClicks(w->searchField(), text);
    if (field)
        QTest::mouseClick(w->fieldButton(field), Qt::LeftButton);
    if (types)
        QTest::mouseClick(w->typeButton(types), Qt::LeftButton);
    QTest::mouseClick(w->optionButton(3), Qt::LeftButton); // results in the grid
    QCOMPARE(w->optionLetters(), QStringLiteral("D N - G"));
    rig.op.answers = {Answer::Yes};
    QTest::mouseClick(w->searchButton(), Qt::LeftButton);
    QCOMPARE(w->statusText(), QStringLiteral("Search Complete"));
    if (values.isEmpty()) {
        QCOMPARE(rig.op.messageTexts(), QStringList{QStringLiteral("No items found")});
        QVERIFY(rig.op.questions.isEmpty());
        QCOMPARE(rig.page.model().rowCount(), 40);
        QVERIFY(!rig.page.model().resultsShown());
        return;
    }
    QCOMPARE(rig.op.questions, QStringList{QString::number(values.size())
                                           + QStringLiteral(" items found\nUpdate the grid to show these results?")});
    QVERIFY(!w->isVisible());
    QVERIFY(rig.page.model().resultsShown());
    QCOMPARE(rig.page.model().rowCount(), int(values.size()));
    QCOMPARE(rig.column(value, 40), values);
    QCOMPARE(rig.row(0).at(0), QStringLiteral("1"));
    QCOMPARE(rig.page.headerBar()->panelText(4), QStringLiteral(" ") + QString::number(values.size()));
    QCOMPARE(written.size(), 1);
    const QStringList lines = written.first().first().toStringList();
    QCOMPARE(lines.size(), values.size());
    QVERIFY(lines.first().contains(QStringLiteral(",") + values.first() + QStringLiteral(",")));
    // The view buffer is untouched; Refresh brings it back.
    QCOMPARE(rig.r().viewCount(), 40);
    QTest::mouseClick(rig.page.refreshButton(), Qt::LeftButton);
    QVERIFY(!rig.page.model().resultsShown());
    QCOMPARE(rig.page.model().rowCount(), 40);
}

void TestHistoryPage::searchOneAtATime()
{
    PageRig rig;
    QVERIFY(rig.start(historyUnit(200)));
    QVERIFY(rig.retrieve(40));
    rig.page.openSearch();
    HistorySearchWindow *w = rig.page.searchWindow();
    QTest::keyClicks(w->searchField(), QStringLiteral("196,186"));
    QTest::mouseClick(w->searchButton(), Qt::LeftButton);
    QCOMPARE(w->statusText(), QStringLiteral("String Found"));
    QCOMPARE(w->status(), HistorySearchWindow::Status::Found);
    // Label 196 is row 3, label 186 row 11 (boot records are not retrieved).
    QCOMPARE(rig.page.grid()->currentIndex().row(), 2);
    QCOMPARE(rig.page.grid()->currentIndex().column(), value);
    // F3 in the grid repeats the search from there.
    QTest::keyClick(rig.page.grid(), Qt::Key_F3);
    QCOMPARE(rig.page.grid()->currentIndex().row(), 10);
    // Past the last one: the question, and No leaves it not found.
    rig.op.answers = {Answer::No};
    QTest::mouseClick(w->searchButton(), Qt::LeftButton);
    QCOMPARE(rig.op.questions, QStringList{QStringLiteral("End of data reached, start from begining?")});
    QCOMPARE(w->statusText(), QStringLiteral("String not found"));
    QCOMPARE(rig.page.grid()->currentIndex().row(), 10);
    // Yes starts again from the top.
    rig.op.answers = {Answer::Yes};
    QTest::mouseClick(w->searchButton(), Qt::LeftButton);
    QCOMPARE(rig.page.grid()->currentIndex().row(), 2);
    // Upwards from there: the question names the beginning.
    QTest::mouseClick(w->optionButton(0), Qt::LeftButton);
    QCOMPARE(w->optionLetters(), QStringLiteral("U N - -"));
    rig.op.answers = {Answer::Yes};
    QTest::mouseClick(w->searchButton(), Qt::LeftButton);
    QCOMPARE(rig.op.questions.last(), QStringLiteral("Begining of data reached, start from end?"));
    QCOMPARE(rig.page.grid()->currentIndex().row(), 10);
}

void TestHistoryPage::searchRefusesEmptyTextAndGrid()
{
    PageRig rig;
    QVERIFY(rig.start(historyUnit(200)));
    rig.page.openSearch();
    HistorySearchWindow *w = rig.page.searchWindow();
    QTest::mouseClick(w->searchButton(), Qt::LeftButton);
    QCOMPARE(w->statusText(), QStringLiteral("Search string not entered"));
    QCOMPARE(w->status(), HistorySearchWindow::Status::Fault);
    QTest::keyClicks(w->searchField(), QStringLiteral("x"));
    QTest::mouseClick(w->searchButton(), Qt::LeftButton);
    QCOMPARE(w->statusText(), QStringLiteral("Grid is empty"));
    QCOMPARE(rig.op.messageTexts(),
             (QStringList{QStringLiteral("You must enter a search string(s)\n(coma separated if more than one)"),
                          QStringLiteral("Grid is empty - search aborted")}));
    // Exclusions: none entered leaves them off, with a warning.
    HistoryExclusionWindow *x = w->exclusionWindow();
    QTimer::singleShot(0, x, [x] { x->accept(); });
    QTest::mouseClick(w->optionButton(2), Qt::LeftButton);
    QVERIFY(!w->exclusionsOn());
    QCOMPARE(rig.op.messageTexts().last(), QStringLiteral("No exclusions were entered. Exclusions are disabled"));
    QVERIFY(!x->deleteButton()->isEnabled());
    rig.op.inputs = {QStringLiteral("Label")};
    QTest::mouseClick(x->addButton(), Qt::LeftButton);
    QCOMPARE(x->texts(), QStringList{QStringLiteral("Label")});
    QCOMPARE(rig.op.inputPrompts.last(), QStringLiteral("Exclude|Enter Text to Exclude"));
    QVERIFY(x->deleteButton()->isEnabled());
    QTest::mouseClick(x->deleteButton(), Qt::LeftButton);
    QCOMPARE(rig.op.messageTexts().last(), QStringLiteral("No Items selectd. Delete aborted"));
    QTimer::singleShot(0, x, [x] { x->accept(); });
    QTest::mouseClick(w->optionButton(2), Qt::LeftButton);
    QVERIFY(w->exclusionsOn());
    QCOMPARE(w->options().exclusions, QStringList{QStringLiteral("Label")});
}

void TestHistoryPage::pageChangeDuringRetrievalReturns()
{
    PageRig rig;
    sim::SimUnit u = historyUnit(500);
    u.history.stallAfterRecords = 10; // keeps the retrieval running
    QVERIFY(rig.start(u));
    rig.typeCount(QStringLiteral("40"));
    QTest::mouseClick(rig.page.retrieveButton(), Qt::LeftButton);
    QVERIFY(wait::until([&] { return rig.r().viewCount() == 10; }, 5000));
    const QByteArray before = rig.tcp().received();
    QCOMPARE(rig.rules.changed(Page::History, Page::Setup), Page::History);
    wait::delay(100);
    QCOMPARE(rig.tcp().received(), before);
    QCOMPARE(rig.tcp().mode(), sim::SimCommandServer::Mode::History);
    QCOMPARE(rig.page.retrieveButton()->text(), QStringLiteral("ABORT"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.page.model().rowCount(), 10, 2000);
    QTest::mouseClick(rig.page.retrieveButton(), Qt::LeftButton);
    QVERIFY(rig.waitEnd(5000));
    QCOMPARE(rig.page.model().rowCount(), 10);
    QCOMPARE(rig.rules.changed(Page::History, Page::Setup), Page::Setup);
    QVERIFY(rig.op.logged(QStringLiteral("History off")));
}

void TestHistoryPage::keyboardReachesEveryControl()
{
    PageRig rig;
    rig.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.page));
    QApplication::setActiveWindow(&rig.page);
    rig.page.grid()->setFocus(Qt::TabFocusReason);
    QSet<QWidget *> reached;
    for (int i = 0; i < 60; ++i) {
        QWidget *now = QApplication::focusWidget();
        QVERIFY(now);
        reached.insert(now);
        QTest::keyClick(now, Qt::Key_Tab);
    }
    QList<QWidget *> wanted = {rig.page.readerChoice(), rig.page.countField(),    rig.page.startField(),
                               rig.page.filterButton(), rig.page.refreshButton(), rig.page.retrieveButton(),
                               rig.page.nextButton(),   rig.page.grid()};
    for (int bit = 1; bit <= 16; bit <<= 1)
        wanted << rig.page.kindBox(bit);
    for (QWidget *w : wanted)
        QVERIFY2(reached.contains(w), w->metaObject()->className());
}

QTEST_MAIN(TestHistoryPage)
#include "tst_historypage.moc"
