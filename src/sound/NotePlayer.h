#pragma once
// NotePlayer: sounds the built-in synth's pre-rendered notes (NoteBank) at their exact frames.
// Owned by the Mixer, used on the audio thread only after construction.
//
// It plays them the way the synth itself would: every hit gets a voice of its own, so a ride
// or crash struck again rings on under the new hit (FluidSynth lets such notes overlap), while
// a note of a General MIDI exclusive class cuts the sounding notes of its class with the short
// cut fade (a closed hi-hat chokes the open one). When every voice is busy, the oldest hit is
// cut to make room.

#include "sound/NoteBank.h"
#include "sound/Voice.h"

#include <array>
#include <cstdint>

namespace taktwerk::sound {

class NotePlayer {
public:
    // Enough for a busy pattern at the fastest tempo: hits overlap for as long as a cymbal's
    // tail lasts (a few seconds), and a 16th-note pattern at 450 bpm strikes 30 notes a second.
    static constexpr int kVoiceCount = 96;

    // Owner thread, before playing.
    void setFadeFrames(std::uint32_t frames) noexcept;

    // audio thread. Starts `sample` (the sound of `key`) from its first frame, at `gain`.
    void start(int key, const Sample* sample, float gain = 1.0f) noexcept;
    // audio thread. A note-on of `key` reaches the synth: cuts what its exclusive class cuts.
    void choke(int key) noexcept;
    // audio thread. A new bank takes over: hits whose sample it no longer holds are cut (their
    // fade still reads the old bank, which must stay until anyFading() is false).
    void keepOnly(const NoteBank* bank) noexcept;
    // audio thread. Adds every sounding hit into interleaved stereo `out`.
    void render(float* out, std::uint32_t frames) noexcept;
    bool anyFading() const noexcept;
    // audio thread. False once every hit and fade has ended: then render() adds nothing.
    bool isActive() const noexcept { return active_; }
    // audio thread. Hits still sounding (not counting fades).
    int soundingCount() const noexcept;

private:
    struct Slot {
        Voice voice;
        int key = -1;
        std::uint64_t order = 0;  // when it was started: the oldest gives way first
    };
    std::array<Slot, kVoiceCount> slots_;
    std::uint64_t started_ = 0;
    // Some slot may still sound or fade. Most blocks of a drum pattern are between hits or
    // after their tails, and walking all the slots for nothing is most of what a quiet block
    // would cost.
    bool active_ = false;
};

}  // namespace taktwerk::sound
