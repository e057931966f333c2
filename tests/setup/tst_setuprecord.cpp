// Setup record codec: every field pinned by hand-written bytes at its offset,
// the text and number rules, the older-layout move, lengths and value tables.

#include "setup/setuprecord.h"

#include <QRandomGenerator>
#include <QtTest>

#include <functional>
#include <map>
#include <vector>

using namespace vork;

namespace {

QString b(bool v) { return v ? QStringLiteral("1") : QStringLiteral("0"); }
QString n(std::uint32_t v) { return QString::number(v); }
bool isTrue(const QString &v) { return v == QLatin1String("1"); }
std::uint32_t num(const QString &v) { return v.toUInt(); }

struct Accessor
{
    std::function<QString(const setuppack &)> get;
    std::function<void(setuppack &, const QString &)> set;
};

// Field name -> getter/setter, values as text (booleans "0"/"1", numbers
// decimal, texts as they are, tzo as hex, the PLC address dotted).
const std::map<QString, Accessor> &accessors()
{
#define BOOL_FIELD(name, setter) \
    {QStringLiteral(#name), {[](const setuppack &r) { return b(r.name()); }, [](setuppack &r, const QString &v) { r.setter(isTrue(v)); }}}
#define NUM_FIELD(name, setter, type) \
    {QStringLiteral(#name), {[](const setuppack &r) { return n(r.name()); }, [](setuppack &r, const QString &v) { r.setter(type(num(v))); }}}
#define TEXT_FIELD(name, setter) \
    {QStringLiteral(#name), {[](const setuppack &r) { return r.name(); }, [](setuppack &r, const QString &v) { r.setter(v); }}}
    static const std::map<QString, Accessor> map = {
        BOOL_FIELD(na, setNa), NUM_FIELD(nmode, setNmode, std::uint8_t), NUM_FIELD(npro, setNpro, std::uint8_t),
        NUM_FIELD(ntyp, setNtyp, std::uint8_t), TEXT_FIELD(nsip, setNsip), NUM_FIELD(nprt, setNprt, std::uint32_t),
        BOOL_FIELD(ndhcp, setNdhcp), TEXT_FIELD(nrip, setNrip), TEXT_FIELD(nrm, setNrm), TEXT_FIELD(ndg, setNdg),
        NUM_FIELD(ndiag, setNdiag, std::uint8_t), TEXT_FIELD(ntsvr, setNtsvr), NUM_FIELD(ntsuf, setNtsuf, std::uint32_t),
        BOOL_FIELD(cpa, setCpa), NUM_FIELD(cmode, setCmode, std::uint8_t), NUM_FIELD(cpro, setCpro, std::uint8_t),
        NUM_FIELD(cbaud, setCbaud, std::uint8_t), NUM_FIELD(caddr, setCaddr, std::uint16_t),
        NUM_FIELD(cpar, setCpar, std::uint8_t), NUM_FIELD(cdiag, setCdiag, std::uint8_t), BOOL_FIELD(caa, setCaa),
        NUM_FIELD(abaud, setAbaud, std::uint8_t), NUM_FIELD(apar, setApar, std::uint8_t),
        NUM_FIELD(amon, setAmon, std::uint8_t), NUM_FIELD(air, setAir, std::uint8_t),
        NUM_FIELD(afunc, setAfunc, std::uint8_t), NUM_FIELD(init, setInit, std::uint8_t),
        NUM_FIELD(nka, setNka, std::uint16_t), NUM_FIELD(nkar, setNkar, std::uint8_t),
        NUM_FIELD(tzi, setTzi, std::uint8_t), BOOL_FIELD(dst, setDst), TEXT_FIELD(desc, setDesc),
        BOOL_FIELD(nerr, setNerr), BOOL_FIELD(cerr, setCerr), BOOL_FIELD(npad, setNpad), BOOL_FIELD(gwf, setGwf),
        BOOL_FIELD(hcode, setHcode), BOOL_FIELD(lsa, setLsa), NUM_FIELD(lsc, setLsc, std::uint32_t),
        NUM_FIELD(lsf, setLsf, std::uint32_t), NUM_FIELD(lsm1, setLsm1, std::uint8_t),
        NUM_FIELD(dsd, setDsd, std::uint32_t), NUM_FIELD(dfd, setDfd, std::uint32_t), BOOL_FIELD(pwp, setPwp),
        TEXT_FIELD(pw, setPw),
        {QStringLiteral("tzo"),
         {[](const setuppack &r) { return QString::fromLatin1(r.tzo().toHex()); },
          [](setuppack &r, const QString &v) { r.setTzo(QByteArray::fromHex(v.toLatin1())); }}},
        BOOL_FIELD(utzo, setUtzo), NUM_FIELD(nrtcnt, setNrtcnt, std::uint8_t), NUM_FIELD(nfm, setNfm, std::uint8_t),
        NUM_FIELD(wdt, setWdt, std::uint8_t), NUM_FIELD(drt, setDrt, std::uint32_t),
        NUM_FIELD(naddr, setNaddr, std::uint16_t), BOOL_FIELD(wdt31, setWdt31), BOOL_FIELD(e99, setE99),
        BOOL_FIELD(tenths, setTenths), BOOL_FIELD(rcmd, setRcmd), BOOL_FIELD(logRA, setLogRA),
        NUM_FIELD(minB1, setMinB1, std::uint8_t), NUM_FIELD(minB2, setMinB2, std::uint8_t),
        NUM_FIELD(ethp, setEthp, std::uint8_t), BOOL_FIELD(uats, setUats), BOOL_FIELD(firewall, setFirewall),
        BOOL_FIELD(eipDiags, setEipDiags), NUM_FIELD(ncp, setNcp, std::uint8_t),
        {QStringLiteral("eipPLCIP"),
         {[](const setuppack &r) { return r.eipPLCIP(); }, [](setuppack &r, const QString &v) { r.setEipPLCIP(v); }}},
    };
#undef BOOL_FIELD
#undef NUM_FIELD
#undef TEXT_FIELD
    return map;
}

struct FieldRow
{
    const char *name;
    int offset;
    int width;
    QByteArray bytes; // what sits at offset (texts: up to and including the terminator)
    const char *value;
};

QByteArray hex(const char *h) { return QByteArray::fromHex(h); }
QByteArray z(const char *text) { return QByteArray(text) + '\0'; }

// One row per field, in record order, written from the layout table by hand.
const std::vector<FieldRow> &fieldRows()
{
    static const std::vector<FieldRow> rows = {
        {"na", 0, 1, hex("01"), "1"},
        {"nmode", 1, 1, hex("01"), "1"},
        {"npro", 2, 1, hex("01"), "1"},
        {"ntyp", 3, 1, hex("01"), "1"},
        {"nsip", 4, 16, z("10.0.0.1"), "10.0.0.1"},
        {"nprt", 20, 3, hex("b80b00"), "3000"},
        {"ndhcp", 23, 1, hex("01"), "1"},
        {"nrip", 24, 16, z("192.168.1.50"), "192.168.1.50"},
        {"nrm", 40, 16, z("255.255.255.0"), "255.255.255.0"},
        {"ndg", 56, 16, z("192.168.1.1"), "192.168.1.1"},
        {"ndiag", 72, 1, hex("01"), "1"},
        {"ntsvr", 73, 16, z("129.6.15.28"), "129.6.15.28"},
        {"ntsuf", 89, 3, hex("3c0000"), "60"},
        {"cpa", 92, 1, hex("01"), "1"},
        {"cmode", 93, 1, hex("01"), "1"},
        {"cpro", 94, 1, hex("02"), "2"},
        {"cbaud", 95, 1, hex("07"), "7"},
        {"caddr", 96, 2, hex("0f27"), "9999"},
        {"cpar", 98, 1, hex("01"), "1"},
        {"cdiag", 99, 1, hex("01"), "1"},
        {"caa", 100, 1, hex("01"), "1"},
        {"abaud", 101, 1, hex("04"), "4"},
        {"apar", 102, 1, hex("01"), "1"},
        {"amon", 103, 1, hex("5a"), "90"},
        {"air", 104, 1, hex("a5"), "165"},
        {"afunc", 105, 1, hex("01"), "1"},
        {"init", 106, 1, hex("c3"), "195"},
        {"nka", 107, 2, hex("2c01"), "300"},
        {"nkar", 109, 1, hex("ff"), "255"},
        {"tzi", 110, 1, hex("54"), "84"},
        {"dst", 111, 1, hex("01"), "1"},
        {"desc", 112, 64, z("Line 3 east"), "Line 3 east"},
        {"nerr", 176, 1, hex("01"), "1"},
        {"cerr", 177, 1, hex("01"), "1"},
        {"npad", 178, 1, hex("01"), "1"},
        {"gwf", 179, 1, hex("01"), "1"},
        {"hcode", 180, 1, hex("01"), "1"},
        {"lsa", 181, 1, hex("01"), "1"},
        {"lsc", 182, 3, hex("090000"), "9"},
        {"lsf", 185, 3, hex("100000"), "16"},
        {"lsm1", 188, 1, hex("81"), "129"},
        {"dsd", 189, 3, hex("e80300"), "1000"},
        {"dfd", 192, 3, hex("341200"), "4660"},
        {"pwp", 195, 1, hex("01"), "1"},
        {"pw", 196, 9, z("secret12"), "secret12"},
        {"tzo", 205, 13, hex("030407201c000a0407100e0001"), "030407201c000a0407100e0001"},
        {"utzo", 218, 1, hex("01"), "1"},
        {"nrtcnt", 219, 1, hex("07"), "7"},
        {"nfm", 220, 1, hex("9f"), "159"},
        {"wdt", 221, 1, hex("03"), "3"},
        {"drt", 222, 3, hex("010203"), "197121"},
        {"naddr", 225, 2, hex("3905"), "1337"},
        {"wdt31", 227, 1, hex("01"), "1"},
        {"e99", 228, 1, hex("01"), "1"},
        {"tenths", 229, 1, hex("01"), "1"},
        {"rcmd", 230, 1, hex("01"), "1"},
        {"logRA", 231, 1, hex("01"), "1"},
        {"minB1", 232, 1, hex("1e"), "30"},
        {"minB2", 233, 1, hex("0a"), "10"},
        {"ethp", 234, 1, hex("04"), "4"},
        {"uats", 235, 1, hex("01"), "1"},
        {"firewall", 236, 1, hex("01"), "1"},
        {"eipDiags", 237, 1, hex("01"), "1"},
        {"ncp", 238, 1, hex("01"), "1"},
        {"eipPLCIP", 239, 4, hex("0a01a8c0"), "192.168.1.10"},
    };
    return rows;
}

QByteArray filled(char c) { return QByteArray(setuppack::size, c); }

QByteArray withAt(QByteArray buf, int offset, const QByteArray &bytes)
{
    buf.replace(offset, bytes.size(), bytes);
    return buf;
}

// The whole record from the rows above, every field at its offset.
QByteArray rowsRecord()
{
    QByteArray r(setuppack::size, '\0');
    for (const FieldRow &row : fieldRows())
        r.replace(row.offset, row.bytes.size(), row.bytes);
    return r;
}

const SetupField &field(const char *name)
{
    const SetupField *f = setupField(QString::fromLatin1(name));
    if (!f)
        qFatal("no field %s", name);
    return *f;
}

// Every field's value text read from one record and written into a zero record.
setuppack throughFields(const setuppack &from)
{
    setuppack to;
    for (const SetupField &f : setupFields())
        if (!to.setValueText(f, from.valueText(f)))
            qWarning("%s refused %s", f.name, qPrintable(from.valueText(f)));
    return to;
}

} // namespace

class TestSetupRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void layoutCoversRecord();
    void fieldReads_data();
    void fieldReads();
    void fieldWrites_data();
    void fieldWrites();

    void threeByteText_data();
    void threeByteText();
    void threeByteNumberTooLarge();
    void threeByteFreeFunctions();
    void plcAddress_data();
    void plcAddress();
    void textCutToWidthMinusOne_data();
    void textCutToWidthMinusOne();
    void textKeepsBytesAfterTerminator();
    void textWithoutTerminator();

    void shiftReceived_data();
    void shiftReceived();
    void shiftSending_data();
    void shiftSending();
    void olderUnitRecordBothWays();

    void setupSizeByVersion_data();
    void setupSizeByVersion();
    void optionalFields_data();
    void optionalFields();
    void shortRecordZeroFilled();

    void baudTable_data();
    void baudTable();
    void ethernetModes_data();
    void ethernetModes();
    void lsm1Bits_data();
    void lsm1Bits();
    void nfmBits_data();
    void nfmBits();
    void customTimeZone();
    void customTimeZoneNone();
    void timeZoneRules();

    void fieldTableByName();
    void fieldKinds_data();
    void fieldKinds();
    void valueSets_data();
    void valueSets();
    void addressRangeByProtocol();
    void numberOutOfRange_data();
    void numberOutOfRange();
    void typedSettersRefuseWideNumbers();
    void textFromEverySource_data();
    void textFromEverySource();
    void badValueText_data();
    void badValueText();
    void fieldsPresentByLength_data();
    void fieldsPresentByLength();
    void roundTripEveryLength_data();
    void roundTripEveryLength();

    void randomInputs();
};

void TestSetupRecord::layoutCoversRecord()
{
    // The rows tile the record without gaps or overlaps, one per field.
    QCOMPARE(fieldRows().size(), std::size_t(65));
    QCOMPARE(accessors().size(), std::size_t(65));
    int next = 0;
    for (const FieldRow &row : fieldRows()) {
        QVERIFY2(row.offset == next, row.name);
        QVERIFY2(row.bytes.size() <= row.width, row.name);
        QVERIFY2(accessors().count(QString::fromLatin1(row.name)) == 1, row.name);
        next += row.width;
    }
    QCOMPARE(next, setuppack::size);
    // The field table says the same, in the same order.
    QCOMPARE(setupFields().size(), fieldRows().size());
    for (std::size_t i = 0; i < fieldRows().size(); ++i) {
        const SetupField &f = setupFields()[i];
        QCOMPARE(QString::fromLatin1(f.name), QString::fromLatin1(fieldRows()[i].name));
        QCOMPARE(f.offset, fieldRows()[i].offset);
        QCOMPARE(f.width, fieldRows()[i].width);
    }
}

void TestSetupRecord::fieldReads_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("value");
    QTest::addColumn<char>("background");
    for (const char bg : {'\x00', '\xee'})
        for (const FieldRow &row : fieldRows())
            QTest::addRow("%s bg %02x", row.name, unsigned(std::uint8_t(bg)))
                << QString::fromLatin1(row.name) << row.offset << row.bytes << QString::fromLatin1(row.value) << bg;
}

void TestSetupRecord::fieldReads()
{
    QFETCH(QString, name);
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, value);
    QFETCH(char, background);
    const setuppack r(withAt(filled(background), offset, bytes));
    QCOMPARE(accessors().at(name).get(r), value);
    // By name through the field table: the same value.
    const SetupField *f = setupField(name);
    QVERIFY(f);
    QCOMPARE(r.valueText(*f), value);
}

void TestSetupRecord::fieldWrites_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("value");
    for (const FieldRow &row : fieldRows())
        QTest::newRow(row.name) << QString::fromLatin1(row.name) << row.offset << row.bytes
                                << QString::fromLatin1(row.value);
}

void TestSetupRecord::fieldWrites()
{
    QFETCH(QString, name);
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, value);
    // Every other byte, and a text's bytes after its terminator, stay as they were.
    setuppack r(filled('\xee'));
    accessors().at(name).set(r, value);
    QCOMPARE(r.bytes().toHex(' '), withAt(filled('\xee'), offset, bytes).toHex(' '));
    // By name through the field table: the same bytes.
    setuppack byName(filled('\xee'));
    QVERIFY(byName.setValueText(*setupField(name), value));
    QCOMPARE(byName.bytes().toHex(' '), withAt(filled('\xee'), offset, bytes).toHex(' '));
}

void TestSetupRecord::threeByteText_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QByteArray>("expected");
    const int nprt = int(setuppack::ThreeByte::nprt);
    const int drt = int(setuppack::ThreeByte::drt);
    QTest::newRow("3000") << nprt << QStringLiteral("3000") << true << hex("b80b00");
    QTest::newRow("70000") << nprt << QStringLiteral("70000") << true << hex("701101");
    QTest::newRow("zero") << nprt << QStringLiteral("0") << true << hex("000000");
    QTest::newRow("leading zeros") << nprt << QStringLiteral("007") << true << hex("070000");
    QTest::newRow("largest") << drt << QStringLiteral("16777215") << true << hex("ffffff");
    QTest::newRow("too large") << drt << QStringLiteral("16777216") << false << hex("112233");
    QTest::newRow("far too large") << drt << QStringLiteral("99999999999999999999") << false << hex("112233");
    QTest::newRow("empty") << nprt << QString() << false << hex("112233");
    QTest::newRow("letters") << nprt << QStringLiteral("abc") << false << hex("112233");
    QTest::newRow("trailing letter") << nprt << QStringLiteral("12a") << false << hex("112233");
    QTest::newRow("negative") << nprt << QStringLiteral("-5") << false << hex("112233");
    QTest::newRow("plus sign") << nprt << QStringLiteral("+5") << false << hex("112233");
    QTest::newRow("blank") << nprt << QStringLiteral(" 12") << false << hex("112233");
    QTest::newRow("fraction") << nprt << QStringLiteral("1.5") << false << hex("112233");
    QTest::newRow("hex") << nprt << QStringLiteral("0x10") << false << hex("112233");
}

