// The journal file as the writer leaves it and the reader reads it: runs,
// requests, results, the filters, the commit cadence, files it must not
// touch, and pruning.

#include "journal/JournalReader.h"
#include "journal/JournalWriter.h"
#include "journal/Schema.h"
#include "tests/journal/JournalFiles.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <sys/stat.h>

using namespace journal;

namespace {

std::unique_ptr<JournalReader> Reader(const std::string& path) {
    std::string error;
    auto reader = JournalReader::Open(path, error);
    EXPECT_TRUE(reader) << error;
    return reader;
}

// One batch run: three reserve records and two bank records, one request.
void WriteBatchRun(JournalWriter& writer) {
    writer.SetSession({"张三", "10.1.2.3", 7070});
    LoadedFiles files;
    files.bank = {true, 244, "2026-12-01T09:00:00.000+08:00", std::string(64, 'a')};
    files.reserveA = {true, 144, "2026-12-01T09:00:01.000+08:00", std::string(64, 'b')};
    writer.FilesLoaded(files);
    BeginRun(writer, StartOf("全部上传", "/srv/accounts", 1));
    const SampleBatch batch =
        MakeSampleBatch({{"0000", "成功"}, {"9720", "重复记录"}, {" 0 ", ""}, {"0", ""}, {"", ""}});
    Exchanged(writer, batch.requests, batch.results, batch.facts);
    Shown(writer, "上传失败,失败原因:服务器存在重复记录");
    EndRun(writer);
    // The journal writes behind the run: its verdict comes when it is done.
    writer.Sync();
}

} // namespace

TEST(JournalStore, BatchRunReadsBackWithItsCountsRequestsAndResults) {
    JournalDir dir;
    {
        JournalWriter writer(dir.File());
        WriteBatchRun(writer);
        EXPECT_EQ(writer.TakeProblem(), "");
    }
    auto reader = Reader(dir.File());
    ASSERT_TRUE(reader);
    const std::vector<RunInfo> runs = reader->Runs();
    ASSERT_EQ(runs.size(), 1u);
    const RunInfo& run = runs[0];
    EXPECT_TRUE(run.Finished());
    EXPECT_EQ(run.operatorName, "张三");
    EXPECT_EQ(run.gatewayAddress, "10.1.2.3");
    EXPECT_EQ(run.gatewayPort, 7070);
    EXPECT_EQ(run.headerMode, 1);
    EXPECT_EQ(run.mode, "全部上传");
    EXPECT_EQ(run.workDir, "/srv/accounts");
    EXPECT_EQ(run.bankFile.size, 244);
    EXPECT_EQ(run.reserveFileA.sha256, std::string(64, 'b'));
    EXPECT_FALSE(run.reserveFileB.present);
    // A request refused as a whole (-2) stored nothing, whatever its codes say.
    EXPECT_EQ(run.reserve.sent, 3);
    EXPECT_EQ(run.reserve.stored, 0);
    EXPECT_EQ(run.reserve.held, 1);
    EXPECT_EQ(run.reserve.notStored, 2);
    EXPECT_EQ(run.reserve.failed, 3);
    EXPECT_EQ(run.bank.sent, 2);
    EXPECT_EQ(run.bank.stored, 0);
    EXPECT_EQ(run.bank.refused, 1);
    EXPECT_EQ(run.bank.notStored, 1);
    EXPECT_EQ(run.bank.failed, 2);
    EXPECT_EQ(run.origin, "terminal");
    EXPECT_EQ(run.ending, Ending::Completed);
    EXPECT_FALSE(run.dismissed.empty());
    EXPECT_EQ(run.message, "上传失败,失败原因:服务器存在重复记录");
    EXPECT_EQ(run.started.size(), std::string("2026-12-07T14:03:05.120+08:00").size());

    const std::vector<Request> requests = reader->Requests(run.id);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].records, 5);
    EXPECT_EQ(requests[0].outcome, -2);
    EXPECT_EQ(requests[0].serialNo, "2026120700000001");

    const std::vector<Result> all = reader->Results(run.id, {}, 0, 100);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[1].accountName, "乙公司");
    EXPECT_EQ(all[1].code, "9720");
    EXPECT_EQ(all[1].text, "重复记录");
    EXPECT_EQ(all[3].kind, Kind::Bank);
    EXPECT_EQ(all[3].row, 1);
    EXPECT_EQ(all[4].row, 2);
    EXPECT_EQ(all[4].bankName, "农业银行");
    EXPECT_EQ(all[4].code, "");
    EXPECT_FALSE(all[4].stored);
    EXPECT_EQ(all[0].outcome, Outcome::NotStored);
    EXPECT_EQ(all[1].outcome, Outcome::Held);
    EXPECT_EQ(all[4].outcome, Outcome::Refused);
    EXPECT_EQ(reader->FindRun(run.id + 1), std::nullopt);
}

