#include "discovery/unicast.h"

#include "core/address.h"
#include "core/boundedwait.h"
#include "core/operator.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "unit/announcement.h"
#include "unit/unittable.h"

namespace vork {

namespace unicast {

namespace {
QByteArray padded(const char *head, int length)
{
    QByteArray d(head);
    d.append(QByteArray(length - d.size(), '\0'));
    return d;
}

void appendMac(QByteArray &d, const Mac &mac)
{
    for (std::uint8_t b : mac)
        d.append(char(b));
}

bool appendAddress(QByteArray &d, const QString &text)
{
    std::uint32_t a = 0;
    if (!parseIPv4(text, a))
        return false;
    for (int shift : {24, 16, 8, 0})
        d.append(char((a >> shift) & 0xFF));
    return true;
}
} // namespace

std::optional<Mac> parseMac(const QString &text)
{
    QString hex = text;
    hex.remove(QLatin1Char(':')).remove(QLatin1Char('-'));
    if (hex.size() != 12)
        return std::nullopt;
    Mac mac{};
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        const uint v = hex.mid(2 * i, 2).toUInt(&ok, 16);
        if (!ok || !hex.at(2 * i).isLetterOrNumber() || !hex.at(2 * i + 1).isLetterOrNumber())
            return std::nullopt;
        mac[std::size_t(i)] = std::uint8_t(v);
    }
    return mac;
}

QByteArray query()
{
    return padded("SVRK?", 13);
}

QByteArray clockSync(const dtpack &clock)
{
    QByteArray d("SVRK?");
    writeDtpack(d, clock);
    return d;
}

QByteArray reboot(const Mac &mac)
{
    QByteArray d("SVRK#");
    appendMac(d, mac);
    d.append(QByteArray(2, '\0'));
    return d;
}

QByteArray restartService(char service)
{
    QByteArray d("SVRK");
    d.append(service);
    d.append(QByteArray(8, '\0'));
    return d;
}

std::optional<QByteArray> setIp(const Mac &mac, const QString &ip, const QString &mask, const QString &gateway)
{
    QByteArray d("SVRK*");
    appendMac(d, mac);
    if (!appendAddress(d, ip) || !appendAddress(d, mask) || !appendAddress(d, gateway))
        return std::nullopt;
    return d;
}

QByteArray factoryReset(const Mac &mac)
{
    QByteArray d("SVRK^");
    appendMac(d, mac);
    return d;
}

QByteArray ram(char request)
{
    QByteArray d("RAMS");
    d.append(request);
    d.append(QByteArray(6, '\0'));
    return d;
}

QByteArray archive(char request)
{
    QByteArray d("ARCH");
    d.append(request);
    d.append(QByteArray(6, '\0'));
    return d;
}

} // namespace unicast

UnicastCommands::UnicastCommands(Operator &op, TBroadcast &transport, DiscoveryCycle &cycle, UnitTable &units,
                                 QObject *parent)
    : QObject(parent), m_op(op), m_transport(transport), m_cycle(cycle), m_units(units)
{
}

QString UnicastCommands::ramQuestion(char request, const QString &ip)
{
    switch (request) {
    case '0': return QStringLiteral("Set RAM Speed to Zero for ") + ip + QLatin1Char('?');
    case '1': return QStringLiteral("Set RAM Speed to One for ") + ip + QLatin1Char('?');
    case 'e': return QStringLiteral("Enable Safe Mode for ") + ip + QLatin1Char('?');
    case 'd': return QStringLiteral("Disable Safe Mode for ") + ip + QLatin1Char('?');
    default: return {};
    }
}

QString UnicastCommands::archiveQuestion(char request, const QString &ip)
{
    switch (request) {
    case 'a': return QStringLiteral("Create Setup File Archive for ") + ip + QLatin1Char('?');
    case 'r': return QStringLiteral("Restore Archived Setup File for ") + ip + QLatin1Char('?');
    case 'd': return QStringLiteral("Delete Archive Setup File for ") + ip + QLatin1Char('?');
    case 'c': return QStringLiteral("Compare Archive & Setup File for ") + ip + QLatin1Char('?');
    default: return {};
    }
}

QString UnicastCommands::archiveResultText(char request, std::uint8_t result)
{
    struct Row
    {
        char letter;
        const char *done;
        const char *failed;
        const char *nothing;
    };
    static const Row rows[] = {
        {'a', "Archive Created Successfully", "Failed to Create an Archive", "Archive Already Exist. Delete first"},
        {'r', "Archive File Restored Successfully", "Failed to Restore the Archive",
         "ABORT: Archive File Does Not Exist or config & archive files match"},
        {'d', "Archive File Deleted Successfully", "Failed to Delete the Archive File", "Archive File Does not Exist"},
        {'c', "Archive & Setup files Match", "Archive & Setup files Do Not Match",
         "Archive File Does not Exist, Compare Aborted"},
    };
    for (const Row &r : rows) {
        if (r.letter != request)
            continue;
        switch (result) {
        case unicast::done: return QString::fromLatin1(r.done);
        case unicast::failed: return QString::fromLatin1(r.failed);
        case unicast::nothing: return QString::fromLatin1(r.nothing);
        default: return {};
        }
    }
    return {};
}

