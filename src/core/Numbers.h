#pragma once
// The leading-number rule that settings and rhythm files share: blanks are skipped, the
// longest leading decimal number is taken (a decimal point "." and an exponent allowed), text
// without a leading number reads as 0, and the result is rounded to the nearest integer with
// halves going to the even neighbour. Pure functions, any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace taktwerk::core {

// The leading number of `text` as a double (0 when there is none).
double leadingNumber(std::string_view text) noexcept;
// The same, or nullopt when there is none: for values whose 0 would do harm (a volume, a
// velocity) and which take their default instead.
std::optional<double> leadingNumberIfAny(std::string_view text) noexcept;

// The leading number rounded half to even; nullopt when it does not fit a 16-bit signed
// integer (the caller then keeps its previous value).
std::optional<std::int16_t> leadingInt16(std::string_view text) noexcept;

// Plain decimal text of an integer: no blanks, no leading zeros ("120", "-5").
std::string decimalText(long long value);

}  // namespace taktwerk::core
