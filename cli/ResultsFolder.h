#pragma once
// The folder of results files a scheduled run keeps: one .csv file per list
// and run, named by the list and the run's local date and time
// ("reserve-20261208-073000.csv", "bank-20261208-073000.csv"), and tidied by
// age so that it does not grow without end.

#include <chrono>
#include <string>
#include <vector>

using ResultsClock = std::chrono::system_clock;

// The file name of `list`'s results ("reserve", "bank") of a run started at
// `started`, in local time.
std::string ResultsFileName(const std::string& list, ResultsClock::time_point started);

// Makes `dir` (and its parents) when missing, its own level readable by its
// owner only. Returns "" or why it cannot.
std::string MakeResultsFolder(const std::string& dir);

// A path in `dir` for `fileName` that no file holds yet: "-2", "-3", ... is
// put before the extension when a run of the same second wrote one.
std::string FreeResultsPath(const std::string& dir, const std::string& fileName);

struct TidyOutcome {
    std::vector<std::string> removed; // file names
    std::string error;                // the first failure, "" when none
};

// Removes the results files of `dir` whose name's date is more than
// `keepDays` days before `now`'s local date. Only names of the form that
// ResultsFileName makes are considered; a name dated after `now` (a clock
// that was set back) is kept.
TidyOutcome RemoveOldResults(const std::string& dir, int keepDays, ResultsClock::time_point now);
