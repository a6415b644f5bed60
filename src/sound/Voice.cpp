#include "sound/Voice.h"

#include "sound/BlockMath.h"

#include <algorithm>

namespace taktwerk::sound {

void Voice::cut() noexcept  // audio thread
{
    // A sound still at its first frame has made no noise yet: drop it instead of fading.
    // A second cut within the fade drops the older tail, which is already nearly silent.
    if (head_.sample != nullptr && head_.position > 0 && fadeFrames_ > 0) {
        tail_ = head_;
        fadeLeft_ = fadeFrames_;
    }
    head_ = {};
}

void Voice::start(const Sample* sample, float gain) noexcept  // audio thread
{
    cut();
    if (sample != nullptr && sample->frames() > 0)
        head_ = {sample, 0, gain};
}

void Voice::stop() noexcept  // audio thread
{
    cut();
}

void Voice::render(float* out, std::uint32_t frames) noexcept  // audio thread
{
    if (tail_.sample != nullptr) {
        const float* data = tail_.sample->data.data();
        const std::size_t left = tail_.sample->frames() - tail_.position;
        const auto count =
            static_cast<std::uint32_t>(std::min<std::size_t>({left, frames, fadeLeft_}));
        const float step = 1.0f / static_cast<float>(fadeFrames_);
        for (std::uint32_t frame = 0; frame < count; ++frame) {
            // Linear ramp that reaches zero on the fade's last frame.
            const float gain = static_cast<float>(fadeLeft_ - frame - 1) * step * tail_.gain;
            const std::size_t at = (tail_.position + frame) * 2;
            out[frame * 2] += data[at] * gain;
            out[frame * 2 + 1] += data[at + 1] * gain;
        }
        tail_.position += count;
        fadeLeft_ -= count;
        if (fadeLeft_ == 0 || tail_.position >= tail_.sample->frames())
            tail_ = {};
    }
    if (head_.sample != nullptr) {
        const float* data = head_.sample->data.data() + head_.position * 2;
        const std::size_t left = head_.sample->frames() - head_.position;
        const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(left, frames));
        const float gain = head_.gain;
        addScaled(out, data, static_cast<std::size_t>(count) * 2, gain);
        head_.position += count;
        if (head_.position >= head_.sample->frames())
            head_ = {};
    }
}

}  // namespace taktwerk::sound