TEST(JournalStore, FiltersSearchesAndPagesTheResultsOfARun) {
    JournalDir dir;
    {
        JournalWriter writer(dir.File());
        WriteBatchRun(writer);
    }
    auto reader = Reader(dir.File());
    ASSERT_TRUE(reader);
    const std::int64_t run = reader->Runs().at(0).id;
    struct Case {
        ResultFilter filter;
        std::int64_t offset;
        std::vector<std::int64_t> seqs; // the page of up to two results
        std::int64_t count;
    };
    const Case cases[] = {
        {{}, 0, {0, 1}, 5},
        {{}, 3, {3, 4}, 5},
        {{}, 5, {}, 5},
        {{true, ""}, 0, {0, 1}, 5},
        {{true, ""}, 4, {4}, 5},
        {{false, "0001"}, 0, {0, 1}, 2},
        {{false, "甲"}, 0, {0, 2}, 3},
        {{false, "甲"}, 2, {3}, 3},
        {{true, "甲"}, 0, {0, 2}, 3},
        {{false, "6222"}, 0, {3, 4}, 2},
        {{false, "%"}, 0, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter.search + (c.filter.failedOnly ? " failed" : "") + " @" +
                     std::to_string(c.offset));
        std::vector<std::int64_t> seqs;
        for (const Result& r : reader->Results(run, c.filter, c.offset, 2))
            seqs.push_back(r.seq);
        EXPECT_EQ(seqs, c.seqs);
        EXPECT_EQ(reader->CountResults(run, c.filter), c.count);
    }
}

TEST(JournalStore, CommitsWhenTheClockSaysSoAndAtTheStartAndEndOfARun) {
    JournalDir dir;
    auto now = std::chrono::steady_clock::time_point();
    JournalWriter writer(dir.File(), [&now] { return now; });
    BeginRun(writer, StartOf("逐笔上传", "/w", 0));
    writer.Sync();
    auto reader = Reader(dir.File());
    ASSERT_TRUE(reader);
    const std::vector<RunInfo> runs = reader->Runs();
    ASSERT_EQ(runs.size(), 1u) << "the run row is committed before the first request";
    EXPECT_FALSE(runs[0].Finished());

    const UploadRequestRecord request = ReserveRequest("1", "甲");
    const UploadResultRecord result = ResultFor(request, "0");
    auto send = [&] {
        Exchanged(writer, {&request, 1}, {&result, 1}, upload::ExchangeFacts{});
        writer.Sync();
        return reader->CountResults(runs[0].id);
    };
    EXPECT_EQ(send(), 0);
    now += std::chrono::milliseconds(199);
    EXPECT_EQ(send(), 0);
    now += std::chrono::milliseconds(1);
    EXPECT_EQ(send(), 3);
    EXPECT_EQ(reader->FindRun(runs[0].id)->reserve.stored, 3);
    EXPECT_EQ(send(), 3);
    EndRun(writer);
    writer.Sync();
    EXPECT_EQ(reader->CountResults(runs[0].id), 4);
    EXPECT_TRUE(reader->FindRun(runs[0].id)->Finished());
}

