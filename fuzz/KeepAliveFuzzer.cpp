// Any bytes as the keep-alive frames that come before an upload reply, judged
// by the client's ReplyWait. The input is laid out as
//   byte 0     bit 0: the session takes keep-alives (version 2); bits 1-7:
//              the request's record count
//   then, per keep-alive: one byte of milliseconds since the one before
//   (times 8), one byte of payload length, the payload (cut at the input's end)
// Each verdict is checked against a plain model of the rules in
// docs/protocol.md; after the first keep-alive that is out of step the client
// drops the connection, so the rest is not judged.

#include "FuzzCheck.h"
#include "support/net/ReplyWait.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::string kSerial = "000001000000000A";

// Counted fields read byte by byte: four ASCII digits, then that many bytes.
std::optional<std::vector<std::string_view>> ModelFields(std::string_view payload) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < payload.size()) {
        if (payload.size() - at < 4)
            return std::nullopt;
        std::size_t length = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const char c = payload[at + i];
            if (c < '0' || c > '9')
                return std::nullopt;
            length = length * 10 + static_cast<std::size_t>(c - '0');
        }
        at += 4;
        if (payload.size() - at < length)
            return std::nullopt;
        fields.push_back(payload.substr(at, length));
        at += length;
        if (fields.size() > 2)
            return std::nullopt;
    }
    return fields;
}

// The count of records done, when the field is one to ten digits.
std::optional<std::uint64_t> ModelCount(std::string_view field) {
    if (field.empty() || field.size() > 10)
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : field) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const bool allowed = (data[0] & 1) != 0;
    const std::uint64_t records = data[0] >> 1;
    ReplyWait wait(allowed, kSerial, records);
    const ReplyWait::Clock::time_point start = ReplyWait::Clock::now();
    wait.NewConnection(start);

    std::uint64_t best = 0;
    std::uint64_t last = 0;
    bool seen = false;
    std::uint64_t taken = 0;
    std::uint64_t elapsedMs = 0;
    std::size_t at = 1;
    while (at + 2 <= size) {
        elapsedMs += static_cast<std::uint64_t>(data[at]) * 8;
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        const std::string_view payload(reinterpret_cast<const char*>(data + at + 2), length);
        at += 2 + length;

        ReplyWait::Verdict expected = ReplyWait::Verdict::OutOfStep;
        const auto fields = ModelFields(payload);
        const auto count = fields && fields->size() == 2 ? ModelCount((*fields)[1])
                                                         : std::optional<std::uint64_t>();
        if (allowed && count && (*fields)[0] == kSerial && *count <= records &&
            !(seen && *count < last) && ++taken <= 8 + elapsedMs * 4 / 1000) {
            expected = *count > best ? ReplyWait::Verdict::Grew : ReplyWait::Verdict::Same;
            seen = true;
            last = *count;
            if (*count > best)
                best = *count;
        }
        const ReplyWait::Verdict verdict =
            wait.Take(payload, start + std::chrono::milliseconds(elapsedMs));
        FUZZ_CHECK(verdict == expected);
        FUZZ_CHECK(wait.Done() == best);
        if (verdict == ReplyWait::Verdict::OutOfStep)
            break;
    }
    return 0;
}
