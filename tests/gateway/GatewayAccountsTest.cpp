// The whole road: account files loaded by the uploader, both upload modes run
// through the network client against the simulator, results in the lists.

#include "GatewayFixture.h"

#include "accounts/ListColumns.h"
#include "fakes/RecordingMainWindow.h"
#include "fakes/ScriptedCommunication.h"
#include "fakes/UploaderRig.h"
#include "support/Common.h"
#include "support/Text.h"
#include "upload/UploadTexts.h"
#include "uploader/AccountUploader.h"

#include <QTemporaryDir>

#include <fstream>

namespace {

std::string Fixed(const std::string& utf8, std::size_t width) {
    std::string field = text::Utf8ToGbk(utf8);
    field.resize(width, ' ');
    return field;
}

const char* kAllUploaded = "上传数据成功!";
const char* kServerHolds =
    "上传失败,失败原因:服务器存在重复记录;\n建议通过[逐笔上传]按钮上传列表中数据!";

class GatewayAccountsTest : public GatewayFixture, protected UploaderRig {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.isValid());
        ASSERT_TRUE(QDir(work.path()).mkpath("localconfig"));
        CCommon::SetWorkPath(work.path().toStdString());
        StartGateway();
        ASSERT_EQ(Login(comm, "alice", kAlicePassword), 0) << comm.LastErrorText;
    }
    void TearDown() override {
        CCommon::SetWorkPath("");
        GatewayFixture::TearDown();
    }
    void WriteFile(const char* name, const std::string& bytes) {
        std::ofstream(work.path().toStdString() + "/localconfig/" + name, std::ios::binary)
            << bytes;
    }
    void WriteReserves(const std::vector<std::pair<std::string, std::string>>& accounts) {
        std::string bytes;
        for (const auto& [number, name] : accounts)
            bytes += Fixed(number, 18) + Fixed(name, 30);
        WriteFile("agbfj.dat", bytes);
    }
    void WriteBanks() {
        WriteFile("yhzh.dat", Fixed("0102", 4) + Fixed("6222000011112222", 28) +
                                  Fixed("上海测试证券", 30) + Fixed("工商银行上海分行", 30) +
                                  Fixed("", 30));
    }
    std::string Summary(int reserveOk, int reserveFailed, int bankOk, int bankFailed) {
        return text::Format(upload::kSummaryFormat, reserveOk, reserveFailed, bankOk, bankFailed);
    }

    QTemporaryDir work;
    CNetworkCommunication comm;
    ScopedCommunication installed{&comm};
};

TEST_F(GatewayAccountsTest, BatchThenBatchAgainThenOneByOne) {
    WriteReserves({{"B880000001", "上海测试证券"}, {"B880000002", "深圳测试证券"}});
    WriteBanks();
    ASSERT_EQ(uploader.Load(), 1) << uploader.LastError();

    EXPECT_EQ(uploader.UploadAll(), 1);
    EXPECT_EQ(window.messages.back(), kAllUploaded);
    EXPECT_EQ(reserveList.Cell(0, kColumnResultCode), "0000");
    EXPECT_EQ(bankList.Cell(0, kColumnResultText), "上传成功");

    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_EQ(window.messages.back(), kServerHolds);
    EXPECT_EQ(ReserveCount(), 2);
    EXPECT_EQ(BankCount(), 1);

    WriteReserves({{"B880000001", "上海测试证券"},
                   {"B880000002", "深圳测试证券"},
                   {"B880000003", "新开测试证券"}});
    ASSERT_EQ(uploader.Load(), 1) << uploader.LastError();
    EXPECT_EQ(uploader.UploadEach(), 1);
    EXPECT_EQ(window.messages.back(), Summary(1, 2, 0, 1));
    EXPECT_EQ(reserveList.Cell(0, kColumnResultCode), "9720");
    EXPECT_EQ(reserveList.Cell(2, kColumnResultCode), "0000");
    EXPECT_EQ(bankList.Cell(0, kColumnResultCode), "9721");
    EXPECT_EQ(ReserveCount(), 3);
    EXPECT_EQ(BankCount(), 1);
}

TEST_F(GatewayAccountsTest, AnInvalidRecordGivesTheSummaryAndTheRestIsStored) {
    WriteReserves({{"B880000001", "上海测试证券"}, {"B880000002", ""}}); // no name
    WriteBanks();
    ASSERT_EQ(uploader.Load(), 1) << uploader.LastError();
    EXPECT_EQ(uploader.UploadAll(), 1);
    EXPECT_EQ(window.messages.back(), Summary(1, 1, 1, 0));
    EXPECT_EQ(reserveList.Cell(1, kColumnResultCode), "9715");
    EXPECT_EQ(ReserveCount(), 1);
    EXPECT_EQ(BankCount(), 1);
}

TEST_F(GatewayAccountsTest, HeaderModeOneWorksThroughTheWholeRoad) {
    comm.Close();
    gateway.reset();
    GatewayConfig config = MakeConfig();
    config.headerMode = 1;
    StartGateway(std::move(config));
    ASSERT_EQ(Login(comm, "alice", kAlicePassword), 0) << comm.LastErrorText;
    ASSERT_EQ(comm.GetHeaderMode(), 1);
    WriteReserves({{"B880000001", "上海测试证券"}});
    WriteBanks();
    ASSERT_EQ(uploader.Load(), 1) << uploader.LastError();
    EXPECT_EQ(uploader.UploadAll(), 1);
    EXPECT_EQ(window.messages.back(), kAllUploaded);
    EXPECT_EQ(bankList.Cell(0, kColumnResultCode), "0000");
    EXPECT_EQ(BankCount(), 1);
}

TEST_F(GatewayAccountsTest, AGatewayRefusalReachesTheOperatorAsItsMessage) {
    WriteReserves({{"B880000001", "上海测试证券"}});
    ASSERT_EQ(uploader.Load(), 1) << uploader.LastError();
    GatewayFaults faults;
    faults.returnCode = "9999";
    gateway->SetFaults(faults);
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_EQ(window.messages.back(), "网关模拟故障");
    EXPECT_EQ(ReserveCount(), 0);
}

} // namespace
