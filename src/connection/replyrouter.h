#pragma once

#include "connection/commands.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>

namespace vork {

struct udppack;

// Where a reply block came from: the unit's address and which of its connections.
struct ReplySource
{
    QString address;
    quint64 link = 0;   // the unit's client
    quint64 serial = 0; // the connection of that client, 0 when unknown
};

// A feature's handler for the reply blocks of one type byte.
class ReplySink
{
public:
    virtual ~ReplySink() = default;
    // Bytes after the type byte once soFar (the bytes received so far) tells; 0 while more are needed.
    virtual int blockSize(const udppack &unit, const QByteArray &soFar) const = 0;
    // The largest size blockSize may give; a larger one is refused as hostile.
    virtual int maxBlockSize() const { return 4096; }
    // A block that may run on past blockSize up to this size, when the rest follows at
    // once or within a short quiet time (0: never).
    virtual int extendedBlockSize(const udppack &) const { return 0; }
    // Whether byte, found at offset right after the shorter block, may continue it.
    virtual bool mayContinue(const udppack &, int offset, std::uint8_t byte) const
    {
        (void)offset;
        (void)byte;
        return true;
    }
    virtual void receive(udppack &unit, const ReplySource &from, const QByteArray &block) = 0;
};

class ReplyRouter;

// A sink's place in the router; leaving scope takes it out, so no block ever
// reaches a handler that is gone.
class ReplyRegistration
{
public:
    ReplyRegistration() = default;
    ReplyRegistration(ReplyRouter &router, std::uint8_t type, ReplySink *sink);
    ReplyRegistration(ReplyRegistration &&other) noexcept;
    ReplyRegistration &operator=(ReplyRegistration &&other) noexcept;
    ReplyRegistration(const ReplyRegistration &) = delete;
    ReplyRegistration &operator=(const ReplyRegistration &) = delete;
    ~ReplyRegistration();

private:
    void release();
    QPointer<ReplyRouter> m_router;
    std::uint8_t m_type = 0;
    ReplySink *m_sink = nullptr;
};

// Which sink takes which reply type, and the last block of each type.
class ReplyRouter : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // One sink per type: a second registration replaces the first.
    [[nodiscard]] ReplyRegistration add(ReplyType type, ReplySink &sink);
    ReplySink *sink(std::uint8_t type) const { return m_sinks.value(type); }

    struct Last
    {
        QByteArray block;
        ReplySource from;
    };
    // The last complete block of a type and where it came from (empty when none came).
    Last last(ReplyType type) const { return m_last.value(static_cast<std::uint8_t>(type)); }
    // How many complete blocks of a type came so far (a wait for the next one compares).
    int deliveredCount(ReplyType type) const { return m_counts.value(static_cast<std::uint8_t>(type)); }

    // Hands a complete block to its sink; false when no sink takes the type.
    bool deliver(std::uint8_t type, udppack &unit, const ReplySource &from, const QByteArray &block);

private:
    friend class ReplyRegistration;
    void remove(std::uint8_t type, ReplySink *sink);

    QHash<std::uint8_t, ReplySink *> m_sinks;
    QHash<std::uint8_t, Last> m_last;
    QHash<std::uint8_t, int> m_counts;
};

} // namespace vork

#include <functional>

namespace vork {

// A sink whose blocks have one fixed size, handled by one function.
class FixedSizeSink : public ReplySink
{
public:
    using Handler = std::function<void(udppack &unit, const ReplySource &from, const QByteArray &block)>;
    FixedSizeSink(int size, Handler handler) : m_size(size), m_handler(std::move(handler)) {}
    int blockSize(const udppack &, const QByteArray &) const override { return m_size; }
    int maxBlockSize() const override { return m_size; }
    void receive(udppack &unit, const ReplySource &from, const QByteArray &block) override
    {
        m_handler(unit, from, block);
    }

private:
    int m_size;
    Handler m_handler;
};

} // namespace vork
