#pragma once
// `taktwerk make-kit [--soundfont FILE] [--out DIR]`: renders the default sample set.

#include <span>

namespace taktwerk::cli {

// `args` are the arguments after "make-kit". Returns the process's exit code.
int runMakeKit(std::span<char* const> args);

}  // namespace taktwerk::cli
