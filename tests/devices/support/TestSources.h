#pragma once
// Small stand-ins for the engine and for a MIDI port, to drive and observe audio outputs.

#include "devices/TimedMidi.h"
#include "sound/AudioIO.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace taktwerk::devices::testing {

// Plays a one-sample click (kLeft, kRight) at frames first, first + spacing, ... counted from
// the block in which it was armed and, at the same frame, a note-on 0x99 whose note is the
// click's number modulo 128. Arming late lets a test connect its recorder first. Runs on the
// output's audio thread; the counters are read by the test.
class ClickSource final : public sound::AudioSource {
public:
    static constexpr float kLeft = 0.5f;
    static constexpr float kRight = -0.25f;
    static constexpr std::uint8_t kVelocity = 100;

    ClickSource(std::uint64_t firstFrame, std::uint64_t spacing, bool armed = true)
        : firstFrame_(firstFrame), spacing_(spacing), armed_(armed)
    {
    }

    void arm() { armed_.store(true, std::memory_order_release); }

    void process(float* out, std::uint32_t frames, sound::MidiBlockSink& midi) noexcept override
    {
        std::fill_n(out, static_cast<std::size_t>(frames) * sound::kOutputChannels, 0.0f);
        maxFrames_.store(std::max(maxFrames_.load(std::memory_order_relaxed), frames),
                         std::memory_order_relaxed);
        if (midi.hasReceiver())
            blocksWithReceiver_.fetch_add(1, std::memory_order_relaxed);
        const std::uint64_t end = done_ + frames;
        if (!origin_ && armed_.load(std::memory_order_acquire))
            origin_ = done_;
        while (origin_ && nextClick() < end) {
            const auto frame = static_cast<std::uint32_t>(nextClick() - done_);
            out[2 * frame] = kLeft;
            out[2 * frame + 1] = kRight;
            const std::uint8_t noteOn[] = {0x99, static_cast<std::uint8_t>(clicks_ % 128),
                                           kVelocity};
            if (!midi.midiAt(frame, noteOn, sizeof noteOn))
                refusedMidi_.fetch_add(1, std::memory_order_relaxed);
            clicks_.fetch_add(1, std::memory_order_release);
        }
        done_ = end;
        blocks_.fetch_add(1, std::memory_order_release);
    }

    std::uint64_t clicks() const { return clicks_.load(std::memory_order_acquire); }
    std::uint64_t blocks() const { return blocks_.load(std::memory_order_acquire); }
    std::uint32_t maxFrames() const { return maxFrames_.load(std::memory_order_relaxed); }
    std::uint64_t blocksWithReceiver() const { return blocksWithReceiver_.load(); }
    std::uint64_t refusedMidi() const { return refusedMidi_.load(); }

private:
    std::uint64_t nextClick() const { return *origin_ + firstFrame_ + clicks_.load() * spacing_; }

    std::uint64_t firstFrame_;
    std::uint64_t spacing_;
    std::atomic<bool> armed_;
    std::optional<std::uint64_t> origin_;
    std::uint64_t done_ = 0;
    std::atomic<std::uint64_t> clicks_{0};
    std::atomic<std::uint64_t> blocks_{0};
    std::atomic<std::uint32_t> maxFrames_{0};
    std::atomic<std::uint64_t> blocksWithReceiver_{0};
    std::atomic<std::uint64_t> refusedMidi_{0};
};

// A MIDI port that keeps what it was sent, with the deadline and the moment of sending.
class RecordingMidiDestination final : public MidiDestination {
public:
    struct Sent {
        TimedMidiMessage message;
        MidiClock::time_point sentAt;
        bool allNotesOff = false;
    };

    // The test keeps a pointer to the log while the output owns the destination.
    struct Log {
        std::mutex mutex;
        std::vector<Sent> sent;

        std::vector<Sent> copy()
        {
            const std::lock_guard lock(mutex);
            return sent;
        }
    };

    // `present`, when given, says whether the port is still there (isGone).
    explicit RecordingMidiDestination(Log& log, const std::atomic<bool>* present = nullptr)
        : log_(log), present_(present)
    {
    }

    void send(const TimedMidiMessage& message) noexcept override
    {
        const auto now = MidiClock::now();
        const std::lock_guard lock(log_.mutex);
        log_.sent.push_back({message, now, false});
    }
    void allNotesOff() noexcept override
    {
        const std::lock_guard lock(log_.mutex);
        log_.sent.push_back({TimedMidiMessage{}, MidiClock::now(), true});
    }
    std::string name() const override { return "recording"; }
    bool isGone() const override { return present_ != nullptr && !present_->load(); }

private:
    Log& log_;
    const std::atomic<bool>* present_;
};

}  // namespace taktwerk::devices::testing
