// Logins against the simulator over loopback.

#include "GatewayFixture.h"

#include <QTcpServer>

#include <cstring>

namespace {

class GatewayLoginTest : public GatewayFixture {};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(GatewayLoginTest, AcceptedLoginHandsOutTheParticipantAndGatewayCodes) {
    StartGateway();
    CNetworkCommunication comm;
    ASSERT_EQ(Login(comm, "alice", kAlicePassword), 0) << comm.LastErrorText;
    EXPECT_EQ(comm.CommString1, "P0000001");
    EXPECT_EQ(comm.CommString2, "GW000001");
    EXPECT_EQ(comm.GetHeaderMode(), 0);

    char serial1[17] = {};
    char serial2[17] = {};
    char flag = '0';
    ASSERT_EQ(comm.ApplySerialNo("SSCCRC", "JSXT", "99", serial1, &flag), 0);
    ASSERT_EQ(comm.ApplySerialNo("SSCCRC", "JSXT", "99", serial2, &flag), 0);
    EXPECT_EQ(std::strlen(serial1), 16u);
    EXPECT_STRNE(serial1, serial2);
    EXPECT_EQ(flag, '1');
    comm.Close();
}

TEST_F(GatewayLoginTest, SerialsOfTwoLoginsNeverMeet) {
    StartGateway();
    CNetworkCommunication first;
    CNetworkCommunication second;
    ASSERT_EQ(Login(first, "alice", kAlicePassword), 0);
    ASSERT_EQ(Login(second, "alice", kAlicePassword), 0);
    char a[17] = {};
    char b[17] = {};
    char flag = '0';
    ASSERT_EQ(first.ApplySerialNo("SSCCRC", "JSXT", "99", a, &flag), 0);
    ASSERT_EQ(second.ApplySerialNo("SSCCRC", "JSXT", "99", b, &flag), 0);
    EXPECT_STRNE(a, b);
}

TEST_F(GatewayLoginTest, WrongPasswordAndUnknownOperatorAreRefusedAlike) {
    StartGateway();
    CNetworkCommunication comm;
    EXPECT_LT(Login(comm, "alice", "wrong"), 0);
    const std::string wrongPassword = comm.LastErrorText;
    EXPECT_LT(Login(comm, "mallory", "whatever"), 0);
    EXPECT_EQ(comm.LastErrorText, wrongPassword);
    EXPECT_TRUE(Contains(wrongPassword, "网关拒绝登录")) << wrongPassword;
    EXPECT_TRUE(Contains(wrongPassword, "操作员名称或密码错误")) << wrongPassword;
    // Refused means not logged in: nothing can be sent.
    char serial[17] = {};
    char flag = '0';
    EXPECT_LT(comm.ApplySerialNo("SSCCRC", "JSXT", "99", serial, &flag), 0);
    EXPECT_EQ(comm.LastErrorText, "尚未登录网关");
}

TEST_F(GatewayLoginTest, FiveFailuresLockTheOperatorEvenAgainstTheRightPassword) {
    StartGateway();
    CNetworkCommunication comm;
    for (int i = 0; i < 5; ++i)
        EXPECT_LT(Login(comm, "alice", "guess" + std::to_string(i)), 0);
    EXPECT_LT(Login(comm, "alice", kAlicePassword), 0);
    EXPECT_TRUE(Contains(comm.LastErrorText, "锁定")) << comm.LastErrorText;
    // Another operator is not affected.
    EXPECT_EQ(Login(comm, "bob", kBobPassword), 0) << comm.LastErrorText;
}

TEST_F(GatewayLoginTest, WrongSystemIdentifierIsRefused) {
    StartGateway();
    CNetworkCommunication comm;
    EXPECT_LT(comm.Login("", "alice", kAlicePassword, "ZANTHO01", "E0", "127.0.0.1", Port()), 0);
    EXPECT_TRUE(Contains(comm.LastErrorText, "系统标识")) << comm.LastErrorText;
}

TEST_F(GatewayLoginTest, UnreachableGatewayAndBadPortAreReportedClearly) {
    // A port that was free a moment ago and has nobody listening now.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const std::string port = std::to_string(probe.serverPort());
    probe.close();

    CNetworkCommunication comm;
    comm.SetTimeoutMs(2000);
    EXPECT_LT(comm.Login("", "alice", "pw", "ZANTHO00", "E0", "127.0.0.1", port), 0);
    EXPECT_TRUE(Contains(comm.LastErrorText, "无法连接网关[127.0.0.1:" + port + "]"))
        << comm.LastErrorText;
    EXPECT_LT(comm.Login("", "alice", "pw", "ZANTHO00", "E0", "127.0.0.1", "70x0"), 0);
    EXPECT_EQ(comm.LastErrorText, "网关端口号不正确[70x0]");
    EXPECT_LT(comm.Login("", "alice", "pw", "ZANTHO00", "E0", "127.0.0.1", "65536"), 0);
}

TEST_F(GatewayLoginTest, TheLogNamesOperatorsButNeverAPassword) {
    StartGateway();
    CNetworkCommunication comm;
    Login(comm, "alice", "not-the-password");
    ASSERT_EQ(Login(comm, "alice", kAlicePassword), 0);
    const auto lines = log->Copy();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(Contains(lines[0], "operator=alice")) << lines[0];
    EXPECT_TRUE(Contains(lines[1], "outcome=accepted")) << lines[1];
    for (const std::string& line : lines) {
        EXPECT_FALSE(Contains(line, "not-the-password"));
        EXPECT_FALSE(Contains(line, kAlicePassword));
    }
}

} // namespace
