#pragma once
// Where a command may put its output file: the rules of playback/OutputTarget.h, where --force
// lets a file of another kind be replaced, and standard output. Main thread of the command
// line.

#include "core/Result.h"
#include "playback/OfflineRender.h"
#include "playback/OutputTarget.h"

#include <filesystem>

namespace taktwerk::cli {

using playback::OutputKind;

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
using playback::looksLike;

}  // namespace taktwerk::cli
