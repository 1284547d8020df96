#pragma once
// What someone is told when a scheduled run did not go well: a summary line
// and a few lines of body, saying what happened, which run it was and how to
// look at it. Built here, sent by the program (a desktop notification, a
// journal line, a mail).

#include <cstdint>
#include <optional>
#include <string>

struct RunNotice {
    std::string summary;
    std::string body;
};

// What is known of the run when the program ends.
struct RunNoticeFacts {
    int status = 0;      // the exit status, not 0
    std::string workDir; // may be empty when it was never determined
    // The journal's number of the last run this program recorded, if any,
    // with what that run counted as failed and the first line of its message.
    std::optional<std::int64_t> runId;
    std::int64_t failedRecords = 0;
    std::string firstMessageLine;
    std::string detail; // what the program said last on standard error, if anything
};

// The summary and body for `facts`.
RunNotice DescribeRun(const RunNoticeFacts& facts);
