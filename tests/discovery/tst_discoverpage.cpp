// The "Discover " tab driven through its widgets against simulated units on loopback.
#include "core/boundedwait.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "discovery/ui/discoverpage.h"
#include "discovery/ui/discoverygrid.h"
#include "discovery/ui/discoverygridmodel.h"
#include "discovery/unitcolumns.h"
#include "loopbackcycle.h"
#include "unit/unittable.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace vork;
using sim::SimUnit;

namespace {

// Units on 127.0.3.x, apart from the other tests' and the demo's addresses.
QString unitAddress(int host)
{
    return QStringLiteral("127.0.3.") + QString::number(host);
}

class Fixture : public LoopbackCycle
{
public:
    Fixture() : LoopbackCycle(500)
    {
        page = std::make_unique<DiscoverPage>(op, *transport, *units, *cycle);
        page->setUseList(true);
        page->resize(1000, 500);
    }

    void add(int host, const QString &desc, int delayMs)
    {
        SimUnit u = sim::demoUnit(0, QHostAddress(unitAddress(host)));
        u.description = desc;
        u.faults.delayMs = delayMs;
        addUnit(u);
    }
    QStringList shownDescriptions() const
    {
        QStringList out;
        DiscoveryGridModel &m = page->gridModel();
        for (int r = 0; r < m.rowCount(); ++r)
            if (m.isUnitRow(r))
                out << m.index(r, unitcolumns::Description).data().toString();
        return out;
    }

    std::unique_ptr<DiscoverPage> page;
};

QStringList actionTexts(const QMenu *menu)
{
    QStringList out;
    for (const QAction *a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

// The window system turns a right click into this event.
void rightClick(QWidget *w)
{
    const QPoint pos = w->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, w->mapToGlobal(pos));
    QApplication::sendEvent(w, &event);
}

QString checkedText(const QMenu *menu)
{
    QStringList out;
    for (const QAction *a : menu->actions())
        if (a->isChecked())
            out << a->text();
    return out.join(QLatin1Char('|'));
}

} // namespace

class TestDiscoverPage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void controls();
    void searchHiddenWhileCollecting();
    void rowsInArrivalOrderWithoutSorting();
    void sortedRowsOnlyAtTheEnd();
    void sortChoicePlaysCheckToneAndTakesEffectNextCycle();
    void selectAllToggle();
    void searchMenu();
    void searchMenuPortMark_data();
    void searchMenuPortMark();
    void syncToggleFollowsTheCycle();
};

void TestDiscoverPage::controls()
{
    Fixture f;
    QCOMPARE(f.page->searchButton()->text(), QStringLiteral("Search"));
    QCOMPARE(f.page->syncToggle()->text(),
             QStringLiteral("Synchronize all Vork(s) clock with PC clock on Discovery"));
    QCOMPARE(f.page->useListToggle()->text(), QStringLiteral("Use List of IP address to search"));
    QCOMPARE(f.page->discoverOnStartToggle()->text(), QStringLiteral("Auto Discover Units on Start"));
    QCOMPARE(f.page->selectAllToggle()->text(), QStringLiteral("Select All Units"));
    QCOMPARE(f.page->verifyButton()->text(), QStringLiteral("Verify Checksum for selected units"));
    QCOMPARE(f.page->discoveringLabel()->text(), QStringLiteral("Discovering"));
    QStringList sorts;
    for (int i = 0; i < f.page->sortChoice()->count(); ++i)
        sorts << f.page->sortChoice()->itemText(i);
    QCOMPARE(sorts, (QStringList{QStringLiteral("No sorting"), QStringLiteral("IP address"),
                                 QStringLiteral("MAC address"), QStringLiteral("Description"),
                                 QStringLiteral("# of Readers"), QStringLiteral("Model"), QStringLiteral("Run Time"),
                                 QStringLiteral("Version #")}));
    QVERIFY(!f.page->verifyButton()->isEnabled());
}

void TestDiscoverPage::searchHiddenWhileCollecting()
{
    Fixture f;
    f.add(10, QStringLiteral("Only"), 0);
    QVERIFY(f.startFleet());
    f.page->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.page.get()));
    QSignalSpy finished(f.cycle, &DiscoveryCycle::windowFinished);

    QTest::mouseClick(f.page->searchButton(), Qt::LeftButton);
    QVERIFY(f.cycle->collecting());
    QVERIFY(!f.page->searchButton()->isVisible());
    QVERIFY(!f.page->sortChoice()->isEnabled());
    QVERIFY(f.page->discoveringLabel()->isVisible());
    QVERIFY(f.page->busyAnimation()->isVisible());
    QVERIFY(!f.page->verifyButton()->isEnabled());

    QVERIFY(finished.wait(3000));
    QVERIFY(f.page->searchButton()->isVisible());
    QVERIFY(f.page->sortChoice()->isEnabled());
    QVERIFY(!f.page->discoveringLabel()->isVisible());
    QVERIFY(!f.page->busyAnimation()->isVisible());
    // A cycle that found a unit would enable the checksum button, but nothing runs it yet.
    QVERIFY(!f.page->verifyButton()->isEnabled());
    f.page->setVerifyAvailable(true);
    QVERIFY(f.page->verifyButton()->isEnabled());
    QCOMPARE(f.shownDescriptions(), QStringList{QStringLiteral("Only")});
}

