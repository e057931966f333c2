// Fleet files, generated demo fleets and the MAC helpers of the simulator.

#include "simconfig.h"
#include "simfaulttable.h"
#include "simharness.h"
#include "simfleet.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace vork::sim;


namespace {

const QHostAddress base(QStringLiteral("127.0.0.2"));

// Every fault member of a unit in one line, to compare a flag's effect with a file's.
QString faultState(const SimUnit &u)
{
    const SimFaults &f = u.faults;
    const SimCommandFaults &c = u.commandFaults;
    return QStringList{QString::number(f.shortLength), QString::number(f.oversizeLength),
                       QString::number(f.garbageLength), QString::number(f.duplicate), f.duplicateMac,
                       QString::number(f.delayMs), QString::number(f.silent), QString::number(u.oldFirmware),
                       QString::fromLatin1(c.nakCommands.toHex()), QString::fromLatin1(c.silentCommands.toHex()),
                       QString::number(c.delayMs), QString::fromLatin1(c.strayBytes.toHex()),
                       QString::number(c.dropAfterBytes), QString::number(c.failErase),
                       QString::number(c.splitReplies), QString::number(c.lateBlockMs), QString::number(c.trickleMs),
                       QString::number(c.closeLingerMs), QString::number(u.restartSilenceMs),
                       QString::number(u.checksum.delayMs), QString::number(u.checksum.location, 16),
                       QString::fromLatin1(u.monitor.photoEyes.toHex())}
        .join(QLatin1Char('|'));
}

} // namespace

class TestSimConfig : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fullUnit();
    void defaults();
    void alternativeNotations_data();
    void alternativeNotations();
    void faultsFromFile();
    void rejected_data();
    void rejected();
    void fileErrorsNameTheFile();
    void demoFleetMix();
    void demoFleetAddressesRunOut();
    void macHelpers_data();
    void macHelpers();
    void checkFaults_data();
    void checkFaults();
    void faultTableShape();
    void flagMatchesFileKey_data();
    void flagMatchesFileKey();
    void badFaultFlags_data();
    void badFaultFlags();
    void flagsLieOverTheFile();
};

void TestSimConfig::fullUnit()
{
    const QByteArray json = R"([{
        "description": "Line 1 Infeed", "version": "5.0.3", "build": "2019-03-07", "readers": 2,
        "model": 9, "ncp": 0, "mac": "0050c2abcdef", "bootLoader": "1.05", "flashMfg": "0x1F",
        "flashType": 71, "caddr": "0x0102", "naddr": 772, "cons": "0x05", "cpuIdle": 87,
        "runTime": 86400, "zosv": "2.1.7", "bla": 3, "blb": 4, "address": "127.0.0.9",
        "clockOffset": -3600, "oldFirmware": true
    }])";
    QList<SimUnit> units;
    QString error;
    QVERIFY2(parseFleetConfig(json, base, units, &error), qPrintable(error));
    QCOMPARE(units.size(), 1);
    const SimUnit &u = units.first();
    QCOMPARE(u.description, QStringLiteral("Line 1 Infeed"));
    QCOMPARE(u.version, (std::array<std::uint8_t, 3>{5, 0, 3}));
    QCOMPARE(u.build, (std::array<std::uint8_t, 4>{7, 3, 20, 19}));
    QCOMPARE(u.readers, 2);
    QCOMPARE(u.model, 9);
    QCOMPARE(u.ncp, 0);
    QCOMPARE(u.mac, QStringLiteral("0050C2ABCDEF"));
    QCOMPARE(u.bootLoader, QStringLiteral("1.05"));
    QCOMPARE(u.flashMfg, 0x1F);
    QCOMPARE(u.flashType, 0x47);
    QCOMPARE(u.caddr, 0x0102);
    QCOMPARE(u.naddr, 0x0304);
    QCOMPARE(u.cons, 0x05);
    QCOMPARE(u.cpuIdle, 87);
    QCOMPARE(u.runTime, 86400u);
    QCOMPARE(u.zosv, (std::array<std::uint8_t, 3>{2, 1, 7}));
    QCOMPARE(u.bla, 3);
    QCOMPARE(u.blb, 4);
    QCOMPARE(u.address, QHostAddress(QStringLiteral("127.0.0.9")));
    QCOMPARE(u.clockOffsetMs, qint64(-3600000));
    QVERIFY(u.oldFirmware);
    QVERIFY(!u.faults.any());
}

