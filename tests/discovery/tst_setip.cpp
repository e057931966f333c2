// Address change by MAC, ARP clean-up, factory reset and connect-and-reboot:
// datagram bytes, checks and texts, against simulated units on loopback.
#include "connection/commands.h"
#include "connection/connectionmanager.h"
#include "core/address.h"
#include "core/boundedwait.h"
#include "core/options.h"
#include "core/tones.h"
#include "discovery/arpcache.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "discovery/factoryreset.h"
#include "discovery/setip.h"
#include "discovery/unicast.h"
#include "recordingoperator.h"
#include "services/unitservices.h"
#include "simfleet.h"
#include "simunitserver.h"
#include "tools/ping.h"
#include "unit/unittable.h"

#include <QSignalSpy>
#include <QTest>

#include <cerrno>

using namespace vork;
using namespace Qt::StringLiterals;

namespace {

const QByteArray procArp =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "10.231.0.11      0x1         0x2         00:50:c2:e7:00:0b     *        eth0\n"
    "10.231.0.12      0x1         0x2         00:50:c2:e7:00:0c     *        eth1\n"
    "10.231.0.13      0x1         0x0         00:00:00:00:00:00     *        eth0\n"
    "garbage line\n"
    "999.1.1.1        0x1         0x2         00:50:c2:e7:00:0d     *        eth0\n"
    "10.231.0.14      0x1         0x2         00:50:c2:e7:00        *        eth0\n";

SetIp::MacBoxes boxes(const QString &mac12)
{
    SetIp::MacBoxes b;
    for (int i = 0; i < 6; ++i)
        b[std::size_t(i)] = mac12.mid(2 * i, 2);
    return b;
}

// Utility and simulated units on loopback; the request and the discovery go to the target list.
struct Rig
{
    Rig() : services(op), tones(options, [](int, int) {})
    {
        services.transport().setLocalIP(QStringLiteral("127.0.0.1"));
        services.transport().setLocalPort(0);
        services.transport().setTimeOut(400);
        services.cycle().setUseList(true);
        services.cycle().sendToTargets = [this](const QByteArray &q) {
            for (const QString &t : std::as_const(targets)) {
                services.transport().setBroadCastIP(t);
                services.transport().SendBroadCast(q);
            }
        };
        SetIp &s = services.setIp();
        s.listTargets = [this] { return targets; };
        s.setTones(&tones);
        s.setTiming({50, 200, 1, 30, 5});
        // Every 127 address answers a ping: the in-use check is scripted unless a test wants it.
        s.ping = [this](const QString &, int) {
            muteDuringPing = tones.muteCount();
            return false;
        };
        services.arp().readTable = [] { return QByteArray(); };
    }
    bool start()
    {
        QString error;
        const bool ok = fleet.start({}, &error);
        if (!ok)
            qWarning("%s", qPrintable(error));
        return ok;
    }
    QList<QByteArray> heard(int unit, const char *head) const
    {
        QList<QByteArray> out;
        for (const auto &r : fleet.server(unit).received())
            if (r.bytes.startsWith(head))
                out << r.bytes;
        return out;
    }

    RecordingOperator op;
    UnitServices services;
    TOptions options;
    Tones tones;
    sim::SimFleet fleet;
    QStringList targets;
    int muteDuringPing = -1;
};

} // namespace

class TestSetIp : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void datagramBytes();
    void unitAddressCheck_data();
    void unitAddressCheck();
    void setIpNeverSendsWhatDoesNotParse_data();
    void setIpNeverSendsWhatDoesNotParse();
    void refusals_data();
    void refusals();
    void procArpParse();
    void purgeRules_data();
    void purgeRules();
    void purgeDeletesFirstMatchOnItsDevice();
    void purgeAsksFirst();
    void purgeWithoutPermissionLogsOneLine();
    void moveConfirmedByMac();
    void notConfirmed_data();
    void notConfirmed();
    void inUseAnswersPing();
    void openConnectionsAreClosedFirst();
    void lateAnnouncementAfterFinishIsIgnored();
    void factoryResetTcp_data();
    void factoryResetTcp();
    void factoryResetNotFound();
    void factoryResetUdp();
    void factoryResetMacText_data();
    void factoryResetMacText();
    void factoryResetInputBoxes();
    void connectAndReboot();
    void connectAndRebootNeedsCurrentUnit();
    void connectAndRebootConnectFails();
};

void TestSetIp::datagramBytes()
{
    const auto mac = unicast::parseMac(QStringLiteral("00-50-C2-2C-01-02"));
    QVERIFY(mac);
    const auto d = unicast::setIp(*mac, QStringLiteral("192.168.1.50"), QStringLiteral("255.255.255.0"),
                                  QStringLiteral("0.0.0.0"));
    QVERIFY(d);
    QCOMPARE(*d, QByteArray("SVRK*") + QByteArray::fromHex("0050C22C0102C0A80132FFFFFF0000000000"));
    QCOMPARE(d->size(), 23);
    QCOMPARE(unicast::factoryReset(*mac), QByteArray("SVRK^") + QByteArray::fromHex("0050C22C0102"));
}

