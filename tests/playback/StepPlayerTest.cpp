#include "playback/StepPlayer.h"

#include "pattern/Swing.h"
#include "sound/Wakeup.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace taktwerk::playback {
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr int kClick = -1;

struct Hit {
    int track;  // kClick for a count-in click
    std::uint64_t frame;
    int velocity = 127;
    friend bool operator==(const Hit&, const Hit&) = default;
};

std::ostream& operator<<(std::ostream& out, const Hit& hit)
{
    return out << "{" << hit.track << " @" << hit.frame << " v" << hit.velocity << "}";
}

// Records what was scheduled, at absolute frames.
class Recorder final : public sound::BlockScheduler {
public:
    std::uint64_t blockStart = 0;
    std::vector<Hit> hits;
    void padAt(int track, std::uint32_t frame, int velocity, bool) noexcept override
    {
        hits.push_back({track, blockStart + frame, velocity});
    }
    void clickAt(std::uint32_t frame) noexcept override
    {
        hits.push_back({kClick, blockStart + frame});
    }
    void realtimeAt(std::uint32_t, std::uint8_t) noexcept override {}  // MidiClockTest
};

// Step n of a run at one tempo, from the run's first frame.
std::uint64_t stepFrame(std::uint64_t n, std::uint64_t tempo)
{
    return (2 * n * 15 * kRate + tempo) / (2 * tempo);
}

class StepPlayerTest : public ::testing::Test {
protected:
    StepPlayerTest()
    {
        parameters.setIntro(false);
        playback = std::make_unique<StepPlayer>(parameters, kRate);
    }

    // Plays `frames` frames in blocks of the given sizes, round robin.
    void play(std::uint64_t frames, const std::vector<std::uint32_t>& blocks = {256})
    {
        for (std::size_t i = 0; frames > 0; ++i) {
            const auto block = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(frames, blocks[i % blocks.size()]));
            recorder.blockStart = playback->position();
            playback->advance(block, recorder);
            frames -= block;
        }
    }

    std::vector<PlaybackEvent> drain()
    {
        std::vector<PlaybackEvent> events;
        PlaybackEvent event;
        while (playback->events().pop(event))
            events.push_back(event);
        return events;
    }

    LiveParameters parameters;
    std::unique_ptr<StepPlayer> playback;
    Recorder recorder;
};

TEST_F(StepPlayerTest, HitsAndClicksLandOnTheirStepsExactFrameWhateverTheBlockSize)
{
    parameters.setRow(0, 0xFFFFFFFF);  // bass drum on every step
    parameters.setIntro(true);
    parameters.setTempo(97);
    play(1000);
    EXPECT_TRUE(recorder.hits.empty()) << "nothing plays before RUN";

    parameters.run();
    const std::uint64_t start = playback->position();
    play(kRate * 30, {1, 333, 64, 1024, 17});

    std::vector<Hit> expected;
    const std::uint64_t steps = 97 * 2;  // half a minute
    for (std::uint64_t n = 0; n < steps; ++n) {
        if (n >= 16)
            expected.push_back({0, start + stepFrame(n, 97)});
        else if (n % 4 == 0)
            expected.push_back({kClick, start + stepFrame(n, 97)});
    }
    EXPECT_EQ(recorder.hits, expected);

    const auto events = drain();
    ASSERT_EQ(events.size(), steps);
    EXPECT_EQ(events[16].step.step, 0);
    EXPECT_EQ(events[16].step.frame, start + stepFrame(16, 97));
    EXPECT_EQ(playback->droppedEvents(), 0u);
}

// A front end that shows no steps (play into a pipe) is not woken for them: the same hits on
// the same frames, the steps counted, nothing queued, the news left quiet.
TEST(StepPlayerEvents, WithoutStepEventsStepsAreCountedNotQueuedAndWakeNobody)
{
    std::vector<Hit> heard[2];
    for (const bool shown : {true, false}) {
        SCOPED_TRACE(shown ? "shown" : "not shown");
        LiveParameters parameters;
        parameters.setRow(2, 0x55555555);
        parameters.setIntro(true);
        parameters.setTempo(133);
        const sound::Wakeup news;
        StepPlayer player(parameters, kRate, &news);
        player.setStepEvents(shown);
        Recorder recorder;
        parameters.run();
        for (int block = 0; block < 3000; ++block) {
            recorder.blockStart = player.position();
            player.advance(256, recorder);
        }
        const std::uint64_t steps = (3000 * 256 * 133 * 4 - 1) / (60 * kRate) + 1;
        EXPECT_EQ(player.stepsPlayed(), steps);
        std::uint64_t queued = 0;
        PlaybackEvent event;
        while (player.events().pop(event))
            ++queued;
        EXPECT_EQ(queued, shown ? steps : 0u);
        EXPECT_EQ(news.clear(), shown);
        heard[shown ? 0 : 1] = recorder.hits;
    }
    EXPECT_FALSE(heard[0].empty());
    EXPECT_EQ(heard[0], heard[1]);
}

