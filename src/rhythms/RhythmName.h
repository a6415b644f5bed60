#pragma once
// Rhythm names. The name is the file's base name, so a name that cannot be a file name (on
// any platform the rhythm files travel to) or that the file's Windows-1252 text cannot hold
// is refused with a reason the user can act on, instead of a save that silently fails.
// Pure functions, any thread.

#include "core/Result.h"

#include <filesystem>
#include <string_view>

namespace taktwerk::rhythms {

inline constexpr std::string_view kRhythmExtension = ".rtm";

// Refuses an empty name, one holding \ / : * ? " < > | or a control character, "." and
// "..", a name with a character Windows-1252 cannot hold, and one too long for a file name
// (255 bytes with ".rtm", the umlauts two bytes each). The message is for the user.
core::Result<void> checkRhythmName(std::string_view name);

// `rhythmDir` / (name + ".rtm"); `name` is UTF-8.
std::filesystem::path rhythmPath(const std::filesystem::path& rhythmDir, std::string_view name);

// UTF-8 text <-> path, the same on every platform.
std::filesystem::path pathFromUtf8(std::string_view text);
std::string utf8FromPath(const std::filesystem::path& path);

}  // namespace taktwerk::rhythms
