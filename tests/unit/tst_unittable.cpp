// The unit table: entering announcements, duplicates, capacity, client
// objects, finding units, selection, the unit lists and the sorts.

#include "unit/unittable.h"

#include "recordingoperator.h"

#include <QtTest>

using namespace vork;

Q_DECLARE_METATYPE(vork::SortOrder)

namespace {

// A decoded announcement. The address text inside differs from every sender
// used here, so a test sees which of the two the table keeps.
udppack announced(const QString &mac, const QString &desc = QStringLiteral("Unit"))
{
    udppack u;
    u.mac = mac;
    u.desc = desc;
    u.ip = QStringLiteral("10.99.99.99");
    u.ver.vnum = {5, 0, 2};
    u.ver.vrcnt = 2;
    u.blv = QStringLiteral("1.05");
    u.rt = 3600;
    return u;
}

QString loopback(int n)
{
    return QStringLiteral("127.0.%1.%2").arg(n / 200).arg(n % 200 + 2);
}

QString macOf(int n)
{
    return QStringLiteral("0050C2%1").arg(n, 6, 16, QLatin1Char('0')).toUpper();
}

// Fills the table with n units from distinct loopback senders.
void fill(UnitTable &t, int n)
{
    for (int i = 0; i < n; ++i)
        QCOMPARE(t.enterAnnouncement(announced(macOf(i)), loopback(i)), i);
}

// Table indexes of the active list, in order.
QList<int> activeIndexes(const UnitTable &t)
{
    QList<int> out;
    for (int i = 0; i < t.activeCount(); ++i)
        out.append(t.indexOf(t.active(i)));
    return out;
}

// "s" selected, "c" connected (and so selected), "." neither.
void setStates(UnitTable &t, const QString &states)
{
    for (int i = 0; i < states.size(); ++i) {
        t.unit(i).connected = states[i] == QLatin1Char('c');
        t.unit(i).selected = states[i] != QLatin1Char('.');
    }
}

// Sets the field a sort order looks at; run-time orders take the key as seconds.
void setKey(udppack &u, SortOrder order, const QString &key)
{
    switch (order) {
    case SortOrder::MACAddress: u.mac = key; break;
    case SortOrder::Description: u.desc = key; break;
    case SortOrder::Readers: u.ver.vrcnt = std::uint8_t(key.toInt()); break;
    case SortOrder::Version: {
        const QStringList d = key.split(QLatin1Char('.'));
        u.ver.vnum = {std::uint8_t(d[0].toInt()), std::uint8_t(d[1].toInt()), std::uint8_t(d[2].toInt())};
        break;
    }
    case SortOrder::Model: { // "readers/model"
        const QStringList d = key.split(QLatin1Char('/'));
        u.ver.vrcnt = std::uint8_t(d[0].toInt());
        u.model = std::uint8_t(d[1].toInt());
        break;
    }
    default: u.rt = key.toUInt(); break;
    }
}

// Enters one unit per key, numbered by naddr (no sort looks at it); the IP
// order takes the key as the sender address.
void fillKeyed(UnitTable &t, SortOrder order, const QStringList &keys)
{
    for (int i = 0; i < keys.size(); ++i) {
        udppack a = announced(macOf(i));
        a.naddr = std::uint16_t(i);
        QString sender = loopback(i);
        if (order == SortOrder::IPAddress)
            sender = keys[i];
        else
            setKey(a, order, keys[i]);
        QCOMPARE(t.enterAnnouncement(a, sender), i);
    }
}

} // namespace

class TestUnitTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void enterAndUpdate();
    void duplicates_data();
    void duplicates();
    void capacity();
    void linkPerEntry();
    void reusedSlotGetsAFreshLink();
    void clearTable();
    void findByIP();
    void findByLinkOnlyValidEntries();
    void toggleSelection_data();
    void toggleSelection();
    void toggleOutOfRange();
    void selectAll();
    void rebuildLists_data();
    void rebuildLists();
    void rebuildAllKeepsActive();
    void sortActiveList_data();
    void sortActiveList();
    void sortTable_data();
    void sortTable();
    void sortMovesStateWithRecords();
    void autoUpdateTab_data();
    void autoUpdateTab();
};

