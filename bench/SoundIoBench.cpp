// Timing of the device layer without a device: how late the timed MIDI sender lets each message
// go against its deadline (target: 99th percentile under 1 ms), and what the null output's
// clock thread costs while it plays.

#include "devices/AudioOut.h"
#include "devices/TimedMidi.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdint>
#include <thread>
#include <time.h>
#include <vector>

namespace {

using namespace taktwerk::sound;
using namespace taktwerk::devices;

// A busier stream than any rhythm makes: 450 BPM, five steps a beat, all nine tracks is about
// 340 notes a second; one every 101 frames at 48 kHz is about 475.
constexpr std::uint32_t kNoteSpacingFrames = 101;
constexpr auto kLatenessRun = std::chrono::seconds(5);
constexpr auto kCpuRun = std::chrono::seconds(3);

class NoteSource final : public AudioSource {
public:
    void process(float* out, std::uint32_t frames, MidiBlockSink& midi) noexcept override
    {
        std::fill_n(out, static_cast<std::size_t>(frames) * kOutputChannels, 0.0f);
        const std::uint8_t noteOn[] = {0x99, 36, 127};
        for (; next_ < done_ + frames; next_ += kNoteSpacingFrames)
            (void)midi.midiAt(static_cast<std::uint32_t>(next_ - done_), noteOn, sizeof noteOn);
        done_ += frames;
    }

private:
    std::uint64_t done_ = 0;
    std::uint64_t next_ = 0;
};

class SilentSource final : public AudioSource {
public:
    void process(float* out, std::uint32_t frames, MidiBlockSink&) noexcept override
    {
        std::fill_n(out, static_cast<std::size_t>(frames) * kOutputChannels, 0.0f);
    }
};

// Keeps each message's lateness; only the sender thread writes, the benchmark reads after stop.
class LatenessRecorder final : public MidiDestination {
public:
    explicit LatenessRecorder(std::vector<double>& latenessUs) : latenessUs_(latenessUs) {}
    void send(const TimedMidiMessage& message) noexcept override
    {
        const auto late = MidiClock::now() - message.deadline();
        if (latenessUs_.size() < latenessUs_.capacity())
            latenessUs_.push_back(std::chrono::duration<double, std::micro>(late).count());
    }
    void allNotesOff() noexcept override {}
    std::string name() const override { return "lateness"; }

private:
    std::vector<double>& latenessUs_;
};

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_TimedMidiLateness(benchmark::State& state)
{
    std::vector<double> latenessUs;
    for (auto _ : state) {
        latenessUs.clear();
        latenessUs.reserve(1 << 16);  // room for the whole run, so the sender never allocates
        const auto out = makeNullAudioOut(AudioOutRequest{});
        out->attachMidi(std::make_unique<LatenessRecorder>(latenessUs));
        NoteSource source;
        if (!out->start(source)) {
            state.SkipWithError("null output did not start");
            return;
        }
        std::this_thread::sleep_for(kLatenessRun);
        out->stop();
    }
    state.counters["messages"] = static_cast<double>(latenessUs.size());
    state.counters["p50_us"] = percentile(latenessUs, 0.50);
    state.counters["p90_us"] = percentile(latenessUs, 0.90);
    state.counters["p99_us"] = percentile(latenessUs, 0.99);
    state.counters["max_us"] = percentile(latenessUs, 1.0);
}
BENCHMARK(BM_TimedMidiLateness)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_NullOutputClockCpu(benchmark::State& state)
{
    double cpuSeconds = 0.0;
    double wallSeconds = 0.0;
    for (auto _ : state) {
        const auto out = makeNullAudioOut(AudioOutRequest{});
        SilentSource source;
        const double cpuBefore = processCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        if (!out->start(source)) {
            state.SkipWithError("null output did not start");
            return;
        }
        std::this_thread::sleep_for(kCpuRun);
        out->stop();
        cpuSeconds = processCpuSeconds() - cpuBefore;
        wallSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    }
    state.counters["cpu_percent_of_core"] = 100.0 * cpuSeconds / wallSeconds;
}
BENCHMARK(BM_NullOutputClockCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
