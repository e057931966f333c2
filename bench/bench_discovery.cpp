// 100 simulated units answer one discovery cycle: how many are found within the
// 500 ms window, and what the receive path costs per announcement.
#include "core/boundedwait.h"
#include "cli/consoleoperator.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "simfleet.h"
#include "unit/unittable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

using namespace vork;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int unitCount = 100;
    const int rounds = argc > 1 ? qBound(1, QString::fromLocal8Bit(argv[1]).toInt(), 100) : 5;

    QList<sim::SimUnit> units;
    QString error;
    if (!sim::demoFleet(unitCount, QHostAddress(QStringLiteral("127.0.4.1")), units, &error)) {
        out << "cannot make the fleet: " << error << Qt::endl;
        return 2;
    }
    sim::SimFleet fleet;
    QStringList targets;
    for (const sim::SimUnit &u : units) {
        fleet.add(u);
        targets << u.address.toString();
    }
    if (!fleet.start({}, &error)) {
        out << "cannot start the fleet: " << error << Qt::endl;
        return 2;
    }

    ConsoleOperator op;
    op.quiet = true;
    TBroadcast transport(op);
    transport.setLocalIP(QStringLiteral("127.0.0.1"));
    transport.setLocalPort(0);
    transport.setTimeOut(500);
    UnitTable table(op);
    DiscoveryCycle cycle(op, transport, table);
    cycle.setUseList(true);
    cycle.sendToTargets = [&](const QByteArray &query) {
        for (const QString &t : targets) {
            transport.setBroadCastIP(t);
            transport.SendBroadCast(query);
        }
    };

    qint64 handlerNs = 0;
    int handled = 0;
    transport.setOnDataReceived([&](const QByteArray &b, int n, const QString &from) {
        QElapsedTimer t;
        t.start();
        cycle.dataReceived(b, n, from);
        handlerNs += t.nsecsElapsed();
        ++handled;
    });

    int worst = unitCount;
    for (int r = 0; r < rounds; ++r) {
        handlerNs = 0;
        handled = 0;
        QElapsedTimer cycleTime;
        cycleTime.start();
        cycle.start();
        wait::until([&] { return !cycle.collecting(); }, 5000);
        worst = qMin(worst, table.count());
        out << "round " << r + 1 << ": found " << table.count() << "/" << unitCount << " in a "
            << transport.TimeOut() << " ms window (cycle " << cycleTime.elapsed() << " ms); receive path "
            << (handled ? handlerNs / handled / 1000.0 : 0.0) << " us per announcement over " << handled
            << " datagrams" << Qt::endl;
    }
    out << (worst == unitCount ? "all units found in every round" : "SOME UNITS MISSED") << Qt::endl;
    return worst == unitCount ? 0 : 1;
}
