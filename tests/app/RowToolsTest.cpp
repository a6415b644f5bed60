#include "app/RowTools.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace taktwerk::app {
namespace {

constexpr int kSnare = 1;

// A row as the grid shows it: "X" set, "_" not; steps beyond the text stay unset.
pattern::Pattern withRow(int track, const std::string& row)
{
    pattern::Pattern steps;
    steps.ClearGrid();
    steps.PatternToRow(track, row + std::string(32 - row.size(), '_'));
    return steps;
}

std::string rowOf(const pattern::Pattern& steps, int track, int length)
{
    return steps.RowToPattern(track).substr(0, static_cast<std::size_t>(length));
}

TEST(RowTools, EachToolGivesTheRowItPromisesInsideTheLoop)
{
    const struct {
        RowTool tool;
        int loop;
        const char* before;
        const char* after;
    } cases[] = {
        {RowTool::FillEvery1, 16, "X___X___________", "XXXXXXXXXXXXXXXX"},
        {RowTool::FillEvery2, 16, "_X__X___________", "X_X_X_X_X_X_X_X_"},
        {RowTool::FillEvery4, 12, "XXXXXXXXXXXX", "X___X___X___"},
        {RowTool::FillEvery8, 16, "_______________X", "X_______X_______"},
        {RowTool::FillEvery8, 6, "______", "X_____"},
        {RowTool::Clear, 16, "X_X_XXXX___X___X", "________________"},
        {RowTool::ShiftLeft, 16, "XX_____________X", "X_____________XX"},
        {RowTool::ShiftRight, 16, "XX_____________X", "XXX_____________"},
        {RowTool::ShiftRight, 12, "___________X", "X___________"},
        {RowTool::CopyFirstHalf, 16, "X_X_X___________", "X_X_X___X_X_X___"},
        {RowTool::CopyFirstHalf, 10, "XX___XXXXX", "XX___XX___"},
        {RowTool::Crescendo, 16, "X___X___", "X___X___________"},
    };
    for (const auto& c : cases) {
        const int loop = c.loop;
        // Steps beyond the loop are hidden and must come back untouched.
        pattern::Pattern steps = withRow(kSnare, c.before);
        steps.SetStep(kSnare, 31, true);
        steps.setVelocity(kSnare, 31, 77);
        steps.SetStep(0, 3, true);
        applyRowTool(steps, kSnare, loop, c.tool, 100);
        EXPECT_EQ(rowOf(steps, kSnare, loop), c.after) << c.before << " loop " << loop;
        EXPECT_TRUE(steps.StepIsOn(kSnare, 31)) << c.before;
        EXPECT_EQ(steps.velocity(kSnare, 31), 77) << c.before;
        EXPECT_EQ(steps.RowToPattern(kSnare).substr(static_cast<std::size_t>(loop), 31 - loop),
                  std::string(static_cast<std::size_t>(31 - loop), '_'))
            << c.before;
        EXPECT_TRUE(steps.StepIsOn(0, 3)) << "other rows stay";
    }
}

TEST(RowTools, VelocitiesTravelWithTheirStepsAndNewStepsTakeTheChosenOne)
{
    pattern::Pattern steps = withRow(kSnare, "X_X_");
    steps.setVelocity(kSnare, 0, 50);
    steps.setVelocity(kSnare, 2, 90);
    applyRowTool(steps, kSnare, 4, RowTool::ShiftLeft, 100);
    EXPECT_EQ(steps.velocity(kSnare, 1), 90);
    EXPECT_EQ(steps.velocity(kSnare, 3), 50) << "wrapped round with its velocity";
    EXPECT_EQ(steps.velocity(kSnare, 0), 127) << "a step switched off is back at full";

    applyRowTool(steps, kSnare, 4, RowTool::FillEvery1, 100);
    EXPECT_EQ(steps.velocity(kSnare, 0), 100);
    EXPECT_EQ(steps.velocity(kSnare, 1), 90) << "a kept step keeps its velocity";
    EXPECT_EQ(steps.velocity(kSnare, 3), 50);

    applyRowTool(steps, kSnare, 4, RowTool::CopyFirstHalf, 100);
    EXPECT_EQ(steps.velocity(kSnare, 2), 100);
    EXPECT_EQ(steps.velocity(kSnare, 3), 90);
}

TEST(RowTools, RampsSpreadTheSetStepsFromSoftToFullAndBack)
{
    const struct {
        RowTool tool;
        const char* row;
        std::vector<int> velocities;  // of the set steps, in order
    } cases[] = {
        {RowTool::Crescendo, "X___X___X___X___", {32, 64, 95, 127}},
        {RowTool::Decrescendo, "X___X___X___X___", {127, 95, 64, 32}},
        {RowTool::Crescendo, "X_X", {32, 127}},
        {RowTool::Crescendo, "___X", {127}},
        {RowTool::Decrescendo, "____", {}},
    };
    for (const auto& c : cases) {
        const std::string row = c.row;
        pattern::Pattern steps = withRow(kSnare, row);
        applyRowTool(steps, kSnare, static_cast<int>(row.size()), c.tool, 100);
        std::vector<int> got;
        for (int step = 0; step < static_cast<int>(row.size()); ++step)
            if (steps.StepIsOn(kSnare, step))
                got.push_back(steps.velocity(kSnare, step));
        EXPECT_EQ(got, c.velocities) << c.row;
        EXPECT_EQ(rowOf(steps, kSnare, static_cast<int>(row.size())), row) << "no step moves";
    }
}

TEST(RowTools, NonsenseArgumentsChangeNothing)
{
    const pattern::Pattern before = withRow(kSnare, "X_X_X");
    for (const auto& [track, loop] :
         {std::pair{-1, 16}, std::pair{9, 16}, std::pair{kSnare, 0}, std::pair{kSnare, -5}}) {
        pattern::Pattern steps = before;
        applyRowTool(steps, track, loop, RowTool::FillEvery1, 100);
        EXPECT_EQ(steps, before) << track << " " << loop;
    }
    pattern::Pattern steps = before;
    applyRowTool(steps, kSnare, 99, RowTool::ShiftRight, 100);  // the loop is 32 at most
    EXPECT_EQ(rowOf(steps, kSnare, 6), "_X_X_X");
}

}  // namespace
}  // namespace taktwerk::app
