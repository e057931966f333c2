#pragma once

#include "core/ports.h"
#include "tools/telnetprotocol.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QTcpSocket;

namespace vork {

// One telnet connection to a unit: a socket on the main thread with the
// telnet layer on top. Text goes out escaped and comes in decoded; option
// negotiation never reaches the caller as text.
class TelnetSession : public QObject
{
    Q_OBJECT
public:
    explicit TelnetSession(QObject *parent = nullptr);
    ~TelnetSession() override;

    void open(const QString &host, quint16 port = telnetPort);
    // Asks the socket to close; disconnected() follows once it has.
    void close();
    // Drops the link at once (tests: a link dropped mid-command).
    void abort();

    bool isConnected() const;
    bool isOpenOrOpening() const;
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    // "Connecting", "Connected", "Disconnected", ...
    QString statusText() const { return m_status; }

    // Sends text to the unit; false when there is no connection or the write failed.
    bool send(QByteArrayView text);

    const TelnetProtocol &protocol() const { return *m_protocol; }

Q_SIGNALS:
    void connected();
    void disconnected();
    void dataReceived(const QByteArray &text);
    // The peer negotiated an option (libtelnet has already answered it).
    void negotiated(vork::TelnetProtocol::Negotiation kind, int option);
    void errorOccurred(int code);
    void statusChanged(const QString &status);

private:
    void setStatus(const QString &status);
    void readPending();
    void resetProtocol();

    QTcpSocket *m_socket; // child
    TelnetProtocol *m_protocol = nullptr;
    QString m_host;
    quint16 m_port = telnetPort;
    QString m_status;
    bool m_writeFailed = false;

    // What one read decoded, told to the owners once libtelnet is done with it.
    struct Pending
    {
        bool isData = true;
        QByteArray text;
        TelnetProtocol::Negotiation kind = TelnetProtocol::Negotiation::Will;
        int option = 0;
    };
    QList<Pending> m_pending;
};

} // namespace vork
