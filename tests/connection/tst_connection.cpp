// Connections, acknowledgement waits and reply blocks against scripted units on loopback.
#include "core/boundedwait.h"
#include "connection/commandreplies.h"
#include "connection/connectionmanager.h"
#include "connection/replyassembler.h"
#include "connection/replyrouter.h"
#include "connection/unitselection.h"
#include "core/pinger.h"
#include "services/unitservices.h"
#include "setup/setupreply.h"
#include "connection/unitclient.h"
#include "connection/unitcommands.h"
#include "fakeunit.h"
#include "unitfixture.h"
#include "setup/setuprecord.h"
#include "unit/announcement.h"
#include "unit/eventrecord.h"
#include "recordingoperator.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QPushButton>
#include <QRandomGenerator>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <memory>

using namespace vork;
using namespace vork::test;


class TestConnection : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void clientsFollowTheTable();
    void alreadyConnectedNeedsNoTraffic();
    void reachabilityAttempts_data();
    void reachabilityAttempts();
    void refusedConnectionFailsAtTheNextCheck();
    void authenticationOnlyWhereRequired_data();
    void authenticationOnlyWhereRequired();
    void waitForAckForms_data();
    void waitForAckForms();
    void bytesBeforeTheAckAreFramed();
    void silentUnitEndsTheWaitAndFlushes();
    void windowStaysAliveDuringAWait();
    void undefinedBytesReportedWithTheNextReply();
    void clockBlocks_data();
    void clockBlocks();
    void checksumTexts_data();
    void checksumTexts();
    void blocksAreAssembled();
    void incompleteBlockIsDroppedAndLogged();
    void olderUnitsShorterSetupRecord();
    void olderLayoutMovedOnReception();
    void versionBlock();
    void replyRightAfterTheAck();
    void infoBlockEntersTheTableAndCloses();
    void secondClickDisconnects();
    void failedClickShowsFailure();
    void eraseAnswers_data();
    void eraseAnswers();
    void closeWithoutAckClosesOnlyThatUnit();
    void rebootTakesTheRecordsAddressOnlyFromThisConnection_data();
    void rebootTakesTheRecordsAddressOnlyFromThisConnection();
    void checksumAskOnce();
    void checksumWithoutResultRestoresTheCursor();
    void garbageFromTheUnitIsSurvived_data();
    void garbageFromTheUnitIsSurvived();
    void onlyAnAnswerBetweenRecordsEndsAWait_data();
    void onlyAnAnswerBetweenRecordsEndsAWait();
    void slowBlockIsKept_data();
    void slowBlockIsKept();
    void completeBlockSurvivesABusyProgram();
    void lateAnswerAnswersNothingLater_data();
    void lateAnswerAnswersNothingLater();
};

void TestConnection::clientsFollowTheTable()
{
    RecordingOperator op;
    QList<QPointer<UnitClient>> clients;
    {
        UnitServices services(op);
        UnitTable &t = services.units();
        ConnectionManager &c = services.connections();
        for (int cycle = 0; cycle < 3; ++cycle) {
            t.clear();
            for (int i = 0; i < 3; ++i) {
                udppack u = unitRecord(300);
                u.mac = QStringLiteral("0050C2AABB1") + QString::number(i);
                QCOMPARE(t.enterAnnouncement(u, QStringLiteral("127.0.9.%1").arg(i + 1)), i);
            }
            for (int i = 0; i < 3; ++i) {
                UnitClient *client = c.client(t.unit(i));
                QVERIFY(client);
                QCOMPARE(client->address(), QStringLiteral("127.0.9.%1").arg(i + 1));
                QCOMPARE(client->port(), quint16(3011));
                QVERIFY(!client->isOpen());
                QCOMPARE(c.client(t.unit(i)), client); // one per unit
            }
            // The clients of the previous cycle are gone once deferred deletions ran.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCOMPARE(services.findChildren<UnitClient *>().size(), 3);
        }
        clients = {c.client(t.unit(0)), c.client(t.unit(1))};
        udppack stranger = unitRecord(300); // not in the table: no client
        QVERIFY(!c.client(stranger));
    }
    // They go with the services.
    QVERIFY(!clients[0]);
    QVERIFY(!clients[1]);
}

void TestConnection::alreadyConnectedNeedsNoTraffic()
{
    FakeUnit fake(QStringLiteral("127.0.8.2"));
    Fixture f(QStringLiteral("127.0.8.2"));
    QVERIFY(f.connectNow());
    QVERIFY(f.unit().connected);
    QCOMPARE(f.pings, 1);
    QVERIFY(wait::until([&] { return fake.connections == 1; }, 1000));
    QVERIFY(f.connectNow());
    QCOMPARE(f.pings, 1);
    wait::delay(50);
    QCOMPARE(fake.connections, 1);
    QVERIFY(f.logged(QStringLiteral("Connected to Vork Unit 127.0.8.2")));
    QCOMPARE(f.op.panels[1], QStringLiteral("Connected to 127.0.8.2"));
    QCOMPARE(f.op.panels[2], QStringLiteral("3.1.6s"));
    QCOMPARE(f.op.panels[5], QStringLiteral(" %0"));
    QCOMPARE(f.op.tones.last(), Tone::Connect);
}

