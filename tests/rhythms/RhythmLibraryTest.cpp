#include "rhythms/RhythmLibrary.h"

#include "TempFolder.h"
#include "core/Language.h"
#include "rhythms/RhythmFile.h"
#include "rhythms/RhythmName.h"

#include <gtest/gtest.h>

namespace taktwerk::rhythms {
namespace {

using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

std::vector<std::string> listOf(const RhythmLibrary& library)
{
    auto names = library.list();
    EXPECT_TRUE(names) << names.error().message;
    return names ? *names : std::vector<std::string>{};
}

TEST(RhythmName, RefusesWhatCannotBeAFileNameOrAWindows1252Text)
{
    for (const std::string_view name :
         {"", ".", "..", "a/b", "a\\b", "C:", "a*", "wer?", "\"Hi\"", "<a>", "a|b", "tab\there",
          "line\n", "del\x7F", "c1\xC2\x81", "日本", "emoji \xF0\x9F\xA5\x81", "bad \xFF",
          "cut \xC3"}) {
        const auto checked = checkRhythmName(name);
        ASSERT_FALSE(checked) << name;
        EXPECT_FALSE(checked.error().message.empty());
    }
    // The user reads why, in the locale's language; German word for word as ever.
    struct Reason {
        core::Language language;
        const char* forbidden;
        const char* unholdable;
    };
    for (const Reason& r : {
             Reason{core::Language::German,
                    "Der Name darf keines dieser Zeichen enthalten: \\ / : * ? \" < > |",
                    "Der Name darf das Zeichen \"日\" nicht enthalten."},
             Reason{core::Language::English,
                    "The name must not hold any of these characters: \\ / : * ? \" < > |",
                    "The name must not hold the character \"日\"."},
         }) {
        ASSERT_TRUE(core::useLanguage(r.language, TAKTWERK_LOCALE_DIR));
        EXPECT_EQ(checkRhythmName("wer?").error().message, r.forbidden);
        EXPECT_EQ(checkRhythmName("日本").error().message, r.unholdable);
    }
    for (const std::string_view name :
         {"Rock", "Waltz 3.4", "Rock & Roll", "Grüße", "Über 120 €", "a..b", "#1"})
        EXPECT_TRUE(checkRhythmName(name)) << name;
}

TEST(RhythmLibrary, ListsRhythmFilesByNameWithoutRegardToCase)
{
    TempFolder folder;
    const RhythmLibrary library(folder.path());
    EXPECT_TRUE(listOf(library).empty());
    EXPECT_TRUE(listOf(RhythmLibrary(folder / "missing")).empty());

    // The extension in any letter case, as copies from Windows carry it.
    for (const char* name : {"Rock.rtm", "ballad.rtm", "Blues.rtm", "Waltz 3.4.rtm", "notes.txt",
                             "Shout.RTM", "rtm", ".rtm", ".RTM"})
        writeBytes(folder / name, "");
    std::filesystem::create_directory(folder / "Folder.rtm");
    EXPECT_EQ(listOf(library),
              (std::vector<std::string>{"ballad", "Blues", "Rock", "Shout", "Waltz 3.4"}));

    // Letters with umlauts fold as well; equal names in another case keep a fixed order.
    for (const char* name : {"über.rtm", "Übel.rtm", "ROCK.rtm"})
        writeBytes(folder / name, "");
    EXPECT_EQ(listOf(library), (std::vector<std::string>{"ballad", "Blues", "ROCK", "Rock", "Shout",
                                                         "Waltz 3.4", "Übel", "über"}));
}

TEST(RhythmLibrary, SaveWritesTheFileUnderTheNameAndRefusesBadNamesUntouched)
{
    TempFolder folder;
    const RhythmLibrary library(folder.path());
    Rhythm rhythm;
    rhythm.name = "Old name";
    rhythm.Bpm = 96;

    const auto saved = library.save("Grüße 3.4", rhythm);
    ASSERT_TRUE(saved) << saved.error().message;
    EXPECT_EQ(*saved, folder.path() / "Grüße 3.4.rtm");
    EXPECT_TRUE(library.contains("Grüße 3.4"));
    const auto loaded = library.load("Grüße 3.4", Rhythm{}, false);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->rhythm.name, "Grüße 3.4");
    EXPECT_EQ(loaded->rhythm.Bpm, 96);
    EXPECT_EQ(listOf(library), std::vector<std::string>{"Grüße 3.4"});

