#include "rhythms/RhythmName.h"

#include "app/Windows1252.h"

#include <string>

namespace taktwerk::rhythms {

namespace {

constexpr std::string_view kForbidden = "\\/:*?\"<>|";

// The length of the UTF-8 sequence a lead byte starts (1 for anything that is no lead byte,
// so a broken sequence is looked at byte by byte).
std::size_t sequenceLength(unsigned char lead)
{
    if (lead >= 0xF0 && lead < 0xF8)
        return 4;
    if (lead >= 0xE0)
        return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// The first character of `name` that Windows-1252 cannot hold (empty when there is none).
std::string_view firstUnholdable(std::string_view name)
{
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = sequenceLength(static_cast<unsigned char>(name[at]));
        const std::string_view character = name.substr(at, length);
        if (!app::utf8ToCp1252(character))
            return character;
        at += length;
    }
    return {};
}

// One whole UTF-8 sequence: a lead byte and as many continuation bytes as it announces.
bool isWellFormed(std::string_view character)
{
    if (character.empty())
        return false;
    const auto lead = static_cast<unsigned char>(character[0]);
    if (lead < 0xC0 || character.size() != sequenceLength(lead))
        return lead < 0x80;
    for (const char byte : character.substr(1))
        if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80)
            return false;
    return true;
}

bool isControl(unsigned char byte)
{
    // In Windows-1252 the five undefined bytes carry the C1 control characters through.
    return byte < 0x20 || byte == 0x7F || byte == 0x81 || byte == 0x8D || byte == 0x8F ||
           byte == 0x90 || byte == 0x9D;
}

}  // namespace

app::Result<void> checkRhythmName(std::string_view name)
{
    if (name.empty())
        return app::fail("Bitte einen Namen für den Rhythmus eingeben.");
    if (name == "." || name == "..")
        return app::fail("Der Name \"" + std::string(name) + "\" ist als Dateiname nicht möglich.");
    if (name.find_first_of(kForbidden) != std::string_view::npos)
        return app::fail("Der Name darf keines dieser Zeichen enthalten: \\ / : * ? \" < > |");
    const auto bytes = app::utf8ToCp1252(name);
    if (!bytes) {
        const std::string_view character = firstUnholdable(name);
        if (!isWellFormed(character))
            return app::fail("Der Name enthält ungültige Zeichen.");
        return app::fail("Der Name darf das Zeichen \"" + std::string(character) +
                         "\" nicht enthalten.");
    }
    for (const char byte : *bytes)
        if (isControl(static_cast<unsigned char>(byte)))
            return app::fail("Der Name darf keine Steuerzeichen enthalten.");
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
