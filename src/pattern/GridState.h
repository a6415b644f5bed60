#pragma once
// Everything the step grid holds: the pattern, the mute toggles, the meter with its shown
// columns, the view, and the hi-hat memory of the beginner view. Owned by the drum machine on
// the GUI thread; the window paints it and turns clicks into the calls below.

#include "pattern/MeterState.h"
#include "pattern/Mutes.h"
#include "pattern/Pattern.h"

#include <string>

namespace taktwerk::pattern {

struct GridState {
    Pattern pattern = Pattern::startPattern();
    Mutes mutes = Mutes::startMutes();
    MeterState meter;
    bool beginnerView = false;  // the "Beginner Mode" box
    std::string HiHatMemory;

    friend bool operator==(const GridState&, const GridState&) = default;
};

// "Beginner Mode" switched on or off. Setting the view it already has does nothing: folding
// twice would take the merged hi-hat row for the original and lose the original for good.
void setBeginnerView(GridState& grid, bool beginner);

// The effect of "New" once the user has said yes (the question is the window's): every step
// off, every track unmuted, the loop back to four beats at the current interval. The hi-hat
// memory is rebuilt from the cleared row, so leaving the beginner view afterwards does not
// bring the old hi-hat row back into the new rhythm. Name, tempo, tap state and play markers
// belong to the drum machine and are reset there.
void NewRhythm(GridState& grid);

}  // namespace taktwerk::pattern
