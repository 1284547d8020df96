#pragma once
// One run of the terminal front end: the login, then each command, as an
// operator would press the window's buttons, through the same core objects.

#include "cli/CliOptions.h"

#include <chrono>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace journal {
class IJournal;
}

// Exit statuses of quillmark-cli.
enum CliExitStatus : int {
    kCliSuccess = 0,
    kCliStepFailed = 1,
    kCliUsageError = 2,
    kCliNoCommunication = 3,
    // Every step succeeded, but a run's message counts failed (or unknown) records.
    kCliRecordsFailed = 4,
    // The journal could not record a run, or a results file could not be written.
    kCliJournalFailed = 5,
    kCliWorkDirBusy = 6, // another run holds the work directory
};

// Of two statuses that both apply, the one given: the lowest that is not 0.
int CombineExitStatus(int current, int another);

struct CliSessionInput {
    std::string operatorName;
    std::string password;
    // Unset: the communication object's defaults, as the window pre-fills them.
    std::optional<std::string> gatewayAddress;
    std::optional<std::string> gatewayPort;
    std::vector<CliCommand> commands;
    // Where both lists are exported after the last command; unset: nowhere.
    std::optional<std::string> resultsPath;
    // Where a results file per list is written after the last command; unset: nowhere.
    std::optional<std::string> resultsDir{};
    // When the session started: names the files in resultsDir.
    std::chrono::system_clock::time_point startedAt = std::chrono::system_clock::now();
    // The front end the journal records for the runs ("terminal", "scheduled").
    std::string origin = "terminal";
    // Where the runs are recorded (not owned); none when null.
    journal::IJournal* journal = nullptr;
    // Where the journal's problems and waits are told (not owned).
    std::ostream* err = &std::cerr;
};

// Runs the login and the commands against the process-wide communication
// object. Messages and, at the end, both lists go to `out`. Returns a
// CliExitStatus. The communication object is closed on return, as the window
// closes it when it goes away.
int RunCliSession(const CliSessionInput& input, std::ostream& out);
