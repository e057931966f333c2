#include "core/address.h"

#include <QStringList>

namespace vork {

bool parseIPv4(const QString &text, std::uint32_t &address)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    std::uint32_t a = 0;
    for (const QString &part : parts) {
        // "010" would be octal to inet_aton and decimal to us: refuse it rather than guess.
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.front() == QLatin1Char('0')))
            return false;
        int value = 0;
        for (QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
            value = value * 10 + (c.unicode() - '0');
        }
        if (value > 255)
            return false;
        a = (a << 8) | std::uint32_t(value);
    }
    address = a;
    return true;
}

bool isValidIPv4(const QString &text)
{
    std::uint32_t ignored = 0;
    return parseIPv4(text, ignored);
}

bool isValidUnitIP(const QString &text, bool zeroAllowed)
{
    if (text == QLatin1String("0.0.0.0"))
        return zeroAllowed;
    std::uint32_t address = 0;
    return parseIPv4(text, address) && (address >> 24) != 0;
}

} // namespace vork
