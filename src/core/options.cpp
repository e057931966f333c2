#include "core/options.h"

#include "core/tones.h"

namespace vork {

std::pair<int, int> TOptions::tone(Tone kind) const
{
    const ToneSpec &t = toneSpec(kind);
    return {this->*t.hz, this->*t.len};
}

} // namespace vork
