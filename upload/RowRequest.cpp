#include "upload/RowRequest.h"

#include "accounts/AccountUploader.h"
#include "support/BusyTicker.h"
#include "upload/UploadRun.h"

namespace upload {

RowOutcome OutcomeOfUnmatched(const ExchangeFacts& facts) {
    if (!facts.reachedGateway)
        return RowOutcome::NotSent;
    const bool refusedByHeader = !facts.returnCode.empty() && facts.returnCode != "0000";
    return refusedByHeader ? RowOutcome::NotStored : RowOutcome::Unknown;
}

int SendRows(CAccountUploader& uploader, Run& run, std::span<const RowRef> rows, RowRequest& work,
             bool firstOnly) {
    const auto& reserves = uploader.ReserveAccountsA();
    const auto& banks = uploader.BankAccounts();
    work.requests.clear();
    work.requests.reserve(rows.size());
    work.results.clear();
    CBusyTicker busy;
    for (const RowRef& row : rows) {
        busy.Tick();
        if (row.kind == RowKind::Reserve)
            work.requests.push_back(CAccountUploader::BuildReserveRequest(reserves[row.index]));
        else
            work.requests.push_back(CAccountUploader::BuildBankRequest(banks[row.index]));
    }

    ExchangeFacts facts;
    work.rc = uploader.Exchange(work.requests, work.results, &facts);
    const bool answered = work.rc >= 0 || work.rc == -2 || work.rc == -3;
    work.matched =
        answered && (firstOnly ? !work.results.empty() : work.results.size() == rows.size());
    if (work.matched && firstOnly)
        work.results.resize(1);

    work.outcomes.assign(rows.size(), OutcomeOfUnmatched(facts));
    if (work.matched) {
        const bool accepted = work.rc != -2;
        for (std::size_t k = 0; k < rows.size(); ++k) {
            busy.Tick();
            work.outcomes[k] = DecideRow(work.results[k], accepted);
        }
    }
    for (std::size_t k = 0; k < rows.size(); ++k) {
        busy.Tick();
        run.Settle(rows[k], work.outcomes[k]);
    }

    const std::span<const UploadResultRecord> matchedResults =
        work.matched ? std::span<const UploadResultRecord>(work.results)
                     : std::span<const UploadResultRecord>();
    run.Reported({facts, work.requests, matchedResults, rows, work.outcomes});
    return work.rc;
}

} // namespace upload