void TestSetupRecord::threeByteText()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(bool, stored);
    QFETCH(QByteArray, expected);
    const QByteArray before = withAt(filled('\x55'), field, hex("112233"));
    setuppack r(before);
    QCOMPARE(r.strToThreeByte(setuppack::ThreeByte(field), text), stored);
    QCOMPARE(r.bytes().toHex(' '), withAt(before, field, expected).toHex(' '));
    if (stored)
        QCOMPARE(r.threeByteToStr(setuppack::ThreeByte(field)), QString::number(text.toUInt()));
}

void TestSetupRecord::threeByteNumberTooLarge()
{
    setuppack r(withAt(filled('\0'), 20, hex("b80b00")));
    QVERIFY(!r.setNprt(0x1000000));
    QCOMPARE(r.nprt(), 3000u);
    QVERIFY(r.setNprt(0xFFFFFF));
    QCOMPARE(r.bytes().mid(20, 4), hex("ffffff00"));
}

void TestSetupRecord::threeByteFreeFunctions()
{
    QCOMPARE(threeByteToStr(hex("701101")), QStringLiteral("70000"));
    QCOMPARE(threeByteToStr(hex("ffffff")), QStringLiteral("16777215"));
    QCOMPARE(threeByteToStr(hex("7011")), QString());
    QByteArray field = hex("112233");
    QVERIFY(!strToThreeByte(QString(), field));
    QVERIFY(!strToThreeByte(QStringLiteral("x"), field));
    QCOMPARE(field, hex("112233"));
    QVERIFY(strToThreeByte(QStringLiteral("3000"), field));
    QCOMPARE(field, hex("b80b00"));
    QByteArray shortField = hex("1122");
    QVERIFY(!strToThreeByte(QStringLiteral("1"), shortField));
    QCOMPARE(shortField, hex("1122"));
}

