#pragma once

#include <QStringList>

namespace vork::cli {

// Each command takes its own arguments (without the command word) and returns the exit status.
int discover(const QStringList &args);
int ping(const QStringList &args);

} // namespace vork::cli
