// Whole discovery cycles against simulated units on loopback.
#include "core/boundedwait.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "loopbackcycle.h"
#include "unit/announcement.h"
#include "unit/unittable.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace vork;
using sim::SimUnit;

namespace {

// Units live on 127.0.2.x so a demo simulator on 127.0.0.x never answers here.
QString unitAddress(int host)
{
    return QStringLiteral("127.0.2.") + QString::number(host);
}

SimUnit makeUnit(const QString &address, const QString &desc)
{
    SimUnit u = sim::demoUnit(0, QHostAddress(address));
    u.description = desc;
    return u;
}

class Fixture : public LoopbackCycle
{
public:
    Fixture() : LoopbackCycle(400) {}

    void add(const SimUnit &u) { addUnit(u); }
    QStringList tableColumn(QString udppack::*field) const
    {
        QStringList out;
        for (int i = 0; i < units->count(); ++i)
            out << units->unit(i).*field;
        return out;
    }
};

} // namespace

class TestDiscoveryCycle : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void answersEnterTheTableInArrivalOrder();
    void sortedCycleShowsRowsOnlyAtTheEnd();
    void sortOrders_data();
    void sortOrders();
    void duplicateAddressWarningNamesBothMacsOnce();
    void unitAnsweringTwiceIsOneEntry();
    void deficientDatagramIsLoggedAndIgnored();
    void clockSyncQueryCarriesThePcClock_data();
    void clockSyncQueryCarriesThePcClock();
    void noUnitFound();
    void receiveRuleOrder_data();
    void receiveRuleOrder();
    void endToneSuppression();
};

void TestDiscoveryCycle::answersEnterTheTableInArrivalOrder()
{
    Fixture f;
    // Delays fix the arrival order against the order of the targets.
    const int delays[] = {160, 0, 80};
    for (int i = 0; i < 3; ++i) {
        SimUnit u = makeUnit(unitAddress(10 + i), QStringLiteral("Unit %1").arg(i));
        u.faults.delayMs = delays[i];
        f.add(u);
    }
    QVERIFY(f.startFleet());
    QSignalSpy entered(f.cycle, &DiscoveryCycle::unitEntered);
    QVERIFY(f.run());

    QCOMPARE(f.tableColumn(&udppack::ip),
             (QStringList{unitAddress(11), unitAddress(12), unitAddress(10)}));
    QCOMPARE(entered.count(), 3);
    QCOMPARE(entered.at(2).at(0).toInt(), 2);
    QVERIFY(f.cycle->listComplete());
    QCOMPARE(f.op.panels[0], QStringLiteral(" 3 Vork Unit(s) found"));
    QVERIFY(f.op.logged(QStringLiteral("BroadCast Msg Received From ") + unitAddress(11) + QStringLiteral(" BC:130")));
    QCOMPARE(f.op.tones.first(), Tone::DiscoveryStart);
    QCOMPARE(f.op.tones.last(), Tone::DiscoveryEnd);
    QVERIFY(f.op.messages.isEmpty());
    // The query is the plain 13-byte one.
    QCOMPARE(f.fleet.server(0).received().first().bytes, QByteArray("SVRK?\0\0\0\0\0\0\0\0", 13));
}

