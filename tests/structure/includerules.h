#pragma once

#include <QList>
#include <QString>

// Which of our folders may include which: includes point down the layers and
// never up, and folders on one layer stay out of each other.
namespace vork::structure {

struct Violation
{
    QString file;    // relative to its root
    QString include; // as written
    QString why;
};

// The layer of a folder under src/ ("connection", "discovery/ui", ...); -1 when it is not ours.
int layerOf(const QString &folder);
// The folder of a path under src/ ("setup/ui/x.h" -> "setup/ui").
QString folderOf(const QString &path);
// Why a file of fromFolder may not include the path, or empty when it may.
QString refusal(const QString &fromFolder, const QString &includePath);
// Why a simulator file may not include the path, or empty when it may.
QString simRefusal(const QString &includePath);

// Every quoted include under srcRoot and simRoot that breaks the rules.
QList<Violation> check(const QString &srcRoot, const QString &simRoot);

} // namespace vork::structure
