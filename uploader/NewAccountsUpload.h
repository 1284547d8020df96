#pragma once
// The upload of what is new: first the requests of this session whose reply
// was lost are sent again as they were, so the gateway's record settles them;
// then the rows that are neither stored nor already held
// go up in batch requests. A request refused for its duplicates (-2) marks the
// new records 9701; only those are sent again, in a new request, until nothing
// is left or the rounds stop shrinking, and the rest then goes one request per
// record. The daily run of cumulative files thus costs two requests.

#include "upload/ResultWriter.h"
#include "upload/RowOutcomes.h"
#include "upload/RunObserver.h"
#include "uploader/RowRequest.h"

#include <cstddef>
#include <span>
#include <vector>

class CAccountUploader;
class IPrompt;

namespace upload {

class Run;

class NewAccountsUpload {
public:
    // Rounds of batch requests before what is unsettled goes one by one: another
    // client may store an account between two rounds, so a round can fail anew.
    static constexpr int kMaxRounds = 5;

    NewAccountsUpload(CAccountUploader& uploader, upload::Run& run, const ResultWriter& writer)
        : m_uploader(uploader), m_run(run), m_writer(writer) {}

    // 1 when every row to send was settled and the summary shown; 0 when the
    // run stopped (a failed exchange, a reply that cannot be matched to its
    // records, a stop request, a load during the run).
    int Run();

private:
    // Each request of this session whose reply was lost goes once more, as
    // it was, so the gateway's record settles its rows. False: stop.
    bool ResendLost();
    // The rows of a request with no usable reply say so.
    void ShowUnknown(std::span<const RowRef> rows, std::span<const RowOutcome> outcomes);
    std::vector<RowRef> RowsToSend() const;
    void BlankResults(std::span<const RowRef> rows);
    // One request of `rows`. Settled rows are written; with -2, rows answered
    // 9701 go to `resend`, and rows answered with a success code to
    // `oneByOne`, since a refused request stores nothing. False: stop.
    bool Send(std::span<const RowRef> rows, std::vector<RowRef>* resend,
              std::vector<RowRef>* oneByOne);

    CAccountUploader& m_uploader;
    upload::Run& m_run;
    const ResultWriter& m_writer;
    RunEnding m_ending = RunEnding::Completed;
    int m_requests = 0;
    std::size_t m_sent = 0;
    std::size_t m_settled = 0;
    std::size_t m_total = 0;
    RowRequest m_work;
};

} // namespace upload
