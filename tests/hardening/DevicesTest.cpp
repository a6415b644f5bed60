// Devices that come and go under live playback: the JACK server stopped while playing (the
// program notices, says "no audio output" and plays on, on the null output's clock; when a
// server is back, sound goes there again), no MIDI port, a SoundFont that is not there.

#include "app/LivePlayback.h"
#include "devices/MidiOut.h"
#include "devices/support/JackDummyServer.h"
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

// Runs the window's playback timer for a while: drains the step events and collects what the
// playback reports. Returns the frame of the last step seen (0 for none).
struct Polled {
    int steps = 0;
    std::uint64_t lastFrame = 0;
    std::string trouble;
};
Polled poll(app::LivePlayback& playback, std::chrono::milliseconds forHowLong)
{
    Polled polled;
    const auto end = std::chrono::steady_clock::now() + forHowLong;
    while (std::chrono::steady_clock::now() < end) {
        sequencer::StepEvent event;
        while (playback.popEvent(event)) {
            ++polled.steps;
            polled.lastFrame = event.frame;
        }
        polled.trouble += playback.trouble();
        std::this_thread::sleep_for(16ms);  // a 60 Hz display's timer
    }
    return polled;
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
    app::LivePlayback playback(kitSettings(soundDir));
    EXPECT_EQ(playback.notice(), "");
    sequencer::StepInputs inputs;
    inputs.rows[0] = 0xFFFFFFFFu;
    playback.publish(inputs, 450);  // 15 steps a second
    playback.start();
    const Polled before = poll(playback, 600ms);
    EXPECT_GT(before.steps, 3);
    EXPECT_EQ(before.trouble.find("no audio output"), std::string::npos) << before.trouble;

    server->stop();
    const Polled lost = poll(playback, 1000ms);
    EXPECT_NE(lost.trouble.find("no audio output"), std::string::npos) << lost.trouble;
    // Playback went on, on the null output's clock, from where it was.
    EXPECT_GT(lost.steps, 5);
    EXPECT_GT(lost.lastFrame, before.lastFrame);

    server.reset();
    server.emplace();  // a server again (under a new name, which JACK clients now find)
    ASSERT_TRUE(server->isReady()) << server->failure();
    const Polled back = poll(playback, 4000ms);
    EXPECT_NE(back.trouble.find("audio output back: JACK"), std::string::npos) << back.trouble;
    EXPECT_GT(back.steps, 20);
    EXPECT_GT(back.lastFrame, lost.lastFrame);
    const Polled after = poll(playback, 500ms);
    EXPECT_GT(after.steps, 3);
    EXPECT_EQ(after.trouble.find("no audio output"), std::string::npos) << after.trouble;

    playback.shutdown();
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
    ScopedEnvironment noJack("JACK_DEFAULT_SERVER", "taktwerk-no-such-server");
    const auto soundFont = sound::findSoundFont();
    ASSERT_TRUE(soundFont);
    const auto synth = sound::GmSynth::create(*soundFont, {});
    ASSERT_FALSE(synth);
    EXPECT_FALSE(synth.error().message.empty());

    // MIDI mode with neither a port nor the built-in synth: silent, but it runs and steps.
    app::Settings settings;
    settings.SoundDir = std::filesystem::temp_directory_path() / "taktwerk-no-such-sound";
    app::LivePlayback playback(settings);
    playback.publish(sequencer::StepInputs{}, 450);
    playback.start();
    (void)playback.hitPad(0, 1);
    EXPECT_GT(poll(playback, 500ms).steps, 3);
    playback.shutdown();
}

}  // namespace
}  // namespace taktwerk::hardening
