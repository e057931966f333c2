#include "app/ui/optionsdialog.h"

#include "core/ui/colors.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vork {

namespace {

// The same limits the settings file is read with.
using optionlimits::maxHz;
using optionlimits::maxMs;
using optionlimits::maxWarn;

QString latin(const char *text) { return QString::fromLatin1(text); }

QCheckBox *checkBox(QWidget *parent, const char *caption, const char *name)
{
    auto *box = new QCheckBox(latin(caption), parent);
    box->setObjectName(latin(name));
    return box;
}

QSpinBox *spinBox(QWidget *parent, int max, const QString &name)
{
    auto *spin = new QSpinBox(parent);
    spin->setRange(0, max);
    spin->setObjectName(name);
    return spin;
}

} // namespace

MainToggles MainToggles::fromOptions(const TOptions &options)
{
    return {options.Feedback, options.DiscoverOnStart, options.UseList, options.LoadListOnStart,
            options.DiscoveryList};
}

OptionsDialog::OptionsDialog(const QString &mainCaption, Tones &tones, Tones::Player preview, QWidget *parent)
    : QDialog(parent)
    , m_tones(tones)
    , m_preview(std::move(preview))
{
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowTitle(mainCaption + QStringLiteral(" Options"));

    m_listChooser = [](QWidget *owner, const QString &current) {
        return QFileDialog::getOpenFileName(owner, QStringLiteral("Select List to Load at Startup"), current,
                                            QStringLiteral("Discovery List (*.txt *.TXT)"));
    };
    m_colorChooser = [](QWidget *owner, const QColor &initial, const QString &title) {
        return QColorDialog::getColor(initial, owner, title);
    };

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("optionTabs"));
    m_tabs->addTab(buildGeneral(), QStringLiteral("General"));
    m_tabs->addTab(buildSounds(), QStringLiteral("Sounds"));
    m_tabs->addTab(buildWarnings(), QStringLiteral("Warnings"));
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] { m_tones.play(Tone::Button); });

    auto *done = new QPushButton(QStringLiteral("Done"), this);
    done->setObjectName(QStringLiteral("done"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &OptionsDialog::onDone);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &OptionsDialog::onCancel);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(done);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);
}

OptionsDialog::~OptionsDialog() = default;

QPushButton *OptionsDialog::defaultsButton(const QString &objectName)
{
    auto *button = new QPushButton(QStringLiteral("Defaults"));
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    return button;
}

QWidget *OptionsDialog::buildGeneral()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("generalPage"));
    m_autoUpdate = checkBox(page, "Automatically Check for Updates on Startup", "autoUpdate");
    m_winTelnet = checkBox(page, "Use Windows Telnet", "winTelnet");
    m_feedback = checkBox(page, "Click feedback beep", "feedback");
    m_discoverOnStart = checkBox(page, "Discover Vork units on startup", "discoverOnStart");
    m_useList = checkBox(page, "Use discovery list", "useList");
    m_loadListOnStart = checkBox(page, "Load discovery list on startup", "loadListOnStart");
    m_displayModelIcon = checkBox(page, "Display model icon", "displayModelIcon");
    m_setupUpload = checkBox(page, " Setup Upload", "setupUpload");
    m_historyUpload = checkBox(page, "History Upload", "historyUpload");

    m_listFile = new QLineEdit(page);
    m_listFile->setObjectName(QStringLiteral("discoveryList"));
    m_browseList = new QPushButton(QStringLiteral("..."), page);
    m_browseList->setObjectName(QStringLiteral("browseList"));
    m_browseList->setAutoDefault(false);
    auto *listLabel = new QLabel(QStringLiteral("Discovery List:"), page);
    listLabel->setBuddy(m_listFile);

    auto *themes = new QPushButton(QStringLiteral("Color Themes:"), page);
    themes->setObjectName(QStringLiteral("colorThemes"));
    themes->setAutoDefault(false);
    themes->setEnabled(false); // until the grid colours window is wired in
    m_themes = themes;

    m_resolution = new QLabel(page);
    m_resolution->setObjectName(QStringLiteral("screenResolution"));

    auto *list = new QHBoxLayout;
    list->addWidget(listLabel);
    list->addWidget(m_listFile, 1);
    list->addWidget(m_browseList);

    auto *defaults = defaultsButton(QStringLiteral("defaultsGeneral"));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(themes);
    bottom->addStretch();
    bottom->addWidget(m_resolution);
    bottom->addStretch();
    bottom->addWidget(defaults);

    auto *layout = new QVBoxLayout(page);
    for (QCheckBox *box : {m_autoUpdate, m_winTelnet, m_feedback, m_discoverOnStart, m_useList, m_loadListOnStart})
        layout->addWidget(box);
    layout->addLayout(list);
    for (QCheckBox *box : {m_displayModelIcon, m_setupUpload, m_historyUpload})
        layout->addWidget(box);
    layout->addStretch();
    layout->addLayout(bottom);

    connect(m_feedback, &QCheckBox::toggled, this, [this](bool on) { m_tabs->setTabVisible(SoundsTab, on); });
    connect(m_loadListOnStart, &QCheckBox::toggled, this, [this](bool on) {
        m_listFile->setEnabled(on);
        m_browseList->setEnabled(on);
    });
    connect(m_browseList, &QPushButton::clicked, this, &OptionsDialog::browseList);
    connect(themes, &QPushButton::clicked, this, &OptionsDialog::colorThemesRequested);
    connect(defaults, &QPushButton::clicked, this, &OptionsDialog::generalDefaults);
    return page;
}

