// quillmark-cli: the terminal front end. Reads the command line and the
// password, installs the network communication object with its status line on
// standard error, and hands over to the session.

#include "cli/CliHistory.h"
#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "cli/NoticeDelivery.h"
#include "cli/PasswordFile.h"
#include "cli/PasswordInput.h"
#include "cli/ResultsFolder.h"
#include "cli/TerminalMainWindow.h"
#include "cli/TerminalWaitHook.h"
#include "journal/JournalReader.h"
#include "journal/JournalWriter.h"
#include "quillmark/Version.h"
#include "support/Common.h"
#include "support/Communication.h"
#include "support/WorkDirLock.h"
#include "support/net/NetworkCommunication.h"
#include "support/settings/Settings.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace {

// What the program said last of a problem, for a scheduled run's notice.
std::string g_lastProblem;
// The work directory, once known.
std::string g_workDir;

int UsageError(const std::string& message) {
    std::cerr << "quillmark-cli: " << message << "\nTry 'quillmark-cli --help'.\n";
    g_lastProblem = message;
    return kCliUsageError;
}

bool IsDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// The service manager's credential, when it handed one over.
std::optional<std::string> CredentialPath() {
    const char* directory = std::getenv("CREDENTIALS_DIRECTORY");
    if (directory == nullptr || *directory == '\0')
        return std::nullopt;
    const std::string path = std::string(directory) + "/" + kPasswordCredential;
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return std::nullopt;
    return path;
}

// The newest run of the journal, when there is a journal to read.
std::optional<journal::RunInfo> NewestRun(const std::string& journalPath) {
    std::error_code error;
    if (!std::filesystem::exists(journalPath, error))
        return std::nullopt;
    std::string failure;
    auto reader = journal::JournalReader::Open(journalPath, failure);
    if (!reader)
        return std::nullopt;
    auto runs = reader->Runs();
    if (runs.empty())
        return std::nullopt;
    return runs.front();
}

// Tells someone that a scheduled run ended with `status`: the desktop, else
// the user's journal; and a mail when an address is set.
void NotifyScheduledRun(int status, const settings::Settings& configured,
                        std::int64_t newestRunBefore, int argc, char** argv) {
    std::optional<QCoreApplication> app;
    if (QCoreApplication::instance() == nullptr)
        app.emplace(argc, argv);
    RunNoticeFacts facts;
    facts.status = status;
    facts.workDir = g_workDir;
    facts.detail = g_lastProblem;
    if (const auto run = NewestRun(configured.journalPath);
        run && run->id > newestRunBefore && run->origin == "scheduled") {
        facts.runId = run->id;
        facts.failedRecords = run->reserve.failed + run->bank.failed;
        facts.firstMessageLine = run->message.substr(0, run->message.find('\n'));
    }
    const RunNotice notice = DescribeRun(facts);
    if (const std::string why = ShowDesktopNotification(notice); !why.empty()) {
        std::cerr << "quillmark-cli: no desktop notification (" << why << ")\n";
        WarnInUserJournal(notice);
    }
    if (!configured.mail.empty())
        if (const std::string why = MailNotice(configured.mail, notice); !why.empty())
            std::cerr << "quillmark-cli: no mail: " << why << '\n';
}

