#pragma once

#include "core/inifile.h"
#include "core/options.h"

#include <QString>

#include <limits>
#include <type_traits>
#include <variant>
#include <vector>

namespace vork {

class Operator;

// Every value the program keeps in Vork.ini, with its default.
struct Settings
{
    // [Local Interface]
    QString localInterface;
    // [UDP]
    int localPort = 0;
    int wait = 500;
    // [Sort]
    int sortType = 0;
    // [Options] toggles of the main window
    bool useList = false;
    bool loadOnStart = false;
    QString loadOnStartFile = QStringLiteral("DiscoveryList.txt");
    bool beep = false;
    bool discoverOnStart = false;
    // [Options] spoken announcements, monitor and history choices
    bool talkL = false, announce = false, talkP = true, talkE = false, talkEP = true, hundThou = true;
    int personality = 0;
    int fspeed = 0;
    int monType = 0, monTitle = 0, monID = 0;
    int rrInterval = -1; // taken as 1
    int histTalkCnt = 0;
    bool useRefreshBtn = true, alarmAllRdrs = true;
    // [Flash]
    QString flashPath, flashPathCurrent;
    // [Path]
    QString importDir;
    // [Window] base64 of QWidget::saveGeometry() for the main and the log window
    QString windowGeometry, logGeometry;
    // [Options] the options dialog's values; [Colors]
    TOptions options;
    GridColors colors;
};

// The member a Vork.ini key reads into and writes from.
using SettingField = std::variant<bool Settings::*, int Settings::*, QString Settings::*, bool TOptions::*,
                                  int TOptions::*, StoredColor TOptions::*, bool GridColors::*,
                                  StoredColor GridColors::*>;

// One Vork.ini key. Reading, writing at exit, writing on change and the range
// checks all go through these rows, so a key is spelled in one place.
struct SettingRow
{
    // Most keys are written at exit; a few are written by whoever changes them,
    // the moment they change, and left alone at exit.
    enum Written { AtExit, WhenChanged };
    // A text that must be base64 reads as empty when it is not.
    enum Format { Plain, Base64 };

    const char *section;
    const char *key;
    SettingField field;
    Written written = AtExit;
    // Integers outside [min, max] read as the member's default.
    int min = std::numeric_limits<int>::min();
    int max = std::numeric_limits<int>::max();
    Format format = Plain;
};

// Every key, in the order a new file lists them.
const std::vector<SettingRow> &settingRows();
// The row of a member; nullptr for a member Vork.ini does not keep.
const SettingRow *findSettingRow(const SettingField &field);

// The member a pointer names inside s (s may be const).
template<class S, class T, class Owner>
auto &settingRef(S &s, T Owner::*member)
{
    static_assert(std::is_same_v<std::remove_const_t<S>, Settings>);
    if constexpr (std::is_same_v<Owner, Settings>)
        return s.*member;
    else if constexpr (std::is_same_v<Owner, TOptions>)
        return s.options.*member;
    else {
        static_assert(std::is_same_v<Owner, GridColors>);
        return s.colors.*member;
    }
}

// Calls fn with a reference to the member field names inside s.
template<class S, class Fn>
decltype(auto) visitSetting(S &s, const SettingField &field, Fn &&fn)
{
    return std::visit([&](auto member) -> decltype(auto) { return fn(settingRef(s, member)); }, field);
}

// The text Vork.ini holds for a value: integers in decimal, flags as 1 or 0,
// colours without their top byte.
QString settingText(bool value);
QString settingText(int value);
QString settingText(StoredColor value);
QString settingText(const QString &value);

// Vork.ini: where it lives, reading it at start-up, writing keys as they
// change and the rest at exit. Every write replaces the file atomically; a
// failed write is logged and never stops the program. A file that could not
// be read as a settings file is never written over: it is kept as it is and
// this run's settings go beside it, to "<name>.new".
class SettingsFile
{
public:
    static constexpr const char *fileName = "Vork.ini";

    SettingsFile(Operator &op, const QString &path);

    // Beside the program when that folder is writable, else the user's config folder.
    static QString locate(const QString &programDir, QString *why = nullptr);

    QString path() const { return m_ini.path(); }
    // Where writes go: path(), or path() + ".new" when the file is kept.
    QString writePath() const { return m_writePath; }
    bool kept() const { return m_writePath != m_ini.path(); }
    // Reads the file into s (defaults where missing); returns whether the file existed.
    bool read(Settings &s);
    bool existed() const { return m_existed; }

    // A key written at the moment it changes.
    void writeNow(const QString &section, const QString &key, const QString &value);
    void writeNow(const QString &section, const QString &key, bool value);
    // The same through the key table: writeNow(&Settings::beep, on). False, and
    // nothing written, for a member the table does not keep or a failed write.
    template<class Owner, class T>
    bool writeNow(T Owner::*member, const std::type_identity_t<T> &value)
    {
        return writeRow(findSettingRow(SettingField(member)), settingText(value));
    }
    // Every key written at exit; drops the obsolete "UDPmasks" section.
    bool writeAtExit(const Settings &s);
    // The grid colours window and the report window write their own keys.
    void writeColors(const GridColors &c);
    void writeRRInterval(int value);

    const IniFile &ini() const { return m_ini; }
    IniFile &ini() { return m_ini; }

private:
    bool save();
    bool writeRow(const SettingRow *row, const QString &text);

    Operator &m_op;
    IniFile m_ini;
    QString m_writePath;
    bool m_existed = false;
};

// Reads the values of s from ini (defaults stay for missing or malformed keys).
// A value outside its row's range, or text that is not base64 where it must
// be, adds one line to notes.
void readSettings(const IniFile &ini, Settings &s, QStringList *notes = nullptr);
// The rows written at exit; drops the obsolete "UDPmasks" section.
void writeExitKeys(IniFile &ini, const Settings &s);
// The [Colors] rows.
void writeColorKeys(IniFile &ini, const GridColors &c);

} // namespace vork
