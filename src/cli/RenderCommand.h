#pragma once
// `taktwerk render FILE.rtm -o OUT.wav [--loops N | --seconds S] [--intro] [--tail]
// [--rate HZ] [--float] [--force]`: the rhythm played offline through its sample set's voices,
// exactly as live playback plays it, into a WAV file (RF64 past 4 GiB). The output is never the
// input, a device or a FIFO, nor, without --force, an existing file other than audio.
// Main thread of the command line.

#include <filesystem>
#include <ostream>
#include <span>
#include <string_view>

namespace taktwerk::cli {

// `args` are the words after "render"; `soundDir` is the program's sound folder. Returns the
// exit code: 0, or 2 for a usage error or a file that cannot be read or written.
int runRender(std::span<const std::string_view> args, const std::filesystem::path& soundDir,
              std::ostream& out, std::ostream& err);

}  // namespace taktwerk::cli
