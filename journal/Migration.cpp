// Bringing a journal of an earlier version up to the current one, in place.
//
// Version 1 kept a result per record and request and judged each result by
// its code alone. Version 2 adds the decision on each result (its outcome),
// which result of a row is final in its run, what the run's message calls
// failed, and per run the counts of every outcome, the front end it came from,
// how it ended and when its message was closed. Results of version 1 are
// decided by the rule the uploads now use, as far as the stored texts allow.

#include "journal/Catalog.h"
#include "journal/ResultBlock.h"
#include "journal/Schema.h"
#include "journal/Sql.h"
#include "support/Text.h"

namespace journal {

namespace {

constexpr const char* kFromVersion1 = R"sql(
ALTER TABLE run ADD COLUMN origin TEXT NOT NULL DEFAULT '';
ALTER TABLE run ADD COLUMN ending INTEGER;
ALTER TABLE run ADD COLUMN held_is_failure INTEGER NOT NULL DEFAULT 1;
ALTER TABLE run ADD COLUMN reserve_held INTEGER NOT NULL DEFAULT 0;
ALTER TABLE run ADD COLUMN reserve_refused INTEGER NOT NULL DEFAULT 0;
ALTER TABLE run ADD COLUMN reserve_not_stored INTEGER NOT NULL DEFAULT 0;
ALTER TABLE run ADD COLUMN reserve_unknown INTEGER NOT NULL DEFAULT 0;
ALTER TABLE run ADD COLUMN reserve_failed INTEGER NOT NULL DEFAULT 0;
ALTER TABLE run ADD COLUMN bank_held INTEGER NOT NULL DEFAULT 0;
ALTER TABLE run ADD COLUMN bank_refused INTEGER NOT NULL DEFAULT 0;
ALTER TABLE run ADD COLUMN bank_not_stored INTEGER NOT NULL DEFAULT 0;
ALTER TABLE run ADD COLUMN bank_unknown INTEGER NOT NULL DEFAULT 0;
ALTER TABLE run ADD COLUMN bank_failed INTEGER NOT NULL DEFAULT 0;
ALTER TABLE run ADD COLUMN dismissed TEXT;
ALTER TABLE request ADD COLUMN finished TEXT NOT NULL DEFAULT '';
ALTER TABLE request ADD COLUMN failure TEXT NOT NULL DEFAULT '';
ALTER TABLE result ADD COLUMN outcome INTEGER NOT NULL DEFAULT 0;
ALTER TABLE result ADD COLUMN final INTEGER NOT NULL DEFAULT 1;
ALTER TABLE result ADD COLUMN failed INTEGER NOT NULL DEFAULT 0;

UPDATE run SET held_is_failure = (mode <> '只上传新增账户'),
               ending = CASE WHEN ended IS NULL THEN NULL ELSE 0 END;
UPDATE request SET failure = return_message WHERE outcome = -1;

-- Outcomes: 0 not sent, 1 stored, 2 held, 3 refused, 4 not stored, 5 unknown.
-- A request without a serial never left; one refused as a whole (-2) stored
-- nothing, whatever its codes.
UPDATE result SET outcome = CASE
    WHEN (SELECT q.serial_no FROM request q
          WHERE q.run_id = result.run_id AND q.seq = result.request_seq) = '' THEN 0
    WHEN code IN ('9720', '9721') THEN 2
    WHEN code = '' THEN 5
    WHEN (SELECT q.outcome FROM request q
          WHERE q.run_id = result.run_id AND q.seq = result.request_seq) = -2
         AND (stored OR code = '9701') THEN 4
    WHEN stored THEN 1
    ELSE 3 END;
UPDATE result SET stored = (outcome = 1),
                  final = (outcome <> 0),
                  failed = CASE outcome
                      WHEN 0 THEN 0
                      WHEN 1 THEN 0
                      WHEN 2 THEN (SELECT held_is_failure FROM run WHERE id = result.run_id)
                      ELSE 1 END;

-- Only the "upload new" mode sends a row twice in a run: its last result is final.
CREATE TEMP TABLE final_result AS
    SELECT run_id, max(seq) AS seq FROM result
    WHERE run_id IN (SELECT id FROM run WHERE NOT held_is_failure)
    GROUP BY run_id, kind, row;
CREATE INDEX temp.final_result_key ON final_result (run_id, seq);
UPDATE result SET final = 0
    WHERE run_id IN (SELECT id FROM run WHERE NOT held_is_failure)
      AND NOT EXISTS (SELECT 1 FROM final_result f
                      WHERE f.run_id = result.run_id AND f.seq = result.seq);
DROP TABLE final_result;

CREATE TEMP TABLE run_counts AS
    SELECT run_id, kind, count(*) AS sent, sum(outcome = 1) AS stored, sum(outcome = 2) AS held,
           sum(outcome = 3) AS refused, sum(outcome = 4) AS not_stored,
           sum(outcome = 5) AS unknown, sum(failed) AS failed
    FROM result WHERE final GROUP BY run_id, kind;
CREATE INDEX temp.run_counts_key ON run_counts (run_id, kind);
UPDATE run SET
    reserve_sent = ifnull((SELECT sent FROM run_counts WHERE run_id = run.id AND kind = 1), 0),
    reserve_stored = ifnull((SELECT stored FROM run_counts WHERE run_id = run.id AND kind = 1), 0),
    reserve_held = ifnull((SELECT held FROM run_counts WHERE run_id = run.id AND kind = 1), 0),
    reserve_refused = ifnull((SELECT refused FROM run_counts WHERE run_id = run.id AND kind = 1), 0),
    reserve_not_stored = ifnull((SELECT not_stored FROM run_counts WHERE run_id = run.id AND kind = 1), 0),
    reserve_unknown = ifnull((SELECT unknown FROM run_counts WHERE run_id = run.id AND kind = 1), 0),
    reserve_failed = ifnull((SELECT failed FROM run_counts WHERE run_id = run.id AND kind = 1), 0),
    bank_sent = ifnull((SELECT sent FROM run_counts WHERE run_id = run.id AND kind = 2), 0),
    bank_stored = ifnull((SELECT stored FROM run_counts WHERE run_id = run.id AND kind = 2), 0),
    bank_held = ifnull((SELECT held FROM run_counts WHERE run_id = run.id AND kind = 2), 0),
    bank_refused = ifnull((SELECT refused FROM run_counts WHERE run_id = run.id AND kind = 2), 0),
    bank_not_stored = ifnull((SELECT not_stored FROM run_counts WHERE run_id = run.id AND kind = 2), 0),
    bank_unknown = ifnull((SELECT unknown FROM run_counts WHERE run_id = run.id AND kind = 2), 0),
    bank_failed = ifnull((SELECT failed FROM run_counts WHERE run_id = run.id AND kind = 2), 0);
DROP TABLE run_counts;

DROP INDEX IF EXISTS result_failed;
CREATE INDEX result_failed_final ON result (run_id, seq) WHERE final AND failed;
PRAGMA user_version = 2;
)sql";

constexpr const char* kFromVersion2 = R"sql(
CREATE TABLE account (
    id INTEGER PRIMARY KEY,
    kind INTEGER NOT NULL,
    account_no TEXT NOT NULL,
    account_name TEXT NOT NULL,
    bank_code TEXT NOT NULL,
    bank_name TEXT NOT NULL
);
CREATE INDEX account_no ON account (account_no);
CREATE TABLE reply (
    id INTEGER PRIMARY KEY,
    code TEXT NOT NULL,
    text TEXT NOT NULL
);
CREATE TABLE result_block (
    id INTEGER PRIMARY KEY,
    run_id INTEGER NOT NULL,
    first_seq INTEGER NOT NULL,
    count INTEGER NOT NULL,
    data BLOB NOT NULL
);
CREATE UNIQUE INDEX result_block_seq ON result_block (run_id, first_seq);
ALTER TABLE run ADD COLUMN results INTEGER NOT NULL DEFAULT 0;
ALTER TABLE run ADD COLUMN resent INTEGER NOT NULL DEFAULT 0;
ALTER TABLE run ADD COLUMN complete INTEGER NOT NULL DEFAULT 0;
UPDATE run SET complete = (ended IS NOT NULL);
)sql";

