// The uploader's runs as the journal records them: every mode, a journal that
// cannot be used, a run killed midway, and the password kept out.

#include "cli/CliSession.h"
#include "journal/JournalReader.h"
#include "journal/JournalWriter.h"
#include "support/Sha256.h"
#include "tests/journal/JournalFiles.h"
#include "tests/uploader/UploadFixture.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using namespace journal;

namespace {

struct JournalUploadFixture : UploadFixture {
    JournalDir journalDir;
    IJournal* journal = nullptr;

    // The journal wired as the front ends wire it: it observes every run and
    // is told the files each load read.
    void Journal(IJournal* observer) {
        journal = observer;
        uploader.Runs().SetObserver(observer);
    }
    void LoadJournalled(int reserves, int banks) {
        WriteAccounts(reserves, banks);
        LoadedFiles files;
        ASSERT_EQ(uploader.Load(&files), 1) << uploader.LastError();
        if (journal != nullptr)
            journal->FilesLoaded(files);
        comm.calls.clear();
        comm.statusTexts.clear();
        log.events.clear();
    }

    std::unique_ptr<JournalReader> Reader() {
        std::string error;
        auto reader = JournalReader::Open(journalDir.File(), error);
        EXPECT_TRUE(reader) << error;
        return reader;
    }
};

// Records what a run tells its journal, in order.
struct FakeJournal : IJournal {
    std::vector<std::string>* calls = nullptr;
    LoadedFiles files;
    bool takesRecords = false; // says it took the records as they were sent

    void SetSession(const SessionFacts&) override {}
    void FilesLoaded(const LoadedFiles& loaded) override { files = loaded; }
    std::string TakeProblem() override { return {}; }
    bool WaitForRun(std::chrono::milliseconds) override { return true; }
    void RunStarted(const upload::RunStart& start) override {
        calls->push_back("begin " + start.mode);
    }
    bool RequestSending(std::span<const UploadRequestRecord>,
                        std::shared_ptr<const void>) override {
        return takesRecords;
    }
    void RequestFinished(const upload::RequestReport& report) override {
        calls->push_back("request " + std::to_string(report.requests.size()) + " " +
                         std::to_string(report.results.size()) + " " +
                         std::to_string(report.facts.outcome));
    }
    void RunEnded(upload::RunEnding ending, upload::WallClock::time_point) override {
        calls->push_back("ended " + std::to_string(static_cast<int>(ending)));
    }
    void MessageShown(const std::string& message) override { calls->push_back("shown " + message); }
    void MessageDismissed(upload::WallClock::time_point) override { calls->push_back("dismissed"); }
};

struct ModeCase {
    const char* name;
    int (CAccountUploader::*upload)();
    std::vector<std::string> codes;
    std::int64_t requests;
    KindCounts reserve; // sent, stored, failed
    KindCounts bank;
};

} // namespace

