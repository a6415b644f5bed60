// Soak: live playback into a JACK dummy server for minutes while a driver thread, standing in
// for the window, edits steps, mutes, tempo, meter and view, loads rhythms, rebuilds the voices
// and hits pads at random every few milliseconds, through the same live parameters and engine
// calls the window uses. Afterwards: no block of ours took longer than its period (no underrun
// caused by us), the heap did not grow, and every step came exactly one step length after the
// one before, with none lost.
//
// Long by nature, so it runs only when asked: TAKTWERK_SOAK_SECONDS=600 (`make soak`); CI runs
// a minute of it.

#include "devices/AudioOut.h"
#include "devices/support/JackDummyServer.h"
#include "pattern/Meter.h"
#include "playback/LiveParameters.h"
#include "playback/StepPlayer.h"
#include "rhythms/RhythmLoad.h"
#include "sound/Engine.h"
#include "sound/ImpulseKit.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <malloc.h>
#include <random>
#include <set>
#include <thread>

namespace taktwerk::hardening {
namespace {

using namespace std::chrono_literals;
using devices::testing::JackDummyServer;

// The engine as the output sees it, timing each block in CPU time of the audio thread: a block
// that needs more CPU than its period would underrun on any machine, whatever else runs.
class TimedSource final : public sound::AudioSource {
public:
    explicit TimedSource(sound::AudioSource& inner) : inner_(inner) {}
    void process(float* out, std::uint32_t frames,
                 sound::MidiBlockSink& midi) noexcept override  // audio thread
    {
        timespec before{};
        timespec after{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
        inner_.process(out, frames, midi);
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
        const auto nanoseconds =
            (after.tv_sec - before.tv_sec) * 1'000'000'000LL + (after.tv_nsec - before.tv_nsec);
        const auto used = static_cast<std::uint64_t>(std::max<long long>(nanoseconds, 0));
        if (used > longest_.load(std::memory_order_relaxed))
            longest_.store(used, std::memory_order_relaxed);
        blocks_.fetch_add(1, std::memory_order_relaxed);
    }
    std::uint64_t longestNanoseconds() const { return longest_.load(); }
    std::uint64_t blocks() const { return blocks_.load(); }

private:
    sound::AudioSource& inner_;
    std::atomic<std::uint64_t> longest_{0};
    std::atomic<std::uint64_t> blocks_{0};
};

// The window's publish of a whole rhythm state, as one batch so no step sees half of it.
void publish(playback::LiveParameters& parameters, const rhythms::Rhythm& rhythm, bool beginner)
{
    const playback::LiveParameters::Batch batch(parameters);
    parameters.setRows(rhythm.pattern);
    parameters.setMutes(rhythm.mutes.bits());
    parameters.setTempo(rhythm.Bpm);
    parameters.setMeter(rhythm.Interval, rhythm.Beats);
    parameters.setBeginner(beginner);
}

std::size_t heapInUse() { return mallinfo2().uordblks; }

TEST(Soak, LivePlaybackUnderRandomEditsKeepsTimeMemoryAndEveryStep)
{
    const char* seconds = std::getenv("TAKTWERK_SOAK_SECONDS");
    if (!seconds)
        GTEST_SKIP() << "long by nature: set TAKTWERK_SOAK_SECONDS (make soak)";
    if (!JackDummyServer::isInstalled())
        GTEST_SKIP() << "jackd is not installed (Debian package jackd2)";
    const auto duration = std::chrono::seconds(std::atoi(seconds));

    JackDummyServer server;
    ASSERT_TRUE(server.isReady()) << server.failure();
    auto opened = devices::openJackAudioOut(devices::AudioOutRequest{});
    ASSERT_TRUE(opened) << opened.error().detail;
    devices::AudioOut& out = **opened;
    const std::uint32_t rate = out.sampleRate();

    const std::filesystem::path soundDir =
        std::filesystem::temp_directory_path() / ("taktwerk-soak-" + std::to_string(::getpid()));
    testing::writeImpulseKit(soundDir, "Default", static_cast<int>(rate));
    testing::writeImpulseKit(soundDir, "Other", 44100);  // converted at every load

    playback::LiveParameters parameters;
    sound::Engine engine(rate);
    engine.setMode(sound::SoundMode::Wave);
    sound::SoundChoice choice;
    choice.soundDir = soundDir;
    engine.SetSound(choice);
    playback::StepPlayer steps(parameters, rate);
    engine.setStepSource(&steps);
    TimedSource timed(engine);
    parameters.setIntro(false);  // count-in steps would make the step check longer, not stronger
    rhythms::Rhythm rhythm;
    publish(parameters, rhythm, false);
    ASSERT_TRUE(out.start(timed));
    parameters.run();

    // The tempos the driver picks from; a step lasts 15 * rate / tempo frames, give or take the
    // one frame of rounding a tempo change may add.
    const std::array<int, 6> tempos{35, 97, 120, 199, 333, 450};
    std::set<std::uint64_t> stepLengths;
    for (const int tempo : tempos) {
        const std::uint64_t exact = 15ull * rate / static_cast<unsigned>(tempo);
        for (const std::uint64_t length : {exact - 1, exact, exact + 1, exact + 2})
            stepLengths.insert(length);
    }

    std::mt19937 random(2026);
    const auto pick = [&random](int below) {
        return std::uniform_int_distribution<int>(0, below - 1)(random);
    };
    const std::vector<std::string> files = {"Rock",       "Bossa Nova", "Five Groove",
                                            "Ballad 6-8", "Disco",      "Reggae"};
    std::uint64_t edits = 0;
    std::uint64_t loads = 0;
    std::uint64_t stepsChecked = 0;
    std::uint64_t badSteps = 0;
    std::uint64_t skippedSteps = 0;
    std::uint64_t restarts = 0;
    bool beginner = false;
    playback::PlaybackEvent previous{};
    bool havePrevious = false;
    std::size_t heapAfterWarmUp = 0;
    std::size_t heapPeak = 0;
    const auto start = std::chrono::steady_clock::now();
    const auto warmUp = start + std::min<std::chrono::seconds>(duration / 10, 10s);
    for (auto now = start; now - start < duration; now = std::chrono::steady_clock::now()) {
        switch (pick(12)) {
        case 0:
        case 1:
        case 2: {  // a step click
            const int track = pick(pattern::kTrackCount);
            rhythm.pattern.SetStep(track, pick(32), pick(2) == 1);
            parameters.setRow(track, rhythm.pattern.row(track));
            break;
        }
        case 3:
            rhythm.mutes.setMuted(pick(pattern::kTrackCount), pick(2) == 1);
            parameters.setMutes(rhythm.mutes.bits());
            break;
        case 4:
            rhythm.Bpm = static_cast<std::int16_t>(tempos[static_cast<std::size_t>(pick(6))]);
            parameters.setTempo(rhythm.Bpm);
            break;
        case 5: {  // the interval and resolution options
            rhythm.Interval = static_cast<std::int16_t>(3 + pick(3));
            rhythm.Beats =
                static_cast<std::int16_t>(pattern::loopLengthFor(rhythm.Interval, pick(3)));
            const playback::LiveParameters::Batch batch(parameters);
            parameters.setMeter(rhythm.Interval, rhythm.Beats);
            break;
        }
        case 6:
            beginner = !beginner;
            parameters.setBeginner(beginner);
            break;
        case 7: {  // a rhythm from the library, with its voices rebuilt, as a load does
            const auto file = std::filesystem::path(TAKTWERK_STARTER_RHYTHMS) /
                              (files[static_cast<std::size_t>(pick(6))] + ".rtm");
            auto load = rhythms::loadRhythmFile(file, rhythm, beginner);
            ASSERT_TRUE(load) << load.error().message;
            rhythm = load->rhythm;
            rhythm.Bpm = static_cast<std::int16_t>(tempos[static_cast<std::size_t>(pick(6))]);
            publish(parameters, rhythm, beginner);
            parameters.markLoaded();
            choice.soundSet = pick(2) == 0 ? "Default" : "Other";
            choice.snareChoice = load->rhythm.SnareChoice;
            engine.collectGarbage();
            engine.SetSound(choice);
            ++loads;
            break;
        }
        case 8:
            engine.collectGarbage();
            (void)engine.hitPad(pick(pattern::kTrackCount), 1);
            break;
        case 9:
            if (pick(50) == 0) {  // now and then STOP and RUN again
                parameters.stop();
                engine.allNotesOff();
                std::this_thread::sleep_for(10ms);
                parameters.run();
            }
            break;
        default:
            break;
        }
        ++edits;

        // The window's timer: drain the step events and check their spacing.
        playback::PlaybackEvent event;
        while (steps.events().pop(event)) {
            if (havePrevious && event.run == previous.run) {
                const std::uint64_t gap = event.step.frame - previous.step.frame;
                ++stepsChecked;
                if (!stepLengths.contains(gap))
                    ++badSteps;
                // No step skipped or played twice: the one announced next, or step 0 after a
                // load (or a loop that a meter change cut short).
                if (event.step.step != previous.step.nextStep && event.step.step != 0)
                    ++skippedSteps;
            } else if (havePrevious) {
                ++restarts;
            }
            previous = event;
            havePrevious = true;
        }
        engine.collectGarbage();
        if (now >= warmUp) {
            const std::size_t heap = heapInUse();
            if (heapAfterWarmUp == 0)
                heapAfterWarmUp = heap;
            heapPeak = std::max(heapPeak, heap);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500 + pick(4500)));
    }
    parameters.stop();
    engine.allNotesOff();
    std::this_thread::sleep_for(50ms);
    out.stop();
    engine.collectGarbage();
    std::filesystem::remove_all(soundDir);

