// Runs quillmark-cli as an operator's script would, against quillmark-gateway on
// loopback with data written by quillmark-mkdata.

#include "CliTempDir.h"
#include "ProgramRun.h"
#include "support/Text.h"

#include <QProcessEnvironment>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <sstream>

#include <unistd.h>

namespace {

using RunResult = ProgramRun;
const std::string kOperator = "操作员甲";
const std::string kPassword = "s3cret pass";

// A clean environment: no password or gateway settings from the caller's.
QProcessEnvironment CleanEnvironment(const std::string& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"QUILLMARK_PASSWORD", "QUILLMARK_GATEWAY_ADDRESS", "QUILLMARK_GATEWAY_PORT",
          "QUILLMARK_WORKDIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "QUILLMARK_JOURNAL"})
        env.remove(name);
    env.insert("HOME", QString::fromStdString(home));
    env.insert("LANG", "C.UTF-8");
    return env;
}

// A list row: its cells after "reserve" or "bank".
std::vector<std::vector<std::string>> Rows(const std::string& out, const std::string& list) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(list + "\t", 0) != 0)
            continue;
        std::vector<std::string> cells;
        std::size_t start = list.size() + 1;
        for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            cells.push_back(line.substr(start, tab - start));
        cells.push_back(line.substr(start));
        rows.push_back(cells);
    }
    return rows;
}

class EndToEnd : public ::testing::Test {
protected:
    CliTempDir dir;
    QProcessEnvironment env = CleanEnvironment(dir.Str());
    GatewayProcess gateway;
    std::string listen; // HOST:PORT the gateway reported

    void SetUp() override {
        const std::string operators = dir.Str() + "/operators";
        const RunResult added =
            RunProgram(QUILLMARK_GATEWAY_BIN, {"add-operator", "--operators", operators, kOperator},
                       kPassword + "\n", env);
        ASSERT_EQ(added.exitCode, 0) << added.err;
        const std::string failure = gateway.Start(QUILLMARK_GATEWAY_BIN, env, operators);
        ASSERT_EQ(failure, "");
        listen = gateway.Listen();
    }

    void MakeData(const std::string& workDir, std::vector<std::string> extra = {}) {
        extra.push_back(workDir);
        const RunResult made = RunProgram(QUILLMARK_MKDATA_BIN, extra, "", env);
        ASSERT_EQ(made.exitCode, 0) << made.err;
    }

    RunResult Cli(std::vector<std::string> commands, const std::string& workDir,
                  const std::string& passwordInput = kPassword + "\n") {
        std::vector<std::string> args{"--workdir",  workDir,   "--gateway",       listen,
                                      "--operator", kOperator, "--password-stdin"};
        args.insert(args.end(), commands.begin(), commands.end());
        return RunProgram(QUILLMARK_CLI_BIN, args, passwordInput, env);
    }
};

} // namespace

