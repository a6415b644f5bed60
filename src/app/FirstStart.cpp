#include "app/FirstStart.h"

#include "core/AtomicFile.h"
#include "core/Paths.h"
#include "rhythms/StarterRhythms.h"
#include "sound/MakeKit.h"

#include <set>

namespace taktwerk::app {

namespace {

namespace fs = std::filesystem;

// Saves, renders and kits killed by SIGKILL or a power cut leave their temporaries; nothing
// else ever removes them. A minute without a change means nobody is writing them any more.
constexpr std::chrono::seconds kStaleAfter{60};

fs::path withoutSeparator(const fs::path& folder)
{
    return folder.filename().empty() ? folder.parent_path() : folder;
}

// Where our temporaries can lie: the rhythm folder and the folder that holds it (a rhythm folder
// being built), the sound folder and each sample set in it (a kit being made), and the settings
// folder.
std::set<fs::path> temporaryFolders(const Settings& settings)
{
    const fs::path rhythms = withoutSeparator(settings.RhythmDir);
    const fs::path sounds = withoutSeparator(settings.SoundDir);
    std::set<fs::path> folders{rhythms, rhythms.parent_path(), sounds,
                               settings.IniFile.parent_path()};
    std::error_code error;
    for (fs::directory_iterator it(sounds, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        std::error_code typeError;
        if (it->is_directory(typeError) && !it->is_symlink(typeError))
            folders.insert(it->path());
    }
    folders.erase(fs::path());
    return folders;
}

}  // namespace

std::vector<std::string> LoadSettingsOnStart(Settings& settings)
{
    std::vector<std::string> notes;
    // Only a rhythm folder that this start creates gets the starters: a user who deleted them
    // does not want them back. The folder is made whole with them, so a start killed while
    // copying leaves no half-filled folder that later starts would take for the user's own.
    const auto starters = settings.shippedDir / "Rhythms";
    if (!core::DirExists(settings.RhythmDir) && core::DirExists(starters)) {
        const auto copied = rhythms::installStarterRhythms(starters, settings.RhythmDir);
        if (!copied)
            notes.push_back(copied.error().message);
    }
    LoadSettings(settings);

    for (const fs::path& folder : temporaryFolders(settings)) {
        if (const int removed = core::removeStaleTemporaries(folder, kStaleAfter); removed > 0)
            notes.push_back("removed " + std::to_string(removed) +
                            " temporary files left by an interrupted save in \"" +
                            core::utf8FromPath(folder) + "\"");
    }

    // WAVE mode should sound on a fresh install, so the default set is rendered from the
    // system's General-MIDI SoundFont when it is missing; the user's own files stay.
    if (core::DirExists(settings.SoundDir)) {
        if (const auto kit = sound::ensureDefaultKit(settings.SoundDir); !kit)
            notes.push_back(kit.error().message);
    }
    return notes;
}

}  // namespace taktwerk::app
