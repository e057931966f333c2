#include "connection/replyassembler.h"

#include "connection/commands.h"
#include "connection/replyrouter.h"

#include <QIODevice>

namespace vork {

int ReplyAssembler::remainingMs() const
{
    if (!inBlock())
        return 0;
    const qint64 cap = capMs(m_sizeKnown ? qMax(m_need, m_extended) : static_cast<int>(m_bytes.size()) + 1)
                       - m_started.elapsed();
    qint64 left = qMin(cap, m_idle.remainingTime());
    if (complete() && !m_quiet.isForever())
        left = qMin(left, m_quiet.remainingTime());
    return static_cast<int>(qMax<qint64>(0, left));
}

ReplyAssembler::Step ReplyAssembler::finish()
{
    Step s;
    if (!complete())
        return s;
    s.kind = Step::Block;
    s.type = m_type;
    s.bytes = m_bytes.left(m_extended > m_need ? m_extended : m_need);
    reset();
    return s;
}

// Walks bytes as acknowledgements and fixed-size blocks: false when a byte fits neither.
bool ReplyAssembler::plausibleStream(const QByteArray &bytes, const udppack &unit) const
{
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<std::uint8_t>(bytes.at(i));
        if (b == ACK || b == NAK) {
            ++i;
            continue;
        }
        const ReplySink *sink = m_router.sink(b);
        if (!sink)
            return false;
        const int size = sink->blockSize(unit, {});
        if (size <= 0)
            return true; // its size depends on its bytes: cannot tell
        i += 1 + size;
    }
    return true;
}

// The shorter size is in and bytes follow: are they the rest of a longer block or what comes next?
ReplyAssembler::RunOn ReplyAssembler::runOn(QIODevice &in, const ReplySink &sink, const udppack &unit) const
{
    if (in.bytesAvailable() <= 0)
        return RunOn::Wait;
    const int rest = m_extended - static_cast<int>(m_bytes.size());
    const QByteArray ahead = in.peek(rest + 64);
    if (ahead.isEmpty())
        return RunOn::Wait;
    const auto first = static_cast<std::uint8_t>(ahead.at(0));
    const ReplySink *next = m_router.sink(first);
    if (first != ACK && first != NAK && !next)
        return RunOn::Read; // nothing else could start here
    // The byte could start an answer as well: only a whole tail followed by a sane stream runs on.
    if (ahead.size() < rest || !plausibleStream(ahead.mid(rest), unit))
        return RunOn::Stop;
    const int nextSize = next ? next->blockSize(unit, {}) : 0;
    const bool wholeBlockNext = nextSize > 0 && ahead.size() > nextSize && plausibleStream(ahead, unit);
    if (!wholeBlockNext)
        return RunOn::Read;
    // Both readings hold: the field the longer block would continue with decides.
    return sink.mayContinue(unit, static_cast<int>(m_bytes.size()), first) ? RunOn::Read : RunOn::Stop;
}

void ReplyAssembler::reset()
{
    m_type = 0;
    m_need = 0;
    m_sizeKnown = false;
    m_extended = 0;
    m_runningOn = false;
    m_quiet = QDeadlineTimer(QDeadlineTimer::Forever);
    m_bytes.clear();
    m_graced = false;
}

ReplyAssembler::Step ReplyAssembler::step(QIODevice &in, const udppack &unit)
{
    Step s;
    if (!inBlock()) {
        char b = 0;
        if (in.read(&b, 1) != 1)
            return s;
        const auto type = static_cast<std::uint8_t>(b);
        if (type == ACK || type == NAK) {
            s.kind = type == ACK ? Step::Ack : Step::Nak;
            return s;
        }
        const ReplySink *sink = m_router.sink(type);
        if (!sink) {
            s.kind = Step::Undefined;
            s.type = type;
            return s;
        }
        m_type = type;
        m_bytes.clear();
        m_need = sink->blockSize(unit, m_bytes);
        m_sizeKnown = m_need > 0;
        m_extended = qMin(sink->extendedBlockSize(unit), sink->maxBlockSize());
        m_graced = false;
        m_started.start();
        m_idle = QDeadlineTimer(blockLimitMs, Qt::PreciseTimer);
    }

    const ReplySink *sink = m_router.sink(m_type);
    if (!sink) { // its feature went away while the block came in
        s.kind = Step::Undefined;
        s.type = m_type;
        reset();
        return s;
    }
    for (;;) {
        if (m_sizeKnown && m_need > sink->maxBlockSize()) {
            s.kind = Step::Oversized;
            s.type = m_type;
            s.announced = m_need;
            reset();
            return s;
        }
        if (m_sizeKnown && m_bytes.size() >= m_need) {
            if (m_extended <= m_bytes.size())
                break;
            if (!m_runningOn) {
                const RunOn r = runOn(in, *sink, unit);
                if (r == RunOn::Stop)
                    break;
                if (r == RunOn::Wait) {
                    if (m_quiet.isForever())
                        m_quiet = QDeadlineTimer(quietMs, Qt::PreciseTimer);
                    if (m_quiet.hasExpired())
                        break;
                    return s;
                }
                m_runningOn = true;
            }
            const QByteArray got = in.read(m_extended - m_bytes.size());
            if (got.isEmpty()) {
                if (m_quiet.isForever())
                    m_quiet = QDeadlineTimer(quietMs, Qt::PreciseTimer);
                if (m_quiet.hasExpired())
                    break;
                return s;
            }
            m_bytes += got;
            m_quiet = QDeadlineTimer(quietMs, Qt::PreciseTimer);
            m_idle = QDeadlineTimer(blockLimitMs, Qt::PreciseTimer);
            m_graced = false;
            continue;
        }
        // Without a size yet, one byte at a time until the sink can tell.
        const qint64 want = m_sizeKnown ? m_need - m_bytes.size() : 1;
        const QByteArray got = in.read(want);
        if (got.isEmpty())
            return s;
        m_bytes += got;
        m_idle = QDeadlineTimer(blockLimitMs, Qt::PreciseTimer);
        m_graced = false;
        if (!m_sizeKnown) {
            m_need = sink->blockSize(unit, m_bytes);
            m_sizeKnown = m_need > 0;
        }
    }
    s.kind = Step::Block;
    s.type = m_type;
    s.bytes = m_bytes.left(qMax(m_need, m_extended));
    reset();
    return s;
}

} // namespace vork
