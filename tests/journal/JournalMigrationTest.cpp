// A journal written by version 1 of the schema, converted in place on first
// use: every run, request and result kept, each result decided by the rule
// the uploads use now, and the counts taking each account once.

#include "journal/JournalReader.h"
#include "journal/JournalWriter.h"
#include "journal/Schema.h"
#include "tests/journal/JournalFiles.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

// The tables as version 2 made them, and one "upload new" run: a round that
// was held back and its account sent again, a refused bank account.
constexpr const char* kVersion2 = R"sql(
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
PRAGMA application_id = 1363825230;
PRAGMA user_version = 2;
INSERT INTO run (id, started, ended, operator, gateway_address, gateway_port, header_mode,
  work_dir, mode, bank_file_present, bank_file_size, bank_file_modified, bank_file_sha256,
  reserve_a_file_present, reserve_a_file_size, reserve_a_file_modified, reserve_a_file_sha256,
  reserve_b_file_present, reserve_b_file_size, reserve_b_file_modified, reserve_b_file_sha256,
  reserve_sent, reserve_stored, bank_sent, bank_stored, message, origin, ending,
  held_is_failure, reserve_held, reserve_failed, bank_refused, bank_failed)
VALUES (7, '2026-12-01T09:00:00.000+08:00', '2026-12-01T09:00:09.000+08:00', '张三',
  '10.0.0.1', 7070, 0, '/w', '只上传新增账户', 1, 10, 'm', 'h', 1, 20, 'm', 'h', 0, 0, '', '',
  2, 1, 1, 0, '上传A股备付金:新增1条', 'window', 0, 0, 1, 0, 1, 1);
INSERT INTO request VALUES (7, 1, 'S1', '2026-12-01T09:00:01.000+08:00', 3, -2, '0000', '', '', '');
INSERT INTO request VALUES (7, 2, 'S2', '2026-12-01T09:00:02.000+08:00', 1, 1, '0000', '处理完成', '', '');
INSERT INTO result VALUES (7, 0, 1, 1, 1, 'R1', '甲公司', '', '', '9720', '重复', 0, 2, 1, 0);
INSERT INTO result VALUES (7, 1, 1, 1, 2, 'R2', '乙公司', '', '', '9701', '再传', 0, 4, 0, 0);
INSERT INTO result VALUES (7, 2, 1, 2, 1, 'B1', '丙公司', '0102', '工商银行', '9715', '拒绝', 0, 3, 1, 1);
INSERT INTO result VALUES (7, 3, 2, 1, 2, 'R2', '乙公司', '', '', '0000', '成功', 1, 1, 1, 0);
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

TEST(JournalMigration, AVersion2JournalIsConvertedByTheWriterAndReadsAsBefore) {
    JournalDir dir;
    MakeFile(dir.File(), kVersion2);
    {
        JournalWriter writer(dir.File());
        BeginRun(writer, StartOf("全部上传"));
        const UploadRequestRecord request = ReserveRequest("R1", "甲公司");
        const UploadResultRecord result = ResultFor(request, "0000", "成功");
        Exchanged(writer, {&request, 1}, {&result, 1});
        EndRun(writer);
        writer.Sync();
        EXPECT_EQ(writer.TakeProblem(), "");
    }
    std::string error;
    auto reader = JournalReader::Open(dir.File(), error);
    ASSERT_TRUE(reader) << error;
    ASSERT_EQ(reader->Runs().size(), 2u);
    const RunInfo old = *reader->FindRun(7);
    EXPECT_EQ(old.operatorName, "张三");
    EXPECT_EQ(old.origin, "window");
    EXPECT_EQ(old.reserve.held, 1);
    EXPECT_EQ(old.bank.failed, 1);
    EXPECT_EQ(reader->CountResults(7), 4);
    EXPECT_EQ(
        Describe(*reader, 7, false),
        (std::vector<std::string>{"R1 9720 2", "R2 9701 4 superseded", "B1 9715 3", "R2 0000 1"}));
    EXPECT_EQ(Describe(*reader, 7, true), std::vector<std::string>{"B1 9715 3"});
    const auto bank = reader->Results(7, {}, 2, 1).at(0);
    EXPECT_EQ(bank.kind, Kind::Bank);
    EXPECT_EQ(bank.row, 1);
    EXPECT_EQ(bank.accountName, "丙公司");
    EXPECT_EQ(bank.bankName, "工商银行");
    EXPECT_EQ(bank.text, "拒绝");
    EXPECT_EQ(bank.requestSeq, 1);
    EXPECT_EQ(reader->Requests(7).size(), 2u);
    EXPECT_EQ(reader->CountResults(7, {false, "乙"}), 2);
    // The new run found the account the old one kept.
    EXPECT_EQ(reader->Stats().accounts, 3);
}

// A program killed while it converts a journal leaves it as it was or
// converted whole, never between: the conversion is one transaction.
TEST(JournalMigration, AConversionKilledMidwayLeavesTheFileSound) {
    JournalDir dir;
    // Version 2 with 300,000 results in one run: long enough to kill midway.
    MakeFile(dir.File(), std::string(kVersion2) + R"sql(
WITH RECURSIVE n(i) AS (SELECT 4 UNION ALL SELECT i + 1 FROM n WHERE i < 300003)
INSERT INTO result SELECT 7, i, 2, 1, i, 'R' || i, '某公司' || i, '', '', '0000', '成功', 1, 1, 1, 0
FROM n;
)sql");
    for (const int killAfterMs : {30, 300}) {
        SCOPED_TRACE(killAfterMs);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::string reason;
            _exit(MigrateFile(dir.File(), reason) ? 0 : 1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);

        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(dir.File().c_str(), &db), SQLITE_OK);
        sqlite3_stmt* check = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
        ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
        sqlite3_finalize(check);
        sqlite3_close(db);
    }
    std::string error;
    auto reader = JournalReader::Open(dir.File(), error);
    ASSERT_TRUE(reader) << error;
    EXPECT_EQ(reader->CountResults(7), 300004);
    EXPECT_EQ(reader->Results(7, {}, 300003, 1).at(0).accountName, "某公司300003");
}
