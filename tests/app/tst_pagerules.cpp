// Page change refusals, forced returns, and the order of leave and enter actions.
#include "app/pagerules.h"
#include "recordingoperator.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QTest>

using namespace vork;

namespace {

struct Fixture
{
    Fixture() : units(op), rules(op, units, variant)
    {
        PageHooks &h = rules.hooks;
        h.historyImportOpen = [this] { return flags.contains(QStringLiteral("import")); };
        h.historyExportRunning = [this] { return flags.contains(QStringLiteral("export")); };
        h.forceReadTestRunning = [this] { return flags.contains(QStringLiteral("forceread")); };
        h.flashRunning = [this] { return flags.contains(QStringLiteral("flash")); };
        h.autoUpdateRunning = [this] { return flags.contains(QStringLiteral("autoupdate")); };
        h.historyRetrievalRunning = [this] { return flags.contains(QStringLiteral("retrieval")); };
        h.currentUnitConnected = [this] { return flags.contains(QStringLiteral("connected")); };
        h.showForceReadTab = [this] { calls << QStringLiteral("forceReadTab"); };
        h.clearNetstatGrid = [this] { calls << QStringLiteral("clearNetstat"); };
        h.closeHistorySearch = [this] { calls << QStringLiteral("closeSearch"); };
        h.showSetupGroup = [this](bool standard) { calls << (standard ? QStringLiteral("stdGroup") : QStringLiteral("eipGroup")); };
        h.monitoredUnitCount = [this] { return monitored; };
        h.closeCurrentConnection = [this] { calls << QStringLiteral("closeConnection"); };
        for (int p = 0; p < pageCount; ++p) {
            h.leave[p] = [this, p] { calls << QStringLiteral("leave ") + pageCaption(Page(p)); };
            h.enter[p] = [this, p] { calls << QStringLiteral("enter ") + pageCaption(Page(p)); };
        }
    }
    void addCurrentUnit()
    {
        udppack a;
        a.mac = QStringLiteral("0050C2000001");
        units.enterAnnouncement(a, QStringLiteral("10.0.0.9"));
        units.setCurrent(&units.unit(0));
    }

    RecordingOperator op;
    UnitTable units;
    ProtocolVariant variant;
    PageRules rules;
    QStringList flags;
    QStringList calls;
    int monitored = 0;
};

Page pageNamed(const QString &name)
{
    for (int p = 0; p < pageCount; ++p)
        if (pageCaption(Page(p)) == name)
            return Page(p);
    return Page::Help;
}

} // namespace

class TestPageRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requests_data();
    void requests();
    void leavingNsRestoresOrClearsPanels();
    void runningOperationsForceTheirPage_data();
    void runningOperationsForceTheirPage();
    void leaveActionsNeedACurrentUnit();
    void backToDiscoverAfterMonitoringSeveralUnits_data();
    void backToDiscoverAfterMonitoringSeveralUnits();
    void setupShowsTheGroupOfTheLastUnitAsked();
};

void TestPageRules::requests_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("free change") << "DISCOVER" << "SETUP" << "" << true;
    QTest::newRow("import window open") << "DISCOVER" << "SETUP" << "import" << false;
    QTest::newRow("export running") << "DISCOVER" << "NS" << "export" << false;
    QTest::newRow("force read test") << "MONITOR" << "DISCOVER" << "forceread" << false;
    QTest::newRow("force read test elsewhere does not matter") << "SETUP" << "DISCOVER" << "forceread" << true;
    QTest::newRow("flash holds every page") << "FLASH" << "DISCOVER" << "flash" << false;
    QTest::newRow("auto update holds every page") << "FLASH" << "SETUP" << "autoupdate" << false;
    QTest::newRow("leaving history while retrieving") << "HISTORY" << "DISCOVER" << "retrieval" << false;
    QTest::newRow("leaving history when idle") << "HISTORY" << "DISCOVER" << "" << true;
    QTest::newRow("leaving history during a flash") << "HISTORY" << "FLASH" << "flash" << true;
}

