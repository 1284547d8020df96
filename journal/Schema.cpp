#include "journal/Schema.h"

#include "journal/Sql.h"
#include "support/Text.h"

namespace journal {

// Results carry the list texts as they were shown so that a run reads the
// same after the account files have changed. A row sent in several requests of
// a run has a result per request; only the last one is final, and only final
// results are counted. The partial index keeps the "failed only" view cheap
// when, as usual, nearly everything was stored.
const char* const kCreateSchema = R"sql(
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
    dismissed TEXT
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
CREATE TABLE result (
    run_id INTEGER NOT NULL,
    seq INTEGER NOT NULL,
    request_seq INTEGER NOT NULL,
    kind INTEGER NOT NULL,
    row INTEGER NOT NULL,
    account_no TEXT NOT NULL,
    account_name TEXT NOT NULL,
    bank_code TEXT NOT NULL,
    bank_name TEXT NOT NULL,
    code TEXT NOT NULL,
    text TEXT NOT NULL,
    stored INTEGER NOT NULL,
    outcome INTEGER NOT NULL DEFAULT 0,
    final INTEGER NOT NULL DEFAULT 1,
    failed INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY (run_id, seq)
);
CREATE INDEX result_failed_final ON result (run_id, seq) WHERE final AND failed;
CREATE INDEX result_account_no ON result (run_id, account_no);
CREATE INDEX result_account_name ON result (run_id, account_name);
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
    // Reading the header is what fails on a file that is not a database.
    if (!QueryInt(db, "PRAGMA application_id", applicationId) ||
        !QueryInt(db, "PRAGMA user_version", version) ||
        !QueryInt(db, "SELECT count(*) FROM sqlite_master", objects)) {
        const int code = sqlite3_errcode(db);
        if (code == SQLITE_NOTADB) {
            reason = "不是本程序的上传记录文件";
            return FileState::Foreign;
        }
        reason = text::Format("文件已损坏或无法读取(%s)", SqliteError(db).c_str());
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
