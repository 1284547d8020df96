#include "protocol/Layouts.h"
#include "protocol/WireFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Each layout walked field by field against the offsets the protocol's
// tables give, typed here by hand as the independent check.
struct LayoutCase {
    const char* name;
    std::vector<std::size_t> offsets;
    std::size_t length;
};

template <std::size_t N>
void ExpectOffsets(const protocol::Layout<N>& layout, const LayoutCase& expected) {
    ASSERT_EQ(N, expected.offsets.size()) << expected.name;
    for (std::size_t number = 1; number <= N; ++number) {
        EXPECT_EQ(layout.Offset(number), expected.offsets[number - 1])
            << expected.name << " field " << number;
        const std::size_t end = number < N ? expected.offsets[number] : expected.length;
        EXPECT_EQ(layout.Width(number), end - expected.offsets[number - 1])
            << expected.name << " field " << number;
    }
    EXPECT_EQ(layout.Length(), expected.length) << expected.name;
}

TEST(LayoutsTest, EveryFieldSitsWhereTheWireHasIt) {
    ExpectOffsets(protocol::packetheader::kLayout,
                  {"packet header", {0, 8, 16, 18, 20, 36, 37, 47, 55}, 64});
    ExpectOffsets(protocol::requestrecord::kLayout,
                  {"request record",
                   {0,   6,   22,  30,  38,  46,  86,  94,  134, 136, 138, 163, 243,
                    245, 249, 277, 357, 437, 462, 466, 494, 510, 526, 528, 530, 532},
                   572});
    ExpectOffsets(protocol::replyheader::kLayout,
                  {"reply header", {0, 16, 26, 42, 58, 60, 64, 73, 74}, 126});
    std::vector<std::size_t> result = {0,   6,   22,  30,  38,  46,  86,  94,  134, 136,
                                       138, 163, 243, 245, 249, 277, 357, 437, 462, 466,
                                       494, 510, 526, 528, 530, 532, 572, 576};
    ExpectOffsets(protocol::resultrecord::kLayout, {"result record", result, 616});
}

TEST(LayoutsTest, NamedFieldsAreTheNumberedOnes) {
    using namespace protocol;
    EXPECT_EQ(packetheader::kSerial, 5u);
    EXPECT_EQ(packetheader::kBodyLength, 7u);
    EXPECT_EQ(requestrecord::kRecordKind, 10u);
    EXPECT_EQ(requestrecord::kSubsystemCode, 22u);
    EXPECT_EQ(replyheader::kReturnCode, 6u);
    EXPECT_EQ(replyheader::kDataLength, 7u);
    EXPECT_EQ(replyheader::kMessage, 9u);
    EXPECT_EQ(resultrecord::kResultCode, 27u);
}

TEST(LayoutsTest, FieldsAreReadAndWrittenInPlace) {
    using namespace protocol::replyheader;
    std::string header(kLayout.Length(), '.');
    EXPECT_TRUE(kLayout.Put(header.data(), kReturnCode, "2004"));
    EXPECT_TRUE(kLayout.Put(header.data(), kSystem, "SSCCRC"));
    EXPECT_TRUE(kLayout.PutDigits(header.data(), kDataLength, 1232));
    EXPECT_EQ(header.substr(60, 4), "2004");
    EXPECT_EQ(header.substr(26, 16), "SSCCRC          ");
    EXPECT_EQ(header.substr(64, 9), "000001232");
    EXPECT_EQ(kLayout.Of(header, kReturnCode), "2004");
    EXPECT_EQ(kLayout.Of(header, kReturnCode).data(), header.data() + 60);
    EXPECT_EQ(header.substr(0, 26), std::string(26, '.')) << "nothing written outside its field";
}

TEST(LayoutsTest, WhatDoesNotFitIsNotWritten) {
    using namespace protocol::replyheader;
    std::string header(kLayout.Length(), '.');
    EXPECT_FALSE(kLayout.Put(header.data(), kReturnCode, "20041"));
    EXPECT_EQ(header.substr(60, 4), "....");
    EXPECT_FALSE(kLayout.PutDigits(header.data(), kDataLength, 1'000'000'000));
    EXPECT_EQ(header.substr(64, 9), std::string(9, ' '));
    EXPECT_TRUE(kLayout.PutDigits(header.data(), kDataLength, 999'999'999));
    EXPECT_EQ(header.substr(64, 9), "999999999");
    // A record too short to hold a field reads as empty, never past its end.
    EXPECT_TRUE(kLayout.Of(std::string_view(header).substr(0, 63), kReturnCode).empty());
}

TEST(LayoutsTest, LengthsAndLimitsFollowFromTheLayouts) {
    EXPECT_EQ(protocol::kRequestRecordLength, 572u);
    EXPECT_EQ(protocol::kResultRecordLength, 616u);
    EXPECT_EQ(protocol::kReplyHeaderLength, 126u);
    EXPECT_EQ(protocol::kPacketHeaderLength, 64u);
    EXPECT_EQ(protocol::kSerialLength, 16u);
    EXPECT_EQ(protocol::PrefixLength(0), 9u);
    EXPECT_EQ(protocol::PrefixLength(1), 17u);
    EXPECT_EQ(protocol::ReplyHeaderAt(0), 11u);
    EXPECT_EQ(protocol::ReplyHeaderAt(1), 19u);
    EXPECT_EQ(protocol::kMaxUploadPayload, 571'999'492u);
    EXPECT_EQ(protocol::kMaxUploadReplyPayload, 615'999'529u);
}

} // namespace
