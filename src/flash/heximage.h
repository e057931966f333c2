#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vork {

// One Intel HEX record's verdict: the lines go to the unit as written, so every
// record is checked before the file is taken.
struct HexRecordCheck
{
    enum Kind {
        Good,
        Syntax,   // not a record at all: the file is refused
        Checksum, // a record whose checksum byte does not match: the operator may go on
    };
    Kind kind = Good;
    QString reason;       // what is wrong, for the message
    int recordType = -1;  // the type byte when the syntax is good
};

// Checks one line (without its line end) as an Intel HEX record: the colon, hex
// digits only, a length field that matches, a known type with its length, and the checksum.
HexRecordCheck checkHexRecord(const QString &line);

// What a file's verification found: the first bad line (1-based), if any.
struct HexFileCheck
{
    HexRecordCheck::Kind kind = HexRecordCheck::Good;
    int line = 0;
    QString reason;

    bool good() const { return kind == HexRecordCheck::Good; }
};

// Splits a file's bytes into lines as written (CR LF, LF or CR alone ends a line; the
// empty remainder after the last line end is no line). A UTF-8 byte-order mark is skipped.
QStringList hexLines(const QByteArray &bytes);

// A syntax problem anywhere wins over a checksum mismatch, so the operator is only asked
// about a file that would otherwise go whole. The file must end with the end-of-file
// record and hold nothing after it.
HexFileCheck checkHexLines(const QStringList &lines);

// The texts for a refused or questioned file.
QString hexRefusalText(const QString &path, const HexFileCheck &check);
QString hexChecksumQuestion(const QString &path, const HexFileCheck &check);

// The largest file taken: far beyond any unit's flash, small enough to hold twice.
constexpr qint64 maxHexFileBytes = 32 * 1024 * 1024;

// A HEX file's bytes, or why there are none: only a regular file (a pipe or a device
// would be read for ever) of at most maxHexFileBytes, named in the reason.
struct HexFileRead
{
    bool ok = false;
    QByteArray bytes;
    QString error; // "Cannot load <path>: ..."
};
HexFileRead readHexFile(const QString &path);

// The length a line is padded to before it goes out: a record of 64 data bytes.
constexpr int flashLineLength = 139;
// The line as sent: padded on the right with '*' to 139 characters; longer lines unchanged.
QByteArray paddedFlashLine(const QString &line);

} // namespace vork
