// A journal written by version 1 of the schema, converted in place on first
// use: every run, request and result kept, each result decided by the rule
// the uploads use now, and the counts taking each account once.

#include "journal/JournalReader.h"
#include "journal/Schema.h"
#include "tests/journal/JournalFiles.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace journal;

namespace {

// The tables as version 1 made them.
constexpr const char* kVersion1 = R"sql(
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
    message TEXT NOT NULL DEFAULT ''
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
    PRIMARY KEY (run_id, seq)
);
CREATE INDEX result_failed ON result (run_id, seq) WHERE NOT stored;
CREATE INDEX result_account_no ON result (run_id, account_no);
CREATE INDEX result_account_name ON result (run_id, account_name);
PRAGMA application_id = 1363825230;
PRAGMA user_version = 1;
)sql";

// Four runs: a batch with a 9715; an "upload new" whose refused first round
// carried a success code and a 9701 that the second round stored; a batch
// refused before any request; a run the program never saw to its end.
constexpr const char* kRuns = R"sql(
INSERT INTO run VALUES (1, '2026-11-02T09:00:00.000+08:00', '2026-11-02T09:00:05.000+08:00',
  'op', '10.0.0.1', 7070, 0, '/w', '全部上传', 1, 0, '', '', 1, 0, '', '', 0, 0, '', '',
  2, 1, 1, 1, '上传A股备付金成功1条,失败1条;');
INSERT INTO request VALUES (1, 1, 'S1', '2026-11-02T09:00:01.000+08:00', 3, -3, '0000', '');
INSERT INTO result VALUES (1, 0, 1, 1, 1, 'R1', 'A', '', '', '0000', 'ok', 1);
INSERT INTO result VALUES (1, 1, 1, 1, 2, 'R2', 'B', '', '', '9715', 'no', 0);
INSERT INTO result VALUES (1, 2, 1, 2, 1, 'B1', 'C', '0102', 'Bank', '0', 'ok', 1);

INSERT INTO run VALUES (2, '2026-11-03T09:00:00.000+08:00', '2026-11-03T09:00:05.000+08:00',
  'op', '10.0.0.1', 7070, 0, '/w', '只上传新增账户', 1, 0, '', '', 1, 0, '', '', 0, 0, '', '',
  4, 2, 0, 0, '上传A股备付金:新增1条,已存在1条,失败0条;');
INSERT INTO request VALUES (2, 1, 'S2', '2026-11-03T09:00:01.000+08:00', 3, -2, '0000', '');
INSERT INTO request VALUES (2, 2, 'S3', '2026-11-03T09:00:02.000+08:00', 1, 1, '0000', '');
INSERT INTO result VALUES (2, 0, 1, 1, 1, 'R1', 'A', '', '', '9720', 'held', 0);
INSERT INTO result VALUES (2, 1, 1, 1, 2, 'R2', 'B', '', '', '9701', 'again', 0);
INSERT INTO result VALUES (2, 2, 1, 1, 3, 'R3', 'C', '', '', '0000', 'ok', 1);
INSERT INTO result VALUES (2, 3, 2, 1, 2, 'R2', 'B', '', '', '0000', 'ok', 1);

INSERT INTO run VALUES (3, '2026-11-04T09:00:00.000+08:00', '2026-11-04T09:00:00.100+08:00',
  'op', '10.0.0.1', 7070, 0, '/w', '全部上传', 1, 0, '', '', 1, 0, '', '', 0, 0, '', '',
  2, 0, 0, 0, '上传记录数[2]超过单次上传上限[1]条,请使用[逐笔上传]!');
INSERT INTO request VALUES (3, 1, '', '2026-11-04T09:00:00.050+08:00', 2, -1, '', '');
INSERT INTO result VALUES (3, 0, 1, 1, 1, 'R1', 'A', '', '', '', '', 0);
INSERT INTO result VALUES (3, 1, 1, 1, 2, 'R2', 'B', '', '', '', '', 0);

INSERT INTO run VALUES (4, '2026-11-05T09:00:00.000+08:00', NULL,
  'op', '10.0.0.1', 7070, 0, '/w', '逐笔上传', 1, 0, '', '', 1, 0, '', '', 0, 0, '', '',
  1, 1, 0, 0, '');