void TestUnitTable::enterAndUpdate()
{
    RecordingOperator op;
    UnitTable t(op);
    QSignalSpy entered(&t, &UnitTable::unitEntered);

    QCOMPARE(t.enterAnnouncement(announced(macOf(1), QStringLiteral("First")), QStringLiteral("127.0.0.2")), 0);
    udppack &e = t.unit(0);
    QCOMPARE(e.ip, QStringLiteral("127.0.0.2"));
    QCOMPARE(e.desc, QStringLiteral("First"));
    QCOMPARE(t.psvrks(0), &e);
    QVERIFY(!t.psvrks(1));

    // The program's state of the entry survives an update.
    e.selected = true;
    e.connected = true;
    e.FlashState = 7;
    e.update = 1;
    e.LastRead[2] = QStringLiteral("42");
    e.Monitor = true;
    const quint64 link = e.link;

    udppack second = announced(macOf(1), QStringLiteral("Renamed"));
    second.selected = false; // announcements carry no program state
    second.rt = 7200;
    QCOMPARE(t.enterAnnouncement(second, QStringLiteral("127.0.0.2")), 0);
    QCOMPARE(t.count(), 1);
    QCOMPARE(e.desc, QStringLiteral("Renamed"));
    QCOMPARE(e.rt, std::uint32_t(7200));
    QCOMPARE(e.ip, QStringLiteral("127.0.0.2"));
    QVERIFY(e.selected);
    QVERIFY(e.connected);
    QCOMPARE(e.FlashState, std::uint16_t(7));
    QCOMPARE(e.update, std::uint8_t(1));
    QCOMPARE(e.LastRead[2], QStringLiteral("42"));
    QVERIFY(!e.Monitor);
    QCOMPARE(e.link, link); // the same unit keeps its client
    QVERIFY(!t.duplicate());

    QCOMPARE(entered.size(), 2);
    QCOMPARE(entered[0], (QList<QVariant>{0, true}));
    QCOMPARE(entered[1], (QList<QVariant>{0, false}));
}

void TestUnitTable::duplicates_data()
{
    QTest::addColumn<QStringList>("answers"); // "sender mac" per answer
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("address");     // empty: no duplicate
    QTest::addColumn<QStringList>("macs");

    QTest::newRow("one unit answering twice")
        << QStringList{QStringLiteral("127.0.0.5 A1"), QStringLiteral("127.0.0.5 A1")} << 1 << QString() << QStringList{};
    QTest::newRow("two MACs on one IP, answering several times")
        << QStringList{QStringLiteral("127.0.0.5 A1"), QStringLiteral("127.0.0.5 B2"), QStringLiteral("127.0.0.5 A1"),
                       QStringLiteral("127.0.0.5 B2"), QStringLiteral("127.0.0.5 B2")}
        << 2 << QStringLiteral("127.0.0.5") << QStringList{QStringLiteral("A1"), QStringLiteral("B2")};
    QTest::newRow("MAC changed, IP kept")
        << QStringList{QStringLiteral("127.0.0.5 A1"), QStringLiteral("127.0.0.5 C3")}
        << 2 << QStringLiteral("127.0.0.5") << QStringList{QStringLiteral("A1"), QStringLiteral("C3")};
    QTest::newRow("duplicate among other units")
        << QStringList{QStringLiteral("127.0.0.4 X0"), QStringLiteral("127.0.0.5 A1"), QStringLiteral("127.0.0.6 Y0"),
                       QStringLiteral("127.0.0.5 B2"), QStringLiteral("127.0.0.6 Y0"), QStringLiteral("127.0.0.5 A1")}
        << 4 << QStringLiteral("127.0.0.5") << QStringList{QStringLiteral("A1"), QStringLiteral("B2")};
    QTest::newRow("one MAC on two IPs is no duplicate")
        << QStringList{QStringLiteral("127.0.0.5 A1"), QStringLiteral("127.0.0.6 A1")} << 2 << QString() << QStringList{};
}

