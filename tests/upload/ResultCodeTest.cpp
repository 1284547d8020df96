#include "upload/ResultCode.h"
#include "upload/RowOutcomes.h"

#include "support/Text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace std::string_literals;

// A result code counts as a success exactly when the row's code cell shows one
// or more '0': the field up to its first NUL, trimmed as the cell trims it.
TEST(ResultCodeTest, SuccessIsWhatTheCodeCellShows) {
    const struct {
        std::string bytes; // the four code bytes (or fewer)
        const char* shown;
        bool success;
    } cases[] = {
        {"0000", "0000", true},
        {"0", "0", true},
        {" 0  ", "0", true},
        {"00\t\r", "00", true},
        {"0\0\0\0"s, "0", true},
        {"30\0\x31 "s.substr(1), "0", true}, // 30 00 31 20: the cell shows "0"
        {"\0\0000\0"s, "", false},           // 00 00 30 00: the cell shows nothing
        {"\0\0\0\0"s, "", false},
        {"", "", false},
        {"    ", "", false},
        {"+0", "+0", false},
        {"-0", "-0", false},
        {"0A", "0A", false},
        {"00 0", "00 0", false},
        {"9720", "9720", false},
        {"0001", "0001", false},
        {"\xa1\xa1", "\xa1\xa1", false},
        {"０", "０", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("code bytes [" + c.bytes + "] length " + std::to_string(c.bytes.size()));
        char field[5] = {};
        std::memcpy(field, c.bytes.data(), std::min<std::size_t>(c.bytes.size(), 4));
        EXPECT_EQ(upload::ShownCode(field), c.shown);
        EXPECT_EQ(upload::IsSuccessCode(field), c.success);
        EXPECT_EQ(upload::IsSuccessCode(std::string_view(c.bytes)), c.success);
    }
}

// The one rule by which every row is decided.
TEST(ResultCodeTest, EachRowIsDecidedByItsCodeAndWhetherItsRequestWasAccepted) {
    using upload::RowOutcome;
    const struct {
        std::string code;
        RowOutcome accepted;
        RowOutcome refused; // inside a request the gateway refused as a whole (-2)
    } cases[] = {
        {"0000", RowOutcome::Stored, RowOutcome::NotStored},
        {"0", RowOutcome::Stored, RowOutcome::NotStored},
        {"9720", RowOutcome::Held, RowOutcome::Held},
        {"9721", RowOutcome::Held, RowOutcome::Held},
        {"9701", RowOutcome::Refused, RowOutcome::NotStored},
        {"9706", RowOutcome::Refused, RowOutcome::Refused},
        {"9709", RowOutcome::Refused, RowOutcome::Refused},
        {"9715", RowOutcome::Refused, RowOutcome::Refused},
        {"9999", RowOutcome::Refused, RowOutcome::Refused},
        {"", RowOutcome::Refused, RowOutcome::Refused},
        {"\0\0000"s, RowOutcome::Refused, RowOutcome::Refused},
        {"+0", RowOutcome::Refused, RowOutcome::Refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("code [" + c.code + "]");
        UploadResultRecord result{};
        std::memcpy(result.ResultCode, c.code.data(), std::min<std::size_t>(c.code.size(), 4));
        EXPECT_EQ(upload::DecideRow(result, true), c.accepted);
        EXPECT_EQ(upload::DecideRow(result, false), c.refused);
    }
}

} // namespace
