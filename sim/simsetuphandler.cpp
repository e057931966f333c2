#include "simsetuphandler.h"

#include "simunitserver.h"

#include "connection/commands.h"
#include "setup/setuprecord.h"
#include "unit/announcement.h"

namespace vork::sim {

QByteArray sentSetupRecord(const SimUnit &unit, const QByteArray &record)
{
    // Older firmware has a shorter record; the unit sends only what it has.
    if (unit.setupLength > 0)
        return record.left(unit.setupLength);
    const int version = unit.version[0] * 100 + unit.version[1] * 10 + unit.version[2];
    return record.left(setupTransferSize(version));
}

bool SimSetupHandler::knows(Mode mode, std::uint8_t byte) const
{
    if (mode != Mode::Setup)
        return false;
    switch (static_cast<Command>(byte)) {
    case Command::SetupUpload:
    case Command::SetupDownload:
    case Command::ClockRead:
    case Command::ClockSet:
    case Command::EraseSetup:
    case Command::EraseHistory:
    case Command::ErasePersistent:
    case Command::Quit:
        return true;
    default:
        return false;
    }
}

int SimSetupHandler::dataSize(Mode mode, std::uint8_t byte) const
{
    if (mode != Mode::Setup)
        return 0;
    switch (static_cast<Command>(byte)) {
    case Command::SetupDownload: return setupRecordSize;
    case Command::ClockSet: return clockBlockSize;
    default: return 0;
    }
}

void SimSetupHandler::execute(SimHandlerPort &port, std::uint8_t byte)
{
    SimUnitServer &unit = port.unit();
    switch (static_cast<Command>(byte)) {
    case Command::SetupUpload: {
        QByteArray block(1, static_cast<char>(ReplyType::Setup));
        block += sentSetupRecord(unit.unit(), unit.setupRecord());
        port.ackWithBlock(byte, block);
        return;
    }
    case Command::ClockRead: {
        QByteArray block(1, static_cast<char>(ReplyType::Clock));
        writeDtpack(block, dtpackFromDateTime(unit.clock()));
        port.ackWithBlock(byte, block);
        return;
    }
    case Command::EraseSetup:
        unit.setSetupRecord(defaultSetupRecord(unit.unit()));
        port.ack(byte);
        return;
    case Command::EraseHistory:
    case Command::ErasePersistent:
        if (port.faults().failErase)
            port.nak(byte);
        else
            port.ack(byte);
        return;
    case Command::Quit:
        port.ack(byte);
        port.setMode(Mode::CommandLevel);
        return;
    default:
        return;
    }
}

void SimSetupHandler::finishData(SimHandlerPort &port, std::uint8_t byte, const QByteArray &data)
{
    switch (static_cast<Command>(byte)) {
    case Command::SetupDownload:
        port.unit().setSetupRecord(data);
        return;
    case Command::ClockSet:
        port.unit().setClock(readDtpack(data)); // an impossible clock is acknowledged and not taken
        return;
    default:
        return;
    }
}

} // namespace vork::sim
