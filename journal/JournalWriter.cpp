#include "journal/JournalWriter.h"

#include "journal/Catalog.h"
#include "journal/LiveRuns.h"
#include "journal/PackedRecords.h"
#include "journal/ResultBlock.h"
#include "journal/Schema.h"
#include "journal/SpillFile.h"
#include "journal/Sql.h"
#include "protocol/SystemCodes.h"
#include "support/IsoTime.h"
#include "support/Text.h"
#include "upload/RunTally.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <variant>

namespace journal {

namespace {

constexpr const char* kCannotUse = "上传记录文件[%s]无法使用:%s\n上传照常进行,本次不再记录.";
// While a large request is written, the clock and the queue are looked at
// after this many records, so that readers see it arrive at the usual cadence
// and a new run's row goes in ahead of the backlog.
constexpr std::int64_t kClockStride = 1024;
// Results per block: small enough that a page of the history reads one or
// two blocks, large enough that a block's row costs little.
constexpr std::int64_t kBlockEntries = 4096;
// How often the writer looks at the queue during a run, and how long the
// queue may grow before it is woken at once.
constexpr std::chrono::milliseconds kPollInterval{20};
constexpr std::size_t kWakeQueueLength = 512;
constexpr std::size_t kWakeRecords = 256;
// Packed results waiting in memory beyond this go to the spill file.
constexpr std::size_t kMemoryBacklog = std::size_t{192} << 20;

template <std::size_t N> std::string_view Trimmed(const char (&field)[N]) {
    return text::TrimGbk(text::FieldText(field, N));
}

// An empty time is no time yet (NULL in the file).
std::string TimeText(upload::WallClock::time_point when) {
    return when == upload::WallClock::time_point{} ? std::string() : text::IsoTime(when);
}

struct BeginItem {
    std::uint64_t run = 0;
    upload::RunStart start;
    SessionFacts session;
    LoadedFiles files;
};
// The records of a large request on its way: the writer puts their accounts
// in the catalog while the gateway works, notes each record's account id and
// lets the records go, so that the uploader need not keep them for the report.
struct SentAccounts {
    std::span<const UploadRequestRecord> requests;
    std::shared_ptr<const void> keepAlive;
    std::vector<std::uint32_t> ids; // one per record, once all are noted
};
struct RequestItem {
    std::uint64_t run = 0;
    upload::ExchangeFacts facts;
    std::int64_t records = 0;
    // Either the report's own storage, read on the writer's thread, or the
    // records packed (PackedRecords), in memory or in the spill file.
    std::unique_ptr<upload::RequestReport> report;
    std::shared_ptr<const void> keepAlive;
    std::vector<upload::RowRef> rows;
    std::vector<upload::RowOutcome> outcomes;
    std::string packed;
    SpillFile::Span spilled;
    // Set when the report came without its records: their accounts were
    // taken when the request was sent. Such a report is read in place.
    std::shared_ptr<SentAccounts> sent;
};
struct SendingItem {
    std::shared_ptr<SentAccounts> sent;
};
struct EndItem {
    std::uint64_t run = 0;
    upload::RunEnding ending;
    upload::WallClock::time_point when;
};
struct ShownItem {
    std::uint64_t run = 0;
    std::string message;
};
struct DismissedItem {
    std::uint64_t run = 0;
    upload::WallClock::time_point when;
};
struct SyncItem {};
// The rare, large start of a run is held by pointer to keep every item small.
using Item = std::variant<std::unique_ptr<BeginItem>, std::unique_ptr<RequestItem>, SendingItem,
                          EndItem, ShownItem, DismissedItem, SyncItem>;

// What the writer keeps of a run while it writes it. Its counts take each
// account once, with the outcome of its last request, as the run's own
// message does.
struct RunState {
    std::int64_t id = 0; // 0: its row could not be written
    bool heldIsFailure = true;
    bool dirty = false;
    bool ended = false;
    bool resent = false;
    std::int64_t requestSeq = 0;
    std::int64_t resultSeq = 0;
    upload::RunTally tally;
    std::vector<bool> seen[2]; // rows sent so far, per list
    BlockEncoder block;
    std::int64_t blockFirst = 0;
    std::string message;
    std::string endedAt;
    std::int64_t ending = -1;
    std::string dismissed;
};

} // namespace

struct JournalWriter::State {
    std::string path;
    Clock clock;

