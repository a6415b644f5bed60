// Outputs of render, export-midi, make-kit and every save: nothing the user had is lost, nothing
// is written where it does not belong, and nothing is left behind, whether the write succeeds,
// fails, is interrupted or is killed.

#include "app/Settings.h"
#include "cli/ExportMidiCommand.h"
#include "cli/MakeKitCommand.h"
#include "cli/OutputTarget.h"
#include "cli/RenderCommand.h"
#include "core/AtomicFile.h"
#include "core/CleanupOnSignal.h"
#include "playback/OfflineRender.h"
#include "rhythms/RhythmFile.h"
#include "rhythms/RhythmLibrary.h"
#include "rhythms/StarterRhythms.h"
#include "rhythms/TempFolder.h"
#include "sound/GmSynth.h"
#include "sound/ImpulseKit.h"
#include "sound/MakeKit.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace taktwerk::hardening {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

struct CommandRun {
    int code;
    std::string out;
    std::string err;
};

CommandRun render(const std::vector<std::string>& words, const fs::path& soundDir)
{
    const std::vector<std::string_view> args(words.begin(), words.end());
    std::ostringstream out;
    std::ostringstream err;
    const int code = cli::runRender(args, soundDir, out, err);
    return {code, out.str(), err.str()};
}

CommandRun exportMidi(const std::vector<std::string>& words)
{
    const std::vector<std::string_view> args(words.begin(), words.end());
    std::ostringstream out;
    std::ostringstream err;
    const int code = cli::runExportMidi(args, out, err);
    return {code, out.str(), err.str()};
}

int makeKit(std::vector<std::string> words, const fs::path& soundDir)
{
    std::vector<char*> args;
    for (std::string& word : words)
        args.push_back(word.data());
    return cli::runMakeKit(args, soundDir);
}

// A rhythm with a bass drum on every beat, on the impulse kit.
fs::path writeTestRhythm(const fs::path& file)
{
    rhythms::Rhythm rhythm;
    rhythm.SoundSet = "Impulse";
    rhythm.pattern.PatternToRow(0, "X___X___X___X___");
    EXPECT_TRUE(rhythms::writeRhythmFile(rhythm, file));
    return file;
}

// The names in `folder` that are our temporaries.
std::vector<std::string> temporariesIn(const fs::path& folder)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (core::isTemporaryName(name) || name.ends_with(".part"))
            found.push_back(name);
    }
    return found;
}

TEST(SafeOutput, TheOutputIsNeverTheInputADeviceOrAnotherKindOfFile)
{
    TempFolder folder;
    const fs::path input = folder / "Rock.rtm";
    writeBytes(input, "[Settings]\r\nName=Rock\r\n");
    fs::create_directory(folder / "sub");
    fs::create_hard_link(input, folder / "hard.wav");
    fs::create_symlink(input, folder / "soft.wav");
    fs::create_symlink(folder / "nothing", folder / "dangling.wav");
    ASSERT_EQ(::mkfifo((folder / "fifo.wav").c_str(), 0600), 0);
    writeBytes(folder / "notes.txt", "my notes");
    writeBytes(folder / "empty.wav", "");
    for (const auto& [name, head] :
         std::vector<std::pair<std::string, std::string>>{{"old.wav", "RIFF...."},
                                                          {"big.wav", "RF64...."},
                                                          {"song.flac", "fLaC...."},
                                                          {"song.ogg", "OggS...."},
                                                          {"old.mid", "MThd...."}})
        writeBytes(folder / name, head);

    struct Case {
        fs::path output;
        cli::OutputKind kind;
        bool force;
        std::string_view refusal;  // empty: allowed
    };
    const Case cases[] = {
        {input, cli::OutputKind::Audio, true, "is the input file itself"},
        {folder / "sub" / ".." / "Rock.rtm", cli::OutputKind::Midi, true, "input file itself"},
        {folder / "hard.wav", cli::OutputKind::Audio, true, "is the input file itself"},
        {folder / "soft.wav", cli::OutputKind::Audio, true, "is the input file itself"},
        {"/dev/null", cli::OutputKind::Audio, true, "is a device, a FIFO or a socket"},
        {folder / "fifo.wav", cli::OutputKind::Midi, true, "is a device, a FIFO or a socket"},
        {folder / "sub", cli::OutputKind::Audio, true, "is a folder"},
        {folder / "dangling.wav", cli::OutputKind::Audio, true, "is a link to nothing"},
        {folder / "notes.txt", cli::OutputKind::Audio, false, "is no audio file"},
        {folder / "old.wav", cli::OutputKind::Midi, false, "is no MIDI file"},
        {folder / "notes.txt", cli::OutputKind::Audio, true, ""},
        {folder / "empty.wav", cli::OutputKind::Midi, false, ""},
        {folder / "new.wav", cli::OutputKind::Audio, false, ""},
        {folder / "old.wav", cli::OutputKind::Audio, false, ""},
        {folder / "big.wav", cli::OutputKind::Audio, false, ""},
        {folder / "song.flac", cli::OutputKind::Audio, false, ""},
        {folder / "song.ogg", cli::OutputKind::Audio, false, ""},
        {folder / "old.mid", cli::OutputKind::Midi, false, ""},
    };
    for (const Case& c : cases) {
        const auto checked = cli::checkOutput(c.output, input, c.kind, c.force);
        if (c.refusal.empty()) {
            EXPECT_TRUE(checked) << c.output << ": " << checked.error().message;
        } else {
            ASSERT_FALSE(checked) << c.output;
            EXPECT_NE(checked.error().message.find(c.refusal), std::string::npos)
                << checked.error().message;
        }
    }
}

