#pragma once

#include <QString>

namespace vork {

class ConnectionManager;
class OperationGate;
class Operator;
class UnitTable;

// Making a unit current and connecting it: a click on its row, or a command of
// the unit list's pop-up menu.
class UnitSelection
{
public:
    UnitSelection(Operator &op, UnitTable &units, ConnectionManager &connections, OperationGate &gate);

    // A click on a unit's row: connect to it, or disconnect when it is the connected one.
    bool clickConnect(const QString &ip);

    // The unit of a pop-up menu command becomes current (another connected unit
    // is let go first, unless the command is Disconnect), and commands that need
    // a connection get one. False when the command must not run.
    bool prepareMenuUnit(const QString &ip, bool isDisconnect, bool needsConnection);
    // "Disconnect" of the pop-up menu: drops that unit's connection.
    void disconnectUnit(const QString &ip);
    static QString menuConnectFailure(const QString &ip);

private:
    Operator &m_op;
    UnitTable &m_units;
    ConnectionManager &m_connections;
    OperationGate &m_gate;
};

} // namespace vork
