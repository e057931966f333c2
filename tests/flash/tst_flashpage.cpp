// The FLASH page's widgets over a flash run against simulated units on loopback:
// opening an image, the button picture and its regions, the flash from a click with
// its summary, progress, grid marks and phases, a failing unit, abort, the page kept
// while flashing, the boot-loader dialog, and the JPEG pictures and their decoder.
#include "flashpagerig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

using namespace vork;
using namespace vork::test;

class TestFlashPage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void openShowsBuildAndLines_data();
    void openShowsBuildAndLines();
    void refusedFileNamesTheLine_data();
    void refusedFileNamesTheLine();
    void pictureRegions_data();
    void pictureRegions();
    void keyboardReachesBothRegions();
    void selectionFromTheUnitList();
    void flashFromTheButton_data();
    void flashFromTheButton();
    void nakFailingUnitShowsFailure();
    void abortAsks_data();
    void abortAsks();
    void pageKeptWhileFlashing();
    void bootLoaderDialog_data();
    void bootLoaderDialog();
    void bootLoaderFlashTakesTheDialogsChoice();
    void builtInPicturesDecode();
    void decoderOnAGeneratedJpeg();
    void decoderOnGarbage_data();
    void decoderOnGarbage();
    void truncatedAndDamagedJpegs();
};

void TestFlashPage::openShowsBuildAndLines_data()
{
    QTest::addColumn<int>("blockLine");
    QTest::addColumn<QString>("build");
    QTest::addColumn<QString>("found");
    QTest::newRow("build block") << 2 << "SVRK.502s.123.01052019" << "Build data found";
    QTest::newRow("no build block") << 0 << "-1" << "Build data not found";
}

void TestFlashPage::openShowsBuildAndLines()
{
    QFETCH(int, blockLine);
    QFETCH(QString, build);
    QFETCH(QString, found);
    PageRig rig({});
    rig.op.setPanel(Panel::Description, QStringLiteral("Line 4 infeed"));
    const QStringList lines = hexfixture::programImage(600, blockLine);
    QCOMPARE(rig.page.flashButton()->state(), FlashButton::Disabled);
    const QString path = rig.open(lines);

    QCOMPARE(rig.page.buildField()->text(), build);
    QCOMPARE(rig.page.lineCountField()->text(), QStringLiteral("602"));
    QCOMPARE(rig.page.notesLabel()->text(),
             QStringLiteral("Searching ") + path + QStringLiteral(" for build information\n") + found);
    QCOMPARE(rig.page.imageModel().rowCount(), 602);
    QCOMPARE(rig.page.imageModel().data(rig.page.imageModel().index(1, HexImageModel::Record), Qt::DisplayRole).toString(),
             lines.at(1));
    QCOMPARE(rig.page.imageModel().data(rig.page.imageModel().index(1, HexImageModel::Number), Qt::DisplayRole).toInt(), 2);
    QCOMPARE(rig.page.progressBar()->maximum(), 602);
    QCOMPARE(rig.page.tabs()->currentIndex(), int(FlashPage::HexFileTab));
    QCOMPARE(rig.page.flashButton()->state(), FlashButton::Ready);
    QVERIFY(rig.page.flashButton()->isEnabled());
    QCOMPARE(rig.run().image().lines, lines);
    QVERIFY(rig.op.logged(QStringLiteral("Total Lines to Flash = 602")));
    // The status-bar panel showed the search and is back.
    QVERIFY(rig.op.panelHistory.contains(qMakePair(3, FlashPage::searchingPanelText())));
    QCOMPARE(rig.op.panel(Panel::Description), QStringLiteral("Line 4 infeed"));
    QCOMPARE(rig.settings.flashPath, rig.dir.path());
}

