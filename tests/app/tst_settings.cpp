// The settings file (case-insensitive names, damaged files, atomic writes) and the tone rules.
#include "core/inifile.h"
#include "core/settings.h"
#include "recordingoperator.h"
#include "core/tones.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace vork;

using IntSetting = int Settings::*;
using FileWriter = std::function<bool(SettingsFile &)>;
Q_DECLARE_METATYPE(IntSetting)
Q_DECLARE_METATYPE(FileWriter)
Q_DECLARE_METATYPE(vork::Tone)

namespace {

QString latin(const char *text)
{
    return QString::fromLatin1(text);
}

QString rowName(const SettingRow &row)
{
    return latin(row.section) + QLatin1Char('/') + latin(row.key);
}

// A value unlike the member's default, and inside its row's range.
void changeValue(Settings &s, const SettingRow &row)
{
    visitSetting(s, row.field, [&](auto &value) {
        using T = std::remove_reference_t<decltype(value)>;
        if constexpr (std::is_same_v<T, bool>)
            value = !value;
        else if constexpr (std::is_same_v<T, int>)
            value = value == row.max ? row.min : row.max < 100000 ? row.max : value + 17;
        else if constexpr (std::is_same_v<T, StoredColor>)
            value = (value ^ 0x00A5C3E1u) & 0x00FFFFFFu;
        else
            value = QStringLiteral("/sites/north/") + latin(row.key);
    });
}

// The keys whose values differ, so a failure names them.
QStringList differences(const Settings &a, const Settings &b)
{
    QStringList out;
    for (const SettingRow &row : settingRows()) {
        const auto text = [&](const Settings &s) {
            return visitSetting(s, row.field, [](const auto &v) { return settingText(v); });
        };
        if (text(a) != text(b))
            out << rowName(row);
    }
    return out;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

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
    void everyKeyReadsBackWhatWasWritten_data();
    void everyKeyReadsBackWhatWasWritten();
    void exitWriteLeavesKeysWrittenOnChange_data();
    void exitWriteLeavesKeysWrittenOnChange();
    void integersOutOfRangeReadAsTheirDefault_data();
    void integersOutOfRangeReadAsTheirDefault();
    void typedWriteNowKeepsTheFilesSpelling_data();
    void typedWriteNowKeepsTheFilesSpelling();
    void keysAndMembersAreDistinct();
    void toneKindsUseTheirOwnKeys_data();
    void toneKindsUseTheirOwnKeys();
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

void TestSettings::everyKeyReadsBackWhatWasWritten_data()
{
    QTest::addColumn<int>("row");
    const auto &rows = settingRows();
    for (int i = 0; i < int(rows.size()); ++i)
        QTest::addRow("%s/%s", rows[i].section, rows[i].key) << i;
}

void TestSettings::everyKeyReadsBackWhatWasWritten()
{
    QFETCH(int, row);
    const SettingRow &r = settingRows().at(row);
    QTemporaryDir dir;
    RecordingOperator op;
    const QString path = dir.filePath(QStringLiteral("Vork.ini"));

    SettingsFile file(op, path);
    Settings want;
    QVERIFY(!file.read(want));
    changeValue(want, r);
    QCOMPARE(differences(want, Settings{}), QStringList{rowName(r)});
    if (r.written == SettingRow::AtExit)
        QVERIFY(file.writeAtExit(want));
    else // written by whoever changes it, through the typed call
        QVERIFY(std::visit([&](auto member) { return file.writeNow(member, settingRef(want, member)); }, r.field));

    // Only this key moved away from its default, in the file and read back.
    SettingsFile again(op, path);
    Settings back;
    QVERIFY(again.read(back));
    QCOMPARE(differences(back, want), QStringList());
    QVERIFY(op.logs.isEmpty());
}

void TestSettings::exitWriteLeavesKeysWrittenOnChange_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    const std::pair<const char *, const char *> keys[] = {
        {"Local Interface", "IPAddress"}, {"Options", "RRinterval"}, {"Path", "ImportDir"},
        {"Colors", "Grid"},               {"Colors", "GridMark"},   {"Colors", "ShowBox"},
        {"Colors", "GridBold"},
    };
    for (const auto &[section, key] : keys)
        QTest::addRow("%s/%s", section, key) << latin(section) << latin(key);
}

void TestSettings::exitWriteLeavesKeysWrittenOnChange()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    // A file that holds the key already keeps its value; a new file never gets it.
    IniFile held;
    held.parse(QByteArray("[") + section.toLatin1() + "]\n" + key.toLatin1() + "=4\n");
    IniFile fresh;
    Settings s;
    for (const SettingRow &row : settingRows())
        changeValue(s, row);
    writeExitKeys(held, s);
    writeExitKeys(fresh, s);
    QCOMPARE(held.value(section, key), QStringLiteral("4"));
    QVERIFY(!fresh.hasKey(section, key));
    // The keys written at exit did go in.
    QCOMPARE(fresh.value(QStringLiteral("Options"), QStringLiteral("beep")), QStringLiteral("1"));
    QCOMPARE(fresh.value(QStringLiteral("UDP"), QStringLiteral("Wait")), QStringLiteral("60000"));
}

