#pragma once

#include "unit/records.h"

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QString>

#include <array>
#include <cstdint>

namespace vork::sim {

// Ways a simulated unit misbehaves when it answers a discovery query.
// Several may be on at once: silence wins, then garbage; short and oversized
// reshape the announcement; the duplicate and the delay apply to whatever is sent.
struct SimFaults
{
    int shortLength = 0;    // 1..129: send only this many bytes of the announcement
    int oversizeLength = 0; // above 130: the announcement followed by garbage up to this length
    int garbageLength = 0;  // above 0: random bytes of this length instead of the announcement
    bool duplicate = false; // answer every query twice, the second time with duplicateMac
    QString duplicateMac;   // empty: derived from the unit's own MAC
    int delayMs = 0;        // wait this long before answering
    bool silent = false;    // never answer

    bool any() const
    {
        return shortLength > 0 || oversizeLength > 0 || garbageLength > 0 || duplicate || delayMs > 0 || silent;
    }
};

// Largest payload of one UDP datagram over IPv4.
constexpr int maxDatagramSize = 65507;

// Identity of one simulated unit: what its announcement tells.
struct SimUnit
{
    QString description;
    std::array<std::uint8_t, 3> version{5, 0, 1};
    std::array<std::uint8_t, 4> build{7, 3, 20, 19}; // day, month, century, year within century
    std::uint8_t readers = 1;
    std::uint8_t model = 8;
    std::uint8_t ncp = 1;
    QString mac;                                   // 12 hex characters
    QString bootLoader = QStringLiteral("1.05");  // up to 4 characters; empty = not reported
    std::uint8_t flashMfg = 0x1F;
    std::uint8_t flashType = 0x47;
    std::uint16_t caddr = 0;
    std::uint16_t naddr = 0;
    std::uint8_t cons = 0;
    std::uint8_t cpuIdle = 90;
    std::uint32_t runTime = 0; // seconds already run when the simulator starts
    std::array<std::uint8_t, 3> zosv{1, 0, 0};
    std::uint8_t bla = 0;
    std::uint8_t blb = 0;
    QHostAddress address;
    qint64 clockOffsetMs = 0; // unit clock = PC clock + offset
    bool oldFirmware = false; // answers with the first 109 bytes only
    SimFaults faults;

    // The announcement's record for a unit whose clock reads clock and that has run runTimeNow seconds.
    udppack record(const QDateTime &clock, std::uint32_t runTimeNow) const;
    // One line for the start-up listing.
    QString summary() const;
};

// "0050C2" followed by the low three bytes of the address: distinct addresses give distinct MACs.
QString macForAddress(const QHostAddress &address);
// A MAC that differs from mac (used for the duplicate answer).
QString otherMac(const QString &mac);
// True for exactly 12 hexadecimal characters.
bool isValidMac(const QString &mac);

// The demo fleet's identities: a mix of models, versions and reader counts.
// Unit index gets the profile index % profile count and the address base + index.
SimUnit demoUnit(int index, const QHostAddress &address);

} // namespace vork::sim
