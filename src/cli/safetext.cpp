#include "cli/safetext.h"

namespace vork::cli {

namespace {

bool printable(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
        return false;
    // Line and paragraph separators count as printable to Qt, yet end a line.
    const QChar::Category category = c.category();
    if (category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
        return false;
    return c.isPrint() && !c.isSurrogate();
}

QString escape(const QString &text, bool keepLines)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\\')) {
            out += QStringLiteral("\\\\");
        } else if (keepLines && c == QLatin1Char('\n')) {
            out += c;
        } else if (printable(c)) {
            out += c;
        } else if (c.unicode() <= 0xFF) {
            out += QStringLiteral("\\x") + QStringLiteral("%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            out += QStringLiteral("\\x{") + QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0'))
                   + QLatin1Char('}');
        }
    }
    return out;
}

} // namespace

QString escaped(const QString &text)
{
    return escape(text, false);
}

QString escapedKeepingLines(const QString &text)
{
    return escape(text, true);
}

} // namespace vork::cli