void TestConnection::reachabilityAttempts_data()
{
    QTest::addColumn<int>("answerFrom");
    QTest::addColumn<bool>("connects");
    QTest::addColumn<int>("pings");
    QTest::newRow("first attempt") << 1 << true << 1;
    QTest::newRow("fifth attempt") << 5 << true << 5;
    QTest::newRow("never") << 0 << false << 5;
}

void TestConnection::reachabilityAttempts()
{
    QFETCH(int, answerFrom);
    QFETCH(bool, connects);
    QFETCH(int, pings);
    FakeUnit fake(QStringLiteral("127.0.8.3"));
    Fixture f(QStringLiteral("127.0.8.3"), 316, 0, answerFrom);
    // Even a 5 ms limit leaves a reachable unit one check to connect.
    QCOMPARE(f.connectNow(5), connects);
    QCOMPARE(f.pings, pings);
    wait::delay(50);
    QCOMPARE(fake.connections, connects ? 1 : 0); // an unreachable unit is never contacted
}

void TestConnection::refusedConnectionFailsAtTheNextCheck()
{
    Fixture f(QStringLiteral("127.0.8.4")); // nobody listens there
    QElapsedTimer t;
    t.start();
    QVERIFY(!f.connectNow(5000));
    QVERIFY(t.elapsed() < 1500); // the error ends the attempt long before its limit
    QCOMPARE(f.op.panels[1], QStringLiteral("Failed to Connect to 127.0.8.4"));
    QVERIFY(f.op.logs.filter(QStringLiteral("Socket Error ")).size() == 1);
    QCOMPARE(f.socket()->state(), QAbstractSocket::UnconnectedState);
}

void TestConnection::authenticationOnlyWhereRequired_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("login");
    QTest::newRow("3.0.9") << 309 << 0 << false;
    QTest::newRow("3.1.0") << 310 << 0 << true;
    QTest::newRow("2.9.3") << 293 << 0 << true;
    QTest::newRow("3.0.0") << 300 << 0 << false;
    QTest::newRow("old, model 4") << 258 << 4 << true;
}

void TestConnection::authenticationOnlyWhereRequired()
{
    QFETCH(int, version);
    QFETCH(int, model);
    QFETCH(bool, login);
    FakeUnit fake(QStringLiteral("127.0.8.5"));
    Fixture f(QStringLiteral("127.0.8.5"), version, model);
    QVERIFY(f.connectNow());
    wait::delay(100);
    QCOMPARE(fake.received, login ? QByteArray("KBmPQD") : QByteArray());
    for (const QString &line : std::as_const(f.op.logs))
        QVERIFY(!line.contains(QStringLiteral("KBmPQD")));
}

void TestConnection::waitForAckForms_data()
{
    QTest::addColumn<char>("command");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("history quit") << '0' << QByteArray(4, '\0');
    QTest::newRow("no command") << ' ' << QByteArray();
    QTest::newRow("setup") << 'S' << QByteArray("S");
}

void TestConnection::waitForAckForms()
{
    QFETCH(char, command);
    QFETCH(QByteArray, sent);
    FakeUnit fake(QStringLiteral("127.0.8.6"));
    Fixture f(QStringLiteral("127.0.8.6"), 300);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    fake.sendLater(50, QByteArray(1, char(ACK)));
    QCOMPARE(f.manager->WaitForAck(f.socket(), 3, command), AckResult::Ack);
    QCOMPARE(fake.received, sent);
    QCOMPARE(f.logged(QStringLiteral("Wait for Ack with no command")), command == ' ');
    QCOMPARE(f.logged(QStringLiteral("Wait for Ack from Vork Unit 127.0.8.6")), command != ' ');
    QVERIFY(f.logged(QStringLiteral("Ack Received from Vork Unit 127.0.8.6")));
    QCOMPARE(f.op.logs.last(), QStringLiteral("Wait for Ack Exit"));
}

void TestConnection::bytesBeforeTheAckAreFramed()
{
    FakeUnit fake(QStringLiteral("127.0.8.7"));
    Fixture f(QStringLiteral("127.0.8.7"), 300);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    // A block ahead of the ACK, with an ACK value inside it: framed and handed on, not an answer.
    fake.onBytes = [&](const QByteArray &) {
        fake.send(block('V', QByteArray("\x05\x00\x06\x07\x03\x14\x13\x01", 8)));
        fake.sendLater(100, QByteArray(1, char(NAK)));
    };
    QCOMPARE(f.manager->WaitForAck(f.socket(), 3, 'S'), AckResult::Nak);
    QVERIFY(f.waitLogged(QStringLiteral("Version Data Received for 127.0.8.7 Version 5.0.6 Build Date MAR-07-2019")));
}

