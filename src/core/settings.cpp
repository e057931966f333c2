#include "core/settings.h"

#include "core/operator.h"
#include "core/tones.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <functional>

namespace vork {

namespace {

constexpr auto whenChanged = SettingRow::WhenChanged;
constexpr auto atExit = SettingRow::AtExit;

std::vector<SettingRow> buildRows()
{
    using S = Settings;
    using O = TOptions;
    using C = GridColors;
    std::vector<SettingRow> rows = {
        {"Local Interface", "IPAddress", &S::localInterface, whenChanged},
        {"UDP", "LocalPort", &S::localPort, SettingRow::AtExit, 0, 65535},
        {"UDP", "Wait", &S::wait, SettingRow::AtExit, 1, 60000},
        {"Sort", "type", &S::sortType, SettingRow::AtExit, 0, 7},
        {"Options", "Use List", &S::useList},
        {"Options", "LoadOnStart", &S::loadOnStart},
        {"Options", "LoadOnStartFile", &S::loadOnStartFile},
        {"Options", "beep", &S::beep},
        {"Options", "DiscoverOnStart", &S::discoverOnStart},
        {"Options", "TalkL", &S::talkL},
        {"Options", "Announce", &S::announce},
        {"Options", "TalkP", &S::talkP},
        {"Options", "TalkE", &S::talkE},
        {"Options", "TalkEP", &S::talkEP},
        {"Options", "HundThou", &S::hundThou},
        {"Options", "Personality", &S::personality},
        {"Options", "FSpeed", &S::fspeed},
        {"Options", "MonType", &S::monType},
        {"Options", "MonTitle", &S::monTitle},
        {"Options", "MonID", &S::monID},
        {"Options", "RRinterval", &S::rrInterval, whenChanged}, // the report window's
        {"Options", "HistTalkCnt", &S::histTalkCnt},
        {"Options", "UseRefreshBTN", &S::useRefreshBtn},
        {"Options", "AlarmAllRdrs", &S::alarmAllRdrs},
        {"Flash", "Path", &S::flashPath},
        {"Flash", "Path Current", &S::flashPathCurrent},
        {"Path", "ImportDir", &S::importDir, whenChanged},
    };
    for (const ToneInfo &t : toneTable) {
        rows.push_back({"Options", t.hzKey, t.hz, atExit, 0, optionlimits::maxHz});
        // The ping tones share their length: one key.
        const SettingField len = t.len;
        if (std::none_of(rows.begin(), rows.end(), [&](const SettingRow &r) { return r.field == len; }))
            rows.push_back({"Options", t.lenKey, t.len, atExit, 0, optionlimits::maxMs});
    }
    const std::vector<SettingRow> rest = {
        {"Options", "TimeWarnMin", &O::TimeWarnLow, atExit, 0, optionlimits::maxWarn},
        {"Options", "TimeWarnMax", &O::TimeWarnHigh, atExit, 0, optionlimits::maxWarn},
        {"Options", "RebootWarn", &O::RebootWarn, atExit, 0, optionlimits::maxWarn},
        {"Options", "DateWarn", &O::CritDate},
        {"Options", "WarnFontBlack", &O::WarnFontBlk},
        {"Options", "CritFontBlack", &O::CritFontBlk},
        {"Options", "WinTelnet", &O::WinTelnet},
        {"Options", "ShowModelIcon", &O::DisplayModelIcon},
        {"Options", "UploadSetup", &O::SetupUpload},
        {"Options", "UploadHistory", &O::HistoryUpload},
        {"Options", "AutoUpdate", &O::AutoUpdate},
        {"Options", "WarnColor", &O::Warncolor},
        {"Options", "CritColor", &O::CritColor},
        // The grid colours window writes these itself (writeColors).
        {"Colors", "Grid", &C::Grid, whenChanged},
        {"Colors", "GridFont", &C::GridFont, whenChanged},
        {"Colors", "GridFixed", &C::GridFixed, whenChanged},
        {"Colors", "GridFixedFont", &C::GridFixedFont, whenChanged},
        {"Colors", "GridMark", &C::GridMark, whenChanged},
        {"Colors", "ShowBox", &C::ShowBox, whenChanged},
        {"Colors", "GridLines", &C::GridLines, whenChanged},
        {"Colors", "GridHeaderBold", &C::GridHeaderBold, whenChanged},
        {"Colors", "GridHeaderLines", &C::GridHeaderLines, whenChanged},
        {"Colors", "GridBold", &C::GridBold, whenChanged},
        {.section = "Window", .key = "Geometry", .field = &S::windowGeometry, .format = SettingRow::Base64},
        {.section = "Window", .key = "LogGeometry", .field = &S::logGeometry, .format = SettingRow::Base64},
    };
    rows.insert(rows.end(), rest.begin(), rest.end());
    return rows;
}

QString latin(const char *text)
{
    return QString::fromLatin1(text);
}

bool isBase64(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() > 0x7F)
            return false;
    const auto decoded = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    return decoded.decodingStatus == QByteArray::Base64DecodingStatus::Ok;
}

void readRow(const IniFile &ini, const SettingRow &row, Settings &s, QStringList *notes)
{
    const QString section = latin(row.section);
    const QString key = latin(row.key);
    static const Settings defaults;
    const auto note = [&](const QString &text, const QString &why) {
        if (notes)
            *notes << QStringLiteral("Settings: [") + section + QStringLiteral("] ") + key + QLatin1Char('=') + text
                          + QStringLiteral(" ") + why;
    };
    std::visit([&](auto member) {
        auto &value = settingRef(s, member);
        using T = std::remove_reference_t<decltype(value)>;
        if constexpr (std::is_same_v<T, bool>) {
            value = ini.boolValue(section, key, value);
        } else if constexpr (std::is_same_v<T, int>) {
            value = ini.intValue(section, key, value);
            if (value < row.min || value > row.max) {
                value = settingRef(defaults, member);
                note(ini.value(section, key), QStringLiteral("is outside %1 to %2; the default %3 is used")
                                                  .arg(row.min).arg(row.max).arg(value));
            }
        } else if constexpr (std::is_same_v<T, StoredColor>) {
            bool ok = false;
            const qlonglong v = ini.value(section, key).toLongLong(&ok);
            if (ok)
                value = static_cast<StoredColor>(v) & 0x00FFFFFFu;
        } else {
            static_assert(std::is_same_v<T, QString>);
            value = ini.value(section, key, value);
            if (row.format == SettingRow::Base64 && !isBase64(value)) {
                note(value, QStringLiteral("is not base64; it is left empty"));
                value.clear();
            }
        }
    }, row.field);
}

void writeRows(IniFile &ini, const Settings &s, const std::function<bool(const SettingRow &)> &which)
{
    for (const SettingRow &row : settingRows()) {
        if (which(row))
            ini.setValue(latin(row.section), latin(row.key),
                         visitSetting(s, row.field, [](const auto &value) { return settingText(value); }));
    }
}

} // namespace

