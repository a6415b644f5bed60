// Playback costs: offline rendering of a busy nine-track rhythm as a multiple of real time
// (target: 500 times or more), into memory and into a WAV file, and how often the live audio
// callback path (engine, playback, sequencer, step clock) allocates (target: never), and the
// CPU that 30 seconds of live playback through the live host take, as a share of one core
// (target: under 2 %).

#include "AllocationCounter.h"
#include "devices/AudioOut.h"
#include "devices/TimedMidi.h"
#include "playback/LiveHost.h"
#include "playback/LiveParameters.h"
#include "playback/OfflineRender.h"
#include "playback/StepPlayer.h"
#include "sound/Engine.h"
#include "sound/MakeKit.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace taktwerk::sound {
using namespace taktwerk::playback;
using namespace taktwerk::devices;
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kLiveBlock = 256;
constexpr std::uint32_t kRenderBlock = 1024;
constexpr double kRenderSeconds = 10.0;

// The default kit, rendered once per run into a temporary Sound folder.
struct Kit {
    std::filesystem::path soundDir;
    bool ready = false;
    Kit()
    {
        soundDir = std::filesystem::temp_directory_path() /
                   ("taktwerk-playback-bench-" + std::to_string(::getpid())) / "Sound";
        if (auto font = findSoundFont())
            ready = static_cast<bool>(
                makeKit({.soundFont = *font, .setDir = soundDir / "Default", .extraTomDir = {}}));
    }
    ~Kit() { std::filesystem::remove_all(soundDir.parent_path()); }
};

const Kit& kit()
{
    static const Kit instance;
    return instance;
}

// All nine tracks busy over a 32-step loop at a brisk tempo: a hit on every step, up to six
// at once, toms and crash included.
RenderJob busyJob()
{
    RenderJob job;
    job.rows = {0x11111111u, 0x44444444u, 0x77777777u, 0x88888888u, 0xAAAAAAAAu,
                0x00010001u, 0x20202020u, 0x40404040u, 0x80808080u};
    job.tempoBpm = 140;
    job.interval = 4;
    job.beats = 32;
    job.sampleRate = kRate;
    job.sound.soundDir = kit().soundDir;
    job.seconds = kRenderSeconds;
    return job;
}

void setRealTime(benchmark::State& state, double audioSecondsPerIteration)
{
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * audioSecondsPerIteration,
                           benchmark::Counter::kIsRate);
}

void BM_RenderBusyRhythmToMemory(benchmark::State& state)
{
    if (!kit().ready)
        return state.SkipWithError("no SoundFont for the kit");
    const RenderJob job = busyJob();
    std::vector<float> out(static_cast<std::size_t>(kRenderBlock) * kOutputChannels);
    for (auto _ : state) {
        state.PauseTiming();  // loading the kit is not rendering
        OfflineRenderer renderer(job);
        state.ResumeTiming();
        for (std::uint64_t done = 0; done < renderer.musicFrames(); done += kRenderBlock) {
            renderer.render(out.data(), kRenderBlock);
            benchmark::DoNotOptimize(out.data());
        }
    }
    setRealTime(state, kRenderSeconds);
}
BENCHMARK(BM_RenderBusyRhythmToMemory)->Unit(benchmark::kMillisecond);

void BM_RenderBusyRhythmToWavFile(benchmark::State& state)
{
    if (!kit().ready)
        return state.SkipWithError("no SoundFont for the kit");
    RenderJob job = busyJob();
    job.seconds = 60.0;
    // At the kit's own rate the samples load as they are; at another they are resampled first.
    job.sampleRate = static_cast<std::uint32_t>(state.range(0));
    const auto file = kit().soundDir.parent_path() / "busy.wav";
    for (auto _ : state) {
        auto report = renderWav(job, file);
        if (!report)
            return state.SkipWithError(report.error().message.c_str());
    }
    setRealTime(state, job.seconds);
}
BENCHMARK(BM_RenderBusyRhythmToWavFile)->Arg(44100)->Arg(48000)->Unit(benchmark::kMillisecond);