TEST_F(JournalUploadFixture, EachModeIsJournalledWithItsCountsRequestsAndCodes) {
    const ModeCase cases[] = {
        {"全部上传",
         &CAccountUploader::UploadAll,
         {"0", "0", "9715", "0000", "9999"},
         1,
         {3, 2, 1},
         {2, 1, 1}},
        {"逐笔上传",
         &CAccountUploader::UploadEach,
         {"0", "0", "9715", "0000", "9999"},
         5,
         {3, 2, 1},
         {2, 1, 1}},
        {"只上传新增账户",
         &CAccountUploader::UploadNew,
         {"0", "0", "9999", "0000", "0"},
         1,
         {3, 2, 1},
         {2, 2, 0}},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(journalDir.File());
        JournalWriter writer(journalDir.File());
        Journal(&writer);
        writer.SetSession({"张三", "10.0.0.9", 7071});
        LoadJournalled(3, 2);
        window.messages.clear();
        AnswerWithCodes(c.codes);
        (uploader.*c.upload)();
        writer.Sync();
        EXPECT_EQ(writer.TakeProblem(), "");

        auto reader = Reader();
        ASSERT_TRUE(reader);
        const std::vector<RunInfo> runs = reader->Runs();
        ASSERT_EQ(runs.size(), 1u);
        const RunInfo& run = runs[0];
        EXPECT_EQ(run.mode, c.name);
        EXPECT_TRUE(run.Finished());
        EXPECT_EQ(run.operatorName, "张三");
        EXPECT_EQ(run.gatewayPort, 7071);
        EXPECT_EQ(run.headerMode, 0);
        EXPECT_EQ(run.workDir, workDir.string());
        EXPECT_EQ(run.reserve.sent, c.reserve.sent);
        EXPECT_EQ(run.reserve.stored, c.reserve.stored);
        EXPECT_EQ(run.reserve.failed, c.reserve.failed);
        EXPECT_EQ(run.bank.sent, c.bank.sent);
        EXPECT_EQ(run.bank.stored, c.bank.stored);
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(run.message, window.messages[0]);

        Sha256 digest;
        const std::string bankBytes = FileBytes(workDir / "localconfig" / "yhzh.dat");
        digest.Update(bankBytes.data(), bankBytes.size());
        EXPECT_EQ(run.bankFile.sha256, digest.HexDigest());
        EXPECT_EQ(run.bankFile.size, static_cast<std::int64_t>(bankBytes.size()));
        EXPECT_FALSE(run.reserveFileB.present);

        const std::vector<Request> requests = reader->Requests(run.id);
        ASSERT_EQ(static_cast<std::int64_t>(requests.size()), c.requests);
        EXPECT_EQ(requests[0].serialNo, comm.serialNo);
        EXPECT_EQ(requests[0].returnCode, "0000");

        const std::vector<journal::Result> results = reader->Results(run.id, {}, 0, 10);
        ASSERT_EQ(results.size(), 5u);
        for (std::size_t i = 0; i < results.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(results[i].code, c.codes[i]);
            EXPECT_EQ(results[i].text, "T" + c.codes[i]);
            EXPECT_EQ(results[i].kind, i < 3 ? Kind::Reserve : Kind::Bank);
            EXPECT_EQ(results[i].row, i < 3 ? i + 1 : i - 2);
        }
        EXPECT_EQ(results[1].accountNo, "RSV1");
        EXPECT_EQ(results[1].accountName, "Reserve 1");
        EXPECT_EQ(results[4].accountNo, "62221");
        EXPECT_EQ(results[4].bankName, "Bank 1");
        Journal(nullptr);
    }
}

TEST_F(JournalUploadFixture, TheRunEndsWithItsLastRequestBeforeItsMessageIsShown) {
    std::vector<std::string> calls;
    FakeJournal fake;
    fake.calls = &calls;
    Journal(&fake);
    LoadJournalled(2, 1);
    EXPECT_TRUE(fake.files.reserveA.present);
    EXPECT_EQ(fake.files.reserveA.size, 96);
    EXPECT_EQ(fake.files.bank.sha256.size(), 64u);
    comm.onSend = [&calls] { calls.push_back("send"); };
    comm.responses = {Response({"0", "0", "0"}), Refusal("1001", text::Utf8ToGbk("拒绝"))};
    window.messages.clear();
    uploader.UploadAll();
    uploader.UploadAll();
    // The exchange shows its own failure before the run can end.
    const std::vector<std::string> expected = {
        "begin 全部上传",      "send",       "request 3 3 1",  "ended 0",
        "shown 上传数据成功!", "dismissed",  "begin 全部上传", "send",
        "request 3 0 -1",      "shown 拒绝", "dismissed",      "ended 1"};
    EXPECT_EQ(calls, expected);
    const std::vector<std::string> shown = {"上传数据成功!", "拒绝"};
    EXPECT_EQ(window.messages, shown);
}

TEST_F(JournalUploadFixture, UploadNewRecordsTheRowsItSendsAgain) {
    JournalWriter writer(journalDir.File());
    Journal(&writer);
    LoadJournalled(3, 2);
    AnswerWithCodes({"0", "9999", "0", "0", "9999"});
    uploader.UploadEach();
    AnswerWithCodes({"0"});
    uploader.UploadNew();
    writer.Sync();

    auto reader = Reader();
    ASSERT_TRUE(reader);
    const RunInfo run = reader->Runs().at(0);
    std::vector<std::pair<Kind, std::int64_t>> rows;
    for (const journal::Result& r : reader->Results(run.id, {}, 0, 10))
        rows.emplace_back(r.kind, r.row);
    const std::vector<std::pair<Kind, std::int64_t>> expected = {{Kind::Reserve, 2},
                                                                 {Kind::Bank, 2}};
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(run.reserve.stored, 1);
    EXPECT_EQ(run.bank.stored, 1);
}

