#include "cli/CliOptions.h"

#include <gtest/gtest.h>

namespace {

CliParseResult Parse(std::vector<std::string> args, bool operatorConfigured = false) {
    return ParseCliOptions(args, operatorConfigured);
}

} // namespace

TEST(CliOptions, FullCommandLineInBothOptionForms) {
    const auto result = Parse({"--workdir", "/data", "--gateway=10.0.0.5:9000", "--operator",
                               "张三", "--password-stdin", "--results=out/结果.XLSX", "load",
                               "upload-all", "upload-each", "upload-new"});
    ASSERT_EQ(result.error, "");
    const CliOptions& o = result.options;
    EXPECT_EQ(o.workDir, "/data");
    EXPECT_EQ(o.gatewayAddress, "10.0.0.5");
    EXPECT_EQ(o.gatewayPort, "9000");
    EXPECT_EQ(o.operatorName, "张三");
    EXPECT_TRUE(o.passwordFromStdin);
    EXPECT_EQ(o.resultsPath, "out/结果.XLSX");
    EXPECT_EQ(o.commands, (std::vector<CliCommand>{CliCommand::Load, CliCommand::UploadAll,
                                                   CliCommand::UploadEach, CliCommand::UploadNew}));
}

TEST(CliOptions, GatewayDefaultsStayUnsetAndEmptyOrBlankValuesPassThrough) {
    auto result = Parse({"--operator", "", "load"});
    ASSERT_EQ(result.error, "");
    EXPECT_FALSE(result.options.gatewayAddress.has_value());
    EXPECT_EQ(result.options.operatorName, "");

    result = Parse({"--operator=  ", "--gateway", ":", "load"});
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.options.operatorName, "  ");
    EXPECT_EQ(result.options.gatewayAddress, "");
    EXPECT_EQ(result.options.gatewayPort, "");
}

TEST(CliOptions, GatewaySplitsAtTheLastColon) {
    std::string address, port;
    ASSERT_TRUE(SplitGatewayAddress("[::1]:7070", address, port));
    EXPECT_EQ(address, "::1");
    EXPECT_EQ(port, "7070");
    ASSERT_TRUE(SplitGatewayAddress("gw.example:abc", address, port));
    EXPECT_EQ(port, "abc"); // letters reach the login as typed
    EXPECT_FALSE(SplitGatewayAddress("gw.example", address, port));
}

TEST(CliOptions, UsageErrorsNameTheProblem) {
    struct Case {
        std::vector<std::string> args;
        std::string needle;
    };
    const std::vector<Case> cases{
        {{"--operator", "op", "--frobnicate", "load"}, "unknown option '--frobnicate'"},
        {{"--operator", "op"}, "no command"},
        {{"load"}, "--operator NAME is required"},
        {{"--operator", "op", "lod"}, "unknown command 'lod'"},
        {{"--operator", "op", "upload-all"}, "needs a load before it"},
        {{"--operator", "op", "--password", "secret", "load"}, "never taken from the command line"},
        {{"--operator", "op", "--password=secret", "load"}, "never taken from the command line"},
        {{"--operator", "op", "--gateway", "hostonly", "load"}, "not HOST:PORT"},
        {{"--operator", "op", "--gateway"}, "--gateway needs HOST:PORT"},
        {{"--operator", "op", "--workdir", "", "load"}, "--workdir needs a directory"},
        {{"--operator", "op", "--password-stdin=x", "load"}, "takes no value"},
        {{"--operator", "op", "--results", "r.xls", "load"}, "must end in .csv or .xlsx"},
        {{"--operator", "op", "load", "--results"}, "--results needs a file name"},
        {{"--operator", "op", "--password-file", "", "load"}, "--password-file needs a file"},
        {{"--operator", "op", "--password-stdin", "--password-file", "f", "load"}, "one way"},
        {{"--operator", "op", "load", "--results-dir"}, "--results-dir needs a directory"},
        {{"--operator", "op", "--scheduled=yes", "load"}, "--scheduled takes no value"},
        {{"--operator", "op", "--wait", "-1", "load"}, "not a number of seconds"},
        {{"--operator", "op", "--wait", "86401", "load"}, "not a number of seconds"},
        {{"--operator", "op", "--wait=1s", "load"}, "not a number of seconds"},
    };
    for (const auto& c : cases) {
        const auto result = Parse(c.args);
        EXPECT_NE(result.error.find(c.needle), std::string::npos)
            << "args[0..]: " << (c.args.empty() ? "" : c.args.back()) << " error: " << result.error;
    }
}

TEST(CliOptions, HelpNeedsNothingElseAndDocumentsTheExitStatuses) {
    const auto result = Parse({"--help"});
    EXPECT_EQ(result.error, "");
    EXPECT_TRUE(result.options.help);
    const std::string usage = CliUsageText();
    for (const char* needle :
         {"--password-stdin", "QUILLMARK_PASSWORD", "[提示]", "[状态]", "upload-each", "upload-new",
          "0  every", "1  a step", "2  usage", "3  no comm"})
        EXPECT_NE(usage.find(needle), std::string::npos) << needle;
}

TEST(CliOptions, ScheduledRunOptions) {
    const auto result = Parse({"--scheduled", "--password-file", "/run/pw", "--results-dir=/var/r",
                               "--wait", "0", "load", "upload-new"},
                              true);
    ASSERT_EQ(result.error, "");
    const CliOptions& o = result.options;
    EXPECT_TRUE(o.scheduled);
    EXPECT_EQ(o.passwordFile, "/run/pw");
    EXPECT_EQ(o.resultsDir, "/var/r");
    EXPECT_EQ(o.waitSeconds, 0);
    EXPECT_FALSE(o.operatorName) << "the settings' operator is taken later";
    EXPECT_NE(Parse({"load"}, false).error.find("--operator NAME is required"), std::string::npos);
}

TEST(CliOptions, ArgumentsAfterDoubleDashAreCommands) {
    const auto result = Parse({"--operator", "op", "--", "load"});
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.options.commands.size(), 1u);
}
