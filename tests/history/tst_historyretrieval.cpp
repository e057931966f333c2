// History retrieval against a simulated unit on loopback: both reply forms, the
// kinds and reader, paging with Next and Prev, abort, a lost link, a silent
// unit, oversized packets, the buffer's cap, and the page held while it runs.
#include "connection/connectionmanager.h"
#include "core/boundedwait.h"
#include "core/pinger.h"
#include "history/historypage.h"
#include "history/historyretrieval.h"
#include "recordingoperator.h"
#include "services/pagerules.h"
#include "services/unitservices.h"
#include "simcommandserver.h"
#include "simfleet.h"
#include "simhistoryhandler.h"
#include "unit/unittable.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace vork;

Q_DECLARE_METATYPE(vork::HistoryKinds)

namespace {

const QString unitIp = QStringLiteral("127.0.19.2");

class Reachable : public Pinger
{
public:
    bool ping(const QString &, int, bool) override { return true; }
};

sim::SimUnit historyUnit(int records, int readers = 1)
{
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(unitIp));
    u.version = {3, 0, 0}; // no login, Next with 0x10
    u.model = 0;
    u.readers = static_cast<std::uint8_t>(readers);
    u.history.records = records;
    return u;
}

// What the unit should send: its store newest first, kinds by flag bit, one reader or all.
QList<DataPack> expected(const sim::SimUnit &u, std::uint8_t flags, int reader, int from, int count)
{
    static const std::uint8_t bits[] = {0, 1, 2, 4, 8, 0x20};
    QList<DataPack> out;
    for (int i = from; i >= 0 && out.size() < count; --i) {
        const DataPack p = sim::simHistoryRecord(u, i);
        const bool system = p.typ >= 4;
        if ((flags & bits[p.typ]) && (system || reader == 8 || p.rdr == reader))
            out.append(p);
    }
    return out;
}

QList<DataPack> viewList(const HistoryRetrieval &r)
{
    return QList<DataPack>(r.view().begin(), r.view().end());
}

struct Rig
{
    Rig() : services(op), page(services), rules(services)
    {
        services.setPinger(std::make_unique<Reachable>());
        rules.add(page);
        r().setSilenceBoundMs(3000);
    }
    bool start(const sim::SimUnit &u)
    {
        unit = u;
        fleet.add(u);
        QString error;
        if (!fleet.start({}, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        UnitTable &units = services.units();
        const int i = units.enterAnnouncement(u.record(QDateTime::currentDateTime(), 0), u.address.toString());
        units.setCurrent(&units.unit(i));
        if (!services.connections().Connect_or_timeout(3000))
            return false;
        rules.changed(Page::Discover, Page::History);
        return op.logged(QStringLiteral("History on"));
    }
    HistoryRetrieval &r() { return page.retrieval(); }
    sim::SimCommandServer &tcp() { return fleet.server(0).tcp(); }
    sim::SimHistoryHandler &simHistory() { return *tcp().findChild<sim::SimHistoryHandler *>(); }
    bool waitEnd(int ms = 10000) { return wait::until([&] { return !r().running(); }, ms); }
    // The requests the unit received, each as its bytes.
    QList<QByteArray> requests()
    {
        QList<QByteArray> out;
        for (const auto &c : tcp().commands())
            if (c.mode == sim::SimCommandServer::Mode::History && c.data.size() >= 4)
                out << c.data;
        return out;
    }

    RecordingOperator op;
    UnitServices services;
    HistoryPageController page;
    PageRules rules;
    sim::SimFleet fleet;
    sim::SimUnit unit;
};

} // namespace

class TestHistoryRetrieval : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void bothReplyForms_data();
    void bothReplyForms();
    void kindsAndReader_data();
    void kindsAndReader();
    void fewerThanWanted();
    void nextAndPrev();
    void nextToANewerUnit();
    void abortLeavesAConsistentBuffer();
    void abortWithoutAck();
    void droppedLinkKeepsWhatCame_data();
    void droppedLinkKeepsWhatCame();
    void stalledUnitIsStoppedAndReported();
    void slowLinkLosesNothing();
    void lostReplyFailsTheRetrieval();
    void oversizedPacketsStayInStep();
    void bufferIsCapped();
    void wantedIsLimited();
    void pageChangeRefusedWhileRunning();
    void cancelAndNoKindKeepTheRecords();
    void killReadersYesSetsTheBit();
    void splitAndDoubledReplies();
    void automaticRetrieve();
    void noUnitSendsNothing();
};

