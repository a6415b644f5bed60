// Bad input through the front doors: rhythm files no program of ours wrote, names no file can
// have, folders that are read-only, missing or something else, sample sets of anything but WAV.
// Each ends in a documented default or a clear message, and nothing the user had is lost.

#include "app/Settings.h"
#include "cli/InfoCommand.h"
#include "core/AtomicFile.h"
#include "core/Profile.h"
#include "rhythms/RhythmFile.h"
#include "rhythms/RhythmLibrary.h"
#include "rhythms/TempFolder.h"
#include "sound/VoiceSet.h"

#include <array>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace taktwerk::hardening {
namespace {

namespace fs = std::filesystem;
using rhythms::Rhythm;
using rhythms::RhythmLibrary;
using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

// `taktwerk info FILE --json` as the command line runs it.
struct InfoRun {
    int code;
    std::string out;
    std::string err;
};
InfoRun info(const fs::path& file)
{
    std::ostringstream out;
    std::ostringstream err;
    const std::string path = file.string();
    const std::vector<std::string_view> args{path, "--json"};
    const int code = cli::runInfo(args, out, err);
    return {code, out.str(), err.str()};
}

// What a load on top of the start-up state leaves (tempo 120, 4 steps per beat, 16 steps).
Rhythm loaded(std::string_view bytes)
{
    return rhythms::loadRhythm(core::ProfileFile::fromBytes(bytes), Rhythm{}, false).rhythm;
}

std::string settingsWith(std::string_view lines) { return "[Settings]\r\n" + std::string(lines); }

TEST(BadRhythmFile, AbsurdNumbersEndAsValuesTheControlsCanShow)
{
    struct Case {
        std::string_view lines;
        int bpm;
        int interval;
        int beats;
    };
    // The tempo is clamped to the tempo bar; a number that does not fit 16 bits keeps the
    // value before the load; an interval other than 3, 4, 5 gives 4; a loop length that is
    // none of the nine gives the middle option's length.
    const Case cases[] = {
        {"", 120, 4, 16},
        {"BPM=70000\r\n", 120, 4, 16},
        {"BPM=-5\r\n", 35, 4, 16},
        {"BPM=1e9\r\n", 120, 4, 16},
        {"BPM=1e3\r\n", 450, 4, 16},
        {"BPM=abc\r\n", 35, 4, 16},
        {"BPM= 99.5 bpm\r\n", 100, 4, 16},
        {"BPM=-32768.5\r\n", 35, 4, 16},
        {"BPM=32767.5\r\n", 120, 4, 16},
        {"BPM=NaN\r\nIntv=inf\r\n", 35, 4, 16},
        {"Intv=0\r\n", 120, 4, 16},
        {"Intv=7\r\nBeats=6\r\n", 120, 4, 8},
        {"Beats=33\r\n", 120, 4, 16},
        {"Intv=3\r\nBeats=33\r\n", 120, 3, 12},
        {"Intv=5\r\nBeats=32\r\n", 120, 5, 30},
        {"Intv=-3\r\nBeats=-16\r\n", 120, 4, 16},
        // The first of duplicated keys wins, as in every Windows INI file.
        {"BPM=90\r\nBPM=100\r\nIntv=3\r\nIntv=5\r\n", 90, 3, 12},
    };
    for (const Case& c : cases) {
        const Rhythm rhythm = loaded(settingsWith(c.lines));
        EXPECT_EQ(rhythm.Bpm, c.bpm) << c.lines;
        EXPECT_EQ(rhythm.Interval, c.interval) << c.lines;
        EXPECT_EQ(rhythm.Beats, c.beats) << c.lines;
    }
}

TEST(BadRhythmFile, MissingDuplicatedAndOversizedKeysLoadWithoutLosingTheRest)
{
    // Every key missing, whole sections missing: the default rhythm.
    for (const std::string_view bytes : {"", "[Settings]\r\n[RhythmData]\r\n[Mute]\r\n[Multi]",
                                         "\r\n\r\n", "[]\r\n=\r\n==\r\n[", "Name=Not in a section"})
        EXPECT_EQ(loaded(bytes), Rhythm{}) << bytes;

    // A section given twice: only the first counts, so a key only in the second is missing.
    const Rhythm twice = loaded("[Settings]\r\nBPM=90\r\n[Settings]\r\nBPM=100\r\nName=Second\r\n");
    EXPECT_EQ(twice.Bpm, 90);
    EXPECT_EQ(twice.name, "");

    // A step string of 10,000 characters and a name of 5,000: the first 32 steps count, the
    // name is cut where the Windows program cut every value (2047 characters).
    const std::string steps(10'000, 'X');
    const std::string longName(5'000, 'n');
    const Rhythm huge =
        loaded(settingsWith("Name=" + longName + "\r\n[RhythmData]\r\nSD=" + steps + "\r\n"));
    EXPECT_EQ(huge.pattern.RowToPattern(1), std::string(32, 'X'));
    EXPECT_EQ(huge.name, std::string(2047, 'n'));
    EXPECT_EQ(huge.pattern.row(0), 0u);
}

TEST(BadRhythmFile, BinaryGarbageLoadsAndPrintsAsValidJson)
{
    TempFolder folder;
    std::mt19937 random(1);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int file = 0; file < 20; ++file) {
        std::string garbage(4096, '\0');
        for (char& c : garbage)
            c = static_cast<char>(byte(random));
        // Garbage with a few real lines in it, so some keys are found among the noise.
        constexpr char kLines[] = "\r\n[Settings]\r\nName=\x01\xFF\xC3\r\nBPM=\x00"
                                  "99\r\n";
        garbage.insert(1000, kLines, sizeof kLines - 1);
        writeBytes(folder / "garbage.rtm", garbage);
        const InfoRun run = info(folder / "garbage.rtm");
        EXPECT_EQ(run.code, 0) << run.err;
        ASSERT_EQ(run.out.back(), '\n');
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);  // one line, one object
        EXPECT_TRUE(run.out.starts_with("{\"name\": ")) << run.out;
    }
}

TEST(BadRhythmFile, UmlautsInEitherEncodingReadAndSaveBackByteForByte)
{
    TempFolder folder;
    const RhythmLibrary library(folder.path());
    struct Case {
        std::string_view fileName;
        std::string bytes;
        std::string_view name;  // as the window shows it
    };
    const Case cases[] = {
        // Windows-1252, as the Windows program wrote it.
        {"ansi.rtm",
         "[Settings]\r\nName=Gr\xFC\xDF"
         "e \x80\r\nBPM=90\r\n",
         "Grüße €"},
        // UTF-8 with a byte-order mark, as a modern editor saves it.
        {"bom.rtm", "\xEF\xBB\xBF[Settings]\r\nName=Grüße €\r\nBPM=90\r\n", "Grüße €"},
        // UTF-8 without the mark reads as the Windows program would read it: every byte a
        // Windows-1252 character. Odd to look at, but saved back it is the same bytes.
        {"utf8.rtm", "[Settings]\r\nName=Grüße\r\nBPM=90\r\n", "GrÃ¼ÃŸe"},
    };
    for (const Case& c : cases) {
        writeBytes(folder / c.fileName, c.bytes);
        const auto load = rhythms::loadRhythmFile(folder / c.fileName, Rhythm{}, false);
        ASSERT_TRUE(load);
        EXPECT_EQ(load->rhythm.name, c.name) << c.fileName;
        EXPECT_EQ(load->rhythm.Bpm, 90);
        ASSERT_TRUE(rhythms::writeRhythmFile(load->rhythm, folder / c.fileName));
        const std::string saved = readBytes(folder / c.fileName);
        EXPECT_TRUE(saved.starts_with(c.bytes.substr(0, c.bytes.find("BPM")))) << c.fileName;
    }
}

TEST(BadRhythmName, RefusedWithAReasonAndNothingWrittenOutsideTheFolder)
{
    TempFolder folder;
    fs::create_directory(folder / "Rhythms");
    const RhythmLibrary library(folder / "Rhythms");
    for (const std::string_view name : {"../Escaped", "a/b", "a\\b", "..", ".", "C:evil", "what?",
                                        "pipe|", "<tag>", "star*", "quote\"", "/etc/passwd"}) {
        const auto saved = library.save(name, Rhythm{});
        ASSERT_FALSE(saved) << name;
        EXPECT_FALSE(saved.error().message.empty());
        // No path-like name gets anything written outside the rhythm folder.
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 1) << name;
    }
    EXPECT_TRUE(fs::is_empty(folder / "Rhythms"));
}

