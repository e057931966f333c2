// The standard zones and their daylight-saving rules, the rule controls'
// texts, and the custom definition's encoding both ways.
#include "setup/setupchecks.h"
#include "setup/timezones.h"

#include <QTest>

using namespace vork;
using namespace vork::timezones;

class TestTimeZones : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void standardZones_data();
    void standardZones();
    void everyZoneDecodesAndEncodes();
    void controlTexts();
    void encodeFromControls_data();
    void encodeFromControls();
    void codeTexts_data();
    void codeTexts();
};

void TestTimeZones::standardZones_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("code");
    // Written from the published table, zone by zone.
    QTest::newRow("0") << 0 << "(GMT-12:00) Eniwetok, Kwajalein" << "00000000000000000000000000";
    QTest::newRow("9 Arizona") << 9 << "(GMT-07:00) Arizona" << "00000000000000000000000000";
    QTest::newRow("16 Eastern") << 16 << "(GMT-05:00) Eastern Time (US & Canada)" << "030207201C000B0107201C0001";
    QTest::newRow("18 Santiago") << 18 << "(GMT-04:00) Santiago" << "0A020600000003020600000001";
    QTest::newRow("24 Greenland") << 24 << "(GMT-03:00) Greenland" << "040107201C000A0407201C0001";
    QTest::newRow("31 London") << 31 << "(GMT) Greenwich Mean Time : Dublin, Edinburgh, Lisbon, London"
                               << "030407100E000A0407201C0001";
    QTest::newRow("37 Amman") << 37 << "(GMT+02:00) Amman" << "030404000000090405100E0001";
    QTest::newRow("43 Jerusalem") << 43 << "(GMT+02:00) Jerusalem" << "030405201C00090307201C0001";
    QTest::newRow("53 Baku") << 53 << "(GMT+04:00) Baku" << "0304074038000A040750460001";
    QTest::newRow("60 Kathmandu") << 60 << "(GMT+05:45) Kathmandu" << "00000000000000000000000000";
    QTest::newRow("73 Yakutsk") << 73 << "(GMT+09:00) Yakutsk" << "030407201C000A0407302A0001";
    QTest::newRow("77 Sydney") << 77 << "(GMT+10:00) Canberra, Melbourne, Sydney" << "0A0407201C00030407302A0001";
    QTest::newRow("79 Hobart") << 79 << "(GMT+10:00) Hobart" << "0A0107201C00030407302A0001";
    QTest::newRow("82 Auckland") << 82 << "(GMT+12:00) Auckland, Wellington" << "0A0107201C00030307302A0001";
    QTest::newRow("84 last") << 84 << "(GMT+13:00) Nuku'alofa" << "00000000000000000000000000";
}

void TestTimeZones::standardZones()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(QString, code);
    QCOMPARE(zoneNames().size(), 85);
    QCOMPARE(zoneNames().at(index), name);
    QCOMPARE(codeText(zoneRule(index)), code);
}

void TestTimeZones::everyZoneDecodesAndEncodes()
{
    int withDst = 0;
    for (int i = 0; i < zoneCount; ++i) {
        const QByteArray rule = zoneRule(i);
        QCOMPARE(rule.size(), CustomTimeZone::size);
        QVERIFY2(setupchecks::customZoneValid(rule), zone(i).name);
        const CustomTimeZone z = CustomTimeZone::decode(rule);
        const RulePositions p = decode(z);
        if (z.isNone()) {
            QCOMPARE(p, RulePositions{});
            continue;
        }
        ++withDst;
        // Every position names an entry of its list, and the controls give the same bytes back.
        QVERIFY(p.startMonth >= 0 && p.startMonth < 12 && p.endMonth >= 0 && p.endMonth < 12);
        QVERIFY(p.startDay < dayNames(p.startRule + 1).size() && p.endDay < dayNames(p.endRule + 1).size());
        QVERIFY(p.startHour < halfHours && p.endHour < halfHours);
        QCOMPARE(encode(p).encode(), rule);
    }
    QCOMPARE(withDst, 85 - 38);
    // Outside the table: no daylight saving.
    QCOMPARE(zoneRule(85), QByteArray(13, '\0'));
}

