#pragma once
// Windows-1252 <-> UTF-8, for files written by (and for) the Windows program. The five byte
// values Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control
// characters of the same number, so every byte round-trips unchanged. Also the letter case of
// the characters Windows-1252 holds, which the Windows program compared names by.
// Pure functions, any thread.

#include <optional>
#include <string>
#include <string_view>

namespace taktwerk::core {

std::string cp1252ToUtf8(std::string_view bytes);
// nullopt when the text holds a character Windows-1252 cannot hold (or is not valid UTF-8).
std::optional<std::string> utf8ToCp1252(std::string_view utf8);

// Upper and lower case of a code point: ASCII and the letters of Windows-1252 (umlauts,
// accented letters, Š/š, Œ/œ, Ž/ž, Ÿ/ÿ); every other code point is returned unchanged.
char32_t upperCase1252(char32_t c) noexcept;
char32_t lowerCase1252(char32_t c) noexcept;

// Reads one code point of UTF-8 at `pos` and advances `pos`. A byte that does not start a
// valid sequence is returned as its own value and skipped, so any text can be walked.
char32_t nextCodePoint(std::string_view utf8, std::size_t& pos) noexcept;
void appendUtf8(std::string& out, char32_t c);

// Equal without regard to the case of the letters above.
bool equalsIgnoringCase(std::string_view a, std::string_view b) noexcept;

// True when every byte belongs to a valid UTF-8 sequence (no overlong forms or surrogates).
bool isValidUtf8(std::string_view bytes) noexcept;
// A name from the file system as UTF-8 text: valid UTF-8 as it stands, anything else read as
// Windows-1252, which is what a file copied from the Windows program carries.
std::string nameAsUtf8(std::string_view bytes);

}  // namespace taktwerk::core
