#pragma once
// Where every control of the main window stands and how it looks, in twips (1/1440 inch) and
// RGB as the rhythm files' original window was designed. The window converts at 15 twips per
// pixel (96 dpi at 100 % scale); Qt's device-pixel ratio does the rest on bigger screens.
// Constants only; any thread.

#include "core/Language.h"
#include "pattern/Pattern.h"
#include "ui/GridGeometry.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace taktwerk::ui::layout {

inline constexpr int kTwipsPerPixel = 15;

struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Rounds to the nearest pixel; positions and sizes are rounded separately, as the original
// toolkit did, so a control never drifts by more than half a pixel from its twips.
constexpr int px(int twips) noexcept { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

// Font sizes in points at 96 dpi become pixels: 8.25 pt is 11 px, 15.75 pt is 21 px.
inline int fontPixels(double points) noexcept
{
    return static_cast<int>(std::lround(points * 96.0 / 72.0));
}

using Rgb = std::uint32_t;  // 0xRRGGBB

// Window: the view's outer sizes (GridGeometry.h) include a frame of 105 x 420 twips
// (border and caption bar), so the client area is the outer size less that frame: 15885 x
// 7980 in the full view, as the window was designed, and 13585 x 4680 in the beginner view.
inline constexpr int kFrameWidthTw = 105;
inline constexpr int kFrameHeightTw = 420;
inline constexpr Rgb kWindowColour = 0x808080;
inline constexpr int kPanelBorderPixels = 2;  // picBack's sunken border

// Top band.
inline constexpr TwipsRect kFiles{120, 120, 1110, 450};
inline constexpr TwipsRect kSettings{120, 660, 1095, 360};
inline constexpr TwipsRect kMode{1320, 90, 1095, 435};
inline constexpr TwipsRect kIntro{1320, 690, 825, 285};
inline constexpr TwipsRect kIntervalFrame{2430, 150, 1935, 855};
inline constexpr std::array<TwipsRect, 3> kIntervalOptions{
    {{210, 330, 465, 285}, {795, 330, 465, 285}, {1350, 330, 435, 285}}};
inline constexpr TwipsRect kBeatFrame{4470, 150, 2280, 855};
inline constexpr std::array<TwipsRect, 3> kBeatsOptions{
    {{210, 330, 585, 315}, {870, 330, 585, 315}, {1620, 330, 555, 315}}};
inline constexpr TwipsRect kContainer2{6750, 60, 9075, 1005};
inline constexpr TwipsRect kBpmFrame{90, 90, 4560, 855};
inline constexpr TwipsRect kBpmDisplay{120, 180, 4335, 585};  // Label3
inline constexpr TwipsRect kBpmLabel{735, 120, 3135, 405};
inline constexpr TwipsRect kTempoBar{180, 450, 4215, 255};
inline constexpr TwipsRect kTap{4770, 45, 2055, 900};
inline constexpr TwipsRect kRun{6975, 45, 2055, 900};

inline constexpr Rgb kFilesColour = 0xC0C0FF;
inline constexpr Rgb kSettingsColour = 0xFFFFC0;

// Pads: left 120, width 1095.
inline constexpr int kPadLeft = 120;
inline constexpr int kPadWidth = 1095;
struct PadLook {
    int top = 0;
    int height = 0;
    const char* caption = "";  // in English; the toms' show their sample's name instead
    Rgb colour = 0;
    bool changeable = false;  // its sample can be changed by a right click (snare, ride, toms)
};
inline constexpr std::array<PadLook, pattern::kTrackCount> kPads{{
    {1110, 765, core::translatable("Bass Drum"), 0xE0E0E0, false},
    {1980, 795, core::translatable(" Snare Drum"), 0xC0C0C0, true},
    {2880, 795, core::translatable("Hi Hat"), 0xE0E0E0, false},
    {3780, 795, core::translatable("   Open    Hi Hat"), 0xE0E0E0, false},
    {4680, 795, core::translatable("Ride Cymbal"), 0xC0C0C0, true},
    {5580, 495, core::translatable("Crash"), 0xE0E0E0, false},
    {6180, 495, "Tom 1", 0xC0C0C0, true},
    {6780, 495, "Tom 2", 0xC0C0C0, true},
    {7380, 495, "Tom 3", 0xC0C0C0, true},
}};

// Grid panel (picBack) in the window; the grid inside it is in GridGeometry.h.
inline constexpr TwipsRect kBack{1320, 1095, 13665, 6795};
inline constexpr int kLinePixels = 3;    // beat lines are 3 pixels wide
inline constexpr int kMarkerPixels = 9;  // the play-position markers are 9 pixels wide

// Mutes.
inline constexpr TwipsRect kContainer3{15030, 1200, 825, 6675};
inline constexpr int kMuteLeft = 30;
inline constexpr int kMuteWidth = 735;
inline constexpr std::array<int, pattern::kTrackCount> kMuteTops{60,   960,  1860, 2760, 3660,
                                                                 4440, 5040, 5640, 6210};
inline constexpr std::array<int, pattern::kTrackCount> kMuteHeights{480, 480, 480, 480, 480,
                                                                    360, 360, 360, 360};

// The groove strip: swing, the velocity for new steps and the master volume, in a strip of
// its own below the designed window, which grows by its height (39 pixels at 100 %) and keeps
// every other control where it was. Groups are placed in the strip, their parts in the group.
inline constexpr int kGrooveStripHeight = 585;
inline constexpr int kGrooveLabelTop = 150;  // captions and values, 285 high
inline constexpr int kGrooveLabelHeight = 285;
inline constexpr int kGrooveBarTop = 165;  // scroll bars as tall as the tempo bar
inline constexpr int kGrooveBarHeight = 255;
struct GrooveGroup {
    int left = 0;          // in the strip, full view
    int beginnerLeft = 0;  // in the strip, beginner view; 0: not shown there
    int width = 0;
    TwipsRect caption;
    TwipsRect bar;
    TwipsRect value;
};
inline constexpr GrooveGroup kSwingGroup{
    120, 120, 5580, {0, 150, 720, 285}, {720, 165, 2400, 255}, {3180, 150, 660, 285}};
inline constexpr std::array<TwipsRect, 2> kSwingNoteOptions{
    {{3900, 135, 840, 315}, {4740, 135, 840, 315}}};
inline constexpr GrooveGroup kNewVelocityGroup{
    6000, 0, 4800, {0, 150, 2400, 285}, {2400, 165, 1800, 255}, {4260, 150, 540, 285}};
inline constexpr GrooveGroup kVolumeGroup{
    11160, 6000, 4200, {0, 150, 900, 285}, {900, 165, 2400, 255}, {3360, 150, 840, 285}};

// REC: a toggle at the groove strip's right end, in either view; lit while it records.
inline constexpr int kRecordLeft = 15390;
inline constexpr int kRecordBeginnerLeft = 13090;
inline constexpr TwipsRect kRecordButton{0, 105, 450, 375};  // left from the two above
inline constexpr Rgb kRecordOnColour = 0xFF0000;
inline constexpr Rgb kRecordOffColour = 0xC0C0C0;

// Beginner view artwork. The logo and the animation stand one above the other right of the
// mute toggles, filling the client height below the pads' top exactly (975 + 2595 twips).
inline constexpr TwipsRect kAnimation{kAnimationLeftTwips, 2085, 4305, 2595};
inline constexpr TwipsRect kLogo{kAnimationLeftTwips, 1110, 4320, 975};
inline constexpr int kAnimationFrameWidth = 2115;
inline constexpr int kAnimationFrameHeight = 2535;

}  // namespace taktwerk::ui::layout