void TestConnection::silentUnitEndsTheWaitAndFlushes()
{
    FakeUnit fake(QStringLiteral("127.0.8.8"));
    Fixture f(QStringLiteral("127.0.8.8"), 300);
    QVERIFY(f.connectNow());
    QElapsedTimer t;
    t.start();
    QCOMPARE(f.manager->WaitForAck(f.socket(), 1, 'S'), AckResult::TimedOut);
    QVERIFY(t.elapsed() >= 950 && t.elapsed() < 2000);
    QVERIFY(f.logged(QStringLiteral("Did not receive an Ack from Vork Unit 127.0.8.8")));

    // A NAK ends the wait at once, with false and no message of its own.
    fake.onBytes = [&](const QByteArray &) { fake.send(QByteArray(1, char(NAK))); };
    f.op.logs.clear();
    QCOMPARE(f.manager->WaitForAck(f.socket(), 3, 'S'), AckResult::Nak);
    QVERIFY(f.op.logs.filter(QStringLiteral("Did not receive")).isEmpty());
}

void TestConnection::windowStaysAliveDuringAWait()
{
    FakeUnit fake(QStringLiteral("127.0.8.9"));
    Fixture f(QStringLiteral("127.0.8.9"), 300);
    QVERIFY(f.connectNow());
    QPushButton button(QStringLiteral("Abort"));
    button.show();
    int clicks = 0;
    connect(&button, &QPushButton::clicked, this, [&] { ++clicks; });
    QTimer::singleShot(150, &button, [&] { QTest::mouseClick(&button, Qt::LeftButton); });
    QCOMPARE(f.manager->WaitForAck(f.socket(), 1, 'S'), AckResult::TimedOut);
    QCOMPARE(clicks, 1);
}

void TestConnection::undefinedBytesReportedWithTheNextReply()
{
    FakeUnit fake(QStringLiteral("127.0.8.10"));
    Fixture f(QStringLiteral("127.0.8.10"), 300);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    fake.send(QByteArray("\0Z", 2));
    wait::delay(100);
    QCOMPARE(f.manager->undefinedBytes(), 2u);
    QVERIFY(f.op.logs.filter(QStringLiteral("Undefined")).isEmpty());
    fake.send(block('T', clockBytes(5, 4, 13, 9, 3, 12, 26, 20)));
    QVERIFY(f.waitLogged(QStringLiteral("Undefined Message Received from Vork Unit 127.0.8.10. Message length was 2 Bytes.")));
    QCOMPARE(f.manager->undefinedBytes(), 0u);
    const qsizetype timeLine = f.op.logs.indexOf(QStringLiteral("Time Data Received for 127.0.8.10"));
    QVERIFY(timeLine >= 0);
    QVERIFY(timeLine < f.op.logs.indexOf(
                QStringLiteral("Undefined Message Received from Vork Unit 127.0.8.10. Message length was 2 Bytes.")));
}

void TestConnection::clockBlocks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("label"); // empty: ignored
    QTest::newRow("valid") << clockBytes(5, 4, 13, 9, 4, 12, 26, 20)
                           << " Wednesday, December 9, 2026, 01:04:05 PM";
    QTest::newRow("midnight") << clockBytes(0, 0, 0, 1, 6, 1, 27, 20) << " Friday, January 1, 2027, 12:00:00 AM";
    QTest::newRow("century 0") << clockBytes(5, 4, 13, 9, 4, 12, 26, 0) << "";
    QTest::newRow("year 99") << clockBytes(5, 4, 13, 9, 4, 12, 99, 20) << "";
    QTest::newRow("hour 24") << clockBytes(5, 4, 24, 9, 4, 12, 26, 20) << "";
    QTest::newRow("February 30") << clockBytes(5, 4, 13, 30, 4, 2, 26, 20) << "";
}

void TestConnection::clockBlocks()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, label);
    FakeUnit fake(QStringLiteral("127.0.8.11"));
    Fixture f(QStringLiteral("127.0.8.11"), 300);
    const QDateTime &got = f.clock;
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    fake.send(block('T', bytes) + QByteArray(1, char(NAK))); // the NAK shows the block was read in full
    QVERIFY(f.waitLogged(QStringLiteral("Received nak from Vork Unit 127.0.8.11")));
    if (label.isEmpty()) {
        QVERIFY(!got.isValid());
        QVERIFY(f.op.logs.filter(QStringLiteral("Time Data")).isEmpty());
    } else {
        QVERIFY(got.isValid());
        QVERIFY(f.logged(QStringLiteral("Vork Unit 127.0.8.11 Current Date/Time is \"") + label + QLatin1Char('"')));
    }
}

void TestConnection::checksumTexts_data()
{
    QTest::addColumn<QByteArray>("location");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("match") << QByteArray("\xFF\xFF\x00", 3) << "RAM program matches FLASH";
    QTest::newRow("mismatch") << QByteArray("\xFF\xFF\xFF", 3) << "RAM program mismatch at location ffffff";
}

