// Keep-alive frames on the client's side: which ones it takes, how a growing
// count keeps a slow reply's wait going, and how every stray or lying one is
// refused as out of step, with nothing matched to the request.

#include "StepGateway.h"
#include "UploadReply.h"

#include "protocol/WireFormat.h"
#include "support/net/ClientTexts.h"
#include "support/net/NetworkCommunication.h"
#include "support/net/ReplyWait.h"

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

using namespace std::chrono_literals;

const std::string kSerial = "AAAAAA0000000001";

std::string KeepAlive(const std::string& serial, const std::string& done) {
    return Frame(protocol::kKeepAlive, protocol::Fields({serial, done}));
}

// ---- the judge alone -------------------------------------------------------

struct JudgeCase {
    const char* name;
    bool allowed;
    std::vector<std::pair<std::string, int>> frames; // payload, ms after the start
    std::vector<ReplyWait::Verdict> verdicts;
};

TEST(ReplyWaitTest, TakesOnlyWhatARequestMayGet) {
    using V = ReplyWait::Verdict;
    const auto ka = [](const std::string& serial, const std::string& done) {
        return protocol::Fields({serial, done});
    };
    std::vector<std::pair<std::string, int>> flood;
    std::vector<V> floodVerdicts;
    for (int i = 0; i <= protocol::kKeepAliveBurst; ++i) {
        flood.emplace_back(ka(kSerial, "1"), 0);
        floodVerdicts.push_back(i == 0                          ? V::Grew
                                : i < protocol::kKeepAliveBurst ? V::Same
                                                                : V::OutOfStep);
    }
    const JudgeCase cases[] = {
        {"growing",
         true,
         {{ka(kSerial, "0"), 0}, {ka(kSerial, "5"), 500}, {ka(kSerial, "9"), 900}},
         {V::Same, V::Grew, V::Grew}},
        {"the same count",
         true,
         {{ka(kSerial, "4"), 0}, {ka(kSerial, "4"), 500}},
         {V::Grew, V::Same}},
        {"another serial", true, {{ka("AAAAAA0000000002", "1"), 0}}, {V::OutOfStep}},
        {"a count going down",
         true,
         {{ka(kSerial, "5"), 0}, {ka(kSerial, "3"), 500}},
         {V::Grew, V::OutOfStep}},
        {"over the records", true, {{ka(kSerial, "11"), 0}}, {V::OutOfStep}},
        {"not digits", true, {{ka(kSerial, "1x"), 0}}, {V::OutOfStep}},
        {"three fields", true, {{protocol::Fields({kSerial, "1", ""}), 0}}, {V::OutOfStep}},
        {"not fields", true, {{"0016AAAA", 0}}, {V::OutOfStep}},
        {"a version-1 session", false, {{ka(kSerial, "1"), 0}}, {V::OutOfStep}},
        {"a flood", true, flood, floodVerdicts},
    };
    for (const JudgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        ReplyWait wait(c.allowed, kSerial, 10);
        const auto start = ReplyWait::Clock::now();
        wait.NewConnection(start);
        ASSERT_EQ(c.frames.size(), c.verdicts.size());
        for (std::size_t i = 0; i < c.frames.size(); ++i)
            EXPECT_EQ(
                wait.Take(c.frames[i].first, start + std::chrono::milliseconds(c.frames[i].second)),
                c.verdicts[i])
                << i;
    }
}

TEST(ReplyWaitTest, ANewConnectionMayStartLowerButOnlyAHigherCountGrows) {
    ReplyWait wait(true, kSerial, 10);
    auto now = ReplyWait::Clock::now();
    wait.NewConnection(now);
    EXPECT_EQ(wait.Take(protocol::Fields({kSerial, "6"}), now), ReplyWait::Verdict::Grew);
    wait.NewConnection(now);
    EXPECT_EQ(wait.Take(protocol::Fields({kSerial, "2"}), now), ReplyWait::Verdict::Same);
    EXPECT_EQ(wait.Take(protocol::Fields({kSerial, "7"}), now), ReplyWait::Verdict::Grew);
    EXPECT_EQ(wait.Done(), 7u);
}

// ---- the client against a scripted gateway ---------------------------------

Steps Login(const std::string& payload, bool onlyVersion1) {
    std::vector<std::string> fields;
    protocol::SplitFields(payload, fields);
    if (onlyVersion1 && !fields.empty() && fields[0] != "1")
        return {{0, Frame("LR", protocol::Fields({"1009", "version"}))}};
    return {{0, Frame("LR", protocol::Fields({"0000", "", "0", "C1", "C2", "TOKEN"}))}};
}