    std::mutex mutex;
    std::condition_variable wake;    // items queued or stopping
    std::condition_variable handled; // the writer caught up with a ticket
    std::vector<Item> queue;         // swapped whole with the writer's intake
    std::uint64_t queued = 0;        // tickets handed out
    std::uint64_t done = 0;          // tickets handled
    bool stopping = false;
    std::string problem; // for the operator, once
    bool problemTaken = false;
    SessionFacts session;
    LoadedFiles files;
    std::uint64_t nextRun = 0;              // the token of the run being uploaded
    std::shared_ptr<SentAccounts> lastSent; // of the request being exchanged

    // Writer thread only.
    sqlite3* db = nullptr;
    bool opened = false;
    bool disabled = false;
    bool inTransaction = false;
    std::chrono::steady_clock::time_point lastCommit;
    std::deque<Item> pending; // taken from the queue, not yet written
    std::uint64_t intakeTicket = 0;
    std::size_t pendingBytes = 0;
    std::uint64_t largeRequestsPacked = 0;
    bool handling = false; // inside the handling of an item
    std::map<std::uint64_t, RunState> runs;
    Catalog catalog;
    LiveRuns live;
    SpillFile spill;
    Statement insertRun, insertRequest, insertBlock, updateRun, begin, commit;

    std::thread thread;

    // Small records of a run are not worth waking the writer for: it looks
    // at the queue every kPollInterval while a run is open. Waking it costs
    // the uploading thread a system call per record.
    std::uint64_t Enqueue(Item item, bool urgent = true) {
        std::lock_guard lock(mutex);
        queue.push_back(std::move(item));
        if (urgent || queue.size() >= kWakeQueueLength)
            wake.notify_one();
        return ++queued;
    }
    bool WaitFor(std::uint64_t ticket, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        return handled.wait_for(lock, timeout, [&] { return done >= ticket; });
    }

    void Fail(const std::string& reason) {
        if (inTransaction)
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        inTransaction = false;
        // Where the file still takes a write, a run cut short says so: its
        // row stays unfinished and incomplete, as it was committed.
        Close();
        disabled = true;
        pending.clear();
        pendingBytes = 0;
        std::lock_guard lock(mutex);
        if (problem.empty())
            problem = text::Format(kCannotUse, path.c_str(), reason.c_str());
    }
    void FailSqlite() { Fail(SqliteError(db)); }
    void Close() {
        for (Statement* s : {&insertRun, &insertRequest, &insertBlock, &updateRun, &begin, &commit})
            *s = Statement();
        catalog.Close();
        sqlite3_close_v2(db);
        db = nullptr;
        live.Close();
        runs.clear();
    }

    bool Exec(const char* sql) {
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
            return true;
        FailSqlite();
        return false;
    }
    // Runs a prepared statement that returns no rows, ready for the next use.
    bool Run(Statement& s) {
        const int rc = s.Step();
        s.Reset();
        if (rc == SQLITE_DONE)
            return true;
        FailSqlite();
        return false;
    }

