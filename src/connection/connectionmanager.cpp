#include "connection/connectionmanager.h"

#include "core/boundedwait.h"
#include "core/operator.h"
#include "core/version.h"
#include "connection/unitclient.h"
#include "setup/setuprecord.h"
#include "unit/announcement.h"
#include "unit/bytecursor.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QLocale>
#include <QTcpSocket>
#include <QTimer>

namespace vork {

namespace {
constexpr int pingAttempts = 5;
constexpr int pingTimeoutMs = 200;
constexpr int pingPauseMs = 100;
constexpr int connectCheckMs = 500;
constexpr int infoBlockSize = announcement::fullSize;

UnitClient *clientOf(QTcpSocket *socket)
{
    return socket ? qobject_cast<UnitClient *>(socket->parent()) : nullptr;
}

QString peerText(QTcpSocket *socket)
{
    return QHostAddress(socket->peerAddress().toIPv4Address()).toString();
}
} // namespace

ConnectionManager::ConnectionManager(Operator &op, UnitTable &units, ProtocolVariant &variant, Ping ping,
                                     QObject *parent)
    : QObject(parent), m_op(op), m_units(units), m_variant(variant), m_ping(std::move(ping))
{
    connect(&m_units, &UnitTable::clientCreated, this, &ConnectionManager::attach);
    // The table may outlive this manager (either may go first when their owner is destroyed).
    m_units.closeCurrentConnection = [guard = QPointer<ConnectionManager>(this)] {
        if (guard)
            guard->CloseSocket();
    };
    for (int i = 0; i < m_units.count(); ++i)
        if (m_units.unit(i).cs)
            attach(m_units.unit(i).cs);
}

ConnectionManager::~ConnectionManager() = default;

QString ConnectionManager::versionPanelText(const udppack &unit)
{
    if (unit.model == 8)
        return unit.vnumber;
    return unit.vnumber + ((unit.model & 1) ? QLatin1Char('e') : QLatin1Char('s'));
}

QString ConnectionManager::clockLabel(const QDateTime &t)
{
    // English names whatever the desktop's language: the label matches the unit's own texts.
    return QLatin1Char(' ') + QLocale::c().toString(t, QStringLiteral("dddd, MMMM d, yyyy, hh:mm:ss AP"));
}

QString ConnectionManager::unitName(const udppack *unit) const
{
    return unit ? unit->ip : QString();
}

quint64 ConnectionManager::connectionSerial(const UnitClient *client) const
{
    return m_serials.value(const_cast<UnitClient *>(client), 0);
}

void ConnectionManager::attach(UnitClient *client)
{
    if (!client)
        return;
    QTcpSocket *s = client->socket();
    s->disconnect(this);
    const QPointer<UnitClient> guard(client);
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
    connect(client, &QObject::destroyed, this, [this, client] {
        m_assembly.remove(client);
        m_serials.remove(client);
    });
}

void ConnectionManager::registerBlock(ReplyType type, BlockSize size, BlockHandler handler)
{
    m_registered.insert(static_cast<std::uint8_t>(type), {std::move(size), std::move(handler)});
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
    if (!unit || !unit->cs)
        return false;
    const QPointer<UnitClient> client = unit->cs;
    if (unit->connected && client->isOpen())
        return true;

    // Our own deadline: nothing else restarting a timer can stretch or cut it.
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    m_connectFailed = false;
    const QString ip = unit->ip;
    if (client->address() != ip)
        client->setAddress(ip);

    bool reachable = false;
    for (int attempt = 0; attempt < pingAttempts && !reachable; ++attempt) {
        reachable = m_ping && m_ping(ip, pingTimeoutMs);
        if (!reachable && attempt + 1 < pingAttempts)
            wait::delay(pingPauseMs);
        if (!client)
            return false;
    }
    if (!reachable)
        return false;

    QTcpSocket *socket = client->socket();
    socket->connectToHost(QHostAddress(ip), client->port());
    m_op.breathe();

    bool result = false;
    for (;;) {
        if (!client)
            return false;
        if (socket->state() == QAbstractSocket::ConnectedState) {
            result = true;
            break;
        }
        if (deadline.hasExpired() || m_connectFailed) {
            socket->abort();
            m_op.setPanel(1, QStringLiteral("Failed to Connect to ") + ip);
            m_op.breathe();
            break;
        }
        wait::until([&] { return !client || socket->state() == QAbstractSocket::ConnectedState || m_connectFailed; },
                    connectCheckMs);
    }
    return result;
}

bool ConnectionManager::WaitForAck(QTcpSocket *socket, int timeoutSeconds, Command command)
{
    if (!socket)
        return false;
    const QPointer<QTcpSocket> guard(socket);
    const int index = m_units.findBySocket(clientOf(socket));
    const QString address = index >= 0 ? m_units.unit(index).ip : peerText(socket);
    const bool outerWaiting = m_waitingForAck;
    m_waitingForAck = true;
    m_ack = m_nak = false;

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

    const auto answered = [&] {
        // Asked again after the answer (the wait checks more than once): read nothing more.
        if (!guard || m_ack || m_nak)
            return true;
        while (guard->bytesAvailable() > 0) {
            char b = 0;
            if (guard->read(&b, 1) != 1)
                break;
            const auto byte = static_cast<std::uint8_t>(b);
            if (byte == ACK)
                m_ack = true;
            else if (byte == NAK)
                m_nak = true;
            if (m_ack || m_nak)
                return true; // bytes after the answer stay for the dispatcher
        }
        return guard->state() != QAbstractSocket::ConnectedState;
    };
    wait::until(answered, timeoutSeconds * 1000);

    bool result = false;
    if (m_ack || m_nak) {
        m_op.breathe();
        if (m_ack) {
            m_op.log(QStringLiteral("Ack Received from Vork Unit ") + address);
            result = true;
        }
    } else {
        m_op.log(QStringLiteral("Did not receive an Ack from Vork Unit ") + address);
        if (guard)
            flushbuffer(guard);
    }
    m_waitingForAck = outerWaiting;
    m_op.log(QStringLiteral("Wait for Ack Exit"));
    if (!m_waitingForAck)
        QMetaObject::invokeMethod(this, &ConnectionManager::redispatchPending, Qt::QueuedConnection);
    return result;
}

void ConnectionManager::redispatchPending()
{
    for (int i = 0; i < m_units.count(); ++i) {
        UnitClient *c = m_units.unit(i).cs;
        if (c && c->socket()->bytesAvailable() > 0)
            dispatch(c);
    }
}

void ConnectionManager::flushbuffer(QTcpSocket *socket)
{
    if (!socket)
        return;
    socket->readAll();
    if (UnitClient *c = clientOf(socket)) {
        auto it = m_assembly.find(c);
        if (it != m_assembly.end()) {
            if (it->timer)
                it->timer->stop();
            it->type = 0;
            it->bytes.clear();
        }
    }
}

bool ConnectionManager::Exit_socket(udppack *unit)
{
    if (!unit || !unit->cs || !unit->connected)
        return true;
    const QPointer<UnitClient> client = unit->cs;
    m_op.log(QStringLiteral("Sent C Command to Vork Unit ") + unit->ip);
    if (WaitForAck(client->socket(), 1, Command::Close))
        return true;
    m_op.log(QStringLiteral("Vork Unit failed to Respond to Close Socket Command"));
    if (client)
        client->close();
    return false;
}

void ConnectionManager::CloseSocket()
{
    udppack *unit = m_units.current();
    if (!unit || !unit->cs)
        return;
    const QPointer<UnitClient> client = unit->cs;
    if (client->isOpen()) {
        m_op.breathe();
        if (leaveMode)
            leaveMode();
        const int index = m_units.findBySocket(client);
        if (index >= 0)
            Exit_socket(&m_units.unit(index));
    }
    if (client)
        client->close();
    m_op.breathe();
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

bool ConnectionManager::clickConnect(const QString &ip)
{
    int index = m_units.findByIP(ip);
    if (index < 0)
        return false;
    if (!m_units.current())
        m_units.setCurrent(&m_units.unit(index));

    udppack *current = m_units.current();
    if (current->cs && current->cs->isOpen()) {
        const bool wasClicked = current->ip == ip;
        const QPointer<UnitClient> open = current->cs;
        m_op.log(QStringLiteral("Waiting for socket disconnect"));
        open->socket()->disconnectFromHost();
        wait::until([&] { return !open || !open->isOpen(); }, 9 * 500);
        if (open && open->isOpen())
            open->close();
        if (wasClicked)
            return false; // a second click disconnects
    }

    index = m_units.findByIP(ip);
    if (index < 0)
        return false;
    udppack &clicked = m_units.unit(index);
    m_units.setCurrent(&clicked);
    m_op.setPanel(1, QStringLiteral("Connected to ") + ip);
    m_op.setPanel(2, versionPanelText(clicked));
    m_op.setPanel(3, clicked.desc);
    if (ip.isEmpty()) {
        m_op.log(QStringLiteral("Invalid IP address"));
        return false;
    }
    const QPointer<UnitClient> client = clicked.cs;
    const bool ok = Connect_or_timeout(5);
    if (ok && client) {
        m_units.setConnectedIndex(m_units.findBySocket(client));
    } else {
        m_op.setPanel(1, QStringLiteral("Failed to Connect to ") + ip);
    }
    return ok;
}

QString ConnectionManager::menuConnectFailure(const QString &ip)
{
    return QStringLiteral("Failed to connect to ") + ip
           + QStringLiteral(" Try clicking on the description field to establish a connection then go to the setup "
                            "tab after you see the red check mark.");
}

bool ConnectionManager::prepareMenuUnit(const QString &ip, bool isDisconnect, bool needsConnection)
{
    if (m_units.findByIP(ip) < 0)
        return false;
    udppack *current = m_units.current();
    if (!isDisconnect && current && current->ip != ip && current->cs && current->cs->isOpen()) {
        const QPointer<UnitClient> open = current->cs;
        open->close();
        wait::until([&] { return !open || !open->isOpen(); }, 1000 * 20);
        if (open && open->isOpen())
            return false;
    }
    const int index = m_units.findByIP(ip);
    if (index < 0)
        return false;
    udppack &unit = m_units.unit(index);
    m_units.setCurrent(&unit);
    if (!needsConnection || (unit.connected && unit.cs && unit.cs->isOpen()))
        return true;
    if (Connect_or_timeout(50))
        return true;
    m_op.error(menuConnectFailure(ip));
    return false;
}

void ConnectionManager::onConnected(UnitClient *client)
{
    const int index = m_units.findBySocket(client);
    if (index < 0)
        return;
    udppack &unit = m_units.unit(index);
    unit.connected = true;
    unit.selected = true;
    unit.ip = peerText(client->socket());
    m_serials[client] = m_nextSerial++;
    m_assembly.remove(client);

    // The login goes to the unit whose socket connected, whichever unit is current.
    if (loginRequired(unit))
        client->socket()->write(authenticationText());

    m_op.setPanel(1, QStringLiteral("Connected to ") + unit.ip);
    m_op.setPanel(2, versionPanelText(unit));
    m_op.setPanel(3, unit.desc);
    m_op.setPanel(5, idleText(unit));
    m_op.setPanel(4, ProgramVersion::current().text(true));
    m_op.log(QStringLiteral("Connected to Vork Unit ") + unit.ip);
    m_lastConnectedIP = unit.ip;
    Q_EMIT unitActionsEnabled(true);
    m_variant.isStandard(&unit);
    m_op.tone(Tone::Connect);
    Q_EMIT unitChanged(index);
    Q_EMIT connected(index);
}

void ConnectionManager::onDisconnected(UnitClient *client)
{
    const int index = m_units.findBySocket(client);
    QString address = client->address();
    if (index >= 0) {
        udppack &unit = m_units.unit(index);
        address = unit.ip;
        unit.connected = false;
        if (!(autoUpdateTabShowing && autoUpdateTabShowing()))
            unit.selected = false;
        m_units.releaseSelectAll();
        Q_EMIT unitChanged(index);
    }
    m_assembly.remove(client);
    const bool any = anyConnected();
    for (int panel : {1, 2, 3, 5})
        m_op.setPanel(panel, QString());
    m_op.log(QStringLiteral("Disconnected from Vork Unit ") + address);
    Q_EMIT unitActionsEnabled(any);
    m_op.tone(Tone::Disconnect);
    Q_EMIT disconnected(index);
    if (client->socket()->state() != QAbstractSocket::UnconnectedState)
        client->socket()->abort();
}

void ConnectionManager::onError(UnitClient *client, int code)
{
    // A unit closing its end (after 'C', or on reboot) is a disconnect, not an error.
    if (code == QAbstractSocket::RemoteHostClosedError)
        return;
    m_op.tone(Tone::Error);
    m_op.log(QStringLiteral("Socket Error ") + QString::number(code));
    for (int panel = 0; panel < statusPanelCount; ++panel)
        m_op.setPanel(panel, QString());
    client->socket()->abort();
    if (historyPageShowing && historyPageShowing() && historyErrorEndsRetrieval)
        historyErrorEndsRetrieval();
    m_connectFailed = true;
}

void ConnectionManager::dispatch(UnitClient *client)
{
    if (flashInProgress || m_waitingForAck)
        return; // the bytes stay for whoever reads the socket itself
    QTcpSocket *socket = client->socket();
    m_ack = m_nak = false;
    const int index = m_units.findBySocket(client);
    if (index < 0) {
        if (socket->bytesAvailable() > 0) {
            m_op.log(QStringLiteral("Socket Not Found for ") + peerText(socket));
            socket->readAll();
        }
        return;
    }

    while (socket->bytesAvailable() > 0 && !m_waitingForAck && !flashInProgress) {
        const int i = m_units.findBySocket(client);
        if (i < 0)
            return;
        udppack &unit = m_units.unit(i);
        Assembly &a = m_assembly[client];
        if (a.type != 0) {
            const qint64 want = a.need - a.bytes.size();
            a.bytes += socket->read(want);
            if (auto it = m_registered.find(a.type); it != m_registered.end() && it->size) {
                const int need = it->size(unit, a.bytes);
                if (need > 0)
                    a.need = need;
            }
            if (a.bytes.size() >= a.need && a.need > 0) {
                finishBlock(client, unit, a);
            } else if (a.timer) {
                const bool shortEnough = a.minimum > 0 && a.bytes.size() >= a.minimum;
                a.timer->start(shortEnough ? shortSetupQuietMs : blockAssemblyMs);
            }
            continue;
        }

        char b = 0;
        if (socket->read(&b, 1) != 1)
            break;
        const auto type = static_cast<std::uint8_t>(b);
        m_units.setCurrent(&unit);
        if (type == ACK) {
            m_ack = true;
            m_op.log(QStringLiteral("Received ack from Vork Unit ") + unit.ip);
            if (((historyPageShowing && historyPageShowing()) || (historyExportDown && historyExportDown()))
                && historyAckCompletes)
                historyAckCompletes();
        } else if (type == NAK) {
            m_nak = true;
            m_op.log(QStringLiteral("Received nak from Vork Unit ") + unit.ip);
        } else if (!startBlock(a, unit, type)) {
            ++m_undefined;
        } else {
            a.serial = m_serials.value(client);
            if (!a.timer) {
                a.timer = new QTimer(client);
                a.timer->setSingleShot(true);
                const QPointer<UnitClient> guard(client);
                connect(a.timer, &QTimer::timeout, this, [this, guard] {
                    if (guard)
                        assemblyTimedOut(guard);
                });
            }
            a.timer->start(blockAssemblyMs);
            if (a.need == 0 && a.minimum == 0) // a block with no body
                finishBlock(client, unit, a);
        }
    }
}

bool ConnectionManager::startBlock(Assembly &a, udppack &unit, std::uint8_t type)
{
    a.bytes.clear();
    a.minimum = 0;
    switch (static_cast<ReplyType>(type)) {
    case ReplyType::Setup:
        a.need = setupRecordSize;
        a.minimum = qMin(setupRecordSize, setupSize(versionNumber(unit.ver)));
        break;
    case ReplyType::Clock: a.need = clockBlockSize; break;
    case ReplyType::Version: a.need = versionBlockSize; break;
    case ReplyType::Info: a.need = infoBlockSize; break;
    case ReplyType::Checksum: a.need = checksumBlockSize; break;
    default: {
        const auto it = m_registered.find(type);
        if (it == m_registered.end())
            return false;
        a.need = it->size ? it->size(unit, {}) : 0;
        if (a.need <= 0)
            a.need = 1; // at least one byte before its size is known
        break;
    }
    }
    a.type = type;
    return true;
}

void ConnectionManager::finishBlock(UnitClient *client, udppack &unit, Assembly &a)
{
    if (a.timer)
        a.timer->stop();
    const std::uint8_t type = a.type;
    const QByteArray block = a.bytes;
    a.type = 0;
    a.bytes.clear();
    handleBlock(unit, client, type, block);
    const int i = m_units.findBySocket(client);
    ResetBC(i >= 0 ? &m_units.unit(i) : nullptr);
}

void ConnectionManager::assemblyTimedOut(UnitClient *client)
{
    auto it = m_assembly.find(client);
    if (it == m_assembly.end() || it->type == 0)
        return;
    const int i = m_units.findBySocket(client);
    if (i < 0) {
        it->type = 0;
        it->bytes.clear();
        return;
    }
    udppack &unit = m_units.unit(i);
    if (it->minimum > 0 && it->bytes.size() >= it->minimum) {
        finishBlock(client, unit, *it); // an older unit's shorter setup record
        return;
    }
    m_op.log(QStringLiteral("Incomplete '") + QChar(static_cast<char16_t>(it->type)) + QStringLiteral("' reply from Vork Unit ") + unit.ip
             + QStringLiteral(" dropped: ") + QString::number(it->bytes.size()) + QStringLiteral(" of ")
             + QString::number(it->need) + QStringLiteral(" bytes"));
    it->type = 0;
    it->bytes.clear();
}

void ConnectionManager::handleBlock(udppack &unit, UnitClient *client, std::uint8_t type, const QByteArray &block)
{
    switch (static_cast<ReplyType>(type)) {
    case ReplyType::Setup: receiveSetupData(unit, client, block); return;
    case ReplyType::Clock: receiveTimeData(unit, block); return;
    case ReplyType::Version: receiveVersionData(unit, block); return;
    case ReplyType::Info: receiveInfo(unit, client, block); return;
    case ReplyType::Checksum: receiveCS(unit, block); return;
    default:
        break;
    }
    const auto it = m_registered.find(type);
    if (it != m_registered.end() && it->handler)
        it->handler(unit, block);
}

void ConnectionManager::receiveSetupData(udppack &unit, UnitClient *client, const QByteArray &block)
{
    const int n = static_cast<int>(qMin<qsizetype>(block.size(), setupRecordSize));
    m_lastSetup.bytes = block.left(n);
    m_lastSetup.ip = unit.ip;
    m_lastSetup.connection = m_serials.value(client);
    // Older firmware keeps its last fields elsewhere: in memory the layout is always the same.
    setuppack record(block.left(n));
    shiftOlderLayout(record, ShiftDirection::Received, versionNumber(unit.ver));
    if (setupReceived)
        setupReceived(record.bytes(), n);
    m_op.log(QStringLiteral("Config File Received ( ") + QString::number(n) + QStringLiteral(" Bytes )")
             + QStringLiteral(" for ") + unit.ip);
}

void ConnectionManager::receiveTimeData(udppack &unit, const QByteArray &block)
{
    const dtpack d = readDtpack(block);
    const bool inRange = d.sec <= 59 && d.minutes <= 59 && d.hrs <= 23 && d.dayOfMonth >= 1 && d.dayOfMonth <= 31
                         && d.dayOfWeek <= 7 && d.mon >= 1 && d.mon <= 12 && d.year <= 98 && d.cent >= 1
                         && d.cent <= 98;
    const QDate date(d.fullYear(), d.mon, d.dayOfMonth);
    if (!inRange || !date.isValid())
        return; // a clock the unit cannot mean: ignored
    const QDateTime t(date, QTime(d.hrs, d.minutes, d.sec));
    if (clockReceived)
        clockReceived(t);
    m_op.log(QStringLiteral("Time Data Received for ") + unit.ip);
    m_op.log(QStringLiteral("Vork Unit ") + unit.ip + QStringLiteral(" Current Date/Time is \"") + clockLabel(t)
             + QLatin1Char('"'));
}

void ConnectionManager::receiveVersionData(udppack &unit, const QByteArray &block)
{
    m_version = block.left(versionBlockSize);
    ByteReader r(block);
    vpack v;
    for (auto &b : v.vnum)
        b = r.u8();
    for (auto &b : v.vbld)
        b = r.u8();
    v.vrcnt = r.u8();
    m_op.log(QStringLiteral("Version Data Received for ") + unit.ip + QStringLiteral(" Version ") + versionText(v)
             + QStringLiteral(" Build Date ") + buildDateText(v));
}

void ConnectionManager::receiveInfo(udppack &unit, UnitClient *client, const QByteArray &block)
{
    udppack decoded;
    decodeAnnouncement(block, static_cast<int>(block.size()), decoded);
    const QString address = peerText(client->socket());
    Q_UNUSED(unit);
    const QPointer<UnitClient> guard(client);
    m_units.enterAnnouncement(decoded, address);
    m_op.log(QStringLiteral("Info Data Received for ") + address);
    m_op.setPanel(0, QStringLiteral("Info Received"));
    m_op.breathe();
    // The connection that delivered it is closed with the close command.
    if (!guard || !guard->isOpen())
        return;
    m_op.log(QStringLiteral("Sent C Command to Vork Unit ") + address);
    if (!WaitForAck(guard->socket(), 1, Command::Close)) {
        m_op.log(QStringLiteral("Vork Unit failed to Respond to Close Socket Command"));
        if (guard)
            guard->close();
    }
}

void ConnectionManager::receiveCS(udppack &unit, const QByteArray &block)
{
    if (m_checksumBusy) {
        m_checksumBusy = false;
        m_checksumTimer->stop();
        m_op.setBusy(false);
    }
    ByteReader r(block);
    m_checksum.checksum = r.u32();
    m_checksum.byteCount = r.u32();
    r.u8();
    const std::uint32_t lo = r.u16();
    m_checksum.location = lo | (static_cast<std::uint32_t>(r.u8()) << 16);
    Q_EMIT checksumReady();

    if (checksumValidationOpen && checksumValidationOpen()) {
        if (checksumForValidation)
            checksumForValidation(m_checksum.ramMatches());
        return;
    }
    if (setupPageShowing && setupPageShowing())
        return;
    const QString text = QStringLiteral("Checksum = ") + QString::number(m_checksum.checksum, 16)
                         + QStringLiteral(" Byte Count = ") + QString::number(m_checksum.byteCount, 16);
    m_op.log(QStringLiteral("Checksum data for ") + unit.mac + QStringLiteral(": ") + text);
    m_op.information(text + QStringLiteral("\n\r")
                     + (m_checksum.ramMatches()
                            ? QStringLiteral("RAM program matches FLASH")
                            : QStringLiteral("RAM program mismatch at location ")
                                  + QString::number(m_checksum.location, 16)));
}

void ConnectionManager::checksumRequested()
{
    if (!m_checksumTimer) {
        m_checksumTimer = new QTimer(this);
        m_checksumTimer->setSingleShot(true);
        connect(m_checksumTimer, &QTimer::timeout, this, [this] {
            if (m_checksumBusy) {
                m_checksumBusy = false;
                m_op.setBusy(false);
            }
        });
    }
    if (!m_checksumBusy) {
        m_checksumBusy = true;
        m_op.setBusy(true);
    }
    m_checksumTimer->start(m_checksumBusyLimit);
}

} // namespace vork
