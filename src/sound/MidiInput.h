#pragma once
// What a note played on a MIDI keyboard, pad controller or e-drum kit means to the drum
// machine: which pad it strikes and how hard. Pure functions and values, used on the audio
// thread (no allocation) and by the settings that keep the map.
//
// Each MIDI input event is taken as one whole message, as JACK and the ALSA sequencer deliver
// them. Only a note-on with a velocity above 0 strikes a pad: the pads are one-shots, so a
// note-off (or a note-on at velocity 0, its usual spelling) has nothing to end. Every channel
// is heard: e-drum kits send on 10, most pad controllers on 1, and a player should not have to
// know which. What cannot be a complete note-on is passed over, never guessed at: a message
// cut short, a data byte where a status should be (running status, which needs the message
// before it), system exclusive, and real-time bytes such as the clock.

#include "pattern/Pattern.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace taktwerk::sound {

inline constexpr int kMidiNoteCount = 128;

// Which pad each MIDI note strikes; -1: none.
class DrumNoteMap {
public:
    // Nothing mapped.
    DrumNoteMap() noexcept { tracks_.fill(-1); }
    // The General MIDI drum notes: 36/35 bass drum, 38/40 snare, 42/44 hi-hat, 46 open hi-hat,
    // 51/59 ride, 49/57 crash, 48/50 tom 1, 45/47 tom 2, 41/43 tom 3.
    static DrumNoteMap generalMidi() noexcept;

    int track(int note) const noexcept
    {
        return note >= 0 && note < kMidiNoteCount ? tracks_[static_cast<std::size_t>(note)] : -1;
    }
    // `note` strikes `track` (-1: nothing) from now on; a note outside 0 ... 127 is ignored.
    void set(int note, int track) noexcept;
    // Every note mapped to `track`, lowest first, as the settings file keeps them ("36 35"
    // becomes "35 36").
    std::string notesText(int track) const;
    // Maps the notes of `text` ("36 35", "36,35") to `track` and unmaps the track's others.
    // What is no note number (words, 128, -1, 36.5) is passed over; a note already taken by
    // another track moves to this one.
    void setNotesText(int track, std::string_view text);
    bool operator==(const DrumNoteMap&) const = default;

private:
    std::array<std::int8_t, kMidiNoteCount> tracks_{};
};

struct PadStrike {
    int track = -1;
    int velocity = 0;  // 1 ... 127
    bool operator==(const PadStrike&) const = default;
};

// The note number (0 ... 127) of one MIDI input event that is a note-on striking with a
// velocity above 0, whatever it maps to: what MIDI learn takes in (see the rules above).
std::optional<int> noteOnNumber(const std::uint8_t* bytes, std::size_t size) noexcept;

// The pad one MIDI input event strikes, if any (see the rules above).
std::optional<PadStrike> padStrikeFor(const std::uint8_t* bytes, std::size_t size,
                                      const DrumNoteMap& map) noexcept;

}  // namespace taktwerk::sound
