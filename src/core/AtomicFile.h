#pragma once
// Replacing a file so that a crash, a kill or a full disk never leaves it torn: the new bytes go
// to a temporary file in the same folder, are flushed to the disk, and the temporary file is
// renamed over the old one. Readers see the old file or the new one, never a mix. An existing
// file keeps its permissions; a symbolic link is followed and its target replaced.
// Any thread; no shared state.

#include "core/Result.h"

#include <filesystem>
#include <string_view>

namespace taktwerk::core {

Result<void> replaceFile(const std::filesystem::path& file, std::string_view bytes);

}  // namespace taktwerk::core