void TestSettings::integersOutOfRangeReadAsTheirDefault_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<IntSetting>("field");
    QTest::addColumn<int>("expected");
    QTest::newRow("port below") << QByteArray("[udp]\nlocalport=-1\n") << &Settings::localPort << 0;
    QTest::newRow("port above") << QByteArray("[udp]\nlocalport=65536\n") << &Settings::localPort << 0;
    QTest::newRow("port highest") << QByteArray("[udp]\nlocalport=65535\n") << &Settings::localPort << 65535;
    QTest::newRow("wait zero") << QByteArray("[UDP]\nWait=0\n") << &Settings::wait << 500;
    QTest::newRow("wait above") << QByteArray("[UDP]\nWait=60001\n") << &Settings::wait << 500;
    QTest::newRow("wait lowest") << QByteArray("[UDP]\nWait=1\n") << &Settings::wait << 1;
    QTest::newRow("wait highest") << QByteArray("[UDP]\nWait=60000\n") << &Settings::wait << 60000;
    QTest::newRow("sort below") << QByteArray("[Sort]\ntype=-1\n") << &Settings::sortType << 0;
    QTest::newRow("sort above") << QByteArray("[Sort]\ntype=8\n") << &Settings::sortType << 0;
    QTest::newRow("sort highest") << QByteArray("[Sort]\ntype=7\n") << &Settings::sortType << 7;
    // Without a range any number is kept.
    QTest::newRow("interval unchecked") << QByteArray("[Options]\nRRinterval=-40\n") << &Settings::rrInterval << -40;
    QTest::newRow("personality unchecked") << QByteArray("[Options]\nPersonality=99999\n") << &Settings::personality
                                           << 99999;
}

void TestSettings::integersOutOfRangeReadAsTheirDefault()
{
    QFETCH(QByteArray, file);
    QFETCH(IntSetting, field);
    QFETCH(int, expected);
    IniFile ini;
    ini.parse(file);
    Settings s;
    readSettings(ini, s);
    QCOMPARE(s.*field, expected);
    // Nothing else moved.
    Settings want;
    want.*field = expected;
    QCOMPARE(differences(s, want), QStringList());
}

void TestSettings::typedWriteNowKeepsTheFilesSpelling_data()
{
    QTest::addColumn<FileWriter>("write");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QByteArray>("after"); // the whole file afterwards

    const auto file = [](const char *beep, const char *interval, const char *moreOptions, const char *grid,
                         const char *moreSections = "") -> QByteArray {
        return QByteArray("[OPTIONS]\r\nBEEP=") + beep + "\r\nrrINTERVAL=" + interval + "\r\n" + moreOptions
            + "\r\n[colors]\r\ngrid=" + grid + "\r\n" + moreSections;
    };
    QTest::newRow("flag") << FileWriter([](SettingsFile &f) { return f.writeNow(&Settings::beep, true); }) << true
                          << file("1", "3", "", "1");
    QTest::newRow("flag not yet in the file")
        << FileWriter([](SettingsFile &f) { return f.writeNow(&Settings::discoverOnStart, true); }) << true
        << file("0", "3", "DiscoverOnStart=1\r\n", "1");
    QTest::newRow("number") << FileWriter([](SettingsFile &f) { return f.writeNow(&Settings::rrInterval, 15); })
                            << true << file("0", "15", "", "1");
    QTest::newRow("number, older call") << FileWriter([](SettingsFile &f) {
        f.writeRRInterval(-1);
        return true;
    }) << true << file("0", "-1", "", "1");
    QTest::newRow("text in a new section")
        << FileWriter([](SettingsFile &f) { return f.writeNow(&Settings::localInterface, QStringLiteral("10.0.0.7")); })
        << true << file("0", "3", "", "1", "\r\n[Local Interface]\r\nIPAddress=10.0.0.7\r\n");
    QTest::newRow("colour loses its top byte")
        << FileWriter([](SettingsFile &f) { return f.writeNow(&TOptions::CritColor, 0xFF123456u); }) << true
        << file("0", "3", "CritColor=1193046\r\n", "1");
    QTest::newRow("grid colour") << FileWriter([](SettingsFile &f) { return f.writeNow(&GridColors::Grid, 0x010203u); })
                                 << true << file("0", "3", "", "66051");
    // The dialog's copy of the beep toggle is not kept in the file.
    QTest::newRow("member the file does not keep")
        << FileWriter([](SettingsFile &f) { return f.writeNow(&TOptions::Feedback, true); }) << false
        << file("0", "3", "", "1");
}

