// The window's uploads against the gateway simulator in a process of its own,
// the window offscreen and shown, messages recorded instead of boxes.
//
// BM_UploadEachTerminal20k and BM_UploadEachWindow20k: 20,000 records one per
// request, through the terminal front end's lists and through the window (its
// pump after every record); records_per_s of each, in one run.
//
// BM_BatchWindow999999: 500,000 reserve and 499,999 bank records in one batch
// from the loaded window. Counters: rss_before_MiB (loaded, before the upload),
// peak_MiB (the peak during the upload, from the loaded window on), rss_after_MiB
// (after the result message), kept_MiB (after less before) and
// longest_gap_ms (the longest the event loop went without running, from the
// click to the message: the longest the window went unpainted), gap_end_s
// (when it ended) and gaps_over_100ms (how many went over). The window
// records the batch in a journal, as the program does. With busy_journal:1
// the journal is still writing an earlier run of 2,000,000 results when the
// button is pressed; journal_caught_up_s says how long after the message it
// had written both runs, rss_journal_done_MiB the memory then.

#include "EventLoopProbe.h"
#include "GatewayProcess.h"
#include "ProcessMemory.h"

#include "accounts/ListColumns.h"
#include "cli/TerminalMainWindow.h"
#include "cli/TerminalReportList.h"
#include "journal/JournalWriter.h"
#include "support/Common.h"
#include "support/Prompt.h"
#include "support/Text.h"
#include "support/net/NetworkCommunication.h"
#include "tests/fakes/RequestRecords.h"
#include "ui/ReportListView.h"
#include "ui/ReserveUploadDlg.h"
#include "uploader/AccountUploader.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kOperator = "bench";
constexpr const char* kPassword = "bench-密码";

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Field(std::string& record, std::size_t at, std::size_t width, const std::string& gbk) {
    std::memcpy(record.data() + at, gbk.data(), std::min(width, gbk.size()));
}

// Account files of `reserve` and `bank` records in a directory of their own;
// account numbers start at `first` so that runs do not meet in the store.
class BenchWorkDir {
public:
    BenchWorkDir(int reserve, int bank, long long first) {
        const std::string local = m_dir.path().toStdString() + "/localconfig/";
        QDir().mkpath(QString::fromStdString(local));
        const std::string reserveName = text::Utf8ToGbk("某某证券自营备付金");
        const std::string bankName = text::Utf8ToGbk("上海某某证券股份有限公司");
        const std::string bankFull = text::Utf8ToGbk("中国工商银行上海分行营业部");
        std::ofstream a(local + "agbfj.dat", std::ios::binary);
        for (int i = 0; i < reserve; ++i) {
            std::string record(48, ' ');
            Field(record, 0, 18, "B" + std::to_string(first + i));
            Field(record, 18, 30, reserveName);
            a << record;
        }
        std::ofstream b(local + "yhzh.dat", std::ios::binary);
        for (int i = 0; i < bank; ++i) {
            std::string record(122, ' ');
            Field(record, 0, 4, "0102");
            Field(record, 4, 28, "6222" + std::to_string(first + i));
            Field(record, 32, 30, bankName);
            Field(record, 62, 30, bankFull);
            b << record;
        }
    }
    std::string Path() const { return m_dir.path().toStdString(); }

private:
    QTemporaryDir m_dir;
};

// quillmark-gateway in its own process, with one operator, on a free port.
class Gateway {
public:
    Gateway() {
        const QString operators = m_dir.filePath(QStringLiteral("operators"));
        QProcess add;
        add.start(QStringLiteral(QUILLMARK_GATEWAY_PROGRAM),
                  {"add-operator", "--operators", operators, QString::fromUtf8(kOperator)});
        add.write(QByteArray(kPassword) + '\n');
        add.closeWriteChannel();
        add.waitForFinished(10000);
        std::string error;
        m_process.Start({"--db", ":memory:", "--operators", operators}, {}, QProcess::nullDevice(),
                        error);
    }
    std::string Port() const { return m_process.Port(); }

private:
    QTemporaryDir m_dir;
    GatewayProcess m_process;
};

