#pragma once

#include "simhandler.h"

namespace vork::sim {

// Setup mode: the setup record up and down, the clock, the erase commands and Q.
class SimSetupHandler : public SimHandler
{
public:
    bool knows(Mode mode, std::uint8_t byte) const override;
    int dataSize(Mode mode, std::uint8_t byte) const override;
    void execute(SimHandlerPort &port, std::uint8_t byte) override;
    void finishData(SimHandlerPort &port, std::uint8_t byte, const QByteArray &data) override;
};

// The setup record as a unit of this firmware sends it: as many bytes as its version gives.
QByteArray sentSetupRecord(const SimUnit &unit, const QByteArray &record);

} // namespace vork::sim
