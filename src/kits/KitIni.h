#pragma once
// kit.ini: the velocity layers of an imported sample set, beside its fourteen files. A Windows
// INI file like our others (CR LF, Windows-1252), so the old program, which never reads it,
// leaves it alone and a user can edit it by hand:
//
//   [Kit]
//   Name=GMRockKit
//   Format=Hydrogen
//   [BD]
//   Instrument=Kick
//   Layers=2
//   Layer1=BD-1.wav
//   Velocity1=0-46
//   Gain1=1
//   Layer2=BD.wav
//   Velocity2=47-127
//   Gain2=1
//   [HH]
//   Layers=1
//   Layer1=HH.wav
//   ChokeGroup=1
//   ChokedBy=1
//
// One section per file of the set (named like the file without ".wav"); a file without a
// section plays as it always did. ChokeGroup and ChokedBy (whole numbers, 0 or missing: none)
// are the kit's choke groups: a hit of a file with ChokeGroup=N stops the other sounding files
// with ChokedBy=N, as a closed hi-hat stops the open one. Written by the importer, read by the
// sample-set loader off the audio thread. Pure functions; any thread.

#include "core/Result.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace taktwerk::kits {

inline constexpr std::string_view kKitIniName = "kit.ini";
// No real kit has more layers per drum than this (Hydrogen stops at 16); a hand-edited file
// asking for more gets the first ones.
inline constexpr int kMaxIniLayers = 32;
// A kit.ini is a few kilobytes; one much larger is not ours and is not read.
inline constexpr std::size_t kMaxKitIniBytes = 1024 * 1024;

// The files of a sample set, in the set's order, then the extra toms an import may add.
inline constexpr std::array<std::string_view, 14> kSetFiles{
    "BD", "SD", "SD2", "RM", "HH", "OH", "RC", "RC2", "CB", "CC", "T1", "T2", "T3", "ST"};
inline constexpr std::array<std::string_view, 4> kExtraTomFiles{"T4", "T5", "T6", "T7"};

struct KitIniLayer {
    std::string file;  // a plain file name inside the set's folder
    int lowVelocity = 0;
    int highVelocity = 127;
    double gain = 1.0;
};

struct KitIniEntry {
    std::string code;        // "BD", ...: the section, and the file the layers stand for
    std::string instrument;  // the kit's instrument it came from, for people reading the file
    std::vector<KitIniLayer> layers;
    int chokeGroup = 0;  // 0: none
    int chokedBy = 0;
};

struct KitIni {
    std::string name;
    std::string format;
    std::vector<KitIniEntry> entries;  // set order, extra toms last

    // The layers of `code`'s file; null when the file has no section (or none usable).
    const KitIniEntry* entry(std::string_view code) const;
};

// Reads kit.ini's bytes. Whatever the file holds, the result is usable: a layer whose file
// name leaves the folder, whose velocity range is not "low-high" within 0..127 (or upside
// down), or whose gain is no number from 0 to 16 is left out and named in `problems`.
KitIni parseKitIni(std::string_view bytes, std::vector<std::string>* problems = nullptr);

// The bytes of kit.ini for `kit` (CR LF, Windows-1252). Fails only for text the file cannot
// hold (the importer makes names fit first).
core::Result<std::string> kitIniBytes(const KitIni& kit);

// Reads `folder`/kit.ini; nullopt when there is none or it cannot be read.
std::optional<KitIni> readKitIni(const std::filesystem::path& folder,
                                 std::vector<std::string>* problems = nullptr);

}  // namespace taktwerk::kits
