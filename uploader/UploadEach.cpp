// The per-record upload: one request per record, reserve records first, each
// result written into its row as soon as it arrives, the window's events
// handled between records.
//
// A handler run by the pump may reload or empty the account arrays, so the
// record count and the record itself are taken afresh before every record, no
// reference into the arrays outlives a pump, and a row is written only while
// the list still has it.

#include "support/Text.h"
#include "upload/ResultWriter.h"
#include "upload/UploadTexts.h"
#include "uploader/AccountUploader.h"
#include "uploader/RowRequest.h"

#include <optional>
#include <span>

int CAccountUploader::UploadEach() {
    upload::Run run(m_runServices, m_hMainWnd, upload::kUploadEachMode, m_strWorkPath, true);
    if (!run.Claimed())
        return 0;
    return upload::WithinMemory(run, [&] { return UploadEachRow(run); });
}

int CAccountUploader::UploadEachRow(upload::Run& run) {
    ClearResults();
    upload::ShowStatus(upload::kSendingStatus);

    const upload::ResultWriter writer(m_pReserveList, m_pBankList);
    upload::RowRequest work;
    int done = 0;

    // Sends one row; the run ending that stops the run, if any.
    auto sendOne = [&](upload::RowRef row) -> std::optional<upload::RunEnding> {
        const int rc = upload::SendRows(*this, run, std::span(&row, 1), work, true);
        if (rc == -1)
            return upload::RunEnding::Failed;
        if (work.matched)
            writer.Show(row, work.Results().front());

        ++done;
        run.Progress(done,
                     static_cast<int>(m_arrReserveAccountsA.size() + m_arrBankAccounts.size()));
        if (m_hMainWnd != nullptr)
            m_hMainWnd->PumpMessages();
        if (run.StopRequested())
            return upload::RunEnding::Stopped;
        return std::nullopt;
    };

    std::optional<upload::RunEnding> stopped;
    for (std::size_t i = 0; !stopped && i < m_arrReserveAccountsA.size(); ++i)
        stopped = sendOne({upload::RowKind::Reserve, static_cast<std::uint32_t>(i)});
    for (std::size_t i = 0; !stopped && i < m_arrBankAccounts.size(); ++i)
        stopped = sendOne({upload::RowKind::Bank, static_cast<std::uint32_t>(i)});

    run.End(stopped.value_or(upload::RunEnding::Completed));
    upload::ShowStatus("");
    if (stopped)
        return 0;
    // A record counts as stored only when its request was accepted and its
    // code says so; every other record sent is a failure of its kind.
    const upload::OutcomeCounts& reserve = run.Counts(upload::RowKind::Reserve);
    const upload::OutcomeCounts& bank = run.Counts(upload::RowKind::Bank);
    run.Tell(text::Format(upload::kSummaryFormat, static_cast<int>(reserve.stored),
                          static_cast<int>(reserve.Failed(true)), static_cast<int>(bank.stored),
                          static_cast<int>(bank.Failed(true))));
    upload::ShowStatus("");
    return 1;
}
