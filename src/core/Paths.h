#pragma once
// The small procedures every window shares: file and folder tests, path and name surgery, a
// key filter for typed names and the arithmetic of a window's start position. None of them
// shows a message. Strings are UTF-8; where a path is taken apart as text, both "\" (paths
// from the Windows program and its files) and "/" separate names. Any thread; no state.

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

// Filters one typed character of a rhythm name (mode 1): characters that cannot stand in a
// file name and a few more are swallowed by setting `code` to 0. Backspace, paste, copy and
// Enter always pass; any other mode passes everything.
void FilterKey(int& code, int mode);

// The canonical form of a path that exists; otherwise the path in title case (the first
// letter and every letter after a blank, "-", "(", "_", "\" or "/" in capitals, the rest in
// small letters), which is what the Windows program fell back to.
std::string LongPath(std::string_view path);

// Where a window opens, in twips: centred across the screen and a little above the middle,
// never off the top or left edge. Sizes are rounded to whole twips first, halves to even.
struct FormPosition {
    long long left = 0;
    long long top = 0;
};
FormPosition PlaceForm(double screenWidth, double screenHeight, double formWidth,
                       double formHeight);

}  // namespace taktwerk::core