TEST_F(EndToEnd, UploadAllThenDuplicatesThenUploadEachCountsTheFailures) {
    const std::string work = dir.Str() + "/work";
    MakeData(work, {"--bank", "5", "--reserve", "4", "--b-share", "2"});

    // A fresh upload: every row accepted with code 0.
    RunResult run = Cli({"load", "upload-all"}, work);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("[提示]\n登录成功!\n\n[提示]\n上传数据成功!\n\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("[状态] 正在登录...\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("[状态] 正在发送数据,请稍侯...\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("[状态]\n"), std::string::npos) << run.err;
    auto reserve = Rows(run.out, "reserve");
    auto bank = Rows(run.out, "bank");
    ASSERT_EQ(reserve.size(), 4u);
    ASSERT_EQ(bank.size(), 5u);
    for (const auto* rows : {&reserve, &bank}) {
        for (std::size_t i = 0; i < rows->size(); ++i) {
            const auto& row = (*rows)[i];
            EXPECT_EQ(row[0], std::to_string(i + 1));
            EXPECT_FALSE(text::TrimGbk(row[1]).empty()) << run.out;
            EXPECT_EQ(text::ParseDecimal32(row[1]), 0) << row[1] << " " << row[2];
        }
    }
    EXPECT_EQ(reserve[0].size(), 5u);
    EXPECT_EQ(bank[0].size(), 7u);

    // The same records again: the server holds them all.
    run = Cli({"load", "upload-all", "upload-each"}, work);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("[提示]\n上传失败,失败原因:服务器存在重复记录;\n"
                           "建议通过[逐笔上传]按钮上传列表中数据!\n\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("上传A股备付金成功"), std::string::npos) << "upload-each must not run";
    for (const auto& row : Rows(run.out, "reserve"))
        EXPECT_TRUE(row[1].empty() && row[2].empty()) << row[1];
    for (const auto& row : Rows(run.out, "bank"))
        EXPECT_TRUE(row[1] == " " && row[2].empty()) << row[1];

    // One by one: each record refused and counted, each row showing why; the
    // steps succeeded, but the run's message counts failures: status 4.
    run = Cli({"load", "upload-each"}, work);
    ASSERT_EQ(run.exitCode, 4) << run.out << run.err;
    EXPECT_NE(run.out.find("[提示]\n上传A股备付金成功0条,失败4条;\n上传银行账户成功0条,失败5条;\n"
                           "具体请看列表中结果说明.\n\n"),
              std::string::npos)
        << run.out;
    for (const auto& row : Rows(run.out, "reserve"))
        EXPECT_NE(text::ParseDecimal32(row[1]), 0) << row[1];
    for (const auto& row : Rows(run.out, "bank"))
        EXPECT_NE(text::ParseDecimal32(row[1]), 0) << row[1];
}

TEST_F(EndToEnd, UploadNewStoresWhatIsNewAndCountsWhatIsHeldAsHeld) {
    const std::string work = dir.Str() + "/daily";
    MakeData(work, {"--bank", "5", "--reserve", "4", "--b-share", "2"});
    RunResult run = Cli({"load", "upload-new"}, work);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("[提示]\n上传A股备付金:新增4条,已存在0条,失败0条;\n上传银行账户:新增5条,"
                           "已存在0条,失败0条;\n共发送请求1次,具体请看列表中结果说明.\n\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("[状态] 正在发送数据,第1轮,已发送9条,请稍侯...\n"), std::string::npos)
        << run.err;

    run = Cli({"load", "upload-new"}, work);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("新增0条,已存在4条,失败0条;\n上传银行账户:新增0条,已存在5条,失败0条;\n"
                           "共发送请求1次"),
              std::string::npos)
        << run.out;
    for (const auto& row : Rows(run.out, "bank"))
        EXPECT_EQ(row[1], "9721");
}

TEST_F(EndToEnd, DamagedFilesStopTheRunWithTheirMessage) {
    const std::string work = dir.Str() + "/damaged";
    MakeData(work, {"--damage", "bad-length:agbfj"});
    RunResult run = Cli({"load", "upload-all"}, work);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(
        run.out.find("[提示]\n资金账户配置文件[" + work + "/localconfig/agbfj.dat]已经损坏！\n\n"),
        std::string::npos)
        << run.out;
    EXPECT_EQ(run.err.find("正在发送数据"), std::string::npos) << "nothing may be uploaded";

    MakeData(work, {"--damage", "directory:yhzh"});
    run = Cli({"load"}, work);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("[提示]\n打开银行账户配置文件[" + work +
                           "/localconfig/yhzh.dat]失败，失败原因[21]！\n\n"),
              std::string::npos)
        << run.out;
    EXPECT_TRUE(Rows(run.out, "bank").empty());
}

TEST_F(EndToEnd, RefusedLoginShowsTheGatewaysTextAndRunsNothing) {
    const std::string work = dir.Str() + "/work";
    MakeData(work);
    const RunResult run = Cli({"load", "upload-all"}, work, "wrong password\n");
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.out.rfind("[提示]\n网关拒绝登录:", 0), 0u) << run.out;
    EXPECT_EQ(run.out.find("登录成功"), std::string::npos);
    EXPECT_TRUE(Rows(run.out, "reserve").empty() && Rows(run.out, "bank").empty());
}

TEST_F(EndToEnd, PasswordWithOrWithoutLineEndAndAnEmptyOne) {
    const std::string work = dir.Str() + "/work";
    MakeData(work, {"--count", "1"});
    EXPECT_EQ(Cli({"load"}, work, kPassword).exitCode, 0);
    EXPECT_EQ(Cli({"load"}, work, kPassword + "\r\n").exitCode, 0);
    const RunResult empty = Cli({"load"}, work, "");
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_EQ(empty.out, "[提示]\n请输入正确的密码!\n\n");
}

TEST_F(EndToEnd, BadInvocationsGetAMessageAndTheirExitStatus) {
    const std::string work = dir.Str() + "/work";
    MakeData(work, {"--count", "1"});

    // A port nobody listens on: bind one, then let it go.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const std::string closedPort = std::to_string(probe.serverPort());
    probe.close();
    RunResult run = RunProgram(QUILLMARK_CLI_BIN,
                               {"--workdir", work, "--gateway", "127.0.0.1:" + closedPort,
                                "--operator", kOperator, "--password-stdin", "load"},
                               kPassword + "\n", env);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("[提示]\n无法连接网关[127.0.0.1:" + closedPort + "]"), std::string::npos)
        << run.out;

    struct Case {
        std::vector<std::string> args;
        std::string needle;
    };
    const std::vector<Case> usage{
        {{"--operator", "op", "--password-stdin", "--verbose", "load"}, "unknown option"},
        {{"--operator", "op", "--password-stdin"}, "no command"},
        {{"--operator", "op", "--password-stdin", "--workdir", dir.Str() + "/nowhere", "load"},
         "does not exist"},
        {{"--operator", "op", "load"}, "no password"}, // no stdin option, no variable, no terminal
    };
    for (const auto& c : usage) {
        run = RunProgram(QUILLMARK_CLI_BIN, c.args, "pw\n", env);
        EXPECT_EQ(run.exitCode, 2) << c.needle;
        EXPECT_NE(run.err.find(c.needle), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }

    run = RunProgram(QUILLMARK_CLI_BIN, {}, "", env); // no arguments at all: the usage
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("Usage: quillmark-cli"), std::string::npos) << run.err;

    run = RunProgram(QUILLMARK_CLI_BIN, {"--help"}, "", env);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("Exit status"), std::string::npos);
}