    void Open();
    bool EnsureTransaction();
    bool FlushBlock(RunState& run);
    bool WriteRun(RunState& run);
    bool Commit();
    void CommitIfDue();
    RunState* Find(std::uint64_t token);
    // Takes what the uploading thread queued: a new run's row is written at
    // once, shared reports are packed so their storage can go.
    void Intake();
    void Pack(RequestItem& item);
    void Begin(BeginItem& item);
    void Handle(std::unique_ptr<BeginItem>&) {}
    void Handle(std::unique_ptr<RequestItem>& item);
    void Handle(SendingItem& item);
    void Handle(EndItem& item);
    void Handle(ShownItem& item);
    void Handle(DismissedItem& item);
    void Handle(SyncItem&) {}
    // `accountId`: the record's account when already known, else 0.
    bool WriteRecord(RunState& run, const PackedRecord& record, std::uint32_t accountId = 0);
    void Loop();
};

void JournalWriter::State::Open() {
    namespace fs = std::filesystem;
    const fs::path file(path);
    const fs::path dir = file.parent_path();
    std::error_code error;
    if (!dir.empty() && !fs::exists(dir, error)) {
        // Only directories made here get the private mode; one that exists
        // belongs to somebody who chose its mode.
        const mode_t old = umask(0077);
        fs::create_directories(dir, error);
        umask(old);
        if (error) {
            Fail(text::Format("无法建立目录[%s](%s)", dir.c_str(), error.message().c_str()));
            return;
        }
    }
    // Made here with mode 0600 so that SQLite's own files (-wal, -shm), which
    // take the database's mode, are private as well. O_NONBLOCK keeps a FIFO
    // in its place from holding the writer; it is refused below.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        Fail(std::strerror(errno));
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Fail("不是普通文件");
        return;
    }
    ::close(fd);

    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        FailSqlite();
        return;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (!live.Open(path) || !live.ShareCatalog()) {
        Fail(std::strerror(errno));
        return;
    }
    std::string reason;
    FileState state = InspectFile(db, reason);
    if (state == FileState::Older) {
        // Converted in one transaction: a failure leaves the file as it was.
        if (!Migrate(db, reason)) {
            Fail(reason);
            return;
        }
        state = InspectFile(db, reason);
    }
    if (state == FileState::Empty) {
        // Another process may be making the tables at the same moment: look
        // again under the write lock. The vacuum mode goes first: it can only
        // be chosen before the first table.
        if (!Exec("PRAGMA auto_vacuum = INCREMENTAL") || !Exec("BEGIN IMMEDIATE"))
            return;
        state = InspectFile(db, reason);
        if (state == FileState::Empty) {
            if (!Exec(kCreateSchema))
                return;
            const std::string version =
                text::Format("PRAGMA application_id = %d; PRAGMA user_version = %d", kApplicationId,
                             kSchemaVersion);
            if (!Exec(version.c_str()))
                return;
            state = FileState::Journal;
        }
        if (!Exec("COMMIT"))
            return;
    }
    if (state != FileState::Journal) {
        Fail(reason);
        return;
    }
    // The operator's records are nobody else's business, wherever a link
    // leads: a journal of this user made with a wider mode is made private.
    if (st.st_uid == ::geteuid() && (st.st_mode & 077) != 0)
        ::chmod(path.c_str(), 0600);
    // WAL lets the window, the terminal front end and readers share the
    // file; NORMAL keeps every commit across a crash of the program.
    if (!Exec("PRAGMA journal_mode = WAL") || !Exec("PRAGMA synchronous = NORMAL") ||
        !Exec("PRAGMA cache_size = -4096"))
        return;

    insertRun = Statement(
        db, "INSERT INTO run (started, operator, gateway_address, gateway_port, header_mode, "
            "work_dir, mode, "
            "bank_file_present, bank_file_size, bank_file_modified, bank_file_sha256, "
            "reserve_a_file_present, reserve_a_file_size, reserve_a_file_modified, "
            "reserve_a_file_sha256, "
            "reserve_b_file_present, reserve_b_file_size, reserve_b_file_modified, "
            "reserve_b_file_sha256, origin, held_is_failure) "
            "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, "
            "?18, ?19, ?20, ?21)");
    insertRequest = Statement(db, "INSERT INTO request (run_id, seq, serial_no, sent, records, "
                                  "outcome, return_code, return_message, finished, failure) "
                                  "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    insertBlock = Statement(db, "INSERT INTO result_block (run_id, first_seq, count, data) "
                                "VALUES (?1, ?2, ?3, ?4)");
    updateRun = Statement(
        db, "UPDATE run SET reserve_sent = ?2, reserve_stored = ?3, reserve_held = ?4, "
            "reserve_refused = ?5, reserve_not_stored = ?6, reserve_unknown = ?7, "
            "reserve_failed = ?8, bank_sent = ?9, bank_stored = ?10, bank_held = ?11, "
            "bank_refused = ?12, bank_not_stored = ?13, bank_unknown = ?14, bank_failed = ?15, "
            "message = ?16, ended = nullif(?17, ''), ending = nullif(?18, -1), "
            "dismissed = nullif(?19, ''), results = ?20, resent = ?21, complete = ?22 "
            "WHERE id = ?1");
    begin = Statement(db, "BEGIN IMMEDIATE");
    commit = Statement(db, "COMMIT");
    if (!insertRun.Ok() || !insertRequest.Ok() || !insertBlock.Ok() || !updateRun.Ok() ||
        !begin.Ok() || !commit.Ok() || !catalog.Open(db))
        FailSqlite();
}

