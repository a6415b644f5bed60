#pragma once
// Mixer: the ten voices, the dialogs' preview voice, the built-in synth's pre-rendered notes
// and their sum. Owned by the engine, used on the
// audio thread only (after construction). Voices are summed in float at their recorded level: float
// keeps the headroom while summing, and only the finished block is limited to full scale, so a loud
// pile-up of hits clips at the very end instead of wrapping or distorting inside.

#include "sound/NotePlayer.h"
#include "sound/Voice.h"
#include "sound/VoiceSet.h"

#include <array>
#include <cstdint>

namespace taktwerk::sound {

class Mixer {
public:
    explicit Mixer(double sampleRate);

    Voice& voice(VoiceId id) noexcept { return voices_[static_cast<std::size_t>(index(id))]; }
    Voice& voice(int id) noexcept { return voices_[static_cast<std::size_t>(id)]; }
    // The sample dialogs' listening voice: sounds in either mode, cut by the next preview.
    Voice& preview() noexcept { return voices_[kVoiceCount]; }
    // MIDI mode's drum notes when the built-in synth sounds them.
    NotePlayer& notes() noexcept { return notes_; }

    // audio thread. Adds all voices into interleaved stereo `out`.
    void render(float* out, std::uint32_t frames) noexcept;
    // audio thread. Turns the finished block by `gain` (the master volume; 1 leaves every value
    // exactly as it is) and limits it to full scale.
    static void finish(float* out, std::uint32_t frames, float gain = 1.0f) noexcept;
    // audio thread. True while any cut-off sound of the ten voices is still fading.
    bool anyFading() const noexcept;
    // audio thread. True when nothing sounds or fades: render() would add nothing.
    bool isQuiet() const noexcept;

private:
    std::array<Voice, kVoiceCount + 1> voices_;
    NotePlayer notes_;
};

}  // namespace taktwerk::sound
