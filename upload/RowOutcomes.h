#pragma once
// The outcome of a row, decided once where its result arrives, and what this
// session last learnt about each loaded row. Every consumer (the list row, the
// run's message, the next "upload new" run, the journal) takes the decision
// made here; none reads a result code again to judge it.

#include "upload/UploadRecords.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace upload {

// Numbered for the journal, which stores them: never renumber.
enum class RowOutcome : std::uint8_t {
    NotSent = 0,   // not sent (in this run, or since the load)
    Stored = 1,    // a success code in an accepted request
    Held = 2,      // 9720 or 9721: this participant already holds the account
    Refused = 3,   // any other code: the gateway refused this record
    NotStored = 4, // a success code or 9701 inside a refused request, which stores nothing
    Unknown = 5,   // its request got no readable reply: stored or not, nobody knows
};
inline constexpr int kRowOutcomeCount = 6;

enum class RowKind : std::uint8_t { Reserve, Bank };

// A row of one of the two lists. Compact, as a batch holds one per record.
struct RowRef {
    RowKind kind;
    std::uint32_t index;
};

// The one rule: `accepted` is false for a request the gateway refused as a
// whole (the exchange returned -2), true when it returned 1 or -3.
RowOutcome DecideRow(const UploadResultRecord& result, bool accepted);

// The last outcome of every loaded row in this session; a load starts it afresh.
class RowOutcomes {
public:
    // Every row not sent; also marks the rows as belonging to a new load.
    void Reset(std::size_t reserveRows, std::size_t bankRows);
    // Rows outside the load are ignored (NotSent when read).
    void Set(RowKind kind, std::size_t row, RowOutcome outcome);
    RowOutcome Get(RowKind kind, std::size_t row) const;
    std::size_t Rows(RowKind kind) const { return Of(kind).size(); }
    std::size_t Count(RowKind kind, RowOutcome outcome) const;
    // Changes with every Reset, so a run can tell that a load replaced its rows.
    std::uint64_t Generation() const { return m_generation; }

private:
    const std::vector<RowOutcome>& Of(RowKind kind) const {
        return kind == RowKind::Reserve ? m_reserve : m_bank;
    }
    std::vector<RowOutcome> m_reserve;
    std::vector<RowOutcome> m_bank;
    std::uint64_t m_generation = 0;
};

} // namespace upload