constexpr std::int64_t kBlockEntries = 4096;

// Packs every result of version 2 into blocks, run by run, in send order.
bool PackResults(sqlite3* db) {
    Catalog catalog;
    if (!catalog.Open(db))
        return false;
    Statement read(db, "SELECT run_id, seq, request_seq, kind, row, account_no, account_name, "
                       "bank_code, bank_name, code, text, outcome, final FROM result "
                       "ORDER BY run_id, seq");
    Statement block(db, "INSERT INTO result_block (run_id, first_seq, count, data) "
                        "VALUES (?1, ?2, ?3, ?4)");
    Statement run(db, "UPDATE run SET results = ?2, resent = ?3 WHERE id = ?1");
    if (!read.Ok() || !block.Ok() || !run.Ok())
        return false;
    BlockEncoder encoder;
    std::int64_t runId = -1, first = 0, count = 0;
    bool resent = false;
    auto flush = [&] {
        if (encoder.Count() == 0)
            return true;
        block.Bind(1, runId);
        block.Bind(2, first);
        block.Bind(3, encoder.Count());
        sqlite3_bind_blob(block.Get(), 4, encoder.Data().data(),
                          static_cast<int>(encoder.Data().size()), SQLITE_STATIC);
        const int rc = block.Step();
        block.Reset();
        first += encoder.Count();
        encoder.Clear();
        return rc == SQLITE_DONE;
    };
    auto endRun = [&] {
        if (runId < 0)
            return true;
        if (!flush())
            return false;
        run.Bind(1, runId);
        run.Bind(2, count);
        run.Bind(3, std::int64_t{resent ? 1 : 0});
        const int rc = run.Step();
        run.Reset();
        return rc == SQLITE_DONE;
    };
    int rc;
    while ((rc = read.Step()) == SQLITE_ROW) {
        if (read.Int(0) != runId) {
            if (!endRun())
                return false;
            runId = read.Int(0);
            first = count = 0;
            resent = false;
        }
        const int kind = read.Int(3) == 2 ? 2 : 1;
        const std::string code = read.Text(9), text = read.Text(10);
        BlockEntry e;
        e.accountId =
            catalog.AccountUtf8(kind, read.Text(5), read.Text(6), read.Text(7), read.Text(8));
        // No code and no text: nothing came back for the record.
        e.replyId = code.empty() && text.empty() ? 0 : catalog.ReplyUtf8(code, text);
        if (e.accountId == 0 || (e.replyId == 0 && !(code.empty() && text.empty())))
            return false;
        e.bank = kind == 2 ? 1 : 0;
        e.row = static_cast<std::uint32_t>(std::max<std::int64_t>(read.Int(4) - 1, 0));
        e.requestSeq = static_cast<std::uint32_t>(read.Int(2));
        e.outcome = static_cast<std::uint8_t>(read.Int(11) & 7);
        resent = resent || read.Int(12) == 0;
        encoder.Add(e);
        ++count;
        if (encoder.Count() >= kBlockEntries && !flush())
            return false;
    }
    return rc == SQLITE_DONE && endRun();
}

