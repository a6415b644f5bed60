// Saves killed at random moments: a helper saves a rhythm and the settings in a loop and is
// killed with SIGKILL (no handler, no flush, no clean-up) at random points, again and again on
// the same files. After every kill each file must be exactly one complete version, the old or
// a new one, with the keys this program does not know still in it.

#include "SaveVersions.h"
#include "core/Profile.h"
#include "rhythms/RhythmLibrary.h"
#include "rhythms/TempFolder.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace taktwerk::hardening {
namespace {

using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

// Written by the Windows program and edited by hand: keys and a section we do not know, an
// umlaut in Windows-1252, a comment.
constexpr std::string_view kSeedRhythm = "[Settings]\r\nName=Kill test\r\nAuthor=Zo\xEB\r\n"
                                         "BPM=100\r\n[RhythmData]\r\nBD=X___\r\n"
                                         "; keep me\r\n[Multi]\r\nTom1=Seed\r\n"
                                         "[Extra]\r\nColour=#FF8080\r\n";
constexpr std::string_view kSeedSettings = "[Quorrel Taktwerk]\r\nSound=Seed\r\nMode=1\r\n"
                                           "Window=10,20\r\n[Recent]\r\nFile=Kill test.rtm\r\n";

std::filesystem::path rhythmFile(const std::filesystem::path& folder)
{
    return rhythms::RhythmLibrary(folder).pathFor(kRhythmName);
}

// The version a file says it is: nullopt for the seed, else n.
std::optional<std::uint32_t> versionOf(std::string_view bytes, std::string_view section,
                                       std::string_view key, std::string_view prefix)
{
    const auto value = core::ProfileFile::fromBytes(bytes).get(section, key);
    if (!value || !value->starts_with(prefix))
        return std::nullopt;
    return static_cast<std::uint32_t>(std::stoul(value->substr(prefix.size())));
}

// What version n's saves make of the seed files, written by the same code the loop runs.
std::pair<std::string, std::string> expectedFiles(const std::filesystem::path& scratch,
                                                  std::uint32_t n)
{
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directory(scratch);
    writeBytes(rhythmFile(scratch), kSeedRhythm);
    writeBytes(scratch / kSettingsFile, kSeedSettings);
    EXPECT_TRUE(rhythms::RhythmLibrary(scratch).save(kRhythmName, rhythmVersion(n)));
    EXPECT_TRUE(app::saveSoundSettings(settingsVersion(scratch, n), true));
    return {readBytes(rhythmFile(scratch)), readBytes(scratch / kSettingsFile)};
}

pid_t startSaveLoop(const std::filesystem::path& folder, std::uint32_t first)
{
    std::string program = TAKTWERK_SAVE_LOOP;
    std::string folderArg = folder.string();
    std::string firstArg = std::to_string(first);
    char* argv[] = {program.data(), folderArg.data(), firstArg.data(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    return pid;
}

TEST(CrashSafeFiles, AKilledSaveLeavesTheOldOrTheNewVersionWithUnknownKeysKept)
{
    constexpr int kRounds = 40;
    constexpr std::uint32_t kVersionsPerRound = 1'000'000;
    TempFolder temp;
    const std::filesystem::path folder = temp / "files";
    const std::filesystem::path scratch = temp / "scratch";
    std::filesystem::create_directory(folder);
    writeBytes(rhythmFile(folder), kSeedRhythm);
    writeBytes(folder / kSettingsFile, kSeedSettings);

    // How long the loop takes to its first durable save here: a start and two fsyncs take a
    // few milliseconds on a quiet disk and many times that under a sanitizer or a busy disk.
    // Kills are spread from the loop's start to well past that moment, so that most rounds
    // land after some saves on any machine (a kill before the first save proves nothing).
    const auto firstSave = [&] {
        const std::filesystem::path trial = temp / "trial";
        std::filesystem::create_directory(trial);
        writeBytes(rhythmFile(trial), kSeedRhythm);
        writeBytes(trial / kSettingsFile, kSeedSettings);
        const auto started = std::chrono::steady_clock::now();
        const pid_t pid = startSaveLoop(trial, 1);
        auto elapsed = std::chrono::steady_clock::duration::zero();
        while (!versionOf(readBytes(rhythmFile(trial)), "Multi", "Tom1", "Version ") &&
               elapsed < std::chrono::seconds(5)) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            elapsed = std::chrono::steady_clock::now() - started;
        }
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
    }();
    std::mt19937 random(7);  // the kill moments vary with the machine's speed anyway
    std::uniform_int_distribution<long long> killAfterMicroseconds(
        1'000, std::max<long long>(40'000, 4 * firstSave + 40'000));
    std::optional<std::uint32_t> rhythmBefore;
    std::optional<std::uint32_t> settingsBefore;
    int roundsWithNewVersions = 0;
    for (int round = 1; round <= kRounds; ++round) {
        const std::uint32_t first = static_cast<std::uint32_t>(round) * kVersionsPerRound;
        const pid_t pid = startSaveLoop(folder, first);
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(killAfterMicroseconds(random)));
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the save loop ended by itself: status " << status;

        const std::string rhythm = readBytes(rhythmFile(folder));
        const std::string settings = readBytes(folder / kSettingsFile);
        const auto rhythmNow = versionOf(rhythm, "Multi", "Tom1", "Version ");
        const auto settingsNow = versionOf(settings, "Quorrel Taktwerk", "Sound", "Set ");
        SCOPED_TRACE("round " + std::to_string(round));
        // Old (as the round found it) or new (a version of this round), never anything else.
        for (const auto& [now, before] :
             {std::pair{rhythmNow, rhythmBefore}, std::pair{settingsNow, settingsBefore}}) {
            ASSERT_TRUE(now == before || (now && *now >= first));
        }
        // Byte for byte what that version's save writes: nothing torn, the unknown keys there.
        const auto [rhythmExpected, settingsExpected] =
            rhythmNow ? expectedFiles(scratch, *rhythmNow)
                      : std::pair{std::string(kSeedRhythm), std::string(kSeedSettings)};
        ASSERT_EQ(rhythm, rhythmExpected);
        ASSERT_EQ(settings, settingsNow ? expectedFiles(scratch, *settingsNow).second
                                        : std::string(kSeedSettings));
        // The rhythm is saved first, the settings second, and each save is durable in order.
        if (settingsNow && *settingsNow >= first) {
            ASSERT_TRUE(*rhythmNow == *settingsNow || *rhythmNow == *settingsNow + 1);
        }

        // A temporary file left by a killed save is no rhythm of the library.
        const auto names = rhythms::RhythmLibrary(folder).list();
        ASSERT_TRUE(names);
        ASSERT_EQ(*names, std::vector<std::string>{std::string(kRhythmName)});

        if (rhythmNow != rhythmBefore)
            ++roundsWithNewVersions;
        rhythmBefore = rhythmNow;
        settingsBefore = settingsNow;
    }
    // Kills before the first save proves nothing; most rounds must have saved something.
    EXPECT_GE(roundsWithNewVersions, kRounds / 2);
    RecordProperty("RoundsWithNewVersions", roundsWithNewVersions);
    RecordProperty("SavesInLastRound",
                   static_cast<int>(rhythmBefore.value_or(0) % kVersionsPerRound));
    // A killed save may leave its temporary file behind (nothing can remove it at a SIGKILL);
    // it is hidden and never listed, and the next save does not trip over it.
    RecordProperty(
        "TemporaryFilesLeft",
        static_cast<int>(std::distance(std::filesystem::directory_iterator(folder), {})) - 2);
}

}  // namespace
}  // namespace taktwerk::hardening
