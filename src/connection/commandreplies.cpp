#include "connection/commandreplies.h"

#include "connection/connectionmanager.h"
#include "connection/unitclient.h"
#include "core/operator.h"
#include "unit/announcement.h"
#include "unit/bytecursor.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QLocale>
#include <QPointer>
#include <QTimer>

namespace vork {

CommandReplies::CommandReplies(Operator &op, UnitTable &units, ConnectionManager &connections, QObject *parent)
    : QObject(parent), m_op(op), m_units(units), m_connections(connections),
      m_clock(clockBlockSize, [this](udppack &u, const ReplySource &, const QByteArray &b) { receiveTimeData(u, b); }),
      m_versionSink(versionBlockSize,
                    [this](udppack &u, const ReplySource &, const QByteArray &b) { receiveVersionData(u, b); }),
      m_info(announcement::fullSize, [this](udppack &, const ReplySource &from, const QByteArray &b) { receiveInfo(from, b); }),
      m_checksumSink(checksumBlockSize, [this](udppack &u, const ReplySource &, const QByteArray &b) { receiveCS(u, b); }),
      m_checksumTimer(new QTimer(this))
{
    ReplyRouter &r = connections.replies();
    m_registrations[0] = r.add(ReplyType::Clock, m_clock);
    m_registrations[1] = r.add(ReplyType::Version, m_versionSink);
    m_registrations[2] = r.add(ReplyType::Info, m_info);
    m_registrations[3] = r.add(ReplyType::Checksum, m_checksumSink);
    m_checksumTimer->setSingleShot(true);
    connect(m_checksumTimer, &QTimer::timeout, this, &CommandReplies::endBusy);
}

CommandReplies::~CommandReplies()
{
    if (m_checksumBusy)
        m_op.setBusy(false);
}

QString CommandReplies::clockLabel(const QDateTime &t)
{
    // English names whatever the desktop's language: the label matches the unit's own texts.
    return QLatin1Char(' ') + QLocale::c().toString(t, QStringLiteral("dddd, MMMM d, yyyy, hh:mm:ss AP"));
}

void CommandReplies::receiveTimeData(udppack &unit, const QByteArray &block)
{
    const dtpack d = readDtpack(block);
    const bool inRange = d.sec <= 59 && d.minutes <= 59 && d.hrs <= 23 && d.dayOfMonth >= 1 && d.dayOfMonth <= 31
                         && d.dayOfWeek <= 7 && d.mon >= 1 && d.mon <= 12 && d.year <= 98 && d.cent >= 1
                         && d.cent <= 98;
    const QDate date(d.fullYear(), d.mon, d.dayOfMonth);
    if (!inRange || !date.isValid())
        return; // a clock the unit cannot mean: ignored
    const QDateTime t(date, QTime(d.hrs, d.minutes, d.sec));
    const QString ip = unit.ip;
    Q_EMIT clockReceived(t);
    m_op.log(QStringLiteral("Time Data Received for ") + ip);
    m_op.log(QStringLiteral("Vork Unit ") + ip + QStringLiteral(" Current Date/Time is \"") + clockLabel(t)
             + QLatin1Char('"'));
}

void CommandReplies::receiveVersionData(udppack &unit, const QByteArray &block)
{
    m_version = block.left(versionBlockSize);
    ByteReader r(block);
    vpack v;
    for (auto &b : v.vnum)
        b = r.u8();
    for (auto &b : v.vbld)
        b = r.u8();
    v.vrcnt = r.u8();
    m_op.log(QStringLiteral("Version Data Received for ") + unit.ip + QStringLiteral(" Version ") + versionText(v)
             + QStringLiteral(" Build Date ") + buildDateText(v));
    Q_EMIT versionReceived(m_version);
}

void CommandReplies::receiveInfo(const ReplySource &from, const QByteArray &block)
{
    udppack decoded;
    decodeAnnouncement(block, static_cast<int>(block.size()), decoded);
    m_units.enterAnnouncement(decoded, from.address);
    m_op.log(QStringLiteral("Info Data Received for ") + from.address);
    m_op.setPanel(Panel::Status, QStringLiteral("Info Received"));
    m_op.breathe();
    // The connection that delivered it is closed with the close command.
    const int i = m_units.findByLink(from.link);
    const QPointer<UnitClient> c = i >= 0 ? m_connections.existingClient(m_units.unit(i)) : nullptr;
    if (!c || !c->isOpen() || c->serial() != from.serial)
        return;
    m_op.log(QStringLiteral("Sent C Command to Vork Unit ") + from.address);
    if (m_connections.WaitForAck(c->socket(), 1, Command::Close) != AckResult::Ack) {
        m_op.log(QStringLiteral("Vork Unit failed to Respond to Close Socket Command"));
        if (c)
            c->close();
    }
}

void CommandReplies::receiveCS(udppack &unit, const QByteArray &block)
{
    endBusy();
    ByteReader r(block);
    m_checksum.checksum = r.u32();
    m_checksum.byteCount = r.u32();
    r.u8();
    const std::uint32_t lo = r.u16();
    m_checksum.location = lo | (static_cast<std::uint32_t>(r.u8()) << 16);
    const ChecksumResult result = m_checksum;
    const QString mac = unit.mac;
    Q_EMIT checksumReady(result);

    if (m_checksumQuiet)
        return;
    const QString text = QStringLiteral("Checksum = ") + QString::number(result.checksum, 16)
                         + QStringLiteral(" Byte Count = ") + QString::number(result.byteCount, 16);
    m_op.log(QStringLiteral("Checksum data for ") + mac + QStringLiteral(": ") + text);
    m_op.information(text + QStringLiteral("\n\r")
                     + (result.ramMatches() ? QStringLiteral("RAM program matches FLASH")
                                            : QStringLiteral("RAM program mismatch at location ")
                                                  + QString::number(result.location, 16)));
}

void CommandReplies::checksumRequested()
{
    if (!m_checksumBusy) {
        m_checksumBusy = true;
        m_op.setBusy(true);
    }
    m_checksumTimer->start(m_checksumBusyLimit);
}

void CommandReplies::endBusy()
{
    m_checksumTimer->stop();
    if (m_checksumBusy) {
        m_checksumBusy = false;
        m_op.setBusy(false);
    }
}

} // namespace vork
