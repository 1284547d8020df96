#include "cli/RunNotice.h"

#include "cli/CliSession.h"

namespace {

const char* WhatHappened(int status) {
    switch (status) {
    case kCliStepFailed:
        return "a step failed";
    case kCliUsageError:
        return "it could not start (usage error)";
    case kCliNoCommunication:
        return "no communication object was available";
    case kCliRecordsFailed:
        return "records were not stored";
    case kCliJournalFailed:
        return "the journal or a results file could not be written";
    case kCliWorkDirBusy:
        return "the work directory was held by another run";
    default:
        return "it ended abnormally";
    }
}

} // namespace

RunNotice DescribeRun(const RunNoticeFacts& facts) {
    RunNotice notice;
    notice.summary = "Quillmark daily run: " + std::string(WhatHappened(facts.status)) +
                     " (exit status " + std::to_string(facts.status) + ")";
    std::string& body = notice.body;
    if (facts.runId) {
        const std::string run = std::to_string(*facts.runId);
        body += "Run " + run;
        if (!facts.workDir.empty())
            body += " from " + facts.workDir;
        body += ".";
        if (facts.failedRecords > 0)
            body += " " + std::to_string(facts.failedRecords) + " record" +
                    (facts.failedRecords == 1 ? "" : "s") + " not stored.";
        if (!facts.firstMessageLine.empty())
            body += "\n" + facts.firstMessageLine;
        body += "\nLook at it with: quillmark-cli history " + run +
                " (or \"上传记录...\" in the window)";
    } else {
        body += "No upload was recorded";
        if (!facts.workDir.empty())
            body += " for " + facts.workDir;
        body += ".";
    }
    if (!facts.detail.empty())
        body += "\n" + facts.detail;
    body += "\nIts output: journalctl --user -u quillmark-daily.service";
    return notice;
}
