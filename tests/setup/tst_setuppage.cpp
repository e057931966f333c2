// The SETUP page's widgets against a simulated unit: upload into the form,
// edits and their marker, the download through the buttons, the zone list and
// the zone download, files through injected paths, the clock, and the option
// windows with the password before a destructive action.
#include "connection/commands.h"
#include "connection/connectionmanager.h"
#include "connection/unitcommands.h"
#include "core/boundedwait.h"
#include "core/pinger.h"
#include "core/settings.h"
#include "recordingoperator.h"
#include "services/pagecontroller.h"
#include "services/unitservices.h"
#include "setup/setupfiles.h"
#include "setup/timezones.h"
#include "setup/setuppage.h"
#include "setup/ui/optionwindows.h"
#include "setup/ui/parameterstab.h"
#include "setup/ui/setuppage.h"
#include "setup/ui/timezonetab.h"
#include "simcommandserver.h"
#include "simfleet.h"
#include "unit/unittable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QKeySequence>
#include <QTabWidget>
#include <QTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

using namespace vork;

namespace {

QString n(const char *name)
{
    return QString::fromLatin1(name);
}

class Reachable : public Pinger
{
public:
    bool ping(const QString &, int, bool) override { return true; }
};

// A SETUP page over one simulated unit on its own loopback address.
struct Rig
{
    Rig(int host, std::array<std::uint8_t, 3> version, const sim::SimCommandFaults &faults = {})
        : services(op), controller(services), file(op, dir.filePath(QStringLiteral("Vork.ini"))),
          page(services, controller, settings, file)
    {
        services.setPinger(std::make_unique<Reachable>());
        unit = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.62.%1").arg(host)));
        unit.version = version;
        unit.model = 0;
        unit.commandFaults = faults;
        page.setProgramDir(dir.path());
        page.setDialogRunner([this](QDialog &d) {
            dialogs << d.windowTitle();
            if (answerDialog)
                answerDialog(d);
            return d.result();
        });
        page.resize(1200, 800);
    }
    // The unit running, current, connected, and the page opened on it.
    bool start()
    {
        fleet.add(unit);
        QString error;
        if (!fleet.start({}, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        UnitTable &t = services.units();
        udppack announced = unit.record(QDateTime::currentDateTime(), 0);
        // The version text as the announcement decoding gives it.
        announced.vnumber = QStringLiteral("%1.%2.%3").arg(unit.version[0]).arg(unit.version[1]).arg(unit.version[2]);
        t.enterAnnouncement(announced, unit.address.toString());
        t.setCurrent(&t.unit(0));
        if (!services.connections().Connect_or_timeout(2000))
            return false;
        controller.pageChanged(Page::Discover, Page::Setup);
        controller.entered(Page::Discover);
        return true;
    }
    bool upload()
    {
        page.uploadButton()->click();
        return page.form().shown();
    }
    QByteArray stored() const { return fleet.server(0).setupRecord(); }
    int sent(Command command) const
    {
        int count = 0;
        for (const auto &c : fleet.server(0).tcp().commands())
            if (c.byte == std::uint8_t(command))
                ++count;
        return count;
    }
    template <class T>
    T *control(const char *name)
    {
        return page.parameters()->control<T>(n(name));
    }
    void type(const char *name, const QString &text)
    {
        QLineEdit *edit = control<QLineEdit>(name);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    QTemporaryDir dir;
    RecordingOperator op;
    UnitServices services;
    SetupPageController controller;
    Settings settings;
    SettingsFile file;
    SetupPage page;
    sim::SimUnit unit;
    sim::SimFleet fleet;
    QStringList dialogs;
    std::function<void(QDialog &)> answerDialog;
};

// A password window answered with a text; OK clicked once.
void enterPassword(QDialog &d, const QString &text)
{
    auto *w = qobject_cast<PasswordWindow *>(&d);
    QVERIFY(w);
    QCOMPARE(w->mode(), PasswordWindow::Mode::Ask);
    w->entered()->setText(text);
    w->okButton()->click();
}

} // namespace

class TestSetupPage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void tabsAndButtons();
    void uploadEditDownload_data();
    void uploadEditDownload();
    void unconfirmedDownloadStaysPending();
    void linkDroppedMidDownload();
    void zoneListAndZoneDownload();
    void saveAndOpenWithInjectedPaths();
    void openFailureKeepsTheRecord_data();
    void openFailureKeepsTheRecord();
    void passwordGuardsEraseSetup();
    void theUnitsOwnPasswordGuardsAnOpenedFile();
    void timeTabShowsTheListedZone();
    void advancedPressOnEveryForm_data();
    void advancedPressOnEveryForm();
    void hiddenEraseButtons();
    void watchdogWindowMarksChanged();
    void advancedWindowBits();
    void clockSetSendsTheBytes();
    void protectAndMonitorWindows();
    void uploadOverAwkwardLinks_data();
    void uploadOverAwkwardLinks();
};

void TestSetupPage::tabsAndButtons()
{
    Rig rig(2, {5, 0, 2});
    QCOMPARE(rig.page.tabs()->tabText(0), QStringLiteral("PARAMETERS"));
    // Shown as written: the ampersand is no mnemonic.
    const QString time = rig.page.tabs()->tabText(1);
    QVERIFY2(QKeySequence::mnemonic(time).isEmpty(), qPrintable(time));
    QCOMPARE(QString(time).replace(QStringLiteral("&&"), QStringLiteral("&")), QStringLiteral("TIME & TIMEZONE"));
    QCOMPARE(rig.page.uploadButton()->text(), QStringLiteral("   Upload"));
    QCOMPARE(rig.page.downloadButton()->text(), QStringLiteral(" Download"));
    QCOMPARE(rig.page.saveButton()->text(), QStringLiteral(" Save File"));
    QCOMPARE(rig.page.openButton()->text(), QStringLiteral(" Open File"));
    QStringList groups;
    for (int i = 0; i < 5; ++i)
        groups << rig.page.parameters()->group(i)->title();
    QCOMPARE(groups, (QStringList{QStringLiteral("GENERAL SETUP"), QStringLiteral("NETWORK CONTROL PORT"),
                                  QStringLiteral("SERIAL CONTROL PORT"), QStringLiteral("AUXILIARY PORT"),
                                  QStringLiteral("SECURITY")}));
    // Nothing shown and no unit: nothing to send or save.
    QVERIFY(!rig.page.downloadButton()->isEnabled());
    QVERIFY(!rig.page.saveButton()->isEnabled());
    QVERIFY(!rig.page.parameters()->group(0)->isEnabled());
    QCOMPARE(rig.page.timeZone()->zoneGroup()->title(),
             QStringLiteral("Timezone Definition (Disabled until upload button clicked on Parameters tab)"));
    QCOMPARE(rig.page.timeZone()->list(n("CBtimezone"))->count(), 85);
    QCOMPARE(rig.control<QCheckBox>("CBuats")->text(), QStringLiteral("Use Alt Time Source"));
    QCOMPARE(rig.control<QLineEdit>("enaddr")->toolTip(), QStringLiteral("Classic Range 0-255, ASCII Range 0-9999"));
}

void TestSetupPage::uploadEditDownload_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("patch");
    QTest::addColumn<int>("length");
    QTest::newRow("2.5.5") << 2 << 5 << 5 << 221;
    QTest::newRow("2.6.4") << 2 << 6 << 4 << 232;
    QTest::newRow("3.1.7") << 3 << 1 << 7 << 238;
    QTest::newRow("4.9.9") << 4 << 9 << 9 << 238;
    QTest::newRow("5.0.2") << 5 << 0 << 2 << 243;
}

void TestSetupPage::uploadEditDownload()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, patch);
    QFETCH(int, length);
    static int host = 10;
    Rig rig(host++, {std::uint8_t(major), std::uint8_t(minor), std::uint8_t(patch)});
    QVERIFY(rig.start());
    QVERIFY(rig.op.logged(QStringLiteral("Setup mode on")));
    QVERIFY(rig.upload());
    const qsizetype sentU = rig.op.logs.indexOf(QStringLiteral("Sent U Command to Vork Unit ") + rig.unit.address.toString());
    QVERIFY(sentU >= 0);
    QVERIFY(rig.op.logs.indexOf(QStringLiteral("Upload config request"), sentU) > sentU);
    QCOMPARE(rig.page.form().receivedLength(), length);
    const setuppack before = rig.page.form().received();
    QCOMPARE(rig.control<QLineEdit>("edesc")->text(), before.desc());
    QCOMPARE(rig.control<QLineEdit>("enrip")->text(), rig.unit.address.toString());
    QCOMPARE(rig.control<QLineEdit>("enaddr")->isVisibleTo(&rig.page), length > 226);
    QCOMPARE(rig.control<QCheckBox>("CBuats")->isVisibleTo(&rig.page), length > 235);
    QCOMPARE(rig.control<QCheckBox>("CBfirewall")->isVisibleTo(&rig.page), length > 236);
    QVERIFY(!rig.page.parameters()->changedMarker()->isVisibleTo(&rig.page));
    QVERIFY(!rig.page.downloadButton()->isEnabled());
    QVERIFY(rig.page.saveButton()->isEnabled());

    // An edit and back: the marker comes and goes.
    rig.type("edesc", QStringLiteral("Bay 7 sorter"));
    QVERIFY(rig.page.parameters()->changedMarker()->isVisibleTo(&rig.page));
    QVERIFY(rig.page.downloadButton()->isEnabled());
    rig.type("edesc", before.desc());
    QVERIFY(!rig.page.parameters()->changedMarker()->isVisibleTo(&rig.page));
    QVERIFY(!rig.page.downloadButton()->isEnabled());

    // One control of every group.
    rig.type("edesc", QStringLiteral("Bay 7 sorter"));
    rig.type("enprt", QStringLiteral("10007"));
    QComboBox *baud = rig.control<QComboBox>("cbxcbaud");
    baud->setCurrentIndex(7);
    Q_EMIT baud->activated(7);
    QComboBox *aux = rig.control<QComboBox>("cbxafunc");
    aux->setCurrentIndex(1);
    Q_EMIT aux->activated(1);
    QCOMPARE(rig.control<QComboBox>("cbxabaud")->currentText(), QStringLiteral("57600"));
    QVERIFY(!rig.control<QComboBox>("cbxabaud")->isEnabled());
    const setuppack shown = rig.page.form().outgoing();
    QCOMPARE(shown.desc(), QStringLiteral("Bay 7 sorter"));
    QCOMPARE(shown.nprt(), 10007u);
    QCOMPARE(shown.cbaud(), 7);
    QCOMPARE(shown.afunc(), 1);

    rig.page.downloadButton()->click();
    QCOMPARE(rig.op.messageTexts(MessageKind::Information), QStringList{QStringLiteral("Configuration File Saved")});
    QVERIFY(rig.op.messageTexts(MessageKind::Error).isEmpty());
    // What the unit stores is what the form showed, in the unit's own layout.
    setuppack wire = shown;
    shiftOlderLayout(wire, ShiftDirection::Sending, major * 100 + minor * 10 + patch);
    QCOMPARE(rig.stored().toHex(), wire.bytes().toHex());
    QCOMPARE(rig.page.form().received(), shown);
    QVERIFY(!rig.page.parameters()->changedMarker()->isVisibleTo(&rig.page));
    QVERIFY(!rig.page.downloadButton()->isEnabled());

    // Read back: the same record in the form.
    QVERIFY(rig.upload());
    QCOMPARE(rig.page.form().received().bytes().left(length).toHex(), shown.bytes().left(length).toHex());
    QCOMPARE(rig.control<QLineEdit>("edesc")->text(), QStringLiteral("Bay 7 sorter"));
}