void TestSetupRecord::plcAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected"); // bytes 239..242 afterwards
    const QByteArray unchanged = hex("04030201");
    QTest::newRow("192.168.1.10") << QStringLiteral("192.168.1.10") << hex("0a01a8c0");
    QTest::newRow("disabled") << QStringLiteral("0.0.0.0") << hex("00000000");
    QTest::newRow("all ones") << QStringLiteral("255.255.255.255") << hex("ffffffff");
    QTest::newRow("empty") << QString() << unchanged;
    QTest::newRow("three parts") << QStringLiteral("1.2.3") << unchanged;
    QTest::newRow("five parts") << QStringLiteral("1.2.3.4.5") << unchanged;
    QTest::newRow("octet 256") << QStringLiteral("256.1.1.1") << unchanged;
    QTest::newRow("empty octet") << QStringLiteral("1..2.3") << unchanged;
    QTest::newRow("letters") << QStringLiteral("a.b.c.d") << unchanged;
    QTest::newRow("negative") << QStringLiteral("-1.2.3.4") << unchanged;
    QTest::newRow("blank") << QStringLiteral("1.2.3.4 ") << unchanged;
    QTest::newRow("long octet") << QStringLiteral("0001.2.3.4") << unchanged;
}

void TestSetupRecord::plcAddress()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    setuppack r(withAt(filled('\0'), 239, hex("04030201")));
    const bool ok = r.setEipPLCIP(text);
    QCOMPARE(ok, expected != hex("04030201"));
    QCOMPARE(r.bytes().mid(239), expected);
    QCOMPARE(r.bytes().left(239), filled('\0').left(239));
    if (ok)
        QCOMPARE(r.eipPLCIP(), text);
    else
        QCOMPARE(r.eipPLCIP(), QStringLiteral("1.2.3.4"));
}

