#include "UploadReply.h"

#include "support/net/WireFormat.h"

#include <gtest/gtest.h>

namespace {

TEST(WireFormatTest, FrameHeadersRoundTripAndRefuseWhatIsNotOne) {
    const std::string head = wire::EncodeFrameHeader("UP", 1234);
    EXPECT_EQ(head, "QMGWUP0000001234");
    wire::FrameHeader header;
    ASSERT_TRUE(wire::DecodeFrameHeader(head, header));
    EXPECT_EQ(header.type, "UP");
    EXPECT_EQ(header.length, 1234u);
    for (const char* bad : {"QMGXUP0000001234", "QMGWup0000001234", "QMGWUP00000012 4",
                            "QMGWUP-000001234", "QMGWUP000000123"})
        EXPECT_FALSE(wire::DecodeFrameHeader(bad, header)) << bad;
}

TEST(WireFormatTest, LimitsFitTheLargestLegalRequestAndNothingUnknown) {
    EXPECT_EQ(wire::MaxPayload("UP"), 64 + 999'999 * 572u);
    EXPECT_EQ(wire::MaxPayload("UR"), 17 + 2 + 126 + 999'999 * 616u);
    EXPECT_EQ(wire::MaxPayload("LI"), 4096u);
    EXPECT_EQ(wire::MaxPayload("XX"), 0u);
}

TEST(WireFormatTest, CountedFieldsSplitBackAndRefuseLies) {
    const std::string payload = wire::Fields({"0000", "", "上海"});
    std::vector<std::string> fields;
    ASSERT_TRUE(wire::SplitFields(payload, fields));
    EXPECT_EQ(fields, (std::vector<std::string>{"0000", "", "上海"}));
    EXPECT_FALSE(wire::SplitFields("0005abc", fields)); // runs past the end
    EXPECT_FALSE(wire::SplitFields("00x1a", fields));   // count not digits
    EXPECT_FALSE(wire::SplitFields("000", fields));     // short count
    EXPECT_FALSE(wire::SplitFields(wire::Fields({"a", "b", "c"}), fields, 2));
}

TEST(WireFormatTest, PacketHeaderRoundTripsAndRefusesValuesThatDoNotFit) {
    wire::PacketHeader header{"SSCCRC",           "JSXT", "99", "40",
                              "ABCDEF0000000042", '1',    572,  "CTX00001"};
    std::string bytes;
    ASSERT_TRUE(wire::EncodePacketHeader(header, bytes));
    ASSERT_EQ(bytes.size(), wire::kPacketHeaderLength);
    EXPECT_EQ(bytes.substr(0, 20), "SSCCRC  JSXT    9940");
    EXPECT_EQ(bytes.substr(36, 11), "10000000572");
    wire::PacketHeader back;
    ASSERT_TRUE(wire::DecodePacketHeader(bytes, back));
    EXPECT_EQ(back.serial, header.serial);
    EXPECT_EQ(back.bodyLength, 572u);
    EXPECT_EQ(back.context, "CTX00001");
    header.function = "400";
    EXPECT_FALSE(wire::EncodePacketHeader(header, bytes));
    EXPECT_FALSE(wire::DecodePacketHeader(bytes.substr(0, 63), back));
}

TEST(WireFormatTest, ReplyPrefixHasTheLengthOfItsHeaderMode) {
    EXPECT_EQ(wire::EncodeReplyPrefix(0, "ABCDEF0000000042"), "000000042");
    EXPECT_EQ(wire::EncodeReplyPrefix(1, "ABCDEF0000000042"), "1ABCDEF0000000042");
    EXPECT_EQ(wire::PrefixLength(0), 9u);
    EXPECT_EQ(wire::PrefixLength(1), 17u);
}

TEST(WireFormatTest, AReplyAnswersOnlyTheRequestWhoseSerialItNames) {
    const std::string ours = "ABCDEF0000000042";
    const std::string other = "ABCDEF0000000043";
    std::string request;
    ASSERT_TRUE(
        wire::EncodePacketHeader({"SSCCRC", "JSXT", "99", "40", ours, '1', 0, ""}, request));
    const struct {
        int mode;
        std::string prefixSerial, marker, field1, code;
        bool answers;
    } cases[] = {
        {0, ours, "00", ours, "0000", true},
        {1, ours, "01", ours, "0000", true},
        {0, other, "00", other, "0000", false},            // the answer to another request
        {1, other, "00", ours, "0000", false},             // prefix names another
        {0, ours, "00", other, "0000", false},             // field 1 names another
        {0, "XXXXXXXX00000042", "00", ours, "0000", true}, // mode 0 carries the last 8 only
        {0, ours, "02", ours, "0000", false},              // unknown marker
        {0, ours, "  ", ours, "2002", false},              // unknown marker on a refusal too
        {0, other, "00", "", "2002", true},                // a refusal is not asked its serial
        {1, "", "00", "", "2004", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            wire::AnswersRequest(
                request, UploadReply(c.mode, c.prefixSerial, c.marker, c.field1, c.code), c.mode),
            c.answers)
            << c.mode << " " << c.prefixSerial << " " << c.marker << " " << c.field1 << " "
            << c.code;
    EXPECT_FALSE(
        wire::AnswersRequest(request, UploadReply(0, ours, "00", ours, "0000").substr(0, 100), 0));
    EXPECT_FALSE(wire::AnswersRequest("", UploadReply(0, ours, "00", ours, "0000"), 0));
}

} // namespace
