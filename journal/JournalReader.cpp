#include "journal/JournalReader.h"

#include "journal/Schema.h"
#include "journal/Sql.h"
#include "support/Text.h"

namespace journal {

namespace {

constexpr const char* kRunColumns =
    "id, started, ifnull(ended, ''), operator, gateway_address, gateway_port, header_mode, "
    "work_dir, mode, "
    "bank_file_present, bank_file_size, bank_file_modified, bank_file_sha256, "
    "reserve_a_file_present, reserve_a_file_size, reserve_a_file_modified, "
    "reserve_a_file_sha256, "
    "reserve_b_file_present, reserve_b_file_size, reserve_b_file_modified, "
    "reserve_b_file_sha256, "
    "reserve_sent, reserve_stored, bank_sent, bank_stored, message, "
    "origin, ifnull(ending, -1), ifnull(dismissed, ''), "
    "reserve_failed, reserve_held, reserve_refused, reserve_not_stored, reserve_unknown, "
    "bank_failed, bank_held, bank_refused, bank_not_stored, bank_unknown";

FileFacts ReadFile(const Statement& s, int first) {
    FileFacts facts;
    facts.present = s.Int(first) != 0;
    facts.size = s.Int(first + 1);
    facts.modified = s.Text(first + 2);
    facts.sha256 = s.Text(first + 3);
    return facts;
}

// Sent and stored at `first`, the other counts from `more` on.
KindCounts ReadCounts(const Statement& s, int first, int more) {
    KindCounts counts;
    counts.sent = s.Int(first);
    counts.stored = s.Int(first + 1);
    counts.failed = s.Int(more);
    counts.held = s.Int(more + 1);
    counts.refused = s.Int(more + 2);
    counts.notStored = s.Int(more + 3);
    counts.unknown = s.Int(more + 4);
    return counts;
}

RunInfo ReadRun(const Statement& s) {
    RunInfo run;
    run.id = s.Int(0);
    run.started = s.Text(1);
    run.ended = s.Text(2);
    run.operatorName = s.Text(3);
    run.gatewayAddress = s.Text(4);
    run.gatewayPort = static_cast<int>(s.Int(5));
    run.headerMode = static_cast<int>(s.Int(6));
    run.workDir = s.Text(7);
    run.mode = s.Text(8);
    run.bankFile = ReadFile(s, 9);
    run.reserveFileA = ReadFile(s, 13);
    run.reserveFileB = ReadFile(s, 17);
    run.reserve = ReadCounts(s, 21, 29);
    run.bank = ReadCounts(s, 23, 34);
    run.message = s.Text(25);
    run.origin = s.Text(26);
    run.ending = static_cast<Ending>(s.Int(27));
    run.dismissed = s.Text(28);
    return run;
}

// The condition a filter adds after "run_id = ?1"; ?2 and ?3 bound to the
// search range when there is a search.
std::string FilterCondition(const ResultFilter& filter) {
    std::string where = "run_id = ?1";
    if (filter.failedOnly)
        where += " AND final AND failed";
    if (!filter.search.empty())
        where += " AND ((account_no >= ?2 AND account_no < ?3) OR "
                 "(account_name >= ?2 AND account_name < ?3))";
    return where;
}

void BindFilter(Statement& s, std::int64_t runId, const ResultFilter& filter) {
    s.Bind(1, runId);
    if (!filter.search.empty()) {
        // Every text that starts with the search sorts between it and the
        // search followed by a byte that never occurs in UTF-8.
        s.Bind(2, filter.search);
        s.Bind(3, filter.search + '\xff');
    }
}

} // namespace

struct JournalReader::Impl {
    sqlite3* db = nullptr;
    ~Impl() { sqlite3_close_v2(db); }
};

JournalReader::JournalReader(std::string path, std::unique_ptr<Impl> impl)
    : m_path(std::move(path)), m_impl(std::move(impl)) {}

JournalReader::~JournalReader() = default;

std::unique_ptr<JournalReader> JournalReader::Open(const std::string& path, std::string& error) {
    auto impl = std::make_unique<Impl>();
    const int rc = sqlite3_open_v2(path.c_str(), &impl->db, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        error = text::Format("上传记录文件[%s]无法打开:%s", path.c_str(),
                             SqliteError(impl->db).c_str());
        return nullptr;
    }
    sqlite3_busy_timeout(impl->db, kBusyTimeoutMs);
    std::string reason;
    FileState state = InspectFile(impl->db, reason);
    if (state == FileState::Older) {
        // Read through the current tables: the file is converted once, in place.
        if (MigrateFile(path, reason))
            state = InspectFile(impl->db, reason);
        else
            state = FileState::Damaged;
    }
    if (state == FileState::Empty)
        reason = "还没有任何上传记录";
    if (state != FileState::Journal) {
        error = text::Format("上传记录文件[%s]无法读取:%s", path.c_str(), reason.c_str());
        return nullptr;
    }
    return std::unique_ptr<JournalReader>(new JournalReader(path, std::move(impl)));
}

std::vector<RunInfo> JournalReader::Runs() {
    Statement s(m_impl->db,
                (std::string("SELECT ") + kRunColumns + " FROM run ORDER BY id DESC").c_str());
    std::vector<RunInfo> runs;
    while (s.Step() == SQLITE_ROW)
        runs.push_back(ReadRun(s));
    return runs;
}

std::optional<RunInfo> JournalReader::FindRun(std::int64_t runId) {
    Statement s(m_impl->db,
                (std::string("SELECT ") + kRunColumns + " FROM run WHERE id = ?1").c_str());
    s.Bind(1, runId);
    if (s.Step() != SQLITE_ROW)
        return std::nullopt;
    return ReadRun(s);
}

std::vector<Request> JournalReader::Requests(std::int64_t runId) {
    Statement s(m_impl->db,
                "SELECT seq, serial_no, sent, records, outcome, return_code, return_message, "
                "finished, failure FROM request WHERE run_id = ?1 ORDER BY seq");
    s.Bind(1, runId);
    std::vector<Request> requests;
    while (s.Step() == SQLITE_ROW) {
        Request& r = requests.emplace_back();
        r.seq = s.Int(0);
        r.serialNo = s.Text(1);
        r.sent = s.Text(2);
        r.records = s.Int(3);
        r.outcome = static_cast<int>(s.Int(4));
        r.returnCode = s.Text(5);
        r.returnMessage = s.Text(6);
        r.finished = s.Text(7);
        r.failure = s.Text(8);
    }
    return requests;
}

std::int64_t JournalReader::CountResults(std::int64_t runId, const ResultFilter& filter) {
    // The run's counts are committed with its results, and results are
    // numbered from 0 without gaps, so without a search they answer at once.
    if (filter.search.empty()) {
        Statement s(m_impl->db,
                    filter.failedOnly
                        ? "SELECT reserve_failed + bank_failed FROM run WHERE id = ?1"
                        : "SELECT ifnull(max(seq) + 1, 0) FROM result WHERE run_id = ?1");
        s.Bind(1, runId);
        return s.Step() == SQLITE_ROW ? s.Int(0) : 0;
    }
    Statement s(m_impl->db,
                ("SELECT count(*) FROM result WHERE " + FilterCondition(filter)).c_str());
    BindFilter(s, runId, filter);
    return s.Step() == SQLITE_ROW ? s.Int(0) : 0;
}

std::vector<Result> JournalReader::Results(std::int64_t runId, const ResultFilter& filter,
                                           std::int64_t offset, std::int64_t limit) {
    std::vector<Result> results;
    if (offset < 0 || limit <= 0)
        return results;
    constexpr const char* kColumns = "SELECT seq, request_seq, kind, row, account_no, "
                                     "account_name, bank_code, bank_name, code, text, stored, "
                                     "outcome, final, failed "
                                     "FROM result WHERE ";
    // Send positions are numbered from 0 without gaps, so an unfiltered page
    // is a seek rather than a walk past `offset` rows.
    const bool seek = !filter.failedOnly && filter.search.empty();
    const std::string sql =
        seek ? std::string(kColumns) + "run_id = ?1 AND seq >= ?4 ORDER BY seq LIMIT ?5"
             : std::string(kColumns) + FilterCondition(filter) + " ORDER BY seq LIMIT ?5 OFFSET ?4";
    Statement s(m_impl->db, sql.c_str());
    BindFilter(s, runId, filter);
    s.Bind(4, offset);
    s.Bind(5, limit);
    while (s.Step() == SQLITE_ROW) {
        Result& r = results.emplace_back();
        r.seq = s.Int(0);
        r.requestSeq = s.Int(1);
        r.kind = s.Int(2) == 2 ? Kind::Bank : Kind::Reserve;
        r.row = s.Int(3);
        r.accountNo = s.Text(4);
        r.accountName = s.Text(5);
        r.bankCode = s.Text(6);
        r.bankName = s.Text(7);
        r.code = s.Text(8);
        r.text = s.Text(9);
        r.stored = s.Int(10) != 0;
        r.outcome = static_cast<Outcome>(s.Int(11));
        r.final = s.Int(12) != 0;
        r.failed = s.Int(13) != 0;
    }
    return results;
}

} // namespace journal
