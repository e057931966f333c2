#pragma once

#include "core/ports.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QUdpSocket;

namespace vork {

class Operator;

// The program's single UDP endpoint towards the units. A send opens a listening
// window of TimeOut ms (further sends join it); datagrams are handed to
// OnDataReceived one at a time, only while a window is open; the window end
// fires OnDiscoveryComplete once, never in the middle of a delivery.
class TBroadcast : public QObject
{
    Q_OBJECT
public:
    static constexpr int bufferSize = 1001;

    // Buff: the whole 1001-byte buffer, zero past the datagram; NumberBytes: the
    // datagram's length, or -1 when the receive failed or the datagram was longer
    // than the buffer; FromIP: the sender's dotted address.
    using ReadData = std::function<void(const QByteArray &Buff, int NumberBytes, const QString &FromIP)>;
    using DiscoveryComplete = std::function<void()>;

    explicit TBroadcast(Operator &op, QObject *parent = nullptr);
    ~TBroadcast() override;

    QString LocalIP() const { return m_localIP; }
    void setLocalIP(const QString &ip);
    int LocalPort() const { return m_localPort; }
    void setLocalPort(int port);
    int RemotePort() const { return m_remotePort; }
    void setRemotePort(int port) { m_remotePort = port; }
    QString BroadCastIP() const { return m_broadcastIP; }
    void setBroadCastIP(const QString &ip) { m_broadcastIP = ip; }
    int TimeOut() const { return m_timeOut; }
    void setTimeOut(int ms) { m_timeOut = ms; }
    void setOnDiscoveryComplete(DiscoveryComplete handler) { m_onComplete = std::move(handler); }
    void setOnDataReceived(ReadData handler) { m_onData = std::move(handler); }

    void SendBroadCast(const QByteArray &buffer);

    // True from the send that opens a window until its end has been handled.
    bool windowOpen() const { return m_windowRunning; }
    // The port the socket is actually bound to (the system's choice for LocalPort 0).
    quint16 boundPort() const;
    // Whether the last (re)open bound LocalIP:LocalPort; the system's reason when not.
    bool bound() const { return m_bound; }
    QString bindError() const { return m_bindError; }
    // Why the last send did not go out whole; empty when it did.
    QString sendError() const { return m_sendError; }

    // IPv4 addresses of the interfaces that are up, loopback last.
    static QStringList GetInterfaceList();

private:
    void openSocket();
    void closeSocket();
    void readPending();
    void windowEnded();

    Operator &m_op;
    QString m_localIP;
    int m_localPort = utilityUdpPort;
    int m_remotePort = unitUdpPort;
    QString m_broadcastIP = QStringLiteral("255.255.255.255");
    int m_timeOut = 500;
    DiscoveryComplete m_onComplete;
    ReadData m_onData;

    QPointer<QUdpSocket> m_socket;
    QByteArray m_lastSend;
    QTimer m_windowTimer;
    QTimer m_pollTimer;
    bool m_windowRunning = false;
    bool m_delivering = false;  // inside a ReadData call
    bool m_endPending = false;  // the window ran out during a delivery
    bool m_bound = false;
    QString m_bindError;
    QString m_sendError;
};

} // namespace vork