TEST(BadRhythmName, TooLongForAFileNameIsRefusedAndTheLongestPossibleSaves)
{
    TempFolder folder;
    const RhythmLibrary library(folder.path());
    // A file name holds at most 255 bytes; the name's UTF-8 plus ".rtm" must fit. Umlauts and
    // the euro sign take two and three bytes.
    const auto repeated = [](std::string_view text, std::size_t times) {
        std::string result;
        for (std::size_t i = 0; i < times; ++i)
            result += text;
        return result;
    };
    for (const std::string& name :
         {repeated("a", 300), repeated("a", 252), repeated("ü", 126), repeated("€", 84)}) {
        const auto saved = library.save(name, Rhythm{});
        ASSERT_FALSE(saved) << name.size();
        EXPECT_NE(saved.error().message.find("too long"), std::string::npos)
            << saved.error().message;
    }
    EXPECT_TRUE(fs::is_empty(folder.path()));
    for (const std::string& name : {repeated("a", 251), repeated("ü", 125), repeated("€", 83)}) {
        const auto saved = library.save(name, Rhythm{});
        ASSERT_TRUE(saved) << name.size() << ": " << saved.error().message << " ("
                           << saved.error().detail << ")";
        EXPECT_TRUE(library.contains(name));
        const auto load = library.load(name, Rhythm{}, false);
        ASSERT_TRUE(load);
        EXPECT_EQ(load->rhythm.name, name);
        ASSERT_TRUE(library.save(name, Rhythm{}));  // and again, over the file
    }
}