void TestSetIp::unitAddressCheck_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("zeroAllowed");
    QTest::addColumn<bool>("valid");
    QTest::newRow("zero as gateway") << u"0.0.0.0"_s << true << true;
    QTest::newRow("zero as address") << u"0.0.0.0"_s << false << false;
    QTest::newRow("first number 0") << u"0.1.2.3"_s << false << false;
    QTest::newRow("two dots") << u"10.1.2"_s << false << false;
    QTest::newRow("nothing after third dot") << u"10.1.2."_s << false << false;
    QTest::newRow("above 255") << u"256.1.1.1"_s << false << false;
    QTest::newRow("letters") << u"a.b.c.d"_s << false << false;
    QTest::newRow("letters in one part") << u"10.1.2.x5"_s << true << false;
    QTest::newRow("four dots") << u"10.1.2.3.4"_s << false << false;
    QTest::newRow("private") << u"192.168.0.10"_s << false << true;
    QTest::newRow("zeros inside") << u"10.0.0.5"_s << false << true;
    QTest::newRow("mask") << u"255.255.255.0"_s << false << true;
}

void TestSetIp::unitAddressCheck()
{
    QFETCH(QString, text);
    QFETCH(bool, zeroAllowed);
    QFETCH(bool, valid);
    QCOMPARE(isValidUnitIP(text, zeroAllowed), valid);
}

void TestSetIp::setIpNeverSendsWhatDoesNotParse_data()
{
    QTest::addColumn<QString>("ip");
    QTest::newRow("above 255") << u"256.1.1.1"_s;
    QTest::newRow("short") << u"10.1.2"_s;
    QTest::newRow("trailing dot") << u"10.1.2."_s;
    QTest::newRow("letters") << u"a.b.c.d"_s;
    QTest::newRow("empty") << u""_s;
}

void TestSetIp::setIpNeverSendsWhatDoesNotParse()
{
    QFETCH(QString, ip);
    const auto mac = unicast::parseMac(QStringLiteral("0050C22C0102"));
    QVERIFY(!unicast::setIp(*mac, ip, QStringLiteral("255.255.255.0"), QStringLiteral("0.0.0.0")));
    QVERIFY(!unicast::setIp(*mac, QStringLiteral("10.1.2.3"), ip, QStringLiteral("0.0.0.0")));
}

void TestSetIp::refusals_data()
{
    QTest::addColumn<QStringList>("mac");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("why");
    const QStringList good{u"00"_s, u"50"_s, u"C2"_s, u"2C"_s, u"01"_s, u"02"_s};
    const QString M = QStringLiteral("Invalid MAC address specified");
    const QString I = QStringLiteral("Invalid IP address specified");
    QTest::newRow("empty box") << QStringList{u"00"_s, u"50"_s, u"C2"_s, u"2C"_s, u""_s, u""_s} << u"10.1.2.3"_s << u"255.255.255.0"_s
                               << u"0.0.0.0"_s << M << int(SetIp::Refusal::Mac);
    QTest::newRow("one character") << QStringList{u"00"_s, u"50"_s, u"C2"_s, u"2C"_s, u"1"_s, u"02"_s} << u"10.1.2.3"_s
                                   << u"255.255.255.0"_s << u"0.0.0.0"_s << M << int(SetIp::Refusal::Mac);
    QTest::newRow("lower case") << QStringList{u"00"_s, u"50"_s, u"c2"_s, u"2C"_s, u"01"_s, u"02"_s} << u"10.1.2.3"_s << u"255.255.255.0"_s
                                << u"0.0.0.0"_s << M << int(SetIp::Refusal::Mac);
    QTest::newRow("mac before ip") << QStringList{u"00"_s, u"50"_s, u"G2"_s, u"2C"_s, u"01"_s, u"02"_s} << u"bad"_s << u"bad"_s << u"bad"_s << M
                                   << int(SetIp::Refusal::Mac);
    QTest::newRow("ip zero") << good << u"0.0.0.0"_s << u"255.255.255.0"_s << u"0.0.0.0"_s << I << int(SetIp::Refusal::Ip);
    QTest::newRow("ip two dots") << good << u"10.1.2"_s << u"255.255.255.0"_s << u"0.0.0.0"_s << I << int(SetIp::Refusal::Ip);
    QTest::newRow("ip before mask") << good << u"0.1.2.3"_s << u"bad"_s << u"0.0.0.0"_s << I << int(SetIp::Refusal::Ip);
    QTest::newRow("mask zero") << good << u"10.1.2.3"_s << u"0.0.0.0"_s << u"0.0.0.0"_s
                               << u"Invalid subnet mask specified"_s << int(SetIp::Refusal::Mask);
    QTest::newRow("gateway") << good << u"10.1.2.3"_s << u"255.255.255.0"_s << u"10.1.2."_s
                             << u"Invalid gateway specified"_s << int(SetIp::Refusal::Gateway);
    QTest::newRow("gateway 256") << good << u"10.1.2.3"_s << u"255.255.255.0"_s << u"256.1.1.1"_s
                                 << u"Invalid gateway specified"_s << int(SetIp::Refusal::Gateway);
}

