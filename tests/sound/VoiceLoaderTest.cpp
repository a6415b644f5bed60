#include "sound/VoiceLoader.h"

#include "SoundTestSupport.h"

#include <chrono>
#include <gtest/gtest.h>

namespace taktwerk::sound {
namespace {

using testing::constant;
using testing::TempDir;
using testing::writeWav;
using Clock = std::chrono::steady_clock;

// The ten files the voices play of set `set`, each a constant of `level` lasting `seconds` at
// 44.1 kHz, so that a 48 kHz loader converts every one.
void writeSet(const std::filesystem::path& soundDir, const std::string& set, float level,
              double seconds)
{
    std::filesystem::create_directories(soundDir / set);
    const auto frames = static_cast<std::size_t>(seconds * 44100);
    for (const char* code : {"BD", "SD", "HH", "OH", "RC", "CC", "T1", "T2", "T3", "ST"})
        writeWav(soundDir / set / (std::string(code) + ".wav"), constant(level, frames), 44100);
}

SoundChoice choiceOf(const std::filesystem::path& soundDir, const std::string& set)
{
    SoundChoice choice;
    choice.soundDir = soundDir;
    choice.soundSet = set;
    return choice;
}

TEST(VoiceLoader, BuildsOffTheOwnersThreadAndHandsOverTheNewestRequest)
{
    TempDir dir;
    writeSet(dir.path(), "Long", 0.25f, 5.0);
    writeSet(dir.path(), "Short", 0.5f, 0.1);
    writeWav(dir.path() / "Bongo.wav", constant(0.75f, 4410), 44100);

    VoiceLoader loader(48000.0);
    const auto asked = Clock::now();
    loader.requestSet(choiceOf(dir.path(), "Long"));
    EXPECT_LT(Clock::now() - asked, std::chrono::milliseconds(50));
    // Asked for again before the first is done: only the newest counts, the tom on top of it.
    loader.requestSet(choiceOf(dir.path(), "Short"));
    SoundChoice bongo = choiceOf(dir.path(), "Short");
    bongo.tomSounds[1] = "Bongo";
    loader.requestTom(8, bongo);
    ASSERT_TRUE(loader.waitUntilBuilt({}));
    const auto built = loader.takeReady();
    ASSERT_TRUE(built);
    EXPECT_EQ(loader.takeReady(), nullptr);  // handed over once
    for (int voice = 0; voice < kVoiceCount; ++voice) {
        ASSERT_TRUE(built->samples[static_cast<std::size_t>(voice)]) << voice;
        const float expected = voice == index(VoiceId::T2) ? 0.75f : 0.5f;
        EXPECT_NEAR(built->samples[static_cast<std::size_t>(voice)]->data[100], expected, 1e-3)
            << voice;
    }
}

TEST(VoiceLoader, AStopEndsTheWaitAndTheLoaderAtOnce)
{
    TempDir dir;
    writeSet(dir.path(), "Long", 0.25f, 29.0);
    const auto started = Clock::now();
    {
        VoiceLoader loader(48000.0);
        loader.requestSet(choiceOf(dir.path(), "Long"));
        EXPECT_FALSE(loader.waitUntilBuilt([] { return true; }));
    }
    // Ten files of 29 s each would take seconds; the loader stops after the one it is at.
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(1500));
}

}  // namespace
}  // namespace taktwerk::sound