void TestSetupRecord::textCutToWidthMinusOne_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("length");
    QTest::newRow("desc 63") << QStringLiteral("desc") << 112 << 64 << 63;
    QTest::newRow("desc 64") << QStringLiteral("desc") << 112 << 64 << 64;
    QTest::newRow("desc 100") << QStringLiteral("desc") << 112 << 64 << 100;
    QTest::newRow("pw 8") << QStringLiteral("pw") << 196 << 9 << 8;
    QTest::newRow("pw 12") << QStringLiteral("pw") << 196 << 9 << 12;
    QTest::newRow("nrip 16") << QStringLiteral("nrip") << 24 << 16 << 16;
    QTest::newRow("ntsvr 20") << QStringLiteral("ntsvr") << 73 << 16 << 20;
}

void TestSetupRecord::textCutToWidthMinusOne()
{
    QFETCH(QString, name);
    QFETCH(int, offset);
    QFETCH(int, width);
    QFETCH(int, length);
    QString text;
    for (int i = 0; i < length; ++i)
        text.append(QChar(u'A' + i % 26));
    setuppack r(filled('\xee'));
    accessors().at(name).set(r, text);
    // width-1 characters, the terminator in the field's last byte, the next field untouched.
    const QByteArray expected = withAt(filled('\xee'), offset, text.left(width - 1).toLatin1() + '\0');
    QCOMPARE(r.bytes().toHex(' '), expected.toHex(' '));
    QCOMPARE(r.byteAt(offset + width - 1), std::uint8_t(0));
    QCOMPARE(accessors().at(name).get(r), text.left(width - 1));
}

void TestSetupRecord::textKeepsBytesAfterTerminator()
{
    setuppack r(withAt(filled('\0'), 112, QByteArray(64, 'X')));
    r.setDesc(QStringLiteral("ab"));
    QCOMPARE(r.bytes().mid(112, 64), QByteArray("ab") + '\0' + QByteArray(61, 'X'));
    QCOMPARE(r.desc(), QStringLiteral("ab"));
    r.setDesc(QString());
    QCOMPARE(r.byteAt(112), std::uint8_t(0));
    QCOMPARE(r.byteAt(113), std::uint8_t('b'));
    QCOMPARE(r.desc(), QString());
}

void TestSetupRecord::textWithoutTerminator()
{
    // A field with no zero byte shows its first width-1 characters.
    const setuppack r(withAt(filled('\x01'), 196, QByteArray(9, 'P')));
    QCOMPARE(r.pw(), QString(8, u'P'));
    QCOMPARE(r.ncp(), std::uint8_t(1));
}

void TestSetupRecord::shiftReceived_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QByteArray>("before"); // bytes 234..237
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("4.9.9 example") << 499 << hex("0101007f") << hex("01010100");
    QTest::newRow("order of moves") << 499 << hex("0a0b0c0d") << hex("0a0a0b0c");
    QTest::newRow("2.9.0") << 290 << hex("0a0b0c0d") << hex("0a0a0b0c");
    QTest::newRow("5.0.0 unchanged") << 500 << hex("0a0b0c0d") << hex("0a0b0c0d");
    QTest::newRow("5.0.2 unchanged") << 502 << hex("0a0b0c0d") << hex("0a0b0c0d");
}

void TestSetupRecord::shiftReceived()
{
    QFETCH(int, version);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    const QByteArray bytes = withAt(filled('\x33'), 234, before);
    setuppack r(bytes);
    shiftOlderLayout(r, ShiftDirection::Received, version);
    QCOMPARE(r.bytes().toHex(' '), withAt(bytes, 234, after).toHex(' '));
}

void TestSetupRecord::shiftSending_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QByteArray>("before"); // bytes 234..237 in memory
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("order of moves") << 499 << hex("040b0c0d") << hex("0b0c0d0d");
    QTest::newRow("2.6.4") << 264 << hex("040b0c0d") << hex("0b0c0d0d");
    QTest::newRow("5.0.0 unchanged") << 500 << hex("040b0c0d") << hex("040b0c0d");
    QTest::newRow("5.0.1 unchanged") << 501 << hex("040b0c0d") << hex("040b0c0d");
}

void TestSetupRecord::shiftSending()
{
    QFETCH(int, version);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    const QByteArray bytes = withAt(filled('\x33'), 234, before);
    setuppack r(bytes);
    shiftOlderLayout(r, ShiftDirection::Sending, version);
    QCOMPARE(r.bytes().toHex(' '), withAt(bytes, 234, after).toHex(' '));
}

void TestSetupRecord::olderUnitRecordBothWays()
{
    setuppack r(withAt(filled('\0'), 234, hex("0101007f")));
    shiftOlderLayout(r, ShiftDirection::Received, 499);
    QVERIFY(r.uats());
    QVERIFY(r.firewall());
    QVERIFY(!r.eipDiags());
    QCOMPARE(r.ethp(), std::uint8_t(1));
    shiftOlderLayout(r, ShiftDirection::Sending, 499);
    QCOMPARE(r.bytes().mid(234, 3), hex("010100"));
}

void TestSetupRecord::setupSizeByVersion_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("bytes");
    const std::pair<int, int> rows[] = {{0, 221},   {255, 221}, {256, 222}, {257, 222}, {258, 225}, {259, 229},
                                        {262, 229}, {263, 231}, {264, 232}, {289, 232}, {290, 234}, {314, 234},
                                        {315, 236}, {316, 236}, {317, 238}, {501, 238}, {502, 239}, {999, 239}};
    for (const auto &[version, bytes] : rows)
        QTest::addRow("%d", version) << version << bytes;
}

void TestSetupRecord::setupSizeByVersion()
{
    QFETCH(int, version);
    QFETCH(int, bytes);
    QCOMPARE(setupSize(version), bytes);
}