TEST_F(JournalUploadFixture, AJournalThatCannotBeUsedIsToldOnceAndTheUploadGoesOn) {
    std::ofstream(journalDir.File(), std::ios::binary) << std::string(3000, 'z');
    const std::string before = FileBytes(journalDir.File());
    WriteAccounts(2, 1);
    AnswerWithCodes({"0"});
    std::ostringstream out, err;
    {
        JournalWriter writer(journalDir.File());
        CliSessionInput input;
        input.operatorName = "op";
        input.password = "pw";
        input.gatewayAddress = "127.0.0.1";
        input.gatewayPort = "7070";
        input.commands = {CliCommand::Load, CliCommand::UploadAll, CliCommand::UploadEach};
        input.journal = &writer;
        input.err = &err;
        // Every step went; the journal's own status says it recorded none.
        EXPECT_EQ(RunCliSession(input, out), kCliJournalFailed) << out.str();
    }
    const std::string printed = out.str();
    const std::string told = err.str();
    const std::size_t problem = told.find("不是本程序的上传记录文件");
    ASSERT_NE(problem, std::string::npos) << told;
    EXPECT_EQ(told.find("不是本程序的上传记录文件", problem + 1), std::string::npos)
        << "told once: " << told;
    EXPECT_NE(told.find(journalDir.File()), std::string::npos);
    EXPECT_NE(printed.find("上传数据成功!"), std::string::npos) << printed;
    EXPECT_NE(printed.find("上传A股备付金成功2条,失败0条"), std::string::npos) << printed;
    EXPECT_EQ(FileBytes(journalDir.File()), before);
}

TEST_F(JournalUploadFixture, ARunKilledMidwayLeavesASoundJournalWithAPrefixOfItsResults) {
    constexpr int kRecords = 200;
    constexpr int kKillAt = 120;
    LoadAccounts(kRecords, 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The clock runs 250 ms a look, so every batch the writer takes is committed.
        auto ticks = std::make_shared<int>(0);
        JournalWriter writer(journalDir.File(), [ticks] {
            return std::chrono::steady_clock::time_point(std::chrono::milliseconds(250 * ++*ticks));
        });
        Journal(&writer);
        AnswerWithCodes({"0"});
        int sent = 0;
        // Halfway the writer is let catch up, so that part of the run is
        // surely committed and the rest surely in flight.
        comm.onSend = [&sent, &writer] {
            if (++sent == kKillAt / 2)
                writer.Sync();
            if (sent == kKillAt)
                raise(SIGKILL);
        };
        uploader.UploadEach();
        _exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(journalDir.File().c_str(), &db), SQLITE_OK);
    sqlite3_stmt* check = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    sqlite3_close(db);

    auto reader = Reader();
    ASSERT_TRUE(reader);
    const RunInfo run = reader->Runs().at(0);
    EXPECT_FALSE(run.Finished());
    const std::vector<journal::Result> results = reader->Results(run.id, {}, 0, kRecords);
    EXPECT_LT(results.size(), static_cast<std::size_t>(kKillAt));
    EXPECT_GE(results.size(), static_cast<std::size_t>(kKillAt / 2 - 1));
    for (std::size_t i = 0; i < results.size(); ++i) {
        ASSERT_EQ(results[i].seq, static_cast<std::int64_t>(i));
        ASSERT_EQ(results[i].row, static_cast<std::int64_t>(i + 1));
        ASSERT_EQ(results[i].accountNo, "RSV" + std::to_string(i));
    }
    EXPECT_EQ(run.reserve.sent, static_cast<std::int64_t>(results.size()));
}

