// The live host on a fake sound card that the test plugs in and pulls out, and on the null
// output: the watch thread notices a lost card at once, plays on without it, takes it back at
// the engine's rate only, and never opens or closes the MIDI port to look for it. And the
// output's sleep when all is quiet: every way of playing wakes it, and nothing played is lost.

#include "playback/LiveHost.h"

#include "devices/support/JackDummyServer.h"
#include "devices/support/JackPortOwner.h"
#include "devices/support/JackTransportMaster.h"
#include "devices/support/TestOutputs.h"
#include "sound/GmSynth.h"
#include "sound/ImpulseKit.h"
#include "sound/SoundTestSupport.h"

#include <chrono>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace taktwerk::playback {
namespace {

using namespace std::chrono_literals;
using devices::testing::FakeCardOut;
using devices::testing::TestDevice;
using devices::testing::TestOutputs;

constexpr auto kProbe = 100ms;

struct Host {
    explicit Host(TestDevice& device, const devices::MidiPortChoice& midiOut = {},
                  bool jack = false,
                  const devices::MidiPortChoice& midiIn = devices::MidiPortChoice::none())
    {
        LiveHostOptions options;
        options.probeInterval = kProbe;
        options.request.midiOut = midiOut;
        options.request.midiIn = midiIn;
        host = std::make_unique<LiveHost>(options, std::make_unique<TestOutputs>(device, jack));
        sequencer::StepInputs inputs;
        inputs.rows[0] = 0xFFFFFFFFu;
        host->publish(inputs, 450);  // 15 steps a second
        host->start();
    }
    // Sleeps on the news until `wanted` appears in a report or `limit` has passed; the steps
    // that came meanwhile are counted.
    std::string awaitReport(const std::string& wanted, std::chrono::milliseconds limit)
    {
        std::string reports;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (reports.find(wanted) == std::string::npos &&
               std::chrono::steady_clock::now() < end) {
            (void)host->news().wait(10ms);
            sequencer::StepEvent event;
            while (host->popEvent(event)) {
                ++steps;
                lastFrame = event.frame;
            }
            reports += host->trouble();
        }
        return reports;
    }
    int allNotesOffs(TestDevice& device) const
    {
        int count = 0;
        for (const auto& sent : device.midi.copy())
            count += sent.allNotesOff ? 1 : 0;
        return count;
    }

    std::unique_ptr<LiveHost> host;
    int steps = 0;
    std::uint64_t lastFrame = 0;
};

// Polls `done` until it holds or `limit` has passed.
template <typename Done>
bool eventually(Done done, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// A JACK dummy server of the test's own.
class LiveHostOnJack : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!devices::testing::JackDummyServer::isInstalled())
            GTEST_SKIP() << "jackd is not installed (Debian package jackd2)";
        server.emplace();
        ASSERT_TRUE(server->isReady()) << server->failure();
    }

    std::optional<devices::testing::JackDummyServer> server;
};

TEST(LiveHost, StepsWakeTheOwnerWhoNeverPolls)
{
    TestDevice device;
    Host h(device);
    EXPECT_EQ(h.host->notice(), "no audio output");
    EXPECT_FALSE(h.host->hasAudioOutput());
    EXPECT_TRUE(h.host->isRunning());
    // Woken by the steps (and once by the voice loader): a wait without a timeout must end.
    for (int step = 0; step < 3; ++step) {
        sequencer::StepEvent event;
        int wakes = 0;
        do {
            ASSERT_TRUE(h.host->news().wait(2000ms));
            ASSERT_LE(++wakes, 2);
        } while (!h.host->popEvent(event));
        EXPECT_EQ(event.step, step);
    }
    h.host->stop();
    EXPECT_FALSE(h.host->isRunning());
    h.host->shutdown();
    h.host->shutdown();
}

