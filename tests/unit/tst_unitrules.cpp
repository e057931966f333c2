// Version, login, idle, protocol and model rules, and the sort keys of the unit lists.

#include "unit/unitrules.h"
#include "unit/unitsort.h"

#include <QtTest>

using namespace vork;

Q_DECLARE_METATYPE(vork::SortOrder)
Q_DECLARE_METATYPE(vork::udppack)

namespace {

udppack unitWith(int major, int minor, int rev, int model = 0, int ncp = 0, int readers = 1)
{
    udppack u;
    u.ver.vnum = {std::uint8_t(major), std::uint8_t(minor), std::uint8_t(rev)};
    u.model = std::uint8_t(model);
    u.ncp = std::uint8_t(ncp);
    u.ver.vrcnt = std::uint8_t(readers);
    return u;
}

// A version number as its three digits (every number below 1000 used here).
udppack unitNumbered(int number, int model = 0, int ncp = 0)
{
    return unitWith(number / 100, number / 10 % 10, number % 10, model, ncp);
}

} // namespace

class TestUnitRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void versionNumber_data();
    void versionNumber();
    void compareVersions();
    void loginRequired_data();
    void loginRequired();
    void idleText_data();
    void idleText();
    void standardRule_data();
    void standardRule();
    void rememberedAnswer();
    void productFamily_data();
    void productFamily();
    void modelRank_data();
    void modelRank();
    void unknownReaderCountRank();
    void paddedIP_data();
    void paddedIP();
    void compareUnits_data();
    void compareUnits();
    void textKeysCaseSensitive();
};

void TestUnitRules::versionNumber_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("rev");
    QTest::addColumn<int>("number");

    QTest::newRow("5.0.1") << 5 << 0 << 1 << 501;
    QTest::newRow("3.1.6") << 3 << 1 << 6 << 316;
    QTest::newRow("0.0.0") << 0 << 0 << 0 << 0;
    QTest::newRow("digits above 9 still weigh 100/10/1") << 1 << 10 << 12 << 212;
    QTest::newRow("largest bytes") << 255 << 255 << 255 << 28305;
}

void TestUnitRules::versionNumber()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, rev);
    QFETCH(int, number);
    const udppack u = unitWith(major, minor, rev);
    QCOMPARE(vork::versionNumber(&u), number);
    QCOMPARE(vork::versionNumber(u.ver), number);
}

void TestUnitRules::compareVersions()
{
    const udppack u = unitWith(5, 0, 1);
    QVERIFY(vork::compareVersions(&u, 500) > 0);
    QCOMPARE(vork::compareVersions(&u, 501), 0);
    QVERIFY(vork::compareVersions(&u, 502) < 0);
    // No record counts as version 0.
    QCOMPARE(vork::versionNumber(static_cast<const udppack *>(nullptr)), 0);
    QVERIFY(vork::compareVersions(nullptr, 1) < 0);
    QCOMPARE(vork::compareVersions(nullptr, 0), 0);
}

void TestUnitRules::loginRequired_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("login");

    QTest::newRow("292") << 292 << 0 << false;
    QTest::newRow("293") << 293 << 0 << true;
    QTest::newRow("299") << 299 << 0 << true;
    QTest::newRow("300") << 300 << 0 << false;
    QTest::newRow("309") << 309 << 0 << false;
    QTest::newRow("310") << 310 << 0 << true;
    QTest::newRow("501") << 501 << 0 << true;
    QTest::newRow("309, model 3") << 309 << 3 << false;
    QTest::newRow("309, model 4") << 309 << 4 << true;
    QTest::newRow("100, model 4") << 100 << 4 << true;
    QTest::newRow("292, model 255") << 292 << 255 << true;
}

void TestUnitRules::loginRequired()
{
    QFETCH(int, number);
    QFETCH(int, model);
    QFETCH(bool, login);
    QCOMPARE(vork::loginRequired(unitNumbered(number, model)), login);
}

void TestUnitRules::idleText_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("cpui");
    QTest::addColumn<QString>("text");

    QTest::newRow("315") << 315 << 87 << QStringLiteral(" NA");
    QTest::newRow("316") << 316 << 87 << QStringLiteral(" %87");
    QTest::newRow("316, idle 0") << 316 << 0 << QStringLiteral(" %0");
    QTest::newRow("501, idle 100") << 501 << 100 << QStringLiteral(" %100");
}

void TestUnitRules::idleText()
{
    QFETCH(int, number);
    QFETCH(int, cpui);
    QFETCH(QString, text);
    udppack u = unitNumbered(number);
    u.cpui = std::uint8_t(cpui);
    QCOMPARE(vork::idleText(u), text);
}

