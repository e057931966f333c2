// A misbehaving relay between the utility and simulated units: what the units send is
// split into single bytes, dealt out in 64-byte pieces every 160 ms, or joined in pairs
// of chunks. History retrievals and a monitor session run through it at once; nothing
// may be lost and nothing reported that the units did not send.
#include "connection/connectionmanager.h"
#include "core/boundedwait.h"
#include "core/pinger.h"
#include "history/historypage.h"
#include "history/historyretrieval.h"
#include "monitor/monitorpagecontroller.h"
#include "monitor/monitorsession.h"
#include "recordingoperator.h"
#include "services/pagerules.h"
#include "services/unitservices.h"
#include "simcommandserver.h"
#include "simfleet.h"
#include "simhistoryhandler.h"
#include "simmonitorhandler.h"
#include "unit/unittable.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace vork;

namespace {

enum class Shape { Bytes, Pieces, Pairs };

// Listens where the utility expects the unit and passes everything on; the unit's
// side is shaped on its way back.
class Relay : public QObject
{
public:
    static constexpr int byteGapMs = 1;
    static constexpr int pieceBytes = 64;
    static constexpr int pieceGapMs = 160;
    static constexpr int pairWaitMs = 40;

    Relay(const QString &listenOn, const QString &unitAt, Shape shape) : m_unitAt(unitAt), m_shape(shape)
    {
        m_server.listen(QHostAddress(listenOn), 3011);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection())
                join(s);
        });
        m_pace.setTimerType(Qt::PreciseTimer);
        connect(&m_pace, &QTimer::timeout, this, &Relay::release);
    }
    ~Relay() override
    {
        // The sockets go first, told nothing: their last signals must not reach a relay
        // that is half gone.
        for (QTcpSocket *s : {m_unit.data(), m_utility.data()})
            if (s)
                s->disconnect();
        delete m_utility.data();
    }
    bool listening() const { return m_server.isListening(); }
    qint64 relayed() const { return m_relayed; }

private:
    void join(QTcpSocket *utility)
    {
        m_utility = utility;
        utility->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_unit = new QTcpSocket(utility);
        m_unit->connectToHost(QHostAddress(m_unitAt), 3011);
        connect(utility, &QTcpSocket::readyRead, this, [this] {
            m_toUnit += m_utility->readAll();
            forwardToUnit();
        });
        connect(m_unit, &QTcpSocket::connected, this, &Relay::forwardToUnit);
        connect(m_unit, &QTcpSocket::readyRead, this, [this] { fromUnit(m_unit->readAll()); });
        connect(utility, &QTcpSocket::disconnected, m_unit, &QTcpSocket::disconnectFromHost);
        connect(m_unit, &QTcpSocket::disconnected, this, [this] {
            if (m_utility && m_held.isEmpty())
                m_utility->disconnectFromHost();
        });
        m_sinceTick.start();
        m_pace.start(m_shape == Shape::Bytes ? byteGapMs : m_shape == Shape::Pieces ? pieceGapMs : pairWaitMs);
    }
    void forwardToUnit()
    {
        if (m_unit && m_unit->state() == QAbstractSocket::ConnectedState && !m_toUnit.isEmpty()) {
            m_unit->write(m_toUnit);
            m_toUnit.clear();
        }
    }
    void fromUnit(const QByteArray &chunk)
    {
        if (m_shape == Shape::Pairs) {
            // Every chunk waits for the next and goes out with it as one write.
            m_chunks.append(chunk);
            if (m_chunks.size() >= 2) {
                const QByteArray first = m_chunks.takeFirst();
                write(first + m_chunks.takeFirst());
                m_pace.start(pairWaitMs);
            }
            return;
        }
        m_held += chunk;
    }
    void release()
    {
        switch (m_shape) {
        case Shape::Bytes: {
            // A byte a millisecond, each a write of its own; a late tick catches up.
            const qint64 due = qBound(qint64(1), qint64(m_sinceTick.restart()), qint64(50));
            for (qint64 i = 0; i < due && !m_held.isEmpty(); ++i) {
                write(m_held.left(1));
                m_held.remove(0, 1);
            }
            break;
        }
        case Shape::Pieces:
            write(m_held.left(pieceBytes));
            m_held.remove(0, qMin<qsizetype>(pieceBytes, m_held.size()));
            break;
        case Shape::Pairs:
            // A chunk with no partner goes alone after a while.
            while (!m_chunks.isEmpty())
                write(m_chunks.takeFirst());
            break;
        }
    }
    void write(const QByteArray &bytes)
    {
        if (bytes.isEmpty() || !m_utility)
            return;
        m_utility->write(bytes);
        m_utility->flush();
        m_relayed += bytes.size();
    }

    QTcpServer m_server;
    QString m_unitAt;
    Shape m_shape;
    QPointer<QTcpSocket> m_utility;
    QPointer<QTcpSocket> m_unit;
    QByteArray m_toUnit;
    QByteArray m_held;
    QList<QByteArray> m_chunks;
    QTimer m_pace;
    QElapsedTimer m_sinceTick;
    qint64 m_relayed = 0;
};