void TestHistoryRetrieval::bothReplyForms_data()
{
    QTest::addColumn<bool>("multi");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("status"); // panel 0 after the last record
    QTest::newRow("multi-record") << true << QStringLiteral("History Command Reader 8 Type 143 Records 40")
                                  << QByteArray::fromHex("8f280008") << QStringLiteral(" 1 Vork Unit(s) found");
    // However the records came, the panel stops counting once the retrieval ended.
    QTest::newRow("single record") << false << QStringLiteral("History Command Reader 8 Type 15 Records 40")
                                   << QByteArray::fromHex("0f280008") << QStringLiteral(" 1 Vork Unit(s) found");
}

void TestHistoryRetrieval::bothReplyForms()
{
    QFETCH(bool, multi);
    QFETCH(QString, logLine);
    QFETCH(QByteArray, request);
    QFETCH(QString, status);
    Rig rig;
    QVERIFY(rig.start(historyUnit(100)));
    rig.r().setMultiRecord(multi);
    QVERIFY(rig.r().setWanted(40));
    QSignalSpy finished(&rig.r(), &HistoryRetrieval::finished);
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QCOMPARE(rig.r().retrieveCaption(), QStringLiteral("ABORT"));
    QVERIFY(!rig.r().filterEnabled());
    QVERIFY(rig.waitEnd());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(rig.r().lastEnd(), HistoryRetrieval::End::Acknowledged);
    QCOMPARE(rig.r().retrieveCaption(), QStringLiteral("Retrieve"));
    QVERIFY(rig.r().filterEnabled());
    QVERIFY(rig.op.logged(logLine));
    QCOMPARE(rig.requests(), QList<QByteArray>{request});
    QCOMPARE(rig.r().viewCount(), 40);
    QCOMPARE(rig.r().masterCount(), 40);
    QCOMPARE(int(rig.r().requestedCount()), 40);
    // Newest first, boot records left out (a first request has no boot bit).
    QCOMPARE(viewList(rig.r()), expected(rig.unit, 0x0F, 8, 99, 40));
    // The newest non-boot record is store index 98, an alarm with code 98 % 66.
    QCOMPARE(int(rig.r().view().front().typ), 4);
    QCOMPARE(int(rig.r().view().front().data[0]), 32);
    QCOMPARE(int(rig.r().view().back().typ), 1); // index 50, an error
    QCOMPARE(int(rig.r().view().back().data[0]), 50);
    QVERIFY(rig.op.logged(QStringLiteral("History Command Complete. 40 Records Received")));
    QVERIFY(rig.op.logs.filter(QStringLiteral("No More Records")).isEmpty());
    QCOMPARE(rig.op.panel(Panel::Status), status);
    QCOMPARE(rig.r().progress(), 0);
    QCOMPARE(rig.r().progressMaximum(), 40);
}

void TestHistoryRetrieval::kindsAndReader_data()
{
    QTest::addColumn<HistoryKinds>("kinds");
    QTest::addColumn<int>("readerIndex"); // in the choice of a two-reader unit: "0", "1", "ALL"
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("readerByte");
    QTest::newRow("labels") << HistoryKinds{false, true, false, false, false} << 2 << 0x82 << 8;
    QTest::newRow("errors and alarms") << HistoryKinds{true, false, false, true, false} << 2 << 0x89 << 8;
    QTest::newRow("diagnostics of reader 1") << HistoryKinds{false, false, true, false, false} << 1 << 0x84 << 1;
    QTest::newRow("every kind of reader 0") << HistoryKinds{} << 0 << 0x8F << 0;
}

void TestHistoryRetrieval::kindsAndReader()
{
    QFETCH(HistoryKinds, kinds);
    QFETCH(int, readerIndex);
    QFETCH(int, flags);
    QFETCH(int, readerByte);
    Rig rig;
    QVERIFY(rig.start(historyUnit(400, 2)));
    QCOMPARE(rig.r().readerChoice(), (QStringList{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("ALL")}));
    QCOMPARE(rig.r().readerIndex(), 2);
    QVERIFY(rig.r().setReaderIndex(readerIndex));
    rig.r().setKinds(kinds);
    QVERIFY(rig.r().setWanted(30));
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd());
    QCOMPARE(rig.requests().size(), 1);
    QCOMPARE(int(std::uint8_t(rig.requests().first()[0])), flags);
    QCOMPARE(int(std::uint8_t(rig.requests().first()[3])), readerByte);
    const QList<DataPack> want = expected(rig.unit, std::uint8_t(flags), readerByte, 399, 30);
    QCOMPARE(want.size(), 30);
    QCOMPARE(viewList(rig.r()), want);
    for (const DataPack &p : want) {
        const std::uint8_t bit = std::uint8_t(1u << (p.typ - 1));
        QVERIFY(flags & bit);
    }
}