bool JournalWriter::State::EnsureTransaction() {
    if (disabled || db == nullptr)
        return false;
    if (inTransaction)
        return true;
    inTransaction = Run(begin);
    return inTransaction;
}

bool JournalWriter::State::FlushBlock(RunState& run) {
    if (run.block.Count() == 0)
        return true;
    Statement& s = insertBlock;
    s.Bind(1, run.id);
    s.Bind(2, run.blockFirst);
    s.Bind(3, run.block.Count());
    sqlite3_bind_blob(s.Get(), 4, run.block.Data().data(),
                      static_cast<int>(run.block.Data().size()), SQLITE_STATIC);
    if (!Run(s))
        return false;
    run.blockFirst += run.block.Count();
    run.block.Clear();
    return true;
}

bool JournalWriter::State::WriteRun(RunState& run) {
    Statement& u = updateRun;
    u.Bind(1, run.id);
    int column = 2;
    for (const upload::RowKind kind : {upload::RowKind::Reserve, upload::RowKind::Bank}) {
        const upload::OutcomeCounts& c = run.tally.Counts(kind);
        for (const std::int64_t value : {c.sent, c.stored, c.held, c.refused, c.notStored,
                                         c.unknown, c.Failed(run.heldIsFailure)})
            u.Bind(column++, value);
    }
    u.BindStatic(16, run.message);
    u.BindStatic(17, run.endedAt);
    u.Bind(18, run.ending);
    u.BindStatic(19, run.dismissed);
    u.Bind(20, run.resultSeq);
    u.Bind(21, std::int64_t{run.resent ? 1 : 0});
    u.Bind(22, std::int64_t{run.ended ? 1 : 0});
    return Run(u);
}

bool JournalWriter::State::Commit() {
    if (!inTransaction)
        return !disabled;
    // Every run's results and counts so far, so that a run cut short shows
    // what it had done.
    for (auto& [token, run] : runs) {
        if (run.id == 0)
            continue;
        if (!FlushBlock(run))
            return false;
        if (run.dirty) {
            if (!WriteRun(run))
                return false;
            run.dirty = false;
        }
    }
    if (!Run(commit))
        return false;
    inTransaction = false;
    lastCommit = clock();
    return true;
}

void JournalWriter::State::CommitIfDue() {
    if (inTransaction && clock() - lastCommit >= kCommitInterval)
        Commit();
}

RunState* JournalWriter::State::Find(std::uint64_t token) {
    const auto found = runs.find(token);
    return found != runs.end() && found->second.id != 0 ? &found->second : nullptr;
}

void JournalWriter::State::Begin(BeginItem& item) {
    // The file is opened for the first run only, so that a session without
    // an upload leaves no file behind.
    if (!opened) {
        opened = true;
        Open();
    }
    // Runs that ended are done with, but for a late dismissal of the last.
    while (runs.size() > 2 && runs.begin()->second.ended) {
        live.Release(runs.begin()->second.id);
        runs.erase(runs.begin());
    }
    RunState& run = runs[item.run];
    run.heldIsFailure = item.start.heldIsFailure;
    if (!EnsureTransaction())
        return;
    if (!catalog.CatchUp()) {
        FailSqlite();
        return;
    }
    Statement& s = insertRun;
    s.Bind(1, text::IsoTime(item.start.when));
    s.Bind(2, item.session.operatorName);
    s.Bind(3, item.session.gatewayAddress);
    s.Bind(4, std::int64_t{item.session.gatewayPort});
    s.Bind(5, std::int64_t{item.start.headerMode});
    s.Bind(6, item.start.workDir);
    s.Bind(7, item.start.mode);
    int column = 8;
    for (const FileFacts* facts : {&item.files.bank, &item.files.reserveA, &item.files.reserveB}) {
        s.Bind(column++, std::int64_t{facts->present ? 1 : 0});
        s.Bind(column++, facts->size);
        s.Bind(column++, facts->modified);
        s.Bind(column++, facts->sha256);
    }
    s.Bind(20, item.start.origin);
    s.Bind(21, std::int64_t{item.start.heldIsFailure ? 1 : 0});
    if (!Run(s))
        return;
    run.id = sqlite3_last_insert_rowid(db);
    live.Hold(run.id);
    Commit();
}

