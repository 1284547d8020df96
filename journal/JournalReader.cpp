#include "journal/JournalReader.h"

#include "journal/ResultBlock.h"
#include "journal/Schema.h"
#include "journal/Sql.h"
#include "support/Text.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unordered_map>

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

bool IsRegularFile(const std::string& path, std::string& reason) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        reason = "不是普通文件";
        return false;
    }
    return true;
}

std::int64_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

} // namespace

// A run's results as the filters need them: every result decoded, which are
// final, and for the last filter asked the positions it keeps.
struct RunPass {
    std::int64_t runId = 0;
    std::vector<BlockEntry> entries;
    std::vector<bool> final;
    std::optional<ResultFilter> filter;
    std::vector<std::uint32_t> kept;
};

struct JournalReader::Impl {
    sqlite3* db = nullptr;
    RunPass pass;
    std::unordered_map<std::uint32_t, std::pair<std::string, std::string>> replies;
    ~Impl() { sqlite3_close_v2(db); }

    struct RunFacts {
        std::int64_t results = 0;
        bool resent = false;
        bool heldIsFailure = true;
        std::int64_t failed = 0;
    };
    std::optional<RunFacts> Facts(std::int64_t runId) {
        Statement s(db, "SELECT results, resent, held_is_failure, reserve_failed + bank_failed "
                        "FROM run WHERE id = ?1");
        s.Bind(1, runId);
        if (s.Step() != SQLITE_ROW)
            return std::nullopt;
        return RunFacts{s.Int(0), s.Int(1) != 0, s.Int(2) != 0, s.Int(3)};
    }

    // Decodes the blocks of `runId` that hold positions [from, to) into
    // `out`, starting at the block that holds `from`; returns the position of
    // out's first entry.
    std::int64_t Decode(std::int64_t runId, std::int64_t from, std::int64_t to,
                        std::vector<BlockEntry>& out) {
        Statement s(db, "SELECT first_seq, count, data FROM result_block WHERE run_id = ?1 "
                        "AND first_seq >= ifnull((SELECT max(first_seq) FROM result_block "
                        "WHERE run_id = ?1 AND first_seq <= ?2), 0) AND first_seq < ?3 "
                        "ORDER BY first_seq");
        s.Bind(1, runId);
        s.Bind(2, from);
        s.Bind(3, to);
        std::int64_t first = -1;
        while (s.Step() == SQLITE_ROW) {
            const std::int64_t blockFirst = s.Int(0);
            if (first < 0)
                first = blockFirst;
            // A gap (a block lost to damage) would shift every later
            // position: stop at it.
            if (blockFirst != first + static_cast<std::int64_t>(out.size()))
                break;
            const auto* data = static_cast<const char*>(sqlite3_column_blob(s.Get(), 2));
            const int size = sqlite3_column_bytes(s.Get(), 2);
            if (!DecodeBlock(
                    std::string_view(data != nullptr ? data : "", static_cast<std::size_t>(size)),
                    s.Int(1), out))
                break;
        }
        return std::max<std::int64_t>(first, 0);
    }

    // Every result of the run, and which are final: the last result of each
    // list row.
    // `results` is the run's count now: a run still being written has grown
    // since its pass was made, and gets a new one.
    RunPass& Pass(std::int64_t runId, std::int64_t results) {
        if (pass.runId == runId && static_cast<std::int64_t>(pass.entries.size()) == results)
            return pass;
        pass = RunPass();
        pass.runId = runId;
        Decode(runId, 0, INT64_MAX, pass.entries);
        pass.final.assign(pass.entries.size(), true);
        std::vector<bool> later[2];
        for (std::size_t i = pass.entries.size(); i-- > 0;) {
            const BlockEntry& e = pass.entries[i];
            std::vector<bool>& seen = later[e.bank];
            if (e.row >= seen.size())
                seen.resize(std::max<std::size_t>(e.row + 1, seen.size() * 2), false);
            pass.final[i] = !seen[e.row];
            seen[e.row] = true;
        }
        return pass;
    }

    // The ids of accounts whose number or name starts with `search`.
    std::vector<bool> Matching(const std::string& search) {
        std::vector<bool> ids;
        Statement s(db, "SELECT id FROM account WHERE account_no >= ?1 AND account_no < ?2 "
                        "UNION ALL "
                        "SELECT id FROM account WHERE account_name >= ?1 AND account_name < ?2");
        // Every text that starts with the search sorts between it and the
        // search followed by a byte that never occurs in UTF-8.
        s.Bind(1, search);
        s.Bind(2, search + '\xff');
        while (s.Step() == SQLITE_ROW) {
            const auto id = static_cast<std::size_t>(s.Int(0));
            if (id >= ids.size())
                ids.resize(std::max(id + 1, ids.size() * 2), false);
            ids[id] = true;
        }
        return ids;
    }

    static bool Failed(const BlockEntry& e, bool final, bool heldIsFailure) {
        const auto outcome = static_cast<Outcome>(e.outcome);
        return final && outcome != Outcome::NotSent && outcome != Outcome::Stored &&
               (heldIsFailure || outcome != Outcome::Held);
    }

    const std::vector<std::uint32_t>& Kept(std::int64_t runId, std::int64_t results,
                                           const ResultFilter& filter, bool heldIsFailure) {
        RunPass& p = Pass(runId, results);
        if (p.filter == filter)
            return p.kept;
        p.filter = filter;
        p.kept.clear();
        std::vector<bool> matching;
        if (!filter.search.empty())
            matching = Matching(filter.search);
        for (std::size_t i = 0; i < p.entries.size(); ++i) {
            const BlockEntry& e = p.entries[i];
            if (filter.failedOnly && !Failed(e, p.final[i], heldIsFailure))
                continue;
            if (!filter.search.empty() &&
                (e.accountId >= matching.size() || !matching[e.accountId]))
                continue;
            p.kept.push_back(static_cast<std::uint32_t>(i));
        }
        return p.kept;
    }

