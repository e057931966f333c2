// Live records from 8 simulated units of 8 readers each into the MONITOR page,
// offscreen, for a while: records sent and shown, the worst event-loop stall and
// memory. The units run in a thread of their own, so the stall measured is the
// program's alone. Usage: bench_monitor [seconds] [records per reader per second] [session]
// ("session": the monitor session without the page, to tell the two apart).
#include "cli/consoleoperator.h"
#include "core/pinger.h"
#include "core/settings.h"
#include "monitor/monitorpagecontroller.h"
#include "monitor/ui/monitorpage.h"
#include "monitor/ui/monitorscrollgrid.h"
#include "monitor/ui/monitorscrollmodel.h"
#include "services/unitservices.h"
#include "simcommandserver.h"
#include "simfleet.h"
#include "simmonitorhandler.h"
#include "unit/unittable.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <atomic>

using namespace vork;

namespace {

constexpr int unitCount = 8;
constexpr int readers = 8;
constexpr int tickMs = 5;

class Reachable : public Pinger
{
public:
    bool ping(const QString &, int, bool) override { return true; }
};

// Kilobytes of a /proc/self/status line ("VmRSS", "VmHWM").
long statusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray want = QByteArray(key) + ':';
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(want))
            return line.mid(want.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

sim::SimUnit benchUnit(int n, int perReaderPerSecond)
{
    sim::SimUnit u = sim::demoUnit(n, QHostAddress(QStringLiteral("127.0.13.%1").arg(n + 2)));
    u.version = {3, 0, 0}; // no login
    u.model = 0;
    u.readers = readers;
    // One burst of one record per reader every interval.
    u.monitor.burst = readers;
    u.monitor.intervalMs = qMax(10, 1000 / qMax(1, perReaderPerSecond));
    return u;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const int seconds = argc > 1 ? qBound(1, QString::fromLocal8Bit(argv[1]).toInt(), 3600) : 30;
    const int rate = argc > 2 ? qBound(1, QString::fromLocal8Bit(argv[2]).toInt(), 100) : 50;
    const bool withPage = !(argc > 3 && QByteArray(argv[3]) == "session");

    QList<sim::SimUnit> units;
    for (int n = 0; n < unitCount; ++n)
        units << benchUnit(n, rate);

    // The units, in their own thread.
    QThread simThread;
    sim::SimFleet *fleet = nullptr;
    std::atomic<bool> started{false};
    QString error;
    QObject inSim; // runs calls in the units' thread
    inSim.moveToThread(&simThread);
    simThread.start();
    QMetaObject::invokeMethod(
        &inSim,
        [&] {
            fleet = new sim::SimFleet;
            for (const sim::SimUnit &u : units)
                fleet->add(u);
            started = fleet->start({}, &error);
        },
        Qt::BlockingQueuedConnection);
    if (!started) {
        out << "cannot start the units: " << error << Qt::endl;
        simThread.quit();
        simThread.wait();
        return 2;
    }

    ConsoleOperator op;
    op.quiet = true;
    UnitServices services(op);
    services.setPinger(std::make_unique<Reachable>());
    for (const sim::SimUnit &u : units) {
        const int i = services.units().enterAnnouncement(u.record(QDateTime::currentDateTime(), 0), u.address.toString());
        services.units().unit(i).selected = true;
    }
    QTemporaryDir dir;
    Settings settings;
    settings.monType = 2; // the scrolling view in front
    SettingsFile file(op, dir.filePath(QStringLiteral("Vork.ini")));
    MonitorPageController controller(services);
    MonitorSession &session = controller.session();
    std::unique_ptr<MonitorPage> page;
    if (withPage) {
        page = std::make_unique<MonitorPage>(services, controller, settings, file);
        page->resize(1000, 640);
        page->show();
    }

    const int monitored = session.monitorOn();
    out << "units monitored: " << monitored << " of " << unitCount << ", " << readers << " readers each, " << rate
        << " records per reader per second (asked)" << Qt::endl;

    // The worst gap between ticks of a short timer is the worst stall.
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.elapsed();
    qint64 worst = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        worst = qMax(worst, now - last - tickMs);
        last = now;
    });
    tick.start(tickMs);
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        out << "  " << clock.elapsed() / 1000 << " s: rows " << session.rows().size() << ", received "
            << session.rowCounter() << ", RSS " << statusKb("VmRSS") << " kB" << Qt::endl;
    });
    sample.start(5000);
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    tick.stop();
    sample.stop();
    if (page)
        page->scrollGrid()->scrollModel().sync();

    // Records already on the way are read before the quit is acknowledged.
    session.monitorOff(Page::Discover);
    const quint32 received = session.rowCounter();
    long long sent = 0;
    QMetaObject::invokeMethod(
        &inSim,
        [&] {
            for (int i = 0; i < fleet->size(); ++i)
                if (auto *h = fleet->server(i).tcp().findChild<sim::SimMonitorHandler *>())
                    sent += h->recordsSent();
            delete fleet;
            fleet = nullptr;
        },
        Qt::BlockingQueuedConnection);
    simThread.quit();
    simThread.wait();

    out << "seconds:            " << seconds << Qt::endl;
    out << "records sent:       " << sent << Qt::endl;
    out << "records received:   " << received << " (" << qRound(received / double(seconds)) << " per second)"
        << Qt::endl;
    out << "records shown:      " << (page ? page->scrollGrid()->model()->rowCount() : 0) << " (cap "
        << MonitorSession::rowCap << ")" << Qt::endl;
    out << "records lost:       " << qMax(0LL, sent - static_cast<long long>(received))
        << Qt::endl;
    out << "worst stall:        " << worst << " ms" << Qt::endl;
    out << "peak memory (HWM):  " << statusKb("VmHWM") << " kB" << Qt::endl;
    return 0;
}
