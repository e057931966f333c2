// The settings file (case-insensitive names, damaged files, atomic writes) and the tone rules.
#include "core/inifile.h"
#include "core/settings.h"
#include "recordingoperator.h"
#include "core/tones.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

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
        else if (row.format == SettingRow::Base64)
            value = QString::fromLatin1(QByteArray(QByteArray("geometry of ") + row.key).toBase64());
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

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// How a file that must be kept is made.
enum class Kept { Bytes, Unreadable, Loop, Fifo, Folder };

} // namespace

Q_DECLARE_METATYPE(Kept)

namespace {

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
    void lookupsAfterRemoval();
    void lineEnds_data();
    void lineEnds();
    void byteOrderMarkIsAccepted();
    void textRoundTripsAsUtf8_data();
    void textRoundTripsAsUtf8();
    void olderLatin1TextIsRead();
    void untrustedFilesAreKept_data();
    void untrustedFilesAreKept();
    void emptyFileIsWrittenOver();
    void outOfRangeIsLoggedAndDefaulted_data();
    void outOfRangeIsLoggedAndDefaulted();
    void geometry_data();
    void geometry();
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

void TestSettings::lookupsAfterRemoval()
{
    IniFile ini;
    ini.parse("[A]\nx=1\ny=2\nz=3\n[B]\nk=4\n[C]\nk=5\n");
    ini.removeSection(QStringLiteral("a"));
    ini.removeKey(QStringLiteral("C"), QStringLiteral("missing"));
    QCOMPARE(ini.value(QStringLiteral("b"), QStringLiteral("K")), QStringLiteral("4"));
    QCOMPARE(ini.value(QStringLiteral("c"), QStringLiteral("k")), QStringLiteral("5"));
    ini.setValue(QStringLiteral("a"), QStringLiteral("x"), QStringLiteral("6"));
    QCOMPARE(ini.sections(), (QStringList{QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("a")}));
    IniFile keys;
    keys.parse("[S]\nfirst=1\nsecond=2\nthird=3\n");
    keys.removeKey(QStringLiteral("s"), QStringLiteral("FIRST"));
    QCOMPARE(keys.value(QStringLiteral("s"), QStringLiteral("third")), QStringLiteral("3"));
    keys.setValue(QStringLiteral("S"), QStringLiteral("Second"), QStringLiteral("9"));
    QCOMPARE(keys.serialize(), QByteArray("[S]\r\nsecond=9\r\nthird=3\r\n"));
}

void TestSettings::lineEnds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("CR LF") << QByteArray("[UDP]\r\nWait=700\r\n[Sort]\r\ntype=3\r\n");
    QTest::newRow("LF") << QByteArray("[UDP]\nWait=700\n[Sort]\ntype=3");
    QTest::newRow("CR only") << QByteArray("[UDP]\rWait=700\r[Sort]\rtype=3\r");
    QTest::newRow("mixed, blank lines") << QByteArray("[UDP]\r\rWait=700\n\r\n[Sort]\n\rtype=3");
}

void TestSettings::lineEnds()
{
    QFETCH(QByteArray, bytes);
    IniFile ini;
    ini.parse(bytes);
    QCOMPARE(ini.sections(), (QStringList{QStringLiteral("UDP"), QStringLiteral("Sort")}));
    QCOMPARE(ini.keys(QStringLiteral("udp")), QStringList{QStringLiteral("Wait")});
    QCOMPARE(ini.value(QStringLiteral("udp"), QStringLiteral("wait")), QStringLiteral("700"));
    QCOMPARE(ini.value(QStringLiteral("sort"), QStringLiteral("type")), QStringLiteral("3"));
}

void TestSettings::byteOrderMarkIsAccepted()
{
    QTemporaryDir dir;
    RecordingOperator op;
    const QString path = dir.filePath(QStringLiteral("Vork.ini"));
    QVERIFY(writeFile(path, "\xEF\xBB\xBF[UDP]\r\nWait=700\r\n\r\n[Options]\r\nbeep=1\r\n"));
    SettingsFile file(op, path);
    Settings s;
    QVERIFY(file.read(s));
    QCOMPARE(s.wait, 700);
    QVERIFY(s.beep);
    QVERIFY(!file.kept());
    QVERIFY(file.writeAtExit(s));
    const QByteArray after = fileBytes(path);
    QVERIFY(after.startsWith("\xEF\xBB\xBF[UDP]\r\n"));
    QVERIFY(after.contains("Wait=700\r\n"));
    QVERIFY(after.contains("beep=1\r\n"));
    QCOMPARE(after.count("[UDP]"), 1);
    QVERIFY(op.logs.isEmpty());
}

