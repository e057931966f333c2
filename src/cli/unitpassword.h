#pragma once

#include <QString>

class QCommandLineParser;

namespace vork {
class setuppack;
}

namespace vork::cli {

class UnitSession;

// --password-file FILE: the unit's setup password for a download to a protected unit.
void addPasswordFileOption(QCommandLineParser &p);
// --show-password: print pw as it is.
void addShowPasswordOption(QCommandLineParser &p);
bool showPassword(const QCommandLineParser &p);
// pw as printed: masked unless asked for.
QString shownPassword(const QString &pw, bool show);

// Whether the unit's own record lets a download go: at once without protection;
// with it, only with its password from --password-file or typed at a terminal
// without echo. exitOk, or the status with the reason printed; nothing is sent.
int unitPasswordAllowed(UnitSession &s, const QCommandLineParser &p, const setuppack &unitRecord);

} // namespace vork::cli
