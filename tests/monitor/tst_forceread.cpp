// The force read against simulated units in monitor mode: the bytes it sends,
// the question and its "Don't ask again.", the refusals, test mode counting up
// to the last label, and acknowledgements that are refused, late or cut off.
#include "connection/connectionmanager.h"
#include "connection/operation.h"
#include "core/boundedwait.h"
#include "monitor/forceread.h"
#include "toolrig.h"

#include <QRegularExpression>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace vork;
using monitorrig::Rig;

namespace {

constexpr int net = 42;
const QString unitIp = QStringLiteral("127.0.42.2");

QByteArray forceBytes(int reader, int label)
{
    return QByteArray("f") + char(reader) + char(label & 0xFF) + char(label >> 8);
}

// The forces the unit received after monitor mode, as (reader, label) blocks in order.
QList<int> forcedLabels(const QByteArray &afterMonitor, bool *inStep = nullptr)
{
    QList<int> labels;
    bool ok = afterMonitor.size() % 4 == 0;
    for (qsizetype i = 0; ok && i + 4 <= afterMonitor.size(); i += 4) {
        ok = afterMonitor.at(i) == 'f';
        labels << (quint8(afterMonitor.at(i + 2)) | quint8(afterMonitor.at(i + 3)) << 8);
    }
    if (inStep)
        *inStep = ok;
    return labels;
}

struct ForceRig : Rig
{
    bool begin(const sim::SimUnit &u)
    {
        if (!start({u}))
            return false;
        force = std::make_unique<ForceRead>(services);
        force->setUnitAddress(unitIp);
        return true;
    }
    std::unique_ptr<ForceRead> force;
};

} // namespace

class TestForceRead : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void forceSendsTheBlock_data();
    void forceSendsTheBlock();
    void confirmation_data();
    void confirmation();
    void refusals_data();
    void refusals();
    void commandNotAcknowledged_data();
    void commandNotAcknowledged();
    void lateAcknowledgementAfterTheWaitGaveUp();
    void testModeToTheLastLabel_data();
    void testModeToTheLastLabel();
    void delayZeroWaitsForEachAcknowledgement();
    void testModeFlagsAndCaptions();
    void fields_data();
    void fields();
    void linkDroppedMidForce_data();
    void linkDroppedMidForce();
    void unitLeavesTheTableWhileAsking();
};

void TestForceRead::forceSendsTheBlock_data()
{
    QTest::addColumn<int>("reader");
    QTest::addColumn<int>("label");
    QTest::addColumn<QByteArray>("block");
    QTest::newRow("label 300 on reader 2") << 2 << 300 << QByteArray("\x02\x2C\x01");
    QTest::newRow("label 1 on reader 0") << 0 << 1 << QByteArray("\x00\x01\x00", 3);
    QTest::newRow("label 16383 on reader 7") << 7 << 16383 << QByteArray("\x07\xFF\x3F");
    QTest::newRow("label 256 on reader 3") << 3 << 256 << QByteArray("\x03\x00\x01", 3);
}

