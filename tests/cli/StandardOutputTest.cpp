#include "cli/ExportMidiCommand.h"
#include "cli/RenderCommand.h"
#include "rhythms/RhythmFile.h"
#include "rhythms/TempFolder.h"
#include "sound/ImpulseKit.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace taktwerk::cli {
namespace {

using testing::TempFolder;

struct Captured {
    int code;
    std::string bytes;  // what reached standard output
    std::string out;
    std::string err;
};

// Runs `command` with standard output on a pipe, which cannot seek, drained meanwhile by a
// thread as a reader downstream would.
template <typename Command>
Captured throughAPipe(Command command)
{
    int pipeFds[2];
    EXPECT_EQ(::pipe(pipeFds), 0);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::close(pipeFds[1]);
    std::string bytes;
    std::thread reader([&] {
        char buffer[65536];
        for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, static_cast<std::size_t>(got));
    });
    std::ostringstream out;
    std::ostringstream err;
    const int code = command(out, err);
    ::dup2(saved, STDOUT_FILENO);  // the pipe's last writer goes: the reader sees its end
    ::close(saved);
    reader.join();
    ::close(pipeFds[0]);
    return {code, bytes, out.str(), err.str()};
}

rhythms::Rhythm impulseRhythm()
{
    rhythms::Rhythm rhythm;
    rhythm.name = "Pipe";
    rhythm.SoundSet = "Impulse";
    rhythm.pattern.PatternToRow(0, "X___X___X___X___");
    return rhythm;
}

TEST(StandardOutput, RenderAndExportWriteWholeFilesIntoAPipe)
{
    const TempFolder folder;
    testing::writeImpulseKit(folder.path(), "Impulse", 44100);
    const auto rhythmFile = folder / "Pipe.rtm";
    ASSERT_TRUE(rhythms::writeRhythmFile(impulseRhythm(), rhythmFile));
    const std::string rhythm = rhythmFile.string();

    struct Case {
        std::vector<std::string> words;
        std::string magic;
        int format;
    };
    const Case cases[] = {
        {{rhythm, "-o", "-", "--loops", "1"}, "RIFF", SF_FORMAT_WAV},
        {{rhythm, "-o", "-", "--loops", "1", "--format", "flac"}, "fLaC", SF_FORMAT_FLAC},
        {{rhythm, "-o", "-", "--loops", "1", "--format=ogg"}, "OggS", SF_FORMAT_OGG},
    };
    for (const Case& c : cases) {
        const std::vector<std::string_view> args(c.words.begin(), c.words.end());
        const Captured run = throughAPipe([&](std::ostream& out, std::ostream& err) {
            return runRender(args, folder.path(), out, err);
        });
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.out, "") << "standard output carries the file alone";
        EXPECT_NE(run.err.find("wrote"), std::string::npos) << run.err;
        ASSERT_TRUE(run.bytes.starts_with(c.magic)) << c.magic;
        // Read back as a file: the header was finished before the first byte left.
        const auto copy = folder / "copy";
        std::ofstream(copy, std::ios::binary) << run.bytes;
        const auto sound = testing::readWav(copy);
        EXPECT_EQ(sound.info.format & SF_FORMAT_TYPEMASK, c.format) << c.magic;
        EXPECT_EQ(sound.info.frames, 88200) << c.magic << ": one loop of 16 steps at 120 BPM";
    }

    const std::vector<std::string_view> midi{rhythm, "-o", "-"};
    const Captured run = throughAPipe(
        [&](std::ostream& out, std::ostream& err) { return runExportMidi(midi, out, err); });
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(run.bytes.starts_with("MThd"));
    EXPECT_EQ(run.out, "");
    // Nothing is left behind beside the rhythm: the render's scratch file had no name.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path()))
        ++entries;
    EXPECT_EQ(entries, 3u) << "Impulse/, Pipe.rtm and copy";
}

TEST(StandardOutput, ATerminalNeverReceivesBinaryData)
{
    const TempFolder folder;
    const auto rhythmFile = folder / "Pipe.rtm";
    ASSERT_TRUE(rhythms::writeRhythmFile(impulseRhythm(), rhythmFile));
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    const int screen = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY);
    ASSERT_GE(screen, 0);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(screen, STDOUT_FILENO);
    const std::vector<std::string_view> args{rhythmFile.c_str(), "-o", "-"};
    std::ostringstream out;
    std::ostringstream renderErr;
    std::ostringstream midiErr;
    const int render = runRender(args, folder.path(), out, renderErr);
    const int midi = runExportMidi(args, out, midiErr);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(screen);
    ::close(terminal);
    EXPECT_EQ(render, 2);
    EXPECT_EQ(midi, 2);
    EXPECT_NE(renderErr.str().find("standard output is a terminal"), std::string::npos)
        << renderErr.str();
    EXPECT_NE(midiErr.str().find("standard output is a terminal"), std::string::npos)
        << midiErr.str();
}

TEST(RenderCommand, TheFileTypeFollowsTheName)
{
    const TempFolder folder;
    testing::writeImpulseKit(folder.path(), "Impulse", 44100);
    const auto rhythmFile = folder / "Pipe.rtm";
    ASSERT_TRUE(rhythms::writeRhythmFile(impulseRhythm(), rhythmFile));
    struct Case {
        std::string name;
        std::vector<std::string> extra;
        int code;
        int format = 0;
        std::string says = {};
    };
    const Case cases[] = {
        {"a.wav", {}, 0, SF_FORMAT_WAV},
        {"a.FLAC", {}, 0, SF_FORMAT_FLAC},
        {"a.ogg", {}, 0, SF_FORMAT_OGG},
        {"plain", {}, 0, SF_FORMAT_WAV},
        {"plain2", {"--format", "flac"}, 0, SF_FORMAT_FLAC},
        {"a.mp3", {}, 2, 0, "a .mp3 file cannot be written"},
        {"a.rtm", {}, 2, 0, "a .rtm file cannot be written"},
        {"b.wav", {"--format", "ogg"}, 2, 0, "--format and the name disagree"},
        {"c.wav", {"--format", "mp3"}, 2, 0, "--format takes wav, flac or ogg"},
        {"d.flac", {"--float"}, 2, 0, "--float writes WAV files only"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words{rhythmFile.string(), "-o", (folder / c.name).string(),
                                       "--loops", "1"};
        words.insert(words.end(), c.extra.begin(), c.extra.end());
        const std::vector<std::string_view> args(words.begin(), words.end());
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(runRender(args, folder.path(), out, err), c.code) << c.name << err.str();
        if (c.code != 0) {
            EXPECT_NE(err.str().find(c.says), std::string::npos) << c.name << ": " << err.str();
            EXPECT_FALSE(std::filesystem::exists(folder / c.name)) << c.name;
            continue;
        }
        const auto sound = testing::readWav(folder / c.name);
        EXPECT_EQ(sound.info.format & SF_FORMAT_TYPEMASK, c.format) << c.name;
    }
}

}  // namespace
}  // namespace taktwerk::cli
