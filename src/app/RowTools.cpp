#include "app/RowTools.h"

#include <algorithm>
#include <array>
#include <vector>

namespace taktwerk::app {

namespace {

struct Cell {
    bool on = false;
    int velocity = pattern::kDefaultVelocity;
};

using Row = std::array<Cell, pattern::kStepCount>;

Row readRow(const pattern::Pattern& steps, int track)
{
    Row row{};
    for (int step = 0; step < pattern::kStepCount; ++step)
        row[static_cast<std::size_t>(step)] = {steps.StepIsOn(track, step),
                                               steps.velocity(track, step)};
    return row;
}

void writeRow(pattern::Pattern& steps, int track, const Row& row, int loopSteps)
{
    for (int step = 0; step < loopSteps; ++step) {
        const Cell& cell = row[static_cast<std::size_t>(step)];
        steps.SetStep(track, step, cell.on);
        steps.setVelocity(track, step, cell.on ? cell.velocity : pattern::kDefaultVelocity);
    }
}

void fill(Row& row, int loopSteps, int every, int newVelocity)
{
    for (int step = 0; step < loopSteps; ++step) {
        Cell& cell = row[static_cast<std::size_t>(step)];
        const bool wanted = step % every == 0;
        if (wanted && !cell.on)
            cell.velocity = newVelocity;
        cell.on = wanted;
    }
}

void ramp(Row& row, int loopSteps, bool rising)
{
    std::vector<Cell*> set;
    for (int step = 0; step < loopSteps; ++step)
        if (row[static_cast<std::size_t>(step)].on)
            set.push_back(&row[static_cast<std::size_t>(step)]);
    const auto count = static_cast<int>(set.size());
    for (int i = 0; i < count; ++i) {
        // A single step has nowhere to rise from: it plays at full velocity.
        const int position = rising ? i : count - 1 - i;
        const int span = pattern::kMaxVelocity - kRampStartVelocity;
        set[static_cast<std::size_t>(i)]->velocity =
            count == 1 ? pattern::kMaxVelocity
                       : kRampStartVelocity + (span * position + (count - 1) / 2) / (count - 1);
    }
}

}  // namespace

void applyRowTool(pattern::Pattern& steps, int track, int loopSteps, RowTool tool, int newVelocity)
{
    loopSteps = std::clamp(loopSteps, 0, pattern::kStepCount);
    if (track < 0 || track >= pattern::kTrackCount || loopSteps == 0)
        return;
    newVelocity = pattern::clampVelocity(newVelocity);
    Row row = readRow(steps, track);
    const auto loop = row.begin() + loopSteps;
    switch (tool) {
    case RowTool::FillEvery1:
        fill(row, loopSteps, 1, newVelocity);
        break;
    case RowTool::FillEvery2:
        fill(row, loopSteps, 2, newVelocity);
        break;
    case RowTool::FillEvery4:
        fill(row, loopSteps, 4, newVelocity);
        break;
    case RowTool::FillEvery8:
        fill(row, loopSteps, 8, newVelocity);
        break;
    case RowTool::Clear:
        std::fill(row.begin(), loop, Cell{});
        break;
    case RowTool::ShiftLeft:
        std::rotate(row.begin(), row.begin() + 1, loop);
        break;
    case RowTool::ShiftRight:
        std::rotate(row.begin(), loop - 1, loop);
        break;
    case RowTool::CopyFirstHalf:
        std::copy(row.begin(), row.begin() + loopSteps / 2, row.begin() + loopSteps / 2);
        break;
    case RowTool::Crescendo:
        ramp(row, loopSteps, true);
        break;
    case RowTool::Decrescendo:
        ramp(row, loopSteps, false);
        break;
    }
    writeRow(steps, track, row, loopSteps);
}

}  // namespace taktwerk::app
