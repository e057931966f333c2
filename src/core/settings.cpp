#include "core/settings.h"

#include "core/operator.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vork {

namespace {

const QString secLocal = QStringLiteral("Local Interface");
const QString secUdp = QStringLiteral("UDP");
const QString secSort = QStringLiteral("Sort");
const QString secOptions = QStringLiteral("Options");
const QString secFlash = QStringLiteral("Flash");
const QString secColors = QStringLiteral("Colors");
const QString secPath = QStringLiteral("Path");

// Options keys that are integers, with their TOptions field.
struct IntKey
{
    const char *key;
    int TOptions::*field;
};
constexpr IntKey toneKeys[] = {
    {"DISCSTARTf", &TOptions::DiscoveryStartHZ}, {"DISCSTARTl", &TOptions::DiscoveryStartLen},
    {"DISCENDf", &TOptions::DiscoveryEndHZ},     {"DISCENDl", &TOptions::DiscoveryEndLen},
    {"CONNECTf", &TOptions::ConnectHZ},          {"CONNECTl", &TOptions::ConnectLen},
    {"DISCONNECTf", &TOptions::DisConnectHZ},    {"DISCONNECTl", &TOptions::DisConnectLen},
    {"PINGFNDf", &TOptions::PingFoundHZ},        {"PINGNOTFNDf", &TOptions::PingNotFoundHZ},
    {"PINGl", &TOptions::PingLen},               {"ERRORf", &TOptions::ErrorHZ},
    {"ERRORl", &TOptions::ErrorLen},             {"BUTTONf", &TOptions::ButtonHZ},
    {"BUTTONl", &TOptions::buttonLen},           {"CHECKf", &TOptions::CheckBoxHZ},
    {"CHECKl", &TOptions::CheckBoxLen},          {"KEYf", &TOptions::KeyClickHZ},
    {"KEYl", &TOptions::KeyClickLen},            {"TimeWarnMin", &TOptions::TimeWarnLow},
    {"TimeWarnMax", &TOptions::TimeWarnHigh},    {"RebootWarn", &TOptions::RebootWarn},
};

struct BoolKey
{
    const char *key;
    bool TOptions::*field;
};
constexpr BoolKey optionFlags[] = {
    {"DateWarn", &TOptions::CritDate},           {"WarnFontBlack", &TOptions::WarnFontBlk},
    {"CritFontBlack", &TOptions::CritFontBlk},   {"WinTelnet", &TOptions::WinTelnet},
    {"ShowModelIcon", &TOptions::DisplayModelIcon}, {"UploadSetup", &TOptions::SetupUpload},
    {"UploadHistory", &TOptions::HistoryUpload}, {"AutoUpdate", &TOptions::AutoUpdate},
};

struct ColorKey
{
    const char *key;
    StoredColor GridColors::*field;
};
constexpr ColorKey colorKeys[] = {
    {"Grid", &GridColors::Grid},           {"GridFont", &GridColors::GridFont},
    {"GridFixed", &GridColors::GridFixed}, {"GridFixedFont", &GridColors::GridFixedFont},
    {"GridMark", &GridColors::GridMark},
};
struct ColorFlag
{
    const char *key;
    bool GridColors::*field;
};
constexpr ColorFlag colorFlags[] = {
    {"ShowBox", &GridColors::ShowBox},         {"GridLines", &GridColors::GridLines},
    {"GridHeaderBold", &GridColors::GridHeaderBold}, {"GridHeaderLines", &GridColors::GridHeaderLines},
    {"GridBold", &GridColors::GridBold},
};

QString k(const char *key)
{
    return QString::fromLatin1(key);
}

StoredColor colorValue(const IniFile &ini, const QString &section, const QString &key, StoredColor fallback)
{
    bool ok = false;
    const qlonglong v = ini.value(section, key).toLongLong(&ok);
    return ok ? static_cast<StoredColor>(v) & 0x00FFFFFFu : fallback;
}

QString colorText(StoredColor c)
{
    return QString::number(c & 0x00FFFFFFu);
}

} // namespace