TEST(AtomicSave, AFileWithTheLongestNameAFolderHoldsIsReplacedToo)
{
    TempFolder folder;
    // 255 bytes, the most a file name may have; its temporary file must fit as well.
    for (const std::string& name :
         {std::string(255, 'a'), std::string(249, 'b') + "\xC3\xBC.rtm"}) {
        writeBytes(folder / name, "old");
        const auto replaced = core::replaceFile(folder / name, "new");
        ASSERT_TRUE(replaced) << replaced.error().detail;
        EXPECT_EQ(readBytes(folder / name), "new");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 2);
}

// Runs `action` in a child process without root's rights (tests run as root on our machines,
// and root writes into read-only folders), so that permissions count as for any user. The
// child's result is its exit code; its message comes back through a pipe.
struct ChildResult {
    int code = -1;
    std::string message;
};
template <typename Action>
ChildResult runWithoutRootRights(Action action)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        constexpr uid_t kNobody = 65534;
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
             ::setresuid(kNobody, kNobody, kNobody) != 0))
            ::_exit(77);
        const auto [code, message] = action();
        (void)!::write(fds[1], message.data(), message.size());
        ::_exit(code);
    }
    ::close(fds[1]);
    ChildResult result;
    char buffer[512];
    for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        result.message.append(buffer, static_cast<std::size_t>(got));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(ReadOnlyRhythmFolder, SaveAndDeleteFailWithAMessageAndTheRhythmsStay)
{
    TempFolder folder;
    const RhythmLibrary library(folder.path());
    Rhythm rock;
    rock.Bpm = 99;
    ASSERT_TRUE(library.save("Rock", rock));
    const std::string before = readBytes(folder / "Rock.rtm");
    fs::permissions(folder.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                       fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);

    Rhythm changed = rock;
    changed.Bpm = 140;
    // 0: the step failed as it should and said why; 1: it succeeded; 2: it failed silently.
    const auto refused = [](const core::Result<void>& result) {
        return std::pair{result ? 1 : (result.error().message.empty() ? 2 : 0),
                         result ? std::string() : result.error().message};
    };
    const std::pair<ChildResult, std::string_view> checks[] = {
        {runWithoutRootRights([&] {
             const auto saved = library.save("Rock", changed);
             return refused(saved ? core::Result<void>{} : core::fail(saved.error().message));
         }),
         "Rock.rtm"},
        {runWithoutRootRights([&] {
             const auto saved = library.save("New", changed);
             return refused(saved ? core::Result<void>{} : core::fail(saved.error().message));
         }),
         "New.rtm"},
        {runWithoutRootRights([&] { return refused(library.remove("Rock")); }), "\"Rock\""},
    };
    for (const auto& [check, names] : checks) {
        if (check.code == 77)
            GTEST_SKIP() << "cannot drop root's rights here (no CAP_SETUID)";
        EXPECT_EQ(check.code, 0) << check.message;
        EXPECT_NE(check.message.find(names), std::string::npos) << check.message;
    }
    // Reading still works, and what was there is there unchanged.
    const auto listed = runWithoutRootRights([&] {
        const auto names = library.list();
        const auto load = library.load("Rock", Rhythm{}, false);
        const bool fine =
            names && *names == std::vector<std::string>{"Rock"} && load && load->rhythm.Bpm == 99;
        return std::pair{fine ? 0 : 1, std::string()};
    });
    EXPECT_EQ(listed.code, 0);
    EXPECT_EQ(readBytes(folder / "Rock.rtm"), before);
    EXPECT_FALSE(fs::exists(folder / "New.rtm"));
}

