#pragma once
// The upload of what is new: the rows that are neither stored nor already held
// go up in batch requests. A request refused for its duplicates (-2) marks the
// new records 9701; only those are sent again, in a new request, until nothing
// is left or the rounds stop shrinking, and the rest then goes one request per
// record. The daily run of cumulative files thus costs two requests.

#include "upload/RowOutcomes.h"

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

class CAccountUploader;
class IReportList;
class IPrompt;

namespace upload {

class CNewAccountsUpload {
public:
    // Field 1 of a request record holds six digits.
    static constexpr std::size_t kMaxRecordsPerRequest = 999'999;
    // Rounds of batch requests before what is unsettled goes one by one: another
    // client may store an account between two rounds, so a round can fail anew.
    static constexpr int kMaxRounds = 5;

    struct Context {
        CAccountUploader& uploader; // the exchange and the account arrays
        CRowOutcomes& outcomes;
        IReportList* reserveList;
        IReportList* bankList;
        IPrompt* prompt;
        const bool& stopRequested;
        // After every request: records settled so far, records to send at the start.
        const std::function<void(int settled, int total)>& progress;
    };

    explicit CNewAccountsUpload(Context context) : m_ctx(context) {}

    // 1 when every row to send was settled and the summary shown; 0 when the
    // run stopped (a failed exchange, a reply that cannot be matched to its
    // records, a stop request, a load during the run).
    int Run();

private:
    struct Row {
        RowKind kind;
        std::size_t index;
    };
    struct Counts {
        int stored = 0;
        int held = 0;
        int failed = 0;
    };

    std::vector<Row> RowsToSend() const;
    void BlankResults(std::span<const Row> rows);
    // One request of `rows`. Settled rows are written and counted; with -2,
    // rows answered 9701 go to `resend`, and rows answered with a success code
    // to `oneByOne`, since a refused request stores nothing. False: stop.
    bool Send(std::span<const Row> rows, std::vector<Row>* resend, std::vector<Row>* oneByOne);
    void Settle(const Row& row, const UploadResultRecord& result);
    void WriteResult(const Row& row, const UploadResultRecord& result);
    IReportList* ListOf(RowKind kind) const;

    Context m_ctx;
    std::uint64_t m_generation = 0;
    Counts m_reserve;
    Counts m_bank;
    int m_requests = 0;
    std::size_t m_sent = 0;
    std::size_t m_settled = 0;
    std::size_t m_total = 0;
    std::vector<UploadRequestRecord> m_requestRecords;
    std::vector<UploadResultRecord> m_results;
};

} // namespace upload
