#pragma once
// The final outcome of every row one run sent, and the counts the run's
// message, the journal and the tests read. A row sent in several requests of
// one run (a second round, a record sent again one by one) counts once, with
// the outcome of its last request.

#include "upload/RowOutcomes.h"

#include <cstdint>
#include <vector>

namespace upload {

struct OutcomeCounts {
    std::int64_t sent = 0; // rows with an outcome other than NotSent
    std::int64_t stored = 0;
    std::int64_t held = 0;
    std::int64_t refused = 0;
    std::int64_t notStored = 0;
    std::int64_t unknown = 0;

    // What the run's message calls failed: with `heldIsFailure` (the batch and
    // per-record modes) every row sent and not stored, else also not held.
    std::int64_t Failed(bool heldIsFailure) const {
        return sent - stored - (heldIsFailure ? 0 : held);
    }
    // The counter of one outcome (NotSent has none: it is not counted).
    std::int64_t* Of(RowOutcome outcome);
};

class RunTally {
public:
    // The row's outcome in this run, replacing an earlier one. NotSent leaves
    // the row as it is: a request that never left decides nothing.
    void Decide(RowRef row, RowOutcome outcome);
    RowOutcome Get(RowRef row) const;
    const OutcomeCounts& Counts(RowKind kind) const { return m_counts[Slot(kind)]; }

private:
    static int Slot(RowKind kind) { return kind == RowKind::Reserve ? 0 : 1; }
    std::vector<RowOutcome> m_rows[2];
    OutcomeCounts m_counts[2];
};

} // namespace upload
