#include "playback/StepPlayer.h"
#include "sound/Engine.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// Live hits reach the step grid at the exact frame they were played: MIDI notes at the frame
// they came in (a block before they sound), pad presses at the block that sounds them.
namespace taktwerk::playback {
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kBlock = 256;
constexpr std::uint64_t kStep = 6000;  // at 120 BPM
constexpr int kSnareNote = 38;

// MIDI input with notes at absolute frames, handed out in the block they fall in.
class ScheduledInput final : public sound::MidiBlockSink, public sound::MidiBlockInput {
public:
    struct Note {
        std::uint64_t frame;
        int note;
        int velocity;
    };
    void add(const Note& note)
    {
        notes_.push_back(note);
        bytes_.push_back(
            {0x99, static_cast<std::uint8_t>(note.note), static_cast<std::uint8_t>(note.velocity)});
    }
    void setBlock(std::uint64_t start) noexcept { blockStart_ = start; }

    bool midiAt(std::uint32_t, const std::uint8_t*, std::size_t) noexcept override { return false; }
    bool hasReceiver() const noexcept override { return false; }
    const sound::MidiBlockInput* input() const noexcept override { return this; }
    std::uint32_t count() const noexcept override
    {
        return static_cast<std::uint32_t>(notes_.size());
    }
    bool at(std::uint32_t index, sound::MidiInEvent& event) const noexcept override
    {
        const Note& note = notes_[index];
        if (note.frame < blockStart_ || note.frame >= blockStart_ + kBlock)
            return false;
        event = {static_cast<std::uint32_t>(note.frame - blockStart_), bytes_[index].data(), 3};
        return true;
    }

private:
    std::vector<Note> notes_;
    std::vector<std::array<std::uint8_t, 3>> bytes_;
    std::uint64_t blockStart_ = 0;
};

class LiveRecording : public ::testing::Test {
protected:
    LiveRecording()
    {
        parameters.setIntro(false);
        engine.setMode(sound::SoundMode::Midi);
        engine.setStepSource(&steps);
    }

    void play(std::uint64_t frames)
    {
        for (; frames > 0; frames -= std::min<std::uint64_t>(frames, kBlock)) {
            input.setBlock(position);
            engine.process(buffer.data(), kBlock, input);
            position += kBlock;
        }
    }

    std::vector<LiveHit> hits()
    {
        std::vector<LiveHit> found;
        PlaybackEvent event;
        while (steps.events().pop(event)) {
            if (event.isLiveHit)
                found.push_back(event.hit);
        }
        return found;
    }

    LiveParameters parameters;
    sound::Engine engine{static_cast<double>(kRate)};
    StepPlayer steps{parameters, kRate};
    ScheduledInput input;
    std::vector<float> buffer = std::vector<float>(kBlock * 2);
    std::uint64_t position = 0;
};

TEST_F(LiveRecording, AMidiNoteLandsOnTheNearestStepOfItsPassWithItsVelocity)
{
    struct Case {
        std::string what;
        std::uint64_t frame;
        int step;
        std::uint32_t pass;
        double offset;
    };
    const std::vector<Case> cases{
        {"the run's very first frame", 0, 0, 1, 0.0},
        {"early", 3 * kStep - 600, 3, 1, -0.1},
        {"late", 3 * kStep + 600, 3, 1, 0.1},
        {"exactly half a step late stays", 5 * kStep + 3000, 5, 1, 0.5},
        {"more than half late is the next step's", 5 * kStep + 3001, 6, 1, -2999.0 / 6000},
        {"late on the loop's last step wraps into the next pass", 15 * kStep + 4000, 0, 2,
         -2000.0 / 6000},
        {"second pass", 18 * kStep + 1, 2, 2, 1.0 / 6000},
        {"third pass, just before a step", 37 * kStep - 1, 5, 3, -1.0 / 6000},
    };
    int velocity = 10;
    for (const Case& c : cases)
        input.add({c.frame, kSnareNote, velocity++});
    parameters.run();
    play(40 * kStep);

    const std::vector<LiveHit> found = hits();
    ASSERT_EQ(found.size(), cases.size());
    const int snare = sound::DrumNoteMap::generalMidi().track(kSnareNote);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(found[i].track, snare);
        EXPECT_EQ(found[i].velocity, 10 + static_cast<int>(i));
        EXPECT_EQ(found[i].step, cases[i].step);
        EXPECT_EQ(found[i].pass, cases[i].pass);
        EXPECT_NEAR(found[i].offset, cases[i].offset, 1e-5);
    }
}

TEST_F(LiveRecording, TheCountInIsAPreRollOntoTheFirstStep)
{
    parameters.setIntro(true);  // sixteen count-in steps before the pattern's step 0
    input.add({2 * kStep + 10, kSnareNote, 100});
    input.add({15 * kStep + 5000, kSnareNote, 101});  // late on the last click: still step 0
    input.add({16 * kStep + 100, kSnareNote, 102});   // the pattern's own step 0, a bit late
    input.add({32 * kStep - 10, kSnareNote, 103});    // early for the second pass's step 0
    parameters.run();
    play(33 * kStep);

    const std::vector<LiveHit> found = hits();
    ASSERT_EQ(found.size(), 4u);
    for (const LiveHit& hit : found)
        EXPECT_EQ(hit.step, 0);
    EXPECT_EQ(found[0].pass, 1u);
    EXPECT_EQ(found[0].offset, 0.0f);
    EXPECT_EQ(found[1].pass, 1u);
    EXPECT_EQ(found[1].offset, 0.0f);
    EXPECT_EQ(found[2].pass, 1u);
    EXPECT_NEAR(found[2].offset, 100.0 / 6000, 1e-5);
    EXPECT_EQ(found[3].pass, 2u);
}

TEST_F(LiveRecording, APadPressCountsFromTheBlockThatSoundsIt)
{
    parameters.run();
    play(7 * kStep);  // the next block starts at 42240: step 7 (42000) and 240 frames
    (void)engine.hitPad(0, 0, 90);
    play(kBlock);
    std::vector<LiveHit> found = hits();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].track, 0);
    EXPECT_EQ(found[0].velocity, 90);
    EXPECT_EQ(found[0].step, 7);
    EXPECT_NEAR(found[0].offset, 240.0 / 6000, 1e-5);

    // A right press on a tom only opens its sample dialog: nothing was played.
    (void)engine.hitPad(6, 2, 90);
    play(kBlock);
    EXPECT_TRUE(hits().empty());
}

TEST_F(LiveRecording, NothingIsPlacedWhileStoppedOrBeforeTheRunsFirstStep)
{
    input.add({100, kSnareNote, 100});
    play(2 * kBlock);
    (void)engine.hitPad(0, 0, 90);
    play(kBlock);
    EXPECT_TRUE(hits().empty()) << "stopped";

    // A note that came in during the block before RUN sounds in the run's first block, but was
    // played before the grid began.
    input.add({position + 10, kSnareNote, 100});
    play(kBlock);
    parameters.run();
    play(kBlock);
    EXPECT_TRUE(hits().empty());
    EXPECT_EQ(steps.droppedEvents(), 0u);
}

}  // namespace
}  // namespace taktwerk::playback
