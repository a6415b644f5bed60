#include "app/FirstStart.h"

#include "core/Paths.h"
#include "rhythms/StarterRhythms.h"
#include "sound/MakeKit.h"

namespace taktwerk::app {

std::vector<std::string> LoadSettingsOnStart(Settings& settings)
{
    std::vector<std::string> notes;
    // Only a rhythm folder that this start creates gets the starters: a user who deleted them
    // does not want them back.
    const bool hadRhythmDir = core::DirExists(settings.RhythmDir);
    LoadSettings(settings);

    const auto starters = settings.shippedDir / "Rhythms";
    if (!hadRhythmDir && core::DirExists(settings.RhythmDir) && core::DirExists(starters)) {
        const auto copied = rhythms::installStarterRhythms(starters, settings.RhythmDir);
        if (!copied)
            notes.push_back(copied.error().message);
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
