#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace vork::sim {

struct SimTelnet;

// A unit's telnet console: option negotiation by raw IAC bytes (kept apart from
// the program's libtelnet on purpose, so the two check each other), the login
// ("Login : ", "Password:", "[BRIVELLa]>" or "Login Incorrect"), typed
// characters echoed, and a few commands. Records what it received for tests.
class SimTelnetServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int maxLine = 256;
    static constexpr int maxRecorded = 1 << 20;
    static constexpr int maxClients = 8;

    static QByteArray prompt() { return QByteArrayLiteral("[BRIVELLa]>"); }

    // settings belongs to the unit and outlives the server.
    explicit SimTelnetServer(const SimTelnet &settings, QObject *parent = nullptr);
    ~SimTelnetServer() override;

    // What the greeting and "version" tell.
    void setIdentity(const QByteArray &name, const QByteArray &version)
    {
        m_name = name;
        m_version = version;
    }

    bool listen(const QHostAddress &address, quint16 port, QString *error = nullptr);
    void close();
    // Drops every client (the unit reboots) but keeps listening.
    void dropClients();
    bool isListening() const;
    quint16 serverPort() const;
    int clientCount() const;

    // What arrived, all clients together: the text after IAC sequences were taken out.
    QByteArray receivedData() const { return m_data; }
    // User names and command lines (passwords are never recorded).
    QList<QByteArray> users() const { return m_users; }
    QList<QByteArray> commands() const { return m_commands; }
    // Negotiations from clients as their three bytes (IAC, verb, option).
    QList<QByteArray> negotiations() const { return m_negotiations; }
    // The last terminal type a client reported.
    QByteArray terminalType() const { return m_terminalType; }
    int loginsRefused() const { return m_refused; }
    void clearRecorded();

Q_SIGNALS:
    void clientConnected(const QString &peer, quint16 port);
    void loggedIn(const QByteArray &user);
    void loginRefused(const QByteArray &user);
    void commandReceived(const QByteArray &command);

private:
    struct Client;
    void accept();
    void readClient(Client &c);
    void dataByte(Client &c, unsigned char b);
    void endLine(Client &c);
    void command(Client &c, const QByteArray &line);
    void write(Client &c, const QByteArray &bytes);
    void hangUp(Client &c);
    void remove(QTcpSocket *socket);

    const SimTelnet &m_settings;
    QPointer<QTcpServer> m_server;
    std::vector<std::unique_ptr<Client>> m_clients;
    QByteArray m_data;
    QList<QByteArray> m_users;
    QList<QByteArray> m_commands;
    QList<QByteArray> m_negotiations;
    QByteArray m_terminalType;
    int m_refused = 0;
    QByteArray m_name;
    QByteArray m_version;
};

} // namespace vork::sim
