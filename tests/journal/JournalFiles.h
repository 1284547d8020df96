#pragma once
// Request and result records as the uploader hands them to the journal, a
// batch of them, and a fresh directory for a journal file.

#include "journal/Journal.h"
#include "support/Text.h"
#include "tests/cli/CliTempDir.h"
#include "tests/fakes/RequestRecords.h"
#include "upload/UploadRecords.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <span>
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
    upload::ExchangeFacts facts;
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
    batch.facts.reachedGateway = true;
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

// A run's start as a mode gives it.
inline upload::RunStart StartOf(const char* mode, const char* workDir = "/w", int headerMode = 0) {
    upload::RunStart start;
    start.mode = mode;
    start.origin = "terminal";
    start.workDir = workDir;
    start.headerMode = headerMode;
    start.heldIsFailure = std::string(mode) != "只上传新增账户";
    start.when = std::chrono::system_clock::now();
    return start;
}

// The next row of each list in the current run of each journal, as a mode
// that sends its rows in order gives them.
inline std::map<const journal::IJournal*, std::uint32_t[2]>& NextRows() {
    static std::map<const journal::IJournal*, std::uint32_t[2]> rows;
    return rows;
}

inline void BeginRun(journal::IJournal& journal, const upload::RunStart& start) {
    NextRows()[&journal][0] = NextRows()[&journal][1] = 0;
    journal.RunStarted(start);
}

// One request handed to the journal as the modes hand it: each record's row
// the next of its list, its outcome by the one rule (a -2 request stores
// nothing; results not matched one to one leave the rows unknown).
inline void Exchanged(journal::IJournal& journal, std::span<const UploadRequestRecord> requests,
                      std::span<const UploadResultRecord> results,
                      upload::ExchangeFacts facts = {}) {
    facts.reachedGateway = true;
    const bool matched = results.size() == requests.size();
    std::vector<upload::RowRef> rows;
    std::vector<upload::RowOutcome> outcomes;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const bool bank = std::strncmp(requests[i].RecordKind, "02", 2) == 0;
        rows.push_back({bank ? upload::RowKind::Bank : upload::RowKind::Reserve,
                        NextRows()[&journal][bank ? 1 : 0]++});
        outcomes.push_back(matched ? upload::DecideRow(results[i], facts.outcome != -2)
                                   : upload::RowOutcome::Unknown);
    }
    journal.RequestFinished(
        {facts, requests, matched ? results : decltype(results)(), rows, outcomes, nullptr});
}

inline void Shown(journal::IJournal& journal, const std::string& message) {
    journal.MessageShown(message);
    journal.MessageDismissed(std::chrono::system_clock::now());
}

inline void EndRun(journal::IJournal& journal,
                   upload::RunEnding ending = upload::RunEnding::Completed) {
    journal.RunEnded(ending, std::chrono::system_clock::now());
}
