#pragma once
// Faults the simulator can play, for tests: a delayed reply, slow work on an
// upload, a connection cut
// after N bytes of a reply, garbage instead of a reply, a forced header return
// code, a reply in the other header mode. Each hits the replies of `target`
// ("login", "serial", "upload" or "all"), the first `times` of them (-1: all).

#include <string>

struct GatewayFaults {
    int delayMs = 0;
    int workMs = 0; // an upload's processing takes this much longer, spread over its records
    long long closeAfterBytes = -1;
    bool garbage = false;
    std::string returnCode; // upload replies: refuse with this code instead of processing
    int headerMode = -1;    // login replies announce it; upload replies use its prefix
    int times = -1;
    std::string target = "upload";

    bool Any() const {
        return delayMs > 0 || workMs > 0 || closeAfterBytes >= 0 || garbage ||
               !returnCode.empty() || headerMode >= 0;
    }
    bool Hits(const char* replyKind) const { return target == "all" || target == replyKind; }
};

// Adds one "--fault" item: delay=MS, work=MS, close-after=N, garbage, return-code=XXXX,
// header-mode=N, times=K, target=login|serial|upload|all.
bool ParseFault(const std::string& item, GatewayFaults& faults, std::string& error);
