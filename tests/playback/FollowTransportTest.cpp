#include "playback/StepPlayer.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

// The step player following a shared transport block by block, as the JACK output hands it in:
// rolling and stopped drive it, the master's bar and beat (or the frame position at our tempo)
// place its steps.
namespace taktwerk::playback {
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kBlock = 256;
constexpr double kTicksPerBeat = 1920.0;

class Steps final : public sound::BlockScheduler {
public:
    std::uint64_t blockStart = 0;
    std::vector<std::uint64_t> bassDrum;
    int clicks = 0;
    void padAt(int track, std::uint32_t frame, int, bool) noexcept override
    {
        if (track == 0)
            bassDrum.push_back(blockStart + frame);
    }
    void clickAt(std::uint32_t) noexcept override { ++clicks; }
    void realtimeAt(std::uint32_t, std::uint8_t) noexcept override {}
};

// A transport with, unless told otherwise, a timebase master in 4/4 that publishes whole ticks,
// as masters do.
struct Transport {
    bool rolling = false;
    std::uint64_t frame = 0;
    bool master = true;
    double bpm = 97.0;
    double ticksPerBeat = kTicksPerBeat;

    sound::TransportState state() const
    {
        sound::TransportState state;
        state.rolling = rolling;
        state.frame = frame;
        if (!master)
            return state;
        const double beats = static_cast<double>(frame) * bpm / (60.0 * kRate);
        const double whole = std::floor(beats);
        state.hasBbt = true;
        state.bar = static_cast<std::int32_t>(whole / 4) + 1;
        state.beat = static_cast<std::int32_t>(std::fmod(whole, 4.0)) + 1;
        state.tick = static_cast<std::int32_t>((beats - whole) * kTicksPerBeat);
        state.ticksPerBeat = ticksPerBeat;
        state.beatsPerBar = 4.0;
        state.beatsPerMinute = bpm;
        return state;
    }
    // The first frame of bar and beat (from 1): a master counts a frame a hair before the
    // beat in the beat before, to the last tick.
    std::uint64_t frameOf(int bar, int beat) const
    {
        return static_cast<std::uint64_t>(
            std::ceil(((bar - 1) * 4 + (beat - 1)) * 60.0 * kRate / bpm));
    }
};

class FollowTransport : public ::testing::Test {
protected:
    FollowTransport()
    {
        parameters.setRow(0, 0xFFFFFFFF);  // bass drum on every step
        parameters.setIntro(true);         // no count-in all the same
        parameters.setTempo(120);          // ours, not the master's
        parameters.setSync(SyncSource::JackTransport);
    }
    void play(std::uint64_t blocks)
    {
        for (std::uint64_t block = 0; block < blocks; ++block) {
            player.transportIn(transport.state());
            recorder.blockStart = player.position();
            player.advance(kBlock, recorder);
            if (transport.rolling)
                transport.frame += kBlock;
        }
    }
    std::vector<int> columns()
    {
        std::vector<int> steps;
        PlaybackEvent event;
        while (player.events().pop(event))
            steps.push_back(event.step.step);
        return steps;
    }

