#include "discovery/setip.h"

#include "core/address.h"
#include "core/boundedwait.h"
#include "core/operator.h"
#include "core/tones.h"
#include "discovery/arpcache.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "discovery/unicast.h"
#include "unit/records.h"

#include <QPointer>

namespace vork {

SetIp::SetIp(Operator &op, TBroadcast &transport, DiscoveryCycle &cycle, ArpCache &arp, QObject *parent)
    : QObject(parent), m_op(op), m_transport(transport), m_cycle(cycle), m_arp(arp)
{
    connect(&m_cycle, &DiscoveryCycle::announcementReceived, this, &SetIp::announced);
    connect(&m_cycle, &DiscoveryCycle::windowFinished, this, &SetIp::windowFinished);
}

bool SetIp::validMacBoxes(const MacBoxes &boxes)
{
    for (const QString &b : boxes) {
        if (b.size() != 2)
            return false;
        for (QChar c : b)
            if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
                return false;
    }
    return true;
}

QString SetIp::macText(const MacBoxes &boxes)
{
    QString text;
    for (const QString &b : boxes)
        text += b;
    return text;
}

QString SetIp::successText(const QString &address, const QString &mac)
{
    return QStringLiteral("Successfully set IP to ") + address + QStringLiteral(" on Vork Unit ") + mac;
}

QString SetIp::failureLog(const QString &mac)
{
    return QStringLiteral("Failed to set the IP address on Vork Unit ") + mac;
}

QString SetIp::failureText(const QString &mac)
{
    return failureLog(mac) + QStringLiteral("\n\n\r")
           + QStringLiteral("Try cycling power on the Vork unit. Then try again but do not do a discover before")
           + QStringLiteral("\n\r")
           + QStringLiteral("setting the IP. If the utility has \"auto-discover on startup\" enabled, then turn "
                            "this feature")
           + QStringLiteral("\n\r")
           + QStringLiteral("off and restart the utility before making a second attempt at setting the IP.");
}

QString SetIp::inUseText(const QString &ip)
{
    return QStringLiteral("IP: ") + ip + QStringLiteral(" is already assigned to a device on the network");
}

QString SetIp::sendingLine(const QString &ip, const QString &mac)
{
    return QStringLiteral("Setting IP to ") + ip + QStringLiteral(" for ") + mac;
}

void SetIp::setProgress(int value)
{
    value = std::clamp(value, 0, progressMax);
    if (value == m_progress)
        return;
    m_progress = value;
    Q_EMIT progressChanged(value);
}

void SetIp::refuse(Refusal why, const QString &text)
{
    m_op.warning(text);
    m_state = State::Refused;
    Q_EMIT refused(why);
}

bool SetIp::start(const Request &r)
{
    if (m_running || m_waiting)
        return false; // one address change at a time

    if (!validMacBoxes(r.mac)) {
        refuse(Refusal::Mac, QStringLiteral("Invalid MAC address specified"));
        return false;
    }
    if (!isValidUnitIP(r.ip, false)) {
        refuse(Refusal::Ip, QStringLiteral("Invalid IP address specified"));
        return false;
    }
    if (!isValidUnitIP(r.mask, false)) {
        refuse(Refusal::Mask, QStringLiteral("Invalid subnet mask specified"));
        return false;
    }
    if (!isValidUnitIP(r.gateway, true)) {
        refuse(Refusal::Gateway, QStringLiteral("Invalid gateway specified"));
        return false;
    }
    const std::optional<unicast::Mac> mac = unicast::parseMac(macText(r.mac));
    const std::optional<QByteArray> datagram =
        mac ? unicast::setIp(*mac, r.ip, r.mask, r.gateway) : std::nullopt;
    if (!datagram) {
        // The checks above make this unreachable; never send a half-built datagram.
        refuse(Refusal::Ip, QStringLiteral("Invalid IP address specified"));
        return false;
    }

    QPointer<SetIp> self(this);
    m_running = true;
    m_op.tone(Tone::Button);
    if (m_tones)
        m_tones->raiseMute();
    Q_EMIT guideMeEnabled(false);
    // Every way out of here lowers the mute and gives the guide back.
    struct Exit
    {
        QPointer<SetIp> self;
        Tones *tones;
        ~Exit()
        {
            if (tones)
                tones->lowerMute();
            if (self) {
                self->m_running = false;
                Q_EMIT self->guideMeEnabled(true);
            }
        }
    } exit{self, m_tones};

    m_ip = r.ip;
    m_mac = macText(r.mac);
    m_state = State::Idle;
    setProgress(0);
    advance();
    if (closeConnection)
        closeConnection();

    QStringList pairs;
    for (const QString &b : r.mac)
        pairs << b;
    m_arp.purge(pairs.join(QLatin1Char('-')), false);
    advance();
    wait::delay(m_timing.settleMs);
    if (!self)
        return false;
    advance();

    if (ping && ping(m_ip, m_timing.pingMs)) {
        m_op.warning(inUseText(m_ip));
        setProgress(0);
        m_state = State::Refused;
        Q_EMIT refused(Refusal::InUse);
        return false;
    }
    if (!self)
        return false;

    advance();
    if (closeOpenUnits)
        closeOpenUnits();
    if (!self)
        return false;
    advance();

    advance(); // address
    advance(); // mask
    advance(); // gateway
    QStringList targets;
    const bool toList = m_cycle.useList();
    if (toList) {
        targets = listTargets ? listTargets() : QStringList();
        if (targets.isEmpty()) {
            m_op.warning(QStringLiteral("Discovery List is Empty"));
            setProgress(0);
            m_state = State::Refused;
            Q_EMIT refused(Refusal::EmptyList);
            return false;
        }
    }
    const QString before = m_transport.BroadCastIP();
    m_waiting = true;
    m_confirmed = false;
    m_confirmedAddress.clear();
    m_confirmedMac.clear();
    m_state = State::Waiting;
    m_cycle.setQuietWhenEmpty(true);
    // The send's own window must not finish the change: the coming discovery registers it again.
    m_transport.setOnDiscoveryComplete(nullptr);

    if (toList) {
        for (const QString &t : std::as_const(targets)) {
            m_transport.setBroadCastIP(t);
            m_op.log(sendingLine(m_ip, m_mac));
            m_transport.SendBroadCast(*datagram);
            m_op.breathe();
            if (!self)
                return false;
        }
    } else {
        m_transport.setBroadCastIP(QStringLiteral("255.255.255.255"));
        m_transport.SendBroadCast(*datagram);
        m_op.log(sendingLine(m_ip, m_mac));
    }
    m_transport.setBroadCastIP(before);
    advance();
    for (int i = 0; i < m_timing.progressTurns; ++i) {
        advance();
        if (i + 1 < m_timing.progressTurns)
            wait::delay(m_timing.progressTurnMs);
        if (!self)
            return false;
    }
    advance();

    m_cycle.start();
    return true;
}

void SetIp::announced(const udppack &unit, const QString &sender)
{
    if (!m_waiting)
        return;
    // Only the unit that was asked counts: another device on that address is no confirmation.
    if (unit.mac.compare(m_mac, Qt::CaseInsensitive) != 0)
        return;
    QString address;
    if (unit.ip == m_ip)
        address = unit.ip;
    else if (sender == m_ip)
        address = sender;
    else
        return;
    m_confirmed = true;
    m_confirmedAddress = address;
    m_confirmedMac = unit.mac;
    Q_EMIT confirmedAt(address);
}

void SetIp::windowFinished()
{
    if (!m_waiting)
        return;
    setProgress(0);
    m_waiting = false;
    m_cycle.setQuietWhenEmpty(false);
    if (m_confirmed) {
        const QString text = successText(m_confirmedAddress, m_confirmedMac);
        m_op.log(text);
        m_op.information(text);
        m_state = State::Confirmed;
    } else {
        m_op.log(failureLog(m_mac));
        m_op.warning(failureText(m_mac));
        m_state = State::Failed;
    }
    Q_EMIT showDiscoverTab();
    Q_EMIT finished(m_confirmed);
}

} // namespace vork
