#pragma once

#include <QDateTime>
#include <QString>

namespace vork {

class UnitServices;

// The unit's clock from the SETUP page: 'T' asks for it (the 'T' reply
// brings it), 't' with 8 bytes and a second acknowledgement sets it.
class SetupClock
{
public:
    static constexpr int ackSeconds = 3;

    explicit SetupClock(UnitServices &services) : m_services(services) {}

    // 'T' acknowledged; the clock follows as a reply.
    bool read();
    // The clock set to t and confirmed by the unit. An invalid time sends nothing.
    bool set(const QDateTime &t);

private:
    UnitServices &m_services;
};

} // namespace vork
