// The audio path under the real-time guard: the engine and its step player run block after
// block on an armed audio thread while the owner does all that playing involves (edits, loads,
// voice swaps, previews, RUN and STOP, pads, both sound modes, MIDI to a receiver and to the
// built-in synth). Any allocation, free or lock on the audio thread, in our code or inside a
// library it calls, fails the test with where it happened.

#include "devices/AudioOut.h"
#include "devices/TimedMidi.h"
#include "devices/support/JackDummyServer.h"
#include "devices/support/JackRecorder.h"
#include "devices/support/JackTransportMaster.h"
#include "devices/support/TestOutputs.h"
#include "devices/support/TestSources.h"
#include "playback/LiveParameters.h"
#include "playback/StepPlayer.h"
#include "realtime/RealtimeGuard.h"
#include "sound/Engine.h"
#include "sound/GmSynth.h"
#include "sound/SoundTestSupport.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace taktwerk {
namespace {

using namespace std::chrono_literals;
using devices::MidiClock;
using devices::testing::RecordingMidiDestination;
using playback::LiveParameters;
using sound::SoundMode;
using testing::ArmedScope;
using testing::RealtimeGuard;

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kBlock = 256;
constexpr int kFirstTom = 7;  // SetSingleSound numbers the toms 7, 8, 9

// A hit that rings on past the next step, so that swaps and stops meet sounding voices.
std::vector<float> ringingHit(float level, std::size_t frames)
{
    std::vector<float> samples(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const float fade = 1.0f - static_cast<float>(i) / static_cast<float>(frames);
        samples[i] = level * fade * (i % 2 == 0 ? 1.0f : -1.0f);
    }
    return samples;
}

// Two sample sets whose samples differ, so each swap really replaces voices (they are cut, fade
// and go back to be freed), and a tom file at another rate, resampled as it loads.
sound::SoundChoice writeKit(const std::filesystem::path& soundDir)
{
    const std::array<const char*, 14> codes{"BD",  "SD", "SD2", "RM", "HH", "OH", "RC",
                                            "RC2", "CB", "CC",  "T1", "T2", "T3", "ST"};
    float level = 0.5f;
    for (const char* set : {"Default", "Other"}) {
        for (const char* code : codes)
            sound::testing::writeWav(soundDir / set / (std::string(code) + ".wav"),
                                     ringingHit(level, kRate / 5), kRate);
        level /= 2.0f;
    }
    sound::testing::writeWav(soundDir / "Big Tom.wav", ringingHit(0.4f, 22050), 44100);
    sound::SoundChoice choice;
    choice.soundDir = soundDir;
    return choice;
}

// A master on the MIDI input: Start, then a clock at each block's first frame, and now and then
// a snare note with a clock inside it, all from storage made up front.
class ClockInput final : public sound::MidiBlockSink, public sound::MidiBlockInput {
public:
    void nextBlock() noexcept { ++block_; }
    bool midiAt(std::uint32_t, const std::uint8_t*, std::size_t) noexcept override { return false; }
    bool hasReceiver() const noexcept override { return false; }
    const sound::MidiBlockInput* input() const noexcept override { return this; }
    std::uint32_t count() const noexcept override { return 3; }
    bool at(std::uint32_t index, sound::MidiInEvent& event) const noexcept override
    {
        if (index == 0 && block_ == 0)
            event = {0, start_.data(), start_.size()};
        else if (index == 1)
            event = {1, clock_.data(), clock_.size()};
        else if (index == 2 && block_ % 8 == 3)
            event = {100, note_.data(), note_.size()};
        else
            return false;
        return true;
    }

private:
    std::uint64_t block_ = 0;
    std::array<std::uint8_t, 1> start_{0xFA};
    std::array<std::uint8_t, 1> clock_{0xF8};
    std::array<std::uint8_t, 4> note_{0x99, 38, 0xF8, 100};
};

// An audio thread as an output runs one, minus the device and a little faster than real time:
// every block armed, its MIDI either to no receiver (MIDI mode then sounds through the built-in
// synth) or to the timed sender that the RtAudio and null outputs use, with their timed input
// from a pad controller beside it.
class ArmedAudioThread {
public:
    ArmedAudioThread(sound::Engine& engine, const RealtimeGuard& guard,
                     devices::TimedMidiSender& sender)
        : engine_(engine), guard_(guard), timedSink_(sender, input_, kRate)
    {
        input_.attach(std::make_unique<devices::testing::TestPads>(pads_));
        thread_ = std::thread([this] { run(); });
    }
    ~ArmedAudioThread() { stop(); }
    ArmedAudioThread(const ArmedAudioThread&) = delete;
    ArmedAudioThread& operator=(const ArmedAudioThread&) = delete;

