#pragma once
// Where the step grid and what moves with the beginner view stand, in twips (1/1440 inch),
// relative to the grid panel unless said otherwise: the beat lines, the play markers and the
// rows the beginner view moves. The window converts and paints these. Constants only, any
// thread.

#include "pattern/Meter.h"
#include "pattern/Pattern.h"

#include <array>

namespace taktwerk::ui::layout {

using pattern::index;
using pattern::kStepCount;
using pattern::kTrackCount;
using pattern::Track;

inline constexpr int kColumnPitchTwips = 420;
inline constexpr int kColumnWidthTwips = 375;  // leaves a 45-twip gap for the beat lines
inline constexpr int kFirstColumnLeftTwips = 120;

constexpr int columnLeftTwips(int step) noexcept
{
    return kFirstColumnLeftTwips + kColumnPitchTwips * step;
}

// The play markers run through a column 180 twips in, near its middle (column 0: 300).
constexpr int markerXTwips(int step) noexcept { return columnLeftTwips(step) + 180; }

// The x of beat line 1 ... 8 at an interval: in the gap after the first Interval * line
// columns. Five steps per beat would put lines 7 and 8 past the last column, so they stand
// after columns 31 and 32 instead, where the five-step meter keeps them hidden.
constexpr int beatLineX(int interval, int line) noexcept
{
    int columnsBefore = interval * line;
    if (interval == 5 && line >= 7)
        columnsBefore = kStepCount - pattern::kBeatLineCount + line;
    // The gap after column c - 1 spans 420 * c + 75 to + 120; the line stands in it at + 90.
    return columnLeftTwips(columnsBefore) - 30;
}

struct RowBox {
    int top = 0;
    int height = 0;
};

// Track order; the crash and tom rows are lower so that all nine fit the full view.
inline constexpr std::array<RowBox, kTrackCount> kRowBoxes = {{
    {120, 495},
    {1020, 495},
    {1920, 495},
    {2820, 495},
    {3720, 495},
    {4530, 345},
    {5130, 345},
    {5730, 345},
    {6300, 345},
}};

// The beginner view hides the open hi-hat row and lifts the ride row into its place, so the
// four rows it keeps fit its shorter panel.
constexpr int rowTopTwips(int track, bool beginner) noexcept
{
    if (beginner && track == index(Track::RideCymbal))
        track = index(Track::OpenHiHat);
    return kRowBoxes[static_cast<std::size_t>(track)].top;
}

// Beat lines: the upper element spans the grid panel, the lower one the black panel behind
// the crash and tom rows, which starts at y 4440 inside the grid panel.
inline constexpr int kBeatLineWidthTwips = 3;
inline constexpr int kUpperLineBottomTwips = 7900;
inline constexpr int kLowerLineBottomTwips = 2280;
struct PanelBox {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
inline constexpr PanelBox kLowerPanelBox = {0, 4440, 13605, 2355};

// What the beginner view moves besides the ride row (rowTopTwips); everything else keeps its
// place. Window sizes are outer sizes, frame included.
struct ViewLayout {
    int gridPanelWidth = 0;
    int gridPanelHeight = 0;
    int windowWidth = 0;
    int windowHeight = 0;
    int tempoPanelLeft = 0;  // picContainer2, in the window
    int mutePanelLeft = 0;   // picContainer3, in the window
    int ridePadTop = 0;      // cmdRide, in the window
    int rideMuteTop = 0;     // chkMute(4), in picContainer3
};

inline constexpr ViewLayout kFullViewLayout = {.gridPanelWidth = 13665,
                                               .gridPanelHeight = 6795,
                                               .windowWidth = 15990,
                                               .windowHeight = 8400,
                                               .tempoPanelLeft = 6750,
                                               .mutePanelLeft = 15030,
                                               .ridePadTop = 4680,
                                               .rideMuteTop = 3660};
// The ride pad and mute take the hidden open hi-hat's places.
inline constexpr ViewLayout kBeginnerViewLayout = {.gridPanelWidth = 6975,
                                                   .gridPanelHeight = 3495,
                                                   .windowWidth = 13690,
                                                   .windowHeight = 5100,
                                                   .tempoPanelLeft = 4450,
                                                   .mutePanelLeft = 8340,
                                                   .ridePadTop = 3780,
                                                   .rideMuteTop = 2760};
// The animation panel and the logo show only in the beginner view, both at this left.
inline constexpr int kAnimationLeftTwips = 9200;

constexpr const ViewLayout& viewLayout(bool beginner) noexcept
{
    return beginner ? kBeginnerViewLayout : kFullViewLayout;
}

}  // namespace taktwerk::ui::layout