void TestSimConfig::defaults()
{
    QList<SimUnit> units;
    QString error;
    QVERIFY2(parseFleetConfig(R"([{}, {"description": "Dock"}, {}])", base, units, &error), qPrintable(error));
    QCOMPARE(units.size(), 3);
    QCOMPARE(units.at(0).description, QStringLiteral("Unit 1"));
    QCOMPARE(units.at(1).description, QStringLiteral("Dock"));
    QCOMPARE(units.at(2).address, QHostAddress(QStringLiteral("127.0.0.4")));
    QCOMPARE(units.at(2).mac, QStringLiteral("0050C2000004"));
    QCOMPARE(units.at(0).bootLoader, QStringLiteral("1.05"));
    QVERIFY(!units.at(0).oldFirmware);
}

void TestSimConfig::alternativeNotations_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("strings") << QByteArray(R"([{"version": "3.1.6", "build": "2016-11-22", "readers": "8"}])");
    QTest::newRow("arrays and numbers") << QByteArray(R"([{"version": [3, 1, 6], "build": [22, 11, 20, 16], "readers": 8}])");
    QTest::newRow("hex strings") << QByteArray(R"([{"version": ["0x3", "0x1", "0x6"], "build": ["0x16", "0xB", "0x14", "0x10"], "readers": "0x08"}])");
}

void TestSimConfig::alternativeNotations()
{
    QFETCH(QByteArray, json);
    QList<SimUnit> units;
    QString error;
    QVERIFY2(parseFleetConfig(json, base, units, &error), qPrintable(error));
    QCOMPARE(units.first().version, (std::array<std::uint8_t, 3>{3, 1, 6}));
    QCOMPARE(units.first().build, (std::array<std::uint8_t, 4>{22, 11, 20, 16}));
    QCOMPARE(units.first().readers, 8);
}

void TestSimConfig::faultsFromFile()
{
    const QByteArray json = R"([
        {"faults": {"short": 50, "delayMs": 250}},
        {"faults": {"oversize": 1200, "duplicateMac": true}},
        {"faults": {"garbage": 40, "duplicateMac": "0050c2000099", "silent": true}}
    ])";
    QList<SimUnit> units;
    QString error;
    QVERIFY2(parseFleetConfig(json, base, units, &error), qPrintable(error));
    QCOMPARE(units.at(0).faults.shortLength, 50);
    QCOMPARE(units.at(0).faults.delayMs, 250);
    QVERIFY(!units.at(0).faults.duplicate);
    QCOMPARE(units.at(1).faults.oversizeLength, 1200);
    QVERIFY(units.at(1).faults.duplicate);
    QVERIFY(units.at(1).faults.duplicateMac.isEmpty());
    QCOMPARE(units.at(2).faults.garbageLength, 40);
    QCOMPARE(units.at(2).faults.duplicateMac, QStringLiteral("0050C2000099"));
    QVERIFY(units.at(2).faults.silent);
}

