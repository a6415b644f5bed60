#pragma once
// The meter as the window shows it: `Interval`, `Beats`, the selected options, what each of the
// eight beat lines marks, and which step toggles are shown. A value owned with the pattern by
// the drum machine on the GUI thread; the window only paints it.
//
// What is shown depends on the path taken, not only on the current values: entering the
// beginner view does not re-apply the interval, so its columns stay as they were until
// optInterval_Click next runs. Hence shown columns are kept as state, not derived.

#include "pattern/Meter.h"
#include "pattern/Pattern.h"

#include <array>
#include <cstdint>

namespace taktwerk::pattern {

// What a beat line marks: a beat inside the loop, nothing (the line is not seen), or the end
// of the loop.
enum class BeatLine : std::uint8_t { Beat, Hidden, LoopEnd };

class MeterState {
public:
    // As the window is created: "4" and "16" selected, every step of every row shown.
    MeterState();

    int Interval() const noexcept { return interval_; }
    int Beats() const noexcept { return loopLengthFor(interval_, beatsOption_); }
    int intervalOption() const noexcept { return interval_ - 3; }
    int beatsOption() const noexcept { return beatsOption_; }
    // The loop length that resolution option 0, 1 or 2 gives at the current interval.
    int optionBeats(int option) const noexcept { return loopLengthFor(interval_, option); }

    // Lines are numbered 1 ... 8 as `Line1` ... `Line8`.
    BeatLine beatLine(int line) const noexcept { return lines_[slot(line)]; }

    bool isShown(int track, int step) const noexcept { return (shownRow(track) >> step) & 1u; }
    Row shownRow(int track) const noexcept { return shown_[static_cast<std::size_t>(track)]; }
    // Shown and inside the view (the beginner view reaches only the first five rows and the
    // first 17 columns): what the user can see.
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
    void mark(int line, BeatLine what) noexcept { lines_[slot(line)] = what; }
    void show(int track, Row steps, bool shown) noexcept;

    int interval_ = kDefaultInterval;
    int beatsOption_ = 1;
    std::array<BeatLine, kBeatLineCount> lines_{};
    std::array<Row, kTrackCount> shown_{};
};

}  // namespace taktwerk::pattern
