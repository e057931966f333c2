#include "tools/ping.h"

#include "core/boundedwait.h"
#include "core/operator.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vork {

namespace {

std::uint8_t byteAt(QByteArrayView p, qsizetype i)
{
    return static_cast<std::uint8_t>(p[i]);
}

std::uint16_t be16(QByteArrayView p, qsizetype i)
{
    return std::uint16_t((byteAt(p, i) << 8) | byteAt(p, i + 1));
}

std::uint32_t be32(QByteArrayView p, qsizetype i)
{
    return (std::uint32_t(be16(p, i)) << 16) | be16(p, i + 2);
}

// Splits an IPv4 header off; false when the header cannot be trusted.
bool stripIpHeader(QByteArrayView packet, QByteArrayView &payload, std::uint32_t &source, std::uint32_t &destination,
                   std::uint8_t &protocol)
{
    if (packet.size() < icmp::minIpHeaderSize)
        return false;
    const int version = byteAt(packet, 0) >> 4;
    const int ihl = (byteAt(packet, 0) & 0x0f) * 4;
    if (version != 4 || ihl < icmp::minIpHeaderSize || ihl > packet.size())
        return false;
    protocol = byteAt(packet, 9);
    source = be32(packet, 12);
    destination = be32(packet, 16);
    payload = packet.sliced(ihl);
    return true;
}

// Closes the socket however the ping ends.
struct FdGuard
{
    int fd;
    ~FdGuard()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

struct BusyGuard
{
    Operator *op;
    explicit BusyGuard(Operator *o) : op(o)
    {
        if (op)
            op->setBusy(true);
    }
    ~BusyGuard()
    {
        if (op)
            op->setBusy(false);
    }
};

constexpr int receiveBuffer = 2048;
// Packets read per wake-up: a flood of foreign ICMP cannot hold the loop.
constexpr int readsPerWake = 64;

} // namespace

namespace icmp {

std::uint16_t checksum(QByteArrayView data)
{
    std::uint32_t sum = 0;
    qsizetype i = 0;
    for (; i + 1 < data.size(); i += 2)
        sum += be16(data, i);
    if (i < data.size())
        sum += std::uint32_t(byteAt(data, i)) << 8;
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xffff);
}

QByteArray echoRequest(std::uint16_t id, std::uint16_t sequence, QByteArrayView payload)
{
    QByteArray p(headerSize, '\0');
    p[0] = char(EchoRequest);
    p[1] = 0;
    p[4] = char(id >> 8);
    p[5] = char(id & 0xff);
    p[6] = char(sequence >> 8);
    p[7] = char(sequence & 0xff);
    p.append(payload.data(), payload.size());
    const std::uint16_t sum = checksum(p);
    p[2] = char(sum >> 8);
    p[3] = char(sum & 0xff);
    return p;
}

Verdict classify(QByteArrayView packet, bool withIpHeader, const Expected &expected)
{
    QByteArrayView message = packet;
    if (withIpHeader) {
        std::uint32_t source = 0, destination = 0;
        std::uint8_t protocol = 0;
        if (!stripIpHeader(packet, message, source, destination, protocol) || protocol != IPPROTO_ICMP)
            return Verdict::Malformed;
        if (message.size() < headerSize || checksum(message) != 0)
            return Verdict::Malformed;
        // Only the target itself answers an echo; error reports come from routers.
        if (byteAt(message, 0) == EchoReply && source != expected.target)
            return Verdict::Unrelated;
    } else if (message.size() < headerSize || checksum(message) != 0) {
        return Verdict::Malformed;
    }

    const std::uint8_t type = byteAt(message, 0);
    if (type == EchoReply) {
        if (be16(message, 4) != expected.id || be16(message, 6) != expected.sequence)
            return Verdict::Unrelated;
        return Verdict::Reply;
    }
    if (type == DestinationUnreachable || type == TimeExceeded) {
        // The report quotes the IP header and the first 8 bytes of what we sent.
        QByteArrayView quoted;
        std::uint32_t source = 0, destination = 0;
        std::uint8_t protocol = 0;
        if (!stripIpHeader(message.sliced(headerSize), quoted, source, destination, protocol)
            || quoted.size() < headerSize)
            return Verdict::Malformed;
        if (protocol != IPPROTO_ICMP || destination != expected.target || byteAt(quoted, 0) != EchoRequest
            || be16(quoted, 4) != expected.id || be16(quoted, 6) != expected.sequence)
            return Verdict::Unrelated;
        return Verdict::Unreachable;
    }
    return Verdict::Unrelated;
}

bool awaitReply(int fd, bool withIpHeader, const Expected &expected, int timeoutMs)
{
    if (fd < 0 || timeoutMs <= 0)
        return false;
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    bool found = false;
    bool done = false;

    const auto drain = [&] {
        char buffer[receiveBuffer];
        for (int i = 0; i < readsPerWake && !done; ++i) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr *>(&from), &fromLength);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK)
                    done = true; // e.g. a datagram socket reporting the host unreachable
                return;
            }
            if (deadline.hasExpired()) {
                done = true; // too late: counts as no reply
                return;
            }
            Verdict v = classify(QByteArrayView(buffer, n), withIpHeader, expected);
            if (v == Verdict::Reply && fromLength >= socklen_t(sizeof from) && from.sin_family == AF_INET
                && ntohl(from.sin_addr.s_addr) != expected.target)
                v = Verdict::Unrelated;
            if (v == Verdict::Reply)
                found = done = true;
            else if (v == Verdict::Unreachable)
                done = true;
        }
    };

    QSocketNotifier notifier(qintptr(fd), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &notifier, drain);
    drain();
    const int left = int(deadline.remainingTime());
    if (!done && left > 0)
        wait::until([&] { return done; }, left, 10);
    notifier.setEnabled(false);
    return found;
}

} // namespace icmp