void TestSetIp::refusals()
{
    QFETCH(QStringList, mac);
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(QString, gateway);
    QFETCH(QString, warning);
    QFETCH(int, why);
    Rig rig;
    bool pinged = false;
    rig.services.setIp().ping = [&](const QString &, int) { return pinged = true; };
    QSignalSpy refused(&rig.services.setIp(), &SetIp::refused);
    SetIp::Request r;
    for (int i = 0; i < 6; ++i)
        r.mac[std::size_t(i)] = mac.at(i);
    r.ip = ip;
    r.mask = mask;
    r.gateway = gateway;
    QVERIFY(!rig.services.setIp().start(r));
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning), QStringList{warning});
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused.at(0).at(0).value<SetIp::Refusal>(), SetIp::Refusal(why));
    QVERIFY(!pinged);
    QVERIFY(rig.op.tones.isEmpty()); // refused before the button tone
    QCOMPARE(rig.services.setIp().progress(), 0);
    QCOMPARE(rig.tones.muteCount(), 0);
}

void TestSetIp::procArpParse()
{
    const QList<ArpCache::Entry> e = ArpCache::parseProcArp(procArp);
    QCOMPARE(e.size(), 3); // the garbage, the bad address and the short MAC are dropped
    QCOMPARE(e.at(0).ip, QStringLiteral("10.231.0.11"));
    QCOMPARE(e.at(0).mac, QStringLiteral("00-50-c2-e7-00-0b"));
    QCOMPARE(e.at(0).device, QStringLiteral("eth0"));
    QCOMPARE(e.at(1).device, QStringLiteral("eth1"));
    QCOMPARE(ArpCache::listing(e).at(0),
             QStringLiteral("  10.231.0.11           00-50-c2-e7-00-0b     dynamic"));
    QVERIFY(ArpCache::parseProcArp(QByteArray()).isEmpty());
    QVERIFY(ArpCache::parseProcArp(QByteArray(5000, '\xff')).isEmpty());
}

void TestSetIp::purgeRules_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mac");
    QTest::newRow("match, case ignored") << QStringList{u"  10.0.0.5   00-50-c2-2c-01-02   dynamic"_s}
                                         << u"00-50-C2-2C-01-02"_s << u"10.0.0.5"_s << u"00-50-c2-2c-01-02"_s;
    QTest::newRow("line without 00-50-") << QStringList{u"  10.0.0.5   00-51-c2-2c-01-02   dynamic"_s}
                                         << u"00-51-C2-2C-01-02"_s << u""_s << u""_s;
    QTest::newRow("other MAC") << QStringList{u"  10.0.0.5   00-50-c2-2c-01-03   dynamic"_s} << u"00-50-C2-2C-01-02"_s
                               << u""_s << u""_s;
    QTest::newRow("first match only") << QStringList{u"  10.0.0.5   00-50-c2-2c-01-02   dynamic"_s,
                                                     u"  10.0.0.6   00-50-c2-2c-01-02   dynamic"_s}
                                      << u"00-50-C2-2C-01-02"_s << u"10.0.0.5"_s << u"00-50-c2-2c-01-02"_s;
    QTest::newRow("skips earlier lines") << QStringList{u"Interface: 10.0.0.1 --- 0x3"_s,
                                                        u"  10.0.0.7   00-50-c2-00-00-01   dynamic"_s,
                                                        u"  10.0.0.8   00-50-c2-2c-01-02   static"_s}
                                         << u"00-50-C2-2C-01-02"_s << u"10.0.0.8"_s << u"00-50-c2-2c-01-02"_s;
    // Letters A-F count as address characters: the "a" and "e" of a name before the address join it.
    QTest::newRow("address characters only") << QStringList{u"name 10.0.0.9 xyz 00-50-c2-2c-01-02"_s}
                                             << u"00-50-C2-2C-01-02"_s << u"ae10.0.0.9"_s << u"00-50-c2-2c-01-02"_s;
    // The physical address is the first 17 address characters, others skipped.
    QTest::newRow("17 characters, others skipped") << QStringList{u"10.0.0.1 00-50- c2-2c-01-02xx"_s}
                                                   << u"00-50-C2-2C-01-02"_s << u"10.0.0.1"_s << u"00-50-c2-2c-01-02"_s;
    QTest::newRow("short MAC takes what follows") << QStringList{u"10.0.0.1 00-50-c2-2c-01 dynamic"_s}
                                                  << u"00-50-C2-2C-01-02"_s << u""_s << u""_s;
    QTest::newRow("empty") << QStringList{} << u"00-50-C2-2C-01-02"_s << u""_s << u""_s;
}

