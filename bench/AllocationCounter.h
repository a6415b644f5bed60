#pragma once
// Counts every allocation through the global operator new of the benchmark process, so a
// benchmark can tell whether the audio path allocated. Kept in its own file: where the
// replaced operators are inlined, the compiler takes them for the built-in ones and warns.

#include <cstdint>

std::uint64_t allocationCount() noexcept;
