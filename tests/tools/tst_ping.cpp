// ICMP echo (reply parser, bounded wait, the real pinger on loopback), the
// ping tools' controller and widgets, and `vork ping`.
#include "core/boundedwait.h"
#include "recordingoperator.h"
#include "tools/ping.h"
#include "tools/pingtool.h"
#include "tools/ui/pingwidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <functional>

using namespace vork;
using icmp::Verdict;

Q_DECLARE_METATYPE(icmp::Verdict)

namespace {

constexpr std::uint32_t loopback = 0x7f000001;
constexpr std::uint32_t otherHost = 0x7f000063; // 127.0.0.99
constexpr std::uint32_t router = 0x0a000001;
constexpr std::uint16_t ourId = 0x1234;
constexpr std::uint16_t ourSeq = 7;

void put16(QByteArray &b, int at, std::uint16_t v)
{
    b[at] = char(v >> 8);
    b[at + 1] = char(v & 0xff);
}

void put32(QByteArray &b, int at, std::uint32_t v)
{
    put16(b, at, std::uint16_t(v >> 16));
    put16(b, at + 2, std::uint16_t(v & 0xffff));
}

// An ICMP message with its checksum; a body follows the 8-byte header.
QByteArray message(std::uint8_t type, std::uint16_t id, std::uint16_t seq, const QByteArray &body)
{
    QByteArray m(icmp::headerSize, '\0');
    m[0] = char(type);
    put16(m, 4, id);
    put16(m, 6, seq);
    m += body;
    put16(m, 2, icmp::checksum(m));
    return m;
}

QByteArray payload()
{
    return QByteArray(icmp::payloadSize, 'p');
}

QByteArray echoReply(std::uint16_t id = ourId, std::uint16_t seq = ourSeq)
{
    return message(icmp::EchoReply, id, seq, payload());
}

// An IPv4 header in front of data; ihlWords below 5 or past the data make a bad header.
QByteArray withIp(const QByteArray &data, std::uint32_t source, std::uint32_t destination, int ihlWords = 5,
                  std::uint8_t protocol = 1, int version = 4)
{
    const int length = qMax(ihlWords, 5) * 4;
    QByteArray h(length, '\0');
    h[0] = char((version << 4) | (ihlWords & 0x0f));
    put16(h, 2, std::uint16_t(length + data.size()));
    h[8] = 64;
    h[9] = char(protocol);
    put32(h, 12, source);
    put32(h, 16, destination);
    return h + data;
}

// A destination-unreachable report from a router quoting an echo request.
QByteArray unreachable(std::uint16_t seq, std::uint32_t quotedDestination = loopback)
{
    const QByteArray quoted = withIp(message(icmp::EchoRequest, ourId, seq, payload()).left(8), 0x7f000001,
                                     quotedDestination);
    return withIp(message(icmp::DestinationUnreachable, 0, 0, quoted), router, 0x7f000001);
}

class ScriptedPinger : public Pinger
{
public:
    struct Call
    {
        QString host;
        int timeoutMs;
        bool busyCursor;
    };
    QList<bool> answers; // consumed in order; none left: no reply
    QList<Call> calls;
    std::function<void()> during; // runs inside the ping, as events would

    bool ping(const QString &host, int timeoutMs, bool busyCursor) override
    {
        calls.append({host, timeoutMs, busyCursor});
        if (during)
            during();
        return answers.isEmpty() ? false : answers.takeFirst();
    }
};

class BusyRecorder : public RecordingOperator
{
public:
    int deepest = 0;
    void setBusy(bool busy) override
    {
        RecordingOperator::setBusy(busy);
        deepest = qMax(deepest, busyDepth);
    }
};

// Echo over the real socket kinds; skips with the reason when not permitted here.
bool loopbackAnswers(IcmpPinger &pinger, QString &skipReason)
{
    const bool found = pinger.ping(QStringLiteral("127.0.0.1"), 1000, true);
    skipReason = pinger.deniedReason();
    return found;
}

} // namespace