void TestSetIp::purgeRules()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, target);
    QFETCH(QString, ip);
    QFETCH(QString, mac);
    const auto m = ArpCache::findEntry(lines, target);
    QCOMPARE(bool(m), !ip.isEmpty());
    if (m) {
        QCOMPARE(m->ip, ip);
        QCOMPARE(m->mac, mac);
    }
}

void TestSetIp::purgeDeletesFirstMatchOnItsDevice()
{
    RecordingOperator op;
    ArpCache arp(op);
    arp.readTable = [] { return procArp; };
    QStringList removed;
    arp.remove = [&](const QString &ip, const QString &dev) {
        removed << ip + QLatin1Char('@') + dev;
        return 0;
    };
    QVERIFY(arp.purge(QStringLiteral("00-50-C2-E7-00-0C"), false));
    QCOMPARE(removed, QStringList{u"10.231.0.12@eth1"_s});
    QVERIFY(op.questions.isEmpty());
    QVERIFY(!arp.purge(QStringLiteral("00-50-C2-E7-00-0D"), false)); // its line had a bad address
    QCOMPARE(removed.size(), 1);
}

void TestSetIp::purgeAsksFirst()
{
    RecordingOperator op;
    ArpCache arp(op);
    arp.readTable = [] { return procArp; };
    int removed = 0;
    arp.remove = [&](const QString &, const QString &) { return ++removed, 0; };
    op.answers = {Answer::No, Answer::Yes};
    QVERIFY(!arp.purge(QStringLiteral("00-50-c2-e7-00-0b"), true));
    QCOMPARE(removed, 0);
    QVERIFY(arp.purge(QStringLiteral("00-50-c2-e7-00-0b"), true));
    QCOMPARE(removed, 1);
    QCOMPARE(op.questions.at(0), QStringLiteral("Delete this entry? IP: 10.231.0.11 MAC: 00-50-c2-e7-00-0b"));
}

void TestSetIp::purgeWithoutPermissionLogsOneLine()
{
    RecordingOperator op;
    ArpCache arp(op);
    arp.readTable = [] { return procArp; };
    arp.remove = [](const QString &, const QString &) { return EPERM; };
    QVERIFY(!arp.purge(QStringLiteral("00-50-C2-E7-00-0B"), false));
    QCOMPARE(op.logs, QStringList{u"ARP entry for 10.231.0.11 not deleted: no permission (needs CAP_NET_ADMIN)"_s});
    QVERIFY(op.messages.isEmpty());
}

void TestSetIp::moveConfirmedByMac()
{
    Rig rig;
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.73.10")));
    u.mac = QStringLiteral("0050C2490A01");
    rig.fleet.add(u);
    QVERIFY(rig.start());
    rig.targets = {QStringLiteral("127.0.73.10"), QStringLiteral("127.0.73.40")};
    SetIp &s = rig.services.setIp();
    QSignalSpy progress(&s, &SetIp::progressChanged);
    QSignalSpy guide(&s, &SetIp::guideMeEnabled);
    QSignalSpy confirmedAt(&s, &SetIp::confirmedAt);
    QSignalSpy finished(&s, &SetIp::finished);
    QVERIFY(s.start({boxes(u.mac), QStringLiteral("127.0.73.40"), QStringLiteral("255.255.0.0"),
                     QStringLiteral("127.0.0.9")}));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
    QCOMPARE(s.state(), SetIp::State::Confirmed);
    const QString success = QStringLiteral("Successfully set IP to 127.0.73.40 on Vork Unit 0050C2490A01");
    QCOMPARE(rig.op.messageTexts(MessageKind::Information), QStringList{success});
    QVERIFY(rig.op.logged(success));
    QCOMPARE(rig.op.logs.count(SetIp::sendingLine(QStringLiteral("127.0.73.40"), u.mac)), 2); // one per target
    QCOMPARE(confirmedAt.size(), 1);
    QCOMPARE(confirmedAt.at(0).at(0).toString(), QStringLiteral("127.0.73.40"));
    // The unit heard exactly the documented bytes and now answers from its new address.
    const QList<QByteArray> got = rig.heard(0, "SVRK*");
    QCOMPARE(got.size(), 1);
    QCOMPARE(got.at(0), QByteArray("SVRK*") + QByteArray::fromHex("0050C2490A01" "7F004928" "FFFF0000" "7F000009"));
    QCOMPARE(rig.fleet.server(0).unit().address.toString(), QStringLiteral("127.0.73.40"));
    QCOMPARE(rig.fleet.server(0).mask().toString(), QStringLiteral("255.255.0.0"));
    QVERIFY(rig.services.units().findByIP(QStringLiteral("127.0.73.40")) >= 0);
    // Progress ran to 40 and back to 0; the mute was up during the run and is down again.
    int top = 0;
    for (const auto &p : progress)
        top = std::max(top, p.at(0).toInt());
    QCOMPARE(top, SetIp::progressMax);
    QCOMPARE(s.progress(), 0);
    QCOMPARE(rig.muteDuringPing, 1);
    QCOMPARE(rig.tones.muteCount(), 0);
    QCOMPARE(guide.first().at(0).toBool(), false);
    QCOMPARE(guide.last().at(0).toBool(), true);
    QVERIFY(!rig.op.messageTexts().contains(DiscoveryCycle::noneFoundText()));
}

