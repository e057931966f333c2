#pragma once

#include "unit/unitsort.h"

#include <QDateTime>
#include <QObject>
#include <QString>

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

    ResultWait ramZeroWait;
    ResultWait restoreWait;
    ResultWait netstatWait;
    // Factory reset by MAC: the next announcement ends the wait.
    bool factoryResetWait = false;
    QString factoryResetMac;
    // A unit queried by unicast; cleared by any datagram from it.
    QString pendingUnicastTarget;
    // The next window end plays no tone.
    bool endToneSuppressed = false;

    // Hooks for the features that ride on the cycle.
    std::function<bool()> pingFieldHasFocus;
    std::function<void(const QByteArray &query)> sendToTargets;
    std::function<bool()> listBroadcastPending;
    std::function<void(const QByteArray &buff, int count, const QString &sender)> netstatReceived;
    std::function<void(const udppack &announced, const QString &sender)> setIpConfirm;
    std::function<void()> setIpFinish;
    std::function<bool()> setIpInProgress;
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
};

} // namespace vork
