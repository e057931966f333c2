// The telnet layer on its own: what it answers to a peer's negotiation, what it
// hands on as text, how it escapes what we send. No socket involved.

#include "tools/telnetprotocol.h"

#include <QTest>

using namespace vork;

namespace {

struct Run
{
    QByteArray data;
    QByteArray wire;
    QList<QPair<int, int>> negotiated;
};

// Feeds bytes in pieces of step bytes (0: all at once).
Run feed(const QByteArray &bytes, int step)
{
    Run r;
    TelnetProtocol p({[&r](QByteArrayView d) { r.data += d.toByteArray(); },
                      [&r](QByteArrayView w) { r.wire += w.toByteArray(); },
                      [&r](TelnetProtocol::Negotiation n, unsigned char o) { r.negotiated.append({int(n), int(o)}); }});
    if (step <= 0) {
        p.receive(bytes);
    } else {
        for (qsizetype i = 0; i < bytes.size(); i += step)
            p.receive(bytes.mid(i, step));
    }
    return r;
}

QByteArray iac(std::initializer_list<int> bytes)
{
    QByteArray b;
    for (int v : bytes)
        b.append(char(v));
    return b;
}

constexpr int IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240, NOP = 241;

} // namespace

class TstTelnetProtocol : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void negotiation_data();
    void negotiation();
    void sendEscapesIac();
    void brokenStreamStopsQuietly();
};

void TstTelnetProtocol::negotiation_data()
{
    QTest::addColumn<QByteArray>("peer");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("text");

    // The unit's opening: it offers to echo. We accept, and show no text for it.
    QTest::newRow("unit's first chunk: WILL ECHO") << iac({IAC, WILL, 1}) << iac({IAC, DO, 1}) << QByteArray();
    QTest::newRow("WILL SGA") << iac({IAC, WILL, 3}) << iac({IAC, DO, 3}) << QByteArray();
    QTest::newRow("DO TTYPE") << iac({IAC, DO, 24}) << iac({IAC, WILL, 24}) << QByteArray();
    QTest::newRow("DO ECHO refused") << iac({IAC, DO, 1}) << iac({IAC, WONT, 1}) << QByteArray();
    QTest::newRow("DO NAWS refused") << iac({IAC, DO, 31}) << iac({IAC, WONT, 31}) << QByteArray();
    QTest::newRow("WILL unknown option refused") << iac({IAC, WILL, 200}) << iac({IAC, DONT, 200}) << QByteArray();
    QTest::newRow("terminal type asked after DO TTYPE")
        << (iac({IAC, DO, 24}) + iac({IAC, SB, 24, 1, IAC, SE}))
        << (iac({IAC, WILL, 24}) + iac({IAC, SB, 24, 0}) + QByteArray("dumb") + iac({IAC, SE})) << QByteArray();
    QTest::newRow("text around a NOP") << (QByteArray("ab") + iac({IAC, NOP}) + QByteArray("c")) << QByteArray()
                                       << QByteArray("abc");
    QTest::newRow("doubled IAC is one 0xFF") << (QByteArray("x") + iac({IAC, IAC}) + QByteArray("y")) << QByteArray()
                                             << (QByteArray("x") + iac({IAC}) + QByteArray("y"));
    QTest::newRow("negotiation then prompt")
        << (iac({IAC, WILL, 1, IAC, WILL, 3}) + QByteArray("\r\nLogin : "))
        << iac({IAC, DO, 1, IAC, DO, 3}) << QByteArray("\r\nLogin : ");
    QTest::newRow("repeated WILL ECHO answered once") << iac({IAC, WILL, 1, IAC, WILL, 1}) << iac({IAC, DO, 1})
                                                      << QByteArray();
}

void TstTelnetProtocol::negotiation()
{
    QFETCH(QByteArray, peer);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, text);
    // Whole, and split at every byte: the answers and the text are the same.
    for (int step : {0, 1, 2}) {
        const Run r = feed(peer, step);
        QCOMPARE(r.wire.toHex(' '), answer.toHex(' '));
        QCOMPARE(r.data, text);
    }
}

void TstTelnetProtocol::sendEscapesIac()
{
    QByteArray wire;
    TelnetProtocol p({{}, [&wire](QByteArrayView w) { wire += w.toByteArray(); }, {}});
    p.send(QByteArray("a\xFF" "b\r", 4));
    QCOMPARE(wire.toHex(' '), QByteArray("61 ff ff 62 0d"));
}

void TstTelnetProtocol::brokenStreamStopsQuietly()
{
    // A subnegotiation that never ends, then text: nothing of it may come out as text.
    QByteArray garbage = iac({IAC, SB, 24});
    garbage += QByteArray(5000, 'z');
    const Run r = feed(garbage + QByteArray("\r\nLogin : "), 7);
    QVERIFY(!r.data.contains("zzzz"));
}

QTEST_GUILESS_MAIN(TstTelnetProtocol)
#include "tst_telnetprotocol.moc"
