#pragma once
// The pattern side of the beginner view. That view has no open hi-hat row, so its hits are
// folded into the hi-hat row, and the hi-hat row as it stood before is kept in `HiHatMemory`
// ("X"/"_" per step) to be put back when the view is left. Pure functions on the pattern and
// the memory, both owned by the drum machine on the GUI thread.

#include "pattern/Pattern.h"

#include <string>
#include <string_view>

namespace taktwerk::pattern {

// Entering the view: `HiHatMemory` becomes the hi-hat row's 32 characters, then every open
// hi-hat hit is also set in the hi-hat row, with its velocity where the hi-hat had no hit. The
// open hi-hat row keeps its steps.
void foldOpenHiHat(Pattern& pattern, std::string& HiHatMemory);

// Leaving the view: the hi-hat row is set from `HiHatMemory`, whatever was done to it inside
// the view; a step past the memory's end is off. A folded-in step goes back to the default
// velocity.
void restoreHiHat(Pattern& pattern, std::string_view HiHatMemory);

// After a rhythm has been written into the pattern: every load forgets the old memory, and
// in the beginner view folds the loaded open hi-hat into the loaded hi-hat as entering does.
void mergeLoadedHiHat(Pattern& pattern, std::string& HiHatMemory, bool beginner);

}  // namespace taktwerk::pattern
