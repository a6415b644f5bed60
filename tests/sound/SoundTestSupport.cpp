#include "SoundTestSupport.h"

#include <atomic>
#include <memory>
#include <sndfile.h>
#include <stdexcept>
#include <unistd.h>

namespace taktwerk::sound::testing {

TempDir::TempDir()
{
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("taktwerk-sound-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir()
{
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

void writeWav(const std::filesystem::path& file, const std::vector<float>& data, int rate,
              int channels, int format)
{
    std::filesystem::create_directories(file.parent_path());
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format != 0 ? format : (SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    SNDFILE* handle = sf_open(file.c_str(), SFM_WRITE, &info);
    if (handle == nullptr)
        throw std::runtime_error("cannot write " + file.string());
    sf_writef_float(handle, data.data(), static_cast<sf_count_t>(data.size()) / channels);
    sf_close(handle);
}

std::vector<float> constant(float value, std::size_t frames)
{
    return std::vector<float>(frames, value);
}

void ScriptedSteps::advance(std::uint32_t frames, BlockScheduler& scheduler) noexcept
{
    for (const Hit& hit : hits_) {
        if (hit.frame >= position_ && hit.frame < position_ + frames) {
            const auto frame = static_cast<std::uint32_t>(hit.frame - position_);
            if (hit.track < 0)
                scheduler.clickAt(frame);
            else
                scheduler.padAt(hit.track, frame, hit.velocity);
        }
    }
    position_ += frames;
}

std::vector<float> renderLeft(Engine& engine, std::size_t frames, std::uint32_t block,
                              MidiBlockSink& midi)
{
    std::vector<float> left;
    std::vector<float> buffer(static_cast<std::size_t>(block) * 2);
    auto* recording = dynamic_cast<RecordingMidiSink*>(&midi);
    while (left.size() < frames) {
        engine.process(buffer.data(), block, midi);
        if (recording != nullptr)
            recording->endBlock(block);
        for (std::uint32_t frame = 0; frame < block && left.size() < frames; ++frame)
            left.push_back(buffer[frame * 2]);
    }
    return left;
}

std::vector<float> renderLeft(Engine& engine, std::size_t frames, std::uint32_t block)
{
    NoMidi none;
    return renderLeft(engine, frames, block, none);
}

}  // namespace taktwerk::sound::testing
