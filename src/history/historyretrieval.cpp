#include "history/historyretrieval.h"

#include "connection/connectionmanager.h"
#include "connection/operation.h"
#include "connection/unitclient.h"
#include "core/boundedwait.h"
#include "core/operator.h"
#include "services/unitservices.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QPointer>
#include <QTcpSocket>

#include <utility>

namespace vork {

namespace {
constexpr int abortPauseMs = 10;
const QString all = QStringLiteral("ALL");
} // namespace

// 'h': a count byte, then that many records. The size comes from the count, so a
// packet announcing more than the unit's 25 is still read whole and the stream stays in step.
class HistoryRetrieval::PacketSink : public ReplySink
{
public:
    explicit PacketSink(HistoryRetrieval &owner) : m_owner(owner) {}
    int blockSize(const udppack &, const QByteArray &soFar) const override { return historyBlockSize(soFar); }
    int maxBlockSize() const override { return historyBlockMax; }
    void receive(udppack &unit, const ReplySource &from, const QByteArray &block) override
    {
        m_owner.packet(unit, from, block);
    }

private:
    HistoryRetrieval &m_owner;
};

HistoryRetrieval::HistoryRetrieval(UnitServices &services, QObject *parent)
    : QObject(parent), m_services(services),
      m_singleSink(std::make_unique<FixedSizeSink>(
          DataPack::size,
          [this](udppack &unit, const ReplySource &from, const QByteArray &block) { single(unit, from, block); })),
      m_packetSink(std::make_unique<PacketSink>(*this))
{
    ReplyRouter &router = services.connections().replies();
    m_singleRegistration = router.add(ReplyType::HistoryRecord, *m_singleSink);
    m_packetRegistration = router.add(ReplyType::HistoryBlock, *m_packetSink);

    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        // A packet still coming in on a slow link is a sign of life; one that stops is
        // given up by the link itself soon after.
        if (udppack *unit = target(); unit && !m_aborting) {
            UnitClient *c = m_services.connections().existingClient(*unit);
            if (c && c->assembler().inBlock()) {
                m_silence.start(m_silenceMs);
                return;
            }
        }
        finish(m_aborting ? End::AbortUnanswered : End::Silent);
    });
    m_autoTimer.setSingleShot(true);
    connect(&m_autoTimer, &QTimer::timeout, this, [this] {
        if (connectedCurrent() && !m_running)
            retrieve();
    });
    ConnectionManager &c = services.connections();
    connect(&c, &ConnectionManager::acknowledged, this, &HistoryRetrieval::acknowledged);
    connect(&c, &ConnectionManager::disconnected, this, &HistoryRetrieval::unitGone);
    connect(&c, &ConnectionManager::socketFailed, this, [this](int index, int) { unitGone(index); });
    connect(&c, &ConnectionManager::blockDropped, this,
            [this](int index, std::uint8_t type, const QByteArray &partial, int) { dropped(index, type, partial); });
    m_master.reserve(bufferSize);
    m_view.reserve(bufferSize);
}

HistoryRetrieval::~HistoryRetrieval() = default;

QString HistoryRetrieval::killReadersQuestion()
{
    return QStringLiteral("Are you sure you want to turn off the readers while downloading?");
}

QString HistoryRetrieval::noKindWarning()
{
    return QStringLiteral("You must select at least 1 item to display.");
}

QString HistoryRetrieval::bufferFullText()
{
    return QStringLiteral("history buffer full");
}

QString HistoryRetrieval::stoppedText(const QString &address, int records)
{
    return QStringLiteral("Vork Unit ") + address + QStringLiteral(" stopped answering after ") + QString::number(records)
           + QStringLiteral(" records");
}

QString HistoryRetrieval::missingText() const
{
    return QStringLiteral("History from Vork Unit ") + m_address + QStringLiteral(": ")
           + (m_missingExact ? QString() : QStringLiteral("at least ")) + QString::number(m_missing)
           + QStringLiteral(" records missing (replies arrived incomplete)");
}

bool HistoryRetrieval::setWanted(int records)
{
    // Beyond the buffer the request and the progress bar would disagree.
    if (records < 1 || records > bufferSize)
        return false;
    m_wanted = records;
    return true;
}

