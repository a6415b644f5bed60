#include "playback/OfflineRender.h"

#include "rhythms/TempFolder.h"
#include "sound/ImpulseKit.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace taktwerk::playback {
namespace {

using testing::kClickVoice;
using testing::Onset;
using testing::voiceBit;

// The frame of step n at one tempo.
std::uint64_t stepFrame(std::uint64_t n, std::uint64_t rate, std::uint64_t tempo)
{
    return (2 * n * 15 * rate + tempo) / (2 * tempo);
}

// A busy pattern: every track on its own steps, some steps shared.
RenderJob busyJob(const std::filesystem::path& soundDir, std::uint32_t rate, int tempo)
{
    RenderJob job;
    job.sound.soundDir = soundDir;
    job.sound.soundSet = "Impulse";
    job.sampleRate = rate;
    job.tempoBpm = tempo;
    job.rows = {0x11111111u, 0x10101010u, 0x55555555u, 0x80000000u, 0x0000F000u,
                0x00000001u, 0x00000100u, 0x00000200u, 0x00000400u};
    job.mutes = 1u << 4;  // the ride is muted
    return job;
}

// What the job's pattern must sound at step s (steps counted from the first pattern step).
int expectedVoices(const RenderJob& job, int step)
{
    int voices = 0;
    for (int track = 0; track < pattern::kTrackCount; ++track) {
        if (((job.rows[static_cast<std::size_t>(track)] >> step) & 1u) &&
            !((job.mutes >> track) & 1u))
            voices |= voiceBit(track);
    }
    return voices;
}

std::vector<float> renderAll(OfflineRenderer& renderer, std::uint64_t frames)
{
    std::vector<float> mix(frames * sound::kOutputChannels);
    for (std::uint64_t done = 0; done < frames;) {
        const auto block = static_cast<std::uint32_t>(std::min<std::uint64_t>(777, frames - done));
        renderer.render(mix.data() + done * sound::kOutputChannels, block);
        done += block;
    }
    return mix;
}

TEST(OfflineRender, EveryHitLandsOnItsStepsExactFrame)
{
    const testing::TempFolder folder;
    for (const std::uint32_t rate : {44100u, 48000u}) {
        testing::writeImpulseKit(folder.path(), "Impulse", static_cast<int>(rate));
        for (const int tempo : {35, 97, 120, 333, 450}) {
            const RenderJob job = busyJob(folder.path(), rate, tempo);
            OfflineRenderer renderer(job);
            const auto found = testing::onsets(renderAll(renderer, renderer.musicFrames()));

            std::vector<Onset> expected;
            for (int step = 0; step < 4 * 32; ++step) {
                if (const int voices = expectedVoices(job, step % 16))
                    expected.push_back({stepFrame(static_cast<std::uint64_t>(step), rate,
                                                  static_cast<std::uint64_t>(tempo)),
                                        voices});
            }
            // Four loops of 16 steps: the length is exactly the frame of the 65th step.
            EXPECT_EQ(renderer.musicFrames(),
                      stepFrame(64, rate, static_cast<std::uint64_t>(tempo)));
            expected.resize(static_cast<std::size_t>(
                std::count_if(expected.begin(), expected.end(),
                              [&](const Onset& o) { return o.frame < renderer.musicFrames(); })));
            EXPECT_EQ(found, expected) << rate << " Hz, " << tempo << " BPM";
        }
    }
}

TEST(OfflineRender, TempoChangeMovesTheStepsAfterTheStepThatReadIt)
{
    const testing::TempFolder folder;
    testing::writeImpulseKit(folder.path(), "Impulse", 48000);
    RenderJob job = busyJob(folder.path(), 48000, 120);
    job.rows = {0xFFFFFFFFu};
    OfflineRenderer renderer(job);
    // Through step 5 (due at 30000) at 120, then 97 from step 6 on: step 6 is still 120's.
    auto mix = renderAll(renderer, 30001);
    renderer.parameters().setTempo(97);
    const auto rest = renderAll(renderer, 48000 * 10);
    mix.insert(mix.end(), rest.begin(), rest.end());
    const auto found = testing::onsets(mix);
    ASSERT_GT(found.size(), 20u);
    for (std::uint64_t n = 0; n < found.size(); ++n) {
        const std::uint64_t expected = n <= 6
                                           ? stepFrame(n, 48000, 120)
                                           : stepFrame(6, 48000, 120) + stepFrame(n - 6, 48000, 97);
        EXPECT_EQ(found[n].frame, expected) << "step " << n;
    }
}

TEST(OfflineRender, WavFileHoldsExactlyTheLoopsCountInAndRingOut)
{
    const testing::TempFolder folder;
    testing::writeImpulseKit(folder.path(), "Impulse", 44100);
    RenderJob job = busyJob(folder.path(), 44100, 97);
    job.interval = 3;
    job.beats = 12;
    job.loops = 2;
    job.intro = true;
    job.floatSamples = true;
    const auto file = folder / "out.wav";
    auto report = renderWav(job, file);
    ASSERT_TRUE(report) << report.error().message;
    // A count-in of 12 steps and two loops of 12.
    EXPECT_EQ(report->musicFrames, stepFrame(36, 44100, 97));
    auto wav = testing::readWav(file);
    EXPECT_EQ(static_cast<std::uint64_t>(wav.info.frames), report->musicFrames);
    EXPECT_EQ(wav.info.channels, 2);
    const auto found = testing::onsets(wav.samples);
    ASSERT_GE(found.size(), 5u);
    EXPECT_EQ(found[0], (Onset{0, voiceBit(kClickVoice)})) << "the count-in starts at sample 0";
    EXPECT_EQ(found[1], (Onset{stepFrame(3, 44100, 97), voiceBit(kClickVoice)}));
    EXPECT_EQ(found[4].frame, stepFrame(12, 44100, 97)) << "the pattern starts after a bar";
    EXPECT_FALSE(std::filesystem::exists(folder / "out.wav.part"));

    // A bass drum that rings for one second, struck on the loop's last step: the ring-out
    // runs exactly one second past that step and stops there.
    {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* out = sf_open((folder / "Impulse" / "BD.wav").c_str(), SFM_WRITE, &info);
        const std::vector<float> ring(44100, 0.25f);
        sf_writef_float(out, ring.data(), 44100);
        sf_close(out);
    }
    job.intro = false;
    job.tail = true;
    job.rows = {0x800u};
    job.floatSamples = false;
    report = renderWav(job, file);
    ASSERT_TRUE(report);
    wav = testing::readWav(file);
    EXPECT_EQ(wav.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
    EXPECT_EQ(report->musicFrames, stepFrame(24, 44100, 97));
    EXPECT_EQ(report->frames, stepFrame(23, 44100, 97) + 44100);
    EXPECT_EQ(static_cast<std::uint64_t>(wav.info.frames), report->frames);

    EXPECT_FALSE(renderWav(job, folder / "no-such-folder" / "out.wav"));
}

// Where something starts in a rendered mix and how loud the left channel is there.
struct Strike {
    std::uint64_t frame;
    double level;
};

std::vector<Strike> strikes(const std::vector<float>& mix)
{
    std::vector<Strike> found;
    for (std::size_t frame = 0; frame < mix.size() / 2; ++frame) {
        if (mix[frame * 2] != 0.0f)
            found.push_back({frame, mix[frame * 2]});
    }
    return found;
}

// Every track of the busy job strikes with a velocity of its own at every step.
pattern::Velocities accents()
{
    pattern::Velocities velocities{};
    for (std::size_t track = 0; track < velocities.size(); ++track) {
        for (std::size_t step = 0; step < velocities[track].size(); ++step)
            velocities[track][step] = static_cast<std::uint8_t>(1 + (track * 37 + step * 11) % 127);
    }
    return velocities;
}

// The level the impulse kit gives the job's hits at pattern step `column`.
double expectedLevel(const RenderJob& job, int column)
{
    double level = 0.0;
    for (int track = 0; track < pattern::kTrackCount; ++track) {
        const auto t = static_cast<std::size_t>(track);
        if (((job.rows[t] >> column) & 1u) && !((job.mutes >> track) & 1u)) {
            const double share = job.velocities[t][static_cast<std::size_t>(column)] / 127.0;
            level += voiceBit(track) / testing::kBitScale * share * share;
        }
    }
    return level;
}

// round-half-up((n + delay / 50) * 15 * rate / tempo), from `start` on.
std::uint64_t swungFrame(std::uint64_t start, std::uint64_t n, int delay, std::uint64_t rate,
                         std::uint64_t tempo)
{
    const std::uint64_t units = 50 * n + static_cast<std::uint64_t>(delay);
    return start + (2 * units * 15 * rate + 50 * tempo) / (2 * 50 * tempo);
}

void expectStrikes(const std::vector<Strike>& found, const std::vector<Strike>& expected,
                   const std::string& what)
{
    ASSERT_EQ(found.size(), expected.size()) << what;
    for (std::size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].frame, expected[i].frame) << what << ", strike " << i;
        // The click of each voice times its velocity's gain, summed in float.
        EXPECT_NEAR(found[i].level, expected[i].level, 1e-6) << what << ", strike " << i;
    }
}

