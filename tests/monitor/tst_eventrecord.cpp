// Event records against byte fixtures written field by field, and every code text.

#include "unit/eventrecord.h"

#include <QtTest>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <random>

using namespace vork;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(static_cast<char>(v));
    return b;
}

// A record header: kind, reader, 7 March 2021 at 14:05:09; then the payload, zero-filled to 10 bytes.
QByteArray record(int typ, int rdr, std::initializer_list<int> payload)
{
    QByteArray b = bytes({typ, rdr, 3, 7, 20, 21, 14, 5, 9});
    b += bytes(payload);
    b.append(QByteArray(19 - b.size(), '\0'));
    return b;
}

// Decodes from a heap block of exactly the input's size, so a read past it is a sanitizer report.
DataPack decodeExact(const QByteArray &in, bool *complete = nullptr)
{
    const qsizetype n = in.size();
    std::unique_ptr<char[]> heap(new char[static_cast<std::size_t>(n) + (n == 0 ? 1 : 0)]);
    if (n > 0)
        std::memcpy(heap.get(), in.constData(), static_cast<std::size_t>(n));
    return decodeDataPack(QByteArrayView(heap.get(), n), complete);
}

} // namespace

class TestEventRecord : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void headerFields();
    void labelRecord_data();
    void labelRecord();
    void errorRecord_data();
    void errorRecord();
    void diagnosticRecord_data();
    void diagnosticRecord();
    void alarmRecord_data();
    void alarmRecord();
    void bootRecord_data();
    void bootRecord();
    void emptyAndUnknownKinds_data();
    void emptyAndUnknownKinds();
    void readerSlot_data();
    void readerSlot();
    void timeText_data();
    void timeText();
    void shortInput_data();
    void shortInput();
    void longInputTakesTheFirstRecord();
    void encodeWritesTheLayout();
    void garbageDecodesAndRoundTrips();
    void errorTexts_data();
    void errorTexts();
    void everyErrorCodeHasItsNumber();
    void bootTexts_data();
    void bootTexts();
    void alarmTexts_data();
    void alarmTexts();
    void alarmTextsOfFirmware500_data();
    void alarmTextsOfFirmware500();
    void alarmDetailTexts_data();
    void alarmDetailTexts();
    void alternativeAlarm30_data();
    void alternativeAlarm30();
    void kindTexts_data();
    void kindTexts();
};

void TestEventRecord::headerFields()
{
    // Offsets 0-8 in order: typ rdr month day cent year hr min sec; payload from 9.
    const QByteArray in = bytes({2, 6, 12, 31, 19, 99, 23, 58, 57, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9,
                                 0xAA});
    bool complete = false;
    const DataPack p = decodeExact(in, &complete);
    QVERIFY(complete);
    QCOMPARE(p.typ, 2);
    QCOMPARE(p.rdr, 6);
    QCOMPARE(p.month, 12);
    QCOMPARE(p.day, 31);
    QCOMPARE(p.cent, 19);
    QCOMPARE(p.year, 99);
    QCOMPARE(p.hr, 23);
    QCOMPARE(p.min, 58);
    QCOMPARE(p.sec, 57);
    QCOMPARE(p.fullYear(), 1999);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(int(p.data[std::size_t(i)]), 0xA1 + i);
    QCOMPARE(p.kind(), DataPackKind::Label);
}

void TestEventRecord::labelRecord_data()
{
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<int>("reader");
    QTest::addColumn<int>("label");
    QTest::newRow("12345 on reader 3") << record(2, 3, {0x39, 0x30}) << 3 << 12345;
    QTest::newRow("7") << record(2, 0, {0x07, 0x00}) << 0 << 7;
    QTest::newRow("highest label 16383") << record(2, 7, {0xFF, 0x3F}) << 7 << 16383;
    QTest::newRow("all bits") << record(2, 1, {0xFF, 0xFF, 0x12}) << 1 << 65535;
}