class TestPing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void validAddress_data();
    void validAddress();
    void checksumKnownVector();
    void echoRequestLayout();
    void classify_data();
    void classify();
    void truncatedReplyIsNeverTaken();
    void awaitReply_data();
    void awaitReply();
    void pingerLoopback_data();
    void pingerLoopback();
    void pingerInvalidHost_data();
    void pingerInvalidHost();
    void pingerNotPermittedLogsOnce();

    void toolbarEnablingFollowsField_data();
    void toolbarEnablingFollowsField();
    void toolbarPress_data();
    void toolbarPress();
    void threeNumbersRefused();
    void secondPressDuringPingIgnored();
    void resetTimer_data();
    void resetTimer();

    void toolbarWidget();
    void manualWidgetFoundThenReset();
    void manualWidgetNotFoundAndEnter();

    void cliArguments_data();
    void cliArguments();
    void cliLoopback();
};

void TestPing::validAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("loopback") << "127.0.0.1" << true;
    QTest::newRow("private") << "192.168.0.10" << true;
    QTest::newRow("all zero") << "0.0.0.0" << true;
    QTest::newRow("top") << "255.255.255.255" << true;
    QTest::newRow("three numbers") << "10.0.5" << false;
    QTest::newRow("nothing after third dot") << "10.1.2." << false;
    QTest::newRow("five numbers") << "1.2.3.4.5" << false;
    QTest::newRow("256") << "10.0.0.256" << false;
    QTest::newRow("four digits") << "10.0.0.0010" << false;
    QTest::newRow("leading zero last") << "127.0.77.09" << false;
    QTest::newRow("leading zero first") << "01.2.3.4" << false;
    QTest::newRow("zero padded") << "010.000.000.005" << false;
    QTest::newRow("double zero") << "10.00.0.1" << false;
    QTest::newRow("300") << "300.1.1.1" << false;
    QTest::newRow("zeros alone") << "10.0.0.0" << true;
    QTest::newRow("empty part") << "10..0.1" << false;
    QTest::newRow("letters") << "a.b.c.d" << false;
    QTest::newRow("sign") << "+1.2.3.4" << false;
    QTest::newRow("space") << " 10.0.0.5" << false;
    QTest::newRow("host name") << "localhost" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("arabic-indic digit") << QStringLiteral("10.0.0.\u0661") << false;
}

void TestPing::validAddress()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(isValidIPv4(text), valid);
}

void TestPing::checksumKnownVector()
{
    // The worked example of the Internet checksum: sum 0xddf2, checksum 0x220d.
    const QByteArray data = QByteArray::fromHex("0001f203f4f5f6f7");
    QCOMPARE(icmp::checksum(data), std::uint16_t(0x220d));
    // Odd length: the last byte is the high half of a word.
    QCOMPARE(icmp::checksum(QByteArray::fromHex("01")), std::uint16_t(0xfeff));
}

void TestPing::echoRequestLayout()
{
    const QByteArray request = icmp::echoRequest(0xabcd, 0x0102, payload());
    QCOMPARE(request.size(), 8 + 24);
    QCOMPARE(request.left(2), QByteArray::fromHex("0800"));
    QCOMPARE(request.mid(4, 4), QByteArray::fromHex("abcd0102"));
    QCOMPARE(request.mid(8), payload());
    QCOMPARE(icmp::checksum(request), std::uint16_t(0));
}

