#include "support/net/WireFormat.h"

#include <algorithm>
#include <cstdio>

namespace wire {

namespace {
constexpr std::size_t kLengthDigits = 10;

bool IsTypeLetter(char c) {
    return c >= 'A' && c <= 'Z';
}

// Appends a fixed field; false when the value is longer than the field.
bool PutFixed(std::string& out, std::string_view value, std::size_t width) {
    if (value.size() > width)
        return false;
    out += Pad(value, width);
    return true;
}

std::string Decimal(std::uint64_t value, std::size_t width) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%0*llu", static_cast<int>(width),
                  static_cast<unsigned long long>(value));
    return digits;
}
} // namespace

std::string Pad(std::string_view value, std::size_t width) {
    std::string field(value.substr(0, width));
    field.resize(width, ' ');
    return field;
}

std::string_view Unpad(std::string_view field) {
    const auto end = field.find_last_not_of(std::string_view(" \0", 2));
    return end == std::string_view::npos ? std::string_view() : field.substr(0, end + 1);
}

bool ParseDigits(std::string_view digits, std::uint64_t& value) {
    if (digits.empty() || digits.size() > kLengthDigits)
        return false;
    std::uint64_t result = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + static_cast<std::uint64_t>(c - '0');
    }
    value = result;
    return true;
}

std::string EncodeFrameHeader(std::string_view type, std::uint64_t payloadLength) {
    std::string header(kMagic);
    header += type.substr(0, 2);
    header += Decimal(payloadLength, kLengthDigits);
    return header;
}

bool DecodeFrameHeader(std::string_view bytes, FrameHeader& header) {
    if (bytes.size() < kFrameHeaderLength || bytes.substr(0, 4) != kMagic ||
        !IsTypeLetter(bytes[4]) || !IsTypeLetter(bytes[5]))
        return false;
    std::uint64_t length = 0;
    if (!ParseDigits(bytes.substr(6, kLengthDigits), length))
        return false;
    header.type.assign(bytes.substr(4, 2));
    header.length = length;
    return true;
}

std::size_t MaxPayload(std::string_view type) {
    if (type == kUpload)
        return kMaxUploadPayload;
    if (type == kUploadReply)
        return kMaxUploadReplyPayload;
    if (type == kKeepAlive)
        return kMaxKeepAlivePayload;
    for (std::string_view control :
         {kLogin, kResume, kLoginReply, kSerialRequest, kSerialReply, kLogout, kError})
        if (type == control)
            return kMaxControlPayload;
    return 0;
}

void AppendField(std::string& payload, std::string_view value) {
    value = value.substr(0, 9999);
    payload += Decimal(value.size(), 4);
    payload += value;
}

std::string Fields(std::initializer_list<std::string_view> values) {
    std::string payload;
    for (std::string_view value : values)
        AppendField(payload, value);
    return payload;
}

bool SplitFields(std::string_view payload, std::vector<std::string>& fields,
                 std::size_t maxFields) {
    fields.clear();
    while (!payload.empty()) {
        std::uint64_t length = 0;
        if (fields.size() == maxFields || payload.size() < 4 ||
            !ParseDigits(payload.substr(0, 4), length) || payload.size() - 4 < length)
            return false;
        fields.emplace_back(payload.substr(4, length));
        payload.remove_prefix(4 + length);
    }
    return true;
}

bool EncodePacketHeader(const PacketHeader& header, std::string& out) {
    std::string bytes;
    bytes.reserve(kPacketHeaderLength);
    if (header.bodyLength > 9'999'999'999ULL)
        return false;
    const bool fits = PutFixed(bytes, header.system, 8) && PutFixed(bytes, header.subsystem, 8) &&
                      PutFixed(bytes, header.kind, 2) && PutFixed(bytes, header.function, 2) &&
                      PutFixed(bytes, header.serial, 16);
    if (!fits)
        return false;
    bytes += header.flag;
    bytes += Decimal(header.bodyLength, kLengthDigits);
    if (!PutFixed(bytes, header.context, 8))
        return false;
    bytes.resize(kPacketHeaderLength, ' ');
    out = std::move(bytes);
    return true;
}

bool DecodePacketHeader(std::string_view bytes, PacketHeader& header) {
    if (bytes.size() < kPacketHeaderLength)
        return false;
    std::uint64_t length = 0;
    if (!ParseDigits(bytes.substr(37, kLengthDigits), length))
        return false;
    header.system.assign(Unpad(bytes.substr(0, 8)));
    header.subsystem.assign(Unpad(bytes.substr(8, 8)));
    header.kind.assign(Unpad(bytes.substr(16, 2)));
    header.function.assign(Unpad(bytes.substr(18, 2)));
    header.serial.assign(Unpad(bytes.substr(20, 16)));
    header.flag = bytes[36];
    header.bodyLength = length;
    header.context.assign(Unpad(bytes.substr(47, 8)));
    return true;
}

std::size_t PrefixLength(int headerMode) {
    return headerMode == 0 ? 9 : 17;
}

std::string EncodeReplyPrefix(int headerMode, std::string_view serial) {
    const std::string whole = Pad(serial, 16);
    return headerMode == 0 ? "0" + whole.substr(8) : "1" + whole;
}

bool AnswersRequest(std::string_view request, std::string_view reply, int headerMode) {
    const std::size_t prefix = PrefixLength(headerMode);
    if (reply.size() < prefix + 2 + kReplyHeaderLength)
        return false;
    const std::string_view marker = reply.substr(prefix, 2);
    if (marker != kFreshAnswer && marker != kRepeatedAnswer)
        return false;
    const std::string_view header = reply.substr(prefix + 2, kReplyHeaderLength);
    if (header.substr(60, 4) != kAccepted)
        return true;
    if (request.size() < kPacketHeaderLength)
        return false;
    const std::string serial = Pad(Unpad(request.substr(20, 16)), 16);
    return reply.substr(0, prefix) == EncodeReplyPrefix(headerMode, serial) &&
           header.substr(0, 16) == serial;
}

} // namespace wire
