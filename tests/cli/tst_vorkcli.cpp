// The command-line tool against simulated units on loopback.
#include "cli/cliargs.h"
#include "clirun.h"
#include "cli/safetext.h"
#include "core/address.h"
#include "core/boundedwait.h"
#include "setup/setuprecord.h"
#include "simfleet.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <unistd.h>

using namespace vork;
using namespace vork::clitest;

namespace {

// Two units on 127.0.11.2 and .3 (UDP and TCP), or the units given.
class Fleet
{
public:
    Fleet()
    {
        for (int i = 0; i < 2; ++i)
            fleet.add(sim::demoUnit(i, QHostAddress(QStringLiteral("127.0.11.%1").arg(i + 2))));
        start({});
    }
    explicit Fleet(const QList<sim::SimUnit> &units, bool tcp = true)
    {
        for (const sim::SimUnit &u : units)
            fleet.add(u);
        sim::SimUnitServer::Options options;
        options.tcp = tcp;
        start(options);
    }
    sim::SimFleet fleet;
    bool started = false;

private:
    void start(const sim::SimUnitServer::Options &options)
    {
        QString error;
        started = fleet.start(options, &error);
        if (!started)
            qWarning("%s", qPrintable(error));
    }
};

// The unit the failure cases run against.
const QString failAddress = QStringLiteral("127.0.21.2");

sim::SimUnit failUnit()
{
    return sim::demoUnit(0, QHostAddress(failAddress));
}

} // namespace

class TestVorkCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void discoverListsTheTargets();
    void discoverJsonAndNoneFound();
    void badArguments_data();
    void badArguments();
    void unitCommands_data();
    void unitCommands();
    void eraseRefusedByTheUnit();
    void setupGet_data();
    void setupGet();
    void setupGetJson_data();
    void setupGetJson();
    void setupGetFailures_data();
    void setupGetFailures();
    void setupDiffNamesTheFieldsThatDiffer();
    void setupSetPutAndFiles();
    void clockZoneGoesIntoTheSetup();
    void datagramCommands();
    void lateRepliesEndCleanly_data();
    void lateRepliesEndCleanly();
    void monitorPrintsRecordsAndLetsGo_data();
    void monitorPrintsRecordsAndLetsGo();
    void monitorEndsWhenTheLinkDrops();
    void photoEyes_data();
    void photoEyes();
    void photoEyesFailures_data();
    void photoEyesFailures();
    void forceRead_data();
    void forceRead();
    void historyGet_data();
    void historyGet();
    void historyGetLinkDrops_data();
    void historyGetLinkDrops();
    void historyGetShortOrSlow_data();
    void historyGetShortOrSlow();
    void failuresSayWhy_data();
    void failuresSayWhy();
    void declinedQuestion_data();
    void declinedQuestion();
    void unbindableLocalAddress_data();
    void unbindableLocalAddress();
    void icmpNotPermitted();
    void unitTextIsEscaped();
    void escapedText_data();
    void escapedText();
    void broadcastAddresses_data();
    void broadcastAddresses();
    void fullTableIsReported();
    void help_data();
    void help();
    void simulatorRefusesUnknownOptions();
    void eventsDecode_data();
    void eventsDecode();
    void eventsDecodeJson();

};

void TestVorkCli::discoverListsTheTargets()
{
    Fleet f;
    QVERIFY(f.started);
    const Run r = runVork({QStringLiteral("discover"), QStringLiteral("--to"), QStringLiteral("127.0.11.2"),
                        QStringLiteral("--to"), QStringLiteral("127.0.11.3"), QStringLiteral("--wait"),
                        QStringLiteral("300"), QStringLiteral("--sort"), QStringLiteral("ip")});
    QCOMPARE(r.status, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0).split(QLatin1Char('\t')).at(3), QStringLiteral("127.0.11.2"));
    QCOMPARE(lines.at(1).split(QLatin1Char('\t')).at(3), QStringLiteral("127.0.11.3"));
    QCOMPARE(lines.at(0).split(QLatin1Char('\t')).size(), 12);
}

void TestVorkCli::discoverJsonAndNoneFound()
{
    Fleet f;
    QVERIFY(f.started);
    Run r = runVork({QStringLiteral("discover"), QStringLiteral("--to"), QStringLiteral("127.0.11.3"),
                  QStringLiteral("--wait"), QStringLiteral("300"), QStringLiteral("--json")});
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.contains(QStringLiteral("\"ip\": \"127.0.11.3\"")));
    QVERIFY(r.out.contains(QStringLiteral("\"mac\": \"0050C2000B03\"")));

    // Nobody at that address: the text on stderr, exit 1.
    r = runVork({QStringLiteral("discover"), QStringLiteral("--to"), QStringLiteral("127.0.11.99"), QStringLiteral("--wait"),
              QStringLiteral("200")});
    QCOMPARE(r.status, 1);
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.err.contains(QStringLiteral("No Vork Control Units discovered on the network")));
}

void TestVorkCli::badArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    const QString bad = QStringLiteral("Invalid IP address entered");
    const QString broadcast = QStringLiteral("is a broadcast address");
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")} << "unknown command 'frobnicate'";
    QTest::newRow("bad target") << QStringList{QStringLiteral("discover"), QStringLiteral("--to"), QStringLiteral("10.0.5")}
                                << bad;
    QTest::newRow("bad sort") << QStringList{QStringLiteral("discover"), QStringLiteral("--sort"), QStringLiteral("colour")}
                              << "unknown sort key";
    QTest::newRow("bad wait") << QStringList{QStringLiteral("discover"), QStringLiteral("--wait"), QStringLiteral("0")}
                              << "--wait";
    QTest::newRow("three numbers") << QStringList{QStringLiteral("clock"), QStringLiteral("10.0.5")} << bad;
    QTest::newRow("erase what") << QStringList{QStringLiteral("erase"), QStringLiteral("everything"), QStringLiteral("127.0.11.2")}
                                << "WHAT must be setup, history or persistent";
    QTest::newRow("missing address") << QStringList{QStringLiteral("reboot")} << "usage: vork reboot [options] ADDRESS";
    // No leading zeros and no number above 255, wherever an address is typed.
    QTest::newRow("leading zero last") << QStringList{QStringLiteral("clock"), QStringLiteral("127.0.77.09")} << bad;
    QTest::newRow("leading zero first") << QStringList{QStringLiteral("info"), QStringLiteral("01.2.3.4")} << bad;
    QTest::newRow("300") << QStringList{QStringLiteral("version"), QStringLiteral("300.1.1.1")} << bad;
    QTest::newRow("discover target with zero")
        << QStringList{QStringLiteral("discover"), QStringLiteral("--to"), QStringLiteral("127.0.21.02")} << bad;
    QTest::newRow("discover local with zero")
        << QStringList{QStringLiteral("discover"), QStringLiteral("--local-ip"), QStringLiteral("127.0.0.01"),
                       QStringLiteral("--to"), QStringLiteral("127.0.21.2")}
        << bad;
    QTest::newRow("unit local with zero")
        << QStringList{QStringLiteral("clock"), QStringLiteral("--local-ip"), QStringLiteral("127.00.0.1"),
                       QStringLiteral("127.0.21.2")}
        << "not an IPv4 address";
    QTest::newRow("ping leading zero") << QStringList{QStringLiteral("ping"), QStringLiteral("127.0.0.01")} << bad;
    // A unit command reaches one unit, never a whole network.
    QTest::newRow("limited broadcast") << QStringList{QStringLiteral("clock"), QStringLiteral("255.255.255.255")}
                                       << broadcast;
    QTest::newRow("reboot loopback broadcast")
        << QStringList{QStringLiteral("reboot"), QStringLiteral("--yes"), QStringLiteral("127.255.255.255")} << broadcast;
    QTest::newRow("erase limited broadcast")
        << QStringList{QStringLiteral("erase"), QStringLiteral("history"), QStringLiteral("--yes"),
                       QStringLiteral("255.255.255.255")}
        << broadcast;
    QTest::newRow("ping limited broadcast") << QStringList{QStringLiteral("ping"), QStringLiteral("255.255.255.255")}
                                            << broadcast;
    // --yes only where there is a question to answer.
    QTest::newRow("yes without a question")
        << QStringList{QStringLiteral("clock"), QStringLiteral("--yes"), QStringLiteral("127.0.21.2")} << "'yes'";
    QTest::newRow("setup without get") << QStringList{QStringLiteral("setup"), QStringLiteral("127.0.31.2")}
                                       << "WHAT must be get";
    QTest::newRow("setup get without address") << QStringList{QStringLiteral("setup"), QStringLiteral("get")}
                                               << "usage: vork setup get [options] ADDRESS";
    QTest::newRow("setup get broadcast")
        << QStringList{QStringLiteral("setup"), QStringLiteral("get"), QStringLiteral("255.255.255.255")} << broadcast;
    QTest::newRow("setup get --yes") << QStringList{QStringLiteral("setup"), QStringLiteral("get"), QStringLiteral("--yes"),
                                                    QStringLiteral("127.0.31.2")}
                                     << "'yes'";
    QTest::newRow("photoeyes without address") << QStringList{QStringLiteral("photoeyes")}
                                               << "usage: vork photoeyes [options] ADDRESS";
    QTest::newRow("photoeyes --count without --watch")
        << QStringList{QStringLiteral("photoeyes"), QStringLiteral("--count"), QStringLiteral("3"), failAddress}
        << "--count and --seconds go with --watch";
    QTest::newRow("photoeyes --count 0")
        << QStringList{QStringLiteral("photoeyes"), QStringLiteral("--watch"), QStringLiteral("--count"),
                       QStringLiteral("0"), failAddress}
        << "--count must be 1..1000000000";
    QTest::newRow("photoeyes broadcast") << QStringList{QStringLiteral("photoeyes"), QStringLiteral("255.255.255.255")}
                                         << broadcast;
    QTest::newRow("force-read label 0")
        << QStringList{QStringLiteral("force-read"), QStringLiteral("--reader"), QStringLiteral("0"),
                       QStringLiteral("--label"), QStringLiteral("0"), failAddress}
        << "--label must be 1..16383";
    QTest::newRow("force-read label 16384")
        << QStringList{QStringLiteral("force-read"), QStringLiteral("--reader"), QStringLiteral("0"),
                       QStringLiteral("--label"), QStringLiteral("16384"), failAddress}
        << "--label must be 1..16383";
    QTest::newRow("force-read reader 8")
        << QStringList{QStringLiteral("force-read"), QStringLiteral("--reader"), QStringLiteral("8"),
                       QStringLiteral("--label"), QStringLiteral("5"), failAddress}
        << "--reader must be 0..7";
    QTest::newRow("force-read without a label")
        << QStringList{QStringLiteral("force-read"), QStringLiteral("--reader"), QStringLiteral("1"), failAddress}
        << "usage: vork force-read --reader R --label L";
    QTest::newRow("history without get") << QStringList{QStringLiteral("history"), QStringLiteral("127.0.31.2")}
                                         << "WHAT must be get";
    QTest::newRow("history get without address") << QStringList{QStringLiteral("history"), QStringLiteral("get")}
                                                 << "usage: vork history get [options] ADDRESS";
    QTest::newRow("history count 0")
        << QStringList{QStringLiteral("history"), QStringLiteral("get"), QStringLiteral("--count"), QStringLiteral("0"),
                       QStringLiteral("127.0.31.2")}
        << "--count must be 1..32768";
    QTest::newRow("history count past the buffer")
        << QStringList{QStringLiteral("history"), QStringLiteral("get"), QStringLiteral("--count"),
                       QStringLiteral("32769"), QStringLiteral("127.0.31.2")}
        << "--count must be 1..32768";
    QTest::newRow("history reader past 7")
        << QStringList{QStringLiteral("history"), QStringLiteral("get"), QStringLiteral("--reader"), QStringLiteral("8"),
                       QStringLiteral("127.0.31.2")}
        << "--reader must be 0..7";
    QTest::newRow("history since not a time")
        << QStringList{QStringLiteral("history"), QStringLiteral("get"), QStringLiteral("--since"),
                       QStringLiteral("yesterday"), QStringLiteral("127.0.31.2")}
        << "--since takes \"YYYY-MM-DD HH:MM\" or YYYY-MM-DD";
    QTest::newRow("history unknown kind")
        << QStringList{QStringLiteral("history"), QStringLiteral("get"), QStringLiteral("--kinds"),
                       QStringLiteral("labels,boots"), QStringLiteral("127.0.31.2")}
        << "--kinds takes errors,labels,diagnostics,alarms";
    QTest::newRow("history get broadcast")
        << QStringList{QStringLiteral("history"), QStringLiteral("get"), QStringLiteral("255.255.255.255")} << broadcast;
    QTest::newRow("interfaces with an argument") << QStringList{QStringLiteral("interfaces"), QStringLiteral("x")}
                                                 << "takes no arguments";
    // Event records: hex digits in pairs, nothing else; checked before anything is printed.
    QTest::newRow("events odd length")
        << QStringList{QStringLiteral("events"), QStringLiteral("decode"), QStringLiteral("0203030714150E0509393")}
        << "record 1: odd number of hex digits (21)";
    QTest::newRow("events not hex")
        << QStringList{QStringLiteral("events"), QStringLiteral("decode"), QStringLiteral("0203030714150E05093930"),
                       QStringLiteral("02 03 0G")}
        << "record 2: not hexadecimal: 'G'";
    QTest::newRow("events without a record") << QStringList{QStringLiteral("events"), QStringLiteral("decode")}
                                             << "expected at least one HEX record";
    QTest::newRow("events without decode") << QStringList{QStringLiteral("events"), QStringLiteral("0203")}
                                           << "expected 'decode'";
    QTest::newRow("events bad firmware")
        << QStringList{QStringLiteral("events"), QStringLiteral("decode"), QStringLiteral("--firmware"),
                       QStringLiteral("5.0"), QStringLiteral("0400")}
        << "--firmware must be X.Y.Z";
}

