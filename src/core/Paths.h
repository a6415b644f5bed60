#pragma once
// Path helpers: file and folder tests and path and name surgery. None of them shows a message.
// Strings are UTF-8; where a path is taken apart as text, both "\" (paths from the Windows program
// and its files) and "/" separate names. Any thread; no state.

#include <filesystem>
#include <string>
#include <string_view>

namespace taktwerk::core {

// UTF-8 text <-> path, the same on every platform (a plain std::string is the ANSI code page
// on Windows).
std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string utf8FromPath(const std::filesystem::path& path);

// True when the file can be opened for reading (a folder is no file).
bool FileExists(const std::filesystem::path& path);
// True when the path names a folder, with or without a trailing separator.
bool DirExists(const std::filesystem::path& path);
// Creates every missing folder of the path; true when the folder exists afterwards. Never
// changes the process's current folder.
bool MakeDirs(const std::filesystem::path& path);

// Appends the platform's separator unless the text already ends in "\" or "/"; returns it.
std::string& AddBackslash(std::string& path);
// The last name in a path, after dropping one trailing separator ("C:\Sound\Default\" gives
// "Default"); a text without separator comes back whole.
std::string StripPath(std::string_view path);
// The name without its last extension; a name ending in "." keeps it ("Snare." stays).
std::string StripExtension(std::string_view name);

// The canonical form of a path that exists; otherwise the path in title case (the first
// letter and every letter after a blank, "-", "(", "_", "\" or "/" in capitals, the rest in
// small letters), which is what the Windows program fell back to.
std::string LongPath(std::string_view path);

}  // namespace taktwerk::core
