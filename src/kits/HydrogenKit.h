#pragma once
// Reads a Hydrogen drumkit (drumkit.xml) in both layouts found in the wild: velocity layers
// inside `instrumentComponent` (the current one), and layers or a bare `filename` directly in
// `instrument` (the legacy one, which most of Debian's kits still use). Caller's thread.

#include "core/Result.h"
#include "kits/KitSource.h"

#include <filesystem>
#include <string_view>

namespace taktwerk::kits {

// A drumkit.xml larger than this is no drum kit (Debian's largest is about 60 KB).
inline constexpr std::size_t kMaxKitFileBytes = 8 * 1024 * 1024;
// Hydrogen itself keeps at most a few dozen instruments and 16 layers each; far more means a
// broken or hostile file, and the rest is ignored with a note.
inline constexpr std::size_t kMaxInstruments = 256;
inline constexpr std::size_t kMaxLayers = 32;

// The kit described by `xml`; `folder` is where its samples lie. Layers whose sample path
// leaves the folder, or whose numbers are not numbers, are left out and noted; instruments
// without a sample are left out silently (Hydrogen's empty slots).
core::Result<KitSource> parseHydrogenKit(std::string_view xml, const std::filesystem::path& folder);

// Reads `path`: a drumkit folder, or its drumkit.xml.
core::Result<KitSource> readHydrogenKit(const std::filesystem::path& path);

// Reads a whole small file (at most `maxBytes`) for the readers; a folder, a pipe or a larger
// file is an error.
core::Result<std::string> readSmallFile(const std::filesystem::path& file, std::size_t maxBytes);

}  // namespace taktwerk::kits
