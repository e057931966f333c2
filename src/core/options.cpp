#include "core/options.h"

#include "core/tones.h"

namespace vork {

std::pair<int, int> TOptions::tone(Tone kind) const
{
    const ToneInfo &t = toneInfo(kind);
    return {this->*t.hz, this->*t.len};
}

} // namespace vork
