#include "discovery/arpcache.h"

#include "core/address.h"
#include "core/operator.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vork {

namespace {

constexpr int macTextLength = 17;
const QLatin1String marker("00-50-");

// Digits, letters A-F (either case), "." and "-": what an address or MAC is made of.
bool addressChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f') || u == '.' || u == '-';
}

bool isMacText(const QString &mac)
{
    if (mac.size() != macTextLength)
        return false;
    for (int i = 0; i < macTextLength; ++i) {
        const QChar c = mac.at(i);
        const bool separator = i % 3 == 2;
        if (separator ? c != QLatin1Char(':') : !addressChar(c) || c == QLatin1Char('.') || c == QLatin1Char('-'))
            return false;
    }
    return true;
}

} // namespace

ArpCache::ArpCache(Operator &op) : m_op(op)
{
    readTable = [] {
        QFile f(QStringLiteral("/proc/net/arp"));
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray();
        // The table is small; a bound keeps a strange file from growing without end.
        return f.read(1 << 20);
    };
    remove = &ArpCache::netlinkDelete;
}

QList<ArpCache::Entry> ArpCache::parseProcArp(const QByteArray &text)
{
    QList<Entry> entries;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 1; i < lines.size(); ++i) { // line 0 is the header
        const QList<QByteArray> f = lines.at(i).simplified().split(' ');
        if (f.size() != 6)
            continue;
        const QString ip = QString::fromLatin1(f.at(0));
        QString mac = QString::fromLatin1(f.at(3));
        if (!isValidIPv4(ip) || !isMacText(mac))
            continue;
        mac.replace(QLatin1Char(':'), QLatin1Char('-'));
        entries.append({ip, mac, QString::fromLatin1(f.at(5))});
    }
    return entries;
}

QStringList ArpCache::listing(const QList<Entry> &entries)
{
    QStringList lines;
    for (const Entry &e : entries)
        lines << QStringLiteral("  ") + e.ip.leftJustified(22) + e.mac + QStringLiteral("     dynamic");
    return lines;
}

std::optional<ArpCache::Match> ArpCache::findEntry(const QStringList &lines, const QString &targetMac)
{
    for (const QString &line : lines) {
        const qsizetype at = line.indexOf(marker);
        if (at < 0)
            continue;
        Match m;
        for (qsizetype i = 0; i < at; ++i)
            if (addressChar(line.at(i)))
                m.ip += line.at(i);
        for (qsizetype i = at; i < line.size() && m.mac.size() < macTextLength; ++i)
            if (addressChar(line.at(i)))
                m.mac += line.at(i);
        if (m.mac.compare(targetMac, Qt::CaseInsensitive) == 0)
            return m;
    }
    return std::nullopt;
}

QString ArpCache::question(const Match &m)
{
    return QStringLiteral("Delete this entry? IP: ") + m.ip + QStringLiteral(" MAC: ") + m.mac;
}

bool ArpCache::purge(const QString &targetMac, bool ask)
{
    const QList<Entry> entries = parseProcArp(readTable ? readTable() : QByteArray());
    const std::optional<Match> m = findEntry(listing(entries), targetMac);
    if (!m)
        return false;
    if (ask && m_op.ask(question(*m)) != Answer::Yes)
        return false;
    QString device;
    for (const Entry &e : entries)
        if (e.ip == m->ip && e.mac.compare(m->mac, Qt::CaseInsensitive) == 0)
            device = e.device;
    const int error = remove ? remove(m->ip, device) : ENOSYS;
    if (error == 0) {
        m_op.log(QStringLiteral("ARP entry deleted: ") + m->ip + QLatin1Char(' ') + m->mac);
        return true;
    }
    if (error == EPERM || error == EACCES) {
        m_op.log(QStringLiteral("ARP entry for ") + m->ip
                 + QStringLiteral(" not deleted: no permission (needs CAP_NET_ADMIN)"));
    } else {
        m_op.log(QStringLiteral("ARP entry for ") + m->ip + QStringLiteral(" not deleted: ")
                 + QString::fromLocal8Bit(std::strerror(error)));
    }
    return false;
}

int ArpCache::netlinkDelete(const QString &ip, const QString &device)
{
    std::uint32_t address = 0;
    if (!parseIPv4(ip, address))
        return EINVAL;
    const unsigned index = if_nametoindex(device.toLocal8Bit().constData());
    if (index == 0)
        return ENODEV;

    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return errno;

    struct
    {
        nlmsghdr header;
        ndmsg neighbour;
        char attributes[RTA_SPACE(4)];
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg)) + RTA_SPACE(4);
    request.header.nlmsg_type = RTM_DELNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK;
    request.header.nlmsg_seq = 1;
    request.neighbour.ndm_family = AF_INET;
    request.neighbour.ndm_ifindex = int(index);
    auto *rta = reinterpret_cast<rtattr *>(request.attributes);
    rta->rta_type = NDA_DST;
    rta->rta_len = RTA_LENGTH(4);
    const std::uint32_t network = htonl(address);
    std::memcpy(RTA_DATA(rta), &network, 4);

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    int result = 0;
    if (::sendto(fd, &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr *>(&kernel), sizeof kernel)
        < 0) {
        result = errno;
    } else {
        // The kernel answers a route request before sendto returns: no waiting here.
        char reply[512];
        const ssize_t n = ::recv(fd, reply, sizeof reply, MSG_DONTWAIT);
        if (n < 0) {
            result = errno == EAGAIN ? 0 : errno;
        } else if (std::size_t(n) >= NLMSG_LENGTH(sizeof(nlmsgerr))) {
            nlmsghdr h;
            std::memcpy(&h, reply, sizeof h);
            if (h.nlmsg_type == NLMSG_ERROR) {
                int code = 0;
                std::memcpy(&code, reply + NLMSG_HDRLEN, sizeof code);
                result = -code;
            }
        }
    }
    ::close(fd);
    return result;
}

} // namespace vork
