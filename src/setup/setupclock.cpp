#include "setup/setupclock.h"

#include "connection/commandreplies.h"
#include "connection/connectionmanager.h"
#include "connection/operation.h"
#include "core/operator.h"
#include "services/unitservices.h"
#include "unit/announcement.h"
#include "unit/unittable.h"

#include <QTcpSocket>

namespace vork {

namespace {
constexpr int firstYear = 100;  // century 1
constexpr int lastYear = 9898;  // century 98, year 98
} // namespace

bool SetupClock::read()
{
    Operator &op = m_services.op();
    ConnectionManager &connections = m_services.connections();
    op.tone(Tone::Button);
    ScopedOperation operation(m_services.operations(), op, QStringLiteral("Clock"));
    udppack *unit = m_services.units().current();
    if (!operation.admitted() || !unit || !connections.isOpen(unit))
        return false;
    op.log(QStringLiteral("Sent T Command to Vork Unit ") + unit->ip);
    if (connections.WaitForAck(connections.socket(*unit), ackSeconds, Command::ClockRead) != AckResult::Ack) {
        op.tone(Tone::Error);
        return false;
    }
    return true;
}

bool SetupClock::set(const QDateTime &t)
{
    Operator &op = m_services.op();
    ConnectionManager &connections = m_services.connections();
    UnitTable &units = m_services.units();
    op.tone(Tone::Button);
    // The pickers are checked before anything goes: the unit's clock holds years of its own range only.
    if (!t.isValid() || t.date().year() < firstYear || t.date().year() > lastYear) {
        op.tone(Tone::Error);
        return false;
    }
    ScopedOperation operation(m_services.operations(), op, QStringLiteral("Clock"));
    udppack *unit = units.current();
    if (!operation.admitted() || !unit || !connections.isOpen(unit))
        return false;
    operation.hold(*unit, connections);
    const QString address = unit->ip;
    op.log(QStringLiteral("Sent t Command to Vork Unit ") + address);
    if (connections.WaitForAck(connections.socket(*unit), ackSeconds, Command::ClockSet) != AckResult::Ack) {
        op.tone(Tone::Error);
        return false;
    }
    unit = operation.unit(units, connections);
    QTcpSocket *socket = unit ? connections.socket(*unit) : nullptr;
    if (!socket || socket->state() != QAbstractSocket::ConnectedState) {
        op.tone(Tone::Error);
        return false;
    }
    QByteArray bytes;
    writeDtpack(bytes, dtpackFromDateTime(t));
    socket->write(bytes);
    op.log(QStringLiteral("Sent Updated Time Data to ") + address);
    if (connections.WaitForAck(socket, ackSeconds, Command::NoCommand) != AckResult::Ack) {
        op.tone(Tone::Error);
        return false;
    }
    op.log(QStringLiteral("Vork Unit ") + address + QStringLiteral(" Date/Time set to \"") + CommandReplies::clockLabel(t)
           + QLatin1Char('"'));
    return true;
}

} // namespace vork
