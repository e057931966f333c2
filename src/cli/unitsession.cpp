#include "cli/unitsession.h"

#include "cli/cliargs.h"
#include "cli/safetext.h"
#include "core/boundedwait.h"
#include "discovery/broadcast.h"
#include "unit/unittable.h"
#include "tools/ping.h"
#include "unit/announcement.h"

#include <QHostAddress>
#include <QTcpSocket>
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

// The ICMP check, remembering whether the unit ever answered and why ICMP may be impossible.
class CheckedPinger : public Pinger
{
public:
    explicit CheckedPinger(Operator &op) : icmp(op) {}
    bool ping(const QString &host, int timeoutMs, bool busyCursor) override
    {
        ++tries;
        answered = icmp.ping(host, timeoutMs, busyCursor);
        return answered;
    }
    IcmpPinger icmp;
    int tries = 0;
    bool answered = false; // the last echo
};

UnitSession::UnitSession(const QString &name)
    : services(op), setupReply(op, services.connections().replies()), m_name(name)
{
}

void UnitSession::say(const QString &text) const
{
    QTextStream(stderr) << "vork " << m_name << ": " << text << '\n';
}

UnitSession::~UnitSession() = default;

void UnitSession::addOptions(QCommandLineParser &p, bool asks)
{
    if (asks)
        p.addOption({QStringLiteral("yes"), QStringLiteral("Answer Yes to the question (without it and without a "
                                                           "terminal the question is declined).")});
    p.addOption({QStringLiteral("verbose"), QStringLiteral("Print log lines to stderr.")});
    p.addOption({QStringLiteral("no-ping"), QStringLiteral("Skip the ICMP reachability check before connecting.")});
    p.addOption({QStringLiteral("local-ip"), QStringLiteral("Local address to query from."), QStringLiteral("ADDRESS")});
    p.addOption({QStringLiteral("wait"), QStringLiteral("How long to wait for the unit's answer to the query (ms, default 1000)."),
                 QStringLiteral("MS"), QStringLiteral("1000")});
}

int UnitSession::configure(const QCommandLineParser &p, const QString &addr, bool asks)
{
    if (const QString problem = unitAddressProblem(addr); !problem.isEmpty()) {
        say(problem);
        return exitUsage;
    }
    bool ok = false;
    waitMs = p.value(QStringLiteral("wait")).toInt(&ok);
    if (!ok || waitMs <= 0 || waitMs > 60000) {
        say(QStringLiteral("--wait must be 1..60000 ms"));
        return exitUsage;
    }
    const QString local = p.value(QStringLiteral("local-ip"));
    if (!local.isEmpty() && !isValidIPv4(local)) {
        say(QStringLiteral("not an IPv4 address: '") + escaped(local) + QLatin1Char('\''));
        return exitUsage;
    }
    address = addr;
    op.assumeYes = asks && p.isSet(QStringLiteral("yes"));
    op.verbose = p.isSet(QStringLiteral("verbose"));
    if (p.isSet(QStringLiteral("no-ping"))) {
        services.setPinger(std::make_unique<NoPing>());
    } else {
        auto pinger = std::make_unique<CheckedPinger>(op);
        m_pinger = pinger.get();
        services.setPinger(std::move(pinger));
    }
    QObject::connect(&services.connections(), &ConnectionManager::socketFailed, &services,
                     [this](int, int code) { m_socketError = code; });
    TBroadcast &transport = services.transport();
    if (!local.isEmpty())
        transport.setLocalIP(local);
    transport.setLocalPort(0);
    transport.setTimeOut(waitMs);
    if (!transport.bound()) {
        say(QStringLiteral("cannot bind UDP to ") + (local.isEmpty() ? QStringLiteral("0.0.0.0") : local)
            + QStringLiteral(": ") + transport.bindError());
        return exitLocal;
    }
    return exitOk;
}

bool UnitSession::confirm(const QString &question)
{
    if (op.ask(question) != Answer::Yes)
        return false;
    op.assumeYes = true;
    return true;
}

