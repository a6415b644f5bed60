#include "playback/OfflineRender.h"

#include "core/AtomicFile.h"
#include "core/Descriptors.h"
#include "core/Language.h"
#include "pattern/Meter.h"
#include "sequencer/StepClock.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sndfile.h>
#include <string>
#include <vector>

namespace taktwerk::playback {
namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const noexcept { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

// Big enough to make the per-block overhead vanish, small enough to stay in the cache.
constexpr std::uint32_t kBlockFrames = 1024;
// The ring-out ends when the voices have nothing left; no sample lasts longer than this.
constexpr double kMaxTailSeconds = sound::kMaxSampleSeconds + 1.0;
// A WAV file's RIFF and data sizes are 32-bit. The header's chunks (format, fact, PEAK) take a
// few dozen bytes; this leaves ample room for them.
constexpr std::uint64_t kMaxWavDataBytes = 0xFFFFFFFFull - 4096;

std::uint64_t framesOfSteps(std::uint64_t steps, const RenderJob& job) noexcept
{
    sequencer::StepClock clock(job.sampleRate);
    clock.restart(0, job.tempoBpm);
    for (std::uint64_t step = 0; step < steps; ++step)
        clock.advance(job.tempoBpm);
    return clock.dueFrame();
}

std::uint64_t musicLength(const RenderJob& job) noexcept
{
    if (job.seconds > 0.0)
        return static_cast<std::uint64_t>(std::llround(job.seconds * job.sampleRate));
    const int loopSteps = pattern::playbackLoopLength(job.interval, job.beats, false);
    const int countIn = job.intro ? 4 * job.interval : 0;
    const auto steps =
        static_cast<std::uint64_t>(countIn) +
        static_cast<std::uint64_t>(std::max(job.loops, 0)) * static_cast<std::uint64_t>(loopSteps);
    return framesOfSteps(steps, job);
}

bool isSilent(const float* samples, std::size_t count) noexcept
{
    return std::all_of(samples, samples + count, [](float value) { return value == 0.0f; });
}

std::string utf8(const std::filesystem::path& file)
{
    const std::u8string text = file.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

OfflineRenderer::OfflineRenderer(const RenderJob& job)
    : engine_(static_cast<double>(job.sampleRate)), playback_(parameters_, job.sampleRate),
      musicFrames_(musicLength(job))
{
    {
        LiveParameters::Batch batch(parameters_);
        for (int track = 0; track < pattern::kTrackCount; ++track)
            parameters_.setRow(track, job.rows[static_cast<std::size_t>(track)]);
        parameters_.setVelocities(job.velocities);
        parameters_.setSwing(job.swing);
        parameters_.setMutes(job.mutes);
        parameters_.setTempo(job.tempoBpm);
        parameters_.setMeter(job.interval, job.beats);
        parameters_.setIntro(job.intro);
        parameters_.setBeginner(false);
    }
    engine_.setMode(sound::SoundMode::Wave);
    if (job.voices)
        engine_.setVoices(std::make_unique<sound::VoiceSet>(*job.voices));
    else
        engine_.SetSound(job.sound);
    engine_.setStepSource(&playback_);
    parameters_.run();
}

void OfflineRenderer::render(float* out, std::uint32_t frames) noexcept
{
    engine_.process(out, frames, noMidi_);
    // Stands in for the owner thread, which frees what the engine hands back.
    engine_.collectGarbage();
}

std::uint64_t maxRenderFrames(const RenderJob& job) noexcept
{
    std::uint64_t frames = musicLength(job);
    if (job.tail)
        frames += static_cast<std::uint64_t>(kMaxTailSeconds * job.sampleRate) + kBlockFrames;
    return frames;
}

bool needsRf64(std::uint64_t frames, int channels, bool floatSamples) noexcept
{
    const std::uint64_t bytesPerFrame =
        static_cast<std::uint64_t>(std::max(channels, 1)) * (floatSamples ? 4u : 2u);
    return frames > kMaxWavDataBytes / bytesPerFrame;
}

namespace {

int sndfileFormat(const RenderJob& job)
{
    switch (job.fileType) {
    case AudioFileType::Flac:
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case AudioFileType::Ogg:
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case AudioFileType::Wav:
        break;
    }
    return (needsRf64(maxRenderFrames(job), sound::kOutputChannels, job.floatSamples)
                ? SF_FORMAT_RF64
                : SF_FORMAT_WAV) |
           (job.floatSamples ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
}

// Renders `job` into `fd`, a file open for reading and writing that libsndfile may seek in;
// `fd` stays open. `name` names the output in messages.
core::Result<RenderReport> renderInto(const RenderJob& job, int fd, const std::string& name,
                                      const RenderProgress& progress)
{
    OfflineRenderer renderer(job);
    const std::uint64_t music = renderer.musicFrames();

    SF_INFO info{};
    info.samplerate = static_cast<int>(job.sampleRate);
    info.channels = sound::kOutputChannels;
    info.format = sndfileFormat(job);
    SndfileHandle out(sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE));
    if (!out)
        return core::fail(core::translated("The file \"%s\" cannot be written.", {name}),
                          sf_strerror(nullptr));
    // Full-scale floats become full-scale integers; the mix is already limited to it.
    sf_command(out.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

    std::vector<float> block(static_cast<std::size_t>(kBlockFrames) * sound::kOutputChannels);
    RenderReport report{.frames = 0, .musicFrames = music};
    const auto write = [&](std::uint32_t frames) {
        return sf_writef_float(out.get(), block.data(), frames) == static_cast<sf_count_t>(frames);
    };
    const auto failed = [&] {
        const std::string detail = sf_strerror(out.get());
        out.reset();
        return core::fail(
            core::translated("The file \"%s\" could not be written to the end.", {name}), detail);
    };

    const auto cancelled = [&] {
        return job.cancel != nullptr && job.cancel->load(std::memory_order_relaxed);
    };
    const auto stopped = [&] {
        out.reset();
        return core::fail(core::translated("The export was cancelled."), kRenderCancelled);
    };
    while (report.frames < music) {
        if (cancelled())
            return stopped();
        const auto frames = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(kBlockFrames, music - report.frames));
        renderer.render(block.data(), frames);
        if (!write(frames))
            return failed();
        report.frames += frames;
        if (progress)
            progress(static_cast<double>(report.frames) / static_cast<double>(music));
    }

    if (job.tail) {
        renderer.stop();
        // The ring-out is over once a whole second has been silent; the silence is then
        // trimmed, so the file ends with the last sounding frame.
        const auto maxTail = static_cast<std::uint64_t>(kMaxTailSeconds * job.sampleRate);
        const std::uint64_t enoughSilence = job.sampleRate;
        std::vector<float> tail;
        std::uint64_t silent = 0;
        while (tail.size() / sound::kOutputChannels < maxTail && silent < enoughSilence) {
            if (cancelled())
                return stopped();
            renderer.render(block.data(), kBlockFrames);
            tail.insert(tail.end(), block.begin(), block.end());
            silent = isSilent(block.data(), block.size()) ? silent + kBlockFrames : 0;
        }
        std::size_t sounding = tail.size();
        while (sounding > 0 && tail[sounding - 1] == 0.0f)
            --sounding;
        const auto frames = static_cast<sf_count_t>((sounding + 1) / sound::kOutputChannels);
        if (frames > 0 && sf_writef_float(out.get(), tail.data(), frames) != frames)
            return failed();
        report.frames += static_cast<std::uint64_t>(frames);
    }

    // sf_close writes the header's final sizes; only then is the file complete.
    if (const int closed = sf_close(out.release()); closed != 0)
        return core::fail(
            core::translated("The file \"%s\" could not be written to the end.", {name}),
            sf_error_number(closed));
    return report;
}

}  // namespace

core::Result<RenderReport> renderWav(const RenderJob& job, const std::filesystem::path& file,
                                     const RenderProgress& progress)
{
    // Written beside the target and renamed at the end, so a failed or cancelled render never
    // leaves a file that looks finished.
    auto partial = core::AtomicFile::create(
        file, core::translated("The file \"%s\" cannot be written.", {utf8(file)}));
    if (!partial)
        return core::fail(partial.error().message, partial.error().detail);
    auto report = renderInto(job, partial->fd(), utf8(file), progress);
    if (!report)
        return report;  // the temporary file goes with `partial`
    if (auto committed = partial->commit(); !committed)
        return core::fail(committed.error().message, committed.error().detail);
    return report;
}

core::Result<RenderReport> renderToDescriptor(const RenderJob& job, int fd, const std::string& name,
                                              const RenderProgress& progress)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> scratch(std::tmpfile(), &std::fclose);
    if (!scratch)
        return core::fail(core::translated("The file \"%s\" cannot be written.", {name}),
                          std::strerror(errno));
    auto report = renderInto(job, ::fileno(scratch.get()), name, progress);
    if (!report)
        return report;
    if (auto copied = core::copyFromStart(::fileno(scratch.get()), fd); !copied)
        return core::fail(
            core::translated("The file \"%s\" could not be written to the end.", {name}),
            copied.error().detail);
    return report;
}

}  // namespace taktwerk::playback
