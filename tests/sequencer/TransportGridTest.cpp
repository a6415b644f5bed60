#include "sequencer/TransportGrid.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

// Where a shared transport puts the steps of a block: from a timebase master's bar, beat and
// tick, or from the frame position at our tempo.
namespace taktwerk::sequencer {
namespace {

constexpr std::uint32_t kRate = 48000;

BarBeatTick at(int bar, int beat, int tick, double bpm = 120.0)
{
    return {.bar = bar,
            .beat = beat,
            .tick = tick,
            .ticksPerBeat = 1920.0,
            .beatsPerBar = 4.0,
            .beatsPerMinute = bpm};
}

TEST(TransportGrid, BarBeatAndTickGiveTheStepAndWhereItFalls)
{
    const struct {
        BarBeatTick position;
        int interval;
        std::int64_t framesBefore;
        std::int64_t firstStep;
        std::int64_t offset;  // of the first step, frames after the block's first frame
    } cases[] = {
        {at(1, 1, 0), 4, 0, 0, 0},             // the origin: step 0 on the first frame
        {at(2, 3, 0), 4, 0, 24, 0},            // bar 2 beat 3: six beats of four steps
        {at(2, 3, 0), 3, 0, 18, 0},            // three steps a beat
        {at(1, 1, 960), 4, 0, 2, 0},           // half a beat: two steps in, exactly
        {at(1, 1, 1), 4, 0, 1, 5988},          // just past step 0: step 1, almost a step on
        {at(1, 1, 0), 4, 100, 1, 5900},        // true 100 frames before the block
        {at(1, 1, 0), 4, -100, 0, 100},        // true 100 frames into it
        {at(3, 1, 0, 97.0), 4, 0, 32, 0},      // another tempo, the same place
        {at(1, 2, 480, 60.0), 5, 0, 7, 7200},  // 1.25 beats of 5 steps: 6.25, step 7 at 0.75
    };
    for (const auto& c : cases) {
        const auto grid =
            TransportGrid::fromBarBeatTick(c.position, c.interval, kRate, c.framesBefore);
        ASSERT_TRUE(grid.has_value());
        EXPECT_EQ(grid->firstStep(), c.firstStep)
            << c.position.bar << "|" << c.position.beat << "|" << c.position.tick;
        EXPECT_EQ(grid->offsetOf(grid->firstStep()), c.offset) << c.position.tick;
        EXPECT_TRUE(grid->fromMaster());
    }
    const auto grid = TransportGrid::fromBarBeatTick(at(1, 1, 0, 97.0), 4, kRate, 0);
    ASSERT_TRUE(grid);
    EXPECT_DOUBLE_EQ(grid->stepFrames(), 60.0 * kRate / (97.0 * 4));
    EXPECT_DOUBLE_EQ(grid->tempoBpm(), 97.0);
    EXPECT_EQ(grid->offsetOf(100), std::llround(100 * 60.0 * kRate / (97.0 * 4)));
}

TEST(TransportGrid, NonsenseFromAMasterIsIgnored)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    BarBeatTick cases[] = {
        {.bar = 1,
         .beat = 1,
         .tick = 0,
         .ticksPerBeat = 0,
         .beatsPerBar = 4,
         .beatsPerMinute = 120},
        {.bar = 1,
         .beat = 0,
         .tick = 0,
         .ticksPerBeat = 1920,
         .beatsPerBar = 4,
         .beatsPerMinute = 120},
        {.bar = 0,
         .beat = 1,
         .tick = 0,
         .ticksPerBeat = 1920,
         .beatsPerBar = 4,
         .beatsPerMinute = 120},
        {.bar = -5,
         .beat = 1,
         .tick = 0,
         .ticksPerBeat = 1920,
         .beatsPerBar = 4,
         .beatsPerMinute = 120},
        {.bar = 1,
         .beat = -1,
         .tick = 0,
         .ticksPerBeat = 1920,
         .beatsPerBar = 4,
         .beatsPerMinute = 120},
        {.bar = 1,
         .beat = 6,
         .tick = 0,
         .ticksPerBeat = 1920,
         .beatsPerBar = 4,
         .beatsPerMinute = 120},
        {.bar = 1,
         .beat = 1,
         .tick = -1,
         .ticksPerBeat = 1920,
         .beatsPerBar = 4,
         .beatsPerMinute = 120},
        {.bar = 1,
         .beat = 1,
         .tick = 1920,
         .ticksPerBeat = 1920,
         .beatsPerBar = 4,
         .beatsPerMinute = 120},
        {.bar = 1,
         .beat = 1,
         .tick = 0,
         .ticksPerBeat = -1920,
         .beatsPerBar = 4,
         .beatsPerMinute = 120},
        {.bar = 1,
         .beat = 1,
         .tick = 0,
         .ticksPerBeat = nan,
         .beatsPerBar = 4,
         .beatsPerMinute = 120},
        {.bar = 1,
         .beat = 1,
         .tick = 0,
         .ticksPerBeat = 1920,
         .beatsPerBar = 0,
         .beatsPerMinute = 120},
        {.bar = 1,
         .beat = 1,
         .tick = 0,
         .ticksPerBeat = 1920,
         .beatsPerBar = nan,
         .beatsPerMinute = 120},
        {.bar = 1,
         .beat = 1,
         .tick = 0,
         .ticksPerBeat = 1920,
         .beatsPerBar = infinity,
         .beatsPerMinute = 120},
        {.bar = 1,
         .beat = 1,
         .tick = 0,
         .ticksPerBeat = 1920,
         .beatsPerBar = 4,
         .beatsPerMinute = nan},
        {.bar = 1,
         .beat = 1,
         .tick = 0,
         .ticksPerBeat = 1920,
         .beatsPerBar = 4,
         .beatsPerMinute = 0},
        {.bar = 1,
         .beat = 1,
         .tick = 0,
         .ticksPerBeat = 1920,
         .beatsPerBar = 4,
         .beatsPerMinute = -120},
        {.bar = 1,
         .beat = 1,
         .tick = 0,
         .ticksPerBeat = 1920,
         .beatsPerBar = 4,
         .beatsPerMinute = infinity},
        {.bar = 1,
         .beat = 1,
         .tick = 0,
         .ticksPerBeat = 1920,
         .beatsPerBar = 4,
         .beatsPerMinute = 1e9},
        // Bars and beats too many to count steps in.
        {.bar = 2147483647,
         .beat = 1,
         .tick = 0,
         .ticksPerBeat = 1920,
         .beatsPerBar = 1e6,
         .beatsPerMinute = 120},
    };
    for (const BarBeatTick& c : cases)
        EXPECT_FALSE(TransportGrid::fromBarBeatTick(c, 4, kRate, 0))
            << c.bar << "|" << c.beat << "|" << c.tick << " " << c.ticksPerBeat << " "
            << c.beatsPerBar << " " << c.beatsPerMinute;
    EXPECT_FALSE(TransportGrid::fromBarBeatTick(at(1, 1, 0), 0, kRate, 0)) << "no interval";
    EXPECT_FALSE(TransportGrid::fromBarBeatTick(at(1, 1, 0), 4, kRate,
                                                std::numeric_limits<std::int64_t>::min()));
    // A large but countable position still works, far from the origin.
    const auto far = TransportGrid::fromBarBeatTick(at(1000000, 1, 0), 4, kRate, 0);
    ASSERT_TRUE(far);
    EXPECT_EQ(far->firstStep(), 999999LL * 16);
}

TEST(TransportGrid, WithoutAMasterTheFramePositionAtOurTempoGivesTheStep)
{
    // 97 BPM: a step is 15 * 48000 / 97 = 7422.68 frames, step n at round-half-up of n times it.
    const auto stepFrame = [](std::uint64_t n) { return (2 * n * 15 * kRate + 97) / (2 * 97); };
    const struct {
        std::uint64_t frame;
        std::int64_t firstStep;
    } cases[] = {{0, 0},
                 {1, 1},
                 {stepFrame(1), 1},
                 {stepFrame(1) + 1, 2},
                 {stepFrame(1000), 1000},
                 {stepFrame(1000) - 1, 1000},
                 {4294967295u, 578628}};
    for (const auto& c : cases) {
        const TransportGrid grid = TransportGrid::fromFrame(c.frame, 97, kRate);
        const std::int64_t first = grid.firstStep();
        EXPECT_EQ(first, c.firstStep) << c.frame;
        const auto n = static_cast<std::uint64_t>(first);
        EXPECT_EQ(grid.offsetOf(first), static_cast<std::int64_t>(stepFrame(n) - c.frame));
        if (first > 0) {
            EXPECT_LT(grid.offsetOf(first - 1), 0) << "the step before lies before the block";
        }
        EXPECT_FALSE(grid.fromMaster());
    }
}

TEST(TransportGrid, AGridCarriedOnAgreesWithTheMasterOnlyToWithinATick)
{
    const auto start = TransportGrid::fromBarBeatTick(at(1, 1, 0, 97.0), 4, kRate, 0);
    ASSERT_TRUE(start);
    // 10000 frames on: 97 * 10000 / (60 * 48000) beats, published as whole ticks.
    const double beats = 97.0 * 10000 / (60.0 * kRate);
    const int tick = static_cast<int>((beats - std::floor(beats)) * 1920);
    const auto fresh = TransportGrid::fromBarBeatTick(at(1, 1, tick, 97.0), 4, kRate, 0);
    ASSERT_TRUE(fresh);
    const TransportGrid carried = start->movedOn(10000);
    EXPECT_TRUE(carried.agreesWith(*fresh));
    EXPECT_NE(carried.offsetOf(1), fresh->offsetOf(1)) << "the carried grid is the exact one";
    EXPECT_EQ(carried.offsetOf(1), std::llround(60.0 * kRate / (97.0 * 4)) - 10000);
    const auto relocated = TransportGrid::fromBarBeatTick(at(1, 2, tick, 97.0), 4, kRate, 0);
    const auto faster = TransportGrid::fromBarBeatTick(at(1, 1, tick, 98.0), 4, kRate, 0);
    EXPECT_FALSE(carried.agreesWith(*relocated));
    EXPECT_FALSE(carried.agreesWith(*faster));
    EXPECT_FALSE(carried.agreesWith(TransportGrid::fromFrame(10000, 97, kRate)));
    // Without a master the frames say it all.
    const TransportGrid own = TransportGrid::fromFrame(500, 120, kRate);
    EXPECT_TRUE(own.movedOn(256).agreesWith(TransportGrid::fromFrame(756, 120, kRate)));
    EXPECT_FALSE(own.movedOn(256).agreesWith(TransportGrid::fromFrame(757, 120, kRate)));
}

TEST(TransportGrid, WhatWePublishAsMasterIsReadBackAsTheSameStep)
{
    const struct {
        double bpm;
        double beatsPerBar;
        std::uint64_t frame;
        int bar, beat, tick;
    } cases[] = {
        {120.0, 4.0, 0, 1, 1, 0},
        {120.0, 4.0, 24000, 1, 2, 0},              // half a second: the second beat
        {120.0, 4.0, 24000 * 4, 2, 1, 0},          // the second bar
        {120.0, 4.0, 12000, 1, 1, 960},            // half a beat
        {160.0, 4.0, 18000, 1, 2, 0},              // 120 BPM at three steps a beat
        {120.0, 2.5, 24000 * 3, 2, 1, 960},        // a loop of 10 steps at four a beat
        {97.0, 4.0, 4294967295u, 36165, 1, 1698},  // the JACK frame counter's last frame
    };
    for (const auto& c : cases) {
        const BarBeatTick published = barBeatTickAt(c.frame, c.bpm, c.beatsPerBar, kRate);
        EXPECT_EQ(published.bar, c.bar) << c.frame;
        EXPECT_EQ(published.beat, c.beat) << c.frame;
        EXPECT_EQ(published.tick, c.tick) << c.frame;
        EXPECT_EQ(published.ticksPerBeat, kTicksPerBeat);
        // Read back, it places the steps where our own clock does, to within a tick.
        const auto grid = TransportGrid::fromBarBeatTick(published, 4, kRate, 0);
        ASSERT_TRUE(grid) << c.frame;
        const double steps = static_cast<double>(c.frame) * c.bpm * 4 / (60.0 * kRate);
        EXPECT_NEAR(static_cast<double>(grid->firstStep()), std::ceil(steps - 1e-9), 1.0);
    }
    // Nothing to tell without a tempo or a bar: bar 1, beat 1, never a division by zero.
    for (const auto& [bpm, bar] : {std::pair{0.0, 4.0}, std::pair{120.0, 0.0},
                                   std::pair{std::numeric_limits<double>::quiet_NaN(), 4.0}}) {
        const BarBeatTick published = barBeatTickAt(48000, bpm, bar, kRate);
        EXPECT_EQ(published.bar, 1);
        EXPECT_EQ(published.beat, 1);
        EXPECT_EQ(published.tick, 0);
    }
}

TEST(TransportGrid, TheStepCountWrapsIntoTheLoop)
{
    EXPECT_EQ(stepInLoop(0, 16), 0);
    EXPECT_EQ(stepInLoop(24, 16), 8);
    EXPECT_EQ(stepInLoop(-1, 16), 15);
    EXPECT_EQ(stepInLoop(1000000000000LL, 12), static_cast<int>(1000000000000LL % 12));
    EXPECT_EQ(stepInLoop(5, 0), 0);
}

}  // namespace
}  // namespace taktwerk::sequencer
