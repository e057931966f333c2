#include "discovery/discoverycycle.h"

#include "core/operator.h"
#include "core/version.h"
#include "discovery/broadcast.h"
#include "unit/announcement.h"
#include "unit/unittable.h"

#include <QDateTime>

namespace vork {

namespace {
constexpr int netstatFailedCount = 500;
} // namespace

DiscoveryCycle::DiscoveryCycle(Operator &op, TBroadcast &transport, UnitTable &units, QObject *parent)
    : QObject(parent), m_op(op), m_transport(transport), m_units(units)
{
    connect(&m_units, &UnitTable::unitEntered, this, &DiscoveryCycle::unitEntered);
}

QString DiscoveryCycle::syncQuestion()
{
    return QStringLiteral("Are you sure you want to synchronize all discovered units to your PC's clock?");
}

QString DiscoveryCycle::noneFoundText()
{
    return QStringLiteral("No Vork Control Units discovered on the network");
}

void DiscoveryCycle::setSyncClock(bool on)
{
    if (m_sync == on)
        return;
    m_sync = on;
    Q_EMIT syncClockChanged(on);
}

QString DiscoveryCycle::countText() const
{
    return QLatin1Char(' ') + QString::number(m_units.count()) + QStringLiteral(" Vork Unit(s) found");
}

bool DiscoveryCycle::start()
{
    m_units.clearDuplicates();
    Q_EMIT verifyEnabled(false);
    m_transport.setOnDiscoveryComplete([this] { windowEnded(); });

    for (ResultWait &w : m_waits)
        w.cancel();

    m_op.tone(Tone::DiscoveryStart);
    m_listComplete = m_sort == SortOrder::None;
    m_collecting = true;
    Q_EMIT started();

    m_units.clear();
    dtpack stamp;
    if (m_sync && m_op.ask(syncQuestion()) == Answer::Yes) {
        setSyncClock(false);
        stamp = dtpackFromDateTime(clock ? clock() : QDateTime::currentDateTime());
    }
    const QByteArray query = discoveryQuery(stamp);

    if (m_useList && sendToTargets) {
        sendToTargets(query);
    } else {
        m_transport.setBroadCastIP(QStringLiteral("255.255.255.255"));
        m_transport.SendBroadCast(query);
    }
    setSyncClock(false);
    return true;
}

void DiscoveryCycle::dataReceived(const QByteArray &buff, int count, const QString &sender)
{
    for (ResultKind kind : {ResultKind::RamZero, ResultKind::Restore}) {
        ResultWait &w = wait(kind);
        if (w.active && sender == w.address) {
            w.active = false;
            w.result = buff.isEmpty() ? 0 : static_cast<std::uint8_t>(buff[0]);
            return;
        }
    }
    if (const ResultWait &w = wait(ResultKind::Netstat); w.active && sender == w.address) {
        Q_EMIT netstatReceived(buff, count < 0 ? netstatFailedCount : count, sender);
        return;
    }

    udppack announced;
    if (count < announcement::oldSize) {
        m_op.log(QStringLiteral("Deficient BroadCast Msg Received From ") + sender + QStringLiteral(" BC: ")
                 + QString::number(count));
    } else {
        decodeAnnouncement(buff, count, announced);
        if (m_factoryResetWait) {
            m_factoryResetWait = false;
            if (announced.mac.compare(m_factoryResetMac, Qt::CaseInsensitive) == 0) {
                const QString text = QStringLiteral("Factory Reset Successful for ") + announced.mac;
                m_op.information(text);
                m_op.log(text);
            }
            m_factoryResetMac.clear();
        } else {
            m_op.log(QStringLiteral("BroadCast Msg Received From ") + announced.ip + QStringLiteral(" BC:")
                     + QString::number(count));
        }
        m_units.enterAnnouncement(announced, sender);
    }

    if (m_unicastTarget == sender)
        m_unicastTarget.clear();
    m_op.setPanel(Panel::Status, m_sort == SortOrder::None
                         ? countText()
                         : QStringLiteral(" Sorting...") + QString::number(m_units.count()));
    m_op.setPanel(Panel::ProgramVersion, ProgramVersion::current().text(true));
    m_op.breathe();

    if (count >= announcement::oldSize)
        Q_EMIT announcementReceived(announced, sender);
}

void DiscoveryCycle::awaitResult(ResultKind kind, const QString &address)
{
    ResultWait &w = wait(kind);
    w.active = true;
    w.address = address;
    w.result = 0;
}

void DiscoveryCycle::awaitFactoryReset(const QString &mac)
{
    m_factoryResetWait = true;
    m_factoryResetMac = mac;
}

void DiscoveryCycle::windowEnded()
{
    if (!m_endToneSuppressed)
        m_op.tone(Tone::DiscoveryEnd);
    m_endToneSuppressed = false;

    m_collecting = false;
    sortList();
    Q_EMIT windowFinished(true);
    Q_EMIT verifyEnabled(m_units.count() > 0);

    if (m_units.duplicate()) {
        QString macs;
        for (const QString &mac : m_units.duplicateMacs())
            macs += QLatin1Char(' ') + mac;
        m_op.warning(QStringLiteral("Warning: Duplicate IP address on network ") + m_units.duplicateAddress()
                     + QStringLiteral("\n\r") + macs);
    }
}

void DiscoveryCycle::sortList()
{
    if (m_sort != SortOrder::None)
        m_units.sort(m_sort);
    m_listComplete = true;
    Q_EMIT listSorted();
    m_op.setPanel(Panel::Status, countText());
    if (m_units.isEmpty() && !m_quietWhenEmpty)
        m_op.information(noneFoundText());
}

} // namespace vork