void TestConnection::checksumTexts()
{
    QFETCH(QByteArray, location);
    QFETCH(QString, verdict);
    FakeUnit fake(QStringLiteral("127.0.8.12"));
    Fixture f(QStringLiteral("127.0.8.12"), 300);
    UnitCommands &commands = f.commands();
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    fake.onBytes = [&](const QByteArray &b) {
        if (b == "X") {
            fake.send(QByteArray(1, char(ACK)));
            fake.sendLater(100, QByteArray("X\xEF\xBE\x00\x00\x00\x00\x01\x00\x00", 10) + location);
        }
    };
    f.op.answers = {Answer::Yes};
    QVERIFY(commands.checksum());
    QCOMPARE(f.op.busyDepth, 1);
    QVERIFY(wait::until([&] { return !f.op.messages.isEmpty(); }, 2000));
    QCOMPARE(f.op.messageTexts(MessageKind::Information),
             QStringList{QStringLiteral("Checksum = beef Byte Count = 10000\n\r") + verdict});
    QVERIFY(f.logged(QStringLiteral("Checksum data for 0050C2AABB01: Checksum = beef Byte Count = 10000")));
    QCOMPARE(f.op.busyDepth, 0);
    QCOMPARE(f.services.replies().lastChecksum().byteCount, 0x10000u);
}

void TestConnection::blocksAreAssembled()
{
    FakeUnit fake(QStringLiteral("127.0.8.13"));
    Fixture f(QStringLiteral("127.0.8.13"), 502);
    const int &setupLength = f.setupLength;
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    // A setup record split in two, then a clock and a version block in one write.
    QByteArray record(243, '\x11');
    fake.send(QByteArray(1, 'S') + record.left(100));
    fake.sendLater(200, record.mid(100) + block('T', clockBytes(1, 2, 3, 4, 5, 6, 26, 20))
                            + block('V', QByteArray("\x05\x00\x02\x0E\x06\x14\x15\x08", 8)));
    QVERIFY(f.waitLogged(QStringLiteral("Version Data Received for 127.0.8.13 Version 5.0.2 Build Date JUN-14-2021")));
    QCOMPARE(setupLength, 243);
    QVERIFY(f.logged(QStringLiteral("Config File Received ( 243 Bytes ) for 127.0.8.13")));
    QVERIFY(f.logged(QStringLiteral("Time Data Received for 127.0.8.13")));
    QCOMPARE(f.manager->undefinedBytes(), 0u);
}

void TestConnection::incompleteBlockIsDroppedAndLogged()
{
    FakeUnit fake(QStringLiteral("127.0.8.14"));
    Fixture f(QStringLiteral("127.0.8.14"), 300);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    fake.send(QByteArray("X\x01\x02\x03\x04\x05", 6));
    QVERIFY(f.waitLogged(QStringLiteral("Incomplete 'X' reply from Vork Unit 127.0.8.14 dropped: 5 of 12 bytes"), 3000));
    QVERIFY(f.op.messages.isEmpty());
    // The stream goes on with the next message.
    fake.send(QByteArray(1, char(ACK)));
    QVERIFY(f.waitLogged(QStringLiteral("Received ack from Vork Unit 127.0.8.14")));
}

void TestConnection::olderUnitsShorterSetupRecord()
{
    FakeUnit fake(QStringLiteral("127.0.8.15"));
    Fixture f(QStringLiteral("127.0.8.15"), 264); // sends 232 bytes
    const int &setupLength = f.setupLength;
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    fake.send(QByteArray(1, 'S') + QByteArray(232, '\x22'));
    QVERIFY(f.waitLogged(QStringLiteral("Config File Received ( 232 Bytes ) for 127.0.8.15")));
    QCOMPARE(setupLength, 232);
    // Fewer bytes than its version gives is a broken record, not an old one.
    fake.send(QByteArray(1, 'S') + QByteArray(200, '\x22'));
    QVERIFY(f.waitLogged(QStringLiteral("Incomplete 'S' reply from Vork Unit 127.0.8.15 dropped: 200 of 232 bytes"), 3000));
}

void TestConnection::olderLayoutMovedOnReception()
{
    FakeUnit fake(QStringLiteral("127.0.8.28"));
    Fixture f(QStringLiteral("127.0.8.28"), 499);
    const QByteArray &got = f.setupRecord;
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    QByteArray record(243, '\0');
    record[234] = 1; // uats, firewall, eipDiags where a 4.9.9 unit keeps them
    record[235] = 1;
    record[236] = 0;
    fake.send(QByteArray(1, 'S') + record);
    QVERIFY(wait::until([&] { return !got.isEmpty(); }, 2000));
    const setuppack in(got);
    QCOMPARE(in.uats(), true);
    QCOMPARE(in.firewall(), true);
    QCOMPARE(in.eipDiags(), false);
    QCOMPARE(in.ethp(), std::uint8_t(1));
}

