// The journal over many runs and beside other programs: accounts kept once,
// pruning while a run writes, files that are not journals, a disk that fills.

#include "journal/JournalReader.h"
#include "journal/JournalWriter.h"
#include "journal/Schema.h"
#include "tests/journal/JournalFiles.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace journal;

namespace {

std::int64_t Count(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    const std::int64_t value = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    sqlite3_close(db);
    return value;
}

struct Records {
    std::vector<UploadRequestRecord> requests;
    std::vector<UploadResultRecord> results;
};

// `n` accounts, a third of them bank accounts, one in ten refused.
Records MakeRecords(int n, const char* prefix = "") {
    Records r;
    for (int i = 0; i < n; ++i) {
        const std::string no = prefix + std::to_string(100000 + i);
        r.requests.push_back(i % 3 == 2
                                 ? BankRequest("0102", "6222" + no, "某某公司" + no, "工商银行")
                                 : ReserveRequest("B" + no, "营业部" + no));
        r.results.push_back(ResultFor(r.requests.back(), i % 10 == 9 ? "9715" : "0000",
                                      i % 10 == 9 ? "失败" : "成功"));
    }
    return r;
}

std::unique_ptr<JournalReader> Reader(const std::string& path) {
    std::string error;
    auto reader = JournalReader::Open(path, error);
    EXPECT_TRUE(reader) << error;
    return reader;
}

std::string Row(const Result& r) {
    return std::to_string(r.seq) + "|" + std::to_string(r.requestSeq) + "|" +
           std::to_string(static_cast<int>(r.kind)) + "|" + std::to_string(r.row) + "|" +
           r.accountNo + "|" + r.accountName + "|" + r.bankCode + "|" + r.bankName + "|" + r.code +
           "|" + r.text + "|" + std::to_string(static_cast<int>(r.outcome)) + "|" +
           std::to_string(r.final) + std::to_string(r.failed);
}

} // namespace

TEST(JournalLife, ARepeatRunKeepsEachAccountOnceAndReadsTheSame) {
    JournalDir dir;
    const Records records = MakeRecords(9000);
    {
        JournalWriter writer(dir.File());
        for (int run = 0; run < 3; ++run) {
            BeginRun(writer, StartOf("全部上传"));
            Exchanged(writer, records.requests, records.results);
            EndRun(writer);
        }
        writer.Sync();
        EXPECT_EQ(writer.TakeProblem(), "");
    }
    EXPECT_EQ(Count(dir.File(), "SELECT count(*) FROM account"), 9000);
    EXPECT_EQ(Count(dir.File(), "SELECT count(*) FROM reply"), 2);
    auto reader = Reader(dir.File());
    ASSERT_TRUE(reader);
    const auto runs = reader->Runs();
    ASSERT_EQ(runs.size(), 3u);
    const auto first = reader->Results(runs[2].id, {}, 0, 9000);
    ASSERT_EQ(first.size(), 9000u);
    EXPECT_EQ(first[2].accountName, "某某公司100002");
    EXPECT_EQ(first[2].bankName, "工商银行");
    EXPECT_EQ(first[9].code, "9715");
    EXPECT_TRUE(first[9].failed);
    for (const RunInfo& run : runs) {
        EXPECT_EQ(reader->CountResults(run.id), 9000);
        EXPECT_EQ(reader->CountResults(run.id, {true, ""}), 900);
        EXPECT_EQ(reader->CountResults(run.id, {false, "B10010"}), 7);
        const auto again = reader->Results(run.id, {}, 0, 9000);
        ASSERT_EQ(again.size(), first.size());
        for (std::size_t i = 0; i < again.size(); ++i)
            ASSERT_EQ(Row(again[i]), Row(first[i]));
    }
    EXPECT_EQ(reader->Stats().runs, 3);
    EXPECT_EQ(reader->Stats().accounts, 9000);
}

TEST(JournalLife, PruningLeavesARunBeingWrittenWholeAndTakesItOnceEnded) {
    JournalDir dir;
    const Records records = MakeRecords(1000);
    JournalWriter writer(dir.File());
    BeginRun(writer, StartOf("逐笔上传"));
    writer.Sync();
    std::string error;
    // Rounds of pruning every run, the live one included by its date, while
    // the run writes 20 requests.
    auto pruning = std::async(std::launch::async, [&] {
        std::int64_t removed = 0;
        for (int i = 0; i < 40; ++i) {
            std::string e;
            const std::int64_t n = PruneRunsBefore(dir.File(), "2999-01-01", e);
            if (n < 0)
                return std::string(e);
            removed += n;
        }
        return removed == 0 ? std::string() : "a live run was pruned";
    });
    for (int i = 0; i < 20; ++i) {
        Exchanged(writer, records.requests, records.results);
        writer.Sync();
    }
    EXPECT_EQ(pruning.get(), "");
    EndRun(writer);
    writer.Sync();
    EXPECT_EQ(writer.TakeProblem(), "");
    {
        auto reader = Reader(dir.File());
        ASSERT_TRUE(reader);
        const auto runs = reader->Runs();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(reader->CountResults(runs[0].id), 20000);
        EXPECT_EQ(reader->Results(runs[0].id, {}, 19999, 5).size(), 1u);
    }
    // Ended, it goes, with the accounts no run refers to any more once no
    // program writes the file.
    EXPECT_EQ(PruneRunsBefore(dir.File(), "2999-01-01", error), 1) << error;
    EXPECT_EQ(Count(dir.File(), "SELECT count(*) FROM account"), 1000) << "the writer is open";
}

