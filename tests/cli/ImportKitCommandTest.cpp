// `taktwerk import-kit` as a user types it: options and their mistakes, the mapping it prints,
// and the set it leaves for `render`.

#include "cli/ImportKitCommand.h"

#include "cli/RenderCommand.h"
#include "kits/KitIni.h"
#include "rhythms/RhythmFile.h"
#include "rhythms/TempFolder.h"
#include "sound/ImpulseKit.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sstream>

namespace taktwerk::cli {
namespace {

using testing::TempFolder;

struct CommandRun {
    int code;
    std::string out;
    std::string err;
};

CommandRun importKit(const std::vector<std::string>& words, const std::filesystem::path& soundDir)
{
    const std::vector<std::string_view> args(words.begin(), words.end());
    std::ostringstream out;
    std::ostringstream err;
    const int code = runImportKit(args, soundDir, out, err);
    return {code, out.str(), err.str()};
}

void writeSamples(const std::filesystem::path& file, const std::vector<float>& data, int rate)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
    sf_writef_float(out, data.data(), static_cast<sf_count_t>(data.size()));
    sf_close(out);
}

void writeSample(const std::filesystem::path& file, float level)
{
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
    const std::vector<float> data(100, level);
    sf_writef_float(out, data.data(), static_cast<sf_count_t>(data.size()));
    sf_close(out);
}

TEST(ImportKitCommand, OptionsAndTheirMistakes)
{
    struct Case {
        std::vector<std::string_view> words;
        bool ok;
    };
    const std::vector<Case> cases{
        {{"kit.sfz"}, true},
        {{"kit.sfz", "--name", "Mine", "--force", "--map", "SD=Snare 2", "--map", "ST="}, true},
        {{}, false},
        {{"--force"}, false},
        {{"a.sfz", "b.sfz"}, false},
        {{"kit.sfz", "--name"}, false},
        {{"kit.sfz", "--name", ""}, false},
        {{"kit.sfz", "--map"}, false},
        {{"kit.sfz", "--map", "SD"}, false},
        {{"kit.sfz", "--map", "=Snare"}, false},
        {{"kit.sfz", "--bogus"}, false},
    };
    for (const Case& c : cases) {
        std::string problem;
        const auto parsed = parseImportKitArgs(c.words, problem);
        EXPECT_EQ(parsed.has_value(), c.ok) << (c.words.empty() ? "" : c.words.back());
        EXPECT_EQ(problem.empty(), c.ok) << problem;
    }
    std::string problem;
    const std::vector<std::string_view> words{"kit.sfz", "--map", "SD=Snare = 2"};
    const auto parsed = parseImportKitArgs(words, problem);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->overrides[0].file, "SD");
    EXPECT_EQ(parsed->overrides[0].instrument, "Snare = 2");
}

TEST(ImportKitCommand, PrintsTheMappingAndFailsCleanly)
{
    const TempFolder folder;
    const auto kit = folder / "kit";
    std::filesystem::create_directories(kit);
    writeSample(kit / "kick.wav", 0.5f);
    writeSample(kit / "snare.wav", 0.25f);
    testing::writeBytes(kit / "Drums.sfz", "<region> sample=kick.wav key=36\n"
                                           "<region> sample=snare.wav key=38 pitch=3\n");
    const auto soundDir = folder / "Sound";

    CommandRun run = importKit({(kit / "Drums.sfz").string(), "--map", "ST=snare"}, soundDir);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("mapped by its General MIDI notes"), std::string::npos);
    EXPECT_NE(run.out.find("  BD   kick\n"), std::string::npos);
    EXPECT_NE(run.out.find("  ST   snare\n"), std::string::npos);
    EXPECT_NE(run.out.find("  CC   - (silent"), std::string::npos);  // no Default set here
    EXPECT_NE(run.out.find("note: ignored: pitch"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(soundDir / "Drums" / "BD.wav"));

    // Again without --force: refused, and the set is as it was.
    run = importKit({(kit / "Drums.sfz").string()}, soundDir);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("--force"), std::string::npos);
    run = importKit({(kit / "Drums.sfz").string(), "--map", "XX=kick"}, soundDir);
    EXPECT_EQ(run.code, 1);
    run = importKit({(kit / "Drums.sfz").string(), "--name", "../Escape"}, soundDir);
    EXPECT_EQ(run.code, 1);
    EXPECT_FALSE(std::filesystem::exists(folder / "Escape"));
    EXPECT_EQ(importKit({"--what"}, soundDir).code, 2);
}

