// Sample files that cost time: huge or sparse files are refused from their header alone, and
// whatever loading is left happens on the loader's thread, so choosing a sample set never makes
// the window (or Ctrl-C in `play`) wait, and the old voices play on until the new ones are in.

#include "app/LiveHostOptions.h"
#include "devices/AudioOut.h"
#include "devices/TimedMidi.h"
#include "rhythms/TempFolder.h"
#include "sound/ImpulseKit.h"
#include "sound/VoiceSet.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace taktwerk::hardening {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testing::TempFolder;

// No sound card and no MIDI port: the host plays into the null output.
class NoOutputs final : public devices::AudioOutFactory {
public:
    core::Result<std::unique_ptr<devices::AudioOut>>
    openBackend(devices::AudioBackend, const devices::AudioOutRequest&) override
    {
        return core::fail("no sound card", "in tests");
    }
    core::Result<std::unique_ptr<devices::MidiDestination>>
    openMidi(const std::string&, const devices::MidiPortChoice&) override
    {
        return core::fail("no MIDI port", "in tests");
    }
};

// A WAV header claiming `frames` frames of 16-bit PCM, the data a hole in a sparse file: costs
// nothing on the disk, as much as a real file to decode.
void writeSparseWav(const fs::path& file, int rate, int channels, std::uint64_t frames)
{
    const std::uint64_t data = frames * static_cast<std::uint64_t>(channels) * 2;
    const auto u32 = [](std::uint64_t value) {
        const auto v = static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
        return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                           static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
    };
    const auto u16 = [](unsigned value) {
        return std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
    };
    const auto blockAlign = static_cast<unsigned>(channels * 2);
    std::string header = "RIFF" + u32(data + 36) + "WAVEfmt " + u32(16) + u16(1) +
                         u16(static_cast<unsigned>(channels)) +
                         u32(static_cast<std::uint64_t>(rate)) +
                         u32(static_cast<std::uint64_t>(rate) * blockAlign) + u16(blockAlign) +
                         u16(16) + "data" + u32(data);
    {
        std::ofstream out(file, std::ios::binary);
        out.write(header.data(), static_cast<std::streamsize>(header.size()));
    }
    fs::resize_file(file, header.size() + data);
}

TEST(SlowSamples, HugeAndSparseFilesAreRefusedFromTheirHeaderAlone)
{
    TempFolder folder;
    const fs::path set = folder / "Sound" / "Huge";
    fs::create_directories(set);
    struct Case {
        const char* code;
        int rate;
        int channels;
        std::uint64_t frames;
        std::string_view problem;
    };
    const Case cases[] = {
        {"BD", 44100, 2, 1ull << 28, "longer than 30 s"},
        {"SD", 48000, 2, 48000ull * 30 + 1, "longer than 30 s"},
        {"HH", 768000, 8, 768000ull * 30, "too much data for a drum sample"},
        {"OH", 192000, 8, 192000ull * 10, "too much data for a drum sample"},
        {"RC", 192000, 2, 192000ull * 30, ""},  // the most there may be: loaded
        {"CC", 44100, 1, 44100, ""},
    };
    for (const Case& c : cases)
        writeSparseWav(set / (std::string(c.code) + ".wav"), c.rate, c.channels, c.frames);
    for (const char* missing : {"T1", "T2", "T3", "ST"})
        writeSparseWav(set / (std::string(missing) + ".wav"), 44100, 1, 4410);

    sound::SoundChoice choice;
    choice.soundDir = folder / "Sound";
    choice.soundSet = "Huge";
    const auto started = Clock::now();
    const auto voices = sound::buildVoiceSet(choice, 48000.0);
    // Decoding what the refused files claim would take tens of seconds.
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(5));
    for (std::size_t voice = 0; voice < std::size(cases); ++voice) {
        const std::string& problem = voices->problems[voice];
        EXPECT_TRUE(cases[voice].problem.empty() ? problem.empty()
                                                 : problem.starts_with(cases[voice].problem))
            << cases[voice].code << ": " << problem;
        EXPECT_EQ(voices->samples[voice] == nullptr, !cases[voice].problem.empty());
    }
}

TEST(SlowSamples, ChoosingASampleSetNeverWaitsForItsFilesAndTheOldVoicesPlayOn)
{
    constexpr auto kNoWait = std::chrono::milliseconds(500);
    TempFolder folder;
    const fs::path sound = folder / "Sound";
    testing::writeImpulseKit(sound, "Impulse", 48000);
    fs::remove(sound / "Impulse" / "CC.wav");
    // Thirty seconds each at another rate than the output's: every file is converted.
    fs::create_directories(sound / "Slow");
    for (const char* code :
         {"BD", "SD", "SD2", "RM", "HH", "OH", "RC", "RC2", "CB", "CC", "T1", "T2", "T3", "ST"})
        writeSparseWav(sound / "Slow" / (std::string(code) + ".wav"), 44100, 2, 44100ull * 30);

    app::Settings settings;
    settings.SoundDir = sound;
    settings.SoundSet = "Impulse";
    settings.SoundDevice = 2;  // the sampled voices
    playback::LiveHost playback(app::liveHostOptions(settings), std::make_unique<NoOutputs>());
    // The start's set comes in once the loader has it, and says so: one sample short.
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (playback.soundProblem().empty() && Clock::now() < deadline) {
        (void)playback.news().wait(std::chrono::milliseconds(50));
        (void)playback.trouble();
    }
    ASSERT_EQ(playback.soundProblem(), "1 sample not loaded");

    sound::SoundChoice slow;
    slow.soundDir = sound;
    slow.soundSet = "Slow";
    const auto asked = Clock::now();
    playback.setSound(slow);
    // Loading the set takes seconds; the bounds leave room for a busy machine's pauses.
    EXPECT_LT(Clock::now() - asked, kNoWait);
    // Meanwhile the window keeps calling, pads keep sounding, and the old set plays.
    Clock::duration longestCall{};
    while (!playback.soundProblem().empty() && Clock::now() < deadline) {
        const auto call = Clock::now();
        (void)playback.trouble();
        (void)playback.hitPad(0, 1, sound::kFullVelocity, false);
        longestCall = std::max(longestCall, Clock::now() - call);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(playback.soundProblem().empty()) << "the new set never came in";
    EXPECT_LT(longestCall, kNoWait);
    RecordProperty(
        "LoadMs",
        static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked).count()));
    playback.shutdown();
}

}  // namespace
}  // namespace taktwerk::hardening
