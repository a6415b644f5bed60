#pragma once
// Helpers for the sound tests: sample files written on the fly, a scripted step source and
// an offline render loop.

#include "sound/Engine.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace taktwerk::sound::testing {

// A fresh folder under the system's temporary folder, removed again at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Writes interleaved `data` with `channels` channels at `rate` (32-bit float unless `format`,
// so that levels read back exactly).
void writeWav(const std::filesystem::path& file, const std::vector<float>& data, int rate,
              int channels = 1, int format = 0);

// `frames` frames of a constant `value`, mono: makes every voice recognisable in a mix.
std::vector<float> constant(float value, std::size_t frames);

// Plays hits at absolute frames, like the sequencer would. Track -1 is the click.
class ScriptedSteps final : public StepSource {
public:
    struct Hit {
        std::uint64_t frame;
        int track;
        int velocity = kFullVelocity;
    };
    explicit ScriptedSteps(std::vector<Hit> hits) : hits_(std::move(hits)) {}
    void advance(std::uint32_t frames, BlockScheduler& scheduler) noexcept override;

private:
    std::vector<Hit> hits_;
    std::uint64_t position_ = 0;
};

// Renders `frames` frames in blocks of `block` and returns the left channel.
std::vector<float> renderLeft(Engine& engine, std::size_t frames, std::uint32_t block,
                              MidiBlockSink& midi);
std::vector<float> renderLeft(Engine& engine, std::size_t frames, std::uint32_t block = 256);

}  // namespace taktwerk::sound::testing
