// vork-sim: simulated Vork units for tests, demos and training.

#include "simconfig.h"
#include "simfaulttable.h"
#include "simfleet.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace vork::sim;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    // Only async-signal-safe work here; the event loop does the rest.
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

void out(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int fail(const QString &why)
{
    std::fputs((QStringLiteral("vork-sim: ") + why + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    return 2;
}

bool intValue(const QCommandLineParser &p, const QCommandLineOption &o, int min, int max, int &value, QString &error)
{
    if (!p.isSet(o))
        return true;
    bool ok = false;
    const int v = p.value(o).toInt(&ok);
    if (!ok || v < min || v > max) {
        error = QStringLiteral("--") + o.names().constFirst() + QStringLiteral(" takes a number from ")
                + QString::number(min) + QStringLiteral(" to ") + QString::number(max);
        return false;
    }
    value = v;
    return true;
}

QString hexPreview(const QByteArray &bytes)
{
    constexpr int shown = 16;
    QString text = QString::fromLatin1(bytes.left(shown).toHex(' '));
    if (bytes.size() > shown)
        text += QStringLiteral(" ...");
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vork-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(VORK_VERSION_MAJOR)
                                                .arg(VORK_VERSION_MINOR)
                                                .arg(VORK_VERSION_PATCH));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated Vork units. Each unit binds UDP port 3010 on its own address and answers the\n"
        "discovery query \"SVRK?\" with its 130-byte announcement (109 bytes with --old-firmware);\n"
        "a query carrying a clock sets the unit's clock. Other datagrams are ignored (shown with\n"
        "--verbose).\n\n"
        "Each unit also listens on TCP port 3011 (its command port): one client at a time (others\n"
        "are closed at once; the announcement shows connection bit 8 while the port is held).\n"
        "Units of version 3.1.0 and up, 2.9.3 to 2.9.9, or model 4 and up ignore every byte until\n"
        "the 6-byte login text arrives. A unit keeps its mode: 'M' monitor, 'H' history, 'S' setup;\n"
        "'Q' leaves monitor and setup, four zero bytes leave history. Command level: M H S, X\n"
        "(ACK, then the 12-byte checksum block after --checksum-delay), C (ACK and close), R (reboot:\n"
        "silent on UDP and TCP for --restart-ms, then back with run time 0), x. Setup mode: U (ACK,\n"
        "'S' + the setup record, its length by version), D (ACK, 243 bytes, ACK), T (ACK, 'T' + clock), t (ACK,\n"
        "8 clock bytes, ACK), c (setup back to defaults), h, p (erase; NAK with --fail-erase).\n"
        "Monitor mode: f (ACK, 3 bytes, ACK). Unknown bytes are ignored.\n\n"
        "Each unit also runs a telnet console (--telnet-port, default 23): \"Login : \", \"Password:\"\n"
        "(user kivo, password dulm), prompt \"[BRIVELLa]>\"; commands reAccess, restart, exit,\n"
        "version, calc, help.\n\n"
        "Loopback (no privileges): units on 127.0.0.2, 127.0.0.3, ... reached by unicast.\n"
        "Lab: one unit per network namespace made by scripts/netlab, e.g.\n"
        "  ip netns exec vlab-u1 vork-sim --bind-any --address 10.231.0.11\n\n"
        "Fault flags apply to every unit, on top of what --config sets. Command lists name command\n"
        "bytes as typed (\"hp\"); '0' stands for the history quit.\n"
        "Runs until SIGINT or SIGTERM, or for --for seconds. Exit status 2 on bad options."));
    parser.addHelpOption();
    parser.addVersionOption();

    const QCommandLineOption configOpt(QStringLiteral("config"),
                                       QStringLiteral("Units from a JSON file (format in sim/README.md)."),
                                       QStringLiteral("file"));
    const QCommandLineOption unitsOpt(QStringLiteral("units"),
                                      QStringLiteral("Number of generated demo units (default 5; 1 with --address)."),
                                      QStringLiteral("n"));
    const QCommandLineOption baseOpt(QStringLiteral("base"),
                                     QStringLiteral("Address of the first unit; the next ones count up (default 127.0.0.2)."),
                                     QStringLiteral("address"));
    const QCommandLineOption addressOpt(QStringLiteral("address"),
                                        QStringLiteral("Run a single unit with this address."),
                                        QStringLiteral("address"));
    const QCommandLineOption bindAnyOpt(QStringLiteral("bind-any"),
                                        QStringLiteral("Bind 0.0.0.0 instead of the unit's address, so limited broadcasts "
                                                       "arrive (lab namespaces; one unit only)."));
    const QCommandLineOption labIfaceOpt(QStringLiteral("lab-iface"),
                                         QStringLiteral("With --bind-any: a set-IP request for the unit replaces this "
                                                        "interface's address (lab namespaces only)."),
                                         QStringLiteral("name"));
    const QCommandLineOption portOpt(QStringLiteral("port"),
                                     QStringLiteral("UDP port the units listen on (default 3010)."),
                                     QStringLiteral("port"));
    const QCommandLineOption descOpt(QStringLiteral("desc"),
                                     QStringLiteral("Description of a single unit (at most 64 characters)."),
                                     QStringLiteral("text"));
    const QCommandLineOption macOpt(QStringLiteral("mac"),
                                    QStringLiteral("MAC of a single unit, 12 hex digits (default 0050C2 + the address's "
                                                   "low three bytes)."),
                                    QStringLiteral("mac"));
    const QCommandLineOption forOpt(QStringLiteral("for"),
                                    QStringLiteral("Stop after this many seconds (1-604800)."),
                                    QStringLiteral("seconds"));
    const QCommandLineOption verboseOpt(QStringLiteral("verbose"),
                                        QStringLiteral("Print one line per received datagram and per answer."));
    const QCommandLineOption noTcpOpt(QStringLiteral("no-tcp"), QStringLiteral("Do not listen on the TCP command port."));
    const QCommandLineOption tcpPortOpt(QStringLiteral("tcp-port"),
                                        QStringLiteral("TCP command port the units listen on (default 3011)."),
                                        QStringLiteral("port"));
    const QCommandLineOption telnetPortOpt(
        QStringLiteral("telnet-port"),
        QStringLiteral("Telnet port the units listen on (default 23; 0: none). When not given, a port that "
                       "cannot be bound is only warned about."),
        QStringLiteral("port"));
    parser.addOptions({configOpt, unitsOpt, baseOpt, addressOpt, bindAnyOpt, labIfaceOpt, portOpt, descOpt, macOpt, noTcpOpt,
                       tcpPortOpt, telnetPortOpt});
    // Every fault switch comes from the table, with its help text.
    parser.addOptions(faultOptions());
    parser.addOptions({forOpt, verboseOpt});
    // process() would exit 1 on a bad option; the help promises 2.
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out(QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion());
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument ") + parser.positionalArguments().constFirst());

    QString error;
    int unitCount = parser.isSet(addressOpt) ? 1 : 5;
    int port = unitUdpPort;
    int runSeconds = 0;
    int tcpPort = vork::commandPort;
    int telnetPort = vork::telnetPort;
    if (!intValue(parser, unitsOpt, 1, maxUnits, unitCount, error) || !intValue(parser, portOpt, 1, 65535, port, error)
        || !intValue(parser, forOpt, 1, 604800, runSeconds, error)
        || !intValue(parser, tcpPortOpt, 1, 65535, tcpPort, error)
        || !intValue(parser, telnetPortOpt, 0, 65535, telnetPort, error))
        return fail(error);
    QList<FaultSetting> faults;
    if (!readFaultFlags(parser, faults, error))
        return fail(error);
    // The flags alone must make sense together (each set as a file would), whatever a file adds.
    SimUnit flagged;
    for (const auto &[row, value] : std::as_const(faults))
        row->set(flagged, value);
    error = checkFaults(flagged.faults);
    if (!error.isEmpty())
        return fail(error);

    if (parser.isSet(addressOpt) && (parser.isSet(baseOpt) || unitCount != 1 || parser.isSet(configOpt)))
        return fail(QStringLiteral("--address runs one generated unit; it does not go with --base, --units or --config"));
    if (parser.isSet(configOpt) && parser.isSet(unitsOpt))
        return fail(QStringLiteral("--units and --config exclude each other"));

    const QString baseText = parser.isSet(addressOpt) ? parser.value(addressOpt)
                             : parser.isSet(baseOpt)   ? parser.value(baseOpt)
                                                       : QStringLiteral("127.0.0.2");
    const QHostAddress base = parseIPv4(baseText);
    if (base.isNull())
        return fail(QStringLiteral("not an IPv4 address: ") + baseText);

    QList<SimUnit> units;
    const bool loaded = parser.isSet(configOpt) ? loadFleetConfig(parser.value(configOpt), base, units, &error)
                                                : demoFleet(unitCount, base, units, &error);
    if (!loaded)
        return fail(error);

    if ((parser.isSet(descOpt) || parser.isSet(macOpt)) && units.size() != 1)
        return fail(QStringLiteral("--desc and --mac name a single unit"));
    if (parser.isSet(bindAnyOpt) && units.size() != 1)
        return fail(QStringLiteral("--bind-any runs a single unit (one per namespace)"));
    if (parser.isSet(labIfaceOpt) && !parser.isSet(bindAnyOpt))
        return fail(QStringLiteral("--lab-iface needs --bind-any (a unit alone in its namespace)"));
    if (parser.isSet(descOpt)) {
        const QString desc = parser.value(descOpt);
        if (desc.size() > 64)
            return fail(QStringLiteral("--desc takes at most 64 characters"));
        units.first().description = desc;
    }
    if (parser.isSet(macOpt)) {
        if (!isValidMac(parser.value(macOpt)))
            return fail(QStringLiteral("--mac takes 12 hex digits without separators"));
        units.first().mac = parser.value(macOpt).toUpper();
    }
    for (SimUnit &u : units)
        overlayFaults(u, faults);

    SimFleet fleet;
    for (const SimUnit &u : units)
        fleet.add(u);
    SimUnitServer::Options options;
    options.bindAny = parser.isSet(bindAnyOpt);
    options.labIface = parser.value(labIfaceOpt);
    options.port = static_cast<quint16>(port);
    options.tcp = !parser.isSet(noTcpOpt);
    options.tcpPort = static_cast<quint16>(tcpPort);
    options.telnetPort = static_cast<quint16>(telnetPort);
    options.telnetOptional = !parser.isSet(telnetPortOpt);
    if (!fleet.start(options, &error))
        return fail(error + QStringLiteral(" (addresses outside 127.0.0.0/8 must be on a local interface)"));

    const bool verbose = parser.isSet(verboseOpt);
    for (int i = 0; i < fleet.size(); ++i) {
        SimUnitServer &server = fleet.server(i);
        out(server.unit().summary());
        if (!verbose)
            continue;
        const QString name = server.unit().address.toString();
        QObject::connect(&server, &SimUnitServer::datagramReceived, &app,
                         [name](const QByteArray &bytes, const QString &from, quint16 fromPort) {
                             out(name + QStringLiteral(" <- ") + from + QLatin1Char(':') + QString::number(fromPort)
                                 + QLatin1Char(' ') + QString::number(bytes.size()) + QStringLiteral(" bytes: ")
                                 + hexPreview(bytes));
                         });
        QObject::connect(&server, &SimUnitServer::answerSent, &app,
                         [name](const QByteArray &bytes, const QString &to, quint16 toPort) {
                             out(name + QStringLiteral(" -> ") + to + QLatin1Char(':') + QString::number(toPort)
                                 + QLatin1Char(' ') + QString::number(bytes.size()) + QStringLiteral(" bytes"));
                         });
        SimCommandServer &tcp = server.tcp();
        QObject::connect(&tcp, &SimCommandServer::clientConnected, &app, [name](const QString &peer, quint16 peerPort) {
            out(name + QStringLiteral(" tcp connected ") + peer + QLatin1Char(':') + QString::number(peerPort));
        });
        QObject::connect(&tcp, &SimCommandServer::clientRefused, &app, [name](const QString &peer, quint16 peerPort) {
            out(name + QStringLiteral(" tcp refused ") + peer + QLatin1Char(':') + QString::number(peerPort));
        });
        QObject::connect(&tcp, &SimCommandServer::clientDisconnected, &app,
                         [name] { out(name + QStringLiteral(" tcp disconnected")); });
        // The login text is never printed: only that it arrived.
        QObject::connect(&tcp, &SimCommandServer::authenticated, &app,
                         [name] { out(name + QStringLiteral(" tcp login")); });
        QObject::connect(&tcp, &SimCommandServer::commandHandled, &app,
                         [name](quint8 byte, SimCommandServer::Answer answer) {
                             const char *answers[] = {"ACK", "NAK", "no answer"};
                             const QString shown = byte >= 0x21 && byte < 0x7F
                                                       ? QString(QLatin1Char('\'') + QLatin1Char(char(byte)) + QLatin1Char('\''))
                                                       : QString(QStringLiteral("0x") + QString::number(byte, 16));
                             out(name + QStringLiteral(" tcp command ") + shown + QStringLiteral(": ")
                                 + QString::fromLatin1(answers[static_cast<int>(answer)]));
                         });
        QObject::connect(&tcp, &SimCommandServer::bytesSent, &app, [name](const QByteArray &bytes) {
            out(name + QStringLiteral(" tcp -> ") + QString::number(bytes.size()) + QStringLiteral(" bytes: ")
                + hexPreview(bytes));
        });
        QObject::connect(&server, &SimUnitServer::addressChanged, &app,
                         [name](const QString &to) { out(name + QStringLiteral(" address now ") + to); });
        QObject::connect(&server, &SimUnitServer::addressChangeFailed, &app,
                         [name](const QString &why) { out(name + QStringLiteral(" address change failed: ") + why); });
        SimTelnetServer &telnet = server.telnet();
        QObject::connect(&telnet, &SimTelnetServer::clientConnected, &app, [name](const QString &peer, quint16 peerPort) {
            out(name + QStringLiteral(" telnet connected ") + peer + QLatin1Char(':') + QString::number(peerPort));
        });
        QObject::connect(&telnet, &SimTelnetServer::loggedIn, &app,
                         [name] { out(name + QStringLiteral(" telnet login")); });
        QObject::connect(&telnet, &SimTelnetServer::loginRefused, &app,
                         [name] { out(name + QStringLiteral(" telnet login refused")); });
        QObject::connect(&telnet, &SimTelnetServer::commandReceived, &app, [name](const QByteArray &command) {
            out(name + QStringLiteral(" telnet command ") + QString::fromLatin1(command));
        });
        QObject::connect(&server, &SimUnitServer::wentDown, &app, [name] { out(name + QStringLiteral(" rebooting")); });
        QObject::connect(&server, &SimUnitServer::restarted, &app, [name] { out(name + QStringLiteral(" back")); });
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return fail(QStringLiteral("cannot set up signal handling"));
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [] {
        char c = 0;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &c, 1);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    if (runSeconds > 0)
        QTimer::singleShot(runSeconds * 1000, &app, &QCoreApplication::quit);

    const int rc = QCoreApplication::exec();
    fleet.stop();
    out(QStringLiteral("stopped"));
    return rc;
}
