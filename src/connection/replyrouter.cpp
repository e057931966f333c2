#include "connection/replyrouter.h"

#include <utility>

namespace vork {

ReplyRegistration::ReplyRegistration(ReplyRouter &router, std::uint8_t type, ReplySink *sink)
    : m_router(&router), m_type(type), m_sink(sink)
{
}

ReplyRegistration::ReplyRegistration(ReplyRegistration &&other) noexcept
    : m_router(std::exchange(other.m_router, nullptr)), m_type(other.m_type),
      m_sink(std::exchange(other.m_sink, nullptr))
{
}

ReplyRegistration &ReplyRegistration::operator=(ReplyRegistration &&other) noexcept
{
    if (this != &other) {
        release();
        m_router = std::exchange(other.m_router, nullptr);
        m_type = other.m_type;
        m_sink = std::exchange(other.m_sink, nullptr);
    }
    return *this;
}

ReplyRegistration::~ReplyRegistration()
{
    release();
}

void ReplyRegistration::release()
{
    if (m_router && m_sink)
        m_router->remove(m_type, m_sink);
    m_router = nullptr;
    m_sink = nullptr;
}

ReplyRegistration ReplyRouter::add(ReplyType type, ReplySink &sink)
{
    const auto t = static_cast<std::uint8_t>(type);
    m_sinks.insert(t, &sink);
    return ReplyRegistration(*this, t, &sink);
}

void ReplyRouter::remove(std::uint8_t type, ReplySink *sink)
{
    // Only the registration that is still in place takes its sink out.
    if (m_sinks.value(type) == sink)
        m_sinks.remove(type);
}

bool ReplyRouter::deliver(std::uint8_t type, udppack &unit, const ReplySource &from, const QByteArray &block)
{
    m_last.insert(type, {block, from});
    ++m_counts[type];
    ReplySink *s = m_sinks.value(type);
    if (!s)
        return false;
    s->receive(unit, from, block);
    return true;
}

} // namespace vork
