// The options dialog, driven through its real widgets.
#include "core/tones.h"
#include "app/ui/optionsdialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <stdexcept>
#include <utility>
#include <vector>

using namespace vork;

using BoolField = bool TOptions::*;
using IntField = int TOptions::*;
using StoredColorField = StoredColor TOptions::*;
using Played = std::vector<std::pair<int, int>>;

Q_DECLARE_METATYPE(vork::TOptions)
Q_DECLARE_METATYPE(BoolField)
Q_DECLARE_METATYPE(IntField)
Q_DECLARE_METATYPE(StoredColorField)
Q_DECLARE_METATYPE(Played)

namespace {

const QString mainCaption = QStringLiteral("Brivella Utility");

// Names of the fields in which two option records differ, so a failure says which.
QStringList differences(const TOptions &a, const TOptions &b)
{
    QStringList out;
#define VORK_FIELD(f) \
    if (!(a.f == b.f)) \
        out << QLatin1String(#f);
    VORK_FIELD(AutoUpdate) VORK_FIELD(DiscoverOnStart) VORK_FIELD(WinTelnet) VORK_FIELD(DisplayModelIcon)
    VORK_FIELD(UseList) VORK_FIELD(SetupUpload) VORK_FIELD(Feedback) VORK_FIELD(DiscoveryList)
    VORK_FIELD(LoadListOnStart) VORK_FIELD(DiscoveryStartHZ) VORK_FIELD(DiscoveryStartLen)
    VORK_FIELD(DiscoveryEndHZ) VORK_FIELD(DiscoveryEndLen) VORK_FIELD(ConnectHZ) VORK_FIELD(ConnectLen)
    VORK_FIELD(DisConnectHZ) VORK_FIELD(DisConnectLen) VORK_FIELD(PingFoundHZ) VORK_FIELD(PingNotFoundHZ)
    VORK_FIELD(PingLen) VORK_FIELD(ErrorHZ) VORK_FIELD(ErrorLen) VORK_FIELD(ButtonHZ) VORK_FIELD(buttonLen)
    VORK_FIELD(CheckBoxHZ) VORK_FIELD(CheckBoxLen) VORK_FIELD(KeyClickHZ) VORK_FIELD(KeyClickLen)
    VORK_FIELD(CritDate) VORK_FIELD(Warncolor) VORK_FIELD(TimeWarnLow) VORK_FIELD(TimeWarnHigh)
    VORK_FIELD(CritColor) VORK_FIELD(RebootWarn) VORK_FIELD(WarnFontBlk) VORK_FIELD(CritFontBlk)
    VORK_FIELD(HistoryUpload)
#undef VORK_FIELD
    return out;
}

// Every field away from its default; tone kind k sounds at 901 + k Hz.
TOptions unusual()
{
    TOptions o;
    o.AutoUpdate = true;
    o.DiscoverOnStart = true;
    o.WinTelnet = true;
    o.DisplayModelIcon = false;
    o.UseList = true;
    o.SetupUpload = true;
    o.Feedback = true;
    o.DiscoveryList = QStringLiteral("/sites/north/list.txt");
    o.LoadListOnStart = true;
    o.DiscoveryStartHZ = 901, o.DiscoveryStartLen = 11;
    o.DiscoveryEndHZ = 902, o.DiscoveryEndLen = 12;
    o.ConnectHZ = 903, o.ConnectLen = 13;
    o.DisConnectHZ = 904, o.DisConnectLen = 14;
    o.ErrorHZ = 905, o.ErrorLen = 16;
    o.PingFoundHZ = 906, o.PingNotFoundHZ = 907, o.PingLen = 15;
    o.ButtonHZ = 908, o.buttonLen = 17;
    o.CheckBoxHZ = 909, o.CheckBoxLen = 18;
    o.KeyClickHZ = 910, o.KeyClickLen = 19;
    o.CritDate = false;
    o.Warncolor = 0x00123456;
    o.TimeWarnLow = 7;
    o.TimeWarnHigh = 45;
    o.CritColor = 0x00654321;
    o.RebootWarn = 48;
    o.WarnFontBlk = false;
    o.CritFontBlk = false;
    o.HistoryUpload = true;
    return o;
}

// The main window's side: options, tones through a recording player, the dialog.
struct Bench
{
    explicit Bench(const TOptions &start = TOptions{}) : options(start)
    {
        tones.setBeep(true);
    }

    TOptions options;
    Played played;
    Tones::Player recorder = [this](int hz, int ms) { played.emplace_back(hz, ms); };
    Tones tones{options, recorder};
    OptionsDialog dialog{mainCaption, tones, recorder};

    void open() { open(MainToggles::fromOptions(options)); }
    void open(const MainToggles &toggles)
    {
        dialog.prepare(options, toggles);
        dialog.show();
        if (!QTest::qWaitForWindowExposed(&dialog))
            throw std::runtime_error("options dialog not exposed");
    }

    template<class T>
    T *child(const char *name)
    {
        T *w = dialog.findChild<T *>(QLatin1String(name));
        if (!w)
            throw std::runtime_error(std::string("no control named ") + name);
        return w;
    }

    void showTab(int index)
    {
        QTabBar *bar = dialog.tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }
    void click(const char *name) { QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton); }
    // On the indicator: a stretched check box does not react to clicks past its text.
    void tick(const char *name)
    {
        auto *box = child<QCheckBox>(name);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    void type(const char *spinName, const QString &text)
    {
        auto *spin = child<QSpinBox>(spinName);
        spin->selectAll();
        QTest::keyClicks(spin, text);
    }
};

} // namespace

class TestOptionsDialog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void captionsAndTabs();
    void checkBoxesMapToFields_data();
    void checkBoxesMapToFields();
    void spinBoxesMapToFields_data();
    void spinBoxesMapToFields();
    void soundsTabHasOneSpinBoxPerStoredValue();
    void toneChangedSurvivesDoneAndShowsOnReopening();
    void openingCopiesTheMainToggles();
    void cancelLeavesOptionsUntouched();
    void defaults_data();
    void defaults();
    void soundsTabFollowsFeedback_data();
    void soundsTabFollowsFeedback();
    void openingAndClosingPlayTheButtonTone_data();
    void openingAndClosingPlayTheButtonTone();
    void tabChangePlaysTheButtonTone_data();
    void tabChangePlaysTheButtonTone();
    void spinChangePlaysAKeyClick();
    void soundsDefaultsStaySilent();
    void labelClickPlaysTheEditedTone_data();
    void labelClickPlaysTheEditedTone();
    void labelDoubleClickRestoresTheDefaultFrequency_data();
    void labelDoubleClickRestoresTheDefaultFrequency();
    void coloursAreStoredBlueGreenRed_data();
    void coloursAreStoredBlueGreenRed();
    void loadListEnablesTheListFile();
    void colorThemesButtonAsksForTheThemesWindow();
};

