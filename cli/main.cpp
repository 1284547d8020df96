// quillmark-cli: the terminal front end. Reads the command line and the
// password, installs the network communication object with its status line on
// standard error, and hands over to the session.

#include "cli/CliHistory.h"
#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "cli/PasswordInput.h"
#include "cli/TerminalMainWindow.h"
#include "cli/TerminalWaitHook.h"
#include "journal/JournalWriter.h"
#include "quillmark/Version.h"
#include "support/Common.h"
#include "support/Communication.h"
#include "support/net/NetworkCommunication.h"
#include "support/settings/Settings.h"

#include <QCoreApplication>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

namespace {

int UsageError(const std::string& message) {
    std::cerr << "quillmark-cli: " << message << "\nTry 'quillmark-cli --help'.\n";
    return kCliUsageError;
}

bool IsDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
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
    const CliParseResult parsed = ParseCliOptions(args);
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
    if (!IsDirectory(workDir))
        return UsageError("work directory '" + workDir + "' does not exist or is not a directory");

    CliSessionInput input;
    input.operatorName = *options.operatorName;
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
    } else if (const char* fromEnvironment = std::getenv("QUILLMARK_PASSWORD")) {
        input.password = fromEnvironment;
    } else {
        const auto password = AskPasswordOnTerminal("密码：");
        if (!password)
            return UsageError("no password: give it with --password-stdin or QUILLMARK_PASSWORD, "
                              "or run on a terminal to be asked for it");
        input.password = *password;
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
    return status;
}
