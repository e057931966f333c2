#pragma once

#include "core/options.h"
#include "core/tones.h"

#include <QColor>
#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace vork {

// The main window's own toggles that the options dialog edits together with TOptions.
struct MainToggles
{
    bool beep = false;            // "Event feedback beep on/off toggle"
    bool autoDiscover = false;    // "Auto Discover Units on Start"
    bool useList = false;         // "Use List of IP address to search"
    bool loadListOnStart = false; // "Load List on startup"
    QString listFile;             // the start-up list file

    // What the main window takes back after Done.
    static MainToggles fromOptions(const TOptions &options);
};

// The "General", "Sounds" and "Warnings" options. One instance lives with the
// main window and is reused; every run binds it to the caller's TOptions, which
// only Done writes.
class OptionsDialog : public QDialog
{
    Q_OBJECT
public:
    // Returns the chosen file, or an empty text when the operator cancels.
    using ListChooser = std::function<QString(QWidget *parent, const QString &current)>;
    // Returns the chosen colour, or an invalid colour when the operator cancels.
    using ColorChooser = std::function<QColor(QWidget *parent, const QColor &initial, const QString &title)>;

    enum TabIndex { GeneralTab = 0, SoundsTab = 1, WarningsTab = 2 };

    // preview plays a tone heard from the Sounds tab, with the values being edited.
    OptionsDialog(const QString &mainCaption, Tones &tones, Tones::Player preview, QWidget *parent = nullptr);
    ~OptionsDialog() override;

    // Opens the dialog modally; on Done the controls are in options and the
    // result is QDialog::Accepted. The caller then applies MainToggles::fromOptions.
    int run(TOptions &options, const MainToggles &toggles);

    // The opening step of run() without the modal loop: copies the toggles into
    // options, fills every control and shows "General". Show or exec afterwards.
    void prepare(TOptions &options, const MainToggles &toggles);

    // Defaults: file dialog titled "Select List to Load at Startup", QColorDialog.
    void setListChooser(ListChooser chooser) { m_listChooser = std::move(chooser); }
    void setColorChooser(ColorChooser chooser) { m_colorChooser = std::move(chooser); }

    QTabWidget *tabs() const { return m_tabs; }

    // "Color Themes:" leads somewhere only once its owner handles colorThemesRequested.
    void setColorThemesAvailable(bool available);

Q_SIGNALS:
    // "Color Themes:" was clicked; the grid colours window answers it.
    void colorThemesRequested();
    // A start-up list was picked with "..."; the discovery list loads it.
    void startupListChosen(const QString &file);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void done(int result) override;

private:
    struct ToneRow
    {
        Tone kind;
        QLabel *label;
        int TOptions::*hz;
        int TOptions::*len;
        QSpinBox *hzSpin;
        QSpinBox *lenSpin;
    };

    QWidget *buildGeneral();
    QWidget *buildSounds();
    QWidget *buildWarnings();
    QPushButton *defaultsButton(const QString &objectName);

    void fill(const TOptions &o);
    void collect(TOptions &o) const;
    void collectTones(TOptions &o) const;

    void generalDefaults();
    void soundsDefaults();
    void warningsDefaults();

    void browseList();
    void chooseColor(StoredColor &color, QPushButton *button, const QString &title);
    void showColor(QPushButton *button, StoredColor color);
    void onDone();
    void onCancel();

    Tones &m_tones;
    Tones::Player m_preview;
    ListChooser m_listChooser;
    ColorChooser m_colorChooser;
    TOptions *m_target = nullptr;

    QTabWidget *m_tabs = nullptr;

    QCheckBox *m_autoUpdate = nullptr;
    QCheckBox *m_winTelnet = nullptr;
    QCheckBox *m_feedback = nullptr;
    QCheckBox *m_discoverOnStart = nullptr;
    QCheckBox *m_useList = nullptr;
    QCheckBox *m_loadListOnStart = nullptr;
    QLineEdit *m_listFile = nullptr;
    QPushButton *m_browseList = nullptr;
    QCheckBox *m_displayModelIcon = nullptr;
    QCheckBox *m_setupUpload = nullptr;
    QCheckBox *m_historyUpload = nullptr;
    QLabel *m_resolution = nullptr;

    std::vector<ToneRow> m_toneRows;

    QCheckBox *m_critDate = nullptr;
    QSpinBox *m_timeWarnLow = nullptr;
    QSpinBox *m_timeWarnHigh = nullptr;
    QSpinBox *m_rebootWarn = nullptr;
    QPushButton *m_warnColorButton = nullptr;
    QPushButton *m_critColorButton = nullptr;
    QCheckBox *m_warnFontBlk = nullptr;
    QCheckBox *m_critFontBlk = nullptr;
    StoredColor m_warnColor = 0;
    StoredColor m_critColor = 0;
    QPushButton *m_themes = nullptr;
};

} // namespace vork
