#include "FaultMatrixFixture.h"

#include "gateway/GatewayServer.h"
#include "login/GatewayLogin.h"
#include "support/Common.h"
#include "support/Text.h"
#include "upload/UploadTexts.h"

#include <QDir>

#include <fstream>

namespace {

std::string Fixed(const std::string& utf8, std::size_t width) {
    std::string field = text::Utf8ToGbk(utf8);
    field.resize(width, ' ');
    return field;
}

} // namespace

std::string SummaryText(int reserveOk, int reserveFailed, int bankOk, int bankFailed) {
    return text::Format(upload::kSummaryFormat, reserveOk, reserveFailed, bankOk, bankFailed);
}

void FaultMatrixFixture::SetUp() {
    ASSERT_TRUE(work.isValid());
    ASSERT_TRUE(QDir(work.path()).mkpath("localconfig"));
    CCommon::SetWorkPath(work.path().toStdString());
    dbPath = work.path().toStdString() + "/store.db";
    StartGateway(FileConfig());
    port = gateway->Port();
    comm.SetTimeoutMs(5000);
    ASSERT_EQ(OperatorLogin(), 1) << LastMessage();
}

void FaultMatrixFixture::TearDown() {
    CCommon::SetWorkPath("");
    GatewayFixture::TearDown();
}

GatewayConfig FaultMatrixFixture::FileConfig() {
    GatewayConfig config = MakeConfig();
    config.dbPath = dbPath;
    config.listenPort = port;
    return config;
}

void FaultMatrixFixture::RestartGateway() {
    gateway.reset();
    StartGateway(FileConfig());
}

int FaultMatrixFixture::OperatorLogin() {
    CCommunication* handle = nullptr;
    return LoginGateway(window, handle, "alice", kAlicePassword, "127.0.0.1", std::to_string(port));
}

void FaultMatrixFixture::WriteReserves(
    const std::vector<std::pair<std::string, std::string>>& accounts) {
    std::string bytes;
    for (const auto& [number, name] : accounts)
        bytes += Fixed(number, 18) + Fixed(name, 30);
    std::ofstream(work.path().toStdString() + "/localconfig/agbfj.dat", std::ios::binary) << bytes;
}

void FaultMatrixFixture::WriteBanks(
    const std::vector<std::pair<std::string, std::string>>& accounts) {
    std::string bytes;
    for (const auto& [code, number] : accounts)
        bytes += Fixed(code, 4) + Fixed(number, 28) + Fixed("上海测试证券", 30) +
                 Fixed("工商银行上海分行", 30) + Fixed("", 30);
    std::ofstream(work.path().toStdString() + "/localconfig/yhzh.dat", std::ios::binary) << bytes;
}

void FaultMatrixFixture::Load() {
    ASSERT_EQ(uploader.Load(), 1) << uploader.LastError();
}

void FaultMatrixFixture::ExpectEverySuccessStored() {
    gateway->Run([&](GatewayServer& server) {
        for (const auto& row : reserveList.rows) {
            if (row[kColumnResultCode] != "0000")
                continue;
            std::string holder;
            EXPECT_TRUE(server.Store().ReserveHolder(row[kColumnReserveAccountNo], holder));
            EXPECT_EQ(holder, "P0000001") << row[kColumnReserveAccountNo] << " reported stored";
        }
        for (const auto& row : bankList.rows) {
            if (row[kColumnResultCode] != "0000")
                continue;
            std::string holder;
            EXPECT_TRUE(
                server.Store().BankHolder(row[kColumnBankCode], row[kColumnBankAccountNo], holder));
            EXPECT_EQ(holder, "P0000001") << row[kColumnBankAccountNo] << " reported stored";
        }
    });
}
