#pragma once

#include "cli/consoleoperator.h"
#include "services/unitservices.h"
#include "setup/setupreply.h"

#include <QCommandLineParser>
#include <QString>

class QTcpSocket;

namespace vork {
struct udppack;
}

namespace vork::cli {

// One unit reached from the command line: asked who it is by a unicast query,
// connected (with the login when its version needs one), closed with 'C'.
class UnitSession
{
public:
    UnitSession();
    ~UnitSession();

    // Options every unit command takes.
    static void addOptions(QCommandLineParser &p);
    // Reads the common options and the address; false (with a message) on bad input.
    bool configure(const QCommandLineParser &p, const QString &address);

    // The unit's announcement, by a query to its address.
    bool identify();
    bool connectUnit();
    void closeUnit();

    udppack &unit();
    QTcpSocket *socket();

    ConsoleOperator op;
    UnitServices services;
    SetupReply setupReply;
    QString address;
    int waitMs = 1000;
};

constexpr int exitOk = 0;
constexpr int exitFailed = 1;
constexpr int exitUsage = 2;

} // namespace vork::cli
