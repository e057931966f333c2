#pragma once

#include "connection/commands.h"
#include "setup/setuprecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
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

// The last checksum result a unit reported.
struct ChecksumResult
{
    std::uint32_t checksum = 0;
    std::uint32_t byteCount = 0;
    std::uint32_t location = 0;
    bool ramMatches() const { return location == 0x00FFFF; }
};

// The setup record last received, and where it came from.
struct ReceivedSetup
{
    QByteArray bytes;       // as received, up to 243 bytes
    QString ip;             // the unit that sent it
    quint64 connection = 0; // which connection of that unit
};

// One TCP connection per unit on its command port: opening with a reachability
// check and a bound, the acknowledgement wait every command uses, the read
// dispatcher that assembles and routes reply blocks, and closing.
class ConnectionManager : public QObject
{
    Q_OBJECT
public:
    // How long a reply block may take to arrive in full once its type byte came.
    static constexpr int blockAssemblyMs = 1000;
    // A setup record shorter than 243 bytes is taken as complete once the
    // stream has been quiet this long after the length its unit's version gives.
    static constexpr int shortSetupQuietMs = 150;

    using Ping = std::function<bool(const QString &host, int timeoutMs)>;
    // A block handler gets the unit (never null) and the block without its type byte.
    using BlockHandler = std::function<void(udppack &unit, const QByteArray &block)>;
    // Size of a block after its type byte; 0 = not known yet (wait for more bytes).
    using BlockSize = std::function<int(const udppack &unit, const QByteArray &soFar)>;

    ConnectionManager(Operator &op, UnitTable &units, ProtocolVariant &variant, Ping ping, QObject *parent = nullptr);
    ~ConnectionManager() override;

    // Opens the current unit's connection; true when connected.
    bool Connect_or_timeout(int timeoutMs);
    // Sends a command (or the history quit for '0', nothing for ' ') and waits for ACK.
    bool WaitForAck(QTcpSocket *socket, int timeoutSeconds, Command command);
    bool WaitForAck(QTcpSocket *socket, int timeoutSeconds, char command)
    {
        return WaitForAck(socket, timeoutSeconds, static_cast<Command>(command));
    }
    // Whether the last wait ended with NAK (rather than by time).
    bool lastWaitWasNak() const { return m_nak; }
    void flushbuffer(QTcpSocket *socket);
    // Sends 'C' and waits 1 s; without ACK closes the unit's socket.
    bool Exit_socket(udppack *unit);
    // Leaves the page's mode (through leaveMode), sends 'C' and closes the current unit's socket.
    void CloseSocket();
    void ResetBC(const udppack *unit);

    // A click on a unit's row: connect to it, or disconnect when it is the connected one.
    bool clickConnect(const QString &ip);

    // The unit of a pop-up menu command becomes current (another connected unit
    // is let go first, unless the command is Disconnect), and commands that need
    // a connection get one. False when the command must not run.
    bool prepareMenuUnit(const QString &ip, bool isDisconnect, bool needsConnection);
    static QString menuConnectFailure(const QString &ip);

    // Hooks a unit's client when its table entry is made.
    void attach(UnitClient *client);

    // Registers a reply block that a later feature reads (history, live records, photo eyes).
    void registerBlock(ReplyType type, BlockSize size, BlockHandler handler);

    bool flashInProgress = false;
    std::uint32_t undefinedBytes() const { return m_undefined; }
    QString lastConnectedIP() const { return m_lastConnectedIP; }
    const ChecksumResult &lastChecksum() const { return m_checksum; }
    void clearLastChecksum() { m_checksum = {}; }
    const ReceivedSetup &lastSetup() const { return m_lastSetup; }
    quint64 connectionSerial(const UnitClient *client) const;
    // The checksum was acknowledged: busy cursor until the result, at most a minute.
    void checksumRequested();
    static constexpr int checksumBusyMs = 60000;
    void setChecksumBusyLimit(int ms) { m_checksumBusyLimit = ms; }

    // Version bytes of the last 'V' block.
    const QByteArray &lastVersion() const { return m_version; }

    // What other pages tell the connection.
    std::function<bool()> historyPageShowing;
    std::function<bool()> historyExportDown;
    std::function<bool()> setupPageShowing;
    std::function<bool()> checksumValidationOpen;
    std::function<bool()> autoUpdateTabShowing;
    std::function<void()> historyAckCompletes;
    std::function<void()> historyErrorEndsRetrieval;
    std::function<void()> leaveMode;
    std::function<void(const QByteArray &record, int length)> setupReceived;
    std::function<void(const QDateTime &clock)> clockReceived;
    std::function<void(bool ramMatches)> checksumForValidation;

    static QString versionPanelText(const udppack &unit);
    static QString clockLabel(const QDateTime &t);

Q_SIGNALS:
    void connected(int index);
    void disconnected(int index);
    // Unit actions (upload, erase, reboot, checksum...) follow whether any unit is connected.
    void unitActionsEnabled(bool enabled);
    void unitChanged(int index);
    void checksumReady();

private:
    struct Assembly
    {
        std::uint8_t type = 0;
        int need = 0;
        int minimum = 0; // a shorter block is accepted once quiet (setup records)
        QByteArray bytes;
        QTimer *timer = nullptr;
        quint64 serial = 0;
    };

    void onConnected(UnitClient *client);
    void onDisconnected(UnitClient *client);
    void onError(UnitClient *client, int code);
    void dispatch(UnitClient *client);
    void redispatchPending();
    bool startBlock(Assembly &a, udppack &unit, std::uint8_t type);
    void finishBlock(UnitClient *client, udppack &unit, Assembly &a);
    void assemblyTimedOut(UnitClient *client);
    void handleBlock(udppack &unit, UnitClient *client, std::uint8_t type, const QByteArray &block);
    void receiveSetupData(udppack &unit, UnitClient *client, const QByteArray &block);
    void receiveTimeData(udppack &unit, const QByteArray &block);
    void receiveVersionData(udppack &unit, const QByteArray &block);
    void receiveInfo(udppack &unit, UnitClient *client, const QByteArray &block);
    void receiveCS(udppack &unit, const QByteArray &block);
    bool anyConnected() const;
    QString unitName(const udppack *unit) const;

    Operator &m_op;
    UnitTable &m_units;
    ProtocolVariant &m_variant;
    Ping m_ping;

    bool m_waitingForAck = false;
    bool m_ack = false;
    bool m_nak = false;
    bool m_connectFailed = false; // a socket error ends a running connect at its next check
    std::uint32_t m_undefined = 0;
    QString m_lastConnectedIP;
    ChecksumResult m_checksum;
    ReceivedSetup m_lastSetup;
    QByteArray m_version;
    bool m_checksumBusy = false;
    QTimer *m_checksumTimer = nullptr;
    int m_checksumBusyLimit = checksumBusyMs;
    QHash<UnitClient *, Assembly> m_assembly;
    QHash<UnitClient *, quint64> m_serials;
    quint64 m_nextSerial = 1;
    struct Registered
    {
        BlockSize size;
        BlockHandler handler;
    };
    QHash<std::uint8_t, Registered> m_registered;
};

} // namespace vork
