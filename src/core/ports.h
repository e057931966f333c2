#pragma once

#include <QtGlobal>

namespace vork {

// Where the units listen and where the program listens for their answers.
constexpr quint16 unitUdpPort = 3010;    // discovery queries and unicast commands
constexpr quint16 utilityUdpPort = 3009; // the program's own UDP port by default
constexpr quint16 commandPort = 3011;    // each unit's TCP command port
constexpr quint16 telnetPort = 23;

} // namespace vork