void TestVorkCli::badArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    const Run r = runVork(args);
    QVERIFY2(r.status == 2, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(error), qPrintable(printable(r)));
    QVERIFY(r.out.isEmpty());
}

void TestVorkCli::unitCommands_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected"); // a line of stdout
    QTest::addColumn<QByteArray>("commands"); // what the unit received, in order, after the login
    QTest::newRow("version") << QStringList{QStringLiteral("version"), QStringLiteral("127.0.11.2")}
                             << "5.0.1 MAR-07-2019 readers 1 boot loader 1.05" << QByteArray();
    QTest::newRow("clock") << QStringList{QStringLiteral("clock"), QStringLiteral("127.0.11.2")} << ", 20"
                           << QByteArray("STQC");
    QTest::newRow("checksum") << QStringList{QStringLiteral("checksum"), QStringLiteral("--yes"), QStringLiteral("127.0.11.2")}
                              << "RAM program matches FLASH" << QByteArray("XC");
    QTest::newRow("erase history") << QStringList{QStringLiteral("erase"), QStringLiteral("history"), QStringLiteral("--yes"),
                                                  QStringLiteral("127.0.11.2")}
                                   << "Erased history of Vork Unit 127.0.11.2" << QByteArray("ShQC");
}

void TestVorkCli::unitCommands()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    QFETCH(QByteArray, commands);
    Fleet f;
    QVERIFY(f.started);
    const Run r = runVork(args + QStringList{QStringLiteral("--no-ping")}, 90000);
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(expected), qPrintable(r.out));
    QByteArray received = f.fleet.server(0).tcp().received();
    if (received.startsWith("KBmPQD"))
        received.remove(0, 6); // the login of a 5.0.1 unit
    QCOMPARE(received, commands);
    QCOMPARE(f.fleet.server(0).tcp().authenticationCount(), commands.isEmpty() ? 0 : 1);
}

void TestVorkCli::eraseRefusedByTheUnit()
{
    Fleet f;
    QVERIFY(f.started);
    sim::SimCommandFaults faults;
    faults.failErase = true;
    f.fleet.server(0).setCommandFaults(faults);
    const Run r = runVork({QStringLiteral("erase"), QStringLiteral("persistent"), QStringLiteral("--yes"),
                        QStringLiteral("--no-ping"), QStringLiteral("127.0.11.2")});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains(QStringLiteral("refused the erase")));
}

void TestVorkCli::setupGet_data()
{
    QTest::addColumn<int>("profile");        // sim::demoUnit profile
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("fields");         // lines printed
    QTest::addColumn<QStringList>("lines");  // some of them, exactly
    QTest::addColumn<QStringList>("absent"); // fields a record of that length does not hold
    // Values from the simulator's default record for a unit on a.b.c.d.
    QTest::newRow("5.0.1: the full record")
        << 0 << QStringLiteral("127.0.31.2") << 65
        << QStringList{QStringLiteral("na: 1"), QStringLiteral("npro: 1"), QStringLiteral("nsip: 0.0.0.0"),
                       QStringLiteral("nprt: 3000"), QStringLiteral("nrip: 127.0.31.2"),
                       QStringLiteral("nrm: 255.255.255.0"), QStringLiteral("ndg: 127.0.31.1"),
                       QStringLiteral("ntsuf: 60"), QStringLiteral("cbaud: 4"), QStringLiteral("caddr: 1"),
                       QStringLiteral("nkar: 3"), QStringLiteral("desc: Line 1 Infeed"), QStringLiteral("lsc: 3"),
                       QStringLiteral("dsd: 10"), QStringLiteral("pw: "), QStringLiteral("tzo: 00000000000000000000000000"),
                       QStringLiteral("nrtcnt: 5"), QStringLiteral("wdt: 1"), QStringLiteral("naddr: 1"),
                       QStringLiteral("minB1: 10"), QStringLiteral("ethp: 4"), QStringLiteral("ncp: 1"),
                       QStringLiteral("eipPLCIP: 0.0.0.0")}
        << QStringList();
    // 2.5.8 sends 225 bytes: up to drt, and no ethp below 5.0.0.
    QTest::newRow("2.5.8: an older unit")
        << 4 << QStringLiteral("127.0.31.3") << 51
        << QStringList{QStringLiteral("nrip: 127.0.31.3"), QStringLiteral("desc: Dock 3 Scale"),
                       QStringLiteral("caddr: 5"), QStringLiteral("nfm: 0"), QStringLiteral("wdt: 1"),
                       QStringLiteral("drt: 0")}
        << QStringList{QStringLiteral("naddr"), QStringLiteral("wdt31"), QStringLiteral("minB1"),
                       QStringLiteral("ethp"), QStringLiteral("ncp"), QStringLiteral("eipPLCIP")};
    // 3.1.6 sends 236 bytes in its own layout: uats moved into place, no ethp.
    QTest::newRow("3.1.6: older layout")
        << 3 << QStringLiteral("127.0.31.4") << 60
        << QStringList{QStringLiteral("desc: Line 2 Infeed"), QStringLiteral("naddr: 4"), QStringLiteral("minB2: 10")}
        << QStringList{QStringLiteral("ethp"), QStringLiteral("firewall"), QStringLiteral("eipDiags")};
}

void TestVorkCli::setupGet()
{
    QFETCH(int, profile);
    QFETCH(QString, address);
    QFETCH(int, fields);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, absent);
    Fleet f({sim::demoUnit(profile, QHostAddress(address))});
    QVERIFY(f.started);
    const Run r = runVork({QStringLiteral("setup"), QStringLiteral("get"), QStringLiteral("--no-ping"), address}, 30000);
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    const QStringList out = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(out.size(), fields);
    for (const QString &line : lines)
        QVERIFY2(out.contains(line), qPrintable(line + QStringLiteral(" in\n") + r.out));
    for (const QString &name : absent)
        for (const QString &line : out)
            QVERIFY2(!line.startsWith(name + QStringLiteral(": ")), qPrintable(line));
    // Setup mode in, the record, setup mode out, close.
    QByteArray received = f.fleet.server(0).tcp().received();
    if (received.startsWith("KBmPQD"))
        received.remove(0, 6);
    QCOMPARE(received, QByteArray("SUQC"));
}

