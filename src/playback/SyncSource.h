#pragma once

#include <cstdint>

namespace taktwerk::playback {

// Where RUN/STOP, tempo and position come from: our own clock, a master's MIDI clock on the
// MIDI input, or the JACK server's transport (and its timebase master's bar and beat), which we
// follow.
enum class SyncSource : std::uint8_t { Internal, MidiClock, JackTransport };

}  // namespace taktwerk::playback
