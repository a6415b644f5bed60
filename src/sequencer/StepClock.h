#pragma once
// When each step falls due, in audio frames. Owned by whoever drives the sequencer (the
// playback source on the audio thread, or an offline renderer); not shared.
//
// A step lasts 15000 / tempo milliseconds, so four steps are exactly one beat at the tempo
// shown, i.e. 15 * rate / tempo frames. Due times are kept as an exact fraction (numerator
// over the current tempo), so steps never drift however long the music plays: step n lands
// on round-half-up(n * 15 * rate / tempo). A tempo change rescales the numerator once,
// which is the only rounding, and it never accumulates from step to step.
//
// Swing never moves the grid: a swung step falls due on the straight grid, and only its hits
// sound later, at round-half-up((n + delay) * 15 * rate / tempo), from the same exact fraction.

#include <cstdint>

namespace taktwerk::sequencer {

inline constexpr int kMinTempoBpm = 35;
inline constexpr int kMaxTempoBpm = 450;
inline constexpr int kDefaultTempoBpm = 120;

// The tempo range of the scroll bar; playback never runs outside it.
constexpr int clampTempo(int tempoBpm) noexcept
{
    return tempoBpm < kMinTempoBpm ? kMinTempoBpm
                                   : (tempoBpm > kMaxTempoBpm ? kMaxTempoBpm : tempoBpm);
}

class StepClock {
public:
    explicit StepClock(std::uint32_t sampleRate) noexcept;

    // The next step falls due at `frame` (a start falls due at once).
    void restart(std::uint64_t frame, int tempoBpm) noexcept;
    // The frame at which the next step falls due.
    std::uint64_t dueFrame() const noexcept;
    // The step that was due has been taken at `tempoBpm` (read at that step): the next one
    // falls due one step length at that tempo later.
    void advance(int tempoBpm) noexcept;
    // The frame at which the hits of the step now due sound when they come `delayUnits`
    // fiftieths of a step late (pattern/Swing.h), a step lasting as long as at `tempoBpm`, the
    // tempo read at that step. No later than the next step's due frame (delay <= one step).
    std::uint64_t swungFrame(int tempoBpm, int delayUnits) const noexcept;
    // The frame `parts` / `ofParts` of a step after the step now due, a step lasting as long as
    // at `tempoBpm` (read at that step). Exact like the grid, so that whatever is placed
    // between steps (the MIDI clock) never drifts from them.
    std::uint64_t frameWithin(int tempoBpm, int parts, int ofParts) const noexcept;

    std::uint32_t sampleRate() const noexcept { return sampleRate_; }
    int tempoBpm() const noexcept { return static_cast<int>(tempo_); }

private:
    void rescale(std::uint64_t tempo) noexcept;

    std::uint32_t sampleRate_;
    std::uint64_t tempo_ = kDefaultTempoBpm;  // the fraction's denominator
    std::uint64_t numerator_ = 0;             // due frame * tempo_
};

}  // namespace taktwerk::sequencer
