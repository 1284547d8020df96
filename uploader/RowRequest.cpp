#include "uploader/RowRequest.h"

#include "protocol/Codes.h"
#include "support/BusyTicker.h"
#include "upload/UploadRun.h"
#include "uploader/AccountUploader.h"

namespace upload {

RowOutcome OutcomeOfUnmatched(const ExchangeFacts& facts) {
    if (!facts.reachedGateway)
        return RowOutcome::NotSent;
    const bool refusedByHeader =
        !facts.returnCode.empty() && facts.returnCode != protocol::kAccepted;
    return refusedByHeader ? RowOutcome::NotStored : RowOutcome::Unknown;
}

int SendRows(CAccountUploader& uploader, Run& run, std::span<const RowRef> rows, RowRequest& work,
             bool firstOnly) {
    const auto& reserves = uploader.ReserveAccountsA();
    const auto& banks = uploader.BankAccounts();
    if (!work.requests || work.requests.use_count() > 1)
        work.requests = std::make_shared<std::vector<UploadRequestRecord>>();
    if (!work.buffers || work.buffers.use_count() > 1)
        work.buffers = std::make_shared<RowBuffers>();
    std::vector<UploadRequestRecord>& requests = *work.requests;
    RowBuffers& b = *work.buffers;
    requests.clear();
    requests.reserve(rows.size());
    b.results.clear();
    CBusyTicker busy;
    for (const RowRef& row : rows) {
        busy.Tick();
        if (row.kind == RowKind::Reserve)
            requests.push_back(CAccountUploader::BuildReserveRequest(reserves[row.index]));
        else
            requests.push_back(CAccountUploader::BuildBankRequest(banks[row.index]));
    }

    run.Sending(requests, work.requests);
    ExchangeFacts facts;
    work.rc = uploader.Exchange(requests, b.results, &facts);
    const bool answered = work.rc >= 0 || work.rc == -2 || work.rc == -3;
    work.matched = answered && (firstOnly ? !b.results.empty() : b.results.size() == rows.size());
    if (work.matched && firstOnly)
        b.results.resize(1);

    b.outcomes.assign(rows.size(), OutcomeOfUnmatched(facts));
    if (work.matched) {
        const bool accepted = work.rc != -2;
        for (std::size_t k = 0; k < rows.size(); ++k) {
            busy.Tick();
            b.outcomes[k] = DecideRow(b.results[k], accepted);
        }
    }
    for (std::size_t k = 0; k < rows.size(); ++k) {
        busy.Tick();
        run.Settle(rows[k], b.outcomes[k]);
    }

    const std::span<const UploadResultRecord> matchedResults =
        work.matched ? std::span<const UploadResultRecord>(b.results)
                     : std::span<const UploadResultRecord>();
    // The observer may keep both buffers for as long as it reads them.
    auto keepAlive =
        std::make_shared<std::pair<std::shared_ptr<const void>, std::shared_ptr<const void>>>(
            work.requests, work.buffers);
    run.Reported({facts, requests, matchedResults, rows, b.outcomes, std::move(keepAlive)});
    return work.rc;
}

} // namespace upload
