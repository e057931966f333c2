#include "simcommandserver.h"

#include "simcommandshandler.h"
#include "simflashhandler.h"
#include "simhandler.h"
#include "simlisten.h"
#include "simhistoryhandler.h"
#include "simmonitorhandler.h"
#include "simsetuphandler.h"
#include "simunitserver.h"

#include "connection/commands.h"
#include "unit/bytecursor.h"
#include "unit/unitrules.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace vork::sim {

namespace {

constexpr auto historyQuitKey = SimHistoryHandler::quitKey;
constexpr int historyRequestSize = 4;
constexpr int historyDatedRequestSize = 10;

// The start date of a dated history request: century, year, month, day, hour, minute.
bool looksLikeStartDate(QByteArrayView b)
{
    const auto at = [&](int i) { return static_cast<std::uint8_t>(b[i]); };
    return b.size() >= 6 && at(0) >= 1 && at(0) <= 99 && at(1) <= 99 && at(2) >= 1 && at(2) <= 12 && at(3) >= 1
           && at(3) <= 31 && at(4) <= 23 && at(5) <= 59;
}

} // namespace

SimCommandServer::SimCommandServer(SimUnitServer &unit) : QObject(&unit), m_unit(unit)
{
    m_outTimer.setSingleShot(true);
    connect(&m_outTimer, &QTimer::timeout, this, &SimCommandServer::pumpOutput);
    m_dataTimer.setSingleShot(true);
    connect(&m_dataTimer, &QTimer::timeout, this, [this] {
        // The block never came whole: forget it, as a unit's receive timeout would.
        m_in.clear();
        m_dataHandler = nullptr;
        m_dataCommand = 0;
        m_dataSize = 0;
    });
    m_lingerTimer.setSingleShot(true);
    m_lingerTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_lingerTimer, &QTimer::timeout, this, &SimCommandServer::closeNow);

    addHandler(std::make_unique<SimCommandsHandler>());
    addHandler(std::make_unique<SimSetupHandler>());
    addHandler(std::make_unique<SimMonitorHandler>(*this));
    auto history = std::make_unique<SimHistoryHandler>(*this);
    m_history = history.get();
    addHandler(std::move(history));
    auto flash = std::make_unique<SimFlashHandler>();
    m_flash = flash.get();
    addHandler(std::move(flash));
}

SimCommandServer::~SimCommandServer()
{
    close();
}

void SimCommandServer::addHandler(std::unique_ptr<SimHandler> handler)
{
    if (handler)
        m_handlers.push_back(std::move(handler));
}

bool SimCommandServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    close();
    QTcpServer *server = listenIPv4(this, address, port, QStringLiteral("TCP"), error);
    if (!server)
        return false;
    m_server = server;
    connect(server, &QTcpServer::newConnection, this, &SimCommandServer::acceptPending);
    return true;
}

void SimCommandServer::close()
{
    dropClient();
    if (m_server) {
        m_server->disconnect(this);
        m_server->close();
        m_server->deleteLater();
        m_server.clear();
    }
}

bool SimCommandServer::isListening() const
{
    return m_server && m_server->isListening();
}

quint16 SimCommandServer::serverPort() const
{
    return m_server ? m_server->serverPort() : 0;
}

bool SimCommandServer::hasClient() const
{
    return !m_client.isNull();
}

void SimCommandServer::clearRecorded()
{
    m_received.clear();
    m_sent.clear();
    m_commands.clear();
    m_authCount = 0;
    m_refused = 0;
}

void SimCommandServer::acceptPending()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket *socket = m_server->nextPendingConnection();
        if (!socket)
            return;
        const QString peer = QHostAddress(socket->peerAddress().toIPv4Address()).toString();
        const quint16 peerPort = socket->peerPort();
        if (m_client) {
            // The port is held: the newcomer is turned away at once.
            ++m_refused;
            socket->abort();
            socket->deleteLater();
            Q_EMIT clientRefused(peer, peerPort);
            continue;
        }
        m_client = socket;
        resetConnection();
        m_loggedIn = !loginRequired(m_unit.unit().record(m_unit.clock(), m_unit.runTime()));
        connect(socket, &QTcpSocket::readyRead, this, &SimCommandServer::readClient);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket == m_client)
                clientGone();
        });
        Q_EMIT clientConnected(peer, peerPort);
    }
}

