// The "Set IP Address " tab clicked through: MAC boxes, Enter order, defaults,
// and a refused request reaching the operator.
#include "discovery/factoryreset.h"
#include "discovery/setip.h"
#include "discovery/ui/setiptab.h"
#include "recordingoperator.h"
#include "services/unitservices.h"
#include "discovery/broadcast.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace vork;

class TestSetIpTab : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void defaults();
    void macBoxesTypeUpperAndAdvance_data();
    void macBoxesTypeUpperAndAdvance();
    void backspaceInEmptyBoxGoesBack();
    void enterMovesThroughTheFields();
    void refusedRequestWarns();
    void progressFollowsTheProcedure();

private:
    std::unique_ptr<RecordingOperator> m_op;
    std::unique_ptr<UnitServices> m_services;
    std::unique_ptr<SetIpTab> m_tab;
};

void TestSetIpTab::init()
{
    m_op = std::make_unique<RecordingOperator>();
    m_services = std::make_unique<UnitServices>(*m_op);
    m_services->transport().setLocalIP(QStringLiteral("127.0.0.1"));
    m_services->transport().setLocalPort(0);
    m_tab = std::make_unique<SetIpTab>(m_services->setIp(), m_services->factoryReset());
    m_tab->show();
    QVERIFY(QTest::qWaitForWindowActive(m_tab.get()));
}

void TestSetIpTab::cleanup()
{
    m_tab.reset();
    m_services.reset();
    m_op.reset();
}

void TestSetIpTab::defaults()
{
    const QStringList expected{QStringLiteral("00"), QStringLiteral("50"), QStringLiteral("C2"),
                               QStringLiteral("2C"), QString(), QString()};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(m_tab->macBox(i)->text(), expected.at(i));
    QCOMPARE(m_tab->ipField()->text(), QStringLiteral("0.0.0.0"));
    QCOMPARE(m_tab->gatewayField()->text(), QStringLiteral("0.0.0.0"));
    QComboBox *mask = m_tab->maskField();
    QVERIFY(mask->isEditable());
    QCOMPARE(mask->count(), 3);
    QCOMPARE(mask->itemText(0), QStringLiteral("255.255.255.0"));
    QCOMPARE(mask->itemText(1), QStringLiteral("255.255.0.0"));
    QCOMPARE(mask->itemText(2), QStringLiteral("255.0.0.0"));
    QCOMPARE(mask->currentText(), QStringLiteral("255.255.255.0"));
    QCOMPARE(m_tab->setButton()->text(), QStringLiteral("Set IP Address"));
    QCOMPARE(m_tab->resetButton()->toolTip(), QStringLiteral("Reset specified unit to factory defaults"));
    QCOMPARE(m_tab->progressBar()->minimum(), 0);
    QCOMPARE(m_tab->progressBar()->maximum(), 40);
}

void TestSetIpTab::macBoxesTypeUpperAndAdvance_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("advances");
    QTest::newRow("lower case") << QStringLiteral("ab") << QStringLiteral("AB") << true;
    QTest::newRow("digits") << QStringLiteral("09") << QStringLiteral("09") << true;
    QTest::newRow("one character stays") << QStringLiteral("f") << QStringLiteral("F") << false;
    QTest::newRow("not hex dropped") << QStringLiteral("g1z") << QStringLiteral("1") << false;
    QTest::newRow("third character refused") << QStringLiteral("123") << QStringLiteral("12") << true;
}

void TestSetIpTab::macBoxesTypeUpperAndAdvance()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(bool, advances);
    QLineEdit *box = m_tab->macBox(4);
    box->setFocus();
    QTest::keyClicks(box, typed);
    QCOMPARE(box->text(), shown);
    QCOMPARE(QApplication::focusWidget(), advances ? m_tab->macBox(5) : box);
}

void TestSetIpTab::backspaceInEmptyBoxGoesBack()
{
    QLineEdit *last = m_tab->macBox(5);
    last->setFocus();
    QTest::keyClick(last, Qt::Key_Backspace);
    QCOMPARE(QApplication::focusWidget(), m_tab->macBox(4));
    // A box with text deletes as usual and keeps the focus.
    QLineEdit *third = m_tab->macBox(2);
    third->setFocus();
    third->end(false);
    QTest::keyClick(third, Qt::Key_Backspace);
    QCOMPARE(third->text(), QStringLiteral("C"));
    QCOMPARE(QApplication::focusWidget(), third);
}

void TestSetIpTab::enterMovesThroughTheFields()
{
    m_tab->ipField()->setFocus();
    QTest::keyClick(m_tab->ipField(), Qt::Key_Return);
    QVERIFY(m_tab->maskField()->hasFocus());
    QTest::keyClick(m_tab->maskField()->lineEdit(), Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), m_tab->gatewayField());
    QTest::keyClick(m_tab->gatewayField(), Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), m_tab->setButton());
}

void TestSetIpTab::refusedRequestWarns()
{
    // Boxes 5 and 6 are empty by default.
    QTest::mouseClick(m_tab->setButton(), Qt::LeftButton);
    QCOMPARE(m_op->messageTexts(MessageKind::Warning), QStringList{QStringLiteral("Invalid MAC address specified")});
    QVERIFY(m_tab->setButton()->isEnabled());
    QTest::keyClicks(m_tab->macBox(4), QStringLiteral("01"));
    QTest::keyClicks(m_tab->macBox(5), QStringLiteral("02"));
    QTest::mouseClick(m_tab->setButton(), Qt::LeftButton);
    QCOMPARE(m_op->messageTexts(MessageKind::Warning).last(), QStringLiteral("Invalid IP address specified"));
    const SetIp::Request r = m_tab->request();
    QCOMPARE(SetIp::macText(r.mac), QStringLiteral("0050C22C0102"));
}

void TestSetIpTab::progressFollowsTheProcedure()
{
    Q_EMIT m_services->setIp().progressChanged(17);
    QCOMPARE(m_tab->progressBar()->value(), 17);
    Q_EMIT m_services->setIp().guideMeEnabled(false);
    QVERIFY(!m_tab->guideButton()->isEnabled());
    m_tab->entered(false);
    QCOMPARE(m_tab->progressBar()->value(), 0);
    QVERIFY(m_tab->guideButton()->isEnabled());
    QCOMPARE(QApplication::focusWidget(), m_tab->macBox(0));
    // No guide, no button that would do nothing.
    QVERIFY(!m_tab->guideButton()->isVisibleTo(m_tab.get()));
    m_tab->setGuideAvailable(true);
    QVERIFY(m_tab->guideButton()->isVisibleTo(m_tab.get()));
}

QTEST_MAIN(TestSetIpTab)
#include "tst_setiptab.moc"
