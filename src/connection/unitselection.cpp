#include "connection/unitselection.h"

#include "connection/connectionmanager.h"
#include "connection/operation.h"
#include "connection/unitclient.h"
#include "core/boundedwait.h"
#include "core/operator.h"
#include "unit/unittable.h"

#include <QPointer>
#include <QTcpSocket>

namespace vork {

UnitSelection::UnitSelection(Operator &op, UnitTable &units, ConnectionManager &connections, OperationGate &gate)
    : m_op(op), m_units(units), m_connections(connections), m_gate(gate)
{
}

bool UnitSelection::clickConnect(const QString &ip)
{
    ScopedOperation operation(m_gate, m_op, QStringLiteral("Connect to ") + ip);
    if (!operation.admitted())
        return false;
    int index = m_units.findByIP(ip);
    if (index < 0)
        return false;
    if (!m_units.current())
        m_units.setCurrent(&m_units.unit(index));

    udppack *current = m_units.current();
    if (m_connections.isOpen(current)) {
        const bool wasClicked = current->ip == ip;
        const QPointer<UnitClient> open = m_connections.existingClient(*current);
        m_op.log(QStringLiteral("Waiting for socket disconnect"));
        open->socket()->disconnectFromHost();
        wait::until([&] { return !open || !open->isOpen(); }, 9 * 500);
        if (open && open->isOpen())
            open->close();
        if (wasClicked)
            return false; // a second click disconnects
    }

    index = m_units.findByIP(ip);
    if (index < 0)
        return false;
    udppack &clicked = m_units.unit(index);
    m_units.setCurrent(&clicked);
    m_op.setPanel(Panel::Connection, QStringLiteral("Connected to ") + ip);
    m_op.setPanel(Panel::Version, ConnectionManager::versionPanelText(clicked));
    m_op.setPanel(Panel::Description, clicked.desc);
    if (ip.isEmpty()) {
        m_op.log(QStringLiteral("Invalid IP address"));
        return false;
    }
    const quint64 link = clicked.link;
    const bool ok = m_connections.Connect_or_timeout(5);
    const int now = m_units.findByLink(link);
    if (ok && now >= 0) {
        m_units.setConnectedIndex(now);
        return true;
    }
    m_op.setPanel(Panel::Connection, QStringLiteral("Failed to Connect to ") + ip);
    return false;
}

QString UnitSelection::menuConnectFailure(const QString &ip)
{
    return QStringLiteral("Failed to connect to ") + ip
           + QStringLiteral(" Try clicking on the description field to establish a connection then go to the setup "
                            "tab after you see the red check mark.");
}

bool UnitSelection::prepareMenuUnit(const QString &ip, bool isDisconnect, bool needsConnection)
{
    ScopedOperation operation(m_gate, m_op, QStringLiteral("Menu command for ") + ip);
    if (!operation.admitted())
        return false;
    if (m_units.findByIP(ip) < 0)
        return false;
    udppack *current = m_units.current();
    if (!isDisconnect && current && current->ip != ip && m_connections.isOpen(current)) {
        const QPointer<UnitClient> open = m_connections.existingClient(*current);
        open->close();
        wait::until([&] { return !open || !open->isOpen(); }, 1000 * 20);
        if (open && open->isOpen())
            return false;
    }
    const int index = m_units.findByIP(ip);
    if (index < 0)
        return false;
    udppack &unit = m_units.unit(index);
    m_units.setCurrent(&unit);
    if (!needsConnection || (unit.connected && m_connections.isOpen(&unit)))
        return true;
    if (m_connections.Connect_or_timeout(50))
        return true;
    m_op.error(menuConnectFailure(ip));
    return false;
}

void UnitSelection::disconnectUnit(const QString &ip)
{
    const int i = m_units.findByIP(ip);
    if (i < 0)
        return;
    if (UnitClient *c = m_connections.existingClient(m_units.unit(i)); c && c->isOpen())
        c->close();
}

} // namespace vork