// The live path as the audio thread runs it, while the GUI thread edits steps, mutes and
// the tempo between blocks and drains the events, and RUN/STOP come and go.
void BM_LiveCallbackAllocations(benchmark::State& state)
{
    if (!kit().ready)
        return state.SkipWithError("no SoundFont for the kit");
    const RenderJob job = busyJob();
    LiveParameters parameters;
    parameters.setRows(pattern::Pattern{});
    for (int track = 0; track < pattern::kTrackCount; ++track)
        parameters.setRow(track, job.rows[static_cast<std::size_t>(track)]);
    parameters.setMeter(job.interval, job.beats);
    parameters.setTempo(job.tempoBpm);
    Engine engine(kRate);
    engine.setMode(SoundMode::Wave);
    SoundChoice choice;
    choice.soundDir = kit().soundDir;
    engine.SetSound(choice);
    StepPlayer playback(parameters, kRate);
    engine.setStepSource(&playback);
    parameters.run();

    std::vector<float> out(static_cast<std::size_t>(kLiveBlock) * kOutputChannels);
    NoMidi none;
    for (int warmUp = 0; warmUp < 64; ++warmUp)
        engine.process(out.data(), kLiveBlock, none);
    engine.collectGarbage();

    std::uint64_t inCallback = 0;
    std::uint64_t blocks = 0;
    PlaybackEvent event;
    for (auto _ : state) {
        const std::uint64_t before = allocationCount();
        engine.process(out.data(), kLiveBlock, none);
        inCallback += allocationCount() - before;
        benchmark::DoNotOptimize(out.data());

        // The GUI thread's share, outside the count.
        ++blocks;
        while (playback.events().pop(event))
            benchmark::DoNotOptimize(event);
        parameters.setRow(static_cast<int>(blocks % 9),
                          job.rows[blocks % 9] ^ static_cast<pattern::Row>(blocks));
        parameters.setMuted(static_cast<int>(blocks % 9), blocks % 7 == 0);
        parameters.setTempo(100 + static_cast<int>(blocks % 300));
        if (blocks % 1000 == 0) {
            parameters.stop();
            parameters.run();
            parameters.markLoaded();
        }
    }
    state.counters["allocations_in_callback"] = static_cast<double>(inCallback);
    state.counters["steps_dropped"] = static_cast<double>(playback.droppedEvents());
    setRealTime(state, static_cast<double>(kLiveBlock) / kRate);
    engine.setStepSource(nullptr);
    engine.process(out.data(), kLiveBlock, none);
}
BENCHMARK(BM_LiveCallbackAllocations);

// One live playback of the busy rhythm, driven block by block on this thread.
struct LiveRig {
    LiveParameters parameters;
    Engine engine{kRate};
    std::unique_ptr<StepPlayer> playback;
    std::vector<float> out = std::vector<float>(static_cast<std::size_t>(kLiveBlock) * 2);
    NoMidi none;

    LiveRig(const RenderJob& job, bool groove)
    {
        for (int track = 0; track < pattern::kTrackCount; ++track)
            parameters.setRow(track, job.rows[static_cast<std::size_t>(track)]);
        parameters.setMeter(job.interval, job.beats);
        parameters.setTempo(job.tempoBpm);
        if (groove) {
            // Swung 8ths, every step of every track at a velocity of its own, the volume down.
            pattern::Velocities velocities{};
            for (std::size_t track = 0; track < velocities.size(); ++track)
                for (std::size_t step = 0; step < velocities[track].size(); ++step)
                    velocities[track][step] =
                        static_cast<std::uint8_t>(1 + (track + step * 37) % 127);
            parameters.setVelocities(velocities);
            parameters.setSwing({66, pattern::SwingNote::Eighth});
            engine.setVolume(80);
        }
        engine.setMode(SoundMode::Wave);
        SoundChoice choice;
        choice.soundDir = kit().soundDir;
        engine.SetSound(choice);
        playback = std::make_unique<StepPlayer>(parameters, kRate);
        engine.setStepSource(playback.get());
        parameters.run();
        for (int warmUp = 0; warmUp < 64; ++warmUp)
            process();
    }
    ~LiveRig()
    {
        engine.setStepSource(nullptr);
        process();
    }
    LiveRig(const LiveRig&) = delete;
    LiveRig& operator=(const LiveRig&) = delete;

