#include "setup/ui/setuppage.h"

#include "connection/connectionmanager.h"
#include "connection/unitcommands.h"
#include "core/operator.h"
#include "services/unitservices.h"
#include "setup/configsheet.h"
#include "setup/setupchecks.h"
#include "setup/setupdownload.h"
#include "setup/setupfiles.h"
#include "setup/setuppage.h"
#include "setup/ui/configsheetprint.h"
#include "setup/ui/parameterstab.h"
#include "setup/ui/timezonetab.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vork {

namespace {
QString n(const char *name)
{
    return QString::fromLatin1(name);
}
const QString zeroIp = QStringLiteral("0.0.0.0");

QPushButton *button(const char *text, const char *hint, QWidget *parent)
{
    auto *b = new QPushButton(QString::fromLatin1(text), parent);
    b->setToolTip(QString::fromLatin1(hint));
    return b;
}
} // namespace

SetupPage::SetupPage(UnitServices &services, SetupPageController &controller, Settings &, SettingsFile &,
                     QWidget *parent)
    : QWidget(parent), m_services(services), m_form(services.op()),
      m_downloader(std::make_unique<SetupDownload>(services)), m_tabs(new QTabWidget(this)),
      m_parameters(new ParametersTab(services.op(), m_form, m_tabs)), m_time(new TimeZoneTab(services, m_form, m_tabs)),
      m_programDir(QCoreApplication::applicationDirPath())
{
    // The form is larger than small screens: it scrolls rather than widening the window.
    const auto scrolled = [this](QWidget *content) {
        auto *area = new QScrollArea(m_tabs);
        area->setWidgetResizable(true);
        area->setFrameShape(QFrame::NoFrame);
        area->setWidget(content);
        return area;
    };
    m_tabs->addTab(scrolled(m_parameters), QStringLiteral("PARAMETERS"));
    m_tabs->addTab(scrolled(m_time), QStringLiteral("TIME && TIMEZONE")); // "&&": a plain ampersand, no mnemonic
    m_upload = button("   Upload", "Read Config File from Vork unit", this);
    m_download = button(" Download", "Write Config File to Vork Unit", this);
    m_save = button(" Save File", "Save Configuration File", this);
    m_open = button(" Open File", "Open .vork Configuration File", this);
    m_erase = button("Erase Setup", "Erase the setup from the unit's flash (factory defaults)", this);
    m_eraseHistory = button("eH", "Erase History File from Vork Flash", this);
    m_erasePersistent = button("eP", "Erase Persistent Data from Vork Flash", this);
    m_preview = button("Preview", "Preview print configuration sheet", this);
    m_print = button("Print", "Print configuration sheet", this);
    m_clear = button("Clear", "Clear the form", this);
    m_sheetPrint = new ConfigSheetPrint(services.op(), this);
    m_sheetPrint->source = [this](const QDateTime &now) { return sheet(now); };
    m_buttonPanel = new QWidget(this);
    // Two rows, so the page still fits a small screen: moving the record, then acting on it.
    auto *buttons = new QGridLayout(m_buttonPanel);
    buttons->setContentsMargins(0, 0, 0, 0);
    const QList<QList<QPushButton *>> rows{{m_upload, m_download, m_save, m_open, m_clear},
                                           {m_erase, m_eraseHistory, m_erasePersistent, m_preview, m_print}};
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows.at(r).size(); ++c)
            buttons->addWidget(rows.at(r).at(c), r, c);
    buttons->setColumnStretch(int(rows.first().size()), 1);
    // The two erase buttons stay out of reach until the panel is pressed with Shift and Ctrl.
    m_eraseHistory->setEnabled(false);
    m_erasePersistent->setEnabled(false);
    m_buttonPanel->installEventFilter(this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_buttonPanel);
    layout->addWidget(m_tabs);

    saveFileName = [this](const QString &folder, const QString &name) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save Configuration File"),
                                            QDir(folder).filePath(name),
                                            QStringLiteral("Vork Configuration File *.vork (*.vork)"));
    };
    openFileName = [this](const QString &folder, const QString &name) {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Open .vork Configuration File"),
                                            QDir(folder).filePath(name),
                                            QStringLiteral("Vork Config Files (*.vork *.VORK);;Text files (*.txt *.TXT)"));
    };

    // The advanced question's No sends the defaults, Cancel goes back to the record's.
    m_downloader->setAdvancedAnswer([this](Answer a) -> std::optional<setuppack> {
        Operator &op = m_services.op();
        if (a == Answer::No) {
            m_form.loadAdvancedDefaults();
            op.log(QStringLiteral("Advanced Settings Restored to Default Values"));
            m_form.build();
            return m_form.outgoing();
        }
        m_form.advanced() = AdvancedSettings::fromRecord(m_form.received(), m_form.singleSize(), m_form.v264());
        op.log(QStringLiteral("Advanced Settings Restored to Previous Values"));
        m_form.build();
        return std::nullopt;
    });

    connect(m_upload, &QPushButton::clicked, this, &SetupPage::upload);
    connect(m_download, &QPushButton::clicked, this, &SetupPage::download);
    connect(m_save, &QPushButton::clicked, this, &SetupPage::saveFile);
    connect(m_open, &QPushButton::clicked, this, &SetupPage::openFile);
    connect(m_erase, &QPushButton::clicked, this, &SetupPage::eraseSetup);
    connect(m_clear, &QPushButton::clicked, this, &SetupPage::clear);
    connect(m_preview, &QPushButton::clicked, m_sheetPrint, &ConfigSheetPrint::preview);
    connect(m_print, &QPushButton::clicked, m_sheetPrint, &ConfigSheetPrint::print);
    connect(m_eraseHistory, &QPushButton::clicked, this, [this] { erase(UnitCommands::Erase::History); });
    connect(m_erasePersistent, &QPushButton::clicked, this, [this] { erase(UnitCommands::Erase::Persistent); });
    connect(m_parameters, &ParametersTab::edited, this, [this] {
        m_time->mirror();
        refreshButtons();
    });
    connect(m_time, &TimeZoneTab::edited, this, [this] {
        m_parameters->mirror();
        refreshButtons();
    });
    connect(m_time, &TimeZoneTab::zoneUploadRequested, this, &SetupPage::upload);
    connect(m_time, &TimeZoneTab::zoneDownloadRequested, this, &SetupPage::zoneDownload);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index != TimeTabIndex || !connectedUnit())
            return;
        m_time->refreshZoneDisplay();
        if (m_inSetupMode)
            m_time->readClock();
    });
    connect(&controller.reply(), &SetupReply::received, this, &SetupPage::showRecord);
    connect(&services.connections(), &ConnectionManager::unitChanged, this, [this](int) { refreshButtons(); });
    // The controller may outlive the page, or die first (the window ends its controllers
    // before its widgets): the hooks check the page and the page never touches them again.
    const QPointer<SetupPage> self(this);
    controller.setEditorHooks(
        [self] {
            if (self)
                self->opening();
        },
        [self](bool on) {
            if (self)
                self->modeChanged(on);
        });
    refreshButtons();
}