void TestOptionsDialog::captionsAndTabs()
{
    Bench b;
    b.open();
    QCOMPARE(b.dialog.windowTitle(), QStringLiteral("Brivella Utility Options"));
    QTabWidget *tabs = b.dialog.tabs();
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), QStringLiteral("General"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Sounds"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("Warnings"));
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(b.child<QPushButton>("done")->text(), QStringLiteral("Done"));
    QCOMPARE(b.child<QPushButton>("cancel")->text(), QStringLiteral("Cancel"));
    for (const char *name : {"defaultsGeneral", "defaultsSounds", "defaultsWarnings"})
        QCOMPARE(b.child<QPushButton>(name)->text(), QStringLiteral("Defaults"));
    QCOMPARE(b.child<QPushButton>("browseList")->text(), QStringLiteral("..."));
    QCOMPARE(b.child<QPushButton>("warnColor")->text(), QStringLiteral("Warning Color"));
    QCOMPARE(b.child<QPushButton>("critColor")->text(), QStringLiteral("Critical Color"));

    const QString resolution = b.child<QLabel>("screenResolution")->text();
    QVERIFY2(resolution.startsWith(QStringLiteral("Screen Resolution: 96/")), qPrintable(resolution));
    bool isNumber = false;
    const int dpi = resolution.mid(22).toInt(&isNumber);
    QVERIFY2(isNumber && dpi > 0, qPrintable(resolution));
}

