#include "cli/cliargs.h"

#include "cli/exitcodes.h"
#include "cli/safetext.h"
#include "core/address.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QTextStream>

namespace vork::cli {

QString commandHelp(const QCommandLineParser &p, const QString &name)
{
    QString text = p.helpText();
    // Qt names the program by its path; the command belongs in the usage line too.
    const QString prefix = QStringLiteral("Usage: ") + QCoreApplication::arguments().value(0);
    if (text.startsWith(prefix))
        text.replace(0, prefix.size(), QStringLiteral("Usage: vork ") + name);
    return text + QLatin1Char('\n') + exitStatusHelp();
}

int parseCommand(QCommandLineParser &p, const QString &name, const QStringList &args)
{
    if (!p.parse(QStringList{QStringLiteral("vork ") + name} + args)) {
        QTextStream(stderr) << "vork " << name << ": " << p.errorText() << " (vork " << name << " --help)\n";
        return exitUsage;
    }
    if (p.isSet(QStringLiteral("help")) || p.isSet(QStringLiteral("help-all"))) {
        QTextStream(stdout) << commandHelp(p, name);
        return exitOk;
    }
    return -1;
}

bool isBroadcastAddress(std::uint32_t address)
{
    if (address == 0xFFFFFFFFu)
        return true;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const auto entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            if (entry.broadcast().protocol() == QAbstractSocket::IPv4Protocol
                && entry.broadcast().toIPv4Address() == address)
                return true;
            // Loopback reports no broadcast address, yet its network has one.
            const int prefix = entry.prefixLength();
            if (prefix > 0 && prefix < 31) {
                const std::uint32_t host = 0xFFFFFFFFu >> prefix;
                if ((entry.ip().toIPv4Address() | host) == address)
                    return true;
            }
        }
    }
    return false;
}

QString unitAddressProblem(const QString &text)
{
    std::uint32_t a = 0;
    if (!parseIPv4(text, a))
        return QStringLiteral("Invalid IP address entered: '") + escaped(text)
               + QStringLiteral("' (four numbers 0-255, no leading zeros)");
    if (isBroadcastAddress(a))
        return escaped(text) + QStringLiteral(" is a broadcast address; give one unit's address");
    return {};
}

} // namespace vork::cli