SetupPage::~SetupPage() = default;

void SetupPage::setDialogRunner(std::function<int(QDialog &)> run)
{
    m_parameters->runDialog = std::move(run);
}

udppack *SetupPage::connectedUnit() const
{
    udppack *unit = m_services.units().current();
    return unit && m_services.connections().isOpen(unit) ? unit : nullptr;
}

SetupForm::Context SetupPage::context() const
{
    SetupForm::Context c;
    if (const udppack *unit = m_services.units().current()) {
        c.versionNumber = versionNumber(unit->ver);
        c.standardFamily = unit->model % 2 == 0;
        c.mac = unit->mac;
    }
    c.connected = connectedUnit() != nullptr;
    return c;
}

void SetupPage::refreshButtons()
{
    const bool connected = connectedUnit() != nullptr;
    m_form.setConnected(connected);
    m_download->setEnabled(m_form.downloadEnabled());
    m_save->setEnabled(m_form.saveEnabled() && !m_form.text(n("edesc")).isEmpty());
    // The sheet shows what the unit or file holds, so not while edits are pending.
    m_preview->setEnabled(m_form.printEnabled());
    m_print->setEnabled(m_form.printEnabled());
    m_upload->setEnabled(connected);
    m_erase->setEnabled(connected);
    if (!connected) {
        m_eraseHistory->setEnabled(false);
        m_erasePersistent->setEnabled(false);
    }
    m_parameters->changedMarker()->setVisible(m_form.changesPending());
}

