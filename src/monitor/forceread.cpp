#include "monitor/forceread.h"

#include "connection/connectionmanager.h"
#include "connection/operation.h"
#include "core/operator.h"
#include "services/unitservices.h"
#include "unit/records.h"
#include "unit/unittable.h"

#include <QPointer>
#include <QTcpSocket>

namespace vork {

ForceRead::ForceRead(UnitServices &services, QObject *parent) : QObject(parent), m_services(services)
{
    m_timer.setInterval(m_delay * 1000);
    connect(&m_timer, &QTimer::timeout, this, &ForceRead::timerFired);
}

QString ForceRead::leaveRefusalText()
{
    return QStringLiteral("Force read test in progress. You must stop the test before leaving this screen");
}

QString ForceRead::confirmationText(int label, const QString &address)
{
    return QStringLiteral("Are you sure you want to force label ") + QString::number(label)
           + QStringLiteral(" on Vork Unit ") + address;
}

QString ForceRead::buttonCaption() const
{
    if (!m_testMode)
        return QStringLiteral("Force Read");
    return m_running ? QStringLiteral("Stop Test") : QStringLiteral("Start Test");
}

void ForceRead::setReader(int reader)
{
    m_reader = qBound(0, reader, maxReader);
}

void ForceRead::setLabel(int label)
{
    const int l = qBound(0, label, maxLabel);
    if (l == m_label)
        return;
    m_label = l;
    Q_EMIT labelChanged(l);
}

void ForceRead::setDelay(int seconds)
{
    m_delay = qBound(0, seconds, maxDelaySeconds);
    m_timer.setInterval(m_delay == 0 ? fastestMs : m_delay * 1000);
}

void ForceRead::setTestMode(bool on)
{
    if (on == m_testMode)
        return;
    m_testMode = on;
    // Test mode asks nothing; leaving it forgets an earlier "Don't ask again." too.
    m_noConfirmation = on;
    if (!on) {
        m_running = false;
        m_timer.stop();
    }
    Q_EMIT stateChanged();
}

void ForceRead::stopTest()
{
    const bool changed = m_running || m_testMode;
    m_running = false;
    m_timer.stop();
    // Releasing the toggle forgets "Don't ask again."; a toggle already up changes nothing.
    if (m_testMode) {
        m_testMode = false;
        m_noConfirmation = false;
    }
    if (changed)
        Q_EMIT stateChanged();
}

void ForceRead::startTest()
{
    m_running = true;
    m_timer.start();
    Q_EMIT stateChanged();
    timerFired();
}

bool ForceRead::checks()
{
    Operator &op = m_services.op();
    if (m_label == 0) {
        op.warning(QStringLiteral("Zero is an Invalid Label Number. Force Read Aborted"));
        if (m_running)
            stopTest();
        return false;
    }
    if (m_services.units().findByIP(m_ip) < 0) {
        // A test has nothing left to force: it ends rather than warn at every tick.
        if (m_running)
            stopTest();
        op.warning(QStringLiteral("Vork Unit not found. Force Read Aborted"));
        return false;
    }
    return true;
}

void ForceRead::force()
{
    if (m_testMode && m_running) {
        stopTest();
        return;
    }
    if (!checks())
        return;
    if (m_testMode) {
        startTest();
        return;
    }
    forceOnce();
}

void ForceRead::timerFired()
{
    // One force at a time: a tick during any acknowledgement wait is skipped.
    if (m_forcing || m_services.connections().waitingForAck() || !m_running)
        return;
    if (!checks())
        return;
    forceOnce();
    m_services.op().breathe();
}

void ForceRead::failed(int label)
{
    m_services.op().log(QStringLiteral("Force of Label ") + QString::number(label) + QStringLiteral(" failed"));
    stopTest();
}

void ForceRead::forceOnce()
{
    Operator &op = m_services.op();
    ConnectionManager &connections = m_services.connections();
    UnitTable &units = m_services.units();
    ScopedOperation operation(m_services.operations(), op, QStringLiteral("Force Read"));
    if (!operation.admitted())
        return;
    const int index = units.findByIP(m_ip);
    if (index < 0)
        return;
    m_outcome = Outcome::None;
    m_forcing = true;
    const QPointer<ForceRead> self(this);
    const int label = m_label;
    const int reader = m_reader;
    udppack *unit = &units.unit(index);
    units.setCurrent(unit);
    operation.hold(*unit, connections);
    const QString address = unit->ip;

    if (!m_noConfirmation) {
        bool dontAsk = false;
        const Answer answer = op.askYesNo(confirmationTitle(), confirmationText(label, address), dontAsk);
        if (!self)
            return;
        m_noConfirmation = dontAsk;
        if (answer != Answer::Yes) {
            m_forcing = false;
            return;
        }
    }

    unit = operation.unit(units, connections);
    const AckResult command =
        unit ? connections.WaitForAck(connections.socket(*unit), commandAckSeconds, Command::ForceRead)
             : AckResult::Closed;
    if (!self)
        return;
    unit = operation.unit(units, connections);
    QTcpSocket *socket = unit ? connections.socket(*unit) : nullptr;
    if (command != AckResult::Ack || !socket || socket->state() != QAbstractSocket::ConnectedState) {
        // Acknowledged, but the link went with it: the unit is gone all the same.
        m_answer = command == AckResult::Ack ? AckResult::Closed : command;
        m_forcing = false;
        m_outcome = Outcome::NotAccepted;
        failed(label);
        return;
    }

    // The block goes on its own: its acknowledgement is awaited without another command.
    const char block[] = {static_cast<char>(reader), static_cast<char>(label & 0xFF),
                          static_cast<char>((label >> 8) & 0xFF)};
    socket->write(block, sizeof block);
    const AckResult blockAnswer = connections.WaitForAck(socket, blockAckSeconds, Command::NoCommand);
    if (!self)
        return;
    m_forcing = false;
    m_answer = blockAnswer;
    if (blockAnswer != AckResult::Ack) {
        m_outcome = Outcome::NotForced;
        return; // the test goes on; the next force finds out whether the unit is still there
    }
    m_outcome = Outcome::Forced;
    op.log(QStringLiteral("Label ") + QString::number(label) + QStringLiteral(" has been forced"));
    Q_EMIT forced(label);
    if (!self)
        return;
    // Test mode may have ended while the unit was acknowledging.
    if (!m_testMode)
        return;
    if (label < maxLabel) {
        setLabel(label + 1);
    } else if (m_infinite) {
        setLabel(1);
    } else {
        op.log(QStringLiteral("Force Test Complete"));
        stopTest();
    }
}

} // namespace vork
