#include "simcommandshandler.h"

#include "simunitserver.h"

#include "connection/commands.h"
#include "unit/bytecursor.h"

#include <algorithm>

namespace vork::sim {

bool SimCommandsHandler::knows(Mode mode, std::uint8_t byte) const
{
    switch (static_cast<Command>(byte)) {
    case Command::Monitor:
    case Command::History:
    case Command::Setup:
    case Command::Checksum:
    case Command::FlashAbort:
        return mode == Mode::CommandLevel;
    // "Boot" on the setup page reboots from setup mode; history mode takes neither.
    case Command::Close:
    case Command::Reboot:
        return mode != Mode::History;
    default:
        return false;
    }
}

void SimCommandsHandler::execute(SimHandlerPort &port, std::uint8_t byte)
{
    switch (static_cast<Command>(byte)) {
    case Command::Monitor:
        port.ack(byte);
        port.setMode(Mode::Monitor);
        return;
    case Command::History:
        port.ack(byte);
        port.setMode(Mode::History);
        return;
    case Command::Setup:
        port.ack(byte);
        port.setMode(Mode::Setup);
        return;
    case Command::Checksum: {
        const SimChecksum &c = port.unit().unit().checksum;
        QByteArray block(1, static_cast<char>(ReplyType::Checksum));
        ByteWriter w(block);
        w.u32(c.checksum);
        w.u32(c.byteCount);
        w.u8(0);
        w.u8(static_cast<std::uint8_t>(c.location));
        w.u16(static_cast<std::uint16_t>(c.location >> 8));
        // The unit works the checksum out before it answers with the block.
        port.ackWithBlock(byte, block, std::max(0, c.delayMs));
        return;
    }
    case Command::Close:
        port.ackAndClose(byte);
        return;
    case Command::Reboot:
        port.reboot(byte);
        return;
    case Command::FlashAbort: // nothing is being flashed, so there is nothing to abort
        port.ack(byte);
        return;
    default:
        return;
    }
}

} // namespace vork::sim
