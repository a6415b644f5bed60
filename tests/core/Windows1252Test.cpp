#include "core/Windows1252.h"

#include <gtest/gtest.h>

namespace taktwerk::core {
namespace {

TEST(Windows1252, EveryByteRoundTripsThroughUtf8)
{
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all += static_cast<char>(byte);
    const std::string utf8 = cp1252ToUtf8(all);
    EXPECT_EQ(utf8ToCp1252(utf8), all);
}

TEST(Windows1252, MapsLettersAndRefusesWhatItCannotHold)
{
    EXPECT_EQ(cp1252ToUtf8("Gr\xFC\xDF\x65 \x80 \x8A\x9F"), "Grüße € ŠŸ");
    EXPECT_EQ(utf8ToCp1252("Äöü ß € – …"), "\xC4\xF6\xFC \xDF \x80 \x96 \x85");
    EXPECT_EQ(utf8ToCp1252("→"), std::nullopt);
    EXPECT_EQ(utf8ToCp1252("\xC2\x80"), std::nullopt);      // U+0080: a C1 code Windows-1252 lacks
    EXPECT_EQ(utf8ToCp1252("\xC3"), std::nullopt);          // cut sequence
    EXPECT_EQ(utf8ToCp1252("\xC0\xAF"), std::nullopt);      // overlong "/"
    EXPECT_EQ(utf8ToCp1252("\xED\xA0\x80"), std::nullopt);  // surrogate
    EXPECT_TRUE(equalsIgnoringCase("Übung Œuvre Ÿ", "übung œuvre ÿ"));
    EXPECT_FALSE(equalsIgnoringCase("×", "÷"));  // not a letter pair, though 0x20 apart
}

}  // namespace
}  // namespace taktwerk::core
