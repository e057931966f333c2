#pragma once

// A unit on a scripted loopback peer, reached through the unit services.
#include "connection/commandreplies.h"
#include "connection/connectionmanager.h"
#include "connection/unitcommands.h"
#include "core/boundedwait.h"
#include "core/pinger.h"
#include "recordingoperator.h"
#include "services/unitservices.h"
#include "setup/setupreply.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QDateTime>

#include <functional>
#include <memory>

namespace vork::test {

inline udppack unitRecord(int version, int model = 0)
{
    udppack u;
    u.ver.vnum = {static_cast<std::uint8_t>(version / 100), static_cast<std::uint8_t>(version / 10 % 10),
                  static_cast<std::uint8_t>(version % 10)};
    u.vnumber = QStringLiteral("%1.%2.%3").arg(version / 100).arg(version / 10 % 10).arg(version % 10);
    u.model = static_cast<std::uint8_t>(model);
    u.mac = QStringLiteral("0050C2AABB01");
    u.desc = QStringLiteral("Test unit");
    return u;
}

// Answers the reachability check from a script.
class ScriptedPinger : public Pinger
{
public:
    explicit ScriptedPinger(std::function<bool()> answer) : m_answer(std::move(answer)) {}
    bool ping(const QString &, int, bool) override { return m_answer(); }

private:
    std::function<bool()> m_answer;
};

// The unit services with one unit at address, current, whose ping answers
// from the given attempt on (0 = never), and what its replies delivered.
struct Fixture
{
    explicit Fixture(const QString &addr, int version = 316, int model = 0, int answerFromAttempt = 1)
        : services(op), units(services.units()), manager(&services.connections()),
          setup(op, services.connections().replies()), address(addr)
    {
        services.setPinger(std::make_unique<ScriptedPinger>([this, answerFromAttempt] {
            ++pings;
            return answerFromAttempt > 0 && pings >= answerFromAttempt;
        }));
        units.enterAnnouncement(unitRecord(version, model), addr);
        units.setCurrent(&units.unit(0));
        QObject::connect(&setup, &SetupReply::received, &setup, [this](const QByteArray &record, int n) {
            setupRecord = record;
            setupLength = n;
        });
        QObject::connect(&services.replies(), &CommandReplies::clockReceived, &setup,
                         [this](const QDateTime &t) { clock = t; });
    }
    udppack &unit() { return units.unit(0); }
    UnitCommands &commands() { return services.commands(); }
    QTcpSocket *socket() { return manager->socket(unit()); }
    bool connectNow(int timeoutMs = 5) { return manager->Connect_or_timeout(timeoutMs); }
    bool logged(const QString &line) const { return op.logs.contains(line); }
    bool waitLogged(const QString &line, int ms = 2000)
    {
        return wait::until([&] { return op.logs.contains(line); }, ms);
    }

    RecordingOperator op;
    UnitServices services;
    UnitTable &units;
    ConnectionManager *manager;
    SetupReply setup;
    QString address;
    int pings = 0;
    QByteArray setupRecord;
    int setupLength = 0;
    QDateTime clock;
};

inline QByteArray block(char type, const QByteArray &body)
{
    return QByteArray(1, type) + body;
}

inline QByteArray clockBytes(int sec, int min, int hrs, int day, int dow, int mon, int year, int cent)
{
    QByteArray b;
    for (int v : {sec, min, hrs, day, dow, mon, year, cent})
        b.append(static_cast<char>(v));
    return b;
}

} // namespace vork::test
