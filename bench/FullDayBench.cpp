// The daily run at its real scale: "只上传新增账户" of 999,999 reserve and
// 999,999 bank accounts of which 2% are new, against the simulator with a
// file store, the default timeout and default settings. It reports the run's
// time, the longest the client waited without a byte or a growing keep-alive,
// and what the summary counted. Minutes long and gigabytes big, so it runs
// only when QUILLMARK_BENCH_FULL_DAY=1 is set:
//   QUILLMARK_BENCH_FULL_DAY=1 quillmark-bench --benchmark_filter=FullDay

#include "fakes/RecordingMainWindow.h"
#include "fakes/RecordingReportList.h"
#include "fakes/ScriptedCommunication.h"
#include "gateway/GatewayThread.h"
#include "gateway/SettlementStore.h"
#include "support/Common.h"
#include "support/net/NetworkCommunication.h"
#include "support/settings/Settings.h"
#include "uploader/AccountUploader.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

namespace {

constexpr int kAccounts = 999'999; // of each kind
constexpr int kNewEvery = 50;      // 2% new

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Padded(const std::string& value, std::size_t width) {
    std::string out = value.substr(0, width);
    out.resize(width, ' ');
    return out;
}

std::string ReserveNo(int i) {
    return "R" + std::to_string(10'000'000 + i);
}
std::string BankNo(int i) {
    return "6222" + std::to_string(10'000'000 + i);
}

void WriteFiles(const fs::path& dir) {
    std::string reserves;
    std::string banks;
    reserves.reserve(static_cast<std::size_t>(kAccounts) * 48);
    banks.reserve(static_cast<std::size_t>(kAccounts) * 122);
    for (int i = 0; i < kAccounts; ++i) {
        reserves += Padded(ReserveNo(i), 18) + Padded("Reserve " + std::to_string(i), 30);
        banks += Padded("0102", 4) + Padded(BankNo(i), 28) +
                 Padded("Holder " + std::to_string(i), 30) +
                 Padded("Bank " + std::to_string(i), 30) + Padded("", 30);
    }
    fs::create_directories(dir / "localconfig");
    std::ofstream(dir / "localconfig" / "agbfj.dat", std::ios::binary) << reserves;
    std::ofstream(dir / "localconfig" / "yhzh.dat", std::ios::binary) << banks;
}

// The accounts held before the day, put in the store directly.
bool Seed(const fs::path& db) {
    SettlementStore store;
    std::string error;
    if (!store.Open(db.string(), error) || !store.Begin())
        return false;
    for (int i = 0; i < kAccounts; ++i) {
        if (i % kNewEvery == 0)
            continue;
        if (store.AddReserve("P0000001", ReserveNo(i), "Reserve " + std::to_string(i)) !=
                SettlementStore::Added::kStored ||
            store.AddBank("P0000001", "0102", BankNo(i), "Holder " + std::to_string(i),
                          "Bank " + std::to_string(i)) != SettlementStore::Added::kStored)
            return false;
    }
    return store.Commit();
}

// The longest stretch in which the client heard nothing new: no byte sent or
// received and no higher count from the gateway.
struct SilenceMeter : IWaitHook {
    void OnWaiting(const WaitProgress& progress) override {
        const Clock::time_point now = Clock::now();
        if (!m_waiting || progress.bytesSent != m_last.bytesSent ||
            progress.bytesReceived != m_last.bytesReceived ||
            progress.recordsDone != m_last.recordsDone) {
            m_since = now;
            m_waiting = true;
        }
        m_last = progress;
        longest = std::max(longest, std::chrono::duration<double>(now - m_since).count());
    }
    void OnWaitEnded() override { m_waiting = false; }
    double longest = 0;

private:
    bool m_waiting = false;
    WaitProgress m_last;
    Clock::time_point m_since;
};

void BM_UploadNewFullDay(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "quillmark-bench";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    std::random_device random;
    const fs::path dir = fs::temp_directory_path() / ("qm-bench-day-" + std::to_string(random()));
    fs::create_directories(dir);
    CCommon::SetWorkPath(dir.string());
    WriteFiles(dir);
    if (!Seed(dir / "store.db")) {
        state.SkipWithError("seeding the store failed");
        return;
    }

    GatewayConfig config;
    config.listenPort = 0;
    config.dbPath = (dir / "store.db").string();
    config.operators.Set("bench", "P0000001", "bench-password", 1000);
    config.log = [](const std::string&) {};
    auto gateway = std::make_unique<GatewayThread>(std::move(config));
    std::string error;
    settings::Settings defaults; // the default timeout, whatever the environment says
    CNetworkCommunication comm(defaults);
    ScopedCommunication installed(&comm);
    RecordingReportList bankList{7};
    RecordingReportList reserveList{5};
    RecordingMainWindow window;
    CAccountUploader uploader(&bankList, &reserveList, &window);
    SilenceMeter silence;
    comm.SetWaitHook(&silence);
    if (!gateway->Start(error) ||
        comm.Login("", "bench", "bench-password", "ZANTHO00", "E0", "127.0.0.1",
                   std::to_string(gateway->Port())) != 0 ||
        uploader.Load() != 1) {
        state.SkipWithError("gateway, login or load failed");
        return;
    }
    int result = 0;
    for (auto _ : state)
        result = uploader.UploadNew();
    comm.SetWaitHook(nullptr);
    if (result != 1)
        state.SkipWithError(window.messages.empty() ? "upload failed"
                                                    : window.messages.back().c_str());
    const auto& reserve = uploader.Runs().Outcomes();
    state.counters["timeout_ms"] = comm.TimeoutMs();
    state.counters["longest_silence_s"] = silence.longest;
    state.counters["new_reserve"] =
        static_cast<double>(reserve.Count(upload::RowKind::Reserve, upload::RowOutcome::Stored));
    state.counters["new_bank"] =
        static_cast<double>(reserve.Count(upload::RowKind::Bank, upload::RowOutcome::Stored));
    state.counters["held"] =
        static_cast<double>(reserve.Count(upload::RowKind::Reserve, upload::RowOutcome::Held) +
                            reserve.Count(upload::RowKind::Bank, upload::RowOutcome::Held));
    std::printf("summary: %s\n", window.messages.empty() ? "" : window.messages.back().c_str());
    comm.Close();
    gateway.reset();
    CCommon::SetWorkPath("");
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

const bool kRegistered = [] {
    const char* wanted = std::getenv("QUILLMARK_BENCH_FULL_DAY");
    if (wanted != nullptr && std::string(wanted) == "1")
        benchmark::RegisterBenchmark("BM_UploadNewFullDay", BM_UploadNewFullDay)
            ->Unit(benchmark::kSecond)
            ->Iterations(1)
            ->UseRealTime();
    return true;
}();

} // namespace