void TestHistoryRetrieval::fewerThanWanted()
{
    Rig rig;
    QVERIFY(rig.start(historyUnit(10)));
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent); // 17 wanted
    QVERIFY(rig.waitEnd());
    QCOMPARE(rig.r().viewCount(), 8); // ten stored, two of them boot records
    QVERIFY(rig.op.logged(QStringLiteral("History Command Complete. 8 Records Received")));
    QVERIFY(rig.op.logged(QStringLiteral("History No More Records - received 8")));
    QCOMPARE(rig.r().lastEnd(), HistoryRetrieval::End::Acknowledged);
}

void TestHistoryRetrieval::nextAndPrev()
{
    Rig rig;
    QVERIFY(rig.start(historyUnit(200)));
    rig.r().setVisibleRows(10);
    rig.r().setPageHeight(10);
    QVERIFY(rig.r().setWanted(25));
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd());
    QCOMPARE(rig.r().viewCount(), 25);
    QCOMPARE(rig.r().topRow(), 1);
    QVERIFY(!rig.r().prevEnabled());
    // The grid has more rows below: Next scrolls, nothing is sent.
    QCOMPARE(rig.r().next(), HistoryRetrieval::Start::Scrolled);
    QCOMPARE(rig.r().topRow(), 12);
    QCOMPARE(rig.r().next(), HistoryRetrieval::Start::Scrolled);
    QCOMPARE(rig.r().topRow(), 23);
    QCOMPARE(rig.requests().size(), 1);
    // At the end of the grid Next asks the unit for the records after the last one.
    QCOMPARE(rig.r().next(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.r().nextRequest());
    QVERIFY(rig.waitEnd());
    QCOMPARE(rig.requests().size(), 2);
    QCOMPARE(rig.requests().at(1).toHex(), QByteArray("9f190008")); // 0x80 | 0x10 | the four kinds
    QVERIFY(rig.op.logged(QStringLiteral("History Command Reader 8 Type 159 Records 25")));
    QCOMPARE(rig.r().viewCount(), 50);
    QCOMPARE(rig.r().masterCount(), 50);
    QCOMPARE(viewList(rig.r()), expected(rig.unit, 0x0F, 8, 199, 50)); // no record twice, none skipped
    QCOMPARE(rig.r().topRow(), 41); // the last page shows the newest of the Next
    QVERIFY(rig.r().prevEnabled());
    rig.r().prev();
    QCOMPARE(rig.r().topRow(), 31);
    for (int i = 0; i < 3; ++i)
        rig.r().prev();
    QCOMPARE(rig.r().topRow(), 1);
    QVERIFY(!rig.r().prevEnabled());
}

void TestHistoryRetrieval::nextToANewerUnit()
{
    Rig rig;
    sim::SimUnit u = historyUnit(300);
    u.version = {5, 1, 0}; // logs in; Next carries 0x30 and the unit adds boot records
    QVERIFY(rig.start(u));
    rig.r().setKinds({false, true, false, false, true});
    QVERIFY(rig.r().setWanted(5));
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd());
    rig.r().setVisibleRows(30);
    QCOMPARE(rig.r().next(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd());
    QCOMPARE(rig.requests().at(0).toHex(), QByteArray("82050008"));
    QCOMPARE(rig.requests().at(1).toHex(), QByteArray("b2050008"));
    QCOMPARE(rig.r().viewCount(), 10);
    // After the five labels the Next goes on below them, now with boot records.
    const QList<DataPack> labels = expected(rig.unit, 0x02, 8, 299, 5);
    QCOMPARE(viewList(rig.r()).mid(0, 5), labels);
    const int below = int(labels.last().data[0] | (labels.last().data[1] << 8)) - 1;
    QCOMPARE(viewList(rig.r()).mid(5), expected(rig.unit, 0x22, 8, below, 5));
}

