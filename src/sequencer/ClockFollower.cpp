#include "sequencer/ClockFollower.h"

#include <algorithm>

namespace taktwerk::sequencer {
namespace {
// The tempo range a master may have: far beyond what any song needs both ways. Clocks closer
// than the fastest are glitches (a doubled message); a gap longer than a clock of the slowest
// means the master stopped sending for a while.
constexpr double kFastestBpm = 1000.0;
constexpr double kSlowestBpm = 10.0;
}  // namespace

ClockFollower::ClockFollower(std::uint32_t sampleRate) noexcept
    : sampleRate_(static_cast<double>(sampleRate))
{
}

double ClockFollower::tempoBpm() const noexcept
{
    return hasTempo() ? 60.0 * sampleRate_ / (kClocksPerBeat * slope_) : 0.0;
}

ClockFollower::Change ClockFollower::receive(ClockMessage message,
                                             std::uint64_t frame) noexcept  // audio thread
{
    switch (message) {
    case ClockMessage::Start:
        running_ = true;
        startPending_ = true;
        position_ = -1;
        return Change::Started;
    case ClockMessage::Continue:
        if (running_)
            return Change::None;
        running_ = true;
        return Change::Continued;
    case ClockMessage::Stop:
        if (!running_)
            return Change::None;
        running_ = false;
        startPending_ = false;
        return Change::Stopped;
    case ClockMessage::Clock:
        break;
    }
    if (frame < lastFrame_)
        frame = lastFrame_;  // out of order: taken as simultaneous
    if (!measure(frame))
        return Change::None;
    if (startPending_) {
        startPending_ = false;
        position_ = 0;
    } else if (running_ && position_ >= 0) {
        ++position_;
    }
    return Change::None;
}

bool ClockFollower::measure(std::uint64_t frame) noexcept
{
    if (count_ > 0) {
        const double gap = static_cast<double>(frame - lastFrame_);
        const double shortest = 60.0 * sampleRate_ / (kFastestBpm * kClocksPerBeat);
        const double longest = 60.0 * sampleRate_ / (kSlowestBpm * kClocksPerBeat);
        // A doubled message, not a clock: counting it would put the grid a clock ahead
        // for good.
        if (gap < shortest)
            return false;
        if (gap > longest)
            count_ = 0;  // a new stretch of clocks: no average across the silence
    }
    lastFrame_ = frame;
    frames_[next_] = frame;
    next_ = (next_ + 1) % kWindow;
    count_ = std::min(count_ + 1, kWindow);
    refit();
    return true;
}

void ClockFollower::refit() noexcept
{
    if (count_ < 2) {
        last_ = static_cast<double>(lastFrame_);
        return;
    }
    // Least squares over k = -(n-1) ... 0 (the newest at 0), frames taken relative to the
    // newest so that the sums stay small and exact enough over hours of play.
    const auto n = static_cast<double>(count_);
    double sumK = 0.0;
    double sumY = 0.0;
    double sumKK = 0.0;
    double sumKY = 0.0;
    for (std::size_t i = 0; i < count_; ++i) {
        const std::size_t at = (next_ + kWindow - 1 - i) % kWindow;
        const double k = -static_cast<double>(i);
        const double y = static_cast<double>(frames_[at]) - static_cast<double>(lastFrame_);
        sumK += k;
        sumY += y;
        sumKK += k * k;
        sumKY += k * y;
    }
    const double slope = (n * sumKY - sumK * sumY) / (n * sumKK - sumK * sumK);
    const double intercept = (sumY - slope * sumK) / n;
    slope_ = slope;
    last_ = static_cast<double>(lastFrame_) + intercept;
}

std::optional<double> ClockFollower::frameOf(double clocks) const noexcept
{
    if (position_ < 0)
        return std::nullopt;
    const double ahead = clocks - static_cast<double>(position_);
    if (ahead > kClocksPerBeat)
        return std::nullopt;
    if (!hasTempo())
        return ahead == 0.0 ? std::optional(last_) : std::nullopt;
    return last_ + slope_ * ahead;
}

}  // namespace taktwerk::sequencer
