#include "journal/JournalWriter.h"

#include "journal/Schema.h"
#include "journal/Sql.h"
#include "support/BusyTicker.h"
#include "support/IsoTime.h"
#include "support/Text.h"
#include "upload/RunTally.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <variant>

namespace journal {

namespace {

constexpr const char* kCannotUse = "上传记录文件[%s]无法使用:%s\n上传照常进行,本次不再记录.";
// While a large request is written, the clock is looked at after this many
// records, so that readers see it arrive at the usual cadence.
constexpr std::int64_t kClockStride = 1024;
// How long a caller waits for the writer at the start of a run before going
// on without it: longer than another process may hold the file.
constexpr std::chrono::milliseconds kBeginWait{kBusyTimeoutMs + 2000};
// How often the writer looks at the queue during a run, and how long the
// queue may grow before it is woken at once.
constexpr std::chrono::milliseconds kPollInterval{20};
constexpr std::size_t kWakeQueueLength = 512;
constexpr std::size_t kWakeRecords = 256;

// A record as the queue holds it: a kind byte, its row (4 bytes), its outcome
// (1 byte), then six GBK texts each with a length byte (account number,
// account name, bank code, bank name, result code, result text). Fields are at
// most 80 bytes, so a byte holds a length.
void PackText(std::string& out, const char* field, std::size_t size) {
    const std::string_view value = text::TrimGbk(text::FieldText(field, size));
    out.push_back(static_cast<char>(value.size()));
    out.append(value);
}

template <std::size_t N> void Pack(std::string& out, const char (&field)[N]) {
    static_assert(N <= 256);
    PackText(out, field, N);
}

void PackRow(std::string& out, std::uint32_t row) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((row >> shift) & 0xff));
}

std::uint32_t UnpackRow(const char*& at) {
    std::uint32_t row = 0;
    for (int shift = 0; shift < 32; shift += 8)
        row |= static_cast<std::uint32_t>(static_cast<unsigned char>(*at++)) << shift;
    return row;
}

std::string_view UnpackText(const char*& at) {
    const auto size = static_cast<unsigned char>(*at++);
    const std::string_view value(at, size);
    at += size;
    return value;
}

// An empty time is no time yet (NULL in the file).
std::string TimeText(upload::WallClock::time_point when) {
    return when == upload::WallClock::time_point{} ? std::string() : text::IsoTime(when);
}

struct BeginItem {
    upload::RunStart start;
    SessionFacts session;
    LoadedFiles files;
};
struct RequestItem {
    upload::ExchangeFacts facts;
    std::int64_t records = 0;
    std::string packed;
};
struct EndItem {
    upload::RunEnding ending;
    upload::WallClock::time_point when;
};
struct ShownItem {
    std::string message;
};
struct DismissedItem {
    upload::WallClock::time_point when;
};
struct SyncItem {};
// The rare, large start of a run is held by pointer to keep every item small.
using Item = std::variant<std::unique_ptr<BeginItem>, RequestItem, EndItem, ShownItem,
                          DismissedItem, SyncItem>;

} // namespace

struct JournalWriter::State {
    std::string path;
    Clock clock;

    std::mutex mutex;
    std::condition_variable wake;    // items queued or stopping
    std::condition_variable handled; // the writer caught up with a ticket
    std::vector<Item> queue;         // swapped whole with the writer's batch, capacity kept
    std::uint64_t queued = 0;        // tickets handed out
    std::uint64_t done = 0;          // tickets handled
    bool stopping = false;
    std::string problem; // for the operator, once
    bool problemTaken = false;
    SessionFacts session;
    LoadedFiles files;

