#include "cli/ResultsFolder.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <regex>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::tm LocalTime(ResultsClock::time_point when) {
    const std::time_t seconds = ResultsClock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long DayNumber(int year, int month, int day) {
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

} // namespace

std::string ResultsFileName(const std::string& list, ResultsClock::time_point started) {
    const std::tm local = LocalTime(started);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return list + "-" + stamp + ".csv";
}

std::string MakeResultsFolder(const std::string& dir) {
    std::error_code error;
    if (fs::is_directory(dir, error))
        return "";
    fs::create_directories(dir, error);
    if (error)
        return "results folder '" + dir + "' cannot be made: " + error.message();
    fs::permissions(dir, fs::perms::owner_all, error);
    return "";
}

std::string FreeResultsPath(const std::string& dir, const std::string& fileName) {
    const fs::path name(fileName);
    fs::path candidate = fs::path(dir) / name;
    std::error_code error;
    for (int n = 2; fs::exists(candidate, error); ++n)
        candidate = fs::path(dir) /
                    (name.stem().string() + "-" + std::to_string(n) + name.extension().string());
    return candidate.string();
}

TidyOutcome RemoveOldResults(const std::string& dir, int keepDays, ResultsClock::time_point now) {
    static const std::regex kName(R"((reserve|bank)-(\d{4})(\d{2})(\d{2})-\d{6}(-\d+)?\.csv)");
    TidyOutcome outcome;
    const std::tm today = LocalTime(now);
    const long todayNumber = DayNumber(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday);
    std::error_code error;
    fs::directory_iterator entries(dir, error);
    if (error) {
        outcome.error = "results folder '" + dir + "' cannot be read: " + error.message();
        return outcome;
    }
    for (const fs::directory_entry& entry : entries) {
        const std::string name = entry.path().filename().string();
        std::smatch parts;
        if (!std::regex_match(name, parts, kName) || !entry.is_regular_file(error))
            continue;
        const long day = DayNumber(std::stoi(parts[2]), std::stoi(parts[3]), std::stoi(parts[4]));
        if (todayNumber - day <= keepDays)
            continue;
        if (fs::remove(entry.path(), error))
            outcome.removed.push_back(name);
        else if (error && outcome.error.empty())
            outcome.error = "results file '" + entry.path().string() +
                            "' cannot be removed: " + error.message();
    }
    return outcome;
}
