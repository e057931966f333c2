#include "setup/setupfiles.h"

#include "setup/setupchecks.h"
#include "unit/records.h"
#include "unit/unitrules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace vork::setupfiles {

namespace {
constexpr int lineData = 47;       // 16 bytes as "xx xx ... xx"
constexpr int maxFileLength = 239; // the PLC address (239-242) stays out of files
constexpr int plcOffset = 239;
constexpr int bytesPerLine = 16;
constexpr int shortestRecord = 221;
constexpr qint64 maxTextFile = 64 * 1024; // a dump is a few kilobytes at most
// The lengths a configuration file may have: one per firmware generation, and a whole record.
constexpr int fileLengths[] = {221, 222, 225, 229, 231, 232, 234, 236, 238, 239, 243};

bool knownFileLength(qint64 n)
{
    for (const int l : fileLengths)
        if (n == l)
            return true;
    return false;
}

QString lengthList()
{
    QString out;
    for (const int l : fileLengths)
        out += (out.isEmpty() ? QString() : QStringLiteral(", ")) + QString::number(l);
    return out;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

bool isStandardUnit(const udppack &unit, const setuppack &record)
{
    const int version = versionNumber(unit.ver);
    return version >= 500 ? record.ncp() != 0 : (unit.model % 2) == 0;
}

QString defaultName(const udppack &unit, const setuppack &record)
{
    QString mac = unit.mac;
    mac.remove(QLatin1Char(':')).remove(QLatin1Char('-'));
    QString digits;
    for (int i : {0, 2, 4})
        if (i < unit.vnumber.size())
            digits += unit.vnumber.at(i);
    return QStringLiteral("C") + mac.toUpper() + QStringLiteral(".v") + digits
           + (isStandardUnit(unit, record) ? QStringLiteral("s") : QStringLiteral("e")) + QStringLiteral(".vork");
}

QString macFromFileName(const QString &fileName)
{
    constexpr int macLength = 12;
    const qsizetype at = fileName.indexOf(QLatin1String("0050C2"), 0, Qt::CaseInsensitive);
    return at >= 0 ? fileName.mid(at, macLength) : QString();
}

int fileLength(int versionNumber)
{
    return qMin(setupSize(versionNumber), maxFileLength);
}

int fileLengthWithoutUnit(int receivedLength)
{
    return qBound(0, receivedLength, maxFileLength);
}

QString defaultDirectory(const QString &programDir, const char *folder, bool create)
{
    const QDir program(programDir);
    const QString path = program.filePath(QString::fromLatin1(folder));
    const QFileInfo info(path);
    if (info.isDir())
        return path;
    if (create && !info.exists() && program.mkpath(QString::fromLatin1(folder)))
        return path;
    return programDir;
}

ReadResult importText(const QByteArray &text)
{
    ReadResult result;
    QByteArray bytes;
    // A byte-order mark is not text; lines may end in CR LF, LF or CR alone.
    QByteArray body = text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;
    body.replace("\r\n", "\n");
    body.replace('\r', '\n');
    const QList<QByteArray> lines = body.split('\n');
    const bool ownBlock = !lines.isEmpty() && lines.first().trimmed() == configurationTitle().toLatin1();
    for (int n = 0; n < lines.size() && bytes.size() < setuppack::size; ++n) {
        QByteArray line = lines.at(n);
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype colon = line.indexOf(": ");
        if (colon < 0)
            continue;
        QByteArray data = line.mid(colon + 2);
        // A tab ends a data part; more than 16 bytes' worth is cut.
        if (const qsizetype tab = data.indexOf('\t'); tab >= 0)
            data.truncate(tab);
        if (data.size() > lineData)
            data.truncate(lineData);
        int taken = 0;
        while (taken * 3 < data.size() && bytes.size() < setuppack::size) {
            const int at = taken * 3;
            const int high = at < data.size() ? hexDigit(data.at(at)) : -1;
            const int low = at + 1 < data.size() ? hexDigit(data.at(at + 1)) : -1;
            if (high < 0 || low < 0) {
                result.error = QStringLiteral("Line %1: '%2' is not a hexadecimal byte")
                                   .arg(n + 1)
                                   .arg(QString::fromLatin1(data.mid(at, 2)));
                return result;
            }
            bytes.append(char(high * 16 + low));
            ++taken;
        }
    }
    setuppack record(bytes.left(plcOffset));
    if (bytes.size() > plcOffset) {
        const QByteArray plc = bytes.mid(plcOffset).leftJustified(4, '\0');
        if (ownBlock) {
            // Our own dump is in memory order already.
            for (int i = 0; i < 4; ++i)
                record.setByteAt(plcOffset + i, std::uint8_t(plc.at(i)));
        } else {
            // Other dumps write the PLC address most significant byte first.
            record.setEipPLCIPValue((std::uint32_t(std::uint8_t(plc.at(0))) << 24)
                                    | (std::uint32_t(std::uint8_t(plc.at(1))) << 16)
                                    | (std::uint32_t(std::uint8_t(plc.at(2))) << 8) | std::uint8_t(plc.at(3)));
        }
    }
    result.ok = true;
    result.record = record;
    result.length = int(bytes.size());
    return result;
}

ReadResult read(const QString &path, const setuppack &current)
{
    ReadResult result;
    result.record = current;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.error = QStringLiteral("File ") + path + QStringLiteral(" Not found in current directory");
        return result;
    }
    // A pipe or a device would be read for ever, a folder not at all.
    if (!info.isFile()) {
        result.error = path + QStringLiteral(" is not a regular file");
        return result;
    }
    const bool dump = info.fileName().contains(QLatin1String(".txt"), Qt::CaseInsensitive);
    const qint64 size = info.size();
    if (dump ? size > maxTextFile : !knownFileLength(size)) {
        result.error = path + QStringLiteral(": ") + QString::number(size) + QStringLiteral(" bytes is not ")
                       + (dump ? QStringLiteral("a setup dump (at most ") + QString::number(maxTextFile)
                                     + QStringLiteral(" bytes)")
                               : QStringLiteral("the length of a configuration file (") + lengthList()
                                     + QStringLiteral(" bytes)"));
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    ReadResult got;
    if (dump) {
        const QByteArray text = file.read(maxTextFile + 1);
        if (file.error() != QFileDevice::NoError) {
            result.error = file.errorString();
            return result;
        }
        got = importText(text);
        if (!got.ok) {
            result.error = path + QStringLiteral(": ") + got.error;
            return result;
        }
        if (got.length < shortestRecord) {
            result.error = path + QStringLiteral(": the dump holds ") + QString::number(got.length)
                           + QStringLiteral(" bytes, fewer than a setup record (") + QString::number(shortestRecord)
                           + QStringLiteral(")");
            return result;
        }
    } else {
        const QByteArray bytes = file.read(setuppack::size + 1);
        if (file.error() != QFileDevice::NoError) {
            result.error = file.errorString();
            return result;
        }
        if (!knownFileLength(bytes.size())) { // changed since it was measured
            result.error = path + QStringLiteral(": ") + QString::number(bytes.size())
                           + QStringLiteral(" bytes is not the length of a configuration file (") + lengthList()
                           + QStringLiteral(" bytes)");
            return result;
        }
        got.record = current;
        for (qsizetype i = 0; i < bytes.size(); ++i)
            got.record.setByteAt(int(i), std::uint8_t(bytes.at(i)));
        got.length = int(bytes.size());
    }
    // What the file holds must be a record a unit can take.
    if (const auto bad = setupchecks::badField(got.record, got.length)) {
        result.error = path + QStringLiteral(": ") + *bad;
        return result;
    }
    got.ok = true;
    got.error.clear();
    return got;
}

bool write(const QString &path, const setuppack &record, int length, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // The record may hold the unit's password: the file is the owner's alone.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray bytes = record.prefix(length);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QString configurationTitle()
{
    return QStringLiteral(",Configuration Data:,");
}

QByteArray configurationBlock(const setuppack &record)
{
    QByteArray out = configurationTitle().toLatin1() + "\r\n";
    const QByteArray &bytes = record.bytes();
    for (int offset = 0; offset < setuppack::size; offset += bytesPerLine) {
        out += ',' + QByteArray::number(offset, 16).rightJustified(6, '0') + ": ";
        const int end = qMin(offset + bytesPerLine, int(setuppack::size));
        QByteArray pairs;
        for (int i = offset; i < end; ++i)
            pairs += QByteArray::number(std::uint8_t(bytes.at(i)), 16).rightJustified(2, '0') + ' ';
        // Full lines have single spaces between the bytes; the short last line ends each with one.
        if (end - offset == bytesPerLine)
            pairs.chop(1);
        out += pairs + "\r\n";
    }
    out += "\r\n";
    return out;
}

} // namespace vork::setupfiles
