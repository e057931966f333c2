#pragma once

#include "simcommandserver.h"
#include "simtelnetserver.h"
#include "core/ports.h"
#include "simunit.h"

#include "connection/commands.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>

class QUdpSocket;

namespace vork::sim {

// The UDP port every unit listens on for requests.
using vork::unitUdpPort;

// What a datagram to the unit's UDP port asks for. Kinds the simulator does
// not act on yet are Unknown: recorded, never answered.
enum class UdpRequest { DiscoveryQuery, Reboot, RestartService, SetIp, FactoryReset, Ram, Archive, Unknown };
UdpRequest classifyRequest(QByteArrayView datagram);

// One simulated unit on its own address: answers discovery queries with its
// announcement, keeps its own clock and run time, and records every datagram.
// Its TCP command port (3011) is the SimCommandServer it owns.
class SimUnitServer : public QObject
{
    Q_OBJECT
public:
    struct Received
    {
        QByteArray bytes;
        QHostAddress sender;
        quint16 senderPort = 0;
    };
    struct Options
    {
        bool bindAny = false; // 0.0.0.0 instead of the unit's address: one unit per namespace
        quint16 port = unitUdpPort;
        bool tcp = true; // also listen on the TCP command port
        quint16 tcpPort = commandPort;
        // With bindAny: the interface whose address a set-IP request replaces (lab namespaces only).
        QString labIface;
        // The unit's telnet console (the units use telnetPort); 0: none. Tests pick a high port.
        quint16 telnetPort = 0;
        // A telnet port that cannot be bound is a warning, not a failed start (23 needs privileges).
        bool telnetOptional = false;
    };
    using WallClock = std::function<QDateTime()>;
    using Monotonic = std::function<qint64()>; // milliseconds, never going back

    // Recording stops growing here; older entries make room for newer ones.
    static constexpr int maxRecorded = 4096;

    explicit SimUnitServer(const SimUnit &unit, QObject *parent = nullptr);
    ~SimUnitServer() override;

    bool start(const Options &options, QString *error = nullptr);
    void stop();
    bool isListening() const;
    quint16 localPort() const;

    const SimUnit &unit() const { return m_unit; }
    // The mask and gateway the last set-IP request gave (null before one).
    QHostAddress mask() const { return m_mask; }
    QHostAddress gateway() const { return m_gateway; }
    // Faults may be switched while the unit runs; they apply from the next query.
    void setFaults(const SimFaults &faults) { m_unit.faults = faults; }
    void setOldFirmware(bool old) { m_unit.oldFirmware = old; }

    // Replaces the PC clock and the run-time clock (tests pin both).
    void setTimeSource(WallClock wall, Monotonic monotonic);

    QDateTime clock() const;
    std::uint32_t runTime() const;
    // The announcement the unit would send now, before any fault reshapes it.
    QByteArray announcement() const;
    // All 130 bytes, whatever the firmware: the layout of the 'I' block.
    QByteArray fullAnnouncement() const;

    // TCP command port: its client, recordings and test hooks.
    SimCommandServer &tcp() { return *m_command; }
    const SimCommandServer &tcp() const { return *m_command; }
    // Faults of the command port apply from the next command.
    void setCommandFaults(const SimCommandFaults &faults) { m_unit.commandFaults = faults; }
    void setMonitor(const SimMonitor &monitor) { m_unit.monitor = monitor; }
    void setChecksum(const SimChecksum &checksum) { m_unit.checksum = checksum; }
    // The telnet console, when Options::telnetPort was set.
    SimTelnetServer &telnet() { return *m_telnet; }
    const SimTelnetServer &telnet() const { return *m_telnet; }
    // Telnet faults apply from the next login.
    void setTelnet(const SimTelnet &telnet) { m_unit.telnet = telnet; }
    void setRestartSilenceMs(int ms) { m_unit.restartSilenceMs = ms; }
    void setFlash(const SimFlash &flash) { m_unit.flash = flash; }
    // A flashed image's identity: what the unit announces from now on.
    void setFirmware(const std::array<std::uint8_t, 3> &version, const std::array<std::uint8_t, 4> &build,
                     std::uint8_t readers)
    {
        m_unit.version = version;
        m_unit.build = build;
        m_unit.readers = readers;
    }
    // An image written without a reboot: the unit runs it from its next reboot on.
    void setPendingFirmware(const std::array<std::uint8_t, 3> &version, const std::array<std::uint8_t, 4> &build,
                            std::uint8_t readers)
    {
        m_pendingFirmware = PendingFirmware{version, build, readers};
    }
    const QByteArray &setupRecord() const { return m_unit.setupRecord; }
    const QByteArray &archive() const { return m_archive; }
    // Cut or zero-padded to 243 bytes.
    void setSetupRecord(const QByteArray &record);
    // Sets the unit's clock to d; a clock that is no valid local time is ignored.
    void setClock(const dtpack &d);

    // Reboots as on the 'R' command: the client is dropped, UDP and TCP stay silent
    // for the unit's restart time, then the unit is back with its run time counted from now.
    void reboot();
    bool isDown() const { return m_down; }

    const QList<Received> &received() const { return m_received; }
    void clearReceived() { m_received.clear(); }

Q_SIGNALS:
    void datagramReceived(const QByteArray &bytes, const QString &sender, quint16 senderPort);
    void answerSent(const QByteArray &bytes, const QString &to, quint16 toPort);
    void wentDown();
    void restarted();
    // A set-IP request for this unit was taken: it answers from address from now on.
    void addressChanged(const QString &address);
    // The lab interface could not be given the new address.
    void addressChangeFailed(const QString &reason);

private:
    friend class SimCommandServer;

    struct PendingFirmware
    {
        std::array<std::uint8_t, 3> version;
        std::array<std::uint8_t, 4> build;
        std::uint8_t readers;
    };

    void readPending();
    void comeBack();
    // The unit as its announcement shows it now: cons bit 8 while the command port is held.
    SimUnit shownUnit() const;
    void handle(const QByteArray &bytes, const QHostAddress &sender, quint16 port);
    // RAM and archive requests: one result byte.
    void answerRequest(const QByteArray &request, const QHostAddress &sender, quint16 port);
    void answerQuery(QByteArrayView query, const QHostAddress &sender, quint16 port);
    QByteArray answerWithMac(const QString &mac);
    QByteArray garbage(int length);
    void send(const QByteArray &bytes, const QHostAddress &to, quint16 port);
    void takeAddress(const QByteArray &request);
    void moveLabInterface(const QHostAddress &address, int prefix, const QHostAddress &gateway);

    SimUnit m_unit;
    QHostAddress m_mask;
    QHostAddress m_gateway;
    QPointer<QUdpSocket> m_socket;
    WallClock m_wall;
    Monotonic m_monotonic;
    qint64 m_startMs = 0;
    QList<Received> m_received;
    QByteArray m_archive; // the setup archive; empty: none
    QRandomGenerator m_random;
    bool m_drainQueued = false;
    Options m_options;
    bool m_started = false;
    bool m_down = false;
    std::optional<PendingFirmware> m_pendingFirmware;
    QTimer m_restartTimer;
    SimCommandServer *m_command = nullptr; // child
    SimTelnetServer *m_telnet = nullptr;   // child
};

} // namespace vork::sim