void TestSetupPage::unconfirmedDownloadStaysPending()
{
    sim::SimCommandFaults faults;
    faults.unconfirmedData = "D";
    Rig rig(30, {5, 0, 2}, faults);
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    const QByteArray storedBefore = rig.stored();
    rig.type("edesc", QStringLiteral("Never confirmed"));
    rig.page.downloadButton()->click();
    QCOMPARE(rig.op.messageTexts(MessageKind::Error), QStringList{QStringLiteral("Failed to Save Configuration File")});
    QCOMPARE(rig.stored(), storedBefore);
    QVERIFY(rig.page.form().changesPending());
    QVERIFY(rig.page.parameters()->changedMarker()->isVisibleTo(&rig.page));
    QVERIFY(rig.page.downloadButton()->isEnabled());
    // The unit in step again: the same changes go.
    rig.fleet.server(0).setCommandFaults({});
    rig.page.downloadButton()->click();
    QCOMPARE(setuppack(rig.stored()).desc(), QStringLiteral("Never confirmed"));
    QVERIFY(!rig.page.downloadButton()->isEnabled());
}

void TestSetupPage::linkDroppedMidDownload()
{
    Rig rig(31, {5, 0, 2});
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    rig.type("edesc", QStringLiteral("Lost on the way"));
    sim::SimCommandFaults faults;
    faults.silentCommands = "D";
    rig.fleet.server(0).setCommandFaults(faults);
    // The link goes while the page waits for the acknowledgement of 'D'.
    QTimer::singleShot(300, &rig.page, [&] { rig.services.connections().CloseSocket(); });
    rig.page.downloadButton()->click();
    QVERIFY(rig.page.form().changesPending());
    QVERIFY(rig.op.messageTexts(MessageKind::Information).isEmpty());
    QCOMPARE(setuppack(rig.stored()).desc() == QStringLiteral("Lost on the way"), false);
    // Not connected any more: nothing to download to.
    QVERIFY(!rig.page.downloadButton()->isEnabled());
}

