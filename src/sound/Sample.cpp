#include "sound/Sample.h"

#include <algorithm>
#include <cmath>
#include <samplerate.h>
#include <sndfile.h>
#include <string>
#include <system_error>

namespace taktwerk::sound {
namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const noexcept { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

struct SrcDeleter {
    void operator()(SRC_STATE* state) const noexcept { src_delete(state); }
};
using SrcHandle = std::unique_ptr<SRC_STATE, SrcDeleter>;

// Rates outside this range are a damaged header rather than audio; converting from them
// would take ages or produce nonsense.
constexpr int kMinFileRate = 1000;
constexpr int kMaxFileRate = 768000;
constexpr sf_count_t kReadChunkFrames = 4096;

// A float file may hold anything, NaN included; one such value would poison the whole mix.
float sanitize(float value) noexcept
{
    if (!std::isfinite(value))
        return 0.0f;
    return std::clamp(value, -1.0f, 1.0f);
}

std::vector<float> readStereo(SNDFILE* file, const SF_INFO& info)
{
    const auto channels = static_cast<std::size_t>(info.channels);
    // Trust the header's length only as an upper bound: truncated files end early.
    const sf_count_t maxFrames = info.frames;
    std::vector<float> stereo;
    stereo.reserve(static_cast<std::size_t>(std::max<sf_count_t>(maxFrames, 0)) * 2);
    std::vector<float> chunk(static_cast<std::size_t>(kReadChunkFrames) * channels);
    sf_count_t total = 0;
    while (total < maxFrames) {
        const sf_count_t wanted = std::min(kReadChunkFrames, maxFrames - total);
        const sf_count_t got = sf_readf_float(file, chunk.data(), wanted);
        if (got <= 0)
            break;
        for (std::size_t frame = 0; frame < static_cast<std::size_t>(got); ++frame) {
            const float* in = &chunk[frame * channels];
            stereo.push_back(sanitize(in[0]));
            stereo.push_back(sanitize(channels > 1 ? in[1] : in[0]));
        }
        total += got;
    }
    return stereo;
}

}  // namespace

std::vector<float> resampleStereo(const std::vector<float>& stereo, double fromRate, double toRate)
{
    const double ratio = toRate / fromRate;
    if (!(ratio > 0.0) || !src_is_valid_ratio(ratio))
        return {};
    int error = 0;
    // Medium quality: a kit rebuild converts ten samples while the user waits, and the
    // difference to the best converter is inaudible on drum hits.
    SrcHandle converter(src_new(SRC_SINC_FASTEST, 2, &error));
    if (!converter)
        return {};
    const std::size_t inFrames = stereo.size() / 2;
    // A few frames beyond the exact length for the converter's flush at the end.
    const auto outCapacity =
        static_cast<std::size_t>(std::ceil(static_cast<double>(inFrames) * ratio)) + 64;
    std::vector<float> out(outCapacity * 2);
    SRC_DATA data{};
    data.data_in = stereo.data();
    data.data_out = out.data();
    data.src_ratio = ratio;
    data.end_of_input = 1;
    std::size_t inDone = 0;
    std::size_t outDone = 0;
    while (outDone < outCapacity) {
        data.data_in = stereo.data() + inDone * 2;
        data.input_frames = static_cast<long>(inFrames - inDone);
        data.data_out = out.data() + outDone * 2;
        data.output_frames = static_cast<long>(outCapacity - outDone);
        if (src_process(converter.get(), &data) != 0)
            return {};
        inDone += static_cast<std::size_t>(data.input_frames_used);
        outDone += static_cast<std::size_t>(data.output_frames_gen);
        if (data.output_frames_gen == 0)
            break;
    }
    out.resize(outDone * 2);
    return out;
}

core::Result<std::shared_ptr<const Sample>> readSample(const std::filesystem::path& file,
                                                       double outputRate)
{
    // Only plain files: opening a FIFO or a device would block or read forever.
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return core::fail("missing");
    if (error || status.type() != std::filesystem::file_type::regular)
        return core::fail("not a regular file");
    SF_INFO info{};
    SndfileHandle handle(sf_open(file.c_str(), SFM_READ, &info));
    if (!handle)
        return core::fail("not a sound file libsndfile reads", sf_strerror(nullptr));
    if (info.channels < 1 || info.frames <= 0)
        return core::fail("holds no sound");
    if (info.samplerate < kMinFileRate || info.samplerate > kMaxFileRate)
        return core::fail("sample rate " + std::to_string(info.samplerate) + " Hz out of range");
    // The header's claim, checked before a byte is decoded or a buffer allocated.
    if (static_cast<double>(info.frames) > kMaxSampleSeconds * info.samplerate)
        return core::fail("longer than 30 s");
    if (static_cast<double>(info.frames) * info.channels > kMaxSampleValues)
        return core::fail("too much data for a drum sample (" + std::to_string(info.channels) +
                          " channels at " + std::to_string(info.samplerate) + " Hz)");
    std::vector<float> stereo = readStereo(handle.get(), info);
    handle.reset();
    if (stereo.empty())
        return core::fail("holds no sound");
    auto sample = std::make_shared<Sample>();
    if (static_cast<double>(info.samplerate) == outputRate) {
        sample->data = std::move(stereo);
    } else {
        sample->data = resampleStereo(stereo, info.samplerate, outputRate);
        for (float& value : sample->data)
            value = sanitize(value);  // sinc ringing may overshoot full scale a little
    }
    if (sample->data.empty())
        return core::fail("could not be converted to the output's rate");
    return std::shared_ptr<const Sample>(std::move(sample));
}

std::shared_ptr<const Sample> loadSample(const std::filesystem::path& file, double outputRate)
{
    auto sample = readSample(file, outputRate);
    return sample ? std::move(*sample) : nullptr;
}

}  // namespace taktwerk::sound
