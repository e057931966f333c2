#include "connection/unitclient.h"

#include <QTcpSocket>

namespace vork {

UnitClient::UnitClient(const QString &address, QObject *parent)
    : QObject(parent), m_address(address), m_socket(new QTcpSocket(this))
{
}

UnitClient::~UnitClient() = default;

bool UnitClient::isOpen() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

void UnitClient::close()
{
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
}

} // namespace vork
