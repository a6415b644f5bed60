#pragma once
// For the threads whose wake-up time is heard: the MIDI sender and the null output's clock.
// Called once at the start of such a thread, on that thread.

namespace taktwerk::devices {

// Below a JACK server's audio threads (usually 70 and up), above everything else.
inline constexpr int kTimingThreadPriority = 30;

// Asks for real-time scheduling at `priority` and the finest timer slack. Without the privilege
// (no rtprio limit, no rtkit) the thread keeps normal scheduling and wakes later on a busy
// machine; that is no error.
void prepareTimingThread(int priority = kTimingThreadPriority) noexcept;

}  // namespace taktwerk::devices