    void stop()
    {
        stopping_.store(true, std::memory_order_release);
        if (thread_.joinable())
            thread_.join();
    }
    void sendMidiToReceiver(bool toReceiver)
    {
        toReceiver_.store(toReceiver, std::memory_order_release);
    }
    // A master's clock comes in (from a Start on), or no more.
    void followClock(bool on) { clockIn_.store(on, std::memory_order_release); }
    // Owner thread: returns once `count` more blocks have been played.
    void waitBlocks(std::uint64_t count) const
    {
        const std::uint64_t until = blocks_.load(std::memory_order_acquire) + count;
        while (blocks_.load(std::memory_order_acquire) < until)
            std::this_thread::sleep_for(100us);
    }
    std::uint64_t blocks() const { return blocks_.load(std::memory_order_acquire); }
    float peak() const { return peak_.load(std::memory_order_acquire); }
    // The controller on the timed input: the owner's thread plays it.
    devices::testing::TestPads& pads() { return *pads_.load(); }

private:
    void run() noexcept
    {
        std::vector<float> out(static_cast<std::size_t>(kBlock) * sound::kOutputChannels);
        sound::NoMidi nowhere;
        std::uint64_t frame = 0;
        while (!stopping_.load(std::memory_order_acquire)) {
            float loudest = peak_.load(std::memory_order_relaxed);
            {
                const ArmedScope armed(guard_);
                if (clockIn_.load(std::memory_order_acquire)) {
                    engine_.process(out.data(), kBlock, master_);
                    master_.nextBlock();
                } else if (toReceiver_.load(std::memory_order_acquire)) {
                    // As if each block were heard the moment it is made, so the sender sends
                    // at once instead of sleeping towards a future that runs ahead.
                    const auto zero =
                        MidiClock::now() - std::chrono::duration_cast<MidiClock::duration>(
                                               devices::durationOfFrames(frame, kRate));
                    timedSink_.beginBlock(zero, frame, kBlock);
                    engine_.process(out.data(), kBlock, timedSink_);
                } else {
                    engine_.process(out.data(), kBlock, nowhere);
                }
                for (const float sample : out)
                    loudest = std::max(loudest, std::abs(sample));
            }
            peak_.store(loudest, std::memory_order_release);
            frame += kBlock;
            blocks_.fetch_add(1, std::memory_order_release);
            // About twenty times real time: quick, yet the owner's edits land between blocks
            // of every kind rather than all at once.
            std::this_thread::sleep_for(250us);
        }
    }

    sound::Engine& engine_;
    const RealtimeGuard& guard_;
    std::atomic<devices::testing::TestPads*> pads_{nullptr};
    devices::TimedMidiInput input_{kRate, kBlock};
    devices::TimedMidiSink timedSink_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> toReceiver_{false};
    std::atomic<bool> clockIn_{false};
    ClockInput master_;
    std::atomic<std::uint64_t> blocks_{0};
    std::atomic<float> peak_{0.0f};
    std::thread thread_;  // started once everything above is in place
};

// The owner's side: the drum machine's share of playing, done the way it does it.
class Owner {
public:
    Owner(sound::Engine& engine, LiveParameters& parameters, playback::StepPlayer& player,
          ArmedAudioThread& audio)
        : engine_(engine), parameters_(parameters), player_(player), audio_(audio)
    {
    }

    // Lets a few blocks pass, then drains what they produced, as the window's timer does.
    void settle(std::uint64_t blocks = 3)
    {
        audio_.waitBlocks(blocks);
        playback::PlaybackEvent event;
        while (player_.events().pop(event))
            ++steps_;
        engine_.collectGarbage();
    }

    // Step toggles, mutes, tempo changes, pads and clicks, in a fixed pseudo-random order.
    void edit(int rounds)
    {
        for (int round = 0; round < rounds; ++round) {
            const int track = static_cast<int>(random_() % pattern::kTrackCount);
            parameters_.setRow(track, static_cast<pattern::Row>(random_()));
            parameters_.setMuted(static_cast<int>(random_() % pattern::kTrackCount),
                                 random_() % 4 == 0);
            parameters_.setTempo(sequencer::kMinTempoBpm + static_cast<int>(random_() % 416));
            (void)engine_.hitPad(track, random_() % 5 == 0 ? 1 : 0, sound::kFullVelocity,
                                 beginner_);
            if (round % 7 == 0)
                engine_.click();
            settle(1);
        }
    }

