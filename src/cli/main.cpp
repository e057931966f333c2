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
         "  info ADDRESS      ask one unit who it is and print every field\n"
         "  version ADDRESS   a unit's firmware version and build date\n"
         "  clock ADDRESS     read a unit's clock (--set sets it to this computer's clock)\n"
         "  checksum ADDRESS  have a unit compute its program checksum\n"
         "  reboot ADDRESS    restart a unit (asks unless --yes)\n"
         "  erase setup|history|persistent ADDRESS   erase on a unit (asks unless --yes)\n"
         "Each unit command takes --help, --yes, --verbose, --no-ping, --local-ip, --wait.\n"
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
    using Command = int (*)(const QStringList &);
    static const QList<QPair<QString, Command>> unitCommands = {
        {QStringLiteral("info"), vork::cli::info},         {QStringLiteral("version"), vork::cli::version},
        {QStringLiteral("clock"), vork::cli::clock},       {QStringLiteral("checksum"), vork::cli::checksum},
        {QStringLiteral("reboot"), vork::cli::reboot},     {QStringLiteral("erase"), vork::cli::erase},
    };
    for (const auto &[name, run] : unitCommands)
        if (command == name)
            return run(args.mid(1));
    if (command == QLatin1String("interfaces")) {
        const QStringList list = vork::TBroadcast::GetInterfaceList();
        for (const QString &a : list)
            out << a << '\n';
        return 0;
    }
    err << "vork: unknown command '" << command << "'\n";
    return usage(err, 2);
}
