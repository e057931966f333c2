#include "connection/unitcommands.h"

#include "core/boundedwait.h"
#include "core/operator.h"
#include "app/pagerules.h"
#include "connection/connectionmanager.h"
#include "connection/unitclient.h"
#include "setup/setuprecord.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace vork {

QString setupRecordIp(const QByteArray &record)
{
    return setuppack(record).nrip();
}

UnitCommands::UnitCommands(Operator &op, UnitTable &units, ConnectionManager &connection, QObject *parent)
    : QObject(parent), m_op(op), m_units(units), m_connection(connection)
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
    return unit && unit->cs ? unit : nullptr;
}

void UnitCommands::attach(PageRules &rules)
{
    rules.hooks.leave[static_cast<int>(Page::History)] = [this] { leaveHistoryMode(); };
    rules.hooks.leave[static_cast<int>(Page::Setup)] = [this] { leaveSetupMode(); };
    rules.hooks.enter[static_cast<int>(Page::History)] = [this] { enterHistoryMode(); };
    rules.hooks.enter[static_cast<int>(Page::Setup)] = [this] { enterSetupMode(); };
    // After any page change a reboot asks the unit's known address again.
    rules.hooks.resetSetupEditor = [this] { dhcpSwitched = false; };
}

bool UnitCommands::erase(Erase what)
{
    m_op.tone(Tone::Button);
    udppack *unit = connectedCurrent();
    if (!unit)
        return false;
    if (passwordCheck && !passwordCheck())
        return false;
    if (m_op.ask(eraseQuestion(what)) != Answer::Yes)
        return false;

    static const char letters[] = {'c', 'h', 'p'};
    static const int waits[] = {3, 10, 10};
    const int i = static_cast<int>(what);
    const QString address = unit->ip;
    const QPointer<UnitClient> client = unit->cs;
    m_op.log(QStringLiteral("Sent ") + QLatin1Char(letters[i]) + QStringLiteral(" Command to Vork Unit ") + address);
    const bool ack = m_connection.WaitForAck(client ? client->socket() : nullptr, waits[i], letters[i]);
    if (ack) {
        static const char *const done[] = {" configuration data cleared from flash", " history file cleared from flash",
                                           " persistent data cleared from flash"};
        m_op.log(QStringLiteral("Vork Unit ") + address + QString::fromLatin1(done[i]));
        if (what == Erase::Setup)
            uploadSetup(); // the editor then shows the unit's factory setup
        return true;
    }
    const bool nak = m_connection.lastWaitWasNak();
    if (what != Erase::Setup || nak)
        m_op.tone(Tone::Error);
    if (nak) {
        static const char *const failed[] = {"Failed to Erase Configuration for ", "Failed to Erase History for ",
                                             "Failed to Erase Persistent Data for "};
        m_op.log(QString::fromLatin1(failed[i]) + address);
    }
    return false;
}

bool UnitCommands::uploadSetup()
{
    udppack *unit = connectedCurrent();
    if (!unit)
        return false;
    const QPointer<UnitClient> client = unit->cs;
    m_op.log(QStringLiteral("Sent U Command to Vork Unit ") + unit->ip);
    return m_connection.WaitForAck(client->socket(), 3, Command::SetupUpload);
}