void TestSimConfig::rejected_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");

    auto row = [](const char *name, const char *json, const char *error) {
        QTest::newRow(name) << QByteArray(json) << QString::fromUtf8(error);
    };
    row("not JSON", "[{", "not JSON at offset");
    row("empty input", "", "not JSON at offset");
    row("an object, not an array", R"({"units": []})", "expected an array of unit objects");
    row("no units", "[]", "the fleet has no units");
    row("a number for a unit", "[1]", "unit 1: expected an object");
    row("misspelt field", R"([{}, {"reader": 2}])", "unit 2: unknown field \"reader\"");
    row("readers too big", R"([{"readers": 256}])", "unit 1: \"readers\": expected a whole number from 0 to 255");
    row("negative run time", R"([{"runTime": -1}])", "unit 1: \"runTime\": expected a whole number from 0 to 4294967295");
    row("fractional byte", R"([{"cpuIdle": 1.5}])", "unit 1: \"cpuIdle\": expected a whole number");
    row("bad hex", R"([{"flashMfg": "0xZZ"}])", "unit 1: \"flashMfg\": expected a whole number");
    row("boolean for a number", R"([{"caddr": true}])", "unit 1: \"caddr\": expected a whole number");
    row("two version digits", R"([{"version": "5.0"}])", "unit 1: \"version\": expected 3 numbers 0-255");
    row("version digit 256", R"([{"version": [5, 0, 256]}])", "unit 1: \"version\": expected 3 numbers 0-255");
    row("impossible build date", R"([{"build": "2019-02-30"}])", "unit 1: \"build\": expected a date YYYY-MM-DD");
    row("short MAC", R"([{"mac": "0050C2ABCDE"}])", "unit 1: \"mac\": expected 12 hex digits");
    row("MAC with colons", R"([{"mac": "00:50:C2:AB:CD"}])", "unit 1: \"mac\": expected 12 hex digits");
    row("MAC not hex", R"([{"mac": "0050C2ABCDEG"}])", "unit 1: \"mac\": expected 12 hex digits");
    const QByteArray longDescription = "[{\"description\": \"" + QByteArray(65, 'x') + "\"}]";
    row("description too long", longDescription.constData(), "unit 1: \"description\": at most 64 characters");
    row("description beyond 8 bits", R"([{"description": "Line \u20ac"}])",
        "unit 1: \"description\": only 8-bit characters");
    row("boot loader too long", R"([{"bootLoader": "1.055"}])", "unit 1: \"bootLoader\": at most 4 characters");
    row("address not IPv4", R"([{"address": "10.0.0"}])", "unit 1: \"address\": expected a dotted IPv4 address");
    row("address byte 256", R"([{"address": "10.0.0.256"}])", "unit 1: \"address\": expected a dotted IPv4 address");
    row("IPv6 address", R"([{"address": "::1"}])", "unit 1: \"address\": expected a dotted IPv4 address");
    row("address taken twice", R"([{"address": "127.0.0.3"}, {}])", "unit 2: address 127.0.0.3 is taken");
    row("old firmware not boolean", R"([{"oldFirmware": 1}])", "unit 1: \"oldFirmware\": expected true or false");
    row("faults not an object", R"([{"faults": 3}])", "unit 1: \"faults\": expected an object");
    row("unknown fault", R"([{"faults": {"drop": 1}}])", "unit 1: \"faults\": unknown field \"drop\"");
    row("short 130", R"([{"faults": {"short": 130}}])", "unit 1: \"faults\": \"short\": expected a whole number from 0 to 129");
    row("oversize not over", R"([{"faults": {"oversize": 130}}])",
        "unit 1: \"faults\": an oversized answer has 131 to 65507 bytes");
    row("short and oversize", R"([{"faults": {"short": 20, "oversize": 1200}}])",
        "unit 1: \"faults\": an answer cannot be short and oversized at once");
    row("garbage beyond a datagram", R"([{"faults": {"garbage": 70000}}])", "unit 1: \"faults\": \"garbage\"");
    row("bad duplicate MAC", R"([{"faults": {"duplicateMac": "xyz"}}])",
        "unit 1: \"faults\": \"duplicateMac\": expected true, false or a MAC");
}

void TestSimConfig::rejected()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    QList<SimUnit> units{SimUnit{}};
    QString why;
    QVERIFY(!parseFleetConfig(json, base, units, &why));
    QVERIFY2(why.startsWith(error), qPrintable(why));
    QVERIFY(units.isEmpty());
}