TEST(JournalLife, PruningAfterTheWritersAreGoneRemovesOrphanAccountsAndShrinksTheFile) {
    JournalDir dir;
    {
        JournalWriter writer(dir.File());
        BeginRun(writer, StartOf("全部上传"));
        const Records records = MakeRecords(30000);
        Exchanged(writer, records.requests, records.results);
        EndRun(writer);
    }
    struct stat before {};
    ASSERT_EQ(stat(dir.File().c_str(), &before), 0);
    std::string error;
    EXPECT_EQ(PruneRunsBefore(dir.File(), "2999-01-01", error), 1) << error;
    EXPECT_EQ(Count(dir.File(), "SELECT count(*) FROM account"), 0);
    EXPECT_EQ(Count(dir.File(), "SELECT count(*) FROM reply"), 0);
    EXPECT_EQ(Count(dir.File(), "PRAGMA freelist_count"), 0);
    struct stat after {};
    ASSERT_EQ(stat(dir.File().c_str(), &after), 0);
    EXPECT_LT(after.st_size, before.st_size / 4);
}

TEST(JournalLife, OnlyARegularFileIsAJournalAndALinkedOneIsMadePrivate) {
    JournalDir dir;
    const std::string fifo = (dir.Path() / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string error;
    auto opening = std::async(std::launch::async, [&] { return JournalReader::Open(fifo, error); });
    ASSERT_EQ(opening.wait_for(std::chrono::seconds(30)), std::future_status::ready)
        << "the reader waits on a FIFO";
    EXPECT_FALSE(opening.get());
    EXPECT_NE(error.find("不是普通文件"), std::string::npos) << error;
    EXPECT_EQ(PruneRunsBefore(fifo, "2020-01-01", error), -1);
    {
        JournalWriter writer(fifo);
        BeginRun(writer, StartOf("全部上传"));
        EndRun(writer);
        writer.Sync();
        EXPECT_NE(writer.TakeProblem().find("不是普通文件"), std::string::npos);
    }

    const std::string target = (dir.Path() / "target.sqlite3").string();
    const std::string link = (dir.Path() / "link.sqlite3").string();
    std::ofstream(target).close();
    ASSERT_EQ(chmod(target.c_str(), 0644), 0);
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    {
        JournalWriter writer(link);
        BeginRun(writer, StartOf("全部上传"));
        EndRun(writer);
        writer.Sync();
        EXPECT_EQ(writer.TakeProblem(), "");
    }
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// A disk that fills after the run's end was queued: the problem still comes,
// and the run stays marked incomplete. The child process gets a file size
// limit, which SQLite meets as a full disk.
TEST(JournalLife, ADiskThatFillsBehindTheRunIsNeverSilent) {
    JournalDir dir;
    const std::string path = dir.File();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1 << 20, 1 << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        const Records records = MakeRecords(60000);
        JournalWriter writer(path);
        BeginRun(writer, StartOf("全部上传"));
        Exchanged(writer, records.requests, records.results);
        EndRun(writer);
        Shown(writer, "上传数据成功!");
        if (!writer.WaitForRun(std::chrono::seconds(60)))
            _exit(3);
        const std::string problem = writer.TakeProblem();
        _exit(problem.find("无法使用") != std::string::npos ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: no verdict, 4: no problem shown";
    auto reader = Reader(path);
    ASSERT_TRUE(reader);
    const auto runs = reader->Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_FALSE(runs[0].Finished());
    EXPECT_EQ(Count(path, "SELECT complete FROM run"), 0);
}

TEST(JournalLife, AReaderFollowsARunThatIsStillBeingWritten) {
    JournalDir dir;
    const Records records = MakeRecords(300);
    // Every look at the clock finds a commit due.
    auto ticks = std::make_shared<int>(0);
    JournalWriter writer(dir.File(), [ticks] {
        return std::chrono::steady_clock::time_point(std::chrono::milliseconds(250 * ++*ticks));
    });
    BeginRun(writer, StartOf("只上传新增账户"));
    Exchanged(writer, records.requests, records.results);
    writer.Sync();
    auto reader = Reader(dir.File());
    ASSERT_TRUE(reader);
    const std::int64_t run = reader->Runs().at(0).id;
    const ResultFilter oneAccount{false, "B100001"};
    EXPECT_EQ(reader->CountResults(run, oneAccount), 1);
    EXPECT_EQ(reader->Results(run, {true, ""}, 0, 300).size(), 30u);
    // A second request of the run: the same reader sees it in its filters.
    Exchanged(writer, records.requests, records.results);
    writer.Sync();
    EXPECT_EQ(reader->CountResults(run, oneAccount), 2);
    const auto again = reader->Results(run, {true, ""}, 0, 300);
    ASSERT_EQ(again.size(), 60u);
    EXPECT_GE(again.back().seq, 300);
    EndRun(writer);
}
