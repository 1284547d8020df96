// The operator's journal: a 999,999-record batch run written by the journal's
// writer thread against the plainest SQLite insert of the same rows, and what
// journalling costs the uploading thread per record.

#include "journal/JournalReader.h"
#include "journal/JournalWriter.h"
#include "journal/Schema.h"
#include "journal/Sql.h"
#include "support/Text.h"
#include "tests/journal/JournalFiles.h"
#include "upload/ResultCode.h"
#include "upload/UploadRecords.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
constexpr std::size_t kBatch = 999'999;

struct Batch {
    std::vector<UploadRequestRecord> requests;
    std::vector<UploadResultRecord> results;
};

// Two reserve records to one bank record, Chinese names, one record in fifty
// answered with a failure code.
const Batch& TheBatch() {
    static const Batch batch = [] {
        Batch b;
        b.requests.reserve(kBatch);
        b.results.reserve(kBatch);
        for (std::size_t i = 0; i < kBatch; ++i) {
            const std::string n = std::to_string(1'000'000 + i);
            b.requests.push_back(i % 3 == 2 ? BankRequest("0102", "6222000000" + n,
                                                          "上海某某贸易有限公司" + n,
                                                          "中国工商银行上海分行")
                                            : ReserveRequest("B" + n, "某某证券营业部" + n));
            b.results.push_back(i % 50 == 49 ? ResultFor(b.requests.back(), "9715", "失败")
                                             : ResultFor(b.requests.back(), "0000", "成功"));
        }
        return b;
    }();
    return batch;
}

void RemoveJournal(const std::string& file) {
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(file + suffix);
}

std::string Field(const char* field, std::size_t size) {
    return text::GbkToUtf8(text::TrimGbk(text::FieldText(field, size)));
}

void BM_JournalBatch999999(benchmark::State& state) {
    const Batch& batch = TheBatch();
    const JournalDir dir;
    const std::string file = dir.File();
    for (auto _ : state) {
        state.PauseTiming();
        RemoveJournal(file);
        state.ResumeTiming();
        journal::JournalWriter writer(file);
        writer.SetSession({"张三", "10.1.2.3", 7070});
        BeginRun(writer, StartOf("全部上传", "/srv/accounts", 0));
        Exchanged(writer, batch.requests, batch.results, {});
        EndRun(writer);
        writer.Sync();
        if (!writer.TakeProblem().empty())
            state.SkipWithError("the journal could not be written");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kBatch));
}
BENCHMARK(BM_JournalBatch999999)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The table a journal kept a row per result in, with its indexes: the
// plainest way to store the rows, and the baseline the journal is held to.
constexpr const char* kRowPerResult = R"sql(
CREATE TABLE result (
    run_id INTEGER NOT NULL, seq INTEGER NOT NULL, request_seq INTEGER NOT NULL,
    kind INTEGER NOT NULL, row INTEGER NOT NULL, account_no TEXT NOT NULL,
    account_name TEXT NOT NULL, bank_code TEXT NOT NULL, bank_name TEXT NOT NULL,
    code TEXT NOT NULL, text TEXT NOT NULL, stored INTEGER NOT NULL,
    PRIMARY KEY (run_id, seq)
);
CREATE INDEX result_account_no ON result (run_id, account_no);
CREATE INDEX result_account_name ON result (run_id, account_name);
)sql";