void TestPing::classify_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<bool>("withIpHeader");
    QTest::addColumn<Verdict>("verdict");

    QTest::newRow("reply, datagram socket") << echoReply() << false << Verdict::Reply;
    QTest::newRow("reply, raw socket") << withIp(echoReply(), loopback, loopback) << true << Verdict::Reply;
    QTest::newRow("reply, IP options") << withIp(echoReply(), loopback, loopback, 6) << true << Verdict::Reply;
    QTest::newRow("reply without payload") << message(icmp::EchoReply, ourId, ourSeq, {}) << false << Verdict::Reply;
    QTest::newRow("wrong id") << echoReply(ourId + 1) << false << Verdict::Unrelated;
    QTest::newRow("wrong sequence") << withIp(echoReply(ourId, ourSeq - 1), loopback, loopback) << true
                                    << Verdict::Unrelated;
    QTest::newRow("own request seen on raw socket")
        << withIp(message(icmp::EchoRequest, ourId, ourSeq, payload()), loopback, loopback) << true
        << Verdict::Unrelated;
    QTest::newRow("other host's reply") << withIp(echoReply(), otherHost, loopback) << true << Verdict::Unrelated;
    QTest::newRow("unreachable quoting us") << unreachable(ourSeq) << true << Verdict::Unreachable;
    QTest::newRow("unreachable quoting another ping") << unreachable(ourSeq + 1) << true << Verdict::Unrelated;
    QTest::newRow("unreachable for another host") << unreachable(ourSeq, otherHost) << true << Verdict::Unrelated;
    QTest::newRow("unreachable, quote cut short") << withIp(message(icmp::DestinationUnreachable, 0, 0,
                                                                    withIp(QByteArray(4, '\0'), loopback, loopback)),
                                                            router, loopback)
                                                  << true << Verdict::Malformed;
    QTest::newRow("empty") << QByteArray() << false << Verdict::Malformed;
    QTest::newRow("7 bytes") << echoReply().left(7) << false << Verdict::Malformed;
    QTest::newRow("IP header only") << withIp({}, loopback, loopback) << true << Verdict::Malformed;
    QTest::newRow("19 bytes of IP header") << withIp(echoReply(), loopback, loopback).left(19) << true
                                           << Verdict::Malformed;
    QTest::newRow("truncated payload") << echoReply().left(20) << false << Verdict::Malformed;
    QTest::newRow("bad checksum") << [] {
        QByteArray b = echoReply();
        b[12] = char(b[12] ^ 0x40);
        return b;
    }() << false << Verdict::Malformed;
    QTest::newRow("garbage") << QByteArray("not an ICMP message at all, just text") << false << Verdict::Malformed;
    QTest::newRow("garbage, raw") << QByteArray(40, char(0xff)) << true << Verdict::Malformed;
    QTest::newRow("IHL below 5") << withIp(echoReply(), loopback, loopback, 4) << true << Verdict::Malformed;
    QTest::newRow("IHL past the packet") << withIp(echoReply(), loopback, loopback, 15).left(40) << true
                                         << Verdict::Malformed;
    QTest::newRow("IPv6 version") << withIp(echoReply(), loopback, loopback, 5, 1, 6) << true << Verdict::Malformed;
    QTest::newRow("not ICMP") << withIp(echoReply(), loopback, loopback, 5, 17) << true << Verdict::Malformed;
    QTest::newRow("reply read as raw without header") << echoReply() << true << Verdict::Malformed;
}

void TestPing::classify()
{
    QFETCH(QByteArray, packet);
    QFETCH(bool, withIpHeader);
    QFETCH(Verdict, verdict);
    // A copy sized exactly to the packet lets the sanitizers see any read past it.
    const std::unique_ptr<char[]> exact(new char[size_t(qMax<qsizetype>(packet.size(), 1))]);
    std::copy(packet.cbegin(), packet.cend(), exact.get());
    QCOMPARE(icmp::classify(QByteArrayView(exact.get(), packet.size()), withIpHeader,
                            icmp::Expected{loopback, ourId, ourSeq}),
             verdict);
}