void TestEventRecord::labelRecord()
{
    QFETCH(QByteArray, in);
    QFETCH(int, reader);
    QFETCH(int, label);
    const DataPack p = decodeExact(in);
    QCOMPARE(p.kind(), DataPackKind::Label);
    QCOMPARE(int(p.rdr), reader);
    QCOMPARE(p.labelNumber(), label);
    QCOMPARE(dataPackValueText(p, 503), QString::number(label));
    QCOMPARE(dataPackTimeText(p), QStringLiteral("03/07/2021  14:05:09"));
}

void TestEventRecord::errorRecord_data()
{
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("label");
    QTest::addColumn<int>("bits");
    QTest::addColumn<QString>("value");
    QTest::newRow("31, 12 bits, label 1234")
        << record(1, 2, {31, 0xD2, 0x04, 12}) << 31 << 1234 << 12
        << QStringLiteral("31  Incorrect number of data bits - 12 Bits  Label 1234");
    QTest::newRow("39, 255 bits, label 65535")
        << record(1, 2, {39, 0xFF, 0xFF, 255}) << 39 << 65535 << 255
        << QStringLiteral("39  Incorrect number of data bits - 255 Bits  Label 65535");
    QTest::newRow("30 without a bit count") << record(1, 0, {30, 0x10, 0x00, 0}) << 30 << 16 << 0
                                            << QStringLiteral("30  Incorrect number of data bits ");
    // Outside 30-39 the bytes after the code are no label.
    QTest::newRow("6 with stray bytes") << record(1, 4, {6, 0x01, 0x02, 9}) << 6 << 0x0201 << 9
                                        << QStringLiteral("06  Incorrect parity");
    QTest::newRow("startup") << record(1, 0, {0}) << 0 << 0 << 0 << QStringLiteral("00  Startup");
    QTest::newRow("120") << record(1, 0, {120}) << 120 << 0 << 0 << QStringLiteral("Invalid Error Number 120");
}

void TestEventRecord::errorRecord()
{
    QFETCH(QByteArray, in);
    QFETCH(int, code);
    QFETCH(int, label);
    QFETCH(int, bits);
    QFETCH(QString, value);
    const DataPack p = decodeExact(in);
    QCOMPARE(p.kind(), DataPackKind::Error);
    QCOMPARE(p.errorCode(), code);
    QCOMPARE(p.errorLabelNumber(), label);
    QCOMPARE(p.errorBitCount(), bits);
    QCOMPARE(dataPackValueText(p, 503), value);
}

void TestEventRecord::diagnosticRecord_data()
{
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<QString>("text");
    QTest::newRow("5 12 -3 0 7") << record(3, 1, {5, 12, 0xFD, 0, 7}) << QList<int>{5, 12, -3, 0, 7}
                                 << QStringLiteral("A+05  B+12 C-03 X+00 Y+07");
    QTest::newRow("extremes") << record(3, 1, {0x80, 0x7F, 0xFF, 0x9C, 100}) << QList<int>{-128, 127, -1, -100, 100}
                              << QStringLiteral("A-128  B+127 C-01 X-100 Y+100");
    QTest::newRow("zeros") << record(3, 0, {}) << QList<int>{0, 0, 0, 0, 0}
                           << QStringLiteral("A+00  B+00 C+00 X+00 Y+00");
    // Bytes 5-9 of the payload take no part.
    QTest::newRow("rest ignored") << record(3, 0, {1, 2, 3, 4, 5, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})
                                  << QList<int>{1, 2, 3, 4, 5} << QStringLiteral("A+01  B+02 C+03 X+04 Y+05");
}

void TestEventRecord::diagnosticRecord()
{
    QFETCH(QByteArray, in);
    QFETCH(QList<int>, values);
    QFETCH(QString, text);
    const DataPack p = decodeExact(in);
    QCOMPARE(p.kind(), DataPackKind::Diagnostic);
    const auto v = p.diagnosticValues();
    QCOMPARE(QList<int>(v.begin(), v.end()), values);
    QCOMPARE(diagnosticText(p), text);
    QCOMPARE(dataPackValueText(p, 503), text);
}