void TestVorkCli::setupGetJson_data()
{
    QTest::addColumn<int>("profile");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("length");
    QTest::newRow("5.0.1") << 0 << QStringLiteral("127.0.31.5") << 243;
    QTest::newRow("2.5.8") << 4 << QStringLiteral("127.0.31.6") << 225;
}

void TestVorkCli::setupGetJson()
{
    QFETCH(int, profile);
    QFETCH(QString, address);
    QFETCH(int, length);
    Fleet f({sim::demoUnit(profile, QHostAddress(address))});
    QVERIFY(f.started);
    const Run r = runVork({QStringLiteral("setup"), QStringLiteral("get"), QStringLiteral("--json"),
                           QStringLiteral("--no-ping"), address},
                          30000);
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
    QVERIFY2(doc.isObject(), qPrintable(error.errorString() + QLatin1Char('\n') + r.out));
    const QJsonObject o = doc.object();
    QCOMPARE(o.value(QStringLiteral("length")).toInt(-1), length);
    QVERIFY(o.value(QStringLiteral("nprt")).isDouble());
    QCOMPARE(o.value(QStringLiteral("nprt")).toInt(), 3000);
    QCOMPARE(o.value(QStringLiteral("ntsuf")).toInt(), 60);
    QCOMPARE(o.value(QStringLiteral("na")), QJsonValue(true));
    QCOMPARE(o.value(QStringLiteral("ndhcp")), QJsonValue(false));
    QCOMPARE(o.value(QStringLiteral("nrip")).toString(), address);
    QCOMPARE(o.value(QStringLiteral("wdt")).toInt(), 1);
    if (length == 243) {
        QCOMPARE(o.size(), 65 + 1);
        QCOMPARE(o.value(QStringLiteral("eipPLCIP")).toString(), QStringLiteral("0.0.0.0"));
        QCOMPARE(o.value(QStringLiteral("ethp")).toInt(), 4);
        QCOMPARE(o.value(QStringLiteral("naddr")).toInt(), 1);
    } else {
        QCOMPARE(o.size(), 51 + 1);
        QVERIFY(!o.contains(QStringLiteral("naddr")));
        QVERIFY(!o.contains(QStringLiteral("ethp")));
    }
}

void TestVorkCli::setupGetFailures_data()
{
    QTest::addColumn<QByteArray>("nak");
    QTest::addColumn<QByteArray>("mute");
    QTest::addColumn<int>("dropAfter");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QByteArray>("commands"); // what the unit received after the login
    const QString unit = QStringLiteral("Vork Unit 127.0.31.9");
    QTest::newRow("U refused") << QByteArray("U") << QByteArray() << 0
                               << unit + QStringLiteral(" refused the setup upload (U) (NAK)") << QByteArray("SUQC");
    QTest::newRow("S refused") << QByteArray("S") << QByteArray() << 0
                               << unit + QStringLiteral(" refused the setup command (S) (NAK)") << QByteArray("SC");
    QTest::newRow("U unanswered") << QByteArray() << QByteArray("U") << 0
                                  << QStringLiteral("No setup record received from ") + unit
                                         + QStringLiteral(": no acknowledgement or no record within 3 s")
                                  << QByteArray("SUQC");
    QTest::newRow("link dropped after U's ACK") << QByteArray() << QByteArray() << 2
                                                << QStringLiteral("No setup record received from ") + unit
                                                       + QStringLiteral(": connection lost")
                                                << QByteArray("SU");
    QTest::newRow("link dropped inside the record") << QByteArray() << QByteArray() << 100
                                                    << QStringLiteral("No setup record received from ") + unit
                                                           + QStringLiteral(": connection lost")
                                                    << QByteArray("SU");
    QTest::newRow("Q refused") << QByteArray("Q") << QByteArray() << 0
                               << unit + QStringLiteral(" refused the quit command (Q) (NAK)") << QByteArray("SUQC");
}

void TestVorkCli::setupGetFailures()
{
    QFETCH(QByteArray, nak);
    QFETCH(QByteArray, mute);
    QFETCH(int, dropAfter);
    QFETCH(QString, error);
    QFETCH(QByteArray, commands);
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.31.9")));
    u.commandFaults.nakCommands = nak;
    u.commandFaults.silentCommands = mute;
    u.commandFaults.dropAfterBytes = dropAfter;
    Fleet f({u});
    QVERIFY(f.started);
    const Run r = runVork({QStringLiteral("setup"), QStringLiteral("get"), QStringLiteral("--no-ping"),
                           QStringLiteral("--wait"), QStringLiteral("300"), QStringLiteral("127.0.31.9")},
                          30000);
    QVERIFY2(r.status == 1, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(error), qPrintable(printable(r)));
    QVERIFY2(r.out.isEmpty(), qPrintable(printable(r)));
    QByteArray received = f.fleet.server(0).tcp().received();
    if (received.startsWith("KBmPQD"))
        received.remove(0, 6);
    QCOMPARE(received, commands);
}

void TestVorkCli::lateRepliesEndCleanly_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<int>("answerDelayMs"); // before every answer
    QTest::addColumn<int>("lateBlockMs");   // a block after its ACK
    QTest::addColumn<QString>("error");
    // 'X' acknowledged after the wait gave up, its result 0.3 s later while the tool closes.
    QTest::newRow("checksum") << QStringList{QStringLiteral("checksum"), QStringLiteral("--yes")} << 5300 << 0
                              << "Vork Unit 127.0.11.2 did not take the checksum request: no acknowledgement";
    // The 'T' block comes after the 'Q' and 'C' acknowledgements, the link still open.
    QTest::newRow("clock") << QStringList{QStringLiteral("clock")} << 0 << 3500
                           << "No clock received from Vork Unit 127.0.11.2: no answer within 3 s";
}

void TestVorkCli::lateRepliesEndCleanly()
{
    QFETCH(QStringList, command);
    QFETCH(int, answerDelayMs);
    QFETCH(int, lateBlockMs);
    QFETCH(QString, error);
    Fleet f;
    QVERIFY(f.started);
    sim::SimCommandFaults faults;
    faults.delayMs = answerDelayMs;
    faults.lateBlockMs = lateBlockMs;
    faults.closeLingerMs = 2500;
    f.fleet.server(0).setCommandFaults(faults);
    const Run r = runVork(command + QStringList{QStringLiteral("--no-ping"), QStringLiteral("127.0.11.2")}, 30000);
    QCOMPARE(r.status, 1); // -1 would be a crash
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    // The late block did go out while the tool was still connected.
    QVERIFY(wait::until([&] { return f.fleet.server(0).tcp().sent().size() > 12; }, 5000));
}

void TestVorkCli::failuresSayWhy_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("nak");  // command bytes the unit refuses
    QTest::addColumn<QByteArray>("mute"); // command bytes the unit leaves unanswered
    QTest::addColumn<int>("dropAfter");   // the unit closes the link after this many bytes
    QTest::addColumn<int>("shortLength"); // announcement cut to this many bytes
    QTest::addColumn<int>("oversize");    // announcement padded to this many bytes
    QTest::addColumn<bool>("silent");     // no announcement at all
    QTest::addColumn<bool>("tcp");        // the command port listens
    QTest::addColumn<QString>("error");

    const QString a = failAddress;
    const QString unit = QStringLiteral("Vork Unit ") + a;
    const auto cmd = [&](std::initializer_list<const char *> words) {
        QStringList l;
        for (const char *w : words)
            l << QString::fromLatin1(w);
        return l << QStringLiteral("--no-ping") << QStringLiteral("--wait") << QStringLiteral("300") << a;
    };
    QTest::newRow("clock: setup refused") << cmd({"clock"}) << QByteArray("S") << QByteArray() << 0 << 0 << 0 << false
                                          << true << unit + QStringLiteral(" refused the setup command (S) (NAK)");
    QTest::newRow("clock: read unanswered")
        << cmd({"clock"}) << QByteArray() << QByteArray("T") << 0 << 0 << 0 << false << true
        << unit + QStringLiteral(" did not answer the clock read (T): no acknowledgement");
    QTest::newRow("clock: link dropped") << cmd({"clock"}) << QByteArray() << QByteArray() << 1 << 0 << 0 << false
                                         << true << unit + QStringLiteral(" did not answer the clock read (T): connection lost");
    QTest::newRow("clock --set: refused") << cmd({"clock", "--set"}) << QByteArray("t") << QByteArray() << 0 << 0 << 0
                                          << false << true << unit + QStringLiteral(" refused the clock setting (t) (NAK)");
    QTest::newRow("clock: quit refused") << cmd({"clock"}) << QByteArray("Q") << QByteArray() << 0 << 0 << 0 << false
                                         << true << unit + QStringLiteral(" refused the quit command (Q) (NAK)");
    QTest::newRow("checksum: refused") << cmd({"checksum", "--yes"}) << QByteArray("X") << QByteArray() << 0 << 0 << 0
                                       << false << true
                                       << unit + QStringLiteral(" did not take the checksum request: refused (NAK)");
    QTest::newRow("checksum: link dropped")
        << cmd({"checksum", "--yes"}) << QByteArray() << QByteArray() << 1 << 0 << 0 << false << true
        << QStringLiteral("No checksum received from ") + unit + QStringLiteral(": connection lost");
    QTest::newRow("erase: setup refused") << cmd({"erase", "history", "--yes"}) << QByteArray("S") << QByteArray() << 0
                                          << 0 << 0 << false << true
                                          << unit + QStringLiteral(" refused the setup command (S) (NAK)");
    QTest::newRow("erase: unanswered") << cmd({"erase", "setup", "--yes"}) << QByteArray() << QByteArray("c") << 0 << 0
                                       << 0 << false << true
                                       << unit + QStringLiteral(" did not answer the erase: no acknowledgement");
    QTest::newRow("erase: link dropped") << cmd({"erase", "persistent", "--yes"}) << QByteArray() << QByteArray() << 1
                                         << 0 << 0 << false << true
                                         << unit + QStringLiteral(" did not answer the erase: connection lost");
    QTest::newRow("clock: no command port") << cmd({"clock"}) << QByteArray() << QByteArray() << 0 << 0 << 0 << false
                                            << false
                                            << QStringLiteral("Failed to Connect to ") + a
                                                   + QStringLiteral(": connection refused");
    QTest::newRow("clock: unit silent") << cmd({"clock"}) << QByteArray() << QByteArray() << 0 << 0 << 0 << true << true
                                        << QStringLiteral("No answer from ") + unit + QStringLiteral(" within 300 ms");
    QTest::newRow("reboot: unit silent") << cmd({"reboot", "--yes"}) << QByteArray() << QByteArray() << 0 << 0 << 0
                                         << true << true
                                         << QStringLiteral("No answer from ") + unit + QStringLiteral(" within 300 ms");
    QTest::newRow("info: short announcement")
        << cmd({"info"}) << QByteArray() << QByteArray() << 0 << 50 << 0 << false << true
        << unit + QStringLiteral(" answered with a deficient announcement: 50 bytes (109 to 1001 expected)");
    QTest::newRow("version: oversized announcement")
        << cmd({"version"}) << QByteArray() << QByteArray() << 0 << 0 << 1500 << false << true
        << unit + QStringLiteral(" answered with a deficient announcement: more than 1001 bytes (109 to 1001 expected)");
    QTest::newRow("discover: short announcement")
        << QStringList{QStringLiteral("discover"), QStringLiteral("--to"), a, QStringLiteral("--wait"),
                       QStringLiteral("300")}
        << QByteArray() << QByteArray() << 0 << 108 << 0 << false << true
        << QStringLiteral("Deficient announcement from ") + a + QStringLiteral(": 108 bytes (109 to 1001 expected)");
    QTest::newRow("discover: oversized announcement")
        << QStringList{QStringLiteral("discover"), QStringLiteral("--to"), a, QStringLiteral("--wait"),
                       QStringLiteral("300")}
        << QByteArray() << QByteArray() << 0 << 0 << 1002 << false << true
        << QStringLiteral("Deficient announcement from ") + a + QStringLiteral(": more than 1001 bytes");
}