void TestPing::truncatedReplyIsNeverTaken()
{
    const QByteArray raw = withIp(echoReply(), loopback, loopback);
    const icmp::Expected expected{loopback, ourId, ourSeq};
    for (int n = 0; n < raw.size(); ++n)
        QVERIFY2(icmp::classify(QByteArrayView(raw.constData(), n), true, expected) != Verdict::Reply,
                 qPrintable(QStringLiteral("raw prefix of %1 bytes").arg(n)));
    const QByteArray dgram = echoReply();
    for (int n = 0; n < dgram.size(); ++n)
        QVERIFY2(icmp::classify(QByteArrayView(dgram.constData(), n), false, expected) != Verdict::Reply,
                 qPrintable(QStringLiteral("datagram prefix of %1 bytes").arg(n)));
}

void TestPing::awaitReply_data()
{
    // A scripted source: packets written into a socket pair at given times.
    QTest::addColumn<QList<int>>("atMs");
    QTest::addColumn<QList<QByteArray>>("packets");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    const QByteArray ours = withIp(echoReply(), loopback, loopback);
    const QByteArray stale = withIp(echoReply(ourId, ourSeq - 1), loopback, loopback);
    const QByteArray foreign = withIp(echoReply(), otherHost, loopback);
    QTest::newRow("reply in time") << QList<int>{50} << QList<QByteArray>{ours} << 200 << true << 40 << 190;
    QTest::newRow("reply after 250 ms to a 200 ms ping")
        << QList<int>{250} << QList<QByteArray>{ours} << 200 << false << 190 << 600;
    QTest::newRow("stale, foreign and garbage before ours")
        << QList<int>{10, 20, 30, 60} << QList<QByteArray>{stale, foreign, QByteArray("junk"), ours} << 200 << true
        << 50 << 190;
    QTest::newRow("only replies that are not ours")
        << QList<int>{10, 20} << QList<QByteArray>{stale, foreign} << 150 << false << 140 << 600;
    QTest::newRow("unreachable ends the wait") << QList<int>{30} << QList<QByteArray>{unreachable(ourSeq)} << 500
                                               << false << 20 << 200;
    QTest::newRow("already waiting when the wait starts") << QList<int>{-1} << QList<QByteArray>{ours} << 200 << true
                                                          << 0 << 100;
}

void TestPing::awaitReply()
{
    QFETCH(QList<int>, atMs);
    QFETCH(QList<QByteArray>, packets);
    QFETCH(int, timeoutMs);
    QFETCH(bool, found);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    int pair[2];
    QVERIFY(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) == 0);
    const auto closeBoth = qScopeGuard([&] {
        ::close(pair[0]);
        ::close(pair[1]);
    });
    int written = 0;
    QObject context;
    for (int i = 0; i < atMs.size(); ++i) {
        const auto write = [&, p = packets.at(i)] {
            if (::send(pair[1], p.constData(), size_t(p.size()), 0) == p.size())
                ++written;
        };
        if (atMs.at(i) < 0)
            write();
        else
            QTimer::singleShot(atMs.at(i), Qt::PreciseTimer, &context, write);
    }

    QElapsedTimer clock;
    clock.start();
    const bool result = icmp::awaitReply(pair[0], true, icmp::Expected{loopback, ourId, ourSeq}, timeoutMs);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(result, found);
    QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QStringLiteral("took %1 ms").arg(elapsed)));
    // The scripted writes ran on timers during the wait: the event loop stayed alive.
    const int due = int(std::count_if(atMs.cbegin(), atMs.cend(), [&](int t) { return t <= elapsed - 5; }));
    QVERIFY2(written >= due, qPrintable(QStringLiteral("%1 of %2 due packets written").arg(written).arg(due)));
}

void TestPing::pingerLoopback_data()
{
    QTest::addColumn<int>("kinds");
    QTest::newRow("either kind") << int(IcmpPinger::Raw | IcmpPinger::Datagram);
    QTest::newRow("raw socket") << int(IcmpPinger::Raw);
    QTest::newRow("datagram socket") << int(IcmpPinger::Datagram);
}

