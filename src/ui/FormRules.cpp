#include "ui/FormRules.h"

#include <cmath>

namespace taktwerk::ui {

namespace {

long long roundHalfEven(double value) { return std::llround(std::nearbyint(value)); }

// n / d rounded to the nearest integer, halves to even, exactly (d > 0).
long long divideHalfEven(long long n, long long d)
{
    long long q = n / d;
    long long r = n % d;
    if (r < 0) {
        --q;
        r += d;
    }
    if (2 * r > d || (2 * r == d && q % 2 != 0))
        ++q;
    return q;
}

}  // namespace

void FilterKey(int& code, int mode)
{
    constexpr int kBackspace = 8;
    constexpr int kPaste = 22;  // Ctrl+V
    constexpr int kCopy = 3;    // Ctrl+C
    constexpr int kEnter = 13;
    if (code == kBackspace || code == kPaste || code == kCopy || code == kEnter || mode != 1)
        return;
    // Blank ! & ' + -, digits, ? @ and capitals, _ and everything above; the rest of ASCII
    // below 127 either cannot stand in a file name or was kept out of rhythm names.
    const bool passes = code == ' ' || code == '!' || code == '&' || code == '\'' || code == '+' ||
                        code == '-' || (code >= '0' && code <= '9') ||
                        (code >= '?' && code <= 'Z') || code >= '_';
    if (!passes)
        code = 0;
}

FormPosition PlaceForm(double screenWidth, double screenHeight, double formWidth, double formHeight)
{
    constexpr long long kHeightPercent = 85;  // the window's centre sits at 85 % of half the
                                              // screen height: a little above the middle
    const long long screenW = roundHalfEven(screenWidth);
    const long long screenH = roundHalfEven(screenHeight);
    const long long formW = roundHalfEven(formWidth);
    const long long formH = roundHalfEven(formHeight);
    // Exact decimal arithmetic, so that a height like 1290 gives 1096.5 and rounds to even.
    FormPosition position;
    position.top = divideHalfEven(screenH * kHeightPercent, 100) / 2 - formH / 2;
    position.left = screenW / 2 - formW / 2;
    if (position.top < 0)
        position.top = 0;
    if (position.left < 0)
        position.left = 0;
    return position;
}

}  // namespace taktwerk::ui