bool HistoryRetrieval::setReaderIndex(int index)
{
    if (index < 0 || index >= m_readerChoice.size())
        return false;
    m_readerIndex = index;
    return true;
}

bool HistoryRetrieval::chooseReader(const udppack &unit, int reader)
{
    rebuildReaderChoice(&unit);
    const qsizetype i = m_readerChoice.indexOf(QString::number(reader));
    return i >= 0 && setReaderIndex(int(i));
}

std::uint8_t HistoryRetrieval::readerByte() const
{
    const QString chosen = m_readerChoice.value(m_readerIndex);
    if (chosen.isEmpty() || chosen.toUpper() == all)
        return allReaders;
    return static_cast<std::uint8_t>(m_readerIndex);
}

QString HistoryRetrieval::retrieveCaption() const
{
    return m_running ? QStringLiteral("ABORT") : QStringLiteral("Retrieve");
}

udppack *HistoryRetrieval::connectedCurrent() const
{
    udppack *unit = m_services.units().current();
    return unit && m_services.connections().isOpen(unit) ? unit : nullptr;
}

udppack *HistoryRetrieval::target() const
{
    if (!m_operation)
        return nullptr;
    return m_operation->unit(m_services.units(), m_services.connections());
}

void HistoryRetrieval::rebuildReaderChoice(const udppack *unit)
{
    m_readerChoice.clear();
    const int readers = unit ? unit->ver.vrcnt : 1;
    if (readers == 2 || readers == 8)
        for (int r = 0; r < readers; ++r)
            m_readerChoice << QString::number(r);
    // Other counts than 1, 2 and 8 get no choice; the request then asks for all readers.
    if (readers == 1 || readers == 2 || readers == 8)
        m_readerChoice << all;
    m_readerIndex = qMax(0, int(m_readerChoice.size()) - 1);
    Q_EMIT readerChoiceChanged();
}

void HistoryRetrieval::pageEntered()
{
    m_pageShowing = true;
    udppack *unit = m_services.units().current();
    rebuildReaderChoice(unit);
    // Records of another unit do not stay under this one's header.
    if (unit && m_services.connections().isOpen(unit) && !m_address.isEmpty() && unit->mac != m_mac && !m_running)
        clear();
}

void HistoryRetrieval::historyModeEntered()
{
    // Armed once the mode's own wait is over, so the request never goes out inside it.
    if (m_autoRetrieve && m_pageShowing && m_services.units().current())
        m_autoTimer.start(autoRetrieveDelayMs);
}

void HistoryRetrieval::pageLeft()
{
    m_pageShowing = false;
    m_autoTimer.stop();
}

HistoryRetrieval::Start HistoryRetrieval::retrieve()
{
    return start(false);
}

HistoryRetrieval::Start HistoryRetrieval::next()
{
    if (!m_running && m_visibleRows + m_topRow < viewCount()) {
        setTopRow(m_topRow + m_visibleRows + 1);
        return Start::Scrolled;
    }
    return start(true);
}

void HistoryRetrieval::prev()
{
    setTopRow(m_topRow > m_pageHeight ? m_topRow - m_pageHeight : 1);
}

