#include "flash/flashimage.h"

#include "core/operator.h"
#include "flash/heximage.h"

#include <QFileInfo>

namespace vork {

QString FlashImage::fileName() const
{
    return QFileInfo(path).fileName();
}

ImageOpenResult openImage(const QString &path, Operator &op)
{
    // Only a regular file of a sane size: a pipe or a device would be read for ever.
    const HexFileRead read = readHexFile(path);
    if (read.ok)
        return openImageBytes(path, read.bytes, op);
    ImageOpenResult r;
    r.message = read.error;
    op.error(r.message);
    op.log(r.message);
    return r;
}

ImageOpenResult openImageBytes(const QString &path, const QByteArray &bytes, Operator &op)
{
    ImageOpenResult r;
    const QStringList lines = hexLines(bytes);
    const HexFileCheck check = checkHexLines(lines);
    if (check.kind == HexRecordCheck::Syntax) {
        r.status = ImageOpen::Refused;
        r.message = hexRefusalText(path, check);
        op.error(r.message);
        op.log(r.message);
        return r;
    }
    if (check.kind == HexRecordCheck::Checksum) {
        const bool goOn = op.ask(hexChecksumQuestion(path, check)) == Answer::Yes;
        op.log(QStringLiteral("Bad checksum in line ") + QString::number(check.line) + QStringLiteral(" of ") + path
               + (goOn ? QStringLiteral(": loaded anyway at the operator's choice")
                       : QStringLiteral(": not loaded at the operator's choice")));
        if (!goOn) {
            r.status = ImageOpen::Declined;
            r.message = QStringLiteral("Bad checksum in line ") + QString::number(check.line) + QStringLiteral(" of ")
                        + path + QStringLiteral(" - file not loaded");
            return r;
        }
    }

    r.notes.append(QStringLiteral("Searching ") + path + QStringLiteral(" for build information"));
    BuildSearch build = contentSearch(lines);
    if (build.failed()) {
        r.notes.append(QStringLiteral("Build data not found"));
        r.status = ImageOpen::BadBuildBlock;
        r.message = build.error;
        op.error(r.message);
        op.log(r.message);
        return r;
    }
    r.notes.append(build.found ? QStringLiteral("Build data found") : QStringLiteral("Build data not found"));
    // Blank lines after the end record are not part of the image.
    QStringList image = lines;
    while (!image.isEmpty() && image.last().trimmed().isEmpty())
        image.removeLast();
    r.image.path = path;
    r.image.lines = image;
    r.image.build = build;
    r.status = ImageOpen::Loaded;
    op.log(QStringLiteral("Total Lines to Flash = ") + QString::number(image.size()));
    return r;
}

} // namespace vork
