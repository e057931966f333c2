#pragma once

#include <QString>

namespace vork::cli {

// Text that came from a unit, made safe for a terminal and for one-line-per-unit
// output: control characters, DEL and anything else not printable become \xNN
// (\x{NNNN} above U+00FF), and a backslash becomes \\ so an escape stays unambiguous.
QString escaped(const QString &text);
// The same, but line breaks stay: for messages and log lines that span lines.
QString escapedKeepingLines(const QString &text);

} // namespace vork::cli
