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

QByteArray jsonText(const QJsonDocument &document, QJsonDocument::JsonFormat format)
{
    // The bytes are UTF-8 and these characters only ever stand inside strings.
    const QByteArray in = document.toJson(format);
    QByteArray out;
    out.reserve(in.size());
    const auto code = [&out](unsigned value) {
        out += "\\u" + QByteArray::number(value, 16).rightJustified(4, '0');
    };
    for (qsizetype i = 0; i < in.size(); ++i) {
        const auto b = static_cast<unsigned char>(in.at(i));
        const auto next = [&](qsizetype k) { return i + k < in.size() ? static_cast<unsigned char>(in.at(i + k)) : 0u; };
        if (b == 0x7F) {
            code(0x7F);
        } else if (b == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) {
            code(next(1));
            ++i;
        } else if (b == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9)) {
            code(next(2) == 0xA8 ? 0x2028 : 0x2029);
            i += 2;
        } else {
            out += char(b);
        }
    }
    return out;
}

QString escaped(const QString &text)
{
    return escape(text, false);
}

QString escapedKeepingLines(const QString &text)
{
    return escape(text, true);
}

} // namespace vork::cli
