#include <climits>

#include <gtest/gtest.h>

#include "editor/IndexText.h"

// Index text follows atoi: blanks, sign, digits, then anything.
TEST(IndexText, ReadsTheLeadingNumberLikeAtoi)
{
    EXPECT_EQ(IndexTextToInt(L"0"), 0);
    EXPECT_EQ(IndexTextToInt(L"2"), 2);
    EXPECT_EQ(IndexTextToInt(L"01"), 1);
    EXPECT_EQ(IndexTextToInt(L"  2"), 2);
    EXPECT_EQ(IndexTextToInt(L"\t\n 1"), 1);
    EXPECT_EQ(IndexTextToInt(L"+1"), 1);
    EXPECT_EQ(IndexTextToInt(L"-1"), -1);
    EXPECT_EQ(IndexTextToInt(L"1 "), 1);
    EXPECT_EQ(IndexTextToInt(L"1abc"), 1);
    EXPECT_EQ(IndexTextToInt(L"2.9"), 2);
}

TEST(IndexText, TextWithoutLeadingNumberIsZero)
{
    EXPECT_EQ(IndexTextToInt(L""), 0);
    EXPECT_EQ(IndexTextToInt(L"abc"), 0);
    EXPECT_EQ(IndexTextToInt(L"- 1"), 0);
    EXPECT_EQ(IndexTextToInt(L"+"), 0);
    EXPECT_EQ(IndexTextToInt(L"x1"), 0);
    EXPECT_EQ(IndexTextToInt(L"\x0661"), 0); // a non-ASCII digit is not a digit here
}

// Numbers beyond int never wrap into a valid list position.
TEST(IndexText, NumbersBeyondIntAreClampedNotWrapped)
{
    EXPECT_EQ(IndexTextToInt(L"2147483647"), INT_MAX);
    EXPECT_EQ(IndexTextToInt(L"-2147483648"), INT_MIN);
    EXPECT_EQ(IndexTextToInt(L"2147483648"), INT_MAX);
    EXPECT_EQ(IndexTextToInt(L"4294967297"), INT_MAX);  // 2^32 + 1 would wrap to 1
    EXPECT_EQ(IndexTextToInt(L"-4294967296"), INT_MIN); // -2^32 would wrap to 0
    EXPECT_EQ(IndexTextToInt(L"99999999999999999999999999"), INT_MAX);
    EXPECT_EQ(IndexTextToInt(L"-99999999999999999999999999"), INT_MIN);
}

TEST(IndexText, SelectionIndexBecomesCanonicalText)
{
    EXPECT_EQ(IndexToText(0), L"0");
    EXPECT_EQ(IndexToText(2), L"2");
    EXPECT_EQ(IndexToText(-1), L"-1");
}
