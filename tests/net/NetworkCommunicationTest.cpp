// The client against a peer that plays a scripted, broken gateway: whatever it
// sends, the client reports a clear failure and never crashes or waits forever.

#include "StepGateway.h"
#include "UploadReply.h"

#include "protocol/WireFormat.h"
#include "support/net/ClientTexts.h"
#include "support/net/NetworkCommunication.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace {

// Accepts one connection, reads what arrives, answers with `reply`, then
// closes or keeps silent.
class ScriptedPeer {
public:
    explicit ScriptedPeer(std::string reply, bool closeAfter = true) {
        std::promise<quint16> port;
        m_port = port.get_future();
        m_thread = std::thread(
            [this, reply = std::move(reply), closeAfter, p = std::move(port)]() mutable {
                QTcpServer server;
                server.listen(QHostAddress::LocalHost, 0);
                p.set_value(server.serverPort());
                if (!server.waitForNewConnection(30000))
                    return;
                QTcpSocket* socket = server.nextPendingConnection();
                socket->waitForReadyRead(30000);
                socket->readAll();
                socket->write(reply.data(), static_cast<qint64>(reply.size()));
                socket->waitForBytesWritten(5000);
                if (closeAfter)
                    socket->disconnectFromHost();
                else
                    socket->waitForReadyRead(3000);
                if (socket->state() != QAbstractSocket::UnconnectedState)
                    socket->waitForDisconnected(1000);
            });
    }
    ~ScriptedPeer() { m_thread.join(); }
    std::string Port() { return std::to_string(m_port.get()); }

private:
    std::future<quint16> m_port;
    std::thread m_thread;
};

struct RecordingWaitHook : IWaitHook {
    void OnWaiting(const WaitProgress& progress) override { reports.push_back(progress); }
    void OnWaitEnded() override { ++ended; }
    std::vector<WaitProgress> reports;
    int ended = 0;
};

int LoginTo(CNetworkCommunication& comm, const std::string& port) {
    return comm.Login("", "alice", "pw", "ZANTHO00", "E0", "127.0.0.1", port);
}

TEST(NetworkCommunicationTest, BrokenLoginRepliesAreMalformed) {
    const std::string cases[] = {
        "QMGWLR9999999999",                                                       // over the limit
        Frame("SR", protocol::Fields({"0000", "", "0", "C1", "C2", "T"})),        // wrong type
        Frame("LR", protocol::Fields({"0000", "", "2", "C1", "C2", "T"})),        // unknown mode
        Frame("LR", protocol::Fields({"0000", "", "0", "CODE12345", "C2", "T"})), // string over 8
        Frame("LR", protocol::Fields({"0000", "", "0", "C1", "C2", ""})),         // no session
        Frame("LR", "00x4junk"),                                                  // not fields
        std::string("\0\0\0\0garbage-garbage", 20),
    };
    for (const std::string& reply : cases) {
        ScriptedPeer peer(reply);
        CNetworkCommunication comm;
        comm.SetTimeoutMs(2000);
        EXPECT_LT(LoginTo(comm, peer.Port()), 0);
        EXPECT_EQ(comm.LastErrorText, clienttext::kMalformed) << reply;
    }
}

TEST(NetworkCommunicationTest, ACutReplyIsALostConnectionAndSilenceIsATimeout) {
    {
        ScriptedPeer peer(
            Frame("LR", protocol::Fields({"0000", "", "0", "C1", "C2", "T"})).substr(0, 20));
        CNetworkCommunication comm;
        EXPECT_LT(LoginTo(comm, peer.Port()), 0);
        EXPECT_EQ(comm.LastErrorText, clienttext::kLost);
    }
    {
        ScriptedPeer peer("", /*closeAfter=*/false);
        CNetworkCommunication comm;
        comm.SetTimeoutMs(200);
        EXPECT_LT(LoginTo(comm, peer.Port()), 0);
        EXPECT_EQ(comm.LastErrorText, "等待网关应答超时(200毫秒)");
    }
}

