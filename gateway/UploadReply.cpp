#include "gateway/UploadReply.h"

#include "gateway/Settlement.h"
#include "support/Text.h"
#include "support/net/WireFormat.h"

#include <cstdio>
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

std::string BuildUploadReply(int prefixMode, bool repeated, const UploadReplyHeader& header,
                             std::string_view body, const std::vector<std::uint16_t>& codes,
                             const std::vector<std::uint8_t>& badFields) {
    const std::size_t count = codes.size();
    const std::size_t dataLength = count * wire::kResultRecordLength;
    std::string reply = wire::EncodeReplyPrefix(prefixMode, header.serial);
    reply.reserve(reply.size() + 2 + wire::kReplyHeaderLength + dataLength);
    reply += repeated ? wire::kRepeatedAnswer : wire::kFreshAnswer;

    reply += wire::Pad(header.serial, 16);    // 1
    reply += Digits(count, 10);               // 2: records answered
    reply += wire::Pad("SSCCRC", 16);         // 3
    reply += wire::Pad("JSXT", 16);           // 4
    reply += "40";                            // 5
    reply += wire::Pad(header.returnCode, 4); // 6
    reply += Digits(dataLength, 9);           // 7
    reply += header.flag;                     // 8
    reply += GbkField(header.message, 52);    // 9

    std::map<std::pair<std::uint16_t, int>, std::string> tails; // code and text, 44 bytes
    std::pair<std::uint16_t, int> lastKey{};
    const std::string* last = nullptr; // most records share the tail of the one before
    for (std::size_t i = 0; i < count; ++i) {
        const std::pair<std::uint16_t, int> key{codes[i], i < badFields.size() ? badFields[i] : 0};
        if (!last || key != lastKey) {
            auto [it, fresh] = tails.try_emplace(key);
            if (fresh)
                it->second = Digits(key.first, 4) + GbkField(ResultText(key.first, key.second), 40);
            lastKey = key;
            last = &it->second;
        }
        reply.append(body.substr(i * wire::kRequestRecordLength, wire::kRequestRecordLength));
        reply += *last;
    }
    return reply;
}
