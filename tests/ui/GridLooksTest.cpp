// What colour a beat line takes in each panel: a hidden one disappears into its panel.

#include "pattern/MeterState.h"
#include "ui/Looks.h"

#include <array>
#include <gtest/gtest.h>

namespace taktwerk::ui::layout {
namespace {

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
