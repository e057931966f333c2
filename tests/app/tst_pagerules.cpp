// Page change refusals, forced returns, and the order of leave and enter actions.
#include "connection/connectionmanager.h"
#include "connection/operation.h"
#include "connection/unitclient.h"
#include "core/boundedwait.h"
#include "core/pinger.h"
#include "recordingoperator.h"
#include "services/pagerules.h"
#include "services/unitservices.h"
#include "unit/unittable.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTest>

#include <memory>
#include <vector>

using namespace vork;

namespace {

class Reachable : public Pinger
{
public:
    bool ping(const QString &, int, bool) override { return true; }
};

// A page's controller that records what the rules ask of it.
class FakePage : public PageController
{
public:
    FakePage(Page p, QStringList &calls) : m_page(p), m_calls(calls) {}
    Page page() const override { return m_page; }
    bool allowsChange(Page, Page) override { return !refuses; }
    bool holdsPage() const override { return holds; }
    QString closeRefusal() const override { return holds ? QStringLiteral("busy ") + pageCaption(m_page) : QString(); }
    void pageChanged(Page, Page to) override { m_calls << pageCaption(m_page) + QStringLiteral(" heard ") + pageCaption(to); }
    void left(Page) override { m_calls << QStringLiteral("leave ") + pageCaption(m_page); }
    void entered(Page) override { m_calls << QStringLiteral("enter ") + pageCaption(m_page); }
    void closingUnit() override { m_calls << QStringLiteral("closing ") + pageCaption(m_page); }

    bool refuses = false;
    bool holds = false;

private:
    Page m_page;
    QStringList &m_calls;
};

struct Fixture
{
    Fixture() : services(op), rules(services)
    {
        services.setPinger(std::make_unique<Reachable>());
        for (int p = 0; p < pageCount; ++p) {
            pages.push_back(std::make_unique<FakePage>(Page(p), calls));
            rules.add(*pages.back());
        }
    }
    FakePage &page(Page p) { return *pages[static_cast<std::size_t>(p)]; }
    void addCurrentUnit(const QString &address = QStringLiteral("10.0.0.9"))
    {
        udppack a;
        a.mac = QStringLiteral("0050C2000001");
        services.units().enterAnnouncement(a, address);
        services.units().setCurrent(&services.units().unit(0));
    }
    // The current unit connected to a listener on loopback.
    bool connectCurrent(QTcpServer &server, const QString &address)
    {
        if (!server.listen(QHostAddress(address), commandPort))
            return false;
        addCurrentUnit(address);
        return services.connections().Connect_or_timeout(2000);
    }
    QStringList heard() const { return calls.filter(QStringLiteral(" heard ")); }
    QStringList actions() const
    {
        QStringList out;
        for (const QString &c : calls)
            if (!c.contains(QStringLiteral(" heard ")))
                out << c;
        return out;
    }

    RecordingOperator op;
    UnitServices services;
    PageRules rules;
    QStringList calls;
    std::vector<std::unique_ptr<FakePage>> pages;
};

} // namespace

class TestPageRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requests_data();
    void requests();
    void noChangeWhileAnOperationRuns();
    void leavingNsRestoresOrClearsPanels();
    void heldPagesComeBack_data();
    void heldPagesComeBack();
    void leaveActionsNeedACurrentUnit();
    void everyPageHearsOfEveryChange();
    void closingTheUnitLeavesTheShowingPagesMode();
};

void TestPageRules::requests_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("refusing"); // -1: none
    QTest::addColumn<int>("holding");  // -1: none
    QTest::addColumn<bool>("allowed");
    const int none = -1;
    QTest::newRow("free change") << int(Page::Discover) << int(Page::Setup) << none << none << true;
    QTest::newRow("same page") << int(Page::Setup) << int(Page::Setup) << int(Page::History) << none << true;
    QTest::newRow("any page may refuse") << int(Page::Discover) << int(Page::Setup) << int(Page::History) << none
                                         << false;
    QTest::newRow("a held page is not left") << int(Page::Flash) << int(Page::Discover) << none << int(Page::Flash)
                                             << false;
    QTest::newRow("a held page holds every page") << int(Page::Discover) << int(Page::Setup) << none
                                                  << int(Page::Flash) << false;
}

void TestPageRules::requests()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, refusing);
    QFETCH(int, holding);
    QFETCH(bool, allowed);
    Fixture f;
    if (refusing >= 0)
        f.page(Page(refusing)).refuses = true;
    if (holding >= 0)
        f.page(Page(holding)).holds = true;
    QCOMPARE(f.rules.requestChange(Page(from), Page(to)), allowed);
    QCOMPARE(f.rules.anyHeld(), holding >= 0);
    QCOMPARE(f.rules.closeRefusal().isEmpty(), holding < 0);
    QVERIFY(f.actions().isEmpty()); // a request runs no leave or enter action
}

