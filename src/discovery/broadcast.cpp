#include "discovery/broadcast.h"

#include "core/operator.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QUdpSocket>

namespace vork {

namespace {
// Datagrams handled in one turn before the event loop gets a say again.
constexpr int maxDatagramsPerTurn = 256;
// A readiness notice can be lost once the socket was read outside readyRead
// (the queued drain at a window's start), so an open window also polls.
constexpr int pollIntervalMs = 2;
} // namespace

TBroadcast::TBroadcast(Operator &op, QObject *parent) : QObject(parent), m_op(op)
{
    m_windowTimer.setSingleShot(true);
    m_windowTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_windowTimer, &QTimer::timeout, this, [this] {
        if (m_delivering)
            m_endPending = true; // ended as soon as the running delivery returns
        else
            windowEnded();
    });
    m_pollTimer.setInterval(pollIntervalMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &TBroadcast::readPending);
}

TBroadcast::~TBroadcast()
{
    closeSocket();
}

void TBroadcast::setLocalIP(const QString &ip)
{
    m_localIP = ip;
    openSocket();
}

void TBroadcast::setLocalPort(int port)
{
    m_localPort = port;
    openSocket();
}

quint16 TBroadcast::boundPort() const
{
    return m_socket ? m_socket->localPort() : 0;
}

void TBroadcast::closeSocket()
{
    if (!m_socket)
        return;
    // Cut the socket off before it goes, so no queued readyRead reaches a closed descriptor.
    // Deferred deletion: this may run inside the socket's own readyRead.
    m_socket->disconnect(this);
    m_socket->close();
    m_socket->deleteLater();
    m_socket.clear();
}

void TBroadcast::openSocket()
{
    closeSocket();
    auto *socket = new QUdpSocket(this);
    m_socket = socket;
    QHostAddress address(QHostAddress::AnyIPv4);
    if (!m_localIP.isEmpty())
        address = QHostAddress(m_localIP);
    m_bound = !address.isNull() && address.protocol() == QAbstractSocket::IPv4Protocol
              && socket->bind(address, static_cast<quint16>(m_localPort));
    m_bindError.clear();
    if (!m_bound) {
        m_bindError = address.isNull() || address.protocol() != QAbstractSocket::IPv4Protocol
                          ? QStringLiteral("not an IPv4 address")
                          : socket->errorString();
        m_op.log(QStringLiteral("UDP bind to ") + (m_localIP.isEmpty() ? QStringLiteral("0.0.0.0") : m_localIP)
                 + QLatin1Char(':') + QString::number(m_localPort) + QStringLiteral(" failed: ") + m_bindError);
    }
    // Qt enables broadcasting on its UDP sockets; readiness is handled per window.
    connect(socket, &QUdpSocket::readyRead, this, &TBroadcast::readPending);
    if (m_windowRunning)
        QMetaObject::invokeMethod(this, &TBroadcast::readPending, Qt::QueuedConnection);
}

void TBroadcast::SendBroadCast(const QByteArray &buffer)
{
    m_lastSend = buffer;
    if (!m_socket)
        openSocket();

    const bool opening = !m_windowRunning;
    if (opening) {
        m_windowRunning = true;
        m_endPending = false;
        // Datagrams that waited since the last window come first.
        QMetaObject::invokeMethod(this, &TBroadcast::readPending, Qt::QueuedConnection);
    }

    const QHostAddress destination(m_broadcastIP);
    qint64 sent = -1;
    if (!destination.isNull())
        sent = m_socket->writeDatagram(buffer, destination, static_cast<quint16>(m_remotePort));

    if (opening) {
        m_windowTimer.start(qMax(0, m_timeOut));
        m_pollTimer.start();
    }

    m_sendError.clear();
    if (sent != buffer.size()) {
        m_sendError = destination.isNull() ? QStringLiteral("not an address: ") + m_broadcastIP
                                           : m_socket->errorString();
        m_op.error(QStringLiteral("Error sending UDP Packet"));
    }
}

void TBroadcast::readPending()
{
    if (!m_windowRunning || m_delivering || !m_socket)
        return;

    int handled = 0;
    while (m_windowRunning && !m_endPending && m_socket && m_socket->hasPendingDatagrams()) {
        if (++handled > maxDatagramsPerTurn)
            break; // the poll picks up the rest
        QByteArray buff(bufferSize, '\0');
        const qint64 size = m_socket->pendingDatagramSize();
        QHostAddress from;
        const qint64 got = m_socket->readDatagram(buff.data(), bufferSize, &from);
        int numberBytes = static_cast<int>(got);
        if (got < 0 || size > bufferSize)
            numberBytes = -1; // failed, or longer than the buffer: the rest is lost
        const QString fromIP = QHostAddress(from.toIPv4Address()).toString();

        if (m_onData) {
            m_delivering = true;
            // The socket or this window may change inside the handler (it may breathe).
            const ReadData handler = m_onData;
            handler(buff, numberBytes, fromIP);
            m_delivering = false;
        }
    }
    if (m_endPending) {
        m_endPending = false;
        windowEnded();
    }
}

void TBroadcast::windowEnded()
{
    m_windowTimer.stop();
    m_pollTimer.stop();
    m_windowRunning = false;
    if (m_onComplete) {
        const DiscoveryComplete handler = m_onComplete;
        handler();
    }
}

QStringList TBroadcast::GetInterfaceList()
{
    QStringList list;
    QStringList loopback;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const auto flags = iface.flags();
        if (!(flags & QNetworkInterface::IsUp))
            continue;
        const bool isLoopback = flags & QNetworkInterface::IsLoopBack;
        const auto entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress a = entry.ip();
            if (a.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            (isLoopback ? loopback : list).append(a.toString());
        }
    }
    return list + loopback;
}

} // namespace vork
