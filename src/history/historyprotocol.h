#pragma once

#include "unit/eventrecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>

#include <cstdint>
#include <optional>

namespace vork {

// The record kinds the page's boxes tick, as the request's flag bits carry them.
struct HistoryKinds
{
    bool errors = true;
    bool labels = true;
    bool diagnostics = true;
    bool alarms = true;
    bool boot = true; // adds no bit of its own to a first request

    bool any() const { return errors || labels || diagnostics || alarms || boot; }
    bool operator==(const HistoryKinds &) const = default;
};

namespace historyflag {
constexpr std::uint8_t errors = 0x01;
constexpr std::uint8_t labels = 0x02;
constexpr std::uint8_t diagnostics = 0x04;
constexpr std::uint8_t alarms = 0x08;
constexpr std::uint8_t nextOld = 0x10; // a Next request to a unit below 5.0.3
constexpr std::uint8_t nextNew = 0x30; // a Next request to a unit of 5.0.3 or above
constexpr std::uint8_t boot = 0x20;    // inside nextNew: the unit then sends boot records as well
constexpr std::uint8_t killReaders = 0x40;
constexpr std::uint8_t multiRecord = 0x80;
} // namespace historyflag

// Readers byte: 0-7 one reader, 8 all of them.
constexpr std::uint8_t allReaders = 8;
// The version from which a Next request carries 0x30 instead of 0x10.
constexpr int nextNewFromVersion = 503;

// One history request as it goes on the wire.
struct HistoryRequest
{
    HistoryKinds kinds;
    bool next = false;
    bool nextNewStyle = false; // the unit (or the manual unit record) is 5.0.3 or above
    bool killReaders = false;
    bool multiRecord = true;
    std::uint16_t wanted = 17;   // records, low 16 bits of what was typed
    std::uint8_t reader = allReaders;
    std::optional<QDateTime> start; // records from this moment and older
};

std::uint8_t historyFlags(const HistoryRequest &request);
// Four bytes, or ten with the start date.
QByteArray historyRequestBytes(const HistoryRequest &request);

// The multi-record reply after its type byte: a count, then count records.
constexpr int historyPacketKept = 25;   // what the unit's packet may hold; more is read, not kept
constexpr int historyBlockMax = 1 + 255 * DataPack::size;

// Bytes of the whole block once its count byte is known; 0 while it is not.
int historyBlockSize(QByteArrayView soFar);

struct HistoryPacket
{
    int announced = 0;      // the count byte
    QList<DataPack> kept;   // the first records, at most historyPacketKept
    bool complete = false;  // every announced record was there
};

// Reads a block as historyBlockSize framed it; a short block keeps the whole records it holds.
HistoryPacket parseHistoryPacket(QByteArrayView block);

} // namespace vork
