#include "journal/JournalWriter.h"

#include "journal/Schema.h"
#include "journal/Sql.h"
#include "journal/Time.h"
#include "support/Text.h"
#include "upload/ResultCode.h"

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

// A record as the queue holds it: a kind byte, then six GBK texts each with
// a length byte (account number, account name, bank code, bank name, result
// code, result text). Fields are at most 80 bytes, so a byte holds a length.
void PackText(std::string& out, const char* field, std::size_t size) {
    const std::string_view value = text::TrimGbk(text::FieldText(field, size));
    out.push_back(static_cast<char>(value.size()));
    out.append(value);
}

template <std::size_t N> void Pack(std::string& out, const char (&field)[N]) {
    static_assert(N <= 256);
    PackText(out, field, N);
}

std::string_view UnpackText(const char*& at) {
    const auto size = static_cast<unsigned char>(*at++);
    const std::string_view value(at, size);
    at += size;
    return value;
}

struct BeginItem {
    RunStart start;
    SessionFacts session;
    LoadedFiles files;
    std::chrono::system_clock::time_point when;
};
struct ExchangeItem {
    ExchangeFacts facts;
    std::int64_t records = 0;
    std::string packed;
    std::vector<std::size_t> rows; // empty: the next rows of each kind
};
struct ShownItem {
    std::string message;
};
struct EndItem {
    std::chrono::system_clock::time_point when;
};
struct SyncItem {};
// The rare, large start of a run is held by pointer to keep every item small.
using Item = std::variant<std::unique_ptr<BeginItem>, ExchangeItem, ShownItem, EndItem, SyncItem>;

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
    std::vector<std::size_t> nextRows;

    // Writer thread only.
    sqlite3* db = nullptr;
    bool opened = false;
    bool disabled = false;
    bool inTransaction = false;
    std::chrono::steady_clock::time_point lastCommit;
    std::int64_t runId = 0;
    std::int64_t requestSeq = 0;
    std::int64_t resultSeq = 0;
    std::int64_t rows[2] = {0, 0};
    KindCounts counts[2];
    std::string message;
    Statement insertRun, insertRequest, insertResult, updateRun, begin, commit;

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
             {&insertRun, &insertRequest, &insertResult, &updateRun, &begin, &commit})
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
    void Handle(std::unique_ptr<BeginItem>& item) { Handle(*item); }
    void Handle(BeginItem& item);
    void Handle(ExchangeItem& item);
    void Handle(ShownItem& item);
    void Handle(EndItem& item);
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
            "reserve_b_file_sha256) "
            "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, "
            "?18, ?19)");
    insertRequest = Statement(db, "INSERT INTO request (run_id, seq, serial_no, sent, records, "
                                  "outcome, return_code, return_message) "
                                  "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    insertResult =
        Statement(db, "INSERT INTO result (run_id, seq, request_seq, kind, row, "
                      "account_no, account_name, bank_code, bank_name, code, text, "
                      "stored) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
    updateRun = Statement(db, "UPDATE run SET reserve_sent = ?2, reserve_stored = ?3, "
                              "bank_sent = ?4, bank_stored = ?5, message = ?6, "
                              "ended = ifnull(?7, ended) WHERE id = ?1");
    begin = Statement(db, "BEGIN IMMEDIATE");
    commit = Statement(db, "COMMIT");
    if (!insertRun.Ok() || !insertRequest.Ok() || !insertResult.Ok() || !updateRun.Ok() ||
        !begin.Ok() || !commit.Ok())
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

bool JournalWriter::State::Commit() {
    if (!inTransaction)
        return !disabled;
    if (runId != 0) {
        // The run's counts and messages so far, so that a run cut short
        // shows what it had done.
        updateRun.Bind(1, runId);
        updateRun.Bind(2, counts[0].sent);
        updateRun.Bind(3, counts[0].stored);
        updateRun.Bind(4, counts[1].sent);
        updateRun.Bind(5, counts[1].stored);
        updateRun.BindStatic(6, message);
        if (!Run(updateRun))
            return false;
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
    requestSeq = resultSeq = 0;
    rows[0] = rows[1] = 0;
    counts[0] = counts[1] = KindCounts();
    message.clear();

    Statement& s = insertRun;
    s.Bind(1, IsoTime(item.when));
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
    if (!Run(s))
        return;
    runId = sqlite3_last_insert_rowid(db);
    Commit();
}

void JournalWriter::State::Handle(ExchangeItem& item) {
    if (runId == 0 || !EnsureTransaction())
        return;
    ++requestSeq;
    Statement& r = insertRequest;
    r.Bind(1, runId);
    r.Bind(2, requestSeq);
    r.Bind(3, item.facts.serialNo);
    r.Bind(4, IsoTime(item.facts.sent));
    r.Bind(5, item.records);
    r.Bind(6, std::int64_t{item.facts.outcome});
    r.Bind(7, item.facts.returnCode);
    r.Bind(8, item.facts.returnMessage);
    if (!Run(r))
        return;

    Statement& s = insertResult;
    const char* at = item.packed.data();
    const char* end = at + item.packed.size();
    std::string texts[6];
    for (std::int64_t n = 1; at < end; ++n) {
        const bool bank = *at++ == '2';
        for (std::string& t : texts)
            t = text::GbkToUtf8(UnpackText(at));
        const int kind = bank ? 1 : 0;
        const bool stored = upload::IsSuccessCode(texts[4]);
        ++counts[kind].sent;
        if (stored)
            ++counts[kind].stored;
        s.Bind(1, runId);
        s.Bind(2, resultSeq++);
        s.Bind(3, requestSeq);
        s.Bind(4, std::int64_t{kind + 1});
        ++rows[kind];
        const std::size_t index = static_cast<std::size_t>(n - 1);
        s.Bind(5, index < item.rows.size() ? static_cast<std::int64_t>(item.rows[index]) + 1
                                           : rows[kind]);
        for (int i = 0; i < 6; ++i)
            s.BindStatic(6 + i, texts[i]);
        s.Bind(12, std::int64_t{stored ? 1 : 0});
        if (!Run(s))
            return;
        if (n % kClockStride == 0) {
            CommitIfDue();
            if (!EnsureTransaction())
                return;
        }
    }
}

void JournalWriter::State::Handle(ShownItem& item) {
    if (runId == 0 || !EnsureTransaction())
        return;
    if (!message.empty())
        message += "\n\n";
    message += item.message;
}

void JournalWriter::State::Handle(EndItem& item) {
    if (runId == 0 || !EnsureTransaction())
        return;
    // Commit writes the counts and messages; the end time goes with them.
    updateRun.Bind(7, IsoTime(item.when));
    if (Commit())
        runId = 0;
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
            if (inTransaction || runId != 0)
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

void JournalWriter::BeginRun(const RunStart& start) {
    auto item = std::make_unique<BeginItem>();
    item->start = start;
    item->when = std::chrono::system_clock::now();
    {
        std::lock_guard lock(m_state->mutex);
        item->session = m_state->session;
        item->files = m_state->files;
    }
    m_state->WaitFor(m_state->Enqueue(std::move(item)), kBeginWait);
}

void JournalWriter::Exchanged(std::span<const UploadRequestRecord> requests,
                              std::span<const UploadResultRecord> results,
                              const ExchangeFacts& facts) {
    ExchangeItem item;
    item.facts = facts;
    item.records = static_cast<std::int64_t>(requests.size());
    // Results that cannot be matched to records one to one are not put
    // beside any record: the request's outcome tells what happened.
    const bool matched = results.size() == requests.size();
    item.packed.reserve(requests.size() * 64);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const UploadRequestRecord& r = requests[i];
        const bool bank = std::strncmp(r.RecordKind, "02", 2) == 0;
        item.packed.push_back(bank ? '2' : '1');
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
            Pack(item.packed, results[i].ResultCode);
            Pack(item.packed, results[i].ResultText);
        } else {
            item.packed.append(2, '\0');
        }
    }
    {
        std::lock_guard lock(m_state->mutex);
        item.rows.swap(m_state->nextRows);
    }
    const bool large = item.records >= static_cast<std::int64_t>(kWakeRecords);
    m_state->Enqueue(std::move(item), large);
}

void JournalWriter::NextRows(std::span<const std::size_t> rows) {
    std::lock_guard lock(m_state->mutex);
    m_state->nextRows.assign(rows.begin(), rows.end());
}

void JournalWriter::Shown(const std::string& message) {
    m_state->Enqueue(ShownItem{message}, false);
}

void JournalWriter::EndRun() {
    m_state->Enqueue(EndItem{std::chrono::system_clock::now()});
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