void TestSetupPage::zoneListAndZoneDownload()
{
    Rig rig(32, {5, 0, 2});
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    TimeZoneTab *tz = rig.page.timeZone();
    QCOMPARE(tz->zoneGroup()->title(), QStringLiteral("Timezone Definition"));
    QComboBox *zones = tz->list(n("CBtimezone"));
    zones->setCurrentIndex(16);
    Q_EMIT zones->activated(16);
    QCOMPARE(zones->currentText(), QStringLiteral("(GMT-05:00) Eastern Time (US & Canada)"));
    const QStringList expected = {QStringLiteral("March"), QStringLiteral("Second"), QStringLiteral("Sunday"),
                                  QStringLiteral("02:00 am"), QStringLiteral("November"), QStringLiteral("First"),
                                  QStringLiteral("Sunday"), QStringLiteral("02:00 am")};
    QStringList shown;
    for (const char *list : {"CBstartmonth", "CBstarttype", "CBstartday", "CBstarthour", "CBendmonth", "CBendtype",
                             "CBendday", "CBendhour"})
        shown << tz->list(n(list))->currentText();
    QCOMPARE(shown, expected);
    QVERIFY(tz->box(n("CBobserve"))->isChecked());
    QVERIFY(tz->box(n("CBdst"))->isEnabled());
    QCOMPARE(tz->code()->text(), QStringLiteral("030207201C000B0107201C0001"));

    zones->setCurrentIndex(9);
    Q_EMIT zones->activated(9);
    for (const char *list : {"CBstartmonth", "CBstarttype", "CBstartday", "CBstarthour", "CBendmonth", "CBendtype",
                             "CBendday", "CBendhour"})
        QCOMPARE(tz->list(n(list))->currentIndex(), -1);
    QVERIFY(!tz->box(n("CBdst"))->isEnabled());

    // The zone goes to the unit with the zone's own Download.
    zones->setCurrentIndex(31);
    Q_EMIT zones->activated(31);
    const int before = rig.sent(Command::SetupDownload);
    tz->zoneDownload()->click();
    QCOMPARE(rig.sent(Command::SetupDownload), before + 1);
    QCOMPARE(setuppack(rig.stored()).tzi(), 31);
    QCOMPARE(rig.op.messageTexts(MessageKind::Information), QStringList{QStringLiteral("Configuration File Saved")});
    // Again without a change: nothing goes.
    tz->zoneDownload()->click();
    QCOMPARE(rig.sent(Command::SetupDownload), before + 1);
    QVERIFY(rig.op.logged(QStringLiteral("Timezone data not sent - no changes made since last save")));
    QCOMPARE(rig.op.tones.last(), Tone::Error);

    // Only daylight saving switched: it goes without the unchanged-record question.
    QCheckBox *dst = tz->box(n("CBdst"));
    zones->setCurrentIndex(16);
    Q_EMIT zones->activated(16);
    dst->click();
    tz->zoneDownload()->click();
    QCOMPARE(rig.sent(Command::SetupDownload), before + 2);
    QVERIFY(rig.op.questions.isEmpty());
    QCOMPARE(setuppack(rig.stored()).dst(), dst->isChecked());
    QCOMPARE(setuppack(rig.stored()).tzi(), 16);
}