    const std::pair<std::string, std::string>* Reply(std::uint32_t id) {
        auto found = replies.find(id);
        if (found == replies.end()) {
            Statement s(db, "SELECT id, code, text FROM reply");
            while (s.Step() == SQLITE_ROW)
                replies[static_cast<std::uint32_t>(s.Int(0))] = {s.Text(1), s.Text(2)};
            found = replies.find(id);
        }
        return found != replies.end() ? &found->second : nullptr;
    }

    Result Fill(const BlockEntry& e, std::int64_t seq, bool final, bool heldIsFailure,
                Statement& account) {
        Result r;
        r.seq = seq;
        r.requestSeq = e.requestSeq;
        r.kind = e.bank != 0 ? Kind::Bank : Kind::Reserve;
        r.row = std::int64_t{e.row} + 1;
        account.Bind(1, std::int64_t{e.accountId});
        if (account.Step() == SQLITE_ROW) {
            r.accountNo = account.Text(0);
            r.accountName = account.Text(1);
            r.bankCode = account.Text(2);
            r.bankName = account.Text(3);
        }
        account.Reset();
        if (e.replyId != 0)
            if (const auto* reply = Reply(e.replyId)) {
                r.code = reply->first;
                r.text = reply->second;
            }
        r.outcome = static_cast<Outcome>(e.outcome);
        r.stored = r.outcome == Outcome::Stored;
        r.final = final;
        r.failed = Failed(e, final, heldIsFailure);
        return r;
    }
};

JournalReader::JournalReader(std::string path, std::unique_ptr<Impl> impl)
    : m_path(std::move(path)), m_impl(std::move(impl)) {}

JournalReader::~JournalReader() = default;

bool JournalReader::NeedsConversion(const std::string& path) {
    std::string reason;
    if (!IsRegularFile(path, reason))
        return false;
    sqlite3* db = nullptr;
    bool older = false;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        older = InspectFile(db, reason) == FileState::Older;
    }
    sqlite3_close_v2(db);
    return older;
}

std::unique_ptr<JournalReader> JournalReader::Open(const std::string& path, std::string& error) {
    std::string reason;
    // SQLite would wait for ever on a FIFO in the journal's place.
    if (!IsRegularFile(path, reason)) {
        error = text::Format("上传记录文件[%s]无法打开:%s", path.c_str(), reason.c_str());
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    const int rc = sqlite3_open_v2(path.c_str(), &impl->db, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        error = text::Format("上传记录文件[%s]无法打开:%s", path.c_str(),
                             SqliteError(impl->db).c_str());
        return nullptr;
    }
    sqlite3_busy_timeout(impl->db, kBusyTimeoutMs);
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
    const auto facts = m_impl->Facts(runId);
    if (!facts)
        return 0;
    // The run's counts are committed with its results.
    if (filter.search.empty() && !filter.failedOnly)
        return facts->results;
    if (filter.search.empty() && filter.failedOnly)
        return facts->failed;
    return static_cast<std::int64_t>(
        m_impl->Kept(runId, facts->results, filter, facts->heldIsFailure).size());
}

std::vector<Result> JournalReader::Results(std::int64_t runId, const ResultFilter& filter,
                                           std::int64_t offset, std::int64_t limit) {
    std::vector<Result> results;
    const auto facts = m_impl->Facts(runId);
    if (!facts || offset < 0 || limit <= 0)
        return results;
    Statement account(m_impl->db, "SELECT account_no, account_name, bank_code, bank_name "
                                  "FROM account WHERE id = ?1");
    if (!filter.search.empty() || filter.failedOnly) {
        const std::vector<std::uint32_t>& kept =
            m_impl->Kept(runId, facts->results, filter, facts->heldIsFailure);
        const RunPass& pass = m_impl->pass;
        for (std::int64_t i = offset;
             i < static_cast<std::int64_t>(kept.size()) && i < offset + limit; ++i) {
            const std::uint32_t at = kept[static_cast<std::size_t>(i)];
            results.push_back(
                m_impl->Fill(pass.entries[at], at, pass.final[at], facts->heldIsFailure, account));
        }
        return results;
    }
    // Without a resend every result is final: the page's blocks are enough.
    if (facts->resent) {
        const RunPass& pass = m_impl->Pass(runId, facts->results);
        for (std::int64_t i = offset;
             i < static_cast<std::int64_t>(pass.entries.size()) && i < offset + limit; ++i) {
            const auto at = static_cast<std::size_t>(i);
            results.push_back(
                m_impl->Fill(pass.entries[at], i, pass.final[at], facts->heldIsFailure, account));
        }
        return results;
    }
    std::vector<BlockEntry> entries;
    const std::int64_t first = m_impl->Decode(runId, offset, offset + limit, entries);
    for (std::int64_t i = std::max(offset, first);
         i < first + static_cast<std::int64_t>(entries.size()) && i < offset + limit; ++i)
        results.push_back(m_impl->Fill(entries[static_cast<std::size_t>(i - first)], i, true,
                                       facts->heldIsFailure, account));
    return results;
}

JournalStats JournalReader::Stats() {
    JournalStats stats;
    stats.fileBytes = FileSize(m_path) + FileSize(m_path + "-wal");
    Statement runs(m_impl->db, "SELECT count(*) FROM run");
    if (runs.Step() == SQLITE_ROW)
        stats.runs = runs.Int(0);
    Statement accounts(m_impl->db, "SELECT count(*) FROM account");
    if (accounts.Step() == SQLITE_ROW)
        stats.accounts = accounts.Int(0);
    return stats;
}

} // namespace journal
