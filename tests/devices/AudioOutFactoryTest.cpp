// Choosing an output, and the null output that plays when there is none.

#include "devices/AudioOut.h"
#include "devices/support/JackDummyServer.h"
#include "devices/support/TestOutputs.h"
#include "devices/support/TestSources.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace taktwerk::devices {
namespace {

using testing::ClickSource;
using testing::JackDummyServer;
using testing::RecordingMidiDestination;
using testing::TestOutputs;

constexpr std::uint64_t kFirstClick = 37;
constexpr std::uint64_t kSpacing = 1001;

// Points JACK clients at a server name nobody runs, for the life of the object.
class NoJackServer {
public:
    NoJackServer()
    {
        if (const char* previous = std::getenv("JACK_DEFAULT_SERVER"))
            previous_ = previous;
        const std::string name = "taktwerk-none-" + std::to_string(::getpid());
        ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    }
    ~NoJackServer()
    {
        if (previous_.empty())
            ::unsetenv("JACK_DEFAULT_SERVER");
        else
            ::setenv("JACK_DEFAULT_SERVER", previous_.c_str(), 1);
    }

private:
    std::string previous_;
};

TEST(OpenAudioOut, ChoosesJackWhenAServerRuns)
{
    if (!JackDummyServer::isInstalled())
        GTEST_SKIP() << "jackd is not installed (Debian package jackd2)";
    JackDummyServer server;
    ASSERT_TRUE(server.isReady()) << server.failure();

    const OpenedAudioOut opened = openAudioOut();

    EXPECT_EQ(opened.out->backendName(), "JACK");
    EXPECT_EQ(opened.notice, "");
    EXPECT_EQ(opened.out->midiPortName(), "Taktwerk:midi_out");
}

TEST(OpenAudioOut, FallsBackToTheNullOutputAndSaysSoOnlyInItsResult)
{
    const NoJackServer noServer;
    AudioOutRequest request;
    testing::TestDevice device;
    TestOutputs outputs(device, /*jack=*/true);

    ::testing::internal::CaptureStderr();
    const OpenedAudioOut opened = openAudioOut(outputs, request);
    const std::string printed = ::testing::internal::GetCapturedStderr();

    ASSERT_NE(opened.out, nullptr);
    EXPECT_EQ(opened.out->backendName(), "null");
    EXPECT_EQ(opened.notice, "no audio output");
    EXPECT_EQ(device.backendTries, 3);
    // The null output has no MIDI port of its own: it gets "MIDI output device 0".
    EXPECT_EQ(device.midiOpens, 1);
    EXPECT_EQ(opened.out->midiPortName(), "recording");
    ASSERT_FALSE(opened.details.empty());
    EXPECT_EQ(opened.details.front().rfind("JACK: ", 0), 0u) << opened.details.front();
    // Neither we nor libjack print the missing server; the caller shows the notice once.
    EXPECT_EQ(printed.find("no audio output"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("server"), std::string::npos) << printed;

    ClickSource source(kFirstClick, kSpacing);
    ASSERT_TRUE(opened.out->start(source));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    opened.out->stop();
    EXPECT_GT(source.blocks(), 0u);
    EXPECT_EQ(source.maxFrames(), request.blockFrames);
}

TEST(NullAudioOut, RunsWholeBlocksAndSendsEachNoteWhenItsFrameIsHeard)
{
    AudioOutRequest request;
    request.blockFrames = 128;
    const auto out = makeNullAudioOut(request);
    RecordingMidiDestination::Log log;
    ASSERT_TRUE(out->attachMidi(std::make_unique<RecordingMidiDestination>(log)));
    EXPECT_EQ(out->midiPortName(), "recording");

    ClickSource source(kFirstClick, kSpacing);
    ASSERT_TRUE(out->start(source));
    EXPECT_FALSE(out->attachMidi(nullptr));  // not while running
    EXPECT_FALSE(out->start(source));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    out->stop();
    EXPECT_FALSE(out->isRunning());

    EXPECT_EQ(source.maxFrames(), 128u);
    EXPECT_EQ(source.blocksWithReceiver(), source.blocks());
    EXPECT_EQ(source.refusedMidi(), 0u);
    const auto sent = log.copy();
    const auto clicks = source.clicks();
    ASSERT_GT(clicks, 5u);
    ASSERT_EQ(sent.size(), clicks + 1);
    EXPECT_TRUE(sent.back().allNotesOff);

    // Deadlines lie exactly on the frame grid of the stream, and nothing leaves early.
    const MidiClock::time_point epoch{};
    const auto zero =
        sent[0].message.deadline() - (TimedMidiSink::frameTime(epoch, kFirstClick, 48000) - epoch);
    for (std::size_t index = 0; index < clicks; ++index) {
        SCOPED_TRACE("note " + std::to_string(index));
        const auto& message = sent[index].message;
        EXPECT_EQ(message.deadline(),
                  TimedMidiSink::frameTime(zero, kFirstClick + index * kSpacing, 48000));
        EXPECT_GE(sent[index].sentAt, message.deadline());
        EXPECT_EQ(message.size, 3);
        EXPECT_EQ(message.bytes[1], index % 128);
    }
}

TEST(ProbeAudioOut, LooksForAudioOnlyAndNeverTouchesTheMidiPort)
{
    const NoJackServer noServer;
    testing::TestDevice device;
    TestOutputs outputs(device, /*jack=*/true);
    for (int probe = 0; probe < 5; ++probe) {
        const auto tried = probeAudioOut(outputs, AudioOutRequest{});
        ASSERT_FALSE(tried) << "never the null output";
        EXPECT_NE(tried.error().detail.find("JACK: "), std::string::npos) << tried.error().detail;
    }
    EXPECT_EQ(device.backendTries, 15);
    EXPECT_EQ(device.midiOpens, 0);
    EXPECT_TRUE(device.midi.copy().empty()) << "not even an all-notes-off";

    if (!JackDummyServer::isInstalled())
        GTEST_SKIP() << "jackd is not installed (Debian package jackd2)";
    JackDummyServer server;
    ASSERT_TRUE(server.isReady()) << server.failure();
    const auto found = probeAudioOut(outputs, AudioOutRequest{});
    ASSERT_TRUE(found) << found.error().detail;
    EXPECT_EQ((*found)->backendName(), "JACK");
    EXPECT_EQ(device.midiOpens, 0);
}

TEST(NullAudioOut, HandsItsMidiPortOnWithoutClosingIt)
{
    AudioOutRequest request;
    const auto first = makeNullAudioOut(request);
    RecordingMidiDestination::Log log;
    ASSERT_TRUE(first->attachMidi(std::make_unique<RecordingMidiDestination>(log)));
    ClickSource source(kFirstClick, kSpacing);
    ASSERT_TRUE(first->start(source));
    EXPECT_EQ(first->detachMidi(), nullptr) << "not while running";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    first->stop();

    auto port = first->detachMidi();
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(first->midiPortName(), "");
    EXPECT_EQ(first->detachMidi(), nullptr);
    const auto second = makeNullAudioOut(request);
    ASSERT_TRUE(second->attachMidi(std::move(port)));
    EXPECT_EQ(second->midiPortName(), "recording");
}

TEST(RtAudioReports, OnlyAnUnderrunLeavesTheDeviceInPlay)
{
    struct Case {
        const char* text;
        RtAudioTrouble trouble;
    };
    // As RtAudio words them: ALSA recovers from an underrun by itself; a write that fails for
    // any other reason fails again at the next block.
    const Case cases[] = {
        {"RtApiAlsa::callbackEvent: audio write error, underrun.", RtAudioTrouble::LateBlock},
        {"RtApiAlsa::callbackEvent: audio write error, No such device.",
         RtAudioTrouble::DeviceLost},
        {"RtApiAlsa::callbackEvent: error preparing device after underrun, No such device.",
         RtAudioTrouble::DeviceLost},
        {"RtApiAlsa::callbackEvent: error, current state is DISCONNECTED, No such device.",
         RtAudioTrouble::DeviceLost},
        {"RtApiPulse::callbackEvent: audio write error, Connection terminated.",
         RtAudioTrouble::DeviceLost},
        {"", RtAudioTrouble::DeviceLost},
    };
    for (const Case& c : cases)
        EXPECT_EQ(classifyRtAudioReport(c.text), c.trouble) << c.text;
}

}  // namespace
}  // namespace taktwerk::devices
