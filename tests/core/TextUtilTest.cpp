#include <string>

#include <gtest/gtest.h>

#include "core/TextUtil.h"

// A character beyond U+FFFF is one character whether wide text is UTF-32
// (Linux) or UTF-16 (Windows): it survives the trip through UTF-8, counts as
// two UTF-16 units, and a cut never splits it.
TEST(TextUtil, CharactersBeyondTheBasicPlaneSurviveUtf8AndTheCut)
{
    const std::string strUtf8 =
        "a\xF0\x9F\x98\x80"
        "b";
    const std::wstring strWide = FromUtf8(strUtf8);
    EXPECT_EQ(ToUtf8(strWide), strUtf8);
    EXPECT_EQ(Utf16Length(strWide), 4u);
    EXPECT_EQ(ToUtf8(CutToUtf16Units(strWide, 2)), "a");
    EXPECT_EQ(ToUtf8(CutToUtf16Units(strWide, 3)), "a\xF0\x9F\x98\x80");
}