class Reachable : public Pinger
{
public:
    bool ping(const QString &, int, bool) override { return true; }
};

QString relayAddress(int n)
{
    return QStringLiteral("127.0.47.%1").arg(n + 2);
}

QString unitAddress(int n)
{
    return QStringLiteral("127.0.48.%1").arg(n + 2);
}

sim::SimUnit relayedUnit(int n, int readers)
{
    sim::SimUnit u = sim::demoUnit(n, QHostAddress(unitAddress(n)));
    u.version = {3, 0, 0}; // no login
    u.model = 0;
    u.readers = static_cast<std::uint8_t>(readers);
    return u;
}

// One utility (its own services) with one unit reached through its relay.
struct HistoryRig
{
    explicit HistoryRig(int which) : services(op), page(services), rules(services), n(which)
    {
        services.setPinger(std::make_unique<Reachable>());
        rules.add(page);
        // As slow as the relay makes it, the unit never falls silent for long.
        r().setSilenceBoundMs(5000);
    }
    bool enter(const sim::SimUnit &u)
    {
        UnitTable &units = services.units();
        const int i = units.enterAnnouncement(u.record(QDateTime::currentDateTime(), 0), relayAddress(n));
        units.setCurrent(&units.unit(i));
        if (!services.connections().Connect_or_timeout(3000))
            return false;
        rules.changed(Page::Discover, Page::History);
        return op.logged(QStringLiteral("History on"));
    }
    HistoryRetrieval &r() { return page.retrieval(); }

    RecordingOperator op;
    UnitServices services;
    HistoryPageController page;
    PageRules rules;
    int n;
};

QList<DataPack> newest(const sim::SimUnit &u, int count)
{
    QList<DataPack> out;
    for (int i = u.history.records - 1; i >= 0 && out.size() < count; --i) {
        const DataPack p = sim::simHistoryRecord(u, i);
        if (p.typ >= 1 && p.typ <= 4)
            out.append(p);
    }
    return out;
}

// Lines no clean run may log.
QStringList falseReports(const RecordingOperator &op)
{
    QStringList bad;
    for (const QString &line : op.logs)
        if (line.startsWith(QLatin1String("Incomplete")) || line.startsWith(QLatin1String("Undefined"))
            || line.startsWith(QLatin1String("Did not receive")) || line.startsWith(QLatin1String("Discarded"))
            || line.contains(QLatin1String("missing")) || line.contains(QLatin1String("lost")))
            bad << line;
    return bad;
}

} // namespace

class TestRelay : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void historyAndMonitorThroughRelays();
};

