#include "flash/ui/flashpage.h"

#include "connection/operation.h"
#include "core/boundedwait.h"
#include "core/operator.h"
#include "core/settings.h"
#include "flash/flashimage.h"
#include "flash/flashpagecontroller.h"
#include "flash/ui/bootloaderdialog.h"
#include "flash/ui/flashlogpane.h"
#include "flash/ui/flashmodels.h"
#include "flash/ui/flashpictures.h"
#include "services/unitservices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>

namespace vork {

namespace {

QLineEdit *readOnlyField(QWidget *parent, const QString &name)
{
    auto *f = new QLineEdit(parent);
    f->setReadOnly(true);
    f->setAccessibleName(name);
    return f;
}

QTableView *grid(QAbstractItemModel *model, QWidget *parent)
{
    auto *view = new QTableView(parent);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->setVisible(false);
    view->setTabKeyNavigation(false); // Tab leaves the grid; arrows move in it
    return view;
}

} // namespace

FlashPage::FlashPage(UnitServices &services, FlashPageController &controller, Settings &settings,
                     SettingsFile &settingsFile, QWidget *parent)
    : QWidget(parent), m_services(services), m_controller(controller), m_run(controller.run()), m_settings(settings),
      m_settingsFile(settingsFile)
{
    m_unitModel = new FlashUnitModel(services.units(), this);
    m_progressModel = new FlashProgressModel(m_run, settings.colors, this);
    m_imageModel = new HexImageModel(this);

    auto *top = new QHBoxLayout;
    m_button = new FlashButton(services.op(), this);
    top->addWidget(m_button, 0, Qt::AlignTop);
    top->addWidget(buildControls(), 0, Qt::AlignTop);
    top->addWidget(buildStatus(), 1);

    m_unitGrid = grid(m_unitModel, this);
    m_unitGrid->setAccessibleName(QStringLiteral("SVRK Flash List"));
    m_tabs = new QTabWidget(this);
    m_progressGrid = grid(m_progressModel, m_tabs);
    m_progressGrid->setAccessibleName(QStringLiteral("PROGRESS"));
    m_log = new FlashLogPane(services.op(), QCoreApplication::applicationDirPath(), m_tabs);
    m_imageView = grid(m_imageModel, m_tabs);
    m_imageView->setAccessibleName(QStringLiteral("HEX FILE"));
    m_imageView->horizontalHeader()->setStretchLastSection(true);
    m_tabs->addTab(m_progressGrid, QStringLiteral("PROGRESS"));
    m_tabs->addTab(m_log, QStringLiteral("SUMMARY"));
    m_tabs->addTab(m_imageView, QStringLiteral("HEX FILE"));

    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_unitGrid);
    split->addWidget(m_tabs);
    split->setChildrenCollapsible(false);
    split->setStretchFactor(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(top);
    layout->addWidget(split, 1);

    chooseHexFile = [this](const QString &startDir) {
        QFileDialog dialog(this, QStringLiteral("Open "), startDir);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(QStringLiteral("Hex File (*.hex)"));
        dialog.setDefaultSuffix(QStringLiteral("hex"));
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                        : QString();
    };
    chooseBootLoader = [this](BootLoaderChoice &choice) { return BootLoaderDialog::ask(this, choice); };

    setTabOrder(m_open, m_button);
    setTabOrder(m_button, m_speed);
    setTabOrder(m_speed, m_dontReboot);
    setTabOrder(m_dontReboot, m_abort);
    setTabOrder(m_abort, m_unitGrid);
    setTabOrder(m_unitGrid, m_tabs);

    wire();
    if (!m_run.image().isEmpty()) {
        FlashImage image = m_run.image();
        m_imageModel->setImage(image);
        m_build->setText(image.build.buildString);
        m_lineCount->setText(QString::number(image.lineCount()));
    }
    m_button->setState(idleState());
    followRunning(m_run.running());
}

FlashPage::~FlashPage() = default;

QString FlashPage::searchingPanelText()
{
    return QStringLiteral("Searching Hex file for build information");
}

QString FlashPage::leaveRefusalText()
{
    // What the page rules log when the operator tries to leave during a run.
    return OperationGate::refusalText(QStringLiteral("Page change"), QStringLiteral("Flash"));
}

QString FlashPage::phaseText(int indicator)
{
    static const char *const texts[] = {"Erasing ...", "Downloading ...", "Rebooting ..."};
    return indicator >= 0 && indicator < 3 ? QString::fromLatin1(texts[indicator]) : QString();
}

QWidget *FlashPage::buildControls()
{
    auto *box = new QWidget(this);
    auto *column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    m_open = new QPushButton(QStringLiteral("Open "), box);
    m_open->setObjectName(QStringLiteral("BBopenHex"));
    m_open->setToolTip(QStringLiteral("Open .hex file to flash"));
    column->addWidget(m_open);

    auto *speedLabel = new QLabel(QStringLiteral("Speed"), box);
    m_speed = new QComboBox(box);
    m_speed->addItems(FlashRun::speedItems());
    m_speed->setCurrentIndex(qBound(0, m_settings.fspeed, int(m_speed->count()) - 1));
    speedLabel->setBuddy(m_speed);
    column->addWidget(speedLabel);
    column->addWidget(m_speed);

    m_dontReboot = new QCheckBox(QStringLiteral("Don't Reboot"), box);
    m_dontReboot->setToolTip(QStringLiteral("Don't Reboot after Flashing."));
    column->addWidget(m_dontReboot);

    m_abort = new QPushButton(QStringLiteral("abort"), box);
    m_abort->setObjectName(QStringLiteral("SBflashAbort"));
    m_abort->setEnabled(false);
    column->addWidget(m_abort);
    column->addStretch(1);
    return box;
}

QWidget *FlashPage::buildStatus()
{
    auto *box = new QWidget(this);
    auto *column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);

