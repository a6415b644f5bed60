#include "core/Paths.h"

#include "core/Windows1252.h"

#include <cmath>
#include <fstream>

namespace taktwerk::core {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

long long roundHalfEven(double value) { return std::llround(std::nearbyint(value)); }

// n / d rounded to the nearest integer, halves to even, exactly (d > 0).
long long divideHalfEven(long long n, long long d)
{
    long long q = n / d;
    long long r = n % d;
    if (r < 0) {
        --q;
        r += d;
    }
    if (2 * r > d || (2 * r == d && q % 2 != 0))
        ++q;
    return q;
}

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

void FilterKey(int& code, int mode)
{
    constexpr int kBackspace = 8;
    constexpr int kPaste = 22;  // Ctrl+V
    constexpr int kCopy = 3;    // Ctrl+C
    constexpr int kEnter = 13;
    if (code == kBackspace || code == kPaste || code == kCopy || code == kEnter || mode != 1)
        return;
    // Blank ! & ' + -, digits, ? @ and capitals, _ and everything above; the rest of ASCII
    // below 127 either cannot stand in a file name or was kept out of rhythm names.
    const bool passes = code == ' ' || code == '!' || code == '&' || code == '\'' || code == '+' ||
                        code == '-' || (code >= '0' && code <= '9') ||
                        (code >= '?' && code <= 'Z') || code >= '_';
    if (!passes)
        code = 0;
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

FormPosition PlaceForm(double screenWidth, double screenHeight, double formWidth, double formHeight)
{
    constexpr long long kHeightPercent = 85;  // the window's centre sits at 85 % of half the
                                              // screen height: a little above the middle
    const long long screenW = roundHalfEven(screenWidth);
    const long long screenH = roundHalfEven(screenHeight);
    const long long formW = roundHalfEven(formWidth);
    const long long formH = roundHalfEven(formHeight);
    // Exact decimal arithmetic, so that a height like 1290 gives 1096.5 and rounds to even.
    FormPosition position;
    position.top = divideHalfEven(screenH * kHeightPercent, 100) / 2 - formH / 2;
    position.left = screenW / 2 - formW / 2;
    if (position.top < 0)
        position.top = 0;
    if (position.left < 0)
        position.left = 0;
    return position;
}

}  // namespace taktwerk::core
