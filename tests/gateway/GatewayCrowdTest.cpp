// Strangers on other loopback addresses cannot keep an operator out: 2,000
// connections that never send a frame, or 250 threads sending wrong
// passwords, while an operator on 127.0.0.1 logs in and uploads.

#include "GatewayFixture.h"
#include "LoopbackClients.h"

#include "gateway/GatewayServer.h"
#include "gateway/OperatorFile.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kWaitBound = std::chrono::seconds(30);

// Waits for `done` with the tests' generous bound; false when it ran out.
template <class Predicate> bool WaitFor(Predicate done) {
    const auto until = Clock::now() + kWaitBound;
    while (!done()) {
        if (Clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class GatewayCrowdTest : public GatewayFixture {};

TEST_F(GatewayCrowdTest, TwoThousandIdleStrangersLeaveRoomForAnOperatorsUpload) {
    StartGateway();
    const std::uint16_t port = gateway->Port();
    constexpr int kStrangers = 2000;
    std::atomic<int> opened{0};
    std::vector<int> strangers;
    std::thread crowd([&] {
        for (int i = 0; i < kStrangers; ++i) {
            const int fd = StartConnectFrom("127.0.0.2", port);
            if (fd >= 0)
                strangers.push_back(fd);
            opened = i + 1;
        }
    });
    ASSERT_TRUE(WaitFor([&] { return opened >= kStrangers / 2; }))
        << "waited for a thousand strangers to connect";

    CNetworkCommunication comm;
    comm.SetTimeoutMs(30'000);
    ASSERT_EQ(Login(comm, "alice", kAlicePassword), 0) << comm.LastErrorText;
    int stored = 0;
    for (int request = 0; request < 10; ++request) {
        std::vector<UploadRequestRecord> records;
        for (int i = 0; i < 10; ++i)
            records.push_back(ReserveRequest("C" + std::to_string(request * 10 + i), "拥挤"));
        const Exchanged reply = Upload(comm, WireBody(records, comm));
        ASSERT_EQ(reply.rc, 0) << comm.LastErrorText;
        for (int code : reply.codes)
            stored += code == 0 ? 1 : 0;
    }
    comm.Close();
    crowd.join();

    EXPECT_EQ(stored, 100);
    EXPECT_EQ(ReserveCount(), 100);
    int connections = 0;
    gateway->Run([&](GatewayServer& server) { connections = server.Connections(); });
    std::printf("crowd: %zu of %d strangers connected from 127.0.0.2; %d connections live "
                "at the end (%d slots)\n",
                strangers.size(), kStrangers, connections, 256);
    EXPECT_LE(connections, 256);
    for (int fd : strangers)
        ::close(fd);
}

TEST_F(GatewayCrowdTest, ARightLoginUnderAWrongPasswordFloodIsAnsweredPromptly) {
    GatewayConfig config = MakeConfig();
    // The real cost of a check, as an operator added by the program has it.
    config.operators.Set("alice", "P0000001", kAlicePassword, kHashIterations);
    StartGateway(std::move(config));
    const std::uint16_t port = gateway->Port();

    constexpr int kFlooders = 250;
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::mutex tallyMutex;
    std::map<std::string, int> tally;
    std::vector<std::thread> flood;
    for (int t = 0; t < kFlooders; ++t) {
        flood.emplace_back([&, t] {
            std::map<std::string, int> mine;
            for (int n = 0; !stop; ++n) {
                const int fd = ConnectFrom("127.0.0.3", port);
                if (fd < 0) {
                    ++mine["no connection"];
                    continue;
                }
                // A new name each time: no lock ends the flood's checks early.
                const std::string name = "intruder-" + std::to_string(t) + "-" + std::to_string(n);
                if (SendAll(fd, LoginFrame(name, "wrong password")))
                    ++mine[ReadOneReply(fd)];
                ::close(fd);
                ++answered;
            }
            std::lock_guard lock(tallyMutex);
            for (const auto& [outcome, count] : mine)
                tally[outcome] += count;
        });
    }
    const bool flooding = WaitFor([&] { return answered >= 2 * kFlooders; });

    const auto started = Clock::now();
    CNetworkCommunication comm;
    comm.SetTimeoutMs(30'000);
    const int rc = Login(comm, "alice", kAlicePassword);
    const double loginMs = MillisecondsSince(started);
    comm.Close();

    stop = true;
    gateway.reset(); // the flood's waiting logins end with the gateway
    for (std::thread& thread : flood)
        thread.join();
    ASSERT_TRUE(flooding) << "waited for the flood to get answers";
    ASSERT_EQ(rc, 0) << comm.LastErrorText;
    std::string outcomes;
    for (const auto& [outcome, count] : tally)
        outcomes += " " + outcome + "x" + std::to_string(count);
    std::printf("flood: right login from 127.0.0.1 in %.0f ms (target 1000 ms) under %d threads "
                "of wrong passwords from 127.0.0.3;%s\n",
                loginMs, kFlooders, outcomes.c_str());
    ::testing::Test::RecordProperty("login_under_flood_ms", std::to_string(loginMs));
    // Generous: a loaded machine must not fail the test; the figure above is
    // what counts against the 1 s target.
    EXPECT_LT(loginMs, 5000.0);
}

// A check that has started runs on after its client has gone, and its
// failure still counts. Each client comes from an address of its own, so no
// delay holds its check back until after it left (a check that never ran
// counts for nothing, and tells the client nothing either).
TEST_F(GatewayCrowdTest, WrongPasswordsFromClientsThatLeaveAtOnceStillLockTheOperator) {
    StartGateway();
    for (int i = 0; i < 5; ++i) {
        const std::string source = "127.0.0." + std::to_string(5 + i);
        const int fd = ConnectFrom(source.c_str(), gateway->Port());
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(SendAll(fd, LoginFrame("bob", "wrong")));
        // An orderly close: a reset could drop the frame before it is read.
        const linger orderly{0, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &orderly, sizeof orderly);
        ::close(fd);
    }
    auto refusals = [&] {
        int count = 0;
        for (const std::string& line : log->Copy())
            count += line.find("operator=bob") != std::string::npos &&
                             line.find("refused(password)") != std::string::npos
                         ? 1
                         : 0;
        return count;
    };
    ASSERT_TRUE(WaitFor([&] { return refusals() == 5; }))
        << "waited for the five checks to fail; saw " << refusals();
    CNetworkCommunication comm;
    comm.SetTimeoutMs(30'000);
    EXPECT_NE(Login(comm, "bob", kBobPassword), 0);
    EXPECT_NE(comm.LastErrorText.find("锁定"), std::string::npos) << comm.LastErrorText;
}

} // namespace
