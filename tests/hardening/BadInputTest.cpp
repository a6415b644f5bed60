// Bad input through the front doors: rhythm files no program of ours wrote, names no file can
// have, folders that are read-only, missing or something else, sample sets of anything but WAV.
// Each ends in a documented default or a clear message, and nothing the user had is lost.

#include "app/Settings.h"
#include "cli/ExportMidiCommand.h"
#include "cli/InfoCommand.h"
#include "cli/PlayCommand.h"
#include "cli/RenderCommand.h"
#include "core/AtomicFile.h"
#include "core/Profile.h"
#include "rhythms/RhythmFile.h"
#include "rhythms/RhythmLibrary.h"
#include "rhythms/TempFolder.h"
#include "sound/ImpulseKit.h"
#include "sound/VoiceSet.h"

#include <array>
#include <chrono>
#include <fcntl.h>
#include <fstream>
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

// What each command says about a rhythm file, run as the command line runs it.
struct CommandRun {
    int code;
    std::string out;
    std::string err;
};
CommandRun runCommand(std::string_view command, const fs::path& file, const fs::path& folder)
{
    const std::string path = file.string();
    const std::string output = (folder / "out.wav").string();
    std::ostringstream out;
    std::ostringstream err;
    int code = -1;
    if (command == "info") {
        code = cli::runInfo(std::vector<std::string_view>{path}, out, err);
    } else if (command == "render") {
        code = cli::runRender(std::vector<std::string_view>{path, "-o", output}, folder, out, err);
    } else if (command == "export-midi") {
        code = cli::runExportMidi(std::vector<std::string_view>{path, "-o", output}, out, err);
    } else {
        app::Settings settings;
        settings.SoundDir = folder;
        code = cli::runPlay(std::vector<std::string_view>{path, "--seconds", "0.01"}, settings, out,
                            err);
    }
    return {code, out.str(), err.str()};
}

TEST(BadRhythmFile, EveryCommandRefusesAMissingOrUnreadableFileAlike)
{
    TempFolder folder;
    fs::create_directory(folder / "folder.rtm");
    ASSERT_EQ(::mkfifo((folder / "fifo.rtm").c_str(), 0600), 0);
    fs::create_symlink(folder / "gone.rtm", folder / "dangling.rtm");
    writeBytes(folder / "huge.rtm", std::string(2 * 1024 * 1024, 'X'));
    struct Case {
        fs::path file;
        std::string message;
    };
    const Case cases[] = {
        {folder / "missing.rtm",
         "The file \"" + (folder / "missing.rtm").string() + "\" does not exist."},
        {folder / "dangling.rtm", "does not exist"},
        {folder / "folder.rtm", "cannot be read"},
        {folder / "fifo.rtm", "cannot be read"},
        {folder / "huge.rtm", "is too big"},
    };
    for (const std::string_view command : {"info", "render", "export-midi", "play"}) {
        for (const Case& c : cases) {
            const CommandRun run = runCommand(command, c.file, folder.path());
            EXPECT_EQ(run.code, 2) << command << " " << c.file;
            EXPECT_EQ(run.out, "") << command;
            EXPECT_TRUE(run.err.starts_with("taktwerk " + std::string(command) + ": "));
            EXPECT_NE(run.err.find(c.message), std::string::npos) << command << ": " << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
    }
    EXPECT_FALSE(fs::exists(folder / "out.wav"));
}

TEST(BadRhythmFile, AFileWithoutARhythmLoadsAsTheWindowLoadsItAndTheCommandsSaySo)
{
    TempFolder folder;
    const std::pair<std::string_view, std::string> files[] = {
        {"empty.rtm", ""},
        {"junk.rtm", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)},
        {"sound.rtm", std::string("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0", 20)},
        {"other.ini", "[Quorrel Taktwerk]\r\nSound=Default\r\n"},
    };
    for (const auto& [name, bytes] : files) {
        writeBytes(folder / name, bytes);
        // The window's load: the default rhythm, no error.
        const auto load = rhythms::loadRhythmFile(folder / name, Rhythm{}, false);
        ASSERT_TRUE(load) << name;
        EXPECT_EQ(load->rhythm, Rhythm{}) << name;
        for (const std::string_view command : {"info", "export-midi"}) {
            const CommandRun run = runCommand(command, folder / name, folder.path());
            EXPECT_EQ(run.code, 0) << command << " " << name << ": " << run.err;
            EXPECT_NE(run.err.find("holds no rhythm"), std::string::npos) << run.err;
        }
        fs::remove(folder / "out.wav");
    }
    // One section is enough to be a rhythm, however odd the rest.
    writeBytes(folder / "steps.rtm", "[RhythmData]\r\nBD=X\r\n");
    EXPECT_EQ(runCommand("info", folder / "steps.rtm", folder.path()).err, "");
}

