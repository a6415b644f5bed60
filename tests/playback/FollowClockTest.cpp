#include "playback/StepPlayer.h"
#include "sound/Engine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <vector>

// The step player following a master's MIDI clock: Start, Stop and Continue drive it, and its
// steps lie on the clock.
namespace taktwerk::playback {
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kBlock = 256;
constexpr std::uint64_t kClock = 1200;  // frames of one clock at 100 BPM

class Steps final : public sound::BlockScheduler {
public:
    std::uint64_t blockStart = 0;
    std::vector<std::uint64_t> bassDrum;
    int clicks = 0;
    int clocksOut = 0;
    void padAt(int track, std::uint32_t frame, int, bool) noexcept override
    {
        if (track == 0)
            bassDrum.push_back(blockStart + frame);
    }
    void clickAt(std::uint32_t) noexcept override { ++clicks; }
    void realtimeAt(std::uint32_t, std::uint8_t) noexcept override { ++clocksOut; }
};

class FollowClock : public ::testing::Test {
protected:
    FollowClock()
    {
        parameters.setRow(0, 0xFFFFFFFF);  // bass drum on every step
        parameters.setIntro(true);         // no count-in all the same
        parameters.setSync(SyncSource::MidiClock);
    }
    // Plays until `end`, the master's messages each heard in the block it falls in.
    void play(std::uint64_t end)
    {
        while (player.position() < end) {
            const std::uint64_t start = player.position();
            for (; next < messages.size() && messages[next].second < start + kBlock; ++next)
                player.realtimeIn(messages[next].first, messages[next].second);
            recorder.blockStart = start;
            player.advance(kBlock, recorder);
        }
    }
    void send(std::uint8_t status, std::uint64_t frame) { messages.emplace_back(status, frame); }
    std::vector<PlaybackEvent> drain()
    {
        std::vector<PlaybackEvent> events;
        PlaybackEvent event;
        while (player.events().pop(event))
            events.push_back(event);
        return events;
    }

    LiveParameters parameters;
    StepPlayer player{parameters, kRate};
    Steps recorder;
    std::vector<std::pair<std::uint8_t, std::uint64_t>> messages;
    std::size_t next = 0;
};

TEST_F(FollowClock, StartPlaysStepZeroOnTheNextClockAndEveryStepOnItsClockWithoutCountIn)
{
    parameters.run();  // our own RUN means nothing while following
    std::mt19937 random(7);
    std::uniform_int_distribution<int> jitter(-14, 14);  // +-0.3 ms
    const std::uint64_t first = 10000;
    send(sound::kMidiClock, first - 2 * kClock);  // clocks before Start are measured only
    send(sound::kMidiClock, first - kClock);
    send(sound::kMidiStart, first - 100);
    for (std::uint64_t n = 0; n < 24 * 100; ++n)  // a minute
        send(sound::kMidiClock, first + n * kClock + static_cast<std::uint64_t>(jitter(random)));
    play(first - kBlock);
    EXPECT_TRUE(player.followedRunning());
    EXPECT_TRUE(recorder.bassDrum.empty()) << "Start waits for its clock";
    play(first + 24 * 99 * kClock);
    EXPECT_EQ(recorder.clicks, 0) << "no count-in";
    ASSERT_GE(recorder.bassDrum.size(), 4u * 99);
    EXPECT_NEAR(static_cast<double>(recorder.bassDrum[0]), static_cast<double>(first), 15.0);
    for (std::size_t step = 0; step < 4 * 99; ++step)
        ASSERT_NEAR(static_cast<double>(recorder.bassDrum[step]),
                    static_cast<double>(first + step * 6 * kClock), 48.0)
            << "step " << step << " within a millisecond of its clock";
    EXPECT_EQ(player.followedTempoTenths(), 1000);
    const auto events = drain();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().step.step, 0);
    EXPECT_EQ(events.front().run, player.followedRun());
}

