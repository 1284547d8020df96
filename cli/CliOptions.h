#pragma once
// The terminal front end's command line: which gateway, which operator, which
// steps to run. Parsing is kept apart from running so that every usage error is
// found before anything is sent.

#include <optional>
#include <string>
#include <vector>

// The buttons an operator would press after the login, in the order given.
enum class CliCommand { Load, UploadAll, UploadEach, UploadNew };

struct CliOptions {
    bool help = false;
    bool version = false;
    std::optional<std::string> workDir;
    // From --gateway HOST:PORT; unset means the communication object's defaults.
    std::optional<std::string> gatewayAddress;
    std::optional<std::string> gatewayPort;
    std::optional<std::string> operatorName;
    bool passwordFromStdin = false;
    // From --password-file FILE: a file only its owner can read.
    std::optional<std::string> passwordFile;
    // From --results FILE: both lists written there after the last command.
    std::optional<std::string> resultsPath;
    // From --results-dir DIR: a results file per list and run, named by the
    // list and the run's date and time.
    std::optional<std::string> resultsDir;
    // --scheduled: the run comes from the schedule, not from someone at a terminal.
    bool scheduled = false;
    // From --wait SECONDS: how long to wait for a work directory another run holds.
    std::optional<int> waitSeconds;
    std::vector<CliCommand> commands;
};

struct CliParseResult {
    CliOptions options;
    std::string error; // empty when the command line is usable
};

// Parses the arguments after the program name. Accepts "--opt VALUE" and
// "--opt=VALUE". A password is never accepted here. `operatorConfigured`:
// the settings name an operator, so --operator may be left out.
CliParseResult ParseCliOptions(const std::vector<std::string>& args,
                               bool operatorConfigured = false);

// Longest --wait accepted: a day.
inline constexpr int kMaxWaitSeconds = 24 * 3600;

// Splits "HOST:PORT" at its last colon; "[v6addr]:PORT" loses its brackets.
// Either part may be empty: the login reports an empty field as the window does.
// Returns false when there is no colon at all.
bool SplitGatewayAddress(const std::string& hostPort, std::string& address, std::string& port);

const char* CliCommandName(CliCommand command);

// The text of --help.
std::string CliUsageText();