TEST(OfflineRender, SwungAndAccentedHitsLandOnTheirExactFramesAtTheirLevels)
{
    const testing::TempFolder folder;
    const pattern::Swing swings[] = {{58, pattern::SwingNote::Sixteenth},
                                     {66, pattern::SwingNote::Eighth},
                                     {75, pattern::SwingNote::Sixteenth}};
    for (const std::uint32_t rate : {44100u, 48000u}) {
        testing::writeImpulseKit(folder.path(), "Impulse", static_cast<int>(rate));
        for (const int tempo : {35, 120, 450}) {
            for (const pattern::Swing& swing : swings) {
                RenderJob job = busyJob(folder.path(), rate, tempo);
                job.velocities = accents();
                job.swing = swing;
                job.intro = true;  // the count-in's clicks stay on the grid
                OfflineRenderer renderer(job);
                const auto found = strikes(renderAll(renderer, renderer.musicFrames()));

                std::vector<Strike> expected;
                for (std::uint64_t n = 0; n < 16; n += 4)
                    expected.push_back({stepFrame(n, rate, static_cast<std::uint64_t>(tempo)),
                                        voiceBit(kClickVoice) / testing::kBitScale});
                for (std::uint64_t n = 16; n < 16 + 4 * 16; ++n) {
                    const int column = static_cast<int>(n % 16);
                    const int delay = pattern::swingDelayUnits(swing, 4, column);
                    const std::uint64_t frame =
                        swungFrame(0, n, delay, rate, static_cast<std::uint64_t>(tempo));
                    if (expectedLevel(job, column) != 0.0 && frame < renderer.musicFrames())
                        expected.push_back({frame, expectedLevel(job, column)});
                }
                std::sort(expected.begin(), expected.end(),
                          [](const Strike& a, const Strike& b) { return a.frame < b.frame; });
                expectStrikes(found, expected,
                              std::to_string(rate) + " Hz, " + std::to_string(tempo) + " BPM, " +
                                  std::to_string(swing.percent) + " % on " +
                                  std::to_string(static_cast<int>(swing.note)) + "ths");
            }
        }
    }
}

