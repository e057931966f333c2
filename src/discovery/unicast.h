#pragma once

#include "unit/records.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace vork {

class DiscoveryCycle;
class Operator;
class TBroadcast;
class UnitTable;

// The datagrams that act on one unit without a TCP connection.
namespace unicast {

using Mac = std::array<std::uint8_t, 6>;

// 12 hexadecimal characters (separators ":" or "-" allowed) as six bytes, first pair first.
std::optional<Mac> parseMac(const QString &text);

QByteArray query();                       // "SVRK?" + 8 zero bytes
QByteArray clockSync(const dtpack &clock); // "SVRK?" + the clock
QByteArray reboot(const Mac &mac);         // "SVRK#" + MAC + 2 zero bytes
// 'w' webpages, 'r' remote discovery and access, 't' telnet.
QByteArray restartService(char service);
// New IP, mask and gateway as a.b.c.d; nothing when one does not parse.
std::optional<QByteArray> setIp(const Mac &mac, const QString &ip, const QString &mask, const QString &gateway);
QByteArray factoryReset(const Mac &mac);   // "SVRK^" + MAC
// '0', '1' RAM speed, 'e', 'd' safe mode.
QByteArray ram(char request);
// 'a' create, 'r' restore, 'd' delete, 'c' compare.
QByteArray archive(char request);

constexpr std::uint8_t done = 6;
constexpr std::uint8_t failed = 33;
constexpr std::uint8_t nothing = 63;

} // namespace unicast

// Unicast commands with their questions, log lines and result waits.
class UnicastCommands : public QObject
{
    Q_OBJECT
public:
    static constexpr int ramTurns = 20;
    static constexpr int ramTurnMs = 20;
    static constexpr int archiveWaitMs = 2000;
    // Firmware before 5.0.2 keeps no setup archive.
    static constexpr int archiveFirstVersion = 502;

    UnicastCommands(Operator &op, TBroadcast &transport, DiscoveryCycle &cycle, UnitTable &units,
                    QObject *parent = nullptr);

    // The unit's TCP connection closes before a reboot by datagram.
    std::function<void(udppack &unit)> closeConnection;

    enum class Result { Done, Failed, Nothing, NoAnswer, Declined, BadRequest };
    // RAM speed or safe mode ('0', '1', 'e', 'd'); asks first.
    Result ramRequest(const QString &ip, char request);
    // Archive create/restore/delete/compare ('a', 'r', 'd', 'c'); asks first.
    Result archiveRequest(const QString &ip, char request);
    // 'w', 'r', 't'; asks first.
    bool restartService(const QString &ip, char service);
    // Closes the unit's connection, deselects it, sends the reboot datagram.
    bool reboot(udppack &unit);
    void syncClock(const udppack &unit, const dtpack &clock);

    // The texts of each request, by its letter.
    static QString ramQuestion(char request, const QString &ip);
    static QString archiveQuestion(char request, const QString &ip);
    static QString archiveResultText(char request, std::uint8_t result); // empty for another value
    static QString restartQuestion(char service, const QString &ip);

private:
    void send(const QString &ip, const QByteArray &datagram);
    std::optional<std::uint8_t> awaitResult(int kind, int turns, int turnMs);

    Operator &m_op;
    TBroadcast &m_transport;
    DiscoveryCycle &m_cycle;
    UnitTable &m_units;
};

} // namespace vork
