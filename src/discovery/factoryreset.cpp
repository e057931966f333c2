#include "discovery/factoryreset.h"

#include "core/address.h"
#include "core/boundedwait.h"
#include "core/operator.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "discovery/unicast.h"
#include "unit/unittable.h"

#include <QPointer>
#include <QTcpSocket>

namespace vork {

namespace {
constexpr char ackByte = 6;
constexpr int maxRetries = 100; // "Try again?" answered Yes this often is enough
} // namespace

bool sendAndAwaitAck(QTcpSocket &socket, char command, int turns, int turnMs)
{
    QPointer<QTcpSocket> s(&socket);
    // A late or doubled answer to the previous command is not this one's.
    s->readAll();
    s->write(QByteArray(1, command));
    s->flush();
    for (int i = 0; i < turns; ++i) {
        wait::until([&] { return !s || s->bytesAvailable() > 0 || s->state() != QAbstractSocket::ConnectedState; },
                    turnMs);
        if (!s || s->state() != QAbstractSocket::ConnectedState)
            return s && s->bytesAvailable() > 0 && s->peek(1).at(0) == ackByte;
        if (s->bytesAvailable() > 0) {
            char first = 0;
            s->getChar(&first);
            return first == ackByte;
        }
    }
    return false;
}

FactoryReset::FactoryReset(Operator &op, TBroadcast &transport, DiscoveryCycle &cycle, QObject *parent)
    : QObject(parent), m_op(op), m_transport(transport), m_cycle(cycle)
{
}

bool FactoryReset::validMacText(const QString &text)
{
    if (text.size() != 12 || !text.startsWith(QLatin1String("0050")))
        return false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return false;
    }
    return true;
}

QString FactoryReset::restoredText(const QString &address)
{
    return QStringLiteral("Factory defaults restored for unit ") + address;
}

FactoryReset::Result FactoryReset::run()
{
    m_op.tone(Tone::Button);
    const QString caption = QStringLiteral("Restore Factory Defaults");
    for (int attempt = 0; attempt < maxRetries; ++attempt) {
        QString address;
        if (!m_op.input(caption,
                        QStringLiteral("Enter IP Address of unit to restore using TCP or click Cancel to use UDP "
                                       "(v3.0.0 && above only)"),
                        address))
            break;
        if (isValidUnitIP(address, false))
            return resetByAddress(address);
        if (m_op.ask(address + QStringLiteral(" is an invalid IP address. Try again?")) != Answer::Yes)
            return Result::Invalid;
    }
    QString mac;
    if (!m_op.input(caption, QStringLiteral("Enter MAC Address to restore using UDP or click Cancel to abort"), mac)
        || mac.isEmpty())
        return Result::Cancelled;
    return resetByMac(mac);
}

FactoryReset::Result FactoryReset::resetByAddress(const QString &address)
{
    QPointer<FactoryReset> self(this);
    m_op.setBusy(true);
    bool found = false;
    for (int left = pingTurns; left > 0 && !found; --left) {
        Q_EMIT pingCountChanged(QString::number(left));
        found = ping && ping(address, pingTimeoutMs);
        if (!self) {
            m_op.setBusy(false);
            return Result::Stopped;
        }
        if (!found)
            wait::delay(pingGapMs);
    }
    Q_EMIT pingCountChanged(QString());
    if (!found) {
        m_op.setBusy(false);
        m_op.warning(address + QStringLiteral(" not found on the network"));
        return Result::NotFound;
    }

    m_target = address;
    QTcpSocket socket;
    socket.connectToHost(address, port);
    wait::until([&] { return socket.state() == QAbstractSocket::ConnectedState
                             || socket.state() == QAbstractSocket::UnconnectedState; },
                connectMs);
    Result result = Result::Restored;
    if (socket.state() != QAbstractSocket::ConnectedState) {
        m_op.log(QStringLiteral("Factory reset: cannot connect to ") + address + QLatin1Char(':')
                 + QString::number(port));
        result = Result::ConnectFailed;
    } else {
        for (char command : {'S', 'c'}) {
            if (!sendAndAwaitAck(socket, command, ackTurns, ackTurnMs)) {
                m_op.log(QStringLiteral("Factory reset of ") + address + QStringLiteral(" stopped: no acknowledgement to ")
                         + QLatin1Char(command));
                result = Result::Stopped;
                break;
            }
        }
        if (result == Result::Restored) {
            socket.write("R");
            socket.flush();
            m_op.information(restoredText(address));
        }
        socket.close();
    }
    m_target.clear();
    m_op.setBusy(false);
    return result;
}

FactoryReset::Result FactoryReset::resetByMac(const QString &text)
{
    if (!validMacText(text)) {
        m_op.warning(text + QStringLiteral(" is not a valid Brivella MAC address"));
        return Result::Invalid;
    }
    const std::optional<unicast::Mac> mac = unicast::parseMac(text);
    if (!mac)
        return Result::Invalid;
    m_cycle.awaitFactoryReset(text);
    const QString before = m_transport.BroadCastIP();
    m_transport.setOnDiscoveryComplete(nullptr);
    m_transport.setBroadCastIP(udpDestination);
    m_transport.SendBroadCast(unicast::factoryReset(*mac));
    m_op.log(QStringLiteral("Attempting to factory reset ") + text);
    m_transport.setBroadCastIP(before);
    return Result::Requested;
}

ConnectAndReboot::ConnectAndReboot(Operator &op, UnitTable &units, QObject *parent)
    : QObject(parent), m_op(op), m_units(units)
{
}

ConnectAndReboot::Result ConnectAndReboot::run(const QString &address)
{
    if (!m_units.current())
        return Result::NoUnit;
    if (!isValidUnitIP(address, false))
        return Result::Invalid;
    QPointer<ConnectAndReboot> self(this);
    m_op.setBusy(true);
    struct Busy
    {
        Operator &op;
        ~Busy() { op.setBusy(false); }
    } busy{m_op};

    if (QPointer<QTcpSocket> current = currentSocket ? currentSocket() : nullptr) {
        current->write("C");
        current->flush();
        for (int i = 0; i < turns && current && current->state() != QAbstractSocket::UnconnectedState; ++i)
            wait::until([&] { return !current || current->state() == QAbstractSocket::UnconnectedState; }, turnMs);
        if (!self)
            return Result::CloseFailed;
        if (current && current->state() != QAbstractSocket::UnconnectedState) {
            m_op.warning(QStringLiteral("Failed to Close the Socket. Reboot aborted"));
            return Result::CloseFailed;
        }
    }

    QTcpSocket client;
    client.connectToHost(address, port);
    for (int i = 0; i < turns && client.state() != QAbstractSocket::ConnectedState; ++i) {
        if (client.state() == QAbstractSocket::UnconnectedState)
            client.connectToHost(address, port); // refused at once: try again next turn
        wait::until([&] { return client.state() == QAbstractSocket::ConnectedState; }, turnMs);
        if (!self)
            return Result::ConnectFailed;
    }
    Result result;
    if (client.state() == QAbstractSocket::ConnectedState) {
        if (greeting && m_units.current())
            client.write(greeting(*m_units.current()));
        client.write("R");
        client.flush();
        m_op.information(QStringLiteral("Reboot successful for Vork Unit ") + address);
        result = Result::Rebooted;
    } else {
        m_op.warning(QStringLiteral("Failed to Connect to Vork Unit ") + address);
        result = Result::ConnectFailed;
    }
    wait::delay(turnMs);
    client.close();
    return result;
}

} // namespace vork