void TestPageRules::noChangeWhileAnOperationRuns()
{
    Fixture f;
    {
        ScopedOperation running(f.services.operations(), f.op, QStringLiteral("Checksum"));
        QVERIFY(running.admitted());
        QVERIFY(!f.rules.requestChange(Page::Discover, Page::Setup));
        QVERIFY(f.op.logged(OperationGate::refusalText(QStringLiteral("Page change"), QStringLiteral("Checksum"))));
    }
    QVERIFY(f.rules.requestChange(Page::Discover, Page::Setup));
}

void TestPageRules::leavingNsRestoresOrClearsPanels()
{
    Fixture f;
    QTcpServer server;
    QVERIFY(f.connectCurrent(server, QStringLiteral("127.0.67.1")));
    for (int p = 0; p < statusPanelCount; ++p)
        f.op.setPanel(p, QStringLiteral("text"));
    QVERIFY(f.rules.requestChange(Page::NS, Page::Discover));
    QCOMPARE(f.op.panels[1], QStringLiteral("Connected to 127.0.67.1"));
    QCOMPARE(f.op.panels[2], QStringLiteral("text"));

    f.services.connections().existingClient(f.services.units().unit(0))->close();
    QVERIFY(f.rules.requestChange(Page::NS, Page::Discover));
    for (int p : {1, 2, 3, 5})
        QVERIFY(f.op.panels[p].isEmpty());
    QCOMPARE(f.op.panels[0], QStringLiteral("text"));
}

void TestPageRules::heldPagesComeBack_data()
{
    QTest::addColumn<int>("holding"); // -1: none
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("shown");
    QTest::newRow("idle") << -1 << int(Page::Setup) << int(Page::Setup);
    QTest::newRow("history retrieval") << int(Page::History) << int(Page::Setup) << int(Page::History);
    QTest::newRow("flash") << int(Page::Flash) << int(Page::Discover) << int(Page::Flash);
}

void TestPageRules::heldPagesComeBack()
{
    QFETCH(int, holding);
    QFETCH(int, to);
    QFETCH(int, shown);
    Fixture f;
    f.addCurrentUnit();
    if (holding >= 0)
        f.page(Page(holding)).holds = true;
    QCOMPARE(f.rules.changed(Page::Discover, Page(to)), Page(shown));
    // A forced return runs no leave or enter action at all.
    if (shown == to)
        QCOMPARE(f.actions(), (QStringList{QStringLiteral("leave DISCOVER"), QStringLiteral("enter ") + pageCaption(Page(to))}));
    else
        QVERIFY(f.actions().isEmpty());
}

void TestPageRules::leaveActionsNeedACurrentUnit()
{
    Fixture f;
    f.rules.changed(Page::Setup, Page::Monitor);
    QCOMPARE(f.actions(), QStringList{QStringLiteral("enter MONITOR")});

    f.addCurrentUnit();
    f.calls.clear();
    f.rules.changed(Page::Setup, Page::History);
    QCOMPARE(f.actions(), (QStringList{QStringLiteral("leave SETUP"), QStringLiteral("enter HISTORY")}));
    QCOMPARE(f.rules.current(), Page::History);

    // Opened again for a new current unit: entered once more, nothing left.
    f.calls.clear();
    f.rules.changed(Page::History, Page::History);
    QCOMPARE(f.actions(), QStringList{QStringLiteral("enter HISTORY")});
}

void TestPageRules::everyPageHearsOfEveryChange()
{
    Fixture f;
    f.addCurrentUnit();
    f.rules.changed(Page::Monitor, Page::Discover);
    QCOMPARE(f.heard().size(), pageCount);
    // Heard before anything is left or entered.
    QVERIFY(f.calls.indexOf(QStringLiteral("leave MONITOR")) >= pageCount);
    QCOMPARE(f.services.units().psvrks(0), &f.services.units().unit(0)); // the discovery list was rebuilt
}

void TestPageRules::closingTheUnitLeavesTheShowingPagesMode()
{
    Fixture f;
    QTcpServer server;
    QVERIFY(f.connectCurrent(server, QStringLiteral("127.0.67.2")));
    f.rules.changed(Page::Discover, Page::Setup);
    f.calls.clear();
    f.services.connections().CloseSocket();
    QCOMPARE(f.actions(), QStringList{QStringLiteral("closing SETUP")});
}

QTEST_GUILESS_MAIN(TestPageRules)
#include "tst_pagerules.moc"
