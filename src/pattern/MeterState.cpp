#include "pattern/MeterState.h"

#include <algorithm>
#include <initializer_list>

namespace taktwerk::pattern {

namespace {

constexpr Row stepsFromTo(int first, int last) noexcept
{
    Row steps = 0;
    for (int step = first; step <= last; ++step)
        steps |= Row{1} << step;
    return steps;
}

constexpr int kBass = index(Track::BassDrum);
constexpr int kSnare = index(Track::SnareDrum);
constexpr int kHiHat = index(Track::HiHat);
constexpr int kOpenHiHat = index(Track::OpenHiHat);
constexpr int kRide = index(Track::RideCymbal);

// The rows that the beginner view's narrow panel reaches; the interval shows and hides
// columns 10-15 of them while that view is on.
constexpr std::initializer_list<int> kUpperRows = {kBass, kSnare, kHiHat, kOpenHiHat, kRide};
// The rows the beginner view keeps; its panel ends within column 16, so that column is hidden.
constexpr std::initializer_list<int> kBeginnerRows = {kBass, kSnare, kHiHat, kRide};
constexpr int kBeginnerEdgeStep = 16;

constexpr Row kAllSteps = ~Row{0};

}  // namespace

MeterState::MeterState()
{
    shown_.fill(kAllSteps);
    optInterval_Click(kDefaultInterval - 3, false);
}

void MeterState::show(int track, Row steps, bool shown) noexcept
{
    Row& row = shown_[static_cast<std::size_t>(track)];
    row = shown ? (row | steps) : (row & ~steps);
}

bool MeterState::isInView(int track, int step, bool beginner) const noexcept
{
    if (!isShown(track, step))
        return false;
    if (!beginner)
        return true;
    const bool upperRow =
        std::find(kUpperRows.begin(), kUpperRows.end(), track) != kUpperRows.end();
    return upperRow && step <= kBeginnerEdgeStep;
}

void MeterState::optInterval_Click(int index, bool beginner)
{
    if (index < 0 || index > 2)
        return;

    // The beginner branches below may have hidden these.
    mark(3, BeatLine::Beat);
    mark(5, BeatLine::Beat);

    // Show everything any interval may have hidden, then hide what this one needs hidden.
    // The open hi-hat row stays out of the beginner view whatever the interval.
    for (const int track : kUpperRows) {
        if (!(beginner && track == kOpenHiHat))
            show(track, stepsFromTo(10, 15), true);
    }
    for (int track = 0; track < kTrackCount; ++track) {
        if (!(beginner && track == kOpenHiHat))
            show(track, stepsFromTo(24, 31), true);
    }

    interval_ = index + 3;
    switch (interval_) {
    case 5:
        mark(7, BeatLine::Hidden);
        mark(8, beatLine(7));
        if (beginner) {
            // Two beats of five fill columns 0-9 of the beginner panel's sixteen.
            for (const int track : kUpperRows)
                show(track, stepsFromTo(10, 15), false);
            mark(3, BeatLine::Hidden);
        } else {
            for (int track = 0; track < kTrackCount; ++track)
                show(track, stepsFromTo(30, 31), false);
        }
        break;
    case 4:
        mark(7, BeatLine::Beat);
        break;
    case 3:
        mark(7, BeatLine::Beat);
        mark(8, beatLine(7));
        if (beginner) {
            // Four beats of three fill columns 0-11 of the beginner panel's sixteen.
            for (const int track : kUpperRows)
                show(track, stepsFromTo(12, 15), false);
            mark(5, BeatLine::Hidden);
        } else {
            for (int track = 0; track < kTrackCount; ++track)
                show(track, stepsFromTo(24, 31), false);
        }
        break;
    }

    // Every change of interval leaves a loop of four beats, whatever was selected before.
    optBeats_Click(1);
}

void MeterState::optBeats_Click(int option)
{
    if (option < 0 || option > 2)
        return;

    // Lines 1, 3 and 5 are the interval's to mark: the beginner view may have hidden 3 or 5.
    mark(2, BeatLine::Beat);
    mark(4, BeatLine::Beat);
    mark(6, BeatLine::Beat);
    mark(7, BeatLine::Hidden);
    mark(8, BeatLine::Hidden);
    switch (interval_) {
    case 3:
        mark(7, BeatLine::Beat);
        mark(8, BeatLine::Beat);
        break;
    case 4:
        mark(7, BeatLine::Beat);
        break;
    case 5:
        mark(6, BeatLine::Beat);
        break;
    }

    // The loop's end line stands right after the last step of the loop: after two, four or eight
    // beats, or six beats of five steps, the longest loop a row of 32 steps holds.
    constexpr int endLine[3] = {2, 4, 8};
    mark(interval_ == 5 && option == 2 ? 6 : endLine[option], BeatLine::LoopEnd);
    beatsOption_ = option;
}

void MeterState::selectIntervalOption(int index, bool beginner)
{
    if (index != intervalOption())
        optInterval_Click(index, beginner);
}

void MeterState::selectBeatsOption(int option)
{
    if (option != beatsOption_)
        optBeats_Click(option);
}

void MeterState::enterBeginnerView()
{
    for (const int track : kBeginnerRows)
        show(track, Row{1} << kBeginnerEdgeStep, false);
    show(kOpenHiHat, kAllSteps, false);
}

void MeterState::leaveBeginnerView()
{
    // Only the beginner view hides steps the interval does not govern (column 16, the open
    // hi-hat row), so the full view is: everything shown, then the interval re-applied.
    shown_.fill(kAllSteps);
    optInterval_Click(intervalOption(), false);
}

}  // namespace taktwerk::pattern
