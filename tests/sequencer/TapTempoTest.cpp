#include "sequencer/TapTempo.h"

#include <chrono>
#include <gtest/gtest.h>
#include <initializer_list>
#include <optional>

namespace taktwerk::sequencer {
namespace {

using std::chrono::milliseconds;

// Taps a button held by a player whose taps come at the given gaps.
class Tapper {
public:
    Tapper() : tempo_([this] { return now_; }) {}

    std::optional<int> tapAfter(int gapMs)
    {
        now_ += milliseconds{gapMs};
        return tempo_.press(0);
    }
    std::optional<int> tapGaps(std::initializer_list<int> gapsMs)
    {
        std::optional<int> last;
        for (const int gap : gapsMs)
            last = tapAfter(gap);
        return last;
    }
    TapTempo& tempo() { return tempo_; }

private:
    milliseconds now_{123456};
    TapTempo tempo_;
};

TEST(Round2, PushesUpFractionsOfHalfAHundredthOrMore)
{
    EXPECT_DOUBLE_EQ(Round2(120.36), 120.46);
    EXPECT_DOUBLE_EQ(Round2(60000.0 / 498), 120.58);
    EXPECT_DOUBLE_EQ(Round2(60000.0 / 497), 120.72);
    EXPECT_DOUBLE_EQ(Round2(120.0), 120.0);
    EXPECT_DOUBLE_EQ(Round2(120.004), 120.0);
}

TEST(TapTempo, MeasuresFromTheSecondTapAndAveragesWithTruncatedRunningSum)
{
    Tapper first;
    EXPECT_EQ(first.tapAfter(0), std::nullopt) << "a first tap only arms";
    EXPECT_TRUE(first.tempo().isArmed());
    EXPECT_EQ(first.tapAfter(500), 120);

    Tapper rounded;
    EXPECT_EQ(rounded.tapGaps({0, 498}), 121);

    Tapper two;
    EXPECT_EQ(two.tapGaps({0, 498, 497}), 120);
    ASSERT_EQ(two.tempo().taps().size(), 2u);
    EXPECT_DOUBLE_EQ(two.tempo().taps()[0], 120.58);
    EXPECT_DOUBLE_EQ(two.tempo().taps()[1], 120.72);
}

TEST(TapTempo, TooFastTapAddsNothingButBecomesTheReference)
{
    Tapper tapper;
    EXPECT_EQ(tapper.tapGaps({0, 50}), std::nullopt) << "1200 BPM: no tempo to average";
    EXPECT_TRUE(tapper.tempo().taps().empty());
    EXPECT_EQ(tapper.tapAfter(500), 120) << "measured from the rejected tap";

    EXPECT_EQ(tapper.tapAfter(60), 120) << "exactly 1000 BPM is refused too";
    EXPECT_EQ(tapper.tapAfter(0), 120) << "a tap in the same millisecond measures nothing";
    EXPECT_EQ(tapper.tempo().taps().size(), 1u);
}

TEST(TapTempo, RightButtonResetsAndAveragesOutsideTheRangeAreClamped)
{
    Tapper tapper;
    tapper.tapGaps({0, 500});
    EXPECT_EQ(tapper.tempo().press(TapTempo::kRightButton), std::nullopt);
    EXPECT_FALSE(tapper.tempo().isArmed());
    EXPECT_TRUE(tapper.tempo().taps().empty());
    EXPECT_EQ(tapper.tapAfter(1000), std::nullopt) << "the first tap after a reset only arms";

    EXPECT_EQ(tapper.tapAfter(2000), kMinTempoBpm) << "30 BPM";
    tapper.tempo().reset();
    EXPECT_EQ(tapper.tapGaps({0, 130}), kMaxTempoBpm) << "461.54 BPM";
    tapper.tempo().reset();
    EXPECT_EQ(tapper.tapGaps({0, 140}), 429);
}

TEST(TapTempo, APauseStartsANewSeries)
{
    struct Case {
        std::initializer_list<int> gapsMs;
        std::optional<int> tempo;
        std::size_t taps;
        const char* why;
    };
    const Case cases[] = {
        {{0, 500, 500, 2001}, std::nullopt, 0u, "longer than 2 s: the tap only arms again"},
        {{0, 500, 500, 2001, 600}, 100, 1u, "the new series knows nothing of the old"},
        {{0, 500, 500, 2000}, 90, 3u, "2 s itself still belongs to the series"},
        {{0, 1500, 3000}, kMinTempoBpm, 2u, "twice the last interval is no pause"},
        {{0, 1500, 3001}, std::nullopt, 0u, "longer than twice the last interval is"},
        {{0, 50, 2001}, std::nullopt, 0u, "a refused tap's gap counts as the last interval"},
    };
    for (const Case& c : cases) {
        Tapper tapper;
        EXPECT_EQ(tapper.tapGaps(c.gapsMs), c.tempo) << c.why;
        EXPECT_EQ(tapper.tempo().taps().size(), c.taps) << c.why;
        EXPECT_TRUE(tapper.tempo().isArmed()) << c.why;
    }
}

}  // namespace
}  // namespace taktwerk::sequencer
