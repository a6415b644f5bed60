#pragma once
// A failed property in a fuzz target: print what broke and abort, so libFuzzer saves the input
// that did it. Not assert(): the fuzz build may define NDEBUG.

#include <cstdio>
#include <cstdlib>

namespace taktwerk::fuzz {

[[noreturn]] inline void propertyFailed(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
    std::abort();
}

}  // namespace taktwerk::fuzz

// A macro because the message wants the condition's own text and place.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::taktwerk::fuzz::propertyFailed(#condition, __FILE__, __LINE__);                      \
    } while (false)
