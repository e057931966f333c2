#include "simunitserver.h"

#include "unit/announcement.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <limits>
#include <memory>

namespace vork::sim {

namespace {
constexpr int queryLength = 13;
constexpr int queryClockOffset = 5;
constexpr int shortRequestLength = 11; // RAM, archive and factory-reset requests
constexpr int macOffset = 5;
constexpr int setIpLength = 23;
constexpr int setIpAddressOffset = 11;
// Datagrams handled in one turn before other units and timers get a say.
constexpr int maxDatagramsPerTurn = 256;
} // namespace

UdpRequest classifyRequest(QByteArrayView datagram)
{
    if (datagram.size() == queryLength && datagram.startsWith("SVRK?"))
        return UdpRequest::DiscoveryQuery;
    if (datagram.size() == queryLength && datagram.startsWith("SVRK#"))
        return UdpRequest::Reboot;
    if (datagram.size() == queryLength && datagram.startsWith("SVRK")
        && QByteArrayView("wrt").contains(datagram.at(4)))
        return UdpRequest::RestartService;
    if (datagram.size() == setIpLength && datagram.startsWith("SVRK*"))
        return UdpRequest::SetIp;
    if (datagram.size() == shortRequestLength && datagram.startsWith("SVRK^"))
        return UdpRequest::FactoryReset;
    if (datagram.size() == shortRequestLength && datagram.startsWith("RAMS"))
        return UdpRequest::Ram;
    if (datagram.size() == shortRequestLength && datagram.startsWith("ARCH"))
        return UdpRequest::Archive;
    return UdpRequest::Unknown;
}

SimUnitServer::SimUnitServer(const SimUnit &unit, QObject *parent)
    : QObject(parent), m_unit(unit), m_random(static_cast<quint32>(qHash(unit.mac)))
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_wall = [] { return QDateTime::currentDateTime(); };
    m_monotonic = [timer] { return timer->elapsed(); };
    m_startMs = m_monotonic();
    if (m_unit.setupRecord.isEmpty())
        m_unit.setupRecord = defaultSetupRecord(m_unit);
    setSetupRecord(m_unit.setupRecord);
    m_command = new SimCommandServer(*this);
    m_telnet = new SimTelnetServer(m_unit.telnet, this);
    m_telnet->setIdentity(m_unit.description.toLatin1(),
                          QByteArray::number(m_unit.version[0]) + '.' + QByteArray::number(m_unit.version[1]) + '.'
                              + QByteArray::number(m_unit.version[2]));
    connect(m_command, &SimCommandServer::rebootRequested, this, &SimUnitServer::reboot);
    m_restartTimer.setSingleShot(true);
    connect(&m_restartTimer, &QTimer::timeout, this, &SimUnitServer::comeBack);
}

SimUnitServer::~SimUnitServer()
{
    stop();
}

void SimUnitServer::setTimeSource(WallClock wall, Monotonic monotonic)
{
    m_wall = std::move(wall);
    m_monotonic = std::move(monotonic);
    m_startMs = m_monotonic();
}

bool SimUnitServer::start(const Options &options, QString *error)
{
    stop();
    auto *socket = new QUdpSocket(this);
    const QHostAddress bindAddress = options.bindAny ? QHostAddress(QHostAddress::AnyIPv4) : m_unit.address;
    if (bindAddress.protocol() != QAbstractSocket::IPv4Protocol || !socket->bind(bindAddress, options.port)) {
        if (error) {
            *error = QStringLiteral("cannot bind ") + bindAddress.toString() + QLatin1Char(':')
                     + QString::number(options.port) + QStringLiteral(": ") + socket->errorString();
        }
        delete socket;
        return false;
    }
    m_socket = socket;
    connect(socket, &QUdpSocket::readyRead, this, &SimUnitServer::readPending);
    if (options.tcp && !m_command->listen(bindAddress, options.tcpPort, error)) {
        stop();
        return false;
    }
    if (options.telnetPort != 0) {
        QString telnetError;
        if (!m_telnet->listen(bindAddress, options.telnetPort, &telnetError)) {
            if (!options.telnetOptional) {
                if (error)
                    *error = telnetError;
                stop();
                return false;
            }
            qWarning("vork-sim: %s", qPrintable(telnetError));
        }
    }
    m_options = options;
    m_started = true;
    return true;
}

