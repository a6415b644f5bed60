#pragma once
// A rhythm as a Standard MIDI File (type 0): the notes its pads send, on the drum channel 10,
// stepped by the same state machine as live playback, with a tempo event for its tempo and a
// quarter note of four steps. Any sequencer or DAW opens it. Pure; any thread.

#include "pattern/Meter.h"
#include "pattern/Pattern.h"
#include "sequencer/StepClock.h"

#include <array>
#include <cstdint>
#include <string>

namespace taktwerk::sound {

// Ticks per quarter note: four steps of 120 ticks, and a note-off half a step after its note.
inline constexpr int kMidiFileTicksPerQuarter = 480;
inline constexpr int kMidiFileTicksPerStep = kMidiFileTicksPerQuarter / 4;
inline constexpr int kMidiFileGateTicks = kMidiFileTicksPerStep / 2;

struct MidiFileJob {
    std::string name;  // the track's name
    std::array<pattern::Row, pattern::kTrackCount> rows{};
    std::uint16_t mutes = 0;  // bit t: track t muted (its notes are left out, as in playback)
    int tempoBpm = sequencer::kDefaultTempoBpm;
    int interval = pattern::kDefaultInterval;
    int beats = pattern::kDefaultBeats;
    int loops = 4;
    int velocity = 127;  // `Velocity` as set at start
};

// The file's bytes. It lasts exactly `loops` passes of the loop.
std::string midiFileBytes(const MidiFileJob& job);

}  // namespace taktwerk::sound