void TestSetupRecord::optionalFields_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("naddr");
    QTest::addColumn<bool>("advanced");
    QTest::addColumn<bool>("uats");
    QTest::addColumn<bool>("firewall");
    QTest::newRow("221") << 221 << false << false << false << false;
    QTest::newRow("226") << 226 << false << false << false << false;
    QTest::newRow("227") << 227 << true << false << false << false;
    QTest::newRow("233") << 233 << true << false << false << false;
    QTest::newRow("234") << 234 << true << true << false << false;
    QTest::newRow("235") << 235 << true << true << false << false;
    QTest::newRow("236") << 236 << true << true << true << false;
    QTest::newRow("237") << 237 << true << true << true << true;
    QTest::newRow("243") << 243 << true << true << true << true;
}

void TestSetupRecord::optionalFields()
{
    QFETCH(int, length);
    QFETCH(bool, naddr);
    QFETCH(bool, advanced);
    QFETCH(bool, uats);
    QFETCH(bool, firewall);
    QCOMPARE(setupShowsNaddr(length), naddr);
    QCOMPARE(setupShowsAdvancedBits(length), advanced);
    QCOMPARE(setupShowsUats(length), uats);
    QCOMPARE(setupShowsFirewall(length), firewall);
}

void TestSetupRecord::shortRecordZeroFilled()
{
    const QByteArray received(221, '\x7e');
    const setuppack r(received);
    QCOMPARE(r.bytes().size(), setuppack::size);
    QCOMPARE(r.bytes().left(221), received);
    QCOMPARE(r.bytes().mid(221), QByteArray(22, '\0'));
    QCOMPARE(r.nfm(), std::uint8_t(0x7e));
    QCOMPARE(r.wdt(), std::uint8_t(0));
    QCOMPARE(r.eipPLCIP(), QStringLiteral("0.0.0.0"));
    QCOMPARE(r.prefix(221), received);
    QCOMPARE(r.prefix(500).size(), 243);
    QCOMPARE(r.prefix(-1), QByteArray());
}

void TestSetupRecord::baudTable_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("baud"); // 0: no such index
    const std::pair<int, int> rows[] = {{-1, 0},   {0, 600},    {1, 1200},   {2, 2400},   {3, 4800},
                                        {4, 9600}, {5, 19200},  {6, 38400},  {7, 57600},  {8, 0}};
    for (const auto &[index, baud] : rows)
        QTest::addRow("%d", index) << index << baud;
}

void TestSetupRecord::baudTable()
{
    QFETCH(int, index);
    QFETCH(int, baud);
    QCOMPARE(baudForIndex(index).value_or(0), baud);
}

void TestSetupRecord::ethernetModes_data()
{
    QTest::addColumn<int>("ethp");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << QStringLiteral("10 mbps Half Duplex");
    QTest::newRow("1") << 1 << QStringLiteral("10 mbps Full  Duplex");
    QTest::newRow("2") << 2 << QStringLiteral("100 mbps Half Duplex");
    QTest::newRow("3") << 3 << QStringLiteral("100 mbps Full  Duplex");
    QTest::newRow("4") << 4 << QStringLiteral("Auto Negotiate");
    QTest::newRow("5") << 5 << QString();
    QTest::newRow("255") << 255 << QString();
}

void TestSetupRecord::ethernetModes()
{
    QFETCH(int, ethp);
    QFETCH(QString, text);
    QCOMPARE(ethernetModeText(ethp), text);
}

void TestSetupRecord::lsm1Bits_data()
{
    QTest::addColumn<int>("bit");
    QTest::addColumn<int>("labelBits");
    const std::pair<int, int> rows[] = {{1, 8},   {2, 9},   {4, 10}, {8, 11}, {16, 12}, {32, 13},
                                        {64, 14}, {128, 15}, {0, 0}, {3, 0},  {256, 0}};
    for (const auto &[bit, labelBits] : rows)
        QTest::addRow("%d", bit) << bit << labelBits;
}

void TestSetupRecord::lsm1Bits()
{
    QFETCH(int, bit);
    QFETCH(int, labelBits);
    QCOMPARE(labelBitsForLsm1Bit(bit), labelBits);
    if (labelBits != 0)
        QCOMPARE(lsm1LabelSizes(std::uint8_t(bit)), QList<int>{labelBits});
}

void TestSetupRecord::nfmBits_data()
{
    QTest::addColumn<int>("bit");
    QTest::addColumn<QString>("text");
    QTest::newRow("1") << 1 << QStringLiteral("network fault monitor on");
    QTest::newRow("2") << 2 << QStringLiteral("reboot for a network server or child process error");
    QTest::newRow("4") << 4 << QStringLiteral("reboot for a major network fault");
    QTest::newRow("8") << 8 << QStringLiteral("EtherNet/IP: close the connection on data loss");
    QTest::newRow("16") << 16 << QStringLiteral("EtherNet/IP: enable the UDP broadcast reply");
    QTest::newRow("32") << 32 << QString();
    QTest::newRow("64") << 64 << QString();
    QTest::newRow("128") << 128 << QString();
}

void TestSetupRecord::nfmBits()
{
    QFETCH(int, bit);
    QFETCH(QString, text);
    QCOMPARE(nfmBitText(bit), text);
}

void TestSetupRecord::customTimeZone()
{
    // Second Sunday of March 02:00 to first Sunday of November 01:00, observed.
    const QByteArray bytes = hex("030207201c000b0107100e0001");
    const CustomTimeZone tz = CustomTimeZone::decode(bytes);
    QCOMPARE(tz.startMonth, std::uint8_t(3));
    QCOMPARE(tz.startRule, std::uint8_t(2));
    QCOMPARE(tz.startDay, std::uint8_t(7));
    QCOMPARE(tz.startTime, 7200u);
    QCOMPARE(tz.endMonth, std::uint8_t(11));
    QCOMPARE(tz.endRule, std::uint8_t(1));
    QCOMPARE(tz.endDay, std::uint8_t(7));
    QCOMPARE(tz.endTime, 3600u);
    QCOMPARE(tz.observeDst, std::uint8_t(1));
    QVERIFY(!tz.isNone());
    QCOMPARE(tz.encode(), bytes);

    // Through the record's tzo field at 205..217.
    const setuppack r(withAt(filled('\0'), 205, bytes));
    QCOMPARE(CustomTimeZone::decode(r.tzo()), tz);

    // A short definition reads its missing bytes as zero.
    const CustomTimeZone part = CustomTimeZone::decode(hex("0302072010"));
    QCOMPARE(part.startDay, std::uint8_t(7));
    QCOMPARE(part.startTime, 0x1020u);
    QCOMPARE(part.endMonth, std::uint8_t(0));
    QCOMPARE(part.observeDst, std::uint8_t(0));
}