void TestEventRecord::alarmRecord_data()
{
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("detail");
    QTest::addColumn<QString>("value");
    QTest::newRow("45 cable unplugged") << record(4, 9, {45, 32}) << 503 << 45 << 32
                                        << QStringLiteral("Network Warning - Cable Unplugged");
    QTest::newRow("45 two bits") << record(4, 9, {45, 3}) << 503 << 45 << 3 << QStringLiteral("Network Warning");
    QTest::newRow("8 saved") << record(4, 0, {8, 1}) << 490 << 8 << 1 << QStringLiteral("Configuration Saved");
    QTest::newRow("57 web request") << record(4, 0, {57, 2}) << 503 << 57 << 2
                                    << QStringLiteral("Web Request: Configuration");
    QTest::newRow("70 on 5.0.1") << record(4, 0, {70, 0}) << 501 << 70 << 0
                                 << QStringLiteral("Finish flash of BL B success");
    QTest::newRow("70 on 5.0.3") << record(4, 0, {70, 0}) << 503 << 70 << 0 << QStringLiteral("Unknown Alarm");
}

void TestEventRecord::alarmRecord()
{
    QFETCH(QByteArray, in);
    QFETCH(int, version);
    QFETCH(int, code);
    QFETCH(int, detail);
    QFETCH(QString, value);
    const DataPack p = decodeExact(in);
    QCOMPARE(p.kind(), DataPackKind::Alarm);
    QCOMPARE(p.alarmCode(), code);
    QCOMPARE(p.alarmDetail(), detail);
    QCOMPARE(dataPackValueText(p, version), value);
}

void TestEventRecord::bootRecord_data()
{
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("value");
    QTest::newRow("55") << record(5, 8, {55}) << 55 << QStringLiteral("Starting flash of Boot Loader B");
    QTest::newRow("25") << record(5, 8, {25}) << 25 << QStringLiteral("BLM reset");
    QTest::newRow("30 has none") << record(5, 8, {30}) << 30 << QString();
}

void TestEventRecord::bootRecord()
{
    QFETCH(QByteArray, in);
    QFETCH(int, code);
    QFETCH(QString, value);
    const DataPack p = decodeExact(in);
    QCOMPARE(p.kind(), DataPackKind::Boot);
    QCOMPARE(p.bootCode(), code);
    QCOMPARE(dataPackValueText(p, 503), value);
}

void TestEventRecord::emptyAndUnknownKinds_data()
{
    QTest::addColumn<int>("typ");
    QTest::newRow("empty") << 0;
    QTest::newRow("6") << 6;
    QTest::newRow("255") << 255;
}

void TestEventRecord::emptyAndUnknownKinds()
{
    QFETCH(int, typ);
    const DataPack p = decodeExact(record(typ, 1, {31, 1, 2, 3, 4}));
    QCOMPARE(int(p.typ), typ);
    QCOMPARE(dataPackKindText(typ), QString());
    QCOMPARE(dataPackValueText(p, 503), QString());
    // The time still reads.
    QCOMPARE(dataPackTimeText(p), QStringLiteral("03/07/2021  14:05:09"));
}

void TestEventRecord::readerSlot_data()
{
    QTest::addColumn<int>("rdr");
    QTest::addColumn<int>("slot"); // -1: none
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("7") << 7 << 7;
    QTest::newRow("8") << 8 << -1;
    QTest::newRow("255") << 255 << -1;
}

void TestEventRecord::readerSlot()
{
    QFETCH(int, rdr);
    QFETCH(int, slot);
    const DataPack p = decodeExact(record(2, rdr, {1}));
    QCOMPARE(int(p.rdr), rdr);
    QCOMPARE(p.readerSlot().value_or(-1), slot);
}

