#include "cli/commands.h"
#include "discovery/broadcast.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

int usage(QTextStream &s, int status)
{
    s << "Usage: vork COMMAND [OPTIONS]\n"
         "\n"
         "Commands:\n"
         "  discover          run one discovery cycle and list the units (vork discover --help)\n"
         "  ping ADDRESS      ICMP echo to a unit: Found / Not Found (vork ping --help)\n"
         "  interfaces        list the local IPv4 interface addresses (loopback last)\n"
         "  help              show this text\n";
    s.flush();
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vork"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return usage(err, 2);
    const QString command = args.first();
    if (command == QLatin1String("help") || command == QLatin1String("--help") || command == QLatin1String("-h"))
        return usage(out, 0);
    if (command == QLatin1String("discover"))
        return vork::cli::discover(args.mid(1));
    if (command == QLatin1String("ping"))
        return vork::cli::ping(args.mid(1));
    if (command == QLatin1String("interfaces")) {
        const QStringList list = vork::TBroadcast::GetInterfaceList();
        for (const QString &a : list)
            out << a << '\n';
        return 0;
    }
    err << "vork: unknown command '" << command << "'\n";
    return usage(err, 2);
}
