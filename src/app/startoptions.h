#pragma once

#include "core/options.h"

#include <QStringList>

#include <optional>

namespace vork {

// What the program's command line asks for.
struct StartOptions
{
    // Start the program, or only print and end (help, version), or refuse the command line.
    enum class Action { Start, Help, Version, Refuse };
    Action action = Action::Start;
    // Why the command line was refused: the first unknown option or missing value.
    QString error;

    // "-EIP" / "-STD" followed by a colour: model 1 and model 0 marks of the discovery list.
    std::optional<StoredColor> eipColor;
    std::optional<StoredColor> stdColor;
    // "--settings FILE": a settings file of its own (the demo's), instead of Vork.ini.
    QString settingsPath;
    // "--targets A,B,...": search these addresses instead of the limited broadcast.
    QStringList targets;
    // Log lines about arguments that were ignored.
    QStringList notes;
};

// A colour number: decimal, or "$" followed by hexadecimal digits.
std::optional<StoredColor> parseColorNumber(const QString &text);

// Arguments without the program's own name. "--help" and "--version" win over
// anything else on the line; an unknown option or a missing value refuses it.
StartOptions parseStartOptions(const QStringList &arguments);
// What "--help" prints.
QString startUsage(const QString &program);
// Exit status of a refused command line.
inline constexpr int badArgumentsExit = 2;

// A theme text: background, text, check-mark, header and header-text colours
// ("$RRGGBB"-style numbers), then grid lines, check-mark box, bold header and
// bold grid text flags. Returns an error text, empty on success.
QString parseTheme(const QString &text, GridColors &colors);

} // namespace vork
