#include "core/Numbers.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace taktwerk::core {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double leadingNumber(std::string_view text) noexcept
{
    return leadingNumberIfAny(text).value_or(0.0);
}

std::optional<double> leadingNumberIfAny(std::string_view text) noexcept
{
    // Collect the longest prefix that forms a number (sign, digits, one ".", an exponent with
    // digits), skipping blanks anywhere in it as the old runtime did ("1 2" reads as 12).
    std::string number;
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && isBlank(text[i]))
            ++i;
    };
    skipBlanks();
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        number += text[i++];
    bool digits = false;
    bool point = false;
    for (;;) {
        skipBlanks();
        if (i < text.size() && isDigit(text[i])) {
            number += text[i++];
            digits = true;
        } else if (i < text.size() && text[i] == '.' && !point) {
            number += text[i++];
            point = true;
        } else {
            break;
        }
    }
    if (!digits)
        return std::nullopt;
    // An exponent counts only when digits follow it; otherwise "12e" reads as 12.
    const std::size_t mark = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::string exponent = "e";
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            exponent += text[i++];
        bool exponentDigits = false;
        while (i < text.size() && isDigit(text[i])) {
            exponent += text[i++];
            exponentDigits = true;
        }
        if (exponentDigits)
            number += exponent;
        else
            i = mark;
    }
    const double value = std::strtod(number.c_str(), nullptr);
    return std::isfinite(value) ? value : (value < 0 ? -1e300 : 1e300);
}

std::optional<std::int16_t> leadingInt16(std::string_view text) noexcept
{
    const double rounded = std::nearbyint(leadingNumber(text));  // default mode: halves to even
    if (rounded < std::numeric_limits<std::int16_t>::min() ||
        rounded > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

std::string decimalText(long long value) { return std::to_string(value); }

}  // namespace taktwerk::core
