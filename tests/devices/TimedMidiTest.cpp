// The timed MIDI path of the RtAudio and null outputs, without a device.

#include "devices/TimedMidi.h"

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
    TimedMidiSink noReceiver(withoutPort, 48000);
    EXPECT_FALSE(noReceiver.hasReceiver());
    EXPECT_FALSE(noReceiver.midiAt(0, noteOn, sizeof noteOn));

    RecordingMidiDestination::Log log;
    TimedMidiSender sender;
    sender.attach(std::make_unique<RecordingMidiDestination>(log));
    TimedMidiSink sink(sender, 48000);
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
    TimedMidiSink sink(sender, 48000);
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

}  // namespace
}  // namespace taktwerk::devices
