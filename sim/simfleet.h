#pragma once

#include "simunit.h"
#include "simunitserver.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace vork::sim {

// A dotted-quad IPv4 address (four numbers 0-255), else a null address.
// Shorthands such as "10.0.0" are refused: they are typing mistakes here.
QHostAddress parseIPv4(const QString &text);

// The address index steps past base, or a null address when that leaves IPv4.
QHostAddress addressAt(const QHostAddress &base, int index);

// count demo units on base, base + 1, ...; false with a reason when the addresses run out.
bool demoFleet(int count, const QHostAddress &base, QList<SimUnit> &units, QString *error);

// Every simulated unit of one simulator, each with its own server.
class SimFleet : public QObject
{
    Q_OBJECT
public:
    explicit SimFleet(QObject *parent = nullptr);
    ~SimFleet() override;

    void add(const SimUnit &unit);
    // Starts every unit; on the first failure stops the ones started and gives the reason.
    bool start(const SimUnitServer::Options &options, QString *error = nullptr);
    void stop();

    int size() const { return static_cast<int>(m_servers.size()); }
    SimUnitServer &server(int index) { return *m_servers.at(static_cast<std::size_t>(index)); }
    const SimUnitServer &server(int index) const { return *m_servers.at(static_cast<std::size_t>(index)); }

private:
    std::vector<std::unique_ptr<SimUnitServer>> m_servers;
};

} // namespace vork::sim