// A gateway's script: logins (of version 1 only, if so), one serial, and
// each upload answered by `upload`.
StepGateway::Answer UploadsAnsweredBy(std::function<Steps(const std::string& payload)> upload,
                                      bool onlyVersion1 = false) {
    return [upload = std::move(upload), onlyVersion1](const std::string& type,
                                                      const std::string& payload) -> Steps {
        if (type == "LI" || type == "RS")
            return Login(payload, onlyVersion1);
        if (type == "SN")
            return {{0, Frame("SR", protocol::Fields({"0000", "", "1", kSerial}))}};
        if (type == "UP")
            return upload(payload);
        return {};
    };
}

std::string Accepted() {
    return Frame("UR", UploadReply(0, kSerial, "00", kSerial, "0000"));
}

struct Uploaded {
    int rc = -1;
    std::string error;
    std::size_t responseBytes = 0;
};

// A login, a serial and one upload of `records` empty records.
Uploaded UploadThrough(CNetworkCommunication& comm, const std::string& port, int records = 10) {
    Uploaded result;
    if (comm.Login("", "alice", "pw", "ZANTHO00", "E0", "127.0.0.1", port) != 0) {
        result.error = comm.LastErrorText;
        return result;
    }
    char serial[17] = {};
    char flag = '0';
    if (comm.ApplySerialNo("SSCCRC", "JSXT", "99", serial, &flag) != 0) {
        result.error = comm.LastErrorText;
        return result;
    }
    CDataBuf request;
    request.Resize(static_cast<std::size_t>(records) * protocol::kRequestRecordLength);
    const long length = static_cast<long>(request.GetSize());
    if (comm.BuildPacketHeader("SSCCRC", "JSXT", "99", "40", serial, flag, length, &request) != 0) {
        result.error = comm.LastErrorText;
        return result;
    }
    CDataBuf response;
    result.rc = comm.SendAndReceive(&request, &response, 0);
    result.error = comm.LastErrorText;
    result.responseBytes = response.GetSize();
    return result;
}

struct BadCase {
    const char* name;
    bool onlyVersion1; // the gateway refuses version 2: the session is version 1
    Steps upload;      // the gateway's answer to the upload
};

// Every keep-alive the request may not get is out of step: the upload fails
// as malformed and nothing of any reply is handed over.
TEST(KeepAliveTest, EveryStrayKeepAliveIsOutOfStep) {
    Steps flood;
    for (int i = 0; i < 40; ++i)
        flood.push_back({0, KeepAlive(kSerial, "1")});
    flood.push_back({0, Accepted()});
    const BadCase cases[] = {
        {"another serial", false, {{0, KeepAlive("AAAAAA0000000002", "1")}, {0, Accepted()}}},
        {"a count going down",
         false,
         {{0, KeepAlive(kSerial, "5")}, {50, KeepAlive(kSerial, "3")}, {0, Accepted()}}},
        {"a flood", false, flood},
        {"over the records", false, {{0, KeepAlive(kSerial, "11")}, {0, Accepted()}}},
        {"over its size limit",
         false,
         {{0, Frame(protocol::kKeepAlive, protocol::Fields({kSerial, std::string(60, '1')}))},
          {0, Accepted()}}},
        {"on a version-1 session", true, {{0, KeepAlive(kSerial, "1")}, {0, Accepted()}}},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        StepGateway gateway(
            UploadsAnsweredBy([&](const std::string&) { return c.upload; }, c.onlyVersion1));
        CNetworkCommunication comm;
        comm.SetTimeoutMs(5000);
        const Uploaded result = UploadThrough(comm, gateway.Port());
        EXPECT_LT(result.rc, 0);
        EXPECT_EQ(result.error, clienttext::kMalformed);
        EXPECT_EQ(result.responseBytes, 0u);
        comm.Close();
    }
}

// A keep-alive left over after its reply meets the next request: it names
// the request before, so that request is refused as out of step too. One to
// a serial request is out of step as well.
TEST(KeepAliveTest, AKeepAliveAfterTheReplyOrToASerialRequestIsOutOfStep) {
    const std::string second = "AAAAAA0000000002";
    for (const bool toSerialRequest : {false, true}) {
        SCOPED_TRACE(toSerialRequest ? "to a serial request" : "after the reply");
        StepGateway gateway([&](const std::string& type, const std::string& payload) -> Steps {
            if (type == "LI" || type == "RS")
                return Login(payload, false);
            const Step serials{0,
                               Frame("SR", protocol::Fields({"0000", "", "1", kSerial, second}))};
            if (type == "SN" && toSerialRequest)
                return {{0, KeepAlive(kSerial, "0")}, serials};
            if (type == "SN")
                return {serials};
            if (type == "UP" && payload.substr(20, 16) == kSerial)
                return {{0, Accepted()}, {0, KeepAlive(kSerial, "10")}};
            if (type == "UP")
                return {{100, Frame("UR", UploadReply(0, second, "00", second, "0000"))}};
            return {};
        });
        CNetworkCommunication comm;
        comm.SetTimeoutMs(5000);
        const Uploaded first = UploadThrough(comm, gateway.Port());
        if (toSerialRequest) {
            EXPECT_LT(first.rc, 0);
            EXPECT_EQ(first.error, clienttext::kMalformed);
            continue;
        }
        ASSERT_EQ(first.rc, 0) << first.error;
        char serial[17] = {};
        char flag = '0';
        ASSERT_EQ(comm.ApplySerialNo("SSCCRC", "JSXT", "99", serial, &flag), 0);
        ASSERT_EQ(std::string(serial), second);
        CDataBuf request;
        ASSERT_EQ(comm.BuildPacketHeader("SSCCRC", "JSXT", "99", "40", serial, flag, 0, &request),
                  0);
        CDataBuf response;
        EXPECT_LT(comm.SendAndReceive(&request, &response, 0), 0);
        EXPECT_EQ(comm.LastErrorText, clienttext::kMalformed);
        EXPECT_EQ(response.GetSize(), 0u);
        comm.Close();
    }
}

