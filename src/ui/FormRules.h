#pragma once
// Two rules every window shares that need no widget: the key filter of typed rhythm names and
// the arithmetic of a window's start position, in twips. Any thread; no state.

namespace taktwerk::ui {

// Filters one typed character of a rhythm name (mode 1): characters that cannot stand in a
// file name and a few more are swallowed by setting `code` to 0. Backspace, paste, copy and
// Enter always pass; any other mode passes everything.
void FilterKey(int& code, int mode);

// Where a window opens, in twips: centred across the screen and a little above the middle,
// never off the top or left edge. Sizes are rounded to whole twips first, halves to even.
struct FormPosition {
    long long left = 0;
    long long top = 0;
};
FormPosition PlaceForm(double screenWidth, double screenHeight, double formWidth,
                       double formHeight);

}  // namespace taktwerk::ui