void TestConnection::versionBlock()
{
    FakeUnit fake(QStringLiteral("127.0.8.16"));
    Fixture f(QStringLiteral("127.0.8.16"), 300);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    fake.send(block('V', QByteArray("\x05\x00\x01\x05\x03\x14\x0C\x02", 8)));
    QVERIFY(f.waitLogged(QStringLiteral("Version Data Received for 127.0.8.16 Version 5.0.1 Build Date MAR-05-2012")));
    QCOMPARE(f.services.replies().lastVersion().size(), 8);
}

void TestConnection::replyRightAfterTheAck()
{
    FakeUnit fake(QStringLiteral("127.0.8.25"));
    Fixture f(QStringLiteral("127.0.8.25"), 300);
    const QDateTime &got = f.clock;
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    // The block comes in the same write as the ACK: it waits for the dispatcher.
    fake.onBytes = [&](const QByteArray &) {
        fake.send(QByteArray(1, char(ACK)) + block('T', clockBytes(5, 4, 13, 9, 4, 12, 26, 20)));
    };
    QCOMPARE(f.manager->WaitForAck(f.socket(), 3, 'T'), AckResult::Ack);
    QVERIFY(wait::until([&] { return got.isValid(); }, 2000));
    QCOMPARE(got, QDateTime(QDate(2026, 12, 9), QTime(13, 4, 5)));
}

void TestConnection::infoBlockEntersTheTableAndCloses()
{
    FakeUnit fake(QStringLiteral("127.0.8.17"));
    Fixture f(QStringLiteral("127.0.8.17"), 300);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    udppack other = unitRecord(503);
    other.desc = QStringLiteral("Renamed by info");
    other.mac = QStringLiteral("0050C2AABB01");
    other.blv = QStringLiteral("1.07");
    fake.onBytes = [&](const QByteArray &b) {
        if (b == "C")
            fake.send(QByteArray(1, char(ACK)));
    };
    fake.send(block('I', encodeAnnouncement(other)));
    QVERIFY(f.waitLogged(QStringLiteral("Info Data Received for 127.0.8.17")));
    QCOMPARE(f.units.count(), 1);
    QCOMPARE(f.units.unit(0).desc, QStringLiteral("Renamed by info"));
    QCOMPARE(f.op.panels[0], QStringLiteral("Info Received"));
    QVERIFY(wait::until([&] { return fake.received.endsWith('C'); }, 2000));
}

void TestConnection::secondClickDisconnects()
{
    FakeUnit fake(QStringLiteral("127.0.8.18"));
    Fixture f(QStringLiteral("127.0.8.18"), 300);
    QVERIFY(f.services.selection().clickConnect(QStringLiteral("127.0.8.18")));
    QCOMPARE(f.units.connectedIndex(), 0);
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    QVERIFY(!f.services.selection().clickConnect(QStringLiteral("127.0.8.18")));
    QVERIFY(f.logged(QStringLiteral("Waiting for socket disconnect")));
    QVERIFY(wait::until([&] { return !f.unit().connected; }, 2000));
    QCOMPARE(fake.connections, 1); // not reopened
    QVERIFY(f.logged(QStringLiteral("Disconnected from Vork Unit 127.0.8.18")));
}

void TestConnection::failedClickShowsFailure()
{
    Fixture f(QStringLiteral("127.0.8.19"), 300, 0, 0); // never answers ping
    QVERIFY(!f.services.selection().clickConnect(QStringLiteral("127.0.8.19")));
    QCOMPARE(f.op.panels[1], QStringLiteral("Failed to Connect to 127.0.8.19"));
    QVERIFY(f.logged(QStringLiteral("No ping answer from Vork Unit 127.0.8.19")));
}

void TestConnection::eraseAnswers_data()
{
    QTest::addColumn<int>("what");
    QTest::addColumn<char>("answer"); // 0: silence
    QTest::addColumn<bool>("errorTone");
    QTest::addColumn<QString>("line");
    QTest::newRow("history NAK") << int(UnitCommands::Erase::History) << char(NAK) << true
                                 << "Failed to Erase History for 127.0.8.20";
    QTest::newRow("persistent NAK") << int(UnitCommands::Erase::Persistent) << char(NAK) << true
                                    << "Failed to Erase Persistent Data for 127.0.8.20";
    QTest::newRow("setup NAK") << int(UnitCommands::Erase::Setup) << char(NAK) << true
                               << "Failed to Erase Configuration for 127.0.8.20";
    QTest::newRow("history ACK") << int(UnitCommands::Erase::History) << char(ACK) << false
                                 << "Vork Unit 127.0.8.20 history file cleared from flash";
}

