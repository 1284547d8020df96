#pragma once
// Slows failed logins by where they come from, besides the lockout by
// operator name: each failure from an address pushes that address's next
// password check further out (25 ms, doubling up to 2 s), and an address with
// failures gets one check at a time. A success from the address, or a quiet
// spell as long as the longest delay many times over, forgets its failures.
// The clock is injected so tests need not sleep.

#include "gateway/LoginGuard.h"

#include <chrono>
#include <map>
#include <string>

class SourceThrottle {
public:
    explicit SourceThrottle(GatewayClock clock);

    // The delay that `failures` failures in a row earn.
    static std::chrono::milliseconds Delay(int failures);

    // When the next check from `source` may start (the past when at once).
    std::chrono::steady_clock::time_point NotBefore(const std::string& source);
    // The delay the failures from `source` have earned so far (0 for none).
    std::chrono::milliseconds Penalty(const std::string& source);
    // True when checks from `source` go one at a time.
    bool OneAtATime(const std::string& source);
    void RecordFailure(const std::string& source);
    void RecordSuccess(const std::string& source);
    std::chrono::steady_clock::time_point Now() const { return m_clock(); }

private:
    struct Track {
        int failures = 0;
        std::chrono::steady_clock::time_point notBefore{};
    };
    const Track* Find(const std::string& source);
    void Prune();

    GatewayClock m_clock;
    std::map<std::string, Track> m_tracks;
};