void TestEventRecord::timeText_data()
{
    QTest::addColumn<QByteArray>("header"); // month day cent year hr min sec
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("7 March 2021 14:05:09") << bytes({3, 7, 20, 21, 14, 5, 9}) << QStringLiteral("03/07/2021  14:05:09")
                                           << true;
    QTest::newRow("midnight") << bytes({1, 1, 20, 0, 0, 0, 0}) << QStringLiteral("01/01/2000  00:00:00") << true;
    QTest::newRow("last second") << bytes({12, 31, 19, 99, 23, 59, 59}) << QStringLiteral("12/31/1999  23:59:59")
                                 << true;
    QTest::newRow("hour 24") << bytes({3, 7, 20, 21, 24, 0, 0}) << QStringLiteral("03/07/2021  Bad Time") << false;
    QTest::newRow("minute 60") << bytes({3, 7, 20, 21, 10, 60, 0}) << QStringLiteral("03/07/2021  Bad Time") << false;
    QTest::newRow("second 60") << bytes({3, 7, 20, 21, 10, 0, 60}) << QStringLiteral("03/07/2021  Bad Time") << false;
    QTest::newRow("all 255") << bytes({3, 7, 20, 21, 255, 255, 255}) << QStringLiteral("03/07/2021  Bad Time")
                             << false;
    // The date is written as sent, even when it is no date.
    QTest::newRow("zero date") << bytes({0, 0, 0, 0, 0, 0, 0}) << QStringLiteral("00/00/0  00:00:00") << true;
    QTest::newRow("impossible date") << bytes({13, 32, 255, 255, 1, 2, 3}) << QStringLiteral("13/32/25755  01:02:03")
                                     << true;
}

void TestEventRecord::timeText()
{
    QFETCH(QByteArray, header);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QByteArray in = bytes({2, 0}) + header + bytes({1, 0});
    in.append(QByteArray(19 - in.size(), '\0'));
    const DataPack p = decodeExact(in);
    QCOMPARE(dataPackTimeText(p), text);
    QCOMPARE(p.timeValid(), valid);
    // A bad time leaves the record usable.
    QCOMPARE(p.labelNumber(), 1);
}

void TestEventRecord::shortInput_data()
{
    QTest::addColumn<int>("length");
    for (int n : {0, 1, 8, 9, 10, 18})
        QTest::newRow(qPrintable(QString::number(n))) << n;
}

void TestEventRecord::shortInput()
{
    QFETCH(int, length);
    const QByteArray full = bytes({4, 9, 5, 6, 20, 24, 1, 2, 3, 45, 32, 7, 7, 7, 7, 7, 7, 7, 0x55});
    const QByteArray cut = full.left(length);
    bool complete = true;
    const DataPack p = decodeExact(cut, &complete);
    QVERIFY(!complete);
    // What is there is decoded; the rest is zero.
    const QByteArray back = encodeDataPack(p);
    QCOMPARE(back.size(), 19);
    QCOMPARE(back.left(length), cut);
    QCOMPARE(back.mid(length), QByteArray(19 - length, '\0'));
}

void TestEventRecord::longInputTakesTheFirstRecord()
{
    const QByteArray first = record(2, 3, {0x39, 0x30});
    const QByteArray second = record(1, 5, {31, 1, 2, 3});
    bool complete = false;
    const DataPack p = decodeExact(first + second, &complete);
    QVERIFY(complete);
    QCOMPARE(encodeDataPack(p), first);
    QCOMPARE(p.labelNumber(), 12345);
    QCOMPARE(decodeExact(first + bytes({0xFF}), &complete), p);
    QVERIFY(complete);
}

void TestEventRecord::encodeWritesTheLayout()
{
    DataPack p;
    p.typ = 1;
    p.rdr = 2;
    p.month = 3;
    p.day = 7;
    p.cent = 20;
    p.year = 21;
    p.hr = 14;
    p.min = 5;
    p.sec = 9;
    p.data = {31, 0xD2, 0x04, 12, 0, 0, 0, 0, 0, 0xEE};
    QCOMPARE(encodeDataPack(p), bytes({1, 2, 3, 7, 20, 21, 14, 5, 9, 31, 0xD2, 0x04, 12, 0, 0, 0, 0, 0, 0xEE}));
    QCOMPARE(encodeDataPack(DataPack{}), QByteArray(19, '\0'));
}