    const double periodNanoseconds = 1e9 * out.blockFrames() / rate;
    RecordProperty("Seconds", static_cast<int>(duration.count()));
    RecordProperty("Edits", static_cast<int>(edits));
    RecordProperty("Loads", static_cast<int>(loads));
    RecordProperty("StepsChecked", static_cast<int>(stepsChecked));
    RecordProperty("Blocks", static_cast<int>(timed.blocks()));
    RecordProperty("LongestBlockMicroseconds", static_cast<int>(timed.longestNanoseconds() / 1000));
    RecordProperty("ServerXruns", static_cast<int>(out.xruns()));
    RecordProperty("HeapGrowthBytes",
                   static_cast<int>(heapPeak) - static_cast<int>(heapAfterWarmUp));
    std::cout << "soak: " << duration.count() << " s, " << edits << " edits, " << loads
              << " loads, " << stepsChecked << " step spacings checked, " << restarts
              << " restarts, " << timed.blocks() << " blocks, longest "
              << timed.longestNanoseconds() / 1000 << " us of CPU (period "
              << periodNanoseconds / 1000 << " us), " << out.xruns() << " server xruns, heap "
              << heapAfterWarmUp << " -> peak " << heapPeak << " bytes, dropped events "
              << steps.droppedEvents() << ", dropped commands " << engine.commandDrops() << '\n';

    EXPECT_GT(timed.blocks(), 0u);
    EXPECT_LT(static_cast<double>(timed.longestNanoseconds()), periodNanoseconds);
    EXPECT_GT(stepsChecked, 0u);
    EXPECT_EQ(badSteps, 0u);
    EXPECT_EQ(skippedSteps, 0u);
    EXPECT_EQ(steps.droppedEvents(), 0u);
    EXPECT_EQ(engine.commandDrops(), 0u);
    // Steady state allocates nothing for good: the voice sets and synths come and go, the
    // heap's high-water mark stays put (a little slack for the allocator's own bookkeeping).
    EXPECT_LT(heapPeak, heapAfterWarmUp + 1024 * 1024);
}

}  // namespace
}  // namespace taktwerk::hardening