void TestUnitTable::duplicates()
{
    QFETCH(QStringList, answers);
    QFETCH(int, count);
    QFETCH(QString, address);
    QFETCH(QStringList, macs);

    RecordingOperator op;
    UnitTable t(op);
    for (const QString &a : answers) {
        const QStringList parts = a.split(QLatin1Char(' '));
        t.enterAnnouncement(announced(parts[1]), parts[0]);
    }
    QCOMPARE(t.count(), count);
    QCOMPARE(t.duplicate(), !address.isEmpty());
    QCOMPARE(t.duplicateAddress(), address);
    QCOMPARE(t.duplicateMacs(), macs);

    t.clearDuplicates();
    QVERIFY(!t.duplicate());
    QVERIFY(t.duplicateMacs().isEmpty());
}

void TestUnitTable::capacity()
{
    RecordingOperator op;
    UnitTable t(op);
    QSignalSpy full(&t, &UnitTable::tableFull);
    fill(t, UnitTable::capacity);
    QVERIFY(op.logs.isEmpty());

    QCOMPARE(t.enterAnnouncement(announced(macOf(100)), loopback(100)), -1);
    QCOMPARE(t.enterAnnouncement(announced(macOf(101)), loopback(101)), -1);
    QCOMPARE(t.enterAnnouncement(announced(macOf(100)), loopback(100)), -1);
    QCOMPARE(t.count(), UnitTable::capacity);
    QCOMPARE(op.logs.size(), 1);
    QVERIFY(op.logs[0].contains(loopback(100)));
    QCOMPARE(full.size(), 3);
    QVERIFY(!t.psvrks(UnitTable::capacity));
    QCOMPARE(t.findByIP(loopback(100)), -1);

    // A unit already in the table still updates.
    QCOMPARE(t.enterAnnouncement(announced(macOf(57), QStringLiteral("Updated")), loopback(57)), 57);
    QCOMPARE(t.unit(57).desc, QStringLiteral("Updated"));
    QCOMPARE(op.logs.size(), 1);

    // A second unit on a known address still needs a free slot.
    QCOMPARE(t.enterAnnouncement(announced(macOf(200)), loopback(57)), -1);
    QCOMPARE(t.count(), UnitTable::capacity);
    QCOMPARE(t.duplicateAddress(), loopback(57));

    // The next cycle logs again.
    t.clear();
    fill(t, UnitTable::capacity);
    QCOMPARE(t.enterAnnouncement(announced(macOf(100)), loopback(100)), -1);
    QCOMPARE(op.logs.size(), 2);
}

void TestUnitTable::linkPerEntry()
{
    RecordingOperator op;
    UnitTable t(op);
    fill(t, 3);
    QSet<quint64> seen;
    for (int i = 0; i < 3; ++i) {
        QVERIFY(t.unit(i).link != 0);
        seen.insert(t.unit(i).link);
    }
    QCOMPARE(seen.size(), 3);
}
void TestUnitTable::reusedSlotGetsAFreshLink()
{
    RecordingOperator op;
    UnitTable t(op);
    fill(t, 2);
    const quint64 old0 = t.unit(0).link;
    const quint64 old1 = t.unit(1).link;
    t.unit(0).FlashState = 3;
    t.unit(0).LastErr[4] = QStringLiteral("E12");
    QSignalSpy aboutToClear(&t, &UnitTable::aboutToClear);

    t.clear();
    QCOMPARE(aboutToClear.size(), 1);
    QCOMPARE(t.enterAnnouncement(announced(macOf(9)), QStringLiteral("127.0.0.99")), 0);
    // A new unit in the slot inherits nothing of the old unit's state, nor its client.
    QCOMPARE(t.unit(0).FlashState, std::uint16_t(0));
    QVERIFY(t.unit(0).LastErr[4].isEmpty());
    QVERIFY(t.unit(0).link != 0);
    QVERIFY(t.unit(0).link != old0);
    QVERIFY(t.unit(0).link != old1);
    QCOMPARE(t.findByLink(old0), -1);
}
void TestUnitTable::clearTable()
{
    RecordingOperator op;
    UnitTable t(op);
    fill(t, 3);
    t.unit(1).update = 2;
    t.selectAll(true);
    t.setConnectedIndex(1);
    for (int p = 0; p < statusPanelCount; ++p)
        op.setPanel(p, QStringLiteral("busy"));
    QSignalSpy released(&t, &UnitTable::selectAllChanged);

    t.clear();
    QCOMPARE(t.count(), 0);
    QVERIFY(t.isEmpty());
    QVERIFY(!t.current());
    QCOMPARE(t.connectedIndex(), -1);
    QVERIFY(!t.selectAllDown());
    QCOMPARE(released.size(), 1);
    QCOMPARE(released[0][0].toBool(), false);
    for (int p = 0; p < statusPanelCount; ++p)
        QVERIFY(op.panel(p).isEmpty());
    for (int i = 0; i < UnitTable::slots; ++i)
        QVERIFY(!t.psvrks(i));
    QCOMPARE(t.unit(1).update, std::uint8_t(0));
    QCOMPARE(t.selectedCount(), 0);
}