void TestEventRecord::garbageDecodesAndRoundTrips()
{
    std::mt19937 rng(19u);
    for (int i = 0; i < 2000; ++i) {
        QByteArray in(19, '\0');
        for (auto &c : in)
            c = static_cast<char>(rng());
        const DataPack p = decodeExact(in);
        QCOMPARE(encodeDataPack(p), in);
        // Every text can be made; none is the unknown kind's value.
        QVERIFY(!dataPackTimeText(p).isEmpty());
        QVERIFY(!diagnosticText(p).isEmpty());
        if (p.typ >= 1 && p.typ <= 4)
            QVERIFY(!dataPackValueText(p, int(rng() % 600)).isEmpty());
        if (p.readerSlot())
            QVERIFY(*p.readerSlot() >= 0 && *p.readerSlot() < DataPack::readerSlots);
    }
}

void TestEventRecord::errorTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    const auto row = [](int code, const char *text) {
        QTest::newRow(qPrintable(QString::number(code))) << code << QString::fromLatin1(text);
    };
    row(0, "00  Startup");
    row(1, "01  Too much data obtained");
    row(4, "04  Front & back bits = 0");
    row(5, "05  Front & back bits = 1");
    row(6, "06  Incorrect parity");
    row(10, "10  Unrecognizable host message received");
    row(15, "15  Incorrect hamming code");
    row(16, "16  More than 5 leading zeros");
    row(17, "17  Host message received without <cr>");
    row(19, "19  Overload of input data from reader");
    row(20, "20  Checksum error in host message received");
    row(30, "30  Incorrect number of data bits ");
    row(31, "31  Incorrect number of data bits ");
    row(32, "32  Incorrect number of data bits ");
    row(33, "33  Incorrect number of data bits ");
    row(34, "34  Incorrect number of data bits ");
    row(35, "35  Incorrect number of data bits ");
    row(36, "36  Incorrect number of data bits ");
    row(37, "37  Incorrect number of data bits ");
    row(38, "38  Incorrect number of data bits ");
    row(39, "39  Incorrect number of data bits ");
    row(91, "91  Photoeye A Diagnostic insufficient transitions");
    row(92, "92  Photoeye B Diagnostic insufficient transitions");
    row(93, "93  Photoeyes A&B Diagnostic insufficient transitions");
    row(94, "94  Photoeye C Diagnostic insufficient transitions");
    row(95, "95  Photoeyes A&C Diagnostic insufficient transitions");
    row(96, "96  Photoeyes B&C Diagnostic insufficient transitions");
    row(99, "99  Diagnostic attempt aborted");
    // Codes without words: two digits.
    row(2, "02");
    row(3, "03");
    row(7, "07");
    row(9, "09");
    row(11, "11");
    row(18, "18");
    row(21, "21");
    row(29, "29");
    row(40, "40");
    row(90, "90");
    row(97, "97");
    row(98, "98");
    // Above 99.
    row(100, "Invalid Error Number 100");
    row(120, "Invalid Error Number 120");
    row(255, "Invalid Error Number 255");
    row(-1, "Invalid Error Number -1");
}

void TestEventRecord::errorTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(errorText(code), text);
}

void TestEventRecord::everyErrorCodeHasItsNumber()
{
    for (int code = 0; code <= 99; ++code) {
        const QString text = errorText(code);
        QVERIFY2(text.startsWith(QStringLiteral("%1").arg(code, 2, 10, QLatin1Char('0'))), qPrintable(text));
        QVERIFY2(text.size() == 2 || text.mid(2, 2) == QStringLiteral("  "), qPrintable(text));
    }
}