void TestSetupRecord::customTimeZoneNone()
{
    QVERIFY(CustomTimeZone::decode(QByteArray(13, '\0')).isNone());
    QVERIFY(CustomTimeZone::decode(QByteArray()).isNone());
    for (int i = 0; i < 13; ++i) {
        QByteArray bytes(13, '\0');
        bytes[i] = 1;
        QVERIFY2(!CustomTimeZone::decode(bytes).isNone(), qPrintable(QString::number(i)));
    }
}

void TestSetupRecord::timeZoneRules()
{
    QCOMPARE(timeZoneRuleText(1), QStringLiteral("First"));
    QCOMPARE(timeZoneRuleText(2), QStringLiteral("Second"));
    QCOMPARE(timeZoneRuleText(3), QStringLiteral("Third"));
    QCOMPARE(timeZoneRuleText(4), QStringLiteral("Last"));
    QCOMPARE(timeZoneRuleText(5), QStringLiteral("Date"));
    QCOMPARE(timeZoneRuleText(0), QString());
    QCOMPARE(timeZoneRuleText(6), QString());
}

void TestSetupRecord::fieldTableByName()
{
    const SetupField *nrip = setupField(u"nrip");
    QVERIFY(nrip);
    QCOMPARE(nrip->offset, 24);
    QCOMPARE(nrip->width, 16);
    QVERIFY(setupField(u"eipPLCIP"));
    QVERIFY(!setupField(u"NRIP"));
    QVERIFY(!setupField(u"eipplcip"));
    QVERIFY(!setupField(u""));
    QVERIFY(!setupField(u"nrip "));
    // Names are unique, so a name finds its own row.
    for (const SetupField &f : setupFields())
        QCOMPARE(setupField(f.fieldName()), &f);
}

void TestSetupRecord::fieldKinds_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("passThrough");
    // The Type column of the layout, grouped.
    const std::pair<SetupFieldKind, std::vector<const char *>> groups[] = {
        {SetupFieldKind::Boolean,
         {"na", "ndhcp", "cpa", "caa", "dst", "nerr", "cerr", "npad", "gwf", "hcode", "lsa", "pwp", "utzo", "wdt31",
          "e99", "tenths", "rcmd", "logRA", "uats", "firewall", "eipDiags"}},
        {SetupFieldKind::Byte,
         {"nmode", "npro", "ntyp", "ndiag", "cmode", "cpro", "cbaud", "cpar", "cdiag", "abaud", "apar", "amon", "air",
          "afunc", "init", "nkar", "tzi", "lsm1", "nrtcnt", "nfm", "wdt", "minB1", "minB2", "ethp", "ncp"}},
        {SetupFieldKind::Word, {"caddr", "nka", "naddr"}},
        {SetupFieldKind::ThreeByte, {"nprt", "ntsuf", "lsc", "lsf", "dsd", "dfd", "drt"}},
        {SetupFieldKind::IpText, {"nsip", "nrip", "nrm", "ndg", "ntsvr"}},
        {SetupFieldKind::Text, {"desc", "pw"}},
        {SetupFieldKind::Bytes, {"tzo"}},
        {SetupFieldKind::PlcAddress, {"eipPLCIP"}},
    };
    const QStringList passThrough = {QStringLiteral("caa"), QStringLiteral("amon"), QStringLiteral("air"),
                                     QStringLiteral("init")};
    int rows = 0;
    for (const auto &[kind, names] : groups)
        for (const char *name : names) {
            QTest::newRow(name) << QString::fromLatin1(name) << int(kind)
                                << passThrough.contains(QString::fromLatin1(name));
            ++rows;
        }
    QCOMPARE(rows, 65);
}

void TestSetupRecord::fieldKinds()
{
    QFETCH(QString, name);
    QFETCH(int, kind);
    QFETCH(bool, passThrough);
    const SetupField *f = setupField(name);
    QVERIFY(f);
    QCOMPARE(int(f->kind), kind);
    QCOMPARE(f->passThrough, passThrough);
}

void TestSetupRecord::valueSets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<bool>("allowed");
    QTest::addColumn<QString>("meaning");
    const auto row = [](const char *name, qint64 value, bool allowed, const char *meaning = "") {
        QTest::addRow("%s %lld", name, value) << QString::fromLatin1(name) << value << allowed
                                              << QString::fromLatin1(meaning);
    };
    row("na", 0, true);
    row("na", 1, true);
    row("na", 2, false);
    row("nmode", 0, true, "Poll");
    row("nmode", 1, true, "Handshake");
    row("nmode", 2, false);
    row("npro", 0, true, "Ascii");
    row("npro", 1, true, "Classic");
    row("npro", 2, false);
    row("ntyp", 0, true, "Server");
    row("ntyp", 1, true, "Client");
    row("ndiag", 1, true, "yes");
    row("ndiag", 0, true, "no");
    row("nprt", 0xFFFFFF, true);
    row("nprt", 0x1000000, false);
    row("ntsuf", 0, false);
    row("ntsuf", 1, true);
    row("cmode", 1, true, "Handshake");
    row("cpro", 2, true, "Device Net");
    row("cpro", 3, false);
    row("cbaud", 0, true, "600");
    row("cbaud", 4, true, "9600");
    row("cbaud", 7, true, "57600");
    row("cbaud", 8, false);
    row("abaud", 5, true, "19200");
    row("caddr", 9999, true);
    row("caddr", 10000, false);
    row("cpar", 1, true, "Odd");
    row("cpar", 2, false);
    row("apar", 0, true, "None");
    row("afunc", 0, true, "OS Console");
    row("afunc", 1, true, "Bluetooth Interface");
    row("afunc", 2, false);
    row("amon", 255, true);
    row("amon", 256, false);
    row("nka", 0, true);
    row("nka", 65535, true);
    row("nka", 65536, false);
    row("nkar", 0, false);
    row("nkar", 1, true);
    row("nkar", 255, true);
    row("tzi", 84, true);
    row("tzi", 85, false);
    row("lsc", 0, false);
    row("lsc", 1, true);
    row("lsc", 9, true);
    row("lsc", 10, false);
    row("lsf", 0, true, "all sizes");
    row("lsf", 6, false);
    row("lsf", 7, true, "7");
    row("lsf", 16, true, "16");
    row("lsf", 17, false);
    row("lsm1", 1, true, "8-bit labels");
    row("lsm1", 128, true, "15-bit labels");
    row("lsm1", 255, true);
    row("nfm", 2, true, "reboot for a network server or child process error");
    row("nfm", 16, true, "EtherNet/IP: enable the UDP broadcast reply");
    row("nfm", 32, true);
    row("nfm", 256, false);
    row("wdt", 0, true, "off");
    row("wdt", 1, true, "4.00 s");
    row("wdt", 2, true, "3.28 s");
    row("wdt", 3, true, "2.68 s");
    row("wdt", 4, false);
    row("naddr", 9999, true);
    row("naddr", 10000, false);
    row("minB1", 4, false);
    row("minB1", 5, true);
    row("minB2", 30, true);
    row("minB2", 31, false);
    row("ethp", 1, true, "10 mbps Full  Duplex");
    row("ethp", 4, true, "Auto Negotiate");
    row("ethp", 5, false);
    row("ncp", 0, true, "EIP");
    row("ncp", 1, true, "STD");
    row("ncp", 2, false);
    row("drt", -1, false);
    row("eipPLCIP", 0xFFFFFFFFll, true);
    row("eipPLCIP", 0x100000000ll, false);
}

