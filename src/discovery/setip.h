#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace vork {

class ArpCache;
class DiscoveryCycle;
class Operator;
class TBroadcast;
class Tones;
struct udppack;

// Gives a unit a new address by its MAC: checks, ARP clean-up, the in-use
// ping, closing connections, the datagram, then a discovery whose window end
// tells whether the unit answered from its new address.
class SetIp : public QObject
{
    Q_OBJECT
public:
    using MacBoxes = std::array<QString, 6>;
    struct Request
    {
        MacBoxes mac;
        QString ip;
        QString mask = QStringLiteral("255.255.255.0");
        QString gateway = QStringLiteral("0.0.0.0");
    };
    // Why a request went no further; the guide moves to the matching field.
    enum class Refusal { Mac, Ip, Mask, Gateway, InUse, EmptyList };
    Q_ENUM(Refusal)
    enum class State { Idle, Refused, Waiting, Confirmed, Failed };
    Q_ENUM(State)
    struct Timing
    {
        int settleMs = 1000;     // after the ARP clean-up
        int pingMs = 200;        // the in-use check
        int closeAckSeconds = 5; // each open unit's close command
        int progressTurns = 30;
        int progressTurnMs = 130;
    };
    static constexpr int progressMax = 40;

    SetIp(Operator &op, TBroadcast &transport, DiscoveryCycle &cycle, ArpCache &arp, QObject *parent = nullptr);

    // The program's tone mute, raised for the whole procedure; none: no mute.
    void setTones(Tones *tones) { m_tones = tones; }
    void setTiming(const Timing &t) { m_timing = t; }

    // Hooks from the connection side and the target list.
    std::function<bool(const QString &host, int timeoutMs)> ping;
    std::function<void()> closeConnection; // the program's open unit connection
    std::function<void()> closeOpenUnits;  // "C" to every unit with an open connection, each acknowledged
    std::function<QStringList()> listTargets; // the expanded list when "Use List" is on

    // Runs up to the discovery that follows the send; false when refused.
    bool start(const Request &request);

    State state() const { return m_state; }
    bool waiting() const { return m_waiting; }
    int progress() const { return m_progress; }
    QString confirmedAddress() const { return m_confirmedAddress; }
    QString confirmedMac() const { return m_confirmedMac; }

    static bool validMacBoxes(const MacBoxes &boxes);
    static QString macText(const MacBoxes &boxes); // the 12 characters
    static QString successText(const QString &address, const QString &mac);
    static QString failureLog(const QString &mac);
    static QString failureText(const QString &mac);
    static QString inUseText(const QString &ip);
    static QString sendingLine(const QString &ip, const QString &mac);

Q_SIGNALS:
    void progressChanged(int value);
    void guideMeEnabled(bool on);
    void refused(vork::SetIp::Refusal why);
    // The unit answered from its new address: the grid brings that row into view.
    void confirmedAt(const QString &address);
    void finished(bool confirmed);
    void showDiscoverTab();

private:
    void setProgress(int value);
    void advance() { setProgress(m_progress + 1); }
    void refuse(Refusal why, const QString &text);
    void announced(const udppack &unit, const QString &sender);
    void windowFinished();

    Operator &m_op;
    TBroadcast &m_transport;
    DiscoveryCycle &m_cycle;
    ArpCache &m_arp;
    Tones *m_tones = nullptr;
    Timing m_timing;
    State m_state = State::Idle;
    bool m_running = false;
    bool m_waiting = false;
    bool m_confirmed = false;
    int m_progress = 0;
    QString m_ip;
    QString m_mac; // 12 characters
    QString m_confirmedAddress;
    QString m_confirmedMac;
};

} // namespace vork
