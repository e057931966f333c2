#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace vork {

class ConnectionManager;
class Operator;
class PageRules;
class UnitTable;
struct udppack;

// The one-command actions on the current unit and the unit modes that follow
// the pages: setup mode on the SETUP page, history mode on the HISTORY page.
class UnitCommands : public QObject
{
    Q_OBJECT
public:
    enum class Erase { Setup, History, Persistent };

    UnitCommands(Operator &op, UnitTable &units, ConnectionManager &connection, QObject *parent = nullptr);

    // Plugs the mode changes into the page rules.
    void attach(PageRules &rules);

    bool erase(Erase what);
    bool reboot();
    bool checksum();
    // 'U': the unit answers with its setup record.
    bool uploadSetup();

    bool enterHistoryMode();
    bool leaveHistoryMode();
    bool enterSetupMode();
    bool leaveSetupMode();

    // "Don't ask again." of the checksum question, kept for the run.
    bool checksumDontAsk = false;
    // Set by a setup download that switched DHCP on; cleared by every page change.
    bool dhcpSwitched = false;
    bool setupUploadOption = false;

    // What the pages of later features plug in.
    std::function<bool()> passwordCheck;          // the unit password; false when cancelled
    std::function<void()> clearSetupEditor;
    std::function<void(bool enabled)> timeButtonsEnabled;
    std::function<void(bool show)> showFirewallBox;
    std::function<void()> selectParametersTab;
    std::function<void()> loadAdvancedDefaults;
    std::function<void()> showDiscoveryPage;
    std::function<void()> fullDiscovery;
    std::function<void(const QString &ip)> unicastDiscovery;

    static QString eraseQuestion(Erase what);
    static QString rebootQuestion(const QString &address);
    static QString checksumQuestion();

private:
    udppack *connectedCurrent() const;

    Operator &m_op;
    UnitTable &m_units;
    ConnectionManager &m_connection;
};

// The address text inside a setup record (offset 24, 16 bytes), or empty.
QString setupRecordIp(const QByteArray &record);

} // namespace vork
