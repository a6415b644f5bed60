#pragma once
// Where a rendered or exported file may go. Files are replaced atomically (AtomicFile.h, which
// also refuses read-only files); this says beforehand what must never be replaced: the rhythm
// the output is made from, whatever the path's spelling (compared by device and inode), a
// device, a FIFO, a socket or a folder, a link to nothing, and an existing file that is not of
// the output's kind, which is surely a mistake. The command line and the window's export both
// ask here. Called on the thread that writes the file.

#include "core/Result.h"

#include <filesystem>
#include <string_view>

namespace taktwerk::playback {

enum class OutputKind {
    Audio,  // RIFF, RF64, FLAC or Ogg
    Midi,   // a Standard MIDI File
};

// What happens to an existing file that is not of the output's kind.
enum class ForeignFile {
    Refuse,               // the window: another name must be chosen
    RefuseOfferingForce,  // the command line: the message names --force
    Replace,              // --force was given
};

// The message says what is wrong and what to do, in one line.
core::Result<void> checkOutput(const std::filesystem::path& output,
                               const std::filesystem::path& input, OutputKind kind,
                               ForeignFile foreign);

// Whether `head` (a file's first bytes) starts like a file of `kind`.
bool looksLike(std::string_view head, OutputKind kind);

}  // namespace taktwerk::playback