void TestDiscoveryCycle::sortedCycleShowsRowsOnlyAtTheEnd()
{
    Fixture f;
    f.add(makeUnit(unitAddress(20), QStringLiteral("B")));
    f.add(makeUnit(unitAddress(21), QStringLiteral("A")));
    QVERIFY(f.startFleet());
    f.cycle->setSortOrder(SortOrder::Description);
    QSignalSpy sorted(f.cycle, &DiscoveryCycle::listSorted);
    f.cycle->start();
    QVERIFY(!f.cycle->listComplete());
    QVERIFY(wait::until([&] { return f.units->count() == 2; }, 2000));
    QVERIFY(!f.cycle->listComplete());
    QVERIFY(f.op.panels[0].startsWith(QStringLiteral(" Sorting...")));
    QCOMPARE(f.op.panels[0], QStringLiteral(" Sorting...2"));
    QVERIFY(wait::until([&] { return !f.cycle->collecting(); }, 3000));
    QCOMPARE(sorted.count(), 1);
    QVERIFY(f.cycle->listComplete());
    QCOMPARE(f.tableColumn(&udppack::desc), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QCOMPARE(f.op.panels[0], QStringLiteral(" 2 Vork Unit(s) found"));
}

void TestDiscoveryCycle::sortOrders_data()
{
    // Each row: the units in arrival order (address host, description, readers, model, version, run time)
    // and the expected order of descriptions.
    QTest::addColumn<QString>("units");
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("expected");
    QTest::newRow("IP address padded") << "40,a,1,0,316,0;5,b,1,0,316,0;200,c,1,0,316,0"
                                       << int(SortOrder::IPAddress) << "b,a,c";
    QTest::newRow("description") << "30,beta,1,0,316,0;31,Alpha,1,0,316,0;32,alpha,1,0,316,0"
                                 << int(SortOrder::Description) << "Alpha,alpha,beta";
    QTest::newRow("readers as text, equal keys keep their places")
        << "30,eight,8,0,316,0;31,one-a,1,0,316,0;32,one-b,1,0,316,0" << int(SortOrder::Readers)
        << "one-a,one-b,eight";
    // Ranks 2, 10, 1: as text 1 < 10 < 2.
    QTest::newRow("model rank as text") << "30,rank2,8,0,316,0;31,rank10,2,5,316,0;32,rank1,2,0,316,0"
                                        << int(SortOrder::Model) << "rank1,rank10,rank2";
    QTest::newRow("run time in whole minutes as number")
        << "30,long,1,0,316,600000;31,short,1,0,316,7200;32,mid,1,0,316,86400" << int(SortOrder::RunTime)
        << "short,mid,long";
    QTest::newRow("version as number") << "30,v503,1,8,503,0;31,v258,1,0,258,0;32,v316,1,0,316,0"
                                       << int(SortOrder::Version) << "v258,v316,v503";
}

void TestDiscoveryCycle::sortOrders()
{
    QFETCH(QString, units);
    QFETCH(int, order);
    QFETCH(QString, expected);
    Fixture f;
    int delay = 0;
    for (const QString &spec : units.split(QLatin1Char(';'))) {
        const QStringList v = spec.split(QLatin1Char(','));
        SimUnit u = makeUnit(unitAddress(v[0].toInt()), v[1]);
        u.readers = static_cast<std::uint8_t>(v[2].toInt());
        u.model = static_cast<std::uint8_t>(v[3].toInt());
        const int version = v[4].toInt();
        u.version = {static_cast<std::uint8_t>(version / 100), static_cast<std::uint8_t>(version / 10 % 10),
                     static_cast<std::uint8_t>(version % 10)};
        u.runTime = v[5].toUInt();
        u.faults.delayMs = delay; // arrival order as listed
        delay += 60;
        f.add(u);
    }
    QVERIFY(f.startFleet());
    f.cycle->setSortOrder(static_cast<SortOrder>(order));
    QVERIFY(f.run());
    QCOMPARE(f.tableColumn(&udppack::desc).join(QLatin1Char(',')), expected);
    for (int i = 0; i < f.units->count(); ++i)
        QCOMPARE(f.units->psvrks(i), &f.units->unit(i));
}

void TestDiscoveryCycle::duplicateAddressWarningNamesBothMacsOnce()
{
    Fixture f;
    SimUnit u = makeUnit(unitAddress(50), QStringLiteral("twin"));
    u.faults.duplicate = true;
    u.faults.duplicateMac = QStringLiteral("0050C2000BAD");
    f.add(u);
    f.add(makeUnit(unitAddress(51), QStringLiteral("other")));
    f.targets.append(unitAddress(50)); // asked twice: every MAC answers twice
    QVERIFY(f.startFleet());
    QVERIFY(f.run());
    QCOMPARE(f.units->count(), 3);
    const QString expected = QStringLiteral("Warning: Duplicate IP address on network ") + unitAddress(50)
                             + QStringLiteral("\n\r ") + u.mac + QStringLiteral(" 0050C2000BAD");
    QCOMPARE(f.op.messageTexts(MessageKind::Warning), QStringList{expected});
}

void TestDiscoveryCycle::unitAnsweringTwiceIsOneEntry()
{
    Fixture f;
    f.add(makeUnit(unitAddress(60), QStringLiteral("once")));
    f.targets.append(unitAddress(60));
    QVERIFY(f.startFleet());
    QVERIFY(f.run());
    QCOMPARE(f.fleet.server(0).received().size(), 2);
    QCOMPARE(f.units->count(), 1);
    QVERIFY(f.op.messageTexts(MessageKind::Warning).isEmpty());
}

void TestDiscoveryCycle::deficientDatagramIsLoggedAndIgnored()
{
    Fixture f;
    SimUnit u = makeUnit(unitAddress(70), QStringLiteral("short"));
    u.faults.shortLength = 100;
    f.add(u);
    QVERIFY(f.startFleet());
    QVERIFY(f.run());
    QCOMPARE(f.units->count(), 0);
    QVERIFY(f.op.logged(QStringLiteral("Deficient BroadCast Msg Received From ") + unitAddress(70)
                        + QStringLiteral(" BC: 100")));
}

void TestDiscoveryCycle::clockSyncQueryCarriesThePcClock_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("carriesClock");
    QTest::newRow("yes") << int(Answer::Yes) << true;
    QTest::newRow("no") << int(Answer::No) << false;
    QTest::newRow("cancel") << int(Answer::Cancel) << false;
}

