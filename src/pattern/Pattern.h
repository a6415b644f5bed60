#pragma once
// The pattern: nine tracks by 32 steps, each step on or off and each with a velocity. Owned by
// the drum machine on the GUI thread; the sound engine gets each row as one 32-bit word (bit n
// = step n), so a row can be published to the audio thread with a single atomic store, and
// the velocities beside it.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace taktwerk::pattern {

inline constexpr int kTrackCount = 9;
inline constexpr int kStepCount = 32;

// Track order is fixed everywhere: grid rows, pads, mute toggles, rhythm-file keys, MIDI notes.
enum class Track : std::uint8_t {
    BassDrum,
    SnareDrum,
    HiHat,
    OpenHiHat,
    RideCymbal,
    Crash,
    Tom1,
    Tom2,
    Tom3,
};

// Rhythm-file keys "BD" ... "T3" in track order.
inline constexpr std::array<std::string_view, kTrackCount> kTrackKeys = {
    "BD", "SD", "HH", "OH", "RC", "CC", "T1", "T2", "T3"};

constexpr int index(Track track) noexcept { return static_cast<int>(track); }

using Row = std::uint32_t;

// How hard a step strikes, as a MIDI note-on velocity. Every step has one, set or not, so a
// step switched off and on again can be given the velocity for new steps afresh.
inline constexpr int kMinVelocity = 1;
inline constexpr int kMaxVelocity = 127;
// Every rhythm sounded at full strength before steps had velocities, so that is the default.
inline constexpr int kDefaultVelocity = kMaxVelocity;
using VelocityRow = std::array<std::uint8_t, kStepCount>;
using Velocities = std::array<VelocityRow, kTrackCount>;

constexpr int clampVelocity(int velocity) noexcept
{
    return velocity < kMinVelocity ? kMinVelocity
                                   : (velocity > kMaxVelocity ? kMaxVelocity : velocity);
}

constexpr Velocities defaultVelocities() noexcept
{
    Velocities velocities{};
    for (VelocityRow& row : velocities)
        row.fill(static_cast<std::uint8_t>(kDefaultVelocity));
    return velocities;
}

class Pattern {
public:
    // The pattern a fresh start shows and plays before any rhythm is loaded.
    static Pattern startPattern();

    bool StepIsOn(int track, int step) const noexcept { return (rows_[idx(track)] >> step) & 1u; }
    void SetStep(int track, int step, bool on) noexcept
    {
        const Row bit = Row{1} << step;
        rows_[idx(track)] = on ? (rows_[idx(track)] | bit) : (rows_[idx(track)] & ~bit);
    }
    bool StepIsOn(Track track, int step) const noexcept { return StepIsOn(index(track), step); }
    void SetStep(Track track, int step, bool on) noexcept { SetStep(index(track), step, on); }

    // Step s is on exactly when character s + 1 is "X" (case matters); anything else, and any
    // position past the end, is off; characters after the 32nd are ignored.
    void PatternToRow(int track, std::string_view text) noexcept;
    // Always 32 characters of "X" and "_", whatever the loop length or view.
    std::string RowToPattern(int track) const;
    // Every step off and back at the default velocity, as a new rhythm starts.
    void ClearGrid() noexcept
    {
        rows_.fill(0);
        velocities_ = defaultVelocities();
    }

    int velocity(int track, int step) const noexcept
    {
        return velocities_[idx(track)][static_cast<std::size_t>(step)];
    }
    // Clamped to 1 ... 127.
    void setVelocity(int track, int step, int velocity) noexcept
    {
        velocities_[idx(track)][static_cast<std::size_t>(step)] =
            static_cast<std::uint8_t>(clampVelocity(velocity));
    }
    const Velocities& velocities() const noexcept { return velocities_; }
    // True when no step of `track` (or of any track) differs from the default velocity: a
    // rhythm file then needs no velocities.
    bool hasDefaultVelocities(int track) const noexcept;
    bool hasDefaultVelocities() const noexcept;

    Row row(int track) const noexcept { return rows_[idx(track)]; }
    void setRow(int track, Row bits) noexcept { rows_[idx(track)] = bits; }
    const std::array<Row, kTrackCount>& rows() const noexcept { return rows_; }

    friend bool operator==(const Pattern&, const Pattern&) = default;

private:
    static std::size_t idx(int track) noexcept { return static_cast<std::size_t>(track); }
    std::array<Row, kTrackCount> rows_{};
    Velocities velocities_ = defaultVelocities();
};

// Reads a 32-character step string into a row word (the same rule as PatternToRow).
Row rowFromText(std::string_view text) noexcept;
// Writes a row word as its 32-character step string.
std::string textFromRow(Row row);

}  // namespace taktwerk::pattern