void TestFlashPage::refusedFileNamesTheLine_data()
{
    QTest::addColumn<int>("badLine"); // 1-based
    QTest::addColumn<QString>("bad");
    QTest::addColumn<bool>("checksum");
    QTest::addColumn<int>("answer"); // to the checksum question
    QTest::addColumn<bool>("loaded");
    QTest::newRow("non-hex character") << 3 << ":10001000G00102030405060708090A0B0C0D0E0F00" << false << 0 << false;
    QTest::newRow("no colon") << 5 << "10002000000102030405060708090A0B0C0D0E0FC8" << false << 0 << false;
    QTest::newRow("bad checksum, No") << 4 << ":10003000000102030405060708090A0B0C0D0E0F00" << true << int(Answer::No) << false;
    QTest::newRow("bad checksum, Yes") << 4 << ":10003000000102030405060708090A0B0C0D0E0F00" << true << int(Answer::Yes) << true;
}

void TestFlashPage::refusedFileNamesTheLine()
{
    QFETCH(int, badLine);
    QFETCH(QString, bad);
    QFETCH(bool, checksum);
    QFETCH(int, answer);
    QFETCH(bool, loaded);
    PageRig rig({});
    // A good image first: a refused file must not leave it ready behind the message.
    rig.open(hexfixture::programImage(600, 2), QStringLiteral("good.hex"));
    QCOMPARE(rig.page.flashButton()->state(), FlashButton::Ready);

    QStringList lines = hexfixture::programImage(600, 2);
    lines[badLine - 1] = bad;
    rig.op.answers = {Answer(answer)};
    const QString path = rig.open(lines, QStringLiteral("bad.hex"));
    const QString line = QStringLiteral("Line ") + QString::number(badLine) + QStringLiteral(" of ") + path;
    if (checksum) {
        QCOMPARE(rig.op.questions.size(), 1);
        QVERIFY2(rig.op.questions.first().startsWith(line + QStringLiteral(" has a bad checksum (")),
                 qPrintable(rig.op.questions.first()));
        QVERIFY(rig.op.questions.first().endsWith(QStringLiteral("). Continue anyway?")));
    } else {
        const QStringList errors = rig.op.messageTexts(MessageKind::Error);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith(line + QStringLiteral(" is not a valid Intel HEX record: ")),
                 qPrintable(errors.first()));
        QVERIFY(errors.first().endsWith(QStringLiteral(" - file not loaded")));
        QVERIFY(rig.op.questions.isEmpty());
        QVERIFY(rig.page.notesLabel()->text().endsWith(errors.first()));
    }
    if (loaded) {
        QCOMPARE(rig.page.flashButton()->state(), FlashButton::Ready);
        QCOMPARE(rig.page.lineCountField()->text(), QStringLiteral("602"));
        QCOMPARE(rig.run().image().lines.at(badLine - 1), bad); // sent as written
    } else {
        QCOMPARE(rig.page.flashButton()->state(), FlashButton::Disabled);
        QVERIFY(!rig.page.flashButton()->isEnabled());
        QVERIFY(rig.page.buildField()->text().isEmpty());
        QVERIFY(rig.page.lineCountField()->text().isEmpty());
        QCOMPARE(rig.page.imageModel().rowCount(), 0);
        QVERIFY(rig.run().image().isEmpty());
    }
}

void TestFlashPage::pictureRegions_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<int>("region");
    QTest::addColumn<int>("pressedState");
    QTest::newRow("program") << FlashButton::programRegion().center() << int(FlashButton::Region::Program)
                             << int(FlashButton::ProgramPressed);
    QTest::newRow("program corner") << QPoint(72, 77) << int(FlashButton::Region::Program) << int(FlashButton::ProgramPressed);
    QTest::newRow("boot loader") << QPoint(40, 112) << int(FlashButton::Region::BootLoader)
                                 << int(FlashButton::BootLoaderPressed);
    QTest::newRow("between the regions") << QPoint(56, 95) << int(FlashButton::Region::None) << int(FlashButton::Ready);
    QTest::newRow("left of program") << QPoint(39, 60) << int(FlashButton::Region::None) << int(FlashButton::Ready);
    QTest::newRow("below boot loader") << QPoint(56, 139) << int(FlashButton::Region::None) << int(FlashButton::Ready);
}

