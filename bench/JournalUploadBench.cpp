// What the journal costs an upload: "全部上传" of 999,999 records as the
// terminal front end runs it (the upload, then the wait for the journal's
// verdict on the run), against the simulator with an in-memory store, with
// and without a journal. With a journal: a first run into an empty journal
// (Arg 0) and a repeat run of the same accounts (Arg 1).

#include "bench/LoopbackGateway.h"
#include "fakes/RecordingMainWindow.h"
#include "fakes/RecordingReportList.h"
#include "fakes/ScriptedCommunication.h"
#include "gateway/GatewayThread.h"
#include "journal/JournalWriter.h"
#include "support/Common.h"
#include "support/net/NetworkCommunication.h"
#include "uploader/AccountUploader.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;
constexpr int kReserves = 666'666;
constexpr int kBanks = 333'333;

using bench::EnsureApplication;
using bench::Padded;

class FullRun {
public:
    FullRun() {
        EnsureApplication();
        std::random_device random;
        m_dir = fs::temp_directory_path() / ("qm-bench-journal-" + std::to_string(random()));
        fs::create_directories(m_dir / "localconfig");
        std::string reserves, banks;
        for (int i = 0; i < kReserves; ++i)
            reserves += Padded("R" + std::to_string(1'000'000 + i), 18) +
                        Padded("Reserve " + std::to_string(i), 30);
        for (int i = 0; i < kBanks; ++i)
            banks += Padded("0102", 4) + Padded("6222" + std::to_string(1'000'000 + i), 28) +
                     Padded("Holder " + std::to_string(i), 30) +
                     Padded("Bank " + std::to_string(i), 30) + Padded("", 30);
        std::ofstream(m_dir / "localconfig" / "agbfj.dat", std::ios::binary) << reserves;
        std::ofstream(m_dir / "localconfig" / "yhzh.dat", std::ios::binary) << banks;
        CCommon::SetWorkPath(m_dir.string());
        m_uploader.Runs().SetOrigin("terminal");
    }
    ~FullRun() {
        m_gateway.reset();
        CCommon::SetWorkPath("");
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    std::string JournalFile() const { return (m_dir / "journal.sqlite3").string(); }
    void RemoveJournal() const {
        for (const char* suffix : {"", "-wal", "-shm"})
            fs::remove(JournalFile() + suffix);
    }

    // An empty store, a fresh login and the files loaded.
    bool Reset() {
        m_gateway.reset();
        GatewayConfig config;
        config.listenPort = 0;
        config.operators.Set("bench", "P0000001", "bench-password", 1000);
        m_gateway = std::make_unique<GatewayThread>(std::move(config));
        std::string error;
        if (!m_gateway->Start(error))
            return false;
        m_comm.SetTimeoutMs(120000);
        return m_comm.Login("", "bench", "bench-password", "ZANTHO00", "E0", "127.0.0.1",
                            std::to_string(m_gateway->Port())) == 0 &&
               m_uploader.Load() == 1;
    }

    // The upload and, with a journal, the wait for its verdict on the run.
    bool Upload(journal::JournalWriter* journal) {
        m_uploader.Runs().SetObserver(journal);
        const bool uploaded = m_uploader.UploadAll() == 1;
        if (journal != nullptr) {
            journal->WaitForRun(std::chrono::hours(1));
            if (!journal->TakeProblem().empty())
                return false;
        }
        return uploaded;
    }

private:
    fs::path m_dir;
    std::unique_ptr<GatewayThread> m_gateway;
    CNetworkCommunication m_comm;
    ScopedCommunication m_installed{&m_comm};
    RecordingReportList m_bankList{7};
    RecordingReportList m_reserveList{5};
    RecordingMainWindow m_window;
    CAccountUploader m_uploader{&m_bankList, &m_reserveList, &m_window};
};

FullRun& TheRun() {
    static FullRun run;
    return run;
}

void BM_UploadAllNoJournal999999(benchmark::State& state) {
    FullRun& run = TheRun();
    for (auto _ : state) {
        state.PauseTiming();
        const bool ready = run.Reset();
        state.ResumeTiming();
        if (!ready || !run.Upload(nullptr)) {
            state.SkipWithError("upload failed");
            break;
        }
    }
}
BENCHMARK(BM_UploadAllNoJournal999999)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_UploadAllJournal999999(benchmark::State& state) {
    FullRun& run = TheRun();
    const bool repeat = state.range(0) == 1;
    for (auto _ : state) {
        state.PauseTiming();
        run.RemoveJournal();
        bool ready = true;
        if (repeat) {
            journal::JournalWriter seed(run.JournalFile());
            ready = run.Reset() && run.Upload(&seed);
        }
        ready = ready && run.Reset();
        auto journal = std::make_unique<journal::JournalWriter>(run.JournalFile());
        state.ResumeTiming();
        if (!ready || !run.Upload(journal.get())) {
            state.SkipWithError("upload failed");
            break;
        }
        state.PauseTiming();
        journal.reset();
        state.ResumeTiming();
    }
    run.RemoveJournal();
}
BENCHMARK(BM_UploadAllJournal999999)
    ->ArgName("repeat")
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

} // namespace