void TestSettings::typedWriteNowKeepsTheFilesSpelling()
{
    QFETCH(FileWriter, write);
    QFETCH(bool, written);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    RecordingOperator op;
    const QString path = dir.filePath(QStringLiteral("Vork.ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[OPTIONS]\r\nBEEP=0\r\nrrINTERVAL=3\r\n\r\n[colors]\r\ngrid=1\r\n");
    f.close();

    SettingsFile file(op, path);
    Settings s;
    QVERIFY(file.read(s));
    QCOMPARE(write(file), written);
    QCOMPARE(fileBytes(path), after);
    QVERIFY(op.logs.isEmpty());
}

void TestSettings::keysAndMembersAreDistinct()
{
    // Two rows on one key, or one member under two keys, would let a later row
    // silently undo an earlier one.
    QSet<QString> keys;
    for (const SettingRow &row : settingRows()) {
        const QString name = rowName(row).toLower();
        QVERIFY2(!keys.contains(name), qPrintable(name));
        keys.insert(name);
        QCOMPARE(findSettingRow(row.field), &row);
        QVERIFY2(row.min <= row.max, qPrintable(name));
    }
    // Every tone kind once; frequencies on keys of their own, lengths shared
    // exactly where the member is shared.
    QSet<int> kinds;
    for (const ToneInfo &t : toneTable) {
        kinds.insert(int(t.kind));
        QCOMPARE(toneInfo(t.kind).hzKey, t.hzKey);
        for (const ToneInfo &u : toneTable) {
            if (&t == &u)
                continue;
            QVERIFY2(qstricmp(t.hzKey, u.hzKey) != 0 && qstricmp(t.hzKey, u.lenKey) != 0, t.hzKey);
            QCOMPARE(qstricmp(t.lenKey, u.lenKey) == 0, t.len == u.len);
            QCOMPARE(t.hz == u.hz, false);
        }
        QVERIFY(findSettingRow(t.hz) && findSettingRow(t.len));
    }
    QCOMPARE(kinds.size(), int(toneTable.size()));
    QCOMPARE(kinds, (QSet<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

void TestSettings::toneKindsUseTheirOwnKeys_data()
{
    QTest::addColumn<Tone>("kind");
    QTest::addColumn<QByteArray>("hzKey");
    QTest::addColumn<QByteArray>("lenKey");
    QTest::newRow("discovery start") << Tone::DiscoveryStart << QByteArray("DISCSTARTf") << QByteArray("DISCSTARTl");
    QTest::newRow("discovery end") << Tone::DiscoveryEnd << QByteArray("DISCENDf") << QByteArray("DISCENDl");
    QTest::newRow("connect") << Tone::Connect << QByteArray("CONNECTf") << QByteArray("CONNECTl");
    QTest::newRow("disconnect") << Tone::Disconnect << QByteArray("DISCONNECTf") << QByteArray("DISCONNECTl");
    QTest::newRow("error") << Tone::Error << QByteArray("ERRORf") << QByteArray("ERRORl");
    QTest::newRow("ping found") << Tone::PingFound << QByteArray("PINGFNDf") << QByteArray("PINGl");
    QTest::newRow("ping not found") << Tone::PingNotFound << QByteArray("PINGNOTFNDf") << QByteArray("PINGl");
    QTest::newRow("button") << Tone::Button << QByteArray("BUTTONf") << QByteArray("BUTTONl");
    QTest::newRow("check box") << Tone::CheckBox << QByteArray("CHECKf") << QByteArray("CHECKl");
    QTest::newRow("key click") << Tone::KeyClick << QByteArray("KEYf") << QByteArray("KEYl");
}

void TestSettings::toneKindsUseTheirOwnKeys()
{
    QFETCH(Tone, kind);
    QFETCH(QByteArray, hzKey);
    QFETCH(QByteArray, lenKey);
    IniFile ini;
    ini.parse("[options]\n" + hzKey.toLower() + "=1234\n" + lenKey.toUpper() + "=56\n");
    Settings s;
    readSettings(ini, s);
    QCOMPARE(s.options.tone(kind), (std::pair{1234, 56}));
    // No other tone moved, but for the length both ping tones share.
    const TOptions defaults;
    for (const ToneInfo &other : toneTable) {
        if (other.kind == kind)
            continue;
        const bool sharesLength = qstricmp(other.lenKey, lenKey.constData()) == 0;
        QCOMPARE(s.options.tone(other.kind),
                 (std::pair{defaults.tone(other.kind).first, sharesLength ? 56 : defaults.tone(other.kind).second}));
    }

    // And at exit they go back under the same keys.
    IniFile out;
    writeExitKeys(out, s);
    QCOMPARE(out.value(QStringLiteral("Options"), QString::fromLatin1(hzKey)), QStringLiteral("1234"));
    QCOMPARE(out.value(QStringLiteral("Options"), QString::fromLatin1(lenKey)), QStringLiteral("56"));
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
