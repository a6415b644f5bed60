#pragma once
// A sample set whose every sample is one click of its own loudness (a power of two) followed
// by silence, so that a rendered mix tells exactly which voices started at which frame.

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <sndfile.h>
#include <string>
#include <vector>

namespace taktwerk::testing {

// The bit a voice sets in a decoded frame: bass drum 1 << 9 ... tom 3 1 << 1, click 1 << 0.
inline int voiceBit(int voice) { return voice < 0 ? 1 : 1 << (9 - voice); }
inline constexpr int kClickVoice = -1;
inline constexpr double kBitScale = 1024.0;

// Writes the fourteen files of sample set `set` under `soundDir`, at `rate`.
inline void writeImpulseKit(const std::filesystem::path& soundDir, const std::string& set, int rate)
{
    const std::filesystem::path dir = soundDir / set;
    std::filesystem::create_directories(dir);
    const std::map<std::string, int> voices = {
        {"BD", 0},  {"SD", 1}, {"SD2", 1}, {"RM", 1}, {"HH", 2}, {"OH", 3}, {"RC", 4},
        {"RC2", 4}, {"CB", 4}, {"CC", 5},  {"T1", 6}, {"T2", 7}, {"T3", 8}, {"ST", kClickVoice}};
    for (const auto& [name, voice] : voices) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        const std::filesystem::path file = dir / (name + ".wav");
        SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
        std::vector<float> samples(64, 0.0f);
        samples[0] = static_cast<float>(voiceBit(voice) / kBitScale);
        sf_writef_float(out, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(out);
    }
}

struct Onset {
    std::uint64_t frame;
    int voices;  // voiceBit()s
    friend bool operator==(const Onset&, const Onset&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const Onset& onset)
{
    return out << "{@" << onset.frame << " voices " << onset.voices << "}";
}

// The frames of interleaved stereo `mix` where something starts, with what started there.
inline std::vector<Onset> onsets(const std::vector<float>& mix, std::uint64_t firstFrame = 0)
{
    std::vector<Onset> found;
    for (std::size_t frame = 0; frame < mix.size() / 2; ++frame) {
        const double left = mix[frame * 2];
        if (left != 0.0)
            found.push_back({firstFrame + frame, static_cast<int>(std::lround(left * kBitScale))});
    }
    return found;
}

struct WavFile {
    SF_INFO info{};
    std::vector<float> samples;  // interleaved
};

inline WavFile readWav(const std::filesystem::path& file)
{
    WavFile wav;
    SNDFILE* in = sf_open(file.c_str(), SFM_READ, &wav.info);
    if (in == nullptr)
        return wav;
    wav.samples.resize(static_cast<std::size_t>(wav.info.frames * wav.info.channels));
    sf_readf_float(in, wav.samples.data(), wav.info.frames);
    sf_close(in);
    return wav;
}

}  // namespace taktwerk::testing
