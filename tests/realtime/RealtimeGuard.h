#pragma once
// The real-time guard: a shim (RealtimeGuardShim.cpp, a shared library put in front of the C
// library with LD_PRELOAD) that sees every allocation, free and mutex lock of the process,
// ours and those inside C libraries (FluidSynth, libsndfile, libjack, libstdc++). A thread
// that arms it has each of them counted, and the first few recorded with their call stacks,
// until it disarms; every other thread goes through untouched.
//
// The test program is not linked against the shim: it finds the shim's functions at run time,
// so that a run without the preload fails loudly instead of passing unguarded.

#include <cstddef>
#include <string>

extern "C" {
// The shim's interface, C so that dlsym finds it by these names.
void taktwerk_guard_arm(void);
void taktwerk_guard_disarm(void);
unsigned long taktwerk_guard_violations(void);
void taktwerk_guard_reset(void);
// Writes the recorded violations, each with its call stack, into `text` (at most `capacity`
// bytes, always terminated) and returns the length the whole report needs. Allocates: call it
// on a disarmed thread, after the armed ones are done.
std::size_t taktwerk_guard_report(char* text, std::size_t capacity);
}

namespace taktwerk::testing {

class RealtimeGuard {
public:
    // The shim, when LD_PRELOAD has put it into this process; else null.
    static const RealtimeGuard* find();

    // The calling thread only.
    void arm() const { arm_(); }
    void disarm() const { disarm_(); }
    // Violations on every armed thread since the last reset.
    unsigned long violations() const { return violations_(); }
    void reset() const { reset_(); }
    std::string report() const;

private:
    decltype(&taktwerk_guard_arm) arm_ = nullptr;
    decltype(&taktwerk_guard_disarm) disarm_ = nullptr;
    decltype(&taktwerk_guard_violations) violations_ = nullptr;
    decltype(&taktwerk_guard_reset) reset_ = nullptr;
    decltype(&taktwerk_guard_report) report_ = nullptr;
};

// Arms the calling thread for one scope, such as one audio block.
class ArmedScope {
public:
    explicit ArmedScope(const RealtimeGuard& guard) : guard_(guard) { guard_.arm(); }
    ~ArmedScope() { guard_.disarm(); }
    ArmedScope(const ArmedScope&) = delete;
    ArmedScope& operator=(const ArmedScope&) = delete;

private:
    const RealtimeGuard& guard_;
};

// Why find() came back empty, for the failure message.
inline constexpr const char* kGuardNotLoaded =
    "the real-time guard shim is not loaded; run this test through ctest, which preloads "
    "libtaktwerk_realtime_guard.so (LD_PRELOAD)";

}  // namespace taktwerk::testing
