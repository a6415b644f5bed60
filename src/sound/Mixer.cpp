#include "sound/Mixer.h"

#include "sound/BlockMath.h"

#include <algorithm>

namespace taktwerk::sound {
namespace {
// Cut-off sounds fade over at most this long: short enough that a choked hi-hat still sounds
// choked, long enough that the cut makes no click.
constexpr double kFadeSeconds = 0.002;
}  // namespace

Mixer::Mixer(double sampleRate)
{
    const auto fade = static_cast<std::uint32_t>(sampleRate * kFadeSeconds);
    for (Voice& voice : voices_)
        voice.setFadeFrames(std::max<std::uint32_t>(fade, 1));
    notes_.setFadeFrames(std::max<std::uint32_t>(fade, 1));
}

void Mixer::render(float* out, std::uint32_t frames) noexcept  // audio thread
{
    for (Voice& voice : voices_)
        voice.render(out, frames);
    notes_.render(out, frames);
}

void Mixer::finish(float* out, std::uint32_t frames, float gain) noexcept  // audio thread
{
    scaleAndLimit(out, static_cast<std::size_t>(frames) * 2, gain);
}

bool Mixer::anyFading() const noexcept
{
    return std::any_of(voices_.begin(), voices_.end(),
                       [](const Voice& voice) { return voice.isFading(); });
}

bool Mixer::isQuiet() const noexcept
{
    return !notes_.isActive() &&
           std::none_of(voices_.begin(), voices_.end(),
                        [](const Voice& voice) { return voice.isSounding() || voice.isFading(); });
}

}  // namespace taktwerk::sound