void TestOptionsDialog::checkBoxesMapToFields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("tab");
    QTest::addColumn<BoolField>("field");
    auto row = [](const char *name, const char *caption, int tab, BoolField field) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(caption) << tab << field;
    };
    row("autoUpdate", "Automatically Check for Updates on Startup", 0, &TOptions::AutoUpdate);
    row("winTelnet", "Use Windows Telnet", 0, &TOptions::WinTelnet);
    row("feedback", "Click feedback beep", 0, &TOptions::Feedback);
    row("discoverOnStart", "Discover Vork units on startup", 0, &TOptions::DiscoverOnStart);
    row("useList", "Use discovery list", 0, &TOptions::UseList);
    row("loadListOnStart", "Load discovery list on startup", 0, &TOptions::LoadListOnStart);
    row("displayModelIcon", "Display model icon", 0, &TOptions::DisplayModelIcon);
    row("setupUpload", " Setup Upload", 0, &TOptions::SetupUpload);
    row("historyUpload", "History Upload", 0, &TOptions::HistoryUpload);
    row("critDate", "Display as Critical when date is incorrect", 2, &TOptions::CritDate);
    row("warnFontBlk", "Make warning font color black", 2, &TOptions::WarnFontBlk);
    row("critFontBlk", "Make critical font color black", 2, &TOptions::CritFontBlk);
}

void TestOptionsDialog::checkBoxesMapToFields()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(int, tab);
    QFETCH(BoolField, field);

    for (bool start : {false, true}) {
        TOptions start_options = unusual();
        start_options.*field = start;
        Bench b(start_options);
        b.open();
        auto *box = b.child<QCheckBox>(name.toLatin1().constData());
        QCOMPARE(box->text(), caption);
        QCOMPARE(box->isChecked(), start);

        b.showTab(tab);
        b.tick(name.toLatin1().constData());
        b.click("done");
        QCOMPARE(b.dialog.result(), int(QDialog::Accepted));
        TOptions expected = start_options;
        expected.*field = !start;
        QCOMPARE(differences(b.options, expected), QStringList());
    }
}

void TestOptionsDialog::spinBoxesMapToFields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("tab");
    QTest::addColumn<IntField>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("expected");
    auto row = [](const char *name, int tab, IntField field, const char *typed, int expected) {
        QTest::newRow(name) << QString::fromLatin1(name) << tab << field << QString::fromLatin1(typed) << expected;
    };
    row("DiscoveryStartHZ", 1, &TOptions::DiscoveryStartHZ, "1234", 1234);
    row("DiscoveryStartLen", 1, &TOptions::DiscoveryStartLen, "41", 41);
    row("DiscoveryEndHZ", 1, &TOptions::DiscoveryEndHZ, "1235", 1235);
    row("DiscoveryEndLen", 1, &TOptions::DiscoveryEndLen, "42", 42);
    row("ConnectHZ", 1, &TOptions::ConnectHZ, "1236", 1236);
    row("ConnectLen", 1, &TOptions::ConnectLen, "43", 43);
    row("DisConnectHZ", 1, &TOptions::DisConnectHZ, "1237", 1237);
    row("DisConnectLen", 1, &TOptions::DisConnectLen, "44", 44);
    row("PingFoundHZ", 1, &TOptions::PingFoundHZ, "1238", 1238);
    row("PingNotFoundHZ", 1, &TOptions::PingNotFoundHZ, "1239", 1239);
    row("PingLen", 1, &TOptions::PingLen, "45", 45);
    row("ErrorHZ", 1, &TOptions::ErrorHZ, "1240", 1240);
    row("ErrorLen", 1, &TOptions::ErrorLen, "46", 46);
    row("ButtonHZ", 1, &TOptions::ButtonHZ, "1241", 1241);
    row("buttonLen", 1, &TOptions::buttonLen, "47", 47);
    row("CheckBoxHZ", 1, &TOptions::CheckBoxHZ, "1242", 1242);
    row("CheckBoxLen", 1, &TOptions::CheckBoxLen, "48", 48);
    row("KeyClickHZ", 1, &TOptions::KeyClickHZ, "1243", 1243);
    row("KeyClickLen", 1, &TOptions::KeyClickLen, "49", 49);
    row("timeWarnLow", 2, &TOptions::TimeWarnLow, "0", 0);
    row("timeWarnHigh", 2, &TOptions::TimeWarnHigh, "999", 999);
    row("timeWarnHigh beyond 999", 2, &TOptions::TimeWarnHigh, "1000", 100);
    row("rebootWarn", 2, &TOptions::RebootWarn, "72", 72);
}

