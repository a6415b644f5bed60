// The timed MIDI path of the RtAudio and null outputs, without a device.

#include "devices/TimedMidi.h"

#include "devices/support/TestOutputs.h"
#include "devices/support/TestSources.h"

#include <gtest/gtest.h>

namespace taktwerk::devices {
namespace {

using testing::RecordingMidiDestination;
using namespace std::chrono_literals;

const MidiClock::time_point kEpoch{};

TEST(TimedMidiSink, FrameTimeIsExactForAnyLengthOfPlay)
{
    struct Case {
        std::uint64_t frame;
        std::uint32_t rate;
        std::chrono::nanoseconds expected;
    };
    const Case cases[] = {
        {0, 48000, 0ns},
        {1, 48000, 20833ns},  // rounded down, never early
        {1, 44100, 22675ns},
        {48000, 48000, 1s},
        // A hundred hours: a product of frames and nanoseconds would long have overflowed.
        {48000ull * 3600 * 100, 48000, 100h},
        {44100ull * 3600 * 100 + 1, 44100, 100h + 22675ns},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.frame) + " at " + std::to_string(c.rate));
        EXPECT_EQ(TimedMidiSink::frameTime(kEpoch, c.frame, c.rate) - kEpoch, c.expected);
    }
}

TEST(TimedMidiSink, RefusesWhatItCannotSend)
{
    const std::uint8_t noteOn[] = {0x99, 36, 127};
    const std::uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

    TimedMidiSender withoutPort;
    TimedMidiInput noInput(48000, 256);
    TimedMidiSink noReceiver(withoutPort, noInput, 48000);
    EXPECT_EQ(noReceiver.input(), nullptr) << "no input port attached";
    EXPECT_FALSE(noReceiver.hasReceiver());
    EXPECT_FALSE(noReceiver.midiAt(0, noteOn, sizeof noteOn));

    RecordingMidiDestination::Log log;
    TimedMidiSender sender;
    sender.attach(std::make_unique<RecordingMidiDestination>(log));
    TimedMidiSink sink(sender, noInput, 48000);
    sink.beginBlock(MidiClock::now(), 0, 256);
    EXPECT_TRUE(sink.hasReceiver());
    EXPECT_FALSE(sink.midiAt(0, noteOn, 0));
    EXPECT_FALSE(sink.midiAt(0, sysex, sizeof sysex));
    EXPECT_FALSE(sink.midiAt(256, noteOn, sizeof noteOn));  // the next block's first frame
    // Not started, so nothing drains: the queue takes all it holds, then refuses instead of
    // waiting, block after block.
    std::size_t queued = 0;
    for (std::uint64_t block = 0; queued <= TimedMidiSender::kCapacity; ++block) {
        sink.beginBlock(MidiClock::now(), block * 256, 256);
        std::uint32_t frame = 0;
        while (frame < 256 && sink.midiAt(frame, noteOn, sizeof noteOn))
            ++frame;
        queued += frame;
        if (frame < 256)
            break;
    }
    EXPECT_EQ(queued, TimedMidiSender::kCapacity);
    EXPECT_FALSE(sink.midiAt(0, noteOn, sizeof noteOn));
}

TEST(TimedMidiSender, SendsInOrderNeverEarlyAndEndsWithAllNotesOff)
{
    RecordingMidiDestination::Log log;
    TimedMidiSender sender;
    sender.attach(std::make_unique<RecordingMidiDestination>(log));
    EXPECT_EQ(sender.destinationName(), "recording");
    TimedMidiInput noInput(48000, 256);
    TimedMidiSink sink(sender, noInput, 48000);
    sender.start();

    // Two blocks, as an audio thread would queue them; the sender is idle in between.
    const auto zero = MidiClock::now() + 20ms;
    const std::uint8_t first[] = {0x99, 36, 127};
    const std::uint8_t second[] = {0x99, 38, 90};
    const std::uint8_t third[] = {0x89, 36, 0};
    sink.beginBlock(zero, 0, 256);
    ASSERT_TRUE(sink.midiAt(10, first, sizeof first));
    ASSERT_TRUE(sink.midiAt(200, second, sizeof second));
    std::this_thread::sleep_for(30ms);
    sink.beginBlock(zero, 256, 256);
    ASSERT_TRUE(sink.midiAt(5, third, sizeof third));
    // Stopping right away still sends what is queued, each at its time.
    sender.stop();

    const auto sent = log.copy();
    ASSERT_EQ(sent.size(), 4u);
    const std::uint64_t frames[] = {10, 200, 261};
    const std::uint8_t notes[] = {36, 38, 36};
    for (std::size_t index = 0; index < 3; ++index) {
        SCOPED_TRACE(index);
        const auto deadline = TimedMidiSink::frameTime(zero, frames[index], 48000);
        EXPECT_EQ(sent[index].message.deadline(), deadline);
        EXPECT_GE(sent[index].sentAt, deadline);
        EXPECT_EQ(sent[index].message.bytes[1], notes[index]);
    }
    EXPECT_TRUE(sent[3].allNotesOff);
}

