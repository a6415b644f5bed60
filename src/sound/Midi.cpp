#include "sound/Midi.h"

#include <algorithm>

namespace taktwerk::sound {
namespace {

constexpr int kNoteOn = 0x90;
constexpr int kNoteOff = 0x80;
constexpr int kControlChange = 0xB0;
constexpr int kAllNotesOffController = 123;
constexpr int kReleaseVelocity = 64;  // the value MIDI prescribes for "no release velocity"
constexpr int kDataMax = 127;

std::uint8_t statusByte(int kind, const MidiValues& values) noexcept
{
    return static_cast<std::uint8_t>(kind + ((values.channel - 1) & 0x0F));
}

MidiMessage message(std::uint8_t status, int first, int second) noexcept
{
    MidiMessage result;
    result.bytes = {status, static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)};
    result.size = 3;
    return result;
}

}  // namespace

MidiMessage MidiNoteOn(int note, const MidiValues& values) noexcept
{
    const int key = values.noteOffset + note;
    if (key < 0 || key > kDataMax)
        return {};
    return message(statusByte(kNoteOn, values), key, std::clamp(values.velocity, 0, kDataMax));
}

MidiMessage midiNoteOff(int note, const MidiValues& values) noexcept
{
    const int key = values.noteOffset + note;
    if (key < 0 || key > kDataMax)
        return {};
    return message(statusByte(kNoteOff, values), key, kReleaseVelocity);
}

MidiMessage midiAllNotesOff(const MidiValues& values) noexcept
{
    return message(statusByte(kControlChange, values), kAllNotesOffController, 0);
}

RecordingMidiSink::RecordingMidiSink(bool hasReceiver, std::size_t capacity)
    : stored_(capacity), hasReceiver_(hasReceiver)
{
}

bool RecordingMidiSink::midiAt(std::uint32_t frame, const std::uint8_t* bytes,
                               std::size_t size) noexcept
{
    if (count_ == stored_.size() || size > 3)
        return false;
    Stored& slot = stored_[count_++];
    slot.frame = blockStart_ + frame;
    slot.size = static_cast<std::uint8_t>(size);
    std::copy(bytes, bytes + size, slot.bytes.begin());
    return true;
}

std::vector<RecordingMidiSink::Event> RecordingMidiSink::events() const
{
    std::vector<Event> result;
    for (std::size_t i = 0; i < count_; ++i)
        result.push_back({stored_[i].frame,
                          std::vector<std::uint8_t>(stored_[i].bytes.begin(),
                                                    stored_[i].bytes.begin() + stored_[i].size)});
    return result;
}

}  // namespace taktwerk::sound
