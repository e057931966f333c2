#include "setup/setupdownload.h"

#include "connection/connectionmanager.h"
#include "connection/operation.h"
#include "connection/unitcommands.h"
#include "core/operator.h"
#include "services/unitservices.h"
#include "setup/setupchecks.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QPointer>
#include <QTcpSocket>

namespace vork {

SetupDownload::SetupDownload(UnitServices &services, QObject *parent) : QObject(parent), m_services(services) {}

QString SetupDownload::unchangedQuestion()
{
    return QStringLiteral("No changes to the configuration file have been made. Download anyway?");
}

SetupDownload::Result SetupDownload::download(const setuppack &edited)
{
    Operator &op = m_services.op();
    ConnectionManager &connections = m_services.connections();
    UnitTable &units = m_services.units();
    const QPointer<SetupDownload> self(this);

    setuppack outgoing = edited;
    setupchecks::blankIPsToZero(outgoing);
    m_pending = !(outgoing == m_received);
    m_inSync = !m_pending;
    if (const auto failed = setupchecks::beforeDownload(outgoing)) {
        op.error(failed->message);
        return Result::Invalid;
    }

    ScopedOperation operation(m_services.operations(), op, QStringLiteral("Download"));
    udppack *unit = units.current();
    if (!operation.admitted() || !unit || !connections.isOpen(unit))
        return Result::NoUnit;
    operation.hold(*unit, connections);

    if (outgoing == m_received) {
        if (op.ask(unchangedQuestion()) != Answer::Yes || !self)
            return Result::Declined;
    }
    if (setupchecks::advancedChanged(outgoing, m_received)) {
        const Answer a = op.ask(setupchecks::advancedQuestion());
        if (!self)
            return Result::Declined;
        if (a != Answer::Yes) {
            const std::optional<setuppack> instead = m_advancedAnswer ? m_advancedAnswer(a) : std::nullopt;
            if (!instead || !self)
                return Result::Declined;
            outgoing = *instead;
        }
    }
    // The reboot after a download that switches DHCP on goes by announcement only.
    m_services.commands().setDhcpSwitched(outgoing.ndhcp() && !m_received.ndhcp());

    unit = operation.unit(units, connections);
    if (!unit)
        return Result::NoUnit;
    const QString address = unit->ip;
    const int version = versionNumber(unit->ver);
    op.log(QStringLiteral("Sent D Command to Vork Unit ") + address);
    const AckResult accepted = connections.WaitForAck(connections.socket(*unit), ackSeconds, Command::SetupDownload);
    if (!self)
        return Result::NotAccepted;
    unit = operation.unit(units, connections);
    QTcpSocket *socket = unit ? connections.socket(*unit) : nullptr;
    if (accepted != AckResult::Ack || !socket || socket->state() != QAbstractSocket::ConnectedState)
        return Result::NotAccepted;

    op.log(QStringLiteral("Vork Unit ready to receive config file"));
    // Older firmware keeps three fields a byte lower.
    setuppack wire = outgoing;
    shiftOlderLayout(wire, ShiftDirection::Sending, version);
    socket->write(wire.bytes());
    op.log(QStringLiteral("Config file sent"));
    const AckResult stored = connections.WaitForAck(socket, ackSeconds, Command::NoCommand);
    if (!self)
        return Result::NotConfirmed;
    if (stored != AckResult::Ack) {
        // The unit may not hold it: the changes stay pending and can go again.
        op.error(QStringLiteral("Failed to Save Configuration File"));
        return Result::NotConfirmed;
    }
    op.log(QStringLiteral("Config file Updated"));
    m_received = outgoing;
    m_inSync = true;
    m_pending = false;
    op.information(QStringLiteral("Configuration File Saved"));
    Q_EMIT confirmed(outgoing);
    return Result::Saved;
}

} // namespace vork