void SimCommandServer::dropClient()
{
    QTcpSocket *socket = m_client;
    if (!socket)
        return;
    socket->abort();
    if (socket == m_client)
        clientGone();
}

void SimCommandServer::clientGone()
{
    QTcpSocket *socket = m_client;
    m_client.clear();
    if (socket) {
        socket->disconnect(this);
        socket->deleteLater();
    }
    resetConnection();
    Q_EMIT clientDisconnected();
}

void SimCommandServer::resetConnection()
{
    m_in.clear();
    m_out.clear();
    m_late.clear();
    m_outTimer.stop();
    m_dataTimer.stop();
    m_lingerTimer.stop();
    m_closing = false;
    m_dataHandler = nullptr;
    m_dataCommand = 0;
    m_dataSize = 0;
    m_sentOnConnection = 0;
    m_authTail.clear();
    m_loggedIn = true;
    setMode(Mode::CommandLevel);
}

void SimCommandServer::readClient()
{
    if (!m_client)
        return;
    const QByteArray bytes = m_client->readAll();
    if (bytes.isEmpty())
        return;
    appendBounded(m_received, bytes);
    countAuthentication(bytes);
    Q_EMIT bytesReceived(bytes);
    const qsizetype room = std::max<qsizetype>(0, maxPendingInput - m_in.size());
    m_in.append(bytes.left(room));
    process();
}

void SimCommandServer::countAuthentication(const QByteArray &bytes)
{
    const QByteArray text = authenticationText();
    const QByteArray hay = m_authTail + bytes;
    // The tail is shorter than the text, so every match found here is a new one.
    for (qsizetype at = hay.indexOf(text); at >= 0; at = hay.indexOf(text, at + text.size()))
        ++m_authCount;
    m_authTail = hay.right(text.size() - 1);
}

void SimCommandServer::process()
{
    if (m_processing)
        return;
    m_processing = true;
    qsizetype pos = 0;
    // Every step consumes at least one byte or stops, so the buffer's size bounds the loop.
    while (m_client && !m_closing && m_out.isEmpty() && pos < m_in.size()) {
        qsizetype used = 0;
        if (!m_loggedIn)
            used = stepLogin(pos);
        else if (m_dataCommand != 0)
            used = stepData(pos);
        else if (m_mode == Mode::History)
            used = stepHistory(pos);
        else if (m_mode == Mode::Flash)
            used = stepFlash(pos);
        else
            used = stepCommand(pos);
        if (used <= 0)
            break;
        pos += used;
    }
    // A dropped connection has already emptied the buffer.
    m_in.remove(0, std::min(pos, m_in.size()));
    if (m_client && m_dataCommand != 0 && !m_dataTimer.isActive())
        m_dataTimer.start(dataTimeoutMs);
    m_processing = false;
}

qsizetype SimCommandServer::stepLogin(qsizetype pos)
{
    const QByteArray text = authenticationText();
    const qsizetype at = m_in.indexOf(text, pos);
    if (at < 0) {
        // Ignored, except what may be the start of the text.
        const qsizetype ignored = m_in.size() - pos - (text.size() - 1);
        return std::max<qsizetype>(0, ignored);
    }
    m_loggedIn = true;
    Q_EMIT authenticated();
    return at - pos + text.size();
}

qsizetype SimCommandServer::stepData(qsizetype pos)
{
    if (m_in.size() - pos < m_dataSize)
        return 0;
    const qsizetype size = m_dataSize;
    m_dataTimer.stop();
    finishData(m_in.mid(pos, size));
    return size;
}