void readSettings(const IniFile &ini, Settings &s)
{
    s.localInterface = ini.value(secLocal, QStringLiteral("IPAddress"), s.localInterface);
    s.localPort = ini.intValue(secUdp, QStringLiteral("LocalPort"), s.localPort);
    if (s.localPort < 0 || s.localPort > 65535)
        s.localPort = 0;
    s.wait = ini.intValue(secUdp, QStringLiteral("Wait"), s.wait);
    if (s.wait <= 0 || s.wait > 60000)
        s.wait = 500;
    s.sortType = ini.intValue(secSort, QStringLiteral("type"), s.sortType);
    if (s.sortType < 0 || s.sortType > 7)
        s.sortType = 0;

    s.useList = ini.boolValue(secOptions, QStringLiteral("Use List"), s.useList);
    s.loadOnStart = ini.boolValue(secOptions, QStringLiteral("LoadOnStart"), s.loadOnStart);
    s.loadOnStartFile = ini.value(secOptions, QStringLiteral("LoadOnStartFile"), s.loadOnStartFile);
    s.beep = ini.boolValue(secOptions, QStringLiteral("beep"), s.beep);
    s.discoverOnStart = ini.boolValue(secOptions, QStringLiteral("DiscoverOnStart"), s.discoverOnStart);
    s.talkL = ini.boolValue(secOptions, QStringLiteral("TalkL"), s.talkL);
    s.announce = ini.boolValue(secOptions, QStringLiteral("Announce"), s.announce);
    s.talkP = ini.boolValue(secOptions, QStringLiteral("TalkP"), s.talkP);
    s.talkE = ini.boolValue(secOptions, QStringLiteral("TalkE"), s.talkE);
    s.talkEP = ini.boolValue(secOptions, QStringLiteral("TalkEP"), s.talkEP);
    s.hundThou = ini.boolValue(secOptions, QStringLiteral("HundThou"), s.hundThou);
    s.personality = ini.intValue(secOptions, QStringLiteral("Personality"), s.personality);
    s.fspeed = ini.intValue(secOptions, QStringLiteral("FSpeed"), s.fspeed);
    s.monType = ini.intValue(secOptions, QStringLiteral("MonType"), s.monType);
    s.monTitle = ini.intValue(secOptions, QStringLiteral("MonTitle"), s.monTitle);
    s.monID = ini.intValue(secOptions, QStringLiteral("MonID"), s.monID);
    s.rrInterval = ini.intValue(secOptions, QStringLiteral("RRinterval"), s.rrInterval);
    s.histTalkCnt = ini.intValue(secOptions, QStringLiteral("HistTalkCnt"), s.histTalkCnt);
    s.useRefreshBtn = ini.boolValue(secOptions, QStringLiteral("UseRefreshBTN"), s.useRefreshBtn);
    s.alarmAllRdrs = ini.boolValue(secOptions, QStringLiteral("AlarmAllRdrs"), s.alarmAllRdrs);
    s.flashPath = ini.value(secFlash, QStringLiteral("Path"), s.flashPath);
    s.flashPathCurrent = ini.value(secFlash, QStringLiteral("Path Current"), s.flashPathCurrent);
    s.importDir = ini.value(secPath, QStringLiteral("ImportDir"), s.importDir);

    TOptions &o = s.options;
    for (const IntKey &key : toneKeys)
        o.*key.field = ini.intValue(secOptions, k(key.key), o.*key.field);
    for (const BoolKey &key : optionFlags)
        o.*key.field = ini.boolValue(secOptions, k(key.key), o.*key.field);
    o.Warncolor = colorValue(ini, secOptions, QStringLiteral("WarnColor"), o.Warncolor);
    o.CritColor = colorValue(ini, secOptions, QStringLiteral("CritColor"), o.CritColor);
    o.Feedback = s.beep;
    o.DiscoverOnStart = s.discoverOnStart;
    o.UseList = s.useList;
    o.LoadListOnStart = s.loadOnStart;
    o.DiscoveryList = s.loadOnStartFile;

    for (const ColorKey &key : colorKeys)
        s.colors.*key.field = colorValue(ini, secColors, k(key.key), s.colors.*key.field);
    for (const ColorFlag &key : colorFlags)
        s.colors.*key.field = ini.boolValue(secColors, k(key.key), s.colors.*key.field);
}

