// Which file each voice plays, and loading odd files: other rates and channel counts, broken,
// truncated, endless and NaN-laden ones.

#include "SoundTestSupport.h"
#include "sound/SpscQueue.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <thread>

namespace taktwerk::sound {
namespace {

using testing::constant;
using testing::TempDir;
using testing::writeWav;

std::string name(const std::filesystem::path& file) { return file.string(); }

TEST(SampleFiles, FollowTheChoicesAndTomNamesExactly)
{
    SoundChoice choice;
    choice.soundDir = "/s";
    choice.soundSet = "Rock";
    auto none = [](const std::filesystem::path&) { return false; };
    auto all = [](const std::filesystem::path&) { return true; };
    struct Row {
        VoiceId voice;
        int snare, ride;
        std::string expected;
    };
    const std::vector<Row> rows{
        {VoiceId::BD, 0, 0, "/s/Rock/BD.wav"},  {VoiceId::SD, 0, 0, "/s/Rock/SD.wav"},
        {VoiceId::SD, 1, 0, "/s/Rock/SD2.wav"}, {VoiceId::SD, 2, 0, "/s/Rock/RM.wav"},
        {VoiceId::SD, 7, 0, "/s/Rock/SD.wav"},  {VoiceId::RC, 0, 1, "/s/Rock/RC2.wav"},
        {VoiceId::RC, 0, 2, "/s/Rock/CB.wav"},  {VoiceId::RC, 0, -1, "/s/Rock/RC.wav"},
        {VoiceId::HH, 0, 0, "/s/Rock/HH.wav"},  {VoiceId::OH, 0, 0, "/s/Rock/OH.wav"},
        {VoiceId::CC, 0, 0, "/s/Rock/CC.wav"},  {VoiceId::T1, 0, 0, "/s/Rock/T1.wav"},
        {VoiceId::T3, 0, 0, "/s/Rock/T3.wav"},
    };
    for (const Row& row : rows) {
        choice.snareChoice = row.snare;
        choice.rideChoice = row.ride;
        EXPECT_EQ(name(sampleFileFor(row.voice, choice, none)), row.expected);
    }
    choice.tomSounds = {"tom 1", "Floor Tom", "Tom 3"};
    EXPECT_EQ(name(sampleFileFor(VoiceId::T1, choice, none)), "/s/tom 1.wav");
    EXPECT_EQ(name(sampleFileFor(VoiceId::T2, choice, none)), "/s/Floor Tom.wav");
    EXPECT_EQ(name(sampleFileFor(VoiceId::T3, choice, none)), "/s/Rock/T3.wav");
    // A name from a rhythm file stays inside the sound folder even when it looks absolute.
    choice.tomSounds[0] = "/etc/x";
    EXPECT_EQ(name(sampleFileFor(VoiceId::T1, choice, none)), "/s//etc/x.wav");

    EXPECT_EQ(name(sampleFileFor(VoiceId::ST, choice, all)), "/s/Rock/ST.wav");
    EXPECT_EQ(name(sampleFileFor(VoiceId::ST, choice, none)), "/s/Default/ST.wav");
}

TEST(LoadSample, ConvertsRateAndChannelsToStereoAtTheOutputRate)
{
    TempDir dir;
    // Mono 22050 Hz, 16 bit: one second becomes 48000 stereo frames, both sides alike.
    writeWav(dir.path() / "mono.wav", constant(0.5f, 22050), 22050, 1,
             SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    auto mono = loadSample(dir.path() / "mono.wav", 48000.0);
    ASSERT_TRUE(mono);
    EXPECT_NEAR(static_cast<double>(mono->frames()), 48000.0, 2.0);
    EXPECT_NEAR(mono->data[48000], 0.5f, 1e-3);
    EXPECT_EQ(mono->data[48000], mono->data[48001]);

    // Four channels, 24 bit: the first two are kept as left and right.
    std::vector<float> quad;
    for (int frame = 0; frame < 100; ++frame)
        quad.insert(quad.end(), {0.25f, -0.25f, 0.75f, 0.75f});
    writeWav(dir.path() / "quad.wav", quad, 48000, 4, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    auto stereo = loadSample(dir.path() / "quad.wav", 48000.0);
    ASSERT_TRUE(stereo);
    EXPECT_EQ(stereo->frames(), 100u);
    EXPECT_EQ(stereo->data[20], 0.25f);
    EXPECT_EQ(stereo->data[21], -0.25f);
}

TEST(LoadSample, BadFilesGiveSilenceOrWhatCanBeRead)
{
    TempDir dir;
    EXPECT_FALSE(loadSample(dir.path() / "missing.wav", 48000.0));
    EXPECT_FALSE(loadSample(dir.path(), 48000.0));  // a folder
    {
        std::ofstream garbage(dir.path() / "garbage.wav", std::ios::binary);
        garbage << "RIFF\x10\0\0\0WAVEjunkjunkjunk";
    }
    EXPECT_FALSE(loadSample(dir.path() / "garbage.wav", 48000.0));
    writeWav(dir.path() / "empty.wav", {}, 48000);
    EXPECT_FALSE(loadSample(dir.path() / "empty.wav", 48000.0));

    // Cut off in the middle of its data: what is there still plays.
    writeWav(dir.path() / "cut.wav", constant(0.5f, 10000), 48000, 1,
             SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::filesystem::resize_file(dir.path() / "cut.wav", 44 + 2 * 4000 + 1);
    auto cut = loadSample(dir.path() / "cut.wav", 48000.0);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->frames(), 4000u);

    // NaN and overloads in a float file must not reach the mix.
    writeWav(dir.path() / "nan.wav", {NAN, 3.0f, -3.0f, INFINITY}, 48000, 1,
             SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    auto nan = loadSample(dir.path() / "nan.wav", 48000.0);
    ASSERT_TRUE(nan);
    EXPECT_EQ(nan->data, (std::vector<float>{0, 0, 1, 1, -1, -1, 0, 0}));
}

TEST(LoadSample, AFileClaimingMoreThanThirtySecondsIsRefusedUnread)
{
    TempDir dir;
    writeWav(dir.path() / "long.wav", constant(0.25f, 8000 * 30 + 1), 8000);
    const auto refused = readSample(dir.path() / "long.wav", 8000.0);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message, "longer than 30 s");
    writeWav(dir.path() / "thirty.wav", constant(0.25f, 8000 * 30), 8000);
    auto sample = loadSample(dir.path() / "thirty.wav", 8000.0);
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->frames(), 8000u * 30);
}

TEST(SpscQueue, RefusesPushWhenFullAndKeepsOrderAcrossThreads)
{
    SpscQueue<int, 4> small;
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(small.push(i));
    EXPECT_FALSE(small.push(99));
    int value = -1;
    ASSERT_TRUE(small.pop(value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(small.push(4));  // wraps around
    for (int expected = 1; expected <= 4; ++expected) {
        ASSERT_TRUE(small.pop(value));
        EXPECT_EQ(value, expected);
    }
    EXPECT_FALSE(small.pop(value));

    constexpr int kCount = 200000;
    SpscQueue<int, 64> queue;
    std::thread producer([&] {
        for (int i = 0; i < kCount;) {
            if (queue.push(i))
                ++i;
        }
    });
    int next = 0;
    bool inOrder = true;
    while (next < kCount) {
        if (queue.pop(value))
            inOrder = inOrder && value == next++;
    }
    producer.join();
    EXPECT_TRUE(inOrder);
}

}  // namespace
}  // namespace taktwerk::sound