bool UnitCommands::reboot()
{
    m_op.tone(Tone::Button);
    udppack *unit = connectedCurrent();
    if (!unit)
        return false;
    if (m_op.ask(rebootQuestion(unit->ip)) != Answer::Yes)
        return false;
    const QPointer<UnitClient> client = unit->cs;

    // The unit's new address from its last setup record, but only from this
    // unit on this connection and only when it is a real address.
    const ReceivedSetup &last = m_connection.lastSetup();
    QString target = unit->ip;
    if (last.ip == unit->ip && last.connection != 0 && last.connection == m_connection.connectionSerial(client)) {
        const QString nrip = setupRecordIp(last.bytes);
        const QHostAddress a(nrip);
        if (a.protocol() == QAbstractSocket::IPv4Protocol && a.toIPv4Address() != 0 && nrip != unit->ip) {
            unit->ip = nrip;
            target = nrip;
        }
    }

    if (clearSetupEditor)
        clearSetupEditor();
    m_op.log(QStringLiteral("Sent R Command to Vork Unit ") + target);
    client->socket()->write(QByteArray(1, static_cast<char>(Command::Reboot)));
    client->socket()->flush();
    wait::pump(20);
    if (client)
        client->close();
    wait::pump(150);
    if (showDiscoveryPage)
        showDiscoveryPage();
    if (dhcpSwitched) {
        if (fullDiscovery)
            fullDiscovery();
    } else if (unicastDiscovery) {
        unicastDiscovery(target);
    }
    return true;
}

bool UnitCommands::checksum()
{
    m_op.tone(Tone::Button);
    udppack *unit = connectedCurrent();
    if (!unit)
        return false;
    if (!checksumDontAsk) {
        bool dontAsk = false;
        const Answer a = m_op.askYesNo(QStringLiteral("Checksum Request"), checksumQuestion(), dontAsk);
        if (dontAsk)
            checksumDontAsk = true;
        if (a != Answer::Yes)
            return false;
    }
    const QPointer<UnitClient> client = unit->cs;
    if (!m_connection.WaitForAck(client->socket(), 5, Command::Checksum))
        return false;
    m_connection.checksumRequested();
    return true;
}

bool UnitCommands::enterHistoryMode()
{
    wait::pump(10);
    udppack *unit = connectedCurrent();
    if (!unit)
        return false;
    const QPointer<UnitClient> client = unit->cs;
    m_op.log(QStringLiteral("Sent H Command to Vork Unit ") + unit->ip);
    if (!m_connection.WaitForAck(client ? client->socket() : nullptr, 3, Command::History))
        return false;
    m_op.log(QStringLiteral("History on"));
    return true;
}

bool UnitCommands::leaveHistoryMode()
{
    udppack *unit = connectedCurrent();
    if (!unit)
        return false;
    const QPointer<UnitClient> client = unit->cs;
    m_op.log(QStringLiteral("Sent History Quit Command to Vork Unit ") + unit->ip);
    if (!m_connection.WaitForAck(client->socket(), 3, Command::HistoryQuit))
        return false;
    m_op.log(QStringLiteral("History off"));
    return true;
}

bool UnitCommands::enterSetupMode()
{
    if (clearSetupEditor)
        clearSetupEditor();
    udppack *unit = connectedCurrent();
    if (!unit) {
        if (loadAdvancedDefaults)
            loadAdvancedDefaults();
        return false;
    }
    if (showFirewallBox)
        showFirewallBox(versionNumber(unit->ver) >= 317);
    if (selectParametersTab)
        selectParametersTab();
    const QPointer<UnitClient> client = unit->cs;
    m_op.log(QStringLiteral("Sent S Command to Vork Unit ") + unit->ip);
    if (!m_connection.WaitForAck(client->socket(), 3, Command::Setup)) {
        m_op.log(QStringLiteral("Ack not received"));
        return false;
    }
    m_op.log(QStringLiteral("Setup mode on"));
    if (setupUploadOption)
        uploadSetup();
    if (timeButtonsEnabled)
        timeButtonsEnabled(true);
    return true;
}

bool UnitCommands::leaveSetupMode()
{
    udppack *unit = connectedCurrent();
    if (!unit)
        return false;
    const QPointer<UnitClient> client = unit->cs;
    m_op.log(QStringLiteral("Sent Q Command to Vork Unit ") + unit->ip);
    if (!m_connection.WaitForAck(client->socket(), 3, Command::Quit))
        return false;
    m_op.log(QStringLiteral("Setup off"));
    if (timeButtonsEnabled)
        timeButtonsEnabled(false);
    return true;
}

} // namespace vork