void TestForceRead::forceSendsTheBlock()
{
    QFETCH(int, reader);
    QFETCH(int, label);
    QFETCH(QByteArray, block);
    ForceRig rig;
    QVERIFY(rig.begin(monitorrig::unit(net, 0, 8)));
    rig.force->setReader(reader);
    rig.force->setLabel(label);
    rig.op.answers = {Answer::Yes};
    QSignalSpy forced(rig.force.get(), &ForceRead::forced);
    rig.force->force();
    QCOMPARE(rig.op.questions,
             QStringList{QStringLiteral("Are you sure you want to force label ") + QString::number(label)
                         + QStringLiteral(" on Vork Unit 127.0.42.2")});
    QCOMPARE(rig.op.questionTitles, QStringList{QStringLiteral("Force Read")});
    QCOMPARE(rig.afterMonitor(0), QByteArray("f") + block);
    const auto &commands = rig.tcp(0).commands();
    QCOMPARE(commands.last().byte, std::uint8_t('f'));
    QCOMPARE(commands.last().data, block);
    QVERIFY(rig.op.logged(QStringLiteral("Label ") + QString::number(label) + QStringLiteral(" has been forced")));
    QVERIFY(rig.op.logged(QStringLiteral("Wait for Ack with no command")));
    QCOMPARE(rig.force->lastOutcome(), ForceRead::Outcome::Forced);
    QCOMPARE(forced.count(), 1);
    QCOMPARE(rig.force->label(), label); // outside test mode the label stays
    QVERIFY(!rig.force->testMode());
    QVERIFY(rig.op.messages.isEmpty());
    // The unit reports the forced read as that reader's label.
    QVERIFY(wait::until([&] { return rig.session.rows().size() == 1; }, 3000));
    QCOMPARE(rig.session.rows().back().pack.labelNumber(), label);
    QCOMPARE(int(rig.session.rows().back().pack.rdr), reader);
    QCOMPARE(rig.unit(unitIp).LastRead[std::size_t(reader)], QStringLiteral("%1").arg(label, 5, 10, QLatin1Char('0')));
}

void TestForceRead::confirmation_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("tick"); // "Don't ask again." ticked
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("questions"); // after a second force (answered Yes if asked)
    QTest::newRow("yes") << true << false << forceBytes(1, 9) << 2;
    QTest::newRow("no: nothing sent") << false << false << QByteArray() << 2;
    QTest::newRow("yes, don't ask again") << true << true << forceBytes(1, 9) << 1;
    QTest::newRow("no, don't ask again: the next one goes unasked") << false << true << QByteArray() << 1;
}

void TestForceRead::confirmation()
{
    QFETCH(bool, yes);
    QFETCH(bool, tick);
    QFETCH(QByteArray, sent);
    QFETCH(int, questions);
    ForceRig rig;
    QVERIFY(rig.begin(monitorrig::unit(net, 0, 2)));
    rig.force->setReader(1);
    rig.force->setLabel(9);
    rig.op.answers = {yes ? Answer::Yes : Answer::No, Answer::Yes};
    rig.op.tickDontAskAgain = tick;
    rig.force->force();
    QCOMPARE(rig.afterMonitor(0), sent);
    QCOMPARE(rig.force->noConfirmation(), tick);
    QCOMPARE(rig.force->lastOutcome(), yes ? ForceRead::Outcome::Forced : ForceRead::Outcome::None);
    rig.op.tickDontAskAgain = false;
    rig.force->force();
    QCOMPARE(rig.op.questions.size(), questions);
    QCOMPARE(rig.afterMonitor(0), sent + forceBytes(1, 9));
}

void TestForceRead::refusals_data()
{
    QTest::addColumn<int>("label");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("running"); // a test runs when the force comes
    QTest::addColumn<QString>("warning");
    QTest::newRow("zero label") << 0 << unitIp << false
                                << QStringLiteral("Zero is an Invalid Label Number. Force Read Aborted");
    QTest::newRow("zero label stops a running test")
        << 0 << unitIp << true << QStringLiteral("Zero is an Invalid Label Number. Force Read Aborted");
    QTest::newRow("unit not in the table") << 5 << QStringLiteral("127.0.42.99") << false
                                           << QStringLiteral("Vork Unit not found. Force Read Aborted");
    QTest::newRow("unit gone while a test runs: the test ends")
        << 5 << QStringLiteral("127.0.42.99") << true << QStringLiteral("Vork Unit not found. Force Read Aborted");
}

