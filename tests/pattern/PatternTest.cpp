#include "pattern/Pattern.h"

#include <gtest/gtest.h>

namespace taktwerk::pattern {
namespace {

TEST(Pattern, ReadsOnlyCapitalXAndIgnoresWhatLiesPastTheRow)
{
    Pattern pattern = Pattern::startPattern();
    pattern.PatternToRow(0, "X_X");
    EXPECT_EQ(pattern.RowToPattern(0), "X_X_____________________________");

    pattern.PatternToRow(1, std::string(32, 'x'));
    EXPECT_EQ(pattern.row(1), 0u);

    pattern.PatternToRow(2, "X_Xz_XX_________________________XXXXXXXX");
    EXPECT_EQ(pattern.RowToPattern(2), "X_X__XX_________________________");
}

}  // namespace
}  // namespace taktwerk::pattern
