#pragma once

#include "simunitserver.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QUdpSocket>

Q_DECLARE_METATYPE(vork::sim::SimFaults)

// Fault switches set by a few assignments.
template<typename Set>
vork::sim::SimFaults makeFaults(Set set)
{
    vork::sim::SimFaults f;
    set(f);
    return f;
}

// A stand-in for the utility's socket on 127.0.0.1 that keeps every answer it gets.
struct AnswerCollector
{
    struct Answer
    {
        QByteArray bytes;
        QHostAddress from;
        quint16 fromPort = 0;
    };

    QUdpSocket socket;
    QList<Answer> answers;

    bool open()
    {
        if (!socket.bind(QHostAddress(QHostAddress::LocalHost), 0))
            return false;
        QObject::connect(&socket, &QUdpSocket::readyRead, &socket, [this] {
            // Bounded: one turn never takes more than a burst's worth.
            for (int i = 0; i < 64 && socket.hasPendingDatagrams(); ++i) {
                const QNetworkDatagram d = socket.receiveDatagram(70000);
                answers.append({d.data(), QHostAddress(d.senderAddress().toIPv4Address()),
                                static_cast<quint16>(d.senderPort())});
            }
        });
        return true;
    }
    void send(const QByteArray &bytes, const QHostAddress &to, quint16 port = vork::sim::unitUdpPort)
    {
        socket.writeDatagram(bytes, to, port);
    }
};
