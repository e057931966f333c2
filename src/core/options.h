#pragma once

#include "core/operator.h"

#include <QString>

#include <cstdint>
#include <utility>

namespace vork {

// Colours are kept as stored: 0x00BBGGRR (red in the low byte); widgets convert when drawing.
using StoredColor = std::uint32_t;

// The options dialog's spin boxes run from 0 to these; reading the settings
// file checks the same ranges.
namespace optionlimits {
inline constexpr int maxHz = 32767;
inline constexpr int maxMs = 10000;
inline constexpr int maxWarn = 999;
} // namespace optionlimits

// The in-memory options the options dialog edits.
struct TOptions
{
    bool AutoUpdate = false;
    bool DiscoverOnStart = false;
    bool WinTelnet = false;
    bool DisplayModelIcon = true;
    bool UseList = false;
    bool SetupUpload = false;
    bool Feedback = false;
    QString DiscoveryList = QStringLiteral("DiscoveryList.txt");
    bool LoadListOnStart = false;

    int DiscoveryStartHZ = 950, DiscoveryStartLen = 25;
    int DiscoveryEndHZ = 850, DiscoveryEndLen = 25;
    int ConnectHZ = 1600, ConnectLen = 25;
    int DisConnectHZ = 1400, DisConnectLen = 25;
    int PingFoundHZ = 3000, PingNotFoundHZ = 200, PingLen = 300;
    int ErrorHZ = 200, ErrorLen = 300;
    int ButtonHZ = 700, buttonLen = 30;
    int CheckBoxHZ = 1000, CheckBoxLen = 25;
    int KeyClickHZ = 1200, KeyClickLen = 25;

    bool CritDate = true;
    StoredColor Warncolor = 65535; // yellow
    int TimeWarnLow = 5;
    int TimeWarnHigh = 30;
    StoredColor CritColor = 255;   // red
    int RebootWarn = 24;
    bool WarnFontBlk = true;
    bool CritFontBlk = true;
    bool HistoryUpload = false;

    // Frequency and length of a tone kind; any unknown kind plays as a button.
    std::pair<int, int> tone(Tone kind) const;
};

// Grid colours and drawing choices shared by every grid.
struct GridColors
{
    StoredColor Grid = 0;
    StoredColor GridFont = 16777215;
    StoredColor GridFixed = 8404992;
    StoredColor GridFixedFont = 16777215;
    StoredColor GridMark = 8453888;
    bool ShowBox = true;
    bool GridLines = true;
    bool GridHeaderBold = true;
    bool GridHeaderLines = true;
    bool GridBold = false;
};

} // namespace vork
