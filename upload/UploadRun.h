#pragma once
// What every upload mode runs with. RunServices is what a front end sets up
// once and what outlives a run: who records runs, where progress goes, the
// stop a close asks for, and what this session knows of each loaded row. A Run
// is one upload from start to message: it claims the services (one upload at a
// time), takes the decision on each row and hands it to the row outcomes, the
// run's tally and the observer, and shows the closing message.

#include "protocol/WireFormat.h"
#include "support/Communication.h"
#include "support/MainWindow.h"
#include "upload/LostRequests.h"
#include "upload/RowOutcomes.h"
#include "upload/RunObserver.h"
#include "upload/RunTally.h"

#include <functional>
#include <new>
#include <string>
#include <utility>

namespace upload {

class RunServices {
public:
    using ProgressListener = std::function<void(int done, int total)>;

    // Who records every run (not owned); none by default.
    void SetObserver(IRunObserver* observer) { m_observer = observer; }
    IRunObserver* Observer() const { return m_observer; }
    // Where the runs come from: "window", "terminal" or "scheduled".
    void SetOrigin(std::string origin) { m_origin = std::move(origin); }
    const std::string& Origin() const { return m_origin; }
    // After each record of the per-record mode: records finished and records of
    // the run; after each request of "upload new": records settled and records
    // it set out to send.
    void SetProgressListener(ProgressListener listener) { m_progress = std::move(listener); }
    const ProgressListener& Progress() const { return m_progress; }

    // Asks a running per-record or "upload new" run to stop after the request
    // in flight: no summary is shown and it returns 0.
    void RequestStop() { m_stopRequested = true; }
    bool StopRequested() const { return m_stopRequested; }
    // True while a run holds the services; a second upload started then
    // (through the pump) returns 0 at once and does nothing.
    bool IsUploading() const { return m_uploading; }

    RowOutcomes& Outcomes() { return m_outcomes; }
    const RowOutcomes& Outcomes() const { return m_outcomes; }
    // Requests of this session whose reply was lost, for "upload new" to ask
    // about again.
    LostRequests& Lost() { return m_lost; }

    // Field 1 of a request record holds six digits, so one request numbers
    // at most this many records. Lower only in tests, to reach the limit on
    // small numbers.
    static constexpr std::size_t kMaxRecordsPerRequest = protocol::kMaxRecords;

    // Called once by the next exchange when its request's body is built: from
    // then on the exchange reads the request records no more.
    void WhenBodyBuilt(std::function<void()> listener) { m_bodyBuilt = std::move(listener); }
    void BodyBuilt() {
        if (auto listener = std::exchange(m_bodyBuilt, nullptr))
            listener();
    }
    std::size_t RecordLimit() const { return m_recordLimit; }
    void SetRecordLimit(std::size_t limit) { m_recordLimit = limit; }

private:
    friend class Run;
    IRunObserver* m_observer = nullptr;
    std::string m_origin = "window";
    ProgressListener m_progress;
    bool m_stopRequested = false;
    bool m_uploading = false;
    RowOutcomes m_outcomes;
    LostRequests m_lost;
    std::size_t m_recordLimit = kMaxRecordsPerRequest;
    std::function<void()> m_bodyBuilt;
};

class Run {
public:
    // Claims the services unless a run holds them (Claimed() tells) and tells
    // the observer that the run started. `heldIsFailure`: whether the run's
    // message counts held accounts as failures.
    Run(RunServices& services, IPrompt* prompt, const std::string& mode, std::string workDir,
        bool heldIsFailure);
    // A run that did not reach End() ends here as failed.
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    bool Claimed() const { return m_claimed; }

    // The decision on one row: its outcome in this run and in the session.
    // Rows of a load that replaced the run's rows are left alone.
    void Settle(RowRef row, RowOutcome outcome);
    // An exchange, with the decisions already settled: recorded when it reached
    // the gateway, and the failure it showed the operator, if any.
    // True when nobody reads the request records after the exchange has
    // built the body: no observer, or one that took them already.
    bool Sending(std::span<const UploadRequestRecord> requests,
                 std::shared_ptr<const void> keepAlive);
    void Reported(const RequestReport& report);
    void Progress(int done, int total) const;
    bool StopRequested() const { return m_services.m_stopRequested; }
    // False once a load has replaced the rows this run started with.
    bool RowsStillLoaded() const { return m_services.m_outcomes.Generation() == m_generation; }
    std::uint64_t Generation() const { return m_generation; }
    // A request of this run whose reply was lost.
    void Lost(LostRequest request) { m_services.m_lost.Add(std::move(request)); }
    // Those lost earlier in the session whose rows are this run's.
    std::vector<LostRequest> TakeLost() { return m_services.m_lost.Take(m_generation); }

    // The run is over (its last request finished); call before its message.
    void End(RunEnding ending);
    // Shows a message of the run and records it with the time it was closed.
    void Tell(const std::string& message);

    const RunTally& Tally() const { return m_tally; }
    const OutcomeCounts& Counts(RowKind kind) const { return m_tally.Counts(kind); }

private:
    RunServices& m_services;
    IPrompt* m_prompt;
    IRunObserver* m_observer;
    bool m_claimed = false;
    bool m_ended = false;
    std::uint64_t m_generation = 0;
    RunTally m_tally;
    // When the exchange has already shown its failure, the run ended when
    // that failure was met, not when the operator closed its message.
    WallClock::time_point m_failureMet{};
};

inline constexpr const char* kOutOfMemory = "内存不足,本次上传未能完成!\n请关闭其他程序后重新上传.";

// Runs a mode's work within the memory there is: when an allocation fails
// midway (a million records' request and reply take gigabytes), the run ends
// as failed with a message instead of ending the program. Rows already
// decided keep their decision; the rest are as before the run.
template <class Work> int WithinMemory(Run& run, Work&& work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        run.End(RunEnding::Failed);
        if (CCommunication* comm = GetGolbalCommunicaHandle())
            comm->ShowStatus("", 0);
        run.Tell(kOutOfMemory);
        return 0;
    }
}

} // namespace upload
