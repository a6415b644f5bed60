#include "rhythms/RhythmLoad.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

namespace taktwerk::rhythms {
namespace {

using testing::TempFolder;
using testing::writeBytes;

LoadedRhythm loadText(const TempFolder& folder, std::string_view text, const Rhythm& current = {},
                      bool beginner = false)
{
    writeBytes(folder / "load.rtm", text);
    auto loaded = loadRhythmFile(folder / "load.rtm", current, beginner);
    EXPECT_TRUE(loaded) << loaded.error().message;
    return *loaded;
}

TEST(RhythmLoad, MissingFileGivesTheDefaultRhythmWhateverWasLoadedBefore)
{
    TempFolder folder;
    Rhythm current;
    current.pattern = pattern::Pattern::startPattern();
    current.mutes.fill(true);
    current.Interval = 3;
    current.Beats = 24;
    const auto loaded = loadRhythmFile(folder / "nowhere.rtm", current, false);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->rhythm, Rhythm{});
    EXPECT_EQ(loaded->resolutionOption, 1);
}

TEST(RhythmLoad, MeterAlwaysEndsAsALoopLengthOfTheInterval)
{
    TempFolder folder;
    Rhythm fourBy32;
    fourBy32.Beats = 32;
    Rhythm fiveBy10;
    fiveBy10.Interval = 5;
    fiveBy10.Beats = 10;
    const struct {
        std::string_view intv;
        std::string_view beats;
        const Rhythm& current;
        int interval;
        int option;
        int loop;
    } cases[] = {
        {"3", "24", fourBy32, 3, 2, 24},     {"5", "10", fourBy32, 5, 0, 10},
        {"4", "24", fourBy32, 4, 2, 32},      // a length of another interval: same option
        {"5", "32", fourBy32, 5, 2, 30},      // ... five steps per beat stop at 30
        {"4", "17", fourBy32, 4, 1, 16},      // no loop length at all: four beats
        {"7", "8", fourBy32, 4, 0, 8},        // no such interval: 4
        {"0", "", fourBy32, 4, 1, 16},        // missing Beats reads as 16
        {"70000", "20", fiveBy10, 5, 1, 20},  // does not fit: the previous interval stays
        {"3", "70000", fiveBy10, 3, 0, 6},    // ... and the previous loop length picks the option
    };
    for (const auto& c : cases) {
        const auto loaded = loadText(folder,
                                     "[Settings]\r\nIntv=" + std::string(c.intv) +
                                         "\r\nBeats=" + std::string(c.beats) + "\r\n",
                                     c.current);
        EXPECT_EQ(loaded.rhythm.Interval, c.interval) << c.intv << "/" << c.beats;
        EXPECT_EQ(loaded.intervalOption, c.interval - 3) << c.intv << "/" << c.beats;
        EXPECT_EQ(loaded.resolutionOption, c.option) << c.intv << "/" << c.beats;
        EXPECT_EQ(loaded.rhythm.Beats, c.loop) << c.intv << "/" << c.beats;
    }
}

TEST(RhythmLoad, TempoAndVariantsAreMendedToWhatTheControlsCanShow)
{
    TempFolder folder;
    Rhythm current;
    current.Bpm = 140;
    current.SnareChoice = 2;
    const struct {
        std::string_view bpm;
        std::string_view snare;
        std::string_view ride;
        int wantBpm;
        int wantSnare;
        int wantRide;
    } cases[] = {
        {"99.5", "1", "2", 100, 1, 2},     {"98.5", "", "", 98, 0, 0},
        {"abc", "3", "-1", 35, 0, 0},      {"1000", "2.5", "1.5", 450, 2, 2},
        {"70000", "70000", "", 140, 2, 0}, {"35", "0", "0", 35, 0, 0},
    };
    for (const auto& c : cases) {
        const auto loaded = loadText(folder,
                                     "[Settings]\r\nBPM=" + std::string(c.bpm) +
                                         "\r\n[Multi]\r\nSnare=" + std::string(c.snare) +
                                         "\r\nRide=" + std::string(c.ride) + "\r\n",
                                     current);
        EXPECT_EQ(loaded.rhythm.Bpm, c.wantBpm) << c.bpm;
        EXPECT_EQ(loaded.rhythm.SnareChoice, c.wantSnare) << c.snare;
        EXPECT_EQ(loaded.rhythm.RideChoice, c.wantRide) << c.ride;
    }
}

TEST(RhythmLoad, BeginnerViewMergesTheOpenHiHatAndRemembersTheHiHatRow)
{
    TempFolder folder;
    const std::string_view file = "[RhythmData]\r\nHH=X___X\r\nOH=__X_X\r\n";

    const auto beginner = loadText(folder, file, Rhythm{}, true);
    EXPECT_EQ(beginner.rhythm.pattern.RowToPattern(2), "X_X_X___________________________");
    EXPECT_EQ(beginner.rhythm.pattern.RowToPattern(3), "__X_X___________________________");
    EXPECT_EQ(beginner.HiHatMemory, "X___X___________________________");

    const auto full = loadText(folder, file, Rhythm{}, false);
    EXPECT_EQ(full.rhythm.pattern.RowToPattern(2), "X___X___________________________");
    EXPECT_EQ(full.HiHatMemory, "");
}

}  // namespace
}  // namespace taktwerk::rhythms
