#pragma once

#include "unit/records.h"

#include <QString>

namespace vork {

// Sort choices of the discovery list, in the order the operator sees them.
enum class SortOrder : int {
    None = 0,
    IPAddress = 1,
    MACAddress = 2,
    Description = 3,
    Readers = 4,
    Model = 5,
    RunTime = 6,
    Version = 7,
};

QString sortOrderCaption(SortOrder order);

// 10.0.0.5 -> 010.000.000.005, so addresses sort as text.
QString paddedIP(const QString &ip);

// Model rank by model code and reader count (0..11); 12 for an unknown reader count.
int modelRank(const udppack &unit);

// Discovery list order: negative when a sorts before b.
int compareUnits(const udppack &a, const udppack &b, SortOrder order);

// Key of the monitor and flash lists, always compared as text.
QString activeListKey(const udppack &unit, SortOrder order);

} // namespace vork