void TestForceRead::refusals()
{
    QFETCH(int, label);
    QFETCH(QString, address);
    QFETCH(bool, running);
    QFETCH(QString, warning);
    ForceRig rig;
    QVERIFY(rig.begin(monitorrig::unit(net, 0, 1)));
    QByteArray before;
    if (running) {
        // A test with a long delay: one force at once, then the label is set to 0.
        rig.force->setLabel(40);
        rig.force->setDelay(1);
        rig.force->setTestMode(true);
        rig.force->force();
        QVERIFY(rig.force->testRunning());
        QCOMPARE(rig.force->label(), 41);
        before = forceBytes(0, 40);
        if (label == 0)
            rig.force->setLabel(label);
        else
            rig.force->setUnitAddress(address);
        QVERIFY(wait::until([&] { return !rig.force->testRunning(); }, 3000));
        QVERIFY(!rig.force->testMode());
        QVERIFY(!rig.force->timerActive());
    } else {
        rig.force->setUnitAddress(address);
        rig.force->setLabel(label);
        rig.force->force();
    }
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning), QStringList{warning});
    QVERIFY(rig.op.questions.isEmpty());
    wait::delay(50);
    QCOMPARE(rig.afterMonitor(0), before);
    // No force went out to fail (other lines, such as a busy local UDP port, may say "failed").
    QVERIFY2(rig.op.logs.filter(QStringLiteral("Force of Label")).isEmpty(), qPrintable(rig.op.logs.join(QLatin1Char('|'))));
}

void TestForceRead::commandNotAcknowledged_data()
{
    QTest::addColumn<QByteArray>("nak");
    QTest::addColumn<QByteArray>("mute");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("streaming"); // eight readers stream records meanwhile: 0x06 in every field
    QTest::newRow("refused") << QByteArray("f") << QByteArray() << int(AckResult::Nak) << false;
    QTest::newRow("no acknowledgement in 3 s") << QByteArray() << QByteArray("f") << int(AckResult::TimedOut) << false;
    QTest::newRow("no acknowledgement while records stream")
        << QByteArray() << QByteArray("f") << int(AckResult::TimedOut) << true;
}

void TestForceRead::commandNotAcknowledged()
{
    QFETCH(QByteArray, nak);
    QFETCH(QByteArray, mute);
    QFETCH(int, answer);
    QFETCH(bool, streaming);
    sim::SimUnit u = monitorrig::unit(net, 0, streaming ? 8 : 1);
    u.commandFaults.nakCommands = nak;
    u.commandFaults.silentCommands = mute;
    if (streaming) {
        u.monitor.intervalMs = 20;
        u.monitor.burst = 4;
    }
    ForceRig rig;
    QVERIFY(rig.begin(u));
    const std::size_t rowsBefore = rig.session.rows().size();
    rig.force->setLabel(12);
    rig.force->setDelay(0);
    rig.force->setTestMode(true);
    rig.force->force();
    QVERIFY(rig.op.logged(QStringLiteral("Force of Label 12 failed")));
    QVERIFY(!rig.force->testRunning());
    QVERIFY(!rig.force->testMode());
    QVERIFY(!rig.force->timerActive());
    QCOMPARE(rig.force->buttonCaption(), QStringLiteral("Force Read"));
    QCOMPARE(rig.force->label(), 12);
    QCOMPARE(rig.force->lastOutcome(), ForceRead::Outcome::NotAccepted);
    QCOMPARE(int(rig.force->lastAnswer()), answer);
    wait::delay(200);
    QCOMPARE(rig.afterMonitor(0), QByteArray("f")); // no block after a failed command
    QVERIFY(rig.op.logs.filter(QStringLiteral("has been forced")).isEmpty());
    if (streaming) // the records of the wait reached the rows
        QVERIFY2(rig.session.rows().size() > rowsBefore + 300, qPrintable(QString::number(rig.session.rows().size())));
}

