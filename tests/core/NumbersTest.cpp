#include "core/Numbers.h"

#include <gtest/gtest.h>

namespace taktwerk::core {
namespace {

TEST(LeadingNumber, RoundsHalvesToEvenAndRefusesWhatDoesNotFit)
{
    struct Case {
        const char* text;
        std::optional<std::int16_t> expected;
    };
    const Case cases[] = {
        {"120", 120},
        {"99.5", 100},
        {"98.5", 98},
        {"2.5", 2},
        {"1.5", 2},
        {"-2.5", -2},
        {"37abc", 37},
        {"abc", 0},
        {"", 0},
        {"  42  ", 42},
        {"1e2", 100},
        {"12e", 12},
        {"32767", 32767},
        {"-32768", -32768},
        {"32768", std::nullopt},
        {"70000", std::nullopt},
        {"1e9", std::nullopt},
        {"-5", -5},
        {".5", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(leadingInt16(c.text), c.expected) << '"' << c.text << '"';
}

TEST(LeadingNumber, TellsTextWithoutANumberFromZero)
{
    EXPECT_EQ(leadingNumberIfAny("0"), 0.0);
    EXPECT_EQ(leadingNumberIfAny(" - 5x"), -5.0);
    EXPECT_EQ(leadingNumberIfAny(".5"), 0.5);
    EXPECT_EQ(leadingNumberIfAny("1e400"), 1e300) << "huge, yet a number";
    for (const char* none : {"", "  ", "abc", "-", ".", "+.e5", "x1"})
        EXPECT_EQ(leadingNumberIfAny(none), std::nullopt) << '"' << none << '"';
}

}  // namespace
}  // namespace taktwerk::core
