#include "journal/Schema.h"

#include "journal/Sql.h"
#include "support/Text.h"

namespace journal {

// Every account a run sent is kept once, in `account`, with the list texts
// it was shown with; every distinct result code and text once, in `reply`.
// Account numbers are indexed for the history's search; names are not: a
// scan of a million names takes about 120 ms, and their index would be a
// third of the file. A
// run's results are packed in send order into blocks (`result_block`): per
// result its list row, account, reply, request and outcome, a few bytes each
// (see ResultBlock.h). Which result of a row is final and which are counted as
// failed follows from the blocks and the run's held_is_failure; `resent` says
// whether any row was sent twice in the run, so that a run without a resend
// needs no pass to know that every result is final.
//
// `complete` is set with a run's end once every one of its results is in the
// file: a run the journal could not finish writing (a crash, a full disk)
// keeps 0 and shows as unfinished.
const char* const kCreateSchema = R"sql(
PRAGMA auto_vacuum = INCREMENTAL;
CREATE TABLE run (
    id INTEGER PRIMARY KEY,
    started TEXT NOT NULL,
    ended TEXT,
    operator TEXT NOT NULL,
    gateway_address TEXT NOT NULL,
    gateway_port INTEGER NOT NULL,
    header_mode INTEGER NOT NULL,
    work_dir TEXT NOT NULL,
    mode TEXT NOT NULL,
    bank_file_present INTEGER NOT NULL,
    bank_file_size INTEGER NOT NULL,
    bank_file_modified TEXT NOT NULL,
    bank_file_sha256 TEXT NOT NULL,
    reserve_a_file_present INTEGER NOT NULL,
    reserve_a_file_size INTEGER NOT NULL,
    reserve_a_file_modified TEXT NOT NULL,
    reserve_a_file_sha256 TEXT NOT NULL,
    reserve_b_file_present INTEGER NOT NULL,
    reserve_b_file_size INTEGER NOT NULL,
    reserve_b_file_modified TEXT NOT NULL,
    reserve_b_file_sha256 TEXT NOT NULL,
    reserve_sent INTEGER NOT NULL DEFAULT 0,
    reserve_stored INTEGER NOT NULL DEFAULT 0,
    bank_sent INTEGER NOT NULL DEFAULT 0,
    bank_stored INTEGER NOT NULL DEFAULT 0,
    message TEXT NOT NULL DEFAULT '',
    origin TEXT NOT NULL DEFAULT '',
    ending INTEGER,
    held_is_failure INTEGER NOT NULL DEFAULT 1,
    reserve_held INTEGER NOT NULL DEFAULT 0,
    reserve_refused INTEGER NOT NULL DEFAULT 0,
    reserve_not_stored INTEGER NOT NULL DEFAULT 0,
    reserve_unknown INTEGER NOT NULL DEFAULT 0,
    reserve_failed INTEGER NOT NULL DEFAULT 0,
    bank_held INTEGER NOT NULL DEFAULT 0,
    bank_refused INTEGER NOT NULL DEFAULT 0,
    bank_not_stored INTEGER NOT NULL DEFAULT 0,
    bank_unknown INTEGER NOT NULL DEFAULT 0,
    bank_failed INTEGER NOT NULL DEFAULT 0,
    dismissed TEXT,
    results INTEGER NOT NULL DEFAULT 0,
    resent INTEGER NOT NULL DEFAULT 0,
    complete INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE request (
    run_id INTEGER NOT NULL,
    seq INTEGER NOT NULL,
    serial_no TEXT NOT NULL,
    sent TEXT NOT NULL,
    records INTEGER NOT NULL,
    outcome INTEGER NOT NULL,
    return_code TEXT NOT NULL,
    return_message TEXT NOT NULL,
    finished TEXT NOT NULL DEFAULT '',
    failure TEXT NOT NULL DEFAULT '',
    PRIMARY KEY (run_id, seq)
);
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
)sql";

std::string SqliteError(sqlite3* db) {
    return db != nullptr ? sqlite3_errmsg(db) : "out of memory";
}

namespace {

// The first integer column of `sql`, or false when SQLite could not run it.
bool QueryInt(sqlite3* db, const char* sql, int& value) {
    Statement s(db, sql);
    if (s.Step() != SQLITE_ROW)
        return false;
    value = static_cast<int>(s.Int(0));
    return true;
}

} // namespace

FileState InspectFile(sqlite3* db, std::string& reason) {
    int applicationId = 0;
    int version = 0;
    int objects = 0;
    // One snapshot for the three reads: another program may be making the
    // tables and marking the file in between. Reading the header is what
    // fails on a file that is not a database.
    sqlite3_exec(db, "SAVEPOINT inspect", nullptr, nullptr, nullptr);
    const bool read = QueryInt(db, "PRAGMA application_id", applicationId) &&
                      QueryInt(db, "PRAGMA user_version", version) &&
                      QueryInt(db, "SELECT count(*) FROM sqlite_master", objects);
    const int code = sqlite3_errcode(db);
    const std::string error = SqliteError(db);
    sqlite3_exec(db, "RELEASE inspect", nullptr, nullptr, nullptr);
    if (!read) {
        if (code == SQLITE_NOTADB) {
            reason = "不是本程序的上传记录文件";
            return FileState::Foreign;
        }
        reason = text::Format("文件已损坏或无法读取(%s)", error.c_str());
        return FileState::Damaged;
    }
    if (applicationId == 0 && version == 0 && objects == 0)
        return FileState::Empty;
    if (applicationId != kApplicationId) {
        reason = "不是本程序的上传记录文件";
        return FileState::Foreign;
    }
    if (version < kSchemaVersion && version >= 1)
        return FileState::Older;
    if (version > kSchemaVersion) {
        reason =
            text::Format("由更新版本的程序写入(格式版本%d,本程序支持%d)", version, kSchemaVersion);
        return FileState::Newer;
    }
    if (version < 1) {
        reason = "文件已损坏(缺少格式版本)";
        return FileState::Damaged;
    }
    return FileState::Journal;
}

} // namespace journal