void TestOptionsDialog::spinBoxesMapToFields()
{
    QFETCH(QString, name);
    QFETCH(int, tab);
    QFETCH(IntField, field);
    QFETCH(QString, typed);
    QFETCH(int, expected);

    Bench b(unusual());
    const TOptions before = b.options;
    b.open();
    b.showTab(tab);
    b.type(name.section(QLatin1Char(' '), 0, 0).toLatin1().constData(), typed);
    b.click("done");

    TOptions want = before;
    want.*field = expected;
    QCOMPARE(differences(b.options, want), QStringList());
}

void TestOptionsDialog::soundsTabHasOneSpinBoxPerStoredValue()
{
    Bench b;
    b.open();
    // Ten frequencies and nine lengths: both ping tones share one length box.
    const QList<QSpinBox *> spins = b.dialog.tabs()->widget(OptionsDialog::SoundsTab)->findChildren<QSpinBox *>();
    QStringList names;
    for (const QSpinBox *spin : spins)
        names << spin->objectName();
    names.sort();
    QCOMPARE(names.size(), 19);
    QCOMPARE(names.count(QStringLiteral("PingLen")), 1);
    names.removeDuplicates();
    QCOMPARE(names.size(), 19);
    QCOMPARE(b.dialog.tabs()->widget(OptionsDialog::SoundsTab)->findChildren<QLabel *>(
                 QRegularExpression(QStringLiteral("^toneLabel\\d$"))).size(),
             10);
}

void TestOptionsDialog::toneChangedSurvivesDoneAndShowsOnReopening()
{
    Bench b;
    const MainToggles toggles{true, false, false, false, QStringLiteral("DiscoveryList.txt")};

    // The real modal loop; a guard ends it should a click go astray.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &b.dialog, &QDialog::reject);

    QTimer::singleShot(0, &b.dialog, [&b] {
        b.showTab(OptionsDialog::SoundsTab);
        b.type("ConnectHZ", QStringLiteral("2345"));
        b.click("done");
    });
    guard.start(5000);
    QCOMPARE(b.dialog.run(b.options, toggles), int(QDialog::Accepted));
    QVERIFY(guard.isActive());
    QCOMPARE(b.options.ConnectHZ, 2345);

    // Reopening goes back to "General" from "Sounds" by itself, which is no tab change of the operator's.
    int shown = -1;
    int page = -1;
    Played atOpening;
    b.played.clear();
    QTimer::singleShot(0, &b.dialog, [&] {
        shown = b.child<QSpinBox>("ConnectHZ")->value();
        page = b.dialog.tabs()->currentIndex();
        atOpening = b.played;
        b.click("cancel");
    });
    guard.start(5000);
    QCOMPARE(b.dialog.run(b.options, toggles), int(QDialog::Rejected));
    QVERIFY(guard.isActive());
    QCOMPARE(shown, 2345);
    QCOMPARE(page, int(OptionsDialog::GeneralTab));
    QCOMPARE(atOpening, (Played{{700, 30}}));
    QCOMPARE(b.options.ConnectHZ, 2345);
}

