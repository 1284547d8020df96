#include "gateway/GatewayOptions.h"

#include "gateway/OptionNumber.h"

namespace {

bool ParseListen(const std::string& text, GatewayConfig& config) {
    const auto colon = text.rfind(':');
    long long port = 0;
    if (colon == std::string::npos || colon == 0 ||
        !ParseOptionNumber(text.substr(colon + 1), 0, 65535, port))
        return false;
    config.listenHost = text.substr(0, colon);
    config.listenPort = static_cast<std::uint16_t>(port);
    return true;
}

} // namespace

const char* GatewayUsage() {
    return "usage: quillmark-gateway [--listen HOST:PORT] [--db FILE|:memory:] [--operators FILE]\n"
           "                         [--header-mode 0|1] [--gateway-id ID] [--fault ITEM]...\n"
           "                         [--lockout-ms MS] [--login-timeout-ms MS] [--idle-timeout-ms "
           "MS]\n"
           "                         [--tls-cert FILE --tls-key FILE]\n"
           "       quillmark-gateway add-operator --operators FILE [--participant CODE] NAME\n"
           "       quillmark-gateway -h|--help|--version\n"
           "  (add-operator reads the password from standard input)\n"
           "fault items: delay=MS close-after=N garbage return-code=XXXX header-mode=N\n"
           "             times=K target=login|serial|upload|all\n";
}

bool ParseGatewayCommand(const std::vector<std::string>& args, GatewayCommand& command,
                         std::string& error) {
    std::size_t i = 0;
    if (!args.empty() && args[0] == "add-operator") {
        command.kind = GatewayCommand::Kind::AddOperator;
        ++i;
    }
    const bool adding = command.kind == GatewayCommand::Kind::AddOperator;
    GatewayConfig& config = command.config;
    for (; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--help" || option == "-h") {
            command.kind = GatewayCommand::Kind::Help;
            return true;
        }
        if (option == "--version") {
            command.kind = GatewayCommand::Kind::Version;
            return true;
        }
        const bool hasValue = i + 1 < args.size();
        const std::string value = hasValue ? args[i + 1] : "";
        long long number = 0;
        bool ok = hasValue;
        if (option == "--operators") {
            command.operatorsFile = value;
        } else if (adding && option == "--participant") {
            command.participant = value;
            ok = ok && OperatorTable::ValidParticipant(value);
        } else if (!adding && option == "--listen") {
            ok = ok && ParseListen(value, config);
        } else if (!adding && option == "--db") {
            config.dbPath = value;
            ok = ok && !value.empty();
        } else if (!adding && option == "--header-mode") {
            ok = ok && (value == "0" || value == "1");
            config.headerMode = value == "1" ? 1 : 0;
        } else if (!adding && option == "--tls-cert") {
            config.tlsCertFile = value;
            ok = ok && !value.empty();
        } else if (!adding && option == "--tls-key") {
            config.tlsKeyFile = value;
            ok = ok && !value.empty();
        } else if (!adding && option == "--gateway-id") {
            ok = ok && OperatorTable::ValidParticipant(value);
            config.gatewayId = value;
        } else if (!adding && option == "--fault") {
            if (ok && !ParseFault(value, config.faults, error))
                return false;
        } else if (!adding && option == "--lockout-ms") {
            ok = ok && ParseOptionNumber(value, 0, 86'400'000, number);
            config.lockout = std::chrono::milliseconds(number);
        } else if (!adding && option == "--login-timeout-ms") {
            ok = ok && ParseOptionNumber(value, 1, 86'400'000, number);
            config.loginTimeoutMs = static_cast<int>(number);
        } else if (!adding && option == "--idle-timeout-ms") {
            ok = ok && ParseOptionNumber(value, 1, 86'400'000, number);
            config.idleTimeoutMs = static_cast<int>(number);
        } else if (adding && option.rfind("--", 0) != 0 && command.operatorName.empty()) {
            command.operatorName = option;
            continue;
        } else {
            error = "unknown option: " + option;
            return false;
        }
        if (!ok) {
            error = "missing or malformed value for " + option;
            return false;
        }
        ++i;
    }
    if (config.tlsCertFile.empty() != config.tlsKeyFile.empty()) {
        error = "--tls-cert and --tls-key go together";
        return false;
    }
    if (adding &&
        (command.operatorsFile.empty() || !OperatorTable::ValidName(command.operatorName))) {
        error = "add-operator needs --operators FILE and a NAME";
        return false;
    }
    return true;
}