int RunProgram(int argc, char** argv, const std::vector<std::string>& args,
               const settings::Settings& configured) {
    const CliParseResult parsed = ParseCliOptions(args, !configured.dailyOperator.empty());
    if (!parsed.error.empty())
        return UsageError(parsed.error);
    const CliOptions& options = parsed.options;
    if (options.help) {
        std::cout << CliUsageText();
        return kCliSuccess;
    }
    if (options.version) {
        std::cout << "quillmark-cli " << quillmark::kVersion << '\n';
        return kCliSuccess;
    }

    // A work directory that is not there would only read as "no data to load";
    // say what is wrong instead. --workdir goes before the setting.
    CCommon::SetWorkPath(options.workDir ? *options.workDir : configured.workDir);
    std::string workDir;
    if (CCommon::GetWorkPath(workDir) == 0)
        return UsageError("cannot determine the work directory");
    g_workDir = workDir;
    if (!IsDirectory(workDir))
        return UsageError("work directory '" + workDir + "' does not exist or is not a directory");

    CliSessionInput input;
    input.operatorName = options.operatorName.value_or(configured.dailyOperator);
    input.gatewayAddress = options.gatewayAddress;
    input.gatewayPort = options.gatewayPort;
    input.commands = options.commands;
    input.resultsPath = options.resultsPath;
    if (options.passwordFromStdin) {
        const auto password = ReadPasswordLine(std::cin);
        if (!password)
            return UsageError("the password on standard input is longer than " +
                              std::to_string(kMaxPasswordLength) + " bytes");
        input.password = *password;
    } else if (options.passwordFile) {
        const PasswordFileResult fromFile = ReadPasswordFile(*options.passwordFile);
        if (!fromFile.error.empty())
            return UsageError(fromFile.error);
        input.password = fromFile.password;
    } else if (const char* fromEnvironment = std::getenv("QUILLMARK_PASSWORD")) {
        input.password = fromEnvironment;
    } else if (const auto credential = CredentialPath()) {
        const PasswordFileResult fromFile = ReadPasswordFile(*credential);
        if (!fromFile.error.empty())
            return UsageError(fromFile.error);
        input.password = fromFile.password;
    } else {
        const auto password = AskPasswordOnTerminal("密码：");
        if (!password)
            return UsageError("no password: give it with --password-stdin, --password-file, "
                              "QUILLMARK_PASSWORD or the credential " +
                              std::string(kPasswordCredential) +
                              ", or run on a terminal to be asked for it");
        input.password = *password;
    }

    input.resultsDir = options.resultsDir;
    input.origin = options.scheduled ? "scheduled" : "terminal";

    // One run at a time per work directory: the window and other runs take
    // the same lock. Held until the program ends.
    workdir::Lock workDirLock(workDir,
                              options.scheduled ? "quillmark-cli --scheduled" : "quillmark-cli");
    const int waitSeconds = options.waitSeconds.value_or(configured.waitSeconds);
    const auto locked =
        workDirLock.Acquire(std::chrono::seconds(waitSeconds), [&](const std::string& holder) {
            std::cerr << "[等待] work directory '" << workDir << "' is in use by "
                      << (holder.empty() ? "another run" : holder) << "; waiting up to "
                      << waitSeconds << " s\n"
                      << std::flush;
        });
    if (locked == workdir::Lock::Result::Busy) {
        const std::string holder = workDirLock.Holder();
        g_lastProblem = "work directory '" + workDir + "' is still in use by " +
                        (holder.empty() ? "another run" : holder) + " after " +
                        std::to_string(waitSeconds) + " s; nothing was uploaded";
        std::cerr << "quillmark-cli: " << g_lastProblem << '\n';
        return kCliWorkDirBusy;
    }
    if (locked == workdir::Lock::Result::Unavailable)
        std::cerr << "quillmark-cli: no lock on the work directory (" << workDirLock.Error()
                  << "); going on without it\n";

    // A scheduled run tidies the results folder before it adds to it.
    int tidyStatus = kCliSuccess;
    if (options.scheduled && options.resultsDir) {
        std::error_code error;
        if (std::filesystem::is_directory(*options.resultsDir, error)) {
            const TidyOutcome tidied =
                RemoveOldResults(*options.resultsDir, configured.keepDays, input.startedAt);
            for (const std::string& name : tidied.removed)
                std::cerr << "quillmark-cli: removed " << name << " (older than "
                          << configured.keepDays << " days)\n";
            if (!tidied.error.empty()) {
                std::cerr << "quillmark-cli: " << tidied.error << '\n';
                tidyStatus = kCliJournalFailed;
            }
        }
    }

    QCoreApplication app(argc, argv);
    CNetworkCommunication communication(configured);
    communication.SetStatusSink([](const std::string& text) {
        std::cerr << FormatStatusLine(text) << '\n' << std::flush;
    });
    CTerminalWaitHook waitHook(std::cerr);
    if (StandardErrorIsTerminal())
        communication.SetWaitHook(&waitHook);
    SetGolbalCommunicaHandle(&communication);
    journal::JournalWriter journal(configured.journalPath);
    input.journal = &journal;
    const int status = RunCliSession(input, std::cout);
    SetGolbalCommunicaHandle(nullptr);
    return CombineExitStatus(status, tidyStatus);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << CliUsageText();
        return kCliUsageError;
    }
    // Every setting read once, here.
    const settings::Settings configured = settings::Read();
    // The journal needs no gateway, operator or load.
    if (args.front() == "history")
        return RunCliHistory({args.begin() + 1, args.end()}, configured.journalPath, std::cout,
                             std::cerr);
    // Looked for before parsing: a scheduled run that cannot even start is told too.
    const bool scheduled = std::find(args.begin(), args.end(), "--scheduled") != args.end();
    std::int64_t newestRunBefore = 0;
    if (scheduled)
        if (const auto run = NewestRun(configured.journalPath))
            newestRunBefore = run->id;
    const int status = RunProgram(argc, argv, args, configured);
    if (scheduled && status != kCliSuccess)
        NotifyScheduledRun(status, configured, newestRunBefore, argc, argv);
    return status;
}