void TestSetIp::openConnectionsAreClosedFirst()
{
    Rig rig;
    QList<sim::SimUnit> units;
    for (int i = 0; i < 2; ++i) {
        units << sim::demoUnit(i, QHostAddress(QStringLiteral("127.0.73.%1").arg(60 + i)));
        units.last().version = {3, 0, 0}; // no login: the command bytes are all the unit hears
        rig.fleet.add(units.last());
    }
    QVERIFY(rig.start());
    rig.targets = {QStringLiteral("127.0.73.60"), QStringLiteral("127.0.73.61")};
    UnitTable &table = rig.services.units();
    for (int i = 0; i < 2; ++i) {
        const int k = table.enterAnnouncement(units.at(i).record(QDateTime::currentDateTime(), 0),
                                              units.at(i).address.toString());
        table.setCurrent(&table.unit(k));
        QVERIFY(rig.services.connections().Connect_or_timeout(2000));
    }
    QList<bool> wasOpen;
    for (int i = 0; i < 2; ++i) {
        const int k = table.findByIP(units.at(i).address.toString());
        QVERIFY(k >= 0);
        wasOpen << rig.services.connections().isOpen(&table.unit(k));
    }
    QCOMPARE(wasOpen, (QList<bool>{true, true})); // the unit that is not current only hears the close from the round

    SetIp &s = rig.services.setIp();
    QSignalSpy finished(&s, &SetIp::finished);
    QVERIFY(s.start({boxes(units.at(0).mac), QStringLiteral("127.0.73.62")}));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
    // Every unit that was connected heard the close before the address change went out.
    for (int i = 0; i < 2; ++i) {
        if (!wasOpen.at(i))
            continue;
        const auto commands = rig.fleet.server(i).tcp().commands();
        QVERIFY(!commands.isEmpty());
        QCOMPARE(commands.last().byte, std::uint8_t(Command::Close));
    }
    for (int i = 0; i < table.count(); ++i)
        QVERIFY(!rig.services.connections().isOpen(&table.unit(i)));
    QCOMPARE(rig.fleet.server(0).unit().address.toString(), QStringLiteral("127.0.73.62"));
}

void TestSetIp::notConfirmed_data()
{
    QTest::addColumn<bool>("otherOnNewAddress");
    QTest::newRow("unit ignores the request") << false;
    QTest::newRow("another device answers on the new address") << true;
}

void TestSetIp::notConfirmed()
{
    QFETCH(bool, otherOnNewAddress);
    Rig rig;
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.73.11")));
    u.mac = QStringLiteral("0050C2490B01");
    u.faults.ignoreSetIp = true;
    rig.fleet.add(u);
    rig.targets = {QStringLiteral("127.0.73.11"), QStringLiteral("127.0.73.41")};
    if (otherOnNewAddress) {
        sim::SimUnit other = sim::demoUnit(1, QHostAddress(QStringLiteral("127.0.73.41")));
        other.mac = QStringLiteral("0050C2490B02");
        rig.fleet.add(other);
    }
    QVERIFY(rig.start());
    SetIp &s = rig.services.setIp();
    QSignalSpy finished(&s, &SetIp::finished);
    QVERIFY(s.start({boxes(u.mac), QStringLiteral("127.0.73.41")}));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QCOMPARE(s.state(), SetIp::State::Failed);
    QCOMPARE(rig.heard(0, "SVRK*").size(), 1);
    QCOMPARE(rig.fleet.server(0).unit().address.toString(), QStringLiteral("127.0.73.11"));
    QVERIFY(rig.op.logged(QStringLiteral("Failed to set the IP address on Vork Unit 0050C2490B01")));
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning),
             QStringList{QStringLiteral(
                 "Failed to set the IP address on Vork Unit 0050C2490B01\n\n\rTry cycling power on the Vork unit. "
                 "Then try again but do not do a discover before\n\rsetting the IP. If the utility has "
                 "\"auto-discover on startup\" enabled, then turn this feature\n\roff and restart the utility before "
                 "making a second attempt at setting the IP.")});
    QVERIFY(rig.op.messageTexts(MessageKind::Information).isEmpty());
    if (otherOnNewAddress) // it answered from the new address, and still did not count
        QVERIFY(rig.services.units().findByIP(QStringLiteral("127.0.73.41")) >= 0);
    QCOMPARE(rig.tones.muteCount(), 0);
}

