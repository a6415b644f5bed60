#include "sequencer/TapTempo.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace taktwerk::sequencer {
namespace {

// A tap this fast or faster (60 ms apart) is not a tempo anyone plays; it only moves the
// reference for the next tap.
constexpr double kRejectedTapBpm = 1000.0;
constexpr double kMillisecondsPerMinute = 60000.0;
constexpr std::int64_t kSeriesPauseMs = 2000;

// Rounds to `decimals` places, halves to even (the decimal rounding musicians' stored tempos
// were made with).
double roundTo(double value, int decimals) noexcept
{
    const double scale = std::pow(10.0, decimals);
    return std::nearbyint(value * scale) / scale;
}

// The running sum and the average were kept as text of at most 15 significant digits between
// the sums; the round trip is kept so that every tempo comes out as it always did.
double through15Digits(double value) noexcept
{
    constexpr int kSignificantDigits = 15;
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::general,
                                       kSignificantDigits);
    double back = value;
    // Never fails for a finite value and this buffer; the value is then kept as it was.
    std::from_chars(text, written.ptr, back);
    return back;
}

}  // namespace

double Round2(double value) noexcept
{
    // A fraction of half a hundredth or more: the 0.1 push-up.
    constexpr double kPushUpFrom = 0.005;
    constexpr double kPushUp = 0.1;
    if (value - roundTo(value, 0) >= kPushUpFrom)
        value = roundTo(value, 2) + kPushUp;
    // Tested again on the value just pushed up, which usually leaves it alone.
    if (value - roundTo(value, 0) < kPushUpFrom)
        value = roundTo(value, 2);
    return value;
}

std::chrono::milliseconds steadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

TapTempo::TapTempo(TapClock clock) : clock_(std::move(clock)) {}

void TapTempo::reset() noexcept
{
    armed_ = false;
    lastTap_ = std::chrono::milliseconds{0};
    lastIntervalMs_ = 0;
    taps_.clear();
}

std::optional<int> TapTempo::press(int button)
{
    if (button == kRightButton) {
        reset();
        return std::nullopt;
    }
    const std::chrono::milliseconds now = clock_();
    if (!armed_) {
        lastTap_ = now;
        armed_ = true;
        return std::nullopt;
    }
    const auto elapsedMs = (now - lastTap_).count();
    // A pause longer than two beats of the tapped tempo (and at least 2 s) ends the series:
    // this tap is the first of a new one, as on any tap-tempo device, instead of an interval
    // that drags the average towards the pause.
    if (elapsedMs > std::max<std::int64_t>(2 * lastIntervalMs_, kSeriesPauseMs)) {
        taps_.clear();
        lastIntervalMs_ = 0;
        lastTap_ = now;
        return std::nullopt;
    }
    if (elapsedMs > 0)
        lastIntervalMs_ = elapsedMs;
    // Two taps in the same millisecond measure nothing, but the tap still counts as the
    // reference for the next one.
    if (elapsedMs > 0) {
        const double tapBpm = Round2(kMillisecondsPerMinute / static_cast<double>(elapsedMs));
        if (tapBpm < kRejectedTapBpm)
            taps_.push_back(through15Digits(tapBpm));
    }
    lastTap_ = now;
    if (taps_.empty())
        return std::nullopt;

    // The running sum drops its fraction before each further tap is added, so only the last
    // tap's fraction survives: 120.58 + 120.72 sums to 240.72, not 241.30.
    double sum = 0.0;
    for (const double tap : taps_)
        sum = through15Digits(std::floor(sum) + tap);
    const double average = through15Digits(sum / static_cast<double>(taps_.size()));
    // An average outside the scroll bar's range is clamped, so tempo, display and playback
    // always show the same number.
    const double rounded = std::nearbyint(Round2(average));
    if (rounded <= kMinTempoBpm)
        return kMinTempoBpm;
    if (rounded >= kMaxTempoBpm)
        return kMaxTempoBpm;
    return static_cast<int>(rounded);
}

}  // namespace taktwerk::sequencer