Gateway& SharedGateway() {
    static Gateway gateway;
    return gateway;
}

class RecordingPrompt : public IPrompt {
public:
    void ShowMessage(const std::string& text) override {
        if (onMessage)
            onMessage(text);
        messages.push_back(text);
    }
    std::vector<std::string> messages;
    std::function<void(const std::string&)> onMessage;
};

// A shown window, logged in with the records loaded; with `journaled` it
// records its runs in a journal in the work directory.
struct LoadedWindow {
    CNetworkCommunication comm;
    RecordingPrompt prompt;
    std::unique_ptr<journal::JournalWriter> journal;
    std::unique_ptr<CReserveUploadDlg> dlg;

    explicit LoadedWindow(const std::string& workDir, bool journaled = false) {
        CCommon::SetWorkPath(workDir);
        SetGolbalCommunicaHandle(&comm);
        // A million records take the simulator a while on a busy machine.
        comm.SetTimeoutMs(120000);
        dlg = std::make_unique<CReserveUploadDlg>(&prompt);
        if (journaled) {
            journal = std::make_unique<journal::JournalWriter>(workDir + "/journal.sqlite");
            dlg->SetJournal(journal.get());
        }
        comm.SetStatusSink([this](const std::string& text) { dlg->ShowStatus(text); });
        dlg->findChild<QLineEdit*>("addressEdit")->setText("127.0.0.1");
        dlg->findChild<QLineEdit*>("portEdit")
            ->setText(QString::fromStdString(SharedGateway().Port()));
        dlg->findChild<QLineEdit*>("operatorEdit")->setText(QString::fromUtf8(kOperator));
        dlg->findChild<QLineEdit*>("passwordEdit")->setText(QString::fromUtf8(kPassword));
        dlg->show();
        QCoreApplication::processEvents();
        dlg->OnLogin();
        dlg->OnLoad();
        QCoreApplication::processEvents();
        prompt.messages.clear();
    }
    ~LoadedWindow() {
        comm.SetStatusSink({});
        dlg.reset();
        journal.reset();
        SetGolbalCommunicaHandle(nullptr);
    }
};

constexpr int kEachHalf = 10'000;