void TestUnitTable::findByIP()
{
    RecordingOperator op;
    UnitTable t(op);
    t.enterAnnouncement(announced(macOf(0)), QStringLiteral("127.0.0.20"));
    t.enterAnnouncement(announced(macOf(1)), QStringLiteral("127.0.0.2"));
    QCOMPARE(t.findByIP(QStringLiteral("127.0.0.2")), 1);
    QCOMPARE(t.findByIP(QStringLiteral("127.0.0.20")), 0);
    QCOMPARE(t.findByIP(QStringLiteral("10.99.99.99")), -1); // the text inside is not the address
    QCOMPARE(t.findByIP(QStringLiteral("127.0.0.200")), -1);
    QCOMPARE(t.findByIP(QString()), -1);

    t.clear();
    QCOMPARE(t.findByIP(QStringLiteral("127.0.0.2")), -1);
    QCOMPARE(t.findByIP(QStringLiteral("127.0.0.20")), -1);
    QCOMPARE(t.findByIP(QString()), -1);
}

void TestUnitTable::findByLinkOnlyValidEntries()
{
    RecordingOperator op;
    UnitTable t(op);
    fill(t, 3);
    const quint64 link2 = t.unit(2).link;
    for (int i = 0; i < 3; ++i)
        QCOMPARE(t.findByLink(t.unit(i).link), i);
    QCOMPARE(t.findByLink(0), -1);
    QCOMPARE(t.findByLink(link2 + 1000), -1);

    // After a new cycle with one unit, slot 2 still holds its old record: not found.
    t.clear();
    fill(t, 1);
    QCOMPARE(t.unit(2).link, link2);
    QCOMPARE(t.findByLink(link2), -1);
    QCOMPARE(t.findByLink(t.unit(0).link), 0);
}
void TestUnitTable::toggleSelection_data()
{
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("allDown");     // "Select All Units" down before the press
    QTest::addColumn<bool>("haveCurrent"); // unit 0 is current before the press
    QTest::addColumn<bool>("selectedAfter");
    QTest::addColumn<bool>("allDownAfter");

    QTest::newRow("select") << false << false << false << true << true << false;
    QTest::newRow("select, no current") << false << false << false << false << true << false;
    QTest::newRow("select with Select All down") << false << false << true << true << true << true;
    QTest::newRow("unselect") << true << false << false << true << false << false;
    QTest::newRow("unselect releases Select All") << true << false << true << true << false << false;
    QTest::newRow("unselect, no current") << true << false << true << false << false << false;
    QTest::newRow("connected stays selected") << true << true << true << true << true << true;
    QTest::newRow("connected stays selected, no current") << true << true << false << false << true << false;
}

void TestUnitTable::toggleSelection()
{
    QFETCH(bool, selected);
    QFETCH(bool, connected);
    QFETCH(bool, allDown);
    QFETCH(bool, haveCurrent);
    QFETCH(bool, selectedAfter);
    QFETCH(bool, allDownAfter);

    RecordingOperator op;
    UnitTable t(op);
    fill(t, 3);
    if (allDown)
        t.selectAll(true);
    t.unit(0).selected = true;
    t.unit(2).selected = false;
    t.unit(1).selected = selected;
    t.unit(1).connected = connected;
    t.setCurrent(haveCurrent ? &t.unit(0) : nullptr);
    op.tones.clear();

    QCOMPARE(t.toggleSelection(1), selectedAfter);
    QCOMPARE(t.unit(1).selected, selectedAfter);
    QCOMPARE(t.selectAllDown(), allDownAfter);
    // A newly selected unit clicks; nothing else makes a sound.
    QCOMPARE(op.tones, (!selected ? QList<Tone>{Tone::CheckBox} : QList<Tone>{}));
    QCOMPARE(t.current(), haveCurrent ? &t.unit(0) : &t.unit(1));
    // Other units are never touched, not even by releasing Select All.
    QVERIFY(t.unit(0).selected);
    QVERIFY(!t.unit(2).selected);
}

