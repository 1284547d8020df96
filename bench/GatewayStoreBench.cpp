// The gateway simulator with a file store at the daily run's scale: one
// 999,999-record request of new accounts, then the same accounts again (all
// held), over loopback from the network client; and the same two requests
// settled in-process, without the network and the reply, to show what the
// checks and the store take alone. Account numbers are made as the sample
// data makes them, so the store sees its keys in no particular order. On a
// shared machine the wall time follows the load; the gateway's own processor
// time (gw_cpu_s) is reported beside it.

#include "bench/LoopbackGateway.h"
#include "gateway/GatewayServer.h"
#include "gateway/Settlement.h"
#include "protocol/Codes.h"
#include "protocol/WireFormat.h"
#include "support/net/NetworkCommunication.h"
#include "upload/UploadRecords.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr std::size_t kBatch = 999'999;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The processor time the gateway's thread has used so far.
double GatewayCpuSeconds(bench::LoopbackGateway& gateway) {
    double seconds = 0;
    gateway.thread->Run([&](GatewayServer&) { seconds = ThreadCpuSeconds(); });
    return seconds;
}

// The result code of record `index` in an upload reply of header mode 0.
std::string ResultCode(const CDataBuf& response, std::size_t index) {
    const std::size_t at =
        9 + 2 + kResponseHeaderWireLength + index * kResultWireLength + kRequestWireLength;
    if (at + 4 > response.GetSize())
        return "";
    return std::string(response.Data() + at, 4);
}

bool AllCoded(const CDataBuf& response, const char* code) {
    return response.GetSize() == bench::ReplyBytes(kBatch) - protocol::kFrameHeaderLength &&
           ResultCode(response, 0) == code && ResultCode(response, kBatch / 2) == code &&
           ResultCode(response, kBatch - 1) == code;
}

// Arg 0: reserve accounts; 1: bank accounts.
void BM_GatewayStore999999File(benchmark::State& state) {
    const bool bank = state.range(0) == 1;
    const char* held = bank ? "9721" : "9720";
    for (auto _ : state) {
        QTemporaryDir dir;
        bench::LoopbackGateway gateway(dir.path().toStdString() + "/store.db");
        const std::string body = bench::SampleBody(kBatch, bank, gateway.comm);
        CDataBuf request;
        CDataBuf response;

        const double cpuStart = GatewayCpuSeconds(gateway);
        auto start = std::chrono::steady_clock::now();
        if (!bench::Exchange(gateway.comm, body, request, response) ||
            !AllCoded(response, "0000")) {
            state.SkipWithError(("fresh request: " + gateway.comm.LastErrorText).c_str());
            break;
        }
        const double fresh = Seconds(start);
        const double cpuFresh = GatewayCpuSeconds(gateway);
        start = std::chrono::steady_clock::now();
        if (!bench::Exchange(gateway.comm, body, request, response) || !AllCoded(response, held)) {
            state.SkipWithError(("repeated accounts: " + gateway.comm.LastErrorText).c_str());
            break;
        }
        const double repeat = Seconds(start);
        const double cpuRepeat = GatewayCpuSeconds(gateway);
        state.SetIterationTime(fresh + repeat);
        state.counters["fresh_s"] = fresh;
        state.counters["repeat_s"] = repeat;
        state.counters["gw_cpu_fresh_s"] = cpuFresh - cpuStart;
        state.counters["gw_cpu_repeat_s"] = cpuRepeat - cpuFresh;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(2 * kBatch));
}
BENCHMARK(BM_GatewayStore999999File)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseManualTime();

// The checks and the store alone: Settle on a file store, in this thread.
void BM_GatewaySettle999999File(benchmark::State& state) {
    const bool bank = state.range(0) == 1;
    CNetworkCommunication stamps; // only its two strings, as a login hands them out
    stamps.CommString1 = "P0000001";
    stamps.CommString2 = "GW000001";
    const std::string body = bench::SampleBody(kBatch, bank, stamps);
    const std::uint16_t held = bank ? protocol::result::kBankHeld : protocol::result::kReserveHeld;
    for (auto _ : state) {
        QTemporaryDir dir;
        SettlementStore store;
        std::string error;
        if (!store.Open(dir.path().toStdString() + "/store.db", error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        const double cpuStart = ThreadCpuSeconds();
        auto start = std::chrono::steady_clock::now();
        const SettlementOutcome fresh = Settle(store, body, "P0000001", "GW000001");
        const double freshSeconds = Seconds(start);
        const double cpuFresh = ThreadCpuSeconds();
        start = std::chrono::steady_clock::now();
        const SettlementOutcome repeat = Settle(store, body, "P0000001", "GW000001");
        const double repeatSeconds = Seconds(start);
        const double cpuRepeat = ThreadCpuSeconds();
        if (fresh.stored != kBatch || repeat.stored != 0 || repeat.codes.back() != held) {
            state.SkipWithError(("settle: " + fresh.storeError + repeat.storeError).c_str());
            break;
        }
        state.SetIterationTime(freshSeconds + repeatSeconds);
        state.counters["fresh_s"] = freshSeconds;
        state.counters["repeat_s"] = repeatSeconds;
        state.counters["cpu_fresh_s"] = cpuFresh - cpuStart;
        state.counters["cpu_repeat_s"] = cpuRepeat - cpuFresh;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(2 * kBatch));
}
BENCHMARK(BM_GatewaySettle999999File)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseManualTime();

} // namespace
