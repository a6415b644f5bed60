#pragma once
// The language the user reads: English, or German for a German locale. Every text the user
// meets is written in English in the source and looked up in the German catalogue
// (po/de.po, compiled to <locale folder>/de/LC_MESSAGES/taktwerk.mo) when German was chosen.
//
// The choice is one fact of the whole process, made once at start by `useLanguage` before any
// other thread exists and only read afterwards, the same way gettext's own text domain works;
// passing a translator into every function that can fail would change every signature for
// nothing. The look-up itself (glibc's gettext) may run on any thread but the audio thread.

#include <filesystem>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace taktwerk::core {

enum class Language { English, German };

// The variables that name the user's language, as the environment holds them (unset and
// empty are the same).
struct LocaleVariables {
    std::string language;    // LANGUAGE, a colon-separated list of preferences
    std::string lcAll;       // LC_ALL
    std::string lcMessages;  // LC_MESSAGES
    std::string lang;        // LANG
};

// This process's variables.
LocaleVariables localeVariables();

// The first non-empty variable of LANGUAGE, LC_ALL, LC_MESSAGES, LANG decides, as POSIX and
// gettext have it: German for "de..." and English otherwise. From LANGUAGE's list the first
// language this program speaks wins ("fr:de" is German, "en:de" English).
Language languageFrom(const LocaleVariables& variables);

// Where the catalogues lie for the program file `executable`: share/locale of the prefix for
// an installed copy (one with ../share/taktwerk beside its folder), else share/locale in its
// own folder (the build tree).
std::filesystem::path localeFolderFor(const std::filesystem::path& executable);

// Chooses the language for every later `translated` call. True when the language needs no
// catalogue or its catalogue was found; false leaves the texts in English.
bool useLanguage(Language language, const std::filesystem::path& localeFolder);
Language currentLanguage();
// Makes the chosen language hold again after a library set the locale from the environment
// (QApplication does): a "C" messages locale would hide the catalogue. Start-up thread only.
void renewLanguage();

// Marks an English text for the catalogue where it cannot be translated yet (a constant
// table); it is translated where it is shown.
constexpr const char* translatable(const char* english) { return english; }

// The text in the chosen language; `english` is the catalogue's key, so it must be a literal
// xgettext can see (or one marked `translatable`). The answer lives as long as the program.
const char* translated(const char* english);

// The same with each "%s" replaced by the next of `values` (in the translated text, so a
// language may put them elsewhere) and "%%" by "%".
std::string translated(const char* english, std::span<const std::string_view> values);
inline std::string translated(const char* english, std::initializer_list<std::string_view> values)
{
    return translated(english, std::span<const std::string_view>(values.begin(), values.size()));
}

}  // namespace taktwerk::core