void TestVorkCli::failuresSayWhy()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, nak);
    QFETCH(QByteArray, mute);
    QFETCH(int, dropAfter);
    QFETCH(int, shortLength);
    QFETCH(int, oversize);
    QFETCH(bool, silent);
    QFETCH(bool, tcp);
    QFETCH(QString, error);
    sim::SimUnit u = failUnit();
    u.commandFaults.nakCommands = nak;
    u.commandFaults.silentCommands = mute;
    u.commandFaults.dropAfterBytes = dropAfter;
    u.faults.shortLength = shortLength;
    u.faults.oversizeLength = oversize;
    u.faults.silent = silent;
    Fleet f({u}, tcp);
    QVERIFY(f.started);
    // Without --verbose: the reason is not a log line.
    const Run r = runVork(args, 30000);
    QVERIFY2(r.status == 1, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(error), qPrintable(printable(r)));
    QVERIFY2(r.out.isEmpty(), qPrintable(printable(r)));
}

void TestVorkCli::declinedQuestion_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("question");
    const QString a = failAddress;
    QTest::newRow("reboot") << QStringList{QStringLiteral("reboot"), QStringLiteral("--no-ping"), a}
                            << "Are you sure you want to restart Vork Unit 127.0.21.2?";
    QTest::newRow("erase") << QStringList{QStringLiteral("erase"), QStringLiteral("persistent"), QStringLiteral("--no-ping"), a}
                           << "Erase Vork Persistent Data?";
    QTest::newRow("checksum") << QStringList{QStringLiteral("checksum"), QStringLiteral("--no-ping"), a}
                              << "Computing the program checksum";
    QTest::newRow("force-read")
        << QStringList{QStringLiteral("force-read"), QStringLiteral("--no-ping"), QStringLiteral("--reader"),
                       QStringLiteral("2"), QStringLiteral("--label"), QStringLiteral("300"), a}
        << "Are you sure you want to force label 300 on Vork Unit 127.0.21.2";
    QTest::newRow("discover --sync-clock")
        << QStringList{QStringLiteral("discover"), QStringLiteral("--sync-clock"), QStringLiteral("--to"), a,
                       QStringLiteral("--wait"), QStringLiteral("300")}
        << "synchronize all discovered units";
}

void TestVorkCli::declinedQuestion()
{
    QFETCH(QStringList, args);
    QFETCH(QString, question);
    Fleet f({failUnit()});
    QVERIFY(f.started);
    QSignalSpy queries(&f.fleet.server(0), &sim::SimUnitServer::datagramReceived);
    // stdin is a closed pipe, no --yes: nobody can say Yes.
    const Run r = runVork(args);
    QVERIFY2(r.status == 4, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(question), qPrintable(printable(r)));
    QVERIFY2(r.err.contains(QStringLiteral("declined")), qPrintable(printable(r)));
    QVERIFY(r.out.isEmpty());
    // Declined before the unit was touched.
    wait::delay(100);
    QCOMPARE(queries.count(), 0);
    QCOMPARE(f.fleet.server(0).tcp().received(), QByteArray());
}

void TestVorkCli::unbindableLocalAddress_data()
{
    QTest::addColumn<QStringList>("args"); // PORT stands for a port this test holds
    QTest::addColumn<QString>("error");
    const QString a = failAddress;
    QTest::newRow("discover: port taken")
        << QStringList{QStringLiteral("discover"), QStringLiteral("--local-ip"), QStringLiteral("127.0.0.1"),
                       QStringLiteral("--local-port"), QStringLiteral("PORT"), QStringLiteral("--to"), a,
                       QStringLiteral("--wait"), QStringLiteral("200")}
        << "vork discover: cannot bind UDP to 127.0.0.1:PORT";
    // 192.0.2.1 is a documentation address: on no interface of this machine.
    QTest::newRow("discover: not this machine")
        << QStringList{QStringLiteral("discover"), QStringLiteral("--local-ip"), QStringLiteral("192.0.2.1"),
                       QStringLiteral("--to"), a, QStringLiteral("--wait"), QStringLiteral("200")}
        << "vork discover: cannot bind UDP to 192.0.2.1:0";
    QTest::newRow("clock: not this machine")
        << QStringList{QStringLiteral("clock"), QStringLiteral("--local-ip"), QStringLiteral("192.0.2.1"),
                       QStringLiteral("--no-ping"), a}
        << "vork clock: cannot bind UDP to 192.0.2.1";
    QTest::newRow("erase: not this machine")
        << QStringList{QStringLiteral("erase"), QStringLiteral("history"), QStringLiteral("--yes"),
                       QStringLiteral("--local-ip"), QStringLiteral("192.0.2.1"), QStringLiteral("--no-ping"), a}
        << "vork erase: cannot bind UDP to 192.0.2.1";
}

void TestVorkCli::unbindableLocalAddress()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    Fleet f({failUnit()});
    QVERIFY(f.started);
    QSignalSpy queries(&f.fleet.server(0), &sim::SimUnitServer::datagramReceived);
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    const QString port = QString::number(holder.localPort());
    args.replaceInStrings(QStringLiteral("PORT"), port);
    error.replace(QStringLiteral("PORT"), port);
    const Run r = runVork(args);
    QVERIFY2(r.status == 3, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(error), qPrintable(printable(r)));
    QVERIFY(r.out.isEmpty());
    // No fallback to another address: nothing was sent.
    wait::delay(100);
    QCOMPARE(queries.count(), 0);
    QCOMPARE(f.fleet.server(0).tcp().received(), QByteArray());
}

void TestVorkCli::icmpNotPermitted()
{
    // Run the tool as a user that may open neither a raw nor a datagram ICMP socket.
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (::geteuid() != 0 || setpriv.isEmpty())
        QSKIP("needs root and setpriv to run the tool without ICMP permission");
    const QStringList asNobody = {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                  QStringLiteral("--clear-groups"), QStringLiteral("--inh-caps=-all"),
                                  QStringLiteral("--bounding-set=-all"), QStringLiteral(VORK_EXE)};
    const Run probe = runProgram(setpriv, asNobody + QStringList{QStringLiteral("ping"), QStringLiteral("127.0.0.1")}, 10000);
    if (probe.status != 3)
        QSKIP(qPrintable(QStringLiteral("ICMP is permitted without privileges here: ") + printable(probe)));
    QVERIFY(probe.err.contains(QStringLiteral("ICMP echo not permitted")));

    Fleet f({failUnit()});
    QVERIFY(f.started);
    const Run r = runProgram(setpriv, asNobody + QStringList{QStringLiteral("clock"), failAddress}, 20000);
    QVERIFY2(r.status == 3, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(QStringLiteral("ICMP echo not permitted")), qPrintable(printable(r)));
    QVERIFY2(r.err.contains(QStringLiteral("--no-ping")), qPrintable(printable(r)));
    QCOMPARE(f.fleet.server(0).tcp().received(), QByteArray());
}

