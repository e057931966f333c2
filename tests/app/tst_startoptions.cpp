// Command-line colours, demo options and theme texts.
#include "app/startoptions.h"

#include <QTest>

using namespace vork;

class TestStartOptions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void modelColours_data();
    void modelColours();
    void demoOptions();
    void themes_data();
    void themes();
};

void TestStartOptions::modelColours_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<qlonglong>("std"); // -1: not set
    QTest::addColumn<qlonglong>("eip");
    QTest::addColumn<int>("notes");
    QTest::newRow("decimal, separate") << QStringList{QStringLiteral("-STD"), QStringLiteral("255")} << 255LL << -1LL << 0;
    QTest::newRow("hex, joined") << QStringList{QStringLiteral("-EIP$00FF00")} << -1LL << 0xFF00LL << 0;
    QTest::newRow("both") << QStringList{QStringLiteral("-STD16711680"), QStringLiteral("-EIP"), QStringLiteral("$FF")}
                          << 16711680LL << 255LL << 0;
    QTest::newRow("malformed number") << QStringList{QStringLiteral("-STD"), QStringLiteral("red")} << -1LL << -1LL << 1;
    QTest::newRow("bad hex") << QStringList{QStringLiteral("-EIP$GG")} << -1LL << -1LL << 1;
    QTest::newRow("too large") << QStringList{QStringLiteral("-EIP"), QStringLiteral("$1000000")} << -1LL << -1LL << 1;
    QTest::newRow("missing number") << QStringList{QStringLiteral("-STD")} << -1LL << -1LL << 1;
}

void TestStartOptions::modelColours()
{
    QFETCH(QStringList, args);
    QFETCH(qlonglong, std);
    QFETCH(qlonglong, eip);
    QFETCH(int, notes);
    const StartOptions o = parseStartOptions(args);
    QCOMPARE(o.stdColor ? qlonglong(*o.stdColor) : -1LL, std);
    QCOMPARE(o.eipColor ? qlonglong(*o.eipColor) : -1LL, eip);
    QCOMPARE(o.notes.size(), notes);
}

void TestStartOptions::demoOptions()
{
    const StartOptions o = parseStartOptions({QStringLiteral("--settings"), QStringLiteral("/tmp/demo.ini"),
                                              QStringLiteral("--targets"), QStringLiteral("127.0.0.2,nonsense,127.0.0.3")});
    QCOMPARE(o.settingsPath, QStringLiteral("/tmp/demo.ini"));
    QCOMPARE(o.targets, (QStringList{QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3")}));
    QCOMPARE(o.notes.size(), 1);
}

void TestStartOptions::themes_data()
{
    QTest::addColumn<QString>("theme");
    QTest::addColumn<QString>("error");
    QTest::addColumn<uint>("fixed");
    QTest::addColumn<bool>("bold");
    QTest::newRow("default") << "$000000,$FFFFFF,$80FF00,$804000,$FFFFFF,1,1,1,0" << "" << 0x804000u << false;
    QTest::newRow("theme 2") << "$000000,$FFFFFF,$80FF00,$0000A6,$FFFFFF,1,1,1,1" << "" << 0xA6u << true;
    QTest::newRow("empty") << "" << "Invalid Theme - no values found" << 8404992u << false;
    QTest::newRow("short") << "$000000,$FFFFFF,1" << "Theme does not have enough parameters - aborting" << 8404992u << false;
}

void TestStartOptions::themes()
{
    QFETCH(QString, theme);
    QFETCH(QString, error);
    QFETCH(uint, fixed);
    QFETCH(bool, bold);
    GridColors c;
    QCOMPARE(parseTheme(theme, c), error);
    QCOMPARE(c.GridFixed, StoredColor(fixed));
    QCOMPARE(c.GridBold, bold);
    if (error.isEmpty()) {
        QCOMPARE(c.GridMark, StoredColor(0x80FF00));
        QVERIFY(c.GridLines && c.ShowBox && c.GridHeaderBold);
    }
}

QTEST_GUILESS_MAIN(TestStartOptions)
#include "tst_startoptions.moc"
