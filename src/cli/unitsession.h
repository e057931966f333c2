#pragma once

#include "cli/consoleoperator.h"
#include "cli/exitcodes.h"
#include "connection/connectionmanager.h"
#include "services/unitservices.h"
#include "setup/setupreply.h"

#include <QCommandLineParser>
#include <QString>

class QTcpSocket;

namespace vork {
struct udppack;
}

namespace vork::cli {

class CheckedPinger;

// One unit reached from the command line: asked who it is by a unicast query,
// connected (with the login when its version needs one), closed with 'C'.
// Every step that fails says why on stderr and gives the exit status to return.
class UnitSession
{
public:
    // name: the command word, for the messages this session prints itself.
    explicit UnitSession(const QString &name);
    ~UnitSession();

    // Options every unit command takes; --yes only where the command asks a question.
    static void addOptions(QCommandLineParser &p, bool asks);
    // Reads the common options and the address, binds the UDP socket: exitOk, or the
    // status to return (the reason printed).
    int configure(const QCommandLineParser &p, const QString &address, bool asks);

    // The unit's announcement, by a query to its address.
    int identify();
    int connectUnit();
    void closeUnit();

    // Sends one command byte and waits for its acknowledgement.
    AckResult send(Command command, int timeoutSeconds);
    // Says why an acknowledgement did not come ("Vork Unit A refused WHAT (NAK)"...); returns exitFailed.
    int ackFailed(AckResult result, const QString &what);
    // The command's question, asked once before the unit is touched; the core's own asking
    // of the same question is then answered Yes.
    bool confirm(const QString &question);

    udppack &unit();
    QTcpSocket *socket();

    ConsoleOperator op;
    UnitServices services;
    SetupReply setupReply;
    QString address;
    // The address the unit's announcement itself carries (may differ from where it answered).
    QString announcedIp;
    int waitMs = 1000;

private:
    void say(const QString &text) const;

    QString m_name;
    CheckedPinger *m_pinger = nullptr; // owned by services; null with --no-ping
    int m_socketError = -1;            // the last socket error while connecting
};

} // namespace vork::cli
