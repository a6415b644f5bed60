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

TEST(StarterRhythms, TheShuffleSwingsAndTheFunkHasGhostNotes)
{
    const RhythmLibrary starters(kStarterDir);
    const auto read = [&](const std::string& name) {
        return readRhythm(*core::ProfileFile::open(starters.pathFor(name)), Rhythm{});
    };
    const Rhythm shuffle = read("Shuffle");
    EXPECT_EQ(shuffle.Interval, 4) << "swing plays at four steps per beat only";
    EXPECT_EQ(shuffle.swing, (pattern::Swing{67, pattern::SwingNote::Eighth}));
    const Rhythm funk = read("Funk");
    EXPECT_LT(funk.pattern.velocity(1, 7), 64) << "a ghost note on the snare";
    EXPECT_EQ(funk.pattern.velocity(1, 4), 127) << "the backbeat at full strength";
    EXPECT_TRUE(read("Rock").pattern.hasDefaultVelocities());
    EXPECT_EQ(read("Rock").swing, pattern::Swing{});
    // As the window leaves them: only a set step has a velocity of its own.
    for (const Rhythm& grooved : {shuffle, funk}) {
        for (int track = 0; track < pattern::kTrackCount; ++track) {
            for (int step = 0; step < pattern::kStepCount; ++step) {
                if (!grooved.pattern.StepIsOn(track, step)) {
                    EXPECT_EQ(grooved.pattern.velocity(track, step), 127)
                        << grooved.name << " " << track << "/" << step;
                }
            }
        }
    }
}

TEST(StarterRhythms, MakeANewFolderWholeAndLeaveAnExistingOneAlone)
{
    TempFolder folder;
    const auto copied = installStarterRhythms(kStarterDir, folder / "Rhythms");
    ASSERT_TRUE(copied) << copied.error().message;
    EXPECT_EQ(*copied, 12);
    EXPECT_EQ(readBytes(folder / "Rhythms" / "Shuffle.rtm"),
              readBytes(kStarterDir / "Shuffle.rtm"));
    // Built under a temporary name and renamed: nothing of it is left beside the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);

    // A folder the user has, even an empty one (the starters deleted), stays as it is.
    for (const char* own : {"Mine", "Empty"})
        std::filesystem::create_directory(folder / own);
    writeBytes(folder / "Mine" / "Own.rtm", "");
    for (const char* own : {"Mine", "Empty"})
        EXPECT_EQ(*installStarterRhythms(kStarterDir, folder / own), 0);
    EXPECT_EQ(*RhythmLibrary(folder / "Mine").list(), std::vector<std::string>{"Own"});
    EXPECT_TRUE(std::filesystem::is_empty(folder / "Empty"));
}

}  // namespace
}  // namespace taktwerk::rhythms