void TestSetupPage::saveAndOpenWithInjectedPaths()
{
    Rig rig(33, {5, 0, 2});
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    QString proposed;
    QString proposedFolder;
    const QString path = rig.dir.filePath(QStringLiteral("bay7.vork"));
    rig.page.saveFileName = [&](const QString &folder, const QString &name) {
        proposed = name;
        proposedFolder = folder;
        return path;
    };
    rig.type("edesc", QStringLiteral("Saved bay"));
    // Changes not downloaded: asked first; No saves nothing.
    rig.op.answers = {Answer::No};
    rig.page.saveButton()->click();
    QCOMPARE(rig.op.messageTexts(MessageKind::Information), QStringList{QStringLiteral("Save aborted by user")});
    QVERIFY(!QFileInfo::exists(path));
    rig.op.answers = {Answer::Yes};
    rig.page.saveButton()->click();
    QCOMPARE(proposed, QStringLiteral("C") + rig.unit.mac.toUpper() + QStringLiteral(".v502s.vork"));
    QCOMPARE(proposedFolder, QDir(rig.dir.path()).filePath(QStringLiteral("Vork Configuration Files")));
    QVERIFY(QFileInfo(proposedFolder).isDir());
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    QCOMPARE(bytes.size(), 239);
    QCOMPARE(bytes.toHex(), rig.page.form().outgoing().bytes().left(239).toHex());

    // Open: another description, the PLC address of the record held before, a MAC from the name.
    setuppack other(bytes);
    other.setDesc(QStringLiteral("From a file"));
    const QString openPath = rig.dir.filePath(QStringLiteral("C0050C22C2000.v502s.vork"));
    QVERIFY(setupfiles::write(openPath, other, 239, nullptr));
    QString openProposed;
    rig.page.openFileName = [&](const QString &, const QString &name) {
        openProposed = name;
        return openPath;
    };
    rig.page.openButton()->click();
    QCOMPARE(openProposed, rig.unit.mac + QStringLiteral(".vork"));
    QCOMPARE(rig.control<QLineEdit>("edesc")->text(), QStringLiteral("From a file"));
    QCOMPARE(rig.control<QLineEdit>("Eemac")->text(), QStringLiteral("0050C22C2000"));
    QCOMPARE(rig.page.form().receivedLength(), 239);
    QVERIFY(!rig.page.form().changesPending());
}

