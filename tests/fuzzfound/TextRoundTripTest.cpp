// Text that goes out as GBK without loss must read back as it was: the wire
// and the account files carry GBK, and what the tool writes it must also read.

#include "support/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Utf8(char32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

TEST(TextRoundTrip, EuroSignReadsBackFromItsCodePage936Byte) {
    bool lossy = true;
    EXPECT_EQ(text::Utf8ToGbk("100€", &lossy), "100\x80");
    EXPECT_FALSE(lossy);
    EXPECT_EQ(text::GbkToUtf8("100\x80"), "100€");
    EXPECT_EQ(text::GbkToUtf8("\x80\x80"
                              "a"),
              "€€a"); // not a lead byte: one character each
}

TEST(TextRoundTrip, TagCharactersBecomeQuestionMarksInsteadOfVanishing) {
    bool lossy = false;
    EXPECT_EQ(text::Utf8ToGbk("a\U000E0041b\U000E007F", &lossy), "a?b?");
    EXPECT_TRUE(lossy);
    // Around other text, and next to a character that does not convert either.
    EXPECT_EQ(text::Utf8ToGbk("中\U000E0001\U0001F600文", &lossy), "\xD6\xD0??\xCE\xC4");
    EXPECT_TRUE(lossy);
    // A truncated tag sequence is malformed, not a tag.
    EXPECT_EQ(text::Utf8ToGbk(std::string("x\xF3\xA0\x80", 4), &lossy), "x???");
    EXPECT_TRUE(lossy);
}

TEST(TextRoundTrip, EveryCharacterThatConvertsWithoutLossReadsBack) {
    int converted = 0;
    for (char32_t cp = 0x80; cp <= 0xE01EF; ++cp) {
        if ((cp >= 0xD800 && cp <= 0xDFFF) || (cp > 0xFFFF && cp < 0xE0000))
            continue; // surrogates; GBK holds nothing beyond the first plane
        const std::string utf8 = Utf8(cp);
        bool lossy = false;
        const std::string gbk = text::Utf8ToGbk(utf8, &lossy);
        if (lossy)
            continue;
        ++converted;
        ASSERT_FALSE(gbk.empty()) << "U+" << std::hex << static_cast<unsigned>(cp);
        ASSERT_EQ(text::GbkToUtf8(gbk), utf8) << "U+" << std::hex << static_cast<unsigned>(cp);
    }
    EXPECT_GT(converted, 20000); // the whole GBK repertoire, not an empty loop
}

} // namespace
