#include "pattern/BeginnerView.h"

namespace taktwerk::pattern {

namespace {
constexpr int kHiHat = index(Track::HiHat);
constexpr int kOpenHiHat = index(Track::OpenHiHat);
}  // namespace

void foldOpenHiHat(Pattern& pattern, std::string& HiHatMemory)
{
    HiHatMemory = pattern.RowToPattern(kHiHat);
    pattern.setRow(kHiHat, pattern.row(kHiHat) | pattern.row(kOpenHiHat));
}

void restoreHiHat(Pattern& pattern, std::string_view HiHatMemory)
{
    pattern.PatternToRow(kHiHat, HiHatMemory);
}

void mergeLoadedHiHat(Pattern& pattern, std::string& HiHatMemory, bool beginner)
{
    HiHatMemory.clear();
    if (beginner)
        foldOpenHiHat(pattern, HiHatMemory);
}

}  // namespace taktwerk::pattern
