#pragma once
// Undo and redo of the rhythm: whole snapshots of everything a rhythm file holds, as the drum
// machine owns it. A snapshot is a few kilobytes (nine rows of 32 steps with their velocities,
// the meter, a handful of names), so keeping the whole state is simpler and safer than undoing
// each kind of edit by hand, and the bound on levels bounds the memory. Qt-free; GUI thread.

#include "pattern/GridState.h"
#include "pattern/Swing.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>

namespace taktwerk::app {

// Everything an undo gives back. The view ("Beginner Mode") travels with the grid only so that
// a snapshot can be folded into the view shown when it returns; the view itself is no edit.
struct RhythmSnapshot {
    pattern::GridState grid;
    int bpm = 0;
    pattern::Swing swing;
    std::string name;
    std::filesystem::path file;
    std::string soundSet;
    std::int16_t snareChoice = 0;
    std::int16_t rideChoice = 0;
    std::string tom1Sound;
    std::string tom2Sound;
    std::string tom3Sound;

    friend bool operator==(const RhythmSnapshot&, const RhythmSnapshot&) = default;
};

// Edits of one series (a drag of the tempo bar, a run of taps, the wheel on one step) become
// one undo entry: 0 is no series, any other value names one.
using EditSeries = std::uint32_t;
inline constexpr EditSeries kNoSeries = 0;

class EditHistory {
public:
    inline static constexpr std::size_t kDefaultLevels = 256;

    explicit EditHistory(std::size_t levels = kDefaultLevels);

    // `before` is the state an edit about to happen leaves behind. An edit of the series still
    // open keeps the entry its first edit made. Any edit forgets what could be redone.
    void record(const RhythmSnapshot& before, EditSeries series = kNoSeries);
    // The open series is over: its next edit starts a new entry.
    void endSeries() noexcept { open_ = kNoSeries; }

    bool canUndo() const noexcept { return !undo_.empty(); }
    bool canRedo() const noexcept { return !redo_.empty(); }
    std::size_t undoLevels() const noexcept { return undo_.size(); }
    // The state to go back (or forward) to; `current` is kept for the way back. Nothing when
    // there is nothing to undo (redo).
    std::optional<RhythmSnapshot> undo(const RhythmSnapshot& current);
    std::optional<RhythmSnapshot> redo(const RhythmSnapshot& current);

    // A rhythm saved under a new name or file: every entry of the same rhythm follows it, so
    // an undo after "Save as" never sends the next save back to the old file.
    void renameRhythm(const std::filesystem::path& oldFile, const std::string& newName,
                      const std::filesystem::path& newFile);

private:
    std::size_t levels_;
    std::deque<RhythmSnapshot> undo_;
    std::deque<RhythmSnapshot> redo_;
    EditSeries open_ = kNoSeries;
};

}  // namespace taktwerk::app