TEST(OfflineRender, SwingFollowsATempoChangeFromTheStepThatReadIt)
{
    const testing::TempFolder folder;
    for (const std::uint64_t rate : {44100u, 48000u}) {
        testing::writeImpulseKit(folder.path(), "Impulse", static_cast<int>(rate));
        RenderJob job = busyJob(folder.path(), static_cast<std::uint32_t>(rate), 120);
        job.rows = {0xFFFFFFFFu};
        job.velocities = accents();
        job.swing = {62, pattern::SwingNote::Sixteenth};
        OfflineRenderer renderer(job);
        // Steps 0 ... 5 read 120; step 6 (due at six steps of 120, a whole frame) reads 97 and
        // so do the steps after it: their lengths and their delays are 97's.
        const std::uint64_t change = stepFrame(6, rate, 120);
        auto mix = renderAll(renderer, stepFrame(5, rate, 120) + 1);
        renderer.parameters().setTempo(97);
        const auto rest = renderAll(renderer, rate * 10);
        mix.insert(mix.end(), rest.begin(), rest.end());
        const auto found = strikes(mix);
        ASSERT_GT(found.size(), 40u);
        std::vector<Strike> expected;
        for (std::uint64_t n = 0; n < found.size(); ++n) {
            const int delay = n % 2 == 1 ? 12 : 0;
            const std::uint64_t frame = n < 6 ? swungFrame(0, n, delay, rate, 120)
                                              : swungFrame(change, n - 6, delay, rate, 97);
            expected.push_back({frame, job.velocities[0][n % 16] / 127.0 *
                                           (job.velocities[0][n % 16] / 127.0) * voiceBit(0) /
                                           testing::kBitScale});
        }
        expectStrikes(found, expected, std::to_string(rate) + " Hz");
    }
}

}  // namespace
}  // namespace taktwerk::playback
