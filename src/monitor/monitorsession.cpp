#include "monitor/monitorsession.h"

#include "connection/connectionmanager.h"
#include "connection/unitclient.h"
#include "core/boundedwait.h"
#include "core/operator.h"
#include "discovery/discoverycycle.h"
#include "services/unitservices.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QPointer>
#include <QTime>
#include <QTcpSocket>

namespace vork {

namespace {
constexpr std::uint8_t connectionHeld = 8; // cons: another client holds the command port
constexpr int monitorConnectMs = 5;
constexpr int monitorAckSeconds = 3;
const QString none = QStringLiteral("***");
} // namespace

MonitorSession::MonitorSession(UnitServices &services, QObject *parent)
    : QObject(parent), m_services(services),
      m_registration(services.connections().replies().add(ReplyType::LiveRecord, *this))
{
    connect(&services.connections(), &ConnectionManager::disconnected, this, &MonitorSession::unitDisconnected);
    connect(&services.connections(), &ConnectionManager::blockDropped, this,
            [this](int index, std::uint8_t type, const QByteArray &, int) {
                UnitTable &units = m_services.units();
                if (type != static_cast<std::uint8_t>(ReplyType::LiveRecord) || index < 0 || index >= units.count()
                    || !units.unit(index).Monitor)
                    return;
                ++m_lost;
                const QString text = lostText(units.unit(index).ip, m_lost);
                m_services.op().log(text);
                // Said once a session where the operator looks; the log counts every one. A record
                // cut by the link closing is told by the drop of the link itself.
                if (!m_lostSaid && units.unit(index).connected) {
                    m_lostSaid = true;
                    m_services.op().warning(text);
                }
                Q_EMIT recordsLost(index, m_lost);
            });
}

QString MonitorSession::droppedText(const QString &ip)
{
    return QStringLiteral("Vork Unit ") + ip + QStringLiteral(" is no longer monitored: ")
           + ConnectionManager::lostText();
}

void MonitorSession::unitDisconnected(int index)
{
    UnitTable &units = m_services.units();
    if (!m_on || index < 0 || index >= units.count())
        return;
    udppack &unit = units.unit(index);
    if (!unit.Monitor)
        return;
    // Nothing more comes from it: neither its mark nor its values may pretend otherwise.
    unit.Monitor = false;
    for (std::size_t r = 0; r < DataPack::readerSlots; ++r) {
        unit.LastRead[r] = unit.LastReadtime[r] = none;
        unit.LastErr[r] = unit.LastErrtime[r] = none;
        unit.LastDiag[r] = unit.LastDiagtime[r] = none;
    }
    ++m_dropped;
    const quint64 link = unit.link;
    const QString text = droppedText(unit.ip);
    Q_EMIT linkDropped(link);
    Q_EMIT monitoringChanged();
    m_services.op().log(text);
    m_services.op().warning(text);
}

QString MonitorSession::lostText(const QString &address, int lost)
{
    return QStringLiteral("Live record from Vork Unit ") + address + QStringLiteral(" lost (arrived incomplete); ")
           + QString::number(lost) + QStringLiteral(" lost in this session");
}

QString MonitorSession::titlePrefix(int readers)
{
    switch (readers) {
    case 1: return QStringLiteral("SVRK");
    case 2: return QStringLiteral("TVRK");
    case 4: return QStringLiteral("QVRK");
    case 8: return QStringLiteral("MVRK");
    default: return {};
    }
}

int MonitorSession::readerCount(const udppack &unit)
{
    // A count from the wire never indexes anything unchecked.
    return qBound(1, int(unit.ver.vrcnt), DataPack::readerSlots);
}

int MonitorSession::monitorOn()
{
    UnitTable &units = m_services.units();
    units.rebuildLists(false);
    if (m_services.cycle().sortOrder() != SortOrder::None)
        units.sortActiveList(m_services.cycle().sortOrder());
    m_rows.clear();
    Q_EMIT rowsCleared();
    m_unitChoice.clear();
    m_monitored = 0;
    m_notTried = 0;
    m_dropped = 0;
    m_lost = 0;
    m_lostSaid = false;
    m_capLogged = false;
    m_on = true;

    // Units are found again by address after every wait: the list may change under a wait.
    QStringList addresses;
    for (int i = 0; i < units.activeCount(); ++i)
        if (const udppack *u = units.active(i))
            addresses << u->ip;
    for (int n = 0; n < addresses.size(); ++n) {
        if (stopStarting && stopStarting()) {
            m_notTried = int(addresses.size()) - n;
            break;
        }
        const int index = units.findByIP(addresses.at(n));
        if (index < 0)
            continue;
        switchOn(units.unit(index), n == 0);
    }
    resetLastValues();
    Q_EMIT monitoringChanged();
    Q_EMIT monitorStarted();
    return m_monitored;
}

bool MonitorSession::switchOn(udppack &unit, bool first)
{
    Operator &op = m_services.op();
    ConnectionManager &connections = m_services.connections();
    UnitTable &units = m_services.units();
    const QString ip = unit.ip;
    const quint64 link = unit.link;
    units.setCurrent(&unit);
    m_unitChoice << ip;

    if ((unit.cons & connectionHeld) && !connections.isOpen(&unit)) {
        unit.Monitor = false;
        op.log(QStringLiteral("Cannot connect to ") + ip + QStringLiteral(" someone else is already connected"));
        op.information(QStringLiteral("Cannot Monitor ") + ip + QStringLiteral(" someone else is already connected"));
        return false;
    }
    op.log(QStringLiteral("Connecting to Vork Unit ") + ip);
    const bool connected = connections.Connect_or_timeout(monitorConnectMs);
    int index = units.findByLink(link);
    if (index < 0)
        return false;
    if (!connected) {
        units.unit(index).Monitor = false;
        op.log(QStringLiteral("Connection to Vork Unit ") + ip + QStringLiteral(" failed"));
        op.error(QStringLiteral("Cannot Monitor ") + ip + QStringLiteral(" - Failed to Connect"));
        return false;
    }
    op.log(QStringLiteral("Sent M Command to Vork Unit ") + ip);
    const AckResult answer =
        connections.WaitForAck(connections.socket(units.unit(index)), monitorAckSeconds, Command::Monitor);
    index = units.findByLink(link);
    if (index < 0)
        return false;
    udppack &again = units.unit(index);
    if (answer != AckResult::Ack) {
        again.Monitor = false;
        op.error(QStringLiteral("Unit ") + ip + QStringLiteral(" did not accept \"M\" command"));
        return false;
    }
    again.Monitor = true;
    ++m_monitored;
    if (first)
        m_counter = 0;
    op.log(QStringLiteral("Monitor on"));
    return true;
}

void MonitorSession::monitorOff(Page to)
{
    Operator &op = m_services.op();
    ConnectionManager &connections = m_services.connections();
    UnitTable &units = m_services.units();
    const int monitored = m_monitored;
    m_on = false; // from here on a closing link is ours

    QList<quint64> links;
    for (int i = 0; i < units.activeCount(); ++i)
        if (const udppack *u = units.active(i))
            links << u->link;
    for (quint64 link : std::as_const(links)) {
        const int index = units.findByLink(link);
        if (index < 0)
            continue;
        udppack &unit = units.unit(index);
        if (!connections.isOpen(&unit))
            continue;
        const QString ip = unit.ip;
        op.log(QStringLiteral("Sent Q Command to Vork Unit ") + ip);
        units.setCurrent(&unit);
        if (connections.WaitForAck(connections.socket(unit), quitWaitMs / 1000, Command::Quit) == AckResult::Ack)
            op.log(QStringLiteral("Monitor off"));
        const int again = units.findByLink(link);
        if (again >= 0)
            units.unit(again).Monitor = false;
    }

    // Every unit but the current one lets go of its connection, within a bound.
    const udppack *current = units.current();
    const quint64 currentLink = current ? current->link : 0;
    for (quint64 link : std::as_const(links)) {
        const int index = units.findByLink(link);
        if (index < 0)
            continue;
        udppack &unit = units.unit(index);
        const bool closeIt = link != currentLink || (to == Page::Discover && monitored > 1);
        const QPointer<UnitClient> client = connections.existingClient(unit);
        if (!closeIt || !client || !client->isOpen())
            continue;
        client->socket()->disconnectFromHost();
        wait::until([&] { return !client || !client->isOpen(); }, disconnectWaitMs);
        if (client && client->isOpen())
            client->close();
        const int again = units.findByLink(link);
        if (again >= 0)
            units.unit(again).connected = false;
    }
    m_monitored = 0;
    Q_EMIT monitoringChanged();
}

void MonitorSession::resetLastValues()
{
    // Nothing received yet from any reader; alarms keep theirs.
    UnitTable &units = m_services.units();
    for (int i = 0; i < units.activeCount(); ++i) {
        udppack *u = units.active(i);
        if (!u)
            continue;
        for (std::size_t r = 0; r < DataPack::readerSlots; ++r) {
            u->LastRead[r] = u->LastReadtime[r] = none;
            u->LastErr[r] = u->LastErrtime[r] = none;
            u->LastDiag[r] = u->LastDiagtime[r] = none;
        }
    }
}

int MonitorSession::blockSize(const udppack &, const QByteArray &) const
{
    return DataPack::size;
}

void MonitorSession::receive(udppack &unit, const ReplySource &, const QByteArray &block)
{
    const DataPack pack = decodeDataPack(block);
    if (pack.typ == 0)
        return;
    if (const std::optional<int> r = pack.readerSlot()) {
        const auto i = static_cast<std::size_t>(*r);
        const QString when = dataPackTimeText(pack);
        switch (pack.kind()) {
        case DataPackKind::Error:
            // Shown at a fixed width: two digits for an error, five for a label.
            unit.LastErr[i] = QStringLiteral("%1").arg(pack.errorCode(), 2, 10, QLatin1Char('0'));
            unit.LastErrtime[i] = when;
            break;
        case DataPackKind::Label:
            unit.LastRead[i] = QStringLiteral("%1").arg(pack.labelNumber(), 5, 10, QLatin1Char('0'));
            unit.LastReadtime[i] = when;
            break;
        case DataPackKind::Diagnostic:
            unit.LastDiag[i] = diagnosticText(pack);
            unit.LastDiagtime[i] = when;
            break;
        case DataPackKind::Alarm:
            unit.LastAlarm[i] = QString::number(pack.alarmCode());
            unit.LastAlarmtime[i] = when;
            break;
        default:
            break;
        }
    }
    if (m_detailsShowing) {
        Q_EMIT recordArrived(m_services.units().indexOf(&unit), false);
        return;
    }

    MonitorRow row;
    row.counter = ++m_counter;
    row.pack = pack;
    row.ip = unit.ip;
    row.mac = unit.mac;
    row.description = unit.desc;
    row.readerBase = unit.naddr;
    row.readerAddress = m_readerAddress;
    row.unitDescription = m_unitDescription;
    m_rows.push_back(std::move(row));
    if (m_rows.size() > rowCap) {
        m_rows.pop_front();
        if (!m_capLogged) {
            m_capLogged = true;
            m_services.op().log(QStringLiteral("Monitor keeps the last ") + QString::number(rowCap)
                                + QStringLiteral(" records; older ones are dropped from the view"));
        }
        Q_EMIT rowsDropped(1);
    }
    Q_EMIT recordArrived(m_services.units().indexOf(&unit), true);
}

QString monitorCellText(const MonitorRow &row, MonitorColumn column)
{
    const DataPack &p = row.pack;
    switch (column) {
    case MonitorColumn::Record:
        return QString::number(row.counter);
    case MonitorColumn::Reader:
        return QString::number(row.readerAddress ? row.readerBase + p.rdr : p.rdr);
    case MonitorColumn::Type:
        switch (p.kind()) {
        case DataPackKind::Error: return QStringLiteral("Error");
        case DataPackKind::Label: return QStringLiteral("Label");
        case DataPackKind::Diagnostic: return QStringLiteral("Diagnostic");
        case DataPackKind::Alarm: return QStringLiteral("Alarm");
        default: return QStringLiteral("Unknown");
        }
    case MonitorColumn::Value:
        switch (p.kind()) {
        case DataPackKind::Error: return QString::number(p.errorCode());
        case DataPackKind::Label: return QString::number(p.labelNumber());
        case DataPackKind::Diagnostic: return diagnosticText(p);
        case DataPackKind::Alarm: return QString::number(p.alarmCode());
        default: return {};
        }
    case MonitorColumn::TimeStamp:
        if (!p.timeValid())
            return QStringLiteral("Bad Time");
        return QTime(p.hr, p.min, p.sec).toString(QStringLiteral("hh:mm:ss AP"));
    case MonitorColumn::DateStamp:
        return QStringLiteral("%1/%2/%3")
            .arg(p.month, 2, 10, QLatin1Char('0'))
            .arg(p.day, 2, 10, QLatin1Char('0'))
            .arg(p.fullYear());
    case MonitorColumn::Unit:
        return row.unitDescription ? row.description : row.mac;
    case MonitorColumn::Address:
        return row.ip;
    }
    return {};
}

QString monitorUnitTitle(const udppack &unit, UnitIdentifier choice)
{
    if (choice == UnitIdentifier::Description)
        return unit.desc;
    const QString prefix = MonitorSession::titlePrefix(unit.ver.vrcnt);
    return prefix + QLatin1Char(' ') + (choice == UnitIdentifier::Address ? unit.ip : unit.mac);
}

int monitorReaderIdentifier(const udppack &unit, int reader, ReaderIdentifier choice)
{
    if (choice == ReaderIdentifier::Index)
        return reader;
    constexpr int firstNewAddressing = 259; // 2.5.9 and later number readers from naddr
    return reader + (versionNumber(unit.ver) < firstNewAddressing ? unit.caddr : unit.naddr);
}

QStringList monitorHeaderCells()
{
    return {QStringLiteral("Rec"),        QStringLiteral("Rdr"),        QStringLiteral("Type"),
            QStringLiteral("Value"),      QStringLiteral("Time Stamp"), QStringLiteral("Date Stamp"),
            QStringLiteral("MAC address"), QStringLiteral("IP address")};
}

} // namespace vork
