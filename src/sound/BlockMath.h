#pragma once
// The few loops that touch every sample of every block, written so that the compiler turns them
// into vector code at the project's usual optimisation level: each works through lanes of a
// fixed count, whose inner loop the compiler vectorises without a run-time length or aliasing
// check, and does the rest one value at a time. Every value goes through the same operations in
// the same order as a plain loop would take it, so what they compute is the same to the bit
// (offline renders compare byte for byte). No state; any thread, the audio thread included.

#include <algorithm>
#include <cstddef>

namespace taktwerk::sound {

// Eight floats: two SSE registers or one AVX register.
inline constexpr std::size_t kBlockLanes = 8;

// out[i] += in[i] * gain. `out` and `in` never overlap.
inline void addScaled(float* __restrict out, const float* __restrict in, std::size_t count,
                      float gain) noexcept
{
    std::size_t at = 0;
    for (; at + kBlockLanes <= count; at += kBlockLanes)
        for (std::size_t lane = 0; lane < kBlockLanes; ++lane)
            out[at + lane] += in[at + lane] * gain;
    for (; at < count; ++at)
        out[at] += in[at] * gain;
}

// out[i] = out[i] * gain, limited to -1 ... 1. Written as max and min rather than std::clamp,
// whose branches keep the compiler from vectorising; both give the same value for every input,
// NaN included (it passes through).
inline void scaleAndLimit(float* out, std::size_t count, float gain) noexcept
{
    const auto limit = [gain](float value) {
        return std::min(std::max(value * gain, -1.0f), 1.0f);
    };
    std::size_t at = 0;
    for (; at + kBlockLanes <= count; at += kBlockLanes)
        for (std::size_t lane = 0; lane < kBlockLanes; ++lane)
            out[at + lane] = limit(out[at + lane]);
    for (; at < count; ++at)
        out[at] = limit(out[at]);
}

// Interleaved stereo into two channel buffers (JACK's ports take one channel each).
inline void deinterleave(const float* __restrict stereo, float* __restrict left,
                         float* __restrict right, std::size_t frames) noexcept
{
    std::size_t at = 0;
    for (; at + kBlockLanes <= frames; at += kBlockLanes) {
        for (std::size_t lane = 0; lane < kBlockLanes; ++lane) {
            left[at + lane] = stereo[2 * (at + lane)];
            right[at + lane] = stereo[2 * (at + lane) + 1];
        }
    }
    for (; at < frames; ++at) {
        left[at] = stereo[2 * at];
        right[at] = stereo[2 * at + 1];
    }
}

}  // namespace taktwerk::sound
