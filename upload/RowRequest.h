#pragma once
// One request of some rows, shared by every upload mode: the rows' request
// records, the exchange, the decision on each row by the one rule (settled in
// the run), and the report of the request to whoever records the run.

#include "upload/RowOutcomes.h"
#include "upload/UploadRecords.h"

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

// Storage reused from one request to the next.
struct RowRequest {
    int rc = -1;
    bool matched = false; // one result per row (or, first-only, at least one)
    std::vector<UploadRequestRecord> requests;
    std::vector<UploadResultRecord> results;
    std::vector<RowOutcome> outcomes; // one per row
};

// Sends `rows` (of the uploader's account arrays) as one request. With
// `firstOnly` the request holds one record and its answer is the first result
// record, however many came back. Returns the exchange's result.
int SendRows(CAccountUploader& uploader, Run& run, std::span<const RowRef> rows, RowRequest& work,
             bool firstOnly = false);

} // namespace upload
