#pragma once
// The simulated settlement system: decides a result code for every record of
// an upload body and stores the accepted accounts. A request that carries a
// duplicate-record code (9706, 9709, 9720, 9721) stores nothing; an invalid
// record (9715) is refused alone.

#include "gateway/SettlementStore.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct SettlementOutcome {
    std::vector<std::uint16_t> codes;    // one per record
    std::vector<std::uint8_t> badFields; // for 9715: the field found wrong
    std::size_t stored = 0;
    bool storeFailed = false;
    std::string storeError; // names the record it hit, when it hit one
};

// `body` holds whole 572-byte records. `done`, when given, follows the
// records done so far (each is checked, then stored or looked up; a record
// counts half for each step), for the keep-alives of a long request; it only
// grows, and reads the record count at the end.
SettlementOutcome Settle(SettlementStore& store, std::string_view body,
                         std::string_view participant, std::string_view gatewayId,
                         std::atomic<std::uint64_t>* done = nullptr);
