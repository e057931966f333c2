#pragma once

#include "cli/consoleoperator.h"
#include "connection/connectionmanager.h"
#include "connection/unitcommands.h"
#include "discovery/broadcast.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QCommandLineParser>
#include <QString>

#include <memory>

namespace vork {
class Pinger;
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

    udppack &unit() { return units.unit(0); }
    QTcpSocket *socket();

    ConsoleOperator op;
    TBroadcast transport;
    UnitTable units;
    ProtocolVariant variant;
    std::unique_ptr<Pinger> pinger;
    std::unique_ptr<ConnectionManager> connection;
    std::unique_ptr<UnitCommands> commands;
    QString address;
    int waitMs = 1000;
    bool skipPing = false;
};

constexpr int exitOk = 0;
constexpr int exitFailed = 1;
constexpr int exitUsage = 2;

} // namespace vork::cli