struct RecordingWaitHook : IWaitHook {
    void OnWaiting(const WaitProgress& progress) override {
        if (progress.recordsTotal > 0)
            gatewayDone = progress.recordsDone;
    }
    void OnWaitEnded() override {}
    std::uint64_t gatewayDone = 0;
};

// A reply three times the timeout late comes through when the count grows
// meanwhile; the wait line shows the gateway's count.
TEST(KeepAliveTest, AGrowingCountKeepsASlowReplysWaitGoing) {
    StepGateway gateway(UploadsAnsweredBy([](const std::string&) {
        Steps steps;
        for (int done = 1; done <= 8; ++done)
            steps.push_back({200, KeepAlive(kSerial, std::to_string(done))});
        steps.push_back({200, Accepted()});
        return steps;
    }));
    CNetworkCommunication comm;
    comm.SetTimeoutMs(600);
    RecordingWaitHook hook;
    comm.SetWaitHook(&hook);
    const Uploaded result = UploadThrough(comm, gateway.Port());
    EXPECT_EQ(result.rc, 0) << result.error;
    EXPECT_FALSE(comm.LastRequestResent);
    EXPECT_EQ(comm.SessionVersion(), "2");
    EXPECT_GT(hook.gatewayDone, 0u);
    EXPECT_EQ(gateway.Frames(), (std::vector<std::string>{"LI2", "SN", "UP"}));
    comm.SetWaitHook(nullptr);
    comm.Close();
}

// Keep-alives that only say the gateway is alive do not hold the wait: the
// request is asked for again over a new connection, where the record answers.
TEST(KeepAliveTest, AStuckCountTimesOutAndTheRequestIsAskedForAgain) {
    int uploads = 0;
    StepGateway gateway(UploadsAnsweredBy([&](const std::string&) -> Steps {
        if (++uploads > 1)
            return {{0, Frame("UR", UploadReply(0, kSerial, "01", kSerial, "0000"))}};
        Steps steps;
        for (int i = 0; i < 6; ++i)
            steps.push_back({150, KeepAlive(kSerial, "3")});
        return steps;
    }));
    CNetworkCommunication comm;
    comm.SetTimeoutMs(400);
    const Uploaded result = UploadThrough(comm, gateway.Port());
    EXPECT_EQ(result.rc, 0) << result.error;
    EXPECT_TRUE(comm.LastRequestResent);
    EXPECT_EQ(gateway.Frames(), (std::vector<std::string>{"LI2", "SN", "UP", "RS2", "UP"}));
    comm.Close();
}

// A gateway that knows only version 1 refuses 2 with 1009; the login goes
// again with 1 and the session never takes a keep-alive. A client set to
// offer 1 logs in with 1 at once.
TEST(KeepAliveTest, AVersion1GatewayGetsAVersion1Login) {
    for (const bool offerOne : {false, true}) {
        SCOPED_TRACE(offerOne ? "client offers 1" : "client offers 2");
        StepGateway gateway(UploadsAnsweredBy(
            [](const std::string&) -> Steps {
                return {{0, Accepted()}};
            },
            true));
        CNetworkCommunication comm;
        comm.SetTimeoutMs(5000);
        if (offerOne)
            comm.SetOfferedVersion("1");
        const Uploaded result = UploadThrough(comm, gateway.Port());
        EXPECT_EQ(result.rc, 0) << result.error;
        EXPECT_EQ(comm.SessionVersion(), "1");
        const std::vector<std::string> expected =
            offerOne ? std::vector<std::string>{"LI1", "SN", "UP"}
                     : std::vector<std::string>{"LI2", "LI1", "SN", "UP"};
        EXPECT_EQ(gateway.Frames(), expected);
        comm.Close();
    }
}

} // namespace
