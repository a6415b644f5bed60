#pragma once
// The rhythm file: one INI-style ".rtm" file per rhythm, 28 keys in four sections. Writing
// produces exactly the forms the program has always written; reading accepts anything and
// falls back to defaults, so files edited by hand or written by older copies still load.
// Pure functions over a ProfileFile plus two that touch the disk; GUI thread or command line.

#include "core/Profile.h"
#include "core/Result.h"
#include "rhythms/Rhythm.h"

#include <filesystem>

namespace taktwerk::rhythms {

// Sets the 28 keys in the file's order (Settings, RhythmData, Mute, Multi). Unknown keys and
// sections of `profile` are left alone; existing keys are replaced where they stand.
void writeRhythm(const Rhythm& rhythm, core::ProfileFile& profile);

// Writes `rhythm` to `file` in one atomic commit: a new file, or the old one with all 28
// values replaced and everything else kept. On failure the old file is untouched.
core::Result<void> writeRhythmFile(const Rhythm& rhythm, const std::filesystem::path& file);

// Reads the 28 keys as stored, each with its default. A number that does not fit 16 bits
// keeps the value `previous` holds; nothing else of `previous` is used. Values are not
// normalised here (see loadRhythm for what a load makes of them).
Rhythm readRhythm(const core::ProfileFile& profile, const Rhythm& previous);

}  // namespace taktwerk::rhythms
