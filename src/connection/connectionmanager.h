#pragma once

#include "connection/commands.h"
#include "connection/replyrouter.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>

class QTcpSocket;
class QTimer;

namespace vork {

class Operator;
class ProtocolVariant;
class UnitClient;
class UnitTable;
struct udppack;

// How an acknowledgement wait ended.
enum class AckResult { Ack, Nak, TimedOut, Closed };

// How a wait for a unit's reply ended.
enum class ReplyWait { Done, TimedOut, Closed };

// One TCP connection per unit on its command port: opening with a reachability
// check and a bound, the acknowledgement wait every command uses, the read
// dispatcher that hands assembled reply blocks to their sinks, and closing.
class ConnectionManager : public QObject
{
    Q_OBJECT
public:
    using Ping = std::function<bool(const QString &host, int timeoutMs)>;

    ConnectionManager(Operator &op, UnitTable &units, ProtocolVariant &variant, Ping ping, QObject *parent = nullptr);
    ~ConnectionManager() override;

    ReplyRouter &replies() { return m_router; }

    // The unit's client, made on first use; null for a record outside the table.
    UnitClient *client(udppack &unit);
    UnitClient *existingClient(const udppack &unit) const;
    QTcpSocket *socket(udppack &unit);
    bool isOpen(const udppack *unit) const;
    // Which connection of the unit is open (changes on every connect), 0 when none.
    quint64 connectionSerial(const udppack &unit) const;

    // Opens the current unit's connection; true when connected.
    bool Connect_or_timeout(int timeoutMs);
    // Sends a command (the history quit for '0', nothing for ' ') and waits for ACK or NAK.
    AckResult WaitForAck(QTcpSocket *socket, int timeoutSeconds, Command command);
    AckResult WaitForAck(QTcpSocket *socket, int timeoutSeconds, char command)
    {
        return WaitForAck(socket, timeoutSeconds, static_cast<Command>(command));
    }
    // Waits until done() holds, the time is up, or the unit's connection closes.
    ReplyWait waitForReply(const udppack &unit, const std::function<bool()> &done, int timeoutMs);
    void flushbuffer(QTcpSocket *socket);
    // Before a command sent without WaitForAck: waits (bounded) until a link that missed an
    // answer is back in step, so a late answer is not taken for this command's.
    void settle(const udppack &unit);
    // Sends 'C' and waits 1 s; without ACK closes the unit's socket.
    bool Exit_socket(udppack *unit);
    // Leaves the page's mode (closingCurrent), sends 'C' and closes the current unit's socket.
    void CloseSocket();
    void ResetBC(const udppack *unit);

    // While held (counted), the read dispatcher leaves every unit's bytes to a caller that
    // reads its socket itself, as the flash transfer does line by line.
    void holdReads(bool hold);
    bool readsHeld() const { return m_readsHeld > 0; }

    std::uint32_t undefinedBytes() const { return m_undefined; }
    QString lastConnectedIP() const { return m_lastConnectedIP; }
    bool waitingForAck() const { return m_waitingForAck; }
    // How long a link must stay quiet after a wait gave up before the next command goes out.
    static constexpr int resyncQuietMs = 1000;
    static constexpr int resyncCapMs = 5000;

    static QString versionPanelText(const udppack &unit);
    // "connection lost" where a wait ended because the unit's connection closed.
    static QString lostText() { return QStringLiteral("connection lost"); }

Q_SIGNALS:
    void connected(int index);
    void disconnected(int index);
    // Unit actions (upload, erase, reboot, checksum...) follow whether any unit is connected.
    void unitActionsEnabled(bool enabled);
    void unitChanged(int index);
    // CloseSocket is about to close the current unit: the showing page leaves its mode now.
    void closingCurrent();
    // An ACK or NAK that arrived outside an acknowledgement wait.
    void acknowledged(int index);
    void refused(int index);
    // A socket error other than the unit closing its end.
    void socketFailed(int index, int code);
    // A reply block given up incomplete (silence, its cap, or the link closing under it):
    // its type, the bytes that did arrive after the type byte, and its size when known (0 if not).
    void blockDropped(int index, std::uint8_t type, const QByteArray &partial, int needed);

private:
    UnitClient *clientOf(QTcpSocket *socket) const;
    void tableAboutToClear();
    void dropClients();
    void onConnected(UnitClient *client);
    void onDisconnected(UnitClient *client);
    void onError(UnitClient *client, int code);
    void dispatch(UnitClient *client);
    void redispatchPending();
    void blockTimedOut(UnitClient *client);
    void dropBlock(UnitClient *client);
    // After a wait gave up, the link is out of step until it has been quiet for a while:
    // late acknowledgements and stray bytes then are discarded and logged, blocks still framed.
    void beginResync(UnitClient *client);
    bool resyncing(UnitClient *client);
    void discardStray(UnitClient *client, const QString &address, std::uint8_t byte);
    void awaitResync(UnitClient *client);
    void armBlockTimer(UnitClient *client);
    void deliver(UnitClient *client, udppack &unit, std::uint8_t type, const QByteArray &block);
    void logOversized(const udppack &unit, std::uint8_t type, int announced);
    bool anyConnected() const;

    Operator &m_op;
    UnitTable &m_units;
    ProtocolVariant &m_variant;
    Ping m_ping;
    ReplyRouter m_router;

    QHash<quint64, QPointer<UnitClient>> m_clients;
    QHash<quint64, QTimer *> m_blockTimers;
    struct Resync
    {
        QDeadlineTimer quiet; // restarted by every stray byte
        QDeadlineTimer cap;   // however noisy the link, it ends by then
    };
    QHash<quint64, Resync> m_resync;
    bool m_waitingForAck = false;
    int m_readsHeld = 0;
    bool m_connectFailed = false; // a socket error ends a running connect at its next check
    std::uint32_t m_undefined = 0;
    QString m_lastConnectedIP;
    quint64 m_nextSerial = 1;
};

} // namespace vork