void TestConnection::eraseAnswers()
{
    QFETCH(int, what);
    QFETCH(char, answer);
    QFETCH(bool, errorTone);
    QFETCH(QString, line);
    FakeUnit fake(QStringLiteral("127.0.8.20"));
    Fixture f(QStringLiteral("127.0.8.20"), 300);
    UnitCommands &commands = f.commands();
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    fake.onBytes = [&](const QByteArray &) { fake.send(QByteArray(1, answer)); };
    f.op.answers = {Answer::Yes};
    QCOMPARE(commands.erase(UnitCommands::Erase(what)) == AckResult::Ack, answer == char(ACK));
    QCOMPARE(f.op.questions, QStringList{UnitCommands::eraseQuestion(UnitCommands::Erase(what))});
    QVERIFY2(f.logged(line), qPrintable(f.op.logs.join(QLatin1Char('\n'))));
    QCOMPARE(f.op.tones.contains(Tone::Error), errorTone);
    static const char letters[] = {'c', 'h', 'p'};
    QCOMPARE(fake.received.at(0), letters[what]);
}

void TestConnection::closeWithoutAckClosesOnlyThatUnit()
{
    FakeUnit a(QStringLiteral("127.0.8.21"));
    FakeUnit b(QStringLiteral("127.0.8.22"));
    Fixture f(QStringLiteral("127.0.8.21"), 300);
    f.units.enterAnnouncement([] {
        udppack u = unitRecord(300);
        u.mac = QStringLiteral("0050C2AABB02");
        return u;
    }(), QStringLiteral("127.0.8.22"));
    QVERIFY(f.connectNow());
    f.units.setCurrent(&f.units.unit(1));
    QVERIFY(f.connectNow());
    // Unit 0 never acknowledges the close; unit 1 stays open.
    QVERIFY(!f.manager->Exit_socket(&f.units.unit(0)));
    QVERIFY(f.logged(QStringLiteral("Vork Unit failed to Respond to Close Socket Command")));
    QVERIFY(!f.manager->isOpen(&f.units.unit(0)));
    QVERIFY(f.manager->isOpen(&f.units.unit(1)));
    // Closing locally is a disconnect like any other: the unit's state follows.
    QVERIFY(wait::until([&] { return !f.units.unit(0).connected; }, 1000));
    QVERIFY(f.logged(QStringLiteral("Disconnected from Vork Unit 127.0.8.21")));
    QVERIFY(f.units.unit(1).connected);
}

void TestConnection::rebootTakesTheRecordsAddressOnlyFromThisConnection_data()
{
    QTest::addColumn<QString>("recordIp");
    QTest::addColumn<bool>("reconnect");
    QTest::addColumn<QString>("target");
    QTest::newRow("new address from this connection") << "127.0.8.99" << false << "127.0.8.99";
    QTest::newRow("record from an earlier connection") << "127.0.8.99" << true << "127.0.8.23";
    QTest::newRow("zero address") << "0.0.0.0" << false << "127.0.8.23";
    QTest::newRow("garbage") << "999.1" << false << "127.0.8.23";
}

void TestConnection::rebootTakesTheRecordsAddressOnlyFromThisConnection()
{
    QFETCH(QString, recordIp);
    QFETCH(bool, reconnect);
    QFETCH(QString, target);
    FakeUnit fake(QStringLiteral("127.0.8.23"));
    Fixture f(QStringLiteral("127.0.8.23"), 502);
    UnitCommands &commands = f.commands();
    QString asked;
    QObject::connect(&commands, &UnitCommands::rebooted, &commands, [&](const QString &ip, bool) { asked = ip; });
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    QByteArray record(243, '\0');
    record.replace(24, recordIp.size(), recordIp.toLatin1());
    fake.send(QByteArray(1, 'S') + record);
    QVERIFY(f.waitLogged(QStringLiteral("Config File Received ( 243 Bytes ) for 127.0.8.23")));
    if (reconnect) {
        f.manager->existingClient(f.unit())->close();
        QVERIFY(wait::until([&] { return !f.unit().connected; }, 1000));
        QVERIFY(f.connectNow());
    }
    f.op.answers = {Answer::Yes};
    QVERIFY(commands.reboot());
    QCOMPARE(f.op.questions, QStringList{QStringLiteral("Are you sure you want to restart Vork Unit 127.0.8.23?")});
    QCOMPARE(asked, target);
    QCOMPARE(f.unit().ip, target);
    QVERIFY(fake.received.endsWith('R'));
}

void TestConnection::checksumAskOnce()
{
    FakeUnit fake(QStringLiteral("127.0.8.24"));
    Fixture f(QStringLiteral("127.0.8.24"), 300);
    UnitCommands &commands = f.commands();
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    fake.onBytes = [&](const QByteArray &) { fake.send(QByteArray(1, char(ACK))); };
    f.op.answers = {Answer::No};
    f.op.tickDontAskAgain = true;
    QVERIFY(!commands.checksum());
    QCOMPARE(f.op.questionTitles, QStringList{QStringLiteral("Checksum Request")});
    QVERIFY(fake.received.isEmpty());
    // Not asked again for the rest of the run.
    QVERIFY(commands.checksum());
    QCOMPARE(f.op.questions.size(), 1);
    QVERIFY(wait::until([&] { return fake.received == "X"; }, 1000));
}

