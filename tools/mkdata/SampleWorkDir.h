#pragma once
// Writes a work directory of sample account files, and spoils chosen files on
// request so that every loading message can be tried by hand or in a test.

#include "tools/mkdata/SampleAccounts.h"

#include <cstdint>
#include <string>
#include <vector>

enum class Damage {
    BadLength, // one byte more than whole records
    Truncated, // the last record cut in half
    Directory, // a directory where the file should be
    Empty,     // a file of length 0
    Missing,   // no file at all
};

struct DamageRequest {
    Damage damage;
    std::string fileName; // "yhzh.dat", "agbfj.dat" or "bgbfj.dat"
};

// Parses "KIND:FILE", KIND one of bad-length, truncated, directory, empty,
// missing and FILE one of yhzh, agbfj, bgbfj (".dat" optional). False on a
// malformed request.
bool ParseDamageRequest(const std::string& wanted, DamageRequest& request);

struct SampleWorkDirOptions {
    SampleCounts counts;
    std::uint32_t seed = 1;
    std::vector<DamageRequest> damages;
};

// Creates `workDir`/localconfig and writes the three files there, replacing
// earlier sample files (and an empty directory left in a file's place). Returns
// false with `error` set when something could not be written. `report` gets one
// line per file.
bool WriteSampleWorkDir(const std::string& workDir, const SampleWorkDirOptions& options,
                        std::string& report, std::string& error);
