#pragma once
// Where a command may put its output file. The commands replace a file atomically (AtomicFile.h,
// which also refuses read-only files); this says beforehand what must never be replaced: the
// command's own input, whatever the path's spelling (compared by device and inode), a device, a
// FIFO, a socket or a folder, a link to nothing, and, unless the user says --force, an existing
// file that is not of the output's kind, which is surely a typing mistake. Main thread of the
// command line.

#include "core/Result.h"
#include "playback/OfflineRender.h"

#include <filesystem>

namespace taktwerk::cli {

enum class OutputKind {
    Audio,  // RIFF, RF64, FLAC or Ogg
    Midi,   // a Standard MIDI File
};

// The message says what is wrong and what to do, in one line.
core::Result<void> checkOutput(const std::filesystem::path& output,
                               const std::filesystem::path& input, OutputKind kind, bool force);

// "-o -": the output goes to standard output.
bool isStandardOutput(std::string_view output);
// Standard output may take the file unless it is a terminal, which binary data would garble.
core::Result<void> checkStandardOutput();

// The audio file type for `output` and --format (`format`, empty when not given). The
// extension decides (.wav, .flac, .ogg), and --format must agree with it; standard output and a
// name without extension take --format, WAV when it is not given. Any other extension is
// refused: a WAV named .mp3 would mislead every player.
core::Result<playback::AudioFileType> audioFileType(const std::filesystem::path& output,
                                                    std::string_view format);

// Whether `head` (a file's first bytes) starts like a file of `kind`.
bool looksLike(std::string_view head, OutputKind kind);

}  // namespace taktwerk::cli
