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
    m_unitChoice.clear();
    m_monitored = 0;
    m_capLogged = false;

    // Units are found again by address after every wait: the list may change under a wait.
    QStringList addresses;
    for (int i = 0; i < units.activeCount(); ++i)
        if (const udppack *u = units.active(i))
            addresses << u->ip;
    for (int n = 0; n < addresses.size(); ++n) {
        const int index = units.findByIP(addresses.at(n));
        if (index < 0)
            continue;
        switchOn(units.unit(index), n == 0);
    }
    Q_EMIT monitoringChanged();
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
    // Nothing received yet from any reader.
    for (int r = 0; r < DataPack::readerSlots; ++r) {
        again.LastRead[r] = again.LastReadtime[r] = none;
        again.LastErr[r] = again.LastErrtime[r] = none;
        again.LastDiag[r] = again.LastDiagtime[r] = none;
    }
    op.log(QStringLiteral("Monitor on"));
    return true;
}

void MonitorSession::monitorOff(Page to)
{
    Operator &op = m_services.op();
    ConnectionManager &connections = m_services.connections();
    UnitTable &units = m_services.units();
    const int monitored = m_monitored;

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
            unit.LastErr[i] = QString::number(pack.errorCode());
            unit.LastErrtime[i] = when;
            break;
        case DataPackKind::Label:
            unit.LastRead[i] = QString::number(pack.labelNumber());
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

    MonitorRow row;
    row.counter = ++m_counter;
    row.pack = pack;
    row.ip = unit.ip;
    row.mac = unit.mac;
    row.description = unit.desc;
    row.readerBase = versionNumber(unit.ver) < 259 ? unit.caddr : unit.naddr;
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
    Q_EMIT recordArrived(m_services.units().indexOf(&unit));
}

} // namespace vork
