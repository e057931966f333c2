#include "connection/unitcommands.h"

#include "connection/commandreplies.h"
#include "connection/connectionmanager.h"
#include "connection/operation.h"
#include "connection/unitclient.h"
#include "core/address.h"
#include "core/boundedwait.h"
#include "core/operator.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QTcpSocket>

namespace vork {

namespace {
constexpr int nripOffset = 24;
constexpr int nripWidth = 16;
} // namespace

QString setupRecordIp(const QByteArray &record)
{
    // A zero-terminated text inside its field; bytes past the record read as absent.
    const QByteArray field = record.mid(nripOffset, nripWidth);
    const qsizetype end = field.indexOf('\0');
    return QString::fromLatin1(end >= 0 ? field.left(end) : field.left(nripWidth - 1));
}

UnitCommands::UnitCommands(Operator &op, UnitTable &units, ConnectionManager &connections, CommandReplies &replies,
                           OperationGate &gate, QObject *parent)
    : QObject(parent), m_op(op), m_units(units), m_connections(connections), m_replies(replies), m_gate(gate)
{
}

QString UnitCommands::eraseQuestion(Erase what)
{
    switch (what) {
    case Erase::Setup: return QStringLiteral("Erase Vork Unit configuration?");
    case Erase::History: return QStringLiteral("Erase Vork Unit History File? Erase will fail if the reader is reading");
    case Erase::Persistent: return QStringLiteral("Erase Vork Persistent Data?");
    }
    return {};
}

QString UnitCommands::rebootQuestion(const QString &address)
{
    return QStringLiteral("Are you sure you want to restart Vork Unit ") + address + QLatin1Char('?');
}

QString UnitCommands::checksumQuestion()
{
    return QStringLiteral(
        "Computing the program checksum can take up to a minute to complete, are you sure you want to continue?");
}

udppack *UnitCommands::connectedCurrent() const
{
    udppack *unit = m_units.current();
    return unit && m_connections.existingClient(*unit) ? unit : nullptr;
}

udppack *UnitCommands::stillThere(const ScopedOperation &operation, bool mustBeOpen)
{
    // The held serial is that of the open connection: a closed or reopened link no longer matches.
    udppack *unit = operation.unit(m_units, m_connections);
    if (unit && (!mustBeOpen || m_connections.isOpen(unit)))
        return unit;
    m_op.log(QStringLiteral("Vork Unit ") + operation.heldAddress() + QStringLiteral(": ")
             + ConnectionManager::lostText());
    return nullptr;
}

std::optional<AckResult> UnitCommands::erase(Erase what)
{
    m_op.tone(Tone::Button);
    ScopedOperation operation(m_gate, m_op, QStringLiteral("Erase"));
    if (!operation.admitted())
        return std::nullopt;
    udppack *unit = connectedCurrent();
    if (!unit)
        return std::nullopt;
    operation.hold(*unit, m_connections);
    if (m_op.ask(eraseQuestion(what)) != Answer::Yes)
        return std::nullopt;
    unit = stillThere(operation, false);
    if (!unit)
        return std::nullopt;

    static const char letters[] = {'c', 'h', 'p'};
    static const int waits[] = {3, 10, 10};
    const int i = static_cast<int>(what);
    const QString address = unit->ip;
    m_op.log(QStringLiteral("Sent ") + QLatin1Char(letters[i]) + QStringLiteral(" Command to Vork Unit ") + address);
    const AckResult result = m_connections.WaitForAck(m_connections.socket(*unit), waits[i], letters[i]);
    if (result == AckResult::Ack) {
        static const char *const done[] = {" configuration data cleared from flash", " history file cleared from flash",
                                           " persistent data cleared from flash"};
        m_op.log(QStringLiteral("Vork Unit ") + address + QString::fromLatin1(done[i]));
        if (what == Erase::Setup) {
            // The editor then shows the unit's factory setup.
            if (udppack *again = operation.unit(m_units, m_connections))
                upload(*again);
        }
        return result;
    }
    if (what != Erase::Setup || result == AckResult::Nak)
        m_op.tone(Tone::Error);
    if (result == AckResult::Nak) {
        static const char *const failed[] = {"Failed to Erase Configuration for ", "Failed to Erase History for ",
                                             "Failed to Erase Persistent Data for "};
        m_op.log(QString::fromLatin1(failed[i]) + address);
    }
    return result;
}

bool UnitCommands::uploadSetup()
{
    udppack *unit = connectedCurrent();
    return unit && upload(*unit);
}

bool UnitCommands::upload(udppack &unit)
{
    ReplyRouter &router = m_connections.replies();
    const int before = router.deliveredCount(ReplyType::Setup);
    m_op.log(QStringLiteral("Sent U Command to Vork Unit ") + unit.ip);
    if (m_connections.WaitForAck(m_connections.socket(unit), 3, Command::SetupUpload) != AckResult::Ack)
        return false;
    m_op.log(QStringLiteral("Upload config request"));
    if (!router.sink(static_cast<std::uint8_t>(ReplyType::Setup)))
        return true;
    // The record comes next: nothing else is sent before it is in, so no later wait reads its bytes.
    const int i = m_units.indexOf(&unit);
    if (i < 0)
        return false;
    const ReplyWait end = m_connections.waitForReply(
        unit, [&] { return router.deliveredCount(ReplyType::Setup) != before; }, setupRecordWaitMs);
    if (end == ReplyWait::Done)
        return true;
    m_op.log(QStringLiteral("No configuration received from Vork Unit ") + unit.ip
             + (end == ReplyWait::Closed ? QStringLiteral(": ") + ConnectionManager::lostText() : QString()));
    return false;
}

bool UnitCommands::reboot()
{
    m_op.tone(Tone::Button);
    QString target;
    {
        ScopedOperation operation(m_gate, m_op, QStringLiteral("Reboot"));
        if (!operation.admitted())
            return false;
        udppack *unit = connectedCurrent();
        if (!unit)
            return false;
        operation.hold(*unit, m_connections);
        if (m_op.ask(rebootQuestion(unit->ip)) != Answer::Yes)
            return false;
        unit = stillThere(operation, true);
        if (!unit)
            return false;

        // The unit's new address from its last setup record, but only from this
        // unit on this connection and only when it is a real address.
        const ReplyRouter::Last last = m_connections.replies().last(ReplyType::Setup);
        const quint64 serial = m_connections.connectionSerial(*unit);
        target = unit->ip;
        if (last.from.link == unit->link && serial != 0 && last.from.serial == serial) {
            const QString nrip = setupRecordIp(last.block);
            std::uint32_t a = 0;
            if (parseIPv4(nrip, a) && a != 0 && nrip != unit->ip) {
                unit->ip = nrip;
                target = nrip;
            }
        }

        const QPointer<UnitClient> client = m_connections.existingClient(*unit);
        m_op.log(QStringLiteral("Sent R Command to Vork Unit ") + target);
        client->socket()->write(QByteArray(1, static_cast<char>(Command::Reboot)));
        client->socket()->flush();
        wait::pump(20);
        if (client)
            client->close();
        wait::pump(150);
    }
    Q_EMIT rebooted(target, m_dhcpSwitched);
    return true;
}

bool UnitCommands::checksum()
{
    m_op.tone(Tone::Button);
    ScopedOperation operation(m_gate, m_op, QStringLiteral("Checksum"));
    if (!operation.admitted())
        return false;
    udppack *unit = connectedCurrent();
    if (!unit)
        return false;
    operation.hold(*unit, m_connections);
    if (!m_checksumDontAsk) {
        bool dontAsk = false;
        const Answer a = m_op.askYesNo(QStringLiteral("Checksum Request"), checksumQuestion(), dontAsk);
        if (dontAsk)
            m_checksumDontAsk = true;
        if (a != Answer::Yes)
            return false;
        unit = stillThere(operation, true);
        if (!unit)
            return false;
    }
    if (m_connections.WaitForAck(m_connections.socket(*unit), 5, Command::Checksum) != AckResult::Ack)
        return false;
    m_replies.checksumRequested();
    return true;
}

bool UnitCommands::enterHistoryMode()
{
    wait::pump(10);
    udppack *unit = connectedCurrent();
    if (!unit)
        return false;
    m_op.log(QStringLiteral("Sent H Command to Vork Unit ") + unit->ip);
    if (m_connections.WaitForAck(m_connections.socket(*unit), 3, Command::History) != AckResult::Ack)
        return false;
    m_op.log(QStringLiteral("History on"));
    return true;
}

bool UnitCommands::leaveHistoryMode()
{
    udppack *unit = connectedCurrent();
    if (!unit)
        return false;
    m_op.log(QStringLiteral("Sent History Quit Command to Vork Unit ") + unit->ip);
    if (m_connections.WaitForAck(m_connections.socket(*unit), 3, Command::HistoryQuit) != AckResult::Ack)
        return false;
    m_op.log(QStringLiteral("History off"));
    return true;
}

bool UnitCommands::enterSetupMode()
{
    udppack *unit = connectedCurrent();
    if (!unit)
        return false;
    m_op.log(QStringLiteral("Sent S Command to Vork Unit ") + unit->ip);
    const QString address = unit->ip;
    if (m_connections.WaitForAck(m_connections.socket(*unit), 3, Command::Setup) != AckResult::Ack) {
        m_op.log(QStringLiteral("Ack not received"));
        return false;
    }
    m_op.log(QStringLiteral("Setup mode on"));
    if (m_setupUpload) {
        if (udppack *again = connectedCurrent(); again && again->ip == address)
            upload(*again);
    }
    return true;
}

bool UnitCommands::leaveSetupMode()
{
    udppack *unit = connectedCurrent();
    if (!unit)
        return false;
    m_op.log(QStringLiteral("Sent Q Command to Vork Unit ") + unit->ip);
    if (m_connections.WaitForAck(m_connections.socket(*unit), 3, Command::Quit) != AckResult::Ack)
        return false;
    m_op.log(QStringLiteral("Setup off"));
    return true;
}

} // namespace vork
