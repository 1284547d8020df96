#pragma once
// The simulator's command line.
//
//   quillmark-gateway [--listen HOST:PORT] [--db FILE|:memory:] [--operators FILE]
//                     [--header-mode 0|1] [--gateway-id ID] [--fault ITEM]...
//                     [--lockout-ms MS] [--login-timeout-ms MS] [--idle-timeout-ms MS]
//                     [--tls-cert FILE --tls-key FILE]
//   quillmark-gateway add-operator --operators FILE [--participant CODE] NAME

#include "gateway/GatewayConfig.h"

#include <string>
#include <vector>

struct GatewayCommand {
    enum class Kind { Serve, AddOperator, Help, Version } kind = Kind::Serve;
    GatewayConfig config;                          // Serve
    std::string operatorsFile;                     // Serve (optional) and AddOperator
    std::string participant = kDefaultParticipant; // AddOperator
    std::string operatorName;                      // AddOperator
};

// False with `error` on an unknown option or a malformed value.
bool ParseGatewayCommand(const std::vector<std::string>& args, GatewayCommand& command,
                         std::string& error);

const char* GatewayUsage();