void TestTimeZones::controlTexts()
{
    const QStringList hours = hourNames();
    QCOMPARE(hours.size(), 48);
    QCOMPARE(hours.at(0), QStringLiteral("12:00 midnight"));
    QCOMPARE(hours.at(1), QStringLiteral("12:30 am"));
    QCOMPARE(hours.at(2), QStringLiteral("01:00 am"));
    QCOMPARE(hours.at(23), QStringLiteral("11:30 am"));
    QCOMPARE(hours.at(24), QStringLiteral("12:00 pm"));
    QCOMPARE(hours.at(40), QStringLiteral("08:00 pm"));
    QCOMPARE(hours.at(47), QStringLiteral("11:30 pm"));
    QCOMPARE(monthNames().at(1), QStringLiteral("Feburary"));
    QCOMPARE(ruleNames(), (QStringList{QStringLiteral("First"), QStringLiteral("Second"), QStringLiteral("Third"),
                                       QStringLiteral("Last"), QStringLiteral("Date")}));
    QCOMPARE(dayNames(4).first(), QStringLiteral("Monday"));
    QCOMPARE(dayNames(4).last(), QStringLiteral("Sunday"));
    QCOMPARE(dayNames(5).size(), 31);
    QCOMPARE(dayNames(5).at(14), QStringLiteral("15"));
}

void TestTimeZones::encodeFromControls_data()
{
    QTest::addColumn<QList<int>>("positions"); // start month, rule, day, hour; end month, rule, day, hour
    QTest::addColumn<bool>("observe");
    QTest::addColumn<QString>("code");
    QTest::newRow("March last Sunday 02:00 to October last Sunday 03:00")
        << QList<int>{2, 3, 6, 4, 9, 3, 6, 6} << true << "030407201C000A0407302A0001";
    QTest::newRow("end at 08:00 pm") << QList<int>{2, 0, 6, 4, 9, 0, 6, 40} << false << "030107201C000A010740190100";
    QTest::newRow("a date rule, day 15") << QList<int>{3, 4, 14, 0, 8, 4, 30, 47} << true
                                         << "04050F00000009051F784A0101"; // 23:30 is 84600 s
}

void TestTimeZones::encodeFromControls()
{
    QFETCH(QList<int>, positions);
    QFETCH(bool, observe);
    QFETCH(QString, code);
    RulePositions p{positions[0], positions[1], positions[2], positions[3],
                     positions[4], positions[5], positions[6], positions[7], observe};
    QCOMPARE(codeText(encode(p).encode()), code);
    // And back to the same controls.
    const std::optional<QByteArray> bytes = parseCode(code);
    QVERIFY(bytes);
    QCOMPARE(decode(CustomTimeZone::decode(*bytes)), p);
}

void TestTimeZones::codeTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parses");
    QTest::newRow("upper") << "030207201C000B0107201C0001" << true;
    QTest::newRow("lower") << "030207201c000b0107201c0001" << true;
    QTest::newRow("25 digits") << "030207201C000B0107201C000" << false;
    QTest::newRow("27 digits") << "030207201C000B0107201C00010" << false;
    QTest::newRow("not hex") << "030207201C000B0107201C00G1" << false;
    QTest::newRow("empty") << "" << false;
}

void TestTimeZones::codeTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, parses);
    const std::optional<QByteArray> bytes = parseCode(text);
    QCOMPARE(bytes.has_value(), parses);
    if (parses)
        QCOMPARE(codeText(*bytes), text.toUpper());
}

QTEST_GUILESS_MAIN(TestTimeZones)
#include "tst_timezones.moc"
