// The output of a machine without sound: a clock thread that runs the source block by block in
// real time, so that playback, the play position and MIDI to an external port all work.
// Owned by the application; the clock thread is this output's audio thread.

#include "core/Language.h"
#include "devices/TimedAudioOut.h"
#include "devices/TimingThread.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace taktwerk::devices {

namespace {

// Woken this much later than a block was due (a suspended machine, a debugger), the clock
// starts afresh instead of racing through the missed blocks.
constexpr auto kCatchUpLimit = std::chrono::milliseconds(100);

class NullAudioOut final : public TimedAudioOut {
public:
    NullAudioOut(std::uint32_t sampleRate, std::uint32_t blockFrames)
        : sampleRate_(sampleRate), blockFrames_(blockFrames),
          buffer_(static_cast<std::size_t>(blockFrames) * sound::kOutputChannels)
    {
        setTiming(sampleRate, blockFrames);
    }
    ~NullAudioOut() override { stop(); }

    core::Result<void> start(sound::AudioSource& source) override
    {
        if (thread_.joinable())
            return core::fail(core::translated("The audio output is running already."));
        source_ = &source;
        stopping_.store(false, std::memory_order_release);
        sender_.start();
        running_.store(true, std::memory_order_release);
        thread_ = std::thread([this] { run(); });
        return {};
    }

    void stop() noexcept override
    {
        if (!thread_.joinable())
            return;
        stopping_.store(true, std::memory_order_release);
        thread_.join();
        running_.store(false, std::memory_order_release);
        sender_.stop();
    }

    std::uint32_t sampleRate() const noexcept override { return sampleRate_; }
    std::uint32_t blockFrames() const noexcept override { return blockFrames_; }
    std::string_view backendName() const noexcept override { return "null"; }

private:
    bool isStarted() const noexcept override { return thread_.joinable(); }

    void run() noexcept  // audio thread
    {
        prepareTimingThread();
        auto zeroFrameTime = MidiClock::now();
        std::uint64_t frames = 0;
        const auto blockDuration = durationOfFrames(blockFrames_, sampleRate_);
        while (!stopping_.load(std::memory_order_acquire)) {
            const auto due = zeroFrameTime + durationOfFrames(frames, sampleRate_);
            std::this_thread::sleep_until(due);
            const auto now = MidiClock::now();
            if (now - due > kCatchUpLimit) {
                xruns_.fetch_add(1, std::memory_order_relaxed);
                zeroFrameTime = now - durationOfFrames(frames, sampleRate_);
            }
            // A block is heard one block after it is made, as from a device with one block of
            // buffer: its MIDI deadlines then all lie ahead while the source runs.
            sink_.beginBlock(zeroFrameTime + blockDuration, frames, blockFrames_);
            source_->process(buffer_.data(), blockFrames_, sink_);
            checkOverrun(now, blockDuration);
            frames += blockFrames_;
        }
    }

    std::uint32_t sampleRate_;
    std::uint32_t blockFrames_;
    std::vector<float> buffer_;
    sound::AudioSource* source_ = nullptr;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace

std::unique_ptr<AudioOut> makeNullAudioOut(const AudioOutRequest& request)
{
    // Any rate and block size work without a device; a zero would stall the clock.
    const std::uint32_t rate = request.sampleRate > 0 ? request.sampleRate : 48000;
    const std::uint32_t block = std::max<std::uint32_t>(request.blockFrames, 1);
    return std::make_unique<NullAudioOut>(rate, block);
}

}  // namespace taktwerk::devices
