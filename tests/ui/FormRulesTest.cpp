#include "ui/FormRules.h"

#include <gtest/gtest.h>

namespace taktwerk::ui {
namespace {

TEST(FormRules, FiltersTypedNameCharacters)
{
    for (int code : {58, 60, 62, 91, 93, 92, 94, 47, 34, 42, 0, 31, 59, 61, 46, 44, -5}) {
        int typed = code;
        FilterKey(typed, 1);
        EXPECT_EQ(typed, 0) << code << " should be swallowed";
    }
    for (int code : {45, 43, 38, 39,  33,  32,   48,     57, 63, 64, 65,
                     90, 95, 97, 124, 127, 0xE4, 0x20AC, 8,  22, 3,  13}) {
        int typed = code;
        FilterKey(typed, 1);
        EXPECT_EQ(typed, code) << code << " should pass";
    }
    for (int code : {58, 47, 92}) {
        int typed = code;
        FilterKey(typed, 0);
        EXPECT_EQ(typed, code) << "mode 0 passes " << code;
    }
}

TEST(FormRules, PlacesWindowsCentredAndAboveTheMiddle)
{
    struct Case {
        double screenW, screenH, formW, formH;
        long long left, top;
    };
    const Case cases[] = {
        {15360, 11520, 9000, 6000, 3180, 1896},      // 1024 x 768 pixels at 15 twips
        {15360, 1290, 9000, 100, 3180, 498},         // 0.85 x 1290 = 1096.5 -> 1096 (even)
        {15360, 1310, 9000, 100, 3180, 507},         // 0.85 x 1310 = 1113.5 -> 1114 (even)
        {15360, 11520, 9001, 6001, 3180, 1896},      // odd sizes: integer division
        {15360, 11520, 9000.5, 6001.5, 3180, 1895},  // halves to even: 9000 and 6002
        {15360, 11520, 20000, 12000, 0, 0},          // bigger than the screen: kept on it
        {15360.5, 11520.5, 9000, 6000, 3180, 1896},
    };
    for (const auto& c : cases) {
        const FormPosition at = PlaceForm(c.screenW, c.screenH, c.formW, c.formH);
        EXPECT_EQ(at.left, c.left) << c.screenW << ' ' << c.formW;
        EXPECT_EQ(at.top, c.top) << c.screenH << ' ' << c.formH;
    }
}

}  // namespace
}  // namespace taktwerk::ui
