#pragma once

#include "simhandler.h"

namespace vork::sim {

// History mode: the quit (four zero bytes, recorded as '0') and Q, the abort
// of a retrieval. Requests are framed and recorded by the port; their records
// come with the history work.
class SimHistoryHandler : public SimHandler
{
public:
    // The byte the port hands over for the four-byte quit.
    static constexpr std::uint8_t quitKey = '0';

    bool knows(Mode mode, std::uint8_t byte) const override;
    void execute(SimHandlerPort &port, std::uint8_t byte) override;
};

} // namespace vork::sim
