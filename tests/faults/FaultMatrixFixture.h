#pragma once
// The tool as the operator drives it (account files, uploader, the window's
// messages and lists, the network client) against a gateway simulator whose
// store is a file, so a gateway can be stopped and started again on the same
// port and the same data.

#include "GatewayFixture.h"

#include "accounts/ListColumns.h"
#include "fakes/RecordingMainWindow.h"
#include "fakes/ScriptedCommunication.h"
#include "fakes/UploaderRig.h"
#include "uploader/AccountUploader.h"

#include <QTemporaryDir>

#include <string>
#include <utility>
#include <vector>

class FaultMatrixFixture : public GatewayFixture, protected UploaderRig {
protected:
    void SetUp() override;
    void TearDown() override;

    GatewayConfig FileConfig();
    // Stops the gateway; sessions go with it, the store stays.
    void StopGateway() { gateway.reset(); }
    // A fresh gateway on the port and the store of the last one.
    void RestartGateway();
    // The window's login, as the operator uses it; 1 when accepted.
    int OperatorLogin();

    void WriteReserves(const std::vector<std::pair<std::string, std::string>>& accounts);
    void WriteBanks(const std::vector<std::pair<std::string, std::string>>& accounts);
    // Loads the files written above; fails the test if the load fails.
    void Load();

    // Every row reported "0000" is held by alice in the store: nothing is
    // called stored that is not.
    void ExpectEverySuccessStored();
    std::string LastMessage() const {
        return window.messages.empty() ? std::string() : window.messages.back();
    }

    QTemporaryDir work;
    std::string dbPath;
    std::uint16_t port = 0;
    CNetworkCommunication comm;
    ScopedCommunication installed{&comm};
};

// The texts the operator reads.
std::string SummaryText(int reserveOk, int reserveFailed, int bankOk, int bankFailed);
inline constexpr const char* kAllUploaded = "上传数据成功!";
inline constexpr const char* kServerHolds =
    "上传失败,失败原因:服务器存在重复记录;\n建议通过[逐笔上传]按钮上传列表中数据!";
