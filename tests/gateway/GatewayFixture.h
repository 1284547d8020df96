#pragma once
// A gateway simulator on its own thread with two operators, and helpers that
// make the requests the exchange makes, for tests that talk over loopback.

#include "gateway/GatewayThread.h"
#include "support/net/NetworkCommunication.h"
#include "tests/fakes/RequestRecords.h"
#include "upload/UploadRecords.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// alice (participant P0000001) and bob (P0000002).
inline constexpr const char* kAlicePassword = "s3cret-密码";
inline constexpr const char* kBobPassword = "hunter2";

struct LogLines {
    std::mutex mutex;
    std::vector<std::string> lines;
    std::vector<std::string> Copy() {
        std::lock_guard lock(mutex);
        return lines;
    }
};

struct Exchanged {
    int rc = -1;
    std::string response;
    std::string marker;     // the two bytes after the prefix
    std::string returnCode; // header field 6
    std::string message;    // header field 9, UTF-8, trimmed
    std::vector<int> codes; // result field 27 of each record
};

class GatewayFixture : public ::testing::Test {
protected:
    GatewayConfig MakeConfig();
    void StartGateway(GatewayConfig config);
    void StartGateway() { StartGateway(MakeConfig()); }
    void TearDown() override { gateway.reset(); }

    std::string Port() const { return std::to_string(gateway->Port()); }
    int Login(CNetworkCommunication& comm, const std::string& name, const std::string& password);
    long long ReserveCount();
    long long BankCount();

    std::unique_ptr<GatewayThread> gateway;
    std::shared_ptr<LogLines> log = std::make_shared<LogLines>();
};

// The body the exchange would send: records numbered from 1, the login's two
// strings in fields 3 and 7, each converted to its 572-byte wire image.
std::string WireBody(std::vector<UploadRequestRecord> records, const CCommunication& comm);

// Serial, packet header, send and receive, as the exchange does them.
Exchanged Upload(CCommunication& comm, const std::string& body);
// Packet header, send and receive with a serial the caller already holds.
Exchanged Send(CCommunication& comm, const char* serial, const std::string& body);
Exchanged Parse(CCommunication& comm, int rc, const CDataBuf& response);

// Frames written by hand, for clients that do not follow the protocol.
std::string Frame(std::string_view type, std::initializer_list<std::string_view> fields);
std::string LoginFrame(const std::string& name, const std::string& passwordUtf8,
                       std::string_view version = "1", std::string_view systemId = "ZANTHO00");

struct RawResult {
    std::string bytes;
    bool closed = false;
};

// Connects, sends `bytes`, and collects what comes back until the gateway
// closes or `waitMs` passes without a byte.
RawResult Raw(std::uint16_t port, const std::string& bytes, int waitMs = 3000);

// Each reply frame in `bytes` as its type and code: "LR:0000", "ER:3006", or
// for an upload reply its header return code, "UR:2001"; "?" for bytes that
// are not a frame.
std::vector<std::string> ReplyCodes(std::string_view bytes);
