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

} // namespace vork::sim