QWidget *OptionsDialog::buildSounds()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("soundsPage"));
    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Frequency (Hz)"), page), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Length (ms)"), page), 0, 2);

    int row = 1;
    for (const ToneInfo &t : toneTable) {
        auto *label = new QLabel(latin(t.caption), page);
        label->setObjectName(QStringLiteral("toneLabel%1").arg(static_cast<int>(t.kind)));
        label->setToolTip(QStringLiteral("Click to hear this tone, double-click to restore its frequency"));
        label->setCursor(Qt::PointingHandCursor);
        label->installEventFilter(this);
        auto *hz = spinBox(page, maxHz, latin(t.hzName));
        connect(hz, &QSpinBox::valueChanged, this, [this] { m_tones.play(Tone::KeyClick); });

        QSpinBox *len = nullptr;
        for (const ToneRow &earlier : m_toneRows) {
            if (earlier.len == t.len)
                len = earlier.lenSpin;
        }
        if (len) {
            // The shared length spans the rows of both ping tones.
            grid->removeWidget(len);
            grid->addWidget(len, row - 1, 2, 2, 1);
        } else {
            len = spinBox(page, maxMs, latin(t.lenName));
            connect(len, &QSpinBox::valueChanged, this, [this] { m_tones.play(Tone::KeyClick); });
            grid->addWidget(len, row, 2);
        }
        grid->addWidget(label, row, 0);
        grid->addWidget(hz, row, 1);
        m_toneRows.push_back({t.kind, label, t.hz, t.len, hz, len});
        ++row;
    }

    auto *defaults = defaultsButton(QStringLiteral("defaultsSounds"));
    connect(defaults, &QPushButton::clicked, this, &OptionsDialog::soundsDefaults);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(defaults);

    auto *layout = new QVBoxLayout(page);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(bottom);
    return page;
}