void TestOptionsDialog::openingCopiesTheMainToggles()
{
    Bench b;
    const MainToggles toggles{true, true, true, true, QStringLiteral("/sites/south.txt")};
    b.open(toggles);
    QVERIFY(b.child<QCheckBox>("feedback")->isChecked());
    QVERIFY(b.child<QCheckBox>("discoverOnStart")->isChecked());
    QVERIFY(b.child<QCheckBox>("useList")->isChecked());
    QVERIFY(b.child<QCheckBox>("loadListOnStart")->isChecked());
    QCOMPARE(b.child<QLineEdit>("discoveryList")->text(), QStringLiteral("/sites/south.txt"));

    b.click("done");
    TOptions want;
    want.Feedback = want.DiscoverOnStart = want.UseList = want.LoadListOnStart = true;
    want.DiscoveryList = QStringLiteral("/sites/south.txt");
    QCOMPARE(differences(b.options, want), QStringList());
    const MainToggles back = MainToggles::fromOptions(b.options);
    QVERIFY(back.beep && back.autoDiscover && back.useList && back.loadListOnStart);
    QCOMPARE(back.listFile, toggles.listFile);
}

void TestOptionsDialog::cancelLeavesOptionsUntouched()
{
    Bench b(unusual());
    const TOptions before = b.options;
    b.dialog.setColorChooser([](QWidget *, const QColor &, const QString &) { return QColor(1, 2, 3); });
    b.open();

    b.tick("autoUpdate");
    b.click("defaultsGeneral");
    b.tick("feedback"); // the defaults hid "Sounds"
    b.showTab(OptionsDialog::SoundsTab);
    b.type("ErrorHZ", QStringLiteral("1500"));
    b.click("defaultsSounds");
    b.showTab(OptionsDialog::WarningsTab);
    b.click("warnColor");
    b.type("rebootWarn", QStringLiteral("3"));
    b.click("defaultsWarnings");
    b.played.clear();
    b.click("cancel");

    QCOMPARE(b.dialog.result(), int(QDialog::Rejected));
    QCOMPARE(differences(b.options, before), QStringList());
    QCOMPARE(b.played, (Played{{before.ButtonHZ, before.buttonLen}}));
}

void TestOptionsDialog::defaults_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("button");
    QTest::addColumn<TOptions>("expected");

    TOptions general = unusual();
    general.AutoUpdate = false;
    general.WinTelnet = false;
    general.Feedback = false;
    general.UseList = false;
    general.LoadListOnStart = false;
    general.SetupUpload = false;
    general.HistoryUpload = false;
    general.DiscoverOnStart = true;
    general.DisplayModelIcon = true;
    general.DiscoveryList.clear();
    QTest::newRow("General") << 0 << QStringLiteral("defaultsGeneral") << general;

    TOptions sounds = unusual();
    sounds.DiscoveryStartHZ = 950, sounds.DiscoveryStartLen = 25;
    sounds.DiscoveryEndHZ = 850, sounds.DiscoveryEndLen = 25;
    sounds.ConnectHZ = 1600, sounds.ConnectLen = 25;
    sounds.DisConnectHZ = 1400, sounds.DisConnectLen = 25;
    sounds.PingFoundHZ = 3000, sounds.PingNotFoundHZ = 200, sounds.PingLen = 300;
    sounds.ErrorHZ = 200, sounds.ErrorLen = 300;
    sounds.ButtonHZ = 700, sounds.buttonLen = 30;
    sounds.CheckBoxHZ = 1000, sounds.CheckBoxLen = 25;
    sounds.KeyClickHZ = 1200, sounds.KeyClickLen = 25;
    QTest::newRow("Sounds") << 1 << QStringLiteral("defaultsSounds") << sounds;

    TOptions warnings = unusual();
    warnings.TimeWarnLow = 5;
    warnings.TimeWarnHigh = 30;
    warnings.RebootWarn = 24;
    warnings.CritDate = true;
    warnings.WarnFontBlk = true;
    warnings.CritFontBlk = true;
    warnings.Warncolor = 65535;
    warnings.CritColor = 255;
    QTest::newRow("Warnings") << 2 << QStringLiteral("defaultsWarnings") << warnings;
}

void TestOptionsDialog::defaults()
{
    QFETCH(int, tab);
    QFETCH(QString, button);
    QFETCH(TOptions, expected);

    Bench b(unusual());
    b.open();
    b.showTab(tab);
    b.click(button.toLatin1().constData());
    b.click("done");
    QCOMPARE(differences(b.options, expected), QStringList());
}

void TestOptionsDialog::soundsTabFollowsFeedback_data()
{
    QTest::addColumn<bool>("beep");
    QTest::newRow("beep off at opening") << false;
    QTest::newRow("beep on at opening") << true;
}

