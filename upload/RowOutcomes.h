#pragma once
// What this session last learnt about each loaded row. Nothing reads the
// lists' cells back, so the core keeps the outcome of every row itself: the
// upload modes write it where they write results, a load starts it afresh.

#include "upload/UploadRecords.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace upload {

enum class RowOutcome : std::uint8_t {
    NotSent, // not sent since the load
    Stored,  // its result code was a success
    Held,    // 9720 or 9721: this participant already holds the account
    Refused, // any other result code
    Unknown, // its request failed; the gateway may or may not have stored it
};

enum class RowKind : std::uint8_t { Reserve, Bank };

// The outcome a result code stands for.
RowOutcome OutcomeOfCode(std::string_view code);
inline RowOutcome OutcomeOf(const UploadResultRecord& result) {
    return OutcomeOfCode(std::string_view(result.ResultCode, sizeof result.ResultCode));
}

class CRowOutcomes {
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

    // One request of every reserve row then every bank row: result k belongs
    // to row k of that order.
    void SetFromBatch(const std::vector<UploadResultRecord>& results);
    void SetAll(RowOutcome outcome);

private:
    const std::vector<RowOutcome>& Of(RowKind kind) const {
        return kind == RowKind::Reserve ? m_reserve : m_bank;
    }
    std::vector<RowOutcome> m_reserve;
    std::vector<RowOutcome> m_bank;
    std::uint64_t m_generation = 0;
};

} // namespace upload
