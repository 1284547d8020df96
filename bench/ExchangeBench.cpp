// One batch of 999,999 records through the exchange: request records built
// from account records, converted into the request buffer, and a response of
// as many result records parsed, against a scripted communication object (no
// network). The baseline copies the same request and response bytes into fresh
// buffers of the size the exchange holds; first touches of fresh pages are
// the dominant cost on this machine, so both sides start from fresh memory.

#include "support/ComFormat.h"
#include "support/Communication.h"
#include "support/Text.h"
#include "upload/RecordFormats.h"
#include "uploader/AccountUploader.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

// Heap accounting for this program: every allocation carries its size in a
// 16-byte header (which keeps malloc's alignment), so the benchmark can report
// the peak of live bytes during one batch.
namespace heap {
std::atomic<std::size_t> live{0};
std::atomic<std::size_t> peak{0};
constexpr std::size_t kHeader = 16;

void ResetPeak() {
    peak.store(live.load());
}
} // namespace heap

void* operator new(std::size_t size) {
    void* block = std::malloc(size + heap::kHeader);
    if (block == nullptr)
        throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    const std::size_t now = heap::live.fetch_add(size) + size;
    std::size_t seen = heap::peak.load();
    while (now > seen && !heap::peak.compare_exchange_weak(seen, now)) {
    }
    return static_cast<char*>(block) + heap::kHeader;
}

// The block handed to free is the one malloc returned, header included; the
// compiler cannot see that through the offset.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    if (p == nullptr)
        return;
    void* block = static_cast<char*>(p) - heap::kHeader;
    heap::live.fetch_sub(*static_cast<std::size_t*>(block));
    std::free(block);
}
#pragma GCC diagnostic pop

void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

namespace {

constexpr std::size_t kBatch = 999'999;
constexpr std::size_t kPrefix = 9; // header mode 0
constexpr std::size_t kResultsAt = kPrefix + 2 + kResponseHeaderWireLength;

// Answers from prepared bytes as a network client would fill the buffer.
class PreparedCommunication : public CCommunication {
public:
    explicit PreparedCommunication(const std::string& response) : m_response(response) {
        CommString1 = "C1CODE01";
        CommString2 = "C2CODE02";
    }
    int Login(const std::string&, const std::string&, const std::string&, const std::string&,
              const std::string&, const std::string&, const std::string&) override {
        return 0;
    }
    int Close() override { return 0; }
    int ApplySerialNo(const char*, const char*, const char*, char* serialNo, char* flag) override {
        std::memcpy(serialNo, "0000000000000001", 17);
        *flag = '1';
        return 0;
    }
    int ShowStatus(std::string, int) override { return 0; }
    int GetLoginContext(char* context) override {
        std::memset(context, 0, 9);
        return 0;
    }
    int GetHeaderMode() override { return 0; }
    int BuildPacketHeader(const char*, const char*, const char*, const char*, char*, char, long,
                          CDataBuf*) override {
        return 0;
    }
    int SendAndReceive(CDataBuf*, CDataBuf* response, int) override {
        response->RemoveAll();
        response->InsertDataToBuf(m_response.data(), 0, m_response.size());
        return 0;
    }

private:
    const std::string& m_response;
};

struct Inputs {
    std::vector<ReserveAccountRecord> reserves;
    std::vector<BankAccountRecord> banks;
    std::string requestBody; // the wire body the exchange builds, for the baseline
    std::string response;
};

Inputs MakeInputs() {
    Inputs in;
    const std::size_t reserveCount = kBatch / 2;
    in.reserves.resize(reserveCount);
    in.banks.resize(kBatch - reserveCount);
    for (std::size_t i = 0; i < in.reserves.size(); ++i) {
        ReserveAccountRecord& r = in.reserves[i];
        std::memset(&r, 0, sizeof r);
        text::CopyToField(r.ReserveAccountNo, text::Format("B%017zu", i));
        text::CopyToField(r.ReserveAccountName, "\xC9\xCF\xBA\xA3\xD6\xA4\xC8\xAF\xB9\xC9\xB7\xDD");
    }
    for (std::size_t i = 0; i < in.banks.size(); ++i) {
        BankAccountRecord& b = in.banks[i];
        std::memset(&b, 0, sizeof b);
        text::CopyToField(b.BankCode, "0102");
        text::CopyToField(b.BankAccountNo, text::Format("6222%020zu", i));
        text::CopyToField(b.AccountFullName,
                          "\xB1\xB1\xBE\xA9\xC4\xB3\xC4\xB3\xD3\xD0\xCF\xDE\xB9\xAB\xCB\xBE");
        text::CopyToField(b.BankFullName, "\xD6\xD0\xB9\xFA\xB9\xA4\xC9\xCC\xD2\xF8\xD0\xD0");
    }

    in.requestBody.resize(kBatch * kRequestWireLength);
    for (std::size_t i = 0; i < kBatch; ++i) {
        const UploadRequestRecord record =
            i < reserveCount ? CAccountUploader::BuildReserveRequest(in.reserves[i])
                             : CAccountUploader::BuildBankRequest(in.banks[i - reserveCount]);
        CGlobalClass::Convert(in.requestBody.data() + i * kRequestWireLength, &record,
                              UploadRequestFormat);
    }

    std::string header(kResponseHeaderWireLength, ' ');
    header.replace(60, 4, "0000");
    header.replace(64, 9, std::to_string(kBatch * kResultWireLength));
    std::string result(kResultWireLength, ' ');
    result.replace(572, 4, "0000");
    result.replace(576, 2, "OK");
    in.response.reserve(kResultsAt + kBatch * kResultWireLength);
    in.response.append(kPrefix, 'P').append("XX").append(header);
    for (std::size_t k = 0; k < kBatch; ++k)
        in.response.append(result);
    return in;
}

const Inputs& SharedInputs() {
    static const Inputs inputs = MakeInputs();
    return inputs;
}

// What one batch must hold at its peak: request records, request buffer,
// response buffer and result records.
constexpr std::size_t kHeldBytes =
    kBatch * sizeof(UploadRequestRecord) + kBatch * kRequestWireLength +
    (kResultsAt + kBatch * kResultWireLength) + kBatch * sizeof(UploadResultRecord);

void Report(benchmark::State& state, std::size_t peakBytes) {
    constexpr double kMiB = 1024.0 * 1024.0;
    state.counters["held_MiB"] = static_cast<double>(kHeldBytes) / kMiB;
    state.counters["peak_MiB"] = static_cast<double>(peakBytes) / kMiB;
    state.counters["peak_ratio"] = static_cast<double>(peakBytes) / static_cast<double>(kHeldBytes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kHeldBytes));
}