void TestOptionsDialog::soundsTabFollowsFeedback()
{
    QFETCH(bool, beep);
    Bench b;
    b.open({beep, false, false, false, QString()});
    QTabWidget *tabs = b.dialog.tabs();
    QCOMPARE(tabs->isTabVisible(OptionsDialog::SoundsTab), beep);

    b.tick("feedback");
    QCOMPARE(tabs->isTabVisible(OptionsDialog::SoundsTab), !beep);
    b.tick("feedback");
    QCOMPARE(tabs->isTabVisible(OptionsDialog::SoundsTab), beep);

    if (!beep)
        b.tick("feedback");
    b.click("defaultsGeneral");
    QVERIFY(!tabs->isTabVisible(OptionsDialog::SoundsTab));
}

void TestOptionsDialog::openingAndClosingPlayTheButtonTone_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("Done") << QStringLiteral("done");
    QTest::newRow("Cancel") << QStringLiteral("cancel");
}

void TestOptionsDialog::openingAndClosingPlayTheButtonTone()
{
    QFETCH(QString, button);
    Bench b(unusual());
    const Played button_tone{{b.options.ButtonHZ, b.options.buttonLen}};
    // Filling moves every spin box away from its previous value; none of that may click.
    b.open();
    QCOMPARE(b.played, button_tone);
    QCOMPARE(b.tones.muteCount(), 0);

    b.played.clear();
    b.click(button.toLatin1().constData());
    QCOMPARE(b.played, button_tone);
}

void TestOptionsDialog::tabChangePlaysTheButtonTone_data()
{
    QTest::addColumn<bool>("beep");
    QTest::addColumn<Played>("expected");
    QTest::newRow("beep on") << true << Played{{908, 17}, {908, 17}, {908, 17}};
    QTest::newRow("beep off") << false << Played{};
}

void TestOptionsDialog::tabChangePlaysTheButtonTone()
{
    QFETCH(bool, beep);
    QFETCH(Played, expected);
    Bench b(unusual());
    b.tones.setBeep(beep);
    b.open();
    b.played.clear();
    b.showTab(OptionsDialog::WarningsTab);
    b.showTab(OptionsDialog::SoundsTab);
    b.showTab(OptionsDialog::GeneralTab);
    QCOMPARE(b.dialog.tabs()->currentIndex(), int(OptionsDialog::GeneralTab));
    QCOMPARE(b.played, expected);
}

void TestOptionsDialog::spinChangePlaysAKeyClick()
{
    Bench b(unusual());
    b.open();
    b.showTab(OptionsDialog::SoundsTab);
    b.played.clear();
    // Typing "7" over a selected value is one change; the click is the key-click tone
    // of the options in force, not of the edited spin boxes.
    b.type("KeyClickHZ", QStringLiteral("7"));
    QCOMPARE(b.played, (Played{{910, 19}}));
    b.type("PingLen", QStringLiteral("8"));
    QCOMPARE(b.played, (Played{{910, 19}, {910, 19}}));

    // The warning fields are not tones.
    b.showTab(OptionsDialog::WarningsTab);
    b.played.clear();
    b.type("rebootWarn", QStringLiteral("9"));
    QCOMPARE(b.played, Played{});
}

void TestOptionsDialog::soundsDefaultsStaySilent()
{
    Bench b(unusual());
    b.open();
    b.showTab(OptionsDialog::SoundsTab);
    b.played.clear();
    b.click("defaultsSounds");
    QCOMPARE(b.child<QSpinBox>("ConnectHZ")->value(), 1600);
    QCOMPARE(b.played, Played{});
    QCOMPARE(b.tones.muteCount(), 0);

    // Silence came from the mute, not from a switched-off beep.
    b.type("ConnectHZ", QStringLiteral("5"));
    QCOMPARE(b.played, (Played{{910, 19}}));
}

