// Logins against the simulator over loopback.

#include "GatewayFixture.h"

#include "protocol/WireFormat.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

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

TEST_F(GatewayLoginTest, ARestartedGatewayNeverIssuesASerialAgainFromTheSameStore) {
    QTemporaryDir dir;
    GatewayConfig config = MakeConfig();
    config.dbPath = dir.path().toStdString() + "/store.db";
    std::vector<std::string> serials;
    for (int run = 0; run < 2; ++run) {
        StartGateway(config);
        CNetworkCommunication comm;
        ASSERT_EQ(Login(comm, "alice", kAlicePassword), 0) << comm.LastErrorText;
        char serial[17] = {};
        char flag = '0';
        ASSERT_EQ(comm.ApplySerialNo("SSCCRC", "JSXT", "99", serial, &flag), 0);
        serials.push_back(serial);
        comm.Close();
        gateway.reset();
    }
    EXPECT_EQ(serials[0], "0000010000000001");
    EXPECT_EQ(serials[1], "0000020000000001");
}

// The checks run in the order of the documentation: the fields, the version,
// the system identifier and login code, the lock, the name and password. Only
// a wrong name or password counts toward the lock.
TEST_F(GatewayLoginTest, LoginChecksRunInOrderAndOnlyAWrongPasswordCountsTowardTheLock) {
    GatewayConfig config = MakeConfig();
    config.maxFailures = 2;
    StartGateway(config);
    const std::string right = LoginFrame("alice", kAlicePassword);
    const std::string wrong = LoginFrame("alice", "wrong");
    const std::string badFields = Frame("LI", {"1", "", "alice", "wrong", "ZANTHO01"});
    const std::string badVersion = LoginFrame("alice", "wrong", "3", "ZANTHO01");
    const std::string badSystem = LoginFrame("alice", "wrong", "1", "ZANTHO01");
    // Refusals of other kinds, many times over, leave the right password good.
    EXPECT_EQ(ReplyCodes(Raw(gateway->Port(),
                             badFields + badVersion + badSystem + badFields + badVersion +
                                 badSystem + right,
                             300)
                             .bytes),
              (std::vector<std::string>{"LR:1008", "LR:1009", "LR:1003", "LR:1008", "LR:1009",
                                        "LR:1003", "LR:0000"}));
    // Two wrong passwords lock; the lock is checked after the version and the
    // system identifier, before the password.
    const std::string badSystemRightPassword = LoginFrame("alice", kAlicePassword, "1", "ZANTHO01");
    EXPECT_EQ(ReplyCodes(Raw(gateway->Port(),
                             wrong + wrong + badVersion + badSystemRightPassword + right, 300)
                             .bytes),
              (std::vector<std::string>{"LR:1001", "LR:1001", "LR:1009", "LR:1003", "LR:1002"}));
}

// A resume is checked like a login: its fields, then its version, then the
// session.
TEST_F(GatewayLoginTest, AResumeWithAnotherVersionIsRefused) {
    StartGateway();
    const RawResult login = Raw(gateway->Port(), LoginFrame("alice", kAlicePassword), 300);
    std::vector<std::string> fields;
    ASSERT_TRUE(protocol::SplitFields(std::string_view(login.bytes).substr(16), fields));
    ASSERT_EQ(fields.size(), 6u);
    const std::string& token = fields[5];
    EXPECT_EQ(ReplyCodes(Raw(gateway->Port(),
                             Frame("RS", {"3", token, ""}) + Frame("RS", {"", token, ""}) +
                                 Frame("RS", {"1", token}) + Frame("RS", {"1", "nosuch", ""}) +
                                 Frame("RS", {"1", token, ""}),
                             300)
                             .bytes),
              (std::vector<std::string>{"LR:1009", "LR:1009", "LR:1008", "LR:1004", "LR:0000"}));
}

// A logout ends the session for every connection that works for it: they stay
// open, but each request is answered as from a connection without a session.
TEST_F(GatewayLoginTest, ALogoutEndsTheSessionForItsOtherConnectionsToo) {
    GatewayConfig config = MakeConfig();
    config.headerMode = 1;
    StartGateway(config);
    const RawResult login = Raw(gateway->Port(), LoginFrame("alice", kAlicePassword), 300);
    std::vector<std::string> fields;
    ASSERT_TRUE(protocol::SplitFields(std::string_view(login.bytes).substr(16), fields));
    ASSERT_EQ(fields.size(), 6u);
    const std::string resume = Frame("RS", {"1", fields[5], ""});

    QTcpSocket other;
    other.connectToHost("127.0.0.1", gateway->Port());
    ASSERT_TRUE(other.waitForConnected(30000));
    auto talk = [&](const std::string& bytes) {
        other.write(bytes.data(), static_cast<qint64>(bytes.size()));
        std::string reply;
        while (other.waitForReadyRead(300))
            reply += other.readAll().toStdString();
        return reply;
    };
    EXPECT_EQ(ReplyCodes(talk(resume)), std::vector<std::string>{"LR:0000"});
    EXPECT_EQ(ReplyCodes(Raw(gateway->Port(), resume + Frame("LO", {}), 300).bytes),
              std::vector<std::string>{"LR:0000"});

    std::string packet;
    protocol::PacketHeader header{"SSCCRC", "JSXT", "99", "40", "0000010000000001", '1', 0, ""};
    ASSERT_TRUE(protocol::EncodePacketHeader(header, packet));
    const std::string upload = protocol::EncodeFrameHeader("UP", packet.size()) + packet;
    const std::string replies = talk(Frame("SN", {"SSCCRC", "JSXT", "99"}) + upload + resume);
    EXPECT_EQ(ReplyCodes(replies), (std::vector<std::string>{"SR:1005", "UR:2001", "LR:1004"}));
    // The refusal is framed in the gateway's header mode, with the serial sent.
    const std::size_t ur = replies.find("QMGWUR");
    ASSERT_NE(ur, std::string::npos);
    EXPECT_EQ(replies.substr(ur + 16, 17), "10000010000000001");
    EXPECT_EQ(other.state(), QAbstractSocket::ConnectedState);
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