    for (const std::string_view bad : {"", "a/b", "..", "日本"}) {
        const auto refused = library.save(bad, rhythm);
        ASSERT_FALSE(refused) << bad;
        EXPECT_FALSE(refused.error().message.empty());
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST(RhythmLibrary, SaveOfAValueTheFileCannotHoldReportsAndLeavesTheOldFileIntact)
{
    TempFolder folder;
    const RhythmLibrary library(folder.path());
    Rhythm rhythm;
    ASSERT_TRUE(library.save("Rock", rhythm));
    const std::string before = readBytes(folder / "Rock.rtm");

    // A sample set named in a script the file's code page cannot hold.
    Rhythm foreign = rhythm;
    foreign.SoundSet = "ドラム";
    const auto refused = library.save("Rock", foreign);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message.find("Rock.rtm"), std::string::npos)
        << refused.error().message;
    EXPECT_EQ(readBytes(folder / "Rock.rtm"), before);
}

TEST(RhythmLibrary, DeleteRemovesTheFileAndTakesAVanishedOneAsDone)
{
    TempFolder folder;
    const RhythmLibrary library(folder.path());
    ASSERT_TRUE(library.save("Rock", Rhythm{}));
    ASSERT_TRUE(library.save("Blues", Rhythm{}));

    EXPECT_TRUE(library.remove("Rock"));
    EXPECT_EQ(listOf(library), std::vector<std::string>{"Blues"});
    EXPECT_TRUE(library.remove("Rock"));  // gone meanwhile

    std::filesystem::create_directory(folder / "Dir.rtm");
    std::filesystem::create_directory(folder / "Dir.rtm" / "inside");
    const auto folderRemoved = library.remove("Dir");
    ASSERT_FALSE(folderRemoved);
    EXPECT_NE(folderRemoved.error().message.find("Dir"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(folder / "Dir.rtm" / "inside"));

    if (std::filesystem::path::preferred_separator == '/') {
        // Another system's rhythm file with a name Windows never allowed is still a rhythm here.
        writeBytes(folder / "AC\\DC.rtm", "");
        EXPECT_TRUE(library.remove("AC\\DC"));
        EXPECT_FALSE(std::filesystem::exists(folder / "AC\\DC.rtm"));
    }
    EXPECT_FALSE(library.remove(""));
    EXPECT_FALSE(library.remove("../Blues"));
    EXPECT_TRUE(std::filesystem::exists(folder / "Blues.rtm"));
}

TEST(RhythmLibrary, NamesFromWindowsCopiesAreListedLoadedSavedAndDeletedByTheirOwnBytes)
{
    TempFolder folder;
    const RhythmLibrary library(folder.path());
    Rhythm rhythm;
    rhythm.Bpm = 101;
    // "Köln Groove" in Windows-1252, as the Windows program's copy carries it, and an extension
    // in capitals.
    rhythm.name = "Köln Groove";
    for (const char* file : {"K\xf6ln Groove.rtm", "ROCK.RTM"})
        ASSERT_TRUE(writeRhythmFile(rhythm, folder / file));
    EXPECT_EQ(listOf(library), (std::vector<std::string>{"Köln Groove", "ROCK"}));
    const auto entries = library.entries();
    ASSERT_TRUE(entries);
    EXPECT_EQ((*entries)[0].file, folder / "K\xf6ln Groove.rtm");
    EXPECT_EQ((*entries)[1].file, folder / "ROCK.RTM");

    for (const std::string_view name : {"Köln Groove", "ROCK"}) {
        EXPECT_TRUE(library.contains(name)) << name;
        const auto load = library.load(name, Rhythm{}, false);
        ASSERT_TRUE(load) << name;
        EXPECT_EQ(load->rhythm.Bpm, 101) << name;
        // Saved back into the file it came from, not beside it under another spelling.
        rhythm.Bpm = 77;
        const auto saved = library.save(name, rhythm);
        ASSERT_TRUE(saved) << name;
        EXPECT_EQ(library.load(name, Rhythm{}, false)->rhythm.Bpm, 77);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2);
    EXPECT_EQ(library.pathFor("Köln Groove"), folder / "K\xf6ln Groove.rtm");

    for (const std::string_view name : {"Köln Groove", "ROCK"})
        EXPECT_TRUE(library.remove(name)) << name;
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST(RhythmLibrary, ALinkLeadingOutOfTheFolderIsNeitherSavedThroughNorDeleted)
{
    TempFolder folder;
    std::filesystem::create_directory(folder / "Rhythms");
    std::filesystem::create_directory(folder / "outside");
    writeBytes(folder / "outside" / "victim.txt", "not a rhythm");
    const RhythmLibrary library(folder / "Rhythms");
    ASSERT_TRUE(library.save("Real", Rhythm{}));
    std::filesystem::create_symlink(folder / "outside" / "victim.txt",
                                    folder / "Rhythms" / "Out.rtm");
    std::filesystem::create_symlink("../Rhythms/../outside/victim.txt",
                                    folder / "Rhythms" / "Sneaky.rtm");
    std::filesystem::create_symlink("Real.rtm", folder / "Rhythms" / "Alias.rtm");

    for (const std::string_view name : {"Out", "Sneaky"}) {
        const auto saved = library.save(name, Rhythm{});
        ASSERT_FALSE(saved) << name;
        EXPECT_NE(saved.error().message.find("outside the rhythm folder"), std::string::npos);
        EXPECT_FALSE(library.remove(name)) << name;
        EXPECT_TRUE(std::filesystem::is_symlink(folder / "Rhythms" / (std::string(name) + ".rtm")));
    }
    EXPECT_EQ(readBytes(folder / "outside" / "victim.txt"), "not a rhythm");

    // A link within the folder is the folder's own business: saving writes its target.
    Rhythm fast;
    fast.Bpm = 200;
    ASSERT_TRUE(library.save("Alias", fast));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "Rhythms" / "Alias.rtm"));
    EXPECT_EQ(library.load("Real", Rhythm{}, false)->rhythm.Bpm, 200);
    EXPECT_TRUE(library.remove("Alias"));
    EXPECT_TRUE(std::filesystem::exists(folder / "Rhythms" / "Real.rtm"));
}

}  // namespace
}  // namespace taktwerk::rhythms
