#include "sound/MakeKit.h"

#include "core/AtomicFile.h"
#include "core/Language.h"
#include "sound/GmSynth.h"
#include "sound/VoiceSet.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <sndfile.h>
#include <system_error>

namespace taktwerk::sound {
namespace {

constexpr double kHoldSeconds = 2.0;  // note-off after this: cymbals decay naturally before
constexpr double kMaxSeconds = 4.0;   // a crash cymbal has faded far below audibility by then
constexpr double kSilenceDb = -60.0;  // relative to a sample's peak: where it starts and ends
constexpr double kTailFadeSeconds = 0.050;
constexpr std::uint32_t kRenderChunk = 1024;
constexpr int kStickNote = 31;
constexpr int kStickFallback = 37;  // side stick, in every General MIDI kit
// Below this the synth made no sound at all for a key (the font has nothing there).
constexpr float kNoSound = 1.0e-4f;

constexpr MidiValues kDrums{};

struct SndfileCloser {
    void operator()(SNDFILE* file) const noexcept { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

double fromDb(double db) { return std::pow(10.0, db / 20.0); }

float peakOf(const std::vector<float>& data)
{
    float peak = 0.0f;
    for (float value : data)
        peak = std::max(peak, std::abs(value));
    return peak;
}

// One hit, dry, from the first frame the synth makes sound.
std::vector<float> renderHit(GmSynth& synth, int note)
{
    synth.silence();
    // The silence takes effect over the next few frames; let it.
    std::vector<float> scratch(static_cast<std::size_t>(kRenderChunk) * 2);
    synth.render(scratch.data(), kRenderChunk);

    std::vector<float> hit;
    const auto holdFrames = static_cast<std::size_t>(kHoldSeconds * kKitSampleRate);
    const auto maxFrames = static_cast<std::size_t>(kMaxSeconds * kKitSampleRate);
    hit.reserve(maxFrames * 2);
    synth.send(MidiNoteOn(note, kDrums));
    bool released = false;
    while (hit.size() / 2 < maxFrames) {
        if (!released && hit.size() / 2 >= holdFrames) {
            synth.send(midiNoteOff(note, kDrums));
            released = true;
        }
        synth.render(scratch.data(), kRenderChunk);
        hit.insert(hit.end(), scratch.begin(), scratch.end());
        // Stop rendering once a whole chunk is far below the peak so far.
        const float peak = peakOf(hit);
        if (hit.size() / 2 > kRenderChunk && peakOf(scratch) < peak * fromDb(kSilenceDb - 20.0))
            break;
    }
    return hit;
}

// Cuts the silence before the hit and after its decay, then fades the tail to zero so the
// sample never ends on a click.
std::vector<float> shape(const std::vector<float>& hit)
{
    const float peak = peakOf(hit);
    if (peak < kNoSound)
        return {};
    const auto threshold = static_cast<float>(peak * fromDb(kSilenceDb));
    const std::size_t frames = hit.size() / 2;
    auto loud = [&](std::size_t frame) {
        return std::abs(hit[frame * 2]) >= threshold || std::abs(hit[frame * 2 + 1]) >= threshold;
    };
    std::size_t first = 0;
    while (first < frames && !loud(first))
        ++first;
    std::size_t last = frames;
    while (last > first && !loud(last - 1))
        --last;
    std::vector<float> shaped(hit.begin() + static_cast<std::ptrdiff_t>(first * 2),
                              hit.begin() + static_cast<std::ptrdiff_t>(last * 2));
    const std::size_t length = shaped.size() / 2;
    const std::size_t fade = std::min<std::size_t>(
        static_cast<std::size_t>(kTailFadeSeconds * kKitSampleRate), length / 4);
    for (std::size_t i = 0; i < fade; ++i) {
        const float gain = static_cast<float>(i) / static_cast<float>(fade);  // 0 at the end
        const std::size_t frame = length - 1 - i;
        shaped[frame * 2] *= gain;
        shaped[frame * 2 + 1] *= gain;
    }
    return shaped;
}

// The samples as a 16-bit WAV in `file`'s temporary file, not yet in place.
core::Result<core::AtomicFile> prepareWav(const std::filesystem::path& file,
                                          const std::vector<float>& stereo, float gain)
{
    std::vector<float> scaled(stereo);
    for (float& value : scaled)
        value = std::clamp(value * gain, -1.0f, 1.0f);
    const std::string message =
        core::translated("The file \"%s\" could not be written.", {file.string()});
    auto out = core::AtomicFile::create(file, message);
    if (!out)
        return out;
    SF_INFO info{};
    info.samplerate = kKitSampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SndfileHandle handle(sf_open_fd(out->fd(), SFM_WRITE, &info, SF_FALSE));
    if (!handle)
        return core::fail(message, sf_strerror(nullptr));
    const auto frames = static_cast<sf_count_t>(scaled.size() / 2);
    if (sf_writef_float(handle.get(), scaled.data(), frames) != frames)
        return core::fail(message, sf_strerror(handle.get()));
    if (const int closed = sf_close(handle.release()); closed != 0)
        return core::fail(message, sf_error_number(closed));
    return out;
}

struct Rendered {
    std::filesystem::path file;
    std::vector<float> data;
    bool inSet = false;
};

}  // namespace

const std::vector<KitSample>& kitSamples()
{
    static const std::vector<KitSample> samples{
        {"BD", 36}, {"SD", 38}, {"SD2", 40}, {"RM", 37},        {"HH", 42},
        {"OH", 46}, {"RC", 51}, {"RC2", 59}, {"CB", 56},        {"CC", 49},
        {"T1", 48}, {"T2", 45}, {"T3", 41},  {"ST", kStickNote}};
    return samples;
}

const std::vector<KitSample>& extraTomSamples()
{
    static const std::vector<KitSample> samples{
        {"Floor Tom", 43}, {"Low-Mid Tom", 47}, {"High Tom", 50}};
    return samples;
}

bool isKitComplete(const std::filesystem::path& setDir)
{
    return std::all_of(kitSamples().begin(), kitSamples().end(), [&](const KitSample& sample) {
        return isRegularFile(setDir / (sample.name + ".wav"));
    });
}

core::Result<KitReport> makeKit(const KitOptions& options)
{
    auto synth =
        GmSynth::create(options.soundFont, {.sampleRate = kKitSampleRate, .effects = false});
    if (!synth)
        return core::fail(synth.error().message, synth.error().detail);

    KitReport report;
    std::vector<Rendered> rendered;
    for (const KitSample& sample : kitSamples()) {
        int note = sample.note;
        auto data = shape(renderHit(**synth, note));
        if (data.empty() && note == kStickNote) {
            note = kStickFallback;  // fonts without General MIDI's extra keys below 35
            data = shape(renderHit(**synth, note));
        }
        if (note == kStickNote || note == kStickFallback)
            report.clickNote = note;
        if (data.empty())
            return core::fail(core::translated("The SoundFont file \"%s\" has no sound for %s.",
                                               {options.soundFont.string(), sample.name}),
                              "silent key " + std::to_string(note));
        rendered.push_back({options.setDir / (sample.name + ".wav"), std::move(data), true});
    }
    if (!options.extraTomDir.empty()) {
        for (const KitSample& sample : extraTomSamples()) {
            auto data = shape(renderHit(**synth, sample.note));
            if (!data.empty())
                rendered.push_back({options.extraTomDir / (sample.name + ".wav"), std::move(data)});
        }
    }

    // One gain for the set, so its instruments keep the balance the font gave them.
    float setPeak = 0.0f;
    for (const Rendered& item : rendered) {
        if (item.inSet)
            setPeak = std::max(setPeak, peakOf(item.data));
    }
    const auto peakTarget = static_cast<float>(fromDb(kKitPeakDb));
    const float gain = peakTarget / setPeak;
    report.gainDb = 20.0 * std::log10(static_cast<double>(gain));

    // A set folder that is not there yet is built whole under a temporary name.
    std::error_code error;
    std::optional<core::AtomicFolder> newSet;
    if (!std::filesystem::exists(options.setDir, error)) {
        auto folder = core::AtomicFolder::create(
            options.setDir,
            core::translated("The folder \"%s\" could not be created.", {options.setDir.string()}));
        if (!folder)
            return core::fail(folder.error().message, folder.error().detail);
        newSet = std::move(*folder);
    }
    if (!options.extraTomDir.empty() &&
        !std::filesystem::is_directory(options.extraTomDir, error) &&
        !std::filesystem::create_directories(options.extraTomDir, error))
        return core::fail(core::translated("The folder \"%s\" could not be created.",
                                           {options.extraTomDir.string()}),
                          error.message());

    // Everything is written under temporary names before anything takes its place.
    std::vector<std::pair<core::AtomicFile, std::filesystem::path>> pending;
    for (const Rendered& item : rendered) {
        const auto name = item.file.filename();
        const auto target = item.inSet && newSet ? newSet->path() / name : item.file;
        if (!options.replaceExisting && std::filesystem::exists(target, error)) {
            report.kept.push_back(item.file);
            continue;
        }
        // An extra tom louder than the set must not clip: it is brought down to the same peak.
        const float itemGain = std::min(gain, peakTarget / peakOf(item.data));
        auto prepared = prepareWav(target, item.data, itemGain);
        if (!prepared)
            return core::fail(prepared.error().message, prepared.error().detail);
        pending.emplace_back(std::move(*prepared), item.file);
    }
    for (auto& [file, shownAs] : pending) {
        if (auto placed = file.commit(options.replaceExisting); placed)
            report.written.push_back(shownAs);
        else if (!options.replaceExisting && std::filesystem::exists(file.target(), error))
            report.kept.push_back(shownAs);  // appeared meanwhile: the other writer's stays
        else
            return core::fail(placed.error().message, placed.error().detail);
    }
    if (newSet) {
        if (auto placed = newSet->commit(); !placed)
            return core::fail(placed.error().message, placed.error().detail);
    }
    return report;
}

core::Result<KitReport> ensureDefaultKit(const std::filesystem::path& soundDir)
{
    const auto setDir = soundDir / "Default";
    if (isKitComplete(setDir))
        return KitReport{};
    const auto soundFont = findSoundFont();
    if (!soundFont)
        return core::fail(
            core::translated("No SoundFont file was found; the sample set \"Default\" "
                             "cannot be made."),
            "no .sf2 in /usr/share/sounds/sf2");
    return makeKit({.soundFont = *soundFont, .setDir = setDir, .extraTomDir = soundDir});
}

}  // namespace taktwerk::sound
