#include "monitor/photoeyes.h"

#include "connection/connectionmanager.h"
#include "connection/operation.h"
#include "core/operator.h"
#include "services/unitservices.h"
#include "unit/records.h"
#include "unit/unittable.h"

#include <QPointer>
#include <QTcpSocket>

namespace vork {

PhotoEyes::PhotoEyes(UnitServices &services, QObject *parent)
    : QObject(parent), m_services(services),
      m_once(services.connections().replies().add(ReplyType::PhotoEyes, *this)),
      m_continuous(services.connections().replies().add(ReplyType::PhotoEyesContinuous, m_continuousSink))
{
    connect(&services.connections(), &ConnectionManager::disconnected, this, [this](int) { linkDropped(); });
}

PhotoEyeLamps PhotoEyes::lampStates(std::uint8_t byte)
{
    return {(byte & eyeA) != 0, (byte & eyeB) != 0, (byte & eyeC) != 0};
}

int PhotoEyes::readerCount(const udppack &unit)
{
    return qBound(1, int(unit.ver.vrcnt), readerSlots);
}

int PhotoEyes::replyBytes(const udppack &unit)
{
    return qMax(1, int(unit.ver.vrcnt));
}

std::uint8_t PhotoEyes::lamps(int reader) const
{
    return reader >= 0 && reader < readerSlots ? m_lamps[std::size_t(reader)] : 0;
}

udppack *PhotoEyes::heldUnit() const
{
    UnitTable &units = m_services.units();
    const int i = units.findByLink(m_link);
    if (i < 0 || units.unit(i).ip != m_ip)
        return nullptr;
    return &units.unit(i);
}

bool PhotoEyes::send(char command)
{
    udppack *unit = heldUnit();
    ConnectionManager &connections = m_services.connections();
    if (!unit || !connections.isOpen(unit))
        return false;
    QTcpSocket *socket = connections.socket(*unit);
    if (!socket || socket->write(QByteArray(1, command)) != 1)
        return false;
    m_services.op().log(QStringLiteral("Sent ") + QLatin1Char(command) + QStringLiteral(" Command to Vork Unit ")
                        + m_ip);
    return true;
}

bool PhotoEyes::read(const QString &ip, bool continuous)
{
    if (reading())
        return false;
    // Nothing else may be waiting on the unit: its acknowledgement wait would take these bytes.
    ScopedOperation operation(m_services.operations(), m_services.op(), QStringLiteral("Read PEs"));
    if (!operation.admitted())
        return false;
    UnitTable &units = m_services.units();
    const int index = units.findByIP(ip);
    if (index < 0)
        return false;
    udppack &unit = units.unit(index);
    units.setCurrent(&unit);
    m_ip = unit.ip;
    m_link = unit.link;
    if (!send(continuous ? 'p' : 'P'))
        return false;
    m_state = continuous ? State::Continuous : State::Single;
    Q_EMIT readingChanged(true);
    return true;
}

void PhotoEyes::release(bool continuousDown)
{
    if (continuousDown)
        send('X');
    end();
}

void PhotoEyes::releaseContinuous()
{
    if (!reading())
        return;
    send('X');
    end();
}

void PhotoEyes::stop()
{
    if (reading())
        release(m_state == State::Continuous);
}

void PhotoEyes::switchOff(int reader)
{
    if (reader < 0 || reader >= readerSlots || m_lamps[std::size_t(reader)] == 0)
        return;
    m_lamps[std::size_t(reader)] = 0;
    Q_EMIT lampsChanged();
}

void PhotoEyes::end()
{
    const bool was = reading();
    m_state = State::Idle;
    lampsOff();
    if (was)
        Q_EMIT readingChanged(false);
}

void PhotoEyes::lampsOff()
{
    m_lamps.fill(0);
    Q_EMIT lampsChanged();
}

void PhotoEyes::linkDropped()
{
    // A unit that went away sends no more replies: nothing is being read any longer.
    if (!reading())
        return;
    const udppack *unit = heldUnit();
    if (!unit || !m_services.connections().isOpen(unit))
        end();
}

int PhotoEyes::blockSize(const udppack &unit, const QByteArray &) const
{
    // The whole reply is taken, however many readers the unit claims, so the next
    // reply starts where it should.
    return replyBytes(unit);
}

void PhotoEyes::receive(udppack &unit, const ReplySource &from, const QByteArray &block)
{
    take(true, unit, from, block);
}

void PhotoEyes::take(bool single, const udppack &unit, const ReplySource &from, const QByteArray &block)
{
    // Replies that come after the button went up, or from another unit, change nothing.
    if (!reading() || from.link != m_link || unit.ip != m_ip)
        return;
    // Eight readers at most; what a unit sends beyond them is dropped with the reply.
    const int readers = std::min<int>(readerCount(unit), int(block.size()));
    m_lamps.fill(0);
    for (int r = 0; r < readers; ++r)
        m_lamps[std::size_t(r)] = static_cast<std::uint8_t>(block.at(r)) & (eyeA | eyeB | eyeC);
    const QPointer<PhotoEyes> self(this);
    Q_EMIT lampsChanged();
    Q_EMIT replyArrived();
    if (!self)
        return;
    // The single read's own reply releases the button; a continuous read goes on until released.
    if (single && m_state == State::Single) {
        m_state = State::Idle;
        Q_EMIT readingChanged(false);
        Q_EMIT readFinished();
    }
}

} // namespace vork
