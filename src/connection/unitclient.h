#pragma once

#include "connection/commands.h"

#include <QObject>
#include <QString>

class QTcpSocket;

namespace vork {

// A unit's TCP client towards its command port. Created with its table entry;
// the connection manager drives it.
class UnitClient : public QObject
{
    Q_OBJECT
public:
    explicit UnitClient(const QString &address, QObject *parent = nullptr);
    ~UnitClient() override;

    QString address() const { return m_address; }
    void setAddress(const QString &address) { m_address = address; }
    quint16 port() const { return m_port; }
    QTcpSocket *socket() const { return m_socket; }
    bool isOpen() const;

    // Drops the connection at once, without the close command.
    void close();

private:
    QString m_address;
    quint16 m_port = vork::commandPort;
    QTcpSocket *m_socket;
};

} // namespace vork
