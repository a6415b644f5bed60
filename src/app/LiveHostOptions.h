#pragma once
// What the live host is built with, from the program's settings: the sound mode, the click,
// the sample set and the built-in synth's SoundFont. The window and `taktwerk play` both open
// their host here, so that they sound alike. Main thread, at start.

#include "app/Settings.h"
#include "playback/LiveHost.h"

#include <chrono>
#include <memory>

namespace taktwerk::app {

playback::LiveHostOptions liveHostOptions(const Settings& settings);

// How long the window's output runs on after the last sound or touch before it sleeps: a
// pause between two takes is longer, a breath between two hits shorter. Any touch of the window
// wakes it well before a click lands, so the pause costs nothing but the activation itself.
inline constexpr std::chrono::milliseconds kWindowSleepAfter{3000};

// The host with the machine's own outputs (JACK, PulseAudio, ALSA, "MIDI output device 0");
// with `sleepAfter`, its output sleeps when all has been quiet for that long; without
// `stepEvents`, steps are counted but not queued (see LiveHostOptions).
std::unique_ptr<playback::LiveHost> openLiveHost(const Settings& settings,
                                                 std::chrono::milliseconds sleepAfter = {},
                                                 bool stepEvents = true);

}  // namespace taktwerk::app
