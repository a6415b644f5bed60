#pragma once
// The meter as the window shows it: `Interval`, `Beats`, the selected options and their
// captions, the eight beat lines, and which step toggles are shown. A value owned with the
// pattern by the drum machine on the GUI thread; the window only paints it.
//
// What is shown depends on the path taken, not only on the current values: entering the
// beginner view does not re-apply the interval, so its columns stay as they were until
// optInterval_Click next runs. Hence shown columns are kept as state, not derived.

#include "pattern/Colours.h"
#include "pattern/Meter.h"
#include "pattern/Pattern.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace taktwerk::pattern {

enum class LineLook : std::uint8_t { Grey, Hidden, Yellow };

// Element 0 of a beat line stands in the grid panel, element 1 in the black panel below it;
// "hidden" is each panel's own colour.
constexpr Colour lineColour(LineLook look, int element) noexcept
{
    switch (look) {
    case LineLook::Grey:
        return element == 0 ? kBeatLineGreyUpper : kBeatLineGreyLower;
    case LineLook::Hidden:
        return element == 0 ? kGridPanelColour : kLowerPanelColour;
    case LineLook::Yellow:
        break;
    }
    return kLoopEndLineColour;
}

class MeterState {
public:
    // As the window is created: "4" and "16" selected, every step of every row shown.
    MeterState();

    int Interval() const noexcept { return interval_; }
    int Beats() const noexcept { return loopLengthFor(interval_, beatsOption_); }
    int intervalOption() const noexcept { return interval_ - 3; }
    int beatsOption() const noexcept { return beatsOption_; }
    std::string_view beatsCaption(int option) const noexcept
    {
        return optionCaption(interval_, option);
    }

    // Lines are numbered 1 ... 8 as `Line1` ... `Line8`; both elements share one x.
    int lineX(int line) const noexcept { return beatLineX(interval_, line); }
    LineLook lineLook(int line) const noexcept { return looks_[slot(line)]; }
    Colour lineColour(int line, int element) const noexcept
    {
        return pattern::lineColour(lineLook(line), element);
    }

    bool isShown(int track, int step) const noexcept { return (shownRow(track) >> step) & 1u; }
    Row shownRow(int track) const noexcept { return shown_[static_cast<std::size_t>(track)]; }
    // Shown and not clipped away by the grid panel of the view: what the user can see.
    bool isInView(int track, int step, bool beginner) const noexcept;

    // The user (or a load, or leaving the beginner view) chose interval option 0, 1, 2 for 3,
    // 4, 5 steps per beat. Resets the loop to option 1. Other indices change nothing.
    void optInterval_Click(int index, bool beginner);
    // The user (or a new rhythm, or a load) chose resolution option 0, 1 or 2.
    void optBeats_Click(int option);

    // Selecting an option from code raises its click only when the selection changes; loads
    // rely on this, so a load that keeps the interval does not re-lay the grid.
    void selectIntervalOption(int index, bool beginner);
    void selectBeatsOption(int option);

    // The shown toggles as the beginner view comes and goes; the pattern side is in
    // BeginnerView.h. Leaving re-applies the interval, which resets the loop to option 1.
    void enterBeginnerView();
    void leaveBeginnerView();

    friend bool operator==(const MeterState&, const MeterState&) = default;

private:
    static std::size_t slot(int line) noexcept { return static_cast<std::size_t>(line - 1); }
    void paint(int line, LineLook look) noexcept { looks_[slot(line)] = look; }
    void show(int track, Row steps, bool shown) noexcept;

    int interval_ = kDefaultInterval;
    int beatsOption_ = 1;
    std::array<LineLook, kBeatLineCount> looks_{};
    std::array<Row, kTrackCount> shown_{};
};

}  // namespace taktwerk::pattern