void TestForceRead::lateAcknowledgementAfterTheWaitGaveUp()
{
    sim::SimUnit u = monitorrig::unit(net, 0, 1);
    ForceRig rig;
    QVERIFY(rig.begin(u));
    sim::SimCommandFaults slow;
    slow.delayMs = 3400; // past the 3 s wait for the command's acknowledgement
    rig.fleet.server(0).setCommandFaults(slow);
    rig.force->setLabel(20);
    rig.op.answers = {Answer::Yes};
    rig.force->force();
    QVERIFY(rig.op.logged(QStringLiteral("Force of Label 20 failed")));
    QCOMPARE(rig.force->lastAnswer(), AckResult::TimedOut);
    // The acknowledgement that comes afterwards is discarded and logged: nothing is forced by it.
    QVERIFY(wait::until([&] { return rig.op.logged(QStringLiteral("Discarded late ACK from Vork Unit ") + unitIp); }, 3000));
    QVERIFY(!rig.op.logged(QStringLiteral("Received ack from Vork Unit ") + unitIp));
    QVERIFY(rig.op.logs.filter(QStringLiteral("has been forced")).isEmpty());
    QCOMPARE(rig.afterMonitor(0), QByteArray("f"));
}

void TestForceRead::testModeToTheLastLabel_data()
{
    QTest::addColumn<bool>("infinite");
    QTest::addColumn<QList<int>>("labels"); // forced, in order
    QTest::addColumn<int>("next");          // the label field afterwards
    QTest::newRow("without Infinite Loop the test stops after 16383") << false << QList<int>{16381, 16382, 16383}
                                                                       << 16383;
    QTest::newRow("with Infinite Loop 1 follows 16383") << true << QList<int>{16382, 16383, 1, 2} << 3;
}

void TestForceRead::testModeToTheLastLabel()
{
    QFETCH(bool, infinite);
    QFETCH(QList<int>, labels);
    QFETCH(int, next);
    ForceRig rig;
    QVERIFY(rig.begin(monitorrig::unit(net, 0, 1)));
    rig.force->setLabel(labels.first());
    rig.force->setDelay(0);
    rig.force->setInfiniteLoop(infinite);
    rig.force->setTestMode(true);
    // With Infinite Loop the operator stops the test once the label after the last one is set.
    QString captionWhenStopped;
    if (infinite)
        QObject::connect(rig.force.get(), &ForceRead::labelChanged, rig.force.get(), [&](int l) {
            if (l != next)
                return;
            captionWhenStopped = rig.force->buttonCaption();
            rig.force->force(); // "Stop Test"
        });
    rig.force->force(); // "Start Test"
    QVERIFY(wait::until([&] { return !rig.force->testRunning(); }, 5000));
    QVERIFY(rig.op.questions.isEmpty()); // test mode asks nothing
    if (infinite)
        QCOMPARE(captionWhenStopped, QStringLiteral("Stop Test"));
    QVERIFY(!rig.force->testRunning());
    QVERIFY(!rig.force->testMode());
    QCOMPARE(rig.force->label(), next);
    bool inStep = false;
    QCOMPARE(forcedLabels(rig.afterMonitor(0), &inStep), labels);
    QVERIFY(inStep);
    QStringList expected;
    for (int l : labels)
        expected << QStringLiteral("Label ") + QString::number(l) + QStringLiteral(" has been forced");
    if (!infinite)
        expected << QStringLiteral("Force Test Complete");
    QStringList got = rig.op.logs.filter(QRegularExpression(QStringLiteral("^(Label \\d+ has been forced|Force Test Complete)$")));
    QCOMPARE(got, expected);
    // Nothing more once stopped.
    wait::delay(200);
    QCOMPARE(forcedLabels(rig.afterMonitor(0)), labels);
}

