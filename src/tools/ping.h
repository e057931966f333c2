#pragma once

#include "core/address.h"
#include "core/pinger.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFlags>
#include <QString>

#include <cstdint>

namespace vork {

class Operator;

namespace icmp {

constexpr int headerSize = 8;
constexpr int payloadSize = 24;
constexpr int minIpHeaderSize = 20;

enum Type : std::uint8_t {
    EchoReply = 0,
    DestinationUnreachable = 3,
    EchoRequest = 8,
    TimeExceeded = 11,
};

// Internet checksum (one's complement of the one's complement sum).
std::uint16_t checksum(QByteArrayView data);

// Echo request with identifier, sequence, payload and its checksum filled in.
QByteArray echoRequest(std::uint16_t id, std::uint16_t sequence, QByteArrayView payload);

struct Expected
{
    std::uint32_t target = 0; // host order; checked only where the packet carries addresses
    std::uint16_t id = 0;
    std::uint16_t sequence = 0;
};

enum class Verdict {
    Reply,       // our echo reply
    Unreachable, // an error report quoting our request: no reply will come
    Unrelated,   // well formed, but not about our request
    Malformed,   // short, garbage, bad header or checksum
};

// Classifies one received packet. Raw sockets deliver the IP header first
// (withIpHeader), datagram sockets only the ICMP message. Pure: reads nothing
// beyond packet.
Verdict classify(QByteArrayView packet, bool withIpHeader, const Expected &expected);

// Waits for the verdict on fd (non-blocking, readable through a socket
// notifier) inside a bounded nested event loop. Packets after timeoutMs count
// as none. Returns true only for our echo reply.
bool awaitReply(int fd, bool withIpHeader, const Expected &expected, int timeoutMs);

} // namespace icmp

// ICMP echo on Linux: a raw socket where allowed (root or CAP_NET_RAW), else an
// unprivileged datagram socket (net.ipv4.ping_group_range); without either
// the result is false with one log line saying why.
class IcmpPinger : public Pinger
{
public:
    enum Kind { Raw = 0x1, Datagram = 0x2 };
    Q_DECLARE_FLAGS(Kinds, Kind)

    explicit IcmpPinger(Operator &op, Kinds allowed = Kinds(Raw | Datagram));

    bool ping(const QString &host, int timeoutMs, bool busyCursor) override;

    // The socket kind the last ping used; 0 when none could be opened (yet).
    Kind lastKind() const { return m_lastKind; }
    // Why no socket could be opened; empty while ICMP works.
    QString deniedReason() const { return m_denied; }

private:
    bool pingOnce(std::uint32_t target, int timeoutMs);
    int openSocket(Kind &kind);

    Operator &m_op;
    Kinds m_allowed;
    Kind m_lastKind = Kind(0);
    QString m_denied;
    bool m_deniedLogged = false;
    std::uint16_t m_id;
    std::uint16_t m_sequence = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(IcmpPinger::Kinds)

} // namespace vork
