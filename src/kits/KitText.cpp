#include "kits/KitText.h"

#include "core/Windows1252.h"

#include <charconv>
#include <cmath>
#include <system_error>
#include <vector>

namespace taktwerk::kits {
namespace {

// Folder names longer than this are cut: the set's name also ends up in window captions and
// in the settings file, and 64 characters is more than any kit we know of uses.
constexpr std::size_t kMaxSetNameChars = 64;

bool isControl(char32_t c) { return c < 0x20 || c == 0x7F; }

// Characters no folder name on Windows may hold, so a set stays copyable to the old program.
bool isForbiddenInName(char32_t c)
{
    switch (c) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
        return true;
    default:
        return isControl(c);
    }
}

bool fitsWindows1252(char32_t c)
{
    std::string one;
    core::appendUtf8(one, c);
    return core::utf8ToCp1252(one).has_value();
}

}  // namespace

std::optional<std::filesystem::path> relativeSamplePath(std::string_view text)
{
    std::string unified(text);
    for (char& c : unified) {
        if (c == '\\')
            c = '/';
        if (static_cast<unsigned char>(c) < 0x20)
            return std::nullopt;
    }
    // "C:/..." is absolute on the system the kit was made on.
    if (unified.empty() || unified.front() == '/' || (unified.size() >= 2 && unified[1] == ':'))
        return std::nullopt;
    std::filesystem::path result;
    std::size_t start = 0;
    while (start <= unified.size()) {
        std::size_t end = unified.find('/', start);
        if (end == std::string::npos)
            end = unified.size();
        const std::string part = unified.substr(start, end - start);
        if (part == "..")
            return std::nullopt;
        if (!part.empty() && part != ".")
            result /= part;
        start = end + 1;
    }
    if (result.empty())
        return std::nullopt;
    return result;
}

bool staysInside(const std::filesystem::path& folder, const std::filesystem::path& file)
{
    std::error_code error;
    const auto base = std::filesystem::weakly_canonical(folder, error);
    if (error)
        return false;
    const auto target = std::filesystem::weakly_canonical(file, error);
    if (error)
        return false;
    auto b = base.begin();
    auto t = target.begin();
    for (; b != base.end(); ++b, ++t) {
        if (b->empty() && std::next(b) == base.end())
            break;  // a trailing separator of the folder
        if (t == target.end() || *t != *b)
            return false;
    }
    return t != target.end();
}

std::string setNameFrom(std::string_view kitName)
{
    std::u32string characters;
    for (std::size_t pos = 0; pos < kitName.size();) {
        const char32_t c = core::nextCodePoint(kitName, pos);
        characters.push_back(isForbiddenInName(c) || !fitsWindows1252(c) ? U'_' : c);
    }
    // Blanks or dots at the ends make names that Windows refuses or hides.
    auto edge = [](char32_t c) { return c == U' ' || c == U'.' || c == U'\t'; };
    while (!characters.empty() && edge(characters.front()))
        characters.erase(characters.begin());
    if (characters.size() > kMaxSetNameChars)
        characters.resize(kMaxSetNameChars);
    while (!characters.empty() && edge(characters.back()))
        characters.pop_back();
    std::string name;
    for (char32_t c : characters)
        core::appendUtf8(name, c);
    return name.empty() ? std::string("Kit") : name;
}

bool isPlainSetName(std::string_view name) { return setNameFrom(name) == name; }

std::string forWindows1252(std::string_view text)
{
    std::string result;
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t c = core::nextCodePoint(text, pos);
        core::appendUtf8(result, isControl(c) || !fitsWindows1252(c) ? U'?' : c);
    }
    return result;
}

namespace {
std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}
}  // namespace

std::optional<double> decimalNumber(std::string_view text)
{
    text = trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<long long> wholeNumber(std::string_view text)
{
    text = trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string decimalText(double value)
{
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string("0");
}

}  // namespace taktwerk::kits
