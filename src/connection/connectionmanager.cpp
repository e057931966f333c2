#include "connection/connectionmanager.h"

#include "connection/unitclient.h"
#include "core/boundedwait.h"
#include "core/operator.h"
#include "core/version.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace vork {

namespace {
constexpr int pingAttempts = 5;
constexpr int pingTimeoutMs = 200;
constexpr int pingPauseMs = 100;
constexpr int connectCheckMs = 500;

QString peerText(QTcpSocket *socket)
{
    return QHostAddress(socket->peerAddress().toIPv4Address()).toString();
}
} // namespace

ConnectionManager::ConnectionManager(Operator &op, UnitTable &units, ProtocolVariant &variant, Ping ping,
                                     QObject *parent)
    : QObject(parent), m_op(op), m_units(units), m_variant(variant), m_ping(std::move(ping))
{
    connect(&m_units, &UnitTable::aboutToClear, this, &ConnectionManager::tableAboutToClear);
}

ConnectionManager::~ConnectionManager()
{
    // A socket going down with its client must not call back into a manager that is going too.
    for (const QPointer<UnitClient> &c : std::as_const(m_clients))
        if (c)
            c->socket()->disconnect(this);
}

QString ConnectionManager::versionPanelText(const udppack &unit)
{
    if (unit.model == 8)
        return unit.vnumber;
    return unit.vnumber + ((unit.model & 1) ? QLatin1Char('e') : QLatin1Char('s'));
}

UnitClient *ConnectionManager::existingClient(const udppack &unit) const
{
    return unit.link ? m_clients.value(unit.link).data() : nullptr;
}

UnitClient *ConnectionManager::client(udppack &unit)
{
    if (m_units.indexOf(&unit) < 0 || unit.link == 0)
        return nullptr;
    if (UnitClient *c = existingClient(unit))
        return c;
    auto *c = new UnitClient(unit.link, unit.ip, m_router, this);
    m_clients.insert(unit.link, c);
    QTcpSocket *s = c->socket();
    const QPointer<UnitClient> guard(c);
    connect(s, &QTcpSocket::connected, this, [this, guard] {
        if (guard)
            onConnected(guard);
    });
    connect(s, &QTcpSocket::disconnected, this, [this, guard] {
        if (guard)
            onDisconnected(guard);
    });
    connect(s, &QTcpSocket::errorOccurred, this, [this, guard](QAbstractSocket::SocketError e) {
        if (guard)
            onError(guard, static_cast<int>(e));
    });
    connect(s, &QTcpSocket::readyRead, this, [this, guard] {
        if (guard)
            dispatch(guard);
    });
    const quint64 link = unit.link;
    auto *timer = new QTimer(c);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, guard] {
        if (guard)
            blockTimedOut(guard);
    });
    m_blockTimers.insert(link, timer);
    connect(c, &QObject::destroyed, this, [this, link] {
        m_clients.remove(link);
        m_blockTimers.remove(link);
    });
    return c;
}

QTcpSocket *ConnectionManager::socket(udppack &unit)
{
    UnitClient *c = client(unit);
    return c ? c->socket() : nullptr;
}

bool ConnectionManager::isOpen(const udppack *unit) const
{
    const UnitClient *c = unit ? existingClient(*unit) : nullptr;
    return c && c->isOpen();
}

quint64 ConnectionManager::connectionSerial(const udppack &unit) const
{
    const UnitClient *c = existingClient(unit);
    return c && c->isOpen() ? c->serial() : 0;
}

UnitClient *ConnectionManager::clientOf(QTcpSocket *socket) const
{
    return socket ? qobject_cast<UnitClient *>(socket->parent()) : nullptr;
}

void ConnectionManager::tableAboutToClear()
{
    if (isOpen(m_units.current()))
        CloseSocket();
    dropClients();
}

void ConnectionManager::dropClients()
{
    const auto clients = m_clients;
    for (const QPointer<UnitClient> &c : clients) {
        if (!c)
            continue;
        c->close(); // a connected one reports its disconnect while its unit is still in the table
        if (c)
            c->deleteLater(); // its queued events may still be on their way
    }
    m_clients.clear();
    m_blockTimers.clear();
}

bool ConnectionManager::anyConnected() const
{
    for (int i = 0; i < m_units.count(); ++i)
        if (m_units.unit(i).connected)
            return true;
    return false;
}

