#include "sequencer/StepClock.h"

#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>

namespace taktwerk::sequencer {
namespace {

constexpr std::uint32_t kRates[] = {44100, 48000};
constexpr int kTempos[] = {35, 97, 120, 333, 450};
constexpr std::int64_t kStepsPerBeat = 4;
constexpr std::int64_t kMinutes = 10;

// The nearest frame to the exact time num / den frames, halves up.
std::int64_t nearestFrame(std::int64_t num, std::int64_t den)
{
    return (2 * num + den) / (2 * den);
}

std::int64_t due(const StepClock& clock) { return static_cast<std::int64_t>(clock.dueFrame()); }

TEST(StepClock, EveryStepOfTenMinutesLandsOnItsExactFrame)
{
    for (const std::uint32_t rate : kRates) {
        for (const int tempo : kTempos) {
            StepClock clock(rate);
            clock.restart(0, tempo);
            const std::int64_t steps = kMinutes * tempo * kStepsPerBeat;
            for (std::int64_t n = 0; n < steps; ++n) {
                ASSERT_EQ(due(clock), nearestFrame(n * 15 * rate, tempo))
                    << rate << " Hz, " << tempo << " BPM, step " << n;
                clock.advance(tempo);
            }
            // No drift: ten minutes of steps end exactly ten minutes of frames later.
            EXPECT_EQ(due(clock), kMinutes * 60 * rate) << rate << " Hz, " << tempo << " BPM";
        }
    }
}

TEST(StepClock, TempoChangeTakesEffectFromTheNextStepAndRoundsOnlyOnce)
{
    constexpr std::int64_t rate = 44100;
    constexpr std::int64_t frames = 15 * rate;
    for (const int from : kTempos) {
        for (const int to : kTempos) {
            StepClock clock(rate);
            clock.restart(0, from);
            constexpr std::int64_t before = 37;  // steps at the old tempo
            for (std::int64_t n = 0; n < before; ++n)
                clock.advance(from);
            EXPECT_EQ(due(clock), nearestFrame(before * frames, from))
                << "the step read at the old tempo still takes its length";

            // Exact times from here: (before / from + k / to) steps, over from * to.
            const std::int64_t den = std::int64_t{from} * to;
            for (std::int64_t k = 1; k <= kMinutes * to * kStepsPerBeat; ++k) {
                clock.advance(to);
                const std::int64_t exact = before * frames * to + k * frames * from;
                // Within half a frame of the exact time, plus the one rescale (< 1/70 frame).
                ASSERT_LE(std::llabs(70 * (2 * due(clock) * den - 2 * exact)), 70 * den + 2 * den)
                    << from << " -> " << to << " BPM, step " << k;
            }
        }
    }
}

TEST(StepClock, TempoChangesRoundOnceEachAndSteadyStepsAddNothing)
{
    constexpr std::int64_t rate = 48000;
    StepClock clock(rate);
    clock.restart(1000, 120);
    // A tempo ride, changing at every step, then back to 120 for good.
    for (int n = 0; n < 10000; ++n)
        clock.advance(n % 2 == 0 ? 97 : 333);
    const std::int64_t settled = due(clock);
    // Each pair of steps lasts 15 * rate * (1/97 + 1/333) frames exactly.
    const std::int64_t exact =
        nearestFrame(1000 * 97 * 333 + 5000 * 15 * rate * (333 + 97), 97 * 333);
    EXPECT_LE(70 * std::llabs(settled - exact), 10000 + 70) << "each change under 1/70 frame";

    for (int n = 0; n < 4800; ++n)
        clock.advance(120);
    EXPECT_EQ(due(clock) - settled, 4800 * 15 * rate / 120);
}

TEST(StepClock, SwungHitsLandOnTheirExactFrameAndNeverPastTheNextStep)
{
    for (const std::uint32_t rate : kRates) {
        for (const int tempo : {35, 120, 450}) {
            for (const int delay : {1, 8, 25, 33, 50}) {  // fiftieths of a step
                StepClock clock(rate);
                clock.restart(0, tempo);
                for (std::int64_t n = 0; n < 4000; ++n) {
                    const auto swung = static_cast<std::int64_t>(clock.swungFrame(tempo, delay));
                    // round-half-up(n * 15 * rate / tempo + delay / 50 * 15 * rate / tempo)
                    ASSERT_EQ(swung, nearestFrame((50 * n + delay) * 15 * rate, 50 * tempo))
                        << rate << " Hz, " << tempo << " BPM, delay " << delay << ", step " << n;
                    EXPECT_EQ(clock.swungFrame(tempo, 0), clock.dueFrame());
                    clock.advance(tempo);
                    ASSERT_LE(swung, due(clock)) << "a whole step late is the next step's frame";
                }
            }
        }
    }
}

TEST(StepClock, ASwungStepMeasuresItsDelayAtTheTempoReadAtThatStep)
{
    constexpr std::int64_t rate = 48000;
    for (const int from : kTempos) {
        for (const int to : kTempos) {
            StepClock clock(rate);
            clock.restart(0, from);
            for (int n = 0; n < 37; ++n)
                clock.advance(from);
            // Step 37 was due at the old tempo; read at it, the new tempo sets its length.
            const std::int64_t exact2x = 2 * 37 * 15 * rate * 50 * to + 2 * 25 * 15 * rate * from;
            const std::int64_t den = std::int64_t{50} * from * to;
            const auto swung = static_cast<std::int64_t>(clock.swungFrame(to, 25));
            // Within half a frame of the exact time, plus the one rescale (< 1/70 frame).
            EXPECT_LE(std::llabs(70 * (2 * swung * den - exact2x)), 70 * den + 2 * den)
                << from << " -> " << to << " BPM";
            clock.advance(to);
            EXPECT_LE(swung, due(clock));
        }
    }
}

}  // namespace
}  // namespace taktwerk::sequencer