void TestUnitTable::toggleOutOfRange()
{
    RecordingOperator op;
    UnitTable t(op);
    fill(t, 2);
    t.clear();
    fill(t, 1);
    // Slot 1 holds a record from the last cycle, but it is not valid now.
    for (int index : {-1, 1, 100, 101}) {
        QCOMPARE(t.toggleSelection(index), false);
        QVERIFY(!t.current());
    }
    QVERIFY(op.tones.isEmpty());
    QCOMPARE(t.selectedCount(), 0);
}

void TestUnitTable::selectAll()
{
    RecordingOperator op;
    UnitTable t(op);

    t.selectAll(true); // empty table: nothing to make current
    QVERIFY(!t.current());
    QCOMPARE(op.tones, QList<Tone>{Tone::Button});
    t.selectAll(false);

    fill(t, 3);
    t.unit(1).selected = true;
    t.unit(1).connected = true;
    QSignalSpy changed(&t, &UnitTable::selectAllChanged);

    t.selectAll(true);
    QVERIFY(t.selectAllDown());
    QCOMPARE(t.selectedCount(), 3);
    QCOMPARE(t.current(), t.psvrks(0));
    QCOMPARE(t.current(), &t.unit(0));

    t.selectAll(false);
    QVERIFY(!t.selectAllDown());
    QVERIFY(!t.unit(0).selected);
    QVERIFY(t.unit(1).selected); // connected: stays selected
    QVERIFY(!t.unit(2).selected);
    QCOMPARE(t.selectedCount(), 1);
    QCOMPARE(t.current(), &t.unit(0)); // releasing does not touch the current unit

    // An existing current unit is kept.
    t.setCurrent(&t.unit(2));
    t.selectAll(true);
    QCOMPARE(t.current(), &t.unit(2));

    QCOMPARE(changed.size(), 3);
    QCOMPARE(op.tones.count(Tone::Button), op.tones.size());
    QCOMPARE(op.tones.size(), 5);
}

void TestUnitTable::rebuildLists_data()
{
    QTest::addColumn<QString>("states");
    QTest::addColumn<QList<int>>("active");
    QTest::addColumn<int>("result");

    QTest::newRow("selected, connected, selected") << QStringLiteral("scs") << QList<int>{1, 0, 2} << 3;
    QTest::newRow("0 and 2 selected, none connected") << QStringLiteral("s.s") << QList<int>{2, 0} << 2;
    QTest::newRow("nothing selected") << QStringLiteral("...") << QList<int>{} << 1;
    QTest::newRow("empty table") << QString() << QList<int>{} << 1;
    QTest::newRow("one selected") << QStringLiteral(".s.") << QList<int>{1} << 1;
    QTest::newRow("one connected") << QStringLiteral("..c") << QList<int>{2} << 1;
    QTest::newRow("a later connected unit replaces an earlier one") << QStringLiteral("ccs") << QList<int>{1, 2} << 2;
    QTest::newRow("connected last") << QStringLiteral("sssc") << QList<int>{3, 0, 1, 2} << 4;
}

void TestUnitTable::rebuildLists()
{
    QFETCH(QString, states);
    QFETCH(QList<int>, active);
    QFETCH(int, result);

    RecordingOperator op;
    UnitTable t(op);
    // A fuller list from before must not leave stale references behind.
    fill(t, 5);
    setStates(t, QStringLiteral("sssss"));
    t.rebuildLists(false);
    t.clear();

    fill(t, int(states.size()));
    setStates(t, states);
    QCOMPARE(t.rebuildLists(false), result);
    QCOMPARE(activeIndexes(t), active);
    QVERIFY(!t.active(int(active.size())));
    for (int i = 0; i < int(states.size()); ++i)
        QCOMPARE(t.psvrks(i), &t.unit(i));
    QVERIFY(!t.psvrks(int(states.size())));
}

