// Velocity layers of an imported set (kit.ini) as the engine plays them: a hit's velocity
// picks the layer (the first whose range holds it), the layer's gain and the curve
// (v / 127)^2 set its level; sets without kit.ini play their one file at every velocity.
// Its choke groups stop sounding drums, to the frame.

#include "SoundTestSupport.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace taktwerk::sound {
namespace {

using testing::constant;
using testing::renderLeft;
using testing::ScriptedSteps;
using testing::TempDir;
using testing::writeWav;

constexpr double kRate = 48000.0;
constexpr std::size_t kLength = 2400;
constexpr std::size_t kFade = 96;  // 2 ms at 48 kHz
// Each layer plays a level of its own (exact in float), so the mix says which one sounded.
constexpr float kSoft = -0.25f;
constexpr float kMiddle = 0.125f;
constexpr float kLoud = 0.5f;

class VelocityLayersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        choice_.soundDir = dir_.path() / "Sound";
        choice_.soundSet = "Kit";
        writeWav(file("BD.wav"), constant(kLoud, kLength), static_cast<int>(kRate));
        writeWav(file("BD-1.wav"), constant(kSoft, kLength), static_cast<int>(kRate));
        writeWav(file("BD-2.wav"), constant(kMiddle, kLength), static_cast<int>(kRate));
        writeWav(file("SD.wav"), constant(kLoud, kLength), static_cast<int>(kRate));
        engine_.setMode(SoundMode::Wave);
    }

    std::filesystem::path file(const std::string& name) const
    {
        return choice_.soundDir / choice_.soundSet / name;
    }

    void writeKitIni(const std::string& text)
    {
        std::ofstream(file("kit.ini"), std::ios::binary) << text;
        engine_.SetSound(choice_);
    }

    // The level of one bass drum hit at `velocity`, some frames after it starts.
    float hitLevel(int velocity)
    {
        ScriptedSteps steps({{0, 0, velocity}});
        engine_.setStepSource(&steps);
        const auto out = renderLeft(engine_, 256);
        engine_.setStepSource(nullptr);
        renderLeft(engine_, kLength + kFade);  // the hit rings out
        return out[100];
    }

    TempDir dir_;
    SoundChoice choice_;
    Engine engine_{kRate};
};

float curve(int velocity)
{
    const float share = static_cast<float>(velocity) / 127.0f;
    return share * share;
}

TEST_F(VelocityLayersTest, VelocityPicksTheLayerNotJustTheLevel)
{
    writeKitIni("[BD]\r\nLayers=3\r\nLayer1=BD-1.wav\r\nVelocity1=0-40\r\n"
                "Layer2=BD-2.wav\r\nVelocity2=41-90\r\nGain2=2\r\n"
                "Layer3=BD.wav\r\nVelocity3=91-127\r\n");
    struct Case {
        int velocity;
        float layer;
        float gain;
    };
    for (const Case& c : {Case{20, kSoft, 1.0f}, Case{40, kSoft, 1.0f}, Case{41, kMiddle, 2.0f},
                          Case{90, kMiddle, 2.0f}, Case{91, kLoud, 1.0f}, Case{127, kLoud, 1.0f}})
        EXPECT_FLOAT_EQ(hitLevel(c.velocity), c.layer * c.gain * curve(c.velocity)) << c.velocity;
    // The soft hit is another sample, not the loud one turned down: its sign tells.
    EXPECT_LT(hitLevel(20), 0.0f);
    EXPECT_GT(hitLevel(127), 0.0f);
}

TEST_F(VelocityLayersTest, OverlapsGoToTheFirstLayerAndGapsToTheNearest)
{
    writeKitIni("[BD]\r\nLayers=3\r\nLayer1=BD-1.wav\r\nVelocity1=0-70\r\n"
                "Layer2=BD-2.wav\r\nVelocity2=50-80\r\n"
                "Layer3=BD.wav\r\nVelocity3=110-127\r\n");
    const std::vector<std::pair<int, float>> cases{
        {60, kSoft},    // in both of the first two: the first wins
        {75, kMiddle},  // only in the second
        {90, kMiddle},  // in a gap, nearer the second layer
        {100, kLoud},   // in a gap, nearer the third
        {127, kLoud}};
    for (const auto& [velocity, layer] : cases)
        EXPECT_FLOAT_EQ(hitLevel(velocity), layer * curve(velocity)) << velocity;
}

TEST_F(VelocityLayersTest, SetWithoutKitIniPlaysItsFileAtEveryVelocityAlongTheCurve)
{
    engine_.SetSound(choice_);
    for (int velocity : {1, 20, 64, 127})
        EXPECT_FLOAT_EQ(hitLevel(velocity), kLoud * curve(velocity)) << velocity;
    // A pad press of the window is a full-velocity hit: as loud as the file, exactly.
    engine_.hitPad(0);
    EXPECT_EQ(renderLeft(engine_, 256)[100], kLoud);
}

