#pragma once

#include "unit/eventrecord.h"

#include <QJsonObject>
#include <QString>

namespace vork::cli {

// How the command line shows an event record, decoded or live.
// "Error", "Label", ...; "Empty" for kind 0 and "Unknown(N)" for others.
QString eventKindWord(const DataPack &p);
// The kind's payload fields as name=value pairs.
QString eventFieldsText(const DataPack &p);
// One stable JSON object for a record: kind, reader, time fields, data and the decoded fields.
QJsonObject eventJson(const DataPack &p, qsizetype length, int version, AlarmDetailReading reading);

} // namespace vork::cli
