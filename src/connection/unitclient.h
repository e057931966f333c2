#pragma once

#include "connection/replyassembler.h"

#include <QObject>
#include <QString>

class QTcpSocket;

namespace vork {

class ReplyRouter;

// A unit's TCP client towards its command port, with the assembler of what the
// unit sends. Made by the connection side the first time the unit is used;
// the key ties it to the unit's record wherever the sort moves that.
class UnitClient : public QObject
{
    Q_OBJECT
public:
    UnitClient(quint64 link, const QString &address, const ReplyRouter &router, QObject *parent = nullptr);
    ~UnitClient() override;

    quint64 link() const { return m_link; }
    QString address() const { return m_address; }
    void setAddress(const QString &address) { m_address = address; }
    quint16 port() const { return m_port; }
    QTcpSocket *socket() const { return m_socket; }
    ReplyAssembler &assembler() { return m_assembler; }
    bool isOpen() const;
    // Which connection of this client is open: a new number on every connect, 0 before the first.
    quint64 serial() const { return m_serial; }
    void setSerial(quint64 serial) { m_serial = serial; }

    // Drops the connection at once, without the close command.
    void close();

private:
    quint64 m_link;
    QString m_address;
    quint16 m_port;
    QTcpSocket *m_socket;
    ReplyAssembler m_assembler;
    quint64 m_serial = 0;
};

} // namespace vork
