#pragma once

#include "connection/replyrouter.h"
#include "unit/eventrecord.h"
#include "services/pagecontroller.h"

#include <QObject>
#include <QString>

#include <deque>
#include <functional>

namespace vork {

class UnitServices;
struct udppack;

// One live record as it arrived, with what the views need of its unit at that moment.
struct MonitorRow
{
    quint32 counter = 0; // 1, 2, ... since the page was opened
    DataPack pack;
    QString ip;
    QString mac;
    QString description;
    int readerBase = 0;            // the unit's reader base address, added in address mode
    bool readerAddress = true;     // the reader column's mode when the row arrived
    bool unitDescription = false;  // the unit column's mode when the row arrived
};

// Texts of a row's columns as the scrolling view shows them.
enum class MonitorColumn : int { Record = 0, Reader, Type, Value, TimeStamp, DateStamp, Unit, Address };
constexpr int monitorColumnCount = 8;
QString monitorCellText(const MonitorRow &row, MonitorColumn column);
// The list's and tree's choices, by the tags they are stored under.
enum class UnitIdentifier : int { Mac = 0, Address = 1, Description = 2 };
enum class ReaderIdentifier : int { Index = 0, Address = 1 };
// The caption of a unit in the list and tree: the prefix by reader count, then its MAC or IP; or its description.
QString monitorUnitTitle(const udppack &unit, UnitIdentifier choice);
// A reader as the list and tree show it: its number, or its number from the unit's
// reader base (older firmware numbers its readers from another address).
int monitorReaderIdentifier(const udppack &unit, int reader, ReaderIdentifier choice);

// The header cells as set at start: what exports write as their header line.
QStringList monitorHeaderCells();

// Monitor mode for every unit of the active list: switched on when the MONITOR
// page opens and off when it is left; every live record ('M') updates its
// unit's last values per reader and joins the rows the views show.
class MonitorSession : public QObject, public ReplySink
{
    Q_OBJECT
public:
    // The rows kept for the scrolling view; beyond it the oldest go.
    static constexpr std::size_t rowCap = 100000;
    static constexpr int quitWaitMs = 3000;
    // How long a unit's disconnect is awaited before its socket is closed here.
    static constexpr int disconnectWaitMs = 9 * 500;

    explicit MonitorSession(UnitServices &services, QObject *parent = nullptr);

    // Connects each unit of the active list and puts it into monitor mode; the number monitored.
    // Once stopStarting() holds, the units not yet tried are left out (notTried() counts them).
    int monitorOn();
    std::function<bool()> stopStarting;
    int notTried() const { return m_notTried; }
    // The quit to each monitored unit, then every unit but the current one closed.
    void monitorOff(Page to);

    int monitoredCount() const { return m_monitored; }
    // Units whose connection went while they were monitored, since monitor on.
    int linksDropped() const { return m_dropped; }
    static QString droppedText(const QString &ip);
    // Live records lost since monitor on (replies that arrived incomplete): any makes the
    // session's outcome a failure.
    int lostRecords() const { return m_lost; }
    static QString lostText(const QString &address, int lost);
    quint32 rowCounter() const { return m_counter; }
    const std::deque<MonitorRow> &rows() const { return m_rows; }
    // The IP addresses of the units monitor mode was tried on, in list order.
    const QStringList &unitChoice() const { return m_unitChoice; }

    // The scrolling view's reader and unit columns: new rows follow, written rows keep theirs.
    bool readerAddressMode() const { return m_readerAddress; }
    void setReaderAddressMode(bool on) { m_readerAddress = on; }
    bool unitDescriptionMode() const { return m_unitDescription; }
    void setUnitDescriptionMode(bool on) { m_unitDescription = on; }

    // While the "Reader Details" window shows, records change only their unit's last values.
    void setDetailsShowing(bool on) { m_detailsShowing = on; }
    bool detailsShowing() const { return m_detailsShowing; }
    // Sets the read, error and diagnostic values of every unit of the active list to "***".
    void resetLastValues();

    // A unit's title prefix by reader count: "SVRK", "TVRK", "QVRK", "MVRK", or none.
    static QString titlePrefix(int readers);
    // Readers a unit has, for indexing its per-reader values: 1-8.
    static int readerCount(const udppack &unit);

    int blockSize(const udppack &unit, const QByteArray &soFar) const override;
    int maxBlockSize() const override { return DataPack::size; }
    void receive(udppack &unit, const ReplySource &from, const QByteArray &block) override;

Q_SIGNALS:
    // A unit's last values changed; row is true when the record also joined the rows (the last one).
    void recordArrived(int unitIndex, bool row);
    // The oldest rows went to make room.
    void rowsDropped(int count);
    // Monitor on starts a new list of rows.
    void rowsCleared();
    // Monitor on went through the active list: the views are built anew.
    void monitorStarted();
    void monitoringChanged();
    // A monitored unit's connection went: it is monitored no more, its last values are gone.
    void linkDropped(quint64 link);
    // A live record of a monitored unit arrived incomplete; lost is the session's total.
    void recordsLost(int unitIndex, int lost);

private:
    bool switchOn(udppack &unit, bool first);
    void unitDisconnected(int index);

    UnitServices &m_services;
    ReplyRegistration m_registration;
    std::deque<MonitorRow> m_rows;
    QStringList m_unitChoice;
    quint32 m_counter = 0;
    int m_monitored = 0;
    int m_notTried = 0;
    int m_dropped = 0;
    bool m_on = false; // between monitor on and monitor off: a closing link is a drop
    int m_lost = 0;
    bool m_lostSaid = false;
    bool m_capLogged = false;
    bool m_readerAddress = true;
    bool m_unitDescription = false;
    bool m_detailsShowing = false;
};

} // namespace vork