TEST(LiveHost, ALostCardIsNoticedAtOnceAndPlaybackGoesOnWithoutIt)
{
    TestDevice device;
    device.plugged = true;
    Host h(device);
    EXPECT_EQ(h.host->notice(), "");
    EXPECT_EQ(h.host->output().backend, "fake card");
    EXPECT_TRUE(h.host->hasAudioOutput());
    EXPECT_EQ(device.midiOpens, 1) << "the card has no MIDI port: device 0 is opened for it";
    (void)h.awaitReport("never", 300ms);
    const std::uint64_t before = h.lastFrame;
    ASSERT_GT(h.steps, 2);

    const auto pulled = std::chrono::steady_clock::now();
    device.unplug();
    const std::string lost = h.awaitReport("fake card went away: no audio output", 2000ms);
    ASSERT_NE(lost.find("fake card went away: no audio output"), std::string::npos) << lost;
    // The loss woke the watch thread; it did not wait for a timer.
    EXPECT_LT(std::chrono::steady_clock::now() - pulled, 500ms);
    EXPECT_FALSE(h.host->hasAudioOutput());
    EXPECT_EQ(h.host->output().backend, "null");
    EXPECT_EQ(h.host->output().midiPort, "recording") << "the port went to the stand-in";

    const int steps = h.steps;
    (void)h.awaitReport("never", 300ms);
    EXPECT_GT(h.steps, steps + 2);
    EXPECT_GT(h.lastFrame, before);
    h.host->shutdown();
}

TEST(LiveHost, LookingForTheCardNeverTouchesTheMidiPortAndTakesItBackAtTheSameRateOnly)
{
    TestDevice device;
    device.plugged = true;
    Host h(device);
    device.unplug();
    ASSERT_NE(h.awaitReport("went away", 2000ms).find("went away"), std::string::npos);
    // The lost card's stream stopped once; its port passed to the null output, still open.
    const int offsAtLoss = h.allNotesOffs(device);
    EXPECT_EQ(offsAtLoss, 1);

    const int tries = device.backendTries;
    (void)h.awaitReport("never", 10 * kProbe);
    EXPECT_GE(device.backendTries, tries + 3 * 5) << "five probes or more, of three back ends";
    EXPECT_EQ(device.midiOpens, 1);
    EXPECT_EQ(h.allNotesOffs(device), offsAtLoss);

    // A card at another rate would play at the wrong pitch and tempo.
    device.rate = 44100;
    device.plugged = true;
    EXPECT_EQ(h.awaitReport("back", 5 * kProbe).find("back"), std::string::npos);
    EXPECT_FALSE(h.host->hasAudioOutput());

    device.rate = 48000;
    const std::string back = h.awaitReport("audio output back: fake card", 2000ms);
    EXPECT_NE(back.find("audio output back: fake card"), std::string::npos) << back;
    EXPECT_TRUE(h.host->hasAudioOutput());
    EXPECT_EQ(h.host->output().midiPort, "recording");
    EXPECT_EQ(device.midiOpens, 1) << "the same port all along";
    const int steps = h.steps;
    (void)h.awaitReport("never", 300ms);
    EXPECT_GT(h.steps, steps + 2);
    h.host->shutdown();
}

TEST(LiveHost, OpensOnlyTheChosenMidiPortAndSaysWhenItIsMissing)
{
    using devices::MidiPortChoice;
    const struct {
        MidiPortChoice choice;
        int opens;
        const char* midiPort;
        std::string notice;
    } cases[] = {
        {MidiPortChoice::firstPort(), 1, "recording", ""},
        {MidiPortChoice::named(devices::testing::kTestMidiPortName), 1, "recording", ""},
        {MidiPortChoice::named("Test Synth:in 2"), 0, "",
         "MIDI port \"Test Synth:in 2\" not found"},
        {MidiPortChoice::none(), 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.choice.name);
        TestDevice device;
        device.plugged = true;
        Host h(device, c.choice);
        EXPECT_EQ(h.host->notice(), c.notice);
        EXPECT_EQ(device.midiOpens, c.opens);
        EXPECT_EQ(h.host->output().midiPort, c.midiPort);
        // A lost card hands the port on, or asks again for the one it never got: still only
        // that one.
        device.unplug();
        ASSERT_NE(h.awaitReport("went away", 2000ms).find("went away"), std::string::npos);
        EXPECT_EQ(h.host->output().midiPort, c.midiPort);
        EXPECT_EQ(device.midiOpens, c.opens);
        h.host->shutdown();
    }
}