HistoryRetrieval::Start HistoryRetrieval::start(bool next)
{
    Operator &op = m_services.op();
    if (m_running) {
        abort();
        return Start::Aborting;
    }
    // The question and the kind check come before anything is cleared or disabled,
    // so a cancelled retrieve keeps the records held and the filter usable.
    bool kill = false;
    if (m_killReaders) {
        const Answer a = op.ask(killReadersQuestion());
        if (a == Answer::Cancel)
            return Start::Cancelled;
        kill = a == Answer::Yes;
    }
    if (!m_kinds.any()) {
        op.warning(noKindWarning());
        return Start::NoKind;
    }
    udppack *unit = connectedCurrent(); // found again after the question
    if (!unit)
        return Start::NoUnit;
    auto operation = std::make_unique<ScopedOperation>(m_services.operations(), op, QStringLiteral("History retrieval"));
    if (!operation->admitted())
        return Start::Busy;
    operation->hold(*unit, m_services.connections());
    // After a silent unit was stopped, its history mode was quit: ask for it again first.
    if (m_modeLeft && !reenterMode(*unit))
        return Start::SendFailed;
    unit = connectedCurrent();
    if (!unit)
        return Start::NoUnit;

    setFilterEnabled(false);
    if (!next)
        clearBuffers();
    m_complete = false;
    m_aborting = false;
    m_fullLogged = false;
    m_missing = 0;
    m_missingExact = true;
    m_next = next;
    m_address = unit->ip;
    m_mac = unit->mac;
    m_link = unit->link;
    m_progressMax = m_wanted;
    setProgress(0);
    op.setPanel(Panel::Status, QStringLiteral("Retrieving = 0"));

    HistoryRequest request;
    request.kinds = m_kinds;
    request.next = next;
    request.nextNewStyle = versionNumber(unit->ver) >= nextNewFromVersion
                           || versionNumber(m_services.units().mansvrk().ver) >= nextNewFromVersion;
    request.killReaders = kill;
    request.multiRecord = m_multiRecord;
    request.wanted = static_cast<std::uint16_t>(m_wanted);
    request.reader = readerByte();
    request.start = m_start;
    const QByteArray bytes = historyRequestBytes(request);
    op.log(QStringLiteral("History Command Reader ") + QString::number(request.reader) + QStringLiteral(" Type ")
           + QString::number(historyFlags(request)) + QStringLiteral(" Records ") + QString::number(m_wanted));
    m_requested = request.wanted;

    m_services.connections().settle(*unit);
    unit = connectedCurrent();
    QTcpSocket *socket = unit ? m_services.connections().socket(*unit) : nullptr;
    if (!socket || socket->write(bytes) != bytes.size()) {
        op.log(QStringLiteral("History request to Vork Unit ") + m_address + QStringLiteral(" not sent"));
        setFilterEnabled(true);
        setProgress(0);
        return Start::SendFailed;
    }
    socket->flush();
    m_operation = std::move(operation);
    m_running = true;
    m_silence.start(m_silenceMs);
    Q_EMIT runningChanged(true);
    return Start::Sent;
}

bool HistoryRetrieval::reenterMode(udppack &unit)
{
    Operator &op = m_services.op();
    op.log(QStringLiteral("Sent H Command to Vork Unit ") + unit.ip);
    const AckResult a = m_services.connections().WaitForAck(m_services.connections().socket(unit), 3, Command::History);
    if (a != AckResult::Ack)
        return false;
    op.log(QStringLiteral("History on"));
    m_modeLeft = false;
    return true;
}

void HistoryRetrieval::abort()
{
    if (!m_running || m_aborting)
        return;
    Operator &op = m_services.op();
    op.tone(Tone::Button);
    m_aborting = true;
    if (udppack *unit = target()) {
        if (QTcpSocket *socket = m_services.connections().socket(*unit)) {
            socket->write(QByteArray(1, static_cast<char>(Command::Quit)));
            socket->flush();
        }
    }
    // An ACK inside the pause ends the retrieval only after the abort is logged.
    m_holdEnd = true;
    wait::delay(abortPauseMs);
    m_holdEnd = false;
    op.log(QStringLiteral("History Command Aborted by User"));
    reachedWanted();
    if (m_heldEnd != End::None) {
        const End end = std::exchange(m_heldEnd, End::None);
        finish(end);
        return;
    }
    // The unit's ACK ends it; without one it ends here after a short bound.
    if (m_running)
        m_silence.start(m_abortMs);
}

void HistoryRetrieval::endLocally()
{
    if (m_running)
        finish(End::Closed);
}

bool HistoryRetrieval::clear()
{
    if (m_running)
        return false;
    clearBuffers();
    m_address.clear();
    m_mac.clear();
    return true;
}

bool HistoryRetrieval::replaceView(std::vector<DataPack> view)
{
    if (m_running || view.size() > std::size_t(bufferSize))
        return false;
    m_view = std::move(view);
    m_view.reserve(bufferSize);
    setTopRow(1);
    Q_EMIT viewReplaced();
    return true;
}

