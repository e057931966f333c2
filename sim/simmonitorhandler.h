#pragma once

#include "simhandler.h"

namespace vork::sim {

// Monitor mode: Q, the force read f and the photo-eye commands. Live records
// and photo-eye data are not simulated yet; this is where they go.
class SimMonitorHandler : public SimHandler
{
public:
    bool knows(Mode mode, std::uint8_t byte) const override;
    int dataSize(Mode mode, std::uint8_t byte) const override;
    void execute(SimHandlerPort &port, std::uint8_t byte) override;
};

} // namespace vork::sim
