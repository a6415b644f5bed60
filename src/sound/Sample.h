#pragma once
// One decoded sample, ready for the mixer: interleaved stereo float at the output rate.
// Built off the audio thread by loadSample and never changed afterwards, so voice sets can
// share it; the audio thread only reads it through a raw pointer and never owns it.

#include "core/Result.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <vector>

namespace taktwerk::sound {

// A drum hit longer than this is a mistake (a song, a field recording); keeping it would hold
// megabytes per voice for nothing. A file whose header claims more is refused before anything
// is allocated or decoded, so a folder of huge or sparse files costs no time.
inline constexpr double kMaxSampleSeconds = 30.0;
// The most sample values (frames times channels) a file may claim: 30 s of stereo at 192 kHz.
// More channels or a higher rate than that are no drum sample, and converting them would keep
// the loader busy for seconds per file.
inline constexpr double kMaxSampleValues = kMaxSampleSeconds * 192000.0 * 2.0;

struct Sample {
    std::vector<float> data;  // interleaved stereo: left, right, left, ...
    std::size_t frames() const noexcept { return data.size() / 2; }
};

// Reads any file libsndfile knows (rate, channel count, bit depth) and converts it once to
// stereo at `outputRate`. Mono is copied to both sides; of more channels the first two are
// kept. A missing, unreadable, empty, broken or too long file is an error whose message says
// why in a few words ("missing", "longer than 30 s", ...).
core::Result<std::shared_ptr<const Sample>> readSample(const std::filesystem::path& file,
                                                       double outputRate);
// The same, with nullptr for any failure: the voice stays silent.
std::shared_ptr<const Sample> loadSample(const std::filesystem::path& file, double outputRate);

// Converts interleaved stereo from `fromRate` to `toRate` (libsamplerate). Empty on failure.
std::vector<float> resampleStereo(const std::vector<float>& stereo, double fromRate, double toRate);

}  // namespace taktwerk::sound