TEST_F(JournalUploadFixture, ThePasswordNeverReachesTheJournal) {
    const std::string password = "Pw-7Kq#secret";
    WriteAccounts(2, 2);
    AnswerWithCodes({"0"});
    {
        JournalWriter writer(journalDir.File());
        CliSessionInput input;
        input.operatorName = "op";
        input.password = password;
        input.gatewayAddress = "127.0.0.1";
        input.gatewayPort = "7070";
        input.commands = {CliCommand::Load, CliCommand::UploadAll, CliCommand::UploadEach};
        input.journal = &writer;
        std::ostringstream out;
        EXPECT_EQ(RunCliSession(input, out), kCliSuccess) << out.str();
    }
    EXPECT_EQ(Reader()->Runs().size(), 2u);
    std::string bytes;
    for (const auto& entry : std::filesystem::directory_iterator(journalDir.Path()))
        bytes += FileBytes(entry.path());
    EXPECT_NE(bytes.find("RSV1"), std::string::npos);
    EXPECT_EQ(bytes.find(password), std::string::npos);
}

namespace {

// A settlement system in a few lines: a request with an account it holds is
// refused whole (held ones 9720 or 9721, the others 9701) and stores nothing;
// any other request stores every record ("0000", "处理完成" in its header).
std::function<std::string(const std::string&)> KeepingGateway(std::set<std::string>& held) {
    return [&held](const std::string& body) {
        std::vector<std::string> accounts;
        for (std::size_t at = 0; at + kRequestWireLength <= body.size(); at += kRequestWireLength) {
            const std::string record = body.substr(at, kRequestWireLength);
            const std::string reserve = WireField(record, 138, 25);
            accounts.push_back(reserve.empty() ? WireField(record, 249, 28) : reserve);
        }
        bool anyHeld = false;
        for (const auto& account : accounts)
            anyHeld = anyHeld || held.count(account) != 0;
        ResponseScript script;
        script.returnMessage = text::Utf8ToGbk("处理完成");
        for (const auto& account : accounts) {
            const bool isHeld = held.count(account) != 0;
            script.resultCodes.push_back(isHeld ? (account.rfind("RSV", 0) == 0 ? "9720" : "9721")
                                                : (anyHeld ? "9701" : "0000"));
            if (!anyHeld)
                held.insert(account);
        }
        return BuildResponse(script);
    };
}

} // namespace

TEST_F(JournalUploadFixture, UploadNewOverHeldAndNewAccountsCountsEachAccountOnce) {
    JournalWriter writer(journalDir.File());
    Journal(&writer);
    LoadJournalled(16, 16);
    std::set<std::string> held;
    for (int i = 0; i < 8; ++i) {
        held.insert("RSV" + std::to_string(i));
        held.insert("6222" + std::to_string(i));
    }
    comm.responder = KeepingGateway(held);
    window.messages.clear();
    EXPECT_EQ(uploader.UploadNew(), 1);
    writer.Sync();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0],
              "上传A股备付金:新增8条,已存在8条,失败0条;\n上传银行账户:新增8条,已存在8条,失败0条;"
              "\n共发送请求2次,具体请看列表中结果说明.");

    auto reader = Reader();
    ASSERT_TRUE(reader);
    const RunInfo run = reader->Runs().at(0);
    for (const KindCounts* counts : {&run.reserve, &run.bank}) {
        EXPECT_EQ(counts->sent, 16);
        EXPECT_EQ(counts->stored, 8);
        EXPECT_EQ(counts->held, 8);
        EXPECT_EQ(counts->notStored, 0);
        EXPECT_EQ(counts->failed, 0);
    }
    ResultFilter failedOnly;
    failedOnly.failedOnly = true;
    EXPECT_EQ(reader->CountResults(run.id, failedOnly), 0);
    EXPECT_TRUE(reader->Results(run.id, failedOnly, 0, 100).empty());
    // Every code of every request stays readable: the new accounts' 9701 of
    // the first round, then their 0000 of the second, which alone is final.
    const auto all = reader->Results(run.id, {}, 0, 100);
    ASSERT_EQ(all.size(), 48u);
    EXPECT_EQ(all[8].code, "9701");
    EXPECT_EQ(all[8].outcome, Outcome::NotStored);
    EXPECT_FALSE(all[8].final);
    EXPECT_EQ(all[32].accountNo, "RSV8");
    EXPECT_EQ(all[32].code, "0000");
    EXPECT_TRUE(all[32].final);
    const auto requests = reader->Requests(run.id);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].outcome, -2);
    EXPECT_EQ(requests[1].returnMessage, "处理完成");
}

