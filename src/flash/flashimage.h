#pragma once

#include "flash/buildinfo.h"

#include <QString>
#include <QStringList>

namespace vork {

class Operator;

// The image of a flash run, held in memory from the moment it was opened and
// checked: every unit of a run gets these lines (with an inserted offset record),
// never what may be on disk by then.
struct FlashImage
{
    QString path;      // the open file
    QStringList lines; // as written, without line ends; sent unchanged
    BuildSearch build; // build.found is the build-data flag

    bool isEmpty() const { return lines.isEmpty(); }
    int lineCount() const { return int(lines.size()); }
    bool buildData() const { return build.found; }
    // The open file's name without its directory.
    QString fileName() const;
};

// How opening a file ended.
enum class ImageOpen {
    Loaded,
    Unreadable,    // could not be read, or too large
    Refused,       // a record that is no Intel HEX record
    Declined,      // a checksum mismatch and the operator did not go on
    BadBuildBlock, // a build block byte that is not decimal
};

struct ImageOpenResult
{
    ImageOpen status = ImageOpen::Unreadable;
    FlashImage image;   // filled when Loaded
    QString message;    // why it was not loaded
    QStringList notes;  // the image view's lines about the search ("Build data found"...)
};

// Reads path, verifies every record, searches for the build block; messages and the
// checksum question go through op, and the operator's choice is logged.
ImageOpenResult openImage(const QString &path, Operator &op);
// The same over bytes already read (tests, fuzzing); path only names the file in texts.
ImageOpenResult openImageBytes(const QString &path, const QByteArray &bytes, Operator &op);

} // namespace vork