void TestPing::pingerLoopback()
{
    QFETCH(int, kinds);
    BusyRecorder op;
    IcmpPinger pinger(op, IcmpPinger::Kinds(kinds));
    QString denied;
    const bool found = loopbackAnswers(pinger, denied);
    if (!denied.isEmpty())
        QSKIP(qPrintable(denied));
    QVERIFY(found);
    qInfo("ICMP echo ran over a %s socket", pinger.lastKind() == IcmpPinger::Raw ? "raw" : "datagram");
    QCOMPARE(op.deepest, 1);
    QCOMPARE(op.busyDepth, 0);
    // Each ping has its own sequence: the earlier reply never answers the next.
    QVERIFY(pinger.ping(QStringLiteral("127.0.0.1"), 1000, false));
    QVERIFY(pinger.ping(QStringLiteral("127.0.3.200"), 1000, false));
    QCOMPARE(op.deepest, 1);
    QVERIFY(op.logs.isEmpty());
}

void TestPing::pingerInvalidHost_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("three numbers") << "10.0.5";
    QTest::newRow("empty") << "";
    QTest::newRow("host name") << "localhost";
    QTest::newRow("out of range") << "127.0.0.300";
    QTest::newRow("trailing dot") << "127.0.0.";
}

void TestPing::pingerInvalidHost()
{
    QFETCH(QString, host);
    BusyRecorder op;
    IcmpPinger pinger(op);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!pinger.ping(host, 2000, true));
    QVERIFY(clock.elapsed() < 500);
    QCOMPARE(op.busyDepth, 0);
    QCOMPARE(int(pinger.lastKind()), 0); // no socket was opened
}

void TestPing::pingerNotPermittedLogsOnce()
{
    RecordingOperator op;
    IcmpPinger pinger(op, IcmpPinger::Kinds());
    QVERIFY(!pinger.ping(QStringLiteral("127.0.0.1"), 200, true));
    QVERIFY(!pinger.ping(QStringLiteral("127.0.0.1"), 200, true));
    QCOMPARE(op.logs.size(), 1);
    QVERIFY2(op.logs.first().startsWith(QStringLiteral("ICMP echo not permitted: ")), qPrintable(op.logs.first()));
    QCOMPARE(op.busyDepth, 0);
}

void TestPing::toolbarEnablingFollowsField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("valid") << "10.0.0.5" << true;
    QTest::newRow("three numbers") << "10.0.5" << false;
    QTest::newRow("partly typed") << "10.0.0." << false;
    QTest::newRow("empty") << "" << false;
}

void TestPing::toolbarEnablingFollowsField()
{
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    RecordingOperator op;
    ScriptedPinger pinger;
    pinger.answers = {true};
    PingTool tool(op, pinger);
    QVERIFY(!tool.pingEnabled(PingTool::Place::Toolbar));
    tool.setAddress(PingTool::Place::Toolbar, QStringLiteral("127.0.0.9"));
    tool.press(PingTool::Place::Toolbar);
    QCOMPARE(tool.result(PingTool::Place::Toolbar), PingTool::Result::Found);

    QSignalSpy changed(&tool, &PingTool::changed);
    tool.setAddress(PingTool::Place::Toolbar, text);
    QCOMPARE(tool.pingEnabled(PingTool::Place::Toolbar), enabled);
    QCOMPARE(tool.result(PingTool::Place::Toolbar), PingTool::Result::None); // label cleared
    QCOMPARE(changed.size(), 1);
}

void TestPing::toolbarPress_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<Tone>("tone");
    QTest::addColumn<QString>("label");
    QTest::newRow("found") << true << Tone::PingFound << "Found";
    QTest::newRow("not found") << false << Tone::PingNotFound << "Not Found";
}

