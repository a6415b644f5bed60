#include "rhythms/StarterRhythms.h"

#include "TempFolder.h"
#include "rhythms/RhythmFile.h"
#include "rhythms/RhythmLibrary.h"

#include <gtest/gtest.h>

namespace taktwerk::rhythms {
namespace {

using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

const std::filesystem::path kStarterDir = TAKTWERK_STARTER_RHYTHMS;

TEST(StarterRhythms, AreExactlyWhatTheProgramWouldHaveSaved)
{
    const RhythmLibrary starters(kStarterDir);
    const auto names = starters.list();
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), 12u);
    TempFolder folder;
    const RhythmLibrary resaved(folder.path());
    for (const std::string& name : *names) {
        // A load that has to mend nothing, and a save that gives back the same bytes.
        auto profile = core::ProfileFile::open(starters.pathFor(name));
        ASSERT_TRUE(profile);
        const Rhythm stored = readRhythm(*profile, Rhythm{});
        EXPECT_EQ(loadRhythm(*profile, Rhythm{}, false).rhythm, stored) << name;
        EXPECT_EQ(stored.name, name);
        ASSERT_TRUE(resaved.save(name, stored));
        EXPECT_EQ(readBytes(resaved.pathFor(name)), readBytes(starters.pathFor(name))) << name;
    }
}

TEST(StarterRhythms, GoOnlyIntoAnEmptyFolder)
{
    TempFolder folder;
    std::filesystem::create_directory(folder / "Rhythms");
    const auto copied = installStarterRhythms(kStarterDir, folder / "Rhythms");
    ASSERT_TRUE(copied) << copied.error().message;
    EXPECT_EQ(*copied, 12);
    EXPECT_EQ(readBytes(folder / "Rhythms" / "Shuffle.rtm"),
              readBytes(kStarterDir / "Shuffle.rtm"));

    std::filesystem::create_directory(folder / "Mine");
    writeBytes(folder / "Mine" / "Own.rtm", "");
    EXPECT_EQ(*installStarterRhythms(kStarterDir, folder / "Mine"), 0);
    EXPECT_EQ(*RhythmLibrary(folder / "Mine").list(), std::vector<std::string>{"Own"});
}

}  // namespace
}  // namespace taktwerk::rhythms