TEST(NetworkCommunicationTest, TheWaitHookHearsOfSlowRequestsOnlyAndTheTimeoutStillHolds) {
    struct Case {
        const char* name;
        std::string reply;
        bool loggedIn;
    };
    const Case cases[] = {
        {"answered at once", Frame("LR", protocol::Fields({"0000", "", "0", "C1", "C2", "T"})),
         true},
        {"silent", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer(c.reply, /*closeAfter=*/false);
        CNetworkCommunication comm;
        comm.SetTimeoutMs(500);
        RecordingWaitHook hook;
        comm.SetWaitHook(&hook);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(LoginTo(comm, peer.Port()) == 0, c.loggedIn) << comm.LastErrorText;
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        comm.Close();
        if (c.loggedIn) {
            EXPECT_TRUE(hook.reports.empty());
            EXPECT_EQ(hook.ended, 0);
            continue;
        }
        // The timeout is the whole wait's, however many slices it took.
        EXPECT_EQ(comm.LastErrorText, "等待网关应答超时(500毫秒)");
        EXPECT_GE(took, 0.45);
        EXPECT_LT(took, 2.0);
        ASSERT_GE(hook.reports.size(), 3u);
        for (std::size_t i = 1; i < hook.reports.size(); ++i)
            EXPECT_GT(hook.reports[i].secondsWaited, hook.reports[i - 1].secondsWaited);
        const WaitProgress& last = hook.reports.back();
        EXPECT_GT(last.bytesToSend, 0u);
        EXPECT_EQ(last.bytesSent, last.bytesToSend);
        EXPECT_EQ(last.bytesReceived, 0u);
        EXPECT_LT(last.secondsWaited, 0.6);
        EXPECT_EQ(hook.ended, 1);
    }
}

TEST(NetworkCommunicationTest, AGoodLoginReplyIsTakenAsItStands) {
    ScriptedPeer peer(Frame("LR", protocol::Fields({"0000", "", "1", "C1", "C2", "TOKEN"})), false);
    CNetworkCommunication comm;
    ASSERT_EQ(LoginTo(comm, peer.Port()), 0) << comm.LastErrorText;
    EXPECT_EQ(comm.GetHeaderMode(), 1);
    EXPECT_EQ(comm.CommString1, "C1");
    EXPECT_EQ(comm.CommString2, "C2");
    comm.Close();
}

// A reply naming another request's serial, or carrying an unknown marker, is
// out of step: refused as malformed, its connection dropped, and the next
// upload, on a new connection, is served.
TEST(NetworkCommunicationTest, OnlyTheReplyToThisRequestIsAccepted) {
    const std::string ours = "AAAAAA0000000001";
    const std::string other = "AAAAAA0000000002";
    const struct {
        int mode;
        std::string prefixSerial, marker, field1, code;
        bool accepted;
    } cases[] = {
        {0, other, "00", other, "0000", false}, {1, ours, "00", other, "0000", false},
        {1, other, "00", ours, "0000", false},  {0, ours, "0 ", ours, "0000", false},
        {0, ours, "02", ours, "2002", false},   {0, other, "00", other, "2002", true},
        {1, ours, "01", ours, "0000", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prefixSerial + " " + c.marker + " " + c.field1 + " " + c.code);
        bool first = true;
        StepGateway gateway([&](const std::string& type, const std::string& payload) -> Steps {
            if (type == "LI" || type == "RS")
                return {{0, Frame("LR", protocol::Fields({"0000", "", std::to_string(c.mode), "C1",
                                                          "C2", "TOKEN"}))}};
            if (type == "SN")
                return {{0, Frame("SR", protocol::Fields({"0000", "", "1", ours}))}};
            if (type != "UP")
                return {};
            const std::string serial = payload.substr(20, 16);
            if (std::exchange(first, false))
                return {{0, Frame("UR", UploadReply(c.mode, c.prefixSerial, c.marker, c.field1,
                                                    c.code))}};
            return {{0, Frame("UR", UploadReply(c.mode, serial, "00", serial, "0000"))}};
        });
        CNetworkCommunication comm;
        comm.SetTimeoutMs(2000);
        ASSERT_EQ(LoginTo(comm, gateway.Port()), 0) << comm.LastErrorText;
        CDataBuf response;
        for (int upload = 0; upload < 2; ++upload) {
            CDataBuf request;
            char serial[17] = {};
            char flag = '0';
            ASSERT_EQ(comm.ApplySerialNo("SSCCRC", "JSXT", "99", serial, &flag), 0);
            ASSERT_EQ(
                comm.BuildPacketHeader("SSCCRC", "JSXT", "99", "40", serial, flag, 0, &request), 0);
            const int rc = comm.SendAndReceive(&request, &response, 0);
            if (upload == 1 || c.accepted) {
                EXPECT_EQ(rc, 0) << comm.LastErrorText;
            } else {
                EXPECT_LT(rc, 0);
                EXPECT_EQ(comm.LastErrorText, clienttext::kMalformed);
                EXPECT_EQ(response.GetSize(), 0u);
            }
        }
        // Dropped after a refused reply: the next upload resumed on a new connection.
        const std::vector<std::string> expected =
            c.accepted ? std::vector<std::string>{"LI2", "SN", "UP", "SN", "UP"}
                       : std::vector<std::string>{"LI2", "SN", "UP", "RS2", "SN", "UP"};
        EXPECT_EQ(gateway.Frames(), expected);
        comm.Close();
    }
}

TEST(NetworkCommunicationTest, LocalOperationsCheckTheirArguments) {
    CNetworkCommunication comm;
    char context[9];
    std::memset(context, 'x', sizeof context);
    ASSERT_EQ(comm.GetLoginContext(context), 0);
    EXPECT_EQ(std::strlen(context), 8u);

    CDataBuf request;
    request.InsertDataToBuf("abc", 0, 3);
    char serial[17] = "ABCDEF0000000001";
    EXPECT_LT(comm.BuildPacketHeader("SSCCRC", "JSXT", "99", "40", serial, '1', 4, &request), 0);
    ASSERT_EQ(comm.BuildPacketHeader("SSCCRC", "JSXT", "99", "40", serial, '1', 3, &request), 0);
    ASSERT_EQ(request.GetSize(), protocol::kPacketHeaderLength + 3);
    EXPECT_EQ(std::string(request.Data() + protocol::kPacketHeaderLength, 3), "abc");

    CDataBuf response;
    EXPECT_LT(comm.SendAndReceive(&request, &response, 0), 0);
    EXPECT_EQ(comm.LastErrorText, clienttext::kNotLoggedIn);

    std::vector<std::string> shown;
    EXPECT_EQ(comm.ShowStatus("nobody listens", 0), 0);
    comm.SetStatusSink([&](const std::string& text) { shown.push_back(text); });
    comm.ShowStatus("正在登录...", 0);
    comm.ShowStatus("", 0);
    EXPECT_EQ(shown, (std::vector<std::string>{"正在登录...", ""}));
}

} // namespace

