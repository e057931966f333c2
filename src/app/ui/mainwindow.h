#pragma once

#include "core/options.h"
#include "services/pagerules.h"
#include "core/settings.h"
#include "app/startoptions.h"
#include "core/tones.h"
#include "unit/unitrules.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <vector>

class QPushButton;
class QTabWidget;
class QToolButton;

namespace vork {

class ConnectionManager;
class DiscoverPage;
class PageController;
class UnitServices;
class IcmpPinger;
class InterfaceSelector;
class PingTool;
class TelnetLogin;
class TelnetTools;
class Pinger;
class UnitCommands;
class DiscoveryCycle;
class GuiOperator;
class LogWindow;
class OptionsDialog;
class PageControl;
class TBroadcast;
class TonePlayer;
class UnitTable;

// The frame of the program: the seven pages, the status bar, the settings,
// tones, log and options, and the order of start-up and shutdown.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr const char *caption = "Brivella Utility";
    static constexpr int narrowWidth = 965;
    // The smallest the window gets: room for the list, the bottom panel and the status bar.
    static constexpr int minimumWidth = 640;
    static constexpr int minimumHeight = 420;

    // programDir: where Vork.ini lives unless start names a settings file of its own.
    MainWindow(const StartOptions &start, const QString &programDir, QWidget *parent = nullptr);
    ~MainWindow() override;

    GuiOperator &op() { return *m_op; }
    UnitServices &services() { return *m_services; }
    TBroadcast &transport();
    UnitTable &units();
    DiscoveryCycle &cycle();
    ConnectionManager &connection();
    UnitCommands &unitCommands();
    PingTool &pingTool() { return *m_pingTool; }
    QPushButton *disconnectButton() const { return m_disconnect; }
    QPushButton *rebootButton() const { return m_reboot; }
    QPushButton *checksumButton() const { return m_checksum; }
    InterfaceSelector *interfaceSelector() const { return m_interfaceSelector; }
    PageRules &pageRules() { return *m_pageRules; }
    PageControl *pages() const { return m_pages; }
    QTabWidget *discoverTabs() const { return m_discoverTabs; }
    DiscoverPage *discoverPage() const { return m_discoverPage; }
    LogWindow *logWindow() const { return m_log; }
    OptionsDialog *optionsDialog() const { return m_optionsDialog; }
    QToolButton *beepToggle() const { return m_beep; }
    QToolButton *logButton() const { return m_logButton; }
    QToolButton *optionsButton() const { return m_optionsButton; }
    TOptions &options() { return m_settings.options; }
    const Settings &settings() const { return m_settings; }
    SettingsFile &settingsFile() { return *m_settingsFile; }
    Tones &tones() { return *m_tones; }
    bool firstActivationDone() const { return m_activated; }

    // Replaces the ICMP echo used before connecting (a scripted one in tests).
    void setPinger(std::unique_ptr<Pinger> pinger);

    // Opens the options dialog and applies it on Done.
    void openOptions();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildPages();
    void fitScreen();
    void restoreGeometries();
    void buildCorner();
    void buildConnection();
    QWidget *buildUnitBar();
    void gridCommand(int command, const QString &ip);
    // A command of the unit list's menu that goes by datagram; false for any other.
    bool datagramCommand(int command, const QString &ip);
    void readSettings(const QString &programDir, const StartOptions &start);
    void applySettings(const StartOptions &start);
    void firstActivation();
    void setUseList(bool on, bool write);
    void setBeep(bool on, bool write);
    void sendToTargets(const QByteArray &query);
    void updateUnitActions();
    void pageChanged(int index);
    void discoverTabChanged(int index);
    void applyColumnRule();
    Settings collectExitSettings() const;

    GuiOperator *m_op;
    std::unique_ptr<Tones> m_tones;
    TonePlayer *m_tonePlayer;
    Settings m_settings;
    std::unique_ptr<SettingsFile> m_settingsFile;
    UnitServices *m_services;
    std::unique_ptr<Pinger> m_pinger; // the operator's own pings always use ICMP
    PingTool *m_pingTool;
    TelnetLogin *m_telnetLogin;
    TelnetTools *m_telnetTools;
    std::vector<std::unique_ptr<PageController>> m_controllers;
    bool m_anyConnected = false;
    QPushButton *m_disconnect;
    QPushButton *m_reboot;
    QPushButton *m_checksum;
    InterfaceSelector *m_interfaceSelector = nullptr;
    std::unique_ptr<PageRules> m_pageRules;
    PageControl *m_pages;
    QTabWidget *m_discoverTabs;
    DiscoverPage *m_discoverPage;
    LogWindow *m_log;
    OptionsDialog *m_optionsDialog;
    QToolButton *m_beep;
    QToolButton *m_logButton;
    QToolButton *m_optionsButton;
    QStringList m_targets;
    QStringList m_interfaces;
    int m_currentPage = 0;
    bool m_forcingPage = false;
    bool m_activated = false;
};

} // namespace vork
