#pragma once
// Turns a kit of another program into a sample set of ours: `Sound/NAME/` with the fourteen
// files BD.wav ... ST.wav as 16- or 24-bit PCM (the loudest layer of each drum, so the old
// program plays the set as it is), every further velocity layer as a file of its own, and a
// kit.ini that lists the layers. Drums the kit lacks come from the Default set. The set is
// built in a temporary folder inside `Sound/` and renamed into place at the end: a failed or
// interrupted import leaves nothing behind, and an existing set is replaced only on request.
// Runs on the caller's thread (the import-kit command, the settings dialog's worker); no shared
// state but the cancel flag.

#include "core/Result.h"
#include "kits/KitArchive.h"
#include "kits/KitMapping.h"
#include "kits/KitSource.h"

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace taktwerk::kits {

// The detail of importKit's error when the set exists and `force` is off: a dialog asks then.
inline constexpr std::string_view kSetExists = "set exists";

// The detail of importKit's error when `cancel` was set: nothing to report to the user.
inline constexpr std::string_view kImportCancelled = "cancelled";

// Samples longer than this are cut, as the sample loader cuts them.
inline constexpr double kMaxImportSeconds = 30.0;

struct ImportOptions {
    std::filesystem::path source;    // a drumkit folder, its drumkit.xml, a .h2drumkit or a .sfz
    std::filesystem::path soundDir;  // `SoundDir`: the set goes into a folder of its own here
    std::string name;                // the set's name; empty: the kit's own name
    bool force = false;              // replace a set of the same name
    std::vector<MapOverride> overrides;
    ArchiveLimits archiveLimits;
    // Set from another thread to stop an import between two files; may be null.
    const std::atomic<bool>* cancel = nullptr;
};

struct ImportedFile {
    std::string code;        // "BD", ..., or an extra tom "T4"
    std::string instrument;  // the kit's instrument; empty when it came from the Default set
    int layers = 0;          // velocity layers written (0 for a Default file)
    bool missing = false;    // neither the kit nor the Default set had it: the voice is silent
};

struct ImportReport {
    std::string setName;
    std::filesystem::path setDir;
    std::string kitName;
    KitSource::Format format = KitSource::Format::Hydrogen;
    bool byNote = false;
    std::vector<ImportedFile> files;  // the fourteen in set order, then extra toms
    std::vector<std::string> unused;  // instruments of the kit no file plays
    std::vector<std::string> notes;   // what was left out, and why
};

// Reads the kit at `source` without importing it. An archive is unpacked into `unpacked`,
// which must outlive the result (its samples lie there).
core::Result<KitSource> readKit(const std::filesystem::path& source,
                                std::optional<TemporaryFolder>& unpacked,
                                const ArchiveLimits& limits = {});

core::Result<ImportReport> importKit(const ImportOptions& options);

// The mapping part of a report as lines for people: "BD   Kick (5 layers)", ...
std::vector<std::string> describeMapping(const ImportReport& report);

}  // namespace taktwerk::kits