TEST_F(StepPlayerTest, SwungHitsComeLateInAnyBlockWhileStepsClicksAndEventsKeepTheGrid)
{
    parameters.setRow(0, 0xFFFFFFFF);
    pattern::Velocities velocities = pattern::defaultVelocities();
    for (std::size_t step = 0; step < 32; ++step)
        velocities[0][step] = static_cast<std::uint8_t>(100 - step);
    parameters.setVelocities(velocities);
    parameters.setSwing({66, pattern::SwingNote::Eighth});  // steps 2, 3 of 4: 32/50 late
    parameters.setIntro(true);
    parameters.run();
    play(kRate * 10, {1, 333, 64, 1024, 17});

    std::vector<Hit> expected;
    for (std::uint64_t n = 0; n < 16 + 64; ++n) {
        if (n < 16) {
            if (n % 4 == 0)
                expected.push_back({kClick, stepFrame(n, 120)});
            continue;
        }
        const std::uint64_t column = (n - 16) % 16;
        const std::uint64_t late = column % 4 >= 2 ? 32 : 0;
        // round-half-up((n + late / 50) * 6000): 3840 frames late, a whole frame here.
        expected.push_back(
            {0, stepFrame(n, 120) + late * 6000 / 50, static_cast<int>(100 - column)});
    }
    recorder.hits.resize(expected.size());
    EXPECT_EQ(recorder.hits, expected);

    const auto events = drain();
    ASSERT_GE(events.size(), 20u);
    EXPECT_EQ(events[18].step.step, 2);
    EXPECT_EQ(events[18].step.frame, stepFrame(18, 120)) << "the window sees the grid";
}

TEST_F(StepPlayerTest, ALateHitStillSoundsAfterStopButNotIntoANewRun)
{
    parameters.setRow(3, 0b10);  // open hi-hat on step 1
    parameters.setSwing({75, pattern::SwingNote::Sixteenth});
    parameters.run();
    play(stepFrame(1, 120) + 1);  // step 1 taken, its hit due half a step later
    ASSERT_TRUE(recorder.hits.empty());
    parameters.stop();
    play(kRate);
    EXPECT_EQ(recorder.hits, (std::vector<Hit>{{3, stepFrame(1, 120) + 3000}}));

    // STOP and RUN before the late hit was due: the new run starts clean.
    recorder.hits.clear();
    parameters.run();
    play(stepFrame(1, 120) + 1);
    parameters.stop();
    parameters.run();
    const std::uint64_t restart = playback->position();
    play(kRate);
    EXPECT_EQ(recorder.hits, (std::vector<Hit>{{3, restart + stepFrame(1, 120) + 3000}}))
        << "only the new run's own step 1";
}

TEST_F(StepPlayerTest, TempoReadAtAStepSetsTheNextStepsDistance)
{
    parameters.setRow(1, 0xFFFFFFFF);
    parameters.run();
    play(stepFrame(3, 120));  // steps 0, 1, 2 at 120
    parameters.setTempo(333);
    play(kRate);
    ASSERT_GE(recorder.hits.size(), 6u);
    EXPECT_EQ(recorder.hits[3].frame, stepFrame(3, 120)) << "step 3 was due at the old tempo";
    EXPECT_EQ(recorder.hits[4].frame, stepFrame(3, 120) + stepFrame(1, 333));
    EXPECT_EQ(recorder.hits[5].frame, stepFrame(3, 120) + stepFrame(2, 333));
}

TEST_F(StepPlayerTest, StopRunAndLoadStartOverAtStepZero)
{
    parameters.setRow(0, 1u << 0);
    parameters.setRow(2, 1u << 5);
    parameters.run();
    play(stepFrame(7, 120));
    drain();

    parameters.stop();
    play(kRate);
    EXPECT_TRUE(drain().empty()) << "STOP is seen at the next block";

    parameters.run();
    const std::uint64_t restart = playback->position();
    play(stepFrame(2, 120));
    auto events = drain();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].step.step, 0);
    EXPECT_EQ(events[0].step.frame, restart);

    // STOP and RUN between two blocks: the audio thread never sees the stop, yet starts over.
    play(stepFrame(3, 120));
    parameters.stop();
    parameters.run();
    play(1);
    events = drain();
    EXPECT_EQ(events.back().step.step, 0);
    EXPECT_NE(events.back().run, events.front().run);

    // A load while playing: the next step is step 0.
    play(stepFrame(4, 120));
    parameters.markLoaded();
    play(stepFrame(1, 120));
    events = drain();
    EXPECT_NE(events[events.size() - 2].step.step, 0);
    EXPECT_EQ(events.back().step.step, 0);
}

TEST_F(StepPlayerTest, AStepDuringABatchKeepsThePreviousValues)
{
    parameters.setRow(0, 0xFFFFFFFF);
    parameters.run();
    play(1);
    {
        LiveParameters::Batch batch(parameters);
        parameters.setRow(0, 0);
        parameters.setRow(1, 0xFFFFFFFF);
        play(stepFrame(1, 120));  // step 1 falls due while the batch is half written
    }
    play(stepFrame(1, 120));
    ASSERT_EQ(recorder.hits.size(), 3u);
    EXPECT_EQ(recorder.hits[1].track, 0);
    EXPECT_EQ(recorder.hits[2].track, 1);
}

TEST_F(StepPlayerTest, AFullEventQueueCountsTheDropAndPlaybackGoesOn)
{
    parameters.setRow(0, 0xFFFFFFFF);
    parameters.run();
    const std::uint64_t steps = kPlaybackEventCapacity + 10;
    play(stepFrame(steps, 120), {4096});
    EXPECT_EQ(recorder.hits.size(), steps);
    EXPECT_EQ(playback->droppedEvents(), 10u);
}

}  // namespace
}  // namespace taktwerk::playback
