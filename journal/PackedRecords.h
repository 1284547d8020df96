#pragma once
// A request's records as the journal queues them: per record its list and
// row, the decision on it, the account's texts and the result's code and text
// (GBK, trimmed), about 70 bytes instead of the 1,242 of a request and a
// result record. Made from a report on whichever thread has it; read back by
// the writer.

#include "journal/Catalog.h"
#include "upload/RunObserver.h"

#include <span>
#include <string>
#include <string_view>

namespace journal {

std::string PackedRecords(const upload::RequestReport& report);

struct PackedRecord {
    upload::RowRef row;
    upload::RowOutcome outcome = upload::RowOutcome::Unknown;
    AccountKey account;
    bool matched = false; // a result came back for it
    std::string_view code;
    std::string_view text;
};

// The accounts of a request's records alone, in the same manner: a kind byte
// and the account's texts, some 40 bytes a record.
std::string PackedAccounts(std::span<const UploadRequestRecord> requests);
// Reads the account at `at` and moves `at` past it; the views point into the
// packed bytes.
AccountKey UnpackAccount(const char*& at);

// Reads the record at `at` and moves `at` past it. The views point into the
// packed bytes.
PackedRecord UnpackRecord(const char*& at);

// Record `i` of a report as PackedRecords would pack it, read in place: the
// views point into the report's records. A report without its records gives
// no account texts.
PackedRecord RecordOf(const upload::RequestReport& report, std::size_t i);

} // namespace journal