// The same rows, already in the text they are stored as, through one prepared
// statement in one transaction, into a row-per-result table with the same
// pragmas.
void BM_SqliteInsertBaseline(benchmark::State& state) {
    const Batch& batch = TheBatch();
    struct Row {
        std::string no, name, bankCode, bankName, code, text;
        int kind;
        bool stored;
    };
    std::vector<Row> rows(kBatch);
    for (std::size_t i = 0; i < kBatch; ++i) {
        const UploadRequestRecord& r = batch.requests[i];
        const bool bank = std::strncmp(r.RecordKind, "02", 2) == 0;
        Row& row = rows[i];
        row.kind = bank ? 2 : 1;
        row.no = bank ? Field(r.BankAccountNo, sizeof r.BankAccountNo)
                      : Field(r.ReserveAccountNo, sizeof r.ReserveAccountNo);
        row.name = bank ? Field(r.AccountFullName, sizeof r.AccountFullName)
                        : Field(r.ReserveAccountName, sizeof r.ReserveAccountName);
        row.bankCode = bank ? Field(r.BankCode, sizeof r.BankCode) : "";
        row.bankName = bank ? Field(r.BankFullName, sizeof r.BankFullName) : "";
        row.code = Field(batch.results[i].ResultCode, sizeof batch.results[i].ResultCode);
        row.text = Field(batch.results[i].ResultText, sizeof batch.results[i].ResultText);
        row.stored = upload::IsSuccessCode(row.code);
    }
    const JournalDir dir;
    const std::string file = dir.File();
    for (auto _ : state) {
        state.PauseTiming();
        RemoveJournal(file);
        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        sqlite3_exec(db, kRowPerResult, nullptr, nullptr, nullptr);
        sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL", nullptr, nullptr,
                     nullptr);
        state.ResumeTiming();
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        {
            journal::Statement s(db, "INSERT INTO result (run_id, seq, request_seq, kind, row, "
                                     "account_no, account_name, bank_code, bank_name, code, "
                                     "text, stored) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, "
                                     "?10, ?11, ?12)");
            for (std::size_t i = 0; i < kBatch; ++i) {
                const Row& row = rows[i];
                s.Bind(1, std::int64_t{1});
                s.Bind(2, static_cast<std::int64_t>(i));
                s.Bind(3, std::int64_t{1});
                s.Bind(4, std::int64_t{row.kind});
                s.Bind(5, static_cast<std::int64_t>(i + 1));
                s.BindStatic(6, row.no);
                s.BindStatic(7, row.name);
                s.BindStatic(8, row.bankCode);
                s.BindStatic(9, row.bankName);
                s.BindStatic(10, row.code);
                s.BindStatic(11, row.text);
                s.Bind(12, std::int64_t{row.stored ? 1 : 0});
                s.Step();
                s.Reset();
            }
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kBatch));
}
BENCHMARK(BM_SqliteInsertBaseline)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The uploading thread's part: the copy into the queue, per record, for a
// per-record run (one record a request) and for a batch. The CPU column is
// the uploading thread's own time; the writer thread runs beside it, so on a
// machine with fewer free cores than two the real time also holds waits for
// a core.
void BM_JournalEnqueue(benchmark::State& state) {
    const Batch& batch = TheBatch();
    const auto perRequest = static_cast<std::size_t>(state.range(0));
    const JournalDir dir;
    journal::JournalWriter writer(dir.File());
    BeginRun(writer, StartOf("逐笔上传", "/srv/accounts", 0));
    std::size_t at = 0;
    for (auto _ : state) {
        if (at + perRequest > kBatch)
            at = 0;
        Exchanged(writer, std::span(batch.requests).subspan(at, perRequest),
                  std::span(batch.results).subspan(at, perRequest), {});
        at += perRequest;
    }
    // Past the loop nothing is timed: the writer catches up.
    EndRun(writer);
    writer.Sync();
    const auto records = state.iterations() * static_cast<std::int64_t>(perRequest);
    state.SetItemsProcessed(records);
    state.counters["ns_per_record"] = benchmark::Counter(
        static_cast<double>(records), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_JournalEnqueue)->Arg(1)->Arg(10'000)->UseRealTime();

// A journal holding one 999,999-record batch run, made once for the readers.
const std::string& JournalOfTheBatch() {
    static const std::string path = [] {
        static const JournalDir dir;
        journal::JournalWriter writer(dir.File());
        BeginRun(writer, StartOf("全部上传", "/srv/accounts", 0));
        Exchanged(writer, TheBatch().requests, TheBatch().results, {});
        EndRun(writer);
        writer.Sync();
        return dir.File();
    }();
    return path;
}

// What a history view asks of a 999,999-record run: a page far down, the
// failed results, and a search with its count and first page.
void BM_JournalReadRun999999(benchmark::State& state) {
    std::string error;
    auto reader = journal::JournalReader::Open(JournalOfTheBatch(), error);
    if (!reader) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::int64_t run = reader->Runs().at(0).id;
    journal::ResultFilter filter;
    std::int64_t offset = 0;
    switch (state.range(0)) {
    case 0: // a page at row 900,000
        offset = 900'000;
        break;
    case 1: // the failed results, page 300 of 50
        filter.failedOnly = true;
        offset = 15'000;
        break;
    case 2: // a search that matches 11,111 results
        filter.search = "B101";
        break;
    }
    for (auto _ : state) {
        const std::int64_t count = reader->CountResults(run, filter);
        const auto page = reader->Results(run, filter, offset, 50);
        benchmark::DoNotOptimize(count);
        if (page.empty())
            state.SkipWithError("empty page");
    }
}
BENCHMARK(BM_JournalReadRun999999)
    ->ArgName("page900000_failed_search")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);

} // namespace