void TestForceRead::delayZeroWaitsForEachAcknowledgement()
{
    ForceRig rig;
    QVERIFY(rig.begin(monitorrig::unit(net, 0, 1)));
    sim::SimCommandFaults slow;
    slow.delayMs = 120; // each acknowledgement takes longer than the 50 ms timer
    rig.fleet.server(0).setCommandFaults(slow);
    rig.force->setLabel(100);
    rig.force->setDelay(0);
    QCOMPARE(rig.force->timerIntervalMs(), 50);
    rig.force->setTestMode(true);
    QObject::connect(rig.force.get(), &ForceRead::labelChanged, rig.force.get(), [&](int l) {
        if (l == 104)
            rig.force->force(); // "Stop Test"
    });
    QElapsedTimer took;
    took.start();
    rig.force->force();
    QVERIFY(wait::until([&] { return !rig.force->testRunning(); }, 10000));
    // Four forces of two acknowledgements of 120 ms each: the 50 ms ticks had to wait.
    QVERIFY(took.elapsed() >= 4 * 2 * 120);
    wait::delay(600);
    bool inStep = false;
    const QList<int> labels = forcedLabels(rig.afterMonitor(0), &inStep);
    QVERIFY2(inStep, rig.afterMonitor(0).toHex().constData()); // 'f' and its block, never two commands at once
    QCOMPARE(labels, (QList<int>{100, 101, 102, 103}));
    // Every force was acknowledged twice before the next began.
    QCOMPARE(rig.op.logs.filter(QStringLiteral("has been forced")).size(), labels.size());
    QVERIFY(rig.op.logs.filter(QStringLiteral("refused")).isEmpty());
}

void TestForceRead::testModeFlagsAndCaptions()
{
    ForceRig rig;
    QVERIFY(rig.begin(monitorrig::unit(net, 0, 1)));
    ForceRead &f = *rig.force;
    QCOMPARE(f.buttonCaption(), QStringLiteral("Force Read"));
    QCOMPARE(f.timerIntervalMs(), 5000); // a delay of 5 s at start
    QVERIFY(!f.canForce());
    f.setLabel(7);
    QVERIFY(f.canForce());

    // "Don't ask again." on a normal force...
    rig.op.answers = {Answer::Yes};
    rig.op.tickDontAskAgain = true;
    f.force();
    QVERIFY(f.noConfirmation());
    // ... is forgotten when the test toggle goes up.
    QSignalSpy changed(&f, &ForceRead::stateChanged);
    f.setTestMode(true);
    QCOMPARE(f.buttonCaption(), QStringLiteral("Start Test"));
    QVERIFY(f.noConfirmation());
    QVERIFY(!f.testRunning());
    QVERIFY(!f.timerActive());
    f.setTestMode(false);
    QCOMPARE(f.buttonCaption(), QStringLiteral("Force Read"));
    QVERIFY(!f.noConfirmation());
    QCOMPARE(changed.count(), 2);

    f.setDelay(2);
    f.setTestMode(true);
    f.force();
    QCOMPARE(f.buttonCaption(), QStringLiteral("Stop Test"));
    QVERIFY(f.testRunning());
    QVERIFY(f.timerActive());
    QCOMPARE(f.timerIntervalMs(), 2000);
    QCOMPARE(f.label(), 8);
    f.setTestMode(false); // the toggle released
    QVERIFY(!f.testRunning());
    QVERIFY(!f.timerActive());
    QCOMPARE(f.buttonCaption(), QStringLiteral("Force Read"));
    QCOMPARE(ForceRead::leaveRefusalText(),
             QStringLiteral("Force read test in progress. You must stop the test before leaving this screen"));
}

void TestForceRead::fields_data()
{
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("label");
    QTest::addColumn<int>("labelHeld");
    QTest::addColumn<int>("reader");
    QTest::addColumn<int>("readerHeld");
    QTest::newRow("delay 0: every 50 ms") << 0 << 50 << 1 << 1 << 0 << 0;
    QTest::newRow("delay 5") << 5 << 5000 << 16383 << 16383 << 7 << 7;
    QTest::newRow("delay 99, label and reader beyond their range")
        << 99 << 99000 << 16384 << 16383 << 8 << 7;
    QTest::newRow("negative numbers") << -1 << 50 << -5 << 0 << -1 << 0;
    QTest::newRow("delay 100 holds 99") << 100 << 99000 << 300 << 300 << 2 << 2;
}