void TestDiscoverPage::rowsInArrivalOrderWithoutSorting()
{
    Fixture f;
    // Delays fix the arrival order against the target order.
    f.add(20, QStringLiteral("third"), 300);
    f.add(21, QStringLiteral("first"), 0);
    f.add(22, QStringLiteral("second"), 150);
    QVERIFY(f.startFleet());
    f.transport->setTimeOut(700);
    QStringList seen;
    QObject::connect(&f.page->gridModel(), &QAbstractItemModel::dataChanged, [&] {
        const QStringList now = f.shownDescriptions();
        if (now != seen && !now.isEmpty())
            seen = now;
    });
    QSignalSpy finished(f.cycle, &DiscoveryCycle::windowFinished);
    QTest::mouseClick(f.page->searchButton(), Qt::LeftButton);

    // Rows appear while the window is still open.
    QTRY_COMPARE_WITH_TIMEOUT(f.shownDescriptions(), QStringList{QStringLiteral("first")}, 2000);
    QVERIFY(f.cycle->collecting());
    QTRY_COMPARE_WITH_TIMEOUT(f.shownDescriptions(), (QStringList{QStringLiteral("first"), QStringLiteral("second")}),
                              2000);
    QVERIFY(f.cycle->collecting());
    QVERIFY(finished.wait(3000));
    QCOMPARE(f.shownDescriptions(),
             (QStringList{QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third")}));
    QCOMPARE(f.op.panels[0], QStringLiteral(" 3 Vork Unit(s) found"));
}

void TestDiscoverPage::sortedRowsOnlyAtTheEnd()
{
    Fixture f;
    f.add(30, QStringLiteral("Charlie"), 0);
    f.add(31, QStringLiteral("Alpha"), 50);
    f.add(32, QStringLiteral("Bravo"), 100);
    QVERIFY(f.startFleet());
    f.page->setSortChoice(int(SortOrder::Description));
    QSignalSpy finished(f.cycle, &DiscoveryCycle::windowFinished);
    QTest::mouseClick(f.page->searchButton(), Qt::LeftButton);

    // All three answered, the window still runs: the list stays blank.
    QVERIFY(wait::until([&] { return f.units->count() == 3; }, 2000));
    QVERIFY(f.cycle->collecting());
    QCOMPARE(f.page->gridModel().rowCount(), 1);
    QVERIFY(f.shownDescriptions().isEmpty());
    QCOMPARE(f.op.panels[0], QStringLiteral(" Sorting...3"));

    QVERIFY(finished.wait(3000));
    QCOMPARE(f.shownDescriptions(),
             (QStringList{QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Charlie")}));
    QCOMPARE(f.page->gridModel().index(0, unitcolumns::IPAddress).data().toString(), unitAddress(31));
}

void TestDiscoverPage::sortChoicePlaysCheckToneAndTakesEffectNextCycle()
{
    Fixture f;
    f.page->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.page.get()));
    QComboBox *sort = f.page->sortChoice();
    sort->setFocus();
    QTest::keyClick(sort, Qt::Key_Down);
    QCOMPARE(sort->currentIndex(), int(SortOrder::IPAddress));
    QCOMPARE(f.op.tones, QList<Tone>{Tone::CheckBox});
    QCOMPARE(f.cycle->sortOrder(), SortOrder::IPAddress);
    // Nothing else happens: no cycle, the list as it was.
    QVERIFY(!f.cycle->collecting());
    QVERIFY(f.page->gridModel().listComplete());

    // Loading the setting is silent.
    f.page->setSortChoice(int(SortOrder::Version));
    QCOMPARE(sort->currentText(), QStringLiteral("Version #"));
    QCOMPARE(f.cycle->sortOrder(), SortOrder::Version);
    QCOMPARE(f.op.tones.size(), 1);
}

void TestDiscoverPage::selectAllToggle()
{
    Fixture f;
    f.add(40, QStringLiteral("A"), 0);
    f.add(41, QStringLiteral("B"), 60);
    QVERIFY(f.startFleet());
    f.page->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.page.get()));
    QSignalSpy finished(f.cycle, &DiscoveryCycle::windowFinished);
    QTest::mouseClick(f.page->searchButton(), Qt::LeftButton);
    QVERIFY(finished.wait(3000));
    QCOMPARE(f.units->count(), 2);

    f.op.tones.clear();
    QTest::mouseClick(f.page->selectAllToggle(), Qt::LeftButton);
    QVERIFY(f.page->selectAllToggle()->isChecked());
    QCOMPARE(f.units->selectedCount(), 2);
    QCOMPARE(f.op.tones, QList<Tone>{Tone::Button});
    QCOMPARE(f.units->current(), f.units->psvrks(0));

    // Unselecting one unit in the list releases the toggle.
    DiscoveryGrid *grid = f.page->grid();
    const QPoint box = grid->visualRect(f.page->gridModel().index(1, unitcolumns::Sel)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, box);
    QVERIFY(!f.page->selectAllToggle()->isChecked());
    QCOMPARE(f.units->selectedCount(), 1);

    // A new search empties the table and releases the toggle again.
    QTest::mouseClick(f.page->selectAllToggle(), Qt::LeftButton);
    QVERIFY(f.page->selectAllToggle()->isChecked());
    QTest::mouseClick(f.page->searchButton(), Qt::LeftButton);
    QVERIFY(!f.page->selectAllToggle()->isChecked());
    QVERIFY(finished.wait(3000));
}

void TestDiscoverPage::searchMenu()
{
    Fixture f;
    f.page->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.page.get()));
    rightClick(f.page->searchButton());
    // A right click only opens the menu.
    QVERIFY(!f.cycle->collecting());
    QMenu *menu = f.page->searchMenu();
    QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 2000);
    QCOMPARE(actionTexts(menu), (QStringList{QStringLiteral("Change Discover Wait Time (500ms)"), QStringLiteral("-"),
                                             QStringLiteral("Automatic (default)"), QStringLiteral("3010 Fixed"),
                                             QStringLiteral("Specify Port"), QStringLiteral("-"),
                                             QStringLiteral("Restart Remote Discovery")}));
    QVERIFY(!menu->actions().last()->isEnabled());
    QMenu *wait = f.page->waitMenu();
    QCOMPARE(actionTexts(wait), (QStringList{QStringLiteral("0.25 seconds"), QStringLiteral("0.5 Seconds (default)"),
                                             QStringLiteral("1 second"), QStringLiteral("2 seconds"),
                                             QStringLiteral("4 seconds"), QStringLiteral("8 seconds")}));
    QCOMPARE(checkedText(wait), QStringLiteral("0.5 Seconds (default)"));
    QCOMPARE(checkedText(menu), QStringLiteral("Automatic (default)"));

    wait->actions().at(3)->trigger();
    menu->close();
    QCOMPARE(f.transport->TimeOut(), 2000);
    QCOMPARE(checkedText(wait), QStringLiteral("2 seconds"));

    // The first entry tells the wait time of the moment the menu opens.
    f.transport->setTimeOut(750);
    rightClick(f.page->searchButton());
    QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 2000);
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("Change Discover Wait Time (750ms)"));
    QCOMPARE(checkedText(wait), QString());
    menu->close();
}

