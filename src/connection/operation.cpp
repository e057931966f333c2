#include "connection/operation.h"

#include "connection/connectionmanager.h"
#include "core/operator.h"
#include "unit/unittable.h"

namespace vork {

QString OperationGate::refusalText(const QString &wanted, const QString &running)
{
    return wanted + QStringLiteral(" refused: ") + running + QStringLiteral(" is still running");
}

ScopedOperation::ScopedOperation(OperationGate &gate, Operator &op, const QString &name) : m_gate(gate)
{
    if (gate.busy()) {
        op.log(OperationGate::refusalText(name, gate.m_running));
        return;
    }
    m_admitted = true;
    gate.m_running = name;
    Q_EMIT gate.busyChanged(true);
}

ScopedOperation::~ScopedOperation()
{
    if (!m_admitted)
        return;
    m_gate.m_running.clear();
    Q_EMIT m_gate.busyChanged(false);
}

void ScopedOperation::hold(const udppack &unit, const ConnectionManager &connections)
{
    m_ip = unit.ip;
    m_mac = unit.mac;
    m_link = unit.link;
    m_serial = connections.connectionSerial(unit);
}

udppack *ScopedOperation::unit(UnitTable &units, const ConnectionManager &connections) const
{
    const int i = units.findByLink(m_link);
    if (i < 0)
        return nullptr;
    udppack &u = units.unit(i);
    if (u.ip != m_ip || u.mac != m_mac)
        return nullptr;
    if (m_serial != 0 && connections.connectionSerial(u) != m_serial)
        return nullptr;
    return &u;
}

} // namespace vork
