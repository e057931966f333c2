#pragma once

#include <QString>

namespace vork {

// One reachability check. The connection side and the ping tools hold this
// interface, so tests can script any answer sequence.
class Pinger
{
public:
    virtual ~Pinger() = default;
    // True when an echo reply arrived within timeoutMs. Never blocks the event loop.
    virtual bool ping(const QString &host, int timeoutMs, bool busyCursor) = 0;
};

} // namespace vork