void TestRelay::historyAndMonitorThroughRelays()
{
    constexpr int wanted = 300;
    constexpr int monitorMs = 30000;
    const Shape shapes[] = {Shape::Bytes, Shape::Pieces, Shape::Pairs};

    // Units 0-2 give their history, one per shape; units 3-5 stream live records, one per shape.
    sim::SimFleet fleet;
    QList<sim::SimUnit> units;
    for (int n = 0; n < 6; ++n) {
        sim::SimUnit u = relayedUnit(n, n < 3 ? 1 : 8);
        u.history.records = 400;
        // 10 records a second (200 bytes/s), well inside the slowest relay's 400 bytes/s.
        u.monitor.intervalMs = 200;
        u.monitor.burst = 2;
        units << u;
        fleet.add(u);
    }
    QString error;
    QVERIFY2(fleet.start({}, &error), qPrintable(error));
    std::vector<std::unique_ptr<Relay>> relays;
    for (int n = 0; n < 6; ++n) {
        relays.push_back(std::make_unique<Relay>(relayAddress(n), unitAddress(n), shapes[n % 3]));
        QVERIFY(relays.back()->listening());
    }

    std::vector<std::unique_ptr<HistoryRig>> history;
    for (int n = 0; n < 3; ++n) {
        history.push_back(std::make_unique<HistoryRig>(n));
        QVERIFY2(history.back()->enter(units[n]), qPrintable(history.back()->op.logs.join(QLatin1Char('\n'))));
    }

    RecordingOperator monitorOp;
    UnitServices monitorServices(monitorOp);
    monitorServices.setPinger(std::make_unique<Reachable>());
    MonitorPageController monitorPage(monitorServices);
    MonitorSession &session = monitorPage.session();
    for (int n = 3; n < 6; ++n) {
        const int i = monitorServices.units().enterAnnouncement(units[n].record(QDateTime::currentDateTime(), 0),
                                                              relayAddress(n));
        monitorServices.units().unit(i).selected = true;
    }
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(session.monitorOn(), 3);

    for (auto &h : history) {
        QVERIFY(h->r().setWanted(wanted));
        QCOMPARE(h->r().retrieve(), HistoryRetrieval::Start::Sent);
    }
    QVERIFY(wait::until(
        [&] {
            for (auto &h : history)
                if (h->r().running())
                    return false;
            return true;
        },
        40000));
    for (auto &h : history) {
        const QString which = QStringLiteral("history through relay %1").arg(h->n);
        QCOMPARE(h->r().lastEnd(), HistoryRetrieval::End::Acknowledged);
        QVERIFY2(QList<DataPack>(h->r().view().begin(), h->r().view().end()) == newest(units[h->n], wanted),
                 qPrintable(which));
        QVERIFY2(falseReports(h->op).isEmpty(), qPrintable(which + QLatin1String(": ") + falseReports(h->op).join(QLatin1Char('\n'))));
        QVERIFY(h->op.messages.isEmpty());
    }

    // The live records stream for the rest of the time, then the quit goes out among them.
    wait::delay(int(qMax<qint64>(0, monitorMs - clock.elapsed())));
    session.monitorOff(Page::Setup);
    QCOMPARE(monitorOp.logs.count(QStringLiteral("Monitor off")), 3);
    // After its ACK a unit sends nothing more: every record it sent is a row.
    QVERIFY(wait::until(
        [&] {
            int sent = 0;
            for (int n = 3; n < 6; ++n)
                sent += fleet.server(n).tcp().findChild<sim::SimMonitorHandler *>()->recordsSent();
            return int(session.rows().size()) == sent;
        },
        5000));
    QVERIFY(clock.elapsed() >= monitorMs);
    for (int n = 3; n < 6; ++n) {
        const int sent = fleet.server(n).tcp().findChild<sim::SimMonitorHandler *>()->recordsSent();
        int rows = 0;
        for (const MonitorRow &row : session.rows())
            rows += row.ip == relayAddress(n) ? 1 : 0;
        QVERIFY2(sent >= 250, qPrintable(QString::number(sent)));
        QCOMPARE(rows, sent);
    }
    QCOMPARE(session.lostRecords(), 0);
    for (const auto &relay : relays) // everything went the relay's way
        QVERIFY(relay->relayed() > 4000);
    QVERIFY2(falseReports(monitorOp).isEmpty(), qPrintable(falseReports(monitorOp).join(QLatin1Char('\n'))));
    QVERIFY(monitorOp.messages.isEmpty());
}

QTEST_GUILESS_MAIN(TestRelay)
#include "tst_relay.moc"
