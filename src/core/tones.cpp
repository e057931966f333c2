#include "core/tones.h"

namespace vork {

bool Tones::play(Tone kind, bool force)
{
    if (!force && (!m_beep || m_mute > 0))
        return false;
    const auto [hz, ms] = m_options.tone(kind);
    if (hz <= 0 || ms <= 0)
        return false;
    if (m_player)
        m_player(hz, ms);
    return true;
}

} // namespace vork