    // Writer thread only.
    sqlite3* db = nullptr;
    bool opened = false;
    bool disabled = false;
    bool inTransaction = false;
    std::chrono::steady_clock::time_point lastCommit;
    // The run being written: its counts take each account once, with the
    // outcome of its last request, as the run's own message does.
    std::int64_t runId = 0;
    bool runDirty = false;
    bool runOpen = false; // between its start and its end: small requests come unannounced
    bool heldIsFailure = true;
    std::int64_t requestSeq = 0;
    std::int64_t resultSeq = 0;
    upload::RunTally tally;
    std::vector<std::int64_t> lastResult[2]; // per row: its latest result's seq + 1
    std::string message;
    std::string ended;
    std::int64_t ending = -1;
    std::string dismissed;
    Statement insertRun, insertRequest, insertResult, unfinal, updateRun, begin, commit;

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
    void WaitFor(std::uint64_t ticket, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        handled.wait_for(lock, timeout, [&] { return done >= ticket; });
    }

    void Fail(const std::string& reason) {
        if (inTransaction)
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        Close();
        inTransaction = false;
        disabled = true;
        std::lock_guard lock(mutex);
        if (problem.empty())
            problem = text::Format(kCannotUse, path.c_str(), reason.c_str());
    }
    void FailSqlite() { Fail(SqliteError(db)); }
    void Close() {
        for (Statement* s :
             {&insertRun, &insertRequest, &insertResult, &unfinal, &updateRun, &begin, &commit})
            *s = Statement();
        sqlite3_close_v2(db);
        db = nullptr;
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
    bool Commit();
    void CommitIfDue();
    bool WriteRun();
    // A row's earlier result in this run is no longer its final one.
    bool Supersede(upload::RowRef row, std::int64_t seq);
    void Handle(std::unique_ptr<BeginItem>& item) { Handle(*item); }
    void Handle(BeginItem& item);
    void Handle(RequestItem& item);
    void Handle(EndItem& item);
    void Handle(ShownItem& item);
    void Handle(DismissedItem& item);
    void Handle(SyncItem&) {}
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
    // take the database's mode, are private as well. An existing file keeps
    // its mode.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        Fail(std::strerror(errno));
        return;
    }
    ::close(fd);

    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        FailSqlite();
        return;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
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
        // again under the write lock.
        if (!Exec("BEGIN IMMEDIATE"))
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
    // WAL lets the window, the terminal front end and readers share the
    // file; NORMAL keeps every commit across a crash of the program.
    if (!Exec("PRAGMA journal_mode = WAL") || !Exec("PRAGMA synchronous = NORMAL"))
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
    insertResult =
        Statement(db, "INSERT INTO result (run_id, seq, request_seq, kind, row, "
                      "account_no, account_name, bank_code, bank_name, code, text, "
                      "stored, outcome, final, failed) "
                      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, 1, ?14)");
    unfinal = Statement(db, "UPDATE result SET final = 0 WHERE run_id = ?1 AND seq = ?2");
    updateRun = Statement(
        db, "UPDATE run SET reserve_sent = ?2, reserve_stored = ?3, reserve_held = ?4, "
            "reserve_refused = ?5, reserve_not_stored = ?6, reserve_unknown = ?7, "
            "reserve_failed = ?8, bank_sent = ?9, bank_stored = ?10, bank_held = ?11, "
            "bank_refused = ?12, bank_not_stored = ?13, bank_unknown = ?14, bank_failed = ?15, "
            "message = ?16, ended = nullif(?17, ''), ending = nullif(?18, -1), "
            "dismissed = nullif(?19, '') WHERE id = ?1");
    begin = Statement(db, "BEGIN IMMEDIATE");
    commit = Statement(db, "COMMIT");
    if (!insertRun.Ok() || !insertRequest.Ok() || !insertResult.Ok() || !unfinal.Ok() ||
        !updateRun.Ok() || !begin.Ok() || !commit.Ok())
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

bool JournalWriter::State::WriteRun() {
    Statement& u = updateRun;
    u.Bind(1, runId);
    int column = 2;
    for (const upload::RowKind kind : {upload::RowKind::Reserve, upload::RowKind::Bank}) {
        const upload::OutcomeCounts& c = tally.Counts(kind);
        for (const std::int64_t value :
             {c.sent, c.stored, c.held, c.refused, c.notStored, c.unknown, c.Failed(heldIsFailure)})
            u.Bind(column++, value);
    }
    u.BindStatic(16, message);
    u.BindStatic(17, ended);
    u.Bind(18, ending);
    u.BindStatic(19, dismissed);
    return Run(u);
}

bool JournalWriter::State::Commit() {
    if (!inTransaction)
        return !disabled;
    // The run's counts and messages so far, so that a run cut short shows
    // what it had done.
    if (runId != 0 && runDirty) {
        if (!WriteRun())
            return false;
        runDirty = false;
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

void JournalWriter::State::Handle(BeginItem& item) {
    // The file is opened for the first run only, so that a session without
    // an upload leaves no file behind.
    if (!opened) {
        opened = true;
        Open();
    }
    if (!EnsureTransaction())
        return;
    runId = 0;
    runDirty = false;
    heldIsFailure = item.start.heldIsFailure;
    requestSeq = resultSeq = 0;
    tally = upload::RunTally();
    lastResult[0].clear();
    lastResult[1].clear();
    message.clear();
    ended.clear();
    ending = -1;
    dismissed.clear();

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
    runId = sqlite3_last_insert_rowid(db);
    runOpen = true;
    Commit();
}

bool JournalWriter::State::Supersede(upload::RowRef row, std::int64_t seq) {
    std::vector<std::int64_t>& latest = lastResult[row.kind == upload::RowKind::Reserve ? 0 : 1];
    if (row.index >= latest.size())
        latest.resize(row.index + 1, 0);
    const std::int64_t earlier = latest[row.index];
    latest[row.index] = seq + 1;
    if (earlier == 0)
        return true;
    unfinal.Bind(1, runId);
    unfinal.Bind(2, earlier - 1);
    return Run(unfinal);
}

void JournalWriter::State::Handle(RequestItem& item) {
    if (runId == 0 || !EnsureTransaction())
        return;
    ++requestSeq;
    Statement& r = insertRequest;
    r.Bind(1, runId);
    r.Bind(2, requestSeq);
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
    runDirty = true;

    Statement& s = insertResult;
    const char* at = item.packed.data();
    const char* end = at + item.packed.size();
    std::string texts[6];
    for (std::int64_t n = 1; at < end; ++n) {
        const bool bank = *at++ == '2';
        const upload::RowRef row{bank ? upload::RowKind::Bank : upload::RowKind::Reserve,
                                 UnpackRow(at)};
        const auto outcome = static_cast<upload::RowOutcome>(*at++);
        for (std::string& t : texts)
            t = text::GbkToUtf8(UnpackText(at));
        tally.Decide(row, outcome);
        const bool failed = outcome != upload::RowOutcome::Stored &&
                            (heldIsFailure || outcome != upload::RowOutcome::Held);
        const std::int64_t seq = resultSeq++;
        if (!Supersede(row, seq))
            return;
        s.Bind(1, runId);
        s.Bind(2, seq);
        s.Bind(3, requestSeq);
        s.Bind(4, std::int64_t{bank ? 2 : 1});
        s.Bind(5, std::int64_t{row.index} + 1);
        for (int i = 0; i < 6; ++i)
            s.BindStatic(6 + i, texts[i]);
        s.Bind(12, std::int64_t{outcome == upload::RowOutcome::Stored ? 1 : 0});
        s.Bind(13, static_cast<std::int64_t>(outcome));
        s.Bind(14, std::int64_t{failed ? 1 : 0});
        if (!Run(s))
            return;
        if (n % kClockStride == 0) {
            CommitIfDue();
            if (!EnsureTransaction())
                return;
        }
    }
}

void JournalWriter::State::Handle(EndItem& item) {
    if (runId == 0 || !EnsureTransaction())
        return;
    runOpen = false;
    ended = text::IsoTime(item.when);
    ending = static_cast<std::int64_t>(item.ending);
    runDirty = true;
    Commit();
}

void JournalWriter::State::Handle(ShownItem& item) {
    if (runId == 0 || !EnsureTransaction())
        return;
    if (!message.empty())
        message += "\n\n";
    message += item.message;
    runDirty = true;
}

void JournalWriter::State::Handle(DismissedItem& item) {
    if (runId == 0 || !EnsureTransaction())
        return;
    dismissed = text::IsoTime(item.when);
    runDirty = true;
    Commit();
}

void JournalWriter::State::Loop() {
    lastCommit = clock();
    std::vector<Item> batch;
    for (;;) {
        bool stop = false;
        std::uint64_t ticket = 0;
        {
            std::unique_lock lock(mutex);
            // With uncommitted rows the writer wakes in time to commit them.
            if (inTransaction || runOpen)
                wake.wait_for(lock, kPollInterval, [&] { return !queue.empty() || stopping; });
            else
                wake.wait(lock, [&] { return !queue.empty() || stopping; });
            batch.swap(queue);
            ticket = queued;
            stop = stopping && batch.empty();
        }
        for (Item& item : batch)
            std::visit([this](auto& i) { Handle(i); }, item);
        batch.clear();
        CommitIfDue();
        {
            std::lock_guard lock(mutex);
            done = ticket;
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
        item->session = m_state->session;
        item->files = m_state->files;
    }
    m_state->WaitFor(m_state->Enqueue(std::move(item)), kBeginWait);
}

void JournalWriter::RequestFinished(const upload::RequestReport& report) {
    RequestItem item;
    item.facts = report.facts;
    item.records = static_cast<std::int64_t>(report.requests.size());
    // Results that cannot be matched to records one to one are not put
    // beside any record: the request's outcome tells what happened.
    const bool matched = report.results.size() == report.requests.size();
    item.packed.reserve(report.requests.size() * 72);
    CBusyTicker busy;
    for (std::size_t i = 0; i < report.requests.size(); ++i) {
        busy.Tick();
        const UploadRequestRecord& r = report.requests[i];
        const bool bank = i < report.rows.size() ? report.rows[i].kind == upload::RowKind::Bank
                                                 : std::strncmp(r.RecordKind, "02", 2) == 0;
        item.packed.push_back(bank ? '2' : '1');
        PackRow(item.packed, i < report.rows.size() ? report.rows[i].index : 0);
        item.packed.push_back(static_cast<char>(
            i < report.outcomes.size() ? report.outcomes[i] : upload::RowOutcome::Unknown));
        if (bank) {
            Pack(item.packed, r.BankAccountNo);
            Pack(item.packed, r.AccountFullName);
            Pack(item.packed, r.BankCode);
            Pack(item.packed, r.BankFullName);
        } else {
            Pack(item.packed, r.ReserveAccountNo);
            Pack(item.packed, r.ReserveAccountName);
            item.packed.append(2, '\0');
        }
        if (matched) {
            Pack(item.packed, report.results[i].ResultCode);
            Pack(item.packed, report.results[i].ResultText);
        } else {
            item.packed.append(2, '\0');
        }
    }
    const bool large = item.records >= static_cast<std::int64_t>(kWakeRecords);
    m_state->Enqueue(std::move(item), large);
}

void JournalWriter::RunEnded(upload::RunEnding ending, upload::WallClock::time_point when) {
    m_state->Enqueue(EndItem{ending, when});
}

void JournalWriter::MessageShown(const std::string& message) {
    m_state->Enqueue(ShownItem{message});
}

void JournalWriter::MessageDismissed(upload::WallClock::time_point when) {
    m_state->Enqueue(DismissedItem{when});
}

std::string JournalWriter::TakeProblem() {
    std::lock_guard lock(m_state->mutex);
    if (m_state->problemTaken || m_state->problem.empty())
        return {};
    m_state->problemTaken = true;
    return m_state->problem;
}

void JournalWriter::Sync() {
    m_state->WaitFor(m_state->Enqueue(SyncItem{}), std::chrono::hours(1));
}

} // namespace journal
