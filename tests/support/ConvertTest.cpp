#include "support/ComFormat.h"
#include "upload/RecordFormats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Memory offsets of every field, as the record types lay them out.
std::vector<std::size_t> MemberOffsets(const struct_comfmt* table, bool sourceSide) {
    std::vector<std::size_t> offsets;
    std::size_t at = 0;
    for (const struct_comfmt* f = table; !comfmt::IsEnd(*f); ++f) {
        offsets.push_back(at);
        at += comfmt::SideSize(sourceSide ? f->type[0] : f->type[1], f->width);
    }
    return offsets;
}

std::string Wire(const UploadRequestRecord& record) {
    char wire[kRequestWireLength + 1];
    std::memset(wire, 0x55, sizeof wire);
    EXPECT_EQ(CGlobalClass::Convert(wire, &record, UploadRequestFormat),
              static_cast<int>(kRequestWireLength));
    EXPECT_EQ(wire[kRequestWireLength], 0x55) << "wrote past the wire image";
    return std::string(wire, kRequestWireLength);
}

} // namespace

TEST(RecordFormats, TablesMatchTheRecordLayouts) {
    const std::vector<std::size_t> request = MemberOffsets(UploadRequestFormat, true);
    const std::vector<std::size_t> expectedRequest = {0,   7,   24,  33,  42,  51,  92,  101, 142,
                                                      145, 148, 174, 255, 258, 263, 292, 373, 454,
                                                      480, 485, 514, 531, 548, 551, 554, 557};
    EXPECT_EQ(request, expectedRequest);
    const std::vector<std::size_t> header = MemberOffsets(ResponseHeaderFormat, false);
    EXPECT_EQ(header, (std::vector<std::size_t>{0, 17, 28, 45, 62, 65, 70, 80, 81}));
    std::vector<std::size_t> result = MemberOffsets(UploadResultFormat, false);
    ASSERT_EQ(result.size(), 28u);
    EXPECT_EQ(std::vector<std::size_t>(result.begin(), result.begin() + 26), expectedRequest);
    EXPECT_EQ(result[26], offsetof(UploadResultRecord, ResultCode));
    EXPECT_EQ(result[27], offsetof(UploadResultRecord, ResultText));
    for (const struct_comfmt* table :
         {UploadRequestFormat, ResponseHeaderFormat, UploadResultFormat})
        for (const struct_comfmt* f = table; !comfmt::IsEnd(*f); ++f)
            EXPECT_EQ(f->reserved, 0);
}

TEST(Convert, EmptyRequestIsExactly572ZeroBytes) {
    UploadRequestRecord record{};
    EXPECT_EQ(Wire(record), std::string(kRequestWireLength, '\0'));
}

TEST(Convert, RequestFieldsLandAtTheirWireOffsets) {
    UploadRequestRecord record{};
    std::strcpy(record.SeqNo, "123456");                   // 6 of 6
    std::strcpy(record.SubsystemCode, "JSXT            "); // 16 of 16
    std::strcpy(record.BusinessKind, "70");
    std::strcpy(record.BankCode, "0102");
    std::strcpy(record.ReserveAccountName, "ab");
    std::strcpy(record.Field26, "end");
    const std::string wire = Wire(record);
    EXPECT_EQ(wire.substr(0, 6), "123456");
    EXPECT_EQ(wire.substr(510, 16), "JSXT            ");
    EXPECT_EQ(wire.substr(526, 2), "70");
    EXPECT_EQ(wire.substr(245, 4), "0102");
    EXPECT_EQ(wire.substr(163, 80), "ab" + std::string(78, '\0'));
    EXPECT_EQ(wire.substr(532, 40), "end" + std::string(37, '\0'));
}

TEST(Convert, TextFieldStopsAtItsWidthEvenWithoutTerminator) {
    // Garbage in every byte, no terminators anywhere: the wire image takes
    // exactly each field's width and nothing outside the record is touched.
    UploadRequestRecord record;
    std::memset(&record, 'G', sizeof record);
    const std::string wire = Wire(record);
    EXPECT_EQ(wire, std::string(kRequestWireLength, 'G'));
}

TEST(Convert, TextEndsAtTheFirstNulWithHighBytesKept) {
    UploadRequestRecord record{};
    std::memcpy(record.AccountFullName, "\xD6\xD0\xB9\xFA\0tail", 9);
    const std::string wire = Wire(record);
    EXPECT_EQ(wire.substr(277, 80), "\xD6\xD0\xB9\xFA" + std::string(76, '\0'));
}

TEST(Convert, HeaderFlagByteAndMessageLandWhereTheyBelong) {
    std::string raw(kResponseHeaderWireLength, ' ');
    raw.replace(60, 4, "0000");
    raw.replace(64, 9, "000001232");
    raw[73] = '\x7F';
    raw.replace(74, 5, "hello");
    ResponseHeader header;
    std::memset(&header, 0x55, sizeof header);
    CGlobalClass::Convert(&header, raw.data(), ResponseHeaderFormat);
    EXPECT_STREQ(header.ReturnCode, "0000");
    EXPECT_STREQ(header.DataLength, "000001232");
    EXPECT_EQ(header.Flag[0], '\x7F');
    EXPECT_EQ(std::string(header.ReturnMessage, 5), "hello");
    EXPECT_EQ(header.ReturnMessage[52], '\0');
}

TEST(Convert, ReusedResultAreaKeepsNothingOfThePreviousRecord) {
    std::string first(kResultWireLength, 'A');
    std::string second(kResultWireLength, '\0');
    second.replace(576, 2, "ok");
    UploadResultRecord result;
    CGlobalClass::Convert(&result, first.data(), UploadResultFormat);
    EXPECT_EQ(std::string(result.ResultText), std::string(40, 'A'));
    CGlobalClass::Convert(&result, second.data(), UploadResultFormat);
    EXPECT_STREQ(result.ResultText, "ok");
    EXPECT_EQ(std::string(result.ResultText, 41), "ok" + std::string(39, '\0'));
}

TEST(Convert, StopsAtADescriptorItDoesNotKnow) {
    const struct_comfmt table[] = {comfmt::Field(2, "AA"), comfmt::Field(3, "XY"), comfmt::kEnd};
    char out[8] = {};
    EXPECT_EQ(CGlobalClass::Convert(out, "abcdef", table), -1);
    EXPECT_EQ(std::string(out, 3), std::string("ab\0", 3));
}
