// One operation at a time: a second one is refused, and what a question or a
// wait left open never reaches a unit whose link dropped meanwhile.
#include "connection/operation.h"
#include "connection/unitclient.h"
#include "connection/unitselection.h"
#include "fakeunit.h"
#include "unitfixture.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace vork;
using namespace vork::test;

class TestOperations : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void gateAdmitsOneAtATime();
    void secondClickDuringAConnectIsRefused();
    void secondChecksumDuringItsWaitIsRefused();
    void secondCommandDuringAQuestionIsRefused_data();
    void secondCommandDuringAQuestionIsRefused();
    void linkDroppedDuringAQuestionWritesNothing_data();
    void linkDroppedDuringAQuestionWritesNothing();
    void tableClearedDuringAQuestionWritesNothing();
};

void TestOperations::gateAdmitsOneAtATime()
{
    RecordingOperator op;
    OperationGate gate;
    QSignalSpy busy(&gate, &OperationGate::busyChanged);
    {
        ScopedOperation first(gate, op, QStringLiteral("Reboot"));
        QVERIFY(first.admitted());
        QVERIFY(gate.busy());
        ScopedOperation second(gate, op, QStringLiteral("Checksum"));
        QVERIFY(!second.admitted());
        QCOMPARE(op.logs, QStringList{QStringLiteral("Checksum refused: Reboot is still running")});
    }
    // The refused one leaves the running one's state alone; the gate opens once.
    QVERIFY(!gate.busy());
    QCOMPARE(busy.size(), 2);
    QCOMPARE(busy.at(0).at(0).toBool(), true);
    QCOMPARE(busy.at(1).at(0).toBool(), false);
    ScopedOperation third(gate, op, QStringLiteral("Erase"));
    QVERIFY(third.admitted());
}

void TestOperations::secondClickDuringAConnectIsRefused()
{
    FakeUnit fake(QStringLiteral("127.0.13.2"));
    Fixture f(QStringLiteral("127.0.13.2"), 300, 0, 3); // answers the third ping: the connect takes a while
    bool second = true;
    QTimer::singleShot(50, &fake, [&] { second = f.services.selection().clickConnect(QStringLiteral("127.0.13.2")); });
    QVERIFY(f.services.selection().clickConnect(QStringLiteral("127.0.13.2")));
    QVERIFY(!second);
    QVERIFY(f.logged(OperationGate::refusalText(QStringLiteral("Connect to 127.0.13.2"),
                                                QStringLiteral("Connect to 127.0.13.2"))));
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    wait::delay(100);
    QCOMPARE(fake.connections, 1);
    QVERIFY(f.unit().connected);
}

void TestOperations::secondChecksumDuringItsWaitIsRefused()
{
    FakeUnit fake(QStringLiteral("127.0.13.3"));
    Fixture f(QStringLiteral("127.0.13.3"), 300);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    fake.onBytes = [&](const QByteArray &) { fake.sendLater(400, QByteArray(1, char(ACK))); };
    f.op.answers = {Answer::Yes, Answer::Yes};
    bool second = true;
    QTimer::singleShot(100, &fake, [&] { second = f.commands().checksum(); });
    QVERIFY(f.commands().checksum());
    QVERIFY(!second);
    QVERIFY(f.logged(OperationGate::refusalText(QStringLiteral("Checksum"), QStringLiteral("Checksum"))));
    QCOMPARE(f.op.questions.size(), 1);
    wait::delay(100);
    QCOMPARE(fake.received, QByteArray("X"));
}

void TestOperations::secondCommandDuringAQuestionIsRefused_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("reboot, then checksum") << "reboot" << "checksum";
    QTest::newRow("erase, then a click on another row") << "erase" << "click";
    QTest::newRow("checksum, then reboot") << "checksum" << "reboot";
}

void TestOperations::secondCommandDuringAQuestionIsRefused()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    FakeUnit fake(QStringLiteral("127.0.13.4"));
    Fixture f(QStringLiteral("127.0.13.4"), 300);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    const auto run = [&](const QString &what) {
        if (what == QLatin1String("reboot"))
            return f.commands().reboot();
        if (what == QLatin1String("checksum"))
            return f.commands().checksum();
        if (what == QLatin1String("erase"))
            return f.commands().erase(UnitCommands::Erase::History).has_value();
        return f.services.selection().clickConnect(QStringLiteral("127.0.13.4"));
    };
    bool secondResult = true;
    f.op.whileAsking = [&] {
        f.op.whileAsking = nullptr;
        secondResult = run(second);
    };
    f.op.answers = {Answer::No};
    QVERIFY(!run(first));
    QVERIFY(!secondResult);
    QCOMPARE(f.op.questions.size(), 1);
    QVERIFY(!f.op.logs.filter(QStringLiteral(" refused: ")).isEmpty());
    wait::delay(100);
    QVERIFY(fake.received.isEmpty());
    QVERIFY(f.unit().connected);
}

void TestOperations::linkDroppedDuringAQuestionWritesNothing_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("reboot") << "reboot";
    QTest::newRow("checksum") << "checksum";
    QTest::newRow("erase") << "erase";
}

void TestOperations::linkDroppedDuringAQuestionWritesNothing()
{
    QFETCH(QString, command);
    FakeUnit fake(QStringLiteral("127.0.13.5"));
    Fixture f(QStringLiteral("127.0.13.5"), 502);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    // A setup record that names another address: a stale reboot would write it into the unit.
    QByteArray record(243, '\0');
    record.replace(24, 11, "127.0.13.99");
    fake.send(QByteArray(1, 'S') + record);
    QVERIFY(f.waitLogged(QStringLiteral("Config File Received ( 243 Bytes ) for 127.0.13.5")));

    // The unit drops the link while the question is open; the operator then says Yes.
    f.op.whileAsking = [&] {
        if (fake.peer)
            fake.peer->abort();
    };
    f.op.questionOpenMs = 300;
    f.op.answers = {Answer::Yes};
    bool done = true;
    if (command == QLatin1String("reboot"))
        done = f.commands().reboot();
    else if (command == QLatin1String("checksum"))
        done = f.commands().checksum();
    else
        done = f.commands().erase(UnitCommands::Erase::Persistent).has_value();
    QVERIFY(!done);
    QVERIFY(f.logged(QStringLiteral("Vork Unit 127.0.13.5: connection lost")));
    QCOMPARE(fake.received, authenticationText()); // the login on connect, nothing after
    QCOMPARE(f.unit().ip, QStringLiteral("127.0.13.5"));
    QVERIFY(!f.unit().connected);
    QVERIFY(!f.services.operations().busy());
}

void TestOperations::tableClearedDuringAQuestionWritesNothing()
{
    FakeUnit fake(QStringLiteral("127.0.13.6"));
    Fixture f(QStringLiteral("127.0.13.6"), 300);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    fake.onBytes = [&](const QByteArray &b) {
        if (b.contains('C'))
            fake.send(QByteArray(1, char(ACK)));
    };
    // A new search empties the table while the reboot question is open.
    f.op.whileAsking = [&] { f.units.clear(); };
    f.op.answers = {Answer::Yes};
    QVERIFY(!f.commands().reboot());
    QVERIFY(f.logged(QStringLiteral("Vork Unit 127.0.13.6: connection lost")));
    QVERIFY(!fake.received.contains('R'));
}

QTEST_MAIN(TestOperations)
#include "tst_operations.moc"
