// The MIDI clock the step player sends: 24 clocks a beat on their exact frames for as long as
// the music plays, Start on the pattern's step 0 lying on a clock, Stop at STOP.

#include "playback/StepPlayer.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace taktwerk::playback {
namespace {

struct Message {
    std::uint8_t status;
    std::uint64_t frame;
    friend bool operator==(const Message&, const Message&) = default;
};

std::ostream& operator<<(std::ostream& out, const Message& message)
{
    return out << "{" << std::hex << int{message.status} << std::dec << " @" << message.frame
               << "}";
}

// Keeps the real-time messages at absolute frames, and how many hits there were.
class Recorder final : public sound::BlockScheduler {
public:
    std::uint64_t blockStart = 0;
    std::vector<Message> messages;
    std::uint64_t padFrame = 0;  // of the last hit
    void padAt(int, std::uint32_t frame, int, bool) noexcept override
    {
        padFrame = blockStart + frame;
    }
    void clickAt(std::uint32_t) noexcept override {}
    void realtimeAt(std::uint32_t frame, std::uint8_t status) noexcept override
    {
        messages.push_back({status, blockStart + frame});
    }

    std::vector<std::uint64_t> clocks() const
    {
        std::vector<std::uint64_t> frames;
        for (const Message& message : messages) {
            if (message.status == sound::kMidiClock)
                frames.push_back(message.frame);
        }
        return frames;
    }
};

constexpr std::uint64_t roundHalfUp(std::uint64_t numerator, std::uint64_t denominator)
{
    return (2 * numerator + denominator) / (2 * denominator);
}

// Clock k of a run started at frame 0: a beat of `interval` steps of 15 / tempo seconds.
std::uint64_t clockFrame(std::uint64_t k, std::uint64_t interval, std::uint64_t tempo,
                         std::uint64_t rate)
{
    return roundHalfUp(k * interval * 15 * rate, 24 * tempo);
}

std::uint64_t stepFrame(std::uint64_t n, std::uint64_t tempo, std::uint64_t rate)
{
    return roundHalfUp(n * 15 * rate, tempo);
}

// Plays `frames` frames in blocks of the given sizes, round robin.
void play(StepPlayer& player, Recorder& recorder, std::uint64_t frames,
          const std::vector<std::uint32_t>& blocks = {256})
{
    for (std::size_t i = 0; frames > 0; ++i) {
        const auto block =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(frames, blocks[i % blocks.size()]));
        recorder.blockStart = player.position();
        player.advance(block, recorder);
        frames -= block;
    }
}

TEST(MidiClock, TenMinutesOfClocksLandOnTheirExactFramesWithStartOnStepZeroAndStopAtStop)
{
    struct Case {
        int tempo;
        std::uint32_t rate;
        int interval;
        bool intro;
        int swingPercent;
    };
    const Case cases[] = {
        {97, 44100, 4, true, 0},
        {97, 48000, 4, false, 0},
        {450, 44100, 4, false, 0},
        {450, 48000, 4, true, 0},
        {97, 48000, 3, true, 0},
        {450, 44100, 5, true, 0},
        // Swing moves hits, never the clock.
        {97, 48000, 4, false, 60},
    };
    constexpr std::uint64_t kMinutes = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.tempo << " BPM, " << c.rate << " Hz, interval " << c.interval
                     << (c.intro ? ", count-in" : "") << ", swing " << c.swingPercent);
        LiveParameters parameters;
        parameters.setIntro(c.intro);
        parameters.setTempo(c.tempo);
        parameters.setMeter(c.interval, 4 * c.interval);
        parameters.setSwing({c.swingPercent, pattern::SwingNote::Sixteenth});
        parameters.setRow(0, 0xFFFFFFFF);
        parameters.setClockOut(true);
        StepPlayer player(parameters, c.rate);
        Recorder recorder;
        parameters.run();
        const std::uint64_t frames = kMinutes * 60 * c.rate;
        play(player, recorder, frames, {256, 1, 1000, 31});
        parameters.stop();
        play(player, recorder, 64);

        const auto tempo = static_cast<std::uint64_t>(c.tempo);
        const auto interval = static_cast<std::uint64_t>(c.interval);
        const std::vector<std::uint64_t> clocks = recorder.clocks();
        // 24 a beat, a beat lasting `interval` steps, the first on RUN's frame.
        std::uint64_t expectedCount = 0;
        while (clockFrame(expectedCount, interval, tempo, c.rate) < frames)
            ++expectedCount;
        ASSERT_EQ(clocks.size(), expectedCount);
        for (std::uint64_t k = 0; k < clocks.size(); ++k) {
            if (clocks[k] != clockFrame(k, interval, tempo, c.rate)) {
                ADD_FAILURE() << "clock " << k << " at " << clocks[k] << ", due at "
                              << clockFrame(k, interval, tempo, c.rate);
                break;
            }
        }

        // Start once, on pattern step 0 (after the count-in's 4 beats), right before the
        // clock on the same frame; Stop last, at the block that saw STOP.
        const std::uint64_t firstStep = c.intro ? 4 * interval : 0;
        const Message start{sound::kMidiStart, stepFrame(firstStep, tempo, c.rate)};
        std::size_t startAt = recorder.messages.size();
        for (std::size_t i = 0; i < recorder.messages.size(); ++i) {
            if (recorder.messages[i].status != sound::kMidiClock) {
                startAt = i;
                break;
            }
        }
        ASSERT_LT(startAt + 1, recorder.messages.size());
        EXPECT_EQ(recorder.messages[startAt], start);
        EXPECT_EQ(recorder.messages[startAt + 1],
                  (Message{sound::kMidiClock,
                           clockFrame(24 * firstStep / interval, interval, tempo, c.rate)}));
        EXPECT_EQ(recorder.messages[startAt + 1].frame, start.frame);
        EXPECT_EQ(recorder.messages.size(), clocks.size() + 2) << "one Start, one Stop";
        EXPECT_EQ(recorder.messages.back(), (Message{sound::kMidiStop, frames}));
    }
}

