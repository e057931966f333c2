// vork hex info: what an image file holds, without a unit.
#include "cli/cliargs.h"
#include "cli/commands.h"
#include "cli/exitcodes.h"
#include "cli/safetext.h"

#include "flash/buildinfo.h"
#include "flash/heximage.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace vork::cli {

int hexInfo(const QStringList &args)
{
    const QString name = QStringLiteral("hex info");
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Reads an Intel HEX image and prints its build string (-1 without a build block), its line\n"
        "count and whether every record is valid (else the first bad line and why).\n"
        "Exit status 0 for a valid file, 5 for a file that is not."));
    p.addHelpOption();
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("One JSON object."));
    p.addOption(json);
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The Intel HEX file."));
    if (const int status = parseCommand(p, name, args); status >= 0)
        return status;
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList pos = p.positionalArguments();
    if (pos.size() != 1) {
        err << "usage: vork hex info [options] FILE (vork hex info --help)\n";
        return exitUsage;
    }
    const HexFileRead read = readHexFile(pos.first());
    if (!read.ok) {
        err << "vork hex info: " << escaped(read.error) << '\n';
        return exitBadImage;
    }
    const QByteArray &bytes = read.bytes;
    QStringList lines = hexLines(bytes);
    const HexFileCheck check = checkHexLines(lines);
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    const BuildSearch build = contentSearch(lines);
    QString problem;
    if (check.kind == HexRecordCheck::Syntax)
        problem = QStringLiteral("line ") + QString::number(check.line) + QStringLiteral(": ") + check.reason;
    else if (check.kind == HexRecordCheck::Checksum)
        problem = QStringLiteral("line ") + QString::number(check.line) + QStringLiteral(": bad ") + check.reason;
    else if (build.failed())
        problem = build.error;
    const bool valid = problem.isEmpty();
    if (p.isSet(json)) {
        QJsonObject o;
        o.insert(QStringLiteral("file"), pos.first());
        o.insert(QStringLiteral("lines"), int(lines.size()));
        o.insert(QStringLiteral("build"), build.buildString);
        o.insert(QStringLiteral("valid"), valid);
        if (!valid) {
            o.insert(QStringLiteral("problem"), problem);
            if (check.line > 0)
                o.insert(QStringLiteral("line"), check.line);
        }
        out << jsonText(QJsonDocument(o)) << '\n';
    } else {
        out << "build: " << escaped(build.buildString) << '\n'
            << "lines: " << lines.size() << '\n'
            << "valid: " << (valid ? QStringLiteral("yes") : QStringLiteral("no (") + escaped(problem) + QLatin1Char(')'))
            << '\n';
    }
    return valid ? exitOk : exitBadImage;
}

} // namespace vork::cli