void TestEventRecord::bootTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    const char *texts[] = {
        "Running Boot Loader A",
        "Running Boot Loader B",
        "Running Boot Loader A, but verify failed",
        "Running Boot Loader B, but verify failed",
        "Starting flash of Boot Loader A",
        "Starting flash of Boot Loader B",
        "Starting flash of Boot Loader Manager",
        "Boot Loader A Successfully Set to Primary",
        "Boot Loader B Successfully Set to Primary",
        "Boot Loader A Failed to be Set to Primary",
        "Boot Loader B Failed to be Set to Primary",
        "Boot Loader A not Set to Primary",
        "Boot Loader B not Set to Primary",
        "Erasing Active Boot Loader success",
        "Erasing Active Boot Loader failure",
        "Erase Boot Loader A success",
        "Erase Boot Loader A failure",
        "Erase Boot Loader B success",
        "Erase Boot Loader B failure",
        "Finish flash of BL A success",
        "Finish flash of BL B success",
        "Finish flash of BL Manager success",
        "Finish flash of BL A failure",
        "Finish flash of BL B failure",
        "Finish flash of BL Manager failure",
        "BLM reset",
    };
    // Each entry under its own code and, up to code 74, under code + 50 (so 75 is not "BLM reset").
    for (int entry = 0; entry < 26; ++entry) {
        QTest::newRow(qPrintable(QStringLiteral("%1").arg(entry))) << entry << QString::fromLatin1(texts[entry]);
        if (entry + 50 <= 74)
            QTest::newRow(qPrintable(QStringLiteral("%1").arg(entry + 50)))
                << entry + 50 << QString::fromLatin1(texts[entry]);
    }
    for (int none : {-1, 26, 30, 49, 75, 76, 100, 255})
        QTest::newRow(qPrintable(QStringLiteral("none %1").arg(none))) << none << QString();
}

void TestEventRecord::bootTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(bootText(code), text);
}

void TestEventRecord::alarmTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    const auto row = [](int code, const char *text) {
        QTest::newRow(qPrintable(QString::number(code))) << code << QString::fromLatin1(text);
    };
    row(0, "Startup");
    row(1, "Wrong Version");
    row(2, "Unknown Alarm");
    row(3, "Remote Access Connection");
    row(4, "Remote Access Disconnect");
    row(5, "UDP Discovery");
    row(6, "Flash Program");
    row(7, "Flash Bootloader");
    row(8, "Configuration ");
    row(9, "Unknown Alarm");
    row(10, "Time Set");
    row(11, "Flashing");
    row(12, "Flashing Successful");
    row(13, "Flashing Failed");
    row(14, "Monitor ON");
    row(15, "Monitor OFF");
    row(16, "History ON");
    row(17, "History OFF");
    row(18, "Force Read");
    row(19, "Network Control Connect");
    row(20, "Network Control Disconnect");
    row(21, "Network Control Connect Failure");
    row(22, "Network Control Command Received");
    row(23, "Network Control Read Fault");
    row(24, "Watch Dog Timer Reset");
    row(25, "Bad Alarm Data Invalid Rdr");
    row(26, "DeviceNet Option not Enabled");
    row(27, "UDP Reset Command Received");
    row(28, "UDP Set IP Command Received");
    row(29, "Network Control - No Ack Port Reset");
    row(30, "Network Monitor Triggered");
    row(31, "Failed to Contact Time Server");
    row(32, "History Write Error - Not Erased");
    row(33, "History Index Out-Of-Bounds");
    row(34, "No DHCP server - Turning off DHCP");
    row(35, "Serial Port Overflow");
    row(36, "Configuration Failed to Save");
    row(37, "EIP Control Connect");
    row(38, "EIP Control Disconnect");
    row(39, "EIP - ");
    row(40, "UDP: Restoring Factory Defaults");
    row(41, "Read Attempt Failed - Minimum Test 1");
    row(42, "Read Attempt Failed - Minimum Test 2");
    row(43, "Unauthorized Remote Access Attempted");
    row(44, "Reboot Caused by Network Fault");
    row(45, "Network Warning");
    row(46, "Flash Warning");
    row(47, "System Warning");
    row(48, "Time Command Ignored - Disabled");
    row(49, "Time Command Ignored - Bad Data");
    row(50, "EIP Warning: ");
    row(51, "Webpage History Exported");
    row(52, "Webpage Configuration Exported");
    row(53, "Safe Mode On - Over Clocking off");
    row(54, "Reset to Default Configuration");
    row(55, "PLC Mode Changed: ");
    row(56, "EIP Comms Down");
    row(57, "Web Request: ");
    row(58, "Network Warning: ");
    row(59, "EIP Status: FE");
    row(60, "EIP Comm Timeout");
    row(61, "Ethernet IP I/O Session Started");
    row(62, "Ethernet IP I/O Session Stopped");
    row(63, "Safe Mode WS1");
    row(64, "Ethernet IP Forward Open Error");
    row(65, "Idle %: Avg Min Max");
    row(66, "Unknown Alarm");
    row(70, "Unknown Alarm");
    row(77, "Unknown Alarm");
    row(255, "Unknown Alarm");
    row(-1, "Unknown Alarm");
}

