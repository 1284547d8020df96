#pragma once
// Every setting of the tool, read by one reader. Each value comes from the
// first source that holds a valid one: the environment, then
// $XDG_CONFIG_HOME/quillmark/quillmark.conf (~/.config/... when
// XDG_CONFIG_HOME is unset), then the default. A command-line option of a
// program (--workdir, --gateway) goes before all three.
//
// | Setting        | Environment               | quillmark.conf       | Default                  |
// |----------------|---------------------------|----------------------|--------------------------|
// | gatewayAddress | QUILLMARK_GATEWAY_ADDRESS | [gateway] address    | 127.0.0.1                |
// | gatewayPort    | QUILLMARK_GATEWAY_PORT    | [gateway] port       | 7070 (1 to 65535)        |
// | timeoutMs      | QUILLMARK_TIMEOUT_MS      | [gateway] timeout_ms | 10000 (1 to 86400000)    |
// | tls            | QUILLMARK_TLS             | [gateway] tls        | off                      |
// | tlsCaFile      | QUILLMARK_TLS_CA          | [gateway] ca_file    | none                     |
// | journalPath    | QUILLMARK_JOURNAL         | [journal] path       | see below                |
// | workDir        | QUILLMARK_WORKDIR         | [workdir] path       | the current directory    |
// | dailyOperator  | QUILLMARK_OPERATOR        | [daily] operator     | none                     |
// | keepDays       | QUILLMARK_KEEP_DAYS       | [daily] keep_days    | 90 (1 to 36500)          |
// | mail           | QUILLMARK_MAIL            | [daily] mail         | none                     |
// | waitSeconds    | QUILLMARK_WAIT_SECONDS    | [daily] wait_seconds | 600 (0 to 86400)         |
//
// The journal's default is $XDG_DATA_HOME/quillmark/journal.sqlite3
// (~/.local/share/... when XDG_DATA_HOME is unset).
//
// A number outside its range, or a switch that is none of 1/true/yes/on,
// 0/false/no/off, counts as not set and the next source is asked. Texts are
// trimmed; an empty one counts as not set. kTable below is this table in
// code: README.md and the manual pages follow it, and a test holds them to it.

#include "support/settings/ConfFile.h"

#include <functional>
#include <optional>
#include <string>
#include <variant>

namespace settings {

// Where the client looks for the gateway by default, and so where the
// simulator listens by default.
inline constexpr char kDefaultGatewayAddress[] = "127.0.0.1";
inline constexpr int kDefaultGatewayPort = 7070;

struct Settings {
    std::string gatewayAddress = kDefaultGatewayAddress; // pre-filled in the login fields
    int gatewayPort = kDefaultGatewayPort;               // pre-filled in the login fields
    int timeoutMs = 10'000;                              // every wait for the gateway
    bool tls = false;                                    // TLS to the gateway, certificate verified
    std::string tlsCaFile;                               // PEM authorities added to the system's
    std::string journalPath;                             // the operator's journal of upload runs
    std::string workDir;                                 // holds localconfig/ with the record files
    std::string dailyOperator; // the terminal front end's operator when --operator is not given
    int keepDays = 90;         // age in days at which a scheduled run removes results files
    std::string mail;          // who is mailed when a scheduled run goes wrong
    int waitSeconds = 600;     // wait for a work directory another run holds
};

using Field = std::variant<std::string Settings::*, int Settings::*, bool Settings::*>;

struct Entry {
    const char* environment; // the variable
    const char* fileKey;     // "group/key" in quillmark.conf
    Field field;
    int low = 0; // numbers only: the accepted range
    int high = 0;
};

inline constexpr Entry kTable[] = {
    {"QUILLMARK_GATEWAY_ADDRESS", "gateway/address", &Settings::gatewayAddress},
    {"QUILLMARK_GATEWAY_PORT", "gateway/port", &Settings::gatewayPort, 1, 65535},
    {"QUILLMARK_TIMEOUT_MS", "gateway/timeout_ms", &Settings::timeoutMs, 1, 24 * 3600 * 1000},
    {"QUILLMARK_TLS", "gateway/tls", &Settings::tls},
    {"QUILLMARK_TLS_CA", "gateway/ca_file", &Settings::tlsCaFile},
    {"QUILLMARK_JOURNAL", "journal/path", &Settings::journalPath},
    {"QUILLMARK_WORKDIR", "workdir/path", &Settings::workDir},
    {"QUILLMARK_OPERATOR", "daily/operator", &Settings::dailyOperator},
    {"QUILLMARK_KEEP_DAYS", "daily/keep_days", &Settings::keepDays, 1, 36500},
    {"QUILLMARK_MAIL", "daily/mail", &Settings::mail},
    {"QUILLMARK_WAIT_SECONDS", "daily/wait_seconds", &Settings::waitSeconds, 0, 24 * 3600},
};

// A variable's value, or nothing when it is not set.
using Environment = std::function<std::optional<std::string>(const char* name)>;

// The process's environment.
Environment ProcessEnvironment();

// The settings file's path, whether or not it exists.
std::string FilePath(const Environment& environment = ProcessEnvironment());

// Every setting from the process's environment and the settings file.
Settings Read();
// The same from the given sources, for tests.
Settings Read(const Environment& environment, const ConfFile& file);

} // namespace settings