void TestSettings::textRoundTripsAsUtf8_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("umlaut") << QStringLiteral("/srv/Standorte/S\u00fcd/Lager");
    QTest::newRow("euro") << QStringLiteral("C:\\Preise \u20ac\\2026");
    QTest::newRow("cyrillic") << QStringLiteral("/home/\u0421\u043a\u043b\u0430\u0434 \u042e\u0433");
    QTest::newRow("outside the basic plane") << QStringLiteral("/data/\U0001F4E6");
}

void TestSettings::textRoundTripsAsUtf8()
{
    QFETCH(QString, text);
    QTemporaryDir dir;
    RecordingOperator op;
    const QString path = dir.filePath(QStringLiteral("Vork.ini"));
    SettingsFile file(op, path);
    Settings s;
    QVERIFY(!file.read(s));
    QVERIFY(file.writeNow(&Settings::importDir, text));
    s.flashPath = text + QStringLiteral("/flash");
    QVERIFY(file.writeAtExit(s));
    const QByteArray bytes = fileBytes(path);
    QVERIFY(bytes.contains(QByteArray("ImportDir=" + text.toUtf8() + "\r\n")));

    SettingsFile again(op, path);
    Settings back;
    QVERIFY(again.read(back));
    QCOMPARE(back.importDir, text);
    QCOMPARE(back.flashPath, text + QStringLiteral("/flash"));
    QVERIFY(op.logs.isEmpty());
}

void TestSettings::olderLatin1TextIsRead()
{
    // Earlier versions wrote 8-bit text: a line that is not UTF-8 reads as Latin-1.
    IniFile ini;
    ini.parse("[Path]\r\nImportDir=/srv/S\xfc" "d\r\n[Flash]\r\nPath=/srv/S\xc3\xbc" "d\r\n");
    QCOMPARE(ini.value(QStringLiteral("Path"), QStringLiteral("ImportDir")), QStringLiteral("/srv/S\u00fcd"));
    QCOMPARE(ini.value(QStringLiteral("Flash"), QStringLiteral("Path")), QStringLiteral("/srv/S\u00fcd"));
}

void TestSettings::untrustedFilesAreKept_data()
{
    QTest::addColumn<Kept>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("wait");     // what the read found in it
    QTest::addColumn<QString>("why");  // the end of the log line's reason

    // Settings first, then junk, to 5 MB: the first 1 MB is read, the file is kept.
    QByteArray large = "[UDP]\r\nWait=700\r\n[Options]\r\nCONNECTf=1234\r\n";
    while (large.size() < 5 * 1024 * 1024)
        large += "junk junk junk junk junk junk junk junk junk junk junk junk junk junk junk\r\n";
    QTest::newRow("too large") << Kept::Bytes << large << 700
                               << QStringLiteral("larger than 1048576 bytes (%1 bytes)").arg(large.size());
    QTest::newRow("NUL bytes") << Kept::Bytes << QByteArray("[UDP]\r\nWait=700\0\0\r\n\x01\x02", 21) << 700
                               << QStringLiteral("not a settings file (NUL bytes)");
    QTest::newRow("no section or key") << Kept::Bytes << QByteArray("Dear diary,\ntoday the units\nall answered.\n")
                                       << 500 << QStringLiteral("not a settings file (no section or key)");
    QTest::newRow("unreadable") << Kept::Unreadable << QByteArray("[UDP]\r\nWait=700\r\n") << 500
                                << QStringLiteral("Permission denied");
    // Fails for root too.
    QTest::newRow("symbolic link loop") << Kept::Loop << QByteArray() << 500
                                        << QStringLiteral("Too many levels of symbolic links");
    QTest::newRow("FIFO") << Kept::Fifo << QByteArray() << 500 << QStringLiteral("not a regular file");
    QTest::newRow("folder") << Kept::Folder << QByteArray() << 500 << QStringLiteral("a folder, not a file");
}

