#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QtGlobal>

#include <cstdint>

class QIODevice;

namespace vork {

class ReplyRouter;
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
    // Forgets any block in progress.
    void reset();

private:
    const ReplyRouter &m_router;
    std::uint8_t m_type = 0;
    int m_need = 0;
    bool m_sizeKnown = false;
    QByteArray m_bytes;
    QDeadlineTimer m_idle; // restarted by every byte
    QElapsedTimer m_started;
    bool m_graced = false;
};

} // namespace vork
