// vork set-ip and vork factory-reset against simulated units on loopback.
#include "clirun.h"
#include "core/boundedwait.h"
#include "simfleet.h"
#include "simunitserver.h"

#include <QProcess>
#include <QTest>

using namespace vork;
using namespace vork::clitest;

namespace {

sim::SimUnit unitAt(const char *address, const char *mac)
{
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(QString::fromLatin1(address)));
    u.mac = QString::fromLatin1(mac);
    return u;
}

} // namespace

class TestCliSetIp : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void setIpMovesAndConfirms();
    void setIpOtherDeviceDoesNotConfirm();
    void setIpInUse();
    void setIpBadArguments_data();
    void setIpBadArguments();
    void factoryResetByMac();
    void factoryResetByMacUnitGone();
    void factoryResetByAddressSaysItOnce();
    void factoryResetDeclined();
    void factoryResetBadArguments_data();
    void factoryResetBadArguments();
    void helpListsTheCommands();
};

void TestCliSetIp::setIpMovesAndConfirms()
{
    sim::SimFleet fleet;
    fleet.add(unitAt("127.0.73.110", "0050C2496E01"));
    QString error;
    QVERIFY2(fleet.start({}, &error), qPrintable(error));
    const Run r = runVork({QStringLiteral("set-ip"), QStringLiteral("00-50-c2-49-6e-01"), QStringLiteral("127.0.73.140"),
                           QStringLiteral("--to"), QStringLiteral("127.0.73.110,127.0.73.140"),
                           QStringLiteral("--no-ping"), QStringLiteral("--local-ip"), QStringLiteral("127.0.0.1")});
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QCOMPARE(r.out, QStringLiteral("127.0.73.140\t0050C2496E01\n"));
    QVERIFY(r.err.contains(QStringLiteral("Successfully set IP to 127.0.73.140 on Vork Unit 0050C2496E01")));
    QCOMPARE(fleet.server(0).unit().address.toString(), QStringLiteral("127.0.73.140"));
}

void TestCliSetIp::setIpOtherDeviceDoesNotConfirm()
{
    sim::SimFleet fleet;
    sim::SimUnit target = unitAt("127.0.73.111", "0050C2496F01");
    target.faults.ignoreSetIp = true;
    fleet.add(target);
    fleet.add(unitAt("127.0.73.141", "0050C2496F02"));
    QString error;
    QVERIFY2(fleet.start({}, &error), qPrintable(error));
    const Run r = runVork({QStringLiteral("set-ip"), QStringLiteral("0050C2496F01"), QStringLiteral("127.0.73.141"),
                           QStringLiteral("--to"), QStringLiteral("127.0.73.111"), QStringLiteral("--to"),
                           QStringLiteral("127.0.73.141"), QStringLiteral("--no-ping"), QStringLiteral("--local-ip"),
                           QStringLiteral("127.0.0.1")});
    QVERIFY2(r.status == 1, qPrintable(printable(r)));
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.err.contains(QStringLiteral("Failed to set the IP address on Vork Unit 0050C2496F01\n")));
    QVERIFY(r.err.contains(QStringLiteral("vork set-ip: no unit answered from 127.0.73.141 with MAC 0050C2496F01")));
}

void TestCliSetIp::setIpInUse()
{
    // Every 127 address answers an echo: the tool's own ping finds 127.0.73.142 in use.
    const Run r = runVork({QStringLiteral("set-ip"), QStringLiteral("0050C2497001"), QStringLiteral("127.0.73.142"),
                           QStringLiteral("--to"), QStringLiteral("127.0.73.112"), QStringLiteral("--local-ip"),
                           QStringLiteral("127.0.0.1")});
    if (r.status == 1 && r.err.contains(QStringLiteral("ICMP")))
        QSKIP("ICMP echo is not permitted here");
    QVERIFY2(r.status == 6, qPrintable(printable(r)));
    QVERIFY(r.err.contains(QStringLiteral("IP: 127.0.73.142 is already assigned to a device on the network")));
    QVERIFY(r.err.contains(QStringLiteral("vork set-ip: 127.0.73.142 already answers a ping: nothing was sent")));
}

void TestCliSetIp::setIpBadArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("reason");
    QTest::newRow("short MAC") << QStringList{QStringLiteral("0050C249"), QStringLiteral("10.1.2.3")}
                               << QStringLiteral("Invalid MAC address specified");
    QTest::newRow("address zero") << QStringList{QStringLiteral("0050C2497101"), QStringLiteral("0.0.0.0")}
                                  << QStringLiteral("Invalid IP address specified");
    QTest::newRow("mask") << QStringList{QStringLiteral("0050C2497101"), QStringLiteral("10.1.2.3"),
                                         QStringLiteral("--mask"), QStringLiteral("255.255.255")}
                          << QStringLiteral("Invalid subnet mask specified");
    QTest::newRow("gateway") << QStringList{QStringLiteral("0050C2497101"), QStringLiteral("10.1.2.3"),
                                            QStringLiteral("--gateway"), QStringLiteral("10.1.2.")}
                             << QStringLiteral("Invalid gateway specified");
    QTest::newRow("list") << QStringList{QStringLiteral("0050C2497101"), QStringLiteral("10.1.2.3"),
                                         QStringLiteral("--to"), QStringLiteral("127.0.73.300")}
                          << QStringLiteral("Invalid IP address entered");
    QTest::newRow("one argument") << QStringList{QStringLiteral("0050C2497101")} << QStringLiteral("needs MAC and IP");
}

