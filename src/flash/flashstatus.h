#pragma once

#include <cstdint>

namespace vork {

// A unit's flash status word: five steps; bit n of the low byte says step n is done,
// bit n + 8 says it is marked. Done alone: passed; marked alone: pending or not
// confirmed; both: failed.
namespace flashstatus {

enum Step : int { CommandSent = 0, EraseConfirmed = 1, FileSent = 2, RebootConfirmed = 3, Overall = 4 };
constexpr int stepCount = 5;

enum class StepState { None, Passed, Pending, Failed };

constexpr StepState state(std::uint16_t word, int step)
{
    const bool done = word & (1u << step);
    const bool marked = word & (1u << (step + 8));
    if (done && marked)
        return StepState::Failed;
    if (done)
        return StepState::Passed;
    if (marked)
        return StepState::Pending;
    return StepState::None;
}

// The values and operations of a flash, in the order they happen.
constexpr std::uint16_t rowAdded(std::uint16_t) { return 0x0201; }
constexpr std::uint16_t eraseAcknowledged(std::uint16_t) { return 0x0003; }
constexpr std::uint16_t eraseNotAcknowledged(std::uint16_t w) { return std::uint16_t(w | 0x1213); }
constexpr std::uint16_t transferStarted(std::uint16_t w) { return std::uint16_t(w | 0x0400); }
constexpr std::uint16_t transferFailed(std::uint16_t w) { return std::uint16_t(w | 0x1414); }
constexpr std::uint16_t transferCompleted(std::uint16_t w) { return std::uint16_t((w & 0xEBFF) | 0x0004); }
constexpr std::uint16_t afterTransfer(std::uint16_t w) { return std::uint16_t(w | 0x0800); }
constexpr std::uint16_t rebootNotSeen(std::uint16_t w) { return std::uint16_t(w | 0x1818); }
constexpr std::uint16_t rebootSeen(std::uint16_t w) { return std::uint16_t((w & 0xF7FF) | 0x0018); }
constexpr std::uint16_t dontRebootPassed(std::uint16_t w) { return std::uint16_t((w & 0xEFF7) | 0x0810); }
constexpr std::uint16_t connectFailed(std::uint16_t w) { return std::uint16_t(w | 0x1010); }
// The rebooted unit does not run the image's version (or does not tell it): overall failed.
constexpr std::uint16_t notTheImage(std::uint16_t w) { return std::uint16_t(w | 0x1010); }

// The unit passed: nothing marked, or with "Don't Reboot" only the reboot step left unconfirmed.
constexpr bool successful(std::uint16_t word, bool dontReboot)
{
    const int high = word >> 8;
    return high == 0 || (dontReboot && high == 0x08);
}

} // namespace flashstatus
} // namespace vork
