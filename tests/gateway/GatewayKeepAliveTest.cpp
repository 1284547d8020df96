// The simulator at work on a slow upload: keep-alives to version-2 clients
// only, a wait that holds with a short timeout, and a request sent again
// while its first copy is still being stored, answered once that ends,
// processed once, without memory for the copy's body.

#include "GatewayFixture.h"

#include "protocol/WireFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace {

struct GatewayWaitHook : IWaitHook {
    void OnWaiting(const WaitProgress& progress) override {
        if (progress.recordsTotal > 0) {
            keepAliveSeen = true;
            total = progress.recordsTotal;
        }
    }
    void OnWaitEnded() override {}
    bool keepAliveSeen = false;
    std::uint64_t total = 0;
};

class GatewayKeepAliveTest : public GatewayFixture {
protected:
    void SetUp() override { StartGateway(); }
    void Start(long long budget) {
        GatewayConfig config = MakeConfig();
        config.memoryBudget = budget;
        StartGateway(config);
    }
    // The next upload's processing takes `ms` longer.
    void SlowWork(int ms) {
        GatewayFaults faults;
        faults.workMs = ms;
        faults.times = 1;
        gateway->SetFaults(faults);
    }
    std::string Body(CNetworkCommunication& comm, int records) {
        std::vector<UploadRequestRecord> requests;
        requests.reserve(static_cast<std::size_t>(records));
        for (int i = 0; i < records; ++i)
            requests.push_back(ReserveRequest("B" + std::to_string(880000000 + i), "测试证券"));
        return WireBody(std::move(requests), comm);
    }
    int Lines(const std::string& part) {
        const auto lines = log->Copy();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto& line) {
            return line.find(part) != std::string::npos;
        }));
    }
};

// A gateway 4 s at work, a client that gives up after 1.5 s without news:
// the keep-alives' growing count holds the wait, and nothing goes twice.
TEST_F(GatewayKeepAliveTest, FourSecondsOfWorkWithKeepAlivesBeatAOneAndAHalfSecondTimeout) {
    CNetworkCommunication comm;
    comm.SetTimeoutMs(1500);
    GatewayWaitHook hook;
    comm.SetWaitHook(&hook);
    ASSERT_EQ(Login(comm, "alice", kAlicePassword), 0) << comm.LastErrorText;
    EXPECT_EQ(comm.SessionVersion(), "2");
    SlowWork(4000);
    const auto start = std::chrono::steady_clock::now();
    const Exchanged reply = Upload(comm, Body(comm, 200));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4000));
    EXPECT_EQ(reply.rc, 0) << comm.LastErrorText;
    EXPECT_EQ(reply.marker, "00");
    EXPECT_FALSE(comm.LastRequestResent);
    EXPECT_TRUE(hook.keepAliveSeen);
    EXPECT_EQ(hook.total, 200u);
    EXPECT_EQ(Lines("outcome=stored"), 1);
    EXPECT_EQ(ReserveCount(), 200);
    comm.SetWaitHook(nullptr);
}

// A version-1 client hears no keep-alive: it waits, asks again, and its
// copies wait for the first one, which alone is processed.
TEST_F(GatewayKeepAliveTest, AVersion1ClientGetsNoKeepAliveAndItsResendsWaitForTheFirstCopy) {
    CNetworkCommunication comm;
    comm.SetOfferedVersion("1");
    comm.SetTimeoutMs(1000);
    GatewayWaitHook hook;
    comm.SetWaitHook(&hook);
    ASSERT_EQ(Login(comm, "alice", kAlicePassword), 0) << comm.LastErrorText;
    EXPECT_EQ(comm.SessionVersion(), "1");
    SlowWork(2500);
    const Exchanged reply = Upload(comm, Body(comm, 200));
    EXPECT_EQ(reply.rc, 0) << comm.LastErrorText;
    EXPECT_EQ(reply.marker, "01");
    EXPECT_TRUE(comm.LastRequestResent);
    EXPECT_FALSE(hook.keepAliveSeen);
    EXPECT_EQ(Lines("outcome=stored"), 1);
    EXPECT_EQ(ReserveCount(), 200);
    comm.SetWaitHook(nullptr);
}

// The first copy holds most of the memory budget while it is stored; its
// copy, sent again meanwhile, is read without taking any and answered when
// the first is done.
TEST_F(GatewayKeepAliveTest, ACopyOfALargeRequestUnderWayTakesNoMemoryAndIsProcessedOnce) {
    const int records = 20000;
    const long long oneUpload = static_cast<long long>(records) *
                                (protocol::kRequestRecordLength + protocol::kResultRecordLength);
    Start(oneUpload + oneUpload / 2); // room for one, not two
    CNetworkCommunication comm;
    comm.SetOfferedVersion("1"); // no keep-alives: the client asks again
    comm.SetTimeoutMs(700);
    ASSERT_EQ(Login(comm, "alice", kAlicePassword), 0) << comm.LastErrorText;
    SlowWork(1500);
    const Exchanged reply = Upload(comm, Body(comm, records));
    EXPECT_EQ(reply.rc, 0) << comm.LastErrorText;
    EXPECT_EQ(reply.marker, "01");
    EXPECT_EQ(reply.codes.size(), static_cast<std::size_t>(records));
    EXPECT_TRUE(comm.LastRequestResent);
    EXPECT_EQ(Lines("outcome=stored"), 1);
    EXPECT_EQ(ReserveCount(), records);
}

// A version-1 login and resume work as before; a version the gateway does not
// know is refused with 1009.
TEST_F(GatewayKeepAliveTest, Version1AndVersion2LoginsAreTakenAndOthersRefused) {
    for (const char* version : {"1", "2"}) {
        const RawResult login =
            Raw(gateway->Port(), LoginFrame("alice", kAlicePassword, version), 300);
        EXPECT_EQ(ReplyCodes(login.bytes), std::vector<std::string>{"LR:0000"}) << version;
    }
    const RawResult other = Raw(gateway->Port(), LoginFrame("alice", kAlicePassword, "3"), 300);
    EXPECT_EQ(ReplyCodes(other.bytes), std::vector<std::string>{"LR:1009"});
}

} // namespace
