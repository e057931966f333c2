#pragma once

#include "unit/eventrecord.h"

#include <QString>
#include <QStringList>

namespace vork {

// The history grid's columns, left to right.
enum class HistoryColumn : int { Record = 0, Reader, Type, Value, TimeStamp, DateStamp, AlarmData };
constexpr int historyColumnCount = 7;

// What a cell's text depends on besides the record.
struct HistoryCellContext
{
    bool readerAddress = false; // readers shown as the unit's address plus the index
    int readerBase = 0;         // the unit's naddr
    bool readerBaseKnown = true; // false without a unit: address-mode reader cells stay empty
    int versionNumber = 0;      // decides the alarm texts (5.0.1 is 501)
    AlarmDetailReading reading = AlarmDetailReading::Standard;
    bool exporting = false;     // errors as their bare code
};

// "Rec", "Rdr" (or "Rdr i" in index mode), "Type", "Value", "Time Stamp", "Date Stamp", "Alarm Data".
QStringList historyHeaderCells(bool readerAddress = false);

// "hh:mm:ss AM/PM", or "Bad Time".
QString historyTimeText(const DataPack &pack);
// "mm/dd/yyyy", or "Bad Date".
QString historyDateText(const DataPack &pack);
// The ten payload bytes, lower-case hex, single blanks between.
QString historyDataText(const DataPack &pack);

// The text of one cell; `row` is the grid's 1-based row number. Kinds 0 and above 5 give empty cells.
QString historyCellText(const DataPack &pack, int row, HistoryColumn column, const HistoryCellContext &context);
// The seven cell texts joined by ",", as the search and the found-rows list write a row.
QString historyRowText(const DataPack &pack, int row, const HistoryCellContext &context);

} // namespace vork
