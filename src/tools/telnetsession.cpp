#include "tools/telnetsession.h"

#include <QPointer>
#include <QTcpSocket>

#include <utility>

namespace vork {

namespace {
// Bytes read per read event before the others get a turn.
constexpr qint64 readChunk = 4096;
} // namespace

TelnetSession::TelnetSession(QObject *parent)
    : QObject(parent), m_socket(new QTcpSocket(this)), m_status(QStringLiteral("Disconnected"))
{
    resetProtocol();
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        setStatus(QStringLiteral("Connected"));
        Q_EMIT connected();
    });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        setStatus(QStringLiteral("Disconnected"));
        Q_EMIT disconnected();
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &TelnetSession::readPending);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        Q_EMIT errorOccurred(static_cast<int>(e));
        if (m_socket->state() == QAbstractSocket::UnconnectedState)
            setStatus(QStringLiteral("Disconnected"));
    });
    connect(m_socket, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState s) {
        if (s == QAbstractSocket::HostLookupState || s == QAbstractSocket::ConnectingState)
            setStatus(QStringLiteral("Connecting"));
        else if (s == QAbstractSocket::ClosingState)
            setStatus(QStringLiteral("Closing"));
    });
}

TelnetSession::~TelnetSession()
{
    m_socket->disconnect(this);
    m_socket->abort();
    delete m_protocol;
}

void TelnetSession::resetProtocol()
{
    delete m_protocol;
    // A fresh telnet state per connection: options agreed with the last unit do not carry over.
    m_protocol = new TelnetProtocol({
        [this](QByteArrayView text) {
            if (!m_pending.isEmpty() && m_pending.last().isData)
                m_pending.last().text += text;
            else
                m_pending.append({true, text.toByteArray(), {}, 0});
        },
        [this](QByteArrayView wire) {
            if (m_socket->state() != QAbstractSocket::ConnectedState
                || m_socket->write(wire.data(), wire.size()) != wire.size())
                m_writeFailed = true;
        },
        [this](TelnetProtocol::Negotiation kind, unsigned char option) {
            m_pending.append({false, {}, kind, option});
        },
    });
}

void TelnetSession::open(const QString &host, quint16 port)
{
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
    resetProtocol();
    m_host = host;
    m_port = port;
    m_socket->connectToHost(host, port);
}

void TelnetSession::close()
{
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->disconnectFromHost();
}

void TelnetSession::abort()
{
    // Qt tells disconnected() itself when the socket was connected.
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
    setStatus(QStringLiteral("Disconnected"));
}

bool TelnetSession::isConnected() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

bool TelnetSession::isOpenOrOpening() const
{
    return m_socket->state() != QAbstractSocket::UnconnectedState;
}

bool TelnetSession::send(QByteArrayView text)
{
    if (!isConnected())
        return false;
    m_writeFailed = false;
    m_protocol->send(text);
    if (!m_writeFailed)
        m_socket->flush();
    return !m_writeFailed && isConnected();
}

void TelnetSession::readPending()
{
    // Decode first, tell afterwards: a handler may run a nested event loop or send,
    // and libtelnet must not be entered again while it is still parsing.
    QPointer<TelnetSession> self(this);
    while (self && m_socket->bytesAvailable() > 0) {
        const QByteArray bytes = m_socket->read(readChunk);
        if (bytes.isEmpty())
            break;
        m_pending.clear();
        m_protocol->receive(bytes);
        const QList<Pending> events = std::exchange(m_pending, {});
        const bool failed = m_protocol->failed();
        for (const Pending &e : events) {
            if (e.isData)
                Q_EMIT dataReceived(e.text);
            else
                Q_EMIT negotiated(e.kind, e.option);
            if (!self)
                return;
        }
        if (failed) {
            abort();
            return;
        }
    }
}

void TelnetSession::setStatus(const QString &status)
{
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusChanged(status);
}

} // namespace vork