    LiveParameters parameters;
    StepPlayer player{parameters, kRate};
    Steps recorder;
    Transport transport;
};

TEST_F(FollowTransport, RollingPlaysStepZeroOnTheStartFrameAndEveryStepOnTheMastersGrid)
{
    parameters.run();  // our own RUN means nothing while following
    play(10);
    EXPECT_TRUE(recorder.bassDrum.empty()) << "stopped until the transport rolls";
    EXPECT_FALSE(player.followedRunning());
    transport.rolling = true;
    const std::uint64_t start = player.position();
    play(4 * 60 * kRate / kBlock);  // four minutes
    EXPECT_TRUE(player.followedRunning());
    EXPECT_EQ(recorder.clicks, 0) << "no count-in";
    const double stepFrames = 60.0 * kRate / (97.0 * 4);
    ASSERT_GT(recorder.bassDrum.size(), 4u * 97 * 4 - 4);
    for (std::size_t n = 0; n < recorder.bassDrum.size(); ++n)
        ASSERT_EQ(recorder.bassDrum[n], start + static_cast<std::uint64_t>(std::floor(
                                                    static_cast<double>(n) * stepFrames + 0.5)))
            << "step " << n << " on its exact frame";
    EXPECT_EQ(player.followedTempoTenths(), 970);
    const std::vector<int> steps = columns();
    ASSERT_GE(steps.size(), 18u);
    EXPECT_EQ(steps[0], 0);
    EXPECT_EQ(steps[15], 15);
    EXPECT_EQ(steps[16], 0) << "the loop wraps";
}

TEST_F(FollowTransport, SwingBendsTheStepsBetweenTheMastersBeats)
{
    parameters.setSwing({60, pattern::SwingNote::Sixteenth});  // odd steps 10/50 late
    transport.rolling = true;
    const std::uint64_t start = player.position();
    play(60 * kRate / kBlock);
    const double stepFrames = 60.0 * kRate / (97.0 * 4);
    ASSERT_GT(recorder.bassDrum.size(), 4u * 97 - 4);
    for (std::size_t n = 0; n < recorder.bassDrum.size(); ++n) {
        const double late = n % 2 == 1 ? stepFrames / 5 : 0.0;
        ASSERT_NEAR(static_cast<double>(recorder.bassDrum[n]),
                    static_cast<double>(start) + static_cast<double>(n) * stepFrames + late, 1.0)
            << "step " << n;
    }
    const std::vector<int> steps = columns();
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps[1], 1) << "the window sees every step";
}

TEST_F(FollowTransport, StoppedPlaysNothingAndRollingOnGoesOnFromWhereTheTransportStands)
{
    transport.rolling = true;
    play(100);
    transport.rolling = false;
    (void)columns();
    const std::size_t heard = recorder.bassDrum.size();
    play(200);
    EXPECT_EQ(recorder.bassDrum.size(), heard);
    EXPECT_FALSE(player.followedRunning());
    // Started again where it stopped: the next step of the transport's position, not step 0.
    const std::int64_t next = static_cast<std::int64_t>(
        std::ceil(static_cast<double>(transport.frame) * 97.0 * 4 / (60.0 * kRate)));
    transport.rolling = true;
    play(40);
    const std::vector<int> steps = columns();
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps[0], static_cast<int>(next % 16));
    EXPECT_TRUE(player.followedRunning());
}

TEST_F(FollowTransport, ARelocatedTransportMovesThePatternAtOnceAlsoWhileRolling)
{
    const struct {
        int bar;
        int beat;
        int step;  // four steps a beat, sixteen a loop
    } places[] = {{2, 3, 8}, {1, 1, 0}, {7, 4, 12}, {3, 2, 4}};
    transport.rolling = true;
    play(50);
    for (const auto& place : places) {
        (void)columns();
        transport.frame = transport.frameOf(place.bar, place.beat);
        const std::uint64_t at = player.position();
        const std::size_t heard = recorder.bassDrum.size();
        play(1);
        const std::vector<int> steps = columns();
        ASSERT_FALSE(steps.empty()) << place.bar << "|" << place.beat;
        EXPECT_EQ(steps[0], place.step) << place.bar << "|" << place.beat;
        ASSERT_GT(recorder.bassDrum.size(), heard);
        EXPECT_EQ(recorder.bassDrum[heard], at) << "on the block's first frame";
        play(30);
    }
    // Stopped, relocated, started: the same.
    transport.rolling = false;
    play(5);
    transport.frame = transport.frameOf(2, 3);
    transport.rolling = true;
    (void)columns();
    play(1);
    EXPECT_EQ(columns().front(), 8);
}

TEST_F(FollowTransport, WithoutAMasterTheFramePositionAndOurOwnTempoGiveTheSteps)
{
    transport.master = false;
    parameters.setTempo(97);
    transport.frame = 100000;  // started from a frame of its own
    transport.rolling = true;
    const std::uint64_t start = player.position();
    play(3000);
    const auto stepFrame = [](std::uint64_t n) { return (2 * n * 15 * kRate + 97) / (2 * 97); };
    std::uint64_t n = 0;
    while (stepFrame(n) < 100000)
        ++n;
    const std::vector<int> steps = columns();
    ASSERT_GT(recorder.bassDrum.size(), 100u);
    EXPECT_EQ(steps.front(), static_cast<int>(n % 16));
    for (std::size_t i = 0; i < recorder.bassDrum.size(); ++i, ++n)
        ASSERT_EQ(recorder.bassDrum[i], start + stepFrame(n) - 100000) << "step " << n;
    EXPECT_EQ(player.followedTempoTenths(), 970);
}