void TestPing::toolbarPress()
{
    QFETCH(bool, answer);
    QFETCH(Tone, tone);
    QFETCH(QString, label);
    RecordingOperator op;
    ScriptedPinger pinger;
    pinger.answers = {answer};
    PingTool tool(op, pinger);
    int telnetClosed = 0;
    QObject::connect(&tool, &PingTool::telnetCloseRequested, &tool, [&] { ++telnetClosed; });
    bool enabledDuringPing = true;
    pinger.during = [&] { enabledDuringPing = tool.pingEnabled(PingTool::Place::Toolbar); };

    tool.setAddress(PingTool::Place::Toolbar, QStringLiteral("127.0.0.5"));
    tool.press(PingTool::Place::Toolbar);

    QCOMPARE(pinger.calls.size(), 1);
    QCOMPARE(pinger.calls.first().host, QStringLiteral("127.0.0.5"));
    QCOMPARE(pinger.calls.first().timeoutMs, 200);
    QVERIFY(pinger.calls.first().busyCursor);
    QVERIFY(!enabledDuringPing);
    QCOMPARE(telnetClosed, 1);
    QCOMPARE(op.tones, QList<Tone>{tone});
    QCOMPARE(op.forcedTones, QList<bool>{true});
    QCOMPARE(PingTool::resultText(tool.result(PingTool::Place::Toolbar)), label);
    QVERIFY(tool.pingEnabled(PingTool::Place::Toolbar));
    QVERIFY(!tool.connectEnabled()); // "Connect ?" belongs to the Manual page only
    QVERIFY(tool.resetTimer().isActive());
    QCOMPARE(tool.resetTimer().interval(), 3000);
    QVERIFY(op.messages.isEmpty());
}

void TestPing::threeNumbersRefused()
{
    RecordingOperator op;
    ScriptedPinger pinger;
    PingTool tool(op, pinger);
    QSignalSpy focus(&tool, &PingTool::focusAddress);
    tool.setAddress(PingTool::Place::Manual, QStringLiteral("10.0.5"));
    tool.press(PingTool::Place::Manual);
    QVERIFY(pinger.calls.isEmpty());
    QCOMPARE(op.logs, QStringList{QStringLiteral("Invalid IP address entered")});
    QCOMPARE(op.messageTexts(), QStringList{QStringLiteral("Invalid IP address entered")});
    QCOMPARE(focus.size(), 1);
    QCOMPARE(focus.first().first().value<PingTool::Place>(), PingTool::Place::Manual);
    QVERIFY(op.tones.isEmpty());
    QVERIFY(!tool.pingEnabled(PingTool::Place::Manual));
    QVERIFY(tool.resetTimer().isActive());
}

void TestPing::secondPressDuringPingIgnored()
{
    RecordingOperator op;
    ScriptedPinger pinger;
    pinger.answers = {true, true};
    PingTool tool(op, pinger);
    tool.setAddress(PingTool::Place::Toolbar, QStringLiteral("127.0.0.5"));
    tool.setAddress(PingTool::Place::Manual, QStringLiteral("127.0.0.6"));
    pinger.during = [&] {
        pinger.during = nullptr;
        tool.press(PingTool::Place::Manual); // e.g. Enter in the Manual field while the toolbar pings
    };
    tool.press(PingTool::Place::Toolbar);
    QCOMPARE(pinger.calls.size(), 1);
    QCOMPARE(op.tones.size(), 1);
}

void TestPing::resetTimer_data()
{
    QTest::addColumn<PingTool::Showing>("showing");
    QTest::addColumn<bool>("generalTimeOut");
    QTest::addColumn<bool>("toolbarReevaluated");
    QTest::addColumn<bool>("manualReset");
    QTest::newRow("Manual tab") << PingTool::Showing::ManualTab << false << false << true;
    QTest::newRow("Discover tab") << PingTool::Showing::DiscoverTab << true << true << false;
    QTest::newRow("another page") << PingTool::Showing::Elsewhere << true << false << false;
}