void TestConnection::checksumWithoutResultRestoresTheCursor()
{
    FakeUnit fake(QStringLiteral("127.0.8.26"));
    Fixture f(QStringLiteral("127.0.8.26"), 300);
    UnitCommands &commands = f.commands();
    f.services.replies().setChecksumBusyLimit(300);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    fake.onBytes = [&](const QByteArray &) { fake.send(QByteArray(1, char(ACK))); }; // acknowledged, never computed
    f.op.answers = {Answer::Yes};
    QVERIFY(commands.checksum());
    QCOMPARE(f.op.busyDepth, 1);
    QVERIFY(wait::until([&] { return f.op.busyDepth == 0; }, 2000));
    // A late result does not take the cursor below normal.
    fake.send(QByteArray("X\x01\x00\x00\x00\x01\x00\x00\x00\x00\xFF\xFF\x00", 13));
    QVERIFY(wait::until([&] { return !f.op.messages.isEmpty(); }, 2000));
    QCOMPARE(f.op.busyDepth, 0);
}

void TestConnection::garbageFromTheUnitIsSurvived_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 7u, 42u, 1234u})
        QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
}

void TestConnection::garbageFromTheUnitIsSurvived()
{
    QFETCH(quint32, seed);
    FakeUnit fake(QStringLiteral("127.0.8.27"));
    Fixture f(QStringLiteral("127.0.8.27"), 502);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    // Random bytes in random chunks: every block type, partial blocks, stray answers.
    QRandomGenerator random(seed);
    for (int chunk = 0; chunk < 40 && fake.peer; ++chunk) {
        QByteArray bytes(static_cast<int>(random.bounded(1, 300)), '\0');
        for (char &b : bytes)
            b = static_cast<char>(random.bounded(256));
        fake.send(bytes);
        wait::delay(5);
    }
    // Whatever was half-assembled runs out within its bound; nothing is left waiting.
    wait::delay(ReplyAssembler::blockLimitMs + 300);
    QVERIFY(!f.units.isEmpty());
    // If the connection is still open, it still answers a command.
    if (fake.peer && f.unit().connected) {
        fake.onBytes = [&](const QByteArray &) { fake.send(QByteArray(1, char(ACK))); };
        QCOMPARE(f.manager->WaitForAck(f.socket(), 3, 'S'), AckResult::Ack);
    }
}

namespace {

// Live records whose bytes hold ACK and NAK values in every field a record has.
QByteArray liveRecord(int i)
{
    QByteArray r(DataPack::size, '\0');
    r[0] = 1; // a label
    r[1] = char(i % 2 ? ACK : NAK);
    for (int k = 2; k < r.size(); ++k)
        r[k] = char((k + i) % 3 == 0 ? ACK : (k + i) % 3 == 1 ? NAK : char(k));
    return QByteArray(1, 'M') + r;
}

struct LiveSink
{
    explicit LiveSink(ReplyRouter &router)
        : sink(DataPack::size, [this](udppack &, const ReplySource &, const QByteArray &b) { blocks << b; }),
          registration(router.add(ReplyType::LiveRecord, sink))
    {
    }
    FixedSizeSink sink;
    ReplyRegistration registration;
    QList<QByteArray> blocks;
};

} // namespace

void TestConnection::onlyAnAnswerBetweenRecordsEndsAWait_data()
{
    QTest::addColumn<QByteArray>("answer"); // what follows the records, in the same writes
    QTest::addColumn<int>("result");
    QTest::newRow("never answered") << QByteArray() << int(AckResult::TimedOut);
    QTest::newRow("ack after the records") << QByteArray(1, char(ACK)) << int(AckResult::Ack);
    QTest::newRow("nak after the records") << QByteArray(1, char(NAK)) << int(AckResult::Nak);
}

void TestConnection::onlyAnAnswerBetweenRecordsEndsAWait()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, result);
    FakeUnit fake(QStringLiteral("127.0.8.30"));
    Fixture f(QStringLiteral("127.0.8.30"), 300);
    LiveSink live(f.services.connections().replies());
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    // Records stream while the command waits; each begins inside the wait and comes in pieces.
    constexpr int records = 8;
    fake.onBytes = [&](const QByteArray &) {
        for (int i = 0; i < records; ++i) {
            const QByteArray r = liveRecord(i);
            fake.sendLater(20 + i * 60, r.left(3));
            fake.sendLater(40 + i * 60, r.mid(3) + (i + 1 == records ? answer : QByteArray()));
        }
    };
    QCOMPARE(int(f.manager->WaitForAck(f.socket(), 1, 'f')), result);
    QVERIFY(wait::until([&] { return live.blocks.size() == records; }, 1000));
    for (int i = 0; i < records; ++i)
        QCOMPARE(live.blocks.at(i), liveRecord(i).mid(1));
    QCOMPARE(f.logged(QStringLiteral("Ack Received from Vork Unit 127.0.8.30")), result == int(AckResult::Ack));
    QCOMPARE(f.manager->undefinedBytes(), 0u);
}

