#pragma once
// Voice: one instrument's playback state, owned by the Mixer and run on the audio thread.
// It keeps what a hit asks of it: start plays its sample from the beginning whether it is
// silent, sounding or finished; stop silences it and rewinds; a voice without a sample takes
// both and stays silent. A sound that is cut off (retrigger, choke, stop) is faded out over
// a couple of milliseconds on a second play head, so no click is heard, while the new hit
// starts at its exact frame.

#include "sound/Sample.h"

#include <cstddef>
#include <cstdint>

namespace taktwerk::sound {

class Voice {
public:
    // Owner thread, before playing: how many frames a cut-off sound takes to fade out.
    void setFadeFrames(std::uint32_t frames) noexcept { fadeFrames_ = frames; }

    // audio thread. Run, then rewind: `sample` (may be null) plays from its first frame,
    // scaled by `gain` (a hit's velocity and layer).
    void start(const Sample* sample, float gain = 1.0f) noexcept;
    // audio thread. Stop, then rewind: the sounding sample fades out, nothing follows.
    void stop() noexcept;
    // audio thread. Adds this voice's next `frames` frames to interleaved stereo `out`.
    void render(float* out, std::uint32_t frames) noexcept;

    bool isSounding() const noexcept { return head_.sample != nullptr; }
    bool isFading() const noexcept { return tail_.sample != nullptr; }
    // audio thread. The sample under the main play head (null when silent).
    const Sample* sounding() const noexcept { return head_.sample; }

private:
    struct PlayHead {
        const Sample* sample = nullptr;
        std::size_t position = 0;  // in frames
        float gain = 1.0f;
    };
    void cut() noexcept;

    PlayHead head_;
    PlayHead tail_;  // the cut-off sound while it fades
    std::uint32_t fadeFrames_ = 0;
    std::uint32_t fadeLeft_ = 0;
};

}  // namespace taktwerk::sound