void TestEventRecord::alarmTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    // Units below 5.0.0 and from 5.0.3 on share the table; no unit (0) reads it too.
    for (int version : {0, 259, 490, 499, 503, 504, 999})
        QCOMPARE(alarmText(code, version), text);
    // 5.0.0-5.0.2 agree on 0-49.
    if (code >= 0 && code <= 49)
        for (int version : {500, 501, 502})
            QCOMPARE(alarmText(code, version), text);
}

void TestEventRecord::alarmTextsOfFirmware500_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    // 50-74: boot messages of code - 50.
    QTest::newRow("50") << 50 << QStringLiteral("Running Boot Loader A");
    QTest::newRow("55") << 55 << QStringLiteral("Starting flash of Boot Loader B");
    QTest::newRow("65") << 65 << QStringLiteral("Erase Boot Loader A success");
    QTest::newRow("70") << 70 << QStringLiteral("Finish flash of BL B success");
    QTest::newRow("74") << 74 << QStringLiteral("Finish flash of BL Manager failure");
    QTest::newRow("75") << 75 << QStringLiteral("Webpage History Exported");
    QTest::newRow("76") << 76 << QStringLiteral("Webpage Configuration Exported");
    QTest::newRow("77") << 77 << QStringLiteral("Safe Mode On - Over Clocking off");
    QTest::newRow("78") << 78 << QStringLiteral("Reset to Default Configuration");
    QTest::newRow("79") << 79 << QStringLiteral("EIP PLC Mode Changed");
    QTest::newRow("80") << 80 << QStringLiteral("EIP Comms Down");
    QTest::newRow("81") << 81 << QStringLiteral("Unknown Alarm");
    QTest::newRow("2") << 2 << QStringLiteral("Unknown Alarm");
    QTest::newRow("9") << 9 << QStringLiteral("Unknown Alarm");
    QTest::newRow("255") << 255 << QStringLiteral("Unknown Alarm");
}

void TestEventRecord::alarmTextsOfFirmware500()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    for (int version : {500, 501, 502})
        QCOMPARE(alarmText(code, version), text);
}

