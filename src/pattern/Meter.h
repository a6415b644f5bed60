#pragma once
// The meter's tables: steps per beat (`Interval` 3, 4, 5), loop length (`Beats`), the
// resolution options and the playback wrap length, as pure functions. MeterState.h keeps what
// the window shows of them. Any thread.

#include "pattern/Pattern.h"

namespace taktwerk::pattern {

inline constexpr int kDefaultInterval = 4;
inline constexpr int kDefaultBeats = 16;

constexpr bool isValidInterval(int interval) noexcept { return interval >= 3 && interval <= 5; }

// The loop length of resolution option 0, 1 or 2 at an interval: two, four or eight beats,
// except that five steps per beat stop at six beats (30 steps), as a row has only 32 steps.
constexpr int loopLengthFor(int interval, int option) noexcept
{
    constexpr int lengths[3][3] = {{6, 12, 24}, {8, 16, 32}, {10, 20, 30}};
    if (!isValidInterval(interval) || option < 0 || option > 2)
        return kDefaultBeats;
    return lengths[interval - 3][option];
}

// The resolution option a loop length selects by its value alone (6, 8, 10 -> 0; 12, 16,
// 20 -> 1; 24, 32, 30 -> 2); -1 for any other length.
constexpr int resolutionOptionFor(int beats) noexcept
{
    switch (beats) {
    case 6:
    case 8:
    case 10:
        return 0;
    case 12:
    case 16:
    case 20:
        return 1;
    case 24:
    case 30:
    case 32:
        return 2;
    default:
        return -1;
    }
}

// The beat lines `Line1` ... `Line8`: the places where a beat may end inside the grid.
inline constexpr int kBeatLineCount = 8;

// The number of steps playback runs before wrapping to step 0. Outside the beginner view it
// is `Beats`; the beginner view never plays more than 12, 16 or 10 steps (for `Interval` 3,
// 4, 5), whatever `Beats` says.
constexpr int playbackLoopLength(int interval, int beats, bool beginner) noexcept
{
    if (!beginner)
        return beats;
    switch (interval) {
    case 3:
        return 12;
    case 5:
        return 10;
    case 4:
        return beats > 16 ? 16 : beats;
    default:
        return beats;
    }
}

}  // namespace taktwerk::pattern
