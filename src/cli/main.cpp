#include "cli/commands.h"
#include "cli/exitcodes.h"
#include "cli/safetext.h"
#include "discovery/broadcast.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

int usage(QTextStream &s, int status)
{
    s << "Usage: vork COMMAND [options] ARGS\n"
         "\n"
         "Commands:\n"
         "  discover          run one discovery cycle and list the units (vork discover --help)\n"
         "  ping ADDRESS      ICMP echo to a unit: Found / Not Found (vork ping --help)\n"
         "  info ADDRESS      ask one unit who it is and print every field\n"
         "  version ADDRESS   a unit's firmware version and build date\n"
         "  clock ADDRESS     read a unit's clock (--set sets it to this computer's clock)\n"
         "  checksum ADDRESS  have a unit compute its program checksum (asks unless --yes)\n"
         "  reboot ADDRESS    restart a unit (asks unless --yes)\n"
         "  erase setup|history|persistent ADDRESS   erase on a unit (asks unless --yes)\n"
         "  ram zero|one|safe-on|safe-off ADDRESS     RAM speed or safe mode by datagram (asks unless --yes)\n"
         "  archive create|restore|delete|compare ADDRESS   the unit's setup archive (asks unless --yes)\n"
         "  restart-service web|discovery|telnet ADDRESS    restart a service by datagram (asks unless --yes)\n"
         "  reboot-udp ADDRESS   restart a unit by datagram, by its MAC (asks unless --yes)\n"
         "  sync-clock ADDRESS   set a unit's clock to this computer's by datagram\n"
         "  set-ip MAC IP     give the unit with MAC a new address (--mask, --gateway, --to LIST); waits for it\n"
         "  factory-reset (--mac MAC | ADDRESS)   restore a unit's factory defaults (asks unless --yes)\n"
         "  monitor ADDRESS...  print live records of units in monitor mode until interrupted\n"
         "  photoeyes ADDRESS read a unit's photo eyes once (--watch: until interrupted)\n"
         "  force-read ADDRESS --reader R --label L   make a reader read a label (asks unless --yes)\n"
         "  events decode HEX...   decode 19-byte event records given as hex (no unit needed)\n"
         "  setup get ADDRESS read a unit's setup record, one field a line (--json: one object)\n"
         "  setup put ADDRESS FILE.vork   write a configuration file to a unit (asks unless --yes)\n"
         "  setup set ADDRESS FIELD=VALUE...   change setup fields by name (asks unless --yes)\n"
         "  setup diff A B    compare two setup records (units or .vork files), field by field\n"
         "  history get ADDRESS   retrieve a unit's history records, newest first (--count, --kinds, --json)\n"
         "  flash FILE ADDRESS...   flash an Intel HEX image to units, each checked first (--dont-reboot,\n"
         "                    --speed, --boot-loader; asks unless --yes)\n"
         "  hex info FILE     an image's build string, line count and validity (no unit needed)\n"
         "  telnet ADDRESS [COMMAND...]   log in to a unit's telnet console and run commands, printing\n"
         "                    the answers (--user, --password-file, --ask-password, --port; no COMMAND:\n"
         "                    interactive)\n"
         "  interfaces        list the local IPv4 interface addresses (loopback last)\n"
         "  help              show this text\n"
         "\n"
         "Each unit command takes --help, --verbose, --no-ping, --local-ip, --wait; those that ask\n"
         "take --yes. Without --yes and without a terminal a question is declined. A failure always\n"
         "says why on stderr. Text from units is printed with control characters as \\xNN.\n"
         "\n"
      << vork::cli::exitStatusHelp();
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
        return usage(err, vork::cli::exitUsage);
    const QString command = args.first();
    if (command == QLatin1String("help") || command == QLatin1String("--help") || command == QLatin1String("-h"))
        return usage(out, vork::cli::exitOk);
    if (command == QLatin1String("discover"))
        return vork::cli::discover(args.mid(1));
    if (command == QLatin1String("ping"))
        return vork::cli::ping(args.mid(1));
    if (command == QLatin1String("telnet"))
        return vork::cli::telnet(args.mid(1));
    if (command == QLatin1String("monitor"))
        return vork::cli::monitor(args.mid(1));
    if (command == QLatin1String("photoeyes"))
        return vork::cli::photoEyes(args.mid(1));
    if (command == QLatin1String("force-read"))
        return vork::cli::forceRead(args.mid(1));
    if (command == QLatin1String("events"))
        return vork::cli::events(args.mid(1));
    if (command == QLatin1String("setup")) {
        const QString what = args.value(1);
        if (what == QLatin1String("get"))
            return vork::cli::setupGet(args.mid(2));
        if (what == QLatin1String("put"))
            return vork::cli::setupPut(args.mid(2));
        if (what == QLatin1String("set"))
            return vork::cli::setupSet(args.mid(2));
        if (what == QLatin1String("diff"))
            return vork::cli::setupDiff(args.mid(2));
        if (what == QLatin1String("--help") || what == QLatin1String("-h") || what == QLatin1String("--help-all")) {
            out << "Usage: vork setup get|put|set|diff ...\n"
                   "  get [--out FILE.vork] ADDRESS   read a unit's setup record\n"
                   "  put ADDRESS FILE.vork          write a configuration file to a unit (asks unless --yes)\n"
                   "  set ADDRESS FIELD=VALUE...     change fields by name (asks unless --yes)\n"
                   "  diff A B                       compare two units or files field by field\n"
                   "(vork setup WHAT --help for each)\n\n"
                << vork::cli::exitStatusHelp();
            return vork::cli::exitOk;
        }
        err << "vork setup: WHAT must be get, put, set or diff (vork setup --help)\n";
        return vork::cli::exitUsage;
    }
    if (command == QLatin1String("flash"))
        return vork::cli::flash(args.mid(1));
    if (command == QLatin1String("hex")) {
        const QString what = args.value(1);
        if (what == QLatin1String("info"))
            return vork::cli::hexInfo(args.mid(2));
        err << "vork hex: WHAT must be info (vork hex info --help)\n";
        return vork::cli::exitUsage;
    }
    if (command == QLatin1String("history")) {
        const QString what = args.value(1);
        if (what == QLatin1String("get"))
            return vork::cli::historyGet(args.mid(2));
        if (what == QLatin1String("--help") || what == QLatin1String("-h") || what == QLatin1String("--help-all")) {
            out << "Usage: vork history get [options] ADDRESS\nRetrieves a unit's history records (vork history get "
                   "--help).\n\n"
                << vork::cli::exitStatusHelp();
            return vork::cli::exitOk;
        }
        err << "vork history: WHAT must be get (vork history get --help)\n";
        return vork::cli::exitUsage;
    }
    using Command = int (*)(const QStringList &);
    static const QList<QPair<QString, Command>> unitCommands = {
        {QStringLiteral("info"), vork::cli::info},         {QStringLiteral("version"), vork::cli::version},
        {QStringLiteral("clock"), vork::cli::clock},       {QStringLiteral("checksum"), vork::cli::checksum},
        {QStringLiteral("reboot"), vork::cli::reboot},     {QStringLiteral("erase"), vork::cli::erase},
        {QStringLiteral("ram"), vork::cli::ram},           {QStringLiteral("archive"), vork::cli::archive},
        {QStringLiteral("restart-service"), vork::cli::restartService},
        {QStringLiteral("reboot-udp"), vork::cli::rebootUdp},
        {QStringLiteral("sync-clock"), vork::cli::syncClock},
        {QStringLiteral("set-ip"), vork::cli::setIp},
        {QStringLiteral("factory-reset"), vork::cli::factoryReset},
    };
    for (const auto &[name, run] : unitCommands)
        if (command == name)
            return run(args.mid(1));
    if (command == QLatin1String("interfaces")) {
        if (args.size() == 2 && (args.at(1) == QLatin1String("--help") || args.at(1) == QLatin1String("-h")
                                 || args.at(1) == QLatin1String("--help-all"))) {
            out << "Usage: vork interfaces\nLists the local IPv4 interface addresses, loopback last.\n\n"
                << vork::cli::exitStatusHelp();
            return vork::cli::exitOk;
        }
        if (args.size() > 1) {
            err << "vork interfaces: takes no arguments\n";
            return vork::cli::exitUsage;
        }
        const QStringList list = vork::TBroadcast::GetInterfaceList();
        if (list.isEmpty()) {
            err << "vork interfaces: no IPv4 interface is up\n";
            return vork::cli::exitLocal;
        }
        for (const QString &a : list)
            out << a << '\n';
        return vork::cli::exitOk;
    }
    err << "vork: unknown command '" << vork::cli::escaped(command) << "'\n";
    return usage(err, vork::cli::exitUsage);
}