QWidget *OptionsDialog::buildWarnings()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("warningsPage"));
    m_critDate = checkBox(page, "Display as Critical when date is incorrect", "critDate");
    m_timeWarnLow = spinBox(page, maxWarn, QStringLiteral("timeWarnLow"));
    m_timeWarnHigh = spinBox(page, maxWarn, QStringLiteral("timeWarnHigh"));
    m_rebootWarn = spinBox(page, maxWarn, QStringLiteral("rebootWarn"));
    m_warnColorButton = new QPushButton(QStringLiteral("Warning Color"), page);
    m_warnColorButton->setObjectName(QStringLiteral("warnColor"));
    m_warnColorButton->setAutoDefault(false);
    m_critColorButton = new QPushButton(QStringLiteral("Critical Color"), page);
    m_critColorButton->setObjectName(QStringLiteral("critColor"));
    m_critColorButton->setAutoDefault(false);
    m_warnFontBlk = checkBox(page, "Make warning font color black", "warnFontBlk");
    m_critFontBlk = checkBox(page, "Make critical font color black", "critFontBlk");

    auto *time = new QHBoxLayout;
    time->addWidget(new QLabel(QStringLiteral("Time warning:"), page));
    time->addWidget(new QLabel(QStringLiteral("Between"), page));
    time->addWidget(m_timeWarnLow);
    time->addWidget(new QLabel(QStringLiteral("and"), page));
    time->addWidget(m_timeWarnHigh);
    time->addWidget(new QLabel(QStringLiteral("Minutes"), page));
    time->addStretch();

    auto *reboot = new QHBoxLayout;
    reboot->addWidget(new QLabel(QStringLiteral("Reboot warning within"), page));
    reboot->addWidget(m_rebootWarn);
    reboot->addWidget(new QLabel(QStringLiteral("Hours"), page));
    reboot->addStretch();

    auto *colors = new QGridLayout;
    colors->addWidget(m_warnColorButton, 0, 0);
    colors->addWidget(m_warnFontBlk, 0, 1);
    colors->addWidget(m_critColorButton, 1, 0);
    colors->addWidget(m_critFontBlk, 1, 1);

    auto *defaults = defaultsButton(QStringLiteral("defaultsWarnings"));
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(defaults);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(m_critDate);
    layout->addLayout(time);
    layout->addLayout(reboot);
    layout->addLayout(colors);
    layout->addStretch();
    layout->addLayout(bottom);

    connect(m_warnColorButton, &QPushButton::clicked, this,
            [this] { chooseColor(m_warnColor, m_warnColorButton, QStringLiteral("Warning Color")); });
    connect(m_critColorButton, &QPushButton::clicked, this,
            [this] { chooseColor(m_critColor, m_critColorButton, QStringLiteral("Critical Color")); });
    connect(defaults, &QPushButton::clicked, this, &OptionsDialog::warningsDefaults);
    return page;
}

int OptionsDialog::run(TOptions &options, const MainToggles &toggles)
{
    prepare(options, toggles);
    return exec();
}

void OptionsDialog::prepare(TOptions &options, const MainToggles &toggles)
{
    m_target = &options;
    m_tones.play(Tone::Button);
    {
        // Filling moves every spin box; none of that should click.
        MuteScope mute(m_tones);
        options.Feedback = toggles.beep;
        options.DiscoverOnStart = toggles.autoDiscover;
        options.UseList = toggles.useList;
        options.LoadListOnStart = toggles.loadListOnStart;
        options.DiscoveryList = toggles.listFile;
        fill(options);
        const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
        const int dpi = s ? qRound(s->logicalDotsPerInch()) : 96;
        m_resolution->setText(QStringLiteral("Screen Resolution: 96/") + QString::number(dpi));
    }
    // Choosing the page ourselves is not an operator's tab change: no tone.
    const QSignalBlocker quiet(m_tabs);
    m_tabs->setCurrentIndex(GeneralTab);
}

void OptionsDialog::fill(const TOptions &o)
{
    m_autoUpdate->setChecked(o.AutoUpdate);
    m_winTelnet->setChecked(o.WinTelnet);
    m_feedback->setChecked(o.Feedback);
    m_discoverOnStart->setChecked(o.DiscoverOnStart);
    m_useList->setChecked(o.UseList);
    m_loadListOnStart->setChecked(o.LoadListOnStart);
    m_listFile->setText(o.DiscoveryList);
    m_displayModelIcon->setChecked(o.DisplayModelIcon);
    m_setupUpload->setChecked(o.SetupUpload);
    m_historyUpload->setChecked(o.HistoryUpload);
    // toggled() does not fire when a box keeps its state, so set the dependants here.
    m_tabs->setTabVisible(SoundsTab, o.Feedback);
    m_listFile->setEnabled(o.LoadListOnStart);
    m_browseList->setEnabled(o.LoadListOnStart);

    for (const ToneRow &r : m_toneRows) {
        r.hzSpin->setValue(o.*r.hz);
        r.lenSpin->setValue(o.*r.len);
    }

    m_critDate->setChecked(o.CritDate);
    m_timeWarnLow->setValue(o.TimeWarnLow);
    m_timeWarnHigh->setValue(o.TimeWarnHigh);
    m_rebootWarn->setValue(o.RebootWarn);
    m_warnFontBlk->setChecked(o.WarnFontBlk);
    m_critFontBlk->setChecked(o.CritFontBlk);
    m_warnColor = o.Warncolor;
    m_critColor = o.CritColor;
    showColor(m_warnColorButton, m_warnColor);
    showColor(m_critColorButton, m_critColor);
}

void OptionsDialog::collectTones(TOptions &o) const
{
    for (const ToneRow &r : m_toneRows) {
        o.*r.hz = r.hzSpin->value();
        o.*r.len = r.lenSpin->value();
    }
}