void TestUnitRules::standardRule_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("ncp");
    QTest::addColumn<bool>("standard");

    QTest::newRow("499, model 0") << 499 << 0 << 0 << true;
    QTest::newRow("499, model 1 ignores ncp 1") << 499 << 1 << 1 << false;
    QTest::newRow("499, model 4") << 499 << 4 << 0 << true;
    QTest::newRow("499, model 7") << 499 << 7 << 0 << false;
    QTest::newRow("500, ncp 1 ignores odd model") << 500 << 1 << 1 << true;
    QTest::newRow("500, ncp 0 ignores even model") << 500 << 0 << 0 << false;
    QTest::newRow("500, ncp 2") << 500 << 0 << 2 << false;
    QTest::newRow("501 (model 8), ncp 0") << 501 << 8 << 0 << false;
}

void TestUnitRules::standardRule()
{
    QFETCH(int, number);
    QFETCH(int, model);
    QFETCH(int, ncp);
    QFETCH(bool, standard);
    const udppack u = unitNumbered(number, model, ncp);
    QCOMPARE(ProtocolVariant::standardRule(u), standard);
    ProtocolVariant pv;
    QCOMPARE(pv.isStandard(&u), standard);
    QCOMPARE(pv.lastStandard(), standard);
    QCOMPARE(pv.lastBelow500(), number < 500);
}

void TestUnitRules::rememberedAnswer()
{
    ProtocolVariant pv;
    QCOMPARE(pv.lastStandard(), true);
    QCOMPARE(pv.lastBelow500(), false);

    // Asking with no unit changes neither.
    QCOMPARE(pv.isStandard(nullptr), true);
    QCOMPARE(pv.lastStandard(), true);
    QCOMPARE(pv.lastBelow500(), false);

    const udppack eipOld = unitNumbered(316, 1);
    QCOMPARE(pv.isStandard(&eipOld), false);
    QCOMPARE(pv.lastStandard(), false);
    QCOMPARE(pv.lastBelow500(), true);

    QCOMPARE(pv.isStandard(nullptr), false);
    QCOMPARE(pv.lastStandard(), false);
    QCOMPARE(pv.lastBelow500(), true);

    const udppack stdNew = unitNumbered(502, 1, 1);
    QCOMPARE(pv.isStandard(&stdNew), true);
    QCOMPARE(pv.lastStandard(), true);
    QCOMPARE(pv.lastBelow500(), false);
}

void TestUnitRules::productFamily_data()
{
    QTest::addColumn<int>("readers");
    QTest::addColumn<QString>("family");

    QTest::newRow("1") << 1 << QStringLiteral("SVRK");
    QTest::newRow("2") << 2 << QStringLiteral("TVRK");
    QTest::newRow("8") << 8 << QStringLiteral("MVRK");
    QTest::newRow("4 is no family") << 4 << QString();
    QTest::newRow("0 is no family") << 0 << QString();
}

void TestUnitRules::productFamily()
{
    QFETCH(int, readers);
    QFETCH(QString, family);
    QCOMPARE(vork::productFamily(unitWith(1, 0, 0, 0, 0, readers)), family);
}

void TestUnitRules::modelRank_data()
{
    QTest::addColumn<int>("readers");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("rank");

    // Columns: even below 4, even 4 and above, odd below 4, odd 4 and above.
    const int models[4][2] = {{0, 2}, {4, 8}, {1, 3}, {5, 255}};
    const int ranks[3][4] = {{0, 3, 6, 9}, {1, 4, 7, 10}, {2, 5, 8, 11}};
    const int readers[3] = {1, 2, 8};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            for (int m : models[c])
                QTest::addRow("readers %d model %d", readers[r], m) << readers[r] << m << ranks[r][c];
}

void TestUnitRules::modelRank()
{
    QFETCH(int, readers);
    QFETCH(int, model);
    QFETCH(int, rank);
    QCOMPARE(vork::modelRank(unitWith(1, 0, 0, model, 0, readers)), rank);
}

void TestUnitRules::unknownReaderCountRank()
{
    // Any reader count outside 1, 2, 8 gets one fixed rank, outside the table.
    const int rank = vork::modelRank(unitWith(1, 0, 0, 0, 0, 4));
    QVERIFY(rank < 0 || rank > 11);
    for (int readers : {0, 3, 4, 16, 255})
        for (int model : {0, 1, 4, 5})
            QCOMPARE(vork::modelRank(unitWith(1, 0, 0, model, 0, readers)), rank);
}

void TestUnitRules::paddedIP_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("padded");

    QTest::newRow("short octets") << QStringLiteral("10.0.0.5") << QStringLiteral("010.000.000.005");
    QTest::newRow("full octets") << QStringLiteral("192.168.100.255") << QStringLiteral("192.168.100.255");
    QTest::newRow("loopback") << QStringLiteral("127.0.0.2") << QStringLiteral("127.000.000.002");
}

