#pragma once

// Simulated units on loopback, entered in a unit table and selected, with a
// monitor session over them.
#include "core/pinger.h"
#include "monitor/monitorpagecontroller.h"
#include "recordingoperator.h"
#include "services/unitservices.h"
#include "simcommandserver.h"
#include "simfleet.h"
#include "simmonitorhandler.h"
#include "unit/unittable.h"

#include <QDateTime>

namespace vork::test {

class Reachable : public Pinger
{
public:
    bool ping(const QString &, int, bool) override { return true; }
};

// Unit n on 127.0.<net>.<n + 2>: each test program keeps to its own net.
inline sim::SimUnit monitorUnit(int n, int readers, int net = 17)
{
    sim::SimUnit u = sim::demoUnit(n, QHostAddress(QStringLiteral("127.0.%1.%2").arg(net).arg(n + 2)));
    u.version = {3, 0, 0}; // no login
    u.model = 0;
    u.readers = static_cast<std::uint8_t>(readers);
    u.monitor.intervalMs = 20;
    u.monitor.burst = 4;
    return u;
}

struct Rig
{
    Rig() : services(op), controller(services), session(controller.session())
    {
        services.setPinger(std::make_unique<Reachable>());
    }
    // The units in the fleet (started) and in the table; listed are in the table only.
    bool start(const QList<sim::SimUnit> &running, const QList<sim::SimUnit> &listedOnly = {})
    {
        for (const sim::SimUnit &u : running)
            fleet.add(u);
        QString error;
        if (!running.isEmpty() && !fleet.start({}, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        // Monitor mode is for the selected units (and the connected one).
        for (const sim::SimUnit &u : running + listedOnly) {
            const int i = services.units().enterAnnouncement(u.record(QDateTime::currentDateTime(), 0),
                                                           u.address.toString());
            services.units().unit(i).selected = true;
        }
        return true;
    }
    sim::SimMonitorHandler *monitorOf(int i) { return fleet.server(i).tcp().findChild<sim::SimMonitorHandler *>(); }
    udppack &unit(const QString &ip) { return services.units().unit(services.units().findByIP(ip)); }
    // The active list's addresses, in the order monitor mode walks them.
    QStringList activeOrder()
    {
        QStringList out;
        for (int i = 0; i < services.units().activeCount(); ++i)
            out << services.units().active(i)->ip;
        return out;
    }

    RecordingOperator op;
    UnitServices services;
    MonitorPageController controller;
    MonitorSession &session;
    sim::SimFleet fleet;
};

} // namespace vork::test
