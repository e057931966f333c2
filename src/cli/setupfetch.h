#pragma once

#include <QByteArray>
#include <QJsonObject>

namespace vork {
class setuppack;
}

namespace vork::cli {

class UnitSession;

// Puts the connected unit into setup mode and reads its record; exitOk or the
// status to return (the reason printed). entered: setup mode was taken, so the
// unit stays in it until leaveSetup().
int fetchSetup(UnitSession &s, QByteArray &bytes, int &length, bool &entered);
// Takes the unit out of setup mode; a failure there counts only when status is exitOk.
int leaveSetup(UnitSession &s, int status);
// The fields a record of this length from a unit of this version holds, and length;
// pw masked unless showPw.
QJsonObject setupJson(const setuppack &record, int length, int version, bool showPw);

} // namespace vork::cli
