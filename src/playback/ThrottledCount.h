#pragma once
// A count of audio-thread trouble (late blocks, lost steps or commands) as lines for the log: at
// most one line a minute, with the running total. A dropout storm would otherwise print a line
// at every check of the live host's watch thread (hundreds in a few minutes). Owned by that
// thread; the counts themselves are the audio thread's atomics, read there.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace taktwerk::playback {

class ThrottledCount {
public:
    using Clock = std::chrono::steady_clock;

    // `format` is the line, in English, with "%s" for the new count and then the total; it is
    // shown in the user's language.
    explicit ThrottledCount(const char* format, Clock::duration every = std::chrono::minutes(1))
        : format_(format), every_(every)
    {
    }

    // The line for the counter's value `count` at `now`: "12 audio blocks late (40 in all)"; empty
    // while nothing is new or the last line is younger than the interval.
    std::string report(std::uint64_t count, Clock::time_point now);
    // The counter starts over from zero (a new output counts its own); `finalCount` is what the
    // old one reached, which stays part of the total.
    void restart(std::uint64_t finalCount) noexcept { base_ += finalCount; }

private:
    const char* format_;
    Clock::duration every_;
    std::uint64_t base_ = 0;   // counted by counters that have been replaced
    std::uint64_t shown_ = 0;  // the total the last line gave
    std::optional<Clock::time_point> lastLine_;
};

}  // namespace taktwerk::playback
