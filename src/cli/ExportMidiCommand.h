#pragma once
// `taktwerk export-midi FILE.rtm -o OUT.mid [--loops N] [--force]`: the rhythm as a Standard
// MIDI File, written atomically. The output is never the input, a device or a FIFO, nor,
// without --force, an existing file other than MIDI. Main thread of the command line.

#include <ostream>
#include <span>
#include <string_view>

namespace taktwerk::cli {

// `args` are the words after "export-midi". Returns the exit code: 0, or 2 for a usage error
// or a file that cannot be read or written.
int runExportMidi(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);

}  // namespace taktwerk::cli
