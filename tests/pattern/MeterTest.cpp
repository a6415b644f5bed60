#include "pattern/MeterState.h"

#include <array>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace taktwerk::pattern {
namespace {

// Lines 1 ... 8 as the window paints them, one letter each from the colours of both elements:
// Grey, Hidden (each in its panel's colour), Yellow; '?' for any other pair.
std::string looks(const MeterState& meter)
{
    std::string text;
    for (int line = 1; line <= kBeatLineCount; ++line) {
        const Colour upper = meter.lineColour(line, 0);
        const Colour lower = meter.lineColour(line, 1);
        if (upper == 0xC0C0C0 && lower == 0x808080)
            text += 'G';
        else if (upper == 0x404040 && lower == 0x000000)
            text += 'H';
        else if (upper == 0xFFFF00 && lower == 0xFFFF00)
            text += 'Y';
        else
            text += '?';
    }
    return text;
}

Row firstSteps(int count) { return count >= kStepCount ? ~Row{0} : (Row{1} << count) - 1; }

TEST(MeterState, EachIntervalSetsCaptionsLinesAndShownColumns)
{
    struct Case {
        int index;
        int interval;
        int beats;
        std::array<std::string_view, 3> captions;
        std::array<int, 8> lineX;
        std::string_view looks;
        int shownColumns;
    };
    const Case cases[] = {
        {0,
         3,
         12,
         {"6", "12", "24"},
         {1350, 2610, 3870, 5130, 6390, 7650, 8910, 10170},
         "GGGYGGGG",
         24},
        {1,
         4,
         16,
         {"8", "16", "32"},
         {1770, 3450, 5130, 6810, 8490, 10170, 11850, 13530},
         "GGGYGGGH",
         32},
        {2,
         5,
         20,
         {"10", "20", "30"},
         {2190, 4290, 6390, 8490, 10590, 12690, 13110, 13530},
         "GGGYGGHH",
         30},
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
            EXPECT_EQ(meter.beatsCaption(option), c.captions[static_cast<std::size_t>(option)]);
        for (int line = 1; line <= kBeatLineCount; ++line)
            EXPECT_EQ(meter.lineX(line), c.lineX[static_cast<std::size_t>(line - 1)]);
        EXPECT_EQ(looks(meter), c.looks);
        for (int track = 0; track < kTrackCount; ++track)
            EXPECT_EQ(meter.shownRow(track), firstSteps(c.shownColumns));
    }
}

TEST(MeterState, OptionSequencesMoveTheYellowLineAfterTheLastStepOfTheLoop)
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
        {"5 then 30", {{'i', 2}, {'b', 2}}, 30, 2, "GGGGGYHH", 30},
        {"5 then 10", {{'i', 2}, {'b', 0}}, 10, 0, "GYGGGGHH", 30},
        {"3 then 24", {{'i', 0}, {'b', 2}}, 24, 2, "GGGGGGGY", 24},
        {"3 then 6", {{'i', 0}, {'b', 0}}, 6, 0, "GYGGGGGG", 24},
        {"4 then 8", {{'i', 1}, {'b', 0}}, 8, 0, "GYGGGGGH", 32},
        {"4 then 32", {{'i', 1}, {'b', 2}}, 32, 2, "GGGGGGGY", 32},
        {"32, then 3 resets to 12", {{'b', 2}, {'i', 0}}, 12, 1, "GGGYGGGG", 24},
        {"30, then 4 resets to 16", {{'i', 2}, {'b', 2}, {'i', 1}}, 16, 1, "GGGYGGGH", 32},
        {"8, then 4 again resets to 16", {{'b', 0}, {'i', 1}}, 16, 1, "GGGYGGGH", 32},
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
