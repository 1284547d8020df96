// A reply built over its request is byte for byte the reply built beside it,
// in both header modes, for no record, one, and many of mixed codes.

#include "gateway/UploadReply.h"
#include "protocol/WireFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
    int mode;
    bool repeated;
    std::vector<std::uint16_t> codes;
    std::vector<std::uint8_t> bad;
};

TEST(UploadReplyTest, AReplyBuiltOverItsRequestEqualsOneBuiltBesideIt) {
    const std::vector<Case> cases = {
        {0, false, {}, {}},
        {1, false, {0}, {0}},
        {0, true, {0, 0, 9715, 0, 9706, 9706, 9720}, {0, 0, 12, 0, 0, 0, 0}},
        {1, true, std::vector<std::uint16_t>(300, 9701), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + "/" + std::to_string(c.codes.size()));
        UploadReplyHeader header;
        header.serial = "00000A0000000001";
        header.message = "处理完成";
        std::string request(protocol::kPacketHeaderLength, 'h');
        for (std::size_t i = 0; i < c.codes.size(); ++i)
            for (std::size_t b = 0; b < protocol::kRequestRecordLength; ++b)
                request += static_cast<char>('A' + (i * 7 + b) % 26);
        const std::string beside = BuildUploadReply(
            c.mode, c.repeated, header,
            std::string_view(request).substr(protocol::kPacketHeaderLength), c.codes, c.bad);
        EXPECT_EQ(BuildUploadReplyOver(request, c.mode, c.repeated, header, c.codes, c.bad),
                  beside);
    }
}

} // namespace
