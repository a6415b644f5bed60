// Sound engine costs: mixing per block as a fraction of the block's real time, the engine's
// whole process() while nothing sounds and with a pattern playing (with the default kit, and with
// an imported kit of five velocity layers per drum), the built-in synth (its notes rendered ahead),
// a voice-set rebuild, the synth's note bank, the default kit, and how often process() allocates
// (must be never).

#include "AllocationCounter.h"
#include "kits/KitImport.h"
#include "sound/Engine.h"
#include "sound/MakeKit.h"
#include "sound/NoteBank.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace taktwerk::sound {
namespace {

constexpr double kRate = 48000.0;
constexpr std::uint32_t kBlock = 256;
constexpr double kBlockSeconds = kBlock / kRate;

// The default kit, rendered once per run into a temporary Sound folder.
struct Kit {
    std::filesystem::path soundDir;
    bool ready = false;
    Kit()
    {
        soundDir = std::filesystem::temp_directory_path() /
                   ("taktwerk-bench-" + std::to_string(::getpid())) / "Sound";
        if (auto font = findSoundFont())
            ready = static_cast<bool>(
                makeKit({.soundFont = *font, .setDir = soundDir / "Default", .extraTomDir = {}}));
    }
    ~Kit() { std::filesystem::remove_all(soundDir.parent_path()); }
    SoundChoice choice() const
    {
        SoundChoice result;
        result.soundDir = soundDir;
        return result;
    }
};

const Kit& kit()
{
    static const Kit instance;
    return instance;
}

// Debian's GMRockKit (hydrogen-drumkits), imported once per run: five velocity layers for
// every drum of the set.
struct LayeredKit {
    std::filesystem::path soundDir;
    bool ready = false;
    LayeredKit()
    {
        soundDir = std::filesystem::temp_directory_path() /
                   ("taktwerk-bench-layers-" + std::to_string(::getpid())) / "Sound";
        kits::ImportOptions options;
        options.source = "/usr/share/hydrogen/data/drumkits/GMRockKit";
        options.soundDir = soundDir;
        options.name = "GMRockKit";
        ready = static_cast<bool>(kits::importKit(options));
    }
    ~LayeredKit() { std::filesystem::remove_all(soundDir.parent_path()); }
    SoundChoice choice() const
    {
        SoundChoice result;
        result.soundDir = soundDir;
        result.soundSet = "GMRockKit";
        return result;
    }
};

const LayeredKit& layeredKit()
{
    static const LayeredKit instance;
    return instance;
}

// Bass drum on every beat, hi-hat on every step, the rest spread over the bar: a busy pattern
// at 120 beats per minute.
class BusyPattern final : public StepSource {
public:
    // `varyVelocity`: every hit at another velocity, so a layered kit plays all its layers.
    explicit BusyPattern(bool varyVelocity = false) : varyVelocity_(varyVelocity) {}

    void advance(std::uint32_t frames, BlockScheduler& scheduler) noexcept override
    {
        constexpr std::uint64_t kStep = 6000;  // a sixteenth at 120 bpm, 48 kHz
        for (std::uint64_t next = (position_ + kStep - 1) / kStep * kStep;
             next < position_ + frames; next += kStep) {
            const auto frame = static_cast<std::uint32_t>(next - position_);
            const std::uint64_t step = next / kStep;
            // 37 steps through all 127 velocities in an order that jumps between layers.
            const int velocity =
                varyVelocity_ ? 1 + static_cast<int>((step * 37) % 127) : kFullVelocity;
            scheduler.padAt(static_cast<int>(2 + (step % 2)), frame, velocity, false);
            if (step % 4 == 0)
                scheduler.padAt(0, frame, velocity, false);
            scheduler.padAt(static_cast<int>(step % 9), frame, velocity, false);
        }
        position_ += frames;
    }

private:
    bool varyVelocity_;
    std::uint64_t position_ = 0;
};

void setRealTimeCounter(benchmark::State& state)
{
    // Seconds of audio rendered per second of wall time; its inverse is the share of each
    // block's real time that the work takes.
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBlockSeconds, benchmark::Counter::kIsRate);
}

