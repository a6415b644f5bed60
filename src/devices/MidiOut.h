#pragma once
// The user's MIDI ports through RtMidi, for outputs without ports of their own (RtAudio, the
// null output). Out: the one chosen by name, or "MIDI output device 0", the first output port of
// the system that is not a pass-through ("Through") port; opened on the control thread, and
// while an audio output runs it, only that output's MIDI sender thread sends on it. In: the one
// chosen by name, delivering to the output's timed input from RtMidi's own thread.

#include "core/Result.h"
#include "devices/MidiPorts.h"
#include "devices/TimedMidi.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class RtMidiIn;
class RtMidiOut;

namespace taktwerk::devices {

inline constexpr int kMidiChannels = 16;
using MidiShortMessage = std::array<std::uint8_t, 3>;

// Index of "MIDI output device 0" among the system's output ports, in the system's order.
// Pass-through ports would only forward our notes to whatever else is listening (often
// nothing), so they never count as a device.
std::optional<std::size_t> firstUsableMidiPort(const std::vector<std::string>& portNames);

// "All notes off" (controller 123) on each channel, for closing and stopping: a receiver that
// missed a note-off would otherwise hang the note.
std::array<MidiShortMessage, kMidiChannels> allNotesOffMessages() noexcept;

class MidiOut final : public MidiDestination {
    struct Key {
        explicit Key() = default;
    };

public:
    // A system without any MIDI sequencer makes RtMidi throw: that is the same "no port" case
    // as a system whose only ports are pass-throughs, returned as an error, never thrown.
    // A chosen port that is not there is an error too ("MIDI port "…" not found"): never
    // silently another one. Choosing none is an error as well; callers do not ask then.
    static core::Result<std::unique_ptr<MidiOut>> open(const MidiPortChoice& choice,
                                                       const std::string& clientName = "Taktwerk");
    static core::Result<std::unique_ptr<MidiOut>>
    openFirstPort(const std::string& clientName = "Taktwerk")
    {
        return open(MidiPortChoice::firstPort(), clientName);
    }

    MidiOut(Key, std::unique_ptr<RtMidiOut> port, std::string portName,
            std::string clientName);  // see open
    ~MidiOut() override;              // all notes off, then the port closes
    MidiOut(const MidiOut&) = delete;
    MidiOut& operator=(const MidiOut&) = delete;

    // Sends one complete message at once. False when RtMidi reports an error.
    bool sendNow(const std::uint8_t* bytes, std::size_t size) noexcept;
    void send(const TimedMidiMessage& message) noexcept override;
    void allNotesOff() noexcept override;
    std::string name() const override { return portName_; }
    bool isGone() const override;
    std::uint32_t sendFailures() const noexcept
    {
        return sendFailures_.load(std::memory_order_relaxed);
    }

private:
    std::unique_ptr<RtMidiOut> port_;
    std::string portName_;
    std::string clientName_;
    std::atomic<std::uint32_t> sendFailures_{0};
};

class MidiIn final : public MidiOrigin {
    struct Key {
        explicit Key() = default;
    };

public:
    // As MidiOut::open, for the ports that send to us: never another port than the one chosen,
    // never a throw on a system without a sequencer.
    static core::Result<std::unique_ptr<MidiIn>> open(const MidiPortChoice& choice,
                                                      const std::string& clientName = "Taktwerk");

    MidiIn(Key, std::unique_ptr<RtMidiIn> port, std::string portName,
           std::string clientName);  // see open
    ~MidiIn() override;              // stops delivering, then the port closes
    MidiIn(const MidiIn&) = delete;
    MidiIn& operator=(const MidiIn&) = delete;

    void deliverTo(TimedMidiInput* input) noexcept override;
    std::string name() const override { return portName_; }
    bool isGone() const override;

private:
    // RtMidi's thread.
    void arrived(const std::vector<unsigned char>& message) noexcept;

    std::unique_ptr<RtMidiIn> port_;
    std::string portName_;
    std::string clientName_;
    std::atomic<TimedMidiInput*> input_{nullptr};
    // Deliveries under way, so that deliverTo() can wait for the last one to the old input.
    std::atomic<int> delivering_{0};
};

}  // namespace taktwerk::devices
