// quillmark-cli history: its output, exit statuses and usage errors.

#include "cli/CliHistory.h"
#include "journal/JournalWriter.h"
#include "tests/journal/JournalFiles.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

int LineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

} // namespace

TEST(CliHistory, ListsRunsAndResultsAndPrunes) {
    JournalDir dir;
    struct Case {
        std::vector<std::string> args;
        int status;
        int lines; // on standard output
        const char* inErr;
    };
    auto run = [&](const Case& c) {
        std::ostringstream out, err;
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_EQ(RunCliHistory(c.args, dir.File(), out, err), c.status) << err.str();
        EXPECT_EQ(LineCount(out.str()), c.lines) << out.str();
        EXPECT_NE(err.str().find(c.inErr), std::string::npos) << err.str();
        return out.str();
    };
    // No journal yet: no runs, and no run to show.
    run({{}, 0, 1, ""});
    run({{"1"}, 1, 0, "no run 1"});

    {
        journal::JournalWriter writer(dir.File());
        writer.SetSession({"张三", "10.1.2.3", 7070});
        BeginRun(writer, StartOf("全部上传", "/w", 0));
        const std::vector<UploadRequestRecord> requests = {
            ReserveRequest("000123", "甲\t公司"), ReserveRequest("000124", "乙"),
            BankRequest("0102", "6222", "丙", "工商银行")};
        const std::vector<UploadResultRecord> results = {ResultFor(requests[0], "0"),
                                                         ResultFor(requests[1], "9720", "重复"),
                                                         ResultFor(requests[2], "0")};
        Exchanged(writer, requests, results, {});
        Shown(writer, "第一行\n第二行");
        EndRun(writer);
    }
    const std::string runs = run({{}, 0, 2, ""});
    // The documented columns first, in their order; the later ones after them.
    EXPECT_NE(runs.find("\t张三\t10.1.2.3:7070\t全部上传\t2\t1\t1\t1\t1\t0\t第一行\\n第二行\t"
                        "1\t0\t0\t0\t0\t0\t0\t0\tterminal\tcompleted\t"),
              std::string::npos)
        << runs;
    const std::string results = run({{"1"}, 0, 4, ""});
    EXPECT_NE(results.find("reserve\t1\t0\t\t000123\t甲\\t公司\t\t\tstored\t1\t1\n"),
              std::string::npos)
        << results;
    EXPECT_NE(results.find("bank\t1\t0\t\t6222\t丙\t0102\t工商银行\tstored\t1\t1\n"),
              std::string::npos);
    EXPECT_NE(run({{"1", "--failed"}, 0, 2, ""}).find("9720\t重复"), std::string::npos);

    const Case refused[] = {
        {{"2"}, 1, 0, "no run 2"},
        {{"x1"}, 2, 0, "not a run number"},
        {{"--failed"}, 2, 0, "needs a run number"},
        {{"1", "2"}, 2, 0, "unexpected argument"},
        {{"--prune-before"}, 2, 0, "needs a date"},
        {{"--prune-before", "2026-02-30"}, 2, 0, "is not a date"},
        {{"--prune-before=26-01-01"}, 2, 0, "is not a date"},
        {{"1", "--prune-before", "2026-01-01"}, 2, 0, "takes no run number"},
    };
    for (const Case& c : refused)
        run(c);
    run({{"--prune-before", "2000-01-01"}, 0, 1, ""});
    run({{}, 0, 2, ""});
    EXPECT_EQ(run({{"--prune-before=2999-01-01"}, 0, 1, ""}), "removed 1 runs\n");
    run({{}, 0, 1, ""});
}
