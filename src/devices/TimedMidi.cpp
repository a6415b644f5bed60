#include "devices/TimedMidi.h"

#include "devices/TimingThread.h"

#include <algorithm>
#include <utility>

namespace taktwerk::devices {

namespace {

// While stopping, a message due further ahead than this goes out at once: stop() must not hang
// on a nonsense deadline, and real ones are at most a few blocks ahead.
constexpr auto kStopGrace = std::chrono::milliseconds(100);

}  // namespace

TimedMidiSender::~TimedMidiSender() { stop(); }

void TimedMidiSender::attach(std::unique_ptr<MidiDestination> destination)
{
    stop();
    destination_ = std::move(destination);
    hasDestination_.store(destination_ != nullptr, std::memory_order_release);
}

std::string TimedMidiSender::destinationName() const
{
    return destination_ ? destination_->name() : std::string();
}

void TimedMidiSender::start()
{
    if (thread_.joinable() || !destination_)
        return;
    stopping_.store(false, std::memory_order_release);
    thread_ = std::thread([this] { run(); });
}

void TimedMidiSender::stop() noexcept
{
    if (!thread_.joinable())
        return;
    stopping_.store(true, std::memory_order_release);
    pushes_.fetch_add(1, std::memory_order_release);
    pushes_.notify_one();
    thread_.join();
}

bool TimedMidiSender::push(const TimedMidiMessage& message) noexcept  // audio thread
{
    if (!hasDestination_.load(std::memory_order_acquire) || !queue_.push(message))
        return false;
    pushes_.fetch_add(1, std::memory_order_release);
    // A futex wake only when the sender is idle in wait(); no lock, no allocation.
    pushes_.notify_one();
    return true;
}

void TimedMidiSender::run() noexcept
{
    prepareTimingThread();
    TimedMidiMessage message;
    for (;;) {
        // Read before draining: a push after the last pop changes the count, so wait() below
        // returns at once instead of missing it.
        const std::uint32_t seen = pushes_.load(std::memory_order_acquire);
        const bool stopping = stopping_.load(std::memory_order_acquire);
        while (queue_.pop(message)) {
            const auto deadline = message.deadline();
            if (!stopping || deadline <= MidiClock::now() + kStopGrace)
                std::this_thread::sleep_until(deadline);
            destination_->send(message);
        }
        if (stopping)
            break;
        pushes_.wait(seen, std::memory_order_acquire);
    }
    destination_->allNotesOff();
}

bool TimedMidiSink::midiAt(std::uint32_t frame, const std::uint8_t* bytes,
                           std::size_t size) noexcept  // audio thread
{
    // Outside the block is a fault of the caller, refused as the JACK port refuses it.
    if (size == 0 || size > kMaxTimedMidiBytes || frame >= blockFrames_)
        return false;
    TimedMidiMessage message;
    const auto deadline = frameTime(zeroFrameTime_, blockStartFrame_ + frame, sampleRate_);
    message.deadlineNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
    message.size = static_cast<std::uint8_t>(size);
    std::copy_n(bytes, size, message.bytes.begin());
    return sender_.push(message);
}

}  // namespace taktwerk::devices