void TestHistoryRetrieval::abortLeavesAConsistentBuffer()
{
    Rig rig;
    QVERIFY(rig.start(historyUnit(30000)));
    rig.r().setMultiRecord(false);
    QVERIFY(rig.r().setWanted(30000));
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(wait::until([&] { return rig.r().viewCount() > 200; }, 5000));
    // The Retrieve button reads ABORT: pressing it aborts.
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Aborting);
    QVERIFY(rig.op.logged(QStringLiteral("History Command Aborted by User")));
    QVERIFY(rig.waitEnd(5000));
    QCOMPARE(rig.r().lastEnd(), HistoryRetrieval::End::Aborted);
    QVERIFY(!rig.simHistory().sending());
    // Every record the unit sent before its ACK is held once, in both buffers.
    const int sent = rig.simHistory().sentInRetrieval();
    QVERIFY(sent < 30000);
    QCOMPARE(rig.r().viewCount(), sent);
    QCOMPARE(viewList(rig.r()), expected(rig.unit, 0x0F, 8, 29999, sent));
    QCOMPARE(QList<DataPack>(rig.r().master().begin(), rig.r().master().end()), viewList(rig.r()));
    const int aborted = rig.op.logs.indexOf(QStringLiteral("History Command Aborted by User"));
    const int complete = rig.op.logs.indexOf(QStringLiteral("History Command Complete. %1 Records Received").arg(sent));
    QVERIFY(aborted >= 0 && complete > aborted);
    QVERIFY(rig.op.logs.filter(QStringLiteral("No More Records")).isEmpty());
    QVERIFY(rig.op.logs.filter(QStringLiteral("Undefined")).isEmpty());
    // The stream is in step: another retrieval works, and leaving the page ends history mode.
    QVERIFY(rig.r().setWanted(20));
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd());
    QCOMPARE(rig.r().lastEnd(), HistoryRetrieval::End::Acknowledged);
    QCOMPARE(rig.r().viewCount(), 20);
    QCOMPARE(rig.rules.changed(Page::History, Page::Setup), Page::Setup);
    QVERIFY(rig.op.logged(QStringLiteral("History off")));
    QCOMPARE(rig.tcp().mode(), sim::SimCommandServer::Mode::CommandLevel);
}

void TestHistoryRetrieval::abortWithoutAck()
{
    Rig rig;
    sim::SimUnit u = historyUnit(500);
    u.history.stallAfterRecords = 30;
    u.commandFaults.silentCommands = "Q";
    QVERIFY(rig.start(u));
    rig.r().setAbortBoundMs(300);
    QVERIFY(rig.r().setWanted(100));
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(wait::until([&] { return rig.r().viewCount() == 30; }, 5000));
    rig.r().abort();
    QVERIFY(rig.r().running());
    QVERIFY(rig.waitEnd(3000));
    QCOMPARE(rig.r().lastEnd(), HistoryRetrieval::End::AbortUnanswered);
    QVERIFY(rig.op.logged(QStringLiteral("Did not receive an Ack from Vork Unit ") + unitIp));
    QVERIFY(rig.op.logged(QStringLiteral("History Command Complete. 30 Records Received")));
    QCOMPARE(rig.r().viewCount(), 30);
    QVERIFY(rig.tcp().received().endsWith('Q'));
}

void TestHistoryRetrieval::droppedLinkKeepsWhatCame_data()
{
    QTest::addColumn<int>("afterRecords");
    QTest::addColumn<int>("afterBytes");
    QTest::addColumn<int>("kept");
    QTest::newRow("between packets") << 60 << 0 << 60;
    // The H command's ACK, two packets of 25, then the count byte, two records and 5 bytes of
    // the third packet: its two whole records are kept.
    QTest::newRow("inside a packet") << 0 << 1 + 2 * (2 + 25 * 19) + 2 + 2 * 19 + 5 << 52;
}