void SimUnitServer::stop()
{
    m_started = false;
    m_down = false;
    m_restartTimer.stop();
    if (m_command)
        m_command->close();
    if (m_telnet)
        m_telnet->close();
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->close();
    m_socket->deleteLater();
    m_socket.clear();
}

void SimUnitServer::setSetupRecord(const QByteArray &record)
{
    m_unit.setupRecord = record.left(setupRecordSize).leftJustified(setupRecordSize, '\0');
}

void SimUnitServer::reboot()
{
    if (m_command)
        m_command->close();
    if (m_telnet)
        m_telnet->dropClients();
    m_down = true;
    if (m_pendingFirmware) {
        setFirmware(m_pendingFirmware->version, m_pendingFirmware->build, m_pendingFirmware->readers);
        m_pendingFirmware.reset();
    }
    // The run time starts again from zero at the reboot; the clock keeps running.
    m_unit.runTime = 0;
    m_startMs = m_monotonic();
    m_restartTimer.start(std::max(0, m_unit.restartSilenceMs));
    Q_EMIT wentDown();
}

void SimUnitServer::comeBack()
{
    m_down = false;
    if (m_started && m_options.tcp) {
        const QHostAddress bindAddress =
            m_options.bindAny ? QHostAddress(QHostAddress::AnyIPv4) : m_unit.address;
        QString error;
        if (!m_command->listen(bindAddress, m_options.tcpPort, &error))
            qWarning("vork-sim: %s", qPrintable(error));
    }
    Q_EMIT restarted();
}

SimUnit SimUnitServer::shownUnit() const
{
    SimUnit shown = m_unit;
    if (m_command && m_command->hasClient())
        shown.cons |= 0x08;
    return shown;
}

bool SimUnitServer::isListening() const
{
    return m_socket && m_socket->state() == QAbstractSocket::BoundState;
}

quint16 SimUnitServer::localPort() const
{
    return m_socket ? m_socket->localPort() : 0;
}

QDateTime SimUnitServer::clock() const
{
    return m_wall().addMSecs(m_unit.clockOffsetMs);
}

std::uint32_t SimUnitServer::runTime() const
{
    const qint64 ran = std::max<qint64>(0, m_monotonic() - m_startMs) / 1000;
    const qint64 total = static_cast<qint64>(m_unit.runTime) + ran;
    return static_cast<std::uint32_t>(std::min<qint64>(total, std::numeric_limits<std::uint32_t>::max()));
}

QByteArray SimUnitServer::fullAnnouncement() const
{
    return encodeAnnouncement(shownUnit().record(clock(), runTime()));
}

QByteArray SimUnitServer::announcement() const
{
    QByteArray bytes = fullAnnouncement();
    if (m_unit.oldFirmware)
        bytes.truncate(announcement::oldSize);
    return bytes;
}

void SimUnitServer::readPending()
{
    m_drainQueued = false;
    int handled = 0;
    while (m_socket && m_socket->hasPendingDatagrams()) {
        if (++handled > maxDatagramsPerTurn) {
            if (!m_drainQueued) {
                m_drainQueued = true;
                QMetaObject::invokeMethod(this, &SimUnitServer::readPending, Qt::QueuedConnection);
            }
            return;
        }
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        if (!datagram.isValid())
            return;
        const QHostAddress sender(datagram.senderAddress().toIPv4Address());
        handle(datagram.data(), sender, static_cast<quint16>(datagram.senderPort()));
    }
}

