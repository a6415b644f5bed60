#pragma once
// `taktwerk make-kit [--soundfont FILE] [--out DIR] [--force]`: renders the default sample set,
// by default into "Default" in the program's sound folder with the extra toms beside it, with
// --out into that folder alone. Files already there are never replaced without --force, and a
// kit that fails on the way leaves the folders as they were. Main thread of the command line.

#include <filesystem>
#include <span>

namespace taktwerk::cli {

// `args` are the arguments after "make-kit"; `soundDir` is the program's sound folder. Returns
// the process's exit code: 0, 1 when no kit was written, 2 for a usage error.
int runMakeKit(std::span<char* const> args, const std::filesystem::path& soundDir);

}  // namespace taktwerk::cli
