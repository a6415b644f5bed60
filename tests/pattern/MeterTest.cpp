#include "pattern/MeterState.h"

#include <array>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace taktwerk::pattern {
namespace {

// Beat lines 1 ... 8 as one letter each: B a beat, H hidden, E the loop's end.
std::string looks(const MeterState& meter)
{
    std::string text;
    for (int line = 1; line <= kBeatLineCount; ++line) {
        const BeatLine what = meter.beatLine(line);
        text += what == BeatLine::Beat ? 'B' : (what == BeatLine::Hidden ? 'H' : 'E');
    }
    return text;
}

Row firstSteps(int count) { return count >= kStepCount ? ~Row{0} : (Row{1} << count) - 1; }

TEST(MeterState, EachIntervalSetsOptionsLinesAndShownColumns)
{
    struct Case {
        int index;
        int interval;
        int beats;
        std::array<int, 3> optionBeats;
        std::string_view looks;
        int shownColumns;
    };
    const Case cases[] = {
        {0, 3, 12, {6, 12, 24}, "BBBEBBBB", 24},
        {1, 4, 16, {8, 16, 32}, "BBBEBBBH", 32},
        {2, 5, 20, {10, 20, 30}, "BBBEBBHH", 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.interval);
        // Start from another interval and a long loop, so nothing is left over by chance.
        MeterState meter;
        meter.optInterval_Click(c.index == 1 ? 0 : 1, false);
        meter.optBeats_Click(2);
        meter.optInterval_Click(c.index, false);

        EXPECT_EQ(meter.Interval(), c.interval);
        EXPECT_EQ(meter.Beats(), c.beats);
        EXPECT_EQ(meter.beatsOption(), 1);
        for (int option = 0; option < 3; ++option)
            EXPECT_EQ(meter.optionBeats(option), c.optionBeats[static_cast<std::size_t>(option)]);
        EXPECT_EQ(looks(meter), c.looks);
        for (int track = 0; track < kTrackCount; ++track)
            EXPECT_EQ(meter.shownRow(track), firstSteps(c.shownColumns));
    }
}

TEST(MeterState, OptionSequencesMoveTheLoopEndAfterTheLastStepOfTheLoop)
{
    // An option click: 'i' for optInterval_Click, 'b' for optBeats_Click, with its index.
    struct Click {
        char group;
        int index;
    };
    struct Case {
        std::string_view name;
        std::vector<Click> clicks;
        int beats;
        int beatsOption;
        std::string_view looks;
        int shownColumns;
    };
    const Case cases[] = {
        {"5 then 30", {{'i', 2}, {'b', 2}}, 30, 2, "BBBBBEHH", 30},
        {"5 then 10", {{'i', 2}, {'b', 0}}, 10, 0, "BEBBBBHH", 30},
        {"3 then 24", {{'i', 0}, {'b', 2}}, 24, 2, "BBBBBBBE", 24},
        {"3 then 6", {{'i', 0}, {'b', 0}}, 6, 0, "BEBBBBBB", 24},
        {"4 then 8", {{'i', 1}, {'b', 0}}, 8, 0, "BEBBBBBH", 32},
        {"4 then 32", {{'i', 1}, {'b', 2}}, 32, 2, "BBBBBBBE", 32},
        {"32, then 3 resets to 12", {{'b', 2}, {'i', 0}}, 12, 1, "BBBEBBBB", 24},
        {"30, then 4 resets to 16", {{'i', 2}, {'b', 2}, {'i', 1}}, 16, 1, "BBBEBBBH", 32},
        {"8, then 4 again resets to 16", {{'b', 0}, {'i', 1}}, 16, 1, "BBBEBBBH", 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeterState meter;
        for (const Click& click : c.clicks) {
            if (click.group == 'i')
                meter.optInterval_Click(click.index, false);
            else
                meter.optBeats_Click(click.index);
        }
        EXPECT_EQ(meter.Beats(), c.beats);
        EXPECT_EQ(meter.beatsOption(), c.beatsOption);
        EXPECT_EQ(looks(meter), c.looks);
        for (int track = 0; track < kTrackCount; ++track)
            EXPECT_EQ(meter.shownRow(track), firstSteps(c.shownColumns));
    }
}

}  // namespace
}  // namespace taktwerk::pattern
