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

std::unique_ptr<MidiDestination> TimedMidiSender::detach() noexcept
{
    stop();
    hasDestination_.store(false, std::memory_order_release);
    return std::move(destination_);
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

void TimedMidiInput::setTiming(std::uint32_t sampleRate, std::uint32_t blockFrames) noexcept
{
    sampleRate_ = sampleRate;
    latency_ = durationOfFrames(2ull * blockFrames, sampleRate);
    // What came in while the output stood still (a restart for another port) is long over.
    staleAfter_ = durationOfFrames(8ull * blockFrames, sampleRate);
}

TimedMidiInput::~TimedMidiInput() { (void)detach(); }

void TimedMidiInput::attach(std::unique_ptr<MidiOrigin> origin)
{
    (void)detach();
    origin_ = std::move(origin);
    if (origin_) {
        origin_->deliverTo(this);
        attached_.store(true, std::memory_order_release);
    }
}

std::unique_ptr<MidiOrigin> TimedMidiInput::detach() noexcept
{
    attached_.store(false, std::memory_order_release);
    if (origin_)
        origin_->deliverTo(nullptr);
    return std::move(origin_);
}

std::string TimedMidiInput::originName() const { return origin_ ? origin_->name() : std::string(); }

bool TimedMidiInput::arrived(MidiClock::time_point at, const std::uint8_t* bytes,
                             std::size_t size) noexcept  // the origin's thread
{
    Arrived message;
    message.atNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
    if (bytes == nullptr || size == 0 || size > kMaxTimedMidiBytes) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    message.size = static_cast<std::uint8_t>(size);
    std::copy_n(bytes, size, message.bytes.begin());
    if (!queue_.push(message)) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    return true;
}

void TimedMidiInput::beginBlock(MidiClock::time_point heardAt,
                                std::uint32_t frames) noexcept  // audio thread
{
    count_ = 0;
    const auto heardNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(heardAt.time_since_epoch()).count();
    // Taken in arrival order, so the frames never go backwards; one that belongs to a later
    // block waits in held_, as everything behind it does in the queue.
    while (count_ < kMaxPerBlock && (holding_ || queue_.pop(held_))) {
        holding_ = true;
        const std::int64_t early = heardNs - (held_.atNs + latency_.count());
        if (early > staleAfter_.count()) {
            holding_ = false;
            continue;
        }
        // Frames after the block's start at which this one is heard; jitter of the callbacks
        // may put it a little before.
        const std::int64_t late = -early;
        const auto frame = late <= 0 ? 0 : late * sampleRate_ / 1'000'000'000;
        if (frame >= frames)
            break;
        block_[count_] = held_;
        frames_[count_] = static_cast<std::uint32_t>(frame);
        ++count_;
        holding_ = false;
    }
}

bool TimedMidiInput::at(std::uint32_t index, sound::MidiInEvent& event) const noexcept
{
    if (index >= count_)
        return false;
    event = {frames_[index], block_[index].bytes.data(), block_[index].size};
    return true;
}

}  // namespace taktwerk::devices
