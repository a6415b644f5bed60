#pragma once
// Swing: how late the second note of each pair comes, as drum machines since the Linn and the
// MPC have set it. `percent` is the share of the pair the first note takes: 50 is straight,
// 66 close to a triplet shuffle, 75 the hardest. Swung on 16ths, every odd step comes late; on
// 8ths, the second eighth of every beat (steps 2 and 3 of each group of four). Swing belongs to
// the rhythm like its tempo; it plays only at four steps per beat, where steps are sixteenths,
// and is kept unchanged at three or five. Pure values and functions, any thread.

#include <cstdint>

namespace taktwerk::pattern {

inline constexpr int kStraightSwing = 50;
inline constexpr int kMaxSwing = 75;

// The note value that swings; the numbers are what a rhythm file stores.
enum class SwingNote : std::uint8_t { Sixteenth = 16, Eighth = 8 };

constexpr int clampSwing(int percent) noexcept
{
    return percent < kStraightSwing ? kStraightSwing : (percent > kMaxSwing ? kMaxSwing : percent);
}

struct Swing {
    int percent = kStraightSwing;
    SwingNote note = SwingNote::Sixteenth;

    bool isStraight() const noexcept { return percent <= kStraightSwing; }
    friend constexpr bool operator==(const Swing&, const Swing&) = default;
};

// The only meter whose steps are sixteenths.
inline constexpr int kSwingInterval = 4;

// A delay counted in fiftieths of a step, so that every whole swing percent is exact: on 16ths
// an odd step comes (percent - 50) fiftieths late, on 8ths the late steps come twice that.
inline constexpr int kSwingDelayUnitsPerStep = 50;

// How late pattern step `step` (a grid column) plays under `swing` at `interval` steps per
// beat, in fiftieths of a step: 0 for the steps on the grid, and for every step at three or
// five steps per beat. At most 50, one whole step (8ths at 75 %).
constexpr int swingDelayUnits(const Swing& swing, int interval, int step) noexcept
{
    if (interval != kSwingInterval || step < 0)
        return 0;
    const int late = clampSwing(swing.percent) - kStraightSwing;
    if (swing.note == SwingNote::Eighth)
        return step % 4 >= 2 ? 2 * late : 0;
    return step % 2 == 1 ? late : 0;
}

}  // namespace taktwerk::pattern
