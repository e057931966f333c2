#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QtGlobal>

#include <cstdint>

class QIODevice;

namespace vork {

class ReplyRouter;
class ReplySink;
struct udppack;

// One unit's byte stream cut into acknowledgements and complete reply blocks.
// A block in progress is given up only when its unit stays silent for the idle limit,
// or when it takes longer than a cap that grows with its size: a slow link is not a
// dead one. Sizes that come from the stream are capped by their sink.
class ReplyAssembler
{
public:
    // Silence inside a block, counted from its last byte.
    static constexpr int blockLimitMs = 1000;
    // The whole block: a base plus a floor rate of 50 bytes/s.
    static constexpr int blockCapBaseMs = 2000;
    static constexpr int blockCapPerByteMs = 20;
    static int capMs(int blockBytes) { return blockCapBaseMs + blockCapPerByteMs * qMax(1, blockBytes); }
    // How long a block that may run on waits for the rest once its shorter size is in.
    static constexpr int quietMs = 150;

    struct Step
    {
        enum Kind {
            Nothing,   // no byte to read, or a block still incomplete
            Ack,
            Nak,
            Undefined, // a byte no sink claims
            Block,     // a complete block: type and bytes
            Oversized, // the stream announced a block beyond its sink's cap: dropped
        };
        Kind kind = Nothing;
        std::uint8_t type = 0;
        QByteArray bytes;
        int announced = 0; // Oversized: the size the stream asked for
    };

    explicit ReplyAssembler(const ReplyRouter &router) : m_router(router) {}

    // Reads what the next step needs from in.
    Step step(QIODevice &in, const udppack &unit);

    bool inBlock() const { return m_type != 0; }
    std::uint8_t blockType() const { return m_type; }
    int received() const { return static_cast<int>(m_bytes.size()); }
    int needed() const { return m_need; }
    // The bytes of the block in progress (its type byte not included).
    const QByteArray &partial() const { return m_bytes; }
    // Milliseconds left for the block in progress (0 when none or expired).
    int remainingMs() const;
    bool expired() const { return inBlock() && remainingMs() == 0; }
    // One more look before an expired block is given up: the program may have been busy
    // while its bytes arrived. Any byte read takes the grace back.
    bool graced() const { return m_graced; }
    void grace() { m_graced = true; }
    // The block holds its shorter size and waits only for what may run on.
    bool complete() const { return inBlock() && m_sizeKnown && m_bytes.size() >= m_need; }
    // Ends a complete block with what came so far.
    Step finish();
    // Forgets any block in progress.
    void reset();

private:
    enum class RunOn { Stop, Read, Wait };
    RunOn runOn(QIODevice &in, const ReplySink &sink, const udppack &unit) const;
    bool plausibleStream(const QByteArray &bytes, const udppack &unit) const;

    const ReplyRouter &m_router;
    std::uint8_t m_type = 0;
    int m_need = 0;
    bool m_sizeKnown = false;
    QByteArray m_bytes;
    int m_extended = 0;       // the size a block may run on to; 0 none
    bool m_runningOn = false; // bytes past the shorter size are being read
    QDeadlineTimer m_idle;    // restarted by every byte
    QElapsedTimer m_started;
    bool m_graced = false;
    QDeadlineTimer m_quiet;   // running once the shorter size is in
};

} // namespace vork