void TestSimConfig::fileErrorsNameTheFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QList<SimUnit> units;
    QString error;
    const QString missing = dir.filePath(QStringLiteral("missing.json"));
    QVERIFY(!loadFleetConfig(missing, base, units, &error));
    QVERIFY2(error.startsWith(missing + QStringLiteral(": ")), qPrintable(error));

    const QString bad = dir.filePath(QStringLiteral("bad.json"));
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(R"([{"readers": "lots"}])");
    f.close();
    QVERIFY(!loadFleetConfig(bad, base, units, &error));
    QVERIFY2(error.startsWith(bad + QStringLiteral(": unit 1: \"readers\"")), qPrintable(error));
}

void TestSimConfig::demoFleetMix()
{
    QList<SimUnit> units;
    QString error;
    QVERIFY2(demoFleet(7, base, units, &error), qPrintable(error));
    QCOMPARE(units.size(), 7);

    struct Expected
    {
        const char *desc;
        std::array<std::uint8_t, 3> version;
        int ncp;
        int readers;
    };
    const Expected expected[] = {
        {"Line 1 Infeed", {5, 0, 1}, 1, 1}, {"Line 1 Outfeed", {5, 0, 3}, 1, 2}, {"Line 2 Sorter", {5, 0, 3}, 0, 8},
        {"Line 2 Infeed", {3, 1, 6}, 0, 2}, {"Dock 3 Scale", {2, 5, 8}, 0, 1},
    };
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(units.at(i).description, QString::fromLatin1(expected[i].desc));
        QCOMPARE(units.at(i).version, expected[i].version);
        QCOMPARE(units.at(i).ncp, expected[i].ncp);
        QCOMPARE(units.at(i).readers, expected[i].readers);
    }
    // Past the profiles the names repeat with a number.
    QCOMPARE(units.at(6).description, QStringLiteral("Line 1 Infeed 2"));

    QSet<QString> macs;
    for (int i = 0; i < units.size(); ++i) {
        QCOMPARE(units.at(i).address, QHostAddress(0x7F000002u + quint32(i)));
        macs.insert(units.at(i).mac);
    }
    QCOMPARE(macs.size(), units.size());
}

void TestSimConfig::demoFleetAddressesRunOut()
{
    QList<SimUnit> units;
    QString error;
    QVERIFY(demoFleet(2, QHostAddress(QStringLiteral("255.255.255.254")), units, &error));
    QVERIFY(!demoFleet(3, QHostAddress(QStringLiteral("255.255.255.254")), units, &error));
    QCOMPARE(error, QStringLiteral("no IPv4 address for unit 3 after 255.255.255.254"));
    QVERIFY(units.isEmpty());
}

void TestSimConfig::macHelpers_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("other");
    QTest::newRow("loopback") << QStringLiteral("127.0.0.2") << QStringLiteral("0050C2000002")
                              << QStringLiteral("0050C2800002");
    QTest::newRow("lab unit") << QStringLiteral("10.231.0.11") << QStringLiteral("0050C2E7000B")
                              << QStringLiteral("0050C267000B");
    QTest::newRow("all ones") << QStringLiteral("255.255.255.255") << QStringLiteral("0050C2FFFFFF")
                              << QStringLiteral("0050C27FFFFF");
}

void TestSimConfig::macHelpers()
{
    QFETCH(QString, address);
    QFETCH(QString, mac);
    QFETCH(QString, other);
    QCOMPARE(macForAddress(QHostAddress(address)), mac);
    QVERIFY(isValidMac(mac));
    QCOMPARE(otherMac(mac), other);
    QCOMPARE(otherMac(other), mac);
}

void TestSimConfig::checkFaults_data()
{
    QTest::addColumn<SimFaults>("faults");
    QTest::addColumn<bool>("valid");
    QTest::newRow("none") << SimFaults{} << true;
    QTest::newRow("short 129") << makeFaults([](SimFaults &f) { f.shortLength = 129; }) << true;
    QTest::newRow("short 130") << makeFaults([](SimFaults &f) { f.shortLength = 130; }) << false;
    QTest::newRow("oversize 131") << makeFaults([](SimFaults &f) { f.oversizeLength = 131; }) << true;
    QTest::newRow("oversize 65508") << makeFaults([](SimFaults &f) { f.oversizeLength = 65508; }) << false;
    QTest::newRow("short and oversize") << makeFaults([](SimFaults &f) { f.shortLength = 5; f.oversizeLength = 200; }) << false;
    QTest::newRow("negative delay") << makeFaults([](SimFaults &f) { f.delayMs = -1; }) << false;
    QTest::newRow("bad duplicate MAC") << makeFaults([](SimFaults &f) { f.duplicate = true; f.duplicateMac = QStringLiteral("12"); }) << false;
}

