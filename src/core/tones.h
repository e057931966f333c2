#pragma once

#include "core/operator.h"
#include "core/options.h"

#include <functional>

namespace vork {

// Decides whether a feedback tone plays and with which frequency and length:
// only with the beep toggle down and the mute counter at 0, unless forced;
// a pair with either value 0 is silent.
class Tones
{
public:
    using Player = std::function<void(int hz, int ms)>;

    Tones(const TOptions &options, Player player) : m_options(options), m_player(std::move(player)) {}

    bool beep() const { return m_beep; }
    void setBeep(bool on) { m_beep = on; }
    int muteCount() const { return m_mute; }
    void raiseMute() { ++m_mute; }
    void lowerMute() { if (m_mute > 0) --m_mute; }

    // Returns true when a tone was handed to the player.
    bool play(Tone kind, bool force = false);

private:
    const TOptions &m_options;
    Player m_player;
    bool m_beep = false;
    int m_mute = 0;
};

// Raises the mute for one scope.
class MuteScope
{
public:
    explicit MuteScope(Tones &t) : m_t(t) { m_t.raiseMute(); }
    ~MuteScope() { m_t.lowerMute(); }
    MuteScope(const MuteScope &) = delete;
    MuteScope &operator=(const MuteScope &) = delete;

private:
    Tones &m_t;
};

} // namespace vork
