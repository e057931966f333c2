#pragma once

#include "unit/records.h"

#include <QString>

namespace vork {

// The discovery list's columns: headers, initial widths and the text of each cell.
namespace unitcolumns {

enum Column : int {
    Sel = 0,
    Description,
    Ver,
    BuildDate,
    IPAddress,
    MACAddress,
    Readers,
    Flash,
    Date,
    Time,
    RunTime,
    BL,
    Connect,
    Count
};

QString header(int column);
int initialWidth(int column);

// Letter after the version: ' ' before 2.5.9, else 's' standard or 'e' EtherNet/IP.
QChar versionLetter(const udppack &unit);
QString versionCell(const udppack &unit);
QString flashCell(const udppack &unit);
QString dateCell(const udppack &unit);
QString timeCell(const udppack &unit);
QString runTimeCell(std::uint32_t rt);
// Client letters for bits 1, 2, 4, then R, T, S; isCurrentAndOpen adds the 8 bit.
QString connectionLetters(const udppack &unit, bool isCurrentAndOpen);
QString connectCell(const udppack &unit, bool isCurrentAndOpen);

// Text of any column but Sel (which has none).
QString cellText(const udppack &unit, int column, bool isCurrentAndOpen = false);

} // namespace unitcolumns
} // namespace vork
