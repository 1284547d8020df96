// Clients that do not follow the protocol: the gateway answers what it can,
// drops them, keeps its memory bounded, leaves the store alone and goes on
// serving everyone else.

#include "GatewayFixture.h"

#include "gateway/GatewayServer.h"
#include "protocol/WireFormat.h"

#include <QTcpSocket>
#include <QThread>

namespace {

// The code of the error frame the gateway ended with, "" when none.
std::string ErrorCode(const RawResult& result) {
    const std::vector<std::string> codes = ReplyCodes(result.bytes);
    if (codes.empty() || codes.back().rfind("ER:", 0) != 0)
        return "";
    return codes.back().substr(3);
}

std::string Alice() {
    return LoginFrame("alice", kAlicePassword);
}

class GatewayBadInputTest : public GatewayFixture {
protected:
    void Start(long long budget = 1LL << 30, int maxConnections = 256) {
        GatewayConfig config = MakeConfig();
        config.loginTimeoutMs = 300;
        config.frameTimeoutMs = 300;
        config.memoryBudget = budget;
        config.maxConnections = maxConnections;
        StartGateway(std::move(config));
    }
    void ExpectStillServingAndUntouched() {
        long long reserved = -1;
        gateway->Run([&](GatewayServer& server) { reserved = server.Reserved(); });
        EXPECT_EQ(reserved, 0);
        EXPECT_EQ(ReserveCount() + BankCount(), 0);
        CNetworkCommunication comm;
        EXPECT_EQ(Login(comm, "alice", kAlicePassword), 0) << comm.LastErrorText;
    }
};

TEST_F(GatewayBadInputTest, GarbageAndUnknownTypesGetAnErrorFrameAndTheDoor) {
    Start();
    const RawResult garbage = Raw(gateway->Port(), "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(ErrorCode(garbage), "3001");
    EXPECT_TRUE(garbage.closed);
    EXPECT_EQ(ErrorCode(Raw(gateway->Port(), "QMGWZZ0000000000")), "3005");
    // A client may not send the gateway's own replies, logged in or not.
    EXPECT_EQ(ErrorCode(Raw(gateway->Port(), "QMGWUR0000000000")), "3005");
    EXPECT_EQ(ErrorCode(Raw(gateway->Port(), Alice() + "QMGWLR0000000000")), "3005");
    ExpectStillServingAndUntouched();
}

TEST_F(GatewayBadInputTest, LengthsOverTheLimitAreRefusedBeforeAnyByteIsRead) {
    Start();
    EXPECT_EQ(ErrorCode(Raw(gateway->Port(), Alice() + "QMGWUP9999999999")), "3002");
    EXPECT_EQ(ErrorCode(Raw(gateway->Port(), Alice() + protocol::EncodeFrameHeader(
                                                           "UP", protocol::kMaxUploadPayload + 1))),
              "3002");
    EXPECT_EQ(ErrorCode(Raw(gateway->Port(), "QMGWLI0000100000")), "3002");
    ExpectStillServingAndUntouched();
}

// An upload's memory is reserved once its packet header is in (a copy of a
// request still being processed needs none), before the rest is read.
TEST_F(GatewayBadInputTest, ALegalButUnaffordableFrameIsTurnedAway) {
    Start(/*budget=*/1 << 20);
    EXPECT_EQ(ErrorCode(Raw(gateway->Port(), Alice() + protocol::EncodeFrameHeader("UP", 2 << 20) +
                                                 std::string(protocol::kPacketHeaderLength, ' '))),
              "3003");
    ExpectStillServingAndUntouched();
}

TEST_F(GatewayBadInputTest, SilentStalledAndShortClientsAreDropped) {
    Start();
    EXPECT_TRUE(Raw(gateway->Port(), "").closed);      // says nothing
    EXPECT_TRUE(Raw(gateway->Port(), "QMGWL").closed); // a short header
    const RawResult lying = Raw(gateway->Port(), "QMGWLI0000001000" + std::string(10, 'x'));
    EXPECT_TRUE(lying.closed); // announced more than it sent
    EXPECT_TRUE(lying.bytes.empty());
    const std::string login = Frame("LI", {"1", "", "alice"}); // fields missing
    EXPECT_EQ(ReplyCodes(Raw(gateway->Port(), login).bytes), std::vector<std::string>{"LR:1008"});
    ExpectStillServingAndUntouched();
}

// The login deadline runs from the connect: a client that keeps bytes coming
// without ever completing a login is closed all the same.
TEST_F(GatewayBadInputTest, ATricklingClientIsClosedAtTheLoginDeadline) {
    Start(); // login deadline and frame stall both 300 ms
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", gateway->Port());
    ASSERT_TRUE(socket.waitForConnected(30000));
    socket.write("QMGWLI0000001000");
    std::size_t sent = 0;
    // Then one payload byte every 50 ms: never a stall, and 1,000 bytes would
    // take 50 s.
    while (sent < 100 && socket.state() == QAbstractSocket::ConnectedState) {
        ++sent;
        socket.write("x", 1);
        socket.waitForBytesWritten(1000);
        socket.waitForDisconnected(50);
    }
    EXPECT_NE(socket.state(), QAbstractSocket::ConnectedState);
    EXPECT_LT(sent, 40u) << "still connected after " << sent * 50 << " ms";
}

// Before a session exists only a login, a resume or a logout is read; any
// other header is refused at once and reserves nothing, so a stranger's
// large upload header cannot take the memory others need.
TEST_F(GatewayBadInputTest, BeforeALoginOnlyLoginResumeAndLogoutAreRead) {
    Start(/*budget=*/1 << 20);
    std::string packet;
    protocol::PacketHeader header{"SSCCRC", "JSXT", "99", "40", "AAAAAA0000000001", '1', 0, ""};
    ASSERT_TRUE(protocol::EncodePacketHeader(header, packet));
    for (const std::string& frame :
         {protocol::EncodeFrameHeader("UP", packet.size()) + packet,
          protocol::EncodeFrameHeader("UP", protocol::kMaxUploadPayload), // beyond the budget too
          Frame("SN", {"SSCCRC", "JSXT", "99"})}) {
        const RawResult refused = Raw(gateway->Port(), frame, 300);
        EXPECT_EQ(ReplyCodes(refused.bytes), std::vector<std::string>{"ER:3006"});
        EXPECT_TRUE(refused.closed);
    }
    // A type the gateway never takes from a client is refused as such.
    EXPECT_EQ(ErrorCode(Raw(gateway->Port(), "QMGWUR0000000100")), "3005");
    // After the login the same upload frame is read and answered.
    const RawResult after = Raw(
        gateway->Port(), Alice() + protocol::EncodeFrameHeader("UP", packet.size()) + packet, 300);
    EXPECT_EQ(ReplyCodes(after.bytes), (std::vector<std::string>{"LR:0000", "UR:2002"}));
    ExpectStillServingAndUntouched();
}

TEST_F(GatewayBadInputTest, AMalformedSerialRequestGets1006AndTheConnectionStays) {
    Start();
    const RawResult reply =
        Raw(gateway->Port(),
            Alice() + protocol::EncodeFrameHeader("SN", 4) + "00x1" +
                Frame("SN", {"SSCCRC", "JSXT"}) + Frame("SN", {"SSCCRC", "JSXT", "99", "65"}) +
                Frame("SN", {"SSCCRC", "JSXT", "99", "1"}),
            300);
    EXPECT_EQ(ReplyCodes(reply.bytes),
              (std::vector<std::string>{"LR:0000", "SR:1006", "SR:1006", "SR:1006", "SR:0000"}));
    ExpectStillServingAndUntouched();
}

TEST_F(GatewayBadInputTest, ManyClientsAtOnceAndMoreThanTheGatewayTakes) {
    Start(1LL << 30, /*maxConnections=*/20);
    std::vector<std::unique_ptr<QTcpSocket>> crowd;
    for (int i = 0; i < 40; ++i) {
        crowd.push_back(std::make_unique<QTcpSocket>());
        crowd.back()->connectToHost("127.0.0.1", gateway->Port());
        ASSERT_TRUE(crowd.back()->waitForConnected(30000));
        crowd.back()->write(i % 2 ? "QMGWLI00000" : "\x00\x01garbage");
        crowd.back()->flush();
    }
    int refusedAtTheDoor = 0;
    for (auto& socket : crowd) {
        socket->waitForReadyRead(1000);
        refusedAtTheDoor += socket->readAll().contains("3004") ? 1 : 0;
    }
    EXPECT_GE(refusedAtTheDoor, 1);
    crowd.clear();
    // Once the crowd is gone, everyone is served again.
    int connections = -1;
    for (int tries = 0; tries < 50 && connections != 0; ++tries) {
        QThread::msleep(20);
        gateway->Run([&](GatewayServer& server) { connections = server.Connections(); });
    }
    EXPECT_EQ(connections, 0);
    ExpectStillServingAndUntouched();
}

} // namespace
