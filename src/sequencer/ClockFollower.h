#pragma once
// Following an external MIDI clock: 24 clocks a beat, Start, Continue and Stop, each at the
// audio frame it came in at. Pure and allocation-free, so that the step player can run it on
// the audio thread; the offline tests feed it synthetic clocks.
//
// Tempo and phase come from one straight line fitted (least squares) through the frames of the
// last clocks: a single clock that comes early or late moves the line by a fraction of its
// error, so the jitter of a USB interface or of a master's timer is smoothed out, while a
// whole beat or two of clocks already pins the tempo to a tenth of a BPM. The line gives the
// frame of any clock position, between clocks and a little ahead, so the steps of a beat lie
// evenly between its clocks and the first step of each beat on the (smoothed) clock that
// starts it: the grid can never drift from the master, as it never counts time on its own.
//
// What makes no sense is passed over: a clock far too close after the one before is a doubled
// message and neither counted nor measured; after a long silence the fit starts afresh instead of
// averaging across it; a Start while running starts over at the first clock after it, as the master
// asks.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace taktwerk::sequencer {

enum class ClockMessage : std::uint8_t { Clock, Start, Continue, Stop };

inline constexpr int kClocksPerBeat = 24;

class ClockFollower {
public:
    explicit ClockFollower(std::uint32_t sampleRate) noexcept;

    // What a message did to the transport.
    enum class Change : std::uint8_t { None, Started, Continued, Stopped };
    // `message` came in at absolute frame `frame`; frames never go back.
    Change receive(ClockMessage message, std::uint64_t frame) noexcept;

    // Start or Continue seen, and no Stop since.
    bool running() const noexcept { return running_; }
    // Two or more clocks measured since the fit last began.
    bool hasTempo() const noexcept { return count_ >= 2; }
    // The master's beats per minute, 24 clocks a beat; 0 before hasTempo().
    double tempoBpm() const noexcept;
    // The length of one clock in frames, as fitted; 0 before hasTempo().
    double clockFrames() const noexcept { return hasTempo() ? slope_ : 0.0; }
    // Clocks since Start (or Continue's position): 0 after the first clock that follows it;
    // -1 before it.
    std::int64_t position() const noexcept { return position_; }
    // The frame at which clock position `clocks` (fractions lie between clocks) falls, as the
    // fit has it; nothing while it cannot be known: before the first clock of a run, or, for
    // positions after it, until the tempo is measured, or more than a beat ahead of the last
    // clock (the master may have stopped sending).
    std::optional<double> frameOf(double clocks) const noexcept;

private:
    bool measure(std::uint64_t frame) noexcept;  // false: no clock
    void refit() noexcept;

    // Enough clocks to smooth the jitter of a few of them, few enough that a tempo change
    // of the master is followed within a couple of beats.
    static constexpr std::size_t kWindow = 2 * kClocksPerBeat;

    double sampleRate_;
    bool running_ = false;
    bool startPending_ = false;  // Start seen: the next clock is position 0
    std::int64_t position_ = -1;
    // The measured clocks: frames of the last kWindow, the newest at (next_ - 1).
    std::array<std::uint64_t, kWindow> frames_{};
    std::size_t count_ = 0;
    std::size_t next_ = 0;
    std::uint64_t lastFrame_ = 0;
    // The fitted line, in frames, through the newest clock's index: frame = last_ + slope_ * k
    // for k clocks after the newest (k may be negative).
    double last_ = 0.0;
    double slope_ = 0.0;
};

}  // namespace taktwerk::sequencer
