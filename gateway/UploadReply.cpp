#include "gateway/UploadReply.h"

#include "protocol/Codes.h"
#include "protocol/SystemCodes.h"
#include "protocol/WireFormat.h"
#include "support/Text.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

// A GBK text cut to `width` bytes without splitting a character, then filled
// with blanks.
std::string GbkField(const std::string& utf8, std::size_t width) {
    std::string field(width + 1, '\0');
    text::CopyToField(field.data(), field.size(), text::Utf8ToGbk(utf8));
    field.resize(std::char_traits<char>::length(field.data()));
    return protocol::Pad(field, width);
}

// The prefix, the marker and the header: everything before the results. The
// header's fields are written in place, each filled with blanks.
std::string ReplyHead(int prefixMode, bool repeated, const UploadReplyHeader& header,
                      std::size_t count) {
    using namespace protocol::replyheader;
    std::string head = protocol::EncodeReplyPrefix(prefixMode, header.serial);
    head += repeated ? protocol::kRepeatedAnswer : protocol::kFreshAnswer;
    const std::size_t at = head.size();
    head.resize(at + kLayout.Length(), ' ');
    char* fields = head.data() + at;
    // Values cut to their fields, as a refusal may carry whatever was read.
    const auto put = [&](std::size_t field, std::string_view value) {
        kLayout.Put(fields, field, value.substr(0, kLayout.Width(field)));
    };
    put(kSerial, header.serial);
    kLayout.PutDigits(fields, kRecordCount, count);
    put(kSystem, protocol::kSystem);
    put(kSubsystem, protocol::kSubsystem);
    put(kFunction, protocol::kFunction);
    put(kReturnCode, header.returnCode);
    kLayout.PutDigits(fields, kDataLength, count * protocol::kResultRecordLength);
    put(kSerialFlag, std::string_view(&header.flag, 1));
    put(kMessage, GbkField(header.message, kLayout.Width(kMessage)));
    return head;
}

// A result record's code and text (its fields after the request it echoes).
std::string ResultTail(std::uint16_t code, int badField) {
    using namespace protocol::resultrecord;
    std::string record(kLayout.Length(), ' ');
    kLayout.PutDigits(record.data(), kResultCode, code);
    kLayout.Put(record.data(), kResultText,
                GbkField(protocol::ResultText(code, badField), kLayout.Width(kResultText)));
    return record.substr(kLayout.Offset(kResultCode));
}

// The bytes after each record (its code and text), made once per kind:
// most records share the one of the record before.
class ResultTails {
public:
    ResultTails(const std::vector<std::uint16_t>& codes, const std::vector<std::uint8_t>& bad)
        : m_codes(codes), m_bad(bad) {}

    const std::string& Of(std::size_t i) {
        const std::pair<std::uint16_t, int> key{m_codes[i], i < m_bad.size() ? m_bad[i] : 0};
        if (!m_last || key != m_lastKey) {
            auto [it, fresh] = m_tails.try_emplace(key);
            if (fresh)
                it->second = ResultTail(key.first, key.second);
            m_lastKey = key;
            m_last = &it->second;
        }
        return *m_last;
    }

private:
    const std::vector<std::uint16_t>& m_codes;
    const std::vector<std::uint8_t>& m_bad;
    std::map<std::pair<std::uint16_t, int>, std::string> m_tails;
    std::pair<std::uint16_t, int> m_lastKey{};
    const std::string* m_last = nullptr;
};

} // namespace

std::string BuildUploadReply(int prefixMode, bool repeated, const UploadReplyHeader& header,
                             std::string_view body, const std::vector<std::uint16_t>& codes,
                             const std::vector<std::uint8_t>& badFields) {
    const std::size_t count = codes.size();
    std::string reply = ReplyHead(prefixMode, repeated, header, count);
    reply.reserve(reply.size() + count * protocol::kResultRecordLength);
    ResultTails tails(codes, badFields);
    for (std::size_t i = 0; i < count; ++i) {
        reply.append(
            body.substr(i * protocol::kRequestRecordLength, protocol::kRequestRecordLength));
        reply += tails.Of(i);
    }
    return reply;
}

std::string BuildUploadReplyOver(std::string request, int prefixMode, bool repeated,
                                 const UploadReplyHeader& header,
                                 const std::vector<std::uint16_t>& codes,
                                 const std::vector<std::uint8_t>& badFields) {
    const std::size_t count = codes.size();
    if (request.size() != protocol::kPacketHeaderLength + count * protocol::kRequestRecordLength)
        return BuildUploadReply(prefixMode, repeated, header,
                                std::string_view(request).substr(
                                    std::min(request.size(), protocol::kPacketHeaderLength)),
                                codes, badFields);
    const std::string head = ReplyHead(prefixMode, repeated, header, count);
    // The head is longer than the packet header, so every record moves up:
    // from the last one down, each lands beyond what is still to move.
    static_assert(protocol::kResultRecordLength > protocol::kRequestRecordLength);
    if (head.size() < protocol::kPacketHeaderLength)
        return BuildUploadReply(prefixMode, repeated, header,
                                std::string_view(request).substr(protocol::kPacketHeaderLength),
                                codes, badFields);
    request.resize(head.size() + count * protocol::kResultRecordLength);
    char* bytes = request.data();
    ResultTails tails(codes, badFields);
    for (std::size_t i = count; i-- > 0;) {
        char* to = bytes + head.size() + i * protocol::kResultRecordLength;
        std::memmove(to, bytes + protocol::kPacketHeaderLength + i * protocol::kRequestRecordLength,
                     protocol::kRequestRecordLength);
        const std::string& tail = tails.Of(i);
        std::memcpy(to + protocol::kRequestRecordLength, tail.data(), tail.size());
    }
    std::memcpy(bytes, head.data(), head.size());
    return request;
}