void TestSetIp::inUseAnswersPing()
{
    Rig rig;
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.73.12")));
    rig.fleet.add(u);
    QVERIFY(rig.start());
    rig.targets = {QStringLiteral("127.0.73.12")};
    IcmpPinger pinger(rig.op);
    if (!pinger.ping(QStringLiteral("127.0.73.42"), 500, false))
        QSKIP(qPrintable(QStringLiteral("ICMP echo not permitted here: ") + pinger.deniedReason()));
    rig.op.logs.clear();
    SetIp &s = rig.services.setIp();
    s.ping = [&](const QString &host, int ms) { return pinger.ping(host, ms, false); };
    QSignalSpy refused(&s, &SetIp::refused);
    QSignalSpy guide(&s, &SetIp::guideMeEnabled);
    QVERIFY(!s.start({boxes(u.mac), QStringLiteral("127.0.73.42")}));
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning),
             QStringList{QStringLiteral("IP: 127.0.73.42 is already assigned to a device on the network")});
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused.at(0).at(0).value<SetIp::Refusal>(), SetIp::Refusal::InUse);
    QCOMPARE(s.progress(), 0);
    QVERIFY(!s.waiting());
    QCOMPARE(rig.tones.muteCount(), 0);
    QCOMPARE(guide.last().at(0).toBool(), true);
    wait::delay(100);
    QVERIFY(rig.heard(0, "SVRK").isEmpty()); // nothing was sent
}

void TestSetIp::lateAnnouncementAfterFinishIsIgnored()
{
    Rig rig;
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.73.13")));
    u.faults.ignoreSetIp = true;
    u.faults.delayMs = 900; // answers after the window has ended
    rig.fleet.add(u);
    QVERIFY(rig.start());
    rig.targets = {QStringLiteral("127.0.73.13")};
    SetIp &s = rig.services.setIp();
    QSignalSpy finished(&s, &SetIp::finished);
    QSignalSpy confirmedAt(&s, &SetIp::confirmedAt);
    QVERIFY(s.start({boxes(u.mac), QStringLiteral("127.0.73.13")}));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
    QCOMPARE(s.state(), SetIp::State::Failed);
    wait::delay(1000);
    QCOMPARE(confirmedAt.size(), 0);
    QCOMPARE(s.state(), SetIp::State::Failed);
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning).size(), 1);
}

void TestSetIp::factoryResetTcp_data()
{
    QTest::addColumn<QByteArray>("nak");
    QTest::addColumn<QByteArray>("mute");
    QTest::addColumn<int>("dropAfter");
    QTest::addColumn<QByteArray>("stray");
    QTest::addColumn<QByteArray>("heard");
    QTest::addColumn<int>("result");
    using R = FactoryReset::Result;
    QTest::newRow("whole sequence") << QByteArray() << QByteArray() << 0 << QByteArray() << QByteArray("ScR")
                                    << int(R::Restored);
    QTest::newRow("S refused") << QByteArray("S") << QByteArray() << 0 << QByteArray() << QByteArray("S")
                               << int(R::Stopped);
    QTest::newRow("c unanswered") << QByteArray() << QByteArray("c") << 0 << QByteArray() << QByteArray("Sc")
                                  << int(R::Stopped);
    QTest::newRow("link dropped after the first ACK") << QByteArray() << QByteArray() << 1 << QByteArray()
                                                       << QByteArray("S") << int(R::Stopped);
    // Each answer doubled: the spare ACK of S must not stand in for the answer to c.
    QTest::newRow("doubled ACK") << QByteArray() << QByteArray("c") << 0 << QByteArray("\x06") << QByteArray("Sc")
                                 << int(R::Stopped);
    QTest::newRow("doubled ACK, all answered") << QByteArray() << QByteArray() << 0 << QByteArray("\x06")
                                               << QByteArray("ScR") << int(R::Restored);
    QTest::newRow("noise ahead of the ACK") << QByteArray() << QByteArray() << 0 << QByteArray("A")
                                            << QByteArray("S") << int(R::Stopped);
}

