// Monitor mode against simulated units: switched on for each unit of the active
// list with the refusals and failures, live records into the units' last
// values and the rows, switched off with the quit and the closes.
#include "connection/connectionmanager.h"
#include "core/boundedwait.h"
#include "monitorrig.h"

#include <QSignalSpy>
#include <QTest>

using namespace vork;
using namespace vork::test;

class TestMonitorSession : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void recordsFromEveryMonitoredUnit();
    void refusalsAndFailures();
    void offQuitsEachAndClosesAllButTheCurrent_data();
    void offQuitsEachAndClosesAllButTheCurrent();
    void splitAndGarbledRecordsAreAllTaken();
    void readersBeyondEightIndexNothing();
    void rowsAreCapped();
    void droppedLinkEndsThatUnitsMonitoring();
    void startStopsWhenAsked();
    void unansweredQuitWhileRecordsStream();
    void incompleteRecordFailsTheSession();
};

void TestMonitorSession::recordsFromEveryMonitoredUnit()
{
    Rig rig;
    QVERIFY(rig.start({monitorUnit(0, 2), monitorUnit(1, 4)}));
    QCOMPARE(rig.session.monitorOn(), 2);
    QCOMPARE(rig.session.unitChoice().size(), 2);
    QCOMPARE(rig.session.unitChoice(), rig.activeOrder());
    for (const char *ip : {"127.0.17.2", "127.0.17.3"}) {
        QVERIFY(rig.op.logged(QStringLiteral("Connecting to Vork Unit ") + QLatin1String(ip)));
        QVERIFY(rig.op.logged(QStringLiteral("Sent M Command to Vork Unit ") + QLatin1String(ip)));
        QVERIFY(rig.unit(QLatin1String(ip)).Monitor);
    }
    QCOMPARE(rig.op.logs.count(QStringLiteral("Monitor on")), 2);
    QVERIFY(rig.op.messages.isEmpty());

    // Every reader of both units reports a label, and the rows hold records of both.
    QVERIFY(wait::until([&] {
        for (const auto &[ip, readers] : {std::pair{"127.0.17.2", 2}, std::pair{"127.0.17.3", 4}})
            for (int r = 0; r < readers; ++r)
                if (rig.unit(QLatin1String(ip)).LastRead[r] == QLatin1String("***"))
                    return false;
        return true;
    }, 5000));
    QSet<QString> from;
    quint32 last = 0;
    for (const MonitorRow &row : rig.session.rows()) {
        from.insert(row.ip);
        QCOMPARE(row.counter, last + 1); // counted in arrival order
        last = row.counter;
    }
    QCOMPARE(from.size(), 2);
    const udppack &four = rig.unit(QStringLiteral("127.0.17.3"));
    QVERIFY(four.LastReadtime[3].contains(QLatin1Char(':')));
    QCOMPARE(four.LastRead[5], QStringLiteral("***")); // no reader 5: nothing received
}

void TestMonitorSession::refusalsAndFailures()
{
    Rig rig;
    sim::SimUnit held = monitorUnit(0, 1);
    held.cons = 8; // someone else holds its command port
    sim::SimUnit naks = monitorUnit(1, 1);
    naks.commandFaults.nakCommands = "M";
    sim::SimUnit absent = monitorUnit(2, 1); // in the table, nothing listening
    QVERIFY(rig.start({held, naks}, {absent}));
    QCOMPARE(rig.session.monitorOn(), 0);
    QVERIFY(rig.op.logged(QStringLiteral("Cannot connect to 127.0.17.2 someone else is already connected")));
    QVERIFY(!rig.fleet.server(0).tcp().hasClient()); // not even contacted
    QVERIFY(rig.op.logged(QStringLiteral("Connection to Vork Unit 127.0.17.4 failed")));
    QStringList messages = rig.op.messageTexts();
    messages.sort();
    QCOMPARE(messages, (QStringList{QStringLiteral("Cannot Monitor 127.0.17.2 someone else is already connected"),
                                    QStringLiteral("Cannot Monitor 127.0.17.4 - Failed to Connect"),
                                    QStringLiteral("Unit 127.0.17.3 did not accept \"M\" command")}));
    for (const char *ip : {"127.0.17.2", "127.0.17.3", "127.0.17.4"})
        QVERIFY(!rig.unit(QLatin1String(ip)).Monitor);
}

void TestMonitorSession::offQuitsEachAndClosesAllButTheCurrent_data()
{
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("currentStays");
    QTest::newRow("to SETUP: the current unit stays") << int(Page::Setup) << true;
    QTest::newRow("to DISCOVER after two: all close") << int(Page::Discover) << false;
}

