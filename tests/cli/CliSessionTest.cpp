#include "cli/CliSession.h"
#include "CliTempDir.h"
#include "fakes/ResponseBuilder.h"
#include "fakes/ScriptedCommunication.h"
#include "support/Common.h"
#include "tools/mkdata/SampleWorkDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

struct SessionFixture : ::testing::Test {
    ScriptedCommunication comm;
    ScopedCommunication installed{&comm};
    CliTempDir dir;
    std::ostringstream out;

    void SetUp() override {
        comm.DefaultGatewayAddress = "127.0.0.1";
        comm.DefaultGatewayPort = 7070;
        CCommon::SetWorkPath(dir.Str());
    }
    void TearDown() override { CCommon::SetWorkPath(""); }

    void WriteSample(std::vector<DamageRequest> damages = {}) {
        SampleWorkDirOptions options;
        options.counts = {3, 2, 1};
        options.damages = std::move(damages);
        std::string report, error;
        ASSERT_TRUE(WriteSampleWorkDir(dir.Str(), options, report, error)) << error;
    }

    int Run(std::vector<CliCommand> commands, std::string op = "op", std::string pw = "pw") {
        CliSessionInput input;
        input.operatorName = std::move(op);
        input.password = std::move(pw);
        input.commands = std::move(commands);
        return RunCliSession(input, out);
    }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
};

} // namespace

TEST(CliSessionNoCommunication, ReportsTheWindowsMessageAndExitStatus3) {
    ScopedCommunication none{nullptr};
    std::ostringstream out;
    CliSessionInput input{"op", "pw", std::nullopt, std::nullopt, {CliCommand::Load}, std::nullopt};
    EXPECT_EQ(RunCliSession(input, out), kCliNoCommunication);
    EXPECT_EQ(out.str(), "[提示]\n获得通讯句柄错误!\n\n");
}

TEST_F(SessionFixture, DefaultsFromTheCommunicationObjectReachTheLoginUnchanged) {
    comm.DefaultGatewayPort = 0; // a port of zero is the digit zero, not an empty field
    WriteSample();
    EXPECT_EQ(Run({CliCommand::Load}, "  "), kCliSuccess);
    ASSERT_EQ(comm.CountCalls("Login"), 1);
    for (const auto& call : comm.calls) {
        if (call.name == "Login") {
            EXPECT_EQ(call.args, (std::vector<std::string>{"CTX00001", "  ", "pw", "ZANTHO00", "E0",
                                                           "127.0.0.1", "0"}));
        }
    }
    EXPECT_EQ(comm.CountCalls("Close"), 1);
}

TEST_F(SessionFixture, NegativeDefaultPortIsAnEmptyFieldAsInTheWindow) {
    comm.DefaultGatewayPort = -1;
    WriteSample();
    EXPECT_EQ(Run({CliCommand::Load}, "op"), kCliStepFailed);
    EXPECT_EQ(out.str(), "[提示]\n请输入正确的网关端口号!\n\n");
    EXPECT_EQ(comm.CountCalls("Login"), 0);
}

TEST_F(SessionFixture, GivenGatewayReplacesTheDefaults) {
    WriteSample();
    CliSessionInput input{"op", "pw", "gw", "", {CliCommand::Load}, std::nullopt};
    EXPECT_EQ(RunCliSession(input, out), kCliStepFailed);
    EXPECT_EQ(out.str(), "[提示]\n请输入正确的网关端口号!\n\n");
    EXPECT_EQ(comm.CountCalls("Login"), 0);
}

TEST_F(SessionFixture, EmptyPasswordGetsTheWindowsMessage) {
    EXPECT_EQ(Run({CliCommand::Load}, "op", ""), kCliStepFailed);
    EXPECT_EQ(out.str(), "[提示]\n请输入正确的密码!\n\n");
}

TEST_F(SessionFixture, RefusedLoginPrintsTheGatewaysTextAndRunsNoCommand) {
    WriteSample();
    comm.loginResult = -1;
    comm.failureText = "操作员或密码错误";
    EXPECT_EQ(Run({CliCommand::Load, CliCommand::UploadAll}), kCliStepFailed);
    EXPECT_EQ(out.str(), "[提示]\n操作员或密码错误\n\n");
    EXPECT_EQ(comm.CountCalls("SendAndReceive"), 0);
    EXPECT_EQ(comm.CountCalls("Close"), 1);
}

TEST_F(SessionFixture, LoadPrintsBothListsReserveFirstWithEveryColumn) {
    WriteSample();
    EXPECT_EQ(Run({CliCommand::Load, CliCommand::Load}), kCliSuccess);
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 3u + 2u + 3u); // login block, 2 reserve rows, 3 bank rows
    EXPECT_EQ(lines[0], "[提示]");
    EXPECT_EQ(lines[1], "登录成功!");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3].rfind("reserve\t1\t\t\t", 0), 0u) << lines[3];
    EXPECT_EQ(lines[4].rfind("reserve\t2\t", 0), 0u);
    EXPECT_EQ(lines[5].rfind("bank\t1\t\t\t", 0), 0u);
    EXPECT_EQ(lines[7].rfind("bank\t3\t", 0), 0u);
    // Five reserve columns and seven bank columns, after the list's name.
    EXPECT_EQ(std::count(lines[3].begin(), lines[3].end(), '\t'), 5);
    EXPECT_EQ(std::count(lines[5].begin(), lines[5].end(), '\t'), 7);
}

