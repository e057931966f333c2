#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

// A scripted unit on a loopback address and the command port: records every
// byte it gets and answers as each test tells it to.
class FakeUnit : public QObject
{
public:
    explicit FakeUnit(const QString &address, bool listen = true)
    {
        if (listen)
            server.listen(QHostAddress(address), 3011);
        QObject::connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = server.nextPendingConnection()) {
                ++connections;
                peer = s;
                QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] {
                    const QByteArray bytes = s->readAll();
                    received += bytes;
                    if (onBytes)
                        onBytes(bytes);
                });
            }
        });
    }
    void send(const QByteArray &bytes)
    {
        if (peer)
            peer->write(bytes);
    }
    void sendLater(int ms, const QByteArray &bytes)
    {
        QTimer::singleShot(ms, this, [this, bytes] { send(bytes); });
    }

    QTcpServer server;
    QPointer<QTcpSocket> peer;
    QByteArray received;
    int connections = 0;
    std::function<void(const QByteArray &)> onBytes;
};