void TestPing::resetTimer()
{
    QFETCH(PingTool::Showing, showing);
    QFETCH(bool, generalTimeOut);
    QFETCH(bool, toolbarReevaluated);
    QFETCH(bool, manualReset);

    RecordingOperator op;
    ScriptedPinger pinger;
    pinger.answers = {true, true};
    PingTool tool(op, pinger);
    tool.setResetInterval(60);
    tool.showing = [&] { return showing; };
    QSignalSpy timedOut(&tool, &PingTool::timedOut);

    // Manual: a reply enables "Connect ?". Toolbar: the operator edits the field
    // to an invalid text while the ping runs, and the button comes back up anyway.
    tool.setAddress(PingTool::Place::Manual, QStringLiteral("127.0.0.6"));
    tool.press(PingTool::Place::Manual);
    QVERIFY(tool.connectEnabled());
    tool.setAddress(PingTool::Place::Toolbar, QStringLiteral("127.0.0.5"));
    pinger.during = [&] { tool.setAddress(PingTool::Place::Toolbar, QStringLiteral("127.0.0")); };
    tool.press(PingTool::Place::Toolbar);
    QVERIFY(tool.pingEnabled(PingTool::Place::Toolbar));

    QVERIFY(wait::until([&] { return !tool.resetTimer().isActive(); }, 2000));
    QCOMPARE(timedOut.size(), generalTimeOut ? 1 : 0);
    QCOMPARE(tool.pingEnabled(PingTool::Place::Toolbar), !toolbarReevaluated);
    QVERIFY(!tool.connectEnabled());
    QCOMPARE(tool.result(PingTool::Place::Manual),
             manualReset ? PingTool::Result::None : PingTool::Result::Found);
    QVERIFY(tool.pingEnabled(PingTool::Place::Manual));
    // Fires once.
    wait::delay(150);
    QCOMPARE(timedOut.size(), generalTimeOut ? 1 : 0);
}

void TestPing::toolbarWidget()
{
    RecordingOperator op;
    ScriptedPinger pinger;
    pinger.answers = {true, false};
    PingTool tool(op, pinger);
    PingWidget w(tool, PingTool::Place::Toolbar);
    w.show();
    QCOMPARE(w.addressField()->toolTip(), QStringLiteral("Enter IP address of unit to ping"));
    QCOMPARE(w.pingButton()->toolTip(), QStringLiteral("Ping specifed IP address"));
    QVERIFY(!w.pingButton()->isEnabled());
    QCOMPARE(w.connectButton(), nullptr);

    QTest::keyClicks(w.addressField(), QStringLiteral("127.0.0"));
    QVERIFY(!w.pingButton()->isEnabled());
    QTest::keyClicks(w.addressField(), QStringLiteral(".4"));
    QVERIFY(w.pingButton()->isEnabled());

    QTest::mouseClick(w.pingButton(), Qt::LeftButton);
    QCOMPARE(pinger.calls.size(), 1);
    QCOMPARE(pinger.calls.first().host, QStringLiteral("127.0.0.4"));
    QCOMPARE(w.resultLabel()->text(), QStringLiteral("Found"));
    QVERIFY(w.pingButton()->isEnabled());
    QTest::mouseClick(w.pingButton(), Qt::LeftButton);
    QCOMPARE(w.resultLabel()->text(), QStringLiteral("Not Found"));

    // Editing the field clears the result.
    QTest::keyClick(w.addressField(), Qt::Key_Backspace);
    QCOMPARE(w.resultLabel()->text(), QString());
    QVERIFY(!w.pingButton()->isEnabled());
}

