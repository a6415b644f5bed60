#pragma once
// Loading a rhythm: what a rhythm file makes of the current rhythm state. A pure function of
// file, current state and view, so the window, the command line and the tests share it; the
// caller applies the result (GUI thread).

#include "core/Profile.h"
#include "core/Result.h"
#include "rhythms/Rhythm.h"

#include <filesystem>
#include <string>

namespace taktwerk::rhythms {

struct LoadedRhythm {
    // The new rhythm, always consistent: tempo within the tempo bar's range, `Interval` 3, 4
    // or 5, `Beats` a loop length of that interval, variants 0, 1 or 2. In the beginner view
    // the hi-hat row also holds the open hi-hat hits, as that view shows and plays them.
    Rhythm rhythm;
    int intervalOption = 1;    // `optInterval` index to select: `Interval` - 3
    int resolutionOption = 1;  // `optBeats` index to select
    // In the beginner view: the hi-hat row as loaded (32 "X"/"_"), which leaving the view
    // restores. Outside it: empty.
    std::string HiHatMemory;

    // Every load starts over from the first step and rebuilds the voices, also while playing;
    // the caller applies these.
    int StepPos = 0;
    int IntroStep = 0;
    int markerColumn = 0;       // both play-position markers
    bool rebuildVoices = true;  // `SetSound` with the sample set and choices just read
};

// Loads from a file already opened (a missing file opens empty and loads the default rhythm).
// Only the 16-bit values of `current` are used, as the previous values a number that does not
// fit 16 bits leaves in place.
LoadedRhythm loadRhythm(const core::ProfileFile& file, const Rhythm& current, bool beginner);

// The same from a path. A missing file loads the default rhythm (named ""); a path that exists
// but cannot be read (a folder, no permission) is an error and the current rhythm stays.
core::Result<LoadedRhythm> loadRhythmFile(const std::filesystem::path& file, const Rhythm& current,
                                          bool beginner);

}  // namespace taktwerk::rhythms
