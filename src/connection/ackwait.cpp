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
        while (guard->bytesAvailable() > 0) {
            // A block that began before the wait is read whole first: its bytes are never
            // taken for an answer. It reaches its sink once the wait is over.
            if (client && client->assembler().inBlock()) {
                const int i = m_units.findByLink(client->link());
                if (i < 0 || client->assembler().expired()) {
                    blockTimedOut(client);
                    continue;
                }
                const ReplyAssembler::Step s = client->assembler().step(*guard, m_units.unit(i));
                if (s.kind == ReplyAssembler::Step::Block)
                    m_deferred.append({client->link(), s.type, s.bytes});
                continue;
            }
            char b = 0;
            if (guard->read(&b, 1) != 1)
                break;
            const auto byte = static_cast<std::uint8_t>(b);
            if (byte == ACK || byte == NAK) {
                answer = byte == ACK ? AckResult::Ack : AckResult::Nak;
                return true; // bytes after the answer stay for the dispatcher
            }
        }
        if (guard->state() != QAbstractSocket::ConnectedState) {
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
        if (guard)
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