void TestFlashPage::pictureRegions()
{
    QFETCH(QPoint, at);
    QFETCH(int, region);
    QFETCH(int, pressedState);
    RecordingOperator op;
    FlashButton button(op);
    button.show();
    QSignalSpy requested(&button, &FlashButton::flashRequested);
    // Disabled (no image): a click starts nothing.
    QTest::mouseClick(&button, Qt::LeftButton, {}, at);
    QCOMPARE(requested.size(), 0);

    button.setState(FlashButton::Ready);
    QTest::mouseMove(&button, at);
    QCOMPARE(int(button.hovered()), region);
    QCOMPARE(button.cursor().shape(), region == int(FlashButton::Region::None) ? Qt::ArrowCursor : Qt::PointingHandCursor);
    QTest::mouseClick(&button, Qt::LeftButton, {}, at);
    QCOMPARE(requested.size(), region == int(FlashButton::Region::None) ? 0 : 1);
    if (!requested.isEmpty())
        QCOMPARE(int(requested.first().first().value<FlashButton::Region>()), region);
    QCOMPARE(int(button.state()), pressedState);
    QCOMPARE(op.tones, QList<Tone>{Tone::Button});
    // The pressed picture shows for 400 ms, then the ready one again.
    QVERIFY(wait::until([&] { return button.state() == FlashButton::Ready; }, FlashButton::pressedShownMs + 500));
}

void TestFlashPage::keyboardReachesBothRegions()
{
    RecordingOperator op;
    FlashButton button(op);
    button.setState(FlashButton::Ready);
    button.show();
    button.setFocus();
    QSignalSpy requested(&button, &FlashButton::flashRequested);
    QTest::keyClick(&button, Qt::Key_Return); // nothing chosen yet
    QCOMPARE(requested.size(), 0);
    QTest::keyClick(&button, Qt::Key_Down);
    QCOMPARE(button.hovered(), FlashButton::Region::BootLoader);
    QTest::keyClick(&button, Qt::Key_Up);
    QCOMPARE(button.hovered(), FlashButton::Region::Program);
    QTest::keyClick(&button, Qt::Key_Space);
    QCOMPARE(requested.size(), 1);
    QCOMPARE(requested.first().first().value<FlashButton::Region>(), FlashButton::Region::Program);
    QVERIFY(button.focusPolicy() & Qt::TabFocus);
}

