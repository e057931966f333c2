#include "cli/unitsession.h"

#include "core/boundedwait.h"
#include "connection/connectionmanager.h"
#include "discovery/broadcast.h"
#include "unit/unittable.h"
#include "tools/ping.h"
#include "unit/announcement.h"

#include <QHostAddress>
#include <QTextStream>

namespace vork::cli {

namespace {
// --no-ping: the unit is taken as reachable.
class NoPing : public Pinger
{
public:
    bool ping(const QString &, int, bool) override { return true; }
};
} // namespace

UnitSession::UnitSession() : services(op), setupReply(op, services.connections().replies()) {}

UnitSession::~UnitSession() = default;

void UnitSession::addOptions(QCommandLineParser &p)
{
    p.addOption({QStringLiteral("yes"), QStringLiteral("Answer Yes to every question.")});
    p.addOption({QStringLiteral("verbose"), QStringLiteral("Print log lines to stderr.")});
    p.addOption({QStringLiteral("no-ping"), QStringLiteral("Skip the ICMP reachability check before connecting.")});
    p.addOption({QStringLiteral("local-ip"), QStringLiteral("Local address to query from."), QStringLiteral("ADDRESS")});
    p.addOption({QStringLiteral("wait"), QStringLiteral("How long to wait for the unit's answer to the query (ms, default 1000)."),
                 QStringLiteral("MS"), QStringLiteral("1000")});
}

bool UnitSession::configure(const QCommandLineParser &p, const QString &addr)
{
    QTextStream err(stderr);
    if (!isValidIPv4(addr)) {
        err << "Invalid IP address entered\n";
        return false;
    }
    bool ok = false;
    waitMs = p.value(QStringLiteral("wait")).toInt(&ok);
    if (!ok || waitMs <= 0 || waitMs > 60000) {
        err << "--wait must be 1..60000 ms\n";
        return false;
    }
    const QString local = p.value(QStringLiteral("local-ip"));
    if (!local.isEmpty() && !isValidIPv4(local)) {
        err << "not an IPv4 address: '" << local << "'\n";
        return false;
    }
    address = addr;
    op.assumeYes = p.isSet(QStringLiteral("yes"));
    op.verbose = p.isSet(QStringLiteral("verbose"));
    if (p.isSet(QStringLiteral("no-ping")))
        services.setPinger(std::make_unique<NoPing>());
    TBroadcast &transport = services.transport();
    if (!local.isEmpty())
        transport.setLocalIP(local);
    transport.setLocalPort(0);
    transport.setTimeOut(waitMs);
    return true;
}

bool UnitSession::identify()
{
    TBroadcast &transport = services.transport();
    UnitTable &units = services.units();
    udppack found;
    bool have = false;
    transport.setOnDataReceived([&](const QByteArray &b, int n, const QString &from) {
        if (from == address && n >= announcement::oldSize && !have) {
            decodeAnnouncement(b, n, found);
            have = true;
        }
    });
    bool ended = false;
    transport.setOnDiscoveryComplete([&] { ended = true; });
    transport.setBroadCastIP(address);
    transport.SendBroadCast(discoveryQuery());
    wait::until([&] { return have || ended; }, waitMs + 1000);
    services.routeTransportToCycle();
    if (!have) {
        op.error(QStringLiteral("No answer from Vork Unit ") + address);
        return false;
    }
    units.enterAnnouncement(found, address);
    units.setCurrent(&units.unit(0));
    return true;
}

bool UnitSession::connectUnit()
{
    if (!services.connections().Connect_or_timeout(3000)) {
        op.error(QStringLiteral("Failed to Connect to ") + address);
        return false;
    }
    return true;
}

void UnitSession::closeUnit()
{
    UnitTable &units = services.units();
    if (units.isEmpty() || !unit().connected)
        return;
    services.connections().Exit_socket(&unit());
    // The unit closes its end after acknowledging; give it a moment, bounded.
    wait::until([&] { return units.isEmpty() || !unit().connected; }, 1000);
}

udppack &UnitSession::unit()
{
    return services.units().unit(0);
}

QTcpSocket *UnitSession::socket()
{
    return services.connections().socket(unit());
}

} // namespace vork::cli
