#pragma once
// Counts, across the runs of one session, the records each run's message
// calls failed (an unknown outcome among them), so that a scheduler learns
// from the exit status that a run went through but left records behind. It
// sits in front of whoever records the runs and hands every call on.

#include "upload/RunObserver.h"
#include "upload/RunTally.h"

#include <cstdint>

class FailedRecordCounter : public upload::IRunObserver {
public:
    // `next` (not owned) gets every call; none when null.
    explicit FailedRecordCounter(upload::IRunObserver* next) : m_next(next) {}

    std::int64_t Failed() const { return m_failed; }

    void RunStarted(const upload::RunStart& start) override;
    bool RequestSending(std::span<const UploadRequestRecord> requests,
                        std::shared_ptr<const void> keepAlive) override;
    void RequestFinished(const upload::RequestReport& report) override;
    void RunEnded(upload::RunEnding ending, upload::WallClock::time_point when) override;
    void MessageShown(const std::string& message) override;
    void MessageDismissed(upload::WallClock::time_point when) override;

private:
    upload::IRunObserver* m_next;
    upload::RunTally m_tally;
    bool m_heldIsFailure = true;
    std::int64_t m_failed = 0;
};
