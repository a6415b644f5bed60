#pragma once
// `taktwerk make-kit [--soundfont FILE] [--out DIR]`: renders the default sample set.

#include <filesystem>
#include <span>

namespace taktwerk::cli {

// `args` are the arguments after "make-kit"; without --out the set goes to "Default" in
// `soundDir`, the program's sound folder. Returns the process's exit code.
int runMakeKit(std::span<char* const> args, const std::filesystem::path& soundDir);

}  // namespace taktwerk::cli
