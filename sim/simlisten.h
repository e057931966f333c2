#pragma once

#include <QHostAddress>
#include <QString>
#include <QTcpServer>

namespace vork::sim {

// A listening server on an IPv4 address, owned by parent; nullptr with the reason
// in error when it cannot listen. what names the port in that reason ("TCP", "telnet").
inline QTcpServer *listenIPv4(QObject *parent, const QHostAddress &address, quint16 port, const QString &what,
                              QString *error)
{
    auto *server = new QTcpServer(parent);
    if (address.protocol() != QAbstractSocket::IPv4Protocol || !server->listen(address, port)) {
        if (error) {
            *error = QStringLiteral("cannot listen on ") + what + QLatin1Char(' ') + address.toString()
                     + QLatin1Char(':') + QString::number(port) + QStringLiteral(": ") + server->errorString();
        }
        delete server;
        return nullptr;
    }
    return server;
}

} // namespace vork::sim
