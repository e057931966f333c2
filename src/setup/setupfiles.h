#pragma once

#include "setup/setuprecord.h"

#include <QByteArray>
#include <QString>

namespace vork {

struct udppack;

// Configuration files (".vork"): the first bytes of a setup record, nothing
// else; and the text import of a hexadecimal dump of one.
namespace setupfiles {

constexpr const char *configFolder = "Vork Configuration Files";
constexpr const char *historyFolder = "Vork History Files";

// What reading a file gave: on failure the record passed in stays as it was.
struct ReadResult
{
    bool ok = false;
    QString error;      // the reason, for the operator
    setuppack record;   // the record with the file's bytes in it
    int length = 0;     // bytes the file gave: the received length
};

// A unit counts as standard when its setup says so (5.0.0 on) or, before, its model is even.
bool isStandardUnit(const udppack &unit, const setuppack &record);
// "C" + MAC (12 hex) + ".v" + three version digits + "s"/"e" + ".vork".
QString defaultName(const udppack &unit, const setuppack &record);
// The 12 characters from "0050C2" on when the name holds them, else empty.
QString macFromFileName(const QString &fileName);
// Bytes a file for a unit of this version holds; the PLC address is never stored.
int fileLength(int versionNumber);
// With no unit: the length the shown record had, within what a file may hold.
int fileLengthWithoutUnit(int receivedLength);

// The named folder beside the program; created when asked; the program's folder when it cannot be had.
QString defaultDirectory(const QString &programDir, const char *folder, bool create);

// Reads a configuration file or, for a name containing ".txt", a text dump.
// A binary file's bytes go over the record passed in (at most 243; the rest keep theirs).
ReadResult read(const QString &path, const setuppack &current);
// The text import of a dump; bytes the dump lacks are 0.
ReadResult importText(const QByteArray &text);
// Writes the first length bytes of the record; false with the reason on any failure.
bool write(const QString &path, const setuppack &record, int length, QString *error);

// The "Configuration Data" block of a history export, lines ending in CR LF.
QByteArray configurationBlock(const setuppack &record);
QString configurationTitle();

} // namespace setupfiles
} // namespace vork