configsheet::Sheet SetupPage::sheet(const QDateTime &now) const
{
    configsheet::Input in;
    in.unit = m_services.units().current();
    in.connected = connectedUnit() != nullptr;
    in.openFileName = m_openedFile;
    in.record = m_form.received();
    in.fields = configsheet::fieldsFromForm(m_form);
    in.now = now;
    return configsheet::build(in);
}

void SetupPage::clear()
{
    m_services.op().tone(Tone::Button);
    m_openedFile.clear();
    m_form.clear();
    m_parameters->mirror();
    m_time->mirror();
    refreshButtons();
}

void SetupPage::opening()
{
    m_openedFile.clear();
    m_form.clear();
    if (!m_services.units().current())
        m_form.loadAdvancedDefaults();
    m_parameters->advancedButton()->setVisible(false);
    m_tabs->setCurrentIndex(ParametersTabIndex);
    m_parameters->mirror();
    m_time->mirror();
    m_time->setUnitActions(false);
    m_inSetupMode = false;
    refreshButtons();
}

void SetupPage::modeChanged(bool on)
{
    m_inSetupMode = on;
    m_time->setUnitActions(on);
    refreshButtons();
}

void SetupPage::showRecord(const QByteArray &record, int length)
{
    const udppack *unit = m_services.units().current();
    m_unitRecord = setuppack(record);
    m_unitRecordMac = unit ? unit->mac : QString();
    m_openedFile.clear();
    m_form.show(setuppack(record), length, context());
    m_parameters->mirror();
    m_time->mirror();
    refreshButtons();
}

bool SetupPage::unitEditAllowed()
{
    const udppack *unit = connectedUnit();
    const bool known = unit && m_unitRecord && unit->mac == m_unitRecordMac;
    return m_parameters->editAllowed(known ? *m_unitRecord : m_form.received());
}

void SetupPage::upload()
{
    m_services.op().tone(Tone::Button);
    udppack *unit = connectedUnit();
    if (!unit)
        return;
    m_services.connections().flushbuffer(m_services.connections().socket(*unit));
    m_form.clear();
    m_parameters->mirror();
    m_time->mirror();
    refreshButtons();
    m_upload->setEnabled(false);
    m_services.commands().uploadSetup();
    refreshButtons();
}

bool SetupPage::blankAndTextChecks()
{
    struct Ip
    {
        const char *control;
        const char *name;
    };
    static const Ip ips[] = {{"enrip", "Network"}, {"CBnrm", "Mask"},     {"endg", "Gateway"},
                             {"entsvr", "Time Server"}, {"ensip", "Server"}, {"EeipPLC", "EIP PLC"}};
    for (const Ip &ip : ips)
        if (m_form.text(n(ip.control)).isEmpty())
            m_form.setValue(n(ip.control), zeroIp);
    m_parameters->mirror();
    for (const Ip &ip : ips) {
        const QString control = n(ip.control);
        if (m_form.isEnabled(control) && !setupchecks::ipTextValid(m_form.text(control))) {
            m_services.op().error(QString::fromLatin1(ip.name) + QStringLiteral(" IP is invalid. Download aborted"));
            if (QWidget *w = m_parameters->control(control))
                w->setFocus();
            return false;
        }
    }
    return true;
}