qsizetype SimCommandServer::stepHistory(qsizetype pos)
{
    const QByteArrayView rest = QByteArrayView(m_in).sliced(pos);
    if (rest.size() >= historyRequestSize && rest.first(historyRequestSize) == historyQuitBytes()) {
        execute(historyQuitKey);
        return historyRequestSize;
    }
    if (rest.size() == 1 && rest[0] == static_cast<char>(Command::Quit)) {
        execute(static_cast<std::uint8_t>(Command::Quit)); // abort of a running retrieval
        return 1;
    }
    if (rest.size() < historyRequestSize)
        return 0;
    // A request: four bytes, ten when a start date follows.
    const qsizetype size =
        rest.size() >= historyDatedRequestSize && looksLikeStartDate(rest.sliced(historyRequestSize))
            ? historyDatedRequestSize
            : historyRequestSize;
    const QByteArray request = rest.first(size).toByteArray();
    record(static_cast<std::uint8_t>(request[0]), Answer::None, request);
    if (m_history)
        m_history->request(request);
    return size;
}

qsizetype SimCommandServer::stepFlash(qsizetype pos)
{
    if (!m_flash)
        return 1;
    SimHandlerPort port(*this);
    return m_flash->step(port, QByteArrayView(m_in).sliced(pos));
}

qsizetype SimCommandServer::stepCommand(qsizetype pos)
{
    // A unit without login takes the login text for what it is, not for its letters
    // (its 'B' would start a boot-loader flash).
    if (QByteArrayView(m_in).sliced(pos).startsWith(authenticationText()))
        return authenticationText().size();
    const auto byte = static_cast<std::uint8_t>(m_in.at(pos));
    if (handlerFor(byte))
        execute(byte);
    return 1;
}

SimHandler *SimCommandServer::handlerFor(std::uint8_t byte) const
{
    for (const auto &h : m_handlers) {
        if (h->knows(m_mode, byte))
            return h.get();
    }
    return nullptr;
}

void SimCommandServer::execute(std::uint8_t byte)
{
    SimHandler *handler = handlerFor(byte);
    if (!handler)
        return;
    const SimCommandFaults &f = m_unit.unit().commandFaults;
    if (f.silentCommands.contains(static_cast<char>(byte))) {
        record(byte, Answer::None);
        return;
    }
    if (f.nakCommands.contains(static_cast<char>(byte))) {
        record(byte, Answer::Nak);
        answer(NAK);
        return;
    }
    if (const int size = handler->dataSize(m_mode, byte); size > 0) {
        // Acknowledged first; the block is read next and acknowledged once whole.
        record(byte, Answer::Ack);
        answer(ACK);
        m_dataHandler = handler;
        m_dataCommand = byte;
        m_dataSize = size;
        return;
    }
    SimHandlerPort port(*this);
    handler->execute(port, byte);
}

void SimCommandServer::finishData(const QByteArray &data)
{
    const std::uint8_t command = m_dataCommand;
    SimHandler *handler = m_dataHandler;
    m_dataHandler = nullptr;
    m_dataCommand = 0;
    m_dataSize = 0;
    for (auto it = m_commands.rbegin(); it != m_commands.rend(); ++it) {
        if (it->byte == command) {
            it->data = data;
            break;
        }
    }
    if (m_unit.unit().commandFaults.unconfirmedData.contains(static_cast<char>(command)))
        return;
    if (handler) {
        SimHandlerPort port(*this);
        handler->finishData(port, command, data);
    }
    answer(ACK);
}

void SimCommandServer::answer(std::uint8_t ackOrNak, After after, const QByteArray &lateBlock)
{
    const SimCommandFaults &f = m_unit.unit().commandFaults;
    m_out.append({f.strayBytes + QByteArray(1, static_cast<char>(ackOrNak)), std::max(0, f.delayMs), after, lateBlock});
    pumpOutput();
}

void SimCommandServer::answerWithBlock(const QByteArray &block, int blockDelayMs)
{
    if (m_unit.unit().commandFaults.lateBlockMs > 0) {
        // The block leaves the queue: later commands are answered while it waits.
        answer(ACK, After::Nothing, block);
        return;
    }
    answer(ACK);
    queueBlock(block, blockDelayMs);
}

