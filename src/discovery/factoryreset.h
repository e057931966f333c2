#pragma once

#include "core/ports.h"

#include <QObject>
#include <QString>

#include <functional>

class QTcpSocket;

namespace vork {

class DiscoveryCycle;
class Operator;
class TBroadcast;
class UnitTable;
struct udppack;

// Waits for one byte on a socket that nobody else reads: true when the first
// byte to come is the acknowledgement; bytes left from earlier replies are
// dropped before the command goes out.
bool sendAndAwaitAck(QTcpSocket &socket, char command, int turns, int turnMs);

// "Reset specified unit to factory defaults": by address over TCP (setup mode,
// erase the setup, reboot) or by MAC with the UDP request, whose answer the
// discovery receive path reports.
class FactoryReset : public QObject
{
    Q_OBJECT
public:
    enum class Result { Cancelled, Invalid, NotFound, ConnectFailed, Stopped, Restored, Requested };
    static constexpr int pingTurns = 50;
    static constexpr int pingTimeoutMs = 50;
    static constexpr int pingGapMs = 20;
    static constexpr int ackTurns = 10;
    static constexpr int ackTurnMs = 10;
    static constexpr int connectMs = 3000;

    FactoryReset(Operator &op, TBroadcast &transport, DiscoveryCycle &cycle, QObject *parent = nullptr);

    std::function<bool(const QString &host, int timeoutMs)> ping;
    quint16 port = commandPort;
    // Where the UDP request goes; only tests on loopback change it.
    QString udpDestination = QStringLiteral("255.255.255.255");

    // The operator's whole flow: address input box, or on Cancel the MAC input box.
    Result run();
    // The TCP path for an address that passed the check.
    Result resetByAddress(const QString &address);
    // The UDP path for a MAC text; Invalid when it is no Vork MAC.
    Result resetByMac(const QString &text);

    // Exactly 12 hexadecimal characters starting with "0050".
    static bool validMacText(const QString &text);
    static QString restoredText(const QString &address);

Q_SIGNALS:
    // The ping field of the "Discover " tab: the remaining count, empty when done.
    void pingCountChanged(const QString &text);

private:
    Operator &m_op;
    TBroadcast &m_transport;
    DiscoveryCycle &m_cycle;
    QString m_target; // the unit being reset over TCP
};

// "Connect && Reboot" on the "Manual " tab: reboots the unit at a typed
// address over a connection of its own, closing the current unit's first.
// The current unit's record is left as it is.
class ConnectAndReboot : public QObject
{
    Q_OBJECT
public:
    enum class Result { NoUnit, Invalid, CloseFailed, Rebooted, ConnectFailed };

    ConnectAndReboot(Operator &op, UnitTable &units, QObject *parent = nullptr);

    // The current unit's socket while its connection is open, else null.
    std::function<QTcpSocket *()> currentSocket;
    // What the borrowed client sends on connecting for the current unit (its login, when it needs one).
    std::function<QByteArray(const udppack &current)> greeting;
    quint16 port = commandPort;
    int turns = 6;
    int turnMs = 1000;

    Result run(const QString &address);

private:
    Operator &m_op;
    UnitTable &m_units;
};

} // namespace vork