void TestOptionsDialog::labelClickPlaysTheEditedTone_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("hzSpin");
    QTest::addColumn<QString>("lenSpin");
    QTest::addColumn<QString>("caption");
    auto row = [](int kind, const char *hz, const char *len, const char *caption) {
        QTest::newRow(caption) << kind << QString::fromLatin1(hz) << QString::fromLatin1(len) << QString::fromLatin1(caption);
    };
    row(0, "DiscoveryStartHZ", "DiscoveryStartLen", "Discovery Start");
    row(1, "DiscoveryEndHZ", "DiscoveryEndLen", "Discovery End");
    row(2, "ConnectHZ", "ConnectLen", "Connect");
    row(3, "DisConnectHZ", "DisConnectLen", "Disconnect");
    row(4, "ErrorHZ", "ErrorLen", "Error");
    row(5, "PingFoundHZ", "PingLen", "Ping Found");
    row(6, "PingNotFoundHZ", "PingLen", "Ping Not Found");
    row(7, "ButtonHZ", "buttonLen", "Button");
    row(8, "CheckBoxHZ", "CheckBoxLen", "Check Box");
    row(9, "KeyClickHZ", "KeyClickLen", "Key Click");
}

void TestOptionsDialog::labelClickPlaysTheEditedTone()
{
    QFETCH(int, kind);
    QFETCH(QString, hzSpin);
    QFETCH(QString, lenSpin);
    QFETCH(QString, caption);

    Bench b(unusual());
    b.open();
    b.showTab(OptionsDialog::SoundsTab);
    b.type(hzSpin.toLatin1().constData(), QStringLiteral("2500"));
    b.type(lenSpin.toLatin1().constData(), QStringLiteral("77"));
    QCOMPARE(b.options.tone(static_cast<Tone>(kind)).first, 901 + kind); // nothing applied yet

    // The operator asked to hear it: it plays even with the beep toggle up.
    b.tones.setBeep(false);
    b.played.clear();
    auto *label = b.child<QLabel>(QStringLiteral("toneLabel%1").arg(kind).toLatin1().constData());
    QCOMPARE(label->text(), caption);
    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(b.played, (Played{{2500, 77}}));
}

void TestOptionsDialog::labelDoubleClickRestoresTheDefaultFrequency_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("hzSpin");
    QTest::addColumn<QString>("lenSpin");
    QTest::addColumn<int>("defaultHz");
    auto row = [](int kind, const char *hz, const char *len, int defaultHz) {
        QTest::newRow(hz) << kind << QString::fromLatin1(hz) << QString::fromLatin1(len) << defaultHz;
    };
    row(0, "DiscoveryStartHZ", "DiscoveryStartLen", 950);
    row(1, "DiscoveryEndHZ", "DiscoveryEndLen", 850);
    row(2, "ConnectHZ", "ConnectLen", 1600);
    row(3, "DisConnectHZ", "DisConnectLen", 1400);
    row(4, "ErrorHZ", "ErrorLen", 200);
    row(5, "PingFoundHZ", "PingLen", 3000);
    row(6, "PingNotFoundHZ", "PingLen", 200);
    row(7, "ButtonHZ", "buttonLen", 700);
    row(8, "CheckBoxHZ", "CheckBoxLen", 1000);
    row(9, "KeyClickHZ", "KeyClickLen", 1200);
}

void TestOptionsDialog::labelDoubleClickRestoresTheDefaultFrequency()
{
    QFETCH(int, kind);
    QFETCH(QString, hzSpin);
    QFETCH(QString, lenSpin);
    QFETCH(int, defaultHz);

    Bench b(unusual());
    b.open();
    b.showTab(OptionsDialog::SoundsTab);
    auto *hz = b.child<QSpinBox>(hzSpin.toLatin1().constData());
    auto *len = b.child<QSpinBox>(lenSpin.toLatin1().constData());
    const int lenBefore = len->value();
    QCOMPARE(hz->value(), 901 + kind);

    auto *label = b.child<QLabel>(QStringLiteral("toneLabel%1").arg(kind).toLatin1().constData());
    QTest::mouseDClick(label, Qt::LeftButton);
    QCOMPARE(hz->value(), defaultHz);
    QCOMPARE(len->value(), lenBefore);

    b.click("done");
    QCOMPARE(b.options.tone(static_cast<Tone>(kind)).first, defaultHz);
}

