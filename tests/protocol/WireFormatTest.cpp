#include "UploadReply.h"

#include "protocol/WireFormat.h"

#include <gtest/gtest.h>

namespace {

TEST(WireFormatTest, FrameHeadersRoundTripAndRefuseWhatIsNotOne) {
    const std::string head = protocol::EncodeFrameHeader("UP", 1234);
    EXPECT_EQ(head, "QMGWUP0000001234");
    protocol::FrameHeader header;
    ASSERT_TRUE(protocol::DecodeFrameHeader(head, header));
    EXPECT_EQ(header.type, "UP");
    EXPECT_EQ(header.length, 1234u);
    for (const char* bad : {"QMGXUP0000001234", "QMGWup0000001234", "QMGWUP00000012 4",
                            "QMGWUP-000001234", "QMGWUP000000123"})
        EXPECT_FALSE(protocol::DecodeFrameHeader(bad, header)) << bad;
}

TEST(WireFormatTest, LimitsFitTheLargestLegalRequestAndNothingUnknown) {
    EXPECT_EQ(protocol::MaxPayload("UP"), 64 + 999'999 * 572u);
    EXPECT_EQ(protocol::MaxPayload("UR"), 17 + 2 + 126 + 999'999 * 616u);
    EXPECT_EQ(protocol::MaxPayload("LI"), 4096u);
    EXPECT_EQ(protocol::MaxPayload("XX"), 0u);
}

TEST(WireFormatTest, CountedFieldsSplitBackAndRefuseLies) {
    const std::string payload = protocol::Fields({"0000", "", "上海"});
    std::vector<std::string> fields;
    ASSERT_TRUE(protocol::SplitFields(payload, fields));
    EXPECT_EQ(fields, (std::vector<std::string>{"0000", "", "上海"}));
    EXPECT_FALSE(protocol::SplitFields("0005abc", fields)); // runs past the end
    EXPECT_FALSE(protocol::SplitFields("00x1a", fields));   // count not digits
    EXPECT_FALSE(protocol::SplitFields("000", fields));     // short count
    EXPECT_FALSE(protocol::SplitFields(protocol::Fields({"a", "b", "c"}), fields, 2));
}

TEST(WireFormatTest, PacketHeaderRoundTripsAndRefusesValuesThatDoNotFit) {
    protocol::PacketHeader header{"SSCCRC",           "JSXT", "99", "40",
                                  "ABCDEF0000000042", '1',    572,  "CTX00001"};
    std::string bytes;
    ASSERT_TRUE(protocol::EncodePacketHeader(header, bytes));
    ASSERT_EQ(bytes.size(), protocol::kPacketHeaderLength);
    EXPECT_EQ(bytes.substr(0, 20), "SSCCRC  JSXT    9940");
    EXPECT_EQ(bytes.substr(36, 11), "10000000572");
    protocol::PacketHeader back;
    ASSERT_TRUE(protocol::DecodePacketHeader(bytes, back));
    EXPECT_EQ(back.serial, header.serial);
    EXPECT_EQ(back.bodyLength, 572u);
    EXPECT_EQ(back.context, "CTX00001");
    header.function = "400";
    EXPECT_FALSE(protocol::EncodePacketHeader(header, bytes));
    EXPECT_FALSE(protocol::DecodePacketHeader(bytes.substr(0, 63), back));
}

TEST(WireFormatTest, ReplyPrefixHasTheLengthOfItsHeaderMode) {
    EXPECT_EQ(protocol::EncodeReplyPrefix(0, "ABCDEF0000000042"), "000000042");
    EXPECT_EQ(protocol::EncodeReplyPrefix(1, "ABCDEF0000000042"), "1ABCDEF0000000042");
    EXPECT_EQ(protocol::PrefixLength(0), 9u);
    EXPECT_EQ(protocol::PrefixLength(1), 17u);
}

TEST(WireFormatTest, AReplyAnswersOnlyTheRequestWhoseSerialItNames) {
    const std::string ours = "ABCDEF0000000042";
    const std::string other = "ABCDEF0000000043";
    std::string request;
    ASSERT_TRUE(
        protocol::EncodePacketHeader({"SSCCRC", "JSXT", "99", "40", ours, '1', 0, ""}, request));
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
            protocol::AnswersRequest(
                request, UploadReply(c.mode, c.prefixSerial, c.marker, c.field1, c.code), c.mode),
            c.answers)
            << c.mode << " " << c.prefixSerial << " " << c.marker << " " << c.field1 << " "
            << c.code;
    EXPECT_FALSE(protocol::AnswersRequest(
        request, UploadReply(0, ours, "00", ours, "0000").substr(0, 100), 0));
    EXPECT_FALSE(protocol::AnswersRequest("", UploadReply(0, ours, "00", ours, "0000"), 0));
}

} // namespace
