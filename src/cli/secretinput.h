#pragma once

#include <QString>

namespace vork::cli {

// Secrets never come from the command line: from the first line of a file, or typed at a
// terminal without echo.

// The first line of the regular file at path, without its line end. On failure why says
// what went wrong with it (the caller names the file).
bool secretFromFile(const QString &path, QString &secret, QString &why);
// Shows prompt on stderr and reads one line from the terminal with the echo off; false
// without a terminal or when nothing was typed before the end of input.
bool secretFromTerminal(const QString &prompt, QString &secret);

} // namespace vork::cli
