#pragma once
// Tap tempo: each left tap after the first measures the time since the previous one and sets
// the tempo to the average of all taps since the last reset; the right button resets, and so
// does a pause longer than two of the last intervals or 2 s, whichever is longer. Owned
// by the window (GUI thread); the clock is injected so taps can be replayed exactly.

#include "sequencer/StepClock.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace taktwerk::sequencer {

// The tap's rounding rule. Musicians' tempos depend on its quirk: a fraction of 0.005 or more
// (after rounding to two decimals) is pushed up by 0.1, so 120.36 gives 120.46 and 120.4819...
// gives 120.58, while 120.7243... gives 120.72.
double Round2(double value) noexcept;

// Milliseconds on a monotonic clock; only differences matter.
using TapClock = std::function<std::chrono::milliseconds()>;

// The steady clock of this machine, in whole milliseconds.
std::chrono::milliseconds steadyMilliseconds();

class TapTempo {
public:
    inline static constexpr int kRightButton = 2;

    explicit TapTempo(TapClock clock = steadyMilliseconds);

    // A press on the TAP button. Returns the tempo to set (already within the tempo range)
    // when the press measured one; nothing for a reset, a first tap, or a tap that leaves no
    // accepted interval to average.
    std::optional<int> press(int button);
    // Right button, or a new rhythm: forget every tap.
    void reset() noexcept;

    bool isArmed() const noexcept { return armed_; }
    // The accepted taps' tempos, in tap order, as the tap rule rounded them.
    const std::vector<double>& taps() const noexcept { return taps_; }

private:
    TapClock clock_;
    bool armed_ = false;
    std::chrono::milliseconds lastTap_{0};
    std::int64_t lastIntervalMs_ = 0;  // between the last two taps of the series; 0: none yet
    std::vector<double> taps_;
};

}  // namespace taktwerk::sequencer
