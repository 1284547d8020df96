// Loading a million bank and a million A-share reserve records from files in
// the page cache, against reading the same files into a buffer. Both run in
// steady state: one uploader loads again and again into arrays that keep their
// storage, and the baseline reuses its buffer, so neither pays for first-touch
// pages.

#include "support/Common.h"
#include "support/FileAccess.h"
#include "support/ReportList.h"
#include "uploader/AccountUploader.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBankRecords = 1'000'000;
constexpr std::size_t kReserveRecords = 1'000'000;

// A list that takes every call and keeps nothing, so that only loading is timed.
class DiscardingList : public IReportList {
public:
    void DeleteAllItems() override { m_rows = 0; }
    int GetItemCount() const override { return m_rows; }
    int InsertItem(int row, const std::string&) override {
        ++m_rows;
        return row;
    }
    void SetItemText(int, int, const std::string&) override {}

private:
    int m_rows = 0;
};

void Fill(char* out, std::size_t width, const char* text) {
    std::string value(text);
    value.resize(width, ' ');
    std::copy(value.begin(), value.end(), out);
}

// A work directory with yhzh.dat and agbfj.dat, removed when the program ends.
class BenchFiles {
public:
    BenchFiles() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qm-loadbench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        root = pattern;
        std::filesystem::create_directory(root + "/localconfig");
        WriteBankFile(root + "/localconfig/yhzh.dat");
        WriteReserveFile(root + "/localconfig/agbfj.dat");
    }
    ~BenchFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    std::string root;

private:
    static void WriteBankFile(const std::string& path) {
        std::ofstream out(path, std::ios::binary);
        char record[kBankFileRecordLength];
        char number[32];
        for (std::size_t i = 0; i < kBankRecords; ++i) {
            std::snprintf(number, sizeof number, "6222%020zu", i);
            Fill(record, 4, i % 3 ? "0102" : " 12");
            Fill(record + 4, 28, number);
            Fill(record + 32, 30,
                 "\xB1\xB1\xBE\xA9\xC4\xB3\xC4\xB3\xD3\xD0\xCF\xDE\xB9\xAB\xCB\xBE");
            Fill(record + 62, 30, "\xD6\xD0\xB9\xFA\xB9\xA4\xC9\xCC\xD2\xF8\xD0\xD0");
            Fill(record + 92, 30, "");
            out.write(record, sizeof record);
        }
    }
    static void WriteReserveFile(const std::string& path) {
        std::ofstream out(path, std::ios::binary);
        char record[kReserveFileRecordLength];
        char number[32];
        for (std::size_t i = 0; i < kReserveRecords; ++i) {
            std::snprintf(number, sizeof number, "B%09zu", i);
            Fill(record, 18, number);
            Fill(record + 18, 30, "\xC9\xCF\xBA\xA3\xD6\xA4\xC8\xAF\xB9\xC9\xB7\xDD");
            out.write(record, sizeof record);
        }
    }
};

const BenchFiles& Files() {
    static const BenchFiles files;
    return files;
}

void BM_LoadAccounts(benchmark::State& state) {
    CCommon::SetWorkPath(Files().root);
    DiscardingList bankList;
    DiscardingList reserveList;
    CAccountUploader uploader(&bankList, &reserveList, nullptr);
    // One full load fixes the work path and brings the arrays to their steady
    // size; from then on each round reads both files into the arrays again.
    if (uploader.Load() != 1) {
        state.SkipWithError(uploader.LastError().c_str());
        return;
    }
    for (auto _ : state) {
        if (!uploader.LoadBankAccounts() || !uploader.LoadReserveAccounts()) {
            state.SkipWithError(uploader.LastError().c_str());
            break;
        }
        benchmark::DoNotOptimize(uploader.BankAccounts().data());
        benchmark::DoNotOptimize(uploader.ReserveAccountsA().data());
    }
    const double arrayBytes =
        static_cast<double>(uploader.BankAccounts().capacity() * sizeof(BankAccountRecord) +
                            uploader.ReserveAccountsA().capacity() * sizeof(ReserveAccountRecord) +
                            uploader.ReserveAccountsB().capacity() * sizeof(ReserveAccountRecord));
    const double recordBytes = static_cast<double>(kBankRecords * sizeof(BankAccountRecord) +
                                                   kReserveRecords * sizeof(ReserveAccountRecord));
    state.counters["array_MB"] = arrayBytes / 1e6;
    state.counters["array_vs_records"] = arrayBytes / recordBytes;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kBankRecords * kBankFileRecordLength +
                                                      kReserveRecords * kReserveFileRecordLength));
    CCommon::SetWorkPath("");
}
BENCHMARK(BM_LoadAccounts)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ReadFilesBaseline(benchmark::State& state) {
    const std::string paths[] = {Files().root + "/localconfig/yhzh.dat",
                                 Files().root + "/localconfig/agbfj.dat"};
    std::vector<char> buffer(kBankRecords * kBankFileRecordLength);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        for (const std::string& path : paths) {
            fileaccess::ReadOnlyFile file;
            if (file.Open(path.c_str()) != 0) {
                state.SkipWithError("open failed");
                return;
            }
            bytes += static_cast<std::int64_t>(file.Read(buffer.data(), file.Length()));
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_ReadFilesBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The whole load as the window runs it, list filling and text decoding included
// (the list still discards the cells). For information; no target.
void BM_LoadAndFillLists(benchmark::State& state) {
    CCommon::SetWorkPath(Files().root);
    DiscardingList bankList;
    DiscardingList reserveList;
    CAccountUploader uploader(&bankList, &reserveList, nullptr);
    for (auto _ : state) {
        if (uploader.Load() != 1) {
            state.SkipWithError(uploader.LastError().c_str());
            break;
        }
    }
    CCommon::SetWorkPath("");
}
BENCHMARK(BM_LoadAndFillLists)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
