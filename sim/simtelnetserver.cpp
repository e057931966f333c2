#include "simtelnetserver.h"

#include "simlisten.h"
#include "simunit.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace vork::sim {

namespace {
constexpr unsigned char IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr unsigned char optEcho = 1, optSga = 3, optTtype = 24;
constexpr unsigned char ttypeIs = 0, ttypeSend = 1;
constexpr int maxSubnegotiation = 256;
constexpr int maxRecordedLines = 4096;

template <typename T> void record(QList<T> &list, const T &item)
{
    if (list.size() >= maxRecordedLines)
        list.removeFirst();
    list.append(item);
}
} // namespace

struct SimTelnetServer::Client
{
    enum class Stage { Login, Password, Command, Gone };
    enum class Parse { Data, Iac, Option, Sub, SubIac };

    QTcpSocket *socket = nullptr;
    Stage stage = Stage::Login;
    Parse parse = Parse::Data;
    unsigned char verb = 0;
    QByteArray sub;
    QByteArray line;
    QByteArray user;
    bool afterCr = false; // a CR ended the line: a following LF or NUL belongs to it
};

SimTelnetServer::SimTelnetServer(const SimTelnet &settings, QObject *parent)
    : QObject(parent), m_settings(settings)
{
}

SimTelnetServer::~SimTelnetServer()
{
    close();
}

bool SimTelnetServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    close();
    QTcpServer *server = listenIPv4(this, address, port, QStringLiteral("telnet"), error);
    if (!server)
        return false;
    m_server = server;
    connect(server, &QTcpServer::newConnection, this, &SimTelnetServer::accept);
    return true;
}

void SimTelnetServer::close()
{
    dropClients();
    if (m_server) {
        m_server->close();
        delete m_server.data();
    }
}

void SimTelnetServer::dropClients()
{
    auto clients = std::move(m_clients);
    m_clients.clear();
    for (auto &c : clients) {
        c->socket->disconnect(this);
        c->socket->abort();
        c->socket->deleteLater();
    }
}

bool SimTelnetServer::isListening() const
{
    return m_server && m_server->isListening();
}

quint16 SimTelnetServer::serverPort() const
{
    return m_server ? m_server->serverPort() : 0;
}

int SimTelnetServer::clientCount() const
{
    return static_cast<int>(m_clients.size());
}

void SimTelnetServer::clearRecorded()
{
    m_data.clear();
    m_users.clear();
    m_commands.clear();
    m_negotiations.clear();
    m_terminalType.clear();
    m_refused = 0;
}

void SimTelnetServer::accept()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket *socket = m_server->nextPendingConnection();
        if (!socket)
            break;
        if (m_clients.size() >= maxClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto client = std::make_unique<Client>();
        client->socket = socket;
        Client &c = *client;
        m_clients.push_back(std::move(client));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            for (auto &each : m_clients)
                if (each->socket == socket) {
                    readClient(*each);
                    return;
                }
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { remove(socket); });
        Q_EMIT clientConnected(socket->peerAddress().toString(), socket->peerPort());
        if (m_settings.silent)
            continue;
        // The unit opens with its negotiation: it echoes, it needs no go-ahead, and
        // it would like to know the terminal type.
        QByteArray hello;
        hello.append(char(IAC)).append(char(WILL)).append(char(optEcho));
        hello.append(char(IAC)).append(char(WILL)).append(char(optSga));
        hello.append(char(IAC)).append(char(DO)).append(char(optTtype));
        hello.append("\r\nVork unit ").append(m_name).append("\r\nLogin : ");
        write(c, hello);
    }
}

void SimTelnetServer::remove(QTcpSocket *socket)
{
    for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
        if ((*it)->socket == socket) {
            socket->deleteLater();
            m_clients.erase(it);
            return;
        }
    }
}

void SimTelnetServer::write(Client &c, const QByteArray &bytes)
{
    if (c.socket->state() == QAbstractSocket::ConnectedState)
        c.socket->write(bytes);
}

void SimTelnetServer::hangUp(Client &c)
{
    c.stage = Client::Stage::Gone;
    c.socket->disconnectFromHost();
}