void TestSetIp::factoryResetTcp()
{
    QFETCH(QByteArray, nak);
    QFETCH(QByteArray, mute);
    QFETCH(int, dropAfter);
    QFETCH(QByteArray, stray);
    QFETCH(QByteArray, heard);
    QFETCH(int, result);
    Rig rig;
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.74.10")));
    // The reset sends no login: a unit from before logins.
    u.version = {2, 9, 0};
    u.model = 2;
    u.commandFaults.nakCommands = nak;
    u.commandFaults.silentCommands = mute;
    u.commandFaults.dropAfterBytes = dropAfter;
    u.commandFaults.strayBytes = stray;
    rig.fleet.add(u);
    QVERIFY(rig.start());
    FactoryReset &reset = rig.services.factoryReset();
    int pings = 0;
    reset.ping = [&](const QString &host, int ms) {
        ++pings;
        return host == QLatin1String("127.0.74.10") && ms == FactoryReset::pingTimeoutMs && pings == 3;
    };
    QSignalSpy counts(&reset, &FactoryReset::pingCountChanged);
    QCOMPARE(int(reset.resetByAddress(QStringLiteral("127.0.74.10"))), result);
    QCOMPARE(pings, 3);
    QCOMPARE(counts.size(), 4);
    QCOMPARE(counts.at(0).at(0).toString(), QStringLiteral("50"));
    QCOMPARE(counts.at(2).at(0).toString(), QStringLiteral("48"));
    QCOMPARE(counts.last().at(0).toString(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(rig.fleet.server(0).tcp().received(), heard, 2000);
    wait::delay(50);
    QCOMPARE(rig.fleet.server(0).tcp().received(), heard);
    if (result == int(FactoryReset::Result::Restored)) {
        QCOMPARE(rig.op.messageTexts(MessageKind::Information),
                 QStringList{QStringLiteral("Factory defaults restored for unit 127.0.74.10")});
    } else {
        QVERIFY(rig.op.messages.isEmpty());
        QVERIFY(rig.op.logs.last().startsWith(QStringLiteral("Factory reset of 127.0.74.10 stopped")));
    }
    QCOMPARE(rig.op.busyDepth, 0);
}

void TestSetIp::factoryResetNotFound()
{
    Rig rig;
    FactoryReset &reset = rig.services.factoryReset();
    int pings = 0;
    reset.ping = [&](const QString &, int) { return ++pings, false; };
    QCOMPARE(reset.resetByAddress(QStringLiteral("127.0.74.99")), FactoryReset::Result::NotFound);
    QCOMPARE(pings, FactoryReset::pingTurns);
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning),
             QStringList{QStringLiteral("127.0.74.99 not found on the network")});
    QCOMPARE(rig.op.busyDepth, 0);
}

void TestSetIp::factoryResetUdp()
{
    Rig rig;
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.74.11")));
    u.mac = QStringLiteral("0050C24A0B01");
    rig.fleet.add(u);
    QVERIFY(rig.start());
    FactoryReset &reset = rig.services.factoryReset();
    reset.udpDestination = QStringLiteral("127.0.74.11");
    QCOMPARE(reset.resetByMac(QStringLiteral("0050c24a0b01")), FactoryReset::Result::Requested);
    QVERIFY(rig.op.logged(QStringLiteral("Attempting to factory reset 0050c24a0b01")));
    QCOMPARE(rig.services.transport().BroadCastIP(), QStringLiteral("255.255.255.255"));
    // The unit takes the request without a word; the next discovery's answer ends the wait.
    wait::delay(300);
    QVERIFY(rig.services.cycle().factoryResetPending());
    QVERIFY(rig.op.messageTexts(MessageKind::Information).isEmpty());
    rig.targets = {QStringLiteral("127.0.74.11")};
    QVERIFY(rig.services.cycle().start());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.services.cycle().factoryResetPending(), 3000);
    QCOMPARE(rig.heard(0, "SVRK^"), QList<QByteArray>{QByteArray("SVRK^") + QByteArray::fromHex("0050C24A0B01")});
    QCOMPARE(rig.op.messageTexts(MessageKind::Information),
             QStringList{QStringLiteral("Factory Reset Successful for 0050C24A0B01")});
}

void TestSetIp::factoryResetMacText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("upper") << u"0050C22C0102"_s << true;
    QTest::newRow("lower") << u"0050c22c0102"_s << true;
    QTest::newRow("not 0050") << u"0051C22C0102"_s << false;
    QTest::newRow("short") << u"0050C22C010"_s << false;
    QTest::newRow("long") << u"0050C22C01020"_s << false;
    QTest::newRow("not hex") << u"0050C22C01G2"_s << false;
    QTest::newRow("separators") << u"00-50-C2-2C-01-02"_s << false;
}