void TestMonitorSession::offQuitsEachAndClosesAllButTheCurrent()
{
    QFETCH(int, to);
    QFETCH(bool, currentStays);
    Rig rig;
    QVERIFY(rig.start({monitorUnit(0, 1), monitorUnit(1, 1)}));
    QCOMPARE(rig.session.monitorOn(), 2);
    rig.session.monitorOff(Page(to));
    for (int i = 0; i < 2; ++i)
        QVERIFY(rig.fleet.server(i).tcp().received().endsWith('Q'));
    QCOMPARE(rig.op.logs.count(QStringLiteral("Monitor off")), 2);
    const udppack *current = rig.services.units().current();
    QVERIFY(current);
    const QStringList order = rig.session.unitChoice();
    QCOMPARE(current->ip, order.last()); // the last one quit stays current
    QVERIFY(!rig.services.connections().isOpen(&rig.unit(order.first())));
    QCOMPARE(rig.services.connections().isOpen(current), currentStays);
    const int other = order.first() == QLatin1String("127.0.17.2") ? 0 : 1;
    QVERIFY(wait::until([&] { return !rig.fleet.server(other).tcp().hasClient(); }, 2000));
}

void TestMonitorSession::droppedLinkEndsThatUnitsMonitoring()
{
    Rig rig;
    sim::SimUnit dropping = monitorUnit(0, 2);
    dropping.commandFaults.dropAfterBytes = 400; // the ACK of 'M' and some records, then the link goes
    QVERIFY(rig.start({dropping, monitorUnit(1, 1)}));
    QSignalSpy dropped(&rig.session, &MonitorSession::linkDropped);
    QCOMPARE(rig.session.monitorOn(), 2);
    const QString ip = QStringLiteral("127.0.17.2");
    QVERIFY(wait::until([&] { return !dropped.isEmpty(); }, 5000));
    const udppack &gone = rig.unit(ip);
    QCOMPARE(dropped.size(), 1);
    QCOMPARE(dropped.at(0).at(0).toULongLong(), gone.link);
    QVERIFY(!gone.Monitor);
    QCOMPARE(rig.session.linksDropped(), 1);
    for (int r = 0; r < 2; ++r) {
        QCOMPARE(gone.LastRead[r], QStringLiteral("***"));
        QCOMPARE(gone.LastErr[r], QStringLiteral("***"));
        QCOMPARE(gone.LastDiag[r], QStringLiteral("***"));
    }
    const QString text = QStringLiteral("Vork Unit 127.0.17.2 is no longer monitored: connection lost");
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning), QStringList{text});
    QVERIFY(rig.op.logged(text));

    // The other unit goes on; leaving the page closes links on purpose, which is no drop.
    const std::size_t rows = rig.session.rows().size();
    QVERIFY(wait::until([&] { return rig.session.rows().size() > rows + 5; }, 5000));
    QVERIFY(rig.unit(QStringLiteral("127.0.17.3")).Monitor);
    rig.session.monitorOff(Page::Discover);
    wait::delay(100);
    QCOMPARE(dropped.size(), 1);
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning).size(), 1);
}

void TestMonitorSession::startStopsWhenAsked()
{
    Rig rig;
    QVERIFY(rig.start({monitorUnit(0, 1), monitorUnit(1, 1), monitorUnit(2, 1)}));
    int asked = 0;
    rig.session.stopStarting = [&] { return ++asked > 1; }; // after the first unit
    QCOMPARE(rig.session.monitorOn(), 1);
    QCOMPARE(rig.session.notTried(), 2);
    const QStringList order = rig.activeOrder();
    QVERIFY(rig.unit(order.at(0)).Monitor);
    for (int i = 0; i < 3; ++i) {
        const bool first = rig.fleet.server(i).unit().address.toString() == order.at(0);
        QCOMPARE(rig.fleet.server(i).tcp().received().isEmpty(), !first);
    }
    rig.session.monitorOff(Page::Discover);
}

void TestMonitorSession::splitAndGarbledRecordsAreAllTaken()
{
    Rig rig;
    sim::SimUnit split = monitorUnit(0, 2);
    split.monitor.splitRecords = true;
    sim::SimUnit garbled = monitorUnit(1, 2);
    garbled.monitor.garbageBytes = 2;
    QVERIFY(rig.start({split, garbled}));
    QCOMPARE(rig.session.monitorOn(), 2);
    QVERIFY(wait::until([&] { return rig.session.rows().size() >= 40; }, 5000));
    rig.session.monitorOff(Page::Setup);
    wait::delay(100);
    // Every record sent before the quit arrived whole, split or between garbage.
    const int sent = rig.monitorOf(0)->recordsSent() + rig.monitorOf(1)->recordsSent();
    QCOMPARE(int(rig.session.rows().size()), sent);
    QVERIFY(rig.op.logs.filter(QStringLiteral("Incomplete")).isEmpty());
}

