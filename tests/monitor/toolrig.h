#pragma once

// Simulated units in the fleet and the table, with a monitor session that puts
// them into monitor mode, for the monitor page's tools.
#include "core/pinger.h"
#include "monitor/monitorsession.h"
#include "recordingoperator.h"
#include "services/unitservices.h"
#include "simcommandserver.h"
#include "simfleet.h"
#include "simmonitorhandler.h"
#include "unit/eventrecord.h"
#include "unit/unittable.h"

#include <QDateTime>

namespace monitorrig {

class Reachable : public vork::Pinger
{
public:
    bool ping(const QString &, int, bool) override { return true; }
};

// A unit without login on 127.0.N.(n + 2), no live records unless asked for.
inline vork::sim::SimUnit unit(int net, int n, int readers)
{
    vork::sim::SimUnit u =
        vork::sim::demoUnit(n, QHostAddress(QStringLiteral("127.0.%1.%2").arg(net).arg(n + 2)));
    u.version = {3, 0, 0};
    u.model = 0;
    u.readers = static_cast<std::uint8_t>(readers);
    u.monitor.intervalMs = 600000;
    return u;
}

// A live label record of a reader, as a unit sends it.
inline QByteArray labelRecord(int reader, int label)
{
    vork::DataPack p;
    p.typ = std::uint8_t(vork::DataPackKind::Label);
    p.rdr = static_cast<std::uint8_t>(reader);
    p.month = 5, p.day = 4, p.cent = 20, p.year = 26, p.hr = 10;
    p.data[0] = static_cast<std::uint8_t>(label & 0xFF);
    p.data[1] = static_cast<std::uint8_t>(label >> 8);
    return QByteArray("M") + vork::encodeDataPack(p);
}

struct Rig
{
    Rig() : services(op), session(services) { services.setPinger(std::make_unique<Reachable>()); }
    bool start(const QList<vork::sim::SimUnit> &units)
    {
        for (const vork::sim::SimUnit &u : units)
            fleet.add(u);
        QString error;
        if (!fleet.start({}, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        for (const vork::sim::SimUnit &u : units) {
            const int i = services.units().enterAnnouncement(u.record(QDateTime::currentDateTime(), 0),
                                                           u.address.toString());
            services.units().unit(i).selected = true;
        }
        return session.monitorOn() == units.size();
    }
    vork::sim::SimCommandServer &tcp(int i) { return fleet.server(i).tcp(); }
    vork::udppack &unit(const QString &ip) { return services.units().unit(services.units().findByIP(ip)); }
    // What the unit received after monitor mode went on.
    QByteArray afterMonitor(int i)
    {
        const QByteArray got = tcp(i).received();
        const qsizetype m = got.indexOf('M');
        return m < 0 ? QByteArray() : got.mid(m + 1);
    }

    vork::RecordingOperator op;
    vork::UnitServices services;
    vork::MonitorSession session;
    vork::sim::SimFleet fleet;
};

} // namespace monitorrig