INSERT INTO request VALUES (4, 1, 'S4', '2026-11-05T09:00:01.000+08:00', 1, 1, '0000', '');
INSERT INTO result VALUES (4, 0, 1, 1, 1, 'R1', 'A', '', '', '0', 'ok', 1);
)sql";

void MakeFile(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << (error ? error : "");
}

std::vector<std::string> Describe(JournalReader& reader, std::int64_t run, bool failedOnly) {
    ResultFilter filter;
    filter.failedOnly = failedOnly;
    std::vector<std::string> rows;
    for (const Result& r : reader.Results(run, filter, 0, 100))
        rows.push_back(r.accountNo + " " + r.code + " " +
                       std::to_string(static_cast<int>(r.outcome)) +
                       (r.final ? "" : " superseded"));
    return rows;
}

} // namespace

TEST(JournalMigration, AVersion1JournalIsConvertedInPlaceKeepingEveryRecord) {
    JournalDir dir;
    MakeFile(dir.File(), std::string(kVersion1) + kRuns);
    std::string error;
    auto reader = JournalReader::Open(dir.File(), error);
    ASSERT_TRUE(reader) << error;
    const std::vector<RunInfo> runs = reader->Runs();
    ASSERT_EQ(runs.size(), 4u);

    const RunInfo batch = *reader->FindRun(1);
    EXPECT_EQ(batch.reserve.sent, 2);
    EXPECT_EQ(batch.reserve.stored, 1);
    EXPECT_EQ(batch.reserve.refused, 1);
    EXPECT_EQ(batch.reserve.failed, 1);
    EXPECT_EQ(batch.bank.stored, 1);
    EXPECT_EQ(batch.ending, Ending::Completed);
    EXPECT_EQ(Describe(*reader, 1, true), std::vector<std::string>{"R2 9715 3"});

    // Each account once, with its last outcome; a success code inside the
    // refused round stored nothing.
    const RunInfo daily = *reader->FindRun(2);
    EXPECT_EQ(daily.reserve.sent, 3);
    EXPECT_EQ(daily.reserve.stored, 1);
    EXPECT_EQ(daily.reserve.held, 1);
    EXPECT_EQ(daily.reserve.notStored, 1);
    EXPECT_EQ(daily.reserve.failed, 1);
    EXPECT_EQ(
        Describe(*reader, 2, false),
        (std::vector<std::string>{"R1 9720 2", "R2 9701 4 superseded", "R3 0000 4", "R2 0000 1"}));
    EXPECT_EQ(Describe(*reader, 2, true), std::vector<std::string>{"R3 0000 4"});

    // A request that never left sent nothing; its records are kept.
    const RunInfo refused = *reader->FindRun(3);
    EXPECT_EQ(refused.reserve.sent, 0);
    EXPECT_EQ(refused.reserve.failed, 0);
    EXPECT_EQ(Describe(*reader, 3, false).size(), 2u);
    EXPECT_EQ(reader->Requests(3).at(0).records, 2);

    EXPECT_EQ(reader->FindRun(4)->ending, Ending::Unfinished);
    EXPECT_EQ(reader->FindRun(4)->reserve.stored, 1);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File().c_str(), &db), SQLITE_OK);
    sqlite3_stmt* version = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &version, nullptr);
    ASSERT_EQ(sqlite3_step(version), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(version, 0), kSchemaVersion);
    sqlite3_finalize(version);
    sqlite3_close(db);
}

TEST(JournalMigration, AVersion1FileThatCannotBeConvertedIsLeftAsItWas) {
    JournalDir dir;
    // Ours by its marks, but without the tables version 1 had.
    MakeFile(dir.File(), "CREATE TABLE run (id INTEGER PRIMARY KEY);"
                         "PRAGMA application_id = 1363825230; PRAGMA user_version = 1;");
    const std::string before = FileBytes(dir.File());
    std::string error;
    EXPECT_FALSE(JournalReader::Open(dir.File(), error));
    EXPECT_NE(error.find(dir.File()), std::string::npos) << error;
    EXPECT_NE(error.find("无法转换为新的格式版本"), std::string::npos) << error;
    EXPECT_EQ(FileBytes(dir.File()), before);
}