class MidiClockSwitch : public ::testing::Test {
protected:
    static constexpr std::uint32_t kRate = 48000;
    MidiClockSwitch()
    {
        parameters.setIntro(false);
        player = std::make_unique<StepPlayer>(parameters, kRate);
    }
    void play(std::uint64_t frames) { taktwerk::playback::play(*player, recorder, frames); }
    std::uint64_t count(std::uint8_t status) const
    {
        std::uint64_t n = 0;
        for (const Message& message : recorder.messages)
            n += message.status == status ? 1 : 0;
        return n;
    }

    LiveParameters parameters;
    std::unique_ptr<StepPlayer> player;
    Recorder recorder;
};

TEST_F(MidiClockSwitch, OffByDefaultSendsNothing)
{
    parameters.run();
    play(kRate * 5);
    parameters.stop();
    play(256);
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(MidiClockSwitch, TurnedOnMidRunClocksAtOnceAndStartsAtTheLoopsNextStepZero)
{
    parameters.run();
    play(stepFrame(5, 120, kRate) + 1);  // steps 0 ... 5 taken
    parameters.setClockOut(true);
    play(stepFrame(16, 120, kRate) - stepFrame(5, 120, kRate));  // up to step 16 = step 0

    ASSERT_FALSE(recorder.messages.empty());
    EXPECT_EQ(recorder.messages.front(), (Message{sound::kMidiClock, stepFrame(6, 120, kRate)}));
    EXPECT_EQ(count(sound::kMidiStart), 1u);
    const Message start{sound::kMidiStart, stepFrame(16, 120, kRate)};
    EXPECT_EQ(recorder.messages[recorder.messages.size() - 2], start);
    EXPECT_EQ(recorder.messages.back(), (Message{sound::kMidiClock, start.frame}));

    // Off mid-run: Stop on the next step; on again: Start waits for step 0 once more.
    parameters.setClockOut(false);
    play(stepFrame(4, 120, kRate));
    EXPECT_EQ(count(sound::kMidiStop), 1u);
    const auto sent = recorder.messages.size();
    parameters.setClockOut(true);
    play(stepFrame(10, 120, kRate));
    EXPECT_EQ(count(sound::kMidiStart), 1u) << "not before the loop comes round";
    play(stepFrame(2, 120, kRate));
    EXPECT_EQ(count(sound::kMidiStart), 2u);
    EXPECT_GT(recorder.messages.size(), sent);
}

TEST_F(MidiClockSwitch, RunAgainAndALoadRestartTheFollowerWithStepZero)
{
    parameters.setClockOut(true);
    parameters.run();
    play(stepFrame(3, 120, kRate) + 1);
    parameters.markLoaded();
    play(stepFrame(1, 120, kRate));
    EXPECT_EQ(count(sound::kMidiStart), 2u);

    parameters.stop();
    play(256);
    EXPECT_EQ(recorder.messages.back().status, sound::kMidiStop);
    play(kRate);
    EXPECT_EQ(recorder.messages.back().status, sound::kMidiStop) << "no clock while stopped";
    parameters.run();
    play(1);
    EXPECT_EQ(count(sound::kMidiStart), 3u);
    EXPECT_EQ(count(sound::kMidiStop), 1u);
}

TEST_F(MidiClockSwitch, ATempoChangeReachesTheClockWithTheStepThatReadsIt)
{
    parameters.setClockOut(true);
    parameters.run();
    play(stepFrame(1, 120, kRate) - 1);  // step 0 taken at 120
    parameters.setTempo(240);
    play(kRate);
    const auto clocks = recorder.clocks();
    ASSERT_GT(clocks.size(), 12u);
    // 6 clocks a step: step 0's at 120 BPM (1000 frames apart), then step 1's at 240.
    for (std::size_t k = 1; k <= 6; ++k)
        EXPECT_EQ(clocks[k] - clocks[k - 1], 1000u) << k;
    for (std::size_t k = 7; k <= 12; ++k)
        EXPECT_EQ(clocks[k] - clocks[k - 1], 500u) << k;
}

}  // namespace
}  // namespace taktwerk::playback