TEST_F(FollowClock, SwingBendsTheStepsBetweenTheMastersBeatsAndNoClockGoesOut)
{
    const struct {
        pattern::Swing swing;
        std::uint64_t lateFrames[4];  // of the four steps of a beat, 7200 frames each
    } cases[] = {
        {{50, pattern::SwingNote::Sixteenth}, {0, 0, 0, 0}},
        {{60, pattern::SwingNote::Sixteenth}, {0, 1440, 0, 1440}},  // 10/50 of a step
        {{66, pattern::SwingNote::Eighth}, {0, 0, 4608, 4608}},     // 32/50
        {{75, pattern::SwingNote::Eighth}, {0, 0, 7200, 7200}},     // a whole step
        {{75, pattern::SwingNote::Sixteenth}, {0, 3600, 0, 3600}},  // half a step
    };
    for (const auto& c : cases) {
        LiveParameters ours;
        ours.setRow(0, 0xFFFFFFFF);
        ours.setIntro(true);
        ours.setSync(SyncSource::MidiClock);
        ours.setSwing(c.swing);
        ours.setClockOut(true);  // a master already drives the studio's clock
        StepPlayer following{ours, kRate};
        Steps heard;
        const std::uint64_t first = 10000;
        std::vector<std::pair<std::uint8_t, std::uint64_t>> master{
            {sound::kMidiClock, 7600}, {sound::kMidiClock, 8800}, {sound::kMidiStart, 9900}};
        for (std::uint64_t n = 0; n < 24 * 8; ++n)
            master.emplace_back(sound::kMidiClock, first + n * kClock);
        std::size_t at = 0;
        while (following.position() < first + 24 * 7 * kClock) {
            const std::uint64_t start = following.position();
            for (; at < master.size() && master[at].second < start + kBlock; ++at)
                following.realtimeIn(master[at].first, master[at].second);
            heard.blockStart = start;
            following.advance(kBlock, heard);
        }
        ASSERT_GE(heard.bassDrum.size(), 24u) << c.swing.percent;
        for (std::size_t step = 0; step < 24; ++step) {
            const std::uint64_t grid = first + step * 6 * kClock;
            ASSERT_NEAR(static_cast<double>(heard.bassDrum[step]),
                        static_cast<double>(grid + c.lateFrames[step % 4]), 2.0)
                << c.swing.percent << "% step " << step;
        }
        EXPECT_EQ(heard.clocksOut, 0) << "the master's clock is not sent on";
        PlaybackEvent event;
        std::size_t events = 0;
        for (; following.events().pop(event); ++events)
            ASSERT_NEAR(static_cast<double>(event.step.frame),
                        static_cast<double>(first + events * 6 * kClock), 2.0)
                << "the window sees the grid";
        EXPECT_GE(events, 24u);
    }
}

TEST_F(FollowClock, SwungHitsOfAMasterThatSpeedsUpSoundWithTheNextStepNotNever)
{
    parameters.setSwing({75, pattern::SwingNote::Eighth});  // steps 2, 3: a whole step late
    std::uint64_t frame = 1000;
    send(sound::kMidiStart, frame);
    // Measured at 100 BPM for two beats, then twice as fast: the swung steps' places, foreseen
    // at the old tempo, lie beyond the next step's.
    for (int n = 0; n < 48; ++n)
        send(sound::kMidiClock, frame += kClock);
    for (int n = 0; n < 96; ++n)
        send(sound::kMidiClock, frame += kClock / 2);
    play(frame + kBlock);
    std::size_t steps = 0;
    PlaybackEvent event;
    while (player.events().pop(event))
        ++steps;
    ASSERT_GT(steps, 20u);
    EXPECT_GE(recorder.bassDrum.size() + 1, steps) << "every step taken sounds (the last may wait)";
    EXPECT_TRUE(std::is_sorted(recorder.bassDrum.begin(), recorder.bassDrum.end()));
}