// A pad controller on a card without MIDI ports of its own (RtAudio's outputs, the null
// output): the port named is opened once and plays the pads, on the card and on the null output
// that stands in for it when the card goes; a name not there is said.
TEST(LiveHost, ThePadsPlayFromTheChosenInputPortOnOutputsWithoutPortsOfTheirOwn)
{
    using devices::MidiPortChoice;
    TestDevice device;
    device.plugged = true;
    Host h(device, {}, false, MidiPortChoice::named(devices::testing::kTestMidiInName));
    EXPECT_EQ(h.host->notice(), "");
    EXPECT_EQ(device.midiInOpens, 1);
    const auto played = [&h, &device](std::uint8_t note, std::uint8_t velocity) {
        EXPECT_TRUE(device.pads.load()->play({0x99, note, velocity}));
        LiveHit hit;
        (void)eventually(
            [&] {
                (void)h.awaitReport("nothing to wait for", 10ms);
                return h.host->popLiveHit(hit);
            },
            2000ms);
        return std::pair{static_cast<int>(hit.track), static_cast<int>(hit.velocity)};
    };
    EXPECT_EQ(played(38, 90), (std::pair{1, 90})) << "the snare, as hard as it was struck";

    device.unplug();
    ASSERT_NE(h.awaitReport("went away", 2000ms).find("went away"), std::string::npos);
    EXPECT_EQ(h.host->output().backend, "null");
    EXPECT_EQ(played(36, 127), (std::pair{0, 127})) << "the same port, taken over";
    EXPECT_EQ(device.midiInOpens, 1);
    // Chosen away in the settings, the port closes; chosen again, it opens and plays.
    h.host->setMidiPorts({}, MidiPortChoice::none());
    EXPECT_TRUE(eventually([&device] { return device.pads.load() == nullptr; }, 2000ms));
    h.host->setMidiPorts({}, MidiPortChoice::named(devices::testing::kTestMidiInName));
    EXPECT_TRUE(eventually([&device] { return device.pads.load() != nullptr; }, 2000ms));
    EXPECT_EQ(played(42, 64), (std::pair{2, 64}));
    EXPECT_EQ(device.midiInOpens, 2);
    h.host->shutdown();

    TestDevice other;
    other.plugged = true;
    Host missing(other, {}, false, MidiPortChoice::named("Drum Brain:out 1"));
    EXPECT_EQ(missing.host->notice(), "MIDI port \"Drum Brain:out 1\" not found");
    missing.host->shutdown();
}

// Through ALSA no word comes of a port that appears: one chosen by name that was missing at
// the start is looked for again now and then, in both directions, and taken once it is there;
// one pulled out later is let go of and looked for in the same way.
TEST(LiveHost, TakesAChosenPortWheneverItIsPluggedInAndLetsGoOfItWhenPulledOut)
{
    using devices::MidiPortChoice;
    using devices::testing::kTestMidiInName;
    using devices::testing::kTestMidiPortName;
    TestDevice device;
    device.plugged = true;
    device.midiPort = false;
    device.padsPort = false;
    Host h(device, MidiPortChoice::named(kTestMidiPortName), false,
           MidiPortChoice::named(kTestMidiInName));
    EXPECT_EQ(h.host->notice(), "MIDI port \"Test Synth:in 1\" not found");
    EXPECT_EQ(h.awaitReport("connected", 3 * kProbe).find("connected"), std::string::npos);
    EXPECT_EQ(h.host->output().midiPort, "");

    device.midiPort = true;
    device.padsPort = true;
    const std::string found = h.awaitReport("\"Test Pads:out 1\" connected", 3000ms);
    EXPECT_NE(found.find("MIDI port \"Test Synth:in 1\" connected"), std::string::npos) << found;
    EXPECT_NE(found.find("MIDI port \"Test Pads:out 1\" connected"), std::string::npos) << found;
    EXPECT_EQ(h.host->output().midiPort, "recording");
    ASSERT_NE(device.pads.load(), nullptr);
    EXPECT_TRUE(device.pads.load()->play({0x99, 38, 90})) << "the output reads it";
    // Found, they are looked for no more.
    const int outLooks = device.midiLooks;
    const int inLooks = device.midiInLooks;
    (void)h.awaitReport("never", 3 * kProbe);
    EXPECT_EQ(device.midiLooks, outLooks);
    EXPECT_EQ(device.midiInLooks, inLooks);
    EXPECT_EQ(device.midiOpens, 1);
    EXPECT_EQ(device.midiInOpens, 1);

    // Pulled out while playing, they are let go and said missing, and taken again once back.
    device.midiPort = false;
    device.padsPort = false;
    const std::string gone = h.awaitReport("not found", 3000ms);
    EXPECT_NE(gone.find("MIDI port \"Test Synth:in 1\" not found"), std::string::npos) << gone;
    EXPECT_EQ(h.host->output().midiPort, "");
    EXPECT_EQ(device.pads.load(), nullptr) << "the input port is closed";
    EXPECT_NE(h.host->soundProblem().find("not found"), std::string::npos);
    const int steps = h.steps;
    (void)h.awaitReport("never", 3 * kProbe);
    EXPECT_GT(h.steps, steps) << "playing goes on";
    device.midiPort = true;
    device.padsPort = true;
    const std::string back = h.awaitReport("\"Test Pads:out 1\" connected", 3000ms);
    EXPECT_NE(back.find("MIDI port \"Test Synth:in 1\" connected"), std::string::npos) << back;
    EXPECT_EQ(h.host->output().midiPort, "recording");
    EXPECT_EQ(h.host->soundProblem().find("not found"), std::string::npos);
    EXPECT_EQ(device.midiOpens, 2);
    EXPECT_EQ(device.midiInOpens, 2);
    h.host->shutdown();
}

