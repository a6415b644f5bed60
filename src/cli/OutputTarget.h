#pragma once
// Where a command may put its output file. The commands replace a file atomically (AtomicFile.h,
// which also refuses read-only files); this says beforehand what must never be replaced: the
// command's own input, whatever the path's spelling (compared by device and inode), a device, a
// FIFO, a socket or a folder, a link to nothing, and, unless the user says --force, an existing
// file that is not of the output's kind, which is surely a typing mistake. Main thread of the
// command line.

#include "core/Result.h"

#include <filesystem>

namespace taktwerk::cli {

enum class OutputKind {
    Audio,  // RIFF, RF64, FLAC or Ogg
    Midi,   // a Standard MIDI File
};

// The message says what is wrong and what to do, in one line.
core::Result<void> checkOutput(const std::filesystem::path& output,
                               const std::filesystem::path& input, OutputKind kind, bool force);

// Whether `head` (a file's first bytes) starts like a file of `kind`.
bool looksLike(std::string_view head, OutputKind kind);

}  // namespace taktwerk::cli