void TestSetupPage::openFailureKeepsTheRecord_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::newRow("missing") << "absent.vork" << QByteArray() << "File %1 Not found in current directory";
    QTest::newRow("bad hex") << "dump.txt" << QByteArray(",000000: 01 zz 03\r\n") << "";
    QTest::newRow("10 bytes") << "short.vork" << QByteArray(10, '\1')
                              << "%1: 10 bytes is not the length of a configuration file (221, 222, 225, 229, 231, "
                                 "232, 234, 236, 238, 239, 243 bytes)";
}

void TestSetupPage::openFailureKeepsTheRecord()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    Rig rig(34, {5, 0, 2});
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    const setuppack before = rig.page.form().received();
    const QString path = rig.dir.filePath(name);
    if (!content.isEmpty()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    rig.page.openFileName = [&](const QString &, const QString &) { return path; };
    rig.page.openButton()->click();
    const QStringList errors = rig.op.messageTexts(MessageKind::Error);
    QCOMPARE(errors.size(), 1);
    if (!error.isEmpty())
        QCOMPARE(errors.first(), error.arg(path));
    else
        QVERIFY2(errors.first().contains(QLatin1String("zz")), qPrintable(errors.first()));
    QCOMPARE(rig.page.form().received(), before);
    QCOMPARE(rig.control<QLineEdit>("edesc")->text(), before.desc());
}

void TestSetupPage::theUnitsOwnPasswordGuardsAnOpenedFile()
{
    Rig rig(38, {5, 0, 2});
    setuppack protectedRecord(sim::defaultSetupRecord(rig.unit));
    protectedRecord.setPwp(true);
    protectedRecord.setPw(QStringLiteral("k3y"));
    rig.unit.setupRecord = protectedRecord.bytes();
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    // A file without protection is opened over the protected unit's record.
    setuppack open = protectedRecord;
    open.setPwp(false);
    open.setPw(QString());
    open.setDesc(QStringLiteral("Taken over"));
    const QString path = rig.dir.filePath(QStringLiteral("open.vork"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(open.prefix(239));
    f.close();
    rig.page.openFileName = [&](const QString &, const QString &) { return path; };
    rig.page.openButton()->click();
    QVERIFY(!rig.page.form().received().pwp());
    rig.type("edesc", QStringLiteral("Taken over!"));
    // The unit still holds its password: Download asks for it; Cancel sends nothing.
    rig.answerDialog = [](QDialog &) {};
    rig.page.downloadButton()->click();
    QCOMPARE(rig.dialogs, QStringList{QStringLiteral("Password Protect")});
    QCOMPARE(rig.sent(Command::SetupDownload), 0);
    QCOMPARE(rig.stored(), protectedRecord.bytes());
    // The unit's password lets it go.
    rig.answerDialog = [](QDialog &d) { enterPassword(d, QStringLiteral("k3y")); };
    rig.page.downloadButton()->click();
    QCOMPARE(rig.sent(Command::SetupDownload), 1);
    QCOMPARE(setuppack(rig.stored()).desc(), QStringLiteral("Taken over!"));
}

void TestSetupPage::timeTabShowsTheListedZone()
{
    // A record whose stored rule is not its zone's: opening the tab shows the listed zone's rule.
    Rig rig(39, {5, 0, 2});
    setuppack record(sim::defaultSetupRecord(rig.unit));
    record.setTzi(16);
    record.setByteAt(205, 1); // a rule starting in January
    record.setByteAt(206, 1);
    record.setByteAt(207, 1);
    record.setByteAt(211, 2);
    record.setByteAt(212, 1);
    record.setByteAt(213, 1);
    rig.unit.setupRecord = record.bytes();
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    rig.page.tabs()->setCurrentIndex(SetupPage::TimeTabIndex);
    QCOMPARE(rig.page.form().text(n("Etzcode")), timezones::codeText(timezones::zoneRule(16)));
    QVERIFY(!rig.page.form().changesPending());
}

void TestSetupPage::advancedPressOnEveryForm_data()
{
    QTest::addColumn<QList<int>>("version");
    QTest::addColumn<int>("model");
    QTest::newRow("2.5.5") << QList<int>{2, 5, 5} << 0;
    QTest::newRow("3.1.7") << QList<int>{3, 1, 7} << 0;
    QTest::newRow("5.0.2") << QList<int>{5, 0, 2} << 0;
    QTest::newRow("5.0.2 EtherNet/IP") << QList<int>{5, 0, 2} << 1;
    QTest::newRow("model 4") << QList<int>{2, 9, 3} << 4;
}

void TestSetupPage::advancedPressOnEveryForm()
{
    QFETCH(QList<int>, version);
    QFETCH(int, model);
    static int row = 0;
    Rig rig(40 + row++, {std::uint8_t(version[0]), std::uint8_t(version[1]), std::uint8_t(version[2])});
    rig.unit.model = std::uint8_t(model);
    QVERIFY(rig.start());
    rig.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.page));
    QVERIFY(rig.upload());
    QGroupBox *general = rig.page.parameters()->group(0);
    QPushButton *advanced = rig.page.parameters()->advancedButton();
    QVERIFY(!advanced->isVisible());
    // Ctrl+Alt at the foot of the group, across its middle: where the button appears, whatever the form holds.
    const QPoint foot(general->width() / 2, general->height() - 3);
    QTest::mousePress(general, Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier, foot);
    QVERIFY2(advanced->isVisible(), qPrintable(QStringLiteral("%1,%2 %3x%4 in %5x%6").arg(advanced->x()).arg(advanced->y()).arg(advanced->width()).arg(advanced->height()).arg(general->width()).arg(general->height())));
    const QRect shown = advanced->geometry();
    QVERIFY2(shown.left() <= foot.x() && foot.x() <= shown.right() && shown.top() <= foot.y(),
             qPrintable(QStringLiteral("%1,%2 %3x%4").arg(shown.x()).arg(shown.y()).arg(shown.width()).arg(shown.height())));
}

