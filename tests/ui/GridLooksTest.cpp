// Where the beat lines stand and what colour they take in each panel, from the window's twips
// table, for every interval: the figures are written out here, independently of the formula.

#include "pattern/MeterState.h"
#include "ui/GridGeometry.h"
#include "ui/Looks.h"

#include <array>
#include <gtest/gtest.h>

namespace taktwerk::ui::layout {
namespace {

TEST(GridLooks, BeatLinesStandInTheGapAfterEachBeat)
{
    struct Case {
        int interval;
        std::array<int, 8> lineX;
    };
    const Case cases[] = {
        {3, {1350, 2610, 3870, 5130, 6390, 7650, 8910, 10170}},
        {4, {1770, 3450, 5130, 6810, 8490, 10170, 11850, 13530}},
        // Lines 7 and 8 of five steps per beat stand after columns 31 and 32, kept hidden.
        {5, {2190, 4290, 6390, 8490, 10590, 12690, 13110, 13530}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.interval);
        for (int line = 1; line <= pattern::kBeatLineCount; ++line)
            EXPECT_EQ(beatLineX(c.interval, line), c.lineX[static_cast<std::size_t>(line - 1)]);
    }
}

TEST(GridLooks, AHiddenLineTakesItsPanelsColourTheOthersTheirOwn)
{
    // As the window is created: lines of four steps per beat, the loop ending after line 4,
    // line 8 hidden. Upper panel first, then the black one behind the crash and toms.
    const pattern::MeterState meter;
    const std::array<Colour, 8> upper = {0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xFFFF00,
                                         0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0x404040};
    const std::array<Colour, 8> lower = {0x808080, 0x808080, 0x808080, 0xFFFF00,
                                         0x808080, 0x808080, 0x808080, 0x000000};
    for (int line = 1; line <= pattern::kBeatLineCount; ++line) {
        SCOPED_TRACE(line);
        EXPECT_EQ(lineColour(meter.beatLine(line), 0), upper[static_cast<std::size_t>(line - 1)]);
        EXPECT_EQ(lineColour(meter.beatLine(line), 1), lower[static_cast<std::size_t>(line - 1)]);
    }
}

}  // namespace
}  // namespace taktwerk::ui::layout
