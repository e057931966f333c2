#include "simcommandserver.h"

#include "simunitserver.h"

#include "connection/commands.h"
#include "unit/announcement.h"
#include "unit/bytecursor.h"
#include "unit/unitrules.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace vork::sim {

namespace {

constexpr auto historyQuitKey = static_cast<std::uint8_t>(Command::HistoryQuit);
constexpr int historyRequestSize = 4;
constexpr int historyDatedRequestSize = 10;
constexpr int forceReadDataSize = 3;

constexpr char cmd(Command c)
{
    return static_cast<char>(c);
}

// Command bytes each mode acts on; anything else is ignored there.
QByteArrayView vocabulary(SimCommandServer::Mode mode)
{
    using M = SimCommandServer::Mode;
    static const char commandLevel[] = {cmd(Command::Monitor), cmd(Command::History), cmd(Command::Setup),
                                        cmd(Command::Checksum), cmd(Command::Close), cmd(Command::Reboot),
                                        cmd(Command::FlashAbort)};
    // Close and reboot are taken in every mode but history: "Boot" on the setup page reboots from setup mode.
    static const char monitor[] = {cmd(Command::Quit), cmd(Command::ForceRead), cmd(Command::PhotoEyesOnce),
                                   cmd(Command::PhotoEyesContinuous), cmd(Command::PhotoEyesStop),
                                   cmd(Command::Close), cmd(Command::Reboot)};
    static const char setup[] = {cmd(Command::SetupUpload), cmd(Command::SetupDownload), cmd(Command::ClockRead),
                                 cmd(Command::ClockSet), cmd(Command::EraseSetup), cmd(Command::EraseHistory),
                                 cmd(Command::ErasePersistent), cmd(Command::Quit), cmd(Command::Close),
                                 cmd(Command::Reboot)};
    switch (mode) {
    case M::CommandLevel: return QByteArrayView(commandLevel, sizeof commandLevel);
    case M::Monitor: return QByteArrayView(monitor, sizeof monitor);
    case M::Setup: return QByteArrayView(setup, sizeof setup);
    case M::History: break;
    }
    return {};
}

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
        m_dataCommand = 0;
        m_dataSize = 0;
    });
}

SimCommandServer::~SimCommandServer()
{
    close();
}

bool SimCommandServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    close();
    auto *server = new QTcpServer(this);
    if (address.protocol() != QAbstractSocket::IPv4Protocol || !server->listen(address, port)) {
        if (error) {
            *error = QStringLiteral("cannot listen on TCP ") + address.toString() + QLatin1Char(':')
                     + QString::number(port) + QStringLiteral(": ") + server->errorString();
        }
        delete server;
        return false;
    }
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
    m_outTimer.stop();
    m_dataTimer.stop();
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
    while (m_client && m_out.isEmpty() && pos < m_in.size()) {
        qsizetype used = 0;
        if (!m_loggedIn)
            used = stepLogin(pos);
        else if (m_dataCommand != 0)
            used = stepData(pos);
        else if (m_mode == Mode::History)
            used = stepHistory(pos);
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
    if (rest.size() == 1 && rest[0] == cmd(Command::Quit)) {
        execute(static_cast<std::uint8_t>(Command::Quit)); // abort of a running retrieval
        return 1;
    }
    if (rest.size() < historyRequestSize)
        return 0;
    // A request: four bytes, ten when a start date follows. Records come with the history work.
    const qsizetype size =
        rest.size() >= historyDatedRequestSize && looksLikeStartDate(rest.sliced(historyRequestSize))
            ? historyDatedRequestSize
            : historyRequestSize;
    record(static_cast<std::uint8_t>(rest[0]), Answer::None, rest.first(size).toByteArray());
    return size;
}

qsizetype SimCommandServer::stepCommand(qsizetype pos)
{
    const auto byte = static_cast<std::uint8_t>(m_in.at(pos));
    if (known(byte))
        execute(byte);
    return 1;
}

bool SimCommandServer::known(std::uint8_t byte) const
{
    return vocabulary(m_mode).contains(static_cast<char>(byte));
}

