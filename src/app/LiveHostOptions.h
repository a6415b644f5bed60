#pragma once
// What the live host is built with, from the program's settings: the sound mode, the click,
// the sample set and the built-in synth's SoundFont. The window and `taktwerk play` both open
// their host here, so that they sound alike. Main thread, at start.

#include "app/Settings.h"
#include "playback/LiveHost.h"

#include <memory>

namespace taktwerk::app {

playback::LiveHostOptions liveHostOptions(const Settings& settings);

// The host with the machine's own outputs (JACK, PulseAudio, ALSA, "MIDI output device 0").
std::unique_ptr<playback::LiveHost> openLiveHost(const Settings& settings);

}  // namespace taktwerk::app
