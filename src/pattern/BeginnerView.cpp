#include "pattern/BeginnerView.h"

namespace taktwerk::pattern {

namespace {
constexpr int kHiHat = index(Track::HiHat);
constexpr int kOpenHiHat = index(Track::OpenHiHat);
}  // namespace

void foldOpenHiHat(Pattern& pattern, std::string& HiHatMemory)
{
    HiHatMemory = pattern.RowToPattern(kHiHat);
    // An open hi-hat hit folded in keeps its strength: a ghost note stays a ghost note.
    const Row folded = pattern.row(kOpenHiHat) & ~pattern.row(kHiHat);
    for (int step = 0; step < kStepCount; ++step) {
        if ((folded >> step) & 1u)
            pattern.setVelocity(kHiHat, step, pattern.velocity(kOpenHiHat, step));
    }
    pattern.setRow(kHiHat, pattern.row(kHiHat) | pattern.row(kOpenHiHat));
}

void restoreHiHat(Pattern& pattern, std::string_view HiHatMemory)
{
    pattern.PatternToRow(kHiHat, HiHatMemory);
    // The steps that were folded in are off again, with the velocity an unset step has.
    const Row unfolded = pattern.row(kOpenHiHat) & ~pattern.row(kHiHat);
    for (int step = 0; step < kStepCount; ++step) {
        if ((unfolded >> step) & 1u)
            pattern.setVelocity(kHiHat, step, kDefaultVelocity);
    }
}

void mergeLoadedHiHat(Pattern& pattern, std::string& HiHatMemory, bool beginner)
{
    HiHatMemory.clear();
    if (beginner)
        foldOpenHiHat(pattern, HiHatMemory);
}

}  // namespace taktwerk::pattern
