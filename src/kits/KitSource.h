#pragma once
// A drum kit as another program describes it (a Hydrogen drumkit, an SFZ file), reduced to
// what an import needs: instruments with their velocity layers and where each layer's sample
// lies. Built by the readers on the caller's thread and handed to the mapping and the
// importer; plain data, no shared state.

#include "kits/VelocityRange.h"

#include <filesystem>
#include <string>
#include <vector>

namespace taktwerk::kits {

// Choke group numbers run from 1 to this; a kit file's larger ones are no groups.
inline constexpr int kMaxChokeGroup = 1 << 20;

struct KitLayer {
    // Relative to the kit's folder, "/"-separated, checked not to leave it (see KitText.h).
    std::filesystem::path file;
    int lowVelocity = 0;  // MIDI velocity range the layer answers, inclusive
    int highVelocity = kMaxVelocity;
    double gain = 1.0;  // linear, on top of the sample's recorded level
};

struct KitInstrument {
    std::string name;              // UTF-8, as the kit gives it
    int midiNote = -1;             // the General MIDI key the kit plays it on; -1 none
    std::vector<KitLayer> layers;  // in the kit's order; ties between ranges go to the first
    // Choke groups, 0 none: a hit of this instrument stops the sounding instruments whose
    // `chokedBy` is its `chokeGroup` (SFZ `group` and `off_by`; Hydrogen's `mute_group` is
    // both at once, so the drums of one group cut each other).
    int chokeGroup = 0;
    int chokedBy = 0;
};

struct KitSource {
    enum class Format { Hydrogen, Sfz };
    Format format = Format::Hydrogen;
    std::string name;                        // the kit's own name, UTF-8; may be empty
    std::filesystem::path folder;            // sample paths are relative to this folder
    std::vector<KitInstrument> instruments;  // in the kit's order
    std::vector<std::string> notes;          // what the reader skipped, for the report
};

}  // namespace taktwerk::kits