TEST_F(SessionFixture, FailedLoadPrintsItsMessageAndStopsTheRun) {
    WriteSample({{Damage::BadLength, "agbfj.dat"}});
    EXPECT_EQ(Run({CliCommand::Load, CliCommand::UploadAll}), kCliStepFailed);
    const std::string path = dir.Str() + "/localconfig/agbfj.dat";
    EXPECT_EQ(out.str(),
              "[提示]\n登录成功!\n\n[提示]\n资金账户配置文件[" + path + "]已经损坏！\n\n");
    EXPECT_EQ(comm.CountCalls("SendAndReceive"), 0);
}

TEST_F(SessionFixture, NothingToLoadIsAFailedStep) {
    EXPECT_EQ(Run({CliCommand::Load}), kCliStepFailed);
    EXPECT_NE(out.str().find("没有需要加载的数据!"), std::string::npos);
}

TEST_F(SessionFixture, UploadAllThenUploadEachRunInOrderAndFillTheResultColumns) {
    WriteSample();
    comm.responder = [](const std::string& body) { return AcceptAll(body); };
    EXPECT_EQ(Run({CliCommand::Load, CliCommand::UploadAll, CliCommand::UploadEach}), kCliSuccess);
    const std::string text = out.str();
    const auto success = text.find("[提示]\n上传数据成功!\n\n");
    const auto summary =
        text.find("[提示]\n上传A股备付金成功2条,失败0条;\n上传银行账户成功3条,失败0条;\n"
                  "具体请看列表中结果说明.\n\n");
    ASSERT_NE(success, std::string::npos) << text;
    ASSERT_NE(summary, std::string::npos) << text;
    EXPECT_LT(success, summary);
    EXPECT_EQ(comm.CountCalls("SendAndReceive"), 1 + 5);
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 3u + 3u + 5u + 2u + 3u); // blocks of 3, 3 and 5 lines, then rows
    for (std::size_t i = 11; i < lines.size(); ++i) {
        EXPECT_NE(lines[i].find("\t0000\tOK\t"), std::string::npos) << lines[i];
    }
}

TEST_F(SessionFixture, FailedUploadAllStopsBeforeTheNextCommand) {
    WriteSample();
    comm.responder = [](const std::string& body) {
        ResponseScript response;
        response.resultCodes.assign(body.size() / 572, "9720");
        return BuildResponse(response);
    };
    EXPECT_EQ(Run({CliCommand::Load, CliCommand::UploadAll, CliCommand::UploadEach}),
              kCliStepFailed);
    EXPECT_NE(out.str().find("服务器存在重复记录"), std::string::npos);
    EXPECT_EQ(comm.CountCalls("SendAndReceive"), 1);
    // The lists are printed even so, their result cells as the upload left them.
    EXPECT_NE(out.str().find("bank\t1\t \t\t"), std::string::npos) << out.str();
}

TEST_F(SessionFixture, ResultsFileHoldsBothListsWhateverTheSteps) {
    WriteSample();
    comm.responder = [](const std::string& body) { return AcceptAll(body); };
    const struct {
        const char* name;
        std::vector<CliCommand> commands;
        int status;
        const char* message; // part of what is printed
    } cases[] = {
        {"ok.csv", {CliCommand::Load, CliCommand::UploadAll}, kCliSuccess, "上传数据成功!"},
        // A path that cannot be written: a message and status 5, the lists still printed.
        {"missing/out.csv", {CliCommand::Load}, kCliJournalFailed, "导出结果失败："},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        out.str("");
        const std::string path = dir.Str() + "/" + c.name;
        CliSessionInput input{"op", "pw", std::nullopt, std::nullopt, c.commands, path};
        EXPECT_EQ(RunCliSession(input, out), c.status);
        EXPECT_NE(out.str().find(c.message), std::string::npos) << out.str();
        EXPECT_NE(out.str().find("bank\t3\t"), std::string::npos);
    }
    std::ifstream file(dir.Path() / "ok.csv", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u + 2u + 3u);
    EXPECT_EQ(lines[0], "\xEF\xBB\xBF账户类别,序号,结果代码,结果说明,备付金账户,账户名称,银行代码,"
                        "银行账户,账户全称,银行全称\r");
    EXPECT_EQ(lines[1].rfind("A股备付金账户,1,0000,OK,", 0), 0u) << lines[1];
    EXPECT_EQ(lines[5].rfind("银行账户,3,0000,OK,,,", 0), 0u) << lines[5];
}