TEST(SafeOutput, RenderAndExportRefuseTheirOwnInputAndFilesOfAnotherKind)
{
    TempFolder folder;
    testing::writeImpulseKit(folder.path(), "Impulse", 44100);
    const fs::path rhythm = writeTestRhythm(folder / "Rock.rtm");
    const std::string before = readBytes(rhythm);
    writeBytes(folder / "notes.txt", "my notes");

    for (const CommandRun& run :
         {render({rhythm.string(), "-o", rhythm.string()}, folder.path()),
          render({rhythm.string(), "-o", (folder / "." / "Rock.rtm").string()}, folder.path()),
          exportMidi({rhythm.string(), "-o", rhythm.string()}),
          render({rhythm.string(), "-o", (folder / "notes.txt").string()}, folder.path()),
          exportMidi({rhythm.string(), "-o", (folder / "notes.txt").string()})}) {
        EXPECT_EQ(run.code, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("taktwerk "), std::string::npos);
    }
    EXPECT_EQ(readBytes(rhythm), before);
    EXPECT_EQ(readBytes(folder / "notes.txt"), "my notes");

    // Asked for, a file of another kind is replaced.
    EXPECT_EQ(exportMidi({rhythm.string(), "-o", (folder / "notes.txt").string(), "--force"}).code,
              0);
    EXPECT_TRUE(readBytes(folder / "notes.txt").starts_with("MThd"));
    EXPECT_TRUE(temporariesIn(folder.path()).empty());
}