void TestEventRecord::alarmDetailTexts_data()
{
    QTest::addColumn<int>("alarm");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    const auto row = [](int alarm, int value, const char *text) {
        QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(alarm).arg(value))) << alarm << value
                                                                                 << QString::fromLatin1(text);
    };
    row(8, 0, "Saved");
    row(8, 1, "Saved");
    row(8, 4, "Archived");
    row(8, 5, "Saved & Archived");
    row(8, 8, "Restored");
    row(8, 16, "Archive Deleted");
    row(30, 1, " - Max Ports Exceeded");
    row(30, 2, " - Manual Port Reset (cs c)");
    row(30, 4, " - Listen Fault");
    row(30, 8, " - Hung in Close State");
    row(30, 16, " - Server Process Failed");
    row(30, 32, " - No Connection Reset");
    row(30, 64, " - Child Process Failed");
    row(30, 128, " - Major Fault Reboot");
    row(39, 0, " ETH Cable Unplugged");
    row(39, 1, " IO Timeout; //Network send 16 collisions");
    row(39, 2, " ETH Cable Unplugged");
    row(39, 8, " Hung in Close State");
    row(44, 1, " - ETH SYSD stopped, Reboot");
    row(44, 2, " - ETH EIP stopped, Reboot");
    row(44, 4, " - ETH Major fault, Reboot");
    row(45, 1, " - XMT 16 collisions");
    row(45, 2, " - XMT flag was reset");
    row(45, 4, " - XMT under run");
    row(45, 8, " - SYSD not responding");
    row(45, 16, " - EIP not responding");
    row(45, 32, " - Cable Unplugged");
    row(45, 64, " - Out of slots");
    row(45, 128, " - No RX buffers");
    row(46, 1, " - Failed to ID Flash Chip");
    row(46, 2, " - Failed to Erase Flash");
    row(46, 4, " - Failed to Write Flash");
    row(46, 8, " - Failed to Save Setup");
    row(46, 16, " - Address Out-Of-Bounds");
    row(46, 32, " - Failed to Locate History Pointer");
    row(46, 64, " - Had Retries with Success");
    row(46, 128, " - Failed to Erase/Write Persistent Data");
    row(47, 1, " - Invalid Reader Number");
    row(47, 2, " - Webpage Write buffer overflow");
    row(47, 128, " - Low memory");
    row(50, 1, "PROG->RUN");
    row(50, 2, "RUN->PROG");
    row(55, 1, " PLC Mode Changed - PROG->RUN");
    row(55, 2, " PLC Mode Changed - RUN->PROG");
    row(57, 0, "Home");
    row(57, 1, "History");
    row(57, 2, "Configuration");
    row(57, 3, "Connections");
    row(57, 4, "EIP");
    row(57, 5, "NTA");
    // Not listed: empty, and a value is never read bit by bit.
    row(8, 2, "");
    row(8, 3, "");
    row(47, 4, "");
    row(45, 3, "");
    row(45, 0, "");
    row(30, 0, "");
    row(30, 3, "");
    row(39, 4, "");
    row(44, 0, "");
    row(57, 6, "");
    row(0, 0, "");
    row(45, 255, "");
    row(255, 1, "");
}

void TestEventRecord::alarmDetailTexts()
{
    QFETCH(int, alarm);
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(alarmDetailText(alarm, value), text);
    // The alternative reading changes alarm 30 only.
    if (alarm != 30)
        QCOMPARE(alarmDetailText(alarm, value, AlarmDetailReading::Alternative), text);
}

void TestEventRecord::alternativeAlarm30_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("1") << 1 << QStringLiteral(" - I/O fault: No data for 60s");
    QTest::newRow("2") << 2 << QStringLiteral(" - ETH Cable Unplugged");
    QTest::newRow("8") << 8 << QStringLiteral(" - Hung in close/closewt state");
    // The standard texts of the other values do not carry over.
    QTest::newRow("4") << 4 << QString();
    QTest::newRow("16") << 16 << QString();
    QTest::newRow("128") << 128 << QString();
    QTest::newRow("0") << 0 << QString();
}

void TestEventRecord::alternativeAlarm30()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(alarmDetailText(30, value, AlarmDetailReading::Alternative), text);
    const DataPack p = decodeExact(record(4, 0, {30, value}));
    QCOMPARE(dataPackValueText(p, 503, AlarmDetailReading::Alternative), QStringLiteral("Network Monitor Triggered") + text);
}

void TestEventRecord::kindTexts_data()
{
    QTest::addColumn<int>("typ");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << QString();
    QTest::newRow("1") << 1 << QStringLiteral("Error");
    QTest::newRow("2") << 2 << QStringLiteral("Label");
    QTest::newRow("3") << 3 << QStringLiteral("Diagnostic");
    QTest::newRow("4") << 4 << QStringLiteral("Alarm");
    QTest::newRow("5") << 5 << QStringLiteral("Boot");
    QTest::newRow("6") << 6 << QString();
    QTest::newRow("255") << 255 << QString();
}

void TestEventRecord::kindTexts()
{
    QFETCH(int, typ);
    QFETCH(QString, text);
    QCOMPARE(dataPackKindText(typ), text);
}

QTEST_APPLESS_MAIN(TestEventRecord)
#include "tst_eventrecord.moc"