void TestSetupRecord::valueSets()
{
    QFETCH(QString, name);
    QFETCH(qint64, value);
    QFETCH(bool, allowed);
    QFETCH(QString, meaning);
    const SetupField *f = setupField(name);
    QVERIFY(f);
    QCOMPARE(setupValueAllowed(*f, value), allowed);
    QCOMPARE(setupValueName(*f, value), meaning);
}

void TestSetupRecord::addressRangeByProtocol()
{
    QCOMPARE(setupAddressMax(1), 255); // Classic
    QCOMPARE(setupAddressMax(0), 9999); // Ascii
}

void TestSetupRecord::numberOutOfRange_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QByteArray>("expected"); // the field's bytes afterwards
    const auto row = [](const char *tag, const char *name, const char *text, bool stored, const QByteArray &bytes) {
        QTest::newRow(tag) << QString::fromLatin1(name) << QString::fromLatin1(text) << stored << bytes;
    };
    // The fields hold 11 22 (33) before.
    row("caddr largest", "caddr", "65535", true, hex("ffff"));
    row("caddr 65536", "caddr", "65536", false, hex("1122"));
    row("nka 70000", "nka", "70000", false, hex("1122"));
    row("naddr far too large", "naddr", "99999999999999999999999", false, hex("1122"));
    row("naddr negative", "naddr", "-1", false, hex("1122"));
    row("naddr empty", "naddr", "", false, hex("1122"));
    row("nka 300", "nka", "300", true, hex("2c01"));
    row("nprt 70000", "nprt", "70000", true, hex("701101"));
    row("nprt 16777216", "nprt", "16777216", false, hex("112233"));
    row("dsd 2^32", "dsd", "4294967296", false, hex("112233"));
    row("drt 2^32+5", "drt", "4294967301", false, hex("112233"));
    row("lsf letters", "lsf", "x", false, hex("112233"));
    row("nkar 256", "nkar", "256", false, hex("11"));
    row("nkar 255", "nkar", "255", true, hex("ff"));
}

void TestSetupRecord::numberOutOfRange()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(bool, stored);
    QFETCH(QByteArray, expected);
    const SetupField *f = setupField(name);
    QVERIFY(f);
    const QByteArray before = withAt(filled('\x55'), f->offset, hex("112233").left(f->width));
    setuppack r(before);
    QCOMPARE(r.setValueText(*f, text), stored);
    QCOMPARE(r.bytes().toHex(' '), withAt(before, f->offset, expected).toHex(' '));
}

void TestSetupRecord::typedSettersRefuseWideNumbers()
{
    const QByteArray before = withAt(withAt(withAt(filled('\x55'), 96, hex("1122")), 107, hex("3344")), 225,
                                     hex("6677"));
    setuppack r(before);
    QVERIFY(!r.setCaddr(0x10000));
    QVERIFY(!r.setNka(70000));
    QVERIFY(!r.setNaddr(0xFFFFFFFFu));
    QCOMPARE(r.bytes(), before);
    QVERIFY(!r.setDrt(0x1000000));
    QVERIFY(!r.setLsc(0xFFFFFFFFu));
    QCOMPARE(r.bytes(), before);
    QVERIFY(r.setCaddr(0xFFFF));
    QVERIFY(r.setNaddr(9999));
    QCOMPARE(r.bytes().mid(96, 2), hex("ffff"));
    QCOMPARE(r.bytes().mid(225, 2), hex("0f27"));
}

void TestSetupRecord::textFromEverySource_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("source"); // 0 typed setter, 1 by name, 2 raw bytes
    QTest::addColumn<QByteArray>("input"); // Latin-1 (source 0, 1) or raw bytes
    QTest::addColumn<QByteArray>("stored"); // what lands at the field's offset, terminator included
    const QByteArray long70 = QByteArray("0123456789").repeated(7);
    const char *texts[] = {"nsip", "nrip", "nrm", "ndg", "ntsvr", "desc", "pw"};
    const int widths[] = {16, 16, 16, 16, 16, 64, 9};
    for (int i = 0; i < 7; ++i) {
        const QByteArray cut = long70.left(widths[i] - 1) + '\0';
        for (int source = 0; source < 3; ++source) {
            QTest::addRow("%s long, source %d", texts[i], source)
                << QString::fromLatin1(texts[i]) << source << long70 << cut;
            QTest::addRow("%s exactly width, source %d", texts[i], source)
                << QString::fromLatin1(texts[i]) << source << long70.left(widths[i]) << cut;
            QTest::addRow("%s width-1, source %d", texts[i], source)
                << QString::fromLatin1(texts[i]) << source << long70.left(widths[i] - 1) << cut;
        }
    }
    // Raw bytes end at their first zero.
    QTest::newRow("desc bytes with a zero") << QStringLiteral("desc") << 2 << QByteArray("ab\0cd", 5)
                                            << QByteArray("ab\0", 3);
    QTest::newRow("pw empty bytes") << QStringLiteral("pw") << 2 << QByteArray() << QByteArray(1, '\0');
    QTest::newRow("pw high bytes") << QStringLiteral("pw") << 2 << hex("e9ff80a0c3a9e2828a")
                                   << hex("e9ff80a0c3a9e28200");
    QTest::newRow("desc 63 (edge case)") << QStringLiteral("desc") << 0 << QByteArray(63, 'D')
                                         << QByteArray(63, 'D') + '\0';
}

void TestSetupRecord::textFromEverySource()
{
    QFETCH(QString, name);
    QFETCH(int, source);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, stored);
    const SetupField *f = setupField(name);
    QVERIFY(f);
    setuppack r(filled('\xee'));
    const QString text = QString::fromLatin1(input);
    switch (source) {
    case 0: accessors().at(name).set(r, text); break;
    case 1: QVERIFY(r.setValueText(*f, text)); break;
    default: QVERIFY(r.setTextBytes(*f, input)); break;
    }
    QVERIFY(stored.size() <= f->width);
    QCOMPARE(r.bytes().toHex(' '), withAt(filled('\xee'), f->offset, stored).toHex(' '));
}