void SimUnitServer::handle(const QByteArray &bytes, const QHostAddress &sender, quint16 port)
{
    if (m_received.size() >= maxRecorded)
        m_received.removeFirst();
    m_received.append({bytes, sender, port});
    Q_EMIT datagramReceived(bytes, sender.toString(), port);
    if (m_down)
        return; // rebooting: heard on the wire, never answered

    switch (classifyRequest(bytes)) {
    case UdpRequest::DiscoveryQuery:
        answerQuery(bytes, sender, port);
        break;
    case UdpRequest::Reboot:
        // Only its own MAC reboots a unit; the request gets no answer.
        if (bytes.mid(macOffset, 6) == QByteArray::fromHex(m_unit.mac.toLatin1()))
            reboot();
        break;
    case UdpRequest::SetIp:
        // Addressed by MAC: every unit hears it, only the one it names moves.
        if (bytes.mid(macOffset, 6) == QByteArray::fromHex(m_unit.mac.toLatin1()) && !m_unit.faults.ignoreSetIp) {
            // Not inside the socket's own read loop: moving rebinds that socket.
            QTimer::singleShot(0, this, [this, bytes] { takeAddress(bytes); });
        }
        break;
    case UdpRequest::FactoryReset:
        // Like set-IP and reboot, the request gets no answer: the next discovery shows the unit.
        if (bytes.mid(macOffset, 6) == QByteArray::fromHex(m_unit.mac.toLatin1()))
            setSetupRecord(defaultSetupRecord(m_unit));
        break;
    case UdpRequest::Ram:
    case UdpRequest::Archive:
        answerRequest(bytes, sender, port);
        break;
    case UdpRequest::RestartService:
    case UdpRequest::Unknown:
        break;
    }
}

void SimUnitServer::takeAddress(const QByteArray &request)
{
    const auto address = [&](int offset) {
        quint32 a = 0;
        for (int i = 0; i < 4; ++i)
            a = (a << 8) | static_cast<quint8>(request.at(offset + i));
        return QHostAddress(a);
    };
    const QHostAddress ip = address(setIpAddressOffset);
    m_mask = address(setIpAddressOffset + 4);
    m_gateway = address(setIpAddressOffset + 8);
    m_unit.address = ip;
    if (!m_started) {
        Q_EMIT addressChanged(ip.toString());
        return;
    }
    if (m_options.bindAny) {
        // Bound to every address already: only the interface changes.
        if (!m_options.labIface.isEmpty())
            moveLabInterface(ip, qPopulationCount(m_mask.toIPv4Address()), m_gateway);
        Q_EMIT addressChanged(ip.toString());
        return;
    }
    // On loopback the unit's address is what its sockets are bound to.
    QString error;
    if (!start(m_options, &error)) {
        qWarning("vork-sim: %s", qPrintable(error));
        Q_EMIT addressChangeFailed(error);
        return;
    }
    Q_EMIT addressChanged(ip.toString());
}

void SimUnitServer::moveLabInterface(const QHostAddress &address, int prefix, const QHostAddress &gateway)
{
    // Argument vectors only: nothing from the datagram is ever parsed by a shell.
    const QString dev = m_options.labIface;
    QList<QStringList> steps{{QStringLiteral("addr"), QStringLiteral("flush"), QStringLiteral("dev"), dev},
                             {QStringLiteral("addr"), QStringLiteral("add"),
                              address.toString() + QLatin1Char('/') + QString::number(prefix), QStringLiteral("dev"),
                              dev}};
    if (gateway.toIPv4Address() != 0)
        steps.append({QStringLiteral("route"), QStringLiteral("replace"), QStringLiteral("default"),
                      QStringLiteral("via"), gateway.toString(), QStringLiteral("dev"), dev});
    auto run = std::make_shared<std::function<void(int)>>();
    *run = [this, steps, run](int k) {
        if (k >= steps.size())
            return;
        auto *p = new QProcess(this);
        connect(p, &QProcess::finished, this, [this, p, k, run, steps](int code, QProcess::ExitStatus status) {
            p->deleteLater();
            if (status != QProcess::NormalExit || code != 0) {
                Q_EMIT addressChangeFailed(QStringLiteral("ip ") + steps.at(k).join(QLatin1Char(' '))
                                           + QStringLiteral(": ") + QString::fromLocal8Bit(p->readAllStandardError()));
                *run = nullptr; // breaks the cycle between the lambda and its holder
                return;
            }
            (*run)(k + 1);
            if (k + 1 >= steps.size())
                *run = nullptr;
        });
        connect(p, &QProcess::errorOccurred, this, [this, p, run](QProcess::ProcessError) {
            if (p->state() != QProcess::NotRunning)
                return;
            Q_EMIT addressChangeFailed(QStringLiteral("ip: ") + p->errorString());
            p->deleteLater();
            *run = nullptr;
        });
        p->start(QStringLiteral("ip"), steps.at(k));
    };
    (*run)(0);
}

