#include "services/unitservices.h"

#include "discovery/unicast.h"
#include "connection/unitclient.h"

#include "connection/commandreplies.h"
#include "connection/connectionmanager.h"
#include "connection/operation.h"
#include "connection/unitclient.h"
#include "connection/unitcommands.h"
#include "connection/unitselection.h"
#include "core/operator.h"
#include "core/ports.h"
#include "discovery/arpcache.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "discovery/factoryreset.h"
#include "discovery/setip.h"
#include "discovery/unicast.h"
#include "tools/ping.h"
#include "unit/announcement.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QTcpSocket>

namespace vork {

UnitServices::UnitServices(Operator &op, QObject *parent)
    : QObject(parent), m_op(op), m_pinger(std::make_unique<IcmpPinger>(op))
{
    m_transport = new TBroadcast(op, this);
    m_transport->setBroadCastIP(QStringLiteral("255.255.255.255"));
    m_transport->setLocalPort(utilityUdpPort);
    m_transport->setRemotePort(unitUdpPort);
    m_transport->setTimeOut(500);

    m_units = new UnitTable(op, this);
    m_cycle = new DiscoveryCycle(op, *m_transport, *m_units, this);
    routeTransportToCycle();

    m_gate = new OperationGate(this);
    m_connections = new ConnectionManager(op, *m_units, m_variant, [this](const QString &host, int ms) {
        return m_pinger->ping(host, ms, true);
    }, this);
    m_replies = new CommandReplies(op, *m_units, *m_connections, this);
    m_commands = new UnitCommands(op, *m_units, *m_connections, *m_replies, *m_gate, this);
    m_selection = std::make_unique<UnitSelection>(op, *m_units, *m_connections, *m_gate);
    connect(m_commands, &UnitCommands::rebooted, this, &UnitServices::rediscover);
    m_unicast = new UnicastCommands(op, *m_transport, *m_cycle, *m_units, this);
    m_unicast->closeConnection = [this](udppack &unit) {
        if (UnitClient *c = m_connections->existingClient(unit); c && c->isOpen())
            c->close();
    };

    const auto ping = [this](const QString &host, int ms) { return m_pinger->ping(host, ms, false); };
    m_arp = std::make_unique<ArpCache>(op);
    m_setIp = new SetIp(op, *m_transport, *m_cycle, *m_arp, this);
    m_setIp->ping = ping;
    m_setIp->closeConnection = [this] { m_connections->CloseSocket(); };
    m_setIp->closeOpenUnits = [this] {
        // Each unit closes on its own connection; the table is walked again after every wait.
        for (int i = 0; i < m_units->count(); ++i) {
            udppack &u = m_units->unit(i);
            if (!m_connections->isOpen(&u))
                continue;
            if (QTcpSocket *s = m_connections->socket(u))
                m_connections->WaitForAck(s, 5, Command::Close);
        }
    };
    m_factoryReset = new FactoryReset(op, *m_transport, *m_cycle, this);
    m_factoryReset->ping = ping;
    m_connectAndReboot = new ConnectAndReboot(op, *m_units, this);
    m_connectAndReboot->greeting = [](const udppack &u) {
        return loginRequired(u) ? authenticationText() : QByteArray();
    };
    m_connectAndReboot->currentSocket = [this]() -> QTcpSocket * {
        udppack *u = m_units->current();
        return u && m_connections->isOpen(u) ? m_connections->socket(*u) : nullptr;
    };
}

UnitServices::~UnitServices()
{
    m_transport->setOnDataReceived(nullptr);
    m_transport->setOnDiscoveryComplete(nullptr);
}

void UnitServices::setPinger(std::unique_ptr<Pinger> pinger)
{
    if (pinger)
        m_pinger = std::move(pinger);
}

void UnitServices::routeTransportToCycle()
{
    m_transport->setOnDiscoveryComplete([this] { m_cycle->windowEnded(); });
    m_transport->setOnDataReceived(
        [this](const QByteArray &b, int n, const QString &from) { m_cycle->dataReceived(b, n, from); });
}

void UnitServices::rediscover(const QString &target, bool everywhere)
{
    // A unit whose new address is unknown (DHCP) is searched for everywhere.
    if (everywhere) {
        m_cycle->start();
        return;
    }
    m_cycle->expectUnicastAnswer(target);
    m_transport->setBroadCastIP(target);
    m_transport->SendBroadCast(discoveryQuery());
}

} // namespace vork