// The pads of a controller on an RtAudio or null output: what arrives during one block sounds
// two blocks later at the same distance, whether the audio thread comes early or late.
class TimedInput : public ::testing::Test {
protected:
    static constexpr std::uint32_t kRate = 48000;
    static constexpr std::uint32_t kBlock = 480;  // 10 ms

    TimedInput() { input.attach(std::make_unique<testing::TestPads>(pads)); }

    static MidiClock::time_point ms(double at)
    {
        return kEpoch + std::chrono::duration_cast<MidiClock::duration>(
                            std::chrono::duration<double, std::milli>(at));
    }
    bool arrive(double atMs, std::uint8_t note, std::size_t size = 3)
    {
        const std::uint8_t bytes[] = {0x99, note, 100};
        return input.arrived(ms(atMs), bytes, size);
    }
    // (frame, note) of each message the block heard from `heardAtMs` on takes.
    std::vector<std::pair<std::uint32_t, int>> block(double heardAtMs)
    {
        input.beginBlock(ms(heardAtMs), kBlock);
        std::vector<std::pair<std::uint32_t, int>> taken;
        sound::MidiInEvent event;
        for (std::uint32_t index = 0; index < input.count(); ++index) {
            EXPECT_TRUE(input.at(index, event));
            taken.emplace_back(event.frame, event.size > 1 ? event.bytes[1] : -1);
        }
        EXPECT_FALSE(input.at(input.count(), event));
        return taken;
    }

    std::atomic<testing::TestPads*> pads{nullptr};
    TimedMidiInput input{kRate, kBlock};
};

TEST_F(TimedInput, EachMessageSoundsTwoBlocksAfterItArrivesNeverSoonerAndNeverLost)
{
    // Arrived 100.0, 105.5 and 109.99 ms: heard at 120.0, 125.5 and 129.99 ms, the block from
    // 120 ms on; a message at 112 ms belongs to the block after.
    EXPECT_TRUE(arrive(100.0, 36));
    EXPECT_TRUE(arrive(105.5, 38));
    EXPECT_TRUE(arrive(109.99, 42));
    EXPECT_TRUE(arrive(112.0, 46));
    using Taken = std::vector<std::pair<std::uint32_t, int>>;
    EXPECT_EQ(block(120.0), (Taken{{0, 36}, {264, 38}, {479, 42}}));
    EXPECT_EQ(block(130.0), (Taken{{96, 46}}));
    // A block made a little early misses a hit that arrives just after it: the next block
    // plays it at once, as little late as can be, never lost.
    EXPECT_EQ(block(140.0), Taken{});
    EXPECT_TRUE(arrive(128.0, 49));  // to be heard at 148 ms, in the block made already
    EXPECT_EQ(block(150.0), (Taken{{0, 49}}));
    // What came in while the output stood still (a restart) is long over and never sounds.
    EXPECT_TRUE(arrive(151.0, 51));
    EXPECT_TRUE(arrive(500.0, 35));
    EXPECT_EQ(block(520.0), (Taken{{0, 35}}));
    EXPECT_EQ(input.dropped(), 0u);
}

TEST_F(TimedInput, RefusesWhatIsNoWholeShortMessageAndCountsAFloodItCannotHold)
{
    const std::uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    EXPECT_FALSE(input.arrived(ms(0), sysex, sizeof sysex));
    EXPECT_FALSE(input.arrived(ms(0), sysex, 0));
    EXPECT_FALSE(input.arrived(ms(0), nullptr, 3));
    EXPECT_EQ(input.dropped(), 3u);

    // A flood in one moment: the queue holds what it can, each block takes its share in the
    // order it came, and nothing is lost but what did not fit.
    std::size_t taken = 0;
    for (std::size_t sent = 0; sent < TimedMidiInput::kCapacity + 10; ++sent)
        taken += arrive(200.0, static_cast<std::uint8_t>(sent % 128)) ? 1 : 0;
    EXPECT_EQ(taken, TimedMidiInput::kCapacity);
    EXPECT_EQ(input.dropped(), 3u + 10u);
    std::size_t heard = 0;
    for (double at = 220.0; heard < taken; at += 10.0) {
        const auto messages = block(at);
        ASSERT_FALSE(messages.empty());
        ASSERT_LE(messages.size(), TimedMidiInput::kMaxPerBlock);
        for (const auto& [frame, note] : messages)
            EXPECT_EQ(note, static_cast<int>(heard++ % 128));
    }
    EXPECT_EQ(block(1000.0).size(), 0u);
}

}  // namespace
}  // namespace taktwerk::devices