void TestSetupPage::hiddenEraseButtons()
{
    Rig rig(52, {5, 0, 2});
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    QPushButton *eh = rig.page.eraseHistoryButton();
    QPushButton *ep = rig.page.erasePersistentButton();
    QWidget *panel = rig.page.buttonPanel();
    QVERIFY(!eh->isEnabled() && !ep->isEnabled());

    // Only Shift and Ctrl together reach them; any other press on the panel puts them away.
    const QPoint spot(panel->width() - 5, panel->height() / 2);
    QTest::mouseClick(panel, Qt::LeftButton, Qt::ControlModifier, spot);
    QVERIFY(!eh->isEnabled());
    QTest::mouseClick(panel, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier, spot);
    QVERIFY(eh->isEnabled() && ep->isEnabled());

    rig.op.answers = {Answer::Yes, Answer::No};
    eh->click();
    ep->click();
    QCOMPARE(rig.op.questions, (QStringList{UnitCommands::eraseQuestion(UnitCommands::Erase::History),
                                            UnitCommands::eraseQuestion(UnitCommands::Erase::Persistent)}));
    QCOMPARE(rig.sent(Command::EraseHistory), 1);
    QCOMPARE(rig.sent(Command::ErasePersistent), 0); // declined

    QTest::mouseClick(panel, Qt::LeftButton, Qt::NoModifier, spot);
    QVERIFY(!eh->isEnabled() && !ep->isEnabled());
}

void TestSetupPage::passwordGuardsEraseSetup()
{
    Rig rig(35, {5, 0, 2});
    setuppack protectedRecord(sim::defaultSetupRecord(rig.unit));
    protectedRecord.setPwp(true);
    protectedRecord.setPw(QStringLiteral("k3y"));
    rig.unit.setupRecord = protectedRecord.bytes();
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    QVERIFY(rig.control<QCheckBox>("cbpwp")->isChecked());
    QVERIFY(rig.page.parameters()->changePasswordButton()->isEnabled());

    // A wrong password: refused, the window stays; then Cancel ends it silently.
    rig.answerDialog = [](QDialog &d) { enterPassword(d, QStringLiteral("nope")); };
    rig.page.eraseButton()->click();
    QCOMPARE(rig.dialogs, QStringList{QStringLiteral("Password Protect")});
    QCOMPARE(rig.op.messageTexts(MessageKind::Information),
             QStringList{QStringLiteral("Entered password does not match saved password")});
    QVERIFY(rig.op.questions.isEmpty());
    QCOMPARE(rig.sent(Command::EraseSetup), 0);

    // A download asks for it too; Cancel sends nothing.
    rig.type("edesc", QStringLiteral("Guarded"));
    rig.answerDialog = [](QDialog &) {};
    rig.page.downloadButton()->click();
    QCOMPARE(rig.dialogs.size(), 2);
    QCOMPARE(rig.sent(Command::SetupDownload), 0);

    // The right one: the erase question, then 'c'.
    rig.answerDialog = [](QDialog &d) { enterPassword(d, QStringLiteral("k3y")); };
    rig.op.answers = {Answer::Yes};
    rig.page.eraseButton()->click();
    QCOMPARE(rig.op.questions, QStringList{UnitCommands::eraseQuestion(UnitCommands::Erase::Setup)});
    QCOMPARE(rig.sent(Command::EraseSetup), 1);
    // Confirming is not turning protection off; the erased unit's factory setup is shown.
    QVERIFY(!rig.op.messageTexts().contains(QStringLiteral("Password protection has been turned off")));
    QVERIFY(wait::until([&] { return !rig.page.form().received().pwp(); }, 3000));
    QVERIFY(!rig.control<QCheckBox>("cbpwp")->isChecked());

}