    // A rhythm load while playing: all values at once, the pattern from step 0.
    void load(bool intro)
    {
        {
            const LiveParameters::Batch batch(parameters_);
            for (int track = 0; track < pattern::kTrackCount; ++track)
                parameters_.setRow(track, static_cast<pattern::Row>(random_()));
            parameters_.setMutes(static_cast<std::uint16_t>(random_() & 0x1FF));
            parameters_.setTempo(90 + static_cast<int>(random_() % 200));
            parameters_.setMeter(3 + static_cast<int>(random_() % 3), 12 + 4 * (round_++ % 4));
            parameters_.setIntro(intro);
            // The MIDI clock on and off, so its Start, Stop and clocks go out too.
            parameters_.setClockOut(random_() % 2 == 0);
            parameters_.markLoaded();
        }
        settle();
    }

    // The view reaches the engine with each press: the pattern's from the parameters, the
    // pads' with the call.
    void beginner(bool on)
    {
        parameters_.setBeginner(on);
        beginner_ = on;
        settle();
    }

    std::uint64_t steps() const { return steps_; }

private:
    sound::Engine& engine_;
    LiveParameters& parameters_;
    playback::StepPlayer& player_;
    ArmedAudioThread& audio_;
    std::minstd_rand random_{20240601};
    std::uint64_t steps_ = 0;
    int round_ = 0;
    bool beginner_ = false;
};

TEST(AudioPath, NeverAllocatesNorLocksWhatEverTheOwnerDoes)
{
    const RealtimeGuard* guard = RealtimeGuard::find();
    ASSERT_NE(guard, nullptr) << testing::kGuardNotLoaded;
    const sound::testing::TempDir folder;
    const sound::SoundChoice kit = writeKit(folder.path() / "Sound");
    RecordingMidiDestination::Log midiLog;

    LiveParameters parameters;
    sound::Engine engine(kRate);
    playback::StepPlayer player(parameters, kRate);
    devices::TimedMidiSender sender;
    sender.attach(std::make_unique<RecordingMidiDestination>(midiLog));
    sender.start();
    engine.setMode(SoundMode::Wave);
    engine.SetSound(kit);
    engine.setStepSource(&player);
    guard->reset();
    ArmedAudioThread audio(engine, *guard, sender);
    Owner owner(engine, parameters, player, audio);

    // WAVE: RUN, then edits, loads and the beginner view while the pattern plays.
    owner.load(false);
    parameters.setClockOut(true);
    parameters.run();
    owner.edit(40);
    owner.load(true);  // the count-in clicks, too
    owner.edit(20);
    owner.beginner(true);
    owner.edit(10);
    owner.beginner(false);

    // Voice swaps while voices sound: another set, other variants, one tom, none, back.
    sound::SoundChoice other = kit;
    other.soundSet = "Other";
    other.snareChoice = 1;
    other.rideChoice = 2;
    engine.SetSound(other);
    owner.edit(10);
    other.tomSounds[1] = "Big Tom";
    engine.SetSingleSound(kFirstTom + 1, other);
    owner.edit(10);
    engine.DXCleanUp();
    owner.edit(5);
    engine.SetSound(kit);
    owner.edit(10);

    // The dialogs' previews, cutting one another.
    engine.preview(folder.path() / "Sound" / "Big Tom.wav");
    owner.settle();
    engine.preview(folder.path() / "Sound" / "Other" / "BD.wav");
    owner.settle();
    engine.stopPreview();
    owner.settle();

    // STOP and RUN, slowly and in quick succession.
    parameters.stop();
    owner.settle(10);
    for (int press = 0; press < 10; ++press) {
        parameters.run();
        owner.settle(press);
        parameters.stop();
    }
    parameters.run();
    owner.edit(10);

    // MIDI mode, to a receiver through the timed sender.
    engine.setMode(SoundMode::Midi);
    audio.sendMidiToReceiver(true);
    owner.edit(30);
    for (int hit = 0; hit < 10; ++hit) {  // and a controller's crash pad on the timed input
        EXPECT_TRUE(audio.pads().play({0x99, 49, 100}));
        owner.edit(3);
    }
    EXPECT_EQ(engine.heardNoteOn() & 0xFFu, 49u) << "the controller's notes came in";
    engine.allNotesOff();
    owner.settle();
    audio.sendMidiToReceiver(false);

    // MIDI mode through the built-in synth: its notes rendered ahead, others live, and a new
    // synth swapped in while notes sound.
    const auto soundFont = sound::findSoundFont();
    if (soundFont) {
        ASSERT_TRUE(engine.loadSynth(*soundFont));
        owner.edit(30);
        engine.setVelocity(90);
        owner.edit(10);
        engine.setClickNote(40);
        engine.sendMidiNote(60);  // a note MIDI mode never plays, rendered ahead when asked for
        owner.edit(10);
        ASSERT_TRUE(engine.loadSynth(*soundFont));
        owner.edit(10);
        engine.allNotesOff();
        owner.settle();
    }

    // And back to the samples.
    engine.setMode(SoundMode::Wave);
    owner.edit(10);

    // Following a master's clock, with live notes that carry clocks inside them.
    parameters.setSync(playback::SyncSource::MidiClock);
    audio.followClock(true);
    owner.edit(20);
    owner.load(false);
    owner.edit(10);
    EXPECT_TRUE(player.followedRunning());
    EXPECT_GT(player.followedTempoTenths(), 4000);
    audio.followClock(false);
    parameters.setSync(playback::SyncSource::Internal);
    owner.edit(5);
    parameters.stop();
    engine.allNotesOff();
    owner.settle();
    audio.stop();
    sender.stop();

    EXPECT_EQ(guard->violations(), 0u) << guard->report();
    // The test proves something only when the path did its work.
    EXPECT_GT(owner.steps(), 100u);
    EXPECT_GT(audio.peak(), 0.0f);
    EXPECT_GT(midiLog.copy().size(), 10u);
    EXPECT_EQ(engine.commandDrops(), 0u);
    EXPECT_EQ(engine.heardNoteOn() & 0xFFu, 38u) << "MIDI learn heard the live notes";
    if (!soundFont)
        RecordProperty("built_in_synth", "untested: no General MIDI SoundFont installed");
}

// Plays through an output's own audio thread, armed around each of the engine's blocks.
class ArmedSource final : public sound::AudioSource {
public:
    ArmedSource(sound::AudioSource& source, const RealtimeGuard& guard)
        : source_(source), guard_(guard)
    {
    }
    void process(float* out, std::uint32_t frames, sound::MidiBlockSink& midi) noexcept override
    {
        {
            const ArmedScope armed(guard_);
            source_.process(out, frames, midi);
        }
        blocks_.fetch_add(1, std::memory_order_release);
    }
    std::uint64_t blocks() const { return blocks_.load(std::memory_order_acquire); }

private:
    sound::AudioSource& source_;
    const RealtimeGuard& guard_;
    std::atomic<std::uint64_t> blocks_{0};
};

// A second of MIDI to the output's receiver, then a second of samples with a voice swap.
void playThrough(devices::AudioOut& out, const RealtimeGuard& guard, const sound::SoundChoice& kit)
{
    LiveParameters parameters;
    sound::Engine engine(out.sampleRate());
    playback::StepPlayer player(parameters, out.sampleRate());
    engine.setMode(SoundMode::Midi);
    engine.SetSound(kit);
    engine.setStepSource(&player);
    for (int track = 0; track < pattern::kTrackCount; ++track)
        parameters.setRow(track, 0x55555555u << (track % 2));
    parameters.setTempo(sequencer::kMaxTempoBpm);
    ArmedSource source(engine, guard);
    ASSERT_TRUE(out.start(source));
    parameters.run();
    const auto drain = [&] {
        playback::PlaybackEvent event;
        while (player.events().pop(event)) {
        }
        engine.collectGarbage();
    };
    for (int tick = 0; tick < 20; ++tick) {
        (void)engine.hitPad(tick % pattern::kTrackCount);
        std::this_thread::sleep_for(50ms);
        drain();
    }
    engine.setMode(SoundMode::Wave);
    sound::SoundChoice other = kit;
    other.soundSet = "Other";
    for (int tick = 0; tick < 20; ++tick) {
        if (tick == 10)
            engine.SetSound(other);
        (void)engine.hitPad(tick % pattern::kTrackCount);
        std::this_thread::sleep_for(50ms);
        drain();
    }
    parameters.stop();
    engine.allNotesOff();
    std::this_thread::sleep_for(50ms);
    out.stop();
    engine.setStepSource(nullptr);
    EXPECT_GT(source.blocks(), 100u);
}

TEST(AudioPath, NeverAllocatesNorLocksOnTheNullOutputsClockThread)
{
    const RealtimeGuard* guard = RealtimeGuard::find();
    ASSERT_NE(guard, nullptr) << testing::kGuardNotLoaded;
    const sound::testing::TempDir folder;
    const sound::SoundChoice kit = writeKit(folder.path() / "Sound");
    RecordingMidiDestination::Log midiLog;
    const auto out = devices::makeNullAudioOut(devices::AudioOutRequest{});
    ASSERT_TRUE(out->attachMidi(std::make_unique<RecordingMidiDestination>(midiLog)));
    guard->reset();
    playThrough(*out, *guard, kit);
    EXPECT_EQ(guard->violations(), 0u) << guard->report();
    EXPECT_GT(midiLog.copy().size(), 10u);
}

TEST(AudioPath, NeverAllocatesNorLocksInJacksProcessCallback)
{
    using devices::testing::JackDummyServer;
    if (!JackDummyServer::isInstalled())
        GTEST_SKIP() << "jackd is not installed (Debian package jackd2)";
    const RealtimeGuard* guard = RealtimeGuard::find();
    ASSERT_NE(guard, nullptr) << testing::kGuardNotLoaded;
    const sound::testing::TempDir folder;
    const sound::SoundChoice kit = writeKit(folder.path() / "Sound");
    JackDummyServer server(kRate);
    ASSERT_TRUE(server.isReady()) << server.failure();
    // Started first, so that our MIDI port connects to it and MIDI mode sends there.
    devices::testing::JackRecorder recorder(5.0);
    ASSERT_TRUE(recorder.isReady());
    auto opened = devices::openJackAudioOut(devices::AudioOutRequest{});
    ASSERT_TRUE(opened) << opened.error().detail;
    guard->reset();
    playThrough(**opened, *guard, kit);
    recorder.stop();
    EXPECT_EQ(guard->violations(), 0u) << guard->report();
    EXPECT_GT(recorder.midiEvents().size(), 10u);
}

// Following the JACK transport: started, relocated while rolling, stopped, with a timebase
// master publishing bar and beat in the same server.
TEST(AudioPath, NeverAllocatesNorLocksFollowingTheJackTransport)
{
    using devices::testing::JackDummyServer;
    if (!JackDummyServer::isInstalled())
        GTEST_SKIP() << "jackd is not installed (Debian package jackd2)";
    const RealtimeGuard* guard = RealtimeGuard::find();
    ASSERT_NE(guard, nullptr) << testing::kGuardNotLoaded;
    const sound::testing::TempDir folder;
    const sound::SoundChoice kit = writeKit(folder.path() / "Sound");
    JackDummyServer server(kRate);
    ASSERT_TRUE(server.isReady()) << server.failure();
    devices::testing::JackTransportMaster master(97.0);
    ASSERT_TRUE(master.isReady());
    auto opened = devices::openJackAudioOut(devices::AudioOutRequest{});
    ASSERT_TRUE(opened) << opened.error().detail;
    LiveParameters parameters;
    sound::Engine engine((*opened)->sampleRate());
    playback::StepPlayer player(parameters, (*opened)->sampleRate());
    engine.setMode(SoundMode::Wave);
    engine.SetSound(kit);
    engine.setStepSource(&player);
    parameters.setRow(0, 0xFFFFFFFFu);
    parameters.setSync(playback::SyncSource::JackTransport);
    ArmedSource source(engine, *guard);
    guard->reset();
    ASSERT_TRUE((*opened)->start(source));
    std::size_t steps = 0;
    const auto drain = [&] {
        playback::PlaybackEvent event;
        while (player.events().pop(event))
            ++steps;
        engine.collectGarbage();
    };
    master.start();
    for (int tick = 0; tick < 30; ++tick) {
        if (tick == 10)
            master.locate(master.frameOf(2, 3));
        if (tick == 20)
            master.stop();
        std::this_thread::sleep_for(50ms);
        drain();
    }
    (*opened)->stop();
    engine.setStepSource(nullptr);
    EXPECT_EQ(guard->violations(), 0u) << guard->report();
    EXPECT_GT(steps, 5u);
    EXPECT_EQ(player.followedTempoTenths(), 970);
}

}  // namespace
}  // namespace taktwerk
