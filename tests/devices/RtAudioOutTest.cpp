// The RtAudio output, driven through RtAudio's own JACK host against a private dummy server
// (the only device a machine without sound has), with its timed MIDI recorded; and through
// PulseAudio against a private server that is then taken away.

#include "devices/AudioOut.h"
#include "devices/support/JackDummyServer.h"
#include "devices/support/JackRecorder.h"
#include "devices/support/PulseDummyServer.h"
#include "devices/support/TestSources.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace taktwerk::devices {
namespace {

using testing::ClickSource;
using testing::JackDummyServer;
using testing::JackRecorder;
using testing::PulseDummyServer;
using testing::RecordingMidiDestination;

constexpr std::uint64_t kFirstClick = 37;
constexpr std::uint64_t kSpacing = 1001;
using namespace std::chrono_literals;

TEST(RtAudioOut, PlaysClicksAtExactFramesAndSendsTheirNotesOnTheFrameGrid)
{
    if (!JackDummyServer::isInstalled())
        GTEST_SKIP() << "jackd is not installed (Debian package jackd2)";
    JackDummyServer server;
    ASSERT_TRUE(server.isReady()) << server.failure();
    JackRecorder recorder(10.0);
    ASSERT_TRUE(recorder.isReady());
    AudioOutRequest request;
    request.clientName = "rtaudio-out";
    auto opened = openRtAudioOut(RtAudioHost::Jack, request);
    ASSERT_TRUE(opened) << opened.error().detail;
    AudioOut& out = **opened;
    EXPECT_EQ(out.sampleRate(), JackDummyServer::kSampleRate);
    EXPECT_EQ(out.midiPortName(), "");
    RecordingMidiDestination::Log log;
    ASSERT_TRUE(out.attachMidi(std::make_unique<RecordingMidiDestination>(log)));

    ClickSource source(kFirstClick, kSpacing, /*armed=*/false);
    ASSERT_TRUE(out.start(source));
    // RtAudio's JACK host names its ports "outport 0", "outport 1".
    ASSERT_TRUE(recorder.connectAudio("rtaudio-out:outport 0", "rtaudio-out:outport 1"));
    source.arm();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    out.stop();
    recorder.stop();

    EXPECT_EQ(source.refusedMidi(), 0u);
    EXPECT_LE(source.maxFrames(), out.blockFrames());
    std::vector<std::uint32_t> clickFrames;
    for (std::size_t index = 0; index < recorder.recordedFrames(); ++index) {
        if (recorder.left(index) != 0.0f) {
            EXPECT_EQ(recorder.left(index), ClickSource::kLeft);
            EXPECT_EQ(recorder.right(index), ClickSource::kRight);
            clickFrames.push_back(static_cast<std::uint32_t>(recorder.firstFrame() + index));
        }
    }
    const auto clicks = source.clicks();
    ASSERT_GT(clicks, 50u);
    ASSERT_EQ(clickFrames.size(), clicks);
    EXPECT_TRUE(recorder.isContiguousFrom(clickFrames.front()));
    for (std::size_t index = 1; index < clickFrames.size(); ++index) {
        EXPECT_EQ(clickFrames[index] - clickFrames[index - 1], kSpacing) << index;
    }

    const auto sent = log.copy();
    ASSERT_EQ(sent.size(), clicks + 1);
    EXPECT_TRUE(sent.back().allNotesOff);
    // The deadlines lie on the frame grid of the stream. Only a slip of the device's timeline,
    // reported as an xrun (a shared machine may wake the server late), moves the grid.
    const std::uint32_t rate = out.sampleRate();
    std::uint32_t gridBreaks = 0;
    for (std::size_t index = 0; index < clicks; ++index) {
        SCOPED_TRACE("note " + std::to_string(index));
        EXPECT_GE(sent[index].sentAt, sent[index].message.deadline());
        if (index == 0)
            continue;
        // Frames count from the stream's start, the clicks from when the source was armed: the
        // two nanosecond roundings may differ by one.
        const auto step = sent[index].message.deadline() - sent[index - 1].message.deadline();
        const auto expected = durationOfFrames(kFirstClick + index * kSpacing, rate) -
                              durationOfFrames(kFirstClick + (index - 1) * kSpacing, rate);
        if (step < expected - 1ns || step > expected + 1ns)
            ++gridBreaks;
    }
    EXPECT_LE(gridBreaks, out.xruns());
    EXPECT_EQ(out.overruns(), 0u);
}

TEST(RtAudioOut, ALostPulseAudioServerIsReportedAsALostDeviceAndWakesItsWatcher)
{
    if (!PulseDummyServer::isInstalled())
        GTEST_SKIP() << "pulseaudio is not installed (Debian package pulseaudio)";
    PulseDummyServer server;
    ASSERT_TRUE(server.isReady()) << server.failure();
    auto opened = openRtAudioOut(RtAudioHost::PulseAudio, AudioOutRequest{});
    ASSERT_TRUE(opened) << opened.error().message << " " << opened.error().detail;
    AudioOut& out = **opened;
    const sound::Wakeup lost;
    out.notifyOnLoss(&lost);
    ClickSource source(kFirstClick, kSpacing);
    ASSERT_TRUE(out.start(source));
    const auto giveUp = std::chrono::steady_clock::now() + 10s;
    while (source.blocks() < 20 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(10ms);
    ASSERT_GE(source.blocks(), 20u) << "the server takes our audio";
    EXPECT_FALSE(lost.wait(0ms));
    EXPECT_FALSE(out.deviceLost());

    // RtAudio hears of it only as a warning of a refused write, at its next block.
    server.kill();
    EXPECT_TRUE(lost.wait(5000ms));
    EXPECT_TRUE(out.deviceLost());
    EXPECT_FALSE(out.isRunning());
    out.stop();  // must neither hang nor crash with the server gone
}

}  // namespace
}  // namespace taktwerk::devices
