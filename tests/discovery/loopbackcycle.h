#pragma once

#include "core/boundedwait.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "recordingoperator.h"
#include "services/unitservices.h"
#include "simfleet.h"
#include "unit/unittable.h"

#include <QHostAddress>


// A discovery cycle whose queries go to simulated units on loopback, one
// query per unit, never to the broadcast address.
class LoopbackCycle
{
public:
    explicit LoopbackCycle(int timeOutMs)
    {
        transport->setLocalIP(QStringLiteral("127.0.0.1"));
        transport->setLocalPort(0);
        transport->setTimeOut(timeOutMs);
        cycle->setUseList(true);
        cycle->sendToTargets = [this](const QByteArray &query) {
            queries.append(query);
            for (const QString &t : targets) {
                transport->setBroadCastIP(t);
                transport->SendBroadCast(query);
            }
        };
    }

    void addUnit(const vork::sim::SimUnit &u)
    {
        fleet.add(u);
        targets.append(u.address.toString());
    }
    bool startFleet()
    {
        QString error;
        const bool ok = fleet.start({}, &error);
        if (!ok)
            qWarning("%s", qPrintable(error));
        return ok;
    }
    // One whole cycle; false when the window never ended.
    bool run()
    {
        if (!cycle->start())
            return false;
        return vork::wait::until([this] { return !cycle->collecting(); }, 5000);
    }

    vork::RecordingOperator op;
    vork::sim::SimFleet fleet;
    QStringList targets;
    QList<QByteArray> queries;
    vork::UnitServices services{op};
    vork::TBroadcast *transport = &services.transport();
    vork::UnitTable *units = &services.units();
    vork::DiscoveryCycle *cycle = &services.cycle();
};