void HistoryRetrieval::clearBuffers()
{
    m_master.clear();
    m_view.clear();
    m_fullLogged = false;
    setTopRow(1);
    Q_EMIT cleared();
}

bool HistoryRetrieval::fromTarget(const ReplySource &from) const
{
    return m_running && from.link == m_link;
}

bool HistoryRetrieval::admit(const ReplySource &from)
{
    if (fromTarget(from))
        return true;
    ++m_ignored;
    if (!m_ignoredLogged) {
        m_ignoredLogged = true;
        m_services.op().log(QStringLiteral("History records from Vork Unit ") + from.address
                            + QStringLiteral(" ignored: no retrieval of it is running"));
    }
    return false;
}

bool HistoryRetrieval::store(const DataPack &pack)
{
    // Checked before every store: the buffers never grow past their size.
    if (viewCount() >= bufferSize) {
        if (!m_fullLogged) {
            m_fullLogged = true;
            m_services.op().log(bufferFullText());
        }
        return false;
    }
    m_master.push_back(pack);
    m_view.push_back(pack);
    return true;
}

void HistoryRetrieval::single(udppack &, const ReplySource &from, const QByteArray &block)
{
    if (!admit(from))
        return;
    const int first = viewCount();
    // A kind-0 record still takes its place, zero-filled, as the buffers are.
    const DataPack pack = decodeDataPack(block);
    store(pack.typ == 0 ? DataPack{} : pack);
    afterRecords(first);
}

void HistoryRetrieval::packet(udppack &, const ReplySource &from, const QByteArray &block)
{
    if (!admit(from))
        return;
    const HistoryPacket p = parseHistoryPacket(block);
    if (p.announced > historyPacketKept)
        m_services.op().log(QStringLiteral("History packet from Vork Unit ") + from.address + QStringLiteral(" announced ")
                            + QString::number(p.announced) + QStringLiteral(" records; ")
                            + QString::number(historyPacketKept) + QStringLiteral(" kept"));
    const int first = viewCount();
    for (const DataPack &pack : p.kept) {
        if (pack.typ < 1 || pack.typ > 5)
            continue;
        if (!store(pack))
            break;
    }
    afterRecords(first);
    if (m_running && viewCount() >= m_requested)
        reachedWanted();
}

void HistoryRetrieval::afterRecords(int first)
{
    const int n = viewCount();
    if (n > first) {
        Q_EMIT recordsAdded(first, n - first);
        Q_EMIT countAnnounced(n);
        m_services.op().setPanel(Panel::Status, QStringLiteral("Retrieving = ") + QString::number(n));
        setProgress(n);
    }
    // Any sign of life restarts the silence bound; after an abort its own bound runs.
    if (m_running && !m_aborting)
        m_silence.start(m_silenceMs);
}

void HistoryRetrieval::reachedWanted()
{
    m_complete = true;
    m_services.op().setPanel(Panel::Status, unitsFoundText());
    setProgress(0);
}

QString HistoryRetrieval::unitsFoundText() const
{
    return QStringLiteral(" ") + QString::number(m_services.units().count()) + QStringLiteral(" Vork Unit(s) found");
}

void HistoryRetrieval::acknowledged(int index)
{
    if (!m_running || index < 0 || index >= m_services.units().count()
        || m_services.units().unit(index).link != m_link)
        return;
    finish(m_aborting ? End::Aborted : End::Acknowledged);
}

void HistoryRetrieval::unitGone(int index)
{
    if (!m_running || index < 0 || index >= m_services.units().count()
        || m_services.units().unit(index).link != m_link)
        return;
    finish(End::ConnectionLost);
}

