#pragma once
// The meter: steps per beat (`Interval` 3, 4, 5), loop length (`Beats`), the resolution
// options, the grid columns shown and the beat lines, as pure functions and small value types
// that the window only paints. Any thread.

namespace taktwerk::pattern {

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
