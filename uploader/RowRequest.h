#pragma once
// One request of some rows, shared by every upload mode: the rows' request
// records, the exchange, the decision on each row by the one rule (settled in
// the run), and the report of the request to whoever records the run.

#include "upload/RowOutcomes.h"
#include "upload/UploadRecords.h"

#include <memory>
#include <span>
#include <vector>

class CAccountUploader;

namespace upload {

class Run;

struct ExchangeFacts;

// What a request's reply says of its rows as a whole. A reply that cannot be
// matched to its records (none, or another number of them) leaves every row
// unknown; a header that refuses the request stores nothing.
RowOutcome OutcomeOfUnmatched(const ExchangeFacts& facts);
// The return code of a serial the gateway no longer remembers.
inline constexpr const char* kForgottenSerial = protocol::returncode::kUnknownSerial.code;

// The records of one request and what came back for them.
struct RowBuffers {
    std::vector<UploadResultRecord> results;
    std::vector<RowOutcome> outcomes; // one per row
};

// Storage reused from one request to the next. The run's observer may keep
// the buffers of a request to read them on a thread of its own; the next
// request then gets new ones, and nobody changes buffers that are shared.
struct RowRequest {
    int rc = -1;
    bool matched = false; // one result per row (or, first-only, at least one)
    std::shared_ptr<std::vector<UploadRequestRecord>> requests;
    std::shared_ptr<RowBuffers> buffers;

    const std::vector<UploadResultRecord>& Results() const { return buffers->results; }
    // For UpdateLists, whose signature takes the results by reference; it
    // only reads them, as it must while the observer may read them too.
    std::vector<UploadResultRecord>& ResultsForLists() { return buffers->results; }
    const std::vector<RowOutcome>& Outcomes() const { return buffers->outcomes; }
    // Lets the request records go (once the observer, too, is done with them).
    // A large request's may have gone already, once its body was built.
    void ReleaseRequests() { requests.reset(); }
    // Lets a large request's results go once they are shown, so that they
    // are not resident beside the next request's records, body and reply.
    // A small request's stay, for the next one to reuse.
    void ReleaseResultsIfLarge();
};

// Sends `rows` (of the uploader's account arrays) as one request. With
// `firstOnly` the request holds one record and its answer is the first result
// record, however many came back. Returns the exchange's result.
int SendRows(CAccountUploader& uploader, Run& run, std::span<const RowRef> rows, RowRequest& work,
             bool firstOnly = false);

} // namespace upload