void TestUnitRules::paddedIP()
{
    QFETCH(QString, ip);
    QFETCH(QString, padded);
    QCOMPARE(vork::paddedIP(ip), padded);
}

void TestUnitRules::compareUnits_data()
{
    QTest::addColumn<SortOrder>("order");
    QTest::addColumn<udppack>("a");
    QTest::addColumn<udppack>("b");
    QTest::addColumn<int>("sign"); // of compare(a, b)

    auto withIP = [](const char *ip) { udppack u; u.ip = QString::fromLatin1(ip); return u; };
    auto withMac = [](const char *mac) { udppack u; u.mac = QString::fromLatin1(mac); return u; };
    auto withDesc = [](const char *d) { udppack u; u.desc = QString::fromLatin1(d); return u; };
    auto withReaders = [](int n) { return unitWith(1, 0, 0, 0, 0, n); };
    auto withRank = [](int readers, int model) { return unitWith(1, 0, 0, model, 0, readers); };
    auto withRt = [](quint32 rt) { udppack u; u.rt = rt; return u; };

    QTest::newRow("IP 10.0.0.5 < 10.0.0.40") << SortOrder::IPAddress << withIP("10.0.0.5") << withIP("10.0.0.40") << -1;
    QTest::newRow("IP 10.0.0.40 < 192.168.1.2") << SortOrder::IPAddress << withIP("10.0.0.40") << withIP("192.168.1.2") << -1;
    QTest::newRow("IP 9.0.0.1 < 10.0.0.1") << SortOrder::IPAddress << withIP("9.0.0.1") << withIP("10.0.0.1") << -1;
    QTest::newRow("IP equal") << SortOrder::IPAddress << withIP("10.0.0.5") << withIP("10.0.0.5") << 0;
    QTest::newRow("MAC") << SortOrder::MACAddress << withMac("0050C2000002") << withMac("0050C2000001") << 1;
    QTest::newRow("description digits before letters") << SortOrder::Description << withDesc("9 Line") << withDesc("A Line") << -1;
    QTest::newRow("readers as text: 10 < 2") << SortOrder::Readers << withReaders(10) << withReaders(2) << -1;
    QTest::newRow("readers 2 < 8") << SortOrder::Readers << withReaders(2) << withReaders(8) << -1;
    QTest::newRow("rank 1 < rank 10") << SortOrder::Model << withRank(2, 0) << withRank(2, 5) << -1;
    QTest::newRow("rank 10 < rank 2") << SortOrder::Model << withRank(2, 5) << withRank(8, 0) << -1;
    QTest::newRow("rank 11 < rank 2") << SortOrder::Model << withRank(8, 5) << withRank(8, 0) << -1;
    QTest::newRow("run time in whole minutes: 60 = 119") << SortOrder::RunTime << withRt(60) << withRt(119) << 0;
    QTest::newRow("run time 119 < 120") << SortOrder::RunTime << withRt(119) << withRt(120) << -1;
    QTest::newRow("run time as number: 2 min < 10 min") << SortOrder::RunTime << withRt(120) << withRt(600) << -1;
    QTest::newRow("run time 59 s = 0 s") << SortOrder::RunTime << withRt(59) << withRt(0) << 0;
    QTest::newRow("version as number: 501 < 1000") << SortOrder::Version << unitWith(5, 0, 1) << unitWith(10, 0, 0) << -1;
    QTest::newRow("version 0.50.1 = 5.0.1") << SortOrder::Version << unitWith(0, 50, 1) << unitWith(5, 0, 1) << 0;
    QTest::newRow("no sorting: always equal") << SortOrder::None << withIP("10.0.0.5") << withIP("9.0.0.1") << 0;
}

void TestUnitRules::compareUnits()
{
    QFETCH(SortOrder, order);
    QFETCH(udppack, a);
    QFETCH(udppack, b);
    QFETCH(int, sign);
    const int ab = vork::compareUnits(a, b, order);
    const int ba = vork::compareUnits(b, a, order);
    QCOMPARE((ab > 0) - (ab < 0), sign);
    QCOMPARE((ba > 0) - (ba < 0), -sign);
}

void TestUnitRules::textKeysCaseSensitive()
{
    // Which case comes first is the collation's business; that they differ is not.
    udppack lower, upper;
    lower.desc = lower.mac = QStringLiteral("line");
    upper.desc = upper.mac = QStringLiteral("Line");
    QVERIFY(vork::compareUnits(lower, upper, SortOrder::Description) != 0);
    QVERIFY(vork::compareUnits(lower, upper, SortOrder::MACAddress) != 0);
}

QTEST_GUILESS_MAIN(TestUnitRules)
#include "tst_unitrules.moc"