QList<SimCommandServer::Chunk> SimCommandServer::blockChunks(const QByteArray &block, int delayMs) const
{
    const SimCommandFaults &f = m_unit.unit().commandFaults;
    QList<Chunk> chunks;
    if (f.trickleMs > 0) {
        for (qsizetype i = 0; i < block.size(); ++i)
            chunks.append({block.mid(i, 1), i == 0 ? delayMs : f.trickleMs, After::Nothing, {}});
    } else if (f.trickleRate > 0) {
        const qsizetype piece = qMax<qsizetype>(1, f.trickleRate / (1000 / trickleRatePieceMs));
        for (qsizetype i = 0; i < block.size(); i += piece)
            chunks.append({block.mid(i, piece), i == 0 ? delayMs : trickleRatePieceMs, After::Nothing, {}});
    } else if (f.splitReplies && block.size() >= 2) {
        const qsizetype half = block.size() / 2;
        chunks.append({block.left(half), delayMs, After::Nothing, {}});
        chunks.append({block.mid(half), splitGapMs, After::Nothing, {}});
    } else {
        chunks.append({block, delayMs, After::Nothing, {}});
    }
    return chunks;
}

void SimCommandServer::queueBlock(const QByteArray &block, int delayMs)
{
    m_out.append(blockChunks(block, delayMs));
    pumpOutput();
}

void SimCommandServer::queue(const QByteArray &bytes, int delayMs, After after)
{
    m_out.append({bytes, delayMs, after, {}});
    pumpOutput();
}

void SimCommandServer::pumpOutput()
{
    if (m_outTimer.isActive())
        return;
    while (!m_out.isEmpty()) {
        if (!m_client) {
            m_out.clear();
            return;
        }
        if (m_out.first().delayMs > 0) {
            m_outTimer.start(m_out.first().delayMs);
            m_out.first().delayMs = 0;
            return;
        }
        writeNow(m_out.takeFirst());
    }
    // Answers are out: the unit reads its next command.
    if (!m_processing && m_client)
        process();
}

void SimCommandServer::startLate(const QByteArray &block)
{
    const int id = m_nextLate++;
    m_late.insert(id, blockChunks(block, std::max(0, m_unit.unit().commandFaults.lateBlockMs)));
    pumpLate(id);
}

void SimCommandServer::pumpLate(int id)
{
    // Bounded by the chunks of this block; writing may end the connection and every late block with it.
    for (auto it = m_late.find(id); it != m_late.end() && !it->isEmpty(); it = m_late.find(id)) {
        if (!m_client) {
            m_late.clear();
            return;
        }
        if (it->first().delayMs > 0) {
            const int delay = it->first().delayMs;
            it->first().delayMs = 0;
            QTimer::singleShot(delay, this, [this, id] { pumpLate(id); });
            return;
        }
        const Chunk chunk = it->takeFirst();
        writeNow(chunk);
    }
    m_late.remove(id);
}

void SimCommandServer::writeNow(const Chunk &chunk)
{
    if (!m_client)
        return;
    QByteArray bytes = chunk.bytes;
    bool drop = false;
    const int dropAfter = m_unit.unit().commandFaults.dropAfterBytes;
    if (dropAfter > 0 && m_sentOnConnection + bytes.size() >= dropAfter) {
        bytes.truncate(std::max<qint64>(0, dropAfter - m_sentOnConnection));
        drop = true;
    }
    if (!bytes.isEmpty()) {
        m_client->write(bytes);
        m_sentOnConnection += bytes.size();
        appendBounded(m_sent, bytes);
        Q_EMIT bytesSent(bytes);
    }
    if (drop) {
        closeNow();
        return;
    }
    if (!chunk.lateBlock.isEmpty())
        startLate(chunk.lateBlock);
    if (chunk.after == After::Close) {
        m_out.clear();
        const int linger = m_unit.unit().commandFaults.closeLingerMs;
        if (linger > 0) {
            // Open a while longer, so late blocks still arrive; no more commands are taken.
            m_closing = true;
            m_lingerTimer.start(linger);
            return;
        }
        closeNow();
        return;
    }
    if (chunk.after == After::Reboot) {
        // An answer that goes before the restart reaches the client before the port closes.
        if (m_client)
            m_client->flush();
        m_out.clear();
        Q_EMIT rebootRequested();
    }
}

void SimCommandServer::closeNow()
{
    m_out.clear();
    m_late.clear();
    // What was written still reaches the client before the close.
    if (m_client)
        m_client->disconnectFromHost();
}