void TestSimConfig::checkFaults()
{
    QFETCH(SimFaults, faults);
    QFETCH(bool, valid);
    QCOMPARE(vork::sim::checkFaults(faults).isEmpty(), valid);
}

void TestSimConfig::faultTableShape()
{
    QSet<QString> flags;
    QSet<QString> keys;
    const auto rows = faultSwitches();
    QVERIFY(rows.size() >= 20);
    for (const FaultSwitch &row : rows) {
        QVERIFY2(!flags.contains(row.flagName()), row.flag);
        flags.insert(row.flagName());
        const QString key = faultScopeName(row.scope) + QLatin1Char('.') + row.jsonKey();
        QVERIFY2(!keys.contains(key), qPrintable(key));
        keys.insert(key);
        QVERIFY2(row.set, row.flag);
        QVERIFY2(!faultHelp(row).isEmpty(), row.flag);
        QCOMPARE(findFaultSwitch(row.flagName()), &row);
        // A switch has no value to show; everything else names one.
        const bool switchLike = row.kind == FaultKind::Switch || row.kind == FaultKind::SwitchOrMac;
        QCOMPARE(row.valueName == nullptr, switchLike);
    }
    QCOMPARE(faultOptions().size(), rows.size());
    QVERIFY(faultKeys(FaultScope::Command).contains(QStringLiteral("lateBlockMs")));
    QVERIFY(!findFaultSwitch(QStringLiteral("no-such-fault")));
}

void TestSimConfig::flagMatchesFileKey_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("json");
    auto row = [](const char *flag, const char *text, const char *json) {
        QTest::newRow(flag) << QString::fromLatin1(flag) << QString::fromLatin1(text) << QByteArray(json);
    };
    row("short", "50", R"({"faults": {"short": 50}})");
    row("oversize", "1200", R"({"faults": {"oversize": 1200}})");
    row("garbage", "33", R"({"faults": {"garbage": 33}})");
    row("duplicate-mac", "", R"({"faults": {"duplicateMac": true}})");
    row("delay", "250", R"({"faults": {"delayMs": 250}})");
    row("silent", "", R"({"faults": {"silent": true}})");
    row("old-firmware", "", R"({"oldFirmware": true})");
    row("nak", "hp0", R"({"commandFaults": {"nak": "hp0"}})");
    row("mute", "UT", R"({"commandFaults": {"silent": "UT"}})");
    row("tcp-delay", "20", R"({"commandFaults": {"delayMs": 20}})");
    row("stray", "00 41", R"({"commandFaults": {"stray": "0041"}})");
    row("drop-after", "9", R"({"commandFaults": {"dropAfter": 9}})");
    row("fail-erase", "", R"({"commandFaults": {"failErase": true}})");
    row("split-replies", "", R"({"commandFaults": {"splitReplies": true}})");
    row("late-block", "250", R"({"commandFaults": {"lateBlockMs": 250}})");
    row("trickle", "5", R"({"commandFaults": {"trickleMs": "5"}})");
    row("close-linger", "700", R"({"commandFaults": {"closeLingerMs": "0x2BC"}})");
    row("restart-ms", "200", R"({"restartMs": 200})");
    row("checksum-delay", "40", R"({"checksum": {"delayMs": 40}})");
    row("checksum-location", "ABC", R"({"checksum": {"location": "0xABC"}})");
    row("photo-eyes", "05 07", R"({"photoEyes": "0507"})");
}

