#include "connection/replyassembler.h"

#include "connection/commands.h"
#include "connection/replyrouter.h"

#include <QIODevice>

namespace vork {

int ReplyAssembler::remainingMs() const
{
    if (!inBlock())
        return 0;
    const qint64 cap = capMs(m_sizeKnown ? m_need : static_cast<int>(m_bytes.size()) + 1) - m_started.elapsed();
    return static_cast<int>(qMax<qint64>(0, qMin(cap, m_idle.remainingTime())));
}

void ReplyAssembler::reset()
{
    m_type = 0;
    m_need = 0;
    m_sizeKnown = false;
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
        if (m_sizeKnown && m_bytes.size() >= m_need)
            break;
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
    s.bytes = m_bytes.left(m_need);
    reset();
    return s;
}

} // namespace vork