bool SimCommandServer::pushBytes(const QByteArray &bytes)
{
    if (!m_client)
        return false;
    queue(bytes, 0);
    return true;
}

bool SimCommandServer::pushBlock(const QByteArray &block)
{
    if (!m_client)
        return false;
    queueBlock(block, 0);
    return true;
}

bool SimCommandServer::pushBytesAndClose(const QByteArray &bytes)
{
    if (!m_client)
        return false;
    queue(bytes, 0, After::Close);
    return true;
}

bool SimCommandServer::pushVersionBlock()
{
    if (!m_client)
        return false;
    const SimUnit &u = m_unit.unit();
    QByteArray block(1, static_cast<char>(ReplyType::Version));
    ByteWriter w(block);
    for (std::uint8_t d : u.version)
        w.u8(d);
    for (std::uint8_t d : u.build)
        w.u8(d);
    w.u8(u.readers);
    queueBlock(block, 0);
    return true;
}

bool SimCommandServer::pushInfoBlock()
{
    if (!m_client)
        return false;
    QByteArray block(1, static_cast<char>(ReplyType::Info));
    block += m_unit.fullAnnouncement();
    queueBlock(block, 0);
    return true;
}

void SimCommandServer::record(std::uint8_t byte, Answer answer, const QByteArray &data)
{
    if (m_commands.size() >= maxRecordedCommands)
        m_commands.removeFirst();
    m_commands.append({byte, m_mode, answer, data});
    Q_EMIT commandHandled(byte, answer);
}

void SimCommandServer::setMode(Mode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    Q_EMIT modeChanged(mode);
}

void SimCommandServer::appendBounded(QByteArray &log, const QByteArray &bytes)
{
    log.append(bytes);
    if (log.size() > maxRecordedBytes)
        log.remove(0, log.size() - maxRecordedBytes);
}

SimUnitServer &SimHandlerPort::unit() const
{
    return m_server.m_unit;
}

SimHandlerPort::Mode SimHandlerPort::mode() const
{
    return m_server.m_mode;
}

const SimCommandFaults &SimHandlerPort::faults() const
{
    return m_server.m_unit.unit().commandFaults;
}

void SimHandlerPort::setMode(Mode mode)
{
    m_server.setMode(mode);
}

void SimHandlerPort::ack(std::uint8_t byte)
{
    m_server.record(byte, SimCommandServer::Answer::Ack);
    m_server.answer(ACK);
}

void SimHandlerPort::nak(std::uint8_t byte)
{
    m_server.record(byte, SimCommandServer::Answer::Nak);
    m_server.answer(NAK);
}

void SimHandlerPort::ignore(std::uint8_t byte)
{
    m_server.record(byte, SimCommandServer::Answer::None);
}

void SimHandlerPort::ackWithBlock(std::uint8_t byte, const QByteArray &block, int blockDelayMs)
{
    m_server.record(byte, SimCommandServer::Answer::Ack);
    m_server.answerWithBlock(block, blockDelayMs);
}

void SimHandlerPort::ackAndClose(std::uint8_t byte)
{
    m_server.record(byte, SimCommandServer::Answer::Ack);
    m_server.answer(ACK, SimCommandServer::After::Close);
}

void SimHandlerPort::reboot(std::uint8_t byte)
{
    m_server.record(byte, SimCommandServer::Answer::None);
    m_server.queue({}, 0, SimCommandServer::After::Reboot);
}

void SimHandlerPort::ackAfter(std::uint8_t byte, int delayMs)
{
    m_server.record(byte, SimCommandServer::Answer::Ack);
    m_server.queue(QByteArray(1, static_cast<char>(ACK)), std::max(0, delayMs));
}

void SimHandlerPort::answerByte(std::uint8_t answer)
{
    m_server.queue(QByteArray(1, static_cast<char>(answer)), 0);
}

void SimHandlerPort::answerAndReboot(std::uint8_t answer)
{
    m_server.queue(QByteArray(1, static_cast<char>(answer)), 0, SimCommandServer::After::Reboot);
}

void SimHandlerPort::drop()
{
    m_server.dropClient();
}

} // namespace vork::sim
