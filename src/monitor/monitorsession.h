#pragma once

#include "connection/replyrouter.h"
#include "unit/eventrecord.h"
#include "services/pagecontroller.h"

#include <QObject>
#include <QString>

#include <deque>

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
    int readerBase = 0; // added to the reader number in address mode
};

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
    int monitorOn();
    // The quit to each monitored unit, then every unit but the current one closed.
    void monitorOff(Page to);

    int monitoredCount() const { return m_monitored; }
    quint32 rowCounter() const { return m_counter; }
    const std::deque<MonitorRow> &rows() const { return m_rows; }
    // The IP addresses of the units monitor mode was tried on, in list order.
    const QStringList &unitChoice() const { return m_unitChoice; }

    // A unit's title prefix by reader count: "SVRK", "TVRK", "QVRK", "MVRK", or none.
    static QString titlePrefix(int readers);
    // Readers a unit has, for indexing its per-reader values: 1-8.
    static int readerCount(const udppack &unit);

    int blockSize(const udppack &unit, const QByteArray &soFar) const override;
    int maxBlockSize() const override { return DataPack::size; }
    void receive(udppack &unit, const ReplySource &from, const QByteArray &block) override;

Q_SIGNALS:
    // A record joined the rows (the last one) and its unit's values changed.
    void recordArrived(int unitIndex);
    // The oldest rows went to make room.
    void rowsDropped(int count);
    void monitoringChanged();

private:
    bool switchOn(udppack &unit, bool first);

    UnitServices &m_services;
    ReplyRegistration m_registration;
    std::deque<MonitorRow> m_rows;
    QStringList m_unitChoice;
    quint32 m_counter = 0;
    int m_monitored = 0;
    bool m_capLogged = false;
};

// The MONITOR page's side of the page rules.
class MonitorPageController : public PageController
{
public:
    explicit MonitorPageController(MonitorSession &session) : m_session(session) {}
    Page page() const override { return Page::Monitor; }
    void entered(Page) override { m_session.monitorOn(); }
    void left(Page to) override { m_session.monitorOff(to); }
    void closingUnit() override { m_session.monitorOff(Page::Monitor); }

private:
    MonitorSession &m_session;
};

} // namespace vork
