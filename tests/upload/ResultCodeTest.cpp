#include "upload/ResultCode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ResultCodeTest, OnlyZeroDigitsBetweenPaddingAreSuccesses) {
    using namespace std::string_literals;
    const struct {
        std::string code;
        bool success;
    } cases[] = {
        {"0000", true},       {"0", true},     {" 0000 ", true}, {"\0\0000\0"s, true},
        {"0000\t\r\n", true}, {"", false},     {"    ", false},  {"\0\0\0\0"s, false},
        {"+0", false},        {"-0", false},   {"0A", false},    {"00 0", false},
        {"0\0000"s, false},   {"9720", false}, {"0001", false},  {"\xa1\xa1", false},
        {"０", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(upload::IsSuccessCode(std::string_view(c.code)), c.success)
            << "code [" << c.code << "] length " << c.code.size();
}

TEST(ResultCodeTest, ReadsAWholeFixedField) {
    char field[8] = {'0', '0', '0', '0', '\0', '\0', '\0', '\0'};
    EXPECT_TRUE(upload::IsSuccessCode(field));
    field[5] = '1'; // stale bytes behind the terminator are not padding
    EXPECT_FALSE(upload::IsSuccessCode(field));
}

} // namespace