void OptionsDialog::collect(TOptions &o) const
{
    o.AutoUpdate = m_autoUpdate->isChecked();
    o.WinTelnet = m_winTelnet->isChecked();
    o.Feedback = m_feedback->isChecked();
    o.DiscoverOnStart = m_discoverOnStart->isChecked();
    o.UseList = m_useList->isChecked();
    o.LoadListOnStart = m_loadListOnStart->isChecked();
    o.DiscoveryList = m_listFile->text();
    o.DisplayModelIcon = m_displayModelIcon->isChecked();
    o.SetupUpload = m_setupUpload->isChecked();
    o.HistoryUpload = m_historyUpload->isChecked();

    collectTones(o);

    o.CritDate = m_critDate->isChecked();
    o.TimeWarnLow = m_timeWarnLow->value();
    o.TimeWarnHigh = m_timeWarnHigh->value();
    o.RebootWarn = m_rebootWarn->value();
    o.WarnFontBlk = m_warnFontBlk->isChecked();
    o.CritFontBlk = m_critFontBlk->isChecked();
    o.Warncolor = m_warnColor;
    o.CritColor = m_critColor;
}

void OptionsDialog::generalDefaults()
{
    for (QCheckBox *box : {m_autoUpdate, m_winTelnet, m_feedback, m_useList, m_loadListOnStart, m_setupUpload,
                           m_historyUpload})
        box->setChecked(false);
    m_discoverOnStart->setChecked(true);
    m_displayModelIcon->setChecked(true);
    m_listFile->clear();
}

void OptionsDialog::soundsDefaults()
{
    // Nineteen spin boxes move at once; one key click each would be a rattle.
    MuteScope mute(m_tones);
    const TOptions defaults;
    for (const ToneRow &r : m_toneRows) {
        r.hzSpin->setValue(defaults.*r.hz);
        r.lenSpin->setValue(defaults.*r.len);
    }
}

void OptionsDialog::warningsDefaults()
{
    m_timeWarnLow->setValue(5);
    m_timeWarnHigh->setValue(30);
    m_rebootWarn->setValue(24);
    m_critDate->setChecked(true);
    m_warnFontBlk->setChecked(true);
    m_critFontBlk->setChecked(true);
    m_warnColor = 65535; // yellow
    m_critColor = 255;   // red
    showColor(m_warnColorButton, m_warnColor);
    showColor(m_critColorButton, m_critColor);
}

void OptionsDialog::browseList()
{
    if (!m_listChooser)
        return;
    const QString file = m_listChooser(this, m_listFile->text());
    if (file.isEmpty())
        return;
    m_listFile->setText(file);
    Q_EMIT startupListChosen(file);
}

void OptionsDialog::chooseColor(StoredColor &color, QPushButton *button, const QString &title)
{
    if (!m_colorChooser)
        return;
    const QColor chosen = m_colorChooser(this, toQColor(color), title);
    if (!chosen.isValid())
        return;
    color = fromQColor(chosen);
    showColor(button, color);
}

void OptionsDialog::showColor(QPushButton *button, StoredColor color)
{
    QPixmap swatch(16, 16);
    swatch.fill(toQColor(color));
    button->setIcon(QIcon(swatch));
}

bool OptionsDialog::eventFilter(QObject *watched, QEvent *event)
{
    const bool press = event->type() == QEvent::MouseButtonPress;
    const bool dclick = event->type() == QEvent::MouseButtonDblClick;
    if ((press || dclick) && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        for (const ToneRow &r : m_toneRows) {
            if (r.label != watched)
                continue;
            if (press) {
                // The operator asked to hear it: forced past the beep toggle and
                // the mute, with the values as they stand in the spin boxes.
                TOptions edited;
                collectTones(edited);
                Tones(edited, m_preview).play(r.kind, true);
            } else {
                r.hzSpin->setValue(TOptions{}.*r.hz);
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void OptionsDialog::onDone()
{
    m_tones.play(Tone::Button);
    if (m_target)
        collect(*m_target);
    accept();
}

void OptionsDialog::onCancel()
{
    m_tones.play(Tone::Button);
    reject();
}

void OptionsDialog::done(int result)
{
    m_target = nullptr;
    QDialog::done(result);
}

void OptionsDialog::setColorThemesAvailable(bool available)
{
    m_themes->setEnabled(available);
}

} // namespace vork
