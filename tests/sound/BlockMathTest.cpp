#include "sound/BlockMath.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace taktwerk::sound {
namespace {

// Offline renders are compared byte for byte, so "close" is not good enough: every value
// must come out as the plain loop made it, bit for bit, in the lanes and in the rest alike.
bool sameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](float x, float y) {
        return std::bit_cast<std::uint32_t>(x) == std::bit_cast<std::uint32_t>(y);
    });
}

// Values that trip limiters and vector code: both zeros, the limits, just past them, huge and
// tiny, infinities and NaN.
std::vector<float> awkwardValues(std::size_t count)
{
    const std::vector<float> awkward{0.0f,
                                     -0.0f,
                                     1.0f,
                                     -1.0f,
                                     1.0000001f,
                                     -1.0000001f,
                                     0.5f,
                                     -0.75f,
                                     3.0e9f,
                                     -3.0e9f,
                                     1.0e-40f,
                                     -1.0e-40f,
                                     std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(),
                                     std::numeric_limits<float>::quiet_NaN(),
                                     0.3333333f};
    std::vector<float> values(count);
    for (std::size_t at = 0; at < count; ++at)
        values[at] = awkward[at % awkward.size()] * (at % 3 == 2 ? 1.5f : 1.0f);
    return values;
}

// Counts around the lane width: none, fewer than one lane, whole lanes, lanes and a rest.
constexpr std::size_t kCounts[] = {0, 1, 7, 8, 9, 16, 23, 512, 517};

TEST(BlockMath, LimitingMatchesClampToTheBitForEveryValue)
{
    for (const float gain : {1.0f, 0.5f, 2.5f}) {
        for (const std::size_t count : kCounts) {
            std::vector<float> expected = awkwardValues(count);
            std::vector<float> actual = expected;
            for (float& value : expected)
                value = std::clamp(value * gain, -1.0f, 1.0f);
            scaleAndLimit(actual.data(), actual.size(), gain);
            EXPECT_TRUE(sameBits(actual, expected)) << "gain " << gain << ", count " << count;
        }
    }
}

TEST(BlockMath, MixingAddsEveryValueOnceAndNothingPastTheEnd)
{
    for (const std::size_t count : kCounts) {
        const std::vector<float> in = awkwardValues(count);
        std::vector<float> expected(count + 1, 0.25f);
        std::vector<float> actual = expected;
        for (std::size_t at = 0; at < count; ++at)
            expected[at] += in[at] * 0.7f;
        addScaled(actual.data(), in.data(), count, 0.7f);
        EXPECT_TRUE(sameBits(actual, expected)) << "count " << count;
    }
}

TEST(BlockMath, DeinterleavingKeepsLeftAndRightApart)
{
    for (const std::size_t frames : kCounts) {
        std::vector<float> stereo(frames * 2);
        for (std::size_t at = 0; at < stereo.size(); ++at)
            stereo[at] = (at % 2 == 0 ? 1.0f : -1.0f) * static_cast<float>(at);
        // One guard value past each channel's end shows a write beyond the frames asked for.
        std::vector<float> left(frames + 1, 99.0f);
        std::vector<float> right(frames + 1, 99.0f);
        deinterleave(stereo.data(), left.data(), right.data(), frames);
        for (std::size_t frame = 0; frame < frames; ++frame) {
            ASSERT_EQ(left[frame], stereo[2 * frame]) << frames << " frames, at " << frame;
            ASSERT_EQ(right[frame], stereo[2 * frame + 1]) << frames << " frames, at " << frame;
        }
        EXPECT_EQ(left[frames], 99.0f);
        EXPECT_EQ(right[frames], 99.0f);
    }
}

}  // namespace
}  // namespace taktwerk::sound
