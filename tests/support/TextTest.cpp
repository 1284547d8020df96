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
    EXPECT_EQ(GbkToUtf8("A\xFF"
                        "B"),
              "A\xEF\xBF\xBD"
              "B");
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

namespace {
// The plain character-by-character walk that TrimGbk must agree with.
std::string_view TrimByWalking(std::string_view gbk) {
    const auto space = [](unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    std::size_t begin = 0;
    while (begin < gbk.size() && space(static_cast<unsigned char>(gbk[begin])))
        ++begin;
    std::size_t end = begin;
    for (std::size_t i = begin; i < gbk.size();) {
        const auto c = static_cast<unsigned char>(gbk[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < gbk.size()) {
            i += 2;
            end = i;
        } else {
            ++i;
            if (!space(c))
                end = i;
        }
    }
    return gbk.substr(begin, end - begin);
}
} // namespace

TEST(TrimGbk, AgreesWithACharacterWalkOnEveryShortMix) {
    const char alphabet[] = {' ', '\t', 'a', '\x40', '\x80', '\x81', '\xD6', '\xFE', '\xFF'};
    constexpr std::size_t kSymbols = sizeof alphabet;
    for (std::size_t length = 0; length <= 6; ++length) {
        std::size_t combinations = 1;
        for (std::size_t i = 0; i < length; ++i)
            combinations *= kSymbols;
        std::string s(length, ' ');
        for (std::size_t n = 0; n < combinations; ++n) {
            for (std::size_t i = 0, rest = n; i < length; ++i, rest /= kSymbols)
                s[i] = alphabet[rest % kSymbols];
            const std::string_view got = TrimGbk(s);
            const std::string_view want = TrimByWalking(s);
            ASSERT_EQ(got.data() - s.data(), want.data() - s.data()) << testing::PrintToString(s);
            ASSERT_EQ(got.size(), want.size()) << testing::PrintToString(s);
        }
    }
}

TEST(TrimGbk, AgreesWithACharacterWalkOnLongRandomFields) {
    const char alphabet[] = {' ',    ' ',    ' ',    '\t',   'a',   '\x80',
                             '\x81', '\xA1', '\xD6', '\xFE', '\xFF'};
    std::uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 200000; ++round) {
        // Half the fields are mostly lead-range bytes, so that long runs of
        // them meet blanks, stray bytes and odd lengths.
        const bool leadHeavy = round % 2 == 0;
        std::string s(next() % 41, ' ');
        for (char& c : s) {
            const std::uint32_t pick = next() >> 16;
            c = leadHeavy && pick % 10 < 8 ? alphabet[6 + pick / 10 % 4]
                                           : alphabet[pick % sizeof alphabet];
        }
        const std::string_view got = TrimGbk(s);
        const std::string_view want = TrimByWalking(s);
        ASSERT_EQ(got.data() - s.data(), want.data() - s.data()) << testing::PrintToString(s);
        ASSERT_EQ(got.size(), want.size()) << testing::PrintToString(s);
    }
}
