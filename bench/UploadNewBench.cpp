// The daily run of cumulative files: 200,000 accounts of which 196,000 are
// already held. Only what is new, in batches, against one request per record,
// both against the simulator with a file store seeded afresh before each
// iteration.

#include "bench/LoopbackGateway.h"
#include "fakes/RecordingMainWindow.h"
#include "fakes/RecordingReportList.h"
#include "fakes/ScriptedCommunication.h"
#include "gateway/GatewayThread.h"
#include "support/Common.h"
#include "support/net/NetworkCommunication.h"
#include "uploader/AccountUploader.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

namespace {

constexpr int kReserves = 120'000;
constexpr int kBanks = 80'000;
constexpr int kNewEvery = 50; // 2% new

namespace fs = std::filesystem;

using bench::EnsureApplication;
using bench::Padded;

// Writes the day's files into `dir`; with `heldOnly`, without the new accounts.
void WriteFiles(const fs::path& dir, bool heldOnly) {
    std::string reserves;
    std::string banks;
    for (int i = 0; i < kReserves; ++i)
        if (!heldOnly || i % kNewEvery != 0)
            reserves += Padded("R" + std::to_string(1'000'000 + i), 18) +
                        Padded("Reserve " + std::to_string(i), 30);
    for (int i = 0; i < kBanks; ++i)
        if (!heldOnly || i % kNewEvery != 0)
            banks += Padded("0102", 4) + Padded("6222" + std::to_string(1'000'000 + i), 28) +
                     Padded("Holder " + std::to_string(i), 30) +
                     Padded("Bank " + std::to_string(i), 30) + Padded("", 30);
    fs::create_directories(dir / "localconfig");
    std::ofstream(dir / "localconfig" / "agbfj.dat", std::ios::binary) << reserves;
    std::ofstream(dir / "localconfig" / "yhzh.dat", std::ios::binary) << banks;
}

// A work directory with the day's files, a gateway whose store can be put back
// to the 196,000 held accounts, and an uploader logged in to it.
class DailyRun {
public:
    DailyRun() {
        EnsureApplication();
        std::random_device random;
        m_dir = fs::temp_directory_path() / ("qm-bench-new-" + std::to_string(random()));
        fs::create_directories(m_dir);
        CCommon::SetWorkPath(m_dir.string());
        WriteFiles(m_dir, true);
        Start();
        m_uploader.Load();
        m_ok = m_uploader.UploadAll() == 1;
        m_gateway.reset(); // closes the store whole
        fs::copy_file(Db(), m_dir / "seed.db");
        WriteFiles(m_dir, false);
    }
    ~DailyRun() {
        m_gateway.reset();
        CCommon::SetWorkPath("");
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    bool Ok() const { return m_ok; }

    // The seeded store, a fresh login and the day's files loaded.
    bool Reset() {
        m_gateway.reset();
        for (const char* extra : {"-wal", "-shm"})
            fs::remove(Db().string() + extra);
        fs::copy_file(m_dir / "seed.db", Db(), fs::copy_options::overwrite_existing);
        Start();
        m_requests = 0;
        m_records = 0;
        return m_ok && m_uploader.Load() == 1;
    }

    CAccountUploader& Uploader() { return m_uploader; }
    long long Requests() const { return m_requests; }
    long long Records() const { return m_records; }

private:
    fs::path Db() const { return m_dir / "store.db"; }
    void Start() {
        GatewayConfig config;
        config.listenPort = 0;
        config.dbPath = Db().string();
        config.operators.Set("bench", "P0000001", "bench-password", 1000);
        // What the gateway received, counted from its one line per request.
        config.log = [this](const std::string& line) {
            if (line.rfind("upload ", 0) != 0)
                return;
            ++m_requests;
            m_records += std::atoll(line.c_str() + line.find("records=") + 8);
        };
        m_gateway = std::make_unique<GatewayThread>(std::move(config));
        std::string error;
        m_ok = m_gateway->Start(error);
        m_comm.SetTimeoutMs(120000);
        m_ok = m_ok && m_comm.Login("", "bench", "bench-password", "ZANTHO00", "E0", "127.0.0.1",
                                    std::to_string(m_gateway->Port())) == 0;
    }

    fs::path m_dir;
    std::unique_ptr<GatewayThread> m_gateway;
    CNetworkCommunication m_comm;
    ScopedCommunication m_installed{&m_comm};
    RecordingReportList m_bankList{7};
    RecordingReportList m_reserveList{5};
    RecordingMainWindow m_window;
    CAccountUploader m_uploader{&m_bankList, &m_reserveList, &m_window};
    bool m_ok = false;
    std::atomic<long long> m_requests{0};
    std::atomic<long long> m_records{0};
};

// Runs `upload` once per iteration on a freshly seeded store; reports the
// requests of the last iteration and the records they carried.
template <typename Upload> void RunDaily(benchmark::State& state, Upload upload) {
    DailyRun run;
    for (auto _ : state) {
        state.PauseTiming();
        const bool ready = run.Reset();
        state.ResumeTiming();
        if (!ready || upload(run.Uploader()) != 1) {
            state.SkipWithError("upload failed");
            break;
        }
    }
    state.counters["requests"] = static_cast<double>(run.Requests());
    state.counters["records_sent"] = static_cast<double>(run.Records());
    state.SetItemsProcessed(state.iterations() * (kReserves + kBanks));
}

void BM_UploadNew200k2Percent(benchmark::State& state) {
    RunDaily(state, [](CAccountUploader& uploader) { return uploader.UploadNew(); });
}
BENCHMARK(BM_UploadNew200k2Percent)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_UploadEach200k2Percent(benchmark::State& state) {
    RunDaily(state, [](CAccountUploader& uploader) { return uploader.UploadEach(); });
}
BENCHMARK(BM_UploadEach200k2Percent)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace
