#pragma once

#include "core/inifile.h"
#include "core/options.h"

#include <QString>

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
    // [Options] the options dialog's values; [Colors]
    TOptions options;
    GridColors colors;
};

// Vork.ini: where it lives, reading it at start-up, writing keys as they
// change and the rest at exit. Every write replaces the file atomically; a
// failed write is logged and never stops the program.
class SettingsFile
{
public:
    static constexpr const char *fileName = "Vork.ini";

    SettingsFile(Operator &op, const QString &path);

    // Beside the program when that folder is writable, else the user's config folder.
    static QString locate(const QString &programDir, QString *why = nullptr);

    QString path() const { return m_ini.path(); }
    // Reads the file into s (defaults where missing); returns whether the file existed.
    bool read(Settings &s);
    bool existed() const { return m_existed; }

    // A key written at the moment it changes.
    void writeNow(const QString &section, const QString &key, const QString &value);
    void writeNow(const QString &section, const QString &key, bool value);
    // Every key written at exit; drops the obsolete "UDPmasks" section.
    bool writeAtExit(const Settings &s);
    // The grid colours window and the report window write their own keys.
    void writeColors(const GridColors &c);
    void writeRRInterval(int value);

    const IniFile &ini() const { return m_ini; }
    IniFile &ini() { return m_ini; }

private:
    bool save();

    Operator &m_op;
    IniFile m_ini;
    bool m_existed = false;
};

// Reads the values of s from ini (defaults stay for missing or malformed keys).
void readSettings(const IniFile &ini, Settings &s);
void writeExitKeys(IniFile &ini, const Settings &s);
void writeColorKeys(IniFile &ini, const GridColors &c);

} // namespace vork
