// The notice of a scheduled run that went wrong names what happened, the run
// and how to look at it.

#include "cli/RunNotice.h"
#include "cli/CliSession.h"

#include <gtest/gtest.h>

TEST(RunNotice, SaysWhatHappenedForEveryStatus) {
    const struct {
        int status;
        const char* what;
    } cases[] = {
        {kCliStepFailed, "a step failed"},
        {kCliUsageError, "it could not start (usage error)"},
        {kCliNoCommunication, "no communication object was available"},
        {kCliRecordsFailed, "records were not stored"},
        {kCliJournalFailed, "the journal or a results file could not be written"},
        {kCliWorkDirBusy, "the work directory was held by another run"},
    };
    for (const auto& c : cases) {
        RunNoticeFacts facts;
        facts.status = c.status;
        const RunNotice notice = DescribeRun(facts);
        EXPECT_EQ(notice.summary, "Quillmark daily run: " + std::string(c.what) + " (exit status " +
                                      std::to_string(c.status) + ")");
        EXPECT_NE(notice.body.find("journalctl --user -u quillmark-daily.service"),
                  std::string::npos);
    }
}

TEST(RunNotice, NamesTheRunAndHowToLookAtIt) {
    RunNoticeFacts facts;
    facts.status = kCliRecordsFailed;
    facts.workDir = "/srv/accounts";
    facts.runId = 42;
    facts.failedRecords = 2;
    facts.firstMessageLine = "上传A股备付金:新增1条,已存在50条,失败2条;";
    EXPECT_EQ(DescribeRun(facts).body,
              "Run 42 from /srv/accounts. 2 records not stored.\n"
              "上传A股备付金:新增1条,已存在50条,失败2条;\n"
              "Look at it with: quillmark-cli history 42 (or \"上传记录...\" in the window)\n"
              "Its output: journalctl --user -u quillmark-daily.service");

    facts.runId.reset();
    facts.detail = "password file '/run/c/quillmark-password' holds no password";
    facts.status = kCliUsageError;
    EXPECT_EQ(DescribeRun(facts).body,
              "No upload was recorded for /srv/accounts.\n"
              "password file '/run/c/quillmark-password' holds no password\n"
              "Its output: journalctl --user -u quillmark-daily.service");
}
