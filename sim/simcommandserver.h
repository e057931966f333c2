#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <QHash>

#include <cstdint>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace vork::sim {

class SimUnitServer;
class SimHandler;
class SimHandlerPort;
class SimFlashHandler;
class SimHistoryHandler;

// One unit's TCP command port: one client at a time, the login, the unit's
// modes, the data phase after a command, and the answers in order, shaped by
// the fault switches. What each command does is up to the handlers registered
// with it, one per unit subsystem (SimHandler). The unit's identity, clock,
// setup record and fault switches live in its SimUnitServer.
class SimCommandServer : public QObject
{
    Q_OBJECT
public:
    enum class Mode { CommandLevel, Monitor, History, Setup, Flash };
    Q_ENUM(Mode)
    enum class Answer { Ack, Nak, None };
    Q_ENUM(Answer)

    // A command the unit recognised in its mode, what it answered first, and the
    // data block that came with it (a history request keeps its bytes here too).
    struct HandledCommand
    {
        std::uint8_t byte = 0; // '0' for the history quit, the flags byte for a history request
        Mode mode = Mode::CommandLevel;
        Answer answer = Answer::None;
        QByteArray data;
    };

    static constexpr int maxRecordedBytes = 1 << 20;
    static constexpr int maxRecordedCommands = 4096;
    // Bytes waiting to be handled; beyond this a flood is cut, never buffered without end.
    static constexpr int maxPendingInput = 64 * 1024;
    // A data block that has not fully arrived by then is dropped without an answer.
    static constexpr int dataTimeoutMs = 5000;
    // Gap between the two halves of a split reply block.
    static constexpr int splitGapMs = 30;
    static constexpr int trickleRatePieceMs = 10;

    // Comes with the handlers of every subsystem simulated so far.
    explicit SimCommandServer(SimUnitServer &unit);
    ~SimCommandServer() override;

    // Asked after the ones already there.
    void addHandler(std::unique_ptr<SimHandler> handler);

    bool listen(const QHostAddress &address, quint16 port, QString *error = nullptr);
    // Closes the listener and drops the client.
    void close();
    bool isListening() const;
    quint16 serverPort() const;

    bool hasClient() const;
    SimUnitServer &unit() const { return m_unit; }
    Mode mode() const { return m_mode; }
    // Whether the current client may give commands (always true for units without login).
    bool loggedIn() const { return m_loggedIn; }
    // Times the authentication text arrived, over every connection since the last clear.
    int authenticationCount() const { return m_authCount; }
    int refusedCount() const { return m_refused; }

    // Every byte received and sent on the port, across connections (the oldest make room).
    const QByteArray &received() const { return m_received; }
    const QByteArray &sent() const { return m_sent; }
    const QList<HandledCommand> &commands() const { return m_commands; }
    void clearRecorded();

    // Unsolicited blocks for the utility's tests; false without a client.
    bool pushBytes(const QByteArray &bytes);
    // A reply block shaped by the split and trickle faults, like any block after an ACK.
    bool pushBlock(const QByteArray &block);
    // The bytes, then the unit closes the connection.
    bool pushBytesAndClose(const QByteArray &bytes);
    // Answers still queued for the client.
    bool outputPending() const { return !m_out.isEmpty(); }
    bool pushVersionBlock();
    bool pushInfoBlock();
    // Drops the client as a lost link would.
    void dropClient();

Q_SIGNALS:
    void clientConnected(const QString &peer, quint16 peerPort);
    void clientDisconnected();
    void clientRefused(const QString &peer, quint16 peerPort);
    void bytesReceived(const QByteArray &bytes);
    void bytesSent(const QByteArray &bytes);
    void authenticated();
    void modeChanged(vork::sim::SimCommandServer::Mode mode);
    void commandHandled(quint8 byte, vork::sim::SimCommandServer::Answer answer);
    // The reboot command was carried out: the unit is about to go silent.
    void rebootRequested();

private:
    friend class SimHandlerPort;

    enum class After { Nothing, Close, Reboot };
    struct Chunk
    {
        QByteArray bytes;
        int delayMs = 0;
        After after = After::Nothing;
        QByteArray lateBlock; // goes out on a timer of its own once this chunk is written
    };

    void acceptPending();
    void readClient();
    void clientGone();
    void resetConnection();

    // Handles buffered input until it runs out or an answer is on its way.
    void process();
    // Each returns the bytes consumed from m_in at pos, or 0 when more are needed.
    qsizetype stepLogin(qsizetype pos);
    qsizetype stepData(qsizetype pos);
    qsizetype stepHistory(qsizetype pos);
    qsizetype stepFlash(qsizetype pos);
    qsizetype stepCommand(qsizetype pos);
    SimHandler *handlerFor(std::uint8_t byte) const;
    void execute(std::uint8_t byte);
    void finishData(const QByteArray &data);

    // Answers go out in order; the fault switches shape them here.
    void answer(std::uint8_t ackOrNak, After after = After::Nothing, const QByteArray &lateBlock = {});
    void answerWithBlock(const QByteArray &block, int blockDelayMs = 0);
    QList<Chunk> blockChunks(const QByteArray &block, int delayMs) const;
    void queueBlock(const QByteArray &block, int delayMs);
    void queue(const QByteArray &bytes, int delayMs, After after = After::Nothing);
    void pumpOutput();
    void startLate(const QByteArray &block);
    void pumpLate(int id);
    void writeNow(const Chunk &chunk);
    void closeNow();

    void record(std::uint8_t byte, Answer answer, const QByteArray &data = {});
    void setMode(Mode mode);
    void countAuthentication(const QByteArray &bytes);
    static void appendBounded(QByteArray &log, const QByteArray &bytes);

    SimUnitServer &m_unit;
    QPointer<QTcpServer> m_server;
    QPointer<QTcpSocket> m_client;
    QTimer m_outTimer;
    QTimer m_dataTimer;
    QTimer m_lingerTimer;
    std::vector<std::unique_ptr<SimHandler>> m_handlers;
    SimHistoryHandler *m_history = nullptr; // one of m_handlers: takes the history requests
    SimFlashHandler *m_flash = nullptr;     // one of m_handlers: takes the image lines

    Mode m_mode = Mode::CommandLevel;
    bool m_loggedIn = true;
    bool m_processing = false;
    bool m_closing = false; // the close command is acknowledged: no more commands are read
    QByteArray m_in;
    QList<Chunk> m_out;
    // Late blocks, each on its own timer; ids are never reused, so a stale timer finds nothing.
    QHash<int, QList<Chunk>> m_late;
    int m_nextLate = 0;
    SimHandler *m_dataHandler = nullptr;
    std::uint8_t m_dataCommand = 0; // 'D', 't' or 'f' while its data block is awaited
    int m_dataSize = 0;
    qint64 m_sentOnConnection = 0;
    QByteArray m_authTail; // last bytes of the previous read, for a text split over two reads

    QByteArray m_received;
    QByteArray m_sent;
    QList<HandledCommand> m_commands;
    int m_authCount = 0;
    int m_refused = 0;
};

} // namespace vork::sim
