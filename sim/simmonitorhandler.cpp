#include "simmonitorhandler.h"

#include "connection/commands.h"

namespace vork::sim {

namespace {
constexpr int forceReadDataSize = 3;
}

bool SimMonitorHandler::knows(Mode mode, std::uint8_t byte) const
{
    if (mode != Mode::Monitor)
        return false;
    switch (static_cast<Command>(byte)) {
    case Command::Quit:
    case Command::ForceRead:
    case Command::PhotoEyesOnce:
    case Command::PhotoEyesContinuous:
    case Command::PhotoEyesStop:
        return true;
    default:
        return false;
    }
}

int SimMonitorHandler::dataSize(Mode mode, std::uint8_t byte) const
{
    return mode == Mode::Monitor && byte == static_cast<std::uint8_t>(Command::ForceRead) ? forceReadDataSize : 0;
}

void SimMonitorHandler::execute(SimHandlerPort &port, std::uint8_t byte)
{
    if (byte == static_cast<std::uint8_t>(Command::Quit)) {
        port.ack(byte);
        port.setMode(Mode::CommandLevel);
        return;
    }
    // P, p and X (the photo eyes): no answer until photo eyes are simulated.
    port.ignore(byte);
}

} // namespace vork::sim
