#pragma once
// Request and result records as the uploader hands them to the journal, a
// batch of them, and a fresh directory for a journal file.

#include "journal/Journal.h"
#include "support/Text.h"
#include "tests/cli/CliTempDir.h"
#include "tests/fakes/RequestRecords.h"
#include "upload/UploadRecords.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

inline UploadResultRecord ResultFor(const UploadRequestRecord& request, const std::string& code,
                                    const std::string& textUtf8 = "") {
    UploadResultRecord r;
    std::memset(&r, 0, sizeof r);
    r.Request = request;
    text::CopyToField(r.ResultCode, code);
    text::CopyToField(r.ResultText, text::Utf8ToGbk(textUtf8));
    return r;
}

// Three reserve records and two bank records sent in one request, answered
// with a code and a text for each record, in order, and a duplicate-record
// outcome.
struct SampleBatch {
    std::vector<UploadRequestRecord> requests;
    std::vector<UploadResultRecord> results;
    journal::ExchangeFacts facts;
};

inline SampleBatch MakeSampleBatch(const std::pair<const char*, const char*> (&answers)[5]) {
    SampleBatch batch;
    batch.requests = {
        ReserveRequest("000123", "甲公司"),
        ReserveRequest("000124", "乙公司"),
        ReserveRequest("777", "甲方"),
        BankRequest("0102", "6222000000000000000000000001", "甲公司结算", "工商银行"),
        BankRequest("0103", "6222000000000000000000000002", "丙公司", "农业银行"),
    };
    for (std::size_t i = 0; i < batch.requests.size(); ++i)
        batch.results.push_back(ResultFor(batch.requests[i], answers[i].first, answers[i].second));
    batch.facts.sent = std::chrono::system_clock::now();
    batch.facts.outcome = -2;
    batch.facts.serialNo = "2026120700000001";
    batch.facts.returnCode = "0000";
    return batch;
}

inline std::string FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh directory for a journal file.
class JournalDir : public CliTempDir {
public:
    std::string File() const { return (Path() / "journal.sqlite3").string(); }
};