// A port chosen in the settings while playing: the old port's notes end as it closes, the new
// one is opened once, and none means none.
TEST(LiveHost, TakesAnotherMidiPortWhilePlaying)
{
    using devices::MidiPortChoice;
    TestDevice device;
    device.plugged = true;
    Host h(device, MidiPortChoice::named("Test Synth:in 2"));
    // The caption's part about MIDI; the samples are missing here on purpose.
    const auto midiProblem = [&h] {
        const std::string problem = h.host->soundProblem();
        const auto at = problem.find("MIDI port");
        return at == std::string::npos ? std::string() : problem.substr(at);
    };
    EXPECT_EQ(midiProblem(), "MIDI port \"Test Synth:in 2\" not found");
    const struct {
        MidiPortChoice choice;
        const char* midiPort;
        int opens;
        int allNotesOffs;
        std::string problem;
    } steps[] = {
        {MidiPortChoice::named(devices::testing::kTestMidiPortName), "recording", 1, 0, ""},
        {MidiPortChoice::none(), "", 1, 1, ""},
        {MidiPortChoice::firstPort(), "recording", 2, 1, ""},
        {MidiPortChoice::named("Gone:in"), "", 2, 2, "MIDI port \"Gone:in\" not found"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.choice.name);
        h.host->setMidiPorts(step.choice, MidiPortChoice::none());
        (void)eventually(
            [&] {
                return device.midiOpens == step.opens &&
                       h.host->output().midiPort == step.midiPort &&
                       h.allNotesOffs(device) == step.allNotesOffs;
            },
            2000ms);
        (void)h.awaitReport("never", 100ms);
        EXPECT_EQ(device.midiOpens, step.opens);
        EXPECT_EQ(h.host->output().midiPort, step.midiPort);
        EXPECT_EQ(h.allNotesOffs(device), step.allNotesOffs);
        EXPECT_EQ(midiProblem(), step.problem);
        EXPECT_TRUE(h.host->hasAudioOutput()) << "the card plays on";
    }
    h.host->shutdown();
}

// The host's watch thread, not the owner, connects a chosen JACK port again when its program
// comes back, and tells the owner both ways.
TEST_F(LiveHostOnJack, ReconnectsAChosenJackPortThatComesBack)
{
    using devices::testing::JackPortOwner;
    auto synth = std::make_unique<JackPortOwner>("Drum Brain", "in: 1 \xc3\xa4",
                                                 JackPortOwner::Direction::Input);
    ASSERT_TRUE(synth->isReady());
    // The server shows a new connection from its next graph change on: a few cycles when loaded.
    const auto settled = [](const JackPortOwner& owner) {
        (void)eventually([&owner] { return !owner.connections().empty(); }, 3000ms);
        return owner.connections();
    };
    TestDevice device;
    Host h(device, devices::MidiPortChoice::named("Drum Brain:in: 1 \xc3\xa4"), true);
    EXPECT_EQ(h.host->notice(), "");
    EXPECT_EQ(h.host->output().backend, "JACK");
    EXPECT_EQ(settled(*synth), std::vector<std::string>{"Taktwerk:midi_out"});

    synth.reset();  // the program ends
    const std::string gone = h.awaitReport("not found", 3000ms);
    EXPECT_NE(gone.find("MIDI port \"Drum Brain:in: 1 \xc3\xa4\" not found"), std::string::npos)
        << gone;
    synth = std::make_unique<JackPortOwner>("Drum Brain", "in: 1 \xc3\xa4",
                                            JackPortOwner::Direction::Input);
    ASSERT_TRUE(synth->isReady());
    const std::string back = h.awaitReport("connected", 3000ms);
    EXPECT_NE(back.find("MIDI port \"Drum Brain:in: 1 \xc3\xa4\" connected"), std::string::npos)
        << back;
    EXPECT_EQ(settled(*synth), std::vector<std::string>{"Taktwerk:midi_out"});
    EXPECT_EQ(device.midiOpens, 0) << "JACK brings its own port";
    h.host->shutdown();
}

