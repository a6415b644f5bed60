#include "pattern/Pattern.h"

#include "pattern/Swing.h"

#include <array>
#include <gtest/gtest.h>
#include <utility>

namespace taktwerk::pattern {
namespace {

TEST(Pattern, ReadsOnlyCapitalXAndIgnoresWhatLiesPastTheRow)
{
    Pattern pattern = Pattern::startPattern();
    pattern.PatternToRow(0, "X_X");
    EXPECT_EQ(pattern.RowToPattern(0), "X_X_____________________________");

    pattern.PatternToRow(1, std::string(32, 'x'));
    EXPECT_EQ(pattern.row(1), 0u);

    pattern.PatternToRow(2, "X_Xz_XX_________________________XXXXXXXX");
    EXPECT_EQ(pattern.RowToPattern(2), "X_X__XX_________________________");
}

TEST(Pattern, VelocitiesStayInRangeAndANewRhythmStartsAtFullStrength)
{
    Pattern pattern = Pattern::startPattern();
    EXPECT_TRUE(pattern.hasDefaultVelocities());
    for (const auto& [given, kept] :
         {std::pair{64, 64}, {128, 127}, {1000, 127}, {-5, 1}, {0, 1}}) {
        pattern.setVelocity(2, 7, given);
        EXPECT_EQ(pattern.velocity(2, 7), kept) << given;
    }
    EXPECT_FALSE(pattern.hasDefaultVelocities());
    EXPECT_FALSE(pattern.hasDefaultVelocities(2));
    EXPECT_TRUE(pattern.hasDefaultVelocities(3));
    // Steps and velocities are independent: a load writes the steps without touching them.
    pattern.PatternToRow(2, "________");
    EXPECT_EQ(pattern.velocity(2, 7), 1);
    pattern.setVelocity(2, 7, 40);
    EXPECT_NE(pattern, Pattern::startPattern()) << "velocities are part of the pattern";
    pattern.ClearGrid();
    EXPECT_TRUE(pattern.hasDefaultVelocities());
}

TEST(Swing, DelaysTheOffBeatStepsByTheShareOfThePairTheFirstNoteTakes)
{
    // Delays in fiftieths of a step for steps 0 ... 7.
    const struct {
        Swing swing;
        int interval;
        std::array<int, 8> delays;
    } cases[] = {
        {{50, SwingNote::Sixteenth}, 4, {0, 0, 0, 0, 0, 0, 0, 0}},
        {{58, SwingNote::Sixteenth}, 4, {0, 8, 0, 8, 0, 8, 0, 8}},
        {{75, SwingNote::Sixteenth}, 4, {0, 25, 0, 25, 0, 25, 0, 25}},
        {{66, SwingNote::Eighth}, 4, {0, 0, 32, 32, 0, 0, 32, 32}},
        {{75, SwingNote::Eighth}, 4, {0, 0, 50, 50, 0, 0, 50, 50}},
        // Out of range: clamped, as a hand-edited file may hold anything.
        {{90, SwingNote::Sixteenth}, 4, {0, 25, 0, 25, 0, 25, 0, 25}},
        {{10, SwingNote::Eighth}, 4, {0, 0, 0, 0, 0, 0, 0, 0}},
        // Not at three or five steps per beat.
        {{75, SwingNote::Sixteenth}, 3, {0, 0, 0, 0, 0, 0, 0, 0}},
        {{75, SwingNote::Eighth}, 5, {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        for (int step = 0; step < 8; ++step)
            EXPECT_EQ(swingDelayUnits(c.swing, c.interval, step),
                      c.delays[static_cast<std::size_t>(step)])
                << c.swing.percent << " % on " << static_cast<int>(c.swing.note) << "ths, interval "
                << c.interval << ", step " << step;
    }
    EXPECT_EQ(swingDelayUnits({75, SwingNote::Sixteenth}, 4, 31), 25) << "the last column swings";
    EXPECT_EQ(swingDelayUnits({75, SwingNote::Sixteenth}, 4, -1), 0) << "a count-in step never";
}

}  // namespace
}  // namespace taktwerk::pattern
