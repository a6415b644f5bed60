#include "rhythms/RhythmFile.h"

#include "TempFolder.h"
#include "rhythms/RhythmLoad.h"

#include <gtest/gtest.h>

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
