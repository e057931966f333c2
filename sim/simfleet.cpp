#include "simfleet.h"

namespace vork::sim {

QHostAddress parseIPv4(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return {};
    quint32 value = 0;
    for (const QString &part : parts) {
        bool ok = false;
        const uint n = part.toUInt(&ok, 10);
        if (!ok || part.isEmpty() || part.size() > 3 || n > 255 || !part.at(0).isDigit())
            return {};
        value = (value << 8) | n;
    }
    return QHostAddress(value);
}

QHostAddress addressAt(const QHostAddress &base, int index)
{
    if (base.protocol() != QAbstractSocket::IPv4Protocol || index < 0)
        return {};
    const quint64 value = quint64(base.toIPv4Address()) + quint64(index);
    if (value > 0xFFFFFFFFull)
        return {};
    return QHostAddress(static_cast<quint32>(value));
}

bool demoFleet(int count, const QHostAddress &base, QList<SimUnit> &units, QString *error)
{
    units.clear();
    for (int i = 0; i < count; ++i) {
        const QHostAddress address = addressAt(base, i);
        if (address.isNull()) {
            if (error)
                *error = QStringLiteral("no IPv4 address for unit ") + QString::number(i + 1)
                         + QStringLiteral(" after ") + base.toString();
            units.clear();
            return false;
        }
        units.append(demoUnit(i, address));
    }
    return true;
}

SimFleet::SimFleet(QObject *parent) : QObject(parent) {}

SimFleet::~SimFleet() = default;

void SimFleet::add(const SimUnit &unit)
{
    m_servers.push_back(std::make_unique<SimUnitServer>(unit));
}

bool SimFleet::start(const SimUnitServer::Options &options, QString *error)
{
    for (auto &server : m_servers) {
        if (!server->start(options, error)) {
            stop();
            return false;
        }
    }
    return true;
}

void SimFleet::stop()
{
    for (auto &server : m_servers)
        server->stop();
}

} // namespace vork::sim
