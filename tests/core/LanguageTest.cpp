#include "core/Language.h"

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace taktwerk::core {
namespace {

namespace fs = std::filesystem;

TEST(Language, ComesFromTheFirstLocaleVariableSet)
{
    using enum Language;
    struct Case {
        LocaleVariables variables;  // LANGUAGE, LC_ALL, LC_MESSAGES, LANG
        Language expected;
    };
    const Case cases[] = {
        {{"", "", "", ""}, English},
        {{"", "", "", "C"}, English},
        {{"", "", "", "C.UTF-8"}, English},
        {{"", "", "", "POSIX"}, English},
        {{"", "", "", "en_US.UTF-8"}, English},
        {{"", "", "", "fr_FR.UTF-8"}, English},
        {{"", "", "", "de_DE.UTF-8"}, German},
        {{"", "", "", "de"}, German},
        {{"", "", "", "de_CH.ISO-8859-1@euro"}, German},
        // The first set variable decides, however the later ones read.
        {{"", "", "de_AT.UTF-8", "en_GB.UTF-8"}, German},
        {{"", "", "C", "de_DE.UTF-8"}, English},
        {{"", "C", "de_DE", "de_DE.UTF-8"}, English},
        {{"", "de_DE.UTF-8", "", "C"}, German},
        // LANGUAGE, a list: the first language the program speaks wins.
        {{"de", "", "", "C"}, German},
        {{"fr:de", "", "", "en_US.UTF-8"}, German},
        {{"fr:it:de_AT:en", "", "", "C"}, German},
        {{"en:de", "", "", "de_DE.UTF-8"}, English},
        {{"fr", "", "", "de_DE.UTF-8"}, English},
        {{"::de::", "", "", "C"}, German},
        // Whatever the environment holds decides nothing it does not spell.
        {{std::string(100000, ':') + "de", "", "", ""}, German},
        {{"\xFF\xFE:\xC3", "", "", "de_DE"}, English},
        {{"", "", "", std::string("d\0e", 3)}, English},
        {{"", "", "", "DE_de"}, English},
    };
    for (const Case& c : cases) {
        const LocaleVariables& v = c.variables;
        EXPECT_EQ(languageFrom(v), c.expected)
            << "LANGUAGE=" << v.language << " LC_ALL=" << v.lcAll << " LC_MESSAGES=" << v.lcMessages
            << " LANG=" << v.lang;
    }
}

class TempTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("taktwerk-language-" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "bin");
    }
    void TearDown() override { fs::remove_all(root_); }
    fs::path root_;
};

using LocaleFolder = TempTree;

TEST_F(LocaleFolder, IsThePrefixsForAnInstalledCopyAndTheProgramsOwnOtherwise)
{
    EXPECT_EQ(localeFolderFor(root_ / "bin" / "taktwerk"), root_ / "bin" / "share" / "locale");
    fs::create_directories(root_ / "share" / "taktwerk");
    EXPECT_EQ(localeFolderFor(root_ / "bin" / "taktwerk"), root_ / "share" / "locale");
}

// Restores English for the tests that follow, whatever a test chose.
class German : public ::testing::Test {
protected:
    void TearDown() override { (void)useLanguage(Language::English, {}); }
};

TEST_F(German, ComesFromTheCatalogueWithoutAGeneratedGermanLocale)
{
    // The build machines have only C and C.UTF-8; the test must hold there above all.
    ASSERT_TRUE(useLanguage(Language::German, TAKTWERK_LOCALE_DIR));
    EXPECT_EQ(currentLanguage(), Language::German);
    EXPECT_STREQ(translated("Please enter a name for the rhythm."),
                 "Bitte einen Namen f\u00fcr den Rhythmus eingeben.");
    EXPECT_EQ(translated("The name \"%s\" is no rhythm in this folder.", {"R\u00fcck"}),
              "Der Name \"R\u00fcck\" ist kein Rhythmus in diesem Ordner.");
    EXPECT_EQ(translated("The SoundFont file \"%s\" has no sound for %s.", {"a.sf2", "RC2"}),
              "Die SoundFont-Datei \"a.sf2\" hat keinen Klang f\u00fcr RC2.");
    // Blanks are part of the German program's questions.
    EXPECT_STREQ(translated("Really reset everything?"), "Wirklich alles zur\u00fccksetzen ?    ");
    // A text the catalogue does not know yet stays English rather than vanishing.
    EXPECT_STREQ(translated("Not a text of the program"), "Not a text of the program");
    EXPECT_STREQ(translated(""), "");
}

TEST_F(German, SurvivesALibrarySettingTheLocaleBackToC)
{
    ASSERT_TRUE(useLanguage(Language::German, TAKTWERK_LOCALE_DIR));
    // As QApplication does under LANG=C with German chosen through LANGUAGE.
    std::setlocale(LC_ALL, "C");
    renewLanguage();
    EXPECT_STREQ(translated("No rhythm chosen."), "Kein Rhythmus ausgew\u00e4hlt.");
}

TEST_F(German, WithoutItsCatalogueLeavesTheTextsEnglish)
{
    EXPECT_FALSE(useLanguage(Language::German, "/nonexistent/locale"));
    EXPECT_STREQ(translated("No rhythm chosen."), "No rhythm chosen.");
}

TEST(English, IsTheSourcesOwnTextWithItsValuesFilledIn)
{
    ASSERT_TRUE(useLanguage(Language::English, "/nonexistent/locale"));
    struct Case {
        const char* text;
        std::initializer_list<std::string_view> values;
        const char* expected;
    };
    const Case cases[] = {
        {"The file \"%s\" cannot be read.", {"a b.rtm"}, "The file \"a b.rtm\" cannot be read."},
        {"%s went away: %s", {"JACK", "no audio output"}, "JACK went away: no audio output"},
        // A value is never read as a format: its own "%s" stays as it is.
        {"Name: %s.", {"100%s"}, "Name: 100%s."},
        {"100%% of %s", {"4"}, "100% of 4"},
        // Too few values leave the place empty instead of reading past the list.
        {"%s and %s", {"one"}, "one and "},
        {"a lone %", {}, "a lone %"},
        {"%d stays", {"x"}, "%d stays"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(translated(c.text, c.values), c.expected) << c.text;
    EXPECT_STREQ(translated("No rhythm chosen."), "No rhythm chosen.");
}

}  // namespace
}  // namespace taktwerk::core
