#include "rhythms/RhythmLoad.h"

#include "pattern/BeginnerView.h"
#include "pattern/Meter.h"
#include "rhythms/RhythmFile.h"

#include <algorithm>

namespace taktwerk::rhythms {

namespace {

std::int16_t validVariant(std::int16_t variant)
{
    return variant >= 0 && variant < kVariantCount ? variant : std::int16_t{0};
}

}  // namespace

LoadedRhythm loadRhythm(const core::ProfileFile& file, const Rhythm& current, bool beginner)
{
    LoadedRhythm loaded;
    Rhythm& rhythm = loaded.rhythm;
    rhythm = readRhythm(file, current);

    // Files written by the program never hold other values; hand-edited ones may. Each is
    // mended to what the controls can show, so tempo, display and playback always agree.
    rhythm.Bpm = std::clamp<std::int16_t>(rhythm.Bpm, kMinBpm, kMaxBpm);
    if (!pattern::isValidInterval(rhythm.Interval))
        rhythm.Interval = pattern::kDefaultInterval;
    // The stored length picks the option by its value alone (a 24 under 4 steps per beat picks
    // the longest loop, 32); the loop length then follows from interval and option.
    const int option = pattern::resolutionOptionFor(rhythm.Beats);
    loaded.resolutionOption = option < 0 ? 1 : option;
    rhythm.Beats =
        static_cast<std::int16_t>(pattern::loopLengthFor(rhythm.Interval, loaded.resolutionOption));
    loaded.intervalOption = rhythm.Interval - 3;
    rhythm.SnareChoice = validVariant(rhythm.SnareChoice);
    rhythm.RideChoice = validVariant(rhythm.RideChoice);

    // The beginner view has no open hi-hat row: its hits play as hi-hat steps, and the hi-hat
    // row as loaded is kept so that leaving the view can give it back unmerged.
    pattern::mergeLoadedHiHat(rhythm.pattern, loaded.HiHatMemory, beginner);
    return loaded;
}

core::Result<LoadedRhythm> loadRhythmFile(const std::filesystem::path& file, const Rhythm& current,
                                          bool beginner)
{
    auto profile = core::ProfileFile::open(file);
    if (!profile)
        return core::fail(profile.error().message, profile.error().detail);
    return loadRhythm(*profile, current, beginner);
}

}  // namespace taktwerk::rhythms