    auto *bar = new QHBoxLayout;
    m_progress = new QProgressBar(box);
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_percent = new QLabel(box);
    m_percent->setMinimumWidth(40);
    m_percent->hide();
    bar->addWidget(m_progress, 1);
    bar->addWidget(m_percent);
    column->addLayout(bar);

    auto *form = new QFormLayout;
    m_time = readOnlyField(box, QStringLiteral("Time"));
    m_rate = readOnlyField(box, QStringLiteral("Bytes/Sec"));
    m_bytes = readOnlyField(box, QStringLiteral("Bytes Sent"));
    m_build = readOnlyField(box, QStringLiteral("Build"));
    m_lineCount = readOnlyField(box, QStringLiteral("Lines"));
    form->addRow(QStringLiteral("Time"), m_time);
    form->addRow(QStringLiteral("Bytes/Sec"), m_rate);
    form->addRow(QStringLiteral("Bytes Sent"), m_bytes);
    form->addRow(QStringLiteral("Build"), m_build);
    form->addRow(QStringLiteral("Lines"), m_lineCount);
    column->addLayout(form);

    auto *phases = new QHBoxLayout;
    using flashpictures::Picture;
    const Picture pictures[] = {Picture::Erasing, Picture::Downloading, Picture::Rebooting};
    for (int i = 0; i < 3; ++i) {
        auto *frame = new QWidget(box);
        auto *row = new QHBoxLayout(frame);
        row->setContentsMargins(0, 0, 0, 0);
        auto *picture = new QLabel(frame);
        picture->setPixmap(QPixmap::fromImage(flashpictures::image(pictures[i], m_services.op())));
        m_phaseText[std::size_t(i)] = new QLabel(phaseText(i), frame);
        row->addWidget(picture);
        row->addWidget(m_phaseText[std::size_t(i)]);
        frame->hide();
        m_phaseFrame[std::size_t(i)] = frame;
        phases->addWidget(frame);
    }
    phases->addStretch(1);
    column->addLayout(phases);

    m_notes = new QLabel(box);
    m_notes->setWordWrap(true);
    column->addWidget(m_notes);
    m_refusal = new QLabel(leaveRefusalText(), box);
    m_refusal->hide();
    column->addWidget(m_refusal);
    column->addStretch(1);
    return box;
}

