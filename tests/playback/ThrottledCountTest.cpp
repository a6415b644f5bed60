#include "playback/ThrottledCount.h"

#include <gtest/gtest.h>

namespace taktwerk::playback {
namespace {

using std::chrono::seconds;

TEST(ThrottledCount, SaysAtMostOneLineAMinuteWithTheRunningTotal)
{
    // A dropout storm: the window's timer asks every 16 ms and the count grows each time.
    ThrottledCount late("%s audio blocks late (%s in all)");
    const ThrottledCount::Clock::time_point start{};
    int lines = 0;
    std::string last;
    for (int tick = 0; tick < 10 * 60 * 60; ++tick) {  // ten minutes at 60 checks a second
        const auto now = start + std::chrono::milliseconds(tick * 1000 / 60);
        if (std::string line = late.report(static_cast<std::uint64_t>(tick / 3), now);
            !line.empty()) {
            ++lines;
            last = std::move(line);
        }
    }
    EXPECT_EQ(lines, 10);
    EXPECT_EQ(last, "1200 audio blocks late (10801 in all)");

    struct Step {
        int atSeconds;
        std::uint64_t count;
        std::string_view line;
    };
    ThrottledCount lost("%s MIDI messages lost (%s in all)");
    const Step steps[] = {
        {0, 0, ""},                                  // nothing yet
        {1, 3, "3 MIDI messages lost (3 in all)"},   // the first at once
        {2, 5, ""},                                  // within the minute
        {61, 5, "2 MIDI messages lost (5 in all)"},  // what the minute held
        {200, 5, ""},                                // nothing new
        {201, 6, "1 MIDI messages lost (6 in all)"},
    };
    for (const Step& step : steps)
        EXPECT_EQ(lost.report(step.count, start + seconds(step.atSeconds)), step.line)
            << step.atSeconds;

    // A new output counts from zero; the total goes on.
    lost.restart(6);
    EXPECT_EQ(lost.report(2, start + seconds(300)), "2 MIDI messages lost (8 in all)");
}

}  // namespace
}  // namespace taktwerk::playback
