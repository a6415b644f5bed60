#pragma once
// Where the step grid and what moves with the beginner view stand, in twips (1/1440 inch),
// relative to the grid panel unless said otherwise. The window converts and paints these; the
// sequencer places the play markers with them. Constants only, any thread.

#include "pattern/Pattern.h"

#include <array>

namespace taktwerk::pattern {

inline constexpr int kColumnPitchTwips = 420;
inline constexpr int kColumnWidthTwips = 375;  // leaves a 45-twip gap for the beat lines
inline constexpr int kFirstColumnLeftTwips = 120;

constexpr int columnLeftTwips(int step) noexcept
{
    return kFirstColumnLeftTwips + kColumnPitchTwips * step;
}

// The play markers run through the middle of a column (column 0: 300).
constexpr int markerXTwips(int step) noexcept { return columnLeftTwips(step) + 180; }
inline constexpr int kMarkerHomeXTwips = markerXTwips(0);
inline constexpr int kMarkerWidthTwips = 9;

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

// What the beginner view moves; everything else keeps its place. Window sizes are outer
// sizes, frame included; lefts and tops are in the main window except where named.
struct ViewLayout {
    int gridPanelWidth = 0;
    int gridPanelHeight = 0;
    int windowWidth = 0;
    int windowHeight = 0;
    int tempoPanelLeft = 0;  // picContainer2
    int mutePanelLeft = 0;   // picContainer3
    int ridePadTop = 0;      // cmdRide
    int rideMuteTop = 0;     // chkMute(4), inside picContainer3
    int rideRowTop = 0;      // chkRide, inside the grid panel
};

inline constexpr ViewLayout kFullViewLayout = {13665, 6795, 15990, 8400, 6750,
                                               15030, 4680, 3660,  3720};
// The ride pad, mute and row take the open hi-hat's places (3780, 2760, 2820).
inline constexpr ViewLayout kBeginnerViewLayout = {6975, 3495, 13690, 5100, 4450,
                                                   8340, 3780, 2760,  2820};
// The animation panel and the logo below it only show in the beginner view, both at this left.
inline constexpr int kAnimationLeftTwips = 9200;

constexpr const ViewLayout& viewLayout(bool beginner) noexcept
{
    return beginner ? kBeginnerViewLayout : kFullViewLayout;
}

}  // namespace taktwerk::pattern
