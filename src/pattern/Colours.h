#pragma once
// The colours of the step grid, its beat lines, play markers and mute toggles, as 0xRRGGBB.
// The window paints exactly these as flat fills; keeping them here means the grid's look is
// decided once, next to the rules that choose between them. Constants only, any thread.

#include <cstdint>

namespace taktwerk::pattern {

using Colour = std::uint32_t;  // 0xRRGGBB

inline constexpr Colour StepOnColour = 0xFF0000;
inline constexpr Colour StepOffColour = 0x000080;
// A set step shows its velocity as a red bar rising from the bottom of its box; the rest of
// the box, above the bar, is this dark red, so a quiet step still reads as set.
inline constexpr Colour kStepHeadroomColour = 0x600000;

// The two panels behind the grid: the upper five rows stand on dark grey, the crash and tom
// rows on the black panel laid behind them.
inline constexpr Colour kGridPanelColour = 0x404040;
inline constexpr Colour kLowerPanelColour = 0x000000;

// A beat line is never made invisible, only painted in its panel's colour, so each look has
// one colour per panel.
inline constexpr Colour kBeatLineGreyUpper = 0xC0C0C0;
inline constexpr Colour kBeatLineGreyLower = 0x808080;
inline constexpr Colour kLoopEndLineColour = 0xFFFF00;

inline constexpr Colour kPlayMarkerColour = 0xFF0000;

inline constexpr Colour kMutedColour = 0xC00000;
inline constexpr Colour kUnmutedColour = 0x008000;

constexpr Colour stepColour(bool on) noexcept { return on ? StepOnColour : StepOffColour; }
constexpr Colour muteColour(bool muted) noexcept { return muted ? kMutedColour : kUnmutedColour; }

}  // namespace taktwerk::pattern
