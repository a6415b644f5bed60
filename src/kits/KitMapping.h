#pragma once
// Which of a kit's instruments plays which file of our sample set. By the kit's General MIDI
// notes where they are plausible (not one note for every instrument, as some kits have), by
// instrument name otherwise and wherever a name plainly contradicts its note (a "Snare 2" on
// a tom's note). Overrides given by the user come first. Pure functions; any thread.

#include "core/Result.h"
#include "kits/KitIni.h"
#include "kits/KitSource.h"

#include <array>
#include <string>
#include <vector>

namespace taktwerk::kits {

inline constexpr int kNoInstrument = -1;

struct MapOverride {
    std::string file;        // "SD2", any letter case
    std::string instrument;  // the kit's instrument name, any letter case; empty: none
};

struct KitMapping {
    // Per file of kSetFiles, the index of the kit's instrument, or kNoInstrument: the file
    // comes from the Default set.
    std::array<int, kSetFiles.size()> files{};
    // Toms beyond three, highest first, for the extra tom files (kExtraTomFiles).
    std::vector<int> extraToms;
    bool byNote = false;  // the kit's notes were used
};

// True when the kit's notes look like General MIDI: most instruments that carry a note carry
// a note of their own, and some of them are drum notes.
bool notesArePlausible(const KitSource& kit);

// Maps `kit`. Fails for an override that names no file of a set or no instrument of the kit.
core::Result<KitMapping> mapKit(const KitSource& kit, const std::vector<MapOverride>& overrides);

}  // namespace taktwerk::kits
