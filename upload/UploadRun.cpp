#include "upload/UploadRun.h"

#include "support/Communication.h"

namespace upload {

Run::Run(RunServices& services, IPrompt* prompt, const std::string& mode, std::string workDir,
         bool heldIsFailure)
    : m_services(services), m_prompt(prompt), m_observer(services.m_observer) {
    if (m_services.m_uploading)
        return;
    m_claimed = true;
    m_services.m_uploading = true;
    m_services.m_stopRequested = false;
    m_generation = m_services.m_outcomes.Generation();
    if (m_observer == nullptr)
        return;
    RunStart start;
    start.mode = mode;
    start.origin = m_services.m_origin;
    start.workDir = std::move(workDir);
    start.heldIsFailure = heldIsFailure;
    start.when = WallClock::now();
    if (CCommunication* comm = GetGolbalCommunicaHandle())
        start.headerMode = comm->GetHeaderMode();
    m_observer->RunStarted(start);
}

Run::~Run() {
    if (!m_claimed)
        return;
    if (!m_ended)
        End(RunEnding::Failed);
    m_services.m_uploading = false;
}

void Run::Settle(RowRef row, RowOutcome outcome) {
    m_tally.Decide(row, outcome);
    if (RowsStillLoaded() && outcome != RowOutcome::NotSent)
        m_services.m_outcomes.Set(row.kind, row.index, outcome);
}

bool Run::Sending(std::span<const UploadRequestRecord> requests,
                  std::shared_ptr<const void> keepAlive) {
    if (m_observer == nullptr)
        return true;
    return m_observer->RequestSending(requests, std::move(keepAlive));
}

void Run::Reported(const RequestReport& report) {
    const bool shownByExchange = !report.facts.failure.empty();
    m_failureMet = shownByExchange ? report.facts.finished : WallClock::time_point{};
    if (m_observer == nullptr)
        return;
    if (report.facts.reachedGateway)
        m_observer->RequestFinished(report);
    if (shownByExchange) {
        // The exchange showed its failure itself and returned when it was closed.
        m_observer->MessageShown(report.facts.failure);
        m_observer->MessageDismissed(WallClock::now());
    }
}

void Run::Progress(int done, int total) const {
    if (m_services.m_progress)
        m_services.m_progress(done, total);
}

void Run::End(RunEnding ending) {
    if (m_ended)
        return;
    m_ended = true;
    if (m_observer != nullptr)
        m_observer->RunEnded(ending, m_failureMet != WallClock::time_point{} ? m_failureMet
                                                                             : WallClock::now());
}

void Run::Tell(const std::string& message) {
    if (m_observer != nullptr)
        m_observer->MessageShown(message);
    if (m_prompt != nullptr)
        m_prompt->ShowMessage(message);
    if (m_observer != nullptr)
        m_observer->MessageDismissed(WallClock::now());
}

} // namespace upload