void TestSetupRecord::badValueText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("boolean 2") << QStringLiteral("na") << QStringLiteral("2");
    QTest::newRow("boolean yes") << QStringLiteral("dst") << QStringLiteral("yes");
    QTest::newRow("boolean empty") << QStringLiteral("uats") << QString();
    QTest::newRow("byte 256") << QStringLiteral("cbaud") << QStringLiteral("256");
    QTest::newRow("tzo short") << QStringLiteral("tzo") << QStringLiteral("0102");
    QTest::newRow("tzo long") << QStringLiteral("tzo") << QStringLiteral("030407201c000a0407100e000101");
    QTest::newRow("tzo not hex") << QStringLiteral("tzo") << QStringLiteral("zz0407201c000a0407100e0001");
    QTest::newRow("tzo non-ASCII digit") << QStringLiteral("tzo") << QString::fromUtf8("\xd9\xa3" "30407201c000a0407100e0001");
    QTest::newRow("plc bad") << QStringLiteral("eipPLCIP") << QStringLiteral("1.2.3.256");
    QTest::newRow("text into a number") << QStringLiteral("nprt") << QStringLiteral("10.0.0.1");
}

void TestSetupRecord::badValueText()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    const setuppack before(rowsRecord());
    setuppack r = before;
    QVERIFY(!r.setValueText(*setupField(name), text));
    QCOMPARE(r.bytes().toHex(' '), before.bytes().toHex(' '));
    // Raw bytes only go into text fields.
    QVERIFY(!r.setTextBytes(*setupField(name), "x"));
    QCOMPARE(r.bytes().toHex(' '), before.bytes().toHex(' '));
}

void TestSetupRecord::fieldsPresentByLength_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("last"); // last field of the in-memory layout at that version's length
    QTest::newRow("2.5.5") << 255 << QStringLiteral("nfm");
    QTest::newRow("2.5.6") << 256 << QStringLiteral("wdt");
    QTest::newRow("2.5.8") << 258 << QStringLiteral("drt");
    QTest::newRow("2.5.9") << 259 << QStringLiteral("e99");
    QTest::newRow("2.6.3") << 263 << QStringLiteral("rcmd");
    QTest::newRow("2.6.4") << 264 << QStringLiteral("logRA");
    QTest::newRow("2.9.0") << 290 << QStringLiteral("minB2");
    QTest::newRow("3.1.5") << 315 << QStringLiteral("uats");
    QTest::newRow("3.1.7") << 317 << QStringLiteral("eipDiags");
    QTest::newRow("5.0.1") << 501 << QStringLiteral("eipDiags");
    QTest::newRow("5.0.2") << 502 << QStringLiteral("ncp");
}

void TestSetupRecord::fieldsPresentByLength()
{
    QFETCH(int, version);
    QFETCH(QString, last);
    const int length = setupSize(version);
    QString lastPresent;
    int present = 0;
    for (const SetupField &f : setupFields()) {
        if (f.presentAt(length)) {
            // Present fields come first, in record order, without a gap.
            QCOMPARE(present, int(&f - setupFields().data()));
            lastPresent = f.fieldName();
            ++present;
        }
    }
    QCOMPARE(lastPresent, last);
    QVERIFY(!field("eipPLCIP").presentAt(239));
    QVERIFY(field("eipPLCIP").presentAt(243));
    // Held: the same, except that firmware below 5.0.0 has no ethp byte.
    for (const SetupField &f : setupFields())
        QCOMPARE(setupFieldHeld(f, length, version),
                 f.presentAt(length) && !(f.fieldName() == QLatin1String("ethp") && version < 500));
    QVERIFY(!setupFieldHeld(field("ethp"), 243, 499));
    QVERIFY(setupFieldHeld(field("ethp"), 235, 500));
    QVERIFY(!setupFieldHeld(field("ethp"), 234, 500));
}

void TestSetupRecord::roundTripEveryLength_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("length");
    const int versions[] = {0, 255, 256, 258, 259, 263, 264, 290, 315, 317, 499, 500, 501, 502, 999};
    for (int v : versions)
        QTest::addRow("version %d", v) << v << setupTransferSize(v);
    QTest::newRow("full record, old unit") << 499 << 243;
}

void TestSetupRecord::roundTripEveryLength()
{
    QFETCH(int, version);
    QFETCH(int, length);
    // The unit's own bytes: older firmware keeps uats 01, firewall 00, eipDiags 01 at 234-236.
    QByteArray unitBytes = rowsRecord();
    if (version < 500)
        unitBytes.replace(234, 4, hex("0100015a"));
    unitBytes = unitBytes.left(length);

    setuppack received(unitBytes);
    shiftOlderLayout(received, ShiftDirection::Received, version);
    if (version < 500 && length >= 237) {
        QCOMPARE(received.uats(), true);
        QCOMPARE(received.firewall(), false);
        QCOMPARE(received.eipDiags(), true);
    }
    setuppack sent = throughFields(received);
    QCOMPARE(sent.bytes().toHex(' '), received.bytes().toHex(' '));
    shiftOlderLayout(sent, ShiftDirection::Sending, version);

    QByteArray expected = unitBytes;
    // The byte after eipDiags is overwritten on the way in; going out it holds eipDiags.
    if (version < 500 && length > 237)
        expected[237] = expected[236];
    QCOMPARE(sent.prefix(length).toHex(' '), expected.toHex(' '));

    // Files: the first bytes of the in-memory layout, no move, field by field and back.
    const setuppack file(rowsRecord().left(setupSize(version)));
    QCOMPARE(throughFields(file).prefix(setupSize(version)), rowsRecord().left(setupSize(version)));
}

void TestSetupRecord::randomInputs()
{
    QRandomGenerator rng(4711);
    for (int round = 0; round < 3000; ++round) {
        const int len = int(rng.bounded(301));
        // Input in its own exact-size allocation, followed by marker bytes
        // that must never reach the record.
        std::vector<char> backing(std::size_t(len) + 16, '\xa5');
        for (int i = 0; i < len; ++i)
            backing[std::size_t(i)] = char(rng.bounded(256));
        const QByteArrayView input(backing.data(), len);
        const setuppack r(input);
        QCOMPARE(r.bytes().size(), setuppack::size);
        const int kept = qMin(len, setuppack::size);
        QCOMPARE(r.bytes().left(kept), input.first(kept).toByteArray());
        QCOMPARE(r.bytes().mid(kept), QByteArray(setuppack::size - kept, '\0'));
        for (const auto &[name, acc] : accessors())
            acc.get(r);
        CustomTimeZone::decode(input.first(qMin(len, 20)));
        threeByteToStr(input.first(qMin(len, 4)));
    }
}

QTEST_GUILESS_MAIN(TestSetupRecord)
#include "tst_setuprecord.moc"