void TestSettings::untrustedFilesAreKept()
{
    QFETCH(Kept, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(int, wait);
    QFETCH(QString, why);
    QTemporaryDir dir;
    RecordingOperator op;
    const QString path = dir.filePath(QStringLiteral("Vork.ini"));
    const QByteArray name = QFile::encodeName(path);
    switch (kind) {
    case Kept::Bytes:
        QVERIFY(writeFile(path, bytes));
        break;
    case Kept::Unreadable:
        if (::geteuid() == 0)
            QSKIP("root reads a file of mode 000; the link loop, FIFO and folder rows stand for it");
        QVERIFY(writeFile(path, bytes));
        QVERIFY(::chmod(name.constData(), 0) == 0);
        break;
    case Kept::Loop:
        QVERIFY(::symlink(name.constData(), name.constData()) == 0);
        break;
    case Kept::Fifo:
        QVERIFY(::mkfifo(name.constData(), 0600) == 0);
        break;
    case Kept::Folder:
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Vork.ini")));
        QVERIFY(writeFile(path + QStringLiteral("/inside"), "[UDP]\r\nWait=700\r\n"));
        break;
    }

    SettingsFile file(op, path);
    Settings s;
    file.read(s);
    QCOMPARE(s.wait, wait);
    const QString newPath = path + QStringLiteral(".new");
    QVERIFY(file.kept());
    QCOMPARE(file.writePath(), newPath);
    QCOMPARE(op.logs, QStringList{QStringLiteral("Cannot read settings file ") + path + QStringLiteral(": ") + why
                                  + QStringLiteral("; it is kept as it is and this run's settings are written to ")
                                  + newPath});

    // A key written at once and the keys written at exit all go beside it.
    QVERIFY(file.writeNow(&Settings::beep, true));
    s.beep = true;
    s.sortType = 6;
    QVERIFY(file.writeAtExit(s));
    QCOMPARE(op.logs.size(), 1);

    const QFileInfo info(path);
    switch (kind) {
    case Kept::Bytes:
    case Kept::Unreadable:
        if (kind == Kept::Unreadable)
            QVERIFY(::chmod(name.constData(), 0600) == 0);
        QVERIFY(info.isFile());
        QVERIFY(fileBytes(path) == bytes); // byte for byte
        break;
    case Kept::Loop:
    case Kept::Fifo: {
        struct stat st = {};
        QVERIFY(::lstat(name.constData(), &st) == 0);
        QVERIFY(kind == Kept::Loop ? S_ISLNK(st.st_mode) : S_ISFIFO(st.st_mode));
        break;
    }
    case Kept::Folder:
        QVERIFY(info.isDir());
        QCOMPARE(fileBytes(path + QStringLiteral("/inside")), QByteArray("[UDP]\r\nWait=700\r\n"));
        break;
    }

    SettingsFile next(op, newPath);
    Settings back;
    QVERIFY(next.read(back));
    QVERIFY(!next.kept());
    QVERIFY(back.beep);
    QCOMPARE(back.sortType, 6);
    QCOMPARE(back.wait, wait);
    if (kind == Kept::Bytes && wait == 700 && bytes.size() > IniFile::maxFileSize)
        QCOMPARE(back.options.ConnectHZ, 1234);
    QCOMPARE(op.logs.size(), 1);
}

void TestSettings::emptyFileIsWrittenOver()
{
    // Nothing in it to lose: blank lines are written over like a missing file.
    QTemporaryDir dir;
    RecordingOperator op;
    const QString path = dir.filePath(QStringLiteral("Vork.ini"));
    QVERIFY(writeFile(path, "\r\n  \r\n"));
    SettingsFile file(op, path);
    Settings s;
    QVERIFY(file.read(s));
    QVERIFY(!file.kept());
    s.wait = 900;
    QVERIFY(file.writeAtExit(s));
    QVERIFY(fileBytes(path).contains("Wait=900\r\n"));
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".new")));
    QVERIFY(op.logs.isEmpty());
}

void TestSettings::outOfRangeIsLoggedAndDefaulted_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("log"); // empty: nothing logged
    QTest::newRow("time warning below") << QByteArray("TimeWarnMin=-1") << QStringLiteral("TimeWarnMin") << 5
                                        << QStringLiteral("Settings: [Options] TimeWarnMin=-1 is outside 0 to 999; "
                                                          "the default 5 is used");
    QTest::newRow("time warning above") << QByteArray("TimeWarnMax=1000") << QStringLiteral("TimeWarnMax") << 30
                                        << QStringLiteral("Settings: [Options] TimeWarnMax=1000 is outside 0 to 999; "
                                                          "the default 30 is used");
    QTest::newRow("time warning highest") << QByteArray("TimeWarnMax=999") << QStringLiteral("TimeWarnMax")
                                          << 999 << QString();
    QTest::newRow("reboot below") << QByteArray("RebootWarn=-1") << QStringLiteral("RebootWarn") << 24
                                  << QStringLiteral("Settings: [Options] RebootWarn=-1 is outside 0 to 999; "
                                                    "the default 24 is used");
    QTest::newRow("reboot zero") << QByteArray("rebootwarn=0") << QStringLiteral("RebootWarn") << 0 << QString();
    QTest::newRow("frequency above") << QByteArray("CONNECTf=32768") << QStringLiteral("CONNECTf") << 1600
                                     << QStringLiteral("Settings: [Options] CONNECTf=32768 is outside 0 to 32767; "
                                                       "the default 1600 is used");
    QTest::newRow("frequency highest") << QByteArray("KEYf=32767") << QStringLiteral("KEYf") << 32767
                                       << QString();
    QTest::newRow("length below") << QByteArray("ERRORl=-300") << QStringLiteral("ERRORl") << 300
                                  << QStringLiteral("Settings: [Options] ERRORl=-300 is outside 0 to 10000; "
                                                    "the default 300 is used");
    QTest::newRow("shared length above") << QByteArray("PINGl=10001") << QStringLiteral("PINGl") << 300
                                         << QStringLiteral("Settings: [Options] PINGl=10001 is outside 0 to 10000; "
                                                           "the default 300 is used");
    QTest::newRow("length highest") << QByteArray("buttonl=10000") << QStringLiteral("BUTTONl") << 10000
                                    << QString();
}