void TestVorkCli::unitTextIsEscaped()
{
    sim::SimUnit u = failUnit();
    u.description = QStringLiteral("Line\n2\x1b[31m\t\\");
    Fleet f({u});
    QVERIFY(f.started);
    const QString shown = QStringLiteral("Line\\x0a2\\x1b[31m\\x09\\\\");
    const QStringList discover = {QStringLiteral("discover"), QStringLiteral("--to"), failAddress,
                                  QStringLiteral("--wait"), QStringLiteral("300")};

    // One line for the unit, twelve cells, nothing the terminal would act on.
    Run r = runVork(discover);
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QVERIFY(!r.out.contains(QChar(0x1b)));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    const QStringList cells = lines.first().split(QLatin1Char('\t'));
    QCOMPARE(cells.size(), 12);
    QCOMPARE(cells.first(), shown);

    r = runVork({QStringLiteral("info"), QStringLiteral("--wait"), QStringLiteral("300"), failAddress});
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QVERIFY(!r.out.contains(QChar(0x1b)));
    QVERIFY2(r.out.contains(QStringLiteral("Unit's Description: ") + shown + QLatin1Char('\n')), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("Announced IP: ") + failAddress + QLatin1Char('\n')), qPrintable(r.out));

    // JSON carries the text as it came (JSON escapes it), the announced address and the version number.
    r = runVork(discover + QStringList{QStringLiteral("--json")});
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    const QJsonArray all = QJsonDocument::fromJson(r.out.toUtf8()).array();
    QCOMPARE(all.size(), 1);
    const QJsonObject o = all.first().toObject();
    QCOMPARE(o.value(QStringLiteral("desc")).toString(), u.description);
    QCOMPARE(o.value(QStringLiteral("announcedIp")).toString(), failAddress);
    QCOMPARE(o.value(QStringLiteral("versionNumber")).toInt(-1), 501);
    QCOMPARE(o.value(QStringLiteral("ip")).toString(), failAddress);
}

void TestVorkCli::escapedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("shownKeepingLines");
    QTest::newRow("plain") << "Dock 4 - North" << "Dock 4 - North" << "Dock 4 - North";
    QTest::newRow("new line") << "a\nb" << "a\\x0ab" << "a\nb";
    QTest::newRow("carriage return") << "a\rb" << "a\\x0db" << "a\\x0db";
    QTest::newRow("escape sequence") << "\x1b[2J" << "\\x1b[2J" << "\\x1b[2J";
    QTest::newRow("tab") << "a\tb" << "a\\x09b" << "a\\x09b";
    QTest::newRow("nul") << QString(QChar(0)) << "\\x00" << "\\x00";
    QTest::newRow("delete") << "a\x7f" << "a\\x7f" << "a\\x7f";
    QTest::newRow("C1 control") << QString(QChar(0x9b)) + QStringLiteral("31m") << "\\x9b31m" << "\\x9b31m";
    QTest::newRow("soft hyphen") << QString(QChar(0xad)) << "\\xad" << "\\xad";
    QTest::newRow("latin-1 letter") << QString(QChar(0xe9)) << QString(QChar(0xe9)) << QString(QChar(0xe9));
    QTest::newRow("backslash") << "a\\x41" << "a\\\\x41" << "a\\\\x41";
    QTest::newRow("line separator") << QString(QChar(0x2028)) << "\\x{2028}" << "\\x{2028}";
    QTest::newRow("empty") << "" << "" << "";
}

void TestVorkCli::escapedText()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(QString, shownKeepingLines);
    QCOMPARE(cli::escaped(text), shown);
    QCOMPARE(cli::escapedKeepingLines(text), shownKeepingLines);
}

void TestVorkCli::broadcastAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("broadcast");
    QTest::newRow("limited") << "255.255.255.255" << true;
    QTest::newRow("loopback network") << "127.255.255.255" << true;
    QTest::newRow("a loopback unit") << "127.0.21.2" << false;
    QTest::newRow("documentation address") << "192.0.2.1" << false;
    // Each local network's own broadcast address (checked here, never sent to).
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        for (const QNetworkAddressEntry &e : iface.addressEntries()) {
            if (e.broadcast().protocol() == QAbstractSocket::IPv4Protocol)
                QTest::addRow("%s %s", qPrintable(iface.name()), qPrintable(e.broadcast().toString()))
                    << e.broadcast().toString() << true;
        }
    }
}

void TestVorkCli::broadcastAddresses()
{
    QFETCH(QString, address);
    QFETCH(bool, broadcast);
    std::uint32_t a = 0;
    QVERIFY(vork::parseIPv4(address, a));
    QCOMPARE(cli::isBroadcastAddress(a), broadcast);
    QCOMPARE(cli::unitAddressProblem(address).contains(QStringLiteral("broadcast")), broadcast);
}

void TestVorkCli::fullTableIsReported()
{
    // One unit more than the list holds, UDP only.
    constexpr int units = 101;
    QList<sim::SimUnit> list;
    QStringList args{QStringLiteral("discover"), QStringLiteral("--wait"), QStringLiteral("1500")};
    for (int i = 1; i <= units; ++i) {
        const QString address = QStringLiteral("127.0.22.%1").arg(i);
        list << sim::demoUnit(i, QHostAddress(address));
        args << QStringLiteral("--to") << address;
    }
    Fleet f(list, false);
    QVERIFY(f.started);
    const Run r = runVork(args, 30000);
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 100);
    QVERIFY2(r.err.contains(QStringLiteral("1 more unit(s) answered but the list holds 100; not listed: 127.0.22.")),
             qPrintable(r.err));
}

void TestVorkCli::help_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("has");
    QTest::addColumn<QString>("hasNot");
    // --to keeps it on loopback should the help ever be skipped.
    QTest::newRow("discover --help-all")
        << QStringList{QStringLiteral("discover"), QStringLiteral("--help-all"), QStringLiteral("--to"), failAddress}
        << "Usage: vork discover [options]" << "";
    QTest::newRow("erase --help") << QStringList{QStringLiteral("erase"), QStringLiteral("--help")}
                                  << "Usage: vork erase [options] WHAT ADDRESS" << "";
    QTest::newRow("reboot offers --yes") << QStringList{QStringLiteral("reboot"), QStringLiteral("--help")}
                                         << "Answer Yes to the question" << "";
    QTest::newRow("clock asks nothing") << QStringList{QStringLiteral("clock"), QStringLiteral("--help-all")}
                                        << "Usage: vork clock [options] ADDRESS" << "Answer Yes";
    QTest::newRow("info asks nothing") << QStringList{QStringLiteral("info"), QStringLiteral("--help")}
                                       << "Usage: vork info [options] ADDRESS" << "Answer Yes";
    QTest::newRow("setup get --help") << QStringList{QStringLiteral("setup"), QStringLiteral("get"), QStringLiteral("--help")}
                                      << "Usage: vork setup get [options] ADDRESS" << "Answer Yes";
    QTest::newRow("history get --help")
        << QStringList{QStringLiteral("history"), QStringLiteral("get"), QStringLiteral("--help")}
        << "Usage: vork history get [options] ADDRESS" << "Answer Yes";
    QTest::newRow("history in the command list") << QStringList{QStringLiteral("help")} << "history get ADDRESS" << "";
    QTest::newRow("ping") << QStringList{QStringLiteral("ping"), QStringLiteral("--help")}
                          << "Usage: vork ping [options] ADDRESS" << "";
    QTest::newRow("photoeyes asks nothing") << QStringList{QStringLiteral("photoeyes"), QStringLiteral("--help")}
                                            << "Usage: vork photoeyes [options] ADDRESS" << "Answer Yes";
    QTest::newRow("force-read offers --yes") << QStringList{QStringLiteral("force-read"), QStringLiteral("--help")}
                                             << "Answer Yes to the question" << "";
    QTest::newRow("help lists photoeyes") << QStringList{QStringLiteral("help")} << "photoeyes ADDRESS" << "";
    QTest::newRow("exit codes") << QStringList{QStringLiteral("help")} << "4  a question was declined" << "";
    QTest::newRow("exit codes per command") << QStringList{QStringLiteral("checksum"), QStringLiteral("--help")}
                                            << "3  local failure" << "";
}

void TestVorkCli::help()
{
    QFETCH(QStringList, args);
    QFETCH(QString, has);
    QFETCH(QString, hasNot);
    Fleet f({failUnit()});
    QVERIFY(f.started);
    QSignalSpy queries(&f.fleet.server(0), &sim::SimUnitServer::datagramReceived);
    const Run r = runVork(args);
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QVERIFY2(r.out.contains(has), qPrintable(r.out));
    if (!hasNot.isEmpty())
        QVERIFY2(!r.out.contains(hasNot), qPrintable(r.out));
    wait::delay(100);
    QCOMPARE(queries.count(), 0);
}

void TestVorkCli::simulatorRefusesUnknownOptions()
{
    const Run r = runProgram(QStringLiteral(VORK_SIM_EXE), {QStringLiteral("--frobnicate")}, 10000);
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.contains(QStringLiteral("frobnicate")), qPrintable(r.err));
    const Run help = runProgram(QStringLiteral(VORK_SIM_EXE), {QStringLiteral("--help")}, 10000);
    QCOMPARE(help.status, 0);
    QVERIFY(help.out.contains(QStringLiteral("Exit status 2 on bad options")));
}

