#include "cli/ExportMidiCommand.h"
#include "cli/PlayCommand.h"
#include "cli/RenderCommand.h"
#include "rhythms/RhythmFile.h"
#include "rhythms/TempFolder.h"
#include "sound/ImpulseKit.h"
#include "sound/MidiFileReader.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace taktwerk::cli {
namespace {

using testing::Onset;
using testing::TempFolder;
using testing::voiceBit;

struct CommandRun {
    int code;
    std::string out;
    std::string err;
};

CommandRun render(const std::vector<std::string>& words, const std::filesystem::path& soundDir)
{
    const std::vector<std::string_view> args(words.begin(), words.end());
    std::ostringstream out;
    std::ostringstream err;
    const int code = runRender(args, soundDir, out, err);
    return {code, out.str(), err.str()};
}

CommandRun exportMidi(const std::vector<std::string>& words)
{
    const std::vector<std::string_view> args(words.begin(), words.end());
    std::ostringstream out;
    std::ostringstream err;
    const int code = runExportMidi(args, out, err);
    return {code, out.str(), err.str()};
}

std::uint64_t stepFrame(std::uint64_t n, std::uint64_t rate, std::uint64_t tempo)
{
    return (2 * n * 15 * rate + tempo) / (2 * tempo);
}

// A rhythm with a bass drum on every beat, a snare on the backbeat and a muted hi-hat.
rhythms::Rhythm testRhythm(int bpm)
{
    rhythms::Rhythm rhythm;
    rhythm.name = "Test";
    rhythm.Bpm = static_cast<std::int16_t>(bpm);
    rhythm.SoundSet = "Impulse";
    rhythm.pattern.PatternToRow(0, "X___X___X___X___");
    rhythm.pattern.PatternToRow(1, "____X_______X___");
    rhythm.pattern.PatternToRow(2, "XXXXXXXXXXXXXXXX");
    rhythm.mutes.setMuted(2, true);
    return rhythm;
}

TEST(RenderCommand, PutsEveryHitOfTheRhythmFileOnItsStepsSample)
{
    const TempFolder folder;
    testing::writeImpulseKit(folder.path(), "Impulse", 48000);
    for (const int bpm : {35, 333}) {
        const auto rhythmFile = folder / "Test.rtm";
        ASSERT_TRUE(rhythms::writeRhythmFile(testRhythm(bpm), rhythmFile));
        const auto wavFile = folder / "out.wav";
        const CommandRun run = render({rhythmFile.string(), "-o", wavFile.string(), "--rate",
                                       "48000", "--float", "--loops", "2"},
                                      folder.path());
        ASSERT_EQ(run.code, 0) << run.err;

        const auto wav = testing::readWav(wavFile);
        EXPECT_EQ(static_cast<std::uint64_t>(wav.info.frames), stepFrame(32, 48000, bpm))
            << "exactly two loops at " << bpm;
        std::vector<Onset> expected;
        for (std::uint64_t step = 0; step < 32; ++step) {
            int voices = 0;
            if (step % 4 == 0)
                voices |= voiceBit(0);
            if (step % 8 == 4)
                voices |= voiceBit(1);
            if (voices != 0)
                expected.push_back({stepFrame(step, 48000, bpm), voices});
        }
        EXPECT_EQ(testing::onsets(wav.samples), expected) << bpm << " BPM";
    }
}

TEST(RenderCommand, RefusesWhatItCannotDoWithAReason)
{
    const TempFolder folder;
    const auto rhythmFile = folder / "Test.rtm";
    ASSERT_TRUE(rhythms::writeRhythmFile(testRhythm(120), rhythmFile));
    const std::string out = (folder / "out.wav").string();

    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {rhythmFile.string()},
             {rhythmFile.string(), "-o", out, "--loops", "0"},
             {rhythmFile.string(), "-o", out, "--loops", "2", "--seconds", "3"},
             {rhythmFile.string(), "-o", out, "--rate", "44.1k"},
             {rhythmFile.string(), "-o", out, "--seconds", "-1"},
             {rhythmFile.string(), "-o", out, "--bogus"},
         }) {
        const CommandRun run = render(words, folder.path());
        EXPECT_EQ(run.code, 2) << words.back();
        EXPECT_NE(run.err.find("usage: taktwerk render"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(out));

    CommandRun run = render({(folder / "Missing.rtm").string(), "-o", out}, folder.path());
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("Missing.rtm"), std::string::npos);

    // A sample set that is not there would render nothing but silence: refused, with the
    // drums that have no sample named.
    run = render({rhythmFile.string(), "-o", out, "--loops", "1"}, folder.path());
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("bass drum is silent"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\"Impulse\"; nothing written"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(out));

    run = render({rhythmFile.string(), "-o", (folder / "no" / "out.wav").string()}, folder.path());
    EXPECT_EQ(run.code, 2);
    EXPECT_FALSE(run.err.empty());
}

