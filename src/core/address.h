#pragma once

#include <QString>

#include <cstdint>

namespace vork {

// Dotted IPv4 text: exactly four decimal numbers 0..255, without leading
// zeros ("0" itself is fine). Stricter than QHostAddress, which takes "10.0.5"
// as 10.0.0.5.
bool isValidIPv4(const QString &text);
// The same check, giving the address in host order.
bool parseIPv4(const QString &text, std::uint32_t &address);
// An address a unit may be given: four octets as above, not starting with 0;
// "0.0.0.0" only where zero is allowed (a gateway).
bool isValidUnitIP(const QString &text, bool zeroAllowed);

} // namespace vork
