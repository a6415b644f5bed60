#include "rhythms/RhythmFile.h"

#include "TempFolder.h"
#include "rhythms/RhythmLoad.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace taktwerk::rhythms {
namespace {

using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

// Beat 1: 100 BPM, 4 steps per beat, 16 steps, bass drum on 0 and 8, snare on 4 and 12,
// hi-hat on every even column of the loop, ride muted.
Rhythm beatOne()
{
    Rhythm rhythm;
    rhythm.name = "Beat 1";
    rhythm.Bpm = 100;
    rhythm.pattern.PatternToRow(0, "X_______X");
    rhythm.pattern.PatternToRow(1, "____X_______X");
    rhythm.pattern.PatternToRow(2, "X_X_X_X_X_X_X_X_");
    rhythm.mutes.setMuted(4, true);
    return rhythm;
}

constexpr std::string_view kBeatOneFile = "[Settings]\r\n"
                                          "Name=Beat 1\r\n"
                                          "BPM=100\r\n"
                                          "Beats=16\r\n"
                                          "Intv=4\r\n"
                                          "Sound=Default\r\n"
                                          "[RhythmData]\r\n"
                                          "BD=X_______X_______________________\r\n"
                                          "SD=____X_______X___________________\r\n"
                                          "HH=X_X_X_X_X_X_X_X_________________\r\n"
                                          "OH=________________________________\r\n"
                                          "RC=________________________________\r\n"
                                          "CC=________________________________\r\n"
                                          "T1=________________________________\r\n"
                                          "T2=________________________________\r\n"
                                          "T3=________________________________\r\n"
                                          "[Mute]\r\n"
                                          "BD=0\r\n"
                                          "SD=0\r\n"
                                          "HH=0\r\n"
                                          "OH=0\r\n"
                                          "RC=1\r\n"
                                          "CC=0\r\n"
                                          "T1=0\r\n"
                                          "T2=0\r\n"
                                          "T3=0\r\n"
                                          "[Multi]\r\n"
                                          "Snare=0\r\n"
                                          "Ride=0\r\n"
                                          "Tom1=Tom 1\r\n"
                                          "Tom2=Tom 2\r\n"
                                          "Tom3=Tom 3\r\n";

// Beat 1 with a groove: swung 8ths, an accented hi-hat and a ghost snare.
Rhythm grooved()
{
    Rhythm rhythm = beatOne();
    rhythm.swing = {62, pattern::SwingNote::Eighth};
    for (int step = 0; step < 32; step += 2)
        rhythm.pattern.setVelocity(2, step, step % 4 == 0 ? 120 : 70);
    rhythm.pattern.SetStep(1, 7, true);
    rhythm.pattern.setVelocity(1, 7, 35);
    return rhythm;
}

std::string velocityLine(const std::string& key, const std::vector<int>& set = {})
{
    std::string line = key + "=";
    for (int step = 0; step < 32; ++step) {
        int velocity = 127;
        if (step < static_cast<int>(set.size()))
            velocity = set[static_cast<std::size_t>(step)];
        line += (step == 0 ? "" : ",") + std::to_string(velocity);
    }
    return line + "\r\n";
}

Rhythm readFile(const std::filesystem::path& file, const Rhythm& previous = {})
{
    auto profile = core::ProfileFile::open(file);
    EXPECT_TRUE(profile) << profile.error().message;
    return readRhythm(*profile, previous);
}

TEST(RhythmFile, NewFileIsExactlyTheLayoutTheProgramHasAlwaysWritten)
{
    TempFolder folder;
    ASSERT_TRUE(writeRhythmFile(beatOne(), folder / "Beat 1.rtm"));
    EXPECT_EQ(readBytes(folder / "Beat 1.rtm"), kBeatOneFile);
    EXPECT_EQ(readFile(folder / "Beat 1.rtm"), beatOne());
}

TEST(RhythmFile, AGrooveAddsItsKeysAfterSoundAndItsVelocitiesLast)
{
    TempFolder folder;
    ASSERT_TRUE(writeRhythmFile(grooved(), folder / "Beat 1.rtm"));
    std::string expected(kBeatOneFile);
    expected.insert(expected.find("[RhythmData]"), "Swing=62\r\nSwingNote=8\r\n");
    expected.replace(expected.find("SD=____X___"), 11, "SD=____X__X");
    std::vector<int> hiHat;
    for (int step = 0; step < 32; ++step)
        hiHat.push_back(step % 2 == 1 ? 127 : (step % 4 == 0 ? 120 : 70));
    expected += "[Velocity]\r\n" + velocityLine("BD") +
                velocityLine("SD", {127, 127, 127, 127, 127, 127, 127, 35}) +
                velocityLine("HH", hiHat);
    for (const char* key : {"OH", "RC", "CC", "T1", "T2", "T3"})
        expected += velocityLine(key);
    EXPECT_EQ(readBytes(folder / "Beat 1.rtm"), expected);
    EXPECT_EQ(readFile(folder / "Beat 1.rtm"), grooved());

    // Each swing key alone, only when it is not the default.
    Rhythm rhythm = beatOne();
    rhythm.swing.note = pattern::SwingNote::Eighth;
    ASSERT_TRUE(writeRhythmFile(rhythm, folder / "Eighths.rtm"));
    const std::string eighths = readBytes(folder / "Eighths.rtm");
    EXPECT_NE(eighths.find("Sound=Default\r\nSwingNote=8\r\n[RhythmData]"), std::string::npos);
    EXPECT_EQ(eighths.find("Swing="), std::string::npos);
    EXPECT_EQ(eighths.find("[Velocity]"), std::string::npos);
}

TEST(RhythmFile, SavedWithoutItsGrooveAFileIsByteForByteAsIfItNeverHadOne)
{
    TempFolder folder;
    ASSERT_TRUE(writeRhythmFile(grooved(), folder / "Beat 1.rtm"));
    ASSERT_TRUE(writeRhythmFile(beatOne(), folder / "Beat 1.rtm"));
    EXPECT_EQ(readBytes(folder / "Beat 1.rtm"), kBeatOneFile);
    EXPECT_EQ(readFile(folder / "Beat 1.rtm"), beatOne());
}

TEST(RhythmFile, TheOldProgramsSaveKeepsTheGroove)
{
    // The Windows program sets its 28 keys in place and leaves every other line alone.
    TempFolder folder;
    ASSERT_TRUE(writeRhythmFile(grooved(), folder / "Beat 1.rtm"));
    auto profile = core::ProfileFile::open(folder / "Beat 1.rtm");
    ASSERT_TRUE(profile);
    profile->set("Settings", "BPM", "90");
    profile->set("RhythmData", "HH", "X_X_X_X_X_X_X_X_X_X_X_X_X_X_X_X_");
    profile->set("Mute", "RC", "0");
    ASSERT_TRUE(profile->commit());
    const Rhythm reread = readFile(folder / "Beat 1.rtm");
    EXPECT_EQ(reread.swing, grooved().swing);
    EXPECT_EQ(reread.pattern.velocities(), grooved().pattern.velocities());
    EXPECT_EQ(reread.Bpm, 90);
}

TEST(RhythmFile, OddGrooveValuesReadAsTheNearestTheProgramCanPlay)
{
    const struct {
        const char* swing;
        const char* note;
        int percent;
        pattern::SwingNote read;
    } swings[] = {
        {"58", "8", 58, pattern::SwingNote::Eighth},
        {"62.5", "8.0", 62, pattern::SwingNote::Eighth},  // halves to even, as every number
        {" 70 ", "16", 70, pattern::SwingNote::Sixteenth},
        {"80", "4", 75, pattern::SwingNote::Sixteenth},
        {"1e9", "32", 75, pattern::SwingNote::Sixteenth},
        {"49", "-8", 50, pattern::SwingNote::Sixteenth},
        {"-70000", "eight", 50, pattern::SwingNote::Sixteenth},
        {"abc", "", 50, pattern::SwingNote::Sixteenth},
        {"66%", "8ths", 66, pattern::SwingNote::Eighth},
    };
    for (const auto& c : swings) {
        const auto profile = core::ProfileFile::fromBytes(
            std::string("[Settings]\r\nSwing=") + c.swing + "\r\nSwingNote=" + c.note + "\r\n");
        const Rhythm rhythm = readRhythm(profile, Rhythm{});
        EXPECT_EQ(rhythm.swing.percent, c.percent) << c.swing;
        EXPECT_EQ(rhythm.swing.note, c.read) << c.note;
    }

    // Velocities: clamped, 127 for what is no number, a short list filled, a long one cut.
    const struct {
        const char* list;
        std::vector<int> first;  // the rest is 127
    } lists[] = {
        {"64,abc,,0,200, 12 ,1e3,-5,96.5,2.5", {64, 127, 127, 1, 127, 12, 127, 1, 96, 2}},
        {"1", {1}},
        {"", {}},
        {",,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,", {}},
        {"x64", {127}},
        {"+64;65", {64}},
    };
    for (const auto& c : lists) {
        const auto profile =
            core::ProfileFile::fromBytes(std::string("[Velocity]\r\nSD=") + c.list + "\r\n");
        const Rhythm rhythm = readRhythm(profile, Rhythm{});
        for (int step = 0; step < 32; ++step) {
            const auto at = static_cast<std::size_t>(step);
            EXPECT_EQ(rhythm.pattern.velocity(1, step), at < c.first.size() ? c.first[at] : 127)
                << c.list << ", step " << step;
        }
        EXPECT_TRUE(rhythm.pattern.hasDefaultVelocities(0)) << "a missing key: all 127";
    }
    std::string longList = "5";
    for (int step = 1; step < 40; ++step)
        longList += ",5";
    const Rhythm cut =
        readRhythm(core::ProfileFile::fromBytes("[Velocity]\r\nT3=" + longList + "\r\n"), Rhythm{});
    pattern::VelocityRow fives;
    fives.fill(5);
    EXPECT_EQ(cut.pattern.velocities()[8], fives);
}

TEST(RhythmFile, SaveOverAnOldFileReplacesTheValuesInPlaceAndKeepsWhatItDoesNotKnow)
{
    TempFolder folder;
    writeBytes(folder / "Old.rtm", "[Settings]\r\n"
                                   "Name=Old\r\n"
                                   "Comment=made by hand\r\n"
                                   "BPM=90\r\n"
                                   "[Notes]\r\n"
                                   "Drummer=Anna\r\n"
                                   "[Mute]\r\n"
                                   "RC=0\r\n");
    ASSERT_TRUE(writeRhythmFile(beatOne(), folder / "Old.rtm"));
    const std::string bytes = readBytes(folder / "Old.rtm");
    // Known keys are replaced where they stand, missing ones follow the last key of their
    // section, missing sections go to the end.
    const std::string_view start = "[Settings]\r\n"
                                   "Name=Beat 1\r\n"
                                   "Comment=made by hand\r\n"
                                   "BPM=100\r\n"
                                   "Beats=16\r\n"
                                   "Intv=4\r\n"
                                   "Sound=Default\r\n"
                                   "[Notes]\r\n"
                                   "Drummer=Anna\r\n"
                                   "[Mute]\r\n"
                                   "RC=1\r\n"
                                   "BD=0\r\n"
                                   "SD=0\r\n"
                                   "HH=0\r\n"
                                   "OH=0\r\n"
                                   "CC=0\r\n"
                                   "T1=0\r\n"
                                   "T2=0\r\n"
                                   "T3=0\r\n"
                                   "[RhythmData]\r\n";
    EXPECT_EQ(bytes.substr(0, start.size()), start);
    EXPECT_EQ(readFile(folder / "Old.rtm"), beatOne());
    EXPECT_EQ(core::ProfileFile::open(folder / "Old.rtm")->read("Notes", "Drummer", ""), "Anna");
}

TEST(RhythmFile, ReadsWhatHandsAndOtherProgramsLeaveInAFile)
{
    TempFolder folder;
    writeBytes(folder / "Test.rtm", "[Settings]\r\nName=Test\r\n");
    Rhythm defaults;
    defaults.name = "Test";
    EXPECT_EQ(readFile(folder / "Test.rtm"), defaults);

    // Case-blind names, the capital X alone, a row shorter than 32 steps.
    writeBytes(folder / "Odd.rtm", "[SETTINGS]\nbpm=90\n[rhythmdata]\nBD=XxX\n");
    const Rhythm odd = readFile(folder / "Odd.rtm");
    EXPECT_EQ(odd.Bpm, 90);
    EXPECT_EQ(odd.pattern.RowToPattern(0), "X_X_____________________________");

    // Only the one-character "1" mutes.
    writeBytes(folder / "Mutes.rtm", "[Mute]\r\nBD=01\r\nSD=2\r\nHH=yes\r\nOH=1\r\nRC=1.0\r\n");
    const auto mutes = readFile(folder / "Mutes.rtm").mutes;
    EXPECT_EQ(mutes.bits(), 1u << 3);
}

TEST(RhythmFile, UmlautsTravelAsWindows1252AndComeBackUnchanged)
{
    TempFolder folder;
    Rhythm rhythm = beatOne();
    rhythm.name = "Grüße aus Köln";
    rhythm.SoundSet = "Bäcker";
    rhythm.Tom3Sound = "Stand-Tom ß €";
    ASSERT_TRUE(writeRhythmFile(rhythm, folder / "x.rtm"));
    const std::string bytes = readBytes(folder / "x.rtm");
    EXPECT_NE(bytes.find("Name=Gr\xFC\xDF"
                         "e aus K\xF6ln\r\n"),
              std::string::npos);
    EXPECT_NE(bytes.find("Tom3=Stand-Tom \xDF \x80\r\n"), std::string::npos);
    EXPECT_EQ(readFile(folder / "x.rtm"), rhythm);

    // As the Windows program wrote them.
    writeBytes(folder / "win.rtm", "[Settings]\r\nName=M\xE4rz \xC4\r\nSound=\xDC"
                                   "ber\r\n");
    const Rhythm windows = readFile(folder / "win.rtm");
    EXPECT_EQ(windows.name, "März Ä");
    EXPECT_EQ(windows.SoundSet, "Über");
}

}  // namespace
}  // namespace taktwerk::rhythms
