#include "upload/RunTally.h"

namespace upload {

std::int64_t* OutcomeCounts::Of(RowOutcome outcome) {
    switch (outcome) {
    case RowOutcome::Stored:
        return &stored;
    case RowOutcome::Held:
        return &held;
    case RowOutcome::Refused:
        return &refused;
    case RowOutcome::NotStored:
        return &notStored;
    case RowOutcome::Unknown:
        return &unknown;
    case RowOutcome::NotSent:
        break;
    }
    return nullptr;
}

void RunTally::Decide(RowRef row, RowOutcome outcome) {
    if (outcome == RowOutcome::NotSent)
        return;
    std::vector<RowOutcome>& rows = m_rows[Slot(row.kind)];
    OutcomeCounts& counts = m_counts[Slot(row.kind)];
    if (row.index >= rows.size())
        rows.resize(row.index + 1, RowOutcome::NotSent);
    RowOutcome& current = rows[row.index];
    if (std::int64_t* before = counts.Of(current))
        --*before;
    else
        ++counts.sent;
    current = outcome;
    ++*counts.Of(outcome);
}

RowOutcome RunTally::Get(RowRef row) const {
    const std::vector<RowOutcome>& rows = m_rows[Slot(row.kind)];
    return row.index < rows.size() ? rows[row.index] : RowOutcome::NotSent;
}

} // namespace upload
