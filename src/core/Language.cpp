#include "core/Language.h"

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <libintl.h>

namespace taktwerk::core {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDomain = "taktwerk";

std::atomic<Language> chosen{Language::English};

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// A locale name in a language this program speaks: "de_AT.UTF-8" is German, "en_GB" and the
// POSIX names are English; anything else says nothing.
enum class Spoken { German, English, Other };
Spoken spokenIn(std::string_view name)
{
    if (startsWith(name, "de"))
        return Spoken::German;
    if (startsWith(name, "en") || name == "C" || startsWith(name, "C.") || name == "POSIX")
        return Spoken::English;
    return Spoken::Other;
}

}  // namespace

LocaleVariables localeVariables()
{
    return {variable("LANGUAGE"), variable("LC_ALL"), variable("LC_MESSAGES"), variable("LANG")};
}

Language languageFrom(const LocaleVariables& variables)
{
    if (!variables.language.empty()) {
        std::string_view list = variables.language;
        while (!list.empty()) {
            const std::size_t colon = list.find(':');
            const Spoken spoken = spokenIn(list.substr(0, colon));
            if (spoken != Spoken::Other)
                return spoken == Spoken::German ? Language::German : Language::English;
            list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
        }
        return Language::English;
    }
    for (const std::string* name : {&variables.lcAll, &variables.lcMessages, &variables.lang}) {
        if (!name->empty())
            return spokenIn(*name) == Spoken::German ? Language::German : Language::English;
    }
    return Language::English;
}

fs::path localeFolderFor(const fs::path& executable)
{
    const fs::path folder = executable.parent_path();
    std::error_code error;
    if (fs::is_directory(folder / ".." / "share" / "taktwerk", error))
        return (folder / ".." / "share" / "locale").lexically_normal();
    return folder / "share" / "locale";
}

bool useLanguage(Language language, const fs::path& localeFolder)
{
    chosen.store(language);
    if (language == Language::English)
        return true;
    bindtextdomain(kDomain, localeFolder.c_str());
    // The catalogue is UTF-8 and so is every text of the program, whatever the locale's
    // character set (the "C" locale would turn every umlaut into "?").
    bind_textdomain_codeset(kDomain, "UTF-8");
    renewLanguage();
    std::error_code error;
    return fs::is_regular_file(localeFolder / "de" / "LC_MESSAGES" / "taktwerk.mo", error);
}

Language currentLanguage() { return chosen.load(); }

void renewLanguage()
{
    if (chosen.load() == Language::English)
        return;
    // glibc picks the catalogue by the name of the LC_MESSAGES locale, and heeds LANGUAGE only
    // when that locale is not "C". A machine without a generated German locale (most build
    // machines, many minimal installs) must still speak German, so the messages category
    // falls back to C.UTF-8, which glibc always has, and LANGUAGE names the catalogue. Both
    // are set here, at start, before any other thread could read the environment.
    const char* current = std::setlocale(LC_MESSAGES, "");
    if (current == nullptr || std::strcmp(current, "C") == 0 || std::strcmp(current, "POSIX") == 0)
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    setenv("LANGUAGE", "de", 1);
}

const char* translated(const char* english)
{
    if (chosen.load() == Language::English || *english == '\0')
        return english;
    return dgettext(kDomain, english);
}

std::string translated(const char* english, std::span<const std::string_view> values)
{
    const std::string_view text = translated(english);
    std::string filled;
    filled.reserve(text.size());
    auto next = values.begin();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 1 == text.size()) {
            filled += text[i];
        } else if (text[i + 1] == '%') {
            filled += '%';
            ++i;
        } else if (text[i + 1] == 's') {
            // A catalogue asking for more values than given (msgfmt --check refuses such a
            // catalogue) shows nothing there rather than reading past the list.
            if (next != values.end())
                filled += *next++;
            ++i;
        } else {
            filled += text[i];
        }
    }
    return filled;
}

}  // namespace taktwerk::core