bool ConnectionManager::Connect_or_timeout(int timeoutMs)
{
    udppack *unit = m_units.current();
    if (!unit)
        return false;
    const QPointer<UnitClient> c = client(*unit);
    if (!c)
        return false;
    if (unit->connected && c->isOpen())
        return true;

    // Our own deadline: nothing else restarting a timer can stretch or cut it.
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    m_connectFailed = false;
    const QString ip = unit->ip;
    if (c->address() != ip)
        c->setAddress(ip);

    bool reachable = false;
    for (int attempt = 0; attempt < pingAttempts && !reachable; ++attempt) {
        reachable = m_ping && m_ping(ip, pingTimeoutMs);
        if (!reachable && attempt + 1 < pingAttempts)
            wait::delay(pingPauseMs);
        if (!c)
            return false;
    }
    if (!reachable) {
        // Every network action leaves a line, this one too.
        m_op.log(QStringLiteral("No ping answer from Vork Unit ") + ip);
        return false;
    }

    QTcpSocket *socket = c->socket();
    socket->connectToHost(QHostAddress(ip), c->port());
    m_op.breathe();

    for (;;) {
        if (!c)
            return false;
        if (socket->state() == QAbstractSocket::ConnectedState)
            return true;
        if (deadline.hasExpired() || m_connectFailed) {
            socket->abort();
            m_op.setPanel(Panel::Connection, QStringLiteral("Failed to Connect to ") + ip);
            m_op.log(QStringLiteral("Failed to Connect to ") + ip);
            m_op.breathe();
            return false;
        }
        wait::until([&] { return !c || socket->state() == QAbstractSocket::ConnectedState || m_connectFailed; },
                    connectCheckMs);
    }
}

bool ConnectionManager::Exit_socket(udppack *unit)
{
    if (!unit || !unit->connected)
        return true;
    const QPointer<UnitClient> c = existingClient(*unit);
    if (!c)
        return true;
    m_op.log(QStringLiteral("Sent C Command to Vork Unit ") + unit->ip);
    if (WaitForAck(c->socket(), 1, Command::Close) == AckResult::Ack)
        return true;
    m_op.log(QStringLiteral("Vork Unit failed to Respond to Close Socket Command"));
    if (c)
        c->close();
    return false;
}

void ConnectionManager::CloseSocket()
{
    udppack *unit = m_units.current();
    if (!unit)
        return;
    const QPointer<UnitClient> c = existingClient(*unit);
    if (!c)
        return;
    if (c->isOpen()) {
        m_op.breathe();
        Q_EMIT closingCurrent();
        if (c) {
            const int index = m_units.findByLink(c->link());
            if (index >= 0)
                Exit_socket(&m_units.unit(index));
        }
    }
    if (c)
        c->close();
    m_op.breathe();
}

void ConnectionManager::onConnected(UnitClient *c)
{
    const int index = m_units.findByLink(c->link());
    if (index < 0)
        return;
    udppack &unit = m_units.unit(index);
    unit.connected = true;
    unit.selected = true;
    unit.ip = peerText(c->socket());
    c->setSerial(m_nextSerial++);
    c->assembler().reset();

    // The login goes to the unit whose socket connected, whichever unit is current.
    if (loginRequired(unit))
        c->socket()->write(authenticationText());

    m_op.setPanel(Panel::Connection, QStringLiteral("Connected to ") + unit.ip);
    m_op.setPanel(Panel::Version, versionPanelText(unit));
    m_op.setPanel(Panel::Description, unit.desc);
    m_op.setPanel(Panel::Idle, idleText(unit));
    m_op.setPanel(Panel::ProgramVersion, ProgramVersion::current().text(true));
    m_op.log(QStringLiteral("Connected to Vork Unit ") + unit.ip);
    m_lastConnectedIP = unit.ip;
    Q_EMIT unitActionsEnabled(true);
    m_variant.isStandard(&unit);
    m_op.tone(Tone::Connect);
    Q_EMIT unitChanged(index);
    Q_EMIT connected(index);
}

void ConnectionManager::onDisconnected(UnitClient *c)
{
    const int index = m_units.findByLink(c->link());
    QString address = c->address();
    if (index >= 0) {
        udppack &unit = m_units.unit(index);
        address = unit.ip;
        unit.connected = false;
        if (!m_units.selectionHeld())
            unit.selected = false;
        m_units.releaseSelectAll();
        Q_EMIT unitChanged(index);
    }
    dropBlock(c); // what arrived of a block cut by the close is handed on, not lost in silence
    c->assembler().reset();
    m_resync.remove(c->link());
    const bool any = anyConnected();
    for (Panel panel : {Panel::Connection, Panel::Version, Panel::Description, Panel::Idle})
        m_op.setPanel(panel, QString());
    m_op.log(QStringLiteral("Disconnected from Vork Unit ") + address);
    Q_EMIT unitActionsEnabled(any);
    m_op.tone(Tone::Disconnect);
    Q_EMIT disconnected(index);
    if (c->socket()->state() != QAbstractSocket::UnconnectedState)
        c->socket()->abort();
}

void ConnectionManager::onError(UnitClient *c, int code)
{
    // A unit closing its end (after 'C', or on reboot) is a disconnect, not an error.
    if (code == QAbstractSocket::RemoteHostClosedError)
        return;
    m_op.tone(Tone::Error);
    m_op.log(QStringLiteral("Socket Error ") + c->socket()->errorString() + QStringLiteral(" (")
             + QString::number(code) + QLatin1Char(')'));
    for (int panel = 0; panel < statusPanelCount; ++panel)
        m_op.setPanel(panel, QString());
    const int index = m_units.findByLink(c->link());
    c->close();
    m_connectFailed = true;
    Q_EMIT socketFailed(index, code);
}

} // namespace vork
