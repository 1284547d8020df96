// Of several exit statuses that apply to a run, the lowest that is not 0 is
// given, and each has its documented number.

#include "cli/CliOptions.h"
#include "cli/CliSession.h"

#include <gtest/gtest.h>

TEST(ExitStatus, NumbersAreThoseDocumented) {
    const struct {
        int status;
        int number;
        const char* usage; // its line in --help
    } cases[] = {
        {kCliSuccess, 0, "0  every step succeeded"},
        {kCliStepFailed, 1, "1  a step failed"},
        {kCliUsageError, 2, "2  usage error"},
        {kCliNoCommunication, 3, "3  no communication object"},
        {kCliRecordsFailed, 4, "4  every step succeeded, but"},
        {kCliJournalFailed, 5, "5  the journal or a results file"},
        {kCliWorkDirBusy, 6, "6  the work directory is held"},
    };
    const std::string usage = CliUsageText();
    for (const auto& c : cases) {
        EXPECT_EQ(c.status, c.number);
        EXPECT_NE(usage.find(c.usage), std::string::npos) << c.usage;
    }
}

TEST(ExitStatus, LowestNonZeroWins) {
    const struct {
        int current, another, combined;
    } cases[] = {
        {0, 0, 0}, {0, 4, 4}, {4, 0, 4}, {1, 4, 1}, {4, 1, 1},
        {4, 5, 4}, {5, 4, 4}, {5, 5, 5}, {2, 6, 2}, {6, 3, 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CombineExitStatus(c.current, c.another), c.combined)
            << c.current << " with " << c.another;
}