void TestHistoryRetrieval::droppedLinkKeepsWhatCame()
{
    QFETCH(int, afterRecords);
    QFETCH(int, afterBytes);
    QFETCH(int, kept);
    Rig rig;
    sim::SimUnit u = historyUnit(500);
    u.history.dropAfterRecords = afterRecords;
    u.commandFaults.dropAfterBytes = afterBytes;
    QVERIFY(rig.start(u));
    QVERIFY(rig.r().setWanted(200));
    QSignalSpy finished(&rig.r(), &HistoryRetrieval::finished);
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd(5000));
    QCOMPARE(rig.r().lastEnd(), HistoryRetrieval::End::ConnectionLost);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(rig.r().viewCount(), kept);
    QCOMPARE(viewList(rig.r()), expected(rig.unit, 0x0F, 8, 499, kept));
    QVERIFY(rig.op.logged(QStringLiteral("History from Vork Unit 127.0.19.2: connection lost after %1 Records").arg(kept)));
    QVERIFY(rig.op.logs.filter(QStringLiteral("History Command Complete")).isEmpty());
    QVERIFY(rig.r().filterEnabled());
    QVERIFY(!rig.page.holdsPage());
    QCOMPARE(rig.op.panel(Panel::Status), QStringLiteral(" 1 Vork Unit(s) found"));
}

void TestHistoryRetrieval::stalledUnitIsStoppedAndReported()
{
    Rig rig;
    sim::SimUnit u = historyUnit(500);
    u.history.stallAfterRecords = 25;
    u.history.stallMs = 1500; // only slow: it would go on if nobody stopped it
    QVERIFY(rig.start(u));
    rig.r().setSilenceBoundMs(400);
    QVERIFY(rig.r().setWanted(100));
    QSignalSpy finished(&rig.r(), &HistoryRetrieval::finished);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd(8000));
    QVERIFY(clock.elapsed() >= 380); // a coarse timer may fire 5 % early
    QCOMPARE(rig.r().lastEnd(), HistoryRetrieval::End::Silent);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(rig.r().viewCount(), 25);
    // Stopped with the abort and the quit, and said so; nothing claims it completed.
    QByteArray commands;
    for (const auto &c : rig.tcp().commands())
        commands += char(c.byte);
    QVERIFY2(commands.endsWith("Q0"), commands.constData());
    const QString stopped = QStringLiteral("Vork Unit 127.0.19.2 stopped answering after 25 records");
    QVERIFY(rig.op.logged(stopped));
    QVERIFY(rig.op.messageTexts().contains(stopped));
    QVERIFY(rig.op.logs.filter(QStringLiteral("History Command Complete")).isEmpty());
    QCOMPARE(rig.op.panel(Panel::Status), QStringLiteral(" 1 Vork Unit(s) found"));
    QVERIFY(!rig.page.holdsPage());

    // Past the stall nothing of the first request arrives as the answer to the next one.
    wait::delay(1500);
    QCOMPARE(rig.r().viewCount(), 25);
    // Fewer than the stall point: the answer is the newest records again, history mode asked anew.
    QVERIFY(rig.r().setWanted(20));
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd(8000));
    QCOMPARE(rig.r().lastEnd(), HistoryRetrieval::End::Acknowledged);
    QCOMPARE(viewList(rig.r()), expected(rig.unit, 0x0F, 8, 499, 20));
    QCOMPARE(rig.requests().size(), 2);
    QVERIFY(rig.op.logs.filter(QStringLiteral("History on")).size() == 2);
}

void TestHistoryRetrieval::slowLinkLosesNothing()
{
    Rig rig;
    sim::SimUnit u = historyUnit(300);
    u.commandFaults.trickleRate = 400; // a 25-record packet takes 1.2 s
    QVERIFY(rig.start(u));
    QVERIFY(rig.r().setWanted(60));
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd(10000));
    QCOMPARE(rig.r().lastEnd(), HistoryRetrieval::End::Acknowledged);
    QCOMPARE(viewList(rig.r()), expected(rig.unit, 0x0F, 8, 299, 60));
    QVERIFY(rig.op.logs.filter(QStringLiteral("Incomplete")).isEmpty());
    QCOMPARE(rig.r().missingRecords(), 0);
}

void TestHistoryRetrieval::lostReplyFailsTheRetrieval()
{
    Rig rig;
    sim::SimUnit u = historyUnit(300);
    u.history.stallAfterRecords = 25;
    u.history.stallMs = 2000;
    QVERIFY(rig.start(u));
    QVERIFY(rig.r().setWanted(40));
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(wait::until([&] { return rig.r().viewCount() == 25; }, 3000));
    // Inside the stall a packet of 3 begins, brings one record and 5 bytes, and stops.
    QByteArray cut("h\x03", 2);
    cut += encodeDataPack(sim::simHistoryRecord(rig.unit, 1));
    cut += QByteArray(5, '\x01');
    rig.tcp().pushBytes(cut);
    QVERIFY(rig.waitEnd(8000));
    QCOMPARE(rig.r().lastEnd(), HistoryRetrieval::End::RecordsMissing);
    QCOMPARE(rig.r().missingRecords(), 2);
    const QString missing = QStringLiteral("History from Vork Unit 127.0.19.2: 2 records missing (replies arrived incomplete)");
    QVERIFY(rig.op.messageTexts().contains(missing));
    QCOMPARE(rig.r().viewCount(), 41); // the cut packet's whole record is kept
    QCOMPARE(rig.op.panel(Panel::Status), QStringLiteral(" 1 Vork Unit(s) found"));
}