void TestCliSetIp::setIpBadArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, reason);
    const Run r = runVork(QStringList{QStringLiteral("set-ip"), QStringLiteral("--no-ping")} + args
                          + QStringList{QStringLiteral("--local-ip"), QStringLiteral("127.0.0.1")});
    QVERIFY2(r.status == 2, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(reason), qPrintable(r.err));
}

void TestCliSetIp::factoryResetByMac()
{
    sim::SimFleet fleet;
    fleet.add(unitAt("127.0.74.110", "0050C24A6E01"));
    QString error;
    QVERIFY2(fleet.start({}, &error), qPrintable(error));
    const Run r = runVork({QStringLiteral("factory-reset"), QStringLiteral("--yes"), QStringLiteral("--mac"),
                           QStringLiteral("0050C24A6E01"), QStringLiteral("--to"), QStringLiteral("127.0.74.110"),
                           QStringLiteral("--local-ip"), QStringLiteral("127.0.0.1")});
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QCOMPARE(r.out, QStringLiteral("Factory Reset Successful for 0050C24A6E01\n"));
    // The reset, which the unit does not answer, then the discovery it answers.
    QCOMPARE(fleet.server(0).received().size(), 2);
    QCOMPARE(fleet.server(0).received().at(0).bytes, QByteArray("SVRK^") + QByteArray::fromHex("0050C24A6E01"));
    QVERIFY(fleet.server(0).received().at(1).bytes.startsWith("SVRK?"));
}

void TestCliSetIp::factoryResetByMacUnitGone()
{
    // Nobody at the address: the reset went out, no discovery answer confirms it.
    const Run r = runVork({QStringLiteral("factory-reset"), QStringLiteral("--yes"), QStringLiteral("--mac"),
                           QStringLiteral("0050C24A6E02"), QStringLiteral("--to"), QStringLiteral("127.0.74.120"),
                           QStringLiteral("--wait"), QStringLiteral("400"), QStringLiteral("--local-ip"),
                           QStringLiteral("127.0.0.1")});
    QVERIFY2(r.status == 1, qPrintable(printable(r)));
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.contains(QStringLiteral("no answer from the unit with MAC 0050C24A6E02")), qPrintable(r.err));
}

void TestCliSetIp::factoryResetByAddressSaysItOnce()
{
    sim::SimFleet fleet;
    sim::SimUnit u = unitAt("127.0.74.113", "0050C24A7101");
    u.version = {2, 9, 0}; // the reset sends no login: a unit from before logins
    u.model = 2;
    fleet.add(u);
    QString error;
    QVERIFY2(fleet.start({}, &error), qPrintable(error));
    const Run r = runVork({QStringLiteral("factory-reset"), QStringLiteral("--yes"), QStringLiteral("--no-ping"),
                           QStringLiteral("127.0.74.113"), QStringLiteral("--local-ip"), QStringLiteral("127.0.0.1")});
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    const QString text = QStringLiteral("Factory defaults restored for unit 127.0.74.113");
    QCOMPARE(r.out, text + QLatin1Char('\n'));
    QCOMPARE(QString(r.out + r.err).count(text), 1);
}

void TestCliSetIp::factoryResetDeclined()
{
    sim::SimFleet fleet;
    fleet.add(unitAt("127.0.74.111", "0050C24A6F01"));
    QString error;
    QVERIFY2(fleet.start({}, &error), qPrintable(error));
    const Run r = runVork({QStringLiteral("factory-reset"), QStringLiteral("--mac"), QStringLiteral("0050C24A6F01"),
                           QStringLiteral("--to"), QStringLiteral("127.0.74.111"), QStringLiteral("--local-ip"),
                           QStringLiteral("127.0.0.1")});
    QVERIFY2(r.status == 4, qPrintable(printable(r)));
    QVERIFY(r.err.contains(QStringLiteral("Restore the factory defaults of Vork Unit 0050C24A6F01?")));
    wait::delay(100);
    QVERIFY(fleet.server(0).received().isEmpty());
}

void TestCliSetIp::factoryResetBadArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("reason");
    QTest::newRow("both") << QStringList{QStringLiteral("--mac"), QStringLiteral("0050C24A7001"),
                                         QStringLiteral("127.0.74.112")}
                          << QStringLiteral("give either --mac MAC or one ADDRESS");
    QTest::newRow("neither") << QStringList{} << QStringLiteral("give either --mac MAC or one ADDRESS");
    QTest::newRow("not 0050") << QStringList{QStringLiteral("--mac"), QStringLiteral("0051C24A7001")}
                              << QStringLiteral("0051C24A7001 is not a valid Brivella MAC address");
    QTest::newRow("bad address") << QStringList{QStringLiteral("10.1.2")}
                                 << QStringLiteral("10.1.2 is not a valid unit address");
}

void TestCliSetIp::factoryResetBadArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, reason);
    const Run r = runVork(QStringList{QStringLiteral("factory-reset"), QStringLiteral("--yes")} + args);
    QVERIFY2(r.status == 2, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(reason), qPrintable(r.err));
}

void TestCliSetIp::helpListsTheCommands()
{
    const Run r = runVork({QStringLiteral("help")});
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.contains(QStringLiteral("  set-ip MAC IP ")));
    QVERIFY(r.out.contains(QStringLiteral("  factory-reset (--mac MAC | ADDRESS) ")));
    QVERIFY(r.out.contains(QStringLiteral("  6  set-ip: the new address already answers a ping")));
}

QTEST_GUILESS_MAIN(TestCliSetIp)
#include "tst_cli_setip.moc"