void JournalWriter::State::Pack(RequestItem& item) {
    if (!item.report || item.sent)
        return;
    item.packed = PackedRecords(*item.report);
    item.report.reset();
    ++largeRequestsPacked;
    item.keepAlive.reset();
    item.rows = {};
    item.outcomes = {};
    if (pendingBytes + item.packed.size() > kMemoryBacklog &&
        spill.Append(path, item.packed, item.spilled)) {
        std::string().swap(item.packed);
        return;
    }
    pendingBytes += item.packed.size();
}

void JournalWriter::State::Intake() {
    std::vector<Item> taken;
    {
        std::lock_guard lock(mutex);
        taken.swap(queue);
        intakeTicket = queued;
    }
    for (Item& item : taken) {
        if (auto* begin = std::get_if<std::unique_ptr<BeginItem>>(&item)) {
            Begin(**begin);
            continue;
        }
        // A report the writer reaches at once is read in place; one that
        // waits behind other work is packed, so that its storage can go.
        if (auto* request = std::get_if<std::unique_ptr<RequestItem>>(&item);
            request != nullptr && (handling || !pending.empty()))
            Pack(**request);
        pending.push_back(std::move(item));
    }
}

bool JournalWriter::State::WriteRecord(RunState& run, const PackedRecord& record,
                                       std::uint32_t accountId) {
    const std::uint32_t account = accountId != 0 ? accountId : catalog.Account(record.account);
    const std::uint32_t reply =
        record.matched ? catalog.Reply(record.code, record.text) : std::uint32_t{0};
    if (account == 0 || (record.matched && reply == 0)) {
        FailSqlite();
        return false;
    }
    const int list = record.row.kind == upload::RowKind::Bank ? 1 : 0;
    std::vector<bool>& seen = run.seen[list];
    if (record.row.index >= seen.size())
        seen.resize(std::max<std::size_t>(record.row.index + 1, seen.size() * 2), false);
    if (seen[record.row.index])
        run.resent = true;
    seen[record.row.index] = true;
    run.tally.Decide(record.row, record.outcome);
    BlockEntry entry;
    entry.row = record.row.index;
    entry.bank = static_cast<std::uint8_t>(list);
    entry.outcome = static_cast<std::uint8_t>(record.outcome);
    entry.accountId = account;
    entry.replyId = reply;
    entry.requestSeq = static_cast<std::uint32_t>(run.requestSeq);
    run.block.Add(entry);
    ++run.resultSeq;
    return run.block.Count() < kBlockEntries || FlushBlock(run);
}

void JournalWriter::State::Handle(std::unique_ptr<RequestItem>& owned) {
    RequestItem& item = *owned;
    RunState* run = Find(item.run);
    if (run == nullptr || !EnsureTransaction())
        return;
    if (item.spilled.size == 0)
        pendingBytes -= std::min(pendingBytes, item.packed.size());
    else if (!spill.Read(item.spilled, item.packed)) {
        Fail("无法读取暂存的上传记录");
        return;
    }
    ++run->requestSeq;
    Statement& r = insertRequest;
    r.Bind(1, run->id);
    r.Bind(2, run->requestSeq);
    r.Bind(3, item.facts.serialNo);
    r.Bind(4, text::IsoTime(item.facts.sent));
    r.Bind(5, item.records);
    r.Bind(6, std::int64_t{item.facts.outcome});
    r.Bind(7, item.facts.returnCode);
    r.Bind(8, item.facts.returnMessage);
    r.Bind(9, TimeText(item.facts.finished));
    r.Bind(10, item.facts.failure);
    if (!Run(r))
        return;
    run->dirty = true;

    const std::string packed = std::move(item.packed);
    const char* at = packed.data();
    const char* end = at + packed.size();
    const std::uint64_t token = item.run;
    // The accounts of a report without records were noted as it was sent;
    // a writer that could not note them all has stopped already.
    const std::vector<std::uint32_t>* sentIds = item.sent ? &item.sent->ids : nullptr;
    if (sentIds != nullptr && sentIds->size() != static_cast<std::size_t>(item.records))
        return;
    const std::size_t inPlace = !item.report ? 0
                                : sentIds    ? sentIds->size()
                                             : item.report->requests.size();
    for (std::int64_t n = 1; item.report ? static_cast<std::size_t>(n) <= inPlace : at < end; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        const PackedRecord record = item.report ? RecordOf(*item.report, i) : UnpackRecord(at);
        if (!WriteRecord(*run, record, sentIds != nullptr ? (*sentIds)[i] : 0))
            return;
        if (n % kClockStride == 0) {
            CommitIfDue();
            Intake();
            if (!EnsureTransaction())
                return;
            // A new run's row may have come in; the map's nodes stay put.
            run = Find(token);
            if (run == nullptr)
                return;
        }
    }
}