void TestHistoryRetrieval::oversizedPacketsStayInStep()
{
    Rig rig;
    sim::SimUnit u = historyUnit(500);
    u.history.oversizePacket = 30;
    QVERIFY(rig.start(u));
    QVERIFY(rig.r().setWanted(100));
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd());
    // Packets of 30, 30, 30 and 10: each read whole, 25 of each kept, then the ACK.
    QCOMPARE(rig.r().lastEnd(), HistoryRetrieval::End::Acknowledged);
    QCOMPARE(rig.r().viewCount(), 85);
    const QList<DataPack> sent = expected(rig.unit, 0x0F, 8, 499, 100);
    const QList<DataPack> kept = sent.mid(0, 25) + sent.mid(30, 25) + sent.mid(60, 25) + sent.mid(90, 10);
    QCOMPARE(viewList(rig.r()), kept);
    QCOMPARE(rig.op.logs.filter(QStringLiteral("History packet from Vork Unit 127.0.19.2 announced 30 records; 25 kept")).size(), 3);
    QVERIFY(rig.op.logs.filter(QStringLiteral("Undefined")).isEmpty());
    QVERIFY(rig.op.logs.filter(QStringLiteral("Oversized")).isEmpty());
}

void TestHistoryRetrieval::bufferIsCapped()
{
    Rig rig;
    QVERIFY(rig.start(historyUnit(42000)));
    QVERIFY(rig.r().setWanted(HistoryRetrieval::bufferSize));
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd(60000));
    QCOMPARE(rig.r().viewCount(), HistoryRetrieval::bufferSize);
    QVERIFY(!rig.op.logged(HistoryRetrieval::bufferFullText()));
    // A Next past the full buffer: nothing more is stored, said once, and the ACK still ends it.
    rig.r().setVisibleRows(HistoryRetrieval::bufferSize);
    QVERIFY(rig.r().setWanted(300));
    QCOMPARE(rig.r().next(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd(10000));
    QCOMPARE(rig.r().lastEnd(), HistoryRetrieval::End::Acknowledged);
    QCOMPARE(rig.r().viewCount(), HistoryRetrieval::bufferSize);
    QCOMPARE(rig.r().masterCount(), HistoryRetrieval::bufferSize);
    QCOMPARE(rig.op.logs.count(HistoryRetrieval::bufferFullText()), 1);
    QCOMPARE(rig.simHistory().sentInRetrieval(), 300);
}

void TestHistoryRetrieval::wantedIsLimited()
{
    Rig rig;
    QVERIFY(rig.r().setWanted(HistoryRetrieval::bufferSize));
    QVERIFY(!rig.r().setWanted(HistoryRetrieval::bufferSize + 1));
    QVERIFY(!rig.r().setWanted(70000));
    QVERIFY(!rig.r().setWanted(0));
    QCOMPARE(rig.r().wanted(), HistoryRetrieval::bufferSize);
}

void TestHistoryRetrieval::pageChangeRefusedWhileRunning()
{
    Rig rig;
    sim::SimUnit u = historyUnit(500);
    u.history.stallAfterRecords = 10; // keeps the retrieval running
    QVERIFY(rig.start(u));
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(wait::until([&] { return rig.r().viewCount() == 10; }, 5000));
    const QByteArray before = rig.tcp().received();
    QVERIFY(rig.page.holdsPage());
    QVERIFY(!rig.rules.requestChange(Page::History, Page::Setup));
    QCOMPARE(rig.rules.changed(Page::History, Page::Setup), Page::History);
    wait::delay(100);
    QCOMPARE(rig.tcp().received(), before); // nothing sent: no history quit, no setup command
    QCOMPARE(rig.tcp().mode(), sim::SimCommandServer::Mode::History);
    QVERIFY(!rig.op.logged(QStringLiteral("Sent History Quit Command to Vork Unit ") + unitIp));
    rig.r().abort();
    QVERIFY(rig.waitEnd(5000));
    QVERIFY(rig.rules.requestChange(Page::History, Page::Setup));
    QCOMPARE(rig.rules.changed(Page::History, Page::Setup), Page::Setup);
    QVERIFY(rig.op.logged(QStringLiteral("History off")));
}