void SimTelnetServer::readClient(Client &c)
{
    QTcpSocket *socket = c.socket;
    const QByteArray bytes = socket->readAll();
    for (const char ch : bytes) {
        if (c.stage == Client::Stage::Gone)
            return;
        const auto b = static_cast<unsigned char>(ch);
        switch (c.parse) {
        case Client::Parse::Data:
            if (b == IAC)
                c.parse = Client::Parse::Iac;
            else
                dataByte(c, b);
            break;
        case Client::Parse::Iac:
            if (b == IAC) {
                c.parse = Client::Parse::Data;
                dataByte(c, b);
            } else if (b >= WILL && b <= DONT) {
                c.verb = b;
                c.parse = Client::Parse::Option;
            } else if (b == SB) {
                c.sub.clear();
                c.parse = Client::Parse::Sub;
            } else {
                c.parse = Client::Parse::Data; // NOP, go-ahead and the like
            }
            break;
        case Client::Parse::Option: {
            QByteArray n;
            n.append(char(IAC)).append(char(c.verb)).append(char(b));
            record(m_negotiations, n);
            if (c.verb == WILL && b == optTtype) {
                QByteArray ask;
                ask.append(char(IAC)).append(char(SB)).append(char(optTtype)).append(char(ttypeSend));
                ask.append(char(IAC)).append(char(SE));
                write(c, ask);
            }
            c.parse = Client::Parse::Data;
            break;
        }
        case Client::Parse::Sub:
            if (b == IAC)
                c.parse = Client::Parse::SubIac;
            else if (c.sub.size() < maxSubnegotiation)
                c.sub.append(char(b));
            break;
        case Client::Parse::SubIac:
            if (b == IAC) {
                if (c.sub.size() < maxSubnegotiation)
                    c.sub.append(char(b));
                c.parse = Client::Parse::Sub;
            } else {
                if (b == SE && c.sub.size() >= 2 && static_cast<unsigned char>(c.sub.at(0)) == optTtype
                    && c.sub.at(1) == char(ttypeIs))
                    m_terminalType = c.sub.mid(2);
                c.parse = Client::Parse::Data;
            }
            break;
        }
    }
}

void SimTelnetServer::dataByte(Client &c, unsigned char b)
{
    if (m_data.size() < maxRecorded)
        m_data.append(char(b));
    const bool wasAfterCr = c.afterCr;
    c.afterCr = false;
    const bool echo = c.stage != Client::Stage::Password && !m_settings.silent;
    if (b == '\r') {
        c.afterCr = true;
        endLine(c);
    } else if (b == '\n' || b == 0) {
        if (!wasAfterCr && b == '\n')
            endLine(c);
    } else if (b == 0x08 || b == 0x7F) {
        if (!c.line.isEmpty()) {
            c.line.chop(1);
            if (echo)
                write(c, QByteArrayLiteral("\b \b"));
        }
    } else if (b >= 0x20 && b < 0x7F) {
        if (c.line.size() < maxLine)
            c.line.append(char(b));
        if (echo)
            write(c, QByteArray(1, char(b)));
    }
}

void SimTelnetServer::endLine(Client &c)
{
    const QByteArray line = std::exchange(c.line, {});
    if (m_settings.silent)
        return;
    switch (c.stage) {
    case Client::Stage::Login:
        c.user = line;
        record(m_users, line);
        c.stage = Client::Stage::Password;
        write(c, QByteArrayLiteral("\r\nPassword:"));
        break;
    case Client::Stage::Password:
        if (m_settings.refuseLogin || c.user != m_settings.user || line != m_settings.password) {
            ++m_refused;
            write(c, QByteArrayLiteral("\r\nLogin Incorrect\r\n"));
            Q_EMIT loginRefused(c.user);
            hangUp(c);
            return;
        }
        c.stage = Client::Stage::Command;
        write(c, QByteArrayLiteral("\r\nWelcome\r\n") + prompt());
        Q_EMIT loggedIn(c.user);
        break;
    case Client::Stage::Command:
        command(c, line);
        break;
    case Client::Stage::Gone:
        break;
    }
}

void SimTelnetServer::command(Client &c, const QByteArray &line)
{
    if (!line.isEmpty()) {
        record(m_commands, line);
        Q_EMIT commandReceived(line);
    }
    const QByteArray end = QByteArrayLiteral("\r\n") + prompt();
    if (line.isEmpty()) {
        write(c, end);
    } else if (line == "exit") {
        write(c, QByteArrayLiteral("\r\nGoodbye\r\n"));
        hangUp(c);
    } else if (line == "restart") {
        write(c, QByteArrayLiteral("\r\nRestarting\r\n"));
        hangUp(c);
    } else if (line == "reAccess") {
        write(c, QByteArrayLiteral("\r\nAccess port processes restarted") + end);
    } else if (line == "version") {
        write(c, QByteArrayLiteral("\r\nVork firmware ") + m_version + end);
    } else if (line == "calc") {
        // A progress line redrawn in place, as the unit does while it works something out.
        write(c, QByteArrayLiteral("\r\nCalculating 0%\rCalculating 50%\rCalculating 100%") + end);
    } else if (line == "help") {
        write(c, QByteArrayLiteral("\r\nreAccess restart exit version calc help") + end);
    } else {
        write(c, QByteArrayLiteral("\r\nUnknown command: ") + line + end);
    }
}

} // namespace vork::sim