void TestForceRead::fields()
{
    QFETCH(int, delay);
    QFETCH(int, interval);
    QFETCH(int, label);
    QFETCH(int, labelHeld);
    QFETCH(int, reader);
    QFETCH(int, readerHeld);
    RecordingOperator op;
    UnitServices services(op);
    ForceRead f(services);
    f.setDelay(delay);
    f.setLabel(label);
    f.setReader(reader);
    QCOMPARE(f.timerIntervalMs(), interval);
    QCOMPARE(f.label(), labelHeld);
    QCOMPARE(f.reader(), readerHeld);
}

void TestForceRead::linkDroppedMidForce_data()
{
    QTest::addColumn<bool>("withCommandAck"); // the link goes with the ACK of 'f', else once the block is in
    QTest::newRow("with the command's acknowledgement") << true;
    QTest::newRow("before the block's acknowledgement") << false;
}

void TestForceRead::linkDroppedMidForce()
{
    QFETCH(bool, withCommandAck);
    sim::SimUnit u = monitorrig::unit(net, 0, 1);
    ForceRig rig;
    QVERIFY(rig.begin(u));
    sim::SimCommandFaults faults;
    if (withCommandAck) {
        faults.dropAfterBytes = 2; // the ACKs of 'M' and 'f', then the link goes
    } else {
        faults.delayMs = 200; // the block's ACK is held back; the link goes before it
        QObject::connect(&rig.tcp(0), &sim::SimCommandServer::bytesReceived, &rig.tcp(0), [&] {
            if (rig.afterMonitor(0) == forceBytes(0, 50))
                QMetaObject::invokeMethod(&rig.tcp(0), [&] { rig.tcp(0).dropClient(); }, Qt::QueuedConnection);
        });
    }
    rig.fleet.server(0).setCommandFaults(faults);
    rig.force->setLabel(50);
    rig.force->setDelay(0);
    rig.force->setTestMode(true);
    rig.force->force();
    if (withCommandAck) {
        // Nothing can follow 'f' on a link that is gone: the force failed and the test ends.
        QCOMPARE(rig.force->lastOutcome(), ForceRead::Outcome::NotAccepted);
        QVERIFY(rig.op.logged(QStringLiteral("Force of Label 50 failed")));
        QVERIFY(!rig.force->testRunning());
        QCOMPARE(rig.afterMonitor(0), QByteArray("f"));
    } else {
        // The block's acknowledgement never came: no log line, no next label, the test goes on...
        QCOMPARE(rig.force->lastOutcome(), ForceRead::Outcome::NotForced);
        QCOMPARE(rig.force->lastAnswer(), AckResult::Closed);
        QVERIFY(!rig.op.logged(QStringLiteral("Force of Label 50 failed")));
        QCOMPARE(rig.afterMonitor(0), forceBytes(0, 50));
        // ... until the next tick finds the unit gone and ends it.
        QVERIFY(wait::until([&] { return !rig.force->testRunning(); }, 3000));
        QVERIFY(rig.op.logged(QStringLiteral("Force of Label 50 failed")));
        QCOMPARE(rig.force->lastOutcome(), ForceRead::Outcome::NotAccepted);
    }
    QCOMPARE(rig.force->label(), 50);
    QVERIFY(rig.op.logs.filter(QStringLiteral("has been forced")).isEmpty());
    QVERIFY(!rig.force->testMode());
    QVERIFY(!rig.services.operations().busy());
}

void TestForceRead::unitLeavesTheTableWhileAsking()
{
    ForceRig rig;
    QVERIFY(rig.begin(monitorrig::unit(net, 0, 1)));
    rig.force->setLabel(33);
    rig.op.answers = {Answer::Yes};
    rig.op.whileAsking = [&] { rig.services.units().clear(); };
    rig.force->force();
    QVERIFY(rig.op.logged(QStringLiteral("Force of Label 33 failed")));
    QCOMPARE(rig.force->lastOutcome(), ForceRead::Outcome::NotAccepted);
    QVERIFY(!rig.afterMonitor(0).contains('f'));
    QVERIFY(!rig.services.operations().busy());
}

QTEST_GUILESS_MAIN(TestForceRead)
#include "tst_forceread.moc"