void TestHistoryRetrieval::cancelAndNoKindKeepTheRecords()
{
    Rig rig;
    QVERIFY(rig.start(historyUnit(100)));
    QVERIFY(rig.r().setWanted(20));
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd());
    QCOMPARE(rig.r().viewCount(), 20);
    QSignalSpy cleared(&rig.r(), &HistoryRetrieval::cleared);
    QSignalSpy filter(&rig.r(), &HistoryRetrieval::filterEnabledChanged);

    rig.r().setKillReaders(true);
    rig.op.answers = {Answer::Cancel};
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Cancelled);
    QCOMPARE(rig.op.questions, QStringList{QStringLiteral("Are you sure you want to turn off the readers while downloading?")});
    rig.r().setKillReaders(false);
    rig.r().setKinds({false, false, false, false, false});
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::NoKind);
    QCOMPARE(rig.op.messageTexts(MessageKind::Warning), QStringList{QStringLiteral("You must select at least 1 item to display.")});

    QCOMPARE(rig.r().viewCount(), 20);
    QCOMPARE(rig.r().masterCount(), 20);
    QCOMPARE(cleared.size(), 0);
    QCOMPARE(filter.size(), 0);
    QVERIFY(rig.r().filterEnabled());
    QCOMPARE(rig.requests().size(), 1);
}

void TestHistoryRetrieval::killReadersYesSetsTheBit()
{
    Rig rig;
    QVERIFY(rig.start(historyUnit(100)));
    rig.r().setKillReaders(true);
    rig.op.answers = {Answer::No, Answer::Yes};
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd());
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd());
    QCOMPARE(rig.requests().size(), 2);
    QCOMPARE(rig.requests().at(0).toHex(), QByteArray("8f110008"));
    QCOMPARE(rig.requests().at(1).toHex(), QByteArray("cf110008"));
}

void TestHistoryRetrieval::splitAndDoubledReplies()
{
    Rig rig;
    sim::SimUnit u = historyUnit(300);
    u.commandFaults.splitReplies = true;
    QVERIFY(rig.start(u));
    QVERIFY(rig.r().setWanted(120));
    QSignalSpy finished(&rig.r(), &HistoryRetrieval::finished);
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::Sent);
    QVERIFY(rig.waitEnd());
    QCOMPARE(viewList(rig.r()), expected(rig.unit, 0x0F, 8, 299, 120));
    // A doubled ACK ends nothing a second time.
    rig.tcp().pushBytes(QByteArray(1, char(ACK)));
    wait::delay(100);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(rig.op.logs.filter(QStringLiteral("History Command Complete")).size(), 1);
    QVERIFY(rig.op.logs.filter(QStringLiteral("Incomplete")).isEmpty());
}

void TestHistoryRetrieval::automaticRetrieve()
{
    Rig rig;
    rig.r().setAutoRetrieve(true);
    QVERIFY(rig.start(historyUnit(100)));
    QVERIFY(rig.r().autoRetrievePending() || rig.r().running());
    QVERIFY(wait::until([&] { return rig.r().lastEnd() == HistoryRetrieval::End::Acknowledged; }, 5000));
    QCOMPARE(rig.r().viewCount(), 17);
    // The request went out after history mode's acknowledgement, never inside its wait.
    const int on = rig.op.logs.indexOf(QStringLiteral("History on"));
    const int request = rig.op.logs.indexOf(QStringLiteral("History Command Reader 8 Type 143 Records 17"));
    QVERIFY(on >= 0 && request > on);
}

void TestHistoryRetrieval::noUnitSendsNothing()
{
    Rig rig;
    QCOMPARE(rig.r().retrieve(), HistoryRetrieval::Start::NoUnit);
    QVERIFY(!rig.r().running());
    QVERIFY(rig.op.logs.filter(QStringLiteral("History Command")).isEmpty());
}

QTEST_GUILESS_MAIN(TestHistoryRetrieval)
#include "tst_historyretrieval.moc"