TEST_F(FollowClock, StopHoldsContinueGoesOnAndStartBeginsAgainAtStepZero)
{
    parameters.setMeter(3, 12);  // three steps a beat, four beats: eight clocks a step
    std::uint64_t frame = 1000;
    send(sound::kMidiStart, frame);
    for (int n = 0; n < 48; ++n)
        send(sound::kMidiClock, frame += kClock);
    send(sound::kMidiStop, frame + 10);
    for (int n = 0; n < 24; ++n)  // the master's clock runs on while stopped
        send(sound::kMidiClock, frame += kClock);
    send(sound::kMidiContinue, frame + 10);
    for (int n = 0; n < 24; ++n)
        send(sound::kMidiClock, frame += kClock);
    send(sound::kMidiStart, frame + 10);
    for (int n = 0; n < 10; ++n)
        send(sound::kMidiClock, frame += kClock);
    play(frame + kBlock);

    std::vector<int> columns;
    for (const PlaybackEvent& event : drain())
        columns.push_back(event.step.step);
    // Six steps before Stop (48 clocks), none while stopped, three after Continue (the
    // pattern goes on from step 6), then Start: step 0 again, and one more eight clocks on.
    EXPECT_EQ(columns, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 1}));
    EXPECT_FALSE(player.droppedEvents());
}

TEST_F(FollowClock, OurOwnClockTakesOverOnlyWithTheNextRun)
{
    send(sound::kMidiStart, 100);
    send(sound::kMidiClock, 200);
    play(2 * kBlock);
    EXPECT_TRUE(player.followedRunning());
    parameters.setSync(SyncSource::Internal);
    play(24000);
    EXPECT_FALSE(player.followedRunning());
    const std::size_t heard = recorder.bassDrum.size();
    play(48000);
    EXPECT_EQ(recorder.bassDrum.size(), heard) << "stopped until RUN";
    parameters.setIntro(false);
    parameters.run();
    play(72000);
    EXPECT_GT(recorder.bassDrum.size(), heard);
}

// MIDI input with real-time bytes where a sloppy interface puts them: inside a note.
class BytesInput final : public sound::MidiBlockSink, public sound::MidiBlockInput {
public:
    std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> events;
    std::uint64_t blockStart = 0;
    bool midiAt(std::uint32_t, const std::uint8_t*, std::size_t) noexcept override { return false; }
    bool hasReceiver() const noexcept override { return false; }
    const sound::MidiBlockInput* input() const noexcept override { return this; }
    std::uint32_t count() const noexcept override
    {
        return static_cast<std::uint32_t>(events.size());
    }
    bool at(std::uint32_t index, sound::MidiInEvent& event) const noexcept override
    {
        const auto& [frame, bytes] = events[index];
        if (frame < blockStart || frame >= blockStart + kBlock)
            return false;
        event = {static_cast<std::uint32_t>(frame - blockStart), bytes.data(), bytes.size()};
        return true;
    }
};

TEST_F(FollowClock, RealtimeBytesInsideANoteAreFollowedAndTheNoteStillStrikes)
{
    sound::Engine engine(kRate);
    engine.setMode(sound::SoundMode::Midi);
    engine.setStepSource(&player);
    BytesInput input;
    input.events.push_back({100, {0xFA}});
    input.events.push_back({1000, {0x99, 0xF8, 38, 0xFE, 100}});  // a clock inside a note
    input.events.push_back({1000 + kClock, {0xF8}});
    input.events.push_back({1000 + 2 * kClock, {0x99, 38, 0xF8, 90}});
    input.events.push_back({1000 + 3 * kClock, {0xF8, 0xF8}});  // a doubled clock: one
    input.events.push_back({1000 + 4 * kClock, {0xF0, 0xF8, 1, 2, 3, 4, 5, 0xF7}});  // SysEx
    std::vector<float> buffer(kBlock * 2);
    for (std::uint64_t block = 0; block < 40; ++block) {
        input.blockStart = block * kBlock;
        engine.process(buffer.data(), kBlock, input);
    }
    EXPECT_TRUE(player.followedRunning());
    EXPECT_EQ(player.followedTempoTenths(), 1000);
    std::vector<LiveHit> hits;
    PlaybackEvent event;
    while (player.events().pop(event)) {
        if (event.isLiveHit)
            hits.push_back(event.hit);
    }
    ASSERT_EQ(hits.size(), 2u) << "both notes struck their pad";
    EXPECT_EQ(hits[0].velocity, 100);
    EXPECT_EQ(hits[1].velocity, 90);
    EXPECT_EQ(engine.liveDrops(), 0u);
}

}  // namespace
}  // namespace taktwerk::playback
