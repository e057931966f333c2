// The history request's bytes and the multi-record packet's framing and parsing.
#include "history/historyprotocol.h"

#include <QTest>

using namespace vork;

Q_DECLARE_METATYPE(vork::HistoryRequest)

namespace {

HistoryKinds only(bool errors, bool labels, bool diagnostics, bool alarms)
{
    return {errors, labels, diagnostics, alarms, false};
}

QByteArray record(std::uint8_t typ, std::uint8_t label)
{
    QByteArray r(DataPack::size, '\0');
    r[0] = char(typ);
    r[2] = 3, r[3] = 7, r[4] = 20, r[5] = 21;
    r[9] = char(label);
    return r;
}

} // namespace

class TestHistoryProtocol : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requestBytes_data();
    void requestBytes();
    void blockSize_data();
    void blockSize();
    void packet_data();
    void packet();
};

void TestHistoryProtocol::requestBytes_data()
{
    QTest::addColumn<HistoryRequest>("request");
    QTest::addColumn<QByteArray>("bytes");

    HistoryRequest r;
    r.wanted = 17;
    QTest::newRow("17, every kind, all readers, multi") << r << QByteArray::fromHex("8f110008");
    HistoryRequest dated = r;
    dated.start = QDateTime(QDate(2021, 3, 5), QTime(8, 30));
    QTest::newRow("with a start date") << dated << QByteArray::fromHex("8f11000814150305081e");
    HistoryRequest nextNew;
    nextNew.kinds = only(false, true, false, false);
    nextNew.next = true;
    nextNew.nextNewStyle = true;
    QTest::newRow("Next to 5.1.0, labels only") << nextNew << QByteArray::fromHex("b2110008");
    HistoryRequest nextOld = nextNew;
    nextOld.nextNewStyle = false;
    QTest::newRow("Next to 4.9.0, labels only") << nextOld << QByteArray::fromHex("92110008");
    HistoryRequest many = r;
    many.wanted = 300;
    QTest::newRow("300 records") << many << QByteArray::fromHex("8f2c0108");
    HistoryRequest low16 = r;
    low16.wanted = static_cast<std::uint16_t>(70000);
    QTest::newRow("70000 as its low 16 bits") << low16 << QByteArray::fromHex("8f701108");
    HistoryRequest single;
    single.multiRecord = false;
    single.killReaders = true;
    single.kinds = only(true, false, false, true);
    single.reader = 1;
    single.wanted = 32768;
    QTest::newRow("single form, kill readers, reader 1") << single << QByteArray::fromHex("49008001");
    HistoryRequest bootOnly;
    bootOnly.kinds = {false, false, false, false, true};
    bootOnly.multiRecord = false;
    QTest::newRow("boot alone adds no bit") << bootOnly << QByteArray::fromHex("00110008");
}

void TestHistoryProtocol::requestBytes()
{
    QFETCH(HistoryRequest, request);
    QFETCH(QByteArray, bytes);
    QCOMPARE(historyRequestBytes(request).toHex(), bytes.toHex());
    QCOMPARE(int(historyFlags(request)), int(std::uint8_t(bytes[0])));
}

void TestHistoryProtocol::blockSize_data()
{
    QTest::addColumn<QByteArray>("soFar");
    QTest::addColumn<int>("size");
    QTest::newRow("nothing yet") << QByteArray() << 0;
    QTest::newRow("count 0") << QByteArray(1, '\0') << 1;
    QTest::newRow("count 1") << QByteArray(1, '\1') << 20;
    QTest::newRow("count 25") << QByteArray(1, char(25)) << 476;
    QTest::newRow("count 26, more than a packet keeps") << QByteArray(1, char(26)) << 495;
    QTest::newRow("count 255") << QByteArray(1, char(255)) << 4846;
    QTest::newRow("only the count byte decides") << (QByteArray(1, '\2') + QByteArray(7, 'x')) << 39;
}

void TestHistoryProtocol::blockSize()
{
    QFETCH(QByteArray, soFar);
    QFETCH(int, size);
    QCOMPARE(historyBlockSize(soFar), size);
    QVERIFY(size <= historyBlockMax);
}

void TestHistoryProtocol::packet_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<int>("announced");
    QTest::addColumn<int>("kept");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<int>("lastLabel"); // label byte of the last record kept

    QByteArray three(1, '\3');
    for (int i = 0; i < 3; ++i)
        three += record(2, std::uint8_t(10 + i));
    QTest::newRow("three") << three << 3 << 3 << true << 12;
    QTest::newRow("count 0") << QByteArray(1, '\0') << 0 << 0 << true << -1;
    QTest::newRow("empty") << QByteArray() << 0 << 0 << false << -1;
    QTest::newRow("cut in the third record") << three.left(1 + 2 * 19 + 5) << 3 << 2 << false << 11;
    QByteArray thirty(1, char(30));
    for (int i = 0; i < 30; ++i)
        thirty += record(1, std::uint8_t(i));
    QTest::newRow("30 announced, 25 kept") << thirty << 30 << 25 << true << 24;
    QTest::newRow("bytes past the announced records") << (three + record(2, 99)) << 3 << 3 << true << 12;
}

void TestHistoryProtocol::packet()
{
    QFETCH(QByteArray, block);
    QFETCH(int, announced);
    QFETCH(int, kept);
    QFETCH(bool, complete);
    QFETCH(int, lastLabel);
    const HistoryPacket p = parseHistoryPacket(block);
    QCOMPARE(p.announced, announced);
    QCOMPARE(p.kept.size(), kept);
    QCOMPARE(p.complete, complete);
    if (lastLabel >= 0) {
        QCOMPARE(int(p.kept.last().data[0]), lastLabel);
        QCOMPARE(p.kept.first().fullYear(), 2021);
        QCOMPARE(int(p.kept.first().month), 3);
    }
}

QTEST_GUILESS_MAIN(TestHistoryProtocol)
#include "tst_historyprotocol.moc"
