#pragma once
// A rhythm as a Standard MIDI File (type 0): the notes its pads send, on the drum channel 10,
// stepped by the same state machine as live playback, with a tempo event for its tempo and a
// quarter note of four steps. Every note-on carries its step's velocity, and a swung step's
// notes stand at the swung tick: a step is 120 ticks, so a delay of d fiftieths of a step is
// 12d/5 ticks, exact whenever the swing is a multiple of 5 % and otherwise rounded half up to
// the nearest tick (at most 0.4 tick, under a thousandth of a beat, off). Any sequencer or DAW
// opens it. Pure; any thread.

#include "pattern/Meter.h"
#include "pattern/Pattern.h"
#include "pattern/Swing.h"
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
    pattern::Velocities velocities = pattern::defaultVelocities();
    pattern::Swing swing;
    std::uint16_t mutes = 0;  // bit t: track t muted (its notes are left out, as in playback)
    int tempoBpm = sequencer::kDefaultTempoBpm;
    int interval = pattern::kDefaultInterval;
    int beats = pattern::kDefaultBeats;
    int loops = 4;
};

// The file's bytes. It lasts exactly `loops` passes of the loop, so it loops seamlessly: a
// note swung onto or past the end (8ths at 75 % on the loop's last step) stands at the start,
// where the next pass plays it, and no note-off lies past the end.
std::string midiFileBytes(const MidiFileJob& job);

}  // namespace taktwerk::sound
