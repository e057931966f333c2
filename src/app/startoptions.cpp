#include "app/startoptions.h"

#include "tools/ping.h"

#include <QHostAddress>

namespace vork {

std::optional<StoredColor> parseColorNumber(const QString &text)
{
    const QString t = text.trimmed();
    bool ok = false;
    qulonglong v = 0;
    if (t.startsWith(QLatin1Char('$')))
        v = t.mid(1).toULongLong(&ok, 16);
    else
        v = t.toULongLong(&ok, 10);
    if (!ok || t.isEmpty() || v > 0xFFFFFFu)
        return std::nullopt;
    return static_cast<StoredColor>(v);
}

StartOptions parseStartOptions(const QStringList &arguments)
{
    StartOptions o;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString arg = arguments.at(i);
        for (const QString &flag : {QStringLiteral("-EIP"), QStringLiteral("-STD")}) {
            if (!arg.startsWith(flag, Qt::CaseInsensitive))
                continue;
            // The number may follow at once ("-STD255") or as the next argument.
            QString number = arg.mid(flag.size());
            if (number.isEmpty() && i + 1 < arguments.size())
                number = arguments.at(++i);
            const auto color = parseColorNumber(number);
            if (!color)
                o.notes << QStringLiteral("Ignored command-line option ") + flag + QStringLiteral(" \"") + number
                               + QStringLiteral("\": not a colour number");
            else if (flag == QLatin1String("-EIP"))
                o.eipColor = color;
            else
                o.stdColor = color;
        }
        if (arg == QLatin1String("--settings") && i + 1 < arguments.size()) {
            o.settingsPath = arguments.at(++i);
        } else if (arg == QLatin1String("--targets") && i + 1 < arguments.size()) {
            const QStringList list = arguments.at(++i).split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString &t : list) {
                if (isValidIPv4(t.trimmed()))
                    o.targets << t.trimmed();
                else
                    o.notes << QStringLiteral("Ignored target \"") + t + QStringLiteral("\": not an IPv4 address");
            }
        }
    }
    return o;
}

QString parseTheme(const QString &text, GridColors &colors)
{
    if (text.trimmed().isEmpty())
        return QStringLiteral("Invalid Theme - no values found");
    const QStringList v = text.split(QLatin1Char(','));
    if (v.size() < 9)
        return QStringLiteral("Theme does not have enough parameters - aborting");
    GridColors c = colors;
    StoredColor *const targets[5] = {&c.Grid, &c.GridFont, &c.GridMark, &c.GridFixed, &c.GridFixedFont};
    for (int i = 0; i < 5; ++i) {
        const auto color = parseColorNumber(v.at(i));
        if (!color)
            return QStringLiteral("Invalid Theme - no values found");
        *targets[i] = *color;
    }
    bool *const flags[4] = {&c.GridLines, &c.ShowBox, &c.GridHeaderBold, &c.GridBold};
    for (int i = 0; i < 4; ++i)
        *flags[i] = v.at(5 + i).trimmed() == QLatin1String("1");
    colors = c;
    return {};
}

} // namespace vork