// The lead of the JACK transport follows the owner's choice while playing: JACK takes a
// timebase master only as a client starts, so the host starts its output again, and a client
// reading the rolling transport sees our tempo, bar and beat come and go. Playing goes on.
TEST_F(LiveHostOnJack, TakesAndGivesBackTheLeadOfTheJackTransportWhilePlaying)
{
    using devices::testing::JackTransportMaster;
    JackTransportMaster reader(97.0, false);  // rolls the transport, publishes nothing
    ASSERT_TRUE(reader.isReady());
    reader.start();
    TestDevice device;
    Host h(device, {}, true);
    ASSERT_EQ(h.host->output().backend, "JACK");
    const auto published = [&reader] { return (reader.query().valid & JackPositionBBT) != 0; };
    // A loaded machine may take a while to restart the client.
    const auto settlesAt = [&published](bool wanted) {
        return eventually([&] { return published() == wanted; }, 3000ms);
    };
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(published()) << "not asked to lead";

    for (const bool lead : {true, false, true}) {
        h.host->setTimebaseMaster(lead);
        EXPECT_TRUE(settlesAt(lead)) << lead;
        const int before = h.steps;
        (void)h.awaitReport("nothing to wait for", 400ms);
        EXPECT_GT(h.steps, before) << lead << ": the rhythm plays on";
    }
    // 450 BPM, a beat of four steps, a bar of four beats.
    const jack_position_t position = reader.query();
    EXPECT_DOUBLE_EQ(position.beats_per_minute, 450.0);
    EXPECT_FLOAT_EQ(position.beats_per_bar, 4.0f);
    h.host->shutdown();
    EXPECT_TRUE(settlesAt(false)) << "given back at the end";
}

TEST(LiveHost, StaysSilentAboutAHealthyOutput)
{
    TestDevice device;
    device.plugged = true;
    Host h(device);
    EXPECT_EQ(h.awaitReport("never", 1500ms), "");
    EXPECT_EQ(device.backendTries, 2) << "JACK refused, the card taken; no probing";
    EXPECT_EQ(h.host->lateBlocks(), 0u);
    h.host->shutdown();
}

// A host on the fake card with the impulse kit, that sleeps after `sleepAfter` of quiet.
struct SleepyHost {
    explicit SleepyHost(TestDevice& device, std::chrono::milliseconds sleepAfter = 300ms)
    {
        device.plugged = true;
        device.midiPort = false;  // a card carrying the user's MIDI port never sleeps
        testing::writeImpulseKit(dir.path(), "Kit", 48000);
        LiveHostOptions options;
        options.sleepAfter = sleepAfter;
        options.sound.soundDir = dir.path();
        options.sound.soundSet = "Kit";
        host = std::make_unique<LiveHost>(options, std::make_unique<TestOutputs>(device, false));
        EXPECT_TRUE(host->waitForVoices([] { return false; }));
    }
    sound::testing::TempDir dir;
    std::unique_ptr<LiveHost> host;
};

