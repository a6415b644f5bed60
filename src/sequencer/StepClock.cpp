#include "sequencer/StepClock.h"

#include "pattern/Swing.h"

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

std::uint64_t StepClock::swungFrame(int tempoBpm, int delayUnits) const noexcept
{
    if (delayUnits <= 0)
        return dueFrame();
    return frameWithin(tempoBpm, delayUnits, pattern::kSwingDelayUnitsPerStep);
}

std::uint64_t StepClock::frameWithin(int tempoBpm, int parts, int ofParts) const noexcept
{
    if (parts <= 0 || ofParts <= 0)
        return dueFrame();
    const auto tempo = static_cast<std::uint64_t>(clampTempo(tempoBpm));
    // The step's exact time over the tempo it is measured in: the tempo read at this step also
    // sets how long the step lasts, hence how far a part of it reaches. A tempo change rounds
    // the straight time once, just as advance() will.
    const std::uint64_t numerator =
        tempo == tempo_ ? numerator_ : roundHalfUp(numerator_ * tempo, tempo_);
    const auto whole = static_cast<std::uint64_t>(ofParts);
    const auto part = static_cast<std::uint64_t>(parts);
    return roundHalfUp(whole * numerator + part * kSecondsPerStepTimesTempo * sampleRate_,
                       whole * tempo);
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
