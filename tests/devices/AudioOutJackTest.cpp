// The JACK output against a private dummy server, recorded by a second JACK client: audio and
// MIDI must reach the graph at exactly the frames the source chose.

#include "devices/AudioOut.h"
#include "devices/MidiOut.h"
#include "devices/support/JackDummyServer.h"
#include "devices/support/JackRecorder.h"
#include "devices/support/TestSources.h"

#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

namespace taktwerk::devices {
namespace {

using testing::ClickSource;
using testing::JackDummyServer;
using testing::JackRecorder;
using testing::RecordedMidiEvent;

// 37 and 1001 share no factor with the 256-frame period: the clicks fall on ever different
// offsets inside their cycles, so a note-on moved to a cycle boundary cannot pass.
constexpr std::uint64_t kFirstClick = 37;
constexpr std::uint64_t kSpacing = 1001;
constexpr auto kPlayTime = std::chrono::seconds(3);
constexpr double kRecorderSeconds = 10.0;
constexpr auto kShutdownWait = std::chrono::seconds(10);

struct RecordedClick {
    std::uint32_t frame;
    float left;
    float right;
};

std::vector<RecordedClick> clicksIn(const JackRecorder& recorder)
{
    std::vector<RecordedClick> clicks;
    for (std::size_t index = 0; index < recorder.recordedFrames(); ++index) {
        if (recorder.left(index) != 0.0f || recorder.right(index) != 0.0f) {
            clicks.push_back({static_cast<std::uint32_t>(recorder.firstFrame() + index),
                              recorder.left(index), recorder.right(index)});
        }
    }
    return clicks;
}

std::string clientOf(const std::string& portName) { return portName.substr(0, portName.find(':')); }

#define SKIP_WITHOUT_JACKD()                                                                       \
    if (!JackDummyServer::isInstalled()) {                                                         \
        GTEST_SKIP() << "jackd is not installed (Debian package jackd2)";                          \
    }

TEST(JackAudioOut, PlacesEveryClickAndNoteOnAtItsExactFrame)
{
    SKIP_WITHOUT_JACKD()
    JackDummyServer server;
    ASSERT_TRUE(server.isReady()) << server.failure();
    // Started before our output, so that its MIDI input is the one our port connects to.
    JackRecorder recorder(kRecorderSeconds);
    ASSERT_TRUE(recorder.isReady());
    auto opened = openJackAudioOut(AudioOutRequest{});
    ASSERT_TRUE(opened) << opened.error().detail;
    AudioOut& out = **opened;
    EXPECT_EQ(out.sampleRate(), JackDummyServer::kSampleRate);
    EXPECT_EQ(out.blockFrames(), JackDummyServer::kPeriodFrames);
    EXPECT_FALSE(out.attachMidi(nullptr));

    ClickSource source(kFirstClick, kSpacing, /*armed=*/false);
    ASSERT_TRUE(out.start(source));
    EXPECT_TRUE(out.isRunning());
    const std::string client = clientOf(out.midiPortName());
    ASSERT_TRUE(recorder.connectAudio(client + ":out_left", client + ":out_right"));
    // At start our ports went to the first physical playback ports and the first MIDI input.
    EXPECT_THAT(recorder.connectionsOf(client + ":out_left"),
                ::testing::UnorderedElementsAre("system:playback_1", "recorder:in_left"));
    EXPECT_THAT(recorder.connectionsOf(client + ":out_right"),
                ::testing::UnorderedElementsAre("system:playback_2", "recorder:in_right"));
    EXPECT_EQ(recorder.connectionsOf(out.midiPortName()),
              std::vector<std::string>{recorder.midiInputName()});
    source.arm();
    std::this_thread::sleep_for(kPlayTime);
    out.stop();
    EXPECT_FALSE(out.isRunning());
    recorder.stop();

    // The server may be woken late on a shared machine (xruns() counts that); our own
    // processing must never be the cause.
    EXPECT_EQ(out.overruns(), 0u) << out.xruns() << " xruns";
    EXPECT_FALSE(out.deviceLost());
    EXPECT_LE(source.maxFrames(), out.blockFrames());
    EXPECT_GT(source.blocksWithReceiver(), 0u) << "our MIDI port did not connect at start";
    EXPECT_EQ(source.refusedMidi(), 0u);

    const auto clicks = clicksIn(recorder);
    const auto expected = source.clicks();
    ASSERT_GT(expected, 100u);
    ASSERT_EQ(clicks.size(), expected);
    EXPECT_TRUE(recorder.isContiguousFrom(clicks.front().frame));
    for (std::size_t index = 0; index < clicks.size(); ++index) {
        SCOPED_TRACE("click " + std::to_string(index));
        EXPECT_EQ(clicks[index].left, ClickSource::kLeft);
        EXPECT_EQ(clicks[index].right, ClickSource::kRight);
        if (index > 0) {
            EXPECT_EQ(clicks[index].frame - clicks[index - 1].frame, kSpacing);
        }
    }

    const auto events = recorder.midiEvents();
    ASSERT_EQ(events.size(), expected + kMidiChannels);
    for (std::size_t index = 0; index < expected; ++index) {
        SCOPED_TRACE("note-on " + std::to_string(index));
        const std::vector<std::uint8_t> noteOn{0x99, static_cast<std::uint8_t>(index % 128),
                                               ClickSource::kVelocity};
        EXPECT_EQ(events[index].bytes, noteOn);
        EXPECT_EQ(events[index].frame, clicks[index].frame);
    }
    // Stopping sends "all notes off" (controller 123) on every channel, after the last note.
    for (std::size_t channel = 0; channel < kMidiChannels; ++channel) {
        const RecordedMidiEvent& event = events[expected + channel];
        const std::vector<std::uint8_t> notesOff{static_cast<std::uint8_t>(0xB0 + channel), 123, 0};
        EXPECT_EQ(event.bytes, notesOff);
        EXPECT_GT(event.frame, clicks.back().frame);
    }
}

// A paused output (the window's sleep) must come back exactly as the user wired it, and the
// sound it then plays must reach those ports from its first cycle.
TEST(JackAudioOut, KeepsItsConnectionsAcrossAStopAndAStart)
{
    SKIP_WITHOUT_JACKD()
    JackDummyServer server;
    ASSERT_TRUE(server.isReady()) << server.failure();
    JackRecorder recorder(kRecorderSeconds);
    ASSERT_TRUE(recorder.isReady());
    auto opened = openJackAudioOut(AudioOutRequest{});
    ASSERT_TRUE(opened) << opened.error().detail;
    AudioOut& out = **opened;
    ClickSource quiet(kFirstClick, kSpacing, /*armed=*/false);
    ASSERT_TRUE(out.start(quiet));
    const std::string client = clientOf(out.midiPortName());
    ASSERT_TRUE(recorder.connectAudio(client + ":out_left", client + ":out_right"));
    EXPECT_TRUE(out.hasMidiConnections()) << "our MIDI output went to the recorder's input";
    out.stop();
    EXPECT_TRUE(recorder.connectionsOf(client + ":out_left").empty()) << "deactivated";

    ClickSource source(0, kSpacing);
    ASSERT_TRUE(out.start(source));
    EXPECT_THAT(recorder.connectionsOf(client + ":out_left"),
                ::testing::UnorderedElementsAre("system:playback_1", "recorder:in_left"));
    EXPECT_THAT(recorder.connectionsOf(client + ":out_right"),
                ::testing::UnorderedElementsAre("system:playback_2", "recorder:in_right"));
    EXPECT_EQ(recorder.connectionsOf(out.midiPortName()),
              std::vector<std::string>{recorder.midiInputName()});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    out.stop();
    recorder.stop();
    // The source's first cycle holds its first click at frame 0: heard, not lost before the
    // connections were back.
    const auto clicks = clicksIn(recorder);
    ASSERT_FALSE(clicks.empty());
    EXPECT_EQ(clicks.size(), source.clicks());
}

TEST(JackAudioOut, CarriesMidiWithoutReceiverAndSaysSo)
{
    SKIP_WITHOUT_JACKD()
    JackDummyServer server;
    ASSERT_TRUE(server.isReady()) << server.failure();
    auto opened = openJackAudioOut(AudioOutRequest{});
    ASSERT_TRUE(opened) << opened.error().detail;
    ClickSource source(kFirstClick, kSpacing);
    ASSERT_TRUE((*opened)->start(source));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    (*opened)->stop();

    // The port always exists and takes every message; with nobody connected the engine
    // sounds its own synth instead.
    EXPECT_GT(source.clicks(), 0u);
    EXPECT_EQ(source.refusedMidi(), 0u);
    EXPECT_EQ(source.blocksWithReceiver(), 0u);
}

TEST(JackAudioOut, ReportsTheServerGoingAwayAsDeviceLost)
{
    SKIP_WITHOUT_JACKD()
    JackDummyServer server;
    ASSERT_TRUE(server.isReady()) << server.failure();
    auto opened = openJackAudioOut(AudioOutRequest{});
    ASSERT_TRUE(opened) << opened.error().detail;
    AudioOut& out = **opened;
    const sound::Wakeup lost;
    out.notifyOnLoss(&lost);
    ClickSource source(kFirstClick, kSpacing);
    ASSERT_TRUE(out.start(source));
    EXPECT_FALSE(lost.wait(std::chrono::milliseconds(100)));

    server.stop();
    // Whoever watches the output sleeps until the loss wakes it; nobody polls.
    EXPECT_TRUE(lost.wait(std::chrono::duration_cast<std::chrono::milliseconds>(kShutdownWait)));
    EXPECT_TRUE(out.deviceLost());
    EXPECT_FALSE(out.isRunning());
    out.stop();  // must neither hang nor crash with the server gone
    EXPECT_FALSE(out.start(source));
}

}  // namespace
}  // namespace taktwerk::devices
