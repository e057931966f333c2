// Listening-window rules of the UDP transport, against real sockets on loopback.
#include "discovery/broadcast.h"
#include "core/boundedwait.h"
#include "recordingoperator.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

#include <memory>

using namespace vork;

namespace {

struct Delivery
{
    QByteArray buff;
    int count;
    QString from;
    qint64 atMs;
};

// A transport bound to 127.0.0.1 with a plain UDP peer standing in for a unit.
class Fixture
{
public:
    Fixture()
    {
        peer.bind(QHostAddress(QStringLiteral("127.0.0.9")), 0);
        transport = std::make_unique<TBroadcast>(op);
        transport->setLocalIP(QStringLiteral("127.0.0.1"));
        transport->setLocalPort(0);
        transport->setRemotePort(peer.localPort());
        transport->setBroadCastIP(QStringLiteral("127.0.0.9"));
        transport->setOnDataReceived([this](const QByteArray &b, int n, const QString &from) {
            deliveries.append({b, n, from, clock.elapsed()});
            if (onDelivery)
                onDelivery();
        });
        transport->setOnDiscoveryComplete([this] { completes.append(clock.elapsed()); });
        clock.start();
    }

    // Sends bytes from the peer to the transport's bound port.
    void answer(const QByteArray &bytes)
    {
        peer.writeDatagram(bytes, QHostAddress(QStringLiteral("127.0.0.1")), transport->boundPort());
    }
    // Waits for the peer to receive one query; returns it.
    QByteArray takeQuery()
    {
        wait::until([this] { return peer.hasPendingDatagrams(); }, 2000);
        return peer.hasPendingDatagrams() ? peer.receiveDatagram().data() : QByteArray();
    }
    bool waitComplete(int n, int ms = 3000)
    {
        return wait::until([&] { return completes.size() >= n; }, ms);
    }

    RecordingOperator op;
    QUdpSocket peer;
    std::unique_ptr<TBroadcast> transport;
    QList<Delivery> deliveries;
    QList<qint64> completes;
    std::function<void()> onDelivery;
    QElapsedTimer clock;
};

} // namespace

class TestBroadcast : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void defaults();
    void sendsQueryAndDeliversAnswer();
    void furtherSendsJoinTheWindow();
    void timeOutIsReadWhenTheWindowOpens();
    void datagramsBetweenWindowsWaitForTheNextWindow();
    void datagramLengths_data();
    void datagramLengths();
    void sendErrorEndsTheWindowOnce();
    void windowNeverEndsInsideADelivery();
    void localPortZeroGetsASystemPort();
    void socketReplacedDuringAWindow();
    void destroyedDuringAWindow();
    void failedBindIsLogged();
    void interfaceListPutsLoopbackLast();
};

void TestBroadcast::defaults()
{
    RecordingOperator op;
    TBroadcast t(op);
    QCOMPARE(t.LocalIP(), QString());
    QCOMPARE(t.LocalPort(), 3009);
    QCOMPARE(t.RemotePort(), 3010);
    QCOMPARE(t.BroadCastIP(), QStringLiteral("255.255.255.255"));
    QCOMPARE(t.TimeOut(), 500);
    QVERIFY(!t.windowOpen());
}

void TestBroadcast::sendsQueryAndDeliversAnswer()
{
    Fixture f;
    const QByteArray query("SVRK?\0\0\0\0\0\0\0\0", 13);
    f.transport->SendBroadCast(query);
    QVERIFY(f.transport->windowOpen());
    QCOMPARE(f.takeQuery(), query);
    f.answer(QByteArray(130, 'A'));
    QVERIFY(wait::until([&] { return !f.deliveries.isEmpty(); }, 1000));
    const Delivery &d = f.deliveries.first();
    QCOMPARE(d.count, 130);
    QCOMPARE(d.from, QStringLiteral("127.0.0.9"));
    QCOMPARE(d.buff.size(), TBroadcast::bufferSize);
    QCOMPARE(d.buff.left(130), QByteArray(130, 'A'));
    QCOMPARE(d.buff.mid(130), QByteArray(TBroadcast::bufferSize - 130, '\0'));
    QVERIFY(f.waitComplete(1));
    QVERIFY(!f.transport->windowOpen());
    QVERIFY(f.op.messages.isEmpty());
}

