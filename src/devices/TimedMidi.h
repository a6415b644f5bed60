#pragma once
// MIDI for outputs that cannot place a message at a frame themselves (RtAudio, the null output):
// the audio thread stamps each message with the moment its frame will be heard and queues it;
// a sender thread sleeps to that moment on the monotonic clock and sends at once.
//
// Owned by the audio output that uses it. TimedMidiSink::midiAt and TimedMidiSender::push run
// on the audio thread; the destination's send runs only on the sender thread, so that thread
// owns the MIDI port while the output runs.

#include "sound/AudioIO.h"
#include "sound/SpscQueue.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>

namespace taktwerk::devices {

using MidiClock = std::chrono::steady_clock;

// How long `frames` frames last at `sampleRate`, rounded down (never early), exact for any
// length of play: whole seconds and the remainder apart, so that the product never overflows.
constexpr std::chrono::nanoseconds durationOfFrames(std::uint64_t frames,
                                                    std::uint32_t sampleRate) noexcept
{
    constexpr std::uint64_t kNsPerSecond = 1'000'000'000;
    const std::uint64_t seconds = frames / sampleRate;
    const std::uint64_t rest = frames % sampleRate;
    return std::chrono::nanoseconds(
        static_cast<std::int64_t>(seconds * kNsPerSecond + rest * kNsPerSecond / sampleRate));
}

// Channel messages only: the drum machine sends note-on, note-off and controller messages.
inline constexpr std::size_t kMaxTimedMidiBytes = 3;

struct TimedMidiMessage {
    std::int64_t deadlineNs = 0;  // MidiClock time since its epoch
    std::uint8_t size = 0;
    std::array<std::uint8_t, kMaxTimedMidiBytes> bytes{};

    MidiClock::time_point deadline() const noexcept
    {
        return MidiClock::time_point(
            std::chrono::duration_cast<MidiClock::duration>(std::chrono::nanoseconds(deadlineNs)));
    }
};
static_assert(std::is_trivially_copyable_v<TimedMidiMessage>);

// Where timed MIDI finally goes: an RtMidi port (MidiOut) or, in tests, a recorder.
class MidiDestination {
public:
    virtual ~MidiDestination() = default;
    // MIDI sender thread. Send at once; the message's deadline has just been reached.
    virtual void send(const TimedMidiMessage& message) noexcept = 0;
    // MIDI sender thread, after the last message, so that no receiver hangs a note.
    virtual void allNotesOff() noexcept = 0;
    virtual std::string name() const = 0;
    // Control thread: whether the port has gone from the system (its device unplugged). ALSA
    // drops our connection to a vanished port without a word, so the user's port is asked.
    virtual bool isGone() const { return false; }
};

class TimedMidiSender {
public:
    // Room for many blocks' worth of messages, even a stop's note-off for every key; a full
    // queue drops (and counts) rather than waits.
    static constexpr std::size_t kCapacity = 1024;

    TimedMidiSender() = default;
    ~TimedMidiSender();
    TimedMidiSender(const TimedMidiSender&) = delete;
    TimedMidiSender& operator=(const TimedMidiSender&) = delete;

    // Control thread, while stopped.
    void attach(std::unique_ptr<MidiDestination> destination);
    // Control thread: stops, then gives the destination back (null when there is none).
    std::unique_ptr<MidiDestination> detach() noexcept;
    bool hasDestination() const noexcept { return hasDestination_.load(std::memory_order_acquire); }
    std::string destinationName() const;
    // Control thread: the attached destination's port has gone (see MidiDestination::isGone).
    bool destinationGone() const { return destination_ && destination_->isGone(); }
    void start();
    // Control thread. Sends what is still queued at its time, then all notes off, then ends
    // the thread.
    void stop() noexcept;

    // audio thread. False when there is no destination or the queue is full; the caller
    // counts the drop.
    bool push(const TimedMidiMessage& message) noexcept;

private:
    void run() noexcept;

    // The audio thread pushes, the sender thread pops. Its slots live inside the sender (and so
    // inside the output that owns it), written once at construction: the audio thread never
    // touches a page for the first time.
    sound::SpscQueue<TimedMidiMessage, kCapacity> queue_;
    std::unique_ptr<MidiDestination> destination_;
    std::atomic<bool> hasDestination_{false};
    // Bumped after every push so that the idle sender can sleep in wait() instead of polling.
    std::atomic<std::uint32_t> pushes_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

class TimedMidiInput;

// Where MIDI input comes from for outputs without a port of their own: the user's RtMidi input
// port (MidiIn) or, in tests, a fake player.
class MidiOrigin {
public:
    virtual ~MidiOrigin() = default;
    // Control thread. From now on every message that arrives goes to `input` (from the origin's
    // own thread), until called again with null; returns once nothing goes to the old one.
    virtual void deliverTo(TimedMidiInput* input) noexcept = 0;
    virtual std::string name() const = 0;
    // As MidiDestination::isGone.
    virtual bool isGone() const { return false; }
};

// MIDI input for outputs whose sound system gives no frame times (RtAudio, the null output):
// the origin's thread stamps each message with the moment it arrived, and the audio thread
// places it at the frame heard two blocks later (the block being made meanwhile, then the
// device's one block of buffer). A steady latency rather than "as soon as possible": a drummer
// plays to a sound that comes late, never to one that wanders, and the clock follower sees the
// spacing the master sent.
class TimedMidiInput final : public sound::MidiBlockInput {
public:
    // A flood beyond this between two blocks is dropped and counted, never waited for.
    static constexpr std::size_t kCapacity = 512;
    static constexpr std::uint32_t kMaxPerBlock = 64;