// The body moves behind its header in slices; whatever its size, it arrives
// whole and in order behind the header the fields call for.
TEST(NetworkCommunicationTest, BodiesOfEverySizeMoveWholeBehindTheirHeader) {
    constexpr std::size_t kMiB = 1u << 20;
    const std::size_t sizes[] = {
        0, 1, 63, 64, 65, 8 * kMiB - 1, 8 * kMiB, 8 * kMiB + 1, 17 * kMiB + 5};
    CNetworkCommunication comm;
    for (const std::size_t size : sizes) {
        SCOPED_TRACE(size);
        std::string body(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            body[i] = static_cast<char>('A' + (i * 7 + i / 4093) % 26);
        CDataBuf request;
        request.InsertDataToBuf(body.data(), 0, body.size());
        char serial[17] = "ABCDEF0000000001";
        ASSERT_EQ(comm.BuildPacketHeader("SSCCRC", "JSXT", "99", "40", serial, '1',
                                         static_cast<long>(size), &request),
                  0);
        protocol::PacketHeader fields;
        fields.system = "SSCCRC";
        fields.subsystem = "JSXT";
        fields.kind = "99";
        fields.function = "40";
        fields.serial = serial;
        fields.flag = '1';
        fields.bodyLength = size;
        std::string header;
        ASSERT_TRUE(protocol::EncodePacketHeader(fields, header));
        ASSERT_EQ(request.GetSize(), header.size() + size);
        EXPECT_EQ(std::string_view(request.Data(), header.size()), header);
        EXPECT_TRUE(std::string_view(request.Data() + header.size(), size) == body);
    }
}
