#include "sequencer/ClockFollower.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>

namespace taktwerk::sequencer {
namespace {

constexpr std::uint32_t kRate = 48000;
using Change = ClockFollower::Change;

// A master sending clock at `bpm` from `start`, each clock up to `jitterMs` early or late.
class Master {
public:
    Master(double bpm, double jitterMs, std::uint64_t start = 1000)
        : period_(60.0 * kRate / (bpm * kClocksPerBeat)), jitter_(jitterMs * kRate / 1000.0),
          start_(static_cast<double>(start))
    {
    }
    // Where clock `n` truly falls, and where it is heard.
    double beat(std::int64_t n) const { return start_ + period_ * static_cast<double>(n); }
    std::uint64_t heard(std::int64_t n)
    {
        std::uniform_real_distribution<double> off(-jitter_, jitter_);
        return static_cast<std::uint64_t>(std::llround(beat(n) + off(random_)));
    }

private:
    double period_;
    double jitter_;
    double start_;
    std::mt19937 random_{1234};
};

double oneDecimal(double bpm) { return std::round(bpm * 10.0) / 10.0; }

TEST(ClockFollower, JitteryClockAt100ReadsExactly100Point0WithinTwoBeatsAndStaysThere)
{
    Master master(100.0, 0.3);
    ClockFollower follower(kRate);
    EXPECT_EQ(follower.receive(ClockMessage::Start, 900), Change::Started);
    for (std::int64_t n = 0; n < 24 * 100 * 10; ++n) {  // ten minutes
        follower.receive(ClockMessage::Clock, master.heard(n));
        if (n + 1 >= 2 * kClocksPerBeat) {
            ASSERT_EQ(oneDecimal(follower.tempoBpm()), 100.0) << "clock " << n;
        }
    }
    EXPECT_TRUE(follower.running());
    EXPECT_EQ(follower.position(), 24 * 100 * 10 - 1);
}

// The step player's view: once a block, it takes the steps the follower places before the
// block's end, having heard the clocks inside it. Step 0 of every loop (four beats) of ten
// minutes must sound within a millisecond of the master's beat.
TEST(ClockFollower, EveryLoopsFirstStepOfTenMinutesLiesWithinAMillisecondOfTheMastersBeat)
{
    constexpr std::uint64_t kBlock = 256;
    constexpr std::int64_t kLoopClocks = 4 * kClocksPerBeat;
    for (const double bpm : {97.0, 100.0, 133.0, 450.0}) {
        SCOPED_TRACE(bpm);
        Master master(bpm, 0.3);
        ClockFollower follower(kRate);
        follower.receive(ClockMessage::Start, 500);
        std::int64_t nextClock = 0;
        std::uint64_t nextHeard = master.heard(0);
        std::int64_t loop = 0;
        double worst = 0.0;
        const auto end =
            static_cast<std::uint64_t>(master.beat(24 * static_cast<std::int64_t>(bpm) * 10));
        for (std::uint64_t block = 0; block < end; block += kBlock) {
            while (nextHeard < block + kBlock) {
                follower.receive(ClockMessage::Clock, nextHeard);
                nextHeard = master.heard(++nextClock);
            }
            const auto due = follower.frameOf(static_cast<double>(loop * kLoopClocks));
            if (!due || std::llround(*due) >= static_cast<long long>(block + kBlock))
                continue;
            const double played = std::max(static_cast<double>(block), std::round(*due));
            worst = std::max(worst, std::abs(played - master.beat(loop * kLoopClocks)));
            ++loop;
        }
        EXPECT_GT(loop, static_cast<std::int64_t>(bpm * 10 / 4 - 2));
        EXPECT_LT(worst * 1000.0 / kRate, 1.0) << "ms";
    }
}

TEST(ClockFollower, ANewTempoIsFollowedWithinTwoBeatsAndStepsLieEvenlyBetweenClocks)
{
    ClockFollower follower(kRate);
    follower.receive(ClockMessage::Start, 0);
    std::uint64_t frame = 1000;
    for (int n = 0; n < 96; ++n, frame += 1200)  // 100 BPM
        follower.receive(ClockMessage::Clock, frame);
    for (int n = 0; n < 48; ++n, frame += 857)  // about 140 BPM
        follower.receive(ClockMessage::Clock, frame);
    EXPECT_EQ(oneDecimal(follower.tempoBpm()), oneDecimal(60.0 * kRate / (24 * 857.0)));
    // A step a fifth of the way between the last clock and the next (five steps a beat).
    const double last = static_cast<double>(frame - 857);
    EXPECT_NEAR(*follower.frameOf(static_cast<double>(follower.position()) + 0.8), last + 0.8 * 857,
                1e-6);
    EXPECT_FALSE(follower.frameOf(static_cast<double>(follower.position()) + 25))
        << "no more than a beat ahead";
}

TEST(ClockFollower, HostileClockStreamsNeitherCrashNorMisplaceTheGrid)
{
    // Clock without Start: tempo, but no grid.
    {
        ClockFollower follower(kRate);
        for (std::uint64_t n = 0; n < 10; ++n)
            EXPECT_EQ(follower.receive(ClockMessage::Clock, n * 1200), Change::None);
        EXPECT_FALSE(follower.running());
        EXPECT_EQ(follower.position(), -1);
        EXPECT_FALSE(follower.frameOf(0.0));
        EXPECT_EQ(oneDecimal(follower.tempoBpm()), 100.0);
    }
    // A storm of Starts: the first clock after the last one is position 0.
    {
        ClockFollower follower(kRate);
        for (int n = 0; n < 1000; ++n)
            EXPECT_EQ(follower.receive(ClockMessage::Start, 5), Change::Started);
        follower.receive(ClockMessage::Clock, 10);
        EXPECT_EQ(follower.position(), 0);
        EXPECT_EQ(*follower.frameOf(0.0), 10.0) << "step 0 on its clock from the first";
        EXPECT_FALSE(follower.frameOf(1.0)) << "no tempo yet";
        follower.receive(ClockMessage::Start, 1200);
        follower.receive(ClockMessage::Clock, 1210);
        EXPECT_EQ(follower.position(), 0) << "a Start while running starts over";
    }
    // Stop and Continue: the position goes on from where it stopped; repeats change nothing.
    {
        ClockFollower follower(kRate);
        follower.receive(ClockMessage::Start, 0);
        std::uint64_t frame = 0;
        for (int n = 0; n < 5; ++n)
            follower.receive(ClockMessage::Clock, frame += 1200);
        EXPECT_EQ(follower.receive(ClockMessage::Continue, frame), Change::None);
        EXPECT_EQ(follower.receive(ClockMessage::Stop, frame), Change::Stopped);
        EXPECT_EQ(follower.receive(ClockMessage::Stop, frame), Change::None);
        follower.receive(ClockMessage::Clock, frame += 1200);  // the master's clock runs on
        EXPECT_EQ(follower.position(), 4);
        EXPECT_EQ(follower.receive(ClockMessage::Continue, frame), Change::Continued);
        follower.receive(ClockMessage::Clock, frame += 1200);
        EXPECT_EQ(follower.position(), 5);
    }
    // Zero intervals and frames going back: doubled messages, not clocks.
    {
        ClockFollower follower(kRate);
        follower.receive(ClockMessage::Start, 0);
        follower.receive(ClockMessage::Clock, 1200);
        follower.receive(ClockMessage::Clock, 2400);
        follower.receive(ClockMessage::Clock, 2400);
        follower.receive(ClockMessage::Clock, 100);
        EXPECT_EQ(follower.position(), 1);
        EXPECT_EQ(oneDecimal(follower.tempoBpm()), 100.0);
    }
    // A huge gap: the fit starts afresh rather than averaging the silence in.
    {
        ClockFollower follower(kRate);
        follower.receive(ClockMessage::Start, 0);
        std::uint64_t frame = 0;
        for (int n = 0; n < 30; ++n)
            follower.receive(ClockMessage::Clock, frame += 1200);
        frame += 10ull * 3600 * kRate;  // ten hours
        follower.receive(ClockMessage::Clock, frame);
        EXPECT_FALSE(follower.hasTempo());
        EXPECT_EQ(follower.tempoBpm(), 0.0);
        follower.receive(ClockMessage::Clock, frame += 1000);
        follower.receive(ClockMessage::Clock, frame += 1000);
        EXPECT_EQ(oneDecimal(follower.tempoBpm()), 120.0);
        EXPECT_EQ(follower.position(), 32);
    }
}

}  // namespace
}  // namespace taktwerk::sequencer
