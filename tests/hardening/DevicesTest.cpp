// Devices that come and go under live playback: the JACK server stopped while playing (the
// program notices, says "no audio output" and plays on, on the null output's clock; when a
// server is back, sound goes there again, and looking for it never touched the MIDI port), no
// MIDI port, a SoundFont that is not there.

#include "app/LiveHostOptions.h"
#include "devices/MidiOut.h"
#include "devices/support/JackDummyServer.h"
#include "devices/support/TestOutputs.h"
#include "sound/GmSynth.h"
#include "sound/ImpulseKit.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

namespace taktwerk::hardening {
namespace {

using namespace std::chrono_literals;
using devices::testing::JackDummyServer;
using devices::testing::TestDevice;
using devices::testing::TestOutputs;

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        ::setenv(name, value, 1);
    }
    ~ScopedEnvironment()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

app::Settings kitSettings(const std::filesystem::path& soundDir)
{
    app::Settings settings;
    settings.SoundDir = soundDir;
    settings.SoundDevice = 0;  // sampled voices
    return settings;
}

// The host for `settings` with the test's outputs, looking for a lost one every 300 ms, so that
// a test sees many probes.
std::unique_ptr<playback::LiveHost> hostFor(const app::Settings& settings, TestDevice& device,
                                            bool jack)
{
    playback::LiveHostOptions options = app::liveHostOptions(settings);
    options.probeInterval = 300ms;
    return std::make_unique<playback::LiveHost>(options,
                                                std::make_unique<TestOutputs>(device, jack));
}

// Stands in for the window for a while: sleeps until the host has news, takes the steps and
// what it reports. Returns the frame of the last step seen (0 for none).
struct Polled {
    int steps = 0;
    std::uint64_t lastFrame = 0;
    std::string trouble;
};
Polled poll(playback::Host& host, std::chrono::milliseconds forHowLong)
{
    Polled polled;
    const auto end = std::chrono::steady_clock::now() + forHowLong;
    while (std::chrono::steady_clock::now() < end) {
        (void)host.news().wait(std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now()));
        sequencer::StepEvent event;
        while (host.popEvent(event)) {
            ++polled.steps;
            polled.lastFrame = event.frame;
        }
        polled.trouble += host.trouble();
    }
    return polled;
}

int allNotesOffs(TestDevice& device)
{
    int count = 0;
    for (const auto& sent : device.midi.copy())
        count += sent.allNotesOff ? 1 : 0;
    return count;
}

TEST(Devices, JackServerStoppedWhilePlayingIsNoticedPlaybackGoesOnAndSoundComesBack)
{
    if (!JackDummyServer::isInstalled())
        GTEST_SKIP() << "jackd is not installed (Debian package jackd2)";
    // Nothing else that could take over: no SoundFont to load, no desktop sound server.
    ScopedEnvironment noSoundFont("TAKTWERK_SOUNDFONT", "/nonexistent/none.sf2");
    const std::filesystem::path soundDir =
        std::filesystem::temp_directory_path() / ("taktwerk-devices-" + std::to_string(::getpid()));
    testing::writeImpulseKit(soundDir, "Default", static_cast<int>(JackDummyServer::kSampleRate));

    std::optional<JackDummyServer> server(std::in_place);
    ASSERT_TRUE(server->isReady()) << server->failure();
    TestDevice device;
    const auto host = hostFor(kitSettings(soundDir), device, /*jack=*/true);
    EXPECT_EQ(host->notice(), "");
    EXPECT_TRUE(host->hasAudioOutput());
    EXPECT_EQ(device.midiOpens, 0) << "JACK brings its own MIDI port";
    sequencer::StepInputs inputs;
    inputs.rows[0] = 0xFFFFFFFFu;
    host->publish(inputs, 450);  // 15 steps a second
    host->start();
    const Polled before = poll(*host, 600ms);
    EXPECT_GT(before.steps, 3);
    EXPECT_EQ(before.trouble.find("no audio output"), std::string::npos) << before.trouble;

    server->stop();
    const Polled lost = poll(*host, 1500ms);
    EXPECT_NE(lost.trouble.find("JACK went away: no audio output"), std::string::npos)
        << lost.trouble;
    EXPECT_FALSE(host->hasAudioOutput());
    // Playback went on, on the null output's clock, from where it was.
    EXPECT_GT(lost.steps, 5);
    EXPECT_GT(lost.lastFrame, before.lastFrame);
    // The null output took "MIDI output device 0" once; the probes since (about one in 300 ms)
    // opened audio only, so the port saw no open, close or all-notes-off.
    EXPECT_GE(device.backendTries, 1 + 3 * 3);
    EXPECT_EQ(device.midiOpens, 1);
    EXPECT_EQ(allNotesOffs(device), 0);

    server.reset();
    server.emplace();  // a server again (under a new name, which JACK clients now find)
    ASSERT_TRUE(server->isReady()) << server->failure();
    const Polled back = poll(*host, 3000ms);
    EXPECT_NE(back.trouble.find("audio output back: JACK"), std::string::npos) << back.trouble;
    EXPECT_TRUE(host->hasAudioOutput());
    EXPECT_GT(back.steps, 20);
    EXPECT_GT(back.lastFrame, lost.lastFrame);
    const Polled after = poll(*host, 500ms);
    EXPECT_GT(after.steps, 3);
    EXPECT_EQ(after.trouble.find("no audio output"), std::string::npos) << after.trouble;
    // JACK has its own port again: the stand-in's ended, once, with its notes off.
    EXPECT_EQ(device.midiOpens, 1);
    EXPECT_EQ(allNotesOffs(device), 1);

    host->shutdown();
    std::filesystem::remove_all(soundDir);
}

TEST(Devices, NoMidiPortAndNoSoundFontLeaveAWorkingDrumMachine)
{
    // Our machines have no MIDI sequencer at all: "no port" is an answer, never an exception.
    const auto port = devices::MidiOut::openFirstPort("Taktwerk test");
    if (!port) {
        EXPECT_FALSE(port.error().message.empty());
    }

    ScopedEnvironment noSoundFont("TAKTWERK_SOUNDFONT", "/nonexistent/none.sf2");
    const auto soundFont = sound::findSoundFont();
    ASSERT_TRUE(soundFont);
    const auto synth = sound::GmSynth::create(*soundFont, {});
    ASSERT_FALSE(synth);
    EXPECT_FALSE(synth.error().message.empty());

    // MIDI mode with neither a port nor the built-in synth: silent, but it runs and steps.
    app::Settings settings;
    settings.SoundDir = std::filesystem::temp_directory_path() / "taktwerk-no-such-sound";
    TestDevice device;
    device.midiPort = false;
    const auto host = hostFor(settings, device, /*jack=*/false);
    EXPECT_EQ(host->notice(), "no audio output");
    EXPECT_TRUE(host->midiFailed());
    host->publish(sequencer::StepInputs{}, 450);
    host->start();
    (void)host->hitPad(0, 1, sound::kFullVelocity, false);
    EXPECT_GT(poll(*host, 500ms).steps, 3);
    host->shutdown();
}

}  // namespace
}  // namespace taktwerk::hardening