void TestBroadcast::furtherSendsJoinTheWindow()
{
    Fixture f;
    const qint64 first = f.clock.elapsed();
    f.transport->SendBroadCast("one");
    wait::delay(300);
    f.transport->SendBroadCast("two");
    QCOMPARE(f.takeQuery(), QByteArray("one"));
    QCOMPARE(f.takeQuery(), QByteArray("two"));
    QVERIFY(f.waitComplete(1));
    // Timed from the first send (500 ms), not prolonged by the second (which would give 800).
    const qint64 length = f.completes.first() - first;
    QVERIFY2(length >= 490 && length < 750, qPrintable(QString::number(length)));
    wait::delay(600);
    QCOMPARE(f.completes.size(), 1);
}

void TestBroadcast::timeOutIsReadWhenTheWindowOpens()
{
    Fixture f;
    f.transport->setTimeOut(1500);
    f.transport->SendBroadCast("q");
    f.transport->setTimeOut(500);
    QVERIFY(f.waitComplete(1, 4000));
    QVERIFY2(f.completes.first() >= 1490 && f.completes.first() < 2000,
             qPrintable(QString::number(f.completes.first())));
    QCOMPARE(f.transport->TimeOut(), 500);
}

void TestBroadcast::datagramsBetweenWindowsWaitForTheNextWindow()
{
    Fixture f;
    f.transport->setTimeOut(200);
    f.transport->SendBroadCast("first");
    QVERIFY(f.waitComplete(1));
    f.takeQuery();
    wait::delay(200);
    f.answer("late answer");
    wait::delay(200);
    QVERIFY(f.deliveries.isEmpty()); // nobody reads between windows

    f.transport->SendBroadCast("second");
    QVERIFY(wait::until([&] { return !f.deliveries.isEmpty(); }, 1000));
    QCOMPARE(f.deliveries.first().buff.left(11), QByteArray("late answer"));
    QVERIFY(f.deliveries.first().atMs < f.completes.first() + 200 + 600);
    QVERIFY(f.waitComplete(2));
    QCOMPARE(f.deliveries.size(), 1);
}

void TestBroadcast::datagramLengths_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty") << 0 << 0;
    QTest::newRow("one byte") << 1 << 1;
    QTest::newRow("108") << 108 << 108;
    QTest::newRow("old announcement") << 109 << 109;
    QTest::newRow("announcement") << 130 << 130;
    QTest::newRow("whole buffer") << 1001 << 1001;
    QTest::newRow("longer than the buffer") << 1200 << -1;
}

void TestBroadcast::datagramLengths()
{
    QFETCH(int, length);
    QFETCH(int, expected);
    Fixture f;
    f.transport->SendBroadCast("q");
    f.takeQuery();
    QByteArray bytes(length, '\0');
    for (int i = 0; i < length; ++i)
        bytes[i] = static_cast<char>(1 + i % 250);
    f.answer(bytes);
    QVERIFY(wait::until([&] { return !f.deliveries.isEmpty(); }, 1000));
    const Delivery &d = f.deliveries.first();
    QCOMPARE(d.count, expected);
    QCOMPARE(d.buff.size(), TBroadcast::bufferSize);
    const int kept = qMin(length, TBroadcast::bufferSize);
    QCOMPARE(d.buff.left(kept), bytes.left(kept));
    QCOMPARE(d.buff.mid(kept), QByteArray(TBroadcast::bufferSize - kept, '\0'));
}

void TestBroadcast::sendErrorEndsTheWindowOnce()
{
    Fixture f;
    f.transport->setTimeOut(150);
    f.transport->setBroadCastIP(QStringLiteral("not an address"));
    f.transport->SendBroadCast("q");
    QCOMPARE(f.op.messageTexts(MessageKind::Error), QStringList{QStringLiteral("Error sending UDP Packet")});
    QVERIFY(f.waitComplete(1));
    wait::delay(300);
    QCOMPARE(f.completes.size(), 1);
}

void TestBroadcast::windowNeverEndsInsideADelivery()
{
    Fixture f;
    f.transport->setTimeOut(200);
    bool inside = false;
    bool endedInside = false;
    f.transport->setOnDiscoveryComplete([&] {
        endedInside = endedInside || inside;
        f.completes.append(f.clock.elapsed());
    });
    f.onDelivery = [&] {
        inside = true;
        wait::delay(400); // a handler that keeps the interface alive past the window end
        inside = false;
    };
    f.transport->SendBroadCast("q");
    f.takeQuery();
    f.answer("a");
    f.answer("b");
    QVERIFY(f.waitComplete(1));
    QVERIFY(!endedInside);
    QVERIFY(f.completes.first() >= 400);
    wait::delay(300);
    QCOMPARE(f.completes.size(), 1);
    // The second answer came after the window's end: it waits for the next window.
    QCOMPARE(f.deliveries.size(), 1);
    f.onDelivery = nullptr;
    f.transport->SendBroadCast("again");
    QVERIFY(wait::until([&] { return f.deliveries.size() == 2; }, 1000));
    QCOMPARE(f.deliveries.last().buff.left(1), QByteArray("b"));
}