void SetupPage::download()
{
    Operator &op = m_services.op();
    if (!connectedUnit() || !blankAndTextChecks())
        return;
    // A protected unit's setup changes only with its password.
    if (!unitEditAllowed())
        return;
    m_download->setEnabled(false);
    if (!m_form.build()) {
        op.error(QStringLiteral("Invalid parameter(s). Download aborted"));
        refreshButtons();
        return;
    }
    op.tone(Tone::Button);
    m_downloader->setReceived(m_form.received());
    const SetupDownload::Result result = m_downloader->download(m_form.outgoing());
    if (result == SetupDownload::Result::Saved) {
        m_form.confirmed(m_downloader->received());
        m_unitRecord = m_downloader->received();
    }
    m_parameters->mirror();
    m_time->mirror();
    refreshButtons();
}

void SetupPage::zoneDownload()
{
    Operator &op = m_services.op();
    if (!m_form.zoneChanged()) {
        op.tone(Tone::Error);
        op.log(QStringLiteral("Timezone data not sent - no changes made since last save"));
        return;
    }
    op.tone(Tone::Button);
    m_form.takeZoneIntoOutgoing();
    download();
}

void SetupPage::saveFile()
{
    Operator &op = m_services.op();
    if (m_form.text(n("edesc")).isEmpty())
        return;
    if (!m_form.build()) {
        op.error(QStringLiteral("Invalid parameter(s). Save aborted"));
        return;
    }
    m_parameters->mirror();
    op.tone(Tone::Button);
    udppack *unit = connectedUnit();
    if (unit && m_form.changesPending() && !(m_form.outgoing() == m_form.received())) {
        const Answer a = op.ask(QStringLiteral(
            "Changes have been made but not downlaoded to the VORk. This saved file will not reflect the actual "
            "setting of the unit. Select no to exit and then download or yes to continue"));
        if (a != Answer::Yes) {
            op.information(QStringLiteral("Save aborted by user"));
            return;
        }
        unit = connectedUnit();
    }
    const QString name = unit ? setupfiles::defaultName(*unit, m_form.outgoing()) : QString();
    const QString folder = m_saveFolder.isEmpty()
                               ? setupfiles::defaultDirectory(m_programDir, setupfiles::configFolder, true)
                               : m_saveFolder;
    const QString path = saveFileName(folder, name);
    if (path.isEmpty())
        return;
    m_saveFolder = QFileInfo(path).absolutePath();
    const int length = unit ? setupfiles::fileLength(versionNumber(unit->ver))
                            : setupfiles::fileLengthWithoutUnit(m_form.receivedLength());
    QString error;
    if (!setupfiles::write(path, m_form.outgoing(), length, &error))
        op.error(error);
}

void SetupPage::openFile()
{
    Operator &op = m_services.op();
    op.tone(Tone::Button);
    const udppack *unit = m_services.units().current();
    const QString folder = m_openFolder.isEmpty()
                               ? setupfiles::defaultDirectory(m_programDir, setupfiles::configFolder, false)
                               : m_openFolder;
    const QString path = openFileName(folder, unit ? unit->mac + QStringLiteral(".vork") : QString());
    if (path.isEmpty())
        return;
    m_openFolder = QFileInfo(path).absolutePath();
    // Read into a copy: a file that fails leaves the shown record as it was.
    const setupfiles::ReadResult result = setupfiles::read(path, m_form.received());
    if (!result.ok) {
        op.error(result.error);
        return;
    }
    m_form.show(result.record, result.length, context());
    m_openedFile = path;
    m_form.setValue(n("Eemac"), setupfiles::macFromFileName(QFileInfo(path).fileName()));
    m_parameters->mirror();
    m_time->mirror();
    refreshButtons();
}

void SetupPage::eraseSetup()
{
    erase(UnitCommands::Erase::Setup);
}

void SetupPage::erase(UnitCommands::Erase what)
{
    if (!connectedUnit() || !unitEditAllowed())
        return;
    m_services.commands().erase(what);
}

bool SetupPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_buttonPanel && event->type() == QEvent::MouseButtonPress) {
        const auto held = static_cast<QMouseEvent *>(event)->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
        const bool reach = held == (Qt::ShiftModifier | Qt::ControlModifier) && connectedUnit();
        m_eraseHistory->setEnabled(reach);
        m_erasePersistent->setEnabled(reach);
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vork
