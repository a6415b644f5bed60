#pragma once
// How the window shows the music: the colours of the step grid, its beat lines, play markers,
// mute toggles, pads, beat light and RUN/STOP button (as 0xRRGGBB, painted as flat fills), and
// what RUN and STOP change at once. The sequencer and the meter say what happens; this says
// how it looks. Constants and pure functions only, any thread.

#include "core/Language.h"
#include "pattern/MeterState.h"
#include "sequencer/Sequencer.h"

#include <cstdint>
#include <string_view>

namespace taktwerk::ui::layout {

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

inline constexpr Colour kPadHit = 0xFF8080;
inline constexpr Colour kPadIdle = 0xE0E0E0;
inline constexpr Colour kBeatLightOff = 0xC0C0C0;
inline constexpr Colour kBeatLightRed = 0xFF0000;
inline constexpr Colour kBeatLightGreen = 0x00FF00;
inline constexpr Colour kRunButtonStopped = 0x008000;
inline constexpr Colour kRunButtonPlaying = 0xC00000;

constexpr Colour stepColour(bool on) noexcept { return on ? StepOnColour : StepOffColour; }
constexpr Colour muteColour(bool muted) noexcept { return muted ? kMutedColour : kUnmutedColour; }

// Element 0 of a beat line stands in the grid panel, element 1 in the black panel below it; a
// hidden line takes each panel's own colour.
constexpr Colour lineColour(pattern::BeatLine line, int element) noexcept
{
    switch (line) {
    case pattern::BeatLine::Beat:
        return element == 0 ? kBeatLineGreyUpper : kBeatLineGreyLower;
    case pattern::BeatLine::Hidden:
        return element == 0 ? kGridPanelColour : kLowerPanelColour;
    case pattern::BeatLine::LoopEnd:
        break;
    }
    return kLoopEndLineColour;
}

// The TAP button doubles as the beat light: red on the first beat of a bar of four, green on
// the other beats.
constexpr Colour beatLightColour(sequencer::BeatLight light) noexcept
{
    switch (light) {
    case sequencer::BeatLight::Downbeat:
        return kBeatLightRed;
    case sequencer::BeatLight::Beat:
        return kBeatLightGreen;
    case sequencer::BeatLight::Off:
        break;
    }
    return kBeatLightOff;
}

// A pad lights for the step that plays its track, muted or not, so the player sees it;
// `litPads` is a step's: bit t for track t.
constexpr Colour padColour(std::uint16_t litPads, int track) noexcept
{
    return (litPads >> track) & 1u ? kPadHit : kPadIdle;
}

// What the RUN/STOP button and the lights show after a press.
struct TransportLooks {
    const char* caption = nullptr;  // "R U N" or "S T O P", in English: shown translated
    Colour buttonColour = kRunButtonStopped;
    bool resetsLights = false;  // beat light to kBeatLightOff and all pads to kPadIdle
    bool markersHome = false;   // the play markers go to column 0
    // The beginner view's animation shows frame 0 after either press.
    sequencer::AnimationFrame animation = sequencer::AnimationFrame::Unchanged;
};

// Painted at once, before the audio thread has even seen the press. STOP leaves the markers on
// the last column played.
constexpr TransportLooks transportLooks(bool running, bool beginner) noexcept
{
    const auto frame =
        beginner ? sequencer::AnimationFrame::Frame0 : sequencer::AnimationFrame::Unchanged;
    if (running)
        return {.caption = core::translatable("S T O P"),
                .buttonColour = kRunButtonPlaying,
                .resetsLights = false,
                .markersHome = true,
                .animation = frame};
    return {.caption = core::translatable("R U N"),
            .buttonColour = kRunButtonStopped,
            .resetsLights = true,
            .markersHome = false,
            .animation = frame};
}

}  // namespace taktwerk::ui::layout
