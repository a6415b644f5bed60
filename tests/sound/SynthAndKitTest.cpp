// The built-in General MIDI synth inside the engine, and the default kit made from it.

#include "SoundTestSupport.h"
#include "sound/MakeKit.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>

namespace taktwerk::sound {
namespace {

using testing::renderLeft;
using testing::ScriptedSteps;
using testing::TempDir;

float peak(const std::vector<float>& data, std::size_t from, std::size_t to)
{
    float result = 0.0f;
    for (std::size_t i = from; i < to; ++i)
        result = std::max(result, std::abs(data[i]));
    return result;
}

TEST(GmSynth, EngineRendersABassDrumAtItsFrameWhenNoReceiverListens)
{
    const auto font = findSoundFont();
    if (!font)
        GTEST_SKIP() << "no General MIDI SoundFont installed";
    Engine engine(48000.0);
    ASSERT_TRUE(engine.loadSynth(*font));
    // Off the synth's own 64-frame grid: the bass drum still starts on its frame.
    ScriptedSteps steps({{1001, 0}});
    engine.setStepSource(&steps);
    const auto out = renderLeft(engine, 6000, 100);
    // A fresh synth sleeps until its first note: not even its reverb's idle hum is mixed in.
    EXPECT_EQ(peak(out, 0, 1001), 0.0f);
    EXPECT_GT(peak(out, 1001, 6000), 0.01f);

    // With a receiver, the notes go there and the synth stays silent.
    RecordingMidiSink receiver;
    renderLeft(engine, 48000, 256);  // let the first drum ring out
    engine.hitPad(0);
    const auto quiet = renderLeft(engine, 4800, 256, receiver);
    EXPECT_EQ(receiver.events().size(), 2u);  // note-on and its note-off
    EXPECT_LT(peak(quiet, 0, 4800), 1e-6f);

    // Asleep again, the synth is not woken by STOP's "all notes off": nothing to end, no hum.
    renderLeft(engine, 3 * 48000, 256);
    engine.allNotesOff();
    const auto stopped = renderLeft(engine, 4800, 256);
    EXPECT_EQ(peak(stopped, 0, 4800), 0.0f);
}

std::size_t firstSound(const std::vector<float>& data)
{
    return static_cast<std::size_t>(
        std::find_if(data.begin(), data.end(), [](float value) { return value != 0.0f; }) -
        data.begin());
}

// Loaded elsewhere in two parts, as the live host does the first time MIDI mode needs it: the
// synth sounds at once, and its notes rendered ahead follow, with a velocity the owner chose
// meanwhile.
TEST(GmSynth, ASynthLoadedElsewhereSoundsAtOnceAndItsNotesFollow)
{
    const auto font = findSoundFont();
    if (!font)
        GTEST_SKIP() << "no General MIDI SoundFont installed";
    Engine engine(48000.0);
    auto synth = GmSynth::create(*font, {.sampleRate = 48000.0, .effects = true});
    ASSERT_TRUE(synth);
    engine.setSynth(*font, std::move(synth.value()));
    EXPECT_EQ(engine.soundFont(), *font);
    ScriptedSteps early({{1001, 0}});
    engine.setStepSource(&early);
    const auto live = renderLeft(engine, 6000, 100);
    EXPECT_LT(firstSound(live), 1001u + 64u) << "within the live synth's grid";

    engine.setVelocity(90);  // the click's notes must be rendered anew for it
    engine.setSynthNotes(renderSynthNotes(*font, 48000.0, 37, MidiValues{}));
    renderLeft(engine, 3 * 48000, 100);  // let the first drum ring out
    ScriptedSteps later({{1001, 0}});
    engine.setStepSource(&later);
    const auto rendered = renderLeft(engine, 6000, 100);
    EXPECT_EQ(firstSound(rendered), 1001u);
    renderLeft(engine, 3 * 48000, 100);
    engine.click();
    const auto click = renderLeft(engine, 6000, 100);
    EXPECT_EQ(firstSound(click), 0u);
}

struct WavFile {
    SF_INFO info{};
    std::vector<float> data;
};

WavFile readWav(const std::filesystem::path& file)
{
    WavFile wav;
    SNDFILE* handle = sf_open(file.c_str(), SFM_READ, &wav.info);
    if (handle == nullptr)
        return wav;
    wav.data.resize(static_cast<std::size_t>(wav.info.frames * wav.info.channels));
    sf_readf_float(handle, wav.data.data(), wav.info.frames);
    sf_close(handle);
    return wav;
}

TEST(MakeKit, RendersFourteenSamplesPeakingTogetherAtMinusOneDb)
{
    const auto font = findSoundFont();
    if (!font)
        GTEST_SKIP() << "no General MIDI SoundFont installed";
    TempDir dir;
    const auto setDir = dir.path() / "Sound" / "Default";
    auto report =
        makeKit({.soundFont = *font, .setDir = setDir, .extraTomDir = setDir.parent_path()});
    ASSERT_TRUE(report) << report.error().detail;
    EXPECT_EQ(report->written.size(), 17u);
    EXPECT_TRUE(isKitComplete(setDir));

    float kitPeak = 0.0f;
    for (const KitSample& sample : kitSamples()) {
        const auto wav = readWav(setDir / (sample.name + ".wav"));
        EXPECT_EQ(wav.info.samplerate, 44100) << sample.name;
        EXPECT_EQ(wav.info.channels, 2) << sample.name;
        EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16) << sample.name;
        ASSERT_GT(wav.data.size(), 200u) << sample.name;
        const float own = peak(wav.data, 0, wav.data.size());
        EXPECT_GT(own, 0.05f) << sample.name;
        // Starts with the hit (no leading silence), ends faded to silence.
        EXPECT_GT(peak(wav.data, 0, 2 * 441), own * 0.01f) << sample.name;
        EXPECT_LT(std::abs(wav.data.back()), 1e-3f) << sample.name;
        kitPeak = std::max(kitPeak, own);
    }
    EXPECT_NEAR(20.0 * std::log10(kitPeak), -1.0, 0.01);
    for (const KitSample& tom : extraTomSamples())
        EXPECT_GT(peak(readWav(dir.path() / "Sound" / (tom.name + ".wav")).data, 0, 100), 0.0f);
}

TEST(MakeKit, FirstStartFillsInOnlyWhatIsMissing)
{
    if (!findSoundFont())
        GTEST_SKIP() << "no General MIDI SoundFont installed";
    TempDir dir;
    const auto own = dir.path() / "Default" / "BD.wav";
    testing::writeWav(own, testing::constant(0.125f, 100), 44100);
    auto report = ensureDefaultKit(dir.path());
    ASSERT_TRUE(report);
    EXPECT_EQ(report->written.size(), 16u);
    EXPECT_EQ(readWav(own).data.size(), 100u);  // the user's own bass drum is kept
    EXPECT_TRUE(isKitComplete(dir.path() / "Default"));
    report = ensureDefaultKit(dir.path());
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->written.empty());
}

}  // namespace
}  // namespace taktwerk::sound