void TestSetupPage::watchdogWindowMarksChanged()
{
    Rig rig(36, {5, 0, 2});
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    QCOMPARE(rig.page.form().received().wdt(), 1);
    QCheckBox *wdt = rig.control<QCheckBox>("CBwdt");
    QVERIFY(wdt->isChecked());
    rig.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.page));
    // On the box itself, not the row's empty end.
    const QPoint box(6, wdt->height() / 2);
    // A click on the checked box turns the watchdog off; a plain click on it then leaves it off.
    QTest::mouseClick(wdt, Qt::LeftButton, {}, box);
    QVERIFY(!wdt->isChecked());
    QCOMPARE(rig.page.form().outgoing().wdt(), 0);
    QTest::mouseClick(wdt, Qt::LeftButton, {}, box);
    QVERIFY(!wdt->isChecked());
    QVERIFY(rig.dialogs.isEmpty());
    // Shift+click opens "Watch Dog"; 3.28 s is value 2.
    rig.answerDialog = [](QDialog &d) {
        auto *w = qobject_cast<WatchDogWindow *>(&d);
        QVERIFY(w);
        QCOMPARE(w->choice()->currentText(), QStringLiteral("WDT 4.00 seconds"));
        w->choice()->setCurrentIndex(1);
        w->okButton()->click();
    };
    QTest::mouseClick(wdt, Qt::LeftButton, Qt::ShiftModifier, box);
    QCOMPARE(rig.dialogs, QStringList{QStringLiteral("Watch Dog")});
    QVERIFY(wdt->isChecked());
    QCOMPARE(rig.page.form().outgoing().wdt(), 2);
    QVERIFY(rig.page.parameters()->changedMarker()->isVisible());
    QVERIFY(rig.page.downloadButton()->isEnabled());
}

void TestSetupPage::advancedWindowBits()
{
    Rig rig(37, {5, 0, 2});
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    rig.answerDialog = [&rig](QDialog &d) {
        auto *w = qobject_cast<AdvancedWindow *>(&d);
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("Advanced Settings"));
        w->autoAdjust()->click(); // off
        QVERIFY(w->fixedBitSize()->isEnabled());
        w->fixedBitSize()->setCurrentText(QStringLiteral("12"));
        w->fixedBitSize()->setCurrentText(QStringLiteral("9"));
        QVERIFY(w->bitBox(1)->isChecked());
        QVERIFY(!w->bitBox(4)->isChecked());
        // The fixed size's own box stays.
        w->bitBox(1)->click();
        QVERIFY(w->bitBox(1)->isChecked());
        QCOMPARE(rig.op.messageTexts(MessageKind::Information),
                 QStringList{QStringLiteral("Can't turn this value off because it's the fixed size. To clear this bit "
                                            "size, Select a new fixed size value.")});
        w->bitBox(6)->click();
        QCOMPARE(w->multiBits()->text(), QStringLiteral("Multi-bits: 0x42"));
        w->okButton()->click();
    };
    rig.page.parameters()->openAdvanced();
    const setuppack &out = rig.page.form().outgoing();
    QCOMPARE(out.lsa(), false);
    QCOMPARE(out.lsf(), 9u);
    QCOMPARE(out.lsm1(), 0x42);
    QVERIFY(rig.page.form().advancedChanged());
    QVERIFY(!rig.page.parameters()->advancedButton()->isVisibleTo(&rig.page));

    // Download: No to the advanced question sends the advanced defaults.
    rig.op.answers = {Answer::No};
    rig.page.downloadButton()->click();
    QVERIFY(rig.op.logged(QStringLiteral("Advanced Settings Restored to Default Values")));
    const setuppack stored(rig.stored());
    QCOMPARE(stored.lsa(), true);
    QCOMPARE(stored.lsf(), 12u);
    QCOMPARE(stored.hcode(), true);
    QCOMPARE(stored.minB1(), 5);
    QCOMPARE(stored.minB2(), 10);
}