void TestSetIp::factoryResetMacText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(FactoryReset::validMacText(text), valid);
    Rig rig;
    FactoryReset &reset = rig.services.factoryReset();
    reset.udpDestination = QStringLiteral("127.0.74.250");
    const auto r = reset.resetByMac(text);
    QCOMPARE(r == FactoryReset::Result::Requested, valid);
    if (!valid) {
        QCOMPARE(rig.op.messageTexts(MessageKind::Warning),
                 QStringList{text + QStringLiteral(" is not a valid Brivella MAC address")});
        QVERIFY(!rig.services.cycle().factoryResetPending());
    }
}

void TestSetIp::factoryResetInputBoxes()
{
    Rig rig;
    FactoryReset &reset = rig.services.factoryReset();
    reset.udpDestination = QStringLiteral("127.0.74.250");
    // A bad address, "try again" No: nothing more is asked.
    rig.op.inputs = {QStringLiteral("10.1.2")};
    rig.op.answers = {Answer::No};
    QCOMPARE(reset.run(), FactoryReset::Result::Invalid);
    QCOMPARE(rig.op.questions, QStringList{u"10.1.2 is an invalid IP address. Try again?"_s});
    QCOMPARE(rig.op.inputPrompts.size(), 1);
    QCOMPARE(rig.op.inputPrompts.at(0),
             QStringLiteral("Restore Factory Defaults|Enter IP Address of unit to restore using TCP or click Cancel to use UDP (v3.0.0 && above "
                            "only)"));
    QCOMPARE(rig.op.tones, QList<Tone>{Tone::Button});
    // Cancel on the address: the MAC box; Cancel there too: nothing happens.
    rig.op.inputs.clear();
    rig.op.inputPrompts.clear();
    QCOMPARE(reset.run(), FactoryReset::Result::Cancelled);
    QCOMPARE(rig.op.inputPrompts.at(1), QStringLiteral("Restore Factory Defaults|Enter MAC Address to restore using UDP or click Cancel to abort"));
}

void TestSetIp::connectAndReboot()
{
    Rig rig;
    sim::SimUnit cur = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.74.20")));
    sim::SimUnit other = sim::demoUnit(1, QHostAddress(QStringLiteral("127.0.74.21")));
    rig.fleet.add(cur);
    rig.fleet.add(other);
    QVERIFY(rig.start());
    UnitTable &units = rig.services.units();
    units.enterAnnouncement(cur.record(QDateTime::currentDateTime(), 0), QStringLiteral("127.0.74.20"));
    units.setCurrent(&units.unit(0));
    const udppack before = units.unit(0);
    ConnectAndReboot &c = rig.services.connectAndReboot();
    c.turnMs = 200;
    QCOMPARE(c.run(QStringLiteral("127.0.74.21")), ConnectAndReboot::Result::Rebooted);
    QCOMPARE(rig.op.messageTexts(MessageKind::Information),
             QStringList{QStringLiteral("Reboot successful for Vork Unit 127.0.74.21")});
    QTRY_VERIFY_WITH_TIMEOUT(rig.fleet.server(1).isDown(), 2000);
    // The current unit needs a login, so the borrowed client greets with it.
    QCOMPARE(rig.fleet.server(1).tcp().received(), authenticationText() + QByteArray("R"));
    QCOMPARE(units.current(), &units.unit(0));
    QCOMPARE(units.unit(0).ip, before.ip);
    QCOMPARE(units.unit(0).mac, before.mac);
    QCOMPARE(units.unit(0).link, before.link);
    QVERIFY(!rig.fleet.server(0).isDown());
    QCOMPARE(rig.op.busyDepth, 0);
}

void TestSetIp::connectAndRebootNeedsCurrentUnit()
{
    Rig rig;
    ConnectAndReboot &c = rig.services.connectAndReboot();
    QCOMPARE(c.run(QStringLiteral("127.0.74.22")), ConnectAndReboot::Result::NoUnit);
    QVERIFY(rig.op.messages.isEmpty());
    QCOMPARE(rig.op.busyDepth, 0);
}

void TestSetIp::connectAndRebootConnectFails()
{
    Rig rig;
    UnitTable &units = rig.services.units();
    sim::SimUnit cur = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.74.23")));
    units.enterAnnouncement(cur.record(QDateTime::currentDateTime(), 0), QStringLiteral("127.0.74.23"));
    units.setCurrent(&units.unit(0));
    ConnectAndReboot &c = rig.services.connectAndReboot();
    c.turns = 2;
    c.turnMs = 100;
    QCOMPARE(c.run(QStringLiteral("10.1.2")), ConnectAndReboot::Result::Invalid);
    QVERIFY(rig.op.messages.isEmpty());
    QCOMPARE(c.run(QStringLiteral("127.0.74.24")), ConnectAndReboot::Result::ConnectFailed);
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning),
             QStringList{QStringLiteral("Failed to Connect to Vork Unit 127.0.74.24")});
}

QTEST_MAIN(TestSetIp)
#include "tst_setip.moc"