QString UnicastCommands::restartQuestion(char service, const QString &ip)
{
    switch (service) {
    case 'w': return QStringLiteral("Restart the webpage service for ") + ip + QLatin1Char('?');
    case 'r': return QStringLiteral("Restart the Remote Discovery & Access service for ") + ip + QLatin1Char('?');
    case 't': return QStringLiteral("Restart the Telnet service for ") + ip + QLatin1Char('?');
    default: return {};
    }
}

void UnicastCommands::send(const QString &ip, const QByteArray &datagram)
{
    m_cycle.suppressNextEndTone();
    m_transport.setBroadCastIP(ip);
    m_transport.SendBroadCast(datagram);
}

std::optional<std::uint8_t> UnicastCommands::awaitResult(int kind, int turns, int turnMs)
{
    const auto k = DiscoveryCycle::ResultKind(kind);
    for (int i = 0; i < turns && m_cycle.result(k).active; ++i)
        wait::delay(turnMs);
    const bool answered = !m_cycle.result(k).active;
    // The wait ends here whichever way it went: a late answer is nobody's.
    m_cycle.cancelResult(k);
    if (!answered)
        return std::nullopt;
    return m_cycle.result(k).result;
}

UnicastCommands::Result UnicastCommands::ramRequest(const QString &ip, char request)
{
    const QString question = ramQuestion(request, ip);
    if (question.isEmpty() || !isValidIPv4(ip))
        return Result::BadRequest;
    if (m_op.ask(question) != Answer::Yes)
        return Result::Declined;
    static const QHash<char, const char *> logs = {{'0', "RAM Speed Set to Zero for "},
                                                   {'1', "RAM Speed Set to One for "},
                                                   {'e', "Safe Mode Enabled for "},
                                                   {'d', "Safe Mode Disabled for "}};
    m_op.log(QString::fromLatin1(logs.value(request)) + ip);
    m_cycle.awaitResult(DiscoveryCycle::ResultKind::RamZero, ip);
    send(ip, unicast::ram(request));
    const std::optional<std::uint8_t> result =
        awaitResult(int(DiscoveryCycle::ResultKind::RamZero), ramTurns, ramTurnMs);
    if (result == unicast::done) {
        m_op.information(QStringLiteral("Request Complete"));
        return Result::Done;
    }
    m_op.warning(QStringLiteral("Request Failed"));
    return result ? Result::Failed : Result::NoAnswer;
}

UnicastCommands::Result UnicastCommands::archiveRequest(const QString &ip, char request)
{
    const QString question = archiveQuestion(request, ip);
    if (question.isEmpty() || !isValidIPv4(ip))
        return Result::BadRequest;
    if (m_op.ask(question) != Answer::Yes)
        return Result::Declined;
    static const QHash<char, const char *> logs = {{'a', "Create Archive file command sent to "},
                                                   {'r', "Restore Archived file command sent to "},
                                                   {'d', "Delete Archive file command sent to "},
                                                   {'c', "Compare Archive & setup file command sent to "}};
    if (request == 'r')
        m_op.information(QStringLiteral("If an archive file doesn't exist or config & Archive files match nothing "
                                        "will happen.\rAlso you will need to reboot to fully restore the archive."));
    m_op.log(QString::fromLatin1(logs.value(request)) + ip);
    m_cycle.awaitResult(DiscoveryCycle::ResultKind::Restore, ip);
    send(ip, unicast::archive(request));
    constexpr int turnMs = 20;
    const std::optional<std::uint8_t> result =
        awaitResult(int(DiscoveryCycle::ResultKind::Restore), archiveWaitMs / turnMs, turnMs);
    if (!result) {
        m_op.log(QStringLiteral("No answer to the archive request from ") + ip);
        return Result::NoAnswer;
    }
    const QString text = archiveResultText(request, *result);
    if (*result == unicast::done)
        m_op.information(text);
    else if (!text.isEmpty())
        m_op.warning(text);
    return *result == unicast::done ? Result::Done : *result == unicast::nothing ? Result::Nothing : Result::Failed;
}

bool UnicastCommands::restartService(const QString &ip, char service)
{
    const QString question = restartQuestion(service, ip);
    if (question.isEmpty() || !isValidIPv4(ip) || m_op.ask(question) != Answer::Yes)
        return false;
    m_op.log(QStringLiteral("Unicast Restart Port sent to ") + ip);
    send(ip, unicast::restartService(service));
    return true;
}

bool UnicastCommands::reboot(udppack &unit)
{
    const std::optional<unicast::Mac> mac = unicast::parseMac(unit.mac);
    if (!mac)
        return false;
    const QString ip = unit.ip;
    const quint64 link = unit.link;
    if (closeConnection)
        closeConnection(unit);
    // Closing may have waited: the unit is found again.
    const int index = m_units.findByLink(link);
    if (index >= 0)
        m_units.unit(index).selected = false;
    m_op.log(QStringLiteral("Unicast Reboot sent to ") + ip);
    send(ip, unicast::reboot(*mac));
    return true;
}

void UnicastCommands::syncClock(const udppack &unit, const dtpack &clock)
{
    const QString ip = unit.ip;
    m_transport.setBroadCastIP(ip);
    m_transport.SendBroadCast(unicast::clockSync(clock));
    m_op.log(QStringLiteral("Unicast Sync Sime sent to ") + ip);
}

} // namespace vork
