#include "gateway/UploadReply.h"

#include "gateway/Settlement.h"
#include "support/Text.h"
#include "support/net/WireFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

// A GBK text cut to `width` bytes without splitting a character, then filled
// with blanks.
std::string GbkField(const std::string& utf8, std::size_t width) {
    std::string field(width + 1, '\0');
    text::CopyToField(field.data(), field.size(), text::Utf8ToGbk(utf8));
    field.resize(std::char_traits<char>::length(field.data()));
    return wire::Pad(field, width);
}

std::string Digits(std::uint64_t value, int width) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%0*llu", width, static_cast<unsigned long long>(value));
    return digits;
}

} // namespace

namespace {

// The prefix, the marker and the header: everything before the results.
std::string ReplyHead(int prefixMode, bool repeated, const UploadReplyHeader& header,
                      std::size_t count) {
    const std::size_t dataLength = count * wire::kResultRecordLength;
    std::string head = wire::EncodeReplyPrefix(prefixMode, header.serial);
    head += repeated ? wire::kRepeatedAnswer : wire::kFreshAnswer;
    head += wire::Pad(header.serial, 16);    // 1
    head += Digits(count, 10);               // 2: records answered
    head += wire::Pad("SSCCRC", 16);         // 3
    head += wire::Pad("JSXT", 16);           // 4
    head += "40";                            // 5
    head += wire::Pad(header.returnCode, 4); // 6
    head += Digits(dataLength, 9);           // 7
    head += header.flag;                     // 8
    head += GbkField(header.message, 52);    // 9
    return head;
}

// The 44 bytes after each record (its code and text), made once per kind:
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
                it->second = Digits(key.first, 4) + GbkField(ResultText(key.first, key.second), 40);
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
    reply.reserve(reply.size() + count * wire::kResultRecordLength);
    ResultTails tails(codes, badFields);
    for (std::size_t i = 0; i < count; ++i) {
        reply.append(body.substr(i * wire::kRequestRecordLength, wire::kRequestRecordLength));
        reply += tails.Of(i);
    }
    return reply;
}

std::string BuildUploadReplyOver(std::string request, int prefixMode, bool repeated,
                                 const UploadReplyHeader& header,
                                 const std::vector<std::uint16_t>& codes,
                                 const std::vector<std::uint8_t>& badFields) {
    const std::size_t count = codes.size();
    if (request.size() != wire::kPacketHeaderLength + count * wire::kRequestRecordLength)
        return BuildUploadReply(
            prefixMode, repeated, header,
            std::string_view(request).substr(std::min(request.size(), wire::kPacketHeaderLength)),
            codes, badFields);
    const std::string head = ReplyHead(prefixMode, repeated, header, count);
    // The head is longer than the packet header, so every record moves up:
    // from the last one down, each lands beyond what is still to move.
    static_assert(wire::kResultRecordLength > wire::kRequestRecordLength);
    if (head.size() < wire::kPacketHeaderLength)
        return BuildUploadReply(prefixMode, repeated, header,
                                std::string_view(request).substr(wire::kPacketHeaderLength), codes,
                                badFields);
    request.resize(head.size() + count * wire::kResultRecordLength);
    char* bytes = request.data();
    ResultTails tails(codes, badFields);
    for (std::size_t i = count; i-- > 0;) {
        char* to = bytes + head.size() + i * wire::kResultRecordLength;
        std::memmove(to, bytes + wire::kPacketHeaderLength + i * wire::kRequestRecordLength,
                     wire::kRequestRecordLength);
        const std::string& tail = tails.Of(i);
        std::memcpy(to + wire::kRequestRecordLength, tail.data(), tail.size());
    }
    std::memcpy(bytes, head.data(), head.size());
    return request;
}