void BM_UploadEachTerminal20k(benchmark::State& state) {
    for (auto _ : state) {
        BenchWorkDir work(kEachHalf, kEachHalf, 1'000'000'000LL);
        CCommon::SetWorkPath(work.Path());
        CNetworkCommunication comm;
        SetGolbalCommunicaHandle(&comm);
        char context[9] = {};
        comm.GetLoginContext(context);
        if (comm.Login(context, kOperator, kPassword, "ZANTHO00", "E0", "127.0.0.1",
                       SharedGateway().Port()) < 0) {
            state.SkipWithError(comm.LastErrorText.c_str());
            break;
        }
        std::ostringstream out;
        CTerminalMainWindow window(out);
        CTerminalReportList bank(static_cast<int>(BankListColumns().size()));
        CTerminalReportList reserve(static_cast<int>(ReserveListColumns().size()));
        CAccountUploader uploader(&bank, &reserve, &window);
        uploader.Load();
        const auto start = Clock::now();
        const int rc = uploader.UploadEach();
        const double took = SecondsSince(start);
        comm.Close();
        SetGolbalCommunicaHandle(nullptr);
        if (rc != 1)
            state.SkipWithError("the upload failed");
        state.SetIterationTime(took);
        state.counters["records_per_s"] = 2 * kEachHalf / took;
    }
}

void BM_UploadEachWindow20k(benchmark::State& state) {
    for (auto _ : state) {
        BenchWorkDir work(kEachHalf, kEachHalf, 2'000'000'000LL);
        LoadedWindow window(work.Path());
        const auto start = Clock::now();
        window.dlg->OnUploadEach();
        QCoreApplication::processEvents();
        const double took = SecondsSince(start);
        if (window.prompt.messages.size() != 1 ||
            window.dlg->m_listBank->Model().CellText(kEachHalf - 1, 1).empty())
            state.SkipWithError("the upload did not finish");
        state.SetIterationTime(took);
        state.counters["records_per_s"] = 2 * kEachHalf / took;
    }
}

// An earlier run of 2,000,000 new accounts handed to the journal, packed
// here, so that its writer is busy with it when the next run starts.
void GiveJournalABacklog(journal::JournalWriter& journal) {
    upload::RunStart start;
    start.mode = "全部上传";
    start.origin = "window";
    start.when = std::chrono::system_clock::now();
    journal.RunStarted(start);
    constexpr std::uint32_t kChunk = 100'000;
    std::vector<UploadRequestRecord> requests;
    std::vector<upload::RowRef> rows;
    const std::vector<upload::RowOutcome> outcomes(kChunk, upload::RowOutcome::Unknown);
    for (std::uint32_t first = 0; first < 2'000'000; first += kChunk) {
        requests.clear();
        rows.clear();
        for (std::uint32_t i = first; i < first + kChunk; ++i) {
            requests.push_back(
                ReserveRequest("E" + std::to_string(i), "营业部" + std::to_string(i)));
            rows.push_back({upload::RowKind::Reserve, i});
        }
        upload::ExchangeFacts facts;
        facts.reachedGateway = true;
        journal.RequestFinished({facts, requests, {}, rows, outcomes, nullptr});
    }
    journal.RunEnded(upload::RunEnding::Completed, std::chrono::system_clock::now());
}

void BM_BatchWindow999999(benchmark::State& state) {
    for (auto _ : state) {
        // Accounts of their own per argument: the simulator lives for the
        // whole run of the program.
        BenchWorkDir work(500'000, 499'999, 3'000'000'000LL + state.range(0) * 10'000'000LL);
        LoadedWindow window(work.Path(), true);
        if (state.range(0) == 1)
            GiveJournalABacklog(*window.journal);
        const double before = ResidentMiB();
        ResetPeakResident();
        EventLoopProbe probe;
        double longestGap = 0;
        window.prompt.onMessage = [&](const std::string&) { longestGap = probe.Stop(); };
        const auto start = Clock::now();
        probe.Start();
        window.dlg->OnUploadAll();
        QCoreApplication::processEvents();
        const double took = SecondsSince(start);
        window.prompt.onMessage = nullptr;
        const double after = ResidentMiB();
        if (window.prompt.messages != std::vector<std::string>{"上传数据成功!"})
            state.SkipWithError(window.prompt.messages.empty()
                                    ? "no message"
                                    : window.prompt.messages.front().c_str());
        state.SetIterationTime(took);
        state.counters["rss_before_MiB"] = before;
        state.counters["peak_MiB"] = PeakResidentMiB();
        state.counters["rss_after_MiB"] = after;
        state.counters["kept_MiB"] = after - before;
        state.counters["longest_gap_ms"] = longestGap;
        state.counters["gap_end_s"] = probe.LongestGapEndS();
        state.counters["gaps_over_100ms"] = probe.GapsOverTarget();
        const auto written = Clock::now();
        window.journal->Sync();
        state.counters["journal_caught_up_s"] = SecondsSince(written);
        // What the journal held of the run's records until it had read them.
        state.counters["rss_journal_done_MiB"] = ResidentMiB();
        if (!window.journal->TakeProblem().empty())
            state.SkipWithError("the journal could not be written");
    }
}

} // namespace

BENCHMARK(BM_UploadEachTerminal20k)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UploadEachWindow20k)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BatchWindow999999)
    ->ArgName("busy_journal")
    ->DenseRange(0, 1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