TEST_F(JournalUploadFixture, ACodeCountsAsTheCellShowsIt) {
    using namespace std::string_literals;
    const struct {
        std::string code; // the second record's four code bytes
        const char* cell;
        const char* message;
        std::int64_t stored;
    } cases[] = {
        {"\0\0"s
         "0\0"s,
         "", "上传A股备付金成功1条,失败1条;\n上传银行账户成功0条,失败0条;\n具体请看列表中结果说明.",
         1},
        {"0\0"s
         "1 "s,
         "0", "上传数据成功!", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cell);
        std::filesystem::remove(journalDir.File());
        JournalWriter writer(journalDir.File());
        Journal(&writer);
        LoadJournalled(2, 0);
        comm.responses = {Response({"0000", c.code})};
        window.messages.clear();
        EXPECT_EQ(uploader.UploadAll(), 1);
        writer.Sync();
        EXPECT_EQ(Result(reserveList, 1).first, c.cell);
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(window.messages[0], c.message);
        const RunInfo run = Reader()->Runs().at(0);
        EXPECT_EQ(run.reserve.stored, c.stored);
        EXPECT_EQ(run.reserve.failed, 2 - c.stored);
        Journal(nullptr);
    }
}

TEST_F(JournalUploadFixture, ABatchRefusedBeforeAnyRequestSentNothing) {
    JournalWriter writer(journalDir.File());
    Journal(&writer);
    uploader.Runs().SetRecordLimit(5);
    LoadJournalled(4, 3);
    window.messages.clear();
    EXPECT_EQ(uploader.UploadAll(), 0);
    writer.Sync();
    EXPECT_EQ(comm.CountCalls("ApplySerialNo"), 0);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0], "上传记录数[7]超过单次上传上限[5]条,请使用[逐笔上传]!");
    const RunInfo run = Reader()->Runs().at(0);
    EXPECT_EQ(run.reserve.sent + run.bank.sent, 0);
    EXPECT_EQ(run.reserve.failed + run.bank.failed, 0);
    EXPECT_TRUE(Reader()->Requests(run.id).empty());
    EXPECT_EQ(run.message, window.messages[0]);
    EXPECT_EQ(run.ending, Ending::Failed);
}

TEST_F(JournalUploadFixture, EveryRequestKeepsItsReturnAndTheRunItsTimes) {
    JournalWriter writer(journalDir.File());
    Journal(&writer);
    LoadJournalled(1, 1);
    std::set<std::string> held;
    comm.responder = KeepingGateway(held);
    comm.onSend = [this] {
        // The second record's reply never comes.
        if (comm.CountCalls("SendAndReceive") == 2) {
            comm.sendResult = -1;
            comm.failureText = "等待网关应答超时(1500毫秒)";
        }
    };
    window.messages.clear();
    EXPECT_EQ(uploader.UploadEach(), 0);
    writer.Sync();
    const RunInfo run = Reader()->Runs().at(0);
    const auto requests = Reader()->Requests(run.id);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].returnCode, "0000");
    EXPECT_EQ(requests[0].returnMessage, "处理完成");
    EXPECT_EQ(requests[0].failure, "");
    EXPECT_EQ(requests[1].returnCode, "");
    EXPECT_EQ(requests[1].failure, "等待网关应答超时(1500毫秒)");
    EXPECT_FALSE(requests[1].finished.empty());
    // The run ended when its last request failed, not when its message was closed.
    EXPECT_EQ(run.ending, Ending::Failed);
    EXPECT_LE(run.ended, run.dismissed);
    EXPECT_EQ(run.ended, requests[1].finished);
    EXPECT_EQ(run.message, "等待网关应答超时(1500毫秒)");
    EXPECT_EQ(run.bank.unknown, 1);
    EXPECT_EQ(run.bank.failed, 1);
    EXPECT_EQ(run.reserve.stored, 1);
}