void TestFlashPage::selectionFromTheUnitList()
{
    PageRig rig({flashUnit(0), flashUnit(1)});
    QVERIFY(rig.started);
    FlashUnitModel &model = rig.page.unitModel();
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.data(model.index(0, FlashUnitModel::IPAddress), Qt::DisplayRole).toString(), unitIp(0));
    QCOMPARE(model.data(model.index(0, FlashUnitModel::Ver), Qt::DisplayRole).toString(), QStringLiteral("3.0.0s"));
    QCOMPARE(model.headerData(FlashUnitModel::Description, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("SVRK Flash List"));
    QCOMPARE(model.data(model.index(1, FlashUnitModel::Sel), Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    // Space on the "Sel" cell selects the unit, as a click does.
    QTableView *grid = rig.page.unitGrid();
    grid->setFocus();
    grid->setCurrentIndex(model.index(1, FlashUnitModel::Sel));
    QTest::keyClick(grid, Qt::Key_Space);
    QVERIFY(rig.services.units().unit(1).selected);
    QVERIFY(!rig.services.units().unit(0).selected);
    QCOMPARE(model.data(model.index(1, FlashUnitModel::Sel), Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(grid->currentIndex().row(), 1);
    QTest::keyClick(grid, Qt::Key_Space);
    QVERIFY(!rig.services.units().unit(1).selected);
}

void TestFlashPage::flashFromTheButton_data()
{
    QTest::addColumn<bool>("dontReboot");
    QTest::addColumn<QString>("rowMarks");
    QTest::addColumn<QStringList>("phases");
    QTest::newRow("reboot") << false << "PPPPP"
                            << QStringList{QStringLiteral("Erasing ..."), QStringLiteral("Downloading ..."),
                                           QStringLiteral("Rebooting ..."), QString()};
    // The reboot step is left not confirmed, and the flash still passes.
    QTest::newRow("don't reboot") << true << "PPPWP"
                                  << QStringList{QStringLiteral("Erasing ..."), QStringLiteral("Downloading ..."), QString()};
}

void TestFlashPage::flashFromTheButton()
{
    QFETCH(bool, dontReboot);
    QFETCH(QString, rowMarks);
    QFETCH(QStringList, phases);
    PageRig rig({flashUnit(0)});
    QVERIFY(rig.started);
    const QStringList lines = hexfixture::programImage(600, 2);
    rig.open(lines);
    rig.select(0);
    if (dontReboot)
        QTest::mouseClick(rig.page.dontRebootBox(), Qt::LeftButton);

    QStringList percents;
    QList<int> bars;
    QStringList shown;
    // Connected after the page: these see what the page made of each signal.
    connect(&rig.run(), &FlashRun::lineProgress, &rig.page, [&] {
        percents << rig.page.percentLabel()->text();
        bars << rig.page.progressBar()->value();
    });
    connect(&rig.run(), &FlashRun::phaseChanged, &rig.page, [&] {
        const int p = rig.page.shownPhase();
        const QString text = p < 0 ? QString() : rig.page.phaseLabel(p)->text();
        if (shown.isEmpty() || shown.last() != text)
            shown << text;
    });
    bool abortEnabled = false;
    bool openEnabled = true;
    connect(&rig.run(), &FlashRun::lineProgress, &rig.page, [&](const QString &, int done) {
        if (done == 3) {
            abortEnabled = rig.page.abortButton()->isEnabled();
            openEnabled = rig.page.openButton()->isEnabled();
        }
    });
    rig.clickProgram();
    QVERIFY2(rig.run().allPassed(), qPrintable(rig.run().summary().join(QLatin1Char('\n'))));

    // The unit received the command and every line as the image holds it.
    QCOMPARE(rig.tcp(0).received(), QByteArray(QByteArray(dontReboot ? "L" : "F") + wire(lines) + (dontReboot ? "C" : "")));

    const QString version = dontReboot ? QStringLiteral("3.0.0 - 07-MAR-2019") : QStringLiteral("5.0.2 - 05-JAN-2019");
    QStringList summary{dateStamp + QStringLiteral(" *** Flashing Vork unit 127.0.63.2 Mac: ") + flashUnit(0).mac
                            + QStringLiteral(" Current Version 3.0.0 Build Date MAR-07-2019 ***"),
                        QLatin1Char('\t') + stamp + QStringLiteral(" Sent ") + (dontReboot ? QLatin1Char('L') : QLatin1Char('F'))
                            + QStringLiteral(" Command to Vork Unit"),
                        QLatin1Char('\t') + stamp + QStringLiteral(" Waiting for Vork Unit to Erase Flash"),
                        QLatin1Char('\t') + stamp + QStringLiteral(" Erase Complete"),
                        QLatin1Char('\t') + stamp + QStringLiteral(" Sending ") + rig.dir.filePath(QStringLiteral("image.hex"))
                            + QStringLiteral(" to Vork Unit 127.0.63.2"),
                        QLatin1Char('\t') + stamp + QStringLiteral(" Hex File Transfer Completed Successfully")};
    if (!dontReboot)
        summary << QLatin1Char('\t') + stamp + QStringLiteral(" Waiting for Reboot")
                << QLatin1Char('\t') + stamp + QStringLiteral(" Flashed Vork Unit rebooted successfully")
                << QLatin1Char('\t') + stamp + QStringLiteral(" Reading Flashed Vork's New Version Number");
    summary << QLatin1Char('\t') + stamp + QStringLiteral(" Flashed Vork's New Version is ") + version
            << dateStamp + QLatin1Char(' ') + stamp + QStringLiteral("*** Flash Completed Successfully for 127.0.63.2 Version ")
                   + version.section(QStringLiteral(" - "), 0, 0) + QStringLiteral(" Build Date ")
                   + version.section(QStringLiteral(" - "), 1) + QStringLiteral(" ***")
            << QString();
    QCOMPARE(rig.pane(), summary);

    QCOMPARE(percents.size(), int(lines.size()) + 1);
    QCOMPARE(percents.first(), QStringLiteral("%0"));
    QCOMPARE(percents.at(301), QStringLiteral("%50"));
    QCOMPARE(percents.last(), QStringLiteral("%100"));
    QCOMPARE(bars.last(), int(lines.size()));
    QCOMPARE(rig.page.progressBar()->maximum(), int(lines.size()));
    // After the transfer the bar is reset and the label hidden.
    QCOMPARE(rig.page.progressBar()->value(), 0);
    QVERIFY(rig.page.percentLabel()->isHidden());
    QCOMPARE(rig.page.bytesField()->text(), QString::number(wire(lines).size()));

    QCOMPARE(shown, phases);
    QCOMPARE(rig.page.shownPhase(), -1);
    QVERIFY(abortEnabled);
    QVERIFY(!openEnabled);
    QVERIFY(!rig.page.abortButton()->isEnabled());
    QVERIFY(rig.page.openButton()->isEnabled());
    QCOMPARE(rig.page.tabs()->currentIndex(), int(FlashPage::ProgressTab));

    FlashProgressModel &grid = rig.page.progressModel();
    QCOMPARE(grid.rowCount(), 1);
    QCOMPARE(marks(grid, 0), rowMarks);
    QCOMPARE(grid.data(grid.index(0, FlashProgressModel::IPAddress), Qt::DisplayRole).toString(), unitIp(0));
    QCOMPARE(grid.data(grid.index(0, FlashProgressModel::NewVersion), Qt::DisplayRole).toString(), version);
    QCOMPARE(grid.data(grid.index(0, FlashProgressModel::OldVersion), Qt::DisplayRole).toString(),
             QStringLiteral("3.0.0 - MAR-07-2019"));
    QCOMPARE(grid.data(grid.index(0, FlashProgressModel::StartTime), Qt::DisplayRole).toString(),
             QStringLiteral("02:07:09  PM"));
    QCOMPARE(grid.headerData(FlashProgressModel::O, Qt::Horizontal, Qt::ToolTipRole).toString(),
             QStringLiteral("Flash Overall Pass/Fail"));
    // The unit is done: deselected, and the list says so.
    QVERIFY(!rig.services.units().unit(0).selected);
    QCOMPARE(rig.page.unitModel().data(rig.page.unitModel().index(0, FlashUnitModel::Sel), Qt::CheckStateRole).toInt(),
             int(Qt::Unchecked));
}

void TestFlashPage::nakFailingUnitShowsFailure()
{
    sim::SimUnit bad = flashUnit(0);
    bad.flash.nakLine = 4;
    bad.flash.nakTimes = 0; // refuses line 4 every time
    PageRig rig({bad});
    QVERIFY(rig.started);
    rig.open(hexfixture::programImage(600, 2));
    rig.select(0);
    rig.clickProgram();
    QVERIFY(!rig.run().allPassed());
    const QStringList got = withoutStamps(rig.pane());
    QCOMPARE(got.count(QStringLiteral(" Line nacked by Vork Unit 127.0.63.2")), 11);
    QVERIFY(got.contains(QStringLiteral(" Flash Failed Vork Unit 127.0.63.2")));
    // The pane names the line that failed and why.
    QVERIFY(got.contains(QStringLiteral(" Line 4 nacked 11 times")));
    QVERIFY(got.contains(QStringLiteral(" Flashing Failed at Line 4")));
    QVERIFY(got.contains(QStringLiteral(" *** Flash Failed for 127.0.63.2 ***")));
    for (const QString &line : got)
        QVERIFY2(!line.contains(QStringLiteral("Successfully")), qPrintable(line));
    // Command and erase passed; the file failed; the reboot never came; overall failed.
    QCOMPARE(marks(rig.page.progressModel(), 0), QStringLiteral("PPXWX"));
    // The unit still runs its old firmware, and the grid says so.
    QCOMPARE(rig.page.progressModel()
                 .data(rig.page.progressModel().index(0, FlashProgressModel::NewVersion), Qt::DisplayRole)
                 .toString(),
             QStringLiteral("3.0.0 - 07-MAR-2019"));
    QCOMPARE(rig.page.shownPhase(), -1);
}

void TestFlashPage::abortAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("Yes") << int(Answer::Yes);
    QTest::newRow("No") << int(Answer::No);
}

void TestFlashPage::abortAsks()
{
    QFETCH(int, answer);
    PageRig rig({flashUnit(0), flashUnit(1)});
    QVERIFY(rig.started);
    const QStringList lines = hexfixture::programImage(600, 2);
    rig.open(lines);
    rig.select(0);
    rig.select(1);
    QTest::mouseClick(rig.page.dontRebootBox(), Qt::LeftButton);
    rig.op.answers = {Answer(answer)};
    connect(&rig.run(), &FlashRun::lineProgress, &rig.page, [&](const QString &ip, int done) {
        if (ip == unitIp(0) && done == 5)
            QTest::mouseClick(rig.page.abortButton(), Qt::LeftButton);
    });
    rig.clickProgram();
    QCOMPARE(rig.op.questions, QStringList{FlashRun::abortQuestion()});
    QCOMPARE(rig.op.questions.first(), QStringLiteral("Are you sure you want to abort the flash before it has completed?"));
    if (answer == int(Answer::Yes)) {
        QCOMPARE(rig.tcp(0).received(), QByteArray(QByteArray("L") + wire(lines.mid(0, 5)) + QByteArray("xC")));
        const QStringList got = withoutStamps(rig.pane());
        QVERIFY(got.contains(QStringLiteral(" Flash Aborted by user for Vork Unit 127.0.63.2")));
        QVERIFY(got.contains(QStringLiteral(" *** Flash Failed for 127.0.63.2 ***")));
        QCOMPARE(marks(rig.page.progressModel(), 0), QStringLiteral("PPXWX"));
        // The abort deselected every unit: the second one is never touched.
        QVERIFY(rig.tcp(1).received().isEmpty());
        QCOMPARE(rig.page.progressModel().rowCount(), 1);
    } else {
        QVERIFY(rig.run().allPassed());
        QCOMPARE(rig.tcp(0).received(), QByteArray(QByteArray("L") + wire(lines) + QByteArray("C")));
        QCOMPARE(rig.tcp(1).received(), QByteArray(QByteArray("L") + wire(lines) + QByteArray("C")));
        QCOMPARE(rig.page.progressModel().rowCount(), 2);
    }
    QVERIFY(!rig.page.abortButton()->isEnabled());
}

void TestFlashPage::pageKeptWhileFlashing()
{
    PageRig rig({flashUnit(0)});
    QVERIFY(rig.started);
    PageRules rules(rig.services);
    rules.add(rig.controller);
    QVERIFY(rules.requestChange(Page::Discover, Page::Flash));
    rules.changed(Page::Discover, Page::Flash);
    rig.open(hexfixture::programImage(600, 2));
    rig.select(0);
    rig.run().setDontReboot(true);
    bool refused = false;
    bool noticeShown = false;
    QString closeRefusal;
    Page held = Page::Discover;
    connect(&rig.run(), &FlashRun::lineProgress, &rig.page, [&](const QString &, int done) {
        if (done != 3)
            return;
        refused = !rules.requestChange(Page::Flash, Page::Discover);
        held = rules.changed(Page::Flash, Page::Discover);
        noticeShown = rig.page.refusalLabel()->isVisible();
        closeRefusal = rules.closeRefusal();
    });
    QVERIFY(rig.page.refusalLabel()->isHidden());
    rig.clickProgram();
    QVERIFY(rig.run().allPassed());
    QVERIFY(refused);
    QVERIFY(rig.op.logged(QStringLiteral("Page change refused: Flash is still running")));
    QCOMPARE(rig.page.refusalLabel()->text(), QStringLiteral("Page change refused: Flash is still running"));
    QVERIFY(noticeShown);
    QCOMPARE(held, Page::Flash);
    QCOMPARE(closeRefusal, QStringLiteral("Cannot close while flashing"));
    // Over: the page may be left, and entering it again starts an empty progress grid.
    QVERIFY(rig.page.refusalLabel()->isHidden());
    QVERIFY(rules.requestChange(Page::Flash, Page::Discover));
    QCOMPARE(rules.changed(Page::Flash, Page::Discover), Page::Discover);
    QCOMPARE(rig.page.progressModel().rowCount(), 1);
    rules.changed(Page::Discover, Page::Flash);
    QCOMPARE(rig.page.progressModel().rowCount(), 0);
}

void TestFlashPage::bootLoaderDialog_data()
{
    QTest::addColumn<int>("radio"); // 0 none, 1 manager, 2 A, 3 B
    QTest::addColumn<bool>("primaryEnabled");
    QTest::addColumn<int>("region");
    QTest::addColumn<bool>("makePrimary");
    QTest::newRow("nothing") << 0 << false << int(BootLoaderChoice::Region::None) << false;
    QTest::newRow("manager") << 1 << false << int(BootLoaderChoice::Region::Manager) << false;
    QTest::newRow("A primary") << 2 << true << int(BootLoaderChoice::Region::A) << true;
    QTest::newRow("B primary") << 3 << true << int(BootLoaderChoice::Region::B) << true;
}

void TestFlashPage::bootLoaderDialog()
{
    QFETCH(int, radio);
    QFETCH(bool, primaryEnabled);
    QFETCH(int, region);
    QFETCH(bool, makePrimary);
    BootLoaderDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Flash"));
    QCOMPARE(dialog.managerButton()->text(), QStringLiteral("Boot Loader Manager"));
    QCOMPARE(dialog.aButton()->text(), QStringLiteral("Boot Loader A"));
    QCOMPARE(dialog.bButton()->text(), QStringLiteral("Boot Loader B"));
    QVERIFY(!dialog.makePrimaryBox()->isEnabled());
    // A ticked "Make Primary" does not survive a change to the manager.
    dialog.bButton()->click();
    dialog.makePrimaryBox()->click();
    QRadioButton *buttons[] = {nullptr, dialog.managerButton(), dialog.aButton(), dialog.bButton()};
    if (radio == 0)
        dialog.reset();
    else
        buttons[radio]->click();
    QCOMPARE(dialog.makePrimaryBox()->isEnabled(), primaryEnabled);
    QCOMPARE(int(dialog.choice().region), region);
    QCOMPARE(dialog.choice().makePrimary, makePrimary);
}

void TestFlashPage::bootLoaderFlashTakesTheDialogsChoice()
{
    sim::SimUnit u = flashUnit(0);
    u.version = {5, 0, 2};
    PageRig rig({u});
    QVERIFY(rig.started);
    const QStringList lines = hexfixture::programImage(40, 0); // a boot file: at most 500 lines
    rig.open(lines, QStringLiteral("boot.hex"));
    rig.select(0);
    QTest::mouseClick(rig.page.dontRebootBox(), Qt::LeftButton);
    int asked = 0;
    rig.page.chooseBootLoader = [&](BootLoaderChoice &choice) {
        ++asked;
        choice.region = BootLoaderChoice::Region::B;
        choice.makePrimary = true;
        return true;
    };
    QTest::mouseClick(rig.page.flashButton(), Qt::LeftButton, {}, FlashButton::bootLoaderRegion().center());
    QCOMPARE(asked, 1);
    QCOMPARE(rig.run().mode(), FlashMode::BootLoader);
    QVERIFY2(rig.run().allPassed(), qPrintable(rig.run().summary().join(QLatin1Char('\n'))));
    // Units from 5.0 on log in first.
    QByteArray got = rig.tcp(0).received();
    QVERIFY(got.startsWith(authenticationText()));
    got.remove(0, authenticationText().size());
    // The command byte of "Boot Loader B" with "Make Primary", then every line; nothing else goes out.
    const QByteArray expected = QByteArray(1, char(0xEF)) + wire(lines);
    QCOMPARE(got.left(expected.size()), expected);
    QVERIFY(got.size() == expected.size() || got.mid(expected.size()) == QByteArray("C"));
}

void TestFlashPage::builtInPicturesDecode()
{
    RecordingOperator op;
    using flashpictures::Picture;
    for (int i = 0; i < flashpictures::pictureCount; ++i) {
        const auto p = Picture(i);
        const QByteArray data = flashpictures::jpegData(p);
        QVERIFY(data.startsWith("\xFF\xD8"));
        QString error;
        const QImage img = decodeJpeg(data, &error);
        QVERIFY2(!img.isNull(), qPrintable(error));
        QCOMPARE(img.size(), flashpictures::size(p));
        QCOMPARE(flashpictures::image(p, op).size(), flashpictures::size(p));
    }
    QVERIFY(op.logs.isEmpty());
    // The pressed states differ from the ready one where their key is.
    const QImage ready = flashpictures::image(Picture::ButtonReady, op);
    const QImage program = flashpictures::image(Picture::ButtonProgramPressed, op);
    const QImage boot = flashpictures::image(Picture::ButtonBootLoaderPressed, op);
    const QPoint p = FlashButton::programRegion().topLeft() + QPoint(3, 20);
    const QPoint b = FlashButton::bootLoaderRegion().topLeft() + QPoint(3, 20);
    QVERIFY(!near(ready.pixelColor(p), program.pixelColor(p)));
    QVERIFY(near(ready.pixelColor(b), program.pixelColor(b)));
    QVERIFY(!near(ready.pixelColor(b), boot.pixelColor(b)));
}

void TestFlashPage::decoderOnAGeneratedJpeg()
{
    const QByteArray jpeg = generatedJpeg();
    QVERIFY2(!jpeg.isEmpty(), "no JPEG writer to make the sample");
    QString error = QStringLiteral("stale");
    const QImage img = decodeJpeg(jpeg, &error);
    QVERIFY2(!img.isNull(), qPrintable(error));
    QVERIFY(error.isEmpty());
    QCOMPARE(img.size(), QSize(32, 16));
    QVERIFY(near(img.pixelColor(4, 8), QColor(220, 20, 20)));
    QVERIFY(near(img.pixelColor(28, 8), QColor(20, 20, 220)));
}

void TestFlashPage::decoderOnGarbage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("not a picture at all");
    QTest::newRow("start marker only") << QByteArray("\xFF\xD8", 2);
    QTest::newRow("start and end markers") << QByteArray("\xFF\xD8\xFF\xD9", 4);
    QTest::newRow("zero bytes") << QByteArray(4096, '\0');
    QByteArray header = generatedJpeg().left(200);
    QTest::newRow("header and noise") << header + QByteArray(300, '\x5A');
}

void TestFlashPage::decoderOnGarbage()
{
    QFETCH(QByteArray, bytes);
    QString error;
    QVERIFY(decodeJpeg(bytes, &error).isNull());
    QVERIFY(!error.isEmpty());
    // The picture falls back to its drawing, and the log says so.
    RecordingOperator op;
    const QImage img = flashpictures::imageFrom(bytes, flashpictures::Picture::ButtonReady, op);
    QCOMPARE(img.size(), QSize(112, 160));
    QCOMPARE(op.logs.size(), 1);
    QCOMPARE(op.logs.first(), QStringLiteral("The flash button (ready) picture could not be decoded (") + error
                                  + QStringLiteral("): drawn instead"));
}

void TestFlashPage::truncatedAndDamagedJpegs()
{
    const QByteArray whole = flashpictures::jpegData(flashpictures::Picture::ButtonReady);
    QVERIFY(whole.size() > 1000);
    // Every cut short of the whole is refused, never half drawn.
    for (qsizetype n = 0; n < whole.size(); n += (n < 800 ? 1 : 13)) {
        QString error;
        const QImage img = decodeJpeg(whole.left(n), &error);
        QVERIFY2(img.isNull(), qPrintable(QString::number(n)));
        QVERIFY(!error.isEmpty());
    }
    // Damaged bytes anywhere: a picture or a refusal, never a crash (the sanitizer build watches).
    quint32 seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    int refused = 0;
    for (int round = 0; round < 300; ++round) {
        QByteArray damaged = whole;
        const int flips = 1 + int(next() % 8);
        for (int k = 0; k < flips; ++k)
            damaged[qsizetype(next() % quint32(damaged.size()))] = char(next() & 0xFF);
        QString error;
        const QImage img = decodeJpeg(damaged, &error);
        if (img.isNull()) {
            ++refused;
            QVERIFY(!error.isEmpty());
        } else {
            QVERIFY(img.width() <= maxJpegSide && img.height() <= maxJpegSide);
        }
    }
    QVERIFY(refused > 0);
}

QTEST_MAIN(TestFlashPage)
#include "tst_flashpage.moc"
