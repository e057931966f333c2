#pragma once

#include "core/boundedwait.h"
#include "discovery/broadcast.h"
#include "discovery/discoverycycle.h"
#include "recordingoperator.h"
#include "simfleet.h"
#include "unit/unittable.h"

#include <QHostAddress>

#include <memory>

// A discovery cycle whose queries go to simulated units on loopback, one
// query per unit, never to the broadcast address.
class LoopbackCycle
{
public:
    explicit LoopbackCycle(int timeOutMs)
    {
        using namespace vork;
        transport = std::make_unique<TBroadcast>(op);
        transport->setLocalIP(QStringLiteral("127.0.0.1"));
        transport->setLocalPort(0);
        transport->setTimeOut(timeOutMs);
        units = std::make_unique<UnitTable>(op);
        cycle = std::make_unique<DiscoveryCycle>(op, *transport, *units);
        transport->setOnDataReceived(
            [this](const QByteArray &b, int n, const QString &from) { cycle->dataReceived(b, n, from); });
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
    std::unique_ptr<vork::TBroadcast> transport;
    std::unique_ptr<vork::UnitTable> units;
    std::unique_ptr<vork::DiscoveryCycle> cycle;
};
