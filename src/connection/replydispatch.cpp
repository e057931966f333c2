// The read dispatcher: what a unit sends outside an acknowledgement wait.
#include "connection/connectionmanager.h"

#include "connection/unitclient.h"
#include "core/operator.h"
#include "unit/unittable.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace vork {

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
        if (assembler.expired())
            blockTimedOut(guard);
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
            m_op.log(QStringLiteral("Received ack from Vork Unit ") + unit.ip);
            Q_EMIT acknowledged(i);
            break;
        case ReplyAssembler::Step::Nak:
            m_op.log(QStringLiteral("Received nak from Vork Unit ") + unit.ip);
            Q_EMIT refused(i);
            break;
        case ReplyAssembler::Step::Undefined:
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
    ReplyAssembler &a = client->assembler();
    if (!a.inBlock())
        return;
    if (a.complete() && (a.expired() || a.remainingMs() == 0)) {
        // Nothing ran on within the quiet time: the shorter block is the whole block.
        const ReplyAssembler::Step s = a.finish();
        const int i = m_units.findByLink(client->link());
        if (m_waitingForAck || m_readsHeld > 0)
            m_deferred.append({client->link(), s.type, s.bytes});
        else if (i >= 0)
            deliver(client, m_units.unit(i), s.type, s.bytes);
        return;
    }
    if (!a.expired()) {
        armBlockTimer(client);
        return;
    }
    const int i = m_units.findByLink(client->link());
    const QString address = i >= 0 ? m_units.unit(i).ip : client->address();
    m_op.log(QStringLiteral("Incomplete '") + QChar(char16_t(a.blockType())) + QStringLiteral("' reply from Vork Unit ")
             + address + QStringLiteral(" dropped: ") + QString::number(a.received()) + QStringLiteral(" of ")
             + (a.needed() > 0 ? QString::number(a.needed()) : QStringLiteral("?")) + QStringLiteral(" bytes"));
    a.reset();
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
    while (!m_deferred.isEmpty() && !m_waitingForAck && m_readsHeld == 0) {
        const Deferred d = m_deferred.takeFirst();
        const int i = m_units.findByLink(d.link);
        UnitClient *c = m_clients.value(d.link);
        if (i >= 0 && c)
            deliver(c, m_units.unit(i), d.type, d.bytes);
    }
    const auto clients = m_clients;
    for (const QPointer<UnitClient> &c : clients)
        if (c && c->socket()->bytesAvailable() > 0)
            dispatch(c);
}

} // namespace vork