TEST(BadRhythmFile, FilesOverAMebibyteAreRefusedUnreadAndAtOnce)
{
    TempFolder folder;
    writeBytes(folder / "2MB.rtm", std::string(2 * 1024 * 1024, '\n'));
    {
        std::ofstream sparse(folder / "1GB.rtm", std::ios::binary);
    }
    fs::resize_file(folder / "1GB.rtm", 1ull << 30);  // a gigabyte of NULs, costing no disk
    for (const char* name : {"2MB.rtm", "1GB.rtm"}) {
        const auto started = std::chrono::steady_clock::now();
        const auto opened = core::ProfileFile::open(folder / name);
        // Reading and parsing a gigabyte takes seconds; the bound leaves room for a busy
        // machine's pauses.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
        ASSERT_FALSE(opened) << name;
        EXPECT_NE(opened.error().message.find("too big"), std::string::npos);
        EXPECT_NE(opened.error().message.find(name), std::string::npos);
    }
    std::string largest = "[Settings]\r\nBPM=99\r\n";
    largest.resize(core::kMaxFileBytes, ' ');
    writeBytes(folder / "largest.rtm", largest);
    const auto load = rhythms::loadRhythmFile(folder / "largest.rtm", Rhythm{}, false);
    ASSERT_TRUE(load);
    EXPECT_EQ(load->rhythm.Bpm, 99);

    // An oversized settings file reads as defaults and is never saved over.
    app::Settings settings;
    settings.IniFile = folder / "2MB.rtm";
    settings.RhythmDir = folder / "Rhythms";
    settings.SoundDir = folder / "Sound";
    settings.ClickNote = 50;
    app::LoadSettings(settings);
    EXPECT_EQ(settings.ClickNote, 37);
    EXPECT_FALSE(app::saveMode(settings));
    EXPECT_EQ(fs::file_size(folder / "2MB.rtm"), 2u * 1024 * 1024);
}

TEST(BadSampleFolder, SetAndTomNamesThatLeaveTheSoundFolderAreMissing)
{
    TempFolder folder;
    const fs::path sound = folder / "Sound";
    // A complete set outside the sound folder, which no name from a rhythm file may reach.
    testing::writeImpulseKit(folder / "outside", "Kit", 48000);
    testing::writeImpulseKit(sound, "Default", 48000);
    testing::writeImpulseKit(sound, "Real", 48000);
    fs::create_directory_symlink(folder / "outside" / "Kit", sound / "LinkOut");
    fs::create_directory_symlink(sound / "Real", sound / "LinkIn");
    fs::copy_file(sound / "Real" / "T1.wav", sound / "Bongo.wav");

    struct Case {
        std::string set;
        std::string tom;
        std::string_view bassDrum;  // the problem, empty when the sample loads
        std::string_view tomOne;
    };
    const std::string outside = (folder / "outside" / "Kit").string();
    const Case cases[] = {
        {"Real", "Tom 1", "", ""},
        {"LinkIn", "Bongo", "", ""},               // a link that stays inside is fine
        {outside, "Tom 1", "missing", "missing"},  // joined as text: Sound//tmp/...
        {"../outside/Kit", "Tom 1", "outside the sound folder", "outside the sound folder"},
        {"LinkOut", "Tom 1", "outside the sound folder", "outside the sound folder"},
        {"Real/../../outside/Kit", "Tom 1", "outside the sound folder", "outside the sound folder"},
        {"Real", "../outside/Kit/T1", "", "outside the sound folder"},
        {"Real", "../../../../../../../../.." + (folder / "outside" / "Kit" / "T1").string(), "",
         "outside the sound folder"},
        {"Real", "/" + (folder / "outside" / "Kit" / "T1").string(), "", "missing"},
        {"..", "Tom 1", "outside the sound folder", "outside the sound folder"},
    };
    for (const Case& c : cases) {
        sound::SoundChoice choice;
        choice.soundDir = sound;
        choice.soundSet = c.set;
        choice.tomSounds[0] = c.tom;
        const auto voices = sound::buildVoiceSet(choice, 48000.0);
        EXPECT_EQ(voices->problems[0], c.bassDrum) << c.set;
        EXPECT_EQ(voices->problems[6], c.tomOne) << c.tom;
        EXPECT_EQ(voices->samples[6] == nullptr, !c.tomOne.empty()) << c.tom;
    }
}

}  // namespace
}  // namespace taktwerk::hardening