TEST(JournalStore, AFileThatIsNoJournalOfOursIsLeftAsItIsWithOneMessage) {
    struct Case {
        const char* name;
        std::string sql;   // makes the file with SQLite, when not empty
        std::string bytes; // else these bytes
        const char* reason;
    };
    const Case cases[] = {
        {"foreign database", "CREATE TABLE notes (x); INSERT INTO notes VALUES (1);", "",
         "不是本程序的上传记录文件"},
        {"not a database", "", std::string(4096, 'x'), "不是本程序的上传记录文件"},
        {"newer journal",
         "PRAGMA application_id = " + std::to_string(kApplicationId) + "; PRAGMA user_version = 9;",
         "", "更新版本"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JournalDir dir;
        const std::string path = dir.File();
        if (!c.sql.empty()) {
            sqlite3* db = nullptr;
            sqlite3_open(path.c_str(), &db);
            sqlite3_exec(db, (c.sql + "CREATE TABLE t (y);").c_str(), nullptr, nullptr, nullptr);
            sqlite3_close(db);
        } else {
            std::ofstream(path, std::ios::binary) << c.bytes;
        }
        const std::string before = FileBytes(path);
        {
            JournalWriter writer(path);
            WriteBatchRun(writer);
            const std::string problem = writer.TakeProblem();
            EXPECT_NE(problem.find(path), std::string::npos) << problem;
            EXPECT_NE(problem.find(c.reason), std::string::npos) << problem;
            EXPECT_EQ(writer.TakeProblem(), "");
        }
        EXPECT_EQ(FileBytes(path), before);
        EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
        std::string error;
        EXPECT_FALSE(JournalReader::Open(path, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST(JournalStore, APlaceThatCannotHoldAFileGivesOneMessage) {
    JournalDir dir;
    std::ofstream(dir.Path() / "plain") << "x";
    const std::string path = (dir.Path() / "plain" / "journal.sqlite3").string();
    JournalWriter writer(path);
    WriteBatchRun(writer);
    EXPECT_NE(writer.TakeProblem().find(path), std::string::npos);
    EXPECT_EQ(writer.TakeProblem(), "");
}

TEST(JournalStore, ANewJournalIsPrivateToItsOwner) {
    JournalDir dir;
    const std::string path = (dir.Path() / "made" / "journal.sqlite3").string();
    {
        JournalWriter writer(path);
        WriteBatchRun(writer);
    }
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((dir.Path() / "made").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(JournalStore, PruningRemovesOlderRunsAndRefusesAMalformedDate) {
    JournalDir dir;
    {
        JournalWriter writer(dir.File());
        WriteBatchRun(writer);
        WriteBatchRun(writer);
    }
    sqlite3* db = nullptr;
    sqlite3_open(dir.File().c_str(), &db);
    sqlite3_exec(db, "UPDATE run SET started = '2020-01-01T10:00:00.000+08:00' WHERE id = 1",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);

    std::string error;
    for (const char* bad : {"2020-13-01", "2020-02-30", "yesterday", "2020-1-1", ""}) {
        EXPECT_EQ(PruneRunsBefore(dir.File(), bad, error), -1) << bad;
        EXPECT_FALSE(IsPruneDate(bad));
    }
    EXPECT_EQ(Reader(dir.File())->Runs().size(), 2u);
    EXPECT_EQ(PruneRunsBefore(dir.File(), "2020-01-01", error), 0) << error;
    EXPECT_EQ(PruneRunsBefore(dir.File(), "2020-01-02", error), 1) << error;
    auto reader = Reader(dir.File());
    ASSERT_EQ(reader->Runs().size(), 1u);
    EXPECT_EQ(reader->CountResults(1), 0);
    EXPECT_TRUE(reader->Requests(1).empty());
}

TEST(JournalStore, TwoWritersShareOneFile) {
    JournalDir dir;
    {
        JournalWriter window(dir.File());
        JournalWriter terminal(dir.File());
        const UploadRequestRecord request = ReserveRequest("1", "甲");
        const UploadResultRecord result = ResultFor(request, "0");
        BeginRun(window, StartOf("全部上传", "/a", 0));
        BeginRun(terminal, StartOf("逐笔上传", "/b", 0));
        for (int i = 0; i < 50; ++i) {
            Exchanged(window, {&request, 1}, {&result, 1}, {});
            Exchanged(terminal, {&request, 1}, {&result, 1}, {});
        }
        EndRun(window);
        EndRun(terminal);
        window.Sync();
        terminal.Sync();
        EXPECT_EQ(window.TakeProblem(), "");
        EXPECT_EQ(terminal.TakeProblem(), "");
    }
    auto reader = Reader(dir.File());
    ASSERT_TRUE(reader);
    const std::vector<RunInfo> runs = reader->Runs();
    ASSERT_EQ(runs.size(), 2u);
    for (const RunInfo& run : runs) {
        EXPECT_TRUE(run.Finished());
        EXPECT_EQ(run.reserve.stored, 50);
        EXPECT_EQ(reader->Results(run.id, {}, 49, 10).size(), 1u);
    }
}
