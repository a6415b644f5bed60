#pragma once
// Reads the drum subset of SFZ: `<control>`, `<global>`, `<master>`, `<group>` and `<region>`
// headers with the opcodes `sample`, `key`, `lokey`, `hikey`, `lovel`, `hivel`, `volume`,
// `default_path`, `group`, `off_by`, `region_label` and `group_label`. Every other opcode,
// header or directive is ignored and named once in the kit's notes. Caller's thread.

#include "core/Result.h"
#include "kits/KitSource.h"

#include <filesystem>
#include <optional>
#include <string_view>

namespace taktwerk::kits {

// The kit described by `text` (the .sfz file's bytes); `folder` is the file's own folder,
// where its sample paths start. Regions are gathered into one instrument per key, in key
// order; each region is one velocity layer.
core::Result<KitSource> parseSfzKit(std::string_view text, const std::filesystem::path& folder,
                                    std::string name);

// Reads an .sfz file; the kit is named after the file.
core::Result<KitSource> readSfzKit(const std::filesystem::path& file);

// A key as SFZ writes it: a MIDI number ("36") or a note name ("c4" is 60, "f#2", "eb3").
std::optional<int> sfzKey(std::string_view text);

}  // namespace taktwerk::kits
