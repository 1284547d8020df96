// Bringing a journal of an earlier version up to the current one, in place.
//
// Version 1 kept a result per record and request and judged each result by
// its code alone. Version 2 adds the decision on each result (its outcome),
// which result of a row is final in its run, what the run's message calls
// failed, and per run the counts of every outcome, the front end it came from,
// how it ended and when its message was closed. Results of version 1 are
// decided by the rule the uploads now use, as far as the stored texts allow.

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
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail("无法转换为新的格式版本");
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
