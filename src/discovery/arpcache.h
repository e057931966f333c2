#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vork {

class Operator;

// The kernel's ARP table as the set-IP clean-up reads it: listed into lines
// (address first, then the MAC as six pairs joined by "-"), searched by the
// purge rules, and one entry deleted through netlink.
class ArpCache
{
public:
    struct Entry
    {
        QString ip;
        QString mac;    // "00-50-c2-2c-01-02", as the kernel wrote it
        QString device; // the interface the entry belongs to
    };
    struct Match
    {
        QString ip;
        QString mac;
    };

    explicit ArpCache(Operator &op);

    // /proc/net/arp as text: header line, then "IP type flags MAC mask device".
    // Lines that do not have six fields or whose address or MAC is malformed are skipped.
    static QList<Entry> parseProcArp(const QByteArray &text);
    // One line per entry: two spaces, the address padded to 22, the MAC, the kind.
    static QStringList listing(const QList<Entry> &entries);
    // The purge rules over listing lines: the first line holding "00-50-" whose
    // physical address equals target (case ignored).
    static std::optional<Match> findEntry(const QStringList &lines, const QString &targetMac);
    static QString question(const Match &m);

    // Finds the entry of targetMac (six pairs joined by "-") and deletes it,
    // asking first when ask. True when an entry was deleted.
    bool purge(const QString &targetMac, bool ask);

    // The table's text (default: /proc/net/arp of this network namespace).
    std::function<QByteArray()> readTable;
    // Deletes ip's entry on device; 0 or an errno value (default: netlink RTM_DELNEIGH).
    std::function<int(const QString &ip, const QString &device)> remove;

    static int netlinkDelete(const QString &ip, const QString &device);

private:
    Operator &m_op;
};

} // namespace vork
