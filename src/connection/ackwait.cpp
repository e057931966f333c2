// The acknowledgement wait and the waits for a reply, each bounded and ended by a close.
#include "connection/connectionmanager.h"

#include "connection/unitclient.h"
#include "core/boundedwait.h"
#include "core/operator.h"
#include "unit/unittable.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

namespace vork {

AckResult ConnectionManager::WaitForAck(QTcpSocket *socket, int timeoutSeconds, Command command)
{
    if (!socket)
        return AckResult::Closed;
    const QPointer<QTcpSocket> guard(socket);
    const QPointer<UnitClient> client = clientOf(socket);
    const int index = client ? m_units.findByLink(client->link()) : -1;
    const QString address = index >= 0 ? m_units.unit(index).ip
                                        : QHostAddress(socket->peerAddress().toIPv4Address()).toString();
    // A late answer to an earlier command must not answer this one.
    if (client && !m_waitingForAck)
        awaitResync(client);
    if (!guard)
        return AckResult::Closed;
    const bool outerWaiting = m_waitingForAck;
    m_waitingForAck = true;

    const bool open = socket->state() == QAbstractSocket::ConnectedState;
    switch (command) {
    case Command::HistoryQuit:
        if (open)
            socket->write(historyQuitBytes());
        break;
    case Command::NoCommand:
        m_op.log(QStringLiteral("Wait for Ack with no command"));
        break;
    default:
        if (open)
            socket->write(QByteArray(1, static_cast<char>(command)));
        break;
    }
    if (command != Command::NoCommand)
        m_op.log(QStringLiteral("Wait for Ack from Vork Unit ") + address);

    std::optional<AckResult> answer;
    const auto answered = [&] {
        // Asked again after the answer (the wait checks more than once): read nothing more.
        if (answer)
            return true;
        if (!guard) {
            answer = AckResult::Closed;
            return true;
        }
        // Every byte goes through the unit's assembler: blocks (live records among them) are
        // framed and handed to their sinks, and only an ACK or NAK between blocks answers.
        while (guard && guard->bytesAvailable() > 0) {
            const int i = client ? m_units.findByLink(client->link()) : -1;
            if (i < 0) {
                char b = 0;
                if (guard->read(&b, 1) != 1)
                    break;
                const auto byte = static_cast<std::uint8_t>(b);
                if (byte == ACK || byte == NAK) {
                    answer = byte == ACK ? AckResult::Ack : AckResult::Nak;
                    return true;
                }
                continue;
            }
            udppack &unit = m_units.unit(i);
            ReplyAssembler &assembler = client->assembler();
            const ReplyAssembler::Step s = assembler.step(*guard, unit);
            if (s.kind == ReplyAssembler::Step::Nothing) {
                if (assembler.inBlock())
                    armBlockTimer(client);
                break;
            }
            switch (s.kind) {
            case ReplyAssembler::Step::Ack:
            case ReplyAssembler::Step::Nak:
                answer = s.kind == ReplyAssembler::Step::Ack ? AckResult::Ack : AckResult::Nak;
                return true; // bytes after the answer stay for the dispatcher
            case ReplyAssembler::Step::Undefined:
                ++m_undefined;
                break;
            case ReplyAssembler::Step::Oversized:
                logOversized(unit, s.type, s.announced);
                flushbuffer(guard);
                break;
            case ReplyAssembler::Step::Block:
                deliver(client, unit, s.type, s.bytes);
                break;
            case ReplyAssembler::Step::Nothing:
                break;
            }
        }
        if (!guard || guard->state() != QAbstractSocket::ConnectedState) {
            answer = AckResult::Closed;
            return true;
        }
        return false;
    };
    wait::until(answered, timeoutSeconds * 1000);
    const AckResult result = answer.value_or(AckResult::TimedOut);

    switch (result) {
    case AckResult::Ack:
        m_op.breathe();
        m_op.log(QStringLiteral("Ack Received from Vork Unit ") + address);
        break;
    case AckResult::Nak:
        m_op.breathe();
        break;
    case AckResult::TimedOut:
        m_op.log(QStringLiteral("Did not receive an Ack from Vork Unit ") + address);
        // Blocks in flight go on being framed; the answer may still come and must answer nothing.
        if (client)
            beginResync(client);
        else if (guard)
            flushbuffer(guard);
        break;
    case AckResult::Closed:
        m_op.log(QStringLiteral("Did not receive an Ack from Vork Unit ") + address + QStringLiteral(": ")
                 + lostText());
        break;
    }
    m_waitingForAck = outerWaiting;
    m_op.log(QStringLiteral("Wait for Ack Exit"));
    if (!m_waitingForAck)
        QMetaObject::invokeMethod(this, &ConnectionManager::redispatchPending, Qt::QueuedConnection);
    return result;
}

ReplyWait ConnectionManager::waitForReply(const udppack &unit, const std::function<bool()> &done, int timeoutMs)
{
    const QPointer<UnitClient> c = existingClient(unit);
    const auto closed = [&] { return !c || !c->isOpen(); };
    wait::until([&] { return done() || closed(); }, timeoutMs);
    if (done())
        return ReplyWait::Done;
    return closed() ? ReplyWait::Closed : ReplyWait::TimedOut;
}

void ConnectionManager::beginResync(UnitClient *client)
{
    Resync &r = m_resync[client->link()];
    r.quiet = QDeadlineTimer(resyncQuietMs, Qt::PreciseTimer);
    r.cap = QDeadlineTimer(resyncCapMs, Qt::PreciseTimer);
}

bool ConnectionManager::resyncing(UnitClient *client)
{
    const auto it = m_resync.find(client->link());
    if (it == m_resync.end())
        return false;
    if (it->quiet.hasExpired() || it->cap.hasExpired()) {
        m_resync.erase(it);
        return false;
    }
    return true;
}

void ConnectionManager::discardStray(UnitClient *client, const QString &address, std::uint8_t byte)
{
    // Unclaimed bytes are counted and reported as ever; a late answer gets its own line.
    if (byte == ACK || byte == NAK)
        m_op.log(QStringLiteral("Discarded late ") + (byte == ACK ? QStringLiteral("ACK") : QStringLiteral("NAK"))
                 + QStringLiteral(" from Vork Unit ") + address);
    const auto it = m_resync.find(client->link());
    if (it != m_resync.end())
        it->quiet = QDeadlineTimer(resyncQuietMs, Qt::PreciseTimer);
}

void ConnectionManager::awaitResync(UnitClient *client)
{
    const QPointer<UnitClient> c(client);
    if (!resyncing(client))
        return;
    // The dispatcher reads meanwhile: records still reach their sinks, late answers are dropped.
    wait::until([&] { return !c || !c->isOpen() || !resyncing(c); }, resyncCapMs);
    if (c)
        m_resync.remove(c->link());
}

void ConnectionManager::settle(const udppack &unit)
{
    if (UnitClient *c = existingClient(unit); c && !m_waitingForAck)
        awaitResync(c);
}

void ConnectionManager::flushbuffer(QTcpSocket *socket)
{
    if (!socket)
        return;
    socket->readAll();
    if (UnitClient *c = clientOf(socket)) {
        c->assembler().reset();
        if (QTimer *t = m_blockTimers.value(c->link()))
            t->stop();
    }
}

} // namespace vork
