// The read dispatcher: what a unit sends outside an acknowledgement wait.
#include "connection/connectionmanager.h"

#include "connection/unitclient.h"
#include "core/operator.h"
#include "unit/unittable.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace vork {

namespace {
constexpr int graceMs = 50;
} // namespace

void ConnectionManager::dispatch(UnitClient *client)
{
    if (m_waitingForAck || m_readsHeld > 0)
        return; // the bytes stay for the wait that reads the socket itself
    QTcpSocket *socket = client->socket();
    if (m_units.findByLink(client->link()) < 0) {
        if (socket->bytesAvailable() > 0) {
            m_op.log(QStringLiteral("Socket Not Found for ")
                     + QHostAddress(socket->peerAddress().toIPv4Address()).toString());
            socket->readAll();
        }
        return;
    }

    const QPointer<UnitClient> guard(client);
    while (guard && socket->bytesAvailable() > 0 && !m_waitingForAck && m_readsHeld == 0) {
        const int i = m_units.findByLink(guard->link());
        if (i < 0)
            return;
        udppack &unit = m_units.unit(i);
        ReplyAssembler &assembler = guard->assembler();
        const bool starting = !assembler.inBlock();
        const ReplyAssembler::Step s = assembler.step(*socket, unit);
        if (starting && (s.kind != ReplyAssembler::Step::Nothing || assembler.inBlock()))
            m_units.setCurrent(&unit);
        switch (s.kind) {
        case ReplyAssembler::Step::Nothing:
            if (assembler.inBlock())
                armBlockTimer(guard);
            break;
        case ReplyAssembler::Step::Ack:
            if (resyncing(guard)) {
                discardStray(guard, unit.ip, ACK);
                break;
            }
            m_op.log(QStringLiteral("Received ack from Vork Unit ") + unit.ip);
            Q_EMIT acknowledged(i);
            break;
        case ReplyAssembler::Step::Nak:
            if (resyncing(guard)) {
                discardStray(guard, unit.ip, NAK);
                break;
            }
            m_op.log(QStringLiteral("Received nak from Vork Unit ") + unit.ip);
            Q_EMIT refused(i);
            break;
        case ReplyAssembler::Step::Undefined:
            if (resyncing(guard))
                discardStray(guard, unit.ip, s.type);
            ++m_undefined;
            break;
        case ReplyAssembler::Step::Oversized:
            logOversized(unit, s.type, s.announced);
            flushbuffer(socket);
            break;
        case ReplyAssembler::Step::Block:
            deliver(guard, unit, s.type, s.bytes);
            break;
        }
    }
}

void ConnectionManager::ResetBC(const udppack *unit)
{
    if (m_undefined == 0)
        return;
    if (unit)
        m_op.log(QStringLiteral("Undefined Message Received from Vork Unit ") + unit->ip
                 + QStringLiteral(". Message length was ") + QString::number(m_undefined) + QStringLiteral(" Bytes."));
    else
        m_op.log(QStringLiteral("Undefined Message Received from Vork Unit. Message length was ")
                 + QString::number(m_undefined) + QStringLiteral(" Bytes."));
    m_undefined = 0;
}

void ConnectionManager::deliver(UnitClient *client, udppack &unit, std::uint8_t type, const QByteArray &block)
{
    if (QTimer *t = m_blockTimers.value(client->link()))
        t->stop();
    const QPointer<UnitClient> guard(client);
    const quint64 link = client->link();
    m_router.deliver(type, unit, {unit.ip, link, client->serial()}, block);
    const int i = m_units.findByLink(link);
    ResetBC(i >= 0 ? &m_units.unit(i) : nullptr);
}

void ConnectionManager::logOversized(const udppack &unit, std::uint8_t type, int announced)
{
    m_op.log(QStringLiteral("Oversized '") + QChar(char16_t(type)) + QStringLiteral("' reply from Vork Unit ")
             + unit.ip + QStringLiteral(" dropped: ") + QString::number(announced) + QStringLiteral(" bytes announced"));
}

void ConnectionManager::armBlockTimer(UnitClient *client)
{
    QTimer *t = m_blockTimers.value(client->link());
    const int ms = qMax(1, client->assembler().remainingMs());
    if (t && (!t->isActive() || t->remainingTime() > ms))
        t->start(ms);
}

void ConnectionManager::blockTimedOut(UnitClient *client)
{
    const QPointer<UnitClient> guard(client);
    ReplyAssembler &a = client->assembler();
    if (!a.inBlock())
        return;
    // Bytes already here are read first: a block whose bytes have all arrived is never dropped.
    if (client->socket()->bytesAvailable() > 0) {
        if (m_waitingForAck || m_readsHeld > 0) {
            if (QTimer *t = m_blockTimers.value(client->link()))
                t->start(graceMs);
            return;
        }
        dispatch(client);
        if (!guard || !a.inBlock())
            return;
    }
    if (a.complete() && a.expired()) {
        // Nothing ran on within the quiet time: the shorter block is the whole block.
        const ReplyAssembler::Step s = a.finish();
        if (QTimer *t = m_blockTimers.value(client->link()))
            t->stop();
        const int i = m_units.findByLink(client->link());
        if (i >= 0)
            deliver(client, m_units.unit(i), s.type, s.bytes);
        return;
    }
    if (!a.expired()) {
        armBlockTimer(client);
        return;
    }
    // A busy program may see the timer before the socket: one short look more.
    if (!a.graced()) {
        a.grace();
        if (QTimer *t = m_blockTimers.value(client->link()))
            t->start(graceMs);
        return;
    }
    dropBlock(client);
}

void ConnectionManager::dropBlock(UnitClient *client)
{
    ReplyAssembler &a = client->assembler();
    if (!a.inBlock())
        return;
    if (QTimer *t = m_blockTimers.value(client->link()))
        t->stop();
    const int i = m_units.findByLink(client->link());
    if (a.complete() && i >= 0) {
        // It holds its shorter size: what was cut off is only what might have run on.
        const ReplyAssembler::Step s = a.finish();
        deliver(client, m_units.unit(i), s.type, s.bytes);
        return;
    }
    const QString address = i >= 0 ? m_units.unit(i).ip : client->address();
    m_op.log(QStringLiteral("Incomplete '") + QChar(char16_t(a.blockType())) + QStringLiteral("' reply from Vork Unit ")
             + address + QStringLiteral(" dropped: ") + QString::number(a.received()) + QStringLiteral(" of ")
             + (a.needed() > 0 ? QString::number(a.needed()) : QStringLiteral("?")) + QStringLiteral(" bytes"));
    const std::uint8_t type = a.blockType();
    const QByteArray partial = a.partial();
    const int needed = a.needed();
    a.reset();
    Q_EMIT blockDropped(i, type, partial, needed);
}

void ConnectionManager::holdReads(bool hold)
{
    m_readsHeld = qMax(0, m_readsHeld + (hold ? 1 : -1));
    if (m_readsHeld == 0)
        QMetaObject::invokeMethod(this, &ConnectionManager::redispatchPending, Qt::QueuedConnection);
}

void ConnectionManager::redispatchPending()
{
    if (m_waitingForAck || m_readsHeld > 0)
        return;
    const auto clients = m_clients;
    for (const QPointer<UnitClient> &c : clients)
        if (c && c->socket()->bytesAvailable() > 0)
            dispatch(c);
}

} // namespace vork
