// Round trip of one acknowledged command against a simulated unit on loopback,
// next to the raw TCP round trip of one byte measured in the same run.
#include "core/boundedwait.h"
#include "cli/consoleoperator.h"
#include "connection/connectionmanager.h"
#include "connection/unitclient.h"
#include "simfleet.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>

#include <algorithm>
#include <vector>

using namespace vork;

namespace {

struct Figures
{
    double median = 0, p95 = 0, min = 0;
};

Figures figures(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    if (us.empty())
        return {};
    return {us[us.size() / 2], us[us.size() * 95 / 100], us.front()};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int rounds = argc > 1 ? qBound(10, QString::fromLocal8Bit(argv[1]).toInt(), 100000) : 2000;

    // The unit: a 3.0.0 unit needs no login, so every byte on the wire is the command.
    sim::SimUnit unit = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.12.2")));
    unit.version = {3, 0, 0};
    unit.model = 0;
    sim::SimFleet fleet;
    fleet.add(unit);
    QString error;
    if (!fleet.start({}, &error)) {
        out << "cannot start the unit: " << error << Qt::endl;
        return 2;
    }

    ConsoleOperator op;
    op.quiet = true;
    UnitTable table(op);
    ProtocolVariant variant;
    ConnectionManager connection(op, table, variant, [](const QString &, int) { return true; });
    udppack record;
    record.ver.vnum = {3, 0, 0};
    record.mac = unit.mac;
    table.enterAnnouncement(record, QStringLiteral("127.0.12.2"));
    table.setCurrent(&table.unit(0));
    if (!connection.Connect_or_timeout(2000)) {
        out << "cannot connect" << Qt::endl;
        return 2;
    }
    QTcpSocket *socket = connection.socket(table.unit(0));

    // 'S' then 'Q' alternate, so the unit stays at command level between pairs.
    std::vector<double> command;
    QElapsedTimer t;
    for (int i = 0; i < rounds; ++i) {
        t.start();
        const bool ok = connection.WaitForAck(socket, 3, i % 2 ? Command::Quit : Command::Setup) == AckResult::Ack;
        command.push_back(t.nsecsElapsed() / 1000.0);
        if (!ok) {
            out << "no ACK at round " << i << Qt::endl;
            return 1;
        }
    }

    // Raw TCP on the same loopback: one byte out, one byte back.
    QTcpServer echo;
    echo.listen(QHostAddress(QStringLiteral("127.0.12.3")), 0);
    QTcpSocket *peer = nullptr;
    QObject::connect(&echo, &QTcpServer::newConnection, [&] {
        peer = echo.nextPendingConnection();
        QObject::connect(peer, &QTcpSocket::readyRead, [&] { peer->write(peer->readAll()); });
    });
    QTcpSocket raw;
    raw.connectToHost(echo.serverAddress(), echo.serverPort());
    wait::until([&] { return raw.state() == QAbstractSocket::ConnectedState && peer; }, 2000);
    std::vector<double> rawTrip;
    for (int i = 0; i < rounds; ++i) {
        t.start();
        raw.write("S", 1);
        wait::until([&] { return raw.bytesAvailable() > 0; }, 3000);
        raw.readAll();
        rawTrip.push_back(t.nsecsElapsed() / 1000.0);
    }

    const Figures c = figures(command);
    const Figures r = figures(rawTrip);
    out << rounds << " rounds on loopback\n"
        << "acknowledged command: median " << c.median << " us, p95 " << c.p95 << " us, min " << c.min << " us\n"
        << "raw TCP round trip:   median " << r.median << " us, p95 " << r.p95 << " us, min " << r.min << " us\n";
    return 0;
}
