// The client against a gateway that misbehaves on purpose: late replies, cut
// connections, garbage, refusals, a prefix that does not match the login.

#include "GatewayFixture.h"

#include "support/net/ClientTexts.h"

#include <chrono>

namespace {

class GatewayFaultTest : public GatewayFixture {
protected:
    void SetUp() override {
        StartGateway();
        ASSERT_EQ(Login(comm, "alice", kAlicePassword), 0) << comm.LastErrorText;
    }
    std::string Body() {
        return WireBody({ReserveRequest("B880000001", "上海测试证券"),
                         BankRequest("0102", "6222000011112222", "上海测试证券", "工商银行")},
                        comm);
    }
    GatewayFaults Fault(const std::string& item, int times = 1) {
        GatewayFaults faults;
        std::string error;
        EXPECT_TRUE(ParseFault(item, faults, error)) << error;
        faults.times = times;
        return faults;
    }
    CNetworkCommunication comm;
};

// A reply that never comes is asked for twice more over fresh connections,
// then the timeout is reported: three waits, not one.
TEST_F(GatewayFaultTest, AReplyThatNeverComesFailsAfterTheResends) {
    comm.SetTimeoutMs(300);
    gateway->SetFaults(Fault("delay=5000", -1));
    const auto start = std::chrono::steady_clock::now();
    const Exchanged reply = Upload(comm, Body());
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(reply.rc, 0);
    EXPECT_EQ(comm.LastErrorText, "等待网关应答超时(300毫秒)");
    EXPECT_TRUE(comm.LastRequestResent);
    EXPECT_GE(elapsed, std::chrono::milliseconds(3 * 300));
    EXPECT_LT(elapsed, std::chrono::milliseconds(3 * 300 + 5000));
    // The session survives: the next request goes over a fresh connection.
    gateway->SetFaults(GatewayFaults{});
    comm.SetTimeoutMs(5000);
    const Exchanged next = Upload(comm, WireBody({ReserveRequest("B9", "另一个")}, comm));
    EXPECT_EQ(next.rc, 0) << comm.LastErrorText;
}

TEST_F(GatewayFaultTest, AConnectionCutMidReplyIsResentAndNothingIsProcessedTwice) {
    gateway->SetFaults(Fault("close-after=200"));
    const Exchanged reply = Upload(comm, Body());
    ASSERT_EQ(reply.rc, 0) << comm.LastErrorText;
    EXPECT_EQ(reply.marker, "01"); // answered from the gateway's record
    EXPECT_EQ(reply.codes, (std::vector<int>{0, 0}));
    EXPECT_EQ(ReserveCount(), 1);
    EXPECT_EQ(BankCount(), 1);
}

TEST_F(GatewayFaultTest, AConnectionCutTwiceIsReportedAsLost) {
    gateway->SetFaults(Fault("close-after=10", 2));
    EXPECT_LT(Upload(comm, Body()).rc, 0);
    EXPECT_EQ(comm.LastErrorText, clienttext::kLost);
    EXPECT_EQ(ReserveCount(), 1); // processed once, by the first send
}

TEST_F(GatewayFaultTest, GarbageIsAMalformedReply) {
    gateway->SetFaults(Fault("garbage"));
    EXPECT_LT(Upload(comm, Body()).rc, 0);
    EXPECT_EQ(comm.LastErrorText, clienttext::kMalformed);
}

TEST_F(GatewayFaultTest, APrefixOfTheOtherHeaderModeIsRefused) {
    gateway->SetFaults(Fault("header-mode=1"));
    EXPECT_LT(Upload(comm, Body()).rc, 0);
    EXPECT_EQ(comm.LastErrorText, clienttext::kMalformed);
}

TEST_F(GatewayFaultTest, ALoginReplyAnnouncingAnUnknownModeIsRefused) {
    GatewayFaults faults = Fault("header-mode=7");
    faults.target = "login";
    gateway->SetFaults(faults);
    CNetworkCommunication other;
    EXPECT_LT(Login(other, "alice", kAlicePassword), 0);
    EXPECT_EQ(other.LastErrorText, clienttext::kMalformed);
}

TEST_F(GatewayFaultTest, AForcedReturnCodeReachesTheHeaderAndStoresNothing) {
    gateway->SetFaults(Fault("return-code=9001"));
    const Exchanged reply = Upload(comm, Body());
    ASSERT_EQ(reply.rc, 0);
    EXPECT_EQ(reply.returnCode, "9001");
    EXPECT_EQ(reply.message, "网关模拟故障");
    EXPECT_EQ(ReserveCount(), 0);
}

TEST_F(GatewayFaultTest, ASerialRequestCutOffIsRetriedOnAFreshConnection) {
    GatewayFaults faults = Fault("close-after=0");
    faults.target = "serial";
    gateway->SetFaults(faults);
    EXPECT_EQ(Upload(comm, Body()).rc, 0) << comm.LastErrorText;
}

} // namespace
