#pragma once
// Reading the operator's journal: the runs, and for one run its requests and
// its results. Opens the file read-only and never changes it, so it may be
// used while an upload in this or another process writes to the same file;
// it sees what the writer has committed (at most 200 ms behind).
//
// Texts are UTF-8. Times are ISO 8601 with the local offset at the moment
// they were written ("2026-12-07T14:03:05.120+08:00").
//
// Not thread-safe: use one reader per thread. Every call answers from SQLite
// and costs what its comment says; none loads a whole run into memory.

#include "accounts/LoadedFiles.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace journal {

using ::FileFacts;

// The accounts of one kind a run sent, each counted once with its final
// outcome. `failed` is what the run's message calls failed: sent minus stored
// in the batch and per-record modes, sent minus stored minus held in
// "只上传新增账户".
struct KindCounts {
    std::int64_t sent = 0;
    std::int64_t stored = 0;
    std::int64_t failed = 0;
    std::int64_t held = 0;
    std::int64_t refused = 0;
    std::int64_t notStored = 0;
    std::int64_t unknown = 0;
};

// How a run ended, as the upload::RunEnding it was given.
enum class Ending { Unfinished = -1, Completed = 0, Failed = 1, Stopped = 2 };

struct RunInfo {
    std::int64_t id = 0;
    std::string started;
    std::string ended; // empty: the run did not finish (the program ended mid-run)
    std::string operatorName;
    std::string gatewayAddress;
    int gatewayPort = 0;
    int headerMode = 0;
    std::string workDir;
    std::string mode;       // the button's text: "全部上传", "逐笔上传", ...
    FileFacts bankFile;     // yhzh.dat
    FileFacts reserveFileA; // agbfj.dat
    FileFacts reserveFileB; // bgbfj.dat
    KindCounts reserve;     // A-share settlement-reserve accounts
    KindCounts bank;
    // What the operator was shown during the run, in order, one message after
    // another separated by an empty line; empty when nothing was shown.
    std::string message;
    std::string origin; // "window", "terminal", "scheduled"; empty for runs of version 1
    Ending ending = Ending::Unfinished;
    std::string dismissed; // when the operator closed the run's last message; may be empty

    bool Finished() const { return !ended.empty(); }
};

struct Request {
    std::int64_t seq = 0;     // 1, 2, ... in the order sent within the run
    std::string serialNo;     // the transaction serial the gateway handed out; may be empty
    std::string sent;         // when the exchange began
    std::int64_t records = 0; // records in the request
    // The exchange's outcome: 1 done, -1 failed (nothing usable came back),
    // -2 a duplicate-record code came back, -3 a 9715 code came back.
    int outcome = 0;
    std::string returnCode;    // the response header's return code; empty when none arrived
    std::string returnMessage; // its message ("处理完成" for an accepted one)
    std::string finished;      // when the reply was read or the failure met
    std::string failure;       // what the operator was told when the exchange failed
};

// A result's outcome, numbered as upload::RowOutcome.
enum class Outcome { NotSent = 0, Stored = 1, Held = 2, Refused = 3, NotStored = 4, Unknown = 5 };

enum class Kind { Reserve = 1, Bank = 2 };

struct Result {
    std::int64_t seq = 0; // 0, 1, ... in the order sent within the run
    std::int64_t requestSeq = 0;
    Kind kind = Kind::Reserve;
    std::int64_t row = 0; // row in its list, from 1 (the list's "序号")
    // As shown in the list. A reserve record has no bank code or bank name.
    std::string accountNo;
    std::string accountName;
    std::string bankCode;
    std::string bankName;
    std::string code; // as it came back, trimmed; empty when no result came back
    std::string text;
    bool stored = false;
    Outcome outcome = Outcome::NotSent;
    // The account's last result in its run: the one its counts take. An
    // account sent again (a later round) has earlier results that are not.
    bool final = true;
    bool failed = false; // counted among the run's failures (final results only)
};

struct ResultFilter {
    // "只显示失败记录": the final results counted among the run's failures.
    bool failedOnly = false;
    // Results whose account number or account name starts with this text;
    // empty matches all. Both columns are indexed, once for all runs.
    std::string search;

    bool operator==(const ResultFilter&) const = default;
};

// What the journal file holds, for the operator who keeps it.
struct JournalStats {
    std::int64_t fileBytes = 0; // the file with its write-ahead log
    std::int64_t runs = 0;
    std::int64_t accounts = 0; // distinct accounts kept for all runs
};

class JournalReader {
public:
    // Opens `path` read-only. Null with `error` set (UTF-8, naming the path
    // and the reason) when the file is missing, not a regular file, not a
    // journal of this tool, damaged, or of a newer version. A journal of an
    // earlier version is converted first (see NeedsConversion).
    static std::unique_ptr<JournalReader> Open(const std::string& path, std::string& error);
    ~JournalReader();
    JournalReader(const JournalReader&) = delete;
    JournalReader& operator=(const JournalReader&) = delete;

    // Every run, newest first. One pass over the run table (a few hundred
    // bytes per run; the results are not touched).
    std::vector<RunInfo> Runs();
    // One run by id; nullopt when there is none. One primary-key look-up.
    std::optional<RunInfo> FindRun(std::int64_t runId);
    // A run's requests in the order sent. One index range; a batch run has
    // one request, a per-record run one per record.
    std::vector<Request> Requests(std::int64_t runId);
    // How many of a run's results the filter keeps. Without a filter or with
    // failed only: one look-up of the run's counts. With a search: the
    // matching accounts from their index, then one pass over the run's packed
    // results (about 50 ms per million), kept for the pages that follow.
    std::int64_t CountResults(std::int64_t runId, const ResultFilter& filter = {});
    // Up to `limit` results from position `offset` of the filtered list, in
    // send order. No filter: the one or two blocks that hold the page. A
    // filter: the positions kept by CountResults (made the same way when it
    // was not called first), then the page's blocks.
    std::vector<Result> Results(std::int64_t runId, const ResultFilter& filter, std::int64_t offset,
                                std::int64_t limit);
    // The file's size, the runs it holds and the accounts kept for them.
    JournalStats Stats();

    const std::string& Path() const { return m_path; }

    // True when `path` is a journal of an earlier version, which Open
    // converts in place before reading it; a front end that must not wait
    // for that runs MigrateFile on a thread of its own first.
    static bool NeedsConversion(const std::string& path);

private:
    struct Impl;
    JournalReader(std::string path, std::unique_ptr<Impl> impl);
    std::string m_path;
    std::unique_ptr<Impl> m_impl;
};

} // namespace journal