    TimedMidiInput() noexcept = default;
    TimedMidiInput(std::uint32_t sampleRate, std::uint32_t blockFrames) noexcept
    {
        setTiming(sampleRate, blockFrames);
    }
    ~TimedMidiInput() override;
    TimedMidiInput(const TimedMidiInput&) = delete;
    TimedMidiInput& operator=(const TimedMidiInput&) = delete;

    // Control thread, while the output is stopped.
    void setTiming(std::uint32_t sampleRate, std::uint32_t blockFrames) noexcept;
    void attach(std::unique_ptr<MidiOrigin> origin);
    std::unique_ptr<MidiOrigin> detach() noexcept;
    bool isAttached() const noexcept { return attached_.load(std::memory_order_acquire); }
    std::string originName() const;
    // Control thread: the attached origin's port has gone (see MidiOrigin::isGone).
    bool originGone() const { return origin_ && origin_->isGone(); }

    // The origin's thread. Takes one whole message of one to three bytes (notes, clock, start
    // and stop; system exclusive has no use here); false when it was not taken (counted).
    bool arrived(MidiClock::time_point at, const std::uint8_t* bytes, std::size_t size) noexcept;
    std::uint32_t dropped() const noexcept { return dropped_.load(std::memory_order_relaxed); }

    // audio thread. The next block has `frames` frames and is heard from `heardAt` on.
    void beginBlock(MidiClock::time_point heardAt, std::uint32_t frames) noexcept;
    std::uint32_t count() const noexcept override { return count_; }
    bool at(std::uint32_t index, sound::MidiInEvent& event) const noexcept override;

private:
    struct Arrived {
        std::int64_t atNs = 0;  // MidiClock time since its epoch
        std::uint8_t size = 0;
        std::array<std::uint8_t, kMaxTimedMidiBytes> bytes{};
    };

    std::uint32_t sampleRate_ = 48000;
    std::chrono::nanoseconds latency_{};
    std::chrono::nanoseconds staleAfter_{};
    sound::SpscQueue<Arrived, kCapacity> queue_;
    // The current block's messages, and one taken from the queue that belongs to a later block.
    std::array<Arrived, kMaxPerBlock> block_{};
    std::array<std::uint32_t, kMaxPerBlock> frames_{};
    std::uint32_t count_ = 0;
    Arrived held_{};
    bool holding_ = false;
    std::unique_ptr<MidiOrigin> origin_;
    std::atomic<bool> attached_{false};
    std::atomic<std::uint32_t> dropped_{0};
};

// The MidiBlockSink the RtAudio and null outputs hand to AudioSource::process.
class TimedMidiSink final : public sound::MidiBlockSink {
public:
    TimedMidiSink(TimedMidiSender& sender, TimedMidiInput& input, std::uint32_t sampleRate) noexcept
        : sender_(sender), input_(input), sampleRate_(sampleRate)
    {
    }

    // Control thread, while the output is stopped: the stream's rate, once the device gave it.
    void setSampleRate(std::uint32_t sampleRate) noexcept { sampleRate_ = sampleRate; }
    // audio thread. The block of `blockFrames` frames from `blockStartFrame` on is next; frame
    // n of the stream is heard at `zeroFrameTime` plus n frames. Called before process().
    void beginBlock(MidiClock::time_point zeroFrameTime, std::uint64_t blockStartFrame,
                    std::uint32_t blockFrames) noexcept
    {
        zeroFrameTime_ = zeroFrameTime;
        blockStartFrame_ = blockStartFrame;
        blockFrames_ = blockFrames;
        if (input_.isAttached())
            input_.beginBlock(frameTime(zeroFrameTime, blockStartFrame, sampleRate_), blockFrames);
    }
    // audio thread.
    bool midiAt(std::uint32_t frame, const std::uint8_t* bytes, std::size_t size) noexcept override;
    bool hasReceiver() const noexcept override { return sender_.hasDestination(); }
    const sound::MidiBlockInput* input() const noexcept override
    {
        return input_.isAttached() ? &input_ : nullptr;
    }

    // The moment frame `frame` of the stream is heard: no drift from adding up rounded block
    // durations.
    static MidiClock::time_point frameTime(MidiClock::time_point zeroFrameTime, std::uint64_t frame,
                                           std::uint32_t sampleRate) noexcept
    {
        return zeroFrameTime +
               std::chrono::duration_cast<MidiClock::duration>(durationOfFrames(frame, sampleRate));
    }

private:
    TimedMidiSender& sender_;
    TimedMidiInput& input_;
    std::uint32_t sampleRate_;
    MidiClock::time_point zeroFrameTime_{};
    std::uint64_t blockStartFrame_ = 0;
    std::uint32_t blockFrames_ = 0;
};

}  // namespace taktwerk::devices
