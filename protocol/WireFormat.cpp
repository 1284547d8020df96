#include "protocol/WireFormat.h"

#include <algorithm>
#include <cstdio>

namespace protocol {

namespace {
constexpr std::size_t kLengthDigits = 10;
constexpr std::size_t kFieldCountDigits = 4;
constexpr std::size_t kTypeLength = 2;

bool IsTypeLetter(char c) {
    return c >= 'A' && c <= 'Z';
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
    header += type.substr(0, kTypeLength);
    header += Decimal(payloadLength, kLengthDigits);
    return header;
}

bool DecodeFrameHeader(std::string_view bytes, FrameHeader& header) {
    constexpr std::size_t typeAt = kMagic.size();
    constexpr std::size_t lengthAt = typeAt + kTypeLength;
    static_assert(lengthAt + kLengthDigits == kFrameHeaderLength);
    if (bytes.size() < kFrameHeaderLength || bytes.substr(0, typeAt) != kMagic ||
        !IsTypeLetter(bytes[typeAt]) || !IsTypeLetter(bytes[typeAt + 1]))
        return false;
    std::uint64_t length = 0;
    if (!ParseDigits(bytes.substr(lengthAt, kLengthDigits), length))
        return false;
    header.type.assign(bytes.substr(typeAt, kTypeLength));
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
    value = value.substr(0, kMaxFieldLength);
    payload += Decimal(value.size(), kFieldCountDigits);
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
        if (fields.size() == maxFields || payload.size() < kFieldCountDigits ||
            !ParseDigits(payload.substr(0, kFieldCountDigits), length) ||
            payload.size() - kFieldCountDigits < length)
            return false;
        fields.emplace_back(payload.substr(kFieldCountDigits, length));
        payload.remove_prefix(kFieldCountDigits + length);
    }
    return true;
}

bool EncodePacketHeader(const PacketHeader& header, std::string& out) {
    using namespace packetheader;
    std::string bytes(kLayout.Length(), ' ');
    char* at = bytes.data();
    const bool fits =
        kLayout.Put(at, kSystem, header.system) && kLayout.Put(at, kSubsystem, header.subsystem) &&
        kLayout.Put(at, kKind, header.kind) && kLayout.Put(at, kFunction, header.function) &&
        kLayout.Put(at, kSerial, header.serial) &&
        kLayout.Put(at, kSerialFlag, std::string_view(&header.flag, 1)) &&
        kLayout.PutDigits(at, kBodyLength, header.bodyLength) &&
        kLayout.Put(at, kContext, header.context);
    if (!fits)
        return false;
    out = std::move(bytes);
    return true;
}

bool DecodePacketHeader(std::string_view bytes, PacketHeader& header) {
    using namespace packetheader;
    if (bytes.size() < kLayout.Length())
        return false;
    std::uint64_t length = 0;
    if (!ParseDigits(kLayout.Of(bytes, kBodyLength), length))
        return false;
    header.system.assign(Unpad(kLayout.Of(bytes, kSystem)));
    header.subsystem.assign(Unpad(kLayout.Of(bytes, kSubsystem)));
    header.kind.assign(Unpad(kLayout.Of(bytes, kKind)));
    header.function.assign(Unpad(kLayout.Of(bytes, kFunction)));
    header.serial.assign(Unpad(kLayout.Of(bytes, kSerial)));
    header.flag = kLayout.Of(bytes, kSerialFlag)[0];
    header.bodyLength = length;
    header.context.assign(Unpad(kLayout.Of(bytes, kContext)));
    return true;
}

std::size_t PrefixLength(int headerMode) {
    return headerMode == 0 ? kPrefixLengthMode0 : kPrefixLengthMode1;
}

std::size_t ReplyHeaderAt(int headerMode) {
    return PrefixLength(headerMode) + kMarkerLength;
}

std::string EncodeReplyPrefix(int headerMode, std::string_view serial) {
    const std::string whole = Pad(serial, kSerialLength);
    return headerMode == 0 ? "0" + whole.substr(kSerialLength / 2) : "1" + whole;
}

bool AnswersRequest(std::string_view request, std::string_view reply, int headerMode) {
    const std::size_t prefix = PrefixLength(headerMode);
    if (reply.size() < prefix + kMarkerLength + kReplyHeaderLength)
        return false;
    const std::string_view marker = reply.substr(prefix, kMarkerLength);
    if (marker != kFreshAnswer && marker != kRepeatedAnswer)
        return false;
    const std::string_view header = reply.substr(prefix + kMarkerLength, kReplyHeaderLength);
    if (replyheader::kLayout.Of(header, replyheader::kReturnCode) != kAccepted)
        return true;
    if (request.size() < kPacketHeaderLength)
        return false;
    const std::string serial =
        Pad(Unpad(packetheader::kLayout.Of(request, packetheader::kSerial)), kSerialLength);
    return reply.substr(0, prefix) == EncodeReplyPrefix(headerMode, serial) &&
           replyheader::kLayout.Of(header, replyheader::kSerial) == serial;
}

} // namespace protocol
