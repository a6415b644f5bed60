#include "pattern/GridState.h"

#include "pattern/BeginnerView.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <string>

namespace taktwerk::pattern {
namespace {

constexpr int kBass = index(Track::BassDrum);
constexpr int kHiHat = index(Track::HiHat);
constexpr int kOpenHiHat = index(Track::OpenHiHat);
constexpr int kRide = index(Track::RideCymbal);
constexpr int kCrash = index(Track::Crash);

Row steps(std::initializer_list<int> on)
{
    Row row = 0;
    for (const int step : on)
        row |= Row{1} << step;
    return row;
}

Row firstSteps(int count) { return count >= kStepCount ? ~Row{0} : (Row{1} << count) - 1; }

// A grid in the full view whose hi-hat plays 0, 2, 4 and open hi-hat 6.
GridState gridWithHiHats()
{
    GridState grid;
    grid.pattern.setRow(kHiHat, steps({0, 2, 4}));
    grid.pattern.setRow(kOpenHiHat, steps({6}));
    return grid;
}

// The columns of a row the user can see, counted from 0 up to the first one not in view.
int columnsInView(const GridState& grid, int track)
{
    int count = 0;
    while (count < kStepCount && grid.meter.isInView(track, count, grid.beginnerView))
        ++count;
    for (int step = count; step < kStepCount; ++step)
        EXPECT_FALSE(grid.meter.isInView(track, step, grid.beginnerView)) << step;
    return count;
}

TEST(BeginnerView, FoldsOpenHiHatIntoHiHatAndPutsTheHiHatRowBack)
{
    GridState grid = gridWithHiHats();
    setBeginnerView(grid, true);
    EXPECT_EQ(grid.pattern.row(kHiHat), steps({0, 2, 4, 6}));
    EXPECT_EQ(grid.pattern.row(kOpenHiHat), steps({6}));
    EXPECT_EQ(grid.HiHatMemory, "X_X_X___________________________");
    EXPECT_EQ(columnsInView(grid, kOpenHiHat), 0);

    setBeginnerView(grid, false);
    EXPECT_EQ(grid.pattern.row(kHiHat), steps({0, 2, 4}));
    EXPECT_EQ(grid.pattern.row(kOpenHiHat), steps({6}));
    EXPECT_EQ(grid.meter.shownRow(kOpenHiHat), ~Row{0});
}

TEST(BeginnerView, AFoldedOpenHiHatKeepsItsVelocityUntilTheViewIsLeft)
{
    GridState grid = gridWithHiHats();
    grid.pattern.setVelocity(kOpenHiHat, 6, 40);  // a ghost open hi-hat
    grid.pattern.setVelocity(kHiHat, 2, 90);      // an accent the fold must not touch
    grid.pattern.setVelocity(kOpenHiHat, 2, 20);  // under a hi-hat hit: the hi-hat's counts
    grid.pattern.setRow(kOpenHiHat, steps({2, 6}));
    setBeginnerView(grid, true);
    EXPECT_EQ(grid.pattern.velocity(kHiHat, 6), 40);
    EXPECT_EQ(grid.pattern.velocity(kHiHat, 2), 90);
    setBeginnerView(grid, false);
    EXPECT_EQ(grid.pattern.row(kHiHat), steps({0, 2, 4}));
    EXPECT_EQ(grid.pattern.velocity(kHiHat, 6), kDefaultVelocity);
    EXPECT_EQ(grid.pattern.velocity(kHiHat, 2), 90);
    EXPECT_EQ(grid.pattern.velocity(kOpenHiHat, 6), 40);
}

TEST(BeginnerView, LeavingRestoresTheHiHatRowAsItWasOnEntry)
{
    GridState grid = gridWithHiHats();
    setBeginnerView(grid, true);
    grid.pattern.SetStep(kHiHat, 8, true);   // added inside the view: lost
    grid.pattern.SetStep(kHiHat, 2, false);  // removed inside the view: comes back
    // Step 6 came only from the open hi-hat and is left on: gone from the hi-hat row.
    setBeginnerView(grid, false);
    EXPECT_EQ(grid.pattern.row(kHiHat), steps({0, 2, 4}));
}

TEST(BeginnerView, SwitchingToTheViewItHasChangesNothing)
{
    // Folding a second time would remember the merged row and never give the original back.
    GridState grid = gridWithHiHats();
    setBeginnerView(grid, true);
    const GridState inView = grid;
    setBeginnerView(grid, true);
    EXPECT_EQ(grid, inView);
    setBeginnerView(grid, false);
    EXPECT_EQ(grid.pattern.row(kHiHat), steps({0, 2, 4}));

    const GridState fullView = grid;
    setBeginnerView(grid, false);
    EXPECT_EQ(grid, fullView);
}

TEST(BeginnerView, ShowsTheIntervalsColumnsOnlyOnceTheIntervalIsAppliedInIt)
{
    struct Case {
        const char* name;
        int intervalBefore;  // option chosen in the full view
        int appliedInView;   // option a load applies inside the view, -1: none
        int columns;         // of the bass, snare, hi-hat and ride rows
    };
    const Case cases[] = {
        {"4", 1, -1, 16},        {"3, not applied", 0, -1, 16}, {"5, not applied", 2, -1, 16},
        {"3 applied", 0, 0, 12}, {"4 applied", 0, 1, 16},       {"5 applied", 1, 2, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GridState grid;
        grid.meter.optInterval_Click(c.intervalBefore, false);
        setBeginnerView(grid, true);
        if (c.appliedInView >= 0)
            grid.meter.optInterval_Click(c.appliedInView, true);
        for (const int track : {kBass, index(Track::SnareDrum), kHiHat, kRide})
            EXPECT_EQ(columnsInView(grid, track), c.columns);
        EXPECT_EQ(columnsInView(grid, kOpenHiHat), 0);
        EXPECT_EQ(columnsInView(grid, kCrash), 0);
    }
}

TEST(BeginnerView, ALoadThatKeepsTheIntervalDoesNotReLayTheGrid)
{
    GridState grid;
    grid.meter.optInterval_Click(0, false);
    grid.meter.optBeats_Click(2);
    setBeginnerView(grid, true);
    grid.meter.selectIntervalOption(0, true);
    EXPECT_EQ(columnsInView(grid, kBass), 16);
    EXPECT_EQ(grid.meter.Beats(), 24);
    grid.meter.selectIntervalOption(2, true);
    grid.meter.selectBeatsOption(0);
    EXPECT_EQ(columnsInView(grid, kBass), 10);
    EXPECT_EQ(grid.meter.Beats(), 10);
}

TEST(BeginnerView, HiddenLinesSurviveLoopChangesUntilTheViewIsLeft)
{
    GridState grid;
    setBeginnerView(grid, true);
    grid.meter.optInterval_Click(2, true);
    EXPECT_EQ(grid.meter.beatLine(3), BeatLine::Hidden);
    grid.meter.optBeats_Click(0);
    EXPECT_EQ(grid.meter.beatLine(3), BeatLine::Hidden);
    grid.meter.optInterval_Click(0, true);
    EXPECT_EQ(grid.meter.beatLine(3), BeatLine::Beat);
    EXPECT_EQ(grid.meter.beatLine(5), BeatLine::Hidden);

    setBeginnerView(grid, false);
    EXPECT_EQ(grid.meter.beatLine(5), BeatLine::Beat);
}

TEST(BeginnerView, LeavingReappliesTheIntervalInTheFullView)
{
    struct Case {
        int interval;
        int beatsOption;  // chosen before entering
        int columns;
        int beats;
    };
    const Case cases[] = {{3, 2, 24, 12}, {4, 2, 32, 16}, {5, 0, 30, 20}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.interval);
        GridState grid;
        grid.meter.optInterval_Click(c.interval - 3, false);
        grid.meter.optBeats_Click(c.beatsOption);
        setBeginnerView(grid, true);
        setBeginnerView(grid, false);
        for (int track = 0; track < kTrackCount; ++track)
            EXPECT_EQ(grid.meter.shownRow(track), firstSteps(c.columns)) << track;
        EXPECT_EQ(grid.meter.beatsOption(), 1);
        EXPECT_EQ(grid.meter.Beats(), c.beats);
    }
}

TEST(BeginnerView, ALoadRemembersTheLoadedHiHatOnlyInTheView)
{
    Pattern pattern;
    pattern.PatternToRow(kOpenHiHat, "__X");
    std::string HiHatMemory = "stale";
    mergeLoadedHiHat(pattern, HiHatMemory, false);
    EXPECT_EQ(HiHatMemory, "");
    EXPECT_EQ(pattern.row(kHiHat), 0u);

    mergeLoadedHiHat(pattern, HiHatMemory, true);
    EXPECT_EQ(pattern.row(kHiHat), steps({2}));
    EXPECT_EQ(HiHatMemory, std::string(32, '_'));
}

TEST(NewRhythm, ClearsStepsAndMutesAndKeepsTheInterval)
{
    GridState grid;
    grid.meter.optInterval_Click(0, false);
    grid.meter.optBeats_Click(2);
    const Row shownBass = grid.meter.shownRow(kBass);
    ASSERT_TRUE(grid.mutes.isMuted(kRide));

    NewRhythm(grid);
    EXPECT_EQ(grid.pattern, Pattern{});
    EXPECT_EQ(grid.mutes, Mutes{});
    EXPECT_EQ(grid.meter.Interval(), 3);
    EXPECT_EQ(grid.meter.Beats(), 12);
    EXPECT_EQ(grid.meter.optionBeats(0), 6);
    EXPECT_EQ(grid.meter.optionBeats(2), 24);
    EXPECT_EQ(grid.meter.beatLine(4), BeatLine::LoopEnd);
    EXPECT_EQ(grid.meter.shownRow(kBass), shownBass);
    EXPECT_EQ(grid.HiHatMemory, "");
}

TEST(NewRhythm, InTheBeginnerViewForgetsTheOldHiHatRow)
{
    GridState grid = gridWithHiHats();
    setBeginnerView(grid, true);
    NewRhythm(grid);
    EXPECT_TRUE(grid.beginnerView);
    EXPECT_EQ(grid.HiHatMemory, std::string(32, '_'));
    setBeginnerView(grid, false);
    EXPECT_EQ(grid.pattern, Pattern{});
}

}  // namespace
}  // namespace taktwerk::pattern