void FlashPage::wire()
{
    connect(m_open, &QPushButton::clicked, this, &FlashPage::openClicked);
    connect(m_button, &FlashButton::flashRequested, this, [this](FlashButton::Region region) {
        startFlash(region == FlashButton::Region::BootLoader ? FlashMode::BootLoader : FlashMode::Program);
    });
    connect(m_abort, &QPushButton::clicked, &m_run, &FlashRun::abortAsked);
    connect(m_speed, &QComboBox::currentIndexChanged, this, [this](int index) {
        // The pause applies from the next line on, even during a transfer.
        m_run.setSpeed(FlashRun::Speed(qBound(0, index, 3)));
        m_settings.fspeed = index;
    });
    connect(m_dontReboot, &QCheckBox::toggled, this, [this] { m_services.op().tone(Tone::CheckBox); });

    connect(&m_run, &FlashRun::runningChanged, this, &FlashPage::followRunning);
    connect(&m_run, &FlashRun::summaryLine, m_log, &FlashLogPane::appendPlainText);
    connect(&m_run, &FlashRun::phaseChanged, this, [this](const QString &, FlashRun::Phase phase) { showPhase(phase); });
    connect(&m_run, &FlashRun::lineProgress, this, [this](const QString &, int done, int total) { showProgress(done, total); });
    connect(&m_run, &FlashRun::bytesSent, this, [this](const QString &, qint64 bytes) { m_bytes->setText(QString::number(bytes)); });
    connect(&m_run, &FlashRun::statistics, this, [this](const QString &, qint64 bytes, int seconds) {
        m_time->setText(QStringLiteral("%1:%2").arg(seconds / 60, 2, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0')));
        if (seconds > 0)
            m_rate->setText(QString::number(std::llround(double(bytes) / double(seconds))));
    });
    // The unit list shows the refreshed identity of a flashed unit.
    connect(&m_run, &FlashRun::unitFinished, m_unitModel, &FlashUnitModel::refresh);
}

FlashButton::State FlashPage::idleState() const
{
    return m_run.image().isEmpty() ? FlashButton::Disabled : FlashButton::Ready;
}

void FlashPage::showEvent(QShowEvent *event)
{
    m_unitModel->refresh();
    QWidget::showEvent(event);
}

void FlashPage::openClicked()
{
    Operator &op = m_services.op();
    op.tone(Tone::Button);
    const QString start = m_settings.flashPath.isEmpty() ? QCoreApplication::applicationDirPath() : m_settings.flashPath;
    const QString path = chooseHexFile ? chooseHexFile(start) : QString();
    if (path.isEmpty())
        return;
    openFile(path);
}

void FlashPage::openFile(const QString &path)
{
    Operator &op = m_services.op();
    const QPointer<FlashPage> alive(this);
    m_button->setState(FlashButton::Disabled);
    op.setBusy(true);
    const QString panel = op.panel(Panel::Description);
    op.setPanel(Panel::Description, searchingPanelText());
    m_notes->setText(QStringLiteral("Searching ") + path + QStringLiteral(" for build information"));
    op.breathe();
    const ImageOpenResult result = m_controller.open(path);
    op.setBusy(false);
    if (!alive)
        return;
    showLoaded(result);
    wait::delay(m_openPauseMs);
    if (!alive)
        return;
    op.setPanel(Panel::Description, panel);
    const QString dir = QFileInfo(path).absolutePath();
    if (m_settings.flashPath != dir) {
        m_settings.flashPath = dir;
        m_settingsFile.writeNow(&Settings::flashPath, dir); // a failed write is not the operator's problem now
    }
    m_button->setState(idleState());
}

void FlashPage::showLoaded(const ImageOpenResult &result)
{
    QStringList notes = result.notes;
    if (result.status != ImageOpen::Loaded) {
        // A refused file leaves nothing to flash: the image opened before it is not
        // what the operator chose last, so it does not stay ready behind the message.
        m_run.setImage({});
        m_imageModel->clear();
        m_build->clear();
        m_lineCount->clear();
        m_progress->setRange(0, 1);
        m_progress->setValue(0);
        notes << result.message;
        m_notes->setText(notes.join(QLatin1Char('\n')));
        return;
    }
    m_notes->setText(notes.join(QLatin1Char('\n')));
    m_imageModel->setImage(result.image);
    m_build->setText(result.image.build.buildString);
    m_lineCount->setText(QString::number(result.image.lineCount()));
    m_progress->setRange(0, qMax(1, result.image.lineCount()));
    m_progress->setValue(0);
    m_tabs->setCurrentIndex(HexFileTab);
}

void FlashPage::startFlash(FlashMode mode)
{
    if (m_run.running())
        return;
    const QPointer<FlashPage> alive(this);
    m_run.setMode(mode);
    m_run.setDontReboot(m_dontReboot->isChecked());
    m_run.setSpeed(FlashRun::Speed(qBound(0, m_speed->currentIndex(), 3)));
    m_run.setBootLoaderChooser([alive](BootLoaderChoice &choice) {
        return alive && alive->chooseBootLoader && alive->chooseBootLoader(choice);
    });
    wait::delay(50);
    if (!alive)
        return;
    m_tabs->setCurrentIndex(ProgressTab);
    m_run.run();
    if (!alive)
        return;
    m_button->setState(idleState());
}

void FlashPage::followRunning(bool running)
{
    m_button->setBlocked(running);
    m_open->setEnabled(!running);
    m_dontReboot->setEnabled(!running);
    m_abort->setEnabled(running);
    m_refusal->setVisible(running);
    if (!running) {
        showPhase(FlashRun::Phase::None);
        resetProgress();
        m_button->setState(idleState());
    }
}

int FlashPage::shownPhase() const
{
    for (int i = 0; i < 3; ++i)
        if (!m_phaseFrame[std::size_t(i)]->isHidden())
            return i;
    return -1;
}

void FlashPage::showPhase(FlashRun::Phase phase)
{
    const FlashRun::Phase before = m_phase;
    m_phase = phase;
    const int shown = phase == FlashRun::Phase::Erasing       ? ErasingIndicator
                      : phase == FlashRun::Phase::Downloading ? DownloadingIndicator
                      : phase == FlashRun::Phase::Rebooting   ? RebootingIndicator
                                                              : -1;
    for (int i = 0; i < 3; ++i)
        m_phaseFrame[std::size_t(i)]->setVisible(i == shown);
    if (phase == FlashRun::Phase::Downloading) {
        m_time->setText(QStringLiteral("00:00"));
        m_rate->setText(QStringLiteral("0"));
        m_bytes->setText(QStringLiteral("0"));
    } else if (before == FlashRun::Phase::Downloading) {
        resetProgress(); // the transfer is over
    }
}

void FlashPage::showProgress(int done, int total)
{
    m_progress->setRange(0, qMax(1, total));
    m_progress->setValue(qBound(0, done, qMax(1, total)));
    const long percent = total > 0 ? std::lround(100.0 * double(done) / double(total)) : 0;
    m_percent->setText(QLatin1Char('%') + QString::number(percent));
    m_percent->show();
}

void FlashPage::resetProgress()
{
    m_progress->setValue(0);
    m_percent->hide();
}

} // namespace vork
