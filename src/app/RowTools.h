#pragma once
// The tools of a track's row in the step grid: fills, clear, shifts, copying the loop's first
// half onto its second, and velocity ramps. Pure functions on a pattern; app::DrumMachine runs
// each as one undoable edit. Every tool works inside the loop only: steps beyond it are hidden
// and must come back as they were when the loop grows again.

#include "pattern/Pattern.h"

#include <cstdint>

namespace taktwerk::app {

enum class RowTool : std::uint8_t {
    FillEvery1,
    FillEvery2,
    FillEvery4,
    FillEvery8,
    Clear,
    ShiftLeft,
    ShiftRight,
    CopyFirstHalf,
    Crescendo,
    Decrescendo,
};

// The quietest step of a ramp: soft, yet still heard on every kit.
inline constexpr int kRampStartVelocity = 32;

// Applies `tool` to `track`'s steps 0 ... `loopSteps` - 1. A fill leaves exactly every n-th
// step of the loop set, from the first: a step it keeps keeps its velocity, a step it adds
// takes `newVelocity`. Steps switched off go back to full velocity, as a click leaves them.
// A ramp spreads the set steps' velocities evenly from kRampStartVelocity to full (or back).
void applyRowTool(pattern::Pattern& steps, int track, int loopSteps, RowTool tool, int newVelocity);

}  // namespace taktwerk::app
