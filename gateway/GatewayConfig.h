#pragma once
// Everything the simulator is started with. The command line fills it; tests
// fill it directly.

#include "gateway/GatewayFaults.h"
#include "gateway/LoginGuard.h"
#include "gateway/OperatorFile.h"
#include "support/settings/Settings.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

struct GatewayConfig {
    // Where the client looks by default. listenPort 0: any free port.
    std::string listenHost = settings::kDefaultGatewayAddress;
    std::uint16_t listenPort = settings::kDefaultGatewayPort;
    std::string dbPath = ":memory:";
    int headerMode = 0;
    std::string gatewayId = "GW000001"; // handed out as CommString2
    // Both set: clients must speak TLS, and the gateway shows this
    // certificate (PEM) and proves it with this key (PEM, unencrypted).
    std::string tlsCertFile;
    std::string tlsKeyFile;
    OperatorTable operators;

    int maxFailures = 5;
    std::chrono::milliseconds lockout{5 * 60 * 1000};
    std::chrono::milliseconds sessionLifetime{30 * 60 * 1000};
    int loginTimeoutMs = 10'000;           // a new connection must log in or resume by then
    int idleTimeoutMs = 300'000;           // a logged-in connection with no frame for this long
    int frameTimeoutMs = 30'000;           // a frame (or a reply) that stops moving for this long
    long long memoryBudget = 1536LL << 20; // bytes of requests and replies held at once
    int maxConnections = 256;

    GatewayFaults faults;
    GatewayClock clock; // null: the steady clock
    // One line per request; null: standard error.
    std::function<void(const std::string&)> log;
};
