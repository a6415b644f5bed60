#include "sequencer/TransportGrid.h"

#include <algorithm>
#include <cmath>

namespace taktwerk::sequencer {
namespace {

// Below this a master would ask for fewer than one step a minute; above it a step would be
// shorter than the fastest roll the engine can place in a block. Either way it is no tempo.
constexpr double kMinMasterBpm = 1.0;
constexpr double kMaxMasterBpm = 1000.0;
// Steps past this cannot be counted to the frame in a double; no session runs that long.
constexpr double kMaxSteps = 1e12;
// A JACK frame counter wraps after 2^32 frames; more than that before the block is a lie.
constexpr std::int64_t kMaxFramesBefore = std::int64_t{1} << 32;

std::int64_t roundHalfUp(double value) noexcept
{
    return static_cast<std::int64_t>(std::floor(value + 0.5));
}

}  // namespace

std::optional<TransportGrid> TransportGrid::fromBarBeatTick(const BarBeatTick& position,
                                                            int interval, std::uint32_t sampleRate,
                                                            std::int64_t framesBefore) noexcept
{
    const BarBeatTick& p = position;
    const bool sane =
        interval > 0 && sampleRate > 0 && std::isfinite(p.ticksPerBeat) && p.ticksPerBeat >= 1.0 &&
        std::isfinite(p.beatsPerBar) && p.beatsPerBar > 0.0 && std::isfinite(p.beatsPerMinute) &&
        p.beatsPerMinute >= kMinMasterBpm && p.beatsPerMinute <= kMaxMasterBpm && p.bar >= 1 &&
        p.beat >= 1 && static_cast<double>(p.beat) < p.beatsPerBar + 1.0 && p.tick >= 0 &&
        static_cast<double>(p.tick) < p.ticksPerBeat && framesBefore > -kMaxFramesBefore &&
        framesBefore < kMaxFramesBefore;
    if (!sane)
        return std::nullopt;
    const double beats = static_cast<double>(p.bar - 1) * p.beatsPerBar +
                         static_cast<double>(p.beat - 1) +
                         static_cast<double>(p.tick) / p.ticksPerBeat;
    TransportGrid grid;
    grid.fromMaster_ = true;
    grid.tempoBpm_ = p.beatsPerMinute;
    grid.stepFrames_ = 60.0 * sampleRate / (p.beatsPerMinute * interval);
    grid.tickSteps_ = interval / p.ticksPerBeat;
    grid.position_ = beats * interval + static_cast<double>(framesBefore) / grid.stepFrames_;
    if (!std::isfinite(grid.position_) || grid.position_ > kMaxSteps)
        return std::nullopt;
    return grid;
}

TransportGrid TransportGrid::fromFrame(std::uint64_t frame, int tempoBpm,
                                       std::uint32_t sampleRate) noexcept
{
    TransportGrid grid;
    grid.frame_ = frame;
    grid.tempo_ = static_cast<std::uint64_t>(tempoBpm > 0 ? tempoBpm : 1);
    grid.tempoBpm_ = static_cast<double>(grid.tempo_);
    grid.stepNumerator_ = 15 * static_cast<std::uint64_t>(sampleRate > 0 ? sampleRate : 1);
    grid.stepFrames_ = static_cast<double>(grid.stepNumerator_) / static_cast<double>(grid.tempo_);
    return grid;
}

TransportGrid TransportGrid::movedOn(std::uint64_t frames) const noexcept
{
    TransportGrid grid = *this;
    if (fromMaster_)
        grid.position_ += static_cast<double>(frames) / stepFrames_;
    else
        grid.frame_ += frames;
    return grid;
}

bool TransportGrid::agreesWith(const TransportGrid& fresh) const noexcept
{
    if (fromMaster_ != fresh.fromMaster_ || tempoBpm_ != fresh.tempoBpm_)
        return false;
    if (!fromMaster_)
        return frame_ == fresh.frame_;
    // A thousandth of a step beyond the tick for the master's own rounding of the frame.
    return std::abs(position_ - fresh.position_) <= tickSteps_ + 1e-3;
}

std::int64_t TransportGrid::firstStep() const noexcept
{
    std::int64_t step = 0;
    if (fromMaster_) {
        // A step less than half a frame before the block was rounded into it, not the last one.
        step = static_cast<std::int64_t>(std::ceil(position_ - 0.5 / stepFrames_));
    } else {
        step = static_cast<std::int64_t>(frame_ * tempo_ / stepNumerator_);
    }
    if (step < 0)
        step = 0;
    while (offsetOf(step) < 0)
        ++step;
    while (step > 0 && offsetOf(step - 1) >= 0)
        --step;
    return step;
}

std::int64_t TransportGrid::offsetOf(std::int64_t step) const noexcept
{
    if (fromMaster_)
        return roundHalfUp((static_cast<double>(step) - position_) * stepFrames_);
    const auto n = static_cast<std::uint64_t>(step < 0 ? 0 : step);
    const std::uint64_t at = (2 * n * stepNumerator_ + tempo_) / (2 * tempo_);
    return static_cast<std::int64_t>(at) - static_cast<std::int64_t>(frame_);
}

BarBeatTick barBeatTickAt(std::uint64_t frame, double beatsPerMinute, double beatsPerBar,
                          std::uint32_t sampleRate) noexcept
{
    BarBeatTick position{.ticksPerBeat = kTicksPerBeat,
                         .beatsPerBar = beatsPerBar,
                         .beatsPerMinute = beatsPerMinute};
    if (!(beatsPerMinute > 0.0) || !(beatsPerBar > 0.0) || sampleRate == 0)
        return position;  // bar 1, beat 1: nothing else can be told
    const double beats = static_cast<double>(frame) * beatsPerMinute / (60.0 * sampleRate);
    const double bars = std::floor(beats / beatsPerBar);
    const double inBar = beats - bars * beatsPerBar;
    const double beat = std::floor(inBar);
    // Bars past what the published field holds would take a JACK frame counter centuries.
    position.bar = static_cast<std::int32_t>(std::min(bars, 2.0e9)) + 1;
    position.beat = static_cast<std::int32_t>(beat) + 1;
    position.tick = std::min(static_cast<std::int32_t>((inBar - beat) * kTicksPerBeat),
                             static_cast<std::int32_t>(kTicksPerBeat) - 1);
    return position;
}

int stepInLoop(std::int64_t step, int loopLength) noexcept
{
    if (loopLength < 1)
        return 0;
    const std::int64_t in = step % loopLength;
    return static_cast<int>(in < 0 ? in + loopLength : in);
}

}  // namespace taktwerk::sequencer