void SimUnitServer::answerRequest(const QByteArray &request, const QHostAddress &sender, quint16 port)
{
    if (m_unit.faults.silent)
        return;
    constexpr char done = 6;
    constexpr char failed = 33;
    constexpr char nothing = 63;
    char result = done;
    if (request.startsWith("ARCH")) {
        // The archive is a copy of the setup record, kept beside it.
        switch (request.at(4)) {
        case 'a':
            result = m_archive.isEmpty() ? done : nothing;
            if (m_archive.isEmpty())
                m_archive = m_unit.setupRecord;
            break;
        case 'r':
            result = m_archive.isEmpty() || m_archive == m_unit.setupRecord ? nothing : done;
            if (result == done)
                setSetupRecord(m_archive);
            break;
        case 'd':
            result = m_archive.isEmpty() ? nothing : done;
            m_archive.clear();
            break;
        case 'c':
            result = m_archive.isEmpty() ? nothing : m_archive == m_unit.setupRecord ? done : failed;
            break;
        default:
            result = failed;
            break;
        }
    } else if (!QByteArrayView("01ed").contains(request.at(4))) {
        result = failed;
    }
    const int delayMs = m_unit.faults.delayMs;
    if (delayMs <= 0) {
        send(QByteArray(1, result), sender, port);
        return;
    }
    QTimer::singleShot(delayMs, this, [this, result, sender, port] { send(QByteArray(1, result), sender, port); });
}

void SimUnitServer::answerQuery(QByteArrayView query, const QHostAddress &sender, quint16 port)
{
    const dtpack pcClock = readDtpack(query.sliced(queryClockOffset, dtpack::size));
    if (!pcClock.isZero())
        setClock(pcClock);

    const SimFaults &f = m_unit.faults;
    if (f.silent)
        return;
    QList<QByteArray> answers{answerWithMac(m_unit.mac)};
    if (f.duplicate)
        answers.append(answerWithMac(f.duplicateMac.isEmpty() ? otherMac(m_unit.mac) : f.duplicateMac));

    if (f.delayMs <= 0) {
        for (const QByteArray &a : answers)
            send(a, sender, port);
        return;
    }
    QTimer::singleShot(f.delayMs, this, [this, answers, sender, port] {
        for (const QByteArray &a : answers)
            send(a, sender, port);
    });
}

void SimUnitServer::setClock(const dtpack &d)
{
    if (!isValidClock(d))
        return;
    const QDateTime target(QDate(d.fullYear(), d.mon, d.dayOfMonth), QTime(d.hrs, d.minutes, d.sec));
    if (!target.isValid())
        return; // a local time that does not exist (skipped by a daylight-saving change)
    m_unit.clockOffsetMs = m_wall().msecsTo(target);
}

QByteArray SimUnitServer::answerWithMac(const QString &mac)
{
    const SimFaults &f = m_unit.faults;
    if (f.garbageLength > 0)
        return garbage(f.garbageLength);

    SimUnit shown = shownUnit();
    shown.mac = mac;
    QByteArray bytes = encodeAnnouncement(shown.record(clock(), runTime()));
    if (m_unit.oldFirmware)
        bytes.truncate(announcement::oldSize);
    if (f.shortLength > 0 && f.shortLength < bytes.size())
        bytes.truncate(f.shortLength);
    else if (f.oversizeLength > bytes.size())
        bytes += garbage(std::min(f.oversizeLength, maxDatagramSize) - int(bytes.size()));
    return bytes;
}

QByteArray SimUnitServer::garbage(int length)
{
    QByteArray bytes(std::clamp(length, 0, maxDatagramSize), '\0');
    for (char &c : bytes)
        c = static_cast<char>(m_random.bounded(256));
    return bytes;
}

void SimUnitServer::send(const QByteArray &bytes, const QHostAddress &to, quint16 port)
{
    if (!m_socket)
        return; // stopped while an answer was delayed
    m_socket->writeDatagram(bytes, to, port);
    Q_EMIT answerSent(bytes, to.toString(), port);
}

} // namespace vork::sim