TEST_F(FollowTransport, TheMastersTempoIsFollowedAndNonsenseFromItFallsBackToTheFrames)
{
    transport.rolling = true;
    play(200);
    EXPECT_EQ(player.followedTempoTenths(), 970);
    // The master doubles its tempo (its bar and beat jump with it): the steps come twice as
    // fast.
    transport.bpm = 194.0;
    recorder.bassDrum.clear();
    play(400);
    EXPECT_EQ(player.followedTempoTenths(), 1940);
    ASSERT_GT(recorder.bassDrum.size(), 10u);
    const double stepFrames = 60.0 * kRate / (194.0 * 4);
    for (std::size_t n = 1; n < recorder.bassDrum.size(); ++n)
        ASSERT_NEAR(static_cast<double>(recorder.bassDrum[n] - recorder.bassDrum[0]),
                    static_cast<double>(n) * stepFrames, 1.0);

    // A master that publishes nonsense: the frame position at our tempo (120) plays on.
    transport.ticksPerBeat = 0.0;
    recorder.bassDrum.clear();
    play(400);
    EXPECT_EQ(player.followedTempoTenths(), 1200);
    ASSERT_GT(recorder.bassDrum.size(), 10u);
    for (std::size_t n = 1; n < recorder.bassDrum.size(); ++n)
        ASSERT_NEAR(static_cast<double>(recorder.bassDrum[n] - recorder.bassDrum[n - 1]),
                    15.0 * kRate / 120, 1.0);
}

TEST_F(FollowTransport, AnOutputWithoutATransportPlaysNothingAndInternalPlaysOnRun)
{
    parameters.setIntro(false);
    parameters.run();
    for (int block = 0; block < 400; ++block) {  // no transportIn: not JACK
        recorder.blockStart = player.position();
        player.advance(kBlock, recorder);
    }
    EXPECT_TRUE(recorder.bassDrum.empty());
    EXPECT_FALSE(player.followedRunning());
    transport.rolling = true;
    play(100);
    EXPECT_FALSE(recorder.bassDrum.empty());
    parameters.stop();
    parameters.setSync(SyncSource::Internal);
    play(10);
    const std::size_t heard = recorder.bassDrum.size();
    play(400);
    EXPECT_EQ(recorder.bassDrum.size(), heard) << "our own clock waits for RUN";
    parameters.run();
    play(400);
    EXPECT_GT(recorder.bassDrum.size(), heard);
}

TEST_F(FollowTransport, AsMasterWePublishOurTempoAndLoopOnlyWhilePlayingOnOurOwnClock)
{
    sound::TimebaseMeter meter;
    EXPECT_FALSE(player.timebase(meter)) << "following: nothing of ours to publish";
    parameters.setSync(SyncSource::Internal);
    const struct {
        int interval, beats, tempo;
        double bpm, beatsPerBar;
    } cases[] = {{4, 16, 97, 97.0, 4.0},
                 {3, 12, 120, 160.0, 4.0},  // a beat of three steps comes more often
                 {5, 30, 100, 80.0, 6.0},
                 {4, 10, 120, 120.0, 2.5},   // a loop that ends mid-beat
                 {4, 16, 9999, 450.0, 4.0},  // our tempo never leaves the bar's range
                 {7, 16, 120, 120.0, 4.0}};  // a broken interval counts as four
    for (const auto& c : cases) {
        parameters.setMeter(c.interval, c.beats);
        parameters.setTempo(c.tempo);
        ASSERT_TRUE(player.timebase(meter));
        EXPECT_DOUBLE_EQ(meter.beatsPerMinute, c.bpm) << c.interval << " " << c.tempo;
        EXPECT_DOUBLE_EQ(meter.beatsPerBar, c.beatsPerBar) << c.interval << " " << c.beats;
    }
}

}  // namespace
}  // namespace taktwerk::playback
