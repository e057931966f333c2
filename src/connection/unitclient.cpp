#include "connection/unitclient.h"

#include "connection/commands.h"

#include <QTcpSocket>

namespace vork {

UnitClient::UnitClient(quint64 link, const QString &address, const ReplyRouter &router, QObject *parent)
    : QObject(parent), m_link(link), m_address(address), m_port(commandPort), m_socket(new QTcpSocket(this)),
      m_assembler(router)
{
}

UnitClient::~UnitClient() = default;

bool UnitClient::isOpen() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

void UnitClient::close()
{
    m_assembler.reset();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
}

} // namespace vork
