#include "sequencer/StepClock.h"

namespace taktwerk::sequencer {
namespace {

// Frames per step times the tempo: a step is a sixteenth of a minute's beats, 15 s / tempo.
constexpr std::uint64_t kSecondsPerStepTimesTempo = 15;

constexpr std::uint64_t roundHalfUp(std::uint64_t numerator, std::uint64_t denominator) noexcept
{
    return (2 * numerator + denominator) / (2 * denominator);
}

}  // namespace

StepClock::StepClock(std::uint32_t sampleRate) noexcept : sampleRate_(sampleRate) {}

void StepClock::restart(std::uint64_t frame, int tempoBpm) noexcept
{
    tempo_ = static_cast<std::uint64_t>(clampTempo(tempoBpm));
    numerator_ = frame * tempo_;
}

std::uint64_t StepClock::dueFrame() const noexcept { return roundHalfUp(numerator_, tempo_); }

void StepClock::advance(int tempoBpm) noexcept
{
    rescale(static_cast<std::uint64_t>(clampTempo(tempoBpm)));
    numerator_ += kSecondsPerStepTimesTempo * sampleRate_;
}

void StepClock::rescale(std::uint64_t tempo) noexcept
{
    if (tempo == tempo_)
        return;
    // The one rounding of a tempo change: under half a frame over the new tempo (< 1/70).
    numerator_ = roundHalfUp(numerator_ * tempo, tempo_);
    tempo_ = tempo;
}

}  // namespace taktwerk::sequencer
