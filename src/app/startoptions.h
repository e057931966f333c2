#pragma once

#include "core/options.h"

#include <QStringList>

#include <optional>

namespace vork {

// What the program's command line asks for.
struct StartOptions
{
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

StartOptions parseStartOptions(const QStringList &arguments);

// A theme text: background, text, check-mark, header and header-text colours
// ("$RRGGBB"-style numbers), then grid lines, check-mark box, bold header and
// bold grid text flags. Returns an error text, empty on success.
QString parseTheme(const QString &text, GridColors &colors);

} // namespace vork
