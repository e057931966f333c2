#pragma once

#include "simhandler.h"

namespace vork::sim {

// Command level: the mode entries M, H, S, the checksum X, close C, reboot R
// and the flash abort x (until the flash handler takes it). C and R are also
// taken in monitor and setup mode.
class SimCommandsHandler : public SimHandler
{
public:
    bool knows(Mode mode, std::uint8_t byte) const override;
    void execute(SimHandlerPort &port, std::uint8_t byte) override;
};

} // namespace vork::sim