void SimCommandServer::execute(std::uint8_t byte)
{
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

    const auto ack = [this, byte](After after = After::Nothing) {
        record(byte, Answer::Ack);
        answer(ACK, after);
    };
    const auto awaitData = [this, byte, &ack](int size) {
        ack();
        m_dataCommand = byte;
        m_dataSize = size;
    };

    if (byte == historyQuitKey && m_mode == Mode::History) {
        ack();
        setMode(Mode::CommandLevel);
        return;
    }
    switch (static_cast<Command>(byte)) {
    case Command::Monitor: // 'M' at command level; 'M' is no command elsewhere
        ack();
        setMode(Mode::Monitor);
        return;
    case Command::History:
        ack();
        setMode(Mode::History);
        return;
    case Command::Setup:
        ack();
        setMode(Mode::Setup);
        return;
    case Command::Checksum: // 'X': checksum at command level, end of continuous photo eyes in monitor mode
        if (m_mode == Mode::CommandLevel) {
            const SimChecksum &c = m_unit.unit().checksum;
            QByteArray block(1, cmd(Command::Checksum));
            ByteWriter w(block);
            w.u32(c.checksum);
            w.u32(c.byteCount);
            w.u8(0);
            w.u8(static_cast<std::uint8_t>(c.location));
            w.u16(static_cast<std::uint16_t>(c.location >> 8));
            record(byte, Answer::Ack);
            answerWithBlock(block, std::max(0, c.delayMs));
        } else {
            record(byte, Answer::None);
        }
        return;
    case Command::Close:
        ack(After::Close);
        return;
    case Command::Reboot:
        record(byte, Answer::None);
        queue({}, 0, After::Reboot);
        return;
    case Command::FlashAbort: // nothing is being flashed, so there is nothing to abort
        ack();
        return;
    case Command::Quit:
        ack();
        // In history mode 'Q' aborts a retrieval and the unit stays in history mode.
        if (m_mode != Mode::History)
            setMode(Mode::CommandLevel);
        return;
    case Command::ForceRead:
        awaitData(forceReadDataSize);
        return;
    case Command::PhotoEyesOnce: // 'P'; 'p' shares its byte with erase persistent data
        record(byte, Answer::None); // photo-eye data comes with the photo-eye work
        return;
    case Command::ErasePersistent: // 'p': continuous photo eyes in monitor mode
        if (m_mode == Mode::Setup) {
            record(byte, f.failErase ? Answer::Nak : Answer::Ack);
            answer(f.failErase ? NAK : ACK);
        } else {
            record(byte, Answer::None);
        }
        return;
    case Command::EraseHistory:
        record(byte, f.failErase ? Answer::Nak : Answer::Ack);
        answer(f.failErase ? NAK : ACK);
        return;
    case Command::SetupUpload: {
        QByteArray block(1, static_cast<char>(ReplyType::Setup));
        block += m_unit.setupRecord();
        record(byte, Answer::Ack);
        answerWithBlock(block);
        return;
    }
    case Command::SetupDownload:
        awaitData(setupRecordSize);
        return;
    case Command::ClockRead: {
        QByteArray block(1, static_cast<char>(ReplyType::Clock));
        writeDtpack(block, dtpackFromDateTime(m_unit.clock()));
        record(byte, Answer::Ack);
        answerWithBlock(block);
        return;
    }
    case Command::ClockSet:
        awaitData(clockBlockSize);
        return;
    case Command::EraseSetup:
        m_unit.setSetupRecord(defaultSetupRecord(m_unit.unit()));
        ack();
        return;
    default:
        return;
    }
}

void SimCommandServer::finishData(const QByteArray &data)
{
    const std::uint8_t command = m_dataCommand;
    m_dataCommand = 0;
    m_dataSize = 0;
    for (auto it = m_commands.rbegin(); it != m_commands.rend(); ++it) {
        if (it->byte == command) {
            it->data = data;
            break;
        }
    }
    switch (static_cast<Command>(command)) {
    case Command::SetupDownload:
        m_unit.setSetupRecord(data);
        break;
    case Command::ClockSet:
        m_unit.setClock(readDtpack(data)); // an impossible clock is acknowledged and not taken
        break;
    default:
        break;
    }
    answer(ACK);
}

void SimCommandServer::answer(std::uint8_t ackOrNak, After after)
{
    const SimCommandFaults &f = m_unit.unit().commandFaults;
    queue(f.strayBytes + QByteArray(1, static_cast<char>(ackOrNak)), std::max(0, f.delayMs), after);
}

void SimCommandServer::answerWithBlock(const QByteArray &block, int blockDelayMs)
{
    answer(ACK);
    queueBlock(block, blockDelayMs);
}

void SimCommandServer::queueBlock(const QByteArray &block, int delayMs)
{
    if (m_unit.unit().commandFaults.splitReplies && block.size() >= 2) {
        const qsizetype half = block.size() / 2;
        queue(block.left(half), delayMs);
        queue(block.mid(half), splitGapMs);
        return;
    }
    queue(block, delayMs);
}

void SimCommandServer::queue(const QByteArray &bytes, int delayMs, After after)
{
    m_out.append({bytes, delayMs, after});
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
    if (drop || chunk.after == After::Close) {
        m_out.clear();
        // What was written still reaches the client before the close.
        if (m_client)
            m_client->disconnectFromHost();
        return;
    }
    if (chunk.after == After::Reboot) {
        m_out.clear();
        Q_EMIT rebootRequested();
    }
}

bool SimCommandServer::pushBytes(const QByteArray &bytes)
{
    if (!m_client)
        return false;
    queue(bytes, 0);
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

} // namespace vork::sim