void TestDiscoveryCycle::clockSyncQueryCarriesThePcClock()
{
    QFETCH(int, answer);
    QFETCH(bool, carriesClock);
    Fixture f;
    SimUnit u = makeUnit(unitAddress(80), QStringLiteral("clock"));
    u.clockOffsetMs = -3LL * 3600 * 1000; // three hours behind
    f.add(u);
    QVERIFY(f.startFleet());
    // Sunday 6 April 2031, 07:08:09
    const QDateTime pc(QDate(2031, 4, 6), QTime(7, 8, 9));
    f.cycle->clock = [pc] { return pc; };
    f.cycle->setSyncClock(true);
    f.op.answers = {static_cast<Answer>(answer)};
    QVERIFY(f.run());

    QCOMPARE(f.op.questions, QStringList{DiscoveryCycle::syncQuestion()});
    QVERIFY(!f.cycle->syncClock());
    const QByteArray sent = f.fleet.server(0).received().first().bytes;
    const QByteArray expected = carriesClock ? QByteArray("SVRK?\x09\x08\x07\x06\x01\x04\x1F\x14", 13)
                                             : QByteArray("SVRK?\0\0\0\0\0\0\0\0", 13);
    QCOMPARE(sent, expected);
    QCOMPARE(f.units->count(), 1);
    const dtpack &dt = f.units->unit(0).dt;
    if (carriesClock) {
        // The unit's clock now follows the PC clock it was sent.
        QCOMPARE(dt.fullYear(), 2031);
        QCOMPARE(dt.mon, 4);
        QCOMPARE(dt.dayOfMonth, 6);
        QCOMPARE(dt.hrs, 7);
        QCOMPARE(dt.minutes, 8);
        QVERIFY(dt.sec >= 9 && dt.sec <= 12);
    } else {
        const QDateTime behind = QDateTime::currentDateTime().addSecs(-3 * 3600);
        QCOMPARE(int(dt.hrs), behind.time().hour());
    }
}

