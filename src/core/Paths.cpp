#include "core/Paths.h"

#include "core/Windows1252.h"

#include <fstream>

namespace taktwerk::core {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::filesystem::path pathFromUtf8(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8FromPath(const std::filesystem::path& path)
{
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool FileExists(const std::filesystem::path& path)
{
    // Only plain files: a folder is none, and opening a pipe would wait for a writer.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    const std::ifstream in(path, std::ios::binary);
    return in.is_open();
}

bool DirExists(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

bool MakeDirs(const std::filesystem::path& path)
{
    if (DirExists(path))
        return true;
    std::error_code error;
    std::filesystem::create_directories(path, error);
    // The answer is whether the folder is there now: some library versions report an error
    // for a trailing separator although every folder was made.
    return DirExists(path);
}

std::string& AddBackslash(std::string& path)
{
    if (path.empty() || !isSeparator(path.back()))
        path += static_cast<char>(std::filesystem::path::preferred_separator);
    return path;
}

std::string StripPath(std::string_view path)
{
    if (!path.empty() && isSeparator(path.back()))
        path.remove_suffix(1);
    const std::size_t last = path.find_last_of("\\/");
    return std::string(last == std::string_view::npos ? path : path.substr(last + 1));
}

std::string StripExtension(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size())
        return std::string(name);
    return std::string(name.substr(0, dot));
}

std::string LongPath(std::string_view path)
{
    std::error_code error;
    const auto canonical = std::filesystem::canonical(pathFromUtf8(path), error);
    if (!error)
        return utf8FromPath(canonical);
    std::string result;
    bool capital = true;
    for (std::size_t pos = 0; pos < path.size();) {
        const char32_t c = nextCodePoint(path, pos);
        appendUtf8(result, capital ? upperCase1252(c) : lowerCase1252(c));
        capital = c == U' ' || c == U'-' || c == U'(' || c == U'_' || c == U'\\' || c == U'/';
    }
    return result;
}

}  // namespace taktwerk::core