// What --sync refuses it refuses before any device is opened or the rhythm read.
TEST(PlayCommand, RefusesASyncSourceItDoesNotKnow)
{
    const TempFolder folder;
    const auto rhythmFile = (folder / "Test.rtm").string();
    ASSERT_TRUE(rhythms::writeRhythmFile(testRhythm(120), folder / "Test.rtm"));
    app::Settings settings;
    settings.SoundDir = folder.path();
    settings.IniFile = folder / "taktwerk.ini";
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {rhythmFile, "--sync"},
             {rhythmFile, "--sync", ""},
             {rhythmFile, "--sync", "MIDI "},
             {rhythmFile, "--sync", "jack2"},
             {rhythmFile, "--sync", "JACK"},
             {rhythmFile, "--sync", "jack "},
             {rhythmFile, "--sync", std::string("jack\0", 5)},
             {rhythmFile, "--sync=jack", "--sync", "midi"},
             {rhythmFile, "--jack-timebase=1"},
             {rhythmFile, "--jack-timebase", "--sync", "jack"},
             {rhythmFile, "--sync=midi", "--jack-timebase"},
             {rhythmFile, "--sync", "midi", "--sync", "internal"},
             {rhythmFile, "--sync=midi\n"},
             {rhythmFile, "--sync", std::string(5000, 'm')},
             {rhythmFile, "--sync", std::string("mi\0di", 5)},
         }) {
        const std::vector<std::string_view> args(words.begin(), words.end());
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(runPlay(args, settings, out, err), 2) << words.back();
        EXPECT_NE(err.str().find("usage: taktwerk play"), std::string::npos) << words.back();
        EXPECT_TRUE(out.str().empty());
    }
    EXPECT_FALSE(std::filesystem::exists(settings.IniFile)) << "nothing written";
}

TEST(ExportMidiCommand, WritesTheRhythmsNotesAndTempoForAnySequencer)
{
    const TempFolder folder;
    const auto rhythmFile = folder / "Test.rtm";
    ASSERT_TRUE(rhythms::writeRhythmFile(testRhythm(125), rhythmFile));
    const auto midiFile = folder / "out.mid";
    const CommandRun run =
        exportMidi({rhythmFile.string(), "-o", midiFile.string(), "--loops", "2"});
    ASSERT_EQ(run.code, 0) << run.err;

    const auto file = testing::readMidiFile(testing::readBytes(midiFile));
    EXPECT_EQ(file.format, 0);
    std::vector<std::pair<std::uint64_t, int>> noteOns;
    for (const auto& event : file.events) {
        if (event.bytes[0] == 0x99)
            noteOns.push_back({event.tick, event.bytes[1]});
        if (event.bytes[0] == 0xFF && event.bytes[1] == 0x51) {  // 480000 us per quarter note
            EXPECT_EQ(event.bytes, (std::vector<std::uint8_t>{0xFF, 0x51, 3, 0x07, 0x53, 0x00}));
        }
    }
    std::vector<std::pair<std::uint64_t, int>> expected;
    for (std::uint64_t step = 0; step < 32; ++step) {
        if (step % 4 == 0)
            expected.push_back({step * 120, 36});
        if (step % 8 == 4)
            expected.push_back({step * 120, 40});
    }
    EXPECT_EQ(noteOns, expected) << "the muted hi-hat sends nothing";
    EXPECT_EQ(file.events.back().tick, 32u * 120u);

    EXPECT_EQ(exportMidi({rhythmFile.string()}).code, 2);
    EXPECT_EQ(exportMidi({(folder / "Missing.rtm").string(), "-o", midiFile.string()}).code, 2);
}

TEST(PlayingCommands, TheRhythmFilesGrooveReachesTheWavAndTheMidiFile)
{
    // A bass drum on every step, the off-beat sixteenths at 64 and 20 % of a step late.
    const TempFolder folder;
    testing::writeImpulseKit(folder.path(), "Impulse", 48000);
    rhythms::Rhythm rhythm = testRhythm(120);
    rhythm.pattern.PatternToRow(0, "XXXXXXXXXXXXXXXX");
    rhythm.pattern.PatternToRow(1, "");
    for (int step = 1; step < 32; step += 2)
        rhythm.pattern.setVelocity(0, step, 64);
    rhythm.swing = {60, pattern::SwingNote::Sixteenth};
    const auto rhythmFile = folder / "Swung.rtm";
    ASSERT_TRUE(rhythms::writeRhythmFile(rhythm, rhythmFile));

    const auto wavFile = folder / "out.wav";
    ASSERT_EQ(render({rhythmFile.string(), "-o", wavFile.string(), "--rate", "48000", "--float",
                      "--loops", "1"},
                     folder.path())
                  .code,
              0);
    const auto wav = testing::readWav(wavFile);
    const double loud = voiceBit(0) / testing::kBitScale;
    const double quiet = (64.0 / 127.0) * (64.0 / 127.0) * loud;
    for (std::uint64_t step = 0; step < 16; ++step) {
        // 6000 frames a step at 120 BPM, 1200 of them late.
        const std::uint64_t frame = step * 6000 + (step % 2 == 1 ? 1200 : 0);
        const double level = step % 2 == 1 ? quiet : loud;
        EXPECT_NEAR(wav.samples[frame * 2], level, 1e-6) << "step " << step;
        if (step > 0) {
            EXPECT_EQ(wav.samples[(frame - 1) * 2], 0.0f) << "step " << step;
        }
    }

    const auto midiFile = folder / "out.mid";
    ASSERT_EQ(exportMidi({rhythmFile.string(), "-o", midiFile.string(), "--loops", "1"}).code, 0);
    std::vector<std::vector<std::uint64_t>> bassDrums;  // tick, velocity
    for (const auto& event : testing::readMidiFile(testing::readBytes(midiFile)).events) {
        if (event.bytes[0] == 0x99 && event.bytes[1] == 36)
            bassDrums.push_back({event.tick, event.bytes[2]});
    }
    ASSERT_EQ(bassDrums.size(), 16u);
    for (std::uint64_t step = 0; step < 16; ++step) {
        const bool late = step % 2 == 1;
        EXPECT_EQ(bassDrums[step],
                  (std::vector<std::uint64_t>{step * 120 + (late ? 24 : 0), late ? 64u : 127u}));
    }
}

}  // namespace
}  // namespace taktwerk::cli