void TestSettings::outOfRangeIsLoggedAndDefaulted()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, key);
    QFETCH(int, expected);
    QFETCH(QString, log);
    QTemporaryDir dir;
    RecordingOperator op;
    const QString path = dir.filePath(QStringLiteral("Vork.ini"));
    QVERIFY(writeFile(path, "[Options]\r\n" + line + "\r\n"));
    SettingsFile file(op, path);
    Settings s;
    QVERIFY(file.read(s));
    QCOMPARE(op.logs, log.isEmpty() ? QStringList() : QStringList{log});
    const SettingRow *row = nullptr;
    for (const SettingRow &r : settingRows())
        if (key.compare(latin(r.key), Qt::CaseInsensitive) == 0)
            row = &r;
    QVERIFY(row);
    const int got = visitSetting(s, row->field, [](const auto &value) { return settingText(value); }).toInt();
    QCOMPARE(got, expected);
    // Nothing else moved.
    Settings want;
    visitSetting(want, row->field, [&](auto &value) {
        if constexpr (std::is_same_v<std::remove_reference_t<decltype(value)>, int>)
            value = expected;
    });
    QCOMPARE(differences(s, want), QStringList());
}

void TestSettings::geometry_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("main");
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("logLines");
    const QByteArray bytes("\x01\xd9\xd0\xcb\x00\x03\x00\x00\xff\xfe", 10);
    const QString b64 = QString::fromLatin1(bytes.toBase64());
    QTest::newRow("both") << QByteArray("[WINDOW]\r\ngeometry=" + bytes.toBase64() + "\r\nLOGGEOMETRY=AAEC\r\n")
                          << b64 << QStringLiteral("AAEC") << 0;
    QTest::newRow("missing") << QByteArray("[UDP]\r\nWait=500\r\n") << QString() << QString() << 0;
    QTest::newRow("not base64") << QByteArray("[Window]\r\nGeometry=@@not*base64@@\r\nLogGeometry=AAEC\r\n")
                                << QString() << QStringLiteral("AAEC") << 1;
    QTest::newRow("bad padding") << QByteArray("[Window]\r\nGeometry=AAEC\r\nLogGeometry=A===\r\n")
                                 << QStringLiteral("AAEC") << QString() << 1;
    QTest::newRow("not ASCII") << QByteArray("[Window]\r\nGeometry=AA\xc3\xa9" "C\r\n") << QString() << QString() << 1;
}

void TestSettings::geometry()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, main);
    QFETCH(QString, log);
    QFETCH(int, logLines);
    QTemporaryDir dir;
    RecordingOperator op;
    const QString path = dir.filePath(QStringLiteral("Vork.ini"));
    QVERIFY(writeFile(path, file));
    SettingsFile settings(op, path);
    Settings s;
    QVERIFY(settings.read(s));
    QCOMPARE(s.windowGeometry, main);
    QCOMPARE(s.logGeometry, log);
    QCOMPARE(op.logs.size(), logLines);
    if (logLines)
        QVERIFY(op.logs.first().endsWith(QStringLiteral(" is not base64; it is left empty")));

    // Written at exit, read back the same.
    s.windowGeometry = QString::fromLatin1(QByteArray("main window").toBase64());
    QVERIFY(settings.writeAtExit(s));
    SettingsFile again(op, path);
    Settings back;
    QVERIFY(again.read(back));
    QCOMPARE(QByteArray::fromBase64(back.windowGeometry.toLatin1()), QByteArray("main window"));
    QCOMPARE(back.logGeometry, log);
    QCOMPARE(op.logs.size(), logLines);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