void TestVorkCli::eventsDecode_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    const QStringList decode{QStringLiteral("events"), QStringLiteral("decode")};
    // Label 12345 (0x3039) on reader 3, 7 March 2021 at 14:05:09, with blanks between the bytes.
    QTest::newRow("label")
        << decode + QStringList{QStringLiteral("02 03 03 07 14 15 0E 05 09 39 30 00 00 00 00 00 00 00 00")}
        << QStringLiteral("Label\t3\t03/07/2021  14:05:09\tlabel=12345\t12345\n") << QString();
    QTest::newRow("error 31 and diagnostic, one line each")
        << decode
               + QStringList{QStringLiteral("0102030714150e05091fd2040c000000000000"),
                             QStringLiteral("03010307141518050905 0cfd0007 0000000000")}
        << QStringLiteral("Error\t2\t03/07/2021  14:05:09\tcode=31 label=1234 bits=12\t"
                          "31  Incorrect number of data bits - 12 Bits  Label 1234\n"
                          "Diagnostic\t1\t03/07/2021  Bad Time\ta=5 b=12 c=-3 x=0 y=7\tA+05  B+12 C-03 X+00 Y+07\n")
        << QString();
    // Alarm 70 is a boot message for 5.0.1 and unknown otherwise.
    QTest::newRow("alarm on 5.0.1")
        << decode + QStringList{QStringLiteral("--firmware"), QStringLiteral("5.0.1"), QStringLiteral("040903071415 0e0509 46 000000000000000000")}
        << QStringLiteral("Alarm\t9\t03/07/2021  14:05:09\tcode=70 detail=0\tFinish flash of BL B success\n") << QString();
    QTest::newRow("alarm on 5.0.3")
        << decode + QStringList{QStringLiteral("--firmware"), QStringLiteral("5.0.3"), QStringLiteral("040903071415 0e0509 46 000000000000000000")}
        << QStringLiteral("Alarm\t9\t03/07/2021  14:05:09\tcode=70 detail=0\tUnknown Alarm\n") << QString();
    QTest::newRow("short record")
        << decode + QStringList{QStringLiteral("0500030714150e0509")}
        << QStringLiteral("Boot\t0\t03/07/2021  14:05:09\tcode=0\tRunning Boot Loader A\n")
        << QStringLiteral("record 1 is short (9 of 19 bytes)");
    QTest::newRow("long record, unknown kind")
        << decode + QStringList{QStringLiteral("0700030714150e0509010203040506070809ff" "aabb")}
        << QStringLiteral("Unknown(7)\t0\t03/07/2021  14:05:09\tdata=01 02 03 04 05 06 07 08 09 ff\t\n")
        << QStringLiteral("record 1 is long (21 bytes)");
}

void TestVorkCli::eventsDecode()
{
    QFETCH(QStringList, args);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Run r = runVork(args);
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QCOMPARE(r.out, out);
    if (err.isEmpty())
        QVERIFY2(r.err.isEmpty(), qPrintable(printable(r)));
    else
        QVERIFY2(r.err.contains(err), qPrintable(printable(r)));
}

void TestVorkCli::eventsDecodeJson()
{
    const Run r = runVork({QStringLiteral("events"), QStringLiteral("decode"), QStringLiteral("--json"),
                           QStringLiteral("0409030714150e05092d20000000000000000000"),
                           QStringLiteral("0102030714150e05091fd2040c000000000000")});
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QJsonParseError e;
    const QJsonObject alarm = QJsonDocument::fromJson(lines.at(0).toUtf8(), &e).object();
    QCOMPARE(e.error, QJsonParseError::NoError);
    QCOMPARE(alarm.value(QStringLiteral("kind")).toInt(-1), 4);
    QCOMPARE(alarm.value(QStringLiteral("reader")).toInt(-1), 9);
    QCOMPARE(alarm.value(QStringLiteral("code")).toInt(-1), 45);
    QCOMPARE(alarm.value(QStringLiteral("detail")).toInt(-1), 32);
    QCOMPARE(alarm.value(QStringLiteral("year")).toInt(-1), 2021);
    QCOMPARE(alarm.value(QStringLiteral("time")).toString(), QStringLiteral("03/07/2021  14:05:09"));
    QCOMPARE(alarm.value(QStringLiteral("text")).toString(), QStringLiteral("Network Warning - Cable Unplugged"));
    QVERIFY(alarm.value(QStringLiteral("data")).isArray());
    const QJsonObject error = QJsonDocument::fromJson(lines.at(1).toUtf8(), &e).object();
    QCOMPARE(e.error, QJsonParseError::NoError);
    QCOMPARE(error.value(QStringLiteral("kindText")).toString(), QStringLiteral("Error"));
    QCOMPARE(error.value(QStringLiteral("label")).toInt(-1), 1234);
    QCOMPARE(error.value(QStringLiteral("bits")).toInt(-1), 12);
    QCOMPARE(error.value(QStringLiteral("length")).toInt(-1), 19);
    QVERIFY(error.value(QStringLiteral("timeValid")).toBool());
}

void TestVorkCli::monitorPrintsRecordsAndLetsGo_data()
{
    QTest::addColumn<bool>("json");
    QTest::addColumn<bool>("interrupt"); // stopped by SIGTERM instead of --count
    QTest::newRow("text, five records") << false << false;
    QTest::newRow("json lines") << true << false;
    QTest::newRow("until interrupted") << false << true;
}

void TestVorkCli::monitorPrintsRecordsAndLetsGo()
{
    QFETCH(bool, json);
    QFETCH(bool, interrupt);
    Fleet f;
    QVERIFY(f.started);
    sim::SimMonitor fast;
    fast.intervalMs = 50;
    f.fleet.server(0).setMonitor(fast);
    QStringList args{QStringLiteral("monitor"), QStringLiteral("--no-ping"), QStringLiteral("127.0.11.2")};
    if (json)
        args << QStringLiteral("--json");
    QString out;
    int status = -1;
    if (interrupt) {
        QProcess p;
        p.start(QStringLiteral(VORK_EXE), args);
        QVERIFY(p.waitForStarted(5000));
        QVERIFY(wait::until([&] { return p.canReadLine() || p.state() == QProcess::NotRunning; }, 10000));
        p.terminate(); // SIGTERM, as Ctrl+C would be SIGINT
        QVERIFY(wait::until([&] { return p.state() == QProcess::NotRunning; }, 10000));
        status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        out = QString::fromLocal8Bit(p.readAllStandardOutput());
    } else {
        const Run r = runVork(args + QStringList{QStringLiteral("--count"), QStringLiteral("5")});
        status = r.status;
        out = r.out;
    }
    QCOMPARE(status, 0);
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    if (!interrupt)
        QCOMPARE(lines.size(), 5);
    for (const QString &line : lines) {
        if (json) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            QCOMPARE(o.value(QStringLiteral("unit")).toString(), QStringLiteral("127.0.11.2"));
            QVERIFY(o.value(QStringLiteral("kind")).isDouble());
        } else {
            QVERIFY2(line.startsWith(QStringLiteral("127.0.11.2\t")), qPrintable(line));
        }
    }
    // Monitor mode on, off again, and the connection closed with the close command.
    QByteArray received = f.fleet.server(0).tcp().received();
    if (received.startsWith("KBmPQD"))
        received.remove(0, 6);
    QCOMPARE(received, QByteArray("MQC"));
}

void TestVorkCli::monitorEndsWhenTheLinkDrops()
{
    Fleet f;
    QVERIFY(f.started);
    sim::SimMonitor fast;
    fast.intervalMs = 50;
    f.fleet.server(0).setMonitor(fast);
    sim::SimCommandFaults faults;
    faults.dropAfterBytes = 200; // the ACK of 'M' and a few records, then the link goes
    f.fleet.server(0).setCommandFaults(faults);
    const Run r = runVork({QStringLiteral("monitor"), QStringLiteral("--no-ping"), QStringLiteral("--seconds"),
                           QStringLiteral("20"), QStringLiteral("127.0.11.2")});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(QStringLiteral("connection lost")), qPrintable(r.err));
    QVERIFY(!r.out.isEmpty()); // what came before the drop was printed
}

namespace {

const QString eyesAddress = QStringLiteral("127.0.43.2");

sim::SimUnit eyesUnit(int readers, const QByteArray &eyes)
{
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(eyesAddress));
    u.readers = static_cast<std::uint8_t>(readers);
    u.monitor.photoEyes = eyes;
    u.monitor.intervalMs = 40; // live records between the replies, to be passed over
    return u;
}

QByteArray commandsOf(const sim::SimCommandServer &tcp)
{
    return withoutLogin(tcp.received());
}

} // namespace

void TestVorkCli::photoEyes_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("readers");
    QTest::addColumn<QByteArray>("eyes");
    QTest::addColumn<bool>("interrupt"); // stopped by SIGTERM
    QTest::addColumn<QStringList>("lines"); // every line, or with interrupt each line
    QTest::addColumn<QByteArray>("commands");
    const QString two0 = QStringLiteral("reader 0: A on  B off  C on");
    const QString two1 = QStringLiteral("reader 1: A off  B on  C off");
    const QString json = QStringLiteral(
        R"({"readers":[{"a":true,"b":false,"c":true,"reader":0},{"a":false,"b":true,"c":false,"reader":1}],"unit":"127.0.43.2"})");
    QTest::newRow("once, a line per reader") << QStringList{} << 2 << QByteArray("\x05\x02") << false
                                             << QStringList{two0, two1} << QByteArray("MPQC");
    QTest::newRow("once, json") << QStringList{QStringLiteral("--json")} << 2 << QByteArray("\x05\x02") << false
                                << QStringList{json} << QByteArray("MPQC");
    QTest::newRow("one reader") << QStringList{} << 1 << QByteArray("\x07") << false
                                << QStringList{QStringLiteral("reader 0: A on  B on  C on")} << QByteArray("MPQC");
    QStringList eight;
    for (int r = 0; r < 8; ++r)
        eight << QStringLiteral("reader %1: A off  B off  C on").arg(r);
    QTest::newRow("a count of 12 shows eight") << QStringList{} << 12 << QByteArray(12, '\x01') << false << eight
                                               << QByteArray("MPQC");
    QTest::newRow("watched, three replies")
        << QStringList{QStringLiteral("--watch"), QStringLiteral("--count"), QStringLiteral("3")} << 2
        << QByteArray("\x05\x02") << false << QStringList(3, two0 + QStringLiteral("   ") + two1)
        << QByteArray("MpXQC");
    QTest::newRow("watched, json") << QStringList{QStringLiteral("--watch"), QStringLiteral("--json"),
                                                  QStringLiteral("--count"), QStringLiteral("2")}
                                   << 2 << QByteArray("\x05\x02") << false << QStringList(2, json)
                                   << QByteArray("MpXQC");
    QTest::newRow("watched until interrupted") << QStringList{QStringLiteral("--watch")} << 2
                                               << QByteArray("\x05\x02") << true
                                               << QStringList{two0 + QStringLiteral("   ") + two1}
                                               << QByteArray("MpXQC");
}