    void process()
    {
        engine.process(out.data(), kLiveBlock, none);
        benchmark::DoNotOptimize(out.data());
        PlaybackEvent event;
        while (playback->events().pop(event))
            benchmark::DoNotOptimize(event);
    }
};

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// What the groove costs Engine::process: the busy rhythm played straight at full velocity
// and full volume, against the same swung, accented and turned down, in turns of a few hundred
// blocks so that both meet the same caches. Timed in this thread's CPU time, which other
// programs on the machine do not lengthen.
void BM_EngineProcessGrooveOverPlain(benchmark::State& state)
{
    if (!kit().ready)
        return state.SkipWithError("no SoundFont for the kit");
    const RenderJob job = busyJob();
    LiveRig plain(job, false);
    LiveRig groove(job, true);
    constexpr int kBlocksPerTurn = 256;
    double plainSeconds = 0.0;
    double grooveSeconds = 0.0;
    for (auto _ : state) {
        for (LiveRig* rig : {&plain, &groove}) {
            const double before = threadCpuSeconds();
            for (int block = 0; block < kBlocksPerTurn; ++block)
                rig->process();
            (rig == &plain ? plainSeconds : grooveSeconds) += threadCpuSeconds() - before;
        }
        plain.engine.collectGarbage();
        groove.engine.collectGarbage();
    }
    const auto blocks = static_cast<double>(state.iterations() * kBlocksPerTurn);
    state.counters["plain_us_per_block"] = 1e6 * plainSeconds / blocks;
    state.counters["groove_us_per_block"] = 1e6 * grooveSeconds / blocks;
    state.counters["groove_over_plain"] = grooveSeconds / plainSeconds;
}
BENCHMARK(BM_EngineProcessGrooveOverPlain)->Unit(benchmark::kMillisecond);

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Outputs for a machine without sound: the null output only, no MIDI port.
class NullOutputs final : public AudioOutFactory {
public:
    core::Result<std::unique_ptr<AudioOut>> openBackend(AudioBackend,
                                                        const AudioOutRequest&) override
    {
        return core::fail("Kein Audiogerät gefunden.", "benchmark");
    }
    core::Result<std::unique_ptr<MidiDestination>> openMidi(const std::string&,
                                                            const MidiPortChoice&) override
    {
        return core::fail("Kein MIDI-Ausgang gefunden.", "benchmark");
    }
};

// Live playback of the busy rhythm through the live host on the null output (a real-time clock
// thread, as a sound card would call us), with the owner asleep until each step's news.
void BM_LivePlaybackCpu(benchmark::State& state)
{
    if (!kit().ready)
        return state.SkipWithError("no SoundFont for the kit");
    constexpr auto kRun = std::chrono::seconds(30);
    const RenderJob job = busyJob();
    double cpuSeconds = 0.0;
    double wallSeconds = 0.0;
    std::uint64_t steps = 0;
    for (auto _ : state) {
        LiveHostOptions options;
        options.sound.soundDir = kit().soundDir;
        LiveHost host(options, std::make_unique<NullOutputs>());
        sequencer::StepInputs inputs;
        inputs.rows = job.rows;
        inputs.interval = job.interval;
        inputs.beats = job.beats;
        host.publish(inputs, job.tempoBpm);

        const double cpuBefore = processCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        host.start();
        sequencer::StepEvent event;
        while (std::chrono::steady_clock::now() - wallBefore < kRun) {
            (void)host.news().wait(std::chrono::milliseconds(100));
            while (host.popEvent(event))
                ++steps;
        }
        host.shutdown();
        cpuSeconds = processCpuSeconds() - cpuBefore;
        wallSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    }
    state.counters["cpu_percent_of_core"] = 100.0 * cpuSeconds / wallSeconds;
    state.counters["steps"] = static_cast<double>(steps);
}
BENCHMARK(BM_LivePlaybackCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace taktwerk::sound

BENCHMARK_MAIN();
