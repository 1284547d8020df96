// The scheduled run's results files: named by list and local date and time,
// never overwritten, and removed once older than the days to keep.

#include "cli/ResultsFolder.h"
#include "CliTempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace {

// A local time as the system clock gives it.
ResultsClock::time_point LocalMoment(int year, int month, int day, int hour, int minute,
                                     int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return ResultsClock::from_time_t(std::mktime(&local));
}

void Touch(const std::filesystem::path& path) {
    std::ofstream(path) << "x";
}

} // namespace

TEST(ResultsFolder, NamesAFilePerListAndRunAndNeverReusesOne) {
    const auto when = LocalMoment(2026, 12, 8, 7, 30, 5);
    EXPECT_EQ(ResultsFileName("reserve", when), "reserve-20261208-073005.csv");
    EXPECT_EQ(ResultsFileName("bank", when), "bank-20261208-073005.csv");

    CliTempDir dir;
    const std::string name = ResultsFileName("bank", when);
    EXPECT_EQ(FreeResultsPath(dir.Str(), name), dir.Str() + "/" + name);
    Touch(dir.Path() / name);
    EXPECT_EQ(FreeResultsPath(dir.Str(), name), dir.Str() + "/bank-20261208-073005-2.csv");
    Touch(dir.Path() / "bank-20261208-073005-2.csv");
    EXPECT_EQ(FreeResultsPath(dir.Str(), name), dir.Str() + "/bank-20261208-073005-3.csv");
}

TEST(ResultsFolder, MakesAMissingFolderForItsOwnerOnly) {
    CliTempDir dir;
    const auto folder = dir.Path() / "state" / "results";
    EXPECT_EQ(MakeResultsFolder(folder.string()), "");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(std::filesystem::status(folder).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
    Touch(dir.Path() / "file");
    EXPECT_NE(MakeResultsFolder((dir.Path() / "file" / "sub").string()), "");
}

TEST(ResultsFolder, RemovesOnlyResultsFilesOlderThanTheDaysToKeep) {
    CliTempDir dir;
    const auto now = LocalMoment(2026, 12, 8, 7, 30, 0);
    const struct {
        const char* name;
        bool removed;
    } cases[] = {
        {"bank-20261208-073000.csv", false},    // today
        {"reserve-20260909-073000.csv", false}, // 90 days ago: kept
        {"reserve-20260908-235959.csv", true},  // 91 days ago
        {"bank-20251208-073000-2.csv", true},   // a year ago, a second file of its second
        {"bank-20270101-073000.csv", false},    // after today: the clock was set back
        {"notes-20200101-073000.csv", false},   // not a results file
        {"bank-20200101-073000.xlsx", false},   // not a results file
    };
    for (const auto& c : cases)
        Touch(dir.Path() / c.name);
    const TidyOutcome outcome = RemoveOldResults(dir.Str(), 90, now);
    EXPECT_EQ(outcome.error, "");
    for (const auto& c : cases) {
        EXPECT_EQ(!std::filesystem::exists(dir.Path() / c.name), c.removed) << c.name;
        EXPECT_EQ(std::count(outcome.removed.begin(), outcome.removed.end(), c.name),
                  c.removed ? 1 : 0)
            << c.name;
    }
    EXPECT_NE(RemoveOldResults((dir.Path() / "none").string(), 90, now).error, "");
}
