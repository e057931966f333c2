#include "core/options.h"

namespace vork {

std::pair<int, int> TOptions::tone(Tone kind) const
{
    switch (kind) {
    case Tone::DiscoveryStart: return {DiscoveryStartHZ, DiscoveryStartLen};
    case Tone::DiscoveryEnd: return {DiscoveryEndHZ, DiscoveryEndLen};
    case Tone::Connect: return {ConnectHZ, ConnectLen};
    case Tone::Disconnect: return {DisConnectHZ, DisConnectLen};
    case Tone::Error: return {ErrorHZ, ErrorLen};
    case Tone::PingFound: return {PingFoundHZ, PingLen};
    case Tone::PingNotFound: return {PingNotFoundHZ, PingLen};
    case Tone::CheckBox: return {CheckBoxHZ, CheckBoxLen};
    case Tone::KeyClick: return {KeyClickHZ, KeyClickLen};
    case Tone::Button:
    default: return {ButtonHZ, buttonLen};
    }
}

} // namespace vork
