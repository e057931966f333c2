// The settings file (case-insensitive names, damaged files, atomic writes) and the tone rules.
#include "core/inifile.h"
#include "core/settings.h"
#include "recordingoperator.h"
#include "core/tones.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vork;

class TestSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void namesAreCaseInsensitive();
    void writingKeepsTheFilesOwnSpelling();
    void damagedFiles_data();
    void damagedFiles();
    void saveReplacesTheWholeFile();
    void saveFailureIsReported();
    void removeSection();
    void settingsDefaultsAndMalformedValues_data();
    void settingsDefaultsAndMalformedValues();
    void sortTypeGoesBackToItsOwnSection();
    void exitWriteKeepsChangedValuesAndDropsObsoleteSection();
    void failedExitWriteIsLogged();
    void tonesPlayOnlyWhenAllowed_data();
    void tonesPlayOnlyWhenAllowed();
    void toneKindsMapToTheirFields();
};

void TestSettings::namesAreCaseInsensitive()
{
    IniFile ini;
    ini.parse("[SORT]\r\ntype=3\r\n[Options]\r\nBeep=1\r\nTimeWarnMin = 7 \r\n");
    QCOMPARE(ini.intValue(QStringLiteral("Sort"), QStringLiteral("TYPE"), 0), 3);
    QCOMPARE(ini.boolValue(QStringLiteral("options"), QStringLiteral("beep"), false), true);
    QCOMPARE(ini.intValue(QStringLiteral("OPTIONS"), QStringLiteral("timewarnmin"), 5), 7);
    QCOMPARE(ini.intValue(QStringLiteral("Options"), QStringLiteral("missing"), 42), 42);
    QCOMPARE(ini.intValue(QStringLiteral("Missing"), QStringLiteral("type"), -1), -1);
}

void TestSettings::writingKeepsTheFilesOwnSpelling()
{
    IniFile ini;
    ini.parse("[SORT]\ntype=3\n");
    ini.setInt(QStringLiteral("Sort"), QStringLiteral("Type"), 5);
    ini.setBool(QStringLiteral("Options"), QStringLiteral("beep"), true);
    QCOMPARE(ini.sections(), (QStringList{QStringLiteral("SORT"), QStringLiteral("Options")}));
    QCOMPARE(ini.serialize(), QByteArray("[SORT]\r\ntype=5\r\n\r\n[Options]\r\nbeep=1\r\n"));
}

void TestSettings::damagedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("sortType"); // what survives, empty for nothing
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("truncated mid-key") << QByteArray("[Sort]\ntype=2\n[Opt") << QStringLiteral("2");
    QTest::newRow("truncated mid-value") << QByteArray("[Sort]\nty") << QString();
    QTest::newRow("key before any section") << QByteArray("type=9\n[Sort]\n") << QString();
    QTest::newRow("broken header drops its keys") << QByteArray("[Sort]\ntype=1\n[\ntype=8\n") << QStringLiteral("1");
    QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe[\x01=\x02\n\x80\x81", 10) << QString();
    QTest::newRow("NUL inside a line") << QByteArray("[Sort]\ntype=4\0garbage\n", 22) << QStringLiteral("4");
    QTest::newRow("later value wins") << QByteArray("[Sort]\ntype=1\nTYPE=6\n") << QStringLiteral("6");
}

void TestSettings::damagedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, sortType);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Vork.ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    IniFile ini(path);
    QVERIFY(ini.load());
    QCOMPARE(ini.value(QStringLiteral("sort"), QStringLiteral("type")), sortType);
    // Whatever was read can be written and read back the same.
    IniFile again;
    again.parse(ini.serialize());
    QCOMPARE(again.value(QStringLiteral("sort"), QStringLiteral("type")), sortType);
}

void TestSettings::saveReplacesTheWholeFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Vork.ini"));
    IniFile ini(path);
    QVERIFY(!ini.load()); // missing: defaults stay in force
    ini.setInt(QStringLiteral("UDP"), QStringLiteral("Wait"), 1000);
    QString error;
    QVERIFY2(ini.save(&error), qPrintable(error));
    IniFile back(path);
    QVERIFY(back.load());
    QCOMPARE(back.intValue(QStringLiteral("udp"), QStringLiteral("wait"), 0), 1000);
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Vork.ini")});
}

void TestSettings::saveFailureIsReported()
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath(QStringLiteral("no/such/folder/Vork.ini")));
    ini.setInt(QStringLiteral("UDP"), QStringLiteral("Wait"), 1);
    QString error;
    QVERIFY(!ini.save(&error));
    QVERIFY(!error.isEmpty());
}

void TestSettings::removeSection()
{
    IniFile ini;
    ini.parse("[UDPmasks]\nm1=255.255.255.0\n[UDP]\nWait=500\n");
    ini.removeSection(QStringLiteral("udpMASKS"));
    QCOMPARE(ini.sections(), QStringList{QStringLiteral("UDP")});
}

void TestSettings::settingsDefaultsAndMalformedValues_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("localPort");
    QTest::addColumn<int>("wait");
    QTest::addColumn<int>("sortType");
    QTest::addColumn<int>("connectHz");
    QTest::addColumn<uint>("warnColor");
    QTest::newRow("no file") << QByteArray() << 0 << 500 << 0 << 1600 << 65535u;
    QTest::newRow("values") << QByteArray("[udp]\nlocalport=3010\nwait=2000\n[sort]\ntype=5\n[options]\n"
                                          "connectf=1234\nwarncolor=16711680\n")
                            << 3010 << 2000 << 5 << 1234 << 16711680u;
    QTest::newRow("malformed") << QByteArray("[UDP]\nLocalPort=abc\nWait=-5\n[Sort]\ntype=99\n[Options]\n"
                                             "CONNECTf=\nWarnColor=yellow\n")
                               << 0 << 500 << 0 << 1600 << 65535u;
    QTest::newRow("port out of range") << QByteArray("[UDP]\nLocalPort=70000\n") << 0 << 500 << 0 << 1600 << 65535u;
}