void TestUnitTable::rebuildAllKeepsActive()
{
    RecordingOperator op;
    UnitTable t(op);
    fill(t, 3);
    setStates(t, QStringLiteral("scs"));
    t.rebuildLists(false);
    setStates(t, QStringLiteral("..."));
    QCOMPARE(t.rebuildLists(true), 3);
    QCOMPARE(activeIndexes(t), (QList<int>{1, 0, 2}));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(t.psvrks(i), &t.unit(i));
    QVERIFY(!t.psvrks(3));

    t.clear();
    QCOMPARE(t.rebuildLists(true), 0);
    QVERIFY(!t.psvrks(0));
}

void TestUnitTable::sortActiveList_data()
{
    QTest::addColumn<SortOrder>("order");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QList<int>>("sorted"); // table indexes in the sorted active list

    QTest::newRow("IP padded") << SortOrder::IPAddress
                               << QStringList{QStringLiteral("192.168.1.2"), QStringLiteral("10.0.0.40"), QStringLiteral("10.0.0.5")}
                               << QList<int>{2, 1, 0};
    QTest::newRow("MAC") << SortOrder::MACAddress
                         << QStringList{QStringLiteral("0050C2000003"), QStringLiteral("0050C2000001"), QStringLiteral("0050C2000002")}
                         << QList<int>{1, 2, 0};
    QTest::newRow("description, equal keys keep order") << SortOrder::Description
                                                        << QStringList{QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("A")}
                                                        << QList<int>{1, 2, 0};
    QTest::newRow("description, all equal") << SortOrder::Description
                                            << QStringList{QStringLiteral("A"), QStringLiteral("A"), QStringLiteral("A")}
                                            << QList<int>{0, 1, 2};
    QTest::newRow("readers as text") << SortOrder::Readers << QStringList{QStringLiteral("2"), QStringLiteral("10"), QStringLiteral("1")}
                                     << QList<int>{2, 1, 0};
    // Every other choice sorts by whole minutes of run time, as text.
    QTest::newRow("run time minutes as text") << SortOrder::RunTime
                                              << QStringList{QStringLiteral("600"), QStringLiteral("120"), QStringLiteral("59")}
                                              << QList<int>{2, 0, 1};
    QTest::newRow("run time, same minute keeps order") << SortOrder::RunTime
                                                       << QStringList{QStringLiteral("120"), QStringLiteral("119"), QStringLiteral("60")}
                                                       << QList<int>{1, 2, 0};
}

void TestUnitTable::sortActiveList()
{
    QFETCH(SortOrder, order);
    QFETCH(QStringList, keys);
    QFETCH(QList<int>, sorted);

    RecordingOperator op;
    UnitTable t(op);
    fillKeyed(t, order, keys);
    // Unit 0 connected puts the active list in table order first.
    setStates(t, QStringLiteral("c") + QString(keys.size() - 1, QLatin1Char('s')));
    t.rebuildLists(false);
    QCOMPARE(activeIndexes(t), (QList<int>{0, 1, 2}));

    t.sortActiveList(order);
    QCOMPARE(activeIndexes(t), sorted);
    // Only the list moves, never the records.
    for (int i = 0; i < keys.size(); ++i)
        QCOMPARE(int(t.unit(i).naddr), i);
}

void TestUnitTable::sortTable_data()
{
    QTest::addColumn<SortOrder>("order");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QList<int>>("sorted"); // original entry numbers in the new table order

    QTest::newRow("no sorting") << SortOrder::None << QStringList{QStringLiteral("9"), QStringLiteral("1"), QStringLiteral("5")}
                                << QList<int>{0, 1, 2};
    QTest::newRow("IP padded") << SortOrder::IPAddress
                               << QStringList{QStringLiteral("192.168.1.2"), QStringLiteral("10.0.0.40"), QStringLiteral("10.0.0.5")}
                               << QList<int>{2, 1, 0};
    QTest::newRow("MAC") << SortOrder::MACAddress
                         << QStringList{QStringLiteral("0050C2000003"), QStringLiteral("0050C2000001"), QStringLiteral("0050C2000002")}
                         << QList<int>{1, 2, 0};
    QTest::newRow("description, equal keys never displace the earlier")
        << SortOrder::Description << QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("A")}
        << QList<int>{0, 2, 3, 1};
    QTest::newRow("description, all equal") << SortOrder::Description
                                            << QStringList{QStringLiteral("A"), QStringLiteral("A"), QStringLiteral("A")}
                                            << QList<int>{0, 1, 2};
    QTest::newRow("readers as text") << SortOrder::Readers << QStringList{QStringLiteral("2"), QStringLiteral("10"), QStringLiteral("1")}
                                     << QList<int>{2, 1, 0};
    // Ranks 2, 10, 1 as text: 1, 10, 2.
    QTest::newRow("model rank as text") << SortOrder::Model << QStringList{QStringLiteral("8/0"), QStringLiteral("2/5"), QStringLiteral("2/0")}
                                        << QList<int>{2, 1, 0};
    QTest::newRow("run time in whole minutes as number")
        << SortOrder::RunTime << QStringList{QStringLiteral("600"), QStringLiteral("120"), QStringLiteral("60"), QStringLiteral("119")}
        << QList<int>{2, 3, 1, 0};
    QTest::newRow("version as number") << SortOrder::Version
                                       << QStringList{QStringLiteral("10.0.0"), QStringLiteral("5.0.1"), QStringLiteral("3.1.6")}
                                       << QList<int>{2, 1, 0};
}