void TestPing::manualWidgetFoundThenReset()
{
    RecordingOperator op;
    ScriptedPinger pinger;
    pinger.answers = {true};
    PingTool tool(op, pinger);
    tool.setResetInterval(80);
    tool.showing = [] { return PingTool::Showing::ManualTab; };
    PingWidget w(tool, PingTool::Place::Manual);
    QSignalSpy connectSpy(&w, &PingWidget::connectRequested);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.connectButton());
    QVERIFY(!w.connectButton()->isEnabled());

    QTest::keyClicks(w.addressField(), QStringLiteral("127.0.0.8"));
    QTest::mouseClick(w.pingButton(), Qt::LeftButton);
    QCOMPARE(w.resultLabel()->text(), QStringLiteral("Found"));
    QCOMPARE(w.resultLabel()->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    QVERIFY(w.connectButton()->isEnabled());
    QVERIFY(w.connectButton()->hasFocus());
    QTest::mouseClick(w.connectButton(), Qt::LeftButton);
    QCOMPARE(connectSpy.size(), 1);

    QVERIFY(wait::until([&] { return !w.connectButton()->isEnabled(); }, 2000));
    QCOMPARE(w.resultLabel()->text(), QString());
    QCOMPARE(w.resultLabel()->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    QVERIFY(w.pingButton()->isEnabled());
}

void TestPing::manualWidgetNotFoundAndEnter()
{
    RecordingOperator op;
    ScriptedPinger pinger;
    pinger.answers = {false};
    PingTool tool(op, pinger);
    PingWidget w(tool, PingTool::Place::Manual);
    w.show();
    QTest::keyClicks(w.addressField(), QStringLiteral("127.0.0.8"));
    QTest::keyClick(w.addressField(), Qt::Key_Return);
    QCOMPARE(pinger.calls.size(), 1);
    QCOMPARE(w.resultLabel()->text(), QStringLiteral("Not Found"));
    QCOMPARE(w.resultLabel()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(!w.connectButton()->isEnabled());
    QCOMPARE(op.tones, QList<Tone>{Tone::PingNotFound});
    QCOMPARE(op.forcedTones, QList<bool>{true});
}

void TestPing::cliArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("stderrHas");
    QTest::newRow("three numbers") << QStringList{QStringLiteral("10.0.5")} << "Invalid IP address entered";
    QTest::newRow("no address") << QStringList{} << "ADDRESS";
    QTest::newRow("zero count") << QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("--count"),
                                               QStringLiteral("0")}
                                << "--count";
    QTest::newRow("bad timeout") << QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("--timeout"),
                                                QStringLiteral("x")}
                                 << "--timeout";
}

void TestPing::cliArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, stderrHas);
    QProcess vork;
    vork.start(QStringLiteral(VORK_CLI), QStringList{QStringLiteral("ping")} + args);
    QVERIFY(vork.waitForFinished(10000));
    QCOMPARE(vork.exitCode(), 2);
    QVERIFY(vork.readAllStandardOutput().isEmpty());
    const QString err = QString::fromLocal8Bit(vork.readAllStandardError());
    QVERIFY2(err.contains(stderrHas), qPrintable(err));
}

void TestPing::cliLoopback()
{
    RecordingOperator op;
    IcmpPinger probe(op);
    QString denied;
    loopbackAnswers(probe, denied);

    QProcess vork;
    vork.start(QStringLiteral(VORK_CLI), {QStringLiteral("ping"), QStringLiteral("127.0.0.1"), QStringLiteral("--count"),
                                          QStringLiteral("2"), QStringLiteral("--interval"), QStringLiteral("10")});
    QVERIFY(vork.waitForFinished(10000));
    const QByteArray out = vork.readAllStandardOutput();
    if (!denied.isEmpty()) {
        // Without ICMP the tool still says why and answers "Not Found": a local failure.
        QCOMPARE(vork.exitCode(), 3);
        QVERIFY(vork.readAllStandardError().contains("ICMP echo not permitted"));
        QSKIP(qPrintable(denied));
    }
    QCOMPARE(vork.exitCode(), 0);
    QCOMPARE(out, QByteArray("Found\nFound\n"));
}

QTEST_MAIN(TestPing)
#include "tst_ping.moc"