void writeExitKeys(IniFile &ini, const Settings &s)
{
    ini.removeSection(QStringLiteral("UDPmasks"));
    ini.setInt(secUdp, QStringLiteral("LocalPort"), s.localPort);
    ini.setInt(secUdp, QStringLiteral("Wait"), s.wait);
    ini.setInt(secSort, QStringLiteral("type"), s.sortType);
    ini.setBool(secOptions, QStringLiteral("Use List"), s.useList);
    ini.setBool(secOptions, QStringLiteral("LoadOnStart"), s.loadOnStart);
    ini.setValue(secOptions, QStringLiteral("LoadOnStartFile"), s.loadOnStartFile);
    ini.setBool(secOptions, QStringLiteral("beep"), s.beep);
    ini.setBool(secOptions, QStringLiteral("DiscoverOnStart"), s.discoverOnStart);
    ini.setBool(secOptions, QStringLiteral("TalkL"), s.talkL);
    ini.setBool(secOptions, QStringLiteral("Announce"), s.announce);
    ini.setBool(secOptions, QStringLiteral("TalkP"), s.talkP);
    ini.setBool(secOptions, QStringLiteral("TalkE"), s.talkE);
    ini.setBool(secOptions, QStringLiteral("TalkEP"), s.talkEP);
    ini.setBool(secOptions, QStringLiteral("HundThou"), s.hundThou);
    ini.setInt(secOptions, QStringLiteral("Personality"), s.personality);
    ini.setInt(secOptions, QStringLiteral("FSpeed"), s.fspeed);
    ini.setInt(secOptions, QStringLiteral("MonType"), s.monType);
    ini.setInt(secOptions, QStringLiteral("MonTitle"), s.monTitle);
    ini.setInt(secOptions, QStringLiteral("MonID"), s.monID);
    ini.setInt(secOptions, QStringLiteral("HistTalkCnt"), s.histTalkCnt);
    ini.setBool(secOptions, QStringLiteral("UseRefreshBTN"), s.useRefreshBtn);
    ini.setBool(secOptions, QStringLiteral("AlarmAllRdrs"), s.alarmAllRdrs);
    ini.setValue(secFlash, QStringLiteral("Path"), s.flashPath);
    ini.setValue(secFlash, QStringLiteral("Path Current"), s.flashPathCurrent);

    const TOptions &o = s.options;
    for (const IntKey &key : toneKeys)
        ini.setInt(secOptions, k(key.key), o.*key.field);
    for (const BoolKey &key : optionFlags)
        ini.setBool(secOptions, k(key.key), o.*key.field);
    ini.setValue(secOptions, QStringLiteral("WarnColor"), colorText(o.Warncolor));
    ini.setValue(secOptions, QStringLiteral("CritColor"), colorText(o.CritColor));
}

void writeColorKeys(IniFile &ini, const GridColors &c)
{
    for (const ColorKey &key : colorKeys)
        ini.setValue(secColors, k(key.key), colorText(c.*key.field));
    for (const ColorFlag &key : colorFlags)
        ini.setBool(secColors, k(key.key), c.*key.field);
}

SettingsFile::SettingsFile(Operator &op, const QString &path) : m_op(op), m_ini(path) {}

QString SettingsFile::locate(const QString &programDir, QString *why)
{
    const QFileInfo dir(programDir);
    if (dir.isDir() && dir.isWritable()) {
        if (why)
            *why = QStringLiteral("Settings file beside the program: ");
        return QDir(programDir).filePath(QString::fromLatin1(fileName));
    }
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (why)
        *why = QStringLiteral("Program folder not writable; settings file in the user's config folder: ");
    return QDir(config).filePath(QString::fromLatin1(fileName));
}

bool SettingsFile::read(Settings &s)
{
    QString error;
    m_existed = m_ini.load(&error);
    if (!m_existed && QFileInfo::exists(m_ini.path()))
        m_op.log(QStringLiteral("Cannot read settings file ") + m_ini.path() + QStringLiteral(": ") + error);
    readSettings(m_ini, s);
    return m_existed;
}

bool SettingsFile::save()
{
    const QFileInfo info(m_ini.path());
    if (!info.dir().exists())
        QDir().mkpath(info.absolutePath());
    QString error;
    if (m_ini.save(&error))
        return true;
    m_op.log(QStringLiteral("Cannot write settings file ") + m_ini.path() + QStringLiteral(": ") + error);
    return false;
}

void SettingsFile::writeNow(const QString &section, const QString &key, const QString &value)
{
    m_ini.setValue(section, key, value);
    save();
}

void SettingsFile::writeNow(const QString &section, const QString &key, bool value)
{
    writeNow(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool SettingsFile::writeAtExit(const Settings &s)
{
    writeExitKeys(m_ini, s);
    return save();
}

void SettingsFile::writeColors(const GridColors &c)
{
    writeColorKeys(m_ini, c);
    save();
}

void SettingsFile::writeRRInterval(int value)
{
    writeNow(secOptions, QStringLiteral("RRinterval"), QString::number(value));
}

} // namespace vork