void TestVorkCli::photoEyes()
{
    QFETCH(QStringList, options);
    QFETCH(int, readers);
    QFETCH(QByteArray, eyes);
    QFETCH(bool, interrupt);
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, commands);
    Fleet f({eyesUnit(readers, eyes)});
    QVERIFY(f.started);
    const QStringList args = QStringList{QStringLiteral("photoeyes"), QStringLiteral("--no-ping")} + options
                             + QStringList{eyesAddress};
    int status = -1;
    QString out;
    QString err;
    if (interrupt) {
        QProcess p;
        p.start(QStringLiteral(VORK_EXE), args);
        QVERIFY(p.waitForStarted(5000));
        QVERIFY(wait::until([&] { return p.canReadLine() || p.state() == QProcess::NotRunning; }, 10000));
        p.terminate();
        QVERIFY(wait::until([&] { return p.state() == QProcess::NotRunning; }, 10000));
        status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        out = QString::fromLocal8Bit(p.readAllStandardOutput());
        err = QString::fromLocal8Bit(p.readAllStandardError());
    } else {
        const Run r = runVork(args);
        status = r.status;
        out = r.out;
        err = r.err;
    }
    QVERIFY2(status == 0, qPrintable(err));
    QVERIFY2(err.isEmpty(), qPrintable(err));
    const QStringList got = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (interrupt) {
        QVERIFY(!got.isEmpty());
        for (const QString &line : got)
            QCOMPARE(line, lines.first());
    } else {
        QCOMPARE(got, lines);
    }
    // Monitor mode on, the eyes read (and continuous mode ended), monitor mode off, closed.
    QCOMPARE(commandsOf(f.fleet.server(0).tcp()), commands);
}

void TestVorkCli::photoEyesFailures_data()
{
    QTest::addColumn<QByteArray>("nak");
    QTest::addColumn<QByteArray>("mute");
    QTest::addColumn<int>("dropAfter");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QByteArray>("commands");
    QTest::newRow("monitor mode refused") << QByteArray("M") << QByteArray() << 0 << QStringList{}
                                          << "Vork Unit 127.0.43.2 refused the monitor command (M) (NAK)"
                                          << QByteArray("MC");
    QTest::newRow("no reply") << QByteArray() << QByteArray("P") << 0 << QStringList{}
                              << "No photo-eye reply from Vork Unit 127.0.43.2: no answer within 3 s"
                              << QByteArray("MPQC");
    QTest::newRow("link lost while watching")
        << QByteArray() << QByteArray() << 40 << QStringList{QStringLiteral("--watch"), QStringLiteral("--seconds"),
                                                             QStringLiteral("20")}
        << "Photo eyes of Vork Unit 127.0.43.2: connection lost" << QByteArray("Mp");
}

void TestVorkCli::photoEyesFailures()
{
    QFETCH(QByteArray, nak);
    QFETCH(QByteArray, mute);
    QFETCH(int, dropAfter);
    QFETCH(QStringList, options);
    QFETCH(QString, error);
    QFETCH(QByteArray, commands);
    sim::SimUnit u = eyesUnit(1, QByteArray("\x04"));
    u.monitor.intervalMs = 600000;
    u.commandFaults.nakCommands = nak;
    u.commandFaults.silentCommands = mute;
    u.commandFaults.dropAfterBytes = dropAfter;
    Fleet f({u});
    QVERIFY(f.started);
    const Run r = runVork(QStringList{QStringLiteral("photoeyes"), QStringLiteral("--no-ping")} + options
                          + QStringList{eyesAddress});
    QVERIFY2(r.status == 1, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(error), qPrintable(printable(r)));
    QCOMPARE(commandsOf(f.fleet.server(0).tcp()), commands);
}

void TestVorkCli::forceRead_data()
{
    QTest::addColumn<QByteArray>("nak");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QByteArray>("commands");
    QTest::newRow("label 300 on reader 2")
        << QByteArray() << 0 << "Label 300 has been forced on reader 2 of Vork Unit 127.0.43.2\n" << QString()
        << QByteArray("Mf\x02\x2C\x01QC");
    QTest::newRow("refused") << QByteArray("f") << 1 << QString()
                             << "Vork Unit 127.0.43.2 refused the force read (f) (NAK)" << QByteArray("MfQC");
}

void TestVorkCli::forceRead()
{
    QFETCH(QByteArray, nak);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, error);
    QFETCH(QByteArray, commands);
    sim::SimUnit u = eyesUnit(4, {});
    u.commandFaults.nakCommands = nak;
    Fleet f({u});
    QVERIFY(f.started);
    const Run r = runVork({QStringLiteral("force-read"), QStringLiteral("--no-ping"), QStringLiteral("--yes"),
                           QStringLiteral("--reader"), QStringLiteral("2"), QStringLiteral("--label"),
                           QStringLiteral("300"), eyesAddress});
    QVERIFY2(r.status == status, qPrintable(printable(r)));
    QCOMPARE(r.out, out);
    if (error.isEmpty())
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    else
        QVERIFY2(r.err.contains(error), qPrintable(printable(r)));
    QCOMPARE(commandsOf(f.fleet.server(0).tcp()), commands);
}

void TestVorkCli::historyGet_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("json");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<QByteArray>("request");
    // The newest records of the default store of 300: index 299 is a boot record, 298 an alarm, 296 a label.
    QTest::newRow("text, every kind")
        << QStringList{QStringLiteral("--count"), QStringLiteral("30")} << false
        << QStringLiteral("1\t0\tAlarm\t03/01/2021  04:58:58\tcode=34 detail=1\tNo DHCP server - Turning off DHCP")
        << QByteArray::fromHex("8f1e0008");
    QTest::newRow("labels only")
        << QStringList{QStringLiteral("--count"), QStringLiteral("30"), QStringLiteral("--kinds"), QStringLiteral("labels")}
        << false << QStringLiteral("1\t0\tLabel\t03/01/2021  04:56:56\tlabel=296\t296") << QByteArray::fromHex("821e0008");
    QTest::newRow("json lines, errors and alarms")
        << QStringList{QStringLiteral("--count"), QStringLiteral("30"), QStringLiteral("--json"), QStringLiteral("--kinds"),
                       QStringLiteral("errors,alarms")}
        << true << QString() << QByteArray::fromHex("891e0008");
    // From 04:00 and older: store index 240 is an error, 236 the first label at or before it.
    QTest::newRow("labels since a moment")
        << QStringList{QStringLiteral("--count"), QStringLiteral("30"), QStringLiteral("--kinds"), QStringLiteral("labels"),
                       QStringLiteral("--since"), QStringLiteral("2021-03-01 04:00")}
        << false << QStringLiteral("1\t0\tLabel\t03/01/2021  03:56:56\tlabel=236\t236")
        << QByteArray::fromHex("821e0008141503010400");
}

void TestVorkCli::historyGet()
{
    QFETCH(QStringList, options);
    QFETCH(bool, json);
    QFETCH(QString, firstLine);
    QFETCH(QByteArray, request);
    Fleet f;
    QVERIFY(f.started);
    const Run r = runVork(QStringList{QStringLiteral("history"), QStringLiteral("get"), QStringLiteral("--no-ping")}
                          + options + QStringList{QStringLiteral("127.0.11.2")});
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QVERIFY2(r.err.isEmpty(), qPrintable(r.err)); // no terminal: no progress bar
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 30);
    if (json) {
        int index = 0;
        for (const QString &line : lines) {
            QJsonParseError e;
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8(), &e).object();
            QCOMPARE(e.error, QJsonParseError::NoError);
            QCOMPARE(o.value(QStringLiteral("index")).toInt(), ++index);
            QCOMPARE(o.value(QStringLiteral("unit")).toString(), QStringLiteral("127.0.11.2"));
            const int kind = o.value(QStringLiteral("kind")).toInt();
            QVERIFY2(kind == 1 || kind == 4, qPrintable(line));
        }
        // Index 298, the alarm, then 295, an error with code 95.
        const QJsonObject second = QJsonDocument::fromJson(lines.at(1).toUtf8()).object();
        QCOMPARE(second.value(QStringLiteral("kindText")).toString(), QStringLiteral("Error"));
        QCOMPARE(second.value(QStringLiteral("code")).toInt(), 95);
    } else {
        QCOMPARE(lines.first(), firstLine);
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(lines.at(i).startsWith(QString::number(i + 1) + QLatin1Char('\t')), qPrintable(lines.at(i)));
    }
    // History mode, the request, the history quit and the close command.
    QByteArray received = f.fleet.server(0).tcp().received();
    if (received.startsWith("KBmPQD"))
        received.remove(0, 6);
    const QByteArray want = QByteArray("H") + request + QByteArray(4, 0) + QByteArray("C");
    QCOMPARE(received.toHex(), want.toHex());
}

void TestVorkCli::historyGetLinkDrops_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("text") << false;
    QTest::newRow("json") << true;
}

void TestVorkCli::historyGetLinkDrops()
{
    QFETCH(bool, json);
    sim::SimUnit u = failUnit();
    u.history.dropAfterRecords = 40;
    Fleet f({u});
    QVERIFY(f.started);
    QStringList args{QStringLiteral("history"), QStringLiteral("get"), QStringLiteral("--no-ping"), QStringLiteral("--count"),
                     QStringLiteral("100"), failAddress};
    if (json)
        args << QStringLiteral("--json");
    const Run r = runVork(args);
    QVERIFY2(r.status == 1, qPrintable(printable(r)));
    // What arrived is printed; stderr says how many are missing.
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 40);
    QVERIFY2(r.err.contains(QStringLiteral("vork history get: Vork Unit 127.0.21.2: connection lost after 40 of 100 "
                                           "records; 60 missing")),
             qPrintable(r.err));
    QVERIFY2(r.err.endsWith(QStringLiteral("\n40 of 100 records\n")), qPrintable(r.err));
}

