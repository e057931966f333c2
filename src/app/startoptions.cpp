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
    bool help = false;
    bool version = false;
    const auto refuse = [&](const QString &why) {
        if (o.error.isEmpty())
            o.error = why;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString arg = arguments.at(i);
        // The value of "--name VALUE" or "--name=VALUE"; false when there is none.
        const auto valueOf = [&](QLatin1StringView name, QString &value) {
            if (arg == name) {
                if (i + 1 >= arguments.size())
                    return false;
                value = arguments.at(++i);
                return true;
            }
            value = arg.mid(name.size() + 1);
            return true;
        };
        const auto named = [&](QLatin1StringView name) {
            return arg == name || arg.startsWith(name + QLatin1Char('='));
        };
        bool colour = false;
        for (const QString &flag : {QStringLiteral("-EIP"), QStringLiteral("-STD")}) {
            if (!arg.startsWith(flag, Qt::CaseInsensitive))
                continue;
            colour = true;
            // The number may follow at once ("-STD255") or as the next argument.
            QString number = arg.mid(flag.size());
            if (number.isEmpty() && i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1Char('-')))
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
        if (colour)
            continue;
        QString value;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h") || arg == QLatin1String("-?")) {
            help = true;
        } else if (arg == QLatin1String("--version")) {
            version = true;
        } else if (named(QLatin1StringView("--settings"))) {
            if (!valueOf(QLatin1StringView("--settings"), value) || value.isEmpty())
                refuse(QStringLiteral("option --settings needs a file"));
            else
                o.settingsPath = value;
        } else if (named(QLatin1StringView("--targets"))) {
            if (!valueOf(QLatin1StringView("--targets"), value)) {
                refuse(QStringLiteral("option --targets needs a list of addresses"));
                continue;
            }
            const QStringList list = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString &t : list) {
                if (isValidIPv4(t.trimmed()))
                    o.targets << t.trimmed();
                else
                    o.notes << QStringLiteral("Ignored target \"") + t + QStringLiteral("\": not an IPv4 address");
            }
        } else if (arg.startsWith(QLatin1Char('-'))) {
            refuse(QStringLiteral("unknown option \"") + arg + QLatin1Char('"'));
        } else {
            refuse(QStringLiteral("unexpected argument \"") + arg + QLatin1Char('"'));
        }
    }
    if (help)
        o.action = StartOptions::Action::Help;
    else if (version)
        o.action = StartOptions::Action::Version;
    else if (!o.error.isEmpty())
        o.action = StartOptions::Action::Refuse;
    return o;
}

QString startUsage(const QString &program)
{
    return QStringLiteral("Usage: ") + program
        + QStringLiteral(" [options]\n"
                         "\n"
                         "  --settings FILE     use FILE as the settings file instead of Vork.ini\n"
                         "  --targets A,B,...   search these IPv4 addresses instead of the broadcast\n"
                         "  -EIP COLOUR         mark colour of model 1 units in the discovery list\n"
                         "  -STD COLOUR         mark colour of model 0 units in the discovery list\n"
                         "                      (COLOUR: decimal, or $ and hexadecimal digits, 0x00BBGGRR)\n"
                         "  --version           print the version and end\n"
                         "  -h, --help          print this help and end\n");
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
