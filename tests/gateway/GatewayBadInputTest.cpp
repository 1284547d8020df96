// Clients that do not follow the protocol: the gateway answers what it can,
// drops them, keeps its memory bounded, leaves the store alone and goes on
// serving everyone else.

#include "GatewayFixture.h"

#include "gateway/GatewayServer.h"
#include "support/net/WireFormat.h"

#include <QTcpSocket>
#include <QThread>

namespace {

struct RawResult {
    std::string bytes;
    bool closed = false;
};

// Connects, sends `bytes`, and collects what comes back until the gateway
// closes or `waitMs` passes without a byte.
RawResult Raw(std::uint16_t port, const std::string& bytes, int waitMs = 3000) {
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", port);
    RawResult result;
    if (!socket.waitForConnected(3000))
        return result;
    socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket.waitForBytesWritten(3000);
    while (socket.waitForReadyRead(waitMs) || socket.bytesAvailable() > 0)
        result.bytes += socket.readAll().toStdString();
    result.bytes += socket.readAll().toStdString();
    result.closed = socket.state() != QAbstractSocket::ConnectedState;
    return result;
}

std::string ErrorCode(const RawResult& result) {
    wire::FrameHeader header;
    std::vector<std::string> fields;
    if (!wire::DecodeFrameHeader(result.bytes, header) || header.type != "ER" ||
        !wire::SplitFields(std::string_view(result.bytes).substr(16), fields) || fields.empty())
        return "";
    return fields[0];
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
    // A client may not send the gateway's own replies.
    EXPECT_EQ(ErrorCode(Raw(gateway->Port(), "QMGWUR0000000000")), "3005");
    ExpectStillServingAndUntouched();
}

TEST_F(GatewayBadInputTest, LengthsOverTheLimitAreRefusedBeforeAnyByteIsRead) {
    Start();
    EXPECT_EQ(ErrorCode(Raw(gateway->Port(), "QMGWUP9999999999")), "3002");
    EXPECT_EQ(
        ErrorCode(Raw(gateway->Port(), wire::EncodeFrameHeader("UP", wire::kMaxUploadPayload + 1))),
        "3002");
    EXPECT_EQ(ErrorCode(Raw(gateway->Port(), "QMGWLI0000100000")), "3002");
    ExpectStillServingAndUntouched();
}

TEST_F(GatewayBadInputTest, ALegalButUnaffordableFrameIsTurnedAway) {
    Start(/*budget=*/1 << 20);
    EXPECT_EQ(ErrorCode(Raw(gateway->Port(), wire::EncodeFrameHeader("UP", 2 << 20))), "3003");
    ExpectStillServingAndUntouched();
}

TEST_F(GatewayBadInputTest, SilentStalledAndShortClientsAreDropped) {
    Start();
    EXPECT_TRUE(Raw(gateway->Port(), "").closed);      // says nothing
    EXPECT_TRUE(Raw(gateway->Port(), "QMGWU").closed); // a short header
    const RawResult lying = Raw(gateway->Port(), "QMGWUP0000001000" + std::string(10, 'x'));
    EXPECT_TRUE(lying.closed); // announced more than it sent
    EXPECT_TRUE(lying.bytes.empty());
    const std::string login = wire::Fields({"1", "", "alice"}); // fields missing
    EXPECT_NE(Raw(gateway->Port(), wire::EncodeFrameHeader("LI", login.size()) + login)
                  .bytes.find("1008"),
              std::string::npos);
    ExpectStillServingAndUntouched();
}

TEST_F(GatewayBadInputTest, UploadAndSerialWithoutLoginAreRefused) {
    Start();
    std::string packet;
    wire::PacketHeader header{"SSCCRC", "JSXT", "99", "40", "AAAAAA0000000001", '1', 0, ""};
    ASSERT_TRUE(wire::EncodePacketHeader(header, packet));
    const RawResult upload =
        Raw(gateway->Port(), wire::EncodeFrameHeader("UP", packet.size()) + packet, 300);
    ASSERT_GT(upload.bytes.size(), 16 + 9 + 2 + 64u);
    EXPECT_EQ(upload.bytes.substr(16 + 9 + 2 + 60, 4), "2001");
    const std::string serial = wire::Fields({"SSCCRC", "JSXT", "99"});
    EXPECT_NE(Raw(gateway->Port(), wire::EncodeFrameHeader("SN", serial.size()) + serial, 300)
                  .bytes.find("1005"),
              std::string::npos);
    ExpectStillServingAndUntouched();
}

TEST_F(GatewayBadInputTest, ManyClientsAtOnceAndMoreThanTheGatewayTakes) {
    Start(1LL << 30, /*maxConnections=*/20);
    std::vector<std::unique_ptr<QTcpSocket>> crowd;
    for (int i = 0; i < 40; ++i) {
        crowd.push_back(std::make_unique<QTcpSocket>());
        crowd.back()->connectToHost("127.0.0.1", gateway->Port());
        ASSERT_TRUE(crowd.back()->waitForConnected(3000));
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