void TestVorkCli::historyGetShortOrSlow_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("trickleRate");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("err");
    // The store of 300 holds 60 labels: the unit says so with its ACK, and stderr with a count.
    QTest::newRow("fewer than asked")
        << QStringList{QStringLiteral("--count"), QStringLiteral("100"), QStringLiteral("--kinds"), QStringLiteral("labels")}
        << 0 << 60 << QStringLiteral("60 of 100 records\n");
    // A packet takes 1.2 s at 400 bytes/s: slow, and whole.
    QTest::newRow("a slow link") << QStringList{QStringLiteral("--count"), QStringLiteral("60")} << 400 << 60
                                 << QString();
}

void TestVorkCli::historyGetShortOrSlow()
{
    QFETCH(QStringList, options);
    QFETCH(int, trickleRate);
    QFETCH(int, lines);
    QFETCH(QString, err);
    sim::SimUnit u = failUnit();
    u.commandFaults.trickleRate = trickleRate;
    Fleet f({u});
    QVERIFY(f.started);
    const Run r = runVork(QStringList{QStringLiteral("history"), QStringLiteral("get"), QStringLiteral("--no-ping")}
                          + options + QStringList{failAddress});
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), lines);
    QCOMPARE(r.err, err);
}

void TestVorkCli::setupDiffNamesTheFieldsThatDiffer()
{
    // Two units alike but for three fields.
    sim::SimUnit a = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.33.2")));
    sim::SimUnit b = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.33.3")));
    Fleet f({a, b});
    QVERIFY(f.started);
    setuppack same(f.fleet.server(0).setupRecord());
    same.setNdg(QStringLiteral("10.0.0.1"));
    f.fleet.server(0).setSetupRecord(same.bytes());
    setuppack other = same;
    other.setDesc(QStringLiteral("Other line"));
    other.setNkar(9);
    other.setCbaud(2);
    f.fleet.server(1).setSetupRecord(other.bytes());
    const Run r = runVork({QStringLiteral("setup"), QStringLiteral("diff"), QStringLiteral("--no-ping"),
                           QStringLiteral("127.0.33.2"), QStringLiteral("127.0.33.3")},
                          30000);
    QVERIFY2(r.status == 1, qPrintable(printable(r)));
    QCOMPARE(r.out, QStringLiteral("cbaud: 4 -> 2\nnkar: 3 -> 9\ndesc: Line 1 Infeed -> Other line\n"));
}

void TestVorkCli::setupSetPutAndFiles()
{
    QTemporaryDir dir;
    const QString address = QStringLiteral("127.0.33.4");
    Fleet f({sim::demoUnit(0, QHostAddress(address))});
    QVERIFY(f.started);
    const QString saved = dir.filePath(QStringLiteral("unit.vork"));
    Run r = runVork({QStringLiteral("setup"), QStringLiteral("get"), QStringLiteral("--no-ping"),
                     QStringLiteral("--out"), saved, address},
                    30000);
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    // A 5.0.1 unit keeps 238 bytes in a file.
    QCOMPARE(file.readAll(), f.fleet.server(0).setupRecord().left(238));
    file.close();

    // By name, with the editor's checks: a bad value never reaches the unit.
    r = runVork({QStringLiteral("setup"), QStringLiteral("set"), QStringLiteral("--no-ping"), QStringLiteral("--yes"),
                 address, QStringLiteral("nrip=10.1.2")},
                30000);
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.contains(QStringLiteral("Network IP is invalid. Download aborted")), qPrintable(printable(r)));
    for (const auto &c : f.fleet.server(0).tcp().commands())
        QVERIFY(c.byte != std::uint8_t('D'));
    r = runVork({QStringLiteral("setup"), QStringLiteral("set"), QStringLiteral("--yes"), address,
                 QStringLiteral("cbaud=9")},
                30000);
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.contains(QStringLiteral("9 is not a value of cbaud")), qPrintable(printable(r)));

    r = runVork({QStringLiteral("setup"), QStringLiteral("set"), QStringLiteral("--no-ping"), QStringLiteral("--yes"),
                 address, QStringLiteral("desc=Packing 2"), QStringLiteral("nkar=7")},
                30000);
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    setuppack stored(f.fleet.server(0).setupRecord());
    QCOMPARE(stored.desc(), QStringLiteral("Packing 2"));
    QCOMPARE(stored.nkar(), std::uint8_t(7));

    // Without --yes and a terminal the question is declined and nothing is sent.
    r = runVork({QStringLiteral("setup"), QStringLiteral("put"), QStringLiteral("--no-ping"), address, saved}, 30000);
    QCOMPARE(r.status, 4);
    // The saved file puts the old record back; a diff against it is then empty.
    r = runVork({QStringLiteral("setup"), QStringLiteral("put"), QStringLiteral("--no-ping"), QStringLiteral("--yes"),
                 address, saved},
                30000);
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QCOMPARE(setuppack(f.fleet.server(0).setupRecord()).desc(), QStringLiteral("Line 1 Infeed"));
    // The file of a 5.0.1 unit keeps 238 bytes: all the same, but it lacks the command protocol.
    r = runVork({QStringLiteral("setup"), QStringLiteral("diff"), QStringLiteral("--no-ping"), saved, address}, 30000);
    QVERIFY2(r.status == 1, qPrintable(printable(r)));
    QCOMPARE(r.out, QStringLiteral("A lacks (238 bytes): ncp\n"));
    // A missing file is refused before the unit is touched.
    r = runVork({QStringLiteral("setup"), QStringLiteral("put"), QStringLiteral("--yes"), address,
                 dir.filePath(QStringLiteral("none.vork"))},
                30000);
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.contains(QStringLiteral("Not found in current directory")), qPrintable(printable(r)));
}

void TestVorkCli::clockZoneGoesIntoTheSetup()
{
    const QString address = QStringLiteral("127.0.33.5");
    Fleet f({sim::demoUnit(0, QHostAddress(address))});
    QVERIFY(f.started);
    // A zone out of range is refused before any command reaches the unit.
    Run r = runVork({QStringLiteral("clock"), QStringLiteral("--no-ping"), QStringLiteral("--zone"),
                     QStringLiteral("85"), address},
                    30000);
    QCOMPARE(r.status, 2);
    for (const auto &c : f.fleet.server(0).tcp().commands())
        QVERIFY(c.byte != std::uint8_t('S') && c.byte != std::uint8_t('D'));

    r = runVork({QStringLiteral("clock"), QStringLiteral("--no-ping"), QStringLiteral("--zone"), QStringLiteral("16"),
                 QStringLiteral("--dst"), QStringLiteral("on"), address},
                30000);
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    setuppack stored(f.fleet.server(0).setupRecord());
    QCOMPARE(stored.tzi(), std::uint8_t(16));
    QVERIFY(stored.dst());
    QVERIFY(!stored.utzo());
    QVERIFY(r.out.contains(QStringLiteral(", 20"))); // the clock read after it

    r = runVork({QStringLiteral("clock"), QStringLiteral("--no-ping"), QStringLiteral("--custom"),
                 QStringLiteral("030407201c000a0407302a0001"), address},
                30000);
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    stored = setuppack(f.fleet.server(0).setupRecord());
    QVERIFY(stored.utzo());
    QCOMPARE(stored.tzo(), QByteArray::fromHex("030407201C000A0407302A0001"));
    QCOMPARE(stored.tzi(), std::uint8_t(16));

    // The same again: nothing to send, and it says so.
    const int downloads = int(std::count_if(f.fleet.server(0).tcp().commands().begin(),
                                            f.fleet.server(0).tcp().commands().end(),
                                            [](const auto &c) { return c.byte == std::uint8_t('D'); }));
    r = runVork({QStringLiteral("clock"), QStringLiteral("--no-ping"), QStringLiteral("--custom"),
                 QStringLiteral("030407201C000A0407302A0001"), address},
                30000);
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(QStringLiteral("nothing sent")), qPrintable(printable(r)));
    QCOMPARE(int(std::count_if(f.fleet.server(0).tcp().commands().begin(), f.fleet.server(0).tcp().commands().end(),
                               [](const auto &c) { return c.byte == std::uint8_t('D'); })),
             downloads);
}

void TestVorkCli::datagramCommands()
{
    const QString address = QStringLiteral("127.0.33.6");
    sim::SimUnit unit = sim::demoUnit(0, QHostAddress(address));
    unit.version = {5, 0, 2}; // the first firmware with a setup archive
    Fleet f({unit});
    QVERIFY(f.started);
    const auto heard = [&](const char *head) {
        int n = 0;
        for (const auto &r : f.fleet.server(0).received())
            n += r.bytes.startsWith(head) ? 1 : 0;
        return n;
    };
    Run r = runVork({QStringLiteral("archive"), QStringLiteral("create"), QStringLiteral("--yes"), address});
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(QStringLiteral("Archive Created Successfully")), qPrintable(printable(r)));
    r = runVork({QStringLiteral("archive"), QStringLiteral("create"), QStringLiteral("--yes"), address});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(QStringLiteral("Archive Already Exist. Delete first")), qPrintable(printable(r)));
    QCOMPARE(heard("ARCHa"), 2);
    r = runVork({QStringLiteral("ram"), QStringLiteral("safe-on"), QStringLiteral("--yes"), address});
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QCOMPARE(heard("RAMSe"), 1);
    // A bad word or a declined question sends nothing.
    r = runVork({QStringLiteral("ram"), QStringLiteral("fast"), QStringLiteral("--yes"), address});
    QCOMPARE(r.status, 2);
    r = runVork({QStringLiteral("restart-service"), QStringLiteral("telnet"), address});
    QCOMPARE(r.status, 4);
    QCOMPARE(heard("SVRKt"), 0);
    r = runVork({QStringLiteral("reboot-udp"), QStringLiteral("--yes"), address});
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QVERIFY(wait::until([&] { return f.fleet.server(0).isDown(); }, 2000));
}

QTEST_GUILESS_MAIN(TestVorkCli)
#include "tst_vorkcli.moc"
