// Conversion of request records into wire images against a plain memcpy of the
// same bytes. Both reuse their buffers, so neither pays for first-touch pages.

#include "support/ComFormat.h"
#include "upload/RecordFormats.h"
#include "uploader/AccountUploader.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kRecords = 1'000'000;

std::vector<UploadRequestRecord> MakeRequests() {
    std::vector<UploadRequestRecord> requests(kRecords);
    for (std::size_t i = 0; i < kRecords; ++i) {
        UploadRequestRecord& r = requests[i];
        std::memset(&r, 0, sizeof r);
        std::snprintf(r.SeqNo, sizeof r.SeqNo, "%zu", i % 999999 + 1);
        std::strcpy(r.CommString1, "C1CODE01");
        std::strcpy(r.CommString2, "C2CODE02");
        std::strcpy(r.Version, "01");
        if (i % 2 == 0) {
            std::strcpy(r.ScopeMark, "*");
            std::strcpy(r.RecordKind, "01");
            std::snprintf(r.ReserveAccountNo, sizeof r.ReserveAccountNo, "B%017zu", i);
            std::strcpy(r.ReserveAccountName, "\xC9\xCF\xBA\xA3\xD6\xA4\xC8\xAF\xB9\xC9\xB7\xDD");
            std::strcpy(r.ReserveKind, "01");
            std::strcpy(r.SystemCode, "SSCCRC");
            std::strcpy(r.SubsystemCode, "JSXT            ");
            std::strcpy(r.BusinessKind, "70");
        } else {
            std::strcpy(r.RecordKind, "02");
            std::strcpy(r.BankCode, "0102");
            std::snprintf(r.BankAccountNo, sizeof r.BankAccountNo, "6222%020zu", i);
            std::strcpy(r.AccountFullName,
                        "\xB1\xB1\xBE\xA9\xC4\xB3\xC4\xB3\xD3\xD0\xCF\xDE\xB9\xAB\xCB\xBE");
            std::strcpy(r.BankFullName, "\xD6\xD0\xB9\xFA\xB9\xA4\xC9\xCC\xD2\xF8\xD0\xD0");
        }
    }
    return requests;
}

const std::vector<UploadRequestRecord>& Requests() {
    static const std::vector<UploadRequestRecord> requests = MakeRequests();
    return requests;
}

void BM_ConvertRequestRecords(benchmark::State& state) {
    const auto& requests = Requests();
    std::vector<char> wire(kRecords * kRequestWireLength + 1, 1);
    for (auto _ : state) {
        char* out = wire.data();
        for (const auto& record : requests) {
            CGlobalClass::Convert(out, &record, UploadRequestFormat);
            out += kRequestWireLength;
        }
        benchmark::DoNotOptimize(wire.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * kRecords * kRequestWireLength));
}
BENCHMARK(BM_ConvertRequestRecords)->Unit(benchmark::kMillisecond);

void BM_MemcpyBaseline(benchmark::State& state) {
    const auto& requests = Requests();
    std::vector<char> wire(kRecords * kRequestWireLength + 1, 1);
    for (auto _ : state) {
        char* out = wire.data();
        for (const auto& record : requests) {
            std::memcpy(out, &record, kRequestWireLength);
            out += kRequestWireLength;
        }
        benchmark::DoNotOptimize(wire.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * kRecords * kRequestWireLength));
}
BENCHMARK(BM_MemcpyBaseline)->Unit(benchmark::kMillisecond);

} // namespace
