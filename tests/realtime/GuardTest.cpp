// The guard itself must fail where the audio path would go wrong: every kind of allocation,
// free and lock on an armed thread is caught, also when a C library does it inside itself,
// and nothing is counted on a thread that is not armed.

#include "realtime/RealtimeGuard.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fluidsynth.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <sndfile.h>
#include <string>
#include <thread>
#include <vector>

namespace taktwerk::testing {
namespace {

// Keeps the compiler from dropping an allocation whose result nobody reads.
void keep(const void* memory) { asm volatile("" : : "r"(memory) : "memory"); }

struct FluidSettingsDeleter {
    void operator()(fluid_settings_t* settings) const { delete_fluid_settings(settings); }
};
struct FluidSynthDeleter {
    void operator()(fluid_synth_t* synth) const { delete_fluid_synth(synth); }
};

// One forbidden thing: made ready unarmed, done armed, cleaned up unarmed.
struct Case {
    const char* what;
    const char* caught;  // the call the report must name
    std::function<void()> prepare;
    std::function<void()> act;
    std::function<void()> cleanUp;
};

class Forbidden {
public:
    std::vector<Case> cases()
    {
        const auto none = [] {};
        const auto freeHeld = [this] { std::free(held_); };
        return {
            {"malloc", "malloc", none, [this] { held_ = std::malloc(100); }, freeHeld},
            {"calloc", "calloc", none, [this] { held_ = std::calloc(10, 10); }, freeHeld},
            {"realloc", "realloc", [this] { held_ = std::malloc(8); },
             [this] { held_ = std::realloc(held_, 4096); }, freeHeld},
            {"aligned_alloc", "aligned_alloc", none,
             [this] { held_ = std::aligned_alloc(64, 128); }, freeHeld},
            {"posix_memalign", "posix_memalign", none,
             [this] {
                 if (::posix_memalign(&held_, 64, 128) != 0)
                     held_ = nullptr;
             },
             freeHeld},
            {"free", "free", [this] { held_ = std::malloc(100); },
             [this] {
                 std::free(held_);
                 held_ = nullptr;
             },
             none},
            {"new", "operator new", none, [this] { held_ = new int(7); },
             [this] { delete static_cast<int*>(held_); }},
            {"new[]", "operator new[]", none, [this] { held_ = new char[64]; },
             [this] { delete[] static_cast<char*>(held_); }},
            {"delete", "operator delete", [this] { held_ = new int(7); },
             [this] {
                 delete static_cast<int*>(held_);
                 held_ = nullptr;
             },
             none},
            {"a string past its inline buffer", "operator new", none,
             [this] { text_.assign(100, 'x'); }, [this] { text_ = std::string(); }},
            {"a growing vector", "operator new", none, [this] { numbers_.push_back(1); },
             [this] { numbers_ = std::vector<int>(); }},
            {"a std::function holding a large capture", "operator new", none,
             [this] {
                 const std::array<double, 8> big{};
                 function_ = [big] { keep(big.data()); };
             },
             [this] { function_ = nullptr; }},
            // C libraries that allocate inside themselves, out of reach of link-time wrapping.
            {"strdup inside the C library", "malloc", none,
             [this] { held_ = ::strdup("taktwerk"); }, freeHeld},
            {"libsndfile opening a file", "alloc", none,
             [] {
                 SF_INFO info{};
                 SNDFILE* file = sf_open("/nonexistent/taktwerk.wav", SFM_READ, &info);
                 keep(file);
             },
             none},
            {"std::mutex", "pthread_mutex_lock", none, [this] { mutex_.lock(); },
             [this] { mutex_.unlock(); }},
            {"std::mutex::try_lock", "pthread_mutex_trylock", none,
             [this] {
                 if (!mutex_.try_lock())
                     std::abort();
             },
             [this] { mutex_.unlock(); }},
            {"std::shared_mutex, exclusive", "pthread_rwlock_wrlock", none,
             [this] { sharedMutex_.lock(); }, [this] { sharedMutex_.unlock(); }},
            {"std::shared_mutex, shared", "pthread_rwlock_rdlock", none,
             [this] { sharedMutex_.lock_shared(); }, [this] { sharedMutex_.unlock_shared(); }},
            // What the built-in synth would do on every note without its thread-safe API
            // switched off: a lock inside FluidSynth (through GLib).
            {"FluidSynth's thread-safe API", "pthread_mutex_lock",
             [this] {
                 settings_.reset(new_fluid_settings());
                 synth_.reset(new_fluid_synth(settings_.get()));
             },
             [this] { (void)fluid_synth_noteon(synth_.get(), 9, 36, 100); },
             [this] {
                 synth_.reset();
                 settings_.reset();
             }},
        };
    }

private:
    void* held_ = nullptr;
    std::string text_;
    std::vector<int> numbers_;
    std::function<void()> function_;
    std::mutex mutex_;
    std::shared_mutex sharedMutex_;
    std::unique_ptr<fluid_settings_t, FluidSettingsDeleter> settings_;
    std::unique_ptr<fluid_synth_t, FluidSynthDeleter> synth_;
};

TEST(RealtimeGuard, CatchesEveryAllocationFreeAndLockOnAnArmedThread)
{
    const RealtimeGuard* guard = RealtimeGuard::find();
    ASSERT_NE(guard, nullptr) << kGuardNotLoaded;
    Forbidden forbidden;
    for (const Case& c : forbidden.cases()) {
        SCOPED_TRACE(c.what);
        c.prepare();
        guard->reset();
        guard->arm();
        c.act();
        guard->disarm();
        const unsigned long caught = guard->violations();
        const std::string report = guard->report();
        c.cleanUp();
        EXPECT_GE(caught, 1u);
        EXPECT_NE(report.find(c.caught), std::string::npos) << report;
    }
}

TEST(RealtimeGuard, LetsEveryOtherThreadAndTheDisarmedOneAlone)
{
    const RealtimeGuard* guard = RealtimeGuard::find();
    ASSERT_NE(guard, nullptr) << kGuardNotLoaded;
    Forbidden forbidden;
    const std::vector<Case> cases = forbidden.cases();
    guard->reset();
    // Another thread stays armed (and idle) while this one does everything forbidden there.
    std::atomic<bool> armed{false};
    std::atomic<bool> done{false};
    std::thread audio([&] {
        guard->arm();
        armed.store(true, std::memory_order_release);
        while (!done.load(std::memory_order_acquire))
            std::this_thread::yield();
        guard->disarm();
    });
    while (!armed.load(std::memory_order_acquire))
        std::this_thread::yield();
    for (const Case& c : cases) {
        c.prepare();
        c.act();
        c.cleanUp();
    }
    done.store(true, std::memory_order_release);
    audio.join();
    EXPECT_EQ(guard->violations(), 0u) << guard->report();

    // Once disarmed, a thread is free again.
    guard->arm();
    guard->disarm();
    for (const Case& c : cases) {
        c.prepare();
        c.act();
        c.cleanUp();
    }
    EXPECT_EQ(guard->violations(), 0u) << guard->report();
}

}  // namespace
}  // namespace taktwerk::testing
