#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

namespace vork::cli {

// Text that came from a unit, made safe for a terminal and for one-line-per-unit
// output: control characters, DEL and anything else not printable become \xNN
// (\x{NNNN} above U+00FF), and a backslash becomes \\ so an escape stays unambiguous.
QString escaped(const QString &text);
// The same, but line breaks stay: for messages and log lines that span lines.
QString escapedKeepingLines(const QString &text);
// A JSON document as the tool prints it: what escaped() escapes beyond the C0 controls
// (DEL, the C1 controls 0x80-0x9F, line and paragraph separators) as \u escapes too.
QByteArray jsonText(const QJsonDocument &document, QJsonDocument::JsonFormat format = QJsonDocument::Compact);

} // namespace vork::cli