TEST(LiveHost, SleepsWhenAllIsQuietAndEveryWayOfPlayingWakesItInTime)
{
    TestDevice device;
    SleepyHost h(device);
    ASSERT_EQ(h.host->output().backend, "fake card");
    FakeCardOut* card = device.current.load();
    ASSERT_NE(card, nullptr);
    const auto asleep = [&] { return h.host->isAsleep() && !card->isRunning(); };
    ASSERT_TRUE(eventually(asleep, 3000ms));
    EXPECT_TRUE(h.host->hasAudioOutput()) << "asleep, not lost";

    // A hit that arrives while the output sleeps is kept, not lost, and sounds once it wakes.
    const std::vector<std::pair<const char*, std::function<void()>>> wakers = {
        {"pad", [&] { (void)h.host->hitPad(0, 1, sound::kFullVelocity, false); }},
        {"click", [&] { h.host->click(); }},
        {"touch, then pad",
         [&] {
             h.host->wake();
             (void)h.host->hitPad(2, 1, sound::kFullVelocity, false);
         }},
    };
    for (const auto& [what, wakeAndPlay] : wakers) {
        ASSERT_TRUE(eventually(asleep, 3000ms)) << what;
        const int starts = device.starts;
        const int loud = device.loudBlocks;
        const auto touched = std::chrono::steady_clock::now();
        wakeAndPlay();
        ASSERT_TRUE(eventually([&] { return device.loudBlocks > loud; }, 1000ms)) << what;
        EXPECT_LT(std::chrono::steady_clock::now() - touched, 200ms) << what;
        EXPECT_EQ(device.starts, starts + 1) << what;
        EXPECT_FALSE(h.host->isAsleep()) << what;
    }

    // RUN wakes it too, and it stays awake while the pattern plays, even an empty one.
    ASSERT_TRUE(eventually(asleep, 3000ms));
    h.host->publish(sequencer::StepInputs{}, 120);
    h.host->start();
    sequencer::StepEvent event;
    ASSERT_TRUE(eventually([&] { return h.host->popEvent(event); }, 1000ms));
    std::this_thread::sleep_for(900ms);
    EXPECT_FALSE(h.host->isAsleep());
    EXPECT_TRUE(card->isRunning());
    h.host->stop();
    EXPECT_TRUE(eventually(asleep, 3000ms));
    h.host->shutdown();
}

TEST(LiveHost, NeverSleepsWhenNotAskedToOrWhileTheUsersMidiPortIsAttached)
{
    for (const bool midiPort : {false, true}) {
        TestDevice device;
        device.plugged = true;
        device.midiPort = midiPort;
        LiveHostOptions options;
        options.sleepAfter = midiPort ? 200ms : 0ms;
        LiveHost host(options, std::make_unique<TestOutputs>(device, false));
        std::this_thread::sleep_for(1200ms);
        EXPECT_FALSE(host.isAsleep()) << midiPort;
        EXPECT_EQ(device.starts, 1) << midiPort;
        host.shutdown();
    }
}

// The built-in synth stays out of memory until MIDI mode first needs it, then loads on the
// loader's thread and sounds the pads; a font that cannot be read leaves MIDI unchoosable.
TEST(LiveHost, LoadsTheBuiltInSynthOnlyWhenMidiModeFirstNeedsIt)
{
    const auto soundFont = sound::findSoundFont();
    if (!soundFont)
        GTEST_SKIP() << "no SoundFont installed (Debian package fluid-soundfont-gm)";
    sound::testing::TempDir dir;
    const auto garbled = dir.path() / "Garbled.sf2";
    std::ofstream(garbled) << "RIFF, but no SoundFont";
    for (const auto& font : {*soundFont, garbled}) {
        const bool readable = font == *soundFont;
        TestDevice device;
        device.plugged = true;
        LiveHostOptions options;
        options.soundFont = font;
        options.request.midiOut = devices::MidiPortChoice::none();
        LiveHost host(options, std::make_unique<TestOutputs>(device, false));
        ASSERT_TRUE(host.waitForVoices([] { return false; }));
        EXPECT_FALSE(host.hasSynth()) << "WAVE mode never sounds it";
        EXPECT_FALSE(host.midiFailed()) << "a font was found";

        host.setOutput(1, 37);
        ASSERT_TRUE(host.waitForVoices([] { return false; }));
        EXPECT_EQ(host.hasSynth(), readable);
        EXPECT_EQ(host.midiFailed(), !readable);
        const int loud = device.loudBlocks;
        (void)host.hitPad(0, 1, sound::kFullVelocity, false);
        EXPECT_EQ(eventually([&] { return device.loudBlocks > loud; }, 1000ms), readable);
        host.setOutput(0, 37);
        host.setOutput(1, 37);
        ASSERT_TRUE(host.waitForVoices([] { return false; }));
        EXPECT_EQ(host.hasSynth(), readable) << "loaded once, kept; failed once, not retried";
        host.shutdown();
    }
}

}  // namespace
}  // namespace taktwerk::playback