int UnitSession::identify()
{
    TBroadcast &transport = services.transport();
    UnitTable &units = services.units();
    udppack found;
    bool have = false;
    bool deficient = false;
    int deficientBytes = 0;
    transport.setOnDataReceived([&](const QByteArray &b, int n, const QString &from) {
        if (from != address || have)
            return;
        if (n < announcement::oldSize) {
            deficient = true;
            deficientBytes = n;
            return;
        }
        decodeAnnouncement(b, n, found);
        have = true;
    });
    bool ended = false;
    transport.setOnDiscoveryComplete([&] { ended = true; });
    transport.setBroadCastIP(address);
    transport.SendBroadCast(discoveryQuery());
    const QString sendError = transport.sendError();
    if (sendError.isEmpty())
        wait::until([&] { return have || ended; }, waitMs + 1000);
    services.routeTransportToCycle();
    if (!sendError.isEmpty()) {
        say(QStringLiteral("cannot send the query to ") + address + QStringLiteral(": ") + sendError);
        return exitLocal;
    }
    if (!have) {
        if (deficient)
            op.error(QStringLiteral("Vork Unit ") + address + QStringLiteral(" answered with a deficient announcement: ")
                     + (deficientBytes < 0 ? QStringLiteral("more than ") + QString::number(TBroadcast::bufferSize)
                                           : QString::number(deficientBytes))
                     + QStringLiteral(" bytes (") + QString::number(announcement::oldSize) + QStringLiteral(" to ")
                     + QString::number(TBroadcast::bufferSize) + QStringLiteral(" expected)"));
        else
            op.error(QStringLiteral("No answer from Vork Unit ") + address + QStringLiteral(" within ")
                     + QString::number(waitMs) + QStringLiteral(" ms"));
        return exitFailed;
    }
    announcedIp = found.ip;
    units.enterAnnouncement(found, address);
    units.setCurrent(&units.unit(0));
    return exitOk;
}

int UnitSession::connectUnit()
{
    m_socketError = -1;
    const int triesBefore = m_pinger ? m_pinger->tries : 0;
    if (services.connections().Connect_or_timeout(3000))
        return exitOk;
    if (m_pinger && !m_pinger->icmp.deniedReason().isEmpty()) {
        say(QStringLiteral("Cannot check Vork Unit ") + address + QStringLiteral(" before connecting: ")
            + m_pinger->icmp.deniedReason() + QStringLiteral(" Or skip the check with --no-ping."));
        return exitLocal;
    }
    if (m_pinger && m_pinger->tries > triesBefore && !m_pinger->answered) {
        say(QStringLiteral("Vork Unit ") + address + QStringLiteral(" did not answer ping (--no-ping skips the check)"));
        return exitFailed;
    }
    QString why = QStringLiteral("no connection within 3 s");
    if (m_socketError == QAbstractSocket::ConnectionRefusedError)
        why = QStringLiteral("connection refused");
    else if (m_socketError >= 0)
        why = QStringLiteral("socket error ") + QString::number(m_socketError);
    op.error(QStringLiteral("Failed to Connect to ") + address + QStringLiteral(": ") + why);
    return exitFailed;
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

AckResult UnitSession::send(Command command, int timeoutSeconds)
{
    return services.connections().WaitForAck(socket(), timeoutSeconds, command);
}

int UnitSession::ackFailed(AckResult result, const QString &what)
{
    const QString unitName = QStringLiteral("Vork Unit ") + address;
    switch (result) {
    case AckResult::Ack: return exitOk;
    case AckResult::Nak: op.error(unitName + QStringLiteral(" refused ") + what + QStringLiteral(" (NAK)")); break;
    case AckResult::TimedOut:
        op.error(unitName + QStringLiteral(" did not answer ") + what + QStringLiteral(": no acknowledgement"));
        break;
    case AckResult::Closed:
        op.error(unitName + QStringLiteral(" did not answer ") + what + QStringLiteral(": ")
                 + ConnectionManager::lostText());
        break;
    }
    return exitFailed;
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