void TestUnitTable::sortTable()
{
    QFETCH(SortOrder, order);
    QFETCH(QStringList, keys);
    QFETCH(QList<int>, sorted);

    RecordingOperator op;
    UnitTable t(op);
    fillKeyed(t, order, keys);
    t.sort(order);
    QList<int> got;
    for (int i = 0; i < t.count(); ++i) {
        got.append(t.unit(i).naddr);
        QCOMPARE(t.psvrks(i), &t.unit(i));
    }
    QCOMPARE(got, sorted);
    QVERIFY(!t.psvrks(t.count()));
}

void TestUnitTable::sortMovesStateWithRecords()
{
    RecordingOperator op;
    UnitTable t(op);
    fillKeyed(t, SortOrder::Description, {QStringLiteral("C"), QStringLiteral("B"), QStringLiteral("A")});
    QList<quint64> links;
    QStringList addresses;
    for (int i = 0; i < 3; ++i) {
        links.append(t.unit(i).link);
        addresses.append(t.unit(i).ip);
    }
    t.unit(0).connected = true;
    t.unit(0).selected = true;
    t.setConnectedIndex(0);
    t.setCurrent(&t.unit(0));

    t.sort(SortOrder::Description); // C, B, A -> A, B, C

    QCOMPARE(t.unit(2).desc, QStringLiteral("C"));
    QVERIFY(t.unit(2).connected);
    QVERIFY(t.unit(2).selected);
    QVERIFY(!t.unit(0).connected);
    QCOMPARE(t.connectedIndex(), 2);
    // The current unit follows its record, not its slot.
    QCOMPARE(t.current(), &t.unit(2));
    // Client keys travel with their units and are found by key and address.
    for (int before = 0; before < 3; ++before) {
        const int after = 2 - before;
        QCOMPARE(t.unit(after).link, links[before]);
        QCOMPARE(t.findByLink(links[before]), after);
        QCOMPARE(t.findByIP(addresses[before]), after);
    }
}

void TestUnitTable::autoUpdateTab_data()
{
    QTest::addColumn<bool>("tab");
    QTest::newRow("other tab") << false;
    QTest::newRow("Auto Update tab") << true;
}

void TestUnitTable::autoUpdateTab()
{
    QFETCH(bool, tab);
    RecordingOperator op;
    UnitTable t(op);
    t.setSelectionHeld(tab);
    fill(t, 3);
    t.unit(0).selected = true;
    t.unit(0).update = 1;
    t.unit(2).update = 3;

    t.clear();
    QCOMPARE(t.unit(0).update, std::uint8_t(tab ? 1 : 0));
    QCOMPARE(t.unit(2).update, std::uint8_t(tab ? 3 : 0));

    // Rediscovery into the same slots: marks survive only on the tab.
    fill(t, 3);
    QCOMPARE(t.unit(0).selected, tab);
    QCOMPARE(t.unit(0).update, std::uint8_t(tab ? 1 : 0));
    QVERIFY(!t.unit(1).selected);
    QCOMPARE(t.unit(0).connected, false);
}

QTEST_GUILESS_MAIN(TestUnitTable)
#include "tst_unittable.moc"