const std::vector<SettingRow> &settingRows()
{
    static const std::vector<SettingRow> rows = buildRows();
    return rows;
}

const SettingRow *findSettingRow(const SettingField &field)
{
    for (const SettingRow &row : settingRows())
        if (row.field == field)
            return &row;
    return nullptr;
}

QString settingText(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

QString settingText(int value)
{
    return QString::number(value);
}

QString settingText(StoredColor value)
{
    return QString::number(value & 0x00FFFFFFu);
}

QString settingText(const QString &value)
{
    return value;
}

void readSettings(const IniFile &ini, Settings &s, QStringList *notes)
{
    for (const SettingRow &row : settingRows())
        readRow(ini, row, s, notes);
    // The main window's toggles are kept once in the file; the options dialog edits copies.
    TOptions &o = s.options;
    o.Feedback = s.beep;
    o.DiscoverOnStart = s.discoverOnStart;
    o.UseList = s.useList;
    o.LoadListOnStart = s.loadOnStart;
    o.DiscoveryList = s.loadOnStartFile;
}

void writeExitKeys(IniFile &ini, const Settings &s)
{
    ini.removeSection(QStringLiteral("UDPmasks"));
    writeRows(ini, s, [](const SettingRow &row) { return row.written == SettingRow::AtExit; });
}

void writeColorKeys(IniFile &ini, const GridColors &c)
{
    Settings s;
    s.colors = c;
    writeRows(ini, s, [](const SettingRow &row) {
        return std::holds_alternative<StoredColor GridColors::*>(row.field)
            || std::holds_alternative<bool GridColors::*>(row.field);
    });
}

SettingsFile::SettingsFile(Operator &op, const QString &path) : m_op(op), m_ini(path), m_writePath(path) {}

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
    m_writePath = m_ini.path();
    if (m_ini.problem() != IniFile::Problem::None && m_ini.problem() != IniFile::Problem::Missing) {
        // What the user set there may still be in it: the file stays as it is.
        m_writePath = m_ini.path() + QStringLiteral(".new");
        m_op.log(QStringLiteral("Cannot read settings file ") + m_ini.path() + QStringLiteral(": ") + error
                 + QStringLiteral("; it is kept as it is and this run's settings are written to ") + m_writePath);
    }
    QStringList notes;
    readSettings(m_ini, s, &notes);
    for (const QString &line : std::as_const(notes))
        m_op.log(line);
    return m_existed;
}

bool SettingsFile::save()
{
    const QFileInfo info(m_writePath);
    if (!info.dir().exists())
        QDir().mkpath(info.absolutePath());
    QString error;
    if (m_ini.saveAs(m_writePath, &error))
        return true;
    m_op.log(QStringLiteral("Cannot write settings file ") + m_writePath + QStringLiteral(": ") + error);
    return false;
}

void SettingsFile::writeNow(const QString &section, const QString &key, const QString &value)
{
    m_ini.setValue(section, key, value);
    save();
}

void SettingsFile::writeNow(const QString &section, const QString &key, bool value)
{
    writeNow(section, key, settingText(value));
}

bool SettingsFile::writeRow(const SettingRow *row, const QString &text)
{
    if (!row)
        return false;
    m_ini.setValue(latin(row->section), latin(row->key), text);
    return save();
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
    writeNow(&Settings::rrInterval, value);
}

} // namespace vork
