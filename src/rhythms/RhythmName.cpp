#include "rhythms/RhythmName.h"

#include "core/Language.h"
#include "core/Windows1252.h"

#include <string>

namespace taktwerk::rhythms {

namespace {

constexpr std::string_view kForbidden = "\\/:*?\"<>|";
// The longest file name the file systems we run on hold, in bytes of UTF-8 (Windows counts 255
// UTF-16 units, never fewer than the UTF-8 bytes, so a name that fits here fits there).
constexpr std::size_t kMaxFileNameBytes = 255;

// Why a name that Windows-1252 cannot hold is refused: the first character it cannot hold, or
// a byte that is not UTF-8 at all.
std::string unholdableReason(std::string_view name)
{
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t start = at;
        std::string character;
        core::appendUtf8(character, core::nextCodePoint(name, at));
        if (character != name.substr(start, at - start))
            return core::translated("The name holds invalid characters.");
        if (!core::utf8ToCp1252(character))
            return core::translated("The name must not hold the character \"%s\".", {character});
    }
    return core::translated("The name holds invalid characters.");
}

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

}  // namespace

core::Result<void> checkRhythmName(std::string_view name)
{
    if (name.empty())
        return core::fail(core::translated("Please enter a name for the rhythm."));
    if (name == "." || name == "..")
        return core::fail(core::translated("The name \"%s\" cannot be a file name.", {name}));
    if (name.find_first_of(kForbidden) != std::string_view::npos)
        return core::fail(core::translated(
            "The name must not hold any of these characters: \\ / : * ? \" < > |"));
    if (!core::utf8ToCp1252(name))
        return core::fail(unholdableReason(name));
    for (std::size_t at = 0; at < name.size();)
        if (isControl(core::nextCodePoint(name, at)))
            return core::fail(core::translated("The name must not hold control characters."));
    // Otherwise the file system refuses the file, and the user would learn only that the
    // save failed, not why.
    if (name.size() + kRhythmExtension.size() > kMaxFileNameBytes)
        return core::fail(core::translated("The name is too long. Please choose a shorter name."));
    return {};
}

std::filesystem::path pathFromUtf8(std::string_view text)
{
    std::u8string utf8(text.size(), u8'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        utf8[i] = static_cast<char8_t>(text[i]);
    return std::filesystem::path(utf8);
}

std::string utf8FromPath(const std::filesystem::path& path)
{
    const std::u8string utf8 = path.u8string();
    std::string text(utf8.size(), '\0');
    for (std::size_t i = 0; i < utf8.size(); ++i)
        text[i] = static_cast<char>(utf8[i]);
    return text;
}

std::filesystem::path rhythmPath(const std::filesystem::path& rhythmDir, std::string_view name)
{
    return rhythmDir / pathFromUtf8(std::string(name) + std::string(kRhythmExtension));
}

}  // namespace taktwerk::rhythms