void TestSettings::settingsDefaultsAndMalformedValues()
{
    QFETCH(QByteArray, file);
    QFETCH(int, localPort);
    QFETCH(int, wait);
    QFETCH(int, sortType);
    QFETCH(int, connectHz);
    QFETCH(uint, warnColor);
    IniFile ini;
    ini.parse(file);
    Settings s;
    readSettings(ini, s);
    QCOMPARE(s.localPort, localPort);
    QCOMPARE(s.wait, wait);
    QCOMPARE(s.sortType, sortType);
    QCOMPARE(s.options.ConnectHZ, connectHz);
    QCOMPARE(s.options.Warncolor, warnColor);
    QCOMPARE(s.loadOnStartFile, QStringLiteral("DiscoveryList.txt"));
    QCOMPARE(s.colors.GridFixed, StoredColor(8404992));
}

void TestSettings::sortTypeGoesBackToItsOwnSection()
{
    IniFile ini;
    ini.parse("[SORT]\r\ntype=3\r\n");
    Settings s;
    readSettings(ini, s);
    QCOMPARE(s.sortType, 3);
    writeExitKeys(ini, s);
    QCOMPARE(ini.sections().filter(QStringLiteral("sort"), Qt::CaseInsensitive), QStringList{QStringLiteral("SORT")});
    QVERIFY(ini.serialize().contains("[SORT]\r\ntype=3\r\n"));
}

void TestSettings::exitWriteKeepsChangedValuesAndDropsObsoleteSection()
{
    QTemporaryDir dir;
    RecordingOperator op;
    const QString path = dir.filePath(QStringLiteral("Vork.ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[UDPmasks]\nmask=255.0.0.0\n[Options]\nbeep=0\n");
    f.close();

    SettingsFile file(op, path);
    Settings s;
    QVERIFY(file.read(s));
    s.options.ConnectHZ = 1234;
    s.options.CritColor = 0x00112233;
    s.beep = true;
    QVERIFY(file.writeAtExit(s));

    SettingsFile again(op, path);
    Settings back;
    QVERIFY(again.read(back));
    QCOMPARE(back.options.ConnectHZ, 1234);
    QCOMPARE(back.options.CritColor, StoredColor(0x00112233));
    QVERIFY(back.beep);
    QVERIFY(back.options.Feedback);
    QVERIFY(!again.ini().hasSection(QStringLiteral("UDPmasks")));
    QVERIFY(op.logs.isEmpty());
}

void TestSettings::failedExitWriteIsLogged()
{
    QTemporaryDir dir;
    RecordingOperator op;
    // A file where the folder should be: nothing can be written below it.
    QFile blocker(dir.filePath(QStringLiteral("blocked")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SettingsFile file(op, dir.filePath(QStringLiteral("blocked/Vork.ini")));
    Settings s;
    QVERIFY(!file.read(s));
    QVERIFY(!file.writeAtExit(s));
    QCOMPARE(op.logs.size(), 1);
    QVERIFY(op.logs.first().startsWith(QStringLiteral("Cannot write settings file ")));
}

void TestSettings::tonesPlayOnlyWhenAllowed_data()
{
    QTest::addColumn<bool>("beep");
    QTest::addColumn<int>("mutes");
    QTest::addColumn<bool>("force");
    QTest::addColumn<bool>("plays");
    QTest::newRow("beep on") << true << 0 << false << true;
    QTest::newRow("beep off") << false << 0 << false << false;
    QTest::newRow("muted") << true << 1 << false << false;
    QTest::newRow("forced while off and muted") << false << 2 << true << true;
}

void TestSettings::tonesPlayOnlyWhenAllowed()
{
    QFETCH(bool, beep);
    QFETCH(int, mutes);
    QFETCH(bool, force);
    QFETCH(bool, plays);
    TOptions options;
    QList<QPair<int, int>> played;
    Tones tones(options, [&](int hz, int ms) { played.append({hz, ms}); });
    tones.setBeep(beep);
    for (int i = 0; i < mutes; ++i)
        tones.raiseMute();
    QCOMPARE(tones.play(Tone::Connect, force), plays);
    QCOMPARE(played.size(), plays ? 1 : 0);
    // The mute never goes below zero.
    for (int i = 0; i < mutes + 3; ++i)
        tones.lowerMute();
    QCOMPARE(tones.muteCount(), 0);
}

void TestSettings::toneKindsMapToTheirFields()
{
    TOptions o;
    o.PingLen = 111;
    o.KeyClickHZ = 0; // a zero frequency is silent
    QList<QPair<int, int>> played;
    Tones tones(o, [&](int hz, int ms) { played.append({hz, ms}); });
    tones.setBeep(true);
    QVERIFY(tones.play(Tone::DiscoveryStart));
    QVERIFY(tones.play(Tone::PingNotFound));
    QVERIFY(tones.play(static_cast<Tone>(42))); // unknown kinds play as a button
    QVERIFY(!tones.play(Tone::KeyClick));
    QCOMPARE(played, (QList<QPair<int, int>>{{950, 25}, {200, 111}, {700, 30}}));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