void TestPageRules::requests()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, flags);
    QFETCH(bool, allowed);
    Fixture f;
    f.flags = flags.split(QLatin1Char(','), Qt::SkipEmptyParts);
    QCOMPARE(f.rules.requestChange(pageNamed(from), pageNamed(to)), allowed);
    const bool forceRead = flags == QLatin1String("forceread") && from == QLatin1String("MONITOR");
    QCOMPARE(f.op.messageTexts(MessageKind::Warning),
             forceRead ? QStringList{PageRules::forceReadWarning()} : QStringList{});
    QCOMPARE(f.calls.contains(QStringLiteral("forceReadTab")), forceRead);
    QCOMPARE(f.calls.contains(QStringLiteral("closeSearch")), from == QLatin1String("HISTORY"));
}

void TestPageRules::leavingNsRestoresOrClearsPanels()
{
    Fixture f;
    f.addCurrentUnit();
    for (int p = 0; p < statusPanelCount; ++p)
        f.op.setPanel(p, QStringLiteral("text"));
    f.flags << QStringLiteral("connected");
    QVERIFY(f.rules.requestChange(Page::NS, Page::Discover));
    QCOMPARE(f.op.panels[1], QStringLiteral("Connected to 10.0.0.9"));
    QCOMPARE(f.op.panels[2], QStringLiteral("text"));

    f.flags.clear();
    QVERIFY(f.rules.requestChange(Page::NS, Page::Discover));
    for (int p : {1, 2, 3, 5})
        QVERIFY(f.op.panels[p].isEmpty());
    QCOMPARE(f.op.panels[0], QStringLiteral("text"));
    QCOMPARE(f.calls, QStringList{QStringLiteral("clearNetstat")});
}

void TestPageRules::runningOperationsForceTheirPage_data()
{
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("shown");
    QTest::newRow("idle") << "" << "SETUP" << "SETUP";
    QTest::newRow("retrieval") << "retrieval" << "SETUP" << "HISTORY";
    QTest::newRow("flash") << "flash" << "DISCOVER" << "FLASH";
    QTest::newRow("auto update") << "autoupdate" << "MONITOR" << "FLASH";
}

void TestPageRules::runningOperationsForceTheirPage()
{
    QFETCH(QString, flags);
    QFETCH(QString, to);
    QFETCH(QString, shown);
    Fixture f;
    f.flags = flags.split(QLatin1Char(','), Qt::SkipEmptyParts);
    QCOMPARE(pageCaption(f.rules.changed(Page::Discover, pageNamed(to))), shown);
    // A forced return runs no enter action of the page that was refused.
    QCOMPARE(f.calls.contains(QStringLiteral("enter ") + to), shown == to);
}

void TestPageRules::leaveActionsNeedACurrentUnit()
{
    Fixture f;
    f.rules.changed(Page::Setup, Page::Monitor);
    QVERIFY(!f.calls.contains(QStringLiteral("leave SETUP")));
    QVERIFY(f.calls.contains(QStringLiteral("enter MONITOR")));

    f.addCurrentUnit();
    f.calls.clear();
    f.rules.changed(Page::Setup, Page::History);
    QCOMPARE(f.calls, (QStringList{QStringLiteral("leave SETUP"), QStringLiteral("enter HISTORY")}));
    QCOMPARE(f.rules.current(), Page::History);
}

void TestPageRules::backToDiscoverAfterMonitoringSeveralUnits_data()
{
    QTest::addColumn<int>("monitored");
    QTest::addColumn<bool>("closes");
    QTest::newRow("one unit") << 1 << false;
    QTest::newRow("two units") << 2 << true;
}

void TestPageRules::backToDiscoverAfterMonitoringSeveralUnits()
{
    QFETCH(int, monitored);
    QFETCH(bool, closes);
    Fixture f;
    f.addCurrentUnit();
    f.monitored = monitored;
    f.rules.changed(Page::Monitor, Page::Discover);
    QStringList expected{QStringLiteral("leave MONITOR")};
    if (closes)
        expected << QStringLiteral("closeConnection");
    expected << QStringLiteral("enter DISCOVER");
    QCOMPARE(f.calls, expected);
    QCOMPARE(f.units.psvrks(0), &f.units.unit(0)); // the discovery list was rebuilt
}

void TestPageRules::setupShowsTheGroupOfTheLastUnitAsked()
{
    Fixture f;
    udppack eip;
    eip.ver.vnum = {5, 0, 3};
    eip.ncp = 0;
    f.variant.isStandard(&eip);
    f.rules.changed(Page::Discover, Page::Setup);
    QCOMPARE(f.calls.first(), QStringLiteral("eipGroup"));
}

QTEST_GUILESS_MAIN(TestPageRules)
#include "tst_pagerules.moc"