TEST_F(JournalUploadFixture, ACloseDuringUploadEachIsJournalledAsStopped) {
    JournalWriter writer(journalDir.File());
    Journal(&writer);
    LoadJournalled(3, 2);
    AnswerWithCodes({"0"});
    window.onPump = [this](int pumps) {
        if (pumps == 2)
            uploader.Runs().RequestStop();
    };
    window.messages.clear();
    EXPECT_EQ(uploader.UploadEach(), 0);
    writer.Sync();
    EXPECT_TRUE(window.messages.empty()) << "no summary after a stop";
    const RunInfo run = Reader()->Runs().at(0);
    EXPECT_EQ(run.ending, Ending::Stopped);
    EXPECT_TRUE(run.Finished());
    EXPECT_EQ(run.reserve.sent, 2);
    EXPECT_EQ(run.reserve.stored, 2);
    EXPECT_EQ(run.bank.sent, 0);
}

// A batch large enough for its request records to go once the body is built:
// the journal takes each record's account as the request is sent, and the
// results land beside the right accounts. Without a journal the records go
// just the same.
TEST_F(JournalUploadFixture, ALargeBatchLetsItsRecordsGoAndKeepsEveryAccount) {
    constexpr int kReserves = 3'000;
    constexpr int kBanks = 2'000;
    for (const bool journalled : {true, false}) {
        SCOPED_TRACE(journalled ? "journalled" : "no journal");
        std::filesystem::remove(journalDir.File());
        JournalWriter writer(journalDir.File());
        Journal(journalled ? &writer : nullptr);
        LoadJournalled(kReserves, kBanks);
        window.messages.clear();
        AnswerWithCodes({"0", "0", "0", "9999", "0"});
        ASSERT_EQ(uploader.UploadAll(), 1);
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(Result(reserveList, 3), (std::pair<std::string, std::string>{"9999", "T9999"}));
        EXPECT_EQ(Result(bankList, kBanks - 1), (std::pair<std::string, std::string>{"0", "T0"}));
        if (!journalled)
            continue;
        writer.Sync();
        EXPECT_EQ(writer.TakeProblem(), "");
        auto reader = Reader();
        ASSERT_TRUE(reader);
        const std::vector<RunInfo> runs = reader->Runs();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].reserve.sent, kReserves);
        EXPECT_EQ(runs[0].reserve.failed, 1);
        EXPECT_EQ(runs[0].bank.stored, kBanks);
        const std::vector<Request> requests = reader->Requests(runs[0].id);
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].records, kReserves + kBanks);
        for (const std::int64_t at : {0, 3, kReserves - 1, kReserves, kReserves + kBanks - 1}) {
            SCOPED_TRACE(at);
            const std::vector<journal::Result> one = reader->Results(runs[0].id, {}, at, 1);
            ASSERT_EQ(one.size(), 1u);
            const bool bank = at >= kReserves;
            const std::string n = std::to_string(bank ? at - kReserves : at);
            EXPECT_EQ(one[0].kind, bank ? Kind::Bank : Kind::Reserve);
            EXPECT_EQ(one[0].accountNo, bank ? "6222" + n : "RSV" + n);
            EXPECT_EQ(one[0].accountName, bank ? "Bank holder " + n : "Reserve " + n);
            EXPECT_EQ(one[0].code, at == 3 ? "9999" : "0");
        }
        Journal(nullptr);
    }

    // The report comes without the records only to an observer that took them.
    for (const bool takes : {false, true}) {
        std::vector<std::string> calls;
        FakeJournal fake;
        fake.calls = &calls;
        fake.takesRecords = takes;
        Journal(&fake);
        AnswerWithCodes({"0"});
        ASSERT_EQ(uploader.UploadAll(), 1);
        const std::string records = takes ? "0" : std::to_string(kReserves + kBanks);
        EXPECT_EQ(calls[1], "request " + records + " " + std::to_string(kReserves + kBanks) + " 1");
        Journal(nullptr);
    }
}
