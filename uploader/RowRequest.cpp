#include "uploader/RowRequest.h"

#include "protocol/Codes.h"
#include "support/BusyTicker.h"
#include "support/PageReturn.h"
#include "upload/UploadRun.h"
#include "uploader/AccountUploader.h"

#include <type_traits>

namespace upload {

namespace {
// Below this many records a request is not worth letting go: the next one
// reuses its storage.
constexpr std::size_t kLetGoRecords = 4096;

// Lets `holder` go. Freed at once, half a gigabyte would go back in one go
// while the window waits; when `holder` is the last, the pages of `records`
// (plain bytes, which read as zeros afterwards) go a slice at a time first.
template <typename Holder, typename Record>
void LetGo(std::shared_ptr<Holder>& holder, const std::vector<Record>& records) {
    static_assert(std::is_trivially_destructible_v<Record>);
    if (holder.use_count() == 1) {
        const auto* bytes = reinterpret_cast<const char*>(records.data());
        pages::Return(bytes, bytes + records.capacity() * sizeof(Record));
    }
    holder.reset();
}
} // namespace

void RowRequest::ReleaseResultsIfLarge() {
    if (buffers && buffers->results.capacity() >= kLetGoRecords)
        LetGo(buffers, buffers->results);
}

RowOutcome OutcomeOfUnmatched(const ExchangeFacts& facts) {
    if (!facts.reachedGateway)
        return RowOutcome::NotSent;
    const bool refusedByHeader =
        !facts.returnCode.empty() && facts.returnCode != protocol::kAccepted;
    // A sent-again request the gateway no longer remembers: its first copy
    // may have been stored, or not.
    const bool forgotten = facts.resent && facts.returnCode == kForgottenSerial;
    return refusedByHeader && !forgotten ? RowOutcome::NotStored : RowOutcome::Unknown;
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

    // A large request's records are as big as its body; once the body is
    // built they go, unless someone still reads them, so that the two and the
    // reply are not all resident at once.
    const bool mayLetGo = run.Sending(requests, work.requests) && rows.size() >= kLetGoRecords;
    std::span<const UploadRequestRecord> sent(requests);
    if (mayLetGo)
        uploader.Runs().WhenBodyBuilt([&] {
            LetGo(work.requests, *work.requests);
            sent = {};
        });
    ExchangeFacts facts;
    work.rc = uploader.Exchange(requests, b.results, &facts);
    uploader.Runs().WhenBodyBuilt(nullptr);
    // A request whose reply was lost is kept, so that the next "upload new"
    // asks the gateway's record about it before sending its rows anew.
    if (std::shared_ptr<CDataBuf> lost = uploader.TakeLostRequest())
        run.Lost({run.Generation(), std::vector<RowRef>(rows.begin(), rows.end()), std::move(lost),
                  work.requests});
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
    run.Reported({facts, sent, matchedResults, rows, b.outcomes, std::move(keepAlive)});
    return work.rc;
}

} // namespace upload
