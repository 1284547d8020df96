// Any bytes from a client, read the way a gateway connection reads them:
// sixteen-byte frame headers, payloads held to their type's limit, each frame
// answered by the gateway's protocol until it would close the connection. The
// input is laid out as
//   byte 0     the gateway's header mode (low bit)
//   the rest   what the client sends
// Every reply must be a frame the client can read, an upload reply must hold
// one result per record, and the store must grow by exactly the records an
// accepted, fresh reply reports as stored.

#include "FuzzCheck.h"
#include "gateway/GatewayConfig.h"
#include "gateway/GatewayProtocol.h"
#include "gateway/SettlementStore.h"
#include "protocol/WireFormat.h"
#include "support/Text.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kRequest = protocol::kRequestRecordLength;
constexpr std::size_t kResult = protocol::kResultRecordLength;

long long StoredAccounts(SettlementStore& store) {
    return store.CountReserve() + store.CountBank();
}

std::uint64_t Digits(std::string_view field) {
    std::uint64_t value = 0;
    FUZZ_CHECK(protocol::ParseDigits(field, value));
    return value;
}

// Checks an upload reply and returns how many of its records it reports as
// stored by this request (none for a refused or repeated request).
long long CheckUploadReply(std::string_view reply, std::string_view request) {
    FUZZ_CHECK(!reply.empty() && (reply[0] == '0' || reply[0] == '1'));
    const std::size_t prefix = protocol::PrefixLength(reply[0] - '0');
    const std::size_t resultsAt = prefix + 2 + protocol::kReplyHeaderLength;
    FUZZ_CHECK(reply.size() >= resultsAt);
    const std::string_view marker = reply.substr(prefix, 2);
    FUZZ_CHECK(marker == protocol::kFreshAnswer || marker == protocol::kRepeatedAnswer);
    // The client takes every reply the gateway gives as the answer to its request.
    FUZZ_CHECK(protocol::AnswersRequest(request, reply, reply[0] - '0'));
    const std::string_view header = reply.substr(prefix + 2, protocol::kReplyHeaderLength);
    const std::size_t dataLength = reply.size() - resultsAt;
    FUZZ_CHECK(dataLength % kResult == 0);
    FUZZ_CHECK(Digits(header.substr(64, 9)) == dataLength);
    const std::size_t results = dataLength / kResult;
    FUZZ_CHECK(Digits(header.substr(16, 10)) == results);
    if (header.substr(60, 4) != protocol::kAccepted) {
        FUZZ_CHECK(results == 0);
        return 0;
    }
    // An accepted request is answered record for record, each echoed back.
    FUZZ_CHECK(request.size() >= protocol::kPacketHeaderLength);
    const std::string_view body = request.substr(protocol::kPacketHeaderLength);
    FUZZ_CHECK(results * kRequest == body.size());
    long long stored = 0;
    for (std::size_t i = 0; i < results; ++i) {
        const std::string_view result = reply.substr(resultsAt + i * kResult, kResult);
        FUZZ_CHECK(result.substr(0, kRequest) == body.substr(i * kRequest, kRequest));
        stored += Digits(result.substr(kRequest, 4)) == 0 ? 1 : 0;
    }
    return marker == protocol::kFreshAnswer ? stored : 0;
}

void CheckReply(const GatewayReply& reply, std::string_view type, std::string_view request,
                long long storedBefore, long long storedAfter) {
    if (reply.type.empty()) {
        FUZZ_CHECK(type == protocol::kLogout);
        FUZZ_CHECK(storedAfter == storedBefore);
        return;
    }
    // The client reads the reply with the same frame rules.
    protocol::FrameHeader frame;
    FUZZ_CHECK(protocol::DecodeFrameHeader(
        protocol::EncodeFrameHeader(reply.type, reply.payload.size()), frame));
    FUZZ_CHECK(frame.type == reply.type && frame.length <= protocol::MaxPayload(reply.type));
    if (reply.type == protocol::kUploadReply) {
        FUZZ_CHECK(type == protocol::kUpload);
        FUZZ_CHECK(storedAfter - storedBefore == CheckUploadReply(reply.payload, request));
        return;
    }
    FUZZ_CHECK(reply.type == protocol::kLoginReply || reply.type == protocol::kSerialReply ||
               reply.type == protocol::kError);
    std::vector<std::string> fields;
    FUZZ_CHECK(protocol::SplitFields(reply.payload, fields) && !fields.empty());
    FUZZ_CHECK(fields[0].size() == 4);
    FUZZ_CHECK(storedAfter == storedBefore);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    GatewayConfig config;
    config.headerMode = data[0] & 1;
    config.operators.Set("op", kDefaultParticipant, "pw", 1);
    config.log = [](const std::string& line) {
        // One request, one line: nothing from the client may break it.
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    };
    SettlementStore store;
    std::string error;
    FUZZ_CHECK(store.Open(":memory:", error));
    GatewayProtocol protocol(config, store);
    ConnectionState state;

    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    while (rest.size() >= protocol::kFrameHeaderLength) {
        // What the connection refuses before the protocol sees it.
        protocol::FrameHeader frame;
        if (!protocol::DecodeFrameHeader(rest.substr(0, protocol::kFrameHeaderLength), frame))
            break;
        if (!GatewayProtocol::Refusal(frame.type, !state.token.empty()).type.empty() ||
            frame.length > protocol::MaxPayload(frame.type))
            break;
        rest.remove_prefix(protocol::kFrameHeaderLength);
        if (frame.length > rest.size())
            break; // the client stopped in mid-frame
        // The payload in a block of its own size, so a read past it is caught.
        const auto length = static_cast<std::size_t>(frame.length);
        auto payload = std::make_unique<char[]>(length);
        std::memcpy(payload.get(), rest.data(), length);
        const std::string_view request(payload.get(), length);
        rest.remove_prefix(length);

        // A name the gateway does not know is checked against a dummy with
        // the full hashing cost, which would leave the fuzzer a few runs a
        // second: every name that logs in is made known, with cheap hashing
        // and a password the input rarely guesses.
        if (frame.type == protocol::kLogin) {
            std::vector<std::string> fields;
            if (protocol::SplitFields(request, fields) && fields.size() == 6) {
                const std::string name = text::GbkToUtf8(fields[2]);
                if (config.operators.Find(name) == nullptr)
                    config.operators.Set(name, kDefaultParticipant, "pw", 1);
            }
        }

        const long long before = StoredAccounts(store);
        const GatewayReply reply = protocol.Handle(state, frame.type, request, nullptr);
        CheckReply(reply, frame.type, request, before, StoredAccounts(store));
        if (reply.type.empty() || reply.close)
            break;
    }
    return 0;
}
