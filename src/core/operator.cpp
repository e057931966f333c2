#include "core/operator.h"

#include <QLocale>
#include <QRegularExpression>

namespace vork {

namespace {
// The long time format without any time-zone token: the log shows the time of day only.
QString timeOfDayFormat()
{
    QString f = QLocale::system().timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    f.replace(zone, QStringLiteral(" "));
    return f.trimmed();
}
} // namespace

QString logLine(const QString &message, const QTime &time)
{
    static const QString format = timeOfDayFormat();
    return message + QStringLiteral("  ") + QLocale::system().toString(time, format);
}

QString logLine(const QString &message)
{
    return logLine(message, QTime::currentTime());
}

QString displayText(const QString &text)
{
    QString t = text;
    t.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

} // namespace vork