void TestOptionsDialog::coloursAreStoredBlueGreenRed_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<StoredColorField>("field");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QColor>("chosen");
    QTest::addColumn<StoredColor>("stored");
    // unusual() holds 0x00123456 (red 0x56) and 0x00654321 (red 0x21).
    QTest::newRow("warning") << QStringLiteral("warnColor") << &TOptions::Warncolor << QStringLiteral("Warning Color")
                             << QColor(0xAA, 0xBB, 0xCC) << StoredColor(0x00CCBBAA);
    QTest::newRow("critical") << QStringLiteral("critColor") << &TOptions::CritColor
                              << QStringLiteral("Critical Color") << QColor(0x01, 0x02, 0xF3)
                              << StoredColor(0x00F30201);
    QTest::newRow("warning, chooser cancelled") << QStringLiteral("warnColor") << &TOptions::Warncolor
                                                << QStringLiteral("Warning Color") << QColor()
                                                << StoredColor(0x00123456);
}

void TestOptionsDialog::coloursAreStoredBlueGreenRed()
{
    QFETCH(QString, button);
    QFETCH(StoredColorField, field);
    QFETCH(QString, title);
    QFETCH(QColor, chosen);
    QFETCH(StoredColor, stored);

    Bench b(unusual());
    const TOptions before = b.options;
    QColor offered;
    QString askedTitle;
    int asked = 0;
    b.dialog.setColorChooser([&](QWidget *, const QColor &initial, const QString &t) {
        ++asked;
        offered = initial;
        askedTitle = t;
        return chosen;
    });
    b.open();
    b.showTab(OptionsDialog::WarningsTab);
    b.click(button.toLatin1().constData());
    QCOMPARE(asked, 1);
    QCOMPARE(askedTitle, title);
    const StoredColor was = before.*field;
    QCOMPARE(offered, QColor(int(was & 0xFF), int((was >> 8) & 0xFF), int((was >> 16) & 0xFF)));

    b.click("done");
    TOptions want = before;
    want.*field = stored;
    QCOMPARE(differences(b.options, want), QStringList());
}

void TestOptionsDialog::loadListEnablesTheListFile()
{
    Bench b;
    QString offered;
    b.dialog.setListChooser([&offered](QWidget *, const QString &current) {
        offered = current;
        return QStringLiteral("/sites/east/units.txt");
    });
    QSignalSpy chosen(&b.dialog, &OptionsDialog::startupListChosen);
    b.open({false, false, false, false, QStringLiteral("DiscoveryList.txt")});
    auto *file = b.child<QLineEdit>("discoveryList");
    auto *browse = b.child<QPushButton>("browseList");
    QVERIFY(!file->isEnabled());
    QVERIFY(!browse->isEnabled());

    b.tick("loadListOnStart");
    QVERIFY(file->isEnabled());
    QVERIFY(browse->isEnabled());
    b.click("browseList");
    QCOMPARE(offered, QStringLiteral("DiscoveryList.txt"));
    QCOMPARE(file->text(), QStringLiteral("/sites/east/units.txt"));
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.at(0).at(0).toString(), QStringLiteral("/sites/east/units.txt"));

    b.click("done");
    QVERIFY(b.options.LoadListOnStart);
    QCOMPARE(b.options.DiscoveryList, QStringLiteral("/sites/east/units.txt"));
}

void TestOptionsDialog::colorThemesButtonAsksForTheThemesWindow()
{
    Bench b;
    QSignalSpy asked(&b.dialog, &OptionsDialog::colorThemesRequested);
    b.open();
    auto *themes = b.child<QPushButton>("colorThemes");
    QCOMPARE(themes->text(), QStringLiteral("Color Themes:"));
    // Nothing handles it yet: a button that would do nothing is off.
    QVERIFY(!themes->isEnabled());
    b.dialog.setColorThemesAvailable(true);
    QVERIFY(themes->isEnabled());
    b.click("colorThemes");
    QCOMPARE(asked.count(), 1);
    QVERIFY(b.dialog.isVisible()); // the options stay open beneath it
}

QTEST_MAIN(TestOptionsDialog)
#include "tst_optionsdialog.moc"