void TestBroadcast::localPortZeroGetsASystemPort()
{
    Fixture f;
    QVERIFY(f.transport->boundPort() != 0);
    QVERIFY(f.transport->boundPort() != 3009);
    f.transport->SendBroadCast("q");
    QHostAddress from;
    quint16 fromPort = 0;
    QVERIFY(wait::until([&] { return f.peer.hasPendingDatagrams(); }, 1000));
    QByteArray buf(64, '\0');
    f.peer.readDatagram(buf.data(), buf.size(), &from, &fromPort);
    QCOMPARE(fromPort, f.transport->boundPort());
    QCOMPARE(from, QHostAddress(QStringLiteral("127.0.0.1")));
}

void TestBroadcast::socketReplacedDuringAWindow()
{
    Fixture f;
    f.transport->setTimeOut(300);
    f.transport->SendBroadCast("q");
    f.takeQuery();
    const quint16 oldPort = f.transport->boundPort();
    f.transport->setLocalPort(0); // reopens the socket mid-window
    QVERIFY(f.transport->boundPort() != 0);
    f.peer.writeDatagram("to old", QHostAddress(QStringLiteral("127.0.0.1")), oldPort);
    f.answer("to new");
    QVERIFY(f.waitComplete(1));
    QCOMPARE(f.deliveries.size(), 1);
    QCOMPARE(f.deliveries.first().buff.left(6), QByteArray("to new"));
    // The next window works on the new socket.
    f.transport->SendBroadCast("q2");
    QCOMPARE(f.takeQuery(), QByteArray("q2"));
    f.answer("next");
    QVERIFY(wait::until([&] { return f.deliveries.size() >= 1 && f.deliveries.last().buff.startsWith("next"); }, 1000));
}

void TestBroadcast::destroyedDuringAWindow()
{
    RecordingOperator op;
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress(QStringLiteral("127.0.0.9")), 0));
    int calls = 0;
    {
        TBroadcast t(op);
        t.setLocalIP(QStringLiteral("127.0.0.1"));
        t.setLocalPort(0);
        t.setRemotePort(peer.localPort());
        t.setBroadCastIP(QStringLiteral("127.0.0.9"));
        t.setOnDataReceived([&](const QByteArray &, int, const QString &) { ++calls; });
        t.setOnDiscoveryComplete([&] { ++calls; });
        t.SendBroadCast("q");
        peer.writeDatagram("pending", QHostAddress(QStringLiteral("127.0.0.1")), t.boundPort());
    }
    wait::delay(50); // queued events of the dead transport must go nowhere
    QCOMPARE(calls, 0);
}

void TestBroadcast::failedBindIsLogged()
{
    RecordingOperator op;
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    TBroadcast t(op);
    t.setLocalIP(QStringLiteral("127.0.0.1"));
    t.setLocalPort(holder.localPort());
    // Only the bind asked for counts: another program on this machine may hold the default port.
    const QStringList lines =
        op.logs.filter(QStringLiteral("UDP bind to 127.0.0.1:") + QString::number(holder.localPort()));
    QVERIFY2(lines.size() == 1, qPrintable(op.logs.join(QLatin1Char('|'))));
    QVERIFY2(lines.first().startsWith(QStringLiteral("UDP bind to 127.0.0.1:") + QString::number(holder.localPort())
                                      + QStringLiteral(" failed")),
             qPrintable(lines.first()));
}

void TestBroadcast::interfaceListPutsLoopbackLast()
{
    const QStringList list = TBroadcast::GetInterfaceList();
    QVERIFY(list.contains(QStringLiteral("127.0.0.1")));
    bool seenLoopback = false;
    for (const QString &a : list) {
        const QHostAddress h(a);
        QCOMPARE(h.protocol(), QAbstractSocket::IPv4Protocol);
        if (h.isLoopback())
            seenLoopback = true;
        else
            QVERIFY2(!seenLoopback, "a non-loopback address after loopback");
    }
}

QTEST_GUILESS_MAIN(TestBroadcast)
#include "tst_broadcast.moc"
