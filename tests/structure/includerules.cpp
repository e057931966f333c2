#include "includerules.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

namespace vork::structure {

namespace {

// Lower layers first. A file may include its own folder and any lower layer.
const QList<QPair<QString, int>> &layers()
{
    static const QList<QPair<QString, int>> table = {
        {QStringLiteral("core"), 0},
        {QStringLiteral("unit"), 1},
        {QStringLiteral("connection"), 2},
        {QStringLiteral("discovery"), 2},
        {QStringLiteral("tools"), 2},
        {QStringLiteral("services"), 3},
        {QStringLiteral("setup"), 4},
        {QStringLiteral("monitor"), 4},
        {QStringLiteral("history"), 4},
        {QStringLiteral("flash"), 4},
        {QStringLiteral("core/ui"), 5},
        // every other <feature>/ui: 6
        {QStringLiteral("app"), 7},
        {QStringLiteral("cli"), 7},
        {QStringLiteral("app/ui"), 8},
    };
    return table;
}

constexpr int featureUiLayer = 6;

// What the simulator shares with the program: the ground, the unit model,
// the command bytes and the record codecs.
const QStringList &simAllowed()
{
    static const QStringList allowed = {QStringLiteral("core/"), QStringLiteral("unit/"),
                                        QStringLiteral("connection/commands.h"),
                                        QStringLiteral("setup/setuprecord.h")};
    return allowed;
}

QStringList quotedIncludes(const QString &file)
{
    QFile f(file);
    QStringList out;
    if (!f.open(QIODevice::ReadOnly))
        return out;
    static const QRegularExpression include(QStringLiteral(R"re(^\s*#\s*include\s*"([^"]+)")re"));
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine());
        const QRegularExpressionMatch m = include.match(line);
        if (m.hasMatch())
            out << m.captured(1);
    }
    return out;
}

QStringList sourceFiles(const QString &root)
{
    QStringList out;
    QDirIterator it(root, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}

} // namespace

QString folderOf(const QString &path)
{
    const QStringList parts = path.split(QLatin1Char('/'));
    if (parts.size() < 2)
        return {};
    if (parts.size() >= 3 && parts.at(1) == QLatin1String("ui"))
        return parts.at(0) + QStringLiteral("/ui");
    return parts.at(0);
}

int layerOf(const QString &folder)
{
    for (const auto &[name, layer] : layers())
        if (name == folder)
            return layer;
    if (folder.endsWith(QLatin1String("/ui")) && layerOf(folder.chopped(3)) >= 0)
        return featureUiLayer;
    return -1;
}

QString refusal(const QString &fromFolder, const QString &includePath)
{
    const QString to = folderOf(includePath);
    const int toLayer = layerOf(to);
    const int fromLayer = layerOf(fromFolder);
    if (toLayer < 0 || fromLayer < 0 || to == fromFolder)
        return {};
    if (fromFolder == QLatin1String("cli") && to.endsWith(QLatin1String("ui")))
        return QStringLiteral("the command-line tool uses no widgets");
    if (fromFolder == QLatin1String("cli") && to == QLatin1String("app"))
        return QStringLiteral("the command-line tool does not use the window's shell");
    if (toLayer > fromLayer)
        return QStringLiteral("upward: ") + fromFolder + QStringLiteral(" is below ") + to;
    if (toLayer == fromLayer)
        return QStringLiteral("sideways: ") + fromFolder + QStringLiteral(" and ") + to + QStringLiteral(" share a layer");
    return {};
}

QString simRefusal(const QString &includePath)
{
    if (layerOf(folderOf(includePath)) < 0)
        return {}; // the simulator's own files
    for (const QString &prefix : simAllowed())
        if (includePath.startsWith(prefix))
            return {};
    return QStringLiteral("the simulator shares only the ground, the unit model, the command bytes and the codecs");
}

QList<Violation> check(const QString &srcRoot, const QString &simRoot)
{
    QList<Violation> out;
    for (const QString &file : sourceFiles(srcRoot)) {
        const QString from = folderOf(file);
        for (const QString &inc : quotedIncludes(QDir(srcRoot).filePath(file)))
            if (const QString why = refusal(from, inc); !why.isEmpty())
                out.append({QStringLiteral("src/") + file, inc, why});
    }
    if (!simRoot.isEmpty()) {
        for (const QString &file : sourceFiles(simRoot))
            for (const QString &inc : quotedIncludes(QDir(simRoot).filePath(file)))
                if (const QString why = simRefusal(inc); !why.isEmpty())
                    out.append({QStringLiteral("sim/") + file, inc, why});
    }
    return out;
}

} // namespace vork::structure