void TestDiscoveryCycle::noUnitFound()
{
    Fixture f;
    SimUnit u = makeUnit(unitAddress(90), QStringLiteral("mute"));
    u.faults.silent = true;
    f.add(u);
    QVERIFY(f.startFleet());
    QVERIFY(f.run());
    QCOMPARE(f.op.messageTexts(MessageKind::Information),
             QStringList{QStringLiteral("No Vork Control Units discovered on the network")});
    QCOMPARE(f.op.panels[0], QStringLiteral(" 0 Vork Unit(s) found"));

    // Not while a set-IP operation is in progress.
    f.op.messages.clear();
    f.cycle->setQuietWhenEmpty(true);
    QVERIFY(f.run());
    QVERIFY(f.op.messages.isEmpty());
}

void TestDiscoveryCycle::receiveRuleOrder_data()
{
    QTest::addColumn<QString>("wait");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("units");
    QTest::addColumn<int>("netstatCount");
    QTest::newRow("RAM-zero result, even a whole announcement") << "ram" << 130 << 0 << -2;
    QTest::newRow("restore result") << "restore" << 130 << 0 << -2;
    QTest::newRow("netstat reply") << "netstat" << 300 << 0 << 300;
    QTest::newRow("netstat failed receive taken as 500") << "netstat" << -1 << 0 << 500;
    QTest::newRow("no wait: an announcement") << "" << 130 << 1 << -2;
    QTest::newRow("no wait: failed receive") << "" << -1 << 0 << -2;
}

void TestDiscoveryCycle::receiveRuleOrder()
{
    QFETCH(QString, wait);
    QFETCH(int, count);
    QFETCH(int, units);
    QFETCH(int, netstatCount);
    Fixture f;
    const QString sender = QStringLiteral("10.0.0.7");
    int gotNetstat = -2;
    QObject::connect(f.cycle, &DiscoveryCycle::netstatReceived,
                     [&](const QByteArray &, int n, const QString &) { gotNetstat = n; });
    using Kind = DiscoveryCycle::ResultKind;
    if (wait == QLatin1String("ram"))
        f.cycle->awaitResult(Kind::RamZero, sender);
    else if (wait == QLatin1String("restore"))
        f.cycle->awaitResult(Kind::Restore, sender);
    else if (wait == QLatin1String("netstat"))
        f.cycle->awaitResult(Kind::Netstat, sender);
    f.cycle->expectUnicastAnswer(sender);

    SimUnit u = makeUnit(sender, QStringLiteral("direct"));
    const QByteArray announced = encodeAnnouncement(u.record(QDateTime::currentDateTime(), 100));
    QByteArray buff(TBroadcast::bufferSize, '\0');
    buff.replace(0, announced.size(), announced);
    buff[0] = '\x5A';
    f.cycle->dataReceived(buff, count, sender);

    QCOMPARE(f.units->count(), units);
    QCOMPARE(gotNetstat, netstatCount);
    if (wait == QLatin1String("ram")) {
        QVERIFY(!f.cycle->result(Kind::RamZero).active);
        QCOMPARE(f.cycle->result(Kind::RamZero).result, std::uint8_t(0x5A));
    }
    if (wait == QLatin1String("restore"))
        QCOMPARE(f.cycle->result(Kind::Restore).result, std::uint8_t(0x5A));
    // Only the announcement rules clear a pending unicast target.
    QCOMPARE(f.cycle->unicastPending().isEmpty(), wait.isEmpty());
    if (wait.isEmpty() && count < 0)
        QVERIFY(f.op.logged(QStringLiteral("Deficient BroadCast Msg Received From 10.0.0.7 BC: -1")));
}

void TestDiscoveryCycle::endToneSuppression()
{
    Fixture f;
    f.add(makeUnit(unitAddress(95), QStringLiteral("tone")));
    QVERIFY(f.startFleet());
    f.cycle->suppressNextEndTone();
    QVERIFY(f.run());
    QVERIFY(!f.op.tones.contains(Tone::DiscoveryEnd));
    QVERIFY(!f.cycle->endToneSuppressed());
    f.op.tones.clear();
    QVERIFY(f.run());
    QVERIFY(f.op.tones.contains(Tone::DiscoveryEnd));
}

QTEST_GUILESS_MAIN(TestDiscoveryCycle)
#include "tst_discoverycycle.moc"
