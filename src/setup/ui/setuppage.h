#pragma once

#include "connection/unitcommands.h"
#include "setup/setupform.h"

#include <QDateTime>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QDialog;
class QPushButton;
class QTabWidget;

namespace vork {

class ConfigSheetPrint;
class ParametersTab;
class SettingsFile;
class SetupDownload;
class SetupPageController;
class TimeZoneTab;
class UnitServices;
struct Settings;
struct udppack;
namespace configsheet {
struct Sheet;
}

// The SETUP page: the "PARAMETERS" and "TIME & TIMEZONE" tabs over one form,
// and the record's way to and from the unit and files.
class SetupPage : public QWidget
{
    Q_OBJECT
public:
    enum Tab { ParametersTabIndex = 0, TimeTabIndex };

    SetupPage(UnitServices &services, SetupPageController &controller, Settings &settings, SettingsFile &settingsFile,
              QWidget *parent = nullptr);
    ~SetupPage() override;

    SetupForm &form() { return m_form; }
    QTabWidget *tabs() const { return m_tabs; }
    ParametersTab *parameters() const { return m_parameters; }
    TimeZoneTab *timeZone() const { return m_time; }
    QPushButton *uploadButton() const { return m_upload; }
    QPushButton *downloadButton() const { return m_download; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *openButton() const { return m_open; }
    QPushButton *eraseButton() const { return m_erase; }
    QPushButton *clearButton() const { return m_clear; }
    // "eH" and "eP": enabled only by a press on the button panel with Shift and Ctrl held.
    QPushButton *eraseHistoryButton() const { return m_eraseHistory; }
    QPushButton *erasePersistentButton() const { return m_erasePersistent; }
    QWidget *buttonPanel() const { return m_buttonPanel; }
    // The configuration sheet: "Preview" and "Print", and the sheet as the page stands.
    QPushButton *previewButton() const { return m_preview; }
    QPushButton *printButton() const { return m_print; }
    ConfigSheetPrint &sheetPrint() const { return *m_sheetPrint; }
    configsheet::Sheet sheet(const QDateTime &now) const;

    // File dialogs: (start folder, proposed name) → chosen path, empty for cancel.
    std::function<QString(const QString &folder, const QString &name)> saveFileName;
    std::function<QString(const QString &folder, const QString &name)> openFileName;
    // How option windows run (modal by default).
    void setDialogRunner(std::function<int(QDialog &)> run);
    // Where the default folders sit (the program's folder unless set).
    void setProgramDir(const QString &dir) { m_programDir = dir; }

    void upload();
    void download();
    void saveFile();
    void openFile();
    void eraseSetup();
    // Empties the form: nothing to download, save or print until a record is shown again.
    void clear();
    void erase(UnitCommands::Erase what);
    void zoneDownload();
    // The unit's record arrived.
    void showRecord(const QByteArray &record, int length);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void opening();
    void modeChanged(bool on);
    void refreshButtons();
    SetupForm::Context context() const;
    udppack *connectedUnit() const;
    bool blankAndTextChecks();
    // The password prompt against what the unit itself holds, whatever file is on show.
    bool unitEditAllowed();

    UnitServices &m_services;
    SetupForm m_form;
    std::unique_ptr<SetupDownload> m_downloader;
    QTabWidget *m_tabs;
    ParametersTab *m_parameters;
    TimeZoneTab *m_time;
    QPushButton *m_upload, *m_download, *m_save, *m_open, *m_erase;
    QPushButton *m_eraseHistory, *m_erasePersistent, *m_clear;
    QPushButton *m_preview, *m_print;
    ConfigSheetPrint *m_sheetPrint;
    QString m_openedFile; // the configuration file on show, until a unit's record replaces it
    QWidget *m_buttonPanel;
    QString m_programDir;
    QString m_saveFolder;
    QString m_openFolder;
    bool m_inSetupMode = false;
    // The record the unit itself last sent or confirmed, and whose it is.
    std::optional<setuppack> m_unitRecord;
    QString m_unitRecordMac;
};

} // namespace vork
