#pragma once
// The rhythm library: the rhythm folder is the library, one ".rtm" file per rhythm, named
// after it. Lists, loads, saves and deletes; keeps no state beyond the folder's path, so
// files added or removed by other means show at the next list(). GUI thread.

#include "core/Result.h"
#include "rhythms/Rhythm.h"
#include "rhythms/RhythmLoad.h"
#include "rhythms/RhythmName.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace taktwerk::rhythms {

class RhythmLibrary {
public:
    explicit RhythmLibrary(std::filesystem::path rhythmDir) : dir_(std::move(rhythmDir)) {}

    const std::filesystem::path& dir() const noexcept { return dir_; }
    // `RhythmFile` for a name: dir() / (name + ".rtm").
    std::filesystem::path pathFor(std::string_view name) const { return rhythmPath(dir_, name); }

    // The rhythm names, sorted by name without regard to case: each ".rtm" file's name without
    // that extension ("Waltz 3.4.rtm" lists as "Waltz 3.4"). A missing folder lists nothing;
    // a folder that cannot be read is an error.
    core::Result<std::vector<std::string>> list() const;

    // Whether saving under `name` would replace a rhythm (the overwrite question).
    bool contains(std::string_view name) const;

    // Loads the rhythm `name` (see loadRhythmFile); a vanished file loads the default rhythm.
    core::Result<LoadedRhythm> load(std::string_view name, const Rhythm& current,
                                    bool beginner) const;

    // Saves `rhythm` under `name` (its "Name" becomes `name`) and returns the file written.
    // A bad name is refused before anything is touched; a failed write leaves the old file as
    // it was. The caller sets `RhythmName` and `RhythmFile` only when this succeeds.
    core::Result<std::filesystem::path> save(std::string_view name, const Rhythm& rhythm) const;

    // Deletes the rhythm `name`. A file that has vanished meanwhile is no error: the next
    // list() drops it. A file that stays (read-only folder, a folder of that name) is an error.
    core::Result<void> remove(std::string_view name) const;

private:
    std::filesystem::path dir_;
};

// Sort order of the list: letters compared without regard to case (the Latin-1 letters of
// the German names included), ties broken by the exact text so the order is always the same.
bool listsBefore(std::string_view left, std::string_view right);

}  // namespace taktwerk::rhythms
