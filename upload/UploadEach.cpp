// The per-record upload: one request per record, reserve records first, each
// result written into its row as soon as it arrives, the window's events
// handled between records.
//
// A handler run by the pump may reload or empty the account arrays, so the
// record count and the record itself are taken afresh before every record, no
// reference into the arrays outlives a pump, and a row is written only while
// the list still has it.

#include "accounts/AccountUploader.h"
#include "support/Text.h"
#include "upload/JournalRun.h"
#include "upload/ResultCode.h"
#include "upload/UploadTexts.h"

namespace {

struct PassCounts {
    int successes = 0;
    int failures = 0;
};

void WriteResult(IReportList* list, std::size_t row, const UploadResultRecord& result) {
    if (list == nullptr || row >= static_cast<std::size_t>(list->GetItemCount()))
        return;
    const int index = static_cast<int>(row);
    list->SetItemText(index, 1, text::GbkToUtf8(text::TrimGbk(text::FieldText(result.ResultCode))));
    list->SetItemText(index, 2, text::GbkToUtf8(text::TrimGbk(text::FieldText(result.ResultText))));
}

} // namespace

void CAccountUploader::RequestStop() {
    m_bStopRequested = true;
}

void CAccountUploader::SetProgressListener(std::function<void(int, int)> listener) {
    m_progressListener = std::move(listener);
}

int CAccountUploader::UploadEach() {
    if (m_bUploading)
        return 0;
    upload::UploadingScope uploading(m_bUploading);
    upload::JournalRun journalled(*this, "逐笔上传");
    m_bStopRequested = false;

    ClearResults();
    upload::ShowStatus(upload::kSendingStatus);

    std::vector<UploadRequestRecord> requests;
    std::vector<UploadResultRecord> results;
    int done = 0;

    // A load through the pump replaces the rows whose outcomes this run keeps.
    const std::uint64_t loaded = m_rowOutcomes.Generation();
    auto keepOutcome = [&](upload::RowKind kind, std::size_t row, upload::RowOutcome outcome) {
        if (m_rowOutcomes.Generation() == loaded)
            m_rowOutcomes.Set(kind, row, outcome);
    };

    // Sends record i of one kind; false when the run has to stop.
    auto sendOne = [&](UploadRequestRecord request, IReportList* list, std::size_t row,
                       PassCounts& counts, upload::RowKind kind) {
        requests.clear();
        results.clear();
        requests.push_back(request);
        const int rc = Exchange(requests, results);
        keepOutcome(kind, row,
                    rc == -1 || results.empty() ? upload::RowOutcome::Unknown
                                                : upload::OutcomeOf(results.front()));
        if (rc == -1)
            return false;
        // Stored only when the exchange accepted it and its code says so; an
        // accepted response without any result confirms nothing.
        if (rc >= 0 && !results.empty() && upload::IsSuccessCode(results.front().ResultCode))
            ++counts.successes;
        else
            ++counts.failures;
        if (!results.empty())
            WriteResult(list, row, results.front());

        ++done;
        if (m_progressListener)
            m_progressListener(done,
                               static_cast<int>(m_reserveAccountsA.size() + m_bankAccounts.size()));
        if (m_hMainWnd != nullptr)
            m_hMainWnd->PumpMessages();
        return !m_bStopRequested;
    };

    PassCounts reserve;
    PassCounts bank;
    bool completed = true;
    for (std::size_t i = 0; completed && i < m_reserveAccountsA.size(); ++i)
        completed = sendOne(BuildReserveRequest(m_reserveAccountsA[i]), m_pReserveList, i, reserve,
                            upload::RowKind::Reserve);
    for (std::size_t i = 0; completed && i < m_bankAccounts.size(); ++i)
        completed = sendOne(BuildBankRequest(m_bankAccounts[i]), m_pBankList, i, bank,
                            upload::RowKind::Bank);

    upload::ShowStatus("");
    if (!completed)
        return 0;
    if (m_hMainWnd != nullptr)
        m_hMainWnd->ShowMessage(text::Format(upload::kSummaryFormat, reserve.successes,
                                             reserve.failures, bank.successes, bank.failures));
    upload::ShowStatus("");
    return 1;
}