int Version(sqlite3* db) {
    Statement s(db, "PRAGMA user_version");
    return s.Step() == SQLITE_ROW ? static_cast<int>(s.Int(0)) : -1;
}

} // namespace

bool Migrate(sqlite3* db, std::string& reason) {
    auto fail = [&](const char* what) {
        reason = text::Format("%s(%s)", what, SqliteError(db).c_str());
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    };
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail("无法转换为新的格式版本");
    // Another program may have converted it while this one waited for the lock.
    const int version = Version(db);
    if (version == 1 && sqlite3_exec(db, kFromVersion1, nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail("无法转换为新的格式版本");
    if (version >= 1 && version <= 2) {
        if (sqlite3_exec(db, kFromVersion2, nullptr, nullptr, nullptr) != SQLITE_OK ||
            !PackResults(db) ||
            sqlite3_exec(db, "DROP TABLE result; PRAGMA user_version = 3", nullptr, nullptr,
                         nullptr) != SQLITE_OK)
            return fail("无法转换为新的格式版本");
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail("无法转换为新的格式版本");
    // The dropped results leave most of the file free: give it back, and let
    // later pruning do so in small steps. Both need the file to themselves;
    // when another program has it open the space is reused instead.
    if (version >= 1 && version <= 2)
        sqlite3_exec(db, "PRAGMA auto_vacuum = INCREMENTAL; VACUUM", nullptr, nullptr, nullptr);
    return true;
}

bool MigrateFile(const std::string& path, std::string& reason) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        reason = SqliteError(db);
        sqlite3_close_v2(db);
        return false;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    const FileState state = InspectFile(db, reason);
    const bool ok = state == FileState::Older ? Migrate(db, reason) : state == FileState::Journal;
    sqlite3_close_v2(db);
    return ok;
}

} // namespace journal
