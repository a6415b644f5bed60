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

// One rhythm of the library: the name it is listed by and the file that holds it.
struct RhythmEntry {
    // The file's name without its ".rtm" (in any letter case), as UTF-8; a name whose bytes are
    // not UTF-8 (a copy from the Windows program) is read as Windows-1252.
    std::string name;
    // The file, its name byte for byte as the folder holds it: every operation on the entry
    // uses it, so a name shown decoded still finds its file.
    std::filesystem::path file;
};

class RhythmLibrary {
public:
    explicit RhythmLibrary(std::filesystem::path rhythmDir) : dir_(std::move(rhythmDir)) {}

    const std::filesystem::path& dir() const noexcept { return dir_; }
    // `RhythmFile` for a name: the file of the library's entry of that name (dir() / (name +
    // ".rtm") when that exists, else the entry listed under `name`, such as a Windows-1252 name
    // or a ".RTM"), or dir() / (name + ".rtm") for a new rhythm.
    std::filesystem::path pathFor(std::string_view name) const;

    // The rhythms, sorted by name without regard to case: each ".rtm" file's name without that
    // extension ("Waltz 3.4.rtm" lists as "Waltz 3.4"), the extension in any letter case, as
    // files from Windows carry it. A missing folder lists nothing; a folder that cannot be
    // read is an error.
    core::Result<std::vector<RhythmEntry>> entries() const;
    // The names of entries().
    core::Result<std::vector<std::string>> list() const;

    // Whether saving under `name` would replace a rhythm (the overwrite question).
    bool contains(std::string_view name) const;

    // Loads the rhythm `name` (see loadRhythmFile); a vanished file loads the default rhythm.
    core::Result<LoadedRhythm> load(std::string_view name, const Rhythm& current,
                                    bool beginner) const;

    // Where a save under `name` writes, refused with a reason the user can act on when the name
    // cannot be a rhythm's or the file is a link that leads out of the folder.
    core::Result<std::filesystem::path> saveTarget(std::string_view name) const;

    // Saves `rhythm` under `name` (its "Name" becomes `name`) and returns the file written.
    // A bad name is refused before anything is touched; a failed write leaves the old file as
    // it was. The caller sets `RhythmName` and `RhythmFile` only when this succeeds.
    core::Result<std::filesystem::path> save(std::string_view name, const Rhythm& rhythm) const;

    // Deletes the rhythm `name`. A file that has vanished meanwhile is no error: the next
    // list() drops it. A file that stays (read-only folder, a folder of that name) is an error.
    core::Result<void> remove(std::string_view name) const;
    // The same for an entry's own file, which must lie in the folder.
    core::Result<void> removeFile(const std::filesystem::path& file, std::string_view name) const;

private:
    // Saving and deleting act on the folder's own files: a link that leads out is refused.
    core::Result<void> checkInside(const std::filesystem::path& file, std::string_view name) const;

    std::filesystem::path dir_;
};

// Sort order of the list: letters compared without regard to case (the Latin-1 letters of
// the German names included), ties broken by the exact text so the order is always the same.
bool listsBefore(std::string_view left, std::string_view right);

}  // namespace taktwerk::rhythms