TEST(MissingRhythmFolder, ListsNothingAndASaveSaysWhyItFailed)
{
    TempFolder folder;
    const RhythmLibrary library(folder / "gone");
    const auto names = library.list();
    ASSERT_TRUE(names);
    EXPECT_TRUE(names->empty());
    const auto saved = library.save("Rock", Rhythm{});
    ASSERT_FALSE(saved);
    EXPECT_NE(saved.error().message.find("Rock.rtm"), std::string::npos);
    EXPECT_FALSE(fs::exists(folder / "gone"));
}

TEST(BadSampleFolder, FilesThatAreNoWavesLeaveEveryVoiceSilentWithoutHanging)
{
    TempFolder folder;
    const fs::path set = folder / "Default";
    fs::create_directories(set);
    writeBytes(set / "BD.wav", "RIFF this is a text file, not a wave\r\n");
    writeBytes(set / "SD.wav", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    writeBytes(set / "HH.wav", "");
    fs::create_directory(set / "OH.wav");
    fs::create_symlink("/dev/zero", set / "RC.wav");         // endless: must not be read
    ASSERT_EQ(::mkfifo((set / "CC.wav").c_str(), 0600), 0);  // no writer: must not block
    // A WAVE header claiming two hours of audio, followed by nothing.
    writeBytes(set / "T1.wav", std::string("RIFF\xff\xff\xff\x7fWAVEfmt \x10\0\0\0\x01\0\x01\0"
                                           "\x80\xbb\0\0\0\x77\x01\0\x02\0\x10\0"
                                           "data\xff\xff\xff\x7f",
                                           44));
    writeBytes(set / "T2.wav", std::string(100'000, '\0'));
    fs::create_symlink("T3.wav", set / "T3.wav");  // a link to itself
    writeBytes(set / "ST.wav", "ID3\x03\0\0\0\0\0\0 an mp3 named .wav");

    sound::SoundChoice choice;
    choice.soundDir = folder.path();
    const auto voices = sound::buildVoiceSet(choice, 48000.0);
    ASSERT_TRUE(voices);
    for (int voice = 0; voice < sound::kVoiceCount; ++voice)
        EXPECT_EQ(voices->sample(voice), nullptr) << voice;
}

TEST(BadSettingsFile, AFolderInItsPlaceReadsAsDefaultsAndASaveSaysWhy)
{
    TempFolder folder;
    app::Settings settings;
    settings.IniFile = folder / "taktwerk.ini";
    settings.RhythmDir = folder / "Rhythms";
    settings.SoundDir = folder / "Sound";
    fs::create_directories(settings.IniFile / "inside");
    settings.ClickNote = 50;
    app::LoadSettings(settings);
    EXPECT_EQ(settings.SoundSet, "Default");
    EXPECT_EQ(settings.SoundDevice, 1);
    EXPECT_EQ(settings.ClickNote, 37);

    settings.ModeSetting = 1;
    for (const auto& saved : {app::saveMode(settings), app::saveSoundSettings(settings, true)}) {
        ASSERT_FALSE(saved);
        EXPECT_NE(saved.error().message.find("taktwerk.ini"), std::string::npos)
            << saved.error().message;
    }
    EXPECT_TRUE(fs::is_directory(settings.IniFile / "inside"));
}

}  // namespace
}  // namespace taktwerk::hardening