TEST(SafeOutput, ALeftoverPartLinkOrFifoIsNeverOpened)
{
    TempFolder folder;
    testing::writeImpulseKit(folder.path(), "Impulse", 44100);
    const fs::path rhythm = writeTestRhythm(folder / "Rock.rtm");
    writeBytes(folder / "victim.txt", "keep me");
    // What older versions' fixed temporary names would have opened: a link's target written
    // over, a FIFO waited on for ever.
    fs::create_symlink(folder / "victim.txt", folder / "out.wav.part");
    ASSERT_EQ(::mkfifo((folder / "out.mid.part").c_str(), 0600), 0);

    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(render({rhythm.string(), "-o", (folder / "out.wav").string(), "--loops", "1"},
                     folder.path())
                  .code,
              0);
    EXPECT_EQ(exportMidi({rhythm.string(), "-o", (folder / "out.mid").string()}).code, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(readBytes(folder / "victim.txt"), "keep me");
    EXPECT_TRUE(fs::is_symlink(folder / "out.wav.part"));
    EXPECT_TRUE(fs::is_fifo(folder / "out.mid.part"));
    EXPECT_TRUE(readBytes(folder / "out.wav").starts_with("RIFF"));
    EXPECT_TRUE(readBytes(folder / "out.mid").starts_with("MThd"));
}

TEST(SafeOutput, RendersThatWouldPass4GiBAreWrittenAsRf64)
{
    struct Case {
        std::uint64_t frames;
        bool floatSamples;
        bool rf64;
    };
    constexpr std::uint64_t kWavLimit = 0xFFFFFFFFull - 4096;  // data bytes a WAV may describe
    const Case cases[] = {
        {44100ull * 60 * 60, false, false},  // an hour of 16-bit stereo: 635 MB
        {13000ull * 44100, false, false},    // 2.29 GB
        {13000ull * 44100, true, true},      // the 4.6 GB that read back as 13 minutes
        {kWavLimit / 8, true, false},       {kWavLimit / 8 + 1, true, true},
        {kWavLimit / 4, false, false},      {kWavLimit / 4 + 1, false, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(playback::needsRf64(c.frames, 2, c.floatSamples), c.rf64)
            << c.frames << (c.floatSamples ? " float" : " 16-bit");

    // What render decides from: the music and the longest ring-out.
    playback::RenderJob job;
    job.sampleRate = 44100;
    job.seconds = 13000.0;
    job.floatSamples = true;
    EXPECT_EQ(playback::maxRenderFrames(job), 13000ull * 44100);
    job.tail = true;
    EXPECT_GT(playback::maxRenderFrames(job), 13030ull * 44100);
    EXPECT_TRUE(playback::needsRf64(playback::maxRenderFrames(job), 2, true));
}

TEST(SafeOutput, ReadOnlyFilesAreNotReplaced)
{
    TempFolder folder;
    const rhythms::RhythmLibrary library(folder.path());
    ASSERT_TRUE(library.save("Rock", rhythms::Rhythm{}));
    writeBytes(folder / "taktwerk.ini", "[Quorrel Taktwerk]\r\nMode=0\r\n");
    const std::string rock = readBytes(folder / "Rock.rtm");
    for (const char* name : {"Rock.rtm", "taktwerk.ini"})
        fs::permissions(folder / name,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    rhythms::Rhythm changed;
    changed.Bpm = 140;
    const auto saved = library.save("Rock", changed);
    ASSERT_FALSE(saved);
    EXPECT_NE(saved.error().message.find("could not be saved"), std::string::npos);
    EXPECT_EQ(saved.error().detail, "the file is read-only");
    app::Settings settings;
    settings.IniFile = folder / "taktwerk.ini";
    settings.ModeSetting = 1;
    EXPECT_FALSE(app::saveMode(settings));
    EXPECT_EQ(readBytes(folder / "Rock.rtm"), rock);
    EXPECT_EQ(readBytes(folder / "taktwerk.ini"), "[Quorrel Taktwerk]\r\nMode=0\r\n");
    EXPECT_TRUE(temporariesIn(folder.path()).empty());
}

TEST(SafeOutput, AFailedWriteLeavesNoTemporary)
{
    TempFolder folder;
    {
        auto abandoned = core::AtomicFile::create(folder / "a.txt", "message");
        ASSERT_TRUE(abandoned);
        ASSERT_TRUE(abandoned->write("half"));
        EXPECT_FALSE(temporariesIn(folder.path()).empty());
    }
    // A folder put in the file's place before the rename: the commit fails and cleans up.
    {
        auto replaced = core::AtomicFile::create(folder / "b.txt", "message");
        ASSERT_TRUE(replaced);
        fs::create_directory(folder / "b.txt");
        EXPECT_FALSE(replaced->commit());
    }
    {
        auto built = core::AtomicFolder::create(folder / "Set", "message");
        ASSERT_TRUE(built);
        writeBytes(built->path() / "BD.wav", "RIFF");
    }
    EXPECT_TRUE(temporariesIn(folder.path()).empty());
    EXPECT_FALSE(fs::exists(folder / "a.txt"));
    EXPECT_FALSE(fs::exists(folder / "Set"));
}

TEST(SafeOutput, AFullDiskLeavesNeitherAnOutputNorATemporary)
{
    TempFolder folder;
    testing::writeImpulseKit(folder.path(), "Impulse", 44100);
    const fs::path rhythm = writeTestRhythm(folder / "Rock.rtm");
    // In children whose files may not grow past a few bytes (the header fails) or past
    // 64 KiB (the samples fail), the way a full disk stops a write.
    for (const rlim_t bytes : {rlim_t{16}, rlim_t{64 * 1024}}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead of ending the child
            const rlimit limit{bytes, bytes};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const CommandRun run =
                render({rhythm.string(), "-o", (folder / "out.wav").string(), "--seconds", "10"},
                       folder.path());
            const bool saved = static_cast<bool>(
                core::replaceFile(folder / "big.txt", std::string(128 * 1024, 'x')));
            ::_exit(run.code == 2 && run.err.find("be written") != std::string::npos && !saved ? 0
                                                                                               : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << bytes << ": " << status;
        EXPECT_FALSE(fs::exists(folder / "out.wav"));
        EXPECT_FALSE(fs::exists(folder / "big.txt"));
        EXPECT_TRUE(temporariesIn(folder.path()).empty()) << bytes;
    }
}

TEST(SafeOutput, SigintSigtermAndSighupRemoveTheTemporariesBeingWritten)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        TempFolder folder;
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            core::removeTemporariesOnSignals();
            auto file = core::AtomicFile::create(folder / "out.wav", "message");
            auto set = core::AtomicFolder::create(folder / "Default", "message");
            if (!file || !set)
                ::_exit(3);
            (void)file->write("RIFF");
            writeBytes(set->path() / "BD.wav", "RIFF");
            (void)!::write(ready[1], "x", 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        EXPECT_EQ(temporariesIn(folder.path()).size(), 2u);
        ASSERT_EQ(::kill(child, signal), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        // Ended by the signal itself, as without our handler: the shell sees 128 + signal.
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_TRUE(fs::is_empty(folder.path())) << signal;
    }
}

TEST(SafeOutput, StaleTemporariesOfOursAreSweptAndNothingElse)
{
    TempFolder folder;
    struct Case {
        std::string name;
        bool folderOfFiles;
        bool old;
        bool swept;
    };
    const Case cases[] = {
        {".Rock.rtm.tmp-a1b2c3d4", false, true, true},
        {".Rock.rtm.tmp123456", false, true, true},  // as older versions named them
        {".taktwerk.ini.tmp7", false, true, true},
        {".Rhythms.tmp-zz9900aa", true, true, true},
        {".Rock.rtm.tmp-a1b2c3d5", false, false, false},  // a save still running elsewhere
        {".Rock.rtm.tmp-A1B2C3D4", false, true, false},   // not our letters
        {".Rock.rtm.tmp-a1b2c3", false, true, false},
        {".Rock.rtm.tmp1234567", false, true, false},
        {"Rock.rtm.tmp-a1b2c3d4", false, true, false},  // not hidden: the user's
        {"Rock.rtm", false, true, false},
        {"BD.wav.part", false, true, false},  // a browser's download, perhaps
    };
    const auto longAgo = fs::file_time_type::clock::now() - std::chrono::minutes(5);
    for (const Case& c : cases) {
        const fs::path path = folder / c.name;
        if (c.folderOfFiles) {
            fs::create_directory(path);
            writeBytes(path / "Rock.rtm", "");
        } else {
            writeBytes(path, "x");
        }
        if (c.old)
            fs::last_write_time(path, longAgo);
    }
    EXPECT_EQ(core::removeStaleTemporaries(folder.path(), std::chrono::seconds(60)), 4);
    for (const Case& c : cases)
        EXPECT_EQ(fs::exists(folder / c.name), !c.swept) << c.name;
}

class MakeKitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        soundFont_ = sound::findSoundFont();
        if (!soundFont_)
            GTEST_SKIP() << "no General-MIDI SoundFont installed";
    }
    std::optional<fs::path> soundFont_;
};

TEST_F(MakeKitTest, WritesOnlyIntoTheFolderNamedAndReplacesNothingUnasked)
{
    TempFolder folder;
    fs::create_directory(folder / "Sound");
    writeBytes(folder / "Sound" / "High Tom.wav", "the user's own");
    const fs::path set = folder / "Sound" / "Mine";

    const fs::path elsewhere = folder / "Elsewhere";
    EXPECT_EQ(makeKit({"--soundfont", soundFont_->string(), "--out", set.string()}, elsewhere), 0);
    EXPECT_TRUE(sound::isKitComplete(set));
    // Nothing beside the set: the extra toms go only where the program keeps them.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "Sound"), {}), 2);
    EXPECT_EQ(readBytes(folder / "Sound" / "High Tom.wav"), "the user's own");
    EXPECT_FALSE(fs::exists(elsewhere));

    // A set that is there is the user's: refused whole, unless --force.
    writeBytes(set / "BD.wav", "edited by hand");
    EXPECT_EQ(makeKit({"--soundfont", soundFont_->string(), "--out", set.string()}, elsewhere), 1);
    EXPECT_EQ(readBytes(set / "BD.wav"), "edited by hand");
    EXPECT_EQ(
        makeKit({"--soundfont", soundFont_->string(), "--out", set.string(), "--force"}, elsewhere),
        0);
    EXPECT_TRUE(readBytes(set / "BD.wav").starts_with("RIFF"));

    // Without --out: the sound folder's Default, the extra toms beside it, the user's own kept.
    const fs::path home = folder / "home" / "Sound";
    fs::create_directories(home);
    writeBytes(home / "Floor Tom.wav", "the user's floor tom");
    EXPECT_EQ(makeKit({"--soundfont", soundFont_->string()}, home), 0);
    EXPECT_TRUE(sound::isKitComplete(home / "Default"));
    EXPECT_TRUE(fs::exists(home / "High Tom.wav"));
    EXPECT_EQ(readBytes(home / "Floor Tom.wav"), "the user's floor tom");
    for (const fs::path& where : {folder / "Sound", set, folder / "home" / "Sound"})
        EXPECT_TRUE(temporariesIn(where).empty()) << where;
}

TEST_F(MakeKitTest, AKitThatFailsHalfWayLeavesTheFoldersAsTheyWere)
{
    TempFolder folder;
    fs::create_directory(folder / "Half");
    writeBytes(folder / "Half" / "SD.wav", "the user's snare");
    // The last file cannot be written: a folder stands in its place. By then every sample is
    // rendered and the set's files are written under temporary names.
    fs::create_directories(folder / "Toms" / "High Tom.wav");
    for (const fs::path& set : {folder / "New", folder / "Half"}) {
        const auto made = sound::makeKit({.soundFont = *soundFont_,
                                          .setDir = set,
                                          .extraTomDir = folder / "Toms",
                                          .replaceExisting = true});
        ASSERT_FALSE(made) << set;
        EXPECT_NE(made.error().message.find("High Tom.wav"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(folder / "New"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "Half"), {}), 1);
    EXPECT_EQ(readBytes(folder / "Half" / "SD.wav"), "the user's snare");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "Toms"), {}), 1);
    EXPECT_TRUE(temporariesIn(folder.path()).empty());

    // Filling in a set keeps every file that is there.
    const auto filled =
        sound::makeKit({.soundFont = *soundFont_, .setDir = folder / "Half", .extraTomDir = {}});
    ASSERT_TRUE(filled) << filled.error().message;
    EXPECT_EQ(filled->written.size(), 13u);
    EXPECT_EQ(filled->kept, std::vector<fs::path>{folder / "Half" / "SD.wav"});
    EXPECT_EQ(readBytes(folder / "Half" / "SD.wav"), "the user's snare");
}

TEST(SafeOutput, AStartKilledWhileMakingTheRhythmFolderLeavesNoneOrAWholeOne)
{
    const fs::path starters = TAKTWERK_STARTER_RHYTHMS;
    TempFolder folder;
    std::mt19937 random(11);
    std::uniform_int_distribution<int> killAfterMicroseconds(0, 3000);
    int whole = 0;
    for (int round = 0; round < 30; ++round) {
        const fs::path rhythms = folder / ("Rhythms" + std::to_string(round));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            ::_exit(rhythms::installStarterRhythms(starters, rhythms) ? 0 : 1);
        std::this_thread::sleep_for(std::chrono::microseconds(killAfterMicroseconds(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        if (fs::exists(rhythms)) {
            EXPECT_EQ(std::distance(fs::directory_iterator(rhythms), {}), 12) << round;
            ++whole;
        }
    }
    // The next start sweeps what the kills left and builds the folder again.
    for (const auto& entry : fs::directory_iterator(folder.path()))
        if (core::isTemporaryName(entry.path().filename().string()))
            fs::last_write_time(entry.path(),
                                fs::file_time_type::clock::now() - std::chrono::minutes(2));
    core::removeStaleTemporaries(folder.path(), std::chrono::seconds(60));
    for (const auto& entry : fs::directory_iterator(folder.path()))
        EXPECT_TRUE(entry.path().filename().string().starts_with("Rhythms")) << entry.path();
    RecordProperty("WholeFolders", whole);
}

}  // namespace
}  // namespace taktwerk::hardening