void BM_MixTenVoicesSounding(benchmark::State& state)
{
    if (!kit().ready)
        return state.SkipWithError("no SoundFont for the kit");
    auto set = buildVoiceSet(kit().choice(), kRate);
    Mixer mixer(kRate);
    std::vector<float> out(kBlock * 2);
    std::uint64_t blocks = 0;
    for (auto _ : state) {
        // Restart all ten often enough that none has ended (the shortest lasts ~0.2 s).
        if (blocks++ % 16 == 0) {
            for (int voice = 0; voice < kVoiceCount; ++voice)
                mixer.voice(voice).start(set->sample(voice));
        }
        std::fill(out.begin(), out.end(), 0.0f);
        mixer.render(out.data(), kBlock);
        Mixer::finish(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
    }
    setRealTimeCounter(state);
}
BENCHMARK(BM_MixTenVoicesSounding);

// `liveNoteEvery`: blocks between notes the note bank lacks, which keep the live synth running.
void runEngine(benchmark::State& state, Engine& engine, std::uint64_t liveNoteEvery = 0,
               bool varyVelocity = false)
{
    BusyPattern pattern(varyVelocity);
    engine.setStepSource(&pattern);
    std::vector<float> out(kBlock * 2);
    NoMidi none;
    for (int warmUp = 0; warmUp < 64; ++warmUp)
        engine.process(out.data(), kBlock, none);
    std::uint64_t blocks = 0;
    const std::uint64_t before = allocationCount();
    for (auto _ : state) {
        if (liveNoteEvery != 0 && blocks++ % liveNoteEvery == 0) {
            state.PauseTiming();
            engine.sendMidiNote(60);  // a high bongo
            state.ResumeTiming();
        }
        engine.process(out.data(), kBlock, none);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["allocations_in_process"] = static_cast<double>(allocationCount() - before);
    setRealTimeCounter(state);
    engine.setStepSource(nullptr);
    engine.process(out.data(), kBlock, none);
}

void BM_EngineProcessWavePattern(benchmark::State& state)
{
    if (!kit().ready)
        return state.SkipWithError("no SoundFont for the kit");
    Engine engine(kRate);
    engine.setMode(SoundMode::Wave);
    engine.SetSound(kit().choice());
    runEngine(state, engine);
}
BENCHMARK(BM_EngineProcessWavePattern);

void BM_EngineProcessQuiet(benchmark::State& state)
{
    // Stopped, every tail ended, the synth asleep: what a block costs while nothing sounds.
    const auto font = findSoundFont();
    if (!kit().ready || !font)
        return state.SkipWithError("no SoundFont for the kit");
    Engine engine(kRate);
    engine.setMode(SoundMode::Wave);
    engine.SetSound(kit().choice());
    if (!engine.loadSynth(*font))
        return state.SkipWithError("SoundFont not loaded");
    std::vector<float> out(kBlock * 2);
    NoMidi none;
    engine.process(out.data(), kBlock, none);
    for (auto _ : state) {
        engine.process(out.data(), kBlock, none);
        benchmark::DoNotOptimize(out.data());
    }
    setRealTimeCounter(state);
}
BENCHMARK(BM_EngineProcessQuiet);

void BM_EngineProcessLayeredKit(benchmark::State& state)
{
    if (!layeredKit().ready)
        return state.SkipWithError("GMRockKit not importable (hydrogen-drumkits)");
    Engine engine(kRate);
    engine.setMode(SoundMode::Wave);
    engine.SetSound(layeredKit().choice());
    runEngine(state, engine, 0, true);
}
BENCHMARK(BM_EngineProcessLayeredKit);

void BM_EngineProcessBuiltInSynth(benchmark::State& state)
{
    const auto font = findSoundFont();
    if (!font)
        return state.SkipWithError("no SoundFont");
    Engine engine(kRate);
    engine.setMode(SoundMode::Midi);
    if (!engine.loadSynth(*font))
        return state.SkipWithError("SoundFont not loaded");
    runEngine(state, engine);
}
BENCHMARK(BM_EngineProcessBuiltInSynth);

void BM_EngineProcessBuiltInSynthAwake(benchmark::State& state)
{
    // The same pattern while the live synth keeps running: a note it must play live every
    // half second, so its reverb never rests.
    const auto font = findSoundFont();
    if (!font)
        return state.SkipWithError("no SoundFont");
    Engine engine(kRate);
    engine.setMode(SoundMode::Midi);
    if (!engine.loadSynth(*font))
        return state.SkipWithError("SoundFont not loaded");
    runEngine(state, engine, static_cast<std::uint64_t>(0.5 / kBlockSeconds));
}
BENCHMARK(BM_EngineProcessBuiltInSynthAwake);

void BM_NoteBankRender(benchmark::State& state)
{
    // What loading the SoundFont (or a new velocity) adds: every note MIDI mode plays, rendered
    // with its reverb tail.
    const auto font = findSoundFont();
    if (!font)
        return state.SkipWithError("no SoundFont");
    const auto notes = playedNotes(37);
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto bank =
            renderNoteBank(*font, notes, {.sampleRate = kRate, .gateSeconds = 0.050, .values = {}});
        if (!bank)
            return state.SkipWithError("note bank not rendered");
        bytes = bank.value()->bytes();
    }
    state.counters["notes"] = static_cast<double>(notes.size());
    state.counters["MB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
}
BENCHMARK(BM_NoteBankRender)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_VoiceSetRebuild(benchmark::State& state)
{
    if (!kit().ready)
        return state.SkipWithError("no SoundFont for the kit");
    // The kit is at 44.1 kHz: every rebuild converts all ten samples to 48 kHz.
    for (auto _ : state)
        benchmark::DoNotOptimize(buildVoiceSet(kit().choice(), kRate));
}
BENCHMARK(BM_VoiceSetRebuild)->Unit(benchmark::kMillisecond);

void BM_VoiceSetRebuildSameFiles(benchmark::State& state)
{
    if (!kit().ready)
        return state.SkipWithError("no SoundFont for the kit");
    // Loading a rhythm of the sample set already playing: only the files are looked at.
    const auto current = buildVoiceSet(kit().choice(), kRate);
    for (auto _ : state)
        benchmark::DoNotOptimize(buildVoiceSet(kit().choice(), kRate, current.get()));
}
BENCHMARK(BM_VoiceSetRebuildSameFiles)->Unit(benchmark::kMicrosecond);

void BM_VoiceSetRebuildLayeredKit(benchmark::State& state)
{
    if (!layeredKit().ready)
        return state.SkipWithError("GMRockKit not importable (hydrogen-drumkits)");
    // Every layer of the ten voices loaded and converted from 44.1 to 48 kHz.
    std::size_t layers = 0;
    for (auto _ : state) {
        auto set = buildVoiceSet(layeredKit().choice(), kRate);
        layers = 0;
        for (const auto& voice : set->layers)
            layers += voice.size();
        benchmark::DoNotOptimize(set);
    }
    state.counters["layers"] = static_cast<double>(layers);
}
BENCHMARK(BM_VoiceSetRebuildLayeredKit)->Unit(benchmark::kMillisecond);

void BM_MakeKit(benchmark::State& state)
{
    const auto font = findSoundFont();
    if (!font)
        return state.SkipWithError("no SoundFont");
    const auto dir = std::filesystem::temp_directory_path() /
                     ("taktwerk-bench-kit-" + std::to_string(::getpid()));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            makeKit({.soundFont = *font, .setDir = dir / "Default", .extraTomDir = dir}));
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_MakeKit)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace taktwerk::sound

BENCHMARK_MAIN();
