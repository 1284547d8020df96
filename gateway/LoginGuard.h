#pragma once
// Limits failed logins: after `maxFailures` failures in a row an operator name
// is locked for `lockout`; a success clears its count. Unknown names are
// counted too, so a lock does not tell whether a name exists. The clock is
// injected so tests need not sleep.

#include <chrono>
#include <functional>
#include <map>
#include <string>

using GatewayClock = std::function<std::chrono::steady_clock::time_point()>;

class LoginGuard {
public:
    LoginGuard(int maxFailures, std::chrono::milliseconds lockout, GatewayClock clock);

    bool IsLocked(const std::string& name);
    void RecordFailure(const std::string& name);
    void RecordSuccess(const std::string& name);

private:
    struct Track {
        int failures = 0;
        std::chrono::steady_clock::time_point lockedUntil{};
    };
    void Prune();

    int m_maxFailures;
    std::chrono::milliseconds m_lockout;
    GatewayClock m_clock;
    std::map<std::string, Track> m_tracks;
};
