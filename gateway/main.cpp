// quillmark-gateway: plays the gateway and the settlement system behind it.

#include "gateway/GatewayOptions.h"
#include "gateway/GatewayServer.h"
#include "quillmark/Version.h"
#include "support/SecretWipe.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kDemoOperatorVariable = "QUILLMARK_GATEWAY_DEMO_OPERATOR";

int AddOperator(const GatewayCommand& command) {
    OperatorTable table;
    std::string error;
    if (QFile::exists(QString::fromStdString(command.operatorsFile)) &&
        !table.Load(command.operatorsFile, error)) {
        std::fprintf(stderr, "quillmark-gateway: %s\n", error.c_str());
        return 1;
    }
    std::string password((std::istreambuf_iterator<char>(std::cin)),
                         std::istreambuf_iterator<char>());
    const WipeOnExit wipePassword(password);
    if (!password.empty() && password.back() == '\n')
        password.pop_back();
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    if (password.empty()) {
        std::fprintf(stderr, "quillmark-gateway: no password on standard input\n");
        return 1;
    }
    table.Set(command.operatorName, command.participant, password);
    if (!table.Save(command.operatorsFile, error)) {
        std::fprintf(stderr, "quillmark-gateway: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "operator %s of participant %s saved in %s\n",
                 command.operatorName.c_str(), command.participant.c_str(),
                 command.operatorsFile.c_str());
    return 0;
}

// The demo operator's variable, taken out of the environment before anything
// else runs. unsetenv() only drops the pointer from `environ`; the bytes stay
// in the block the kernel laid out at exec, which /proc/PID/environ reads for
// the process's life, so they are overwritten there too.
std::string TakeDemoOperatorVariable() {
    const char* found = std::getenv(kDemoOperatorVariable);
    std::string value = found ? found : "";
    std::vector<char*> entries;
    const std::size_t nameLength = std::strlen(kDemoOperatorVariable);
    for (char** variable = environ; variable && *variable; ++variable)
        if (std::strncmp(*variable, kDemoOperatorVariable, nameLength) == 0 &&
            (*variable)[nameLength] == '=')
            entries.push_back(*variable);
    unsetenv(kDemoOperatorVariable);
    for (char* entry : entries) {
        volatile char* bytes = entry;
        for (std::size_t i = 0, size = std::strlen(entry); i < size; ++i)
            bytes[i] = '\0';
    }
    return value;
}

// NAME:PASSWORD from the environment, so that a demo needs no operators file
// and no password on a command line.
void AddDemoOperator(const std::string& value, OperatorTable& table) {
    if (value.empty())
        return;
    const auto colon = value.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == value.size()) {
        std::fprintf(stderr, "quillmark-gateway: %s must be NAME:PASSWORD\n",
                     kDemoOperatorVariable);
        return;
    }
    std::string password = value.substr(colon + 1);
    const WipeOnExit wipePassword(password);
    table.Set(value.substr(0, colon), kDefaultParticipant, password);
}

} // namespace

int main(int argc, char** argv) {
    std::string demoOperator = TakeDemoOperatorVariable();
    const WipeOnExit wipeDemoOperator(demoOperator);
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    GatewayCommand command;
    std::string error;
    if (!ParseGatewayCommand(args, command, error)) {
        std::fprintf(stderr, "quillmark-gateway: %s\n%s", error.c_str(), GatewayUsage());
        return 2;
    }
    if (command.kind == GatewayCommand::Kind::Help) {
        std::fputs(GatewayUsage(), stdout);
        return 0;
    }
    if (command.kind == GatewayCommand::Kind::Version) {
        std::printf("quillmark-gateway %s\n", quillmark::kVersion);
        return 0;
    }
    if (command.kind == GatewayCommand::Kind::AddOperator)
        return AddOperator(command);

    if (!command.operatorsFile.empty() &&
        !command.config.operators.Load(command.operatorsFile, error)) {
        std::fprintf(stderr, "quillmark-gateway: %s\n", error.c_str());
        return 1;
    }
    AddDemoOperator(demoOperator, command.config.operators);
    if (command.config.operators.Size() == 0)
        std::fprintf(stderr, "quillmark-gateway: no operators; every login will be refused\n");

    GatewayServer server(std::move(command.config));
    if (!server.Start(error)) {
        std::fprintf(stderr, "quillmark-gateway: %s\n", error.c_str());
        return 1;
    }
    if (!server.Config().tlsCertFile.empty())
        std::fprintf(stderr, "quillmark-gateway: TLS on, certificate %s\n",
                     server.Config().tlsCertFile.c_str());
    std::printf("listening on %s:%u\n", server.Host().c_str(),
                static_cast<unsigned>(server.Port()));
    std::fflush(stdout);
    return app.exec();
}