void JournalWriter::State::Handle(SendingItem& item) {
    SentAccounts& sent = *item.sent;
    if (!EnsureTransaction())
        return;
    // The accounts are copied out first, in a tenth of the records' size, so
    // that the records can go long before the first run's inserts are done.
    const std::string accounts = PackedAccounts(sent.requests);
    const std::size_t count = sent.requests.size();
    sent.requests = {};
    sent.keepAlive.reset();
    catalog.Reserve(count);
    std::vector<std::uint32_t> ids;
    ids.reserve(count);
    const char* at = accounts.data();
    for (std::size_t n = 1; n <= count; ++n) {
        const std::uint32_t id = catalog.Account(UnpackAccount(at));
        if (id == 0) {
            FailSqlite();
            return;
        }
        ids.push_back(id);
        if (n % kClockStride == 0) {
            CommitIfDue();
            Intake();
            if (!EnsureTransaction())
                return;
        }
    }
    sent.ids = std::move(ids);
}

void JournalWriter::State::Handle(EndItem& item) {
    RunState* run = Find(item.run);
    if (run == nullptr || !EnsureTransaction())
        return;
    run->ended = true;
    run->endedAt = text::IsoTime(item.when);
    run->ending = static_cast<std::int64_t>(item.ending);
    run->dirty = true;
    if (Commit())
        live.Release(run->id);
}

void JournalWriter::State::Handle(ShownItem& item) {
    RunState* run = Find(item.run);
    if (run == nullptr || !EnsureTransaction())
        return;
    if (!run->message.empty())
        run->message += "\n\n";
    run->message += item.message;
    run->dirty = true;
}

void JournalWriter::State::Handle(DismissedItem& item) {
    RunState* run = Find(item.run);
    if (run == nullptr || !EnsureTransaction())
        return;
    run->dismissed = text::IsoTime(item.when);
    run->dirty = true;
    Commit();
}

void JournalWriter::State::Loop() {
    lastCommit = clock();
    for (;;) {
        bool stop = false;
        {
            std::unique_lock lock(mutex);
            // With uncommitted rows the writer wakes in time to commit them.
            const bool runOpen = !runs.empty() && !runs.rbegin()->second.ended;
            if (inTransaction || runOpen)
                wake.wait_for(lock, kPollInterval, [&] { return !queue.empty() || stopping; });
            else
                wake.wait(lock, [&] { return !queue.empty() || stopping; });
            stop = stopping && queue.empty();
        }
        Intake();
        const std::uint64_t ticket = intakeTicket;
        while (!pending.empty()) {
            Item item = std::move(pending.front());
            pending.pop_front();
            handling = true;
            std::visit([this](auto& i) { Handle(i); }, item);
            handling = false;
            CommitIfDue();
            Intake();
        }
        CommitIfDue();
        {
            std::lock_guard lock(mutex);
            done = std::max(done, ticket);
            // Everything taken in is written when the backlog is empty.
            if (pending.empty())
                done = intakeTicket;
        }
        handled.notify_all();
        if (stop)
            break;
    }
    Commit();
    Close();
}

JournalWriter::JournalWriter(std::string path, Clock clock)
    : m_path(std::move(path)), m_state(std::make_unique<State>()) {
    m_state->path = m_path;
    m_state->clock = clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); };
    m_state->thread = std::thread([state = m_state.get()] { state->Loop(); });
}

JournalWriter::~JournalWriter() {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
    }
    m_state->wake.notify_one();
    m_state->thread.join();
}

void JournalWriter::SetSession(const SessionFacts& session) {
    std::lock_guard lock(m_state->mutex);
    m_state->session = session;
}

void JournalWriter::FilesLoaded(const LoadedFiles& files) {
    std::lock_guard lock(m_state->mutex);
    m_state->files = files;
}

