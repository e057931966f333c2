#pragma once

#include "unit/records.h"
#include "unit/unitsort.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace vork {

class Operator;
class TBroadcast;
class UnitTable;
struct udppack;

// One discovery cycle: empty the table, send the query, enter every
// announcement of the listening window, sort and warn at its end. The same
// receive path serves the unicast requests that wait for a one-byte result.
class DiscoveryCycle : public QObject
{
    Q_OBJECT
public:
    // A request that waits for a datagram from one address.
    struct ResultWait
    {
        bool active = false;
        QString address;
        std::uint8_t result = 0;
        void cancel() { active = false; address.clear(); }
    };

    DiscoveryCycle(Operator &op, TBroadcast &transport, UnitTable &units, QObject *parent = nullptr);

    SortOrder sortOrder() const { return m_sort; }
    void setSortOrder(SortOrder order) { m_sort = order; }
    // "Synchronize all Vork(s) clock with PC clock on Discovery"; released after every start.
    bool syncClock() const { return m_sync; }
    void setSyncClock(bool on);
    // "Use List of IP address to search": the query goes to sendToTargets instead of the broadcast.
    bool useList() const { return m_useList; }
    void setUseList(bool on) { m_useList = on; }

    bool collecting() const { return m_collecting; }
    bool listComplete() const { return m_listComplete; }

    bool start();
    void dataReceived(const QByteArray &buff, int count, const QString &sender);
    void windowEnded();
    void sortList();

    // Requests answered by a one-byte datagram from one address (RAM zero, restore)
    // or by a table (netstat): the next datagram from that address is theirs.
    enum class ResultKind { RamZero, Restore, Netstat };
    void awaitResult(ResultKind kind, const QString &address);
    void cancelResult(ResultKind kind) { wait(kind).cancel(); }
    const ResultWait &result(ResultKind kind) const { return m_waits[static_cast<int>(kind)]; }
    // Factory reset by MAC: the next announcement ends the wait.
    void awaitFactoryReset(const QString &mac);
    bool factoryResetPending() const { return m_factoryResetWait; }
    // A unit queried by unicast; cleared by any datagram from it.
    void expectUnicastAnswer(const QString &address) { m_unicastTarget = address; }
    QString unicastPending() const { return m_unicastTarget; }
    // The next window end plays no tone.
    void suppressNextEndTone() { m_endToneSuppressed = true; }
    bool endToneSuppressed() const { return m_endToneSuppressed; }
    // While an address change waits for its unit, an empty list is no news.
    void setQuietWhenEmpty(bool quiet) { m_quietWhenEmpty = quiet; }

    // The list's targets when "Use List" is on (the window's discovery list).
    std::function<void(const QByteArray &query)> sendToTargets;
    // The PC clock for the clock-sync query (tests give a fixed one).
    std::function<QDateTime()> clock;

    static QString syncQuestion();
    static QString noneFoundText();

Q_SIGNALS:
    void syncClockChanged(bool on);
    void started();
    void unitEntered(int index, bool added);
    void windowFinished(bool animationStops);
    void listSorted();
    void verifyEnabled(bool on);
    // A datagram of the netstat request being awaited (count 500 when the read failed).
    void netstatReceived(const QByteArray &buff, int count, const QString &sender);
    // Every announcement, after it entered the table (an address change watches for its unit).
    void announcementReceived(const vork::udppack &announced, const QString &sender);

private:
    QString countText() const;

    Operator &m_op;
    TBroadcast &m_transport;
    UnitTable &m_units;
    SortOrder m_sort = SortOrder::None;
    bool m_sync = false;
    bool m_useList = false;
    bool m_collecting = false;
    bool m_listComplete = true;
    ResultWait &wait(ResultKind kind) { return m_waits[static_cast<int>(kind)]; }
    std::array<ResultWait, 3> m_waits;
    bool m_factoryResetWait = false;
    QString m_factoryResetMac;
    QString m_unicastTarget;
    bool m_endToneSuppressed = false;
    bool m_quietWhenEmpty = false;
};

} // namespace vork
