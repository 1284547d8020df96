// The gateway program killed outright (SIGKILL) between two records of a
// per-record upload and started again on the same port and store: the run
// stops with the session's end, what was stored stays stored once, and after a
// new login the same run stores the rest.

#include "FaultMatrixFixture.h"
#include "GatewayProcess.h"

#include "fakes/UploaderRig.h"
#include "gateway/SettlementStore.h"
#include "login/GatewayLogin.h"
#include "support/Common.h"
#include "support/Text.h"

#include <QDir>

#include <fstream>

namespace {

std::string Fixed(const std::string& utf8, std::size_t width) {
    std::string field = text::Utf8ToGbk(utf8);
    field.resize(width, ' ');
    return field;
}

class GatewayKillTest : public ::testing::Test, protected UploaderRig {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.isValid());
        ASSERT_TRUE(QDir(work.path()).mkpath("localconfig"));
        CCommon::SetWorkPath(work.path().toStdString());
        const std::string local = work.path().toStdString() + "/localconfig/";
        std::ofstream(local + "agbfj.dat", std::ios::binary)
            << Fixed("B880000001", 18) + Fixed("上海测试证券", 30) + Fixed("B880000002", 18) +
                   Fixed("深圳测试证券", 30) + Fixed("B880000003", 18) + Fixed("北京测试证券", 30);
        std::ofstream(local + "yhzh.dat", std::ios::binary)
            << Fixed("0102", 4) + Fixed("6222000011112222", 28) + Fixed("上海测试证券", 30) +
                   Fixed("工商银行上海分行", 30) + Fixed("", 30);
        ASSERT_TRUE(StartGateway("0"));
        comm.SetTimeoutMs(5000);
    }
    void TearDown() override { CCommon::SetWorkPath(""); }

    bool StartGateway(const std::string& port) {
        std::string error;
        const bool started = gateway.Start(
            {"--db", work.path() + "/store.db"},
            {QStringLiteral("QUILLMARK_GATEWAY_DEMO_OPERATOR=alice:") + kAlicePassword},
            work.path() + "/gateway.log", error, port);
        EXPECT_TRUE(started) << error;
        return started;
    }
    int OperatorLogin() {
        CCommunication* handle = nullptr;
        return LoginGateway(window, handle, "alice", kAlicePassword, "127.0.0.1", gateway.Port());
    }
    long long StoredReserves() {
        SettlementStore store;
        std::string error;
        EXPECT_TRUE(store.Open(work.path().toStdString() + "/store.db", error)) << error;
        return store.CountReserve();
    }

    QTemporaryDir work;
    GatewayProcess gateway;
    CNetworkCommunication comm;
    ScopedCommunication installed{&comm};
};

TEST_F(GatewayKillTest, KilledBetweenTwoRecordsNothingIsLostOrStoredTwice) {
    ASSERT_EQ(OperatorLogin(), 1) << window.messages.back();
    ASSERT_EQ(uploader.Load(), 1) << uploader.LastError();
    const std::string port = gateway.Port();
    uploader.Runs().SetProgressListener([&](int done, int) {
        if (done == 1) {
            gateway.Kill();
            ASSERT_TRUE(StartGateway(port));
        }
    });
    EXPECT_EQ(uploader.UploadEach(), 0);
    EXPECT_NE(window.messages.back().find("网关会话已失效,请重新登录"), std::string::npos)
        << window.messages.back();
    EXPECT_EQ(reserveList.Cell(0, kColumnResultCode), "0000");
    EXPECT_EQ(reserveList.Cell(1, kColumnResultCode), "");
    EXPECT_EQ(StoredReserves(), 1); // the first record survived the kill

    uploader.Runs().SetProgressListener(nullptr);
    ASSERT_EQ(OperatorLogin(), 1) << window.messages.back();
    EXPECT_EQ(uploader.UploadEach(), 1);
    EXPECT_EQ(window.messages.back(), SummaryText(2, 1, 1, 0));
    EXPECT_EQ(reserveList.Cell(0, kColumnResultCode), "9720");
    EXPECT_EQ(reserveList.Cell(1, kColumnResultCode), "0000");
    EXPECT_EQ(reserveList.Cell(2, kColumnResultCode), "0000");
    EXPECT_EQ(bankList.Cell(0, kColumnResultCode), "0000");
    gateway.Stop();
    EXPECT_EQ(StoredReserves(), 3);
}

} // namespace
