#pragma once
// Text that comes out of a kit file: a sample path must stay inside the kit's folder (a
// drumkit.xml naming "../../.ssh/id_rsa" or "/etc/passwd" is refused, as rhythm files' sample
// names are), a set name must make one plain folder that the settings file (Windows-1252) can
// name, and numbers are read the same under every locale (the window runs under the user's,
// where "0.5" may not parse with strtod). Pure functions apart from staysInside, which asks
// the disk. Any thread.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace taktwerk::kits {

// A sample path as a kit gives it ("Kick.wav", "samples\\kick 1.flac", "./a/b.wav"), made
// relative and "/"-separated; nullopt when it is empty, absolute (also "C:..." and "\\..."),
// holds a NUL or a control character, or steps out through "..".
std::optional<std::filesystem::path> relativeSamplePath(std::string_view text);

// True when `file` (which may not exist yet) lies inside `folder` once symbolic links are
// followed: a link inside a kit that points elsewhere leaves the kit, too.
bool staysInside(const std::filesystem::path& folder, const std::filesystem::path& file);

// A folder name for a sample set made from a kit's name: characters a folder name (on any
// system the set may be copied to) or the settings file cannot hold become "_", blanks and
// dots at either end go, long names are cut. Never empty: "Kit" when nothing is left.
std::string setNameFrom(std::string_view kitName);

// True when `name` can be used as it is (setNameFrom would not change it).
bool isPlainSetName(std::string_view name);

// `text` with every character Windows-1252 cannot hold (and every control character) made
// "?", so that it can stand in an INI file of ours.
std::string forWindows1252(std::string_view text);

// A decimal number ("0.75", "-3", "1e-2", blanks around allowed) and nothing else; nullopt
// for anything else, for NaN and for infinities.
std::optional<double> decimalNumber(std::string_view text);
// A whole number ("60", " 127 ") and nothing else.
std::optional<long long> wholeNumber(std::string_view text);
// The shortest text that reads back as `value` ("1", "0.75", "1.53").
std::string decimalText(double value);

}  // namespace taktwerk::kits