void TestDiscoverPage::searchMenuPortMark_data()
{
    QTest::addColumn<int>("localPort");
    QTest::addColumn<QString>("marked");
    QTest::newRow("0 marks automatic") << 0 << "Automatic (default)";
    QTest::newRow("3010 marks fixed") << 3010 << "3010 Fixed";
    QTest::newRow("any other port marks fixed too") << 44819 << "3010 Fixed";
}

void TestDiscoverPage::searchMenuPortMark()
{
    QFETCH(int, localPort);
    QFETCH(QString, marked);
    Fixture f;
    QCOMPARE(checkedText(f.page->searchMenu()), QStringLiteral("Automatic (default)"));
    // The settings are read after the page is built; nothing is sent on this socket.
    f.transport->setLocalPort(localPort);
    f.page->markTransportChoices();
    QCOMPARE(checkedText(f.page->searchMenu()), marked);
    QCOMPARE(f.transport->LocalPort(), localPort);
}

void TestDiscoverPage::syncToggleFollowsTheCycle()
{
    Fixture f;
    f.add(50, QStringLiteral("Clock"), 0);
    QVERIFY(f.startFleet());
    QSignalSpy finished(f.cycle, &DiscoveryCycle::windowFinished);
    f.page->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.page.get()));
    QTest::mouseClick(f.page->syncToggle(), Qt::LeftButton);
    QVERIFY(f.cycle->syncClock());
    f.op.answers = {Answer::No};
    QTest::mouseClick(f.page->searchButton(), Qt::LeftButton);
    QCOMPARE(f.op.questions,
             QStringList{QStringLiteral("Are you sure you want to synchronize all discovered units to your PC's clock?")});
    // Released after every start, whatever the answer.
    QVERIFY(!f.page->syncToggle()->isChecked());
    QVERIFY(finished.wait(3000));
}

QTEST_MAIN(TestDiscoverPage)
#include "tst_discoverpage.moc"
