#include "flash/heximage.h"

#include <QFile>
#include <QFileInfo>

namespace vork {

namespace {

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

HexRecordCheck syntax(const QString &reason)
{
    return {HexRecordCheck::Syntax, reason, -1};
}

QString hex2(int v)
{
    return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

HexRecordCheck checkHexRecord(const QString &line)
{
    if (line.isEmpty())
        return syntax(QStringLiteral("empty line"));
    if (line.at(0) != QLatin1Char(':'))
        return syntax(QStringLiteral("does not start with ':'"));
    // Colon, length, address (2 bytes), type, checksum: 11 characters at least.
    if (line.size() < 11)
        return syntax(QStringLiteral("too short for a record (") + QString::number(line.size())
                      + QStringLiteral(" characters)"));
    for (qsizetype i = 1; i < line.size(); ++i) {
        if (hexValue(line.at(i)) < 0)
            return syntax(QStringLiteral("character ") + QString::number(i + 1) + QStringLiteral(" is not a hex digit"));
    }
    if ((line.size() - 1) % 2 != 0)
        return syntax(QStringLiteral("odd number of hex digits"));
    const auto byteAt = [&](qsizetype i) { return hexValue(line.at(1 + 2 * i)) * 16 + hexValue(line.at(2 + 2 * i)); };
    const int length = byteAt(0);
    const qsizetype bytes = (line.size() - 1) / 2;
    if (bytes != length + 5)
        return syntax(QStringLiteral("length field says ") + QString::number(length) + QStringLiteral(" data bytes, the line holds ")
                      + QString::number(bytes - 5));
    const int type = byteAt(3);
    static const int fixedLength[] = {-1, 0, 2, 4, 2, 4};
    if (type > 5)
        return syntax(QStringLiteral("unknown record type ") + hex2(type));
    if (fixedLength[type] >= 0 && length != fixedLength[type])
        return syntax(QStringLiteral("record type ") + hex2(type) + QStringLiteral(" with ") + QString::number(length)
                      + QStringLiteral(" data bytes"));
    int sum = 0;
    for (qsizetype i = 0; i < bytes - 1; ++i)
        sum += byteAt(i);
    const int expected = (0x100 - (sum & 0xFF)) & 0xFF;
    const int given = byteAt(bytes - 1);
    if (given != expected)
        return {HexRecordCheck::Checksum,
                QStringLiteral("checksum ") + hex2(given) + QStringLiteral(", the record adds up to ") + hex2(expected),
                type};
    return {HexRecordCheck::Good, {}, type};
}

QStringList hexLines(const QByteArray &bytes)
{
    QStringList lines;
    qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes.at(end) != '\n' && bytes.at(end) != '\r')
            ++end;
        lines.append(QString::fromLatin1(bytes.constData() + start, end - start));
        if (end < bytes.size() && bytes.at(end) == '\r' && end + 1 < bytes.size() && bytes.at(end + 1) == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

HexFileRead readHexFile(const QString &path)
{
    HexFileRead r;
    const QFileInfo info(path);
    const QString cannot = QStringLiteral("Cannot load ") + path + QStringLiteral(": ");
    const QString tooLarge = cannot + QStringLiteral("larger than ") + QString::number(maxHexFileBytes / (1024 * 1024))
                             + QStringLiteral(" MB, not a Vork image");
    if (!info.exists()) {
        r.error = cannot + QStringLiteral("no such file");
        return r;
    }
    if (!info.isFile()) {
        r.error = cannot + QStringLiteral("not a regular file");
        return r;
    }
    if (info.size() > maxHexFileBytes) {
        r.error = tooLarge;
        return r;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        r.error = cannot + file.errorString();
        return r;
    }
    r.bytes = file.read(maxHexFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        r.error = cannot + file.errorString();
        r.bytes.clear();
        return r;
    }
    if (r.bytes.size() > maxHexFileBytes) { // grew since it was measured
        r.error = tooLarge;
        r.bytes.clear();
        return r;
    }
    r.ok = true;
    return r;
}

HexFileCheck checkHexLines(const QStringList &lines)
{
    if (lines.isEmpty())
        return {HexRecordCheck::Syntax, 1, QStringLiteral("the file is empty")};
    HexFileCheck firstChecksum;
    int endAt = 0;
    for (int i = 0; i < lines.size(); ++i) {
        if (endAt > 0) {
            // Blank lines after the end record are harmless; anything else is not.
            if (lines.at(i).trimmed().isEmpty())
                continue;
            return {HexRecordCheck::Syntax, i + 1, QStringLiteral("a record after the end-of-file record")};
        }
        const HexRecordCheck c = checkHexRecord(lines.at(i));
        if (c.kind == HexRecordCheck::Syntax)
            return {HexRecordCheck::Syntax, i + 1, c.reason};
        if (c.kind == HexRecordCheck::Checksum && firstChecksum.good())
            firstChecksum = {HexRecordCheck::Checksum, i + 1, c.reason};
        if (c.recordType == 1)
            endAt = i + 1;
    }
    if (endAt == 0)
        return {HexRecordCheck::Syntax, int(lines.size()), QStringLiteral("no end-of-file record (the file may be cut short)")};
    return firstChecksum;
}

QString hexRefusalText(const QString &path, const HexFileCheck &check)
{
    return QStringLiteral("Line ") + QString::number(check.line) + QStringLiteral(" of ") + path
           + QStringLiteral(" is not a valid Intel HEX record: ") + check.reason + QStringLiteral(" - file not loaded");
}

QString hexChecksumQuestion(const QString &path, const HexFileCheck &check)
{
    return QStringLiteral("Line ") + QString::number(check.line) + QStringLiteral(" of ") + path
           + QStringLiteral(" has a bad checksum (") + check.reason + QStringLiteral("). Continue anyway?");
}

QByteArray paddedFlashLine(const QString &line)
{
    QByteArray bytes = line.toLatin1();
    if (bytes.size() < flashLineLength)
        bytes.append(QByteArray(flashLineLength - bytes.size(), '*'));
    return bytes;
}

} // namespace vork
