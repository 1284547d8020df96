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
    // TLS to the gateway: off by default; QUILLMARK_TLS=1 or tls=true turns
    // it on, with the certificate always verified. caFile (QUILLMARK_TLS_CA,
    // ca_file) adds the authorities of a PEM file to the system's.
    bool tls = false;
    std::string caFile;
};

GatewaySettings ReadGatewaySettings();

// The settings file's path, whether or not it exists.
std::string GatewaySettingsFile();

// The operator's journal: QUILLMARK_JOURNAL, else the [journal] path of the
// settings file, else $XDG_DATA_HOME/quillmark/journal.sqlite3
// (~/.local/share/... when XDG_DATA_HOME is unset).
std::string JournalFile();
