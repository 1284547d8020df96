#include "cli/FailedRecordCounter.h"

#include <algorithm>
#include <utility>

void FailedRecordCounter::RunStarted(const upload::RunStart& start) {
    m_tally = upload::RunTally();
    m_heldIsFailure = start.heldIsFailure;
    if (m_next != nullptr)
        m_next->RunStarted(start);
}

bool FailedRecordCounter::RequestSending(std::span<const UploadRequestRecord> requests,
                                         std::shared_ptr<const void> keepAlive) {
    return m_next != nullptr ? m_next->RequestSending(requests, std::move(keepAlive)) : true;
}

void FailedRecordCounter::RequestFinished(const upload::RequestReport& report) {
    const std::size_t decided = std::min(report.rows.size(), report.outcomes.size());
    for (std::size_t i = 0; i < decided; ++i)
        m_tally.Decide(report.rows[i], report.outcomes[i]);
    if (m_next != nullptr)
        m_next->RequestFinished(report);
}

void FailedRecordCounter::RunEnded(upload::RunEnding ending, upload::WallClock::time_point when) {
    for (const auto kind : {upload::RowKind::Reserve, upload::RowKind::Bank})
        m_failed += m_tally.Counts(kind).Failed(m_heldIsFailure);
    if (m_next != nullptr)
        m_next->RunEnded(ending, when);
}

void FailedRecordCounter::MessageShown(const std::string& message) {
    if (m_next != nullptr)
        m_next->MessageShown(message);
}

void FailedRecordCounter::MessageDismissed(upload::WallClock::time_point when) {
    if (m_next != nullptr)
        m_next->MessageDismissed(when);
}
