#include "simhistoryhandler.h"

#include "connection/commands.h"

namespace vork::sim {

static_assert(SimHistoryHandler::quitKey == static_cast<std::uint8_t>(Command::HistoryQuit));

bool SimHistoryHandler::knows(Mode mode, std::uint8_t byte) const
{
    return mode == Mode::History && (byte == quitKey || byte == static_cast<std::uint8_t>(Command::Quit));
}

void SimHistoryHandler::execute(SimHandlerPort &port, std::uint8_t byte)
{
    port.ack(byte);
    // Q aborts a running retrieval and the unit stays in history mode.
    if (byte == quitKey)
        port.setMode(Mode::CommandLevel);
}

} // namespace vork::sim