namespace {

std::int64_t FileBytes(const std::string& file) {
    // Everything committed is moved into the file first, so the figure is the
    // file's own growth, not the log's.
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::error_code ignored;
    const auto size = fs::file_size(file, ignored);
    return ignored ? 0 : static_cast<std::int64_t>(size);
}

void WriteTheBatch(journal::JournalWriter& writer) {
    BeginRun(writer, StartOf("全部上传", "/srv/accounts", 0));
    Exchanged(writer, TheBatch().requests, TheBatch().results, {});
    EndRun(writer);
    writer.Sync();
}

// What a run adds to the file: the first run of 999,999 new accounts, and a
// repeat run of the same accounts, which adds only what is the run's own.
void BM_JournalRepeatRun999999(benchmark::State& state) {
    const JournalDir dir;
    const std::string file = dir.File();
    std::int64_t first = 0, repeat = 0;
    for (auto _ : state) {
        state.PauseTiming();
        RemoveJournal(file);
        state.ResumeTiming();
        journal::JournalWriter writer(file);
        WriteTheBatch(writer);
        const std::int64_t afterFirst = FileBytes(file);
        WriteTheBatch(writer);
        const std::int64_t afterRepeat = FileBytes(file);
        first = afterFirst;
        repeat = afterRepeat - afterFirst;
        if (!writer.TakeProblem().empty())
            state.SkipWithError("the journal could not be written");
    }
    state.counters["first_run_MB"] = static_cast<double>(first) / 1e6;
    state.counters["repeat_run_MB"] = static_cast<double>(repeat) / 1e6;
    // The repeat run still gives every row.
    std::string error;
    auto reader = journal::JournalReader::Open(file, error);
    if (!reader || reader->CountResults(reader->Runs().at(0).id) != kBatch)
        state.SkipWithError("the repeat run does not read back whole");
}
BENCHMARK(BM_JournalRepeatRun999999)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// A year of daily runs of the same 999,999 accounts, made once and kept under
// the temporary directory (QUILLMARK_BENCH_YEAR names another place).
const std::string& JournalOfAYear() {
    static const std::string path = [] {
        const char* given = std::getenv("QUILLMARK_BENCH_YEAR");
        const std::string file = given != nullptr
                                     ? given
                                     : (fs::temp_directory_path() /
                                        ("quillmark-bench-year-v" +
                                         std::to_string(journal::kSchemaVersion) + ".sqlite3"))
                                           .string();
        std::string error;
        if (auto reader = journal::JournalReader::Open(file, error);
            reader && reader->Runs().size() >= 250)
            return file;
        RemoveJournal(file);
        journal::JournalWriter writer(file);
        for (int day = 0; day < 250; ++day)
            WriteTheBatch(writer);
        return file;
    }();
    return path;
}

// The history on that journal, each asked of a reader opened afresh: the
// runs list, a run's first page, its last page, a search across it, and its
// failed results.
void BM_JournalHistoryYear(benchmark::State& state) {
    const std::string& file = JournalOfAYear();
    for (auto _ : state) {
        std::string error;
        auto reader = journal::JournalReader::Open(file, error);
        if (!reader) {
            state.SkipWithError(error.c_str());
            return;
        }
        const std::int64_t run = 125; // a run in the middle of the year
        journal::ResultFilter filter;
        std::size_t rows = 0;
        switch (state.range(0)) {
        case 0:
            rows = reader->Runs().size();
            break;
        case 1:
            benchmark::DoNotOptimize(reader->CountResults(run, filter));
            rows = reader->Results(run, filter, 0, 256).size();
            break;
        case 2:
            rows =
                reader->Results(run, filter, reader->CountResults(run, filter) - 256, 256).size();
            break;
        case 3:
            filter.search = "B1999";
            benchmark::DoNotOptimize(reader->CountResults(run, filter));
            rows = reader->Results(run, filter, 0, 256).size();
            break;
        case 4:
            filter.failedOnly = true;
            benchmark::DoNotOptimize(reader->CountResults(run, filter));
            rows = reader->Results(run, filter, 0, 256).size();
            break;
        }
        if (rows == 0)
            state.SkipWithError("nothing read");
    }
}
BENCHMARK(BM_JournalHistoryYear)
    ->ArgName("runs_first_last_search_failed")
    ->DenseRange(0, 4)
    ->Unit(benchmark::kMillisecond);

} // namespace