IcmpPinger::IcmpPinger(Operator &op, Kinds allowed)
    : m_op(op), m_allowed(allowed), m_id(static_cast<std::uint16_t>(QRandomGenerator::global()->generate()))
{
}

bool IcmpPinger::ping(const QString &host, int timeoutMs, bool busyCursor)
{
    std::uint32_t target = 0;
    if (!parseIPv4(host, target) || timeoutMs <= 0)
        return false;
    const BusyGuard busy(busyCursor ? &m_op : nullptr);
    return pingOnce(target, timeoutMs);
}

int IcmpPinger::openSocket(Kind &kind)
{
    QStringList why;
    if (m_allowed & Raw) {
        const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd >= 0) {
            kind = Raw;
            return fd;
        }
        why << QStringLiteral("raw socket: ") + QString::fromLocal8Bit(std::strerror(errno));
    }
    if (m_allowed & Datagram) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd >= 0) {
            kind = Datagram;
            return fd;
        }
        why << QStringLiteral("datagram socket: ") + QString::fromLocal8Bit(std::strerror(errno))
                   + QStringLiteral(" (net.ipv4.ping_group_range)");
    }
    if (why.isEmpty())
        why << QStringLiteral("no socket kind allowed");
    m_denied = QStringLiteral("ICMP echo not permitted: ") + why.join(QStringLiteral("; "))
               + QStringLiteral(". Run with CAP_NET_RAW or widen net.ipv4.ping_group_range.");
    return -1;
}

bool IcmpPinger::pingOnce(std::uint32_t target, int timeoutMs)
{
    Kind kind = Kind(0);
    const FdGuard socket{openSocket(kind)};
    m_lastKind = kind;
    if (socket.fd < 0) {
        if (!m_deniedLogged) {
            m_deniedLogged = true;
            m_op.log(m_denied);
        }
        return false;
    }
    m_denied.clear();
    m_deniedLogged = false;

    const std::uint16_t sequence = ++m_sequence;
    QByteArray payload(icmp::payloadSize, '\0');
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = char('a' + i % 23);
    const QByteArray request = icmp::echoRequest(m_id, sequence, payload);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(target);
    const ssize_t sent = ::sendto(socket.fd, request.constData(), size_t(request.size()), 0,
                                  reinterpret_cast<const sockaddr *>(&to), sizeof to);
    if (sent != request.size())
        return false;

    icmp::Expected expected{target, m_id, sequence};
    if (kind == Datagram) {
        // The kernel puts the socket's own identifier into the request.
        sockaddr_in local{};
        socklen_t length = sizeof local;
        if (::getsockname(socket.fd, reinterpret_cast<sockaddr *>(&local), &length) != 0)
            return false;
        expected.id = ntohs(local.sin_port);
    }
    return icmp::awaitReply(socket.fd, kind == Raw, expected, timeoutMs);
}

} // namespace vork
