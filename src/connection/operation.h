#pragma once

#include <QObject>
#include <QString>

namespace vork {

class ConnectionManager;
class Operator;
class UnitTable;
struct udppack;

// One operation on the units at a time. While one runs, another is refused
// with a log line, and the window keeps its unit actions disabled.
class OperationGate : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    bool busy() const { return !m_running.isEmpty(); }
    QString running() const { return m_running; }
    static QString refusalText(const QString &wanted, const QString &running);

Q_SIGNALS:
    void busyChanged(bool busy);

private:
    friend class ScopedOperation;
    QString m_running;
};

// An operation for the length of a scope. It holds the unit it started on by
// address, MAC and connection, never by a pointer that a sort or a clear can
// move, and finds it again after every wait or question.
class ScopedOperation
{
public:
    ScopedOperation(OperationGate &gate, Operator &op, const QString &name);
    ~ScopedOperation();
    ScopedOperation(const ScopedOperation &) = delete;
    ScopedOperation &operator=(const ScopedOperation &) = delete;

    // False when another operation was running: this one must not go on.
    bool admitted() const { return m_admitted; }

    // Remembers the unit this operation works on, with its open connection.
    void hold(const udppack &unit, const ConnectionManager &connections);
    // The held unit, found again; null when it left the table or, for a unit that
    // was connected, when that connection is no longer the one it had.
    udppack *unit(UnitTable &units, const ConnectionManager &connections) const;
    QString heldAddress() const { return m_ip; }

private:
    OperationGate &m_gate;
    bool m_admitted = false;
    QString m_ip;
    QString m_mac;
    quint64 m_link = 0;
    quint64 m_serial = 0;
};

} // namespace vork
