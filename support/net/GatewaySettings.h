#pragma once
// Where the network client finds its gateway and its timeout. Each value is
// taken from the first source that holds a valid one: the environment
// (QUILLMARK_GATEWAY_ADDRESS, QUILLMARK_GATEWAY_PORT, QUILLMARK_TIMEOUT_MS),
// then the [gateway] group of $XDG_CONFIG_HOME/quillmark/quillmark.conf
// (~/.config/... when XDG_CONFIG_HOME is unset), then the loopback defaults
// that match the gateway simulator.

#include <string>

struct GatewaySettings {
    std::string address = "127.0.0.1";
    int port = 7070;
    int timeoutMs = 10'000;
};

GatewaySettings ReadGatewaySettings();

// The settings file's path, whether or not it exists.
std::string GatewaySettingsFile();
