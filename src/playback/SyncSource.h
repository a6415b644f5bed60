#pragma once

#include <cstdint>

namespace taktwerk::playback {

// Where RUN/STOP, tempo and position come from: our own clock, or a master's MIDI clock on the
// MIDI input, which we follow.
enum class SyncSource : std::uint8_t { Internal, MidiClock };

}  // namespace taktwerk::playback
