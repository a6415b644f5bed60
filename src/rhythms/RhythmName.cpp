#include "rhythms/RhythmName.h"

#include "app/Windows1252.h"

#include <string>

namespace taktwerk::rhythms {

namespace {

constexpr std::string_view kForbidden = "\\/:*?\"<>|";

// Why a name that Windows-1252 cannot hold is refused: the first character it cannot hold, or
// a byte that is not UTF-8 at all.
std::string unholdableReason(std::string_view name)
{
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t start = at;
        std::string character;
        app::appendUtf8(character, app::nextCodePoint(name, at));
        if (character != name.substr(start, at - start))
            return "Der Name enthält ungültige Zeichen.";
        if (!app::utf8ToCp1252(character))
            return "Der Name darf das Zeichen \"" + character + "\" nicht enthalten.";
    }
    return "Der Name enthält ungültige Zeichen.";
}

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

}  // namespace

app::Result<void> checkRhythmName(std::string_view name)
{
    if (name.empty())
        return app::fail("Bitte einen Namen für den Rhythmus eingeben.");
    if (name == "." || name == "..")
        return app::fail("Der Name \"" + std::string(name) + "\" ist als Dateiname nicht möglich.");
    if (name.find_first_of(kForbidden) != std::string_view::npos)
        return app::fail("Der Name darf keines dieser Zeichen enthalten: \\ / : * ? \" < > |");
    if (!app::utf8ToCp1252(name))
        return app::fail(unholdableReason(name));
    for (std::size_t at = 0; at < name.size();)
        if (isControl(app::nextCodePoint(name, at)))
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