void JournalWriter::RunStarted(const upload::RunStart& start) {
    auto item = std::make_unique<BeginItem>();
    item->start = start;
    {
        std::lock_guard lock(m_state->mutex);
        item->run = ++m_state->nextRun;
        item->session = m_state->session;
        item->files = m_state->files;
    }
    m_runTicket = m_state->Enqueue(std::move(item));
}

bool JournalWriter::RequestSending(std::span<const UploadRequestRecord> requests,
                                   std::shared_ptr<const void> keepAlive) {
    if (!keepAlive || requests.size() < kWakeRecords)
        return false;
    auto sent = std::make_shared<SentAccounts>();
    sent->requests = requests;
    sent->keepAlive = std::move(keepAlive);
    {
        std::lock_guard lock(m_state->mutex);
        m_state->lastSent = sent;
    }
    m_state->Enqueue(SendingItem{std::move(sent)});
    return true;
}

void JournalWriter::RequestFinished(const upload::RequestReport& report) {
    auto item = std::make_unique<RequestItem>();
    item->facts = report.facts;
    const bool withoutRecords = report.requests.empty() && !report.rows.empty();
    item->records =
        static_cast<std::int64_t>(withoutRecords ? report.rows.size() : report.requests.size());
    {
        std::lock_guard lock(m_state->mutex);
        item->run = m_state->nextRun;
        std::shared_ptr<SentAccounts> sent = std::exchange(m_state->lastSent, nullptr);
        if (withoutRecords)
            item->sent = std::move(sent);
    }
    if (withoutRecords) {
        // The records went once the body was built; their accounts were taken
        // as it was sent (SentAccounts), the rest is read in place.
        item->keepAlive = report.keepAlive;
        item->rows.assign(report.rows.begin(), report.rows.end());
        item->outcomes.assign(report.outcomes.begin(), report.outcomes.end());
        item->report.reset(new upload::RequestReport{
            item->facts, {}, report.results, item->rows, item->outcomes, nullptr});
        m_state->Enqueue(std::move(item), true);
        return;
    }
    const bool large = item->records >= static_cast<std::int64_t>(kWakeRecords);
    if (report.keepAlive && large) {
        // The records stay where they are until the writer has read them:
        // packing a large request would hold up the upload. A small one is
        // packed at once, so that its storage is reused for the next.
        item->keepAlive = report.keepAlive;
        item->rows.assign(report.rows.begin(), report.rows.end());
        item->outcomes.assign(report.outcomes.begin(), report.outcomes.end());
        item->report.reset(new upload::RequestReport{item->facts, report.requests, report.results,
                                                     item->rows, item->outcomes, nullptr});
    } else {
        item->packed = PackedRecords(report);
    }
    m_state->Enqueue(std::move(item), large);
}

void JournalWriter::RunEnded(upload::RunEnding ending, upload::WallClock::time_point when) {
    std::uint64_t run;
    {
        std::lock_guard lock(m_state->mutex);
        run = m_state->nextRun;
    }
    m_runTicket = m_state->Enqueue(EndItem{run, ending, when});
}

void JournalWriter::MessageShown(const std::string& message) {
    std::uint64_t run;
    {
        std::lock_guard lock(m_state->mutex);
        run = m_state->nextRun;
    }
    m_state->Enqueue(ShownItem{run, message});
}

void JournalWriter::MessageDismissed(upload::WallClock::time_point when) {
    std::uint64_t run;
    {
        std::lock_guard lock(m_state->mutex);
        run = m_state->nextRun;
    }
    m_runTicket = m_state->Enqueue(DismissedItem{run, when});
}

std::string JournalWriter::TakeProblem() {
    std::lock_guard lock(m_state->mutex);
    if (m_state->problemTaken || m_state->problem.empty())
        return {};
    m_state->problemTaken = true;
    return m_state->problem;
}

bool JournalWriter::HasProblem() const {
    std::lock_guard lock(m_state->mutex);
    return !m_state->problemTaken && !m_state->problem.empty();
}

void JournalWriter::Sync() {
    m_state->WaitFor(m_state->Enqueue(SyncItem{}), std::chrono::hours(1));
}

bool JournalWriter::WaitForRun(std::chrono::milliseconds timeout) {
    return m_state->WaitFor(m_runTicket, timeout);
}

} // namespace journal
