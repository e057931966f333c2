#pragma once

#include "flash/flashfitness.h"
#include "flash/flashrun.h"
#include "flash/ui/flashbutton.h"

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableView;

namespace vork {

class FlashLogPane;
class FlashPageController;
class FlashProgressModel;
class FlashUnitModel;
class HexImageModel;
class SettingsFile;
class UnitServices;
struct ImageOpenResult;
struct Settings;

// The FLASH page: the image opened and checked, the units to flash, the flash
// button picture, the run's progress, phases, statistics and outcome. The run does
// the talking; the page starts it and shows what it reports.
class FlashPage : public QWidget
{
    Q_OBJECT
public:
    // Lower tabs, in order.
    enum Tab { ProgressTab = 0, SummaryTab, HexFileTab };
    // Phase indicators, in order.
    enum Indicator { ErasingIndicator = 0, DownloadingIndicator, RebootingIndicator };

    FlashPage(UnitServices &services, FlashPageController &controller, Settings &settings, SettingsFile &settingsFile,
              QWidget *parent = nullptr);
    ~FlashPage() override;

    static QString searchingPanelText();
    static QString phaseText(int indicator);
    // Shown while a run keeps the page.
    static QString leaveRefusalText();

    // Where "Open " asks for the file (the start folder given); empty: cancelled.
    std::function<QString(const QString &startDir)> chooseHexFile;
    // The "Flash" dialog of a boot-loader flash.
    std::function<bool(BootLoaderChoice &)> chooseBootLoader;
    // The pause that lets the operator read the search's verdict.
    void setOpenPauseMs(int ms) { m_openPauseMs = ms; }

    // "Open ": the file dialog, then openFile.
    void openClicked();
    // Searches, verifies and loads a file as the image of the next run.
    void openFile(const QString &path);
    // A run in the given mode over the selected units (the picture's click).
    void startFlash(FlashMode mode);

    FlashRun &run() const { return m_run; }
    FlashButton *flashButton() const { return m_button; }
    QPushButton *openButton() const { return m_open; }
    QPushButton *abortButton() const { return m_abort; }
    QComboBox *speedChoice() const { return m_speed; }
    QCheckBox *dontRebootBox() const { return m_dontReboot; }
    QProgressBar *progressBar() const { return m_progress; }
    QLabel *percentLabel() const { return m_percent; }
    QLineEdit *timeField() const { return m_time; }
    QLineEdit *rateField() const { return m_rate; }
    QLineEdit *bytesField() const { return m_bytes; }
    QLineEdit *buildField() const { return m_build; }
    QLineEdit *lineCountField() const { return m_lineCount; }
    QLabel *notesLabel() const { return m_notes; }
    QLabel *refusalLabel() const { return m_refusal; }
    // The indicator's caption; its frame (the caption's parent) is shown or hidden.
    QLabel *phaseLabel(int indicator) const { return m_phaseText[std::size_t(indicator)]; }
    // The indicator shown now, -1 for none.
    int shownPhase() const;
    QTabWidget *tabs() const { return m_tabs; }
    QTableView *unitGrid() const { return m_unitGrid; }
    QTableView *progressGrid() const { return m_progressGrid; }
    QTableView *imageView() const { return m_imageView; }
    FlashLogPane *logPane() const { return m_log; }
    FlashUnitModel &unitModel() const { return *m_unitModel; }
    FlashProgressModel &progressModel() const { return *m_progressModel; }
    HexImageModel &imageModel() const { return *m_imageModel; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildControls();
    QWidget *buildStatus();
    void wire();
    void followRunning(bool running);
    void showPhase(FlashRun::Phase phase);
    void showProgress(int done, int total);
    void resetProgress();
    void showLoaded(const ImageOpenResult &result);
    FlashButton::State idleState() const;

    UnitServices &m_services;
    FlashPageController &m_controller;
    FlashRun &m_run;
    Settings &m_settings;
    SettingsFile &m_settingsFile;
    int m_openPauseMs = 1000;
    FlashRun::Phase m_phase = FlashRun::Phase::None;

    FlashButton *m_button = nullptr;
    QPushButton *m_open = nullptr;
    QPushButton *m_abort = nullptr;
    QComboBox *m_speed = nullptr;
    QCheckBox *m_dontReboot = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_percent = nullptr;
    QLineEdit *m_time = nullptr;
    QLineEdit *m_rate = nullptr;
    QLineEdit *m_bytes = nullptr;
    QLineEdit *m_build = nullptr;
    QLineEdit *m_lineCount = nullptr;
    QLabel *m_notes = nullptr;
    QLabel *m_refusal = nullptr;
    std::array<QWidget *, 3> m_phaseFrame{};
    std::array<QLabel *, 3> m_phaseText{};
    QTabWidget *m_tabs = nullptr;
    QTableView *m_unitGrid = nullptr;
    QTableView *m_progressGrid = nullptr;
    QTableView *m_imageView = nullptr;
    FlashLogPane *m_log = nullptr;
    FlashUnitModel *m_unitModel = nullptr;
    FlashProgressModel *m_progressModel = nullptr;
    HexImageModel *m_imageModel = nullptr;
};

} // namespace vork
