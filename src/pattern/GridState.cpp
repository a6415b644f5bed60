#include "pattern/GridState.h"

#include "pattern/BeginnerView.h"

namespace taktwerk::pattern {

void setBeginnerView(GridState& grid, bool beginner)
{
    if (beginner == grid.beginnerView)
        return;
    grid.beginnerView = beginner;
    if (beginner) {
        grid.meter.enterBeginnerView();
        foldOpenHiHat(grid.pattern, grid.HiHatMemory);
    } else {
        restoreHiHat(grid.pattern, grid.HiHatMemory);
        grid.meter.leaveBeginnerView();
    }
}

void NewRhythm(GridState& grid)
{
    grid.pattern.ClearGrid();
    grid.mutes.unmuteAll();
    grid.meter.optBeats_Click(1);
    // As a load of an empty rhythm would leave it: 32 "_" in the beginner view, so leaving
    // it keeps the hi-hat row empty; nothing outside it.
    mergeLoadedHiHat(grid.pattern, grid.HiHatMemory, grid.beginnerView);
}

}  // namespace taktwerk::pattern
