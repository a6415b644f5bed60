// The sampled voices as heard in a rendered buffer: when a hit starts, what a retrigger, a
// choke and a stop do, the beginner view, missing samples and voice sets swapped mid-play.

#include "SoundTestSupport.h"

#include <atomic>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <thread>
#include <utility>

namespace taktwerk::sound {
namespace {

using testing::constant;
using testing::renderLeft;
using testing::ScriptedSteps;
using testing::TempDir;
using testing::writeWav;

constexpr double kRate = 48000.0;
constexpr std::size_t kFade = 96;  // 2 ms at 48 kHz
constexpr std::size_t kLength = 4800;

// Every voice of the test kit plays a constant level of its own, exact in 16 bits, so a mix
// can be read back voice by voice.
float level(VoiceId voice) { return static_cast<float>(index(voice) + 1) / 16.0f; }

class VoicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        choice_.soundDir = dir_.path() / "Sound";
        choice_.soundSet = "Kit";
        // The variants nobody asks for exist too, silent, so a wrong choice would be heard.
        for (const char* name : {"SD2", "RM", "RC2", "CB"})
            writeWav(setFile(name), constant(0.0f, kLength), static_cast<int>(kRate));
        for (int voice = 0; voice < kVoiceCount; ++voice) {
            const auto id = static_cast<VoiceId>(voice);
            writeWav(setFile(std::string(voiceCode(id))), constant(level(id), kLength),
                     static_cast<int>(kRate));
        }
        engine_.setMode(SoundMode::Wave);
        engine_.SetSound(choice_);
    }

    std::filesystem::path setFile(const std::string& name) const
    {
        return choice_.soundDir / choice_.soundSet / (name + ".wav");
    }

    std::vector<float> play(std::vector<ScriptedSteps::Hit> hits, std::size_t frames,
                            std::uint32_t block = 256)
    {
        ScriptedSteps steps(std::move(hits));
        engine_.setStepSource(&steps);
        auto out = renderLeft(engine_, frames, block);
        engine_.setStepSource(nullptr);
        renderLeft(engine_, 1, 1);  // let the engine forget the step source
        return out;
    }

    TempDir dir_;
    SoundChoice choice_;
    Engine engine_{kRate};
};

TEST_F(VoicesTest, HitStartsAtItsExactFrameInAnyBlockSize)
{
    for (std::uint32_t block : {1u, 64u, 256u, 1000u}) {
        Engine engine(kRate);
        engine.setMode(SoundMode::Wave);
        engine.SetSound(choice_);
        ScriptedSteps steps({{1000, 0}});
        engine.setStepSource(&steps);
        const auto out = renderLeft(engine, 7000, block);
        EXPECT_EQ(out[999], 0.0f) << block;
        EXPECT_EQ(out[1000], level(VoiceId::BD)) << block;
        EXPECT_EQ(out[1000 + kLength - 1], level(VoiceId::BD)) << block;
        EXPECT_EQ(out[1000 + kLength], 0.0f) << block;  // played to its end, then silent
    }
}