void TestSimConfig::flagMatchesFileKey()
{
    QFETCH(QString, flag);
    QFETCH(QString, text);
    QFETCH(QByteArray, json);
    const FaultSwitch *row = findFaultSwitch(flag);
    QVERIFY(row);
    FaultValue value;
    QString error;
    QVERIFY2(parseFaultFlag(*row, text, value, error), qPrintable(error));
    QList<SimUnit> units;
    QVERIFY2(parseFleetConfig(QByteArray("[{}, ") + json + "]", base, units, &error), qPrintable(error));
    SimUnit flagged = units.at(0);
    overlayFaults(flagged, {{row, value}});
    QVERIFY(faultState(flagged) != faultState(units.at(0)));
    QCOMPARE(faultState(flagged), faultState(units.at(1)));
}

void TestSimConfig::badFaultFlags_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    auto row = [](const char *name, const char *flag, const char *text, const char *error) {
        QTest::newRow(name) << QString::fromLatin1(flag) << QString::fromLatin1(text) << QString::fromLatin1(error);
    };
    row("late block negative", "late-block", "-1", "--late-block takes a number from 0 to 600000");
    row("late block not a number", "late-block", "soon", "--late-block takes a number from 0 to 600000");
    row("trickle too slow", "trickle", "10001", "--trickle takes a number from 0 to 10000");
    row("close linger too long", "close-linger", "600001", "--close-linger takes a number from 0 to 600000");
    row("drop after zero", "drop-after", "0", "--drop-after takes a number from 1 to 100000000");
    row("location beyond 24 bits", "checksum-location", "1000000",
        "--checksum-location takes a hex number up to FFFFFF");
    row("location not hex", "checksum-location", "xyz", "--checksum-location takes a hex number up to FFFFFF");
    row("no stray bytes", "stray", "", "--stray takes 1 to 4096 bytes as hex digits");
    row("odd stray digits", "stray", "123", "--stray takes 1 to 4096 bytes as hex digits");
    // "\\u20ac" stands for the euro sign, beyond 8 bits.
    row("command beyond 8 bits", "nak", "\\u20ac", "--nak takes command letters");
}

void TestSimConfig::badFaultFlags()
{
    QFETCH(QString, flag);
    QFETCH(QString, text);
    QFETCH(QString, error);
    const FaultSwitch *row = findFaultSwitch(flag);
    QVERIFY(row);
    FaultValue value;
    QString why;
    QVERIFY(!parseFaultFlag(*row, text.replace(QStringLiteral("\\u20ac"), QString(QChar(0x20AC))), value, why));
    QCOMPARE(why, error);
}

void TestSimConfig::flagsLieOverTheFile()
{
    QList<SimUnit> units;
    QString error;
    QVERIFY2(parseFleetConfig(R"([{"faults": {"oversize": 1200}, "commandFaults": {"nak": "S", "lateBlockMs": 90}}])",
                              base, units, &error),
             qPrintable(error));
    const auto flag = [](const char *name, const char *text) {
        const FaultSwitch *row = findFaultSwitch(QString::fromLatin1(name));
        FaultValue value;
        QString why;
        if (!row || !parseFaultFlag(*row, QString::fromLatin1(text), value, why))
            qFatal("bad test flag %s", name);
        return FaultSetting{row, value};
    };
    SimUnit u = units.first();
    overlayFaults(u, {flag("short", "40"), flag("nak", "h"), flag("trickle", "3")});
    // A short answer replaces the file's oversized one; command lists add up; the rest stays.
    QCOMPARE(u.faults.shortLength, 40);
    QCOMPARE(u.faults.oversizeLength, 0);
    QCOMPARE(u.commandFaults.nakCommands, QByteArray("Sh"));
    QCOMPARE(u.commandFaults.lateBlockMs, 90);
    QCOMPARE(u.commandFaults.trickleMs, 3);
    QVERIFY(vork::sim::checkFaults(u.faults).isEmpty());
}

QTEST_GUILESS_MAIN(TestSimConfig)
#include "tst_simconfig.moc"
