#include "support/Text.h"

#include <gtest/gtest.h>

using namespace text;

namespace {
// "中" in GBK, and the full-width space.
const std::string kZhong = "\xD6\xD0";
const std::string kFullWidthSpace = "\xA1\xA1";
} // namespace

TEST(GbkToUtf8, DecodesChineseAndKeepsAscii) {
    EXPECT_EQ(GbkToUtf8("AB" + kZhong + "1"), "AB中1");
    EXPECT_EQ(GbkToUtf8(""), "");
}

TEST(GbkToUtf8, UndecodableBytesBecomeReplacementCharacters) {
    EXPECT_EQ(GbkToUtf8("A\xFF" "B"), "A\xEF\xBF\xBD" "B");
    // A lone lead byte at the end is shown, not dropped.
    EXPECT_EQ(GbkToUtf8("A\xD6"), "A\xEF\xBF\xBD");
}

TEST(Utf8ToGbk, RoundTripsAndMarksWhatGbkCannotHold) {
    bool lossy = true;
    EXPECT_EQ(Utf8ToGbk("中X", &lossy), kZhong + "X");
    EXPECT_FALSE(lossy);
    EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80z", &lossy), "a?z"); // an emoji has no GBK form
    EXPECT_TRUE(lossy);
    EXPECT_EQ(Utf8ToGbk("a\xC3z", &lossy), "a?z"); // malformed UTF-8
    EXPECT_TRUE(lossy);
}

TEST(TrimGbk, RemovesSingleByteWhiteSpaceAtBothEnds) {
    EXPECT_EQ(TrimGbk(" \t\n\v\f\r12 \r\n"), "12");
    EXPECT_EQ(TrimGbk("    "), "");
    EXPECT_EQ(TrimGbk("a b"), "a b");
}

TEST(TrimGbk, NeverRemovesDoubleByteCharacters) {
    EXPECT_EQ(TrimGbk(kFullWidthSpace + "x" + kFullWidthSpace + " "),
              kFullWidthSpace + "x" + kFullWidthSpace);
    // A lead byte followed by a blank is one unit: the blank is its trail byte.
    EXPECT_EQ(TrimGbk("x\x81 "), "x\x81 ");
    // A lone lead byte at the end stands alone and is kept.
    EXPECT_EQ(TrimGbk("x \xD6"), "x \xD6");
}

TEST(TrimFieldInPlace, StopsAtTheFieldEndWithoutTerminator) {
    char field[5] = {' ', '1', '2', ' ', '\xD6'}; // no NUL inside the field
    TrimFieldInPlace(field, 4);                   // only the first 4 bytes belong to it
    EXPECT_STREQ(field, "12");
    char nulFilled[8] = {'A', 'B', '\0', 'C', ' ', ' ', ' ', '\0'};
    TrimFieldInPlace(nulFilled);
    EXPECT_STREQ(nulFilled, "AB");
}

TEST(CopyToField, CutsAtWholeCharacters) {
    char field[4];
    CopyToField(field, "a" + kZhong + kZhong);
    EXPECT_EQ(std::string(field), "a" + kZhong);
    CopyToField(field, "abc");
    EXPECT_STREQ(field, "abc");
}

TEST(ParseDecimal, ReadsLikeAtoi) {
    EXPECT_EQ(ParseDecimal64("000001232"), 1232);
    EXPECT_EQ(ParseDecimal64(" 1232"), 1232);
    EXPECT_EQ(ParseDecimal64("1232 "), 1232);
    EXPECT_EQ(ParseDecimal64("         "), 0);
    EXPECT_EQ(ParseDecimal64("-616"), -616);
    EXPECT_EQ(ParseDecimal64("+7x9"), 7);
    EXPECT_EQ(ParseDecimal64("x9"), 0);
    EXPECT_EQ(ParseDecimal32("9720"), 9720);
    EXPECT_EQ(ParseDecimal32("0000"), 0);
    EXPECT_EQ(ParseDecimal32("    "), 0);
}

TEST(ParseDecimal, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(ParseDecimal64("99999999999999999999"), INT64_MAX);
    EXPECT_EQ(ParseDecimal64("-99999999999999999999"), INT64_MIN);
    EXPECT_EQ(ParseDecimal64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(ParseDecimal32("99999999999"), INT32_MAX);
    EXPECT_EQ(ParseDecimal32("-99999999999"), INT32_MIN);
}

TEST(Format, FormatsLikePrintf) {
    EXPECT_EQ(Format("[%s]%d", "a%b", 21), "[a%b]21");
    EXPECT_EQ(Format("%s", ""), "");
}