void BM_BatchExchange(benchmark::State& state) {
    const Inputs& in = SharedInputs();
    PreparedCommunication comm(in.response);
    CCommunication* previous = SetGolbalCommunicaHandle(&comm);
    std::size_t peakBytes = 0;
    for (auto _ : state) {
        const std::size_t before = heap::live.load();
        heap::ResetPeak();
        {
            CAccountUploader uploader(nullptr, nullptr, nullptr);
            std::vector<UploadRequestRecord> requests;
            requests.reserve(in.reserves.size() + in.banks.size());
            for (const auto& account : in.reserves)
                requests.push_back(CAccountUploader::BuildReserveRequest(account));
            for (const auto& account : in.banks)
                requests.push_back(CAccountUploader::BuildBankRequest(account));
            std::vector<UploadResultRecord> results;
            const int rc = uploader.Exchange(requests, results);
            if (rc != 1 || results.size() != kBatch)
                state.SkipWithError("the exchange did not accept the batch");
            benchmark::DoNotOptimize(results.data());
        }
        peakBytes = std::max(peakBytes, heap::peak.load() - before);
    }
    SetGolbalCommunicaHandle(previous);
    Report(state, peakBytes);
}
BENCHMARK(BM_BatchExchange)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_BatchExchangeMemcpyBaseline(benchmark::State& state) {
    const Inputs& in = SharedInputs();
    std::size_t peakBytes = 0;
    for (auto _ : state) {
        const std::size_t before = heap::live.load();
        heap::ResetPeak();
        {
            // Fresh, untouched memory of the size the exchange holds, filled
            // once with the request bytes and then the response bytes, over
            // and over until every byte is written.
            std::unique_ptr<char[]> held(new char[kHeldBytes]);
            std::size_t filled = 0;
            while (filled < kHeldBytes) {
                for (const std::string* source : {&in.requestBody, &in.response}) {
                    const std::size_t n = std::min(source->size(), kHeldBytes - filled);
                    std::memcpy(held.get() + filled, source->data(), n);
                    filled += n;
                }
            }
            benchmark::DoNotOptimize(held.get());
            benchmark::ClobberMemory();
        }
        peakBytes = std::max(peakBytes, heap::peak.load() - before);
    }
    Report(state, peakBytes);
}
BENCHMARK(BM_BatchExchangeMemcpyBaseline)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
