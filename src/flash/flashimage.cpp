#include "flash/flashimage.h"

#include "core/operator.h"
#include "flash/heximage.h"

#include <QFile>
#include <QFileInfo>

namespace vork {

QString FlashImage::fileName() const
{
    return QFileInfo(path).fileName();
}

ImageOpenResult openImage(const QString &path, Operator &op)
{
    ImageOpenResult r;
    QFile file(path);
    const QFileInfo info(path);
    if (info.exists() && info.size() > maxHexFileBytes) {
        r.message = QStringLiteral("Cannot load ") + path + QStringLiteral(": larger than ")
                    + QString::number(maxHexFileBytes / (1024 * 1024)) + QStringLiteral(" MB, not a Vork image");
    } else if (!file.open(QIODevice::ReadOnly)) {
        r.message = QStringLiteral("Cannot open ") + path + QStringLiteral(": ") + file.errorString();
    } else {
        const QByteArray bytes = file.read(maxHexFileBytes + 1);
        if (file.error() != QFileDevice::NoError)
            r.message = QStringLiteral("Cannot read ") + path + QStringLiteral(": ") + file.errorString();
        else if (bytes.size() > maxHexFileBytes)
            r.message = QStringLiteral("Cannot load ") + path + QStringLiteral(": larger than ")
                        + QString::number(maxHexFileBytes / (1024 * 1024)) + QStringLiteral(" MB, not a Vork image");
        else
            return openImageBytes(path, bytes, op);
    }
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
