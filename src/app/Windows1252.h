#pragma once
// Windows-1252 <-> UTF-8, for files written by (and for) the Windows program. The five byte
// values Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control
// characters of the same number, so every byte round-trips unchanged. Pure functions.

#include <optional>
#include <string>
#include <string_view>

namespace taktwerk::app {

std::string cp1252ToUtf8(std::string_view bytes);
// nullopt when the text holds a character Windows-1252 cannot hold (or is not valid UTF-8).
std::optional<std::string> utf8ToCp1252(std::string_view utf8);

}  // namespace taktwerk::app
