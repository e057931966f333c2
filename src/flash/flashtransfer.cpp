// One unit's flash: the command and the erase wait, the lines with an answer each,
// the reboot wait by ping and the refreshed identity.
#include "flash/flashrun.h"

#include "connection/connectionmanager.h"
#include "connection/operation.h"
#include "connection/unitclient.h"
#include "core/boundedwait.h"
#include "core/operator.h"
#include "core/pinger.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "flash/flashstatus.h"
#include "flash/heximage.h"
#include "services/unitservices.h"
#include "unit/announcement.h"
#include "unit/unittable.h"

#include <QDeadlineTimer>
#include <QLocale>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

namespace vork {

namespace {

// While a transfer runs, the unit's socket is read here alone.
class ReadHold
{
public:
    explicit ReadHold(ConnectionManager &c) : m_c(c) { m_c.holdReads(true); }
    ~ReadHold() { m_c.holdReads(false); }
    ReadHold(const ReadHold &) = delete;
    ReadHold &operator=(const ReadHold &) = delete;

private:
    ConnectionManager &m_c;
};

constexpr std::uint8_t cancelByte = 0x18;
constexpr std::uint8_t verifyFaultByte = 0x16;

} // namespace

void FlashRun::flashUnit(ScopedOperation &operation, Outcome &outcome, std::uint8_t command)
{
    Operator &op = m_services.op();
    ConnectionManager &connections = m_services.connections();
    udppack *u = unitOf(operation);
    if (!u)
        return;
    const QString ip = u->ip;
    op.setBusy(true);
    op.log(QStringLiteral("Flashing With File: ") + m_image.path);
    m_startTime = now();
    m_startClock.start();
    m_expectedVersion.clear();
    if (m_mode == FlashMode::Program && m_image.buildData()) {
        const auto &v = m_image.build.info.brivellaOS;
        m_expectedVersion = QString::number(v[0]) + QLatin1Char('.') + QString::number(v[1]) + QLatin1Char('.')
                            + QString::number(v[2]);
    }

    add(dateStamp(m_startTime) + QStringLiteral(" *** Flashing Vork unit ") + ip + QStringLiteral(" Mac: ") + u->mac
        + QStringLiteral(" Current Version ") + u->vnumber + QStringLiteral(" Build Date ") + u->vbuild
        + QStringLiteral(" ***"));
    addTimed(QStringLiteral(" Sent ") + QChar(char16_t(command)) + QStringLiteral(" Command to Vork Unit"));
    addTimed(QStringLiteral(" Waiting for Vork Unit to Erase Flash"));

    Row row;
    row.mac = u->mac;
    row.ip = ip;
    row.flashDate = QLocale::c().toString(m_startTime.date(), QStringLiteral("MM/dd/yyyy"));
    row.startTime = QLocale::c().toString(m_startTime.time(), QStringLiteral("hh:mm:ss  AP"));
    row.oldVersion = m_mode == FlashMode::Program ? u->vnumber + QStringLiteral(" - ") + u->vbuild : u->blv;
    m_rows.append(row);
    Q_EMIT rowAdded(int(m_rows.size()) - 1);
    setStatus(flashstatus::rowAdded(0));
    setPhase(ip, Phase::Erasing);

    const AckResult erased = connections.WaitForAck(connections.socket(*u), m_t.eraseAckSeconds, static_cast<Command>(command));
    u = unitOf(operation);
    if (erased != AckResult::Ack || !u) {
        setStatus(flashstatus::eraseNotAcknowledged(m_rows.last().status));
        const QString why = erased == AckResult::Nak       ? QStringLiteral("refused the flash command (NAK)")
                            : erased == AckResult::Closed  ? ConnectionManager::lostText()
                            : erased == AckResult::TimedOut ? QStringLiteral("did not confirm the erase within ")
                                                                  + QString::number(m_t.eraseAckSeconds) + QStringLiteral(" s")
                                                            : ConnectionManager::lostText();
        outcome.reason = QStringLiteral("Vork Unit ") + ip + QLatin1Char(' ') + why;
        addTimed(QLatin1Char(' ') + outcome.reason);
        op.log(outcome.reason);
        setPhase(ip, Phase::None);
        op.setBusy(false);
        return;
    }
    setStatus(flashstatus::eraseAcknowledged(m_rows.last().status));
    addTimed(QStringLiteral(" Erase Complete"));
    addTimed(QStringLiteral(" Sending ") + m_image.path + QStringLiteral(" to Vork Unit ") + ip);

    const bool sent = transfer(operation, outcome);
    refreshIdentity(operation, outcome, ip);
    Q_UNUSED(sent);
    setPhase(ip, Phase::None);
    op.setBusy(false);
}

bool FlashRun::transfer(ScopedOperation &operation, Outcome &outcome)
{
    Operator &op = m_services.op();
    ConnectionManager &connections = m_services.connections();
    udppack *u = unitOf(operation);
    const QString ip = outcome.ip;
    m_bytesSent = 0;
    m_acknowledged = 0;
    m_lineFailure.clear();
    const int total = int(m_lines.size());
    bool failed = false;

    if (u && !connections.isOpen(u)) {
        m_services.units().setCurrent(u);
        connections.Connect_or_timeout(m_t.connectMs);
        u = unitOf(operation);
        if (u)
            operation.hold(*u, connections);
    }
    if (!u || !connections.isOpen(u)) {
        addTimed(QStringLiteral(" Failed to connect to Vork - Flash Aborted"));
        op.log(QStringLiteral("Failed to connect to Vork - Flash Aborted"));
        op.log(QStringLiteral("Flash Unit ") + ip + QStringLiteral("Disconnected"));
        failed = true;
        outcome.reason = QStringLiteral("Failed to connect to Vork - Flash Aborted");
    } else {
        QTimer ticks;
        int seconds = 0;
        connect(&ticks, &QTimer::timeout, this, [&] { Q_EMIT statistics(ip, m_bytesSent, ++seconds); });
        ticks.start(1000);
        setStatus(flashstatus::transferStarted(m_rows.last().status));
        setPhase(ip, Phase::Downloading);
        op.log(QStringLiteral("Flashing ") + QString::number(total) + QStringLiteral(" Lines to Unit ") + ip);
        Q_EMIT lineProgress(ip, 0, total);
        ReadHold hold(connections);
        const QPointer<QTcpSocket> socket = connections.socket(*u);
        // One line per turn; each turn removes a line or ends the loop.
        while (!m_lines.isEmpty()) {
            if (m_abort) {
                op.log(QStringLiteral("sendaline tag"));
                add(timeStamp(now()) + QStringLiteral(" Flash Aborted by user for Vork Unit ") + ip);
                op.log(QStringLiteral("Flash Aborted by user Vork ") + ip);
                m_lineFailure = QStringLiteral("Flash Aborted by user before line ") + QString::number(m_acknowledged + 1);
                failed = true;
                break;
            }
            if (sendLine(operation, socket, ip, m_lines.first()) != LineResult::Accepted) {
                failed = true;
                break;
            }
            m_lines.removeFirst();
            ++m_acknowledged;
            Q_EMIT lineProgress(ip, m_acknowledged, total);
            const int pause = int(m_speed) * m_t.speedStepMs;
            if (pause > 0)
                wait::delay(pause);
        }
        ticks.stop();
    }
    outcome.linesAcknowledged = m_acknowledged;

    if (failed && outcome.reason.isEmpty()) {
        // The line named is the one that failed, not the last one acknowledged.
        const QString line = QString::number(m_acknowledged + 1);
        addTimed(QStringLiteral(" Flashing Failed at Line ") + line);
        op.log(QStringLiteral("Flashing Failed at Line ") + line);
        outcome.reason = m_lineFailure.isEmpty() ? QStringLiteral("Flashing Failed at Line ") + line + QStringLiteral(" of ")
                                                       + QString::number(total)
                                                 : m_lineFailure;
    }
    if (failed) {
        setStatus(flashstatus::transferFailed(m_rows.last().status));
    } else {
        addTimed(QStringLiteral(" Hex File Transfer Completed Successfully"));
        op.log(QStringLiteral("Hex File Transfer Completed Successfully"));
        setStatus(flashstatus::transferCompleted(m_rows.last().status));
    }
    setStatus(flashstatus::afterTransfer(m_rows.last().status));

    if (m_abort) {
        op.log(QStringLiteral("Sending x command - flash abort"));
        u = unitOf(operation);
        if (u && connections.isOpen(u))
            connections.WaitForAck(connections.socket(*u), m_t.abortAckSeconds, Command::FlashAbort);
    } else if (!m_unitDontReboot && !failed) {
        setPhase(ip, Phase::Rebooting);
    }
    op.breathe();

    // A failed transfer cannot pass, so there is no reboot to wait for.
    if (!m_unitDontReboot && !failed && !rebootWait(operation, ip)) {
        if (outcome.reason.isEmpty())
            outcome.reason = QStringLiteral("Flashed Vork Unit did not reboot");
        failed = true;
    }
    return !failed;
}

FlashRun::LineResult FlashRun::sendLine(ScopedOperation &operation, QTcpSocket *socketPtr, const QString &ip,
                                        const QString &line)
{
    Q_UNUSED(operation);
    Operator &op = m_services.op();
    const QPointer<QTcpSocket> socket(socketPtr);
    op.log(line);
    const QByteArray padded = paddedFlashLine(line);
    m_bytesSent += padded.size();
    Q_EMIT bytesSent(ip, m_bytesSent);

    const QString lineNo = QString::number(m_acknowledged + 1);
    // why names the failure for the operator; the summary and the outcome carry it.
    const auto fail = [&](const QString &summaryText, const QString &logText, const QString &why) {
        if (!summaryText.isEmpty())
            add(timeStamp(now()) + summaryText);
        if (!logText.isEmpty())
            op.log(logText);
        m_lineFailure = why;
        if (summaryText.isEmpty())
            add(timeStamp(now()) + QLatin1Char(' ') + why);
        add(timeStamp(now()) + QStringLiteral(" Flash Failed Vork Unit ") + ip);
        op.log(QStringLiteral("Flash Failed Vork ") + ip);
        return LineResult::Failed;
    };
    const auto aborted = [&] {
        add(timeStamp(now()) + QStringLiteral(" Flash Aborted by user for Vork Unit ") + ip);
        op.log(QStringLiteral("Flash Aborted by user Vork ") + ip);
        m_lineFailure = QStringLiteral("Flash Aborted by user at line ") + lineNo;
        return LineResult::Aborted;
    };
    const auto lost = [&] {
        return fail({}, QStringLiteral("Vork Unit ") + ip + QStringLiteral(": ") + ConnectionManager::lostText(),
                    ConnectionManager::lostText() + QStringLiteral(" at line ") + lineNo);
    };

    if (!socket || socket->state() != QAbstractSocket::ConnectedState)
        return lost();
    // A byte that came after the last answer answers no line of ours: it must not pass for this one's.
    if (const qint64 stray = socket->bytesAvailable(); stray > 0) {
        socket->read(stray);
        op.log(QStringLiteral("Discarded ") + QString::number(stray) + QStringLiteral(" stray byte(s) from Vork Unit ")
               + ip + QStringLiteral(" before line ") + QString::number(m_acknowledged + 1));
    }
    socket->write(padded);

    QDeadlineTimer deadline(m_t.lineDeadlineMs, Qt::PreciseTimer);
    bool graceStarted = false;
    int naks = 0;
    // Each turn ends with an answer, the close, the deadline, or the one-time abort grace.
    for (;;) {
        std::optional<std::uint8_t> answer;
        bool closed = false;
        const auto done = [&] {
            if (answer || closed)
                return true;
            if (!socket) {
                closed = true;
                return true;
            }
            while (socket->bytesAvailable() > 0) {
                char b = 0;
                if (socket->read(&b, 1) != 1)
                    break;
                if (b != 0) { // zero bytes are no answer
                    answer = std::uint8_t(b);
                    return true;
                }
            }
            if (socket->state() != QAbstractSocket::ConnectedState) {
                closed = true;
                return true;
            }
            return m_abort && !graceStarted;
        };
        wait::until(done, int(qMax<qint64>(0, deadline.remainingTime())), 1);

        if (answer) {
            switch (*answer) {
            case ACK:
                return LineResult::Accepted;
            case NAK:
                ++naks;
                add(timeStamp(now()) + QStringLiteral(" Line nacked by Vork Unit ") + ip);
                op.log(QStringLiteral("Line nacked by Vork Unit ") + ip);
                if (m_abort)
                    return aborted();
                // Ten refusals get ten copies; the eleventh ends it, and no copy goes out
                // whose answer nobody reads.
                if (naks > maxResends)
                    return fail({}, {}, QStringLiteral("Line ") + lineNo + QStringLiteral(" nacked ") + QString::number(naks)
                                            + QStringLiteral(" times"));
                if (!socket || socket->state() != QAbstractSocket::ConnectedState)
                    return lost();
                socket->write(padded);
                continue;
            case cancelByte:
                return fail(QStringLiteral(" Flash canceled by Vork Unit ") + ip,
                            QStringLiteral("Flash canceled by Vork Unit ") + ip,
                            QStringLiteral("Flash canceled by Vork Unit at line ") + lineNo);
            case verifyFaultByte:
                return fail(QStringLiteral(" Vork Unit ") + ip + QStringLiteral(" verify fault"),
                            QStringLiteral("Vork Unit ") + ip + QStringLiteral(" verify fault"),
                            QStringLiteral("verify fault at line ") + lineNo);
            default:
                break;
            }
            if (*answer >= '0' && *answer <= '9') {
                const QString digit = QString(QChar(char16_t(*answer)));
                return fail(QStringLiteral(" Vork Unit ") + ip + QStringLiteral(" sent error code ") + digit,
                            QStringLiteral("Vork Unit ") + ip + QStringLiteral(" sent error code ") + digit,
                            QStringLiteral("sent error code ") + digit + QStringLiteral(" at line ") + lineNo);
            }
            const QString text = QStringLiteral("Received char but not ack ") + QString::number(*answer);
            return fail(text, text, text + QStringLiteral(" at line ") + lineNo);
        }
        if (closed)
            return lost();
        if (m_abort && !graceStarted && !deadline.hasExpired()) {
            // The line in flight gets a short while for its answer, then the abort goes on.
            graceStarted = true;
            if (deadline.remainingTime() > m_t.abortGraceMs)
                deadline.setRemainingTime(m_t.abortGraceMs, Qt::PreciseTimer);
            continue;
        }
        if (m_abort)
            return aborted();
        return fail({}, QStringLiteral("Flash warning No Ack received for line sent"),
                    QStringLiteral("No Ack received for line ") + lineNo);
    }
}

bool FlashRun::rebootWait(ScopedOperation &operation, const QString &ip)
{
    Operator &op = m_services.op();
    ConnectionManager &connections = m_services.connections();
    addTimed(QStringLiteral(" Waiting for Reboot"));
    op.log(QStringLiteral("Waiting for Reboot"));
    wait::delay(m_t.rebootPauseMs);
    bool seen = false;
    int pings = 0;
    const int rounds = m_t.pingEveryTicks > 0 ? m_t.rebootTicks / m_t.pingEveryTicks : 0;
    for (int r = 0; r < rounds && !seen; ++r) {
        wait::delay(m_t.pingEveryTicks * m_t.rebootTickMs);
        ++pings;
        seen = m_services.pinger().ping(ip, m_t.pingTimeoutMs, false);
    }
    if (seen)
        op.log(QStringLiteral("Unit ") + ip + QStringLiteral(" rebooted ok ") + QString::number(pings)
               + QStringLiteral(" Ping(s)"));
    // The rebooted unit's connection is gone; from here on the unit is found without one.
    if (udppack *u = unitOf(operation)) {
        if (UnitClient *c = connections.existingClient(*u))
            c->close();
    }
    const int i = m_services.units().findByIP(ip);
    if (i >= 0)
        operation.hold(m_services.units().unit(i), connections);

    if (seen) {
        addTimed(QStringLiteral(" Flashed Vork Unit rebooted successfully"));
        op.log(QStringLiteral("Flashed Vork Unit rebooted successfully"));
        setStatus(flashstatus::rebootSeen(m_rows.last().status));
        addTimed(QStringLiteral(" Reading Flashed Vork's New Version Number"));
        op.log(QStringLiteral("Reading Flashed Vork's New Version Number"));
    } else {
        addTimed(QStringLiteral(" Flashed Vork Unit did not reboot"));
        op.log(QStringLiteral("Flashed Vork Unit did not reboot"));
        setStatus(flashstatus::rebootNotSeen(m_rows.last().status));
    }
    setPhase(ip, Phase::None);
    if (udppack *u = unitOf(operation))
        u->selected = false;
    return seen;
}

bool FlashRun::refreshIdentity(ScopedOperation &operation, Outcome &outcome, const QString &ip)
{
    Operator &op = m_services.op();
    DiscoveryCycle &cycle = m_services.cycle();
    TBroadcast &transport = m_services.transport();
    cycle.expectUnicastAnswer(ip);
    op.log(QStringLiteral("Unicast sent to ") + ip);
    transport.setBroadCastIP(ip);
    transport.SendBroadCast(discoveryQuery());
    wait::until([&] { return cycle.unicastPending().isEmpty(); }, m_t.queryWaitMs);
    const bool answered = cycle.unicastPending().isEmpty();
    if (!answered)
        cycle.expectUnicastAnswer(QString());
    udppack *u = unitOf(operation);
    if (!u) {
        const int i = m_services.units().findByIP(ip);
        u = i >= 0 ? &m_services.units().unit(i) : nullptr;
    }
    if (answered && u) {
        m_services.units().setCurrent(u);
        if (m_mode == FlashMode::Program) {
            const QString text = versionDateText(*u);
            m_rows.last().newVersion = text;
            outcome.newVersion = text;
            addTimed(QStringLiteral(" Flashed Vork's New Version is ") + text);
        } else {
            addTimed(QStringLiteral(" Flashed Vork's New Bootloader Version is ") + m_rows.last().newVersion);
            wait::delay(m_t.bootLoaderPauseMs);
        }
        Q_EMIT rowChanged(int(m_rows.size()) - 1);
    }

    // A rebooted program must be the image's: a unit back on its old firmware failed.
    const std::uint16_t status = m_rows.last().status;
    if (m_mode == FlashMode::Program && !m_unitDontReboot && !m_expectedVersion.isEmpty()
        && flashstatus::successful(status, false)) {
        const QString now = answered && u ? versionDateText(*u).section(QStringLiteral(" - "), 0, 0) : QString();
        if (!answered || !u) {
            outcome.reason = QStringLiteral("Flashed Vork Unit did not tell its new version");
            addTimed(QLatin1Char(' ') + outcome.reason);
        } else if (now != m_expectedVersion) {
            outcome.reason = QStringLiteral("Flashed Vork Unit runs version ") + now + QStringLiteral(", not the image's ")
                             + m_expectedVersion;
            addTimed(QLatin1Char(' ') + outcome.reason);
        }
        if (!outcome.reason.isEmpty()) {
            op.log(outcome.reason);
            setStatus(flashstatus::notTheImage(status));
        }
    }
    return answered;
}

} // namespace vork
