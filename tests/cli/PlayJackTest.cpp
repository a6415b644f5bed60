// `taktwerk play` as a user runs it, against a private JACK dummy server and recorded by a
// second JACK client: every audio hit and every MIDI note-on of a 20-second run must reach
// the graph at exactly the frame of its step.

#include "app/Settings.h"
#include "cli/PlayCommand.h"
#include "cli/PortsCommand.h"
#include "devices/support/JackClockSender.h"
#include "devices/support/JackDummyServer.h"
#include "devices/support/JackMidiSender.h"
#include "devices/support/JackPortOwner.h"
#include "devices/support/JackRecorder.h"
#include "devices/support/JackTransportMaster.h"
#include "devices/support/PulseDummyServer.h"
#include "rhythms/RhythmFile.h"
#include "rhythms/TempFolder.h"
#include "sound/ImpulseKit.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace taktwerk::cli {
namespace {

using devices::testing::JackClockSender;
using devices::testing::JackDummyServer;
using devices::testing::JackMidiSender;
using devices::testing::JackPortOwner;
using devices::testing::JackRecorder;
using devices::testing::JackTransportMaster;
using testing::Onset;
using testing::voiceBit;

constexpr std::uint32_t kRate = JackDummyServer::kSampleRate;
constexpr int kRunSeconds = 20;
constexpr double kRecorderSeconds = kRunSeconds + 15;
constexpr auto kGiveUpAfter = std::chrono::seconds(90);
constexpr int kLoopSteps = 16;
// The MIDI notes of the bass drum, snare and crash pads.
constexpr int kBassDrumNote = 36;
constexpr int kSnareNote = 40;
constexpr int kCrashNote = 49;

std::uint64_t stepFrame(std::uint64_t n, std::uint64_t tempo)
{
    return (2 * n * 15 * kRate + tempo) / (2 * tempo);
}

// Bass drum on the beats, snare on the backbeat, crash only on the loop's first step, so
// that every step with a hit can be told apart from its neighbours.
rhythms::Rhythm liveRhythm(int bpm)
{
    rhythms::Rhythm rhythm;
    rhythm.name = "Live";
    rhythm.Bpm = static_cast<std::int16_t>(bpm);
    rhythm.SoundSet = "Impulse";
    rhythm.pattern.PatternToRow(0, "X___X___X___X___");
    rhythm.pattern.PatternToRow(1, "____X__X____X___");
    rhythm.pattern.PatternToRow(5, "X_______________");
    return rhythm;
}

int voicesAt(std::uint64_t step)
{
    const auto s = step % kLoopSteps;
    int voices = 0;
    if (s % 4 == 0)
        voices |= voiceBit(0);
    if (s == 4 || s == 7 || s == 12)
        voices |= voiceBit(1);
    if (s == 0)
        voices |= voiceBit(5);
    return voices;
}

std::vector<int> notesAt(std::uint64_t step)
{
    std::vector<int> notes;
    const int voices = voicesAt(step);
    if (voices & voiceBit(0))
        notes.push_back(kBassDrumNote);
    if (voices & voiceBit(1))
        notes.push_back(kSnareNote);
    if (voices & voiceBit(5))
        notes.push_back(kCrashNote);
    return notes;
}

// Runs `taktwerk play` to its end, with the recorder's audio inputs connected to its outputs
// as soon as they exist; presses Ctrl-C `interruptAfter` after it has started playing, when
// given. Returns the exit
// code, or -1 when it had to be killed.
int runPlay(const std::vector<std::string>& words, JackRecorder& recorder,
            const std::filesystem::path& log,
            std::optional<std::chrono::milliseconds> interruptAfter = std::nullopt,
            const std::function<bool()>& connectMore = {})
{
    std::vector<std::string> argv{TAKTWERK_EXECUTABLE, "play"};
    argv.insert(argv.end(), words.begin(), words.end());
    std::vector<char*> pointers;
    for (std::string& word : argv)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t child = -1;
    const int spawned =
        posix_spawn(&child, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;

    const auto giveUp = std::chrono::steady_clock::now() + kGiveUpAfter;
    auto interruptAt = std::chrono::steady_clock::time_point::max();  // not yet
    bool connected = false;
    bool connectedMore = !connectMore;
    int status = 0;
    for (;;) {
        // Only once the program's client is active, which it shows by connecting its outputs to
        // the system's: until then every attempt is refused, and a thousand refused requests a
        // second while it activated once stalled the server for the whole activation wait.
        // Looking at connections reads shared memory and asks the server nothing.
        const bool active =
            (connected && connectedMore) || !recorder.connectionsOf("Taktwerk:out_left").empty();
        if (active && !connected)
            connected = recorder.connectAudio("Taktwerk:out_left", "Taktwerk:out_right");
        if (active && !connectedMore)
            connectedMore = connectMore();
        if (::waitpid(child, &status, WNOHANG) == child)
            break;
        if (interruptAfter && testing::readBytes(log).find("Ctrl-C stops") != std::string::npos) {
            interruptAt = std::chrono::steady_clock::now() + *interruptAfter;
            interruptAfter.reset();
        }
        if (std::chrono::steady_clock::now() > interruptAt) {
            ::kill(child, SIGINT);
            interruptAt = std::chrono::steady_clock::time_point::max();
        }
        if (std::chrono::steady_clock::now() > giveUp) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(
            std::chrono::milliseconds(connected && connectedMore ? 100 : 1));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A home with an impulse kit, and a rhythm written into it on demand.
class PlayHome : public ::testing::Test {
protected:
    PlayHome()
    {
        testing::writeImpulseKit(folder / "Sound", "Impulse", static_cast<int>(kRate));
        ::setenv("TAKTWERK_HOME", folder.path().c_str(), 1);
    }
    ~PlayHome() override { ::unsetenv("TAKTWERK_HOME"); }

    std::string rhythmFile(int bpm)
    {
        const auto file = folder / "Live.rtm";
        EXPECT_TRUE(rhythms::writeRhythmFile(liveRhythm(bpm), file));
        return file.string();
    }

    testing::TempFolder folder;
};

// The same, with a JACK dummy server of its own for each test.
class PlayJack : public PlayHome {
protected:
    void SetUp() override
    {
        if (!JackDummyServer::isInstalled())
            GTEST_SKIP() << "jackd is not installed (Debian package jackd2)";
        server.emplace();
        ASSERT_TRUE(server->isReady()) << server->failure();
    }

    std::optional<JackDummyServer> server;
};

TEST_F(PlayJack, EveryAudioHitOfATwentySecondRunLandsOnItsStepsFrame)
{
    constexpr int kTempo = 97;
    JackRecorder recorder(kRecorderSeconds);
    ASSERT_TRUE(recorder.isReady());
    const int code =
        runPlay({rhythmFile(kTempo), "--wave", "--seconds", std::to_string(kRunSeconds)}, recorder,
                folder / "play.log");
    recorder.stop();
    ASSERT_EQ(code, 0) << testing::readBytes(folder / "play.log");

    std::vector<float> mix;
    for (std::size_t index = 0; index < recorder.recordedFrames(); ++index) {
        mix.push_back(recorder.left(index));
        mix.push_back(recorder.right(index));
    }
    const auto found = testing::onsets(mix, recorder.firstFrame());
    const std::uint64_t stepsInRun = kRunSeconds * kTempo * 4 / 60;
    std::size_t hitSteps = 0;
    for (std::uint64_t step = 0; step < stepsInRun; ++step)
        hitSteps += voicesAt(step) != 0 ? 1 : 0;
    // A shared machine may run the dummy server's clock a little behind the wall clock.
    ASSERT_GT(found.size(), hitSteps * 3 / 4);
    EXPECT_TRUE(recorder.isContiguousFrom(static_cast<std::uint32_t>(found.front().frame)));

    // The recorder joins a moment after the first steps: find the step the first recorded hit
    // belongs to, then every later hit must sit exactly where the step grid puts it.
    std::vector<Onset> matched;
    for (std::uint64_t first = 0; first < stepsInRun && matched.empty(); ++first) {
        if (voicesAt(first) != found.front().voices)
            continue;
        const std::uint64_t start = found.front().frame - stepFrame(first, kTempo);
        std::vector<Onset> expected;
        for (std::uint64_t step = first; expected.size() < found.size(); ++step) {
            if (const int voices = voicesAt(step))
                expected.push_back({start + stepFrame(step, kTempo), voices});
        }
        if (expected == found)
            matched = expected;
    }
    EXPECT_FALSE(matched.empty()) << "no steady step grid explains the recorded hits";
}

TEST_F(PlayJack, EveryMidiNoteOnOfATwentySecondRunLandsOnItsStepsFrame)
{
    constexpr int kTempo = 333;
    // Up before the player, so that its MIDI port connects to ours at start.
    JackRecorder recorder(kRecorderSeconds);
    ASSERT_TRUE(recorder.isReady());
    const int code =
        runPlay({rhythmFile(kTempo), "--midi", "--seconds", std::to_string(kRunSeconds)}, recorder,
                folder / "play.log");
    recorder.stop();
    ASSERT_EQ(code, 0) << testing::readBytes(folder / "play.log");

    std::vector<std::pair<std::uint64_t, int>> noteOns;
    for (const auto& event : recorder.midiEvents()) {
        if (event.bytes.size() == 3 && event.bytes[0] == 0x99 && event.bytes[2] > 0)
            noteOns.push_back({event.frame, event.bytes[1]});
    }
    const std::uint64_t stepsInRun = kRunSeconds * kTempo * 4 / 60;
    std::size_t notes = 0;
    for (std::uint64_t step = 0; step < stepsInRun; ++step)
        notes += notesAt(step).size();
    ASSERT_GT(noteOns.size(), notes * 3 / 4);
    EXPECT_EQ(noteOns.front().second, kBassDrumNote) << "step 0 comes first";

    const std::uint64_t start = noteOns.front().first;
    std::vector<std::pair<std::uint64_t, int>> expected;
    for (std::uint64_t step = 0; expected.size() < noteOns.size(); ++step) {
        for (const int note : notesAt(step))
            expected.push_back({start + stepFrame(step, kTempo), note});
    }
    expected.resize(noteOns.size());
    EXPECT_EQ(noteOns, expected);
}

TEST_F(PlayJack, MidiClockGoesOutOnItsExactFramesWithStartOnStepZeroAndStopAtTheEnd)
{
    constexpr int kTempo = 97;
    constexpr int kSeconds = 6;
    JackRecorder recorder(kSeconds + 15);
    ASSERT_TRUE(recorder.isReady());
    const int code = runPlay(
        {rhythmFile(kTempo), "--midi", "--clock-out", "--seconds", std::to_string(kSeconds)},
        recorder, folder / "play.log");
    recorder.stop();
    ASSERT_EQ(code, 0) << testing::readBytes(folder / "play.log");

    std::vector<std::uint64_t> clocks;
    std::vector<std::uint64_t> starts;
    std::vector<std::uint64_t> stops;
    std::optional<std::uint64_t> firstNote;
    for (const auto& event : recorder.midiEvents()) {
        if (event.bytes == std::vector<std::uint8_t>{0xF8})
            clocks.push_back(event.frame);
        else if (event.bytes == std::vector<std::uint8_t>{0xFA})
            starts.push_back(event.frame);
        else if (event.bytes == std::vector<std::uint8_t>{0xFC})
            stops.push_back(event.frame);
        else if (!firstNote && event.bytes.size() == 3 && event.bytes[0] == 0x99)
            firstNote = event.frame;
    }
    ASSERT_EQ(starts.size(), 1u);
    ASSERT_EQ(stops.size(), 1u);
    ASSERT_TRUE(firstNote);
    EXPECT_EQ(starts[0], *firstNote) << "Start comes with step 0";
    // 24 clocks a beat of four steps: about 39 a second at 97 BPM.
    ASSERT_GT(clocks.size(), static_cast<std::size_t>(kSeconds * 24 * kTempo / 60 * 3 / 4));
    for (std::uint64_t k = 0; k < clocks.size(); ++k) {
        const std::uint64_t due =
            starts[0] + (2 * k * 4 * 15 * kRate + 24 * kTempo) / (2 * 24 * kTempo);
        if (clocks[k] != due) {
            ADD_FAILURE() << "clock " << k << " at " << clocks[k] << ", due at " << due;
            break;
        }
    }
    EXPECT_GT(stops[0], clocks.back()) << "no clock after Stop";
}

TEST_F(PlayJack, ANoteOnAtFrameFOfACycleSoundsAtFrameFOfTheNextCycle)
{
    constexpr int kSeconds = 4;
    constexpr std::uint32_t kOffset = 100;  // frames into the controller's cycle
    JackRecorder recorder(kSeconds + 15);
    ASSERT_TRUE(recorder.isReady());
    // A snare on channel 10 every 20 cycles (about a tenth of a second).
    JackMidiSender controller({0x99, 38, 127}, kOffset, 20);
    ASSERT_TRUE(controller.isReady());
    rhythms::Rhythm silent;  // nothing in the grid: every sound is a live pad
    silent.name = "Silent";
    silent.Bpm = 120;
    silent.SoundSet = "Impulse";
    const auto file = folder / "Silent.rtm";
    ASSERT_TRUE(rhythms::writeRhythmFile(silent, file));
    const int code = runPlay({file.string(), "--wave", "--seconds", std::to_string(kSeconds)},
                             recorder, folder / "play.log", std::nullopt, [&controller] {
                                 if (!controller.connectTo("Taktwerk:midi_in"))
                                     return false;
                                 controller.arm();
                                 return true;
                             });
    controller.stop();
    recorder.stop();
    ASSERT_EQ(code, 0) << testing::readBytes(folder / "play.log");

    std::vector<float> mix;
    for (std::size_t index = 0; index < recorder.recordedFrames(); ++index) {
        mix.push_back(recorder.left(index));
        mix.push_back(recorder.right(index));
    }
    const auto found = testing::onsets(mix, recorder.firstFrame());
    const std::vector<std::uint32_t> sent = controller.sentFrames();
    // Notes sent before the player was listening are lost; every later one must sound.
    ASSERT_GE(sent.size(), 10u);
    ASSERT_FALSE(found.empty());
    ASSERT_GT(found.size(), sent.size() / 2) << sent.size() << " sent";
    std::vector<Onset> expected;
    for (const std::uint32_t frame : sent) {
        const std::uint64_t due = frame + JackDummyServer::kPeriodFrames;
        if (due >= found.front().frame && due <= found.back().frame)
            expected.push_back({due, voiceBit(1)});
    }
    EXPECT_EQ(found, expected);
}

TEST_F(PlayJack, NotesBeyondWhatABlockTakesAreCountedInTheFinalLine)
{
    JackRecorder recorder(20);
    ASSERT_TRUE(recorder.isReady());
    // 100 snares on one frame every 20 cycles: more than the engine takes in one block.
    JackMidiSender controller({0x99, 38, 127}, 10, 20);
    ASSERT_TRUE(controller.isReady());
    controller.setBurst(100);
    rhythms::Rhythm silent;
    silent.name = "Silent";
    silent.Bpm = 120;
    silent.SoundSet = "Impulse";
    const auto file = folder / "Silent.rtm";
    ASSERT_TRUE(rhythms::writeRhythmFile(silent, file));
    const int code = runPlay({file.string(), "--wave", "--seconds", "2"}, recorder,
                             folder / "play.log", std::nullopt, [&controller] {
                                 if (!controller.connectTo("Taktwerk:midi_in"))
                                     return false;
                                 controller.arm();
                                 return true;
                             });
    controller.stop();
    recorder.stop();
    const std::string log = testing::readBytes(folder / "play.log");
    ASSERT_EQ(code, 0) << log;
    ASSERT_GE(controller.sentFrames().size(), 3u);
    EXPECT_NE(log.find(" live hits lost\n"), std::string::npos) << log;
}

// A master sends MIDI clock at 100 BPM, each clock up to 0.3 ms early or late: from its Start
// on, every step of ours sounds within a millisecond of the master's true clock for it.
TEST_F(PlayJack, FollowingAJitteryMidiClockEveryStepSoundsOnTheMastersBeat)
{
    constexpr int kSeconds = 5;
    constexpr double kClockFrames = 60.0 * kRate / (100.0 * 24.0);
    JackRecorder recorder(kSeconds + 15);
    ASSERT_TRUE(recorder.isReady());
    JackClockSender master(100.0, 0.3, kRate);
    ASSERT_TRUE(master.isReady());
    rhythms::Rhythm steady;  // the bass drum on every step, at a tempo not the master's
    steady.name = "Steady";
    steady.Bpm = 70;
    steady.SoundSet = "Impulse";
    steady.pattern.PatternToRow(0, "XXXXXXXXXXXXXXXX");
    const auto file = folder / "Steady.rtm";
    ASSERT_TRUE(rhythms::writeRhythmFile(steady, file));
    const int code =
        runPlay({file.string(), "--wave", "--sync", "midi", "--seconds", std::to_string(kSeconds)},
                recorder, folder / "play.log", std::nullopt, [this, &master] {
                    // A master sends Start once: it must wait until the player listens.
                    if (testing::readBytes(folder / "play.log").find("waiting for the MIDI") ==
                            std::string::npos ||
                        !master.connectTo("Taktwerk:midi_in"))
                        return false;
                    master.arm();
                    return true;
                });
    master.stop();
    recorder.stop();
    ASSERT_EQ(code, 0) << testing::readBytes(folder / "play.log");
    EXPECT_NE(testing::readBytes(folder / "play.log").find("waiting for the MIDI clock"),
              std::string::npos);

    std::vector<float> mix;
    for (std::size_t index = 0; index < recorder.recordedFrames(); ++index) {
        mix.push_back(recorder.left(index));
        mix.push_back(recorder.right(index));
    }
    const auto found = testing::onsets(mix, recorder.firstFrame());
    ASSERT_GT(master.clocksSent(), 24u * 4);
    // Four steps a beat at 100 BPM over what is left of the run after the connection.
    ASSERT_GT(found.size(), 12u) << testing::readBytes(folder / "play.log");
    std::int64_t previous = -1;
    for (const Onset& onset : found) {
        const double since = static_cast<double>(onset.frame) - master.clockFrame(0);
        const auto clock = static_cast<std::int64_t>(std::llround(since / kClockFrames));
        EXPECT_EQ(clock % 6, 0) << "a step every six clocks; frame " << onset.frame;
        EXPECT_LE(std::abs(static_cast<double>(onset.frame) -
                           master.clockFrame(
                               static_cast<std::uint64_t>(std::max<std::int64_t>(clock, 0)))),
                  kRate / 1000.0)
            << "clock " << clock;
        if (previous >= 0) {
            EXPECT_EQ(clock, previous + 6) << "no step left out";
        }
        previous = clock;
    }
}

// The onsets a follower of the transport plays, segment by segment: from each change at which
// the transport rolled (from a start or a jump) to the next change, step k at the frame
// `stepAt(k, transportFrame)` gives, counted from the change's cycle.
std::vector<Onset>
transportOnsets(const JackTransportMaster& master,
                const std::function<std::int64_t(std::int64_t, std::uint32_t)>& stepAt,
                const std::function<std::int64_t(std::uint32_t)>& firstStep)
{
    std::vector<Onset> expected;
    for (std::size_t index = 0; index + 1 < master.changeCount(); ++index) {
        const JackTransportMaster::Change change = master.change(index);
        if (!change.rolling)
            continue;
        const std::uint32_t end = master.change(index + 1).cycleFrame;
        for (std::int64_t step = firstStep(change.transportFrame);; ++step) {
            const std::int64_t offset = stepAt(step, change.transportFrame);
            if (change.cycleFrame + offset >= end)
                break;
            if (const int voices = voicesAt(static_cast<std::uint64_t>(step)))
                expected.push_back(
                    {static_cast<std::uint64_t>(change.cycleFrame + offset), voices});
        }
    }
    return expected;
}

// `taktwerk play --sync jack` with a test client driving the transport: start, stop and
// relocate (stopped and rolling). Returns what was recorded, onset by onset.
std::vector<Onset> playAlongTheTransport(const std::string& rhythm, JackTransportMaster& master,
                                         JackRecorder& recorder, const std::filesystem::path& log)
{
    std::atomic<bool> done{false};
    std::thread script([&] {
        const auto giveUp = std::chrono::steady_clock::now() + kGiveUpAfter;
        while (testing::readBytes(log).find("following the JACK transport") == std::string::npos &&
               std::chrono::steady_clock::now() < giveUp && !done.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const auto pause = [](int ms) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        };
        pause(500);
        master.start();
        pause(2000);
        master.stop();
        pause(700);
        master.locate(master.frameOf(2, 3));
        master.start();
        pause(1500);
        master.locate(master.frameOf(5, 1));
        pause(1500);
        master.stop();
    });
    const int code = runPlay({rhythm, "--wave", "--sync", "jack", "--seconds", "8"}, recorder, log);
    done.store(true);
    script.join();
    recorder.stop();
    EXPECT_EQ(code, 0) << testing::readBytes(log);
    std::vector<float> mix;
    for (std::size_t index = 0; index < recorder.recordedFrames(); ++index) {
        mix.push_back(recorder.left(index));
        mix.push_back(recorder.right(index));
    }
    return testing::onsets(mix, recorder.firstFrame());
}

// A timebase master at 97 BPM in 4/4 leads: step 0 on the transport's first rolling frame,
// every step on the master's grid, nothing while stopped, and a relocation to bar 2 beat 3
// (stopped, then while rolling to bar 5) goes on from the step of that place at once.
TEST_F(PlayJack, FollowingTheJackTransportStartStopAndRelocateMoveThePattern)
{
    JackRecorder recorder(kRecorderSeconds);
    ASSERT_TRUE(recorder.isReady());
    JackTransportMaster master(97.0);
    ASSERT_TRUE(master.isReady());
    const auto found =
        playAlongTheTransport(rhythmFile(120), master, recorder, folder / "play.log");
    master.close();
    ASSERT_GE(master.changeCount(), 5u) << "start, stop, start, jump, stop";
    const double stepFrames = 60.0 * kRate / (97.0 * 4);
    const auto position = [&](std::uint32_t frame) {
        return static_cast<double>(frame) / stepFrames;  // exact at the frames located to
    };
    const auto expected = transportOnsets(
        master,
        [&](std::int64_t step, std::uint32_t frame) {
            return static_cast<std::int64_t>(std::floor(
                (static_cast<double>(step) - std::round(position(frame))) * stepFrames + 0.5));
        },
        [&](std::uint32_t frame) {
            return static_cast<std::int64_t>(std::round(position(frame)));
        });
    EXPECT_EQ(master.change(2).transportFrame, master.frameOf(2, 3));
    ASSERT_GT(expected.size(), 8u);
    EXPECT_EQ(found, expected) << testing::readBytes(folder / "play.log");
    EXPECT_TRUE(recorder.isContiguousFrom(static_cast<std::uint32_t>(expected.front().frame)));
}

// Without a timebase master the transport's frame position at the rhythm's own tempo places
// the steps, exactly as our own clock would from frame 0.
TEST_F(PlayJack, FollowingTheJackTransportWithoutAMasterTakesTheFramesAtOurTempo)
{
    constexpr int kTempo = 97;
    JackRecorder recorder(kRecorderSeconds);
    ASSERT_TRUE(recorder.isReady());
    JackTransportMaster transport(kTempo, false);  // no timebase master
    ASSERT_TRUE(transport.isReady());
    // Bar and beat mean our own beats here: four steps of 15 * rate / tempo.
    const auto found =
        playAlongTheTransport(rhythmFile(kTempo), transport, recorder, folder / "play.log");
    transport.close();
    ASSERT_GE(transport.changeCount(), 5u) << "start, stop, start, jump, stop";
    const auto expected = transportOnsets(
        transport,
        [](std::int64_t step, std::uint32_t frame) {
            return static_cast<std::int64_t>(stepFrame(static_cast<std::uint64_t>(step), kTempo)) -
                   frame;
        },
        [](std::uint32_t frame) {
            std::int64_t step = 0;
            while (stepFrame(static_cast<std::uint64_t>(step), kTempo) < frame)
                ++step;
            return step;
        });
    ASSERT_GT(expected.size(), 8u);
    EXPECT_EQ(found, expected) << testing::readBytes(folder / "play.log");
}

// With --jack-timebase we lead: a client reading the transport sees our tempo (97 BPM, a beat
// of four steps), our bar (the 16-step loop: four beats) and the bar, beat and tick of the
// transport's frame; once we have ended, nobody publishes them any more.
TEST_F(PlayJack, LeadingTheJackTransportPublishesOurTempoAndMeterUntilTheEnd)
{
    JackRecorder recorder(kRecorderSeconds);
    ASSERT_TRUE(recorder.isReady());
    JackTransportMaster reader(97.0, false);  // drives the transport, publishes nothing
    ASSERT_TRUE(reader.isReady());
    std::vector<jack_position_t> seen;
    std::atomic<bool> done{false};
    const auto log = folder / "play.log";
    std::thread script([&] {
        while (testing::readBytes(log).find("Ctrl-C stops") == std::string::npos && !done.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        // Standing still, JACK asks its master again only for a new position: the tempo of the
        // rhythm loaded since our output started shows from the next locate (or start) on.
        reader.locate(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        seen.push_back(reader.query());
        reader.start();
        for (int n = 0; n < 4; ++n) {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            seen.push_back(reader.query());
        }
    });
    const int code =
        runPlay({rhythmFile(97), "--wave", "--jack-timebase", "--seconds", "3"}, recorder, log);
    done.store(true);
    script.join();
    const jack_position_t after = reader.query();
    reader.close();
    recorder.stop();
    ASSERT_EQ(code, 0) << testing::readBytes(log);
    ASSERT_EQ(seen.size(), 5u);
    for (const jack_position_t& position : seen) {
        ASSERT_NE(position.valid & JackPositionBBT, 0) << "frame " << position.frame;
        EXPECT_DOUBLE_EQ(position.beats_per_minute, 97.0);
        EXPECT_FLOAT_EQ(position.beats_per_bar, 4.0f);
        EXPECT_DOUBLE_EQ(position.ticks_per_beat, 1920.0);
        const double beats = position.frame * 97.0 / (60.0 * kRate);
        const auto whole = static_cast<std::int64_t>(beats);
        EXPECT_EQ(position.bar, whole / 4 + 1) << position.frame;
        EXPECT_EQ(position.beat, whole % 4 + 1) << position.frame;
        EXPECT_EQ(position.tick,
                  static_cast<std::int32_t>((beats - static_cast<double>(whole)) * 1920.0));
    }
    EXPECT_EQ(seen[0].frame, 0u);
    EXPECT_GT(seen[4].frame, seen[1].frame) << "the transport rolled";
    EXPECT_EQ(after.valid & JackPositionBBT, 0) << "given back at the end";
}

// Anything but JACK has no transport: `play --sync jack` says so and ends before it plays.
TEST_F(PlayHome, FollowingTheJackTransportIsRefusedOnAnyOtherOutput)
{
    if (!devices::testing::PulseDummyServer::isInstalled())
        GTEST_SKIP() << "pulseaudio is not installed";
    // No JACK server of this name runs, so the output is PulseAudio's: the private one.
    ::setenv("JACK_DEFAULT_SERVER", ("taktwerk-none-" + std::to_string(::getpid())).c_str(), 1);
    devices::testing::PulseDummyServer pulse;
    ASSERT_TRUE(pulse.isReady()) << pulse.failure();
    app::Settings settings = app::InitPaths(app::processEnvironment());
    app::LoadSettings(settings);
    const std::string rhythm = rhythmFile(120);
    const std::vector<std::string_view> args{rhythm, "--wave", "--sync", "jack"};
    std::ostringstream out;
    std::ostringstream err;
    const int code = cli::runPlay(std::span<const std::string_view>(args), settings, out, err);
    ::unsetenv("JACK_DEFAULT_SERVER");
    EXPECT_EQ(code, 2);
    EXPECT_NE(err.str().find("the JACK transport can only be followed through JACK, and the "
                             "sound goes out through"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(out.str().find("Ctrl-C stops"), std::string::npos) << "nothing played";
}

TEST_F(PlayJack, CtrlCStopsCleanlyWithEveryNoteEnded)
{
    JackRecorder recorder(kRecorderSeconds);
    ASSERT_TRUE(recorder.isReady());
    const int code = runPlay({rhythmFile(450), "--midi"}, recorder, folder / "play.log",
                             std::chrono::milliseconds(2000));
    recorder.stop();
    EXPECT_EQ(code, 0) << testing::readBytes(folder / "play.log");
    EXPECT_NE(testing::readBytes(folder / "play.log").find("stopped after"), std::string::npos);

    std::size_t noteOns = 0;
    std::size_t noteOffs = 0;
    std::uint32_t lastNoteOn = 0;
    std::optional<std::uint32_t> allNotesOff;
    for (const auto& event : recorder.midiEvents()) {
        if (event.bytes.size() != 3)
            continue;
        if (event.bytes[0] == 0x99) {
            ++noteOns;
            lastNoteOn = event.frame;
        } else if (event.bytes[0] == 0x89) {
            ++noteOffs;
        } else if (event.bytes[0] == 0xB9 && event.bytes[1] == 123 && !allNotesOff) {
            allNotesOff = event.frame;
        }
    }
    EXPECT_GT(noteOns, 0u);
    EXPECT_EQ(noteOffs, noteOns) << "every note is ended";
    ASSERT_TRUE(allNotesOff.has_value()) << "all notes off on the drum channel";
    EXPECT_GT(*allNotesOff, lastNoteOn) << "and nothing played after it";
}

}  // namespace
}  // namespace taktwerk::cli

namespace taktwerk::cli {
namespace {

std::size_t noteOnsIn(const JackRecorder& recorder)
{
    std::size_t count = 0;
    for (const auto& event : recorder.midiEvents())
        count += event.bytes.size() == 3 && (event.bytes[0] & 0xF0) == 0x90 && event.bytes[2] > 0;
    return count;
}

// The notes go to the port named on the command line, never to the one the first-port default
// would take, and a name that is not there sends them nowhere and says so.
TEST_F(PlayJack, MidiOutSendsToTheNamedPortOnlyAndSaysWhenItIsMissing)
{
    // First in the graph: the port the default would take.
    JackPortOwner decoy("A Synth", "in", JackPortOwner::Direction::Input);
    ASSERT_TRUE(decoy.isReady());
    JackRecorder recorder(kRecorderSeconds, "Drum Brain: Kit 1");
    ASSERT_TRUE(recorder.isReady());
    const int code = runPlay({rhythmFile(200), "--midi", "--seconds", "2", "--midi-out",
                              "Drum Brain: Kit 1:midi_in", "--midi-in", "none"},
                             recorder, folder / "play.log");
    recorder.stop();
    ASSERT_EQ(code, 0) << testing::readBytes(folder / "play.log");
    EXPECT_GT(noteOnsIn(recorder), 0U);
    EXPECT_NE(testing::readBytes(folder / "play.log").find("Taktwerk:midi_out"), std::string::npos);

    JackRecorder missed(kRecorderSeconds, "Drum Brain: Kit 2");
    ASSERT_TRUE(missed.isReady());
    const int missing = runPlay(
        {rhythmFile(200), "--midi", "--seconds", "1", "--midi-out", "Drum Brain: Kit 1:midi_ins"},
        missed, folder / "missing.log");
    missed.stop();
    ASSERT_EQ(missing, 0) << testing::readBytes(folder / "missing.log");
    EXPECT_NE(testing::readBytes(folder / "missing.log")
                  .find("MIDI port \"Drum Brain: Kit 1:midi_ins\" not found"),
              std::string::npos)
        << testing::readBytes(folder / "missing.log");
    EXPECT_EQ(noteOnsIn(missed), 0U);
    EXPECT_TRUE(decoy.connections().empty()) << "never another port than the one named";
}

TEST_F(PlayJack, PortsListsWhatMidiOutAndMidiInCanName)
{
    JackPortOwner synth("S\xc3\xbfnth \xc3\x9c", "Eingang: 1", JackPortOwner::Direction::Input);
    JackPortOwner pads("Pads", "out", JackPortOwner::Direction::Output);
    ASSERT_TRUE(synth.isReady() && pads.isReady());
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(runPorts({}, out, err), 0);
    EXPECT_EQ(out.str(), "MIDI outputs (JACK), for --midi-out:\n"
                         "  S\xc3\xbfnth \xc3\x9c:Eingang: 1\n"
                         "MIDI inputs (JACK), for --midi-in:\n"
                         "  Pads:out\n");
    EXPECT_EQ(err.str(), "");
    const std::string_view extra[] = {"--all"};
    EXPECT_EQ(runPorts(extra, out, err), 2);
    EXPECT_NE(err.str().find("usage: taktwerk ports"), std::string::npos);
}

}  // namespace
}  // namespace taktwerk::cli
