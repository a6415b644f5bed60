#include "sound/Wakeup.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>

namespace taktwerk::sound {
namespace {

using namespace std::chrono_literals;

bool readable(const Wakeup& wakeup)
{
    pollfd watched{.fd = wakeup.fd(), .events = POLLIN, .revents = 0};
    return ::poll(&watched, 1, 0) == 1;
}

TEST(Wakeup, NewsWaitsUntilTakenAndManyNotifiesAreOneWake)
{
    const Wakeup wakeup;
    EXPECT_FALSE(readable(wakeup));
    EXPECT_FALSE(wakeup.wait(0ms));
    EXPECT_FALSE(wakeup.clear());

    for (int i = 0; i < 1000; ++i)
        wakeup.notify();
    EXPECT_TRUE(readable(wakeup)) << "an event loop watching the descriptor sees the news";
    EXPECT_TRUE(wakeup.wait(0ms));
    EXPECT_FALSE(readable(wakeup)) << "taken at once, however often it was told";
    EXPECT_FALSE(wakeup.wait(20ms));

    wakeup.notify();
    EXPECT_TRUE(wakeup.clear());
    EXPECT_FALSE(wakeup.clear());
}

TEST(Wakeup, ASleeperWakesWhenAnotherThreadNotifiesAndNotBefore)
{
    const Wakeup wakeup;
    std::atomic<bool> told{false};
    std::atomic<bool> wokeEarly{false};
    std::thread sleeper([&] {
        // Without a timeout: only the news can end this wait.
        while (!wakeup.wait()) {
        }
        wokeEarly = !told.load();
    });
    std::this_thread::sleep_for(50ms);
    told = true;
    wakeup.notify();
    sleeper.join();
    EXPECT_FALSE(wokeEarly);
}

TEST(Wakeup, ATimeoutEndsTheWaitWithoutNews)
{
    const Wakeup wakeup;
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(wakeup.wait(30ms));
    EXPECT_GE(std::chrono::steady_clock::now() - before, 30ms);
}

}  // namespace
}  // namespace taktwerk::sound
