#pragma once

#include "unit/unitrules.h"

#include <QObject>

#include <memory>

namespace vork {

class ArpCache;
class CommandReplies;
class ConnectAndReboot;
class FactoryReset;
class SetIp;
class ConnectionManager;
class DiscoveryCycle;
class OperationGate;
class Operator;
class Pinger;
class TBroadcast;
class UnitCommands;
class UnitSelection;
class UnicastCommands;
class UnitTable;

// Everything that talks to units, built once with an operator: the UDP
// transport, the unit table, the discovery cycle, the TCP connections with
// their reply blocks and commands, and the reachability check. The window,
// the command-line tool and the tests all stand on one of these.
class UnitServices : public QObject
{
    Q_OBJECT
public:
    explicit UnitServices(Operator &op, QObject *parent = nullptr);
    ~UnitServices() override;

    Operator &op() { return m_op; }
    TBroadcast &transport() { return *m_transport; }
    UnitTable &units() { return *m_units; }
    ProtocolVariant &variant() { return m_variant; }
    DiscoveryCycle &cycle() { return *m_cycle; }
    ConnectionManager &connections() { return *m_connections; }
    CommandReplies &replies() { return *m_replies; }
    UnitCommands &commands() { return *m_commands; }
    UnitSelection &selection() { return *m_selection; }
    // Commands by datagram (reboot by MAC, service restarts, RAM, archive).
    UnicastCommands &unicast() { return *m_unicast; }
    OperationGate &operations() { return *m_gate; }
    // Address change by MAC, factory reset, and the "Manual " tab's connect-and-reboot.
    ArpCache &arp() { return *m_arp; }
    SetIp &setIp() { return *m_setIp; }
    FactoryReset &factoryReset() { return *m_factoryReset; }
    ConnectAndReboot &connectAndReboot() { return *m_connectAndReboot; }

    // The check before connecting: ICMP echo unless replaced (tests script one;
    // the command line may skip it).
    Pinger &pinger() { return *m_pinger; }
    void setPinger(std::unique_ptr<Pinger> pinger);

    // Datagrams and window ends go to the discovery cycle (again, after a caller
    // borrowed the transport for a query of its own).
    void routeTransportToCycle();

private:
    void rediscover(const QString &target, bool everywhere);

    Operator &m_op;
    ProtocolVariant m_variant;
    std::unique_ptr<Pinger> m_pinger;
    TBroadcast *m_transport;
    UnitTable *m_units;
    DiscoveryCycle *m_cycle;
    OperationGate *m_gate;
    ConnectionManager *m_connections;
    CommandReplies *m_replies;
    UnitCommands *m_commands;
    UnicastCommands *m_unicast;
    std::unique_ptr<UnitSelection> m_selection;
    std::unique_ptr<ArpCache> m_arp;
    SetIp *m_setIp;
    FactoryReset *m_factoryReset;
    ConnectAndReboot *m_connectAndReboot;
};

} // namespace vork