void TestConnection::slowBlockIsKept_data()
{
    QTest::addColumn<int>("pieceBytes");
    QTest::addColumn<int>("gapMs");
    // 400 bytes/s in 64-byte pieces, and one byte at a time with gaps short of the idle limit.
    QTest::newRow("64 bytes every 160 ms") << 64 << 160;
    QTest::newRow("a byte every 8 ms") << 1 << 8;
}

void TestConnection::slowBlockIsKept()
{
    QFETCH(int, pieceBytes);
    QFETCH(int, gapMs);
    FakeUnit fake(QStringLiteral("127.0.8.31"));
    Fixture f(QStringLiteral("127.0.8.31"), 502);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    QSignalSpy dropped(f.manager, &ConnectionManager::blockDropped);
    // A setup record of 243 bytes takes 0.6 s to 2 s: longer than the idle limit as a whole.
    QByteArray record(243, '\x11');
    record[5] = char(ACK);
    const QByteArray bytes = QByteArray(1, 'S') + record;
    for (int i = 0, n = 0; i < bytes.size(); i += pieceBytes, ++n)
        fake.sendLater(n * gapMs, bytes.mid(i, pieceBytes));
    QVERIFY(f.waitLogged(QStringLiteral("Config File Received ( 243 Bytes ) for 127.0.8.31"), 5000));
    QCOMPARE(f.setupRecord.left(243), record);
    QCOMPARE(dropped.size(), 0);
    QVERIFY(f.op.logs.filter(QStringLiteral("Incomplete")).isEmpty());
}

void TestConnection::completeBlockSurvivesABusyProgram()
{
    FakeUnit fake(QStringLiteral("127.0.8.32"));
    Fixture f(QStringLiteral("127.0.8.32"), 300);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    QSignalSpy dropped(f.manager, &ConnectionManager::blockDropped);
    const QByteArray clock = clockBytes(1, 2, 3, 4, 5, 6, 26, 20);
    fake.send(QByteArray(1, 'T') + clock.left(2));
    QVERIFY(wait::until([&] { return f.manager->existingClient(f.unit())->assembler().inBlock(); }, 1000));
    wait::delay(50);
    fake.send(clock.mid(2));
    fake.peer->flush();
    // The rest is in by now, but the program is busy past the idle limit before it looks.
    QThread::msleep(ReplyAssembler::blockLimitMs + 300);
    QVERIFY(f.waitLogged(QStringLiteral("Time Data Received for 127.0.8.32")));
    QCOMPARE(dropped.size(), 0);

    // A block that really stops is given up after the idle limit, and says what arrived.
    fake.send(QByteArray(1, 'T') + clock.left(3));
    QVERIFY(wait::until([&] { return dropped.size() == 1; }, 3000));
    QCOMPARE(dropped.first().at(1).value<std::uint8_t>(), std::uint8_t('T'));
    QCOMPARE(dropped.first().at(2).toByteArray(), clock.left(3));
    QCOMPARE(dropped.first().at(3).toInt(), 8);
}

void TestConnection::lateAnswerAnswersNothingLater_data()
{
    QTest::addColumn<QByteArray>("second"); // the unit's own answer to the next command
    QTest::addColumn<int>("result");
    QTest::newRow("next refused") << QByteArray(1, char(NAK)) << int(AckResult::Nak);
    QTest::newRow("next unanswered") << QByteArray() << int(AckResult::TimedOut);
    QTest::newRow("next acknowledged") << QByteArray(1, char(ACK)) << int(AckResult::Ack);
}

void TestConnection::lateAnswerAnswersNothingLater()
{
    QFETCH(QByteArray, second);
    QFETCH(int, result);
    FakeUnit fake(QStringLiteral("127.0.8.33"));
    Fixture f(QStringLiteral("127.0.8.33"), 300);
    QVERIFY(f.connectNow());
    QVERIFY(wait::until([&] { return fake.peer; }, 1000));
    int commands = 0;
    QElapsedTimer since;
    since.start();
    constexpr int lateMs = 1300;
    fake.onBytes = [&](const QByteArray &) {
        // The first answer comes after its wait gave up; the unit answers the next command
        // only after that, as a unit working through its input in order does.
        if (++commands == 1)
            fake.sendLater(lateMs, QByteArray(1, char(ACK)));
        else if (!second.isEmpty())
            fake.sendLater(int(qMax<qint64>(0, lateMs + 50 - since.elapsed())), second);
    };
    QCOMPARE(f.manager->WaitForAck(f.socket(), 1, 'S'), AckResult::TimedOut);
    QSignalSpy acknowledged(f.manager, &ConnectionManager::acknowledged);
    QCOMPARE(int(f.manager->WaitForAck(f.socket(), 1, 'T')), result);
    QCOMPARE(commands, 2);
    QVERIFY(f.logged(QStringLiteral("Discarded late ACK from Vork Unit 127.0.8.33")));
    QCOMPARE(acknowledged.size(), 0);
}

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