TEST_F(VelocityLayersTest, BrokenLayersFallToTheNearestUsableOne)
{
    std::ofstream(file("BD-2.wav")) << "RIFF, not a wave";
    writeKitIni("[BD]\r\nLayers=5\r\nLayer1=BD-1.wav\r\nVelocity1=0-40\r\n"
                "Layer2=BD-2.wav\r\nVelocity2=41-90\r\n"          // unreadable
                "Layer3=../Other/BD.wav\r\nVelocity3=91-100\r\n"  // leaves the set
                "Layer4=BD.wav\r\nVelocity4=127-101\r\n"          // upside down: left out
                "Layer5=missing.wav\r\nVelocity5=101-127\r\n");
    EXPECT_FLOAT_EQ(hitLevel(30), kSoft * curve(30));
    // Nothing usable is left above 40: every louder hit plays the soft layer rather than
    // nothing or a file from outside the set.
    EXPECT_FLOAT_EQ(hitLevel(120), kSoft * curve(120));
}

TEST_F(VelocityLayersTest, RebuildKeepsASoundingLayerRinging)
{
    writeKitIni("[BD]\r\nLayers=2\r\nLayer1=BD-1.wav\r\nVelocity1=0-63\r\n"
                "Layer2=BD.wav\r\nVelocity2=64-127\r\n");
    engine_.hitPad(0, 0, 20);
    renderLeft(engine_, 256);
    engine_.SetSound(choice_);  // the same files: the soft layer is shared, not cut
    const auto out = renderLeft(engine_, 256);
    EXPECT_FLOAT_EQ(out[kFade + 10], kSoft * curve(20));
}

TEST_F(VelocityLayersTest, ClickAndPadHitsAtFullVelocityPlayTheLoudestLayer)
{
    writeWav(file("ST.wav"), constant(kLoud, kLength), static_cast<int>(kRate));
    writeWav(file("ST-1.wav"), constant(kSoft, kLength), static_cast<int>(kRate));
    writeKitIni("[ST]\r\nLayers=2\r\nLayer1=ST-1.wav\r\nVelocity1=0-63\r\n"
                "Layer2=ST.wav\r\nVelocity2=64-127\r\nGain2=0.5\r\n");
    engine_.click();
    EXPECT_FLOAT_EQ(renderLeft(engine_, 256)[100], kLoud * 0.5f);
}

TEST_F(VelocityLayersTest, ChokeGroupsStopTheSoundingDrumsOfTheGroupToTheFrame)
{
    constexpr float kSnare = -0.375f;
    writeWav(file("SD.wav"), constant(kSnare, kLength), static_cast<int>(kRate));
    writeWav(file("RC.wav"), constant(kSoft, kLength), static_cast<int>(kRate));
    writeWav(file("CC.wav"), constant(kMiddle, kLength), static_cast<int>(kRate));
    // The ride stops the crash but not the other way round (SFZ's group and off_by); bass and
    // snare drum cut each other (Hydrogen's mute_group).
    writeKitIni("[BD]\r\nLayers=1\r\nLayer1=BD.wav\r\nChokeGroup=2\r\nChokedBy=2\r\n"
                "[SD]\r\nLayers=1\r\nLayer1=SD.wav\r\nChokeGroup=2\r\nChokedBy=2\r\n"
                "[RC]\r\nLayers=1\r\nLayer1=RC.wav\r\nChokeGroup=1\r\n"
                "[CC]\r\nLayers=1\r\nLayer1=CC.wav\r\nChokedBy=1\r\n");
    // Tom 1 comes from another imported set, whose kit uses group 1 for something else.
    constexpr float kTom = 0.0625f;
    const auto other = choice_.soundDir / "Other";
    std::filesystem::create_directories(other);
    writeWav(other / "T1.wav", constant(kTom, kLength), static_cast<int>(kRate));
    std::ofstream(other / "kit.ini", std::ios::binary)
        << "[T1]\r\nLayers=1\r\nLayer1=T1.wav\r\nChokeGroup=1\r\nChokedBy=1\r\n";
    choice_.tomSounds[0] = "Other/T1";
    engine_.SetSound(choice_);
    constexpr int kBd = 0, kSd = 1, kRc = 4, kCc = 5, kT1 = 6;
    const std::map<int, float> level{
        {kBd, kLoud}, {kSd, kSnare}, {kRc, kSoft}, {kCc, kMiddle}, {kT1, kTom}};
    struct Case {
        int first;
        int second;
        bool cut;  // the second hit stops the first
    };
    constexpr std::uint64_t kSecond = 1000;
    for (const Case& c : {Case{kCc, kRc, true}, Case{kRc, kCc, false}, Case{kBd, kSd, true},
                          Case{kSd, kBd, true}, Case{kCc, kBd, false}, Case{kBd, kRc, false},
                          Case{kCc, kT1, false}, Case{kT1, kRc, false}}) {
        SCOPED_TRACE(std::to_string(c.first) + " then " + std::to_string(c.second));
        ScriptedSteps steps({{0, c.first}, {kSecond, c.second}});
        engine_.setStepSource(&steps);
        const auto out = renderLeft(engine_, kLength);
        engine_.setStepSource(nullptr);
        renderLeft(engine_, kLength + kFade);
        const float first = level.at(c.first);
        const float second = level.at(c.second);
        EXPECT_EQ(out[kSecond - 1], first);  // untouched up to the hit
        for (std::uint64_t k = 0; k < kFade + 100; ++k) {
            const float fade =
                k < kFade ? static_cast<float>(kFade - k - 1) / static_cast<float>(kFade) : 0.0f;
            const float expected = second + first * (c.cut ? fade : 1.0f);
            ASSERT_NEAR(out[kSecond + k], expected, 1e-6f) << "frame " << kSecond + k;
        }
    }
}

}  // namespace
}  // namespace taktwerk::sound