TEST(ImportKitCommand, StepVelocityPicksTheImportedLayerInRender)
{
    // Two layers of one kick with shapes of their own (a falling and a rising ramp, exact in
    // 16 bits), so the rendered hit can be matched frame by frame against the layer it came
    // from: a quieter copy of the loud layer would not match the soft one.
    constexpr int kRate = 48000;
    constexpr std::size_t kFrames = 2000;
    std::vector<float> soft(kFrames);
    std::vector<float> loud(kFrames);
    for (std::size_t i = 0; i < kFrames; ++i) {
        soft[i] = -static_cast<float>(kFrames - i) / 4096.0f;
        loud[i] = static_cast<float>(i) / 4096.0f;
    }
    const TempFolder folder;
    const auto kit = folder / "Layered";
    std::filesystem::create_directories(kit);
    writeSamples(kit / "kick-soft.wav", soft, kRate);
    writeSamples(kit / "kick-hard.wav", loud, kRate);
    testing::writeBytes(kit / "drumkit.xml", R"(<drumkit_info><name>Layered</name>
<instrumentList><instrument><name>Kick</name><midiOutNote>36</midiOutNote><instrumentComponent>
 <layer><filename>kick-soft.wav</filename><min>0</min><max>0.5</max><gain>1</gain></layer>
 <layer><filename>kick-hard.wav</filename><min>0.5</min><max>1</max><gain>1</gain></layer>
</instrumentComponent></instrument></instrumentList></drumkit_info>)");
    const auto soundDir = folder / "Sound";
    const CommandRun imported = importKit({kit.string()}, soundDir);
    ASSERT_EQ(imported.code, 0) << imported.err;

    // The layers as the set holds them, found through kit.ini as the player finds them.
    const auto ini = kits::readKitIni(soundDir / "Layered");
    ASSERT_TRUE(ini);
    const kits::KitIniEntry* bd = ini->entry("BD");
    ASSERT_NE(bd, nullptr);
    ASSERT_EQ(bd->layers.size(), 2u);
    const auto layerFor = [&](int velocity) {
        for (const kits::KitIniLayer& layer : bd->layers) {
            if (velocity >= layer.lowVelocity && velocity <= layer.highVelocity)
                return testing::readWav(soundDir / "Layered" / layer.file).samples;
        }
        return std::vector<float>{};
    };
    const std::vector<float> softLayer = layerFor(20);
    const std::vector<float> loudLayer = layerFor(127);
    ASSERT_EQ(softLayer, soft);
    ASSERT_EQ(loudLayer, loud);

    rhythms::Rhythm rhythm;
    rhythm.name = "Accents";
    rhythm.Bpm = 120;
    rhythm.SoundSet = "Layered";
    rhythm.pattern.PatternToRow(0, "X_______X_______");
    rhythm.pattern.setVelocity(0, 0, 20);
    rhythm.pattern.setVelocity(0, 8, 127);
    const auto rhythmFile = folder / "Accents.rtm";
    ASSERT_TRUE(rhythms::writeRhythmFile(rhythm, rhythmFile));
    const auto wavFile = folder / "out.wav";
    const std::vector<std::string> words{
        rhythmFile.string(), "-o", wavFile.string(), "--rate", "48000", "--float", "--loops", "1"};
    const std::vector<std::string_view> args(words.begin(), words.end());
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(runRender(args, soundDir, out, err), 0) << err.str();

    const auto wav = testing::readWav(wavFile);
    ASSERT_EQ(wav.info.channels, 2);
    const float softGain = (20.0f / 127.0f) * (20.0f / 127.0f);
    struct Hit {
        std::size_t frame;  // 6000 frames a step at 120 BPM and 48 kHz
        const std::vector<float>& layer;
        float gain;
        const char* name;
    };
    for (const Hit& hit : {Hit{0, soft, softGain, "velocity 20"}, Hit{48000, loud, 1.0f, "127"}}) {
        SCOPED_TRACE(hit.name);
        ASSERT_GE(wav.samples.size(), (hit.frame + kFrames) * 2);
        int mismatches = 0;
        for (std::size_t i = 0; i < kFrames; ++i) {
            const float left = wav.samples[(hit.frame + i) * 2];
            if (std::abs(left - hit.layer[i] * hit.gain) > 1e-6f && ++mismatches < 5)
                ADD_FAILURE() << "frame " << i << ": " << left << " is not "
                              << hit.layer[i] * hit.gain;
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(ImportKitCommand, AnSfzChokeGroupCutsTheCrashInRenderToTheFrame)
{
    // The ride (group 1) stops the crash (off_by 1) one step after it began; the crash would
    // ring for two steps on its own.
    constexpr int kRate = 48000;
    constexpr float kCrash = 0.125f;
    constexpr float kRide = -0.25f;
    constexpr std::size_t kStep = 6000;  // at 120 BPM and 48 kHz
    constexpr std::size_t kFade = 96;    // the 2 ms cut fade
    const TempFolder folder;
    const auto kit = folder / "kit";
    std::filesystem::create_directories(kit);
    writeSamples(kit / "crash.wav", std::vector<float>(2 * kStep, kCrash), kRate);
    writeSamples(kit / "ride.wav", std::vector<float>(2 * kStep, kRide), kRate);
    testing::writeBytes(kit / "Choke.sfz", "<region> key=49 sample=crash.wav off_by=1\n"
                                           "<region> key=51 sample=ride.wav group=1\n");
    const auto soundDir = folder / "Sound";
    const CommandRun imported = importKit({(kit / "Choke.sfz").string()}, soundDir);
    ASSERT_EQ(imported.code, 0) << imported.err;

    rhythms::Rhythm rhythm;
    rhythm.name = "Choke";
    rhythm.Bpm = 120;
    rhythm.SoundSet = "Choke";
    rhythm.pattern.PatternToRow(4, "_X______________");  // ride
    rhythm.pattern.PatternToRow(5, "X_______________");  // crash
    const auto rhythmFile = folder / "Choke.rtm";
    ASSERT_TRUE(rhythms::writeRhythmFile(rhythm, rhythmFile));
    const auto wavFile = folder / "out.wav";
    const std::vector<std::string> words{
        rhythmFile.string(), "-o", wavFile.string(), "--rate", "48000", "--float", "--loops", "1"};
    const std::vector<std::string_view> args(words.begin(), words.end());
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(runRender(args, soundDir, out, err), 0) << err.str();

    const auto wav = testing::readWav(wavFile);
    ASSERT_GE(wav.samples.size(), 4 * kStep);
    const auto left = [&](std::size_t frame) { return wav.samples[frame * 2]; };
    EXPECT_EQ(left(kStep - 1), kCrash);
    for (std::size_t k = 0; k < kFade; ++k) {
        const float fade = static_cast<float>(kFade - k - 1) / static_cast<float>(kFade);
        ASSERT_NEAR(left(kStep + k), kRide + kCrash * fade, 1e-6f) << "frame " << kStep + k;
    }
    for (std::size_t frame = kStep + kFade; frame < 3 * kStep; ++frame)
        ASSERT_EQ(left(frame), kRide) << "frame " << frame;
}

}  // namespace
}  // namespace taktwerk::cli