void HistoryRetrieval::dropped(int index, std::uint8_t type, const QByteArray &partial)
{
    if (!m_running || index < 0 || index >= m_services.units().count()
        || m_services.units().unit(index).link != m_link)
        return;
    if (type == static_cast<std::uint8_t>(ReplyType::HistoryRecord)) {
        ++m_missing;
    } else if (type == static_cast<std::uint8_t>(ReplyType::HistoryBlock)) {
        // The whole records of a cut packet are kept; the rest are counted missing.
        const HistoryPacket p = parseHistoryPacket(partial);
        const int first = viewCount();
        int kept = 0;
        for (const DataPack &pack : p.kept) {
            if (pack.typ < 1 || pack.typ > 5) {
                ++kept; // skipped as any packet's would be, not missing
                continue;
            }
            if (!store(pack))
                break;
            ++kept;
        }
        afterRecords(first);
        if (partial.isEmpty()) {
            ++m_missing;
            m_missingExact = false;
        } else {
            m_missing += qMax(0, qMin(p.announced, historyPacketKept) - kept);
        }
    } else {
        return;
    }
    m_services.op().log(missingText());
}

void HistoryRetrieval::stopSilentUnit()
{
    // The unit may only be slow: the abort and the quit stop it, and the next request asks
    // for the mode again, so nothing it still sends is taken for that request's answer.
    udppack *unit = target();
    if (!unit)
        return;
    ConnectionManager &c = m_services.connections();
    const QPointer<QTcpSocket> socket = c.socket(*unit);
    if (!socket)
        return;
    m_modeLeft = true;
    m_services.op().log(QStringLiteral("Sent Q Command to Vork Unit ") + m_address);
    c.WaitForAck(socket, 3, Command::Quit);
    if (!socket)
        return;
    m_services.op().log(QStringLiteral("Sent History Quit Command to Vork Unit ") + m_address);
    if (c.WaitForAck(socket, 3, Command::HistoryQuit) == AckResult::Ack)
        m_services.op().log(QStringLiteral("History off"));
}

void HistoryRetrieval::finish(End end)
{
    if (!m_running)
        return;
    if (m_holdEnd) {
        if (m_heldEnd == End::None)
            m_heldEnd = end;
        return;
    }
    Operator &op = m_services.op();
    m_silence.stop();
    if (end == End::Silent) {
        // Nothing more is taken from this request, whatever the unit still sends.
        m_running = false;
        stopSilentUnit();
        m_running = true;
    }
    if (end == End::Acknowledged && m_missing > 0)
        end = End::RecordsMissing;
    const int n = viewCount();
    if (end == End::AbortUnanswered)
        op.log(QStringLiteral("Did not receive an Ack from Vork Unit ") + m_address);
    if (end == End::ConnectionLost) {
        op.log(QStringLiteral("History from Vork Unit ") + m_address + QStringLiteral(": ")
               + ConnectionManager::lostText() + QStringLiteral(" after ") + QString::number(n)
               + QStringLiteral(" Records"));
    } else if (end != End::Silent) {
        if (m_next)
            setTopRow(n > m_visibleRows ? n - m_visibleRows + 1 : 1);
        else
            setTopRow(1);
        op.log(QStringLiteral("History Command Complete. ") + QString::number(n) + QStringLiteral(" Records Received"));
        m_complete = true;
        if (n < m_requested && !m_aborting)
            op.log(QStringLiteral("History No More Records - received ") + QString::number(n));
    }
    // Whatever ended it, the status panel no longer counts.
    op.setPanel(Panel::Status, unitsFoundText());
    if (end == End::Silent) {
        op.log(stoppedText(m_address, n));
        op.error(stoppedText(m_address, n));
    } else if (end == End::RecordsMissing) {
        op.error(missingText());
    }
    m_running = false;
    m_aborting = false;
    m_complete = false;
    m_lastEnd = end;
    m_ignoredLogged = false;
    m_operation.reset();
    setProgress(0);
    setFilterEnabled(true);
    Q_EMIT runningChanged(false);
    Q_EMIT finished(end);
}

void HistoryRetrieval::setProgress(int value)
{
    if (value == m_progress)
        return;
    m_progress = value;
    Q_EMIT progressChanged(m_progress, m_progressMax);
}

void HistoryRetrieval::setFilterEnabled(bool on)
{
    if (on == m_filterEnabled)
        return;
    m_filterEnabled = on;
    Q_EMIT filterEnabledChanged(on);
}

void HistoryRetrieval::setTopRow(int row)
{
    row = qMax(1, row);
    if (row == m_topRow)
        return;
    m_topRow = row;
    Q_EMIT topRowChanged(row);
}

} // namespace vork
