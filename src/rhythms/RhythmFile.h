#pragma once
// The rhythm file: one INI-style ".rtm" file per rhythm, 28 keys in four sections, and the
// groove where a rhythm has one: "Swing" (50 to 75) and "SwingNote" (16 or 8) in "Settings",
// and a section "Velocity" with one key per track ("BD" ... "T3", as in "RhythmData") of 32
// comma-separated velocities. The groove keys are written only when they differ from the
// defaults (straight 16ths, 127 everywhere), so a rhythm without groove is written byte for
// byte as the program always wrote it, and the old Windows program, which keeps keys it does
// not know, carries a groove through its own saves. Writing produces exactly these forms;
// reading accepts anything and falls back to defaults, so files edited by hand or written by
// older copies still load. Pure functions over a ProfileFile plus two that touch the disk;
// GUI thread or command line.

#include "core/Profile.h"
#include "core/Result.h"
#include "rhythms/Rhythm.h"

#include <filesystem>

namespace taktwerk::rhythms {

// Sets the 28 keys in the file's order (Settings, RhythmData, Mute, Multi), then the groove's
// (Velocity last). A groove key at its default is erased, so an old groove of the file does not
// outlive a save without it. Unknown keys and sections of `profile` are left alone; existing
// keys are replaced where they stand.
void writeRhythm(const Rhythm& rhythm, core::ProfileFile& profile);

// Writes `rhythm` to `file` in one atomic commit: a new file, or the old one with all 28
// values replaced and everything else kept. On failure the old file is untouched.
core::Result<void> writeRhythmFile(const Rhythm& rhythm, const std::filesystem::path& file);

// Reads the 28 keys as stored, each with its default. A number that does not fit 16 bits
// keeps the value `previous` holds; nothing else of `previous` is used. Values are not
// normalised here (see loadRhythm for what a load makes of them), except the groove's, which
// the old program never checked for: a swing outside 50 ... 75 and a velocity outside 1 ...
// 127 are clamped into range, a swing note other than 8 means 16ths, a velocity that is no
// number is 127, and a list of velocities shorter than 32 is filled with 127, a longer one cut.
Rhythm readRhythm(const core::ProfileFile& profile, const Rhythm& previous);

}  // namespace taktwerk::rhythms
