#pragma once

#include "core/operator.h"
#include "core/options.h"

#include <array>
#include <functional>

namespace vork {

// One feedback tone: what the Sounds tab shows, where its values live and
// under which [Options] keys Vork.ini keeps them.
struct ToneInfo
{
    Tone kind;
    const char *caption;   // the Sounds tab's label
    int TOptions::*hz;
    int TOptions::*len;
    const char *hzKey;     // Vork.ini, section [Options]
    const char *lenKey;
    const char *hzName;    // the spin boxes' object names
    const char *lenName;
};

// Every tone, in the Sounds tab's order. Both ping tones share one length
// (PingLen, key PINGl), so that member appears twice.
inline constexpr std::array<ToneInfo, 10> toneTable{{
    {Tone::DiscoveryStart, "Discovery Start", &TOptions::DiscoveryStartHZ, &TOptions::DiscoveryStartLen,
     "DISCSTARTf", "DISCSTARTl", "DiscoveryStartHZ", "DiscoveryStartLen"},
    {Tone::DiscoveryEnd, "Discovery End", &TOptions::DiscoveryEndHZ, &TOptions::DiscoveryEndLen, "DISCENDf",
     "DISCENDl", "DiscoveryEndHZ", "DiscoveryEndLen"},
    {Tone::Connect, "Connect", &TOptions::ConnectHZ, &TOptions::ConnectLen, "CONNECTf", "CONNECTl", "ConnectHZ",
     "ConnectLen"},
    {Tone::Disconnect, "Disconnect", &TOptions::DisConnectHZ, &TOptions::DisConnectLen, "DISCONNECTf",
     "DISCONNECTl", "DisConnectHZ", "DisConnectLen"},
    {Tone::Error, "Error", &TOptions::ErrorHZ, &TOptions::ErrorLen, "ERRORf", "ERRORl", "ErrorHZ", "ErrorLen"},
    {Tone::PingFound, "Ping Found", &TOptions::PingFoundHZ, &TOptions::PingLen, "PINGFNDf", "PINGl",
     "PingFoundHZ", "PingLen"},
    {Tone::PingNotFound, "Ping Not Found", &TOptions::PingNotFoundHZ, &TOptions::PingLen, "PINGNOTFNDf", "PINGl",
     "PingNotFoundHZ", "PingLen"},
    {Tone::Button, "Button", &TOptions::ButtonHZ, &TOptions::buttonLen, "BUTTONf", "BUTTONl", "ButtonHZ",
     "buttonLen"},
    {Tone::CheckBox, "Check Box", &TOptions::CheckBoxHZ, &TOptions::CheckBoxLen, "CHECKf", "CHECKl", "CheckBoxHZ",
     "CheckBoxLen"},
    {Tone::KeyClick, "Key Click", &TOptions::KeyClickHZ, &TOptions::KeyClickLen, "KEYf", "KEYl", "KeyClickHZ",
     "KeyClickLen"},
}};

// The row of a tone kind; any unknown kind is a button.
constexpr const ToneInfo &toneInfo(Tone kind)
{
    for (const ToneInfo &t : toneTable)
        if (t.kind == kind)
            return t;
    return toneInfo(Tone::Button);
}

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
