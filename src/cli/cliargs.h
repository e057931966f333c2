#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace vork::cli {

// Parses "vork NAME args" (the parser has its options and addHelpOption already).
// Returns -1 to go on; otherwise the exit status, with the help printed on stdout
// (--help, --help-all) or the parse error on stderr.
int parseCommand(QCommandLineParser &p, const QString &name, const QStringList &args);
// The parser's help with the usage line naming the command, then the exit statuses.
QString commandHelp(const QCommandLineParser &p, const QString &name);

// 255.255.255.255, or the broadcast address of a network on a local interface.
bool isBroadcastAddress(std::uint32_t address);
// Why text cannot name one unit; empty when it can.
QString unitAddressProblem(const QString &text);

} // namespace vork::cli
