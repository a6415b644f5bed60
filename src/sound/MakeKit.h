#pragma once
// The default kit: the fourteen samples of a sample set and a few extra toms, rendered from a
// General MIDI SoundFont through the built-in synth, offline. Runs on the caller's thread
// (the make-kit command, or the app at first start); takes well under a second.

#include "core/Result.h"

#include <filesystem>
#include <string>
#include <vector>

namespace taktwerk::sound {

struct KitSample {
    std::string name;  // file name without ".wav"
    int note = 0;      // General MIDI percussion key
};

// The sample set's files and the keys they are rendered from, in the set's file order.
const std::vector<KitSample>& kitSamples();
// Extra toms for the sample dialog, written next to the sample sets.
const std::vector<KitSample>& extraTomSamples();

// The kit's rate and format: what every sound card and every resampler takes.
inline constexpr int kKitSampleRate = 44100;
// The loudest sample of the kit peaks here; the others keep their balance to it.
inline constexpr double kKitPeakDb = -1.0;

struct KitOptions {
    std::filesystem::path soundFont;
    std::filesystem::path setDir;       // the fourteen files go here (e.g. Sound/Default)
    std::filesystem::path extraTomDir;  // the extra toms go here (e.g. Sound); empty: none
    // Replace files that exist; otherwise they stay as they are (they may be the user's own).
    bool replaceExisting = false;
};

struct KitReport {
    std::vector<std::filesystem::path> written;
    std::vector<std::filesystem::path> kept;  // existed and were left alone
    double gainDb = 0.0;                      // the common gain raised onto the synth's output
    int clickNote = 0;                        // the key the click was rendered from
};

// Renders every sample first and writes nothing until all are rendered and written under
// temporary names; a new set folder is built whole under a temporary name and renamed into
// place. A kit that fails on the way leaves the folders as they were.
core::Result<KitReport> makeKit(const KitOptions& options);

// True when `setDir` holds all fourteen files of a sample set.
bool isKitComplete(const std::filesystem::path& setDir);

// First start: renders what is missing of `soundDir`/Default (and the extra toms) from the
// system's SoundFont. Does nothing when the set is complete.
core::Result<KitReport> ensureDefaultKit(const std::filesystem::path& soundDir);

}  // namespace taktwerk::sound