void TestMonitorSession::readersBeyondEightIndexNothing()
{
    Rig rig;
    sim::SimUnit u = monitorUnit(0, 12); // a count no unit has
    u.monitor.intervalMs = 100000;
    QVERIFY(rig.start({u}));
    QCOMPARE(rig.session.monitorOn(), 1);
    QCOMPARE(MonitorSession::readerCount(rig.unit(QStringLiteral("127.0.17.2"))), 8);
    DataPack p;
    p.typ = std::uint8_t(DataPackKind::Label);
    p.rdr = 200;
    p.month = 5, p.day = 4, p.cent = 20, p.year = 26, p.hr = 10;
    p.data[0] = 7;
    rig.fleet.server(0).tcp().pushBytes(QByteArray("M") + encodeDataPack(p));
    QVERIFY(wait::until([&] { return rig.session.rows().size() == 1; }, 2000));
    QCOMPARE(int(rig.session.rows().front().pack.rdr), 200);
    for (int r = 0; r < 8; ++r)
        QCOMPARE(rig.unit(QStringLiteral("127.0.17.2")).LastRead[r], QStringLiteral("***"));
}

void TestMonitorSession::rowsAreCapped()
{
    Rig rig;
    sim::SimUnit u = monitorUnit(0, 1);
    u.monitor.intervalMs = 100000;
    QVERIFY(rig.start({u}));
    QCOMPARE(rig.session.monitorOn(), 1);
    DataPack p;
    p.typ = std::uint8_t(DataPackKind::Label);
    p.month = 5, p.day = 4, p.cent = 20, p.year = 26;
    const QByteArray one = QByteArray("M") + encodeDataPack(p);
    const int total = int(MonitorSession::rowCap) + 50;
    rig.fleet.server(0).tcp().pushBytes(one.repeated(total));
    QVERIFY(wait::until([&] { return rig.session.rowCounter() == quint32(total); }, 30000));
    QCOMPARE(rig.session.rows().size(), MonitorSession::rowCap);
    QCOMPARE(rig.session.rows().front().counter, quint32(51)); // the oldest went
    QCOMPARE(rig.op.logs.filter(QStringLiteral("older ones are dropped")).size(), 1);
}

void TestMonitorSession::unansweredQuitWhileRecordsStream()
{
    Rig rig;
    // Eight readers: every record of reader 6 carries 0x06, and labels pass 6 and 21 (0x15).
    sim::SimUnit u = monitorUnit(0, 8);
    u.commandFaults.silentCommands = "Q";
    u.monitor.splitRecords = true;
    QVERIFY(rig.start({u}));
    QCOMPARE(rig.session.monitorOn(), 1);
    QVERIFY(wait::until([&] { return rig.session.rows().size() >= 50; }, 5000));
    const int rowsBefore = int(rig.session.rows().size());
    const int sentBefore = rig.monitorOf(0)->recordsSent();
    rig.session.monitorOff(Page::Setup);
    const int sentDuring = rig.monitorOf(0)->recordsSent() - sentBefore;
    const int rowsDuring = int(rig.session.rows().size()) - rowsBefore;
    QVERIFY2(sentDuring > 100, qPrintable(QString::number(sentDuring)));
    // The unit never answered: no byte of a record was taken for its ACK, and the records
    // that streamed meanwhile reached the rows while the wait ran.
    QVERIFY(!rig.op.logged(QStringLiteral("Monitor off")));
    QVERIFY(rig.op.logged(QStringLiteral("Did not receive an Ack from Vork Unit 127.0.17.2")));
    QVERIFY2(rowsDuring >= sentDuring - 10, qPrintable(QStringLiteral("%1 of %2").arg(rowsDuring).arg(sentDuring)));
    QVERIFY(rig.op.logs.filter(QStringLiteral("Incomplete")).isEmpty());
    QCOMPARE(rig.session.lostRecords(), 0);
}

void TestMonitorSession::incompleteRecordFailsTheSession()
{
    Rig rig;
    sim::SimUnit u = monitorUnit(0, 1);
    u.monitor.intervalMs = 100000;
    QVERIFY(rig.start({u}));
    QCOMPARE(rig.session.monitorOn(), 1);
    QSignalSpy lost(&rig.session, &MonitorSession::recordsLost);
    DataPack p;
    p.typ = std::uint8_t(DataPackKind::Label);
    p.month = 5, p.day = 4, p.cent = 20, p.year = 26;
    const QByteArray one = QByteArray("M") + encodeDataPack(p);
    rig.fleet.server(0).tcp().pushBytes(one + one.left(9));
    QVERIFY(wait::until([&] { return lost.size() == 1; }, 3000));
    QCOMPARE(rig.session.lostRecords(), 1);
    QCOMPARE(int(rig.session.rows().size()), 1);
    QVERIFY(rig.op.logged(MonitorSession::lostText(QStringLiteral("127.0.17.2"), 1)));
    // The stream goes on in step.
    rig.fleet.server(0).tcp().pushBytes(one);
    QVERIFY(wait::until([&] { return rig.session.rows().size() == 2; }, 2000));
    // A second loss is counted and logged; the operator was told once.
    rig.fleet.server(0).tcp().pushBytes(one.left(5));
    QVERIFY(wait::until([&] { return lost.size() == 2; }, 3000));
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning),
             QStringList{MonitorSession::lostText(QStringLiteral("127.0.17.2"), 1)});
}

QTEST_GUILESS_MAIN(TestMonitorSession)
#include "tst_monitorsession.moc"
