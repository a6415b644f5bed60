#pragma once
// Where the steps of one block lie when a shared transport leads: from the timebase master's
// bar, beat and tick and its tempo, or, without a master, from the transport's frame position
// at our own tempo. Pure and allocation-free, built afresh for every block on the audio thread,
// so that a relocated transport moves the pattern at once and a tempo change is followed from
// the next block on.
//
// Steps are counted from the transport's origin (bar 1, beat 1, tick 0, or frame 0); the
// pattern step is that count modulo the loop. A beat of the master is `Interval` steps, the
// beat the BPM display counts, so that the master's bar lines fall on our beat lines.

#include <cstdint>
#include <optional>

namespace taktwerk::sequencer {

// A timebase master's position, as published; nothing in it is trusted.
struct BarBeatTick {
    std::int32_t bar = 1;   // from 1
    std::int32_t beat = 1;  // from 1
    std::int32_t tick = 0;  // from 0
    double ticksPerBeat = 0.0;
    double beatsPerBar = 0.0;
    double beatsPerMinute = 0.0;
};

class TransportGrid {
public:
    // The grid a master's position gives, the position being true `framesBefore` frames before
    // the block's first frame; nothing when the position makes no sense (a beat 0, a tick past
    // its beat, no tempo, numbers too large to count steps in): then the frame position leads.
    static std::optional<TransportGrid> fromBarBeatTick(const BarBeatTick& position, int interval,
                                                        std::uint32_t sampleRate,
                                                        std::int64_t framesBefore) noexcept;
    // Without a master: step n at round-half-up(n * 15 * rate / tempo) transport frames, as our
    // own clock places it, the block beginning at transport frame `frame`.
    static TransportGrid fromFrame(std::uint64_t frame, int tempoBpm,
                                   std::uint32_t sampleRate) noexcept;

    // The same grid `frames` frames later, as a transport rolling on gets there.
    TransportGrid movedOn(std::uint64_t frames) const noexcept;
    // Whether `fresh`, read anew from the master, says what this grid (carried on from an
    // earlier reading) says. A master publishes whole ticks, so each reading is up to a tick
    // early; a grid carried on from the reading that began the run keeps the frame exact as long
    // as the master agrees with it to within a tick at the same tempo.
    bool agreesWith(const TransportGrid& fresh) const noexcept;

    // The first step (counted from the origin) at or after the block's first frame; a step
    // that the last block had to leave to this one for rounding counts as at the first frame.
    std::int64_t firstStep() const noexcept;
    // Frames from the block's first frame to step `step` (negative: before the block).
    std::int64_t offsetOf(std::int64_t step) const noexcept;
    // One step's length in frames.
    double stepFrames() const noexcept { return stepFrames_; }
    // The master's tempo, or ours without one.
    double tempoBpm() const noexcept { return tempoBpm_; }
    bool fromMaster() const noexcept { return fromMaster_; }

private:
    TransportGrid() = default;

    bool fromMaster_ = false;
    // With a master: steps since the origin at the block's first frame.
    double position_ = 0.0;
    double stepFrames_ = 1.0;
    double tempoBpm_ = 0.0;
    double tickSteps_ = 0.0;  // one of the master's ticks, in steps
    // Without one: exact integers, so that no rounding of ours can put a step a frame off.
    std::uint64_t frame_ = 0;
    std::uint64_t tempo_ = 1;
    std::uint64_t stepNumerator_ = 1;  // 15 * rate: a step is stepNumerator_ / tempo_ frames
};

// The ticks of a beat we publish as a timebase master: as fine as any DAW counts.
inline constexpr double kTicksPerBeat = 1920.0;

// What a timebase master at a steady `beatsPerMinute` with `beatsPerBar` publishes for the
// transport's frame `frame`: bar, beat and whole ticks counted from frame 0.
BarBeatTick barBeatTickAt(std::uint64_t frame, double beatsPerMinute, double beatsPerBar,
                          std::uint32_t sampleRate) noexcept;

// Pattern step `step` (counted from the origin, any value) falls on within a loop of
// `loopLength` steps (at least 1).
int stepInLoop(std::int64_t step, int loopLength) noexcept;

}  // namespace taktwerk::sequencer
