// Inside the namespace lab: the utility's transport finds every simulated unit
// by limited broadcast and the unit table holds each under its sender address.
// run_lab_broadcast.sh sets the lab up and tells this test what to expect.

#include "recordingoperator.h"

#include "discovery/broadcast.h"
#include "unit/announcement.h"
#include "unit/unittable.h"

#include <QMap>
#include <QTest>

using namespace vork;

class TestLabBroadcast : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void limitedBroadcastFindsEveryUnit();
};

void TestLabBroadcast::limitedBroadcastFindsEveryUnit()
{
    const QString utilIP = qEnvironmentVariable("VORK_LAB_UTIL_IP");
    const QString unitList = qEnvironmentVariable("VORK_LAB_UNITS");
    if (utilIP.isEmpty() || unitList.isEmpty())
        QSKIP("not inside the namespace lab: run through tests/lab/run_lab_broadcast.sh (ctest lab_broadcast, root)");

    // "address=MAC,address=MAC,..."
    QMap<QString, QString> expected;
    const QStringList pairs = unitList.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &pair : pairs) {
        const QStringList parts = pair.split(QLatin1Char('='));
        QCOMPARE(parts.size(), 2);
        expected.insert(parts.at(0), parts.at(1));
    }
    QVERIFY(!expected.isEmpty());

    RecordingOperator op;
    UnitTable table(op);
    TBroadcast transport(op);
    transport.setLocalIP(utilIP);
    transport.setLocalPort(0);
    transport.setBroadCastIP(QStringLiteral("255.255.255.255"));
    transport.setTimeOut(1000);

    int datagrams = 0;
    int windows = 0;
    transport.setOnDataReceived([&](const QByteArray &buff, int numberBytes, const QString &fromIP) {
        ++datagrams;
        if (numberBytes < announcement::oldSize)
            return;
        udppack decoded;
        decodeAnnouncement(buff, numberBytes, decoded);
        table.enterAnnouncement(decoded, fromIP);
    });
    transport.setOnDiscoveryComplete([&] { ++windows; });

    QVERIFY(transport.boundPort() != 0);
    transport.SendBroadCast(discoveryQuery());
    QTRY_COMPARE_WITH_TIMEOUT(windows, 1, 5000);

    QVERIFY2(op.messages.isEmpty(), qPrintable(op.messageTexts().join(QLatin1Char('|'))));
    QCOMPARE(datagrams, expected.size());
    QCOMPARE(table.count(), expected.size());
    QVERIFY(!table.duplicate());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const int index = table.findByIP(it.key());
        QVERIFY2(index >= 0, qPrintable(QStringLiteral("no unit at ") + it.key()));
        const udppack &u = table.unit(index);
        QCOMPARE(u.ip, it.key());
        QCOMPARE(u.mac, it.value());
        QVERIFY(u.desc.startsWith(QStringLiteral("Lab unit ")));
    }
}

QTEST_GUILESS_MAIN(TestLabBroadcast)
#include "tst_lab_broadcast.moc"
