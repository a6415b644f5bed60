#pragma once
// The MIDI messages the engine sends, as plain bytes, and a sink that records them for tests.

#include "sound/AudioIO.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace taktwerk::sound {

struct MidiMessage {
    std::array<std::uint8_t, 3> bytes{};
    std::uint8_t size = 0;  // 0: nothing to send
};

// The values every note-on is built from (`MidiChannel` 1-based, `NoteOffset`, `Velocity`).
struct MidiValues {
    int channel = 10;
    int noteOffset = 0;
    int velocity = 127;
};

// Note-on of `note` on the drum channel: 0x99, note, velocity with the usual values. A note
// outside 0..127 (a "MIDIClick" of 300 in the settings file) sends nothing: a data byte of
// 128 or more would be read by the receiver as the start of another message.
MidiMessage MidiNoteOn(int note, const MidiValues& values) noexcept;
// Note-off (0x8n) that ends a note sent by MidiNoteOn with the same values.
MidiMessage midiNoteOff(int note, const MidiValues& values) noexcept;
// Controller 123, "all notes off", on the values' channel.
MidiMessage midiAllNotesOff(const MidiValues& values) noexcept;

// The system real-time messages of the MIDI clock: one status byte each, allowed anywhere,
// even between the bytes of another message.
inline constexpr std::uint8_t kMidiClock = 0xF8;
inline constexpr std::uint8_t kMidiStart = 0xFA;
inline constexpr std::uint8_t kMidiContinue = 0xFB;
inline constexpr std::uint8_t kMidiStop = 0xFC;
// How many clocks make one beat: fixed by MIDI itself.
inline constexpr int kMidiClocksPerBeat = 24;

// A MIDI sink that keeps every message with the absolute frame at which it left, for tests
// and the offline tools. Its storage is reserved up front, so recording never allocates;
// messages past the capacity are refused like a full port buffer.
class RecordingMidiSink final : public MidiBlockSink {
public:
    struct Event {
        std::uint64_t frame = 0;  // from the first block
        std::vector<std::uint8_t> bytes;
        bool operator==(const Event&) const = default;
    };
    explicit RecordingMidiSink(bool hasReceiver = true, std::size_t capacity = 4096);

    bool midiAt(std::uint32_t frame, const std::uint8_t* bytes, std::size_t size) noexcept override;
    bool hasReceiver() const noexcept override { return hasReceiver_; }
    void setReceiver(bool connected) noexcept { hasReceiver_ = connected; }
    // Call after each process() with that block's frame count.
    void endBlock(std::uint32_t frames) noexcept { blockStart_ += frames; }

    std::vector<Event> events() const;
    void clear() noexcept { count_ = 0; }

private:
    struct Stored {
        std::uint64_t frame;
        std::array<std::uint8_t, 3> bytes;
        std::uint8_t size;
    };
    std::vector<Stored> stored_;
    std::size_t count_ = 0;
    std::uint64_t blockStart_ = 0;
    bool hasReceiver_;
};

}  // namespace taktwerk::sound