TEST_F(VoicesTest, RetriggerRestartsFromTheStartAndFadesTheCutSound)
{
    // A ramp shows where in the sample the voice plays.
    std::vector<float> ramp(kLength);
    for (std::size_t frame = 0; frame < kLength; ++frame)
        ramp[frame] = static_cast<float>(frame) / 8192.0f;
    writeWav(setFile("BD"), ramp, static_cast<int>(kRate), 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    engine_.SetSound(choice_);

    // Sounding (1000), and finished (20000): each hit plays from the first frame again.
    const auto out = play({{0, 0}, {1000, 0}, {20000, 0}}, 26000);
    EXPECT_EQ(out[999], ramp[999]);
    // Within 2 ms the cut sound is gone and only the restarted one is heard.
    EXPECT_NEAR(out[1000], ramp[0] + ramp[1000] * (kFade - 1) / kFade, 1e-6);
    for (std::size_t frame = 1000; frame < 1000 + kFade; ++frame)
        EXPECT_LE(out[frame], ramp[frame - 1000] + ramp[frame]) << frame;
    EXPECT_EQ(out[1000 + kFade - 1], ramp[kFade - 1]);
    EXPECT_EQ(out[1000 + kFade], ramp[kFade]);
    EXPECT_EQ(out[1000 + 3000], ramp[3000]);
    EXPECT_EQ(out[19999], 0.0f);
    EXPECT_EQ(out[20000 + 7], ramp[7]);
}

TEST_F(VoicesTest, ClosedHiHatChokesOpenHiHatWithinTwoMilliseconds)
{
    const float oh = level(VoiceId::OH);
    const float hh = level(VoiceId::HH);
    const auto out = play({{0, 3}, {2000, 2}}, 5000);
    EXPECT_EQ(out[1999], oh);
    EXPECT_NEAR(out[2000], hh + oh * (kFade - 1) / kFade, 1e-6);
    // The fade falls steadily, never a jump back up.
    for (std::size_t frame = 2001; frame < 2000 + kFade; ++frame)
        EXPECT_LE(out[frame], out[frame - 1]) << frame;
    EXPECT_EQ(out[2000 + kFade - 1], hh);
    EXPECT_EQ(out[2000 + kFade + 500], hh);
}

TEST_F(VoicesTest, AHitsLevelFollowsItsVelocitySquaredAndItsFadeStartsThere)
{
    const float bd = level(VoiceId::BD);
    for (const int velocity : {127, 112, 100, 64, 32, 1}) {
        const float share = static_cast<float>(velocity) / 127.0f;
        const auto out = play({{10, 0, velocity}}, 100);
        EXPECT_EQ(out[10], bd * share * share) << velocity;
        EXPECT_EQ(out[99], bd * share * share) << velocity;
        renderLeft(engine_, kLength);  // let it end
    }
    EXPECT_NEAR(velocityCurve(64), 0.25395f, 1e-5f) << "-11.9 dB, as a GM synth plays 64";

    // A quiet hit cut by a loud one fades from its own level, not from full scale.
    const auto out = play({{0, 0, 32}, {1000, 0, 127}}, 1200);
    const float quiet = bd * (32.0f / 127.0f) * (32.0f / 127.0f);
    EXPECT_NEAR(out[1000], bd + quiet * (kFade - 1) / kFade, 1e-6);
}

TEST_F(VoicesTest, MasterVolumeGlidesToItsLevelWithoutAJump)
{
    writeWav(setFile("BD"), constant(0.5f, 48000), static_cast<int>(kRate));
    engine_.SetSound(choice_);
    constexpr std::size_t kRamp = 480;  // 10 ms
    engine_.hitPad(0);
    auto out = renderLeft(engine_, 1000, 100);
    EXPECT_EQ(out[999], 0.5f) << "full volume: the mix untouched";
    for (const auto& [percent, gain] : {std::pair{50, 0.25f}, {0, 0.0f}, {100, 1.0f}}) {
        const float from = out.back();
        engine_.setVolume(percent);
        EXPECT_EQ(engine_.volume(), percent);
        out = renderLeft(engine_, 2000, 64);
        const float step = std::abs(0.5f * gain - from) / static_cast<float>(kRamp);
        float previous = from;
        for (std::size_t frame = 0; frame < kRamp; ++frame) {
            ASSERT_LE(std::abs(out[frame] - previous), step * 1.01f) << percent << " % " << frame;
            previous = out[frame];
        }
        EXPECT_EQ(out[kRamp - 1], 0.5f * gain) << percent << " %: there, exactly";
        EXPECT_EQ(out[1999], 0.5f * gain) << percent << " %";
    }
    engine_.setVolume(250);
    EXPECT_EQ(engine_.volume(), 100);
    engine_.setVolume(-3);
    EXPECT_EQ(engine_.volume(), 0);
}

// Blocks where nothing sounds skip the mix. A silent preview playing all the while keeps the
// second engine on the full mix every block, so the two must agree sample for sample: across
// hits that start in a quiet block, tails that end, and volume changes made in the silence.
TEST_F(VoicesTest, QuietBlocksSoundExactlyAsTheFullMixWould)
{
    writeWav(setFile("silence"), constant(0.0f, 4 * 48000), static_cast<int>(kRate));
    Engine quiet(kRate);
    Engine full(kRate);
    const std::vector<ScriptedSteps::Hit> hits = {{350, 0},       {6000, 2, 40}, {20000, 4},
                                                  {20100, 5, 90}, {40050, 1},    {60001, 3, 1}};
    ScriptedSteps quietSteps(hits);
    ScriptedSteps fullSteps(hits);
    for (auto [engine, steps] : {std::pair{&quiet, &quietSteps}, {&full, &fullSteps}}) {
        engine->setMode(SoundMode::Wave);
        engine->SetSound(choice_);
        engine->setStepSource(steps);
    }
    full.preview(setFile("silence"));
    constexpr std::uint32_t kBlock = 100;
    std::vector<float> heardQuiet;
    std::vector<float> heardFull;
    std::size_t at = 0;
    auto renderUntil = [&](std::size_t frame) {
        for (Engine* engine : {&quiet, &full}) {
            auto part = renderLeft(*engine, frame - at, kBlock);
            auto& heard = engine == &quiet ? heardQuiet : heardFull;
            heard.insert(heard.end(), part.begin(), part.end());
        }
        at = frame;
    };
    // In the silence after a hit, while one sounds, and just before the next one.
    for (const auto& [frame, percent] :
         {std::pair{std::size_t{12000}, 30}, {21000, 80}, {50000, 0}, {59900, 100}}) {
        renderUntil(frame);
        quiet.setVolume(percent);
        full.setVolume(percent);
    }
    renderUntil(80000);
    ASSERT_EQ(heardQuiet.size(), heardFull.size());
    for (std::size_t frame = 0; frame < heardFull.size(); ++frame)
        ASSERT_EQ(heardQuiet[frame], heardFull[frame]) << "frame " << frame;
    EXPECT_NE(heardQuiet[60001], 0.0f) << "the last hit is heard";
    // The last hit's final frame is 64800, and the block that ends it ends quiet: from there on
    // the one engine was quiet, the other never.
    EXPECT_EQ(quiet.quietFrames(), 80000u - 64800u);
    EXPECT_EQ(full.quietFrames(), 0u);
}

TEST_F(VoicesTest, EachTomCutsTheOtherTwoAndSetsEditTom)
{
    const float t1 = level(VoiceId::T1);
    const float t2 = level(VoiceId::T2);
    const float t3 = level(VoiceId::T3);
    auto out = play({{0, 6}, {100, 8}, {2000, 7}}, 3000);
    EXPECT_EQ(out[99], t1);
    EXPECT_EQ(out[100 + kFade], t3);
    EXPECT_EQ(out[2000 + kFade], t2);
    EXPECT_EQ(engine_.editTom(), 2);

    // A bass drum is not cut by a tom: the mix holds both.
    out = play({{0, 0}, {100, 6}}, 1000);
    EXPECT_EQ(out[500], level(VoiceId::BD) + t1);
}

TEST_F(VoicesTest, RightClickOnTomPlaysNothingButOtherPadsPlayAlike)
{
    const auto tom = engine_.hitPad(7, kRightButton);
    EXPECT_TRUE(tom.opensSampleDialog);
    auto out = renderLeft(engine_, 256);
    EXPECT_EQ(out[10], 0.0f);
    EXPECT_EQ(engine_.editTom(), 2);

    const auto snare = engine_.hitPad(1, kRightButton);
    EXPECT_FALSE(snare.opensSampleDialog);
    out = renderLeft(engine_, 256);
    EXPECT_EQ(out[10], level(VoiceId::SD));
}

TEST_F(VoicesTest, BeginnerViewSilencesOpenHiHatAndCrashFromPadAndPattern)
{
    engine_.hitPad(3, 0, kFullVelocity, true);
    engine_.hitPad(5, 0, kFullVelocity, true);
    const bool beginner = true;
    auto out = play({{100, 3, kFullVelocity, beginner},
                     {200, 5, kFullVelocity, beginner},
                     {300, 2, kFullVelocity, beginner}},
                    6000);  // the hi-hat has ended
    EXPECT_EQ(out[50], 0.0f);
    EXPECT_EQ(out[250], 0.0f);
    EXPECT_EQ(out[400], level(VoiceId::HH));

    out = play({{100, 3}, {200, 5}}, 1000);
    EXPECT_EQ(out[150], level(VoiceId::OH));
    EXPECT_EQ(out[250], level(VoiceId::OH) + level(VoiceId::CC));
}

TEST_F(VoicesTest, MissingOrBrokenSampleIsSilentWhileTheOthersPlay)
{
    std::filesystem::remove(setFile("SD"));
    {
        std::ofstream broken(setFile("HH"));
        broken << "RIFF but not really a wave file";
    }
    engine_.SetSound(choice_);
    const auto out = play({{0, 0}, {0, 1}, {0, 2}, {0, 4}}, 1000);
    EXPECT_EQ(out[500], level(VoiceId::BD) + level(VoiceId::RC));
}

TEST_F(VoicesTest, SnareAndRideVariantsFollowTheChoice)
{
    writeWav(setFile("RM"), constant(0.5f, kLength), static_cast<int>(kRate));
    writeWav(setFile("CB"), constant(0.25f, kLength), static_cast<int>(kRate));
    choice_.snareChoice = 2;
    choice_.rideChoice = 2;
    engine_.SetSound(choice_);
    const auto out = play({{0, 1}, {1000, 4}}, 2000);
    EXPECT_EQ(out[500], 0.5f);
    EXPECT_EQ(out[1500], 0.75f);
}

TEST_F(VoicesTest, ClickFallsBackToTheDefaultSetAndSendsNoMidiInWaveMode)
{
    std::filesystem::remove(setFile("ST"));
    writeWav(choice_.soundDir / "Default" / "ST.wav", constant(0.75f, kLength),
             static_cast<int>(kRate));
    engine_.SetSound(choice_);
    RecordingMidiSink midi;
    engine_.click();
    auto out = renderLeft(engine_, 256, 256, midi);
    EXPECT_EQ(out[0], 0.75f);
    EXPECT_TRUE(midi.events().empty());

    // Without the Default set's click either, the click is silent.
    std::filesystem::remove(choice_.soundDir / "Default" / "ST.wav");
    engine_.SetSound(choice_);
    out = play({{kLength, -1}}, kLength * 2);
    EXPECT_EQ(out[kLength + 10], 0.0f);
}

TEST_F(VoicesTest, SingleTomRebuildLeavesSoundingVoicesUntouched)
{
    writeWav(choice_.soundDir / "Big Tom.wav", constant(0.03125f, kLength),
             static_cast<int>(kRate));
    engine_.hitPad(0);
    engine_.hitPad(7);
    auto before = renderLeft(engine_, 1024);
    EXPECT_EQ(before[1000], level(VoiceId::BD) + level(VoiceId::T2));

    choice_.tomSounds[1] = "Big Tom";
    engine_.SetSingleSound(8, choice_);
    auto after = renderLeft(engine_, 1024);
    // The bass drum rings on without a break; the replaced tom fades out.
    EXPECT_EQ(after[kFade], level(VoiceId::BD));
    EXPECT_EQ(after[1000], level(VoiceId::BD));

    engine_.hitPad(7);
    engine_.hitPad(6);  // tom 1 still plays the set's own sample
    after = renderLeft(engine_, 1024);
    EXPECT_EQ(after[kFade + 10], level(VoiceId::BD) + level(VoiceId::T1));
    engine_.hitPad(7);
    after = renderLeft(engine_, 1024);
    EXPECT_EQ(after[kFade + 10], level(VoiceId::BD) + 0.03125f);
}

TEST_F(VoicesTest, FullRebuildKeepsUnchangedVoicesRingingAndReloadsChangedFiles)
{
    engine_.hitPad(0);
    engine_.hitPad(1);
    renderLeft(engine_, 256);
    writeWav(setFile("SD"), constant(0.75f, kLength * 2), static_cast<int>(kRate));
    engine_.SetSound(choice_);
    auto out = renderLeft(engine_, 256);
    EXPECT_EQ(out[kFade], level(VoiceId::BD));  // no break in the bass drum; old snare cut
    engine_.hitPad(1);
    out = renderLeft(engine_, 256);
    EXPECT_EQ(out[kFade], level(VoiceId::BD) + 0.75f);
}

TEST_F(VoicesTest, PreviewPlaysInEitherModeAndTheNextPreviewCutsIt)
{
    engine_.setMode(SoundMode::Midi);
    engine_.preview(setFile("ST"));
    auto out = renderLeft(engine_, 256);
    EXPECT_EQ(out[0], level(VoiceId::ST));
    engine_.preview(setFile("CC"));
    out = renderLeft(engine_, 256);
    EXPECT_EQ(out[kFade], level(VoiceId::CC));
    engine_.preview(setFile("missing"));
    out = renderLeft(engine_, 256);
    EXPECT_EQ(out[kFade], 0.0f);
    engine_.preview(setFile("BD"));
    engine_.stopPreview();
    out = renderLeft(engine_, 256);
    EXPECT_EQ(out[0], 0.0f);
}

TEST_F(VoicesTest, CleanUpSilencesEveryVoice)
{
    engine_.hitPad(0);
    renderLeft(engine_, 256);
    engine_.DXCleanUp();
    engine_.hitPad(1);
    const auto out = renderLeft(engine_, 512);
    EXPECT_EQ(out[kFade], 0.0f);
    EXPECT_EQ(out[400], 0.0f);
}

TEST_F(VoicesTest, RebuildsWhilePlayingNeitherCrashNorGlitch)
{
    ScriptedSteps steps([] {
        std::vector<ScriptedSteps::Hit> hits;
        for (std::uint64_t frame = 0; frame < 480000; frame += 300)
            hits.push_back({frame, static_cast<int>((frame / 300) % kTrackCount)});
        return hits;
    }());
    engine_.setStepSource(&steps);
    std::atomic<bool> done{false};
    bool finite = true;
    std::thread audio([&] {
        std::vector<float> block(256 * 2);
        NoMidi none;
        for (int i = 0; i < 480000 / 256; ++i) {
            engine_.process(block.data(), 256, none);
            for (float value : block)
                finite = finite && std::isfinite(value) && std::abs(value) <= 1.0f;
        }
        done = true;
    });
    SoundChoice other = choice_;
    other.tomSounds = {"Nope", "Tom 2", "tom 3"};
    for (int round = 0; !done; ++round) {
        if (round % 3 == 0)
            engine_.SetSound(round % 2 ? choice_ : other);
        else if (round % 3 == 1)
            engine_.SetSingleSound(7 + round % 3, choice_);
        else
            engine_.DXCleanUp();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    audio.join();
    EXPECT_TRUE(finite);
    EXPECT_EQ(engine_.commandDrops(), 0u);
}

}  // namespace
}  // namespace taktwerk::sound