void TestSetupPage::clockSetSendsTheBytes()
{
    Rig rig(38, {5, 0, 2});
    QVERIFY(rig.start());
    TimeZoneTab *tz = rig.page.timeZone();
    QVERIFY(tz->clockDownload()->isEnabled());
    tz->datePicker()->setDate(QDate(2024, 2, 29));
    tz->timePicker()->setTime(QTime(23, 59, 58));
    tz->clockDownload()->click();
    QVERIFY(rig.fleet.server(0).tcp().received().contains(QByteArray::fromHex("743A3B171D05021814")));
    QVERIFY(rig.op.logged(QStringLiteral("Vork Unit ") + rig.unit.address.toString()
                          + QStringLiteral(" Date/Time set to \" Thursday, February 29, 2024, 11:59:58 PM\"")));
    QCOMPARE(tz->clockLabel()->text(), QStringLiteral(" Thursday, February 29, 2024, 11:59:58 PM"));
    // Reading it back fills the pickers from the unit's clock.
    tz->datePicker()->setDate(QDate(2000, 1, 1));
    tz->clockUpload()->click();
    QVERIFY(wait::until([&] { return tz->datePicker()->date() == QDate(2024, 2, 29); }, 3000));
    // A 't' the unit refuses: error tone, the 8 bytes never go.
    sim::SimCommandFaults faults;
    faults.nakCommands = "t";
    rig.fleet.server(0).setCommandFaults(faults);
    const QByteArray before = rig.fleet.server(0).tcp().received();
    tz->datePicker()->setDate(QDate(2025, 1, 2));
    tz->clockDownload()->click();
    QCOMPARE(rig.op.tones.last(), Tone::Error);
    QCOMPARE(rig.fleet.server(0).tcp().received(), before + "t");
}

void TestSetupPage::protectAndMonitorWindows()
{
    Rig rig(39, {5, 0, 2});
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    // Protection on an unprotected unit: a new password; nine characters are refused, eight taken.
    QStringList refusals;
    rig.answerDialog = [&](QDialog &d) {
        auto *w = qobject_cast<PasswordWindow *>(&d);
        QVERIFY(w);
        QCOMPARE(w->mode(), PasswordWindow::Mode::Set);
        w->password()->setText(QStringLiteral("123456789"));
        w->confirm()->setText(QStringLiteral("123456789"));
        w->okButton()->click();
        QVERIFY(w->password()->text().isEmpty());
        QCOMPARE(d.result(), int(QDialog::Rejected));
        w->password()->setText(QStringLiteral("12345678"));
        w->confirm()->setText(QStringLiteral("12345678"));
        w->okButton()->click();
    };
    rig.control<QCheckBox>("cbpwp")->click();
    QCOMPARE(rig.op.messageTexts(MessageKind::Information),
             QStringList{QStringLiteral("Maximum password length is 8 characters.")});
    QVERIFY(rig.control<QCheckBox>("cbpwp")->isChecked());
    QCOMPARE(rig.page.form().outgoing().pw(), QStringLiteral("12345678"));
    QCOMPARE(rig.page.form().outgoing().pwp(), true);
    QVERIFY(rig.page.parameters()->changePasswordButton()->isEnabled());
    // Cancel puts the box back.
    rig.control<QCheckBox>("cbpwp")->click(); // off: no window
    QCOMPARE(rig.dialogs.size(), 1);
    rig.answerDialog = [](QDialog &) {};
    rig.control<QCheckBox>("cbpwp")->click();
    QCOMPARE(rig.dialogs.size(), 2);
    QVERIFY(!rig.control<QCheckBox>("cbpwp")->isChecked());

    // The fault monitor of a standard unit: its window rebuilds the byte.
    rig.answerDialog = [](QDialog &d) {
        auto *w = qobject_cast<NetworkMonitorWindow *>(&d);
        QVERIFY(w);
        QVERIFY(!w->onOff()->isChecked());
        w->onOff()->click();
        w->rebootMajor()->click();
        w->okButton()->click();
    };
    rig.control<QCheckBox>("CBnfm")->click();
    QCOMPARE(rig.dialogs.last(), QStringLiteral("Network Monitor"));
    QCOMPARE(rig.page.form().outgoing().nfm(), 5);
    QVERIFY(rig.control<QCheckBox>("CBnfm")->isChecked());
    QCOMPARE(rig.control<QCheckBox>("CBnfm")->toolTip(), QStringLiteral("Automatically fix any network faults (5)"));
}

void TestSetupPage::uploadOverAwkwardLinks_data()
{
    QTest::addColumn<bool>("split");
    QTest::addColumn<int>("trickleMs");
    QTest::addColumn<int>("host");
    QTest::newRow("split in two") << true << 0 << 40;
    QTest::newRow("byte by byte") << false << 2 << 41;
}

void TestSetupPage::uploadOverAwkwardLinks()
{
    QFETCH(bool, split);
    QFETCH(int, trickleMs);
    QFETCH(int, host);
    sim::SimCommandFaults faults;
    faults.splitReplies = split;
    faults.trickleMs = trickleMs;
    Rig rig(host, {5, 0, 2}, faults);
    QVERIFY(rig.start());
    QVERIFY(rig.upload());
    QCOMPARE(rig.page.form().receivedLength(), 243);
    QCOMPARE(rig.page.form().received().bytes().toHex(), rig.stored().toHex());
    QVERIFY(!rig.page.form().changesPending());
}

QTEST_MAIN(TestSetupPage)
#include "tst_setuppage.moc"
